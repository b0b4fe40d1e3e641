#include "printing/printer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QPrinter>
#include <QScreen>
#include <algorithm>
#include <set>

#include "db/dbf_table.h"
#include "db/work_areas.h"
#include "gui/pump.h"
#include "gui/run_mode.h"
#include "gui/text.h"
#include "platform/files.h"
#include "printing/font.h"
#include "printing/page_files.h"
#include "printing/page_output.h"
#include "printing/preview.h"
#include "printing/print_text.h"
#include "printing/progress_dialog.h"
#include "util/file_names.h"
#include "util/msgbox.h"
#include "util/startup.h"

namespace kv::printing {
namespace {

QColor colour_of(int windows_colour) {
    return QColor(windows_colour & 0xFF, (windows_colour >> 8) & 0xFF,
                  (windows_colour >> 16) & 0xFF);
}

QString disk_path(const std::string& name) {
    return QString::fromStdString(platform::resolve_path(name, platform::NameCase::Setting));
}

// "Impossibile trovare la stampante <name>.": a box for every job; headless, where nobody
// answers it, one line on standard error for each printer in a run.
void tell_printer_missing(const std::string& name, const std::string& details) {
    static std::set<std::string> told;
    if (gui::is_headless() && !told.insert(name).second) return;
    const std::string text = "Impossibile trovare la stampante " + name + ".";
    if (details.empty())
        util::POPMSG(text, 1);
    else
        util::popmsg_with_details(text, 1, details);
}

// Removes a page file of this job that was written: only a file of this user under that name,
// never a link or another user's file that took its place.
void remove_page_file(const std::string& name, const std::vector<std::string>& unwritten) {
    if (std::find(unwritten.begin(), unwritten.end(), name) != unwritten.end()) return;
    const std::string path = disk_path(name).toStdString();
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
        ::unlink(path.c_str());
}

}  // namespace

std::string TPrinter::page_file_name(int page) const {
    return util::ACS_TEMP + util::page_file_name(::getpid(), job_, page);
}

TPrinter::TPrinter(const PrinterOptions& options)
    : cDocument(options.document), lPreview(options.preview), lNoPrint(options.no_print) {
    static long jobs = 0;
    job_ = ++jobs;
    if (options.fallback_page_only) {
        recording_only_ = true;
        geometry_ = fallback_geometry();
    } else {
        std::string details;
        if (options.printer) {
            cModel = *options.printer;
        } else {
            PrinterChoice choice = choose_default_printer();
            cModel = choice.name;
            details = choice.details;
        }
        hPrinterDC = printers().open(cModel);
        if (hPrinterDC) {
            hPrinterDC->setDocName(gui::from_ansi(cDocument.substr(0, 31)));
            geometry_ = geometry_of(*hPrinterDC);
        } else {
            // With no printer named and no default, what was looked for is the default one.
            tell_printer_missing(cModel.empty() ? "predefinita" : cModel, details);
            if (!options.record_without_printer || !lPreview) return;
            recording_only_ = true;
            geometry_ = fallback_geometry();
        }
    }
    nXOffset = geometry_.x_offset;
    nYOffset = geometry_.y_offset;
    PFEED(1);
    if (!lPreview) {
        document_started_ = painter_.begin(hPrinterDC.get());
    }
    if (can_show_windows()) {
        hWnd = QApplication::activeWindow();
        if (!hWnd) hWnd = QApplication::activeModalWidget();
        // Owned by the window that started the job: above it, and taking input although that
        // window is modal and disabled.
        oDlg = new ProgressDialog(hWnd ? hWnd->window() : nullptr, gui::from_ansi(cDocument),
                                  [this] { lCancel = true; });
        oDlg->set_page(nPage);
        if (hWnd) hWnd->setEnabled(false);
        oDlg->setEnabled(true);
        oDlg->show();
        if (auto* screen = oDlg->screen())
            oDlg->move(screen->geometry().center() - oDlg->rect().center());
    }
    if (const db::Table* table = db::work_areas().table()) nRec = table->record_number();
}

TPrinter::~TPrinter() {
    End();
}

void TPrinter::CloseWnd() {
    if (hWnd) {
        hWnd->setEnabled(true);
        hWnd->activateWindow();
    }
    if (oDlg) {
        oDlg->hide();
        delete oDlg.data();
    }
    gui::SYSREFRESH();
}

void TPrinter::End() {
    if (!active() || ended_) return;
    ended_ = true;
    CloseWnd();
    if (hOutputDC && lPreview) {
        painter_.end();
        hOutputDC = nullptr;
    }
    if (document_started_) painter_.end();  // direct printing: the document goes to the printer
    document_started_ = false;
    hOutputDC = nullptr;
    hPrinterDC.reset();
    for (const auto& name : aMeta) remove_page_file(name, unwritten_);
    aMeta.clear();
    kept_.clear();
    // The report may have moved through the table: back to the record it started on.
    if (db::Table* table = db::work_areas().table(); table && nRec != 0) table->go_to(nRec);
}

void TPrinter::StartPage() {
    if (!active() || lCancel || ended_) return;
    if (oDlg) oDlg->set_page(nPage);
    gui::SYSREFRESH();
    if (lCancel) return;
    current_ = {};
    align_ = Align::Left;
    update_cp_ = false;
    justify_extra_ = 0;
    background_ = 0xFFFFFF;
    if (!lPreview) {
        if (!document_started_) return;
        if (nPage > 1) hPrinterDC->newPage();
        hOutputDC = &painter_;
        return;
    }
    // The full name: the device may change the current folder before the page files are read
    // or deleted.
    const std::string name =
        platform::full_path_name(page_file_name(nPage)).value_or(page_file_name(nPage));
    aMeta.push_back(name);
    page_ = QPicture();
    page_.setBoundingRect(
        QRect(0, 0, static_cast<int>(geometry_.horz_res), static_cast<int>(geometry_.vert_res)));
    if (painter_.begin(&page_)) hOutputDC = &painter_;
}

void TPrinter::EndPage() {
    if (!active() || ended_) return;
    if (lPreview && hOutputDC) {
        painter_.end();
        hOutputDC = nullptr;
        save_page();
    } else if (!lPreview) {
        hOutputDC = nullptr;
    }
    ++nPage;
}

void TPrinter::save_page() {
    const std::string& name = aMeta.back();
    // Created new, never through a name that is there already (the folder may be shared, and
    // the name is easy to guess): such a page stays in memory and the name is left alone.
    const int fd = ::open(disk_path(name).toStdString().c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    const bool created = fd >= 0;
    QFile file;
    bool ok = created && file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    if (created && !ok) ::close(fd);
    if (ok) {
        // Recorded first in memory, so that a short write is seen as one.
        QByteArray bytes;
        {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            ok = page_.save(&buffer);
        }
        ok = ok && file.write(bytes) == bytes.size() && file.flush();
        file.close();
        ok = ok && file.error() == QFileDevice::NoError;
    }
    if (!ok) {
        unwritten_.push_back(name);
        if (created) ::unlink(disk_path(name).toStdString().c_str());
        kept_[static_cast<int>(aMeta.size())] = page_;
    }
}

bool TPrinter::page(int number, QPicture& out) const {
    if (auto it = kept_.find(number); it != kept_.end()) {
        out = it->second;
        return true;
    }
    if (number < 1 || number > static_cast<int>(aMeta.size())) return false;
    return load_page(aMeta[static_cast<std::size_t>(number - 1)], out);
}

void TPrinter::Preview() {
    if (!active() || !lPreview || ended_) return;
    CloseWnd();
    if (aMeta.empty()) return;
    run_preview(*this, lNoPrint);
}

QFont TPrinter::font_for(const TFont* font) const {
    if (font) return font->font();
    // The printer's own font: a monospaced face of 10 points.
    QFont f("Courier New");
    f.setStyleHint(QFont::TypeWriter);
    f.setPixelSize(
        std::max(1, static_cast<int>(10 * (geometry_.dpi_y > 0 ? geometry_.dpi_y : 96) / 72)));
    return f;
}

double TPrinter::GetTextWidth(const std::string& text, const TFont* font) const {
    if (!active()) return 0;
    return QFontMetricsF(font_for(font)).horizontalAdvance(gui::from_ansi(text));
}

void TPrinter::align_on_current_position(Align align) {
    align_ = align;
    update_cp_ = true;
}

int TPrinter::set_background(int colour) {
    const int previous = background_;
    background_ = colour;
    return previous;
}

void TPrinter::SetPos(double row, double col) {
    if (!drawing()) return;
    current_ = QPointF(col, row);
}

void TPrinter::draw_text(QPainter& painter, QPointF at, const QString& text, const QFont& font,
                         Align align) {
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(text);
    if (align == Align::Right) at.rx() -= width;
    if (align == Align::Centre) at.rx() -= width / 2;
    painter.drawText(QPointF(at.x(), at.y() + metrics.ascent()), text);
}

void TPrinter::Say(double row, double col, const std::string& text, const TFont* font,
                   std::optional<double> width, int colour, int bk_mode,
                   std::optional<Align> align) {
    if (!drawing()) return;
    QPainter& painter = *hOutputDC;
    QFont f = font_for(font);
    if (justify_extra_ != 0) f.setWordSpacing(justify_extra_);
    painter.save();
    painter.setFont(f);
    painter.setPen(colour_of(colour));
    painter.setBackgroundMode(bk_mode == 2 ? Qt::OpaqueMode : Qt::TransparentMode);
    painter.setBackground(colour_of(background_));
    const QString qtext = gui::from_ansi(text);
    const QFontMetricsF metrics(f);
    const double text_width = metrics.horizontalAdvance(qtext);
    if (width) {
        const Align a = align.value_or(Align::Left);
        QPointF at(col, row);
        if (a == Align::Right) at.rx() = col + *width;
        if (a == Align::Centre) at.rx() = col + *width / 2;
        painter.setClipRect(QRectF(col - 3, row, *width + 5, 1.5 * metrics.height()));
        draw_text(painter, at, qtext, f, a);
    } else {
        if (align == Align::Left) update_cp_ = false, align_ = Align::Left;
        QPointF at(col, row);
        if (align == Align::Right) at.rx() -= text_width;
        if (align == Align::Centre) at.rx() -= text_width / 2;
        if (update_cp_) {
            draw_text(painter, current_, qtext, f, align_);
            if (align_ == Align::Left) current_.rx() += text_width;
            if (align_ == Align::Right) current_.rx() -= text_width;
        } else {
            draw_text(painter, at, qtext, f, align ? Align::Left : align_);
        }
    }
    painter.restore();
}

void TPrinter::Cmtr2Pix(double& row, double& col) const {
    if (geometry_.vert_size > 0)
        row = row * 10 * geometry_.vert_res / geometry_.vert_size - nYOffset;
    if (geometry_.horz_size > 0)
        col = col * 10 * geometry_.horz_res / geometry_.horz_size - nXOffset;
}

}  // namespace kv::printing
