#include "printing/printers.h"

#include <langinfo.h>
#include <locale.h>
#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cstdint>

#include "gui/run_mode.h"

namespace kv::printing {
namespace {

// A printer chosen in the set-up dialog; it stands for the default printer from then on.
std::string chosen_default;

class CupsPrinters : public PrinterDirectory {
  public:
    std::vector<std::string> names() override {
        std::vector<std::string> out;
        for (const QString& name : QPrinterInfo::availablePrinterNames())
            out.push_back(name.toStdString());
        return out;
    }
    std::string default_name() override {
        if (!chosen_default.empty()) return chosen_default;
        return QPrinterInfo::defaultPrinterName().toStdString();
    }
    std::unique_ptr<QPrinter> open(const std::string& name) override {
        if (name.empty()) return nullptr;
        const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(name));
        if (info.isNull()) return nullptr;
        auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
        if (!printer->isValid()) return nullptr;
        // The queue's own default paper (its PPD's default, or its media default), with the
        // printable area the queue gives for it. Qt would keep the page of a previous printer, or
        // of the locale, whenever this queue can take it too.
        const QPageSize paper = info.defaultPageSize();
        if (paper.isValid()) printer->setPageSize(paper);
        return printer;
    }
};

PrinterDirectory* installed = nullptr;

}  // namespace

PrinterDirectory& printers() {
    static CupsPrinters cups;
    return installed ? *installed : cups;
}

void set_printers(PrinterDirectory* directory) {
    installed = directory;
}

PrinterChoice choose_default_printer() {
    PrinterChoice choice;
    choice.name = printers().default_name();
    if (!choice.name.empty()) return choice;
    const std::vector<std::string> names = printers().names();
    if (names.size() == 1) {
        choice.name = names.front();
        return choice;
    }
    if (names.empty()) {
        choice.details = "No printer is installed.";
        return choice;
    }
    choice.details = "No default printer is set. Installed printers:";
    for (const auto& name : names) choice.details += " " + name;
    choice.details += ".\nMake one the default printer with: lpoptions -d NAME";
    return choice;
}

std::vector<std::string> ADEVNAMES() {
    std::vector<std::string> names = printers().names();
    std::sort(names.begin(), names.end());
    names.insert(names.begin(), std::string());
    return names;
}

bool PSETUP() {
    if (gui::is_headless() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    auto printer = printers().open(printers().default_name());
    if (!printer) printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(printer.get(), QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return false;
    if (!printer->printerName().isEmpty()) chosen_default = printer->printerName().toStdString();
    return true;
}

PageGeometry geometry_of(QPrinter& printer) {
    PageGeometry g;
    g.horz_res = printer.width();
    g.vert_res = printer.height();
    g.horz_size = printer.widthMM();
    g.vert_size = printer.heightMM();
    g.dpi_x = printer.logicalDpiX();
    g.dpi_y = printer.logicalDpiY();
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    g.x_offset = page.left() - paper.left();
    g.y_offset = page.top() - paper.top();
    g.layout = printer.pageLayout();
    return g;
}

QPageSize locale_paper() {
    // The paper of LC_PAPER (glibc gives its height and width in millimetres); A4 when the
    // locale names none.
    QPageSize paper(QPageSize::A4);
    if (locale_t locale = ::newlocale(LC_PAPER_MASK, "", locale_t{})) {
        const auto height = static_cast<unsigned>(
            reinterpret_cast<std::uintptr_t>(::nl_langinfo_l(_NL_PAPER_HEIGHT, locale)));
        const auto width = static_cast<unsigned>(
            reinterpret_cast<std::uintptr_t>(::nl_langinfo_l(_NL_PAPER_WIDTH, locale)));
        ::freelocale(locale);
        if (height > 0 && width > 0 && height < 10000 && width < 10000)
            paper = QPageSize(QSizeF(width, height), QPageSize::Millimeter, QString(),
                              QPageSize::FuzzyMatch);
    }
    return paper;
}

QPageLayout fallback_layout() {
    return QPageLayout(locale_paper(), QPageLayout::Portrait, QMarginsF(6.35, 6.35, 6.35, 6.35),
                       QPageLayout::Millimeter);
}

PageGeometry fallback_geometry() {
    const QPageLayout layout = fallback_layout();
    const QRect paint = layout.paintRectPixels(kFallbackDpi);
    const QRect full = layout.fullRectPixels(kFallbackDpi);
    PageGeometry g;
    g.horz_res = paint.width();
    g.vert_res = paint.height();
    const QRectF mm = layout.paintRect(QPageLayout::Millimeter);
    g.horz_size = mm.width();
    g.vert_size = mm.height();
    g.dpi_x = g.dpi_y = kFallbackDpi;
    g.x_offset = paint.left() - full.left();
    g.y_offset = paint.top() - full.top();
    g.layout = layout;
    return g;
}

std::unique_ptr<QPrinter> pdf_printer(const std::string& file, const QPageLayout& layout) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(file));
    printer->setPageLayout(layout);
    return printer;
}

}  // namespace kv::printing
