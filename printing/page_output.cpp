#include "printing/page_output.h"

#include <QDateTime>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <filesystem>

#include "gui/text.h"
#include "platform/files.h"
#include "printing/printer.h"

namespace kv::printing {

int picture_dpi() {
    return QPicture().logicalDpiY();
}

bool load_page(const std::string& name, QPicture& page) {
    QFile file(QString::fromStdString(platform::resolve_path(name)));
    page = QPicture();
    return file.open(QIODevice::ReadOnly) && page.load(&file);
}

void play_page(QPainter& painter, const QPicture& page, const PageGeometry& recorded,
               const QRectF& target) {
    if (recorded.horz_res <= 0 || recorded.vert_res <= 0) return;
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / recorded.horz_res, target.height() / recorded.vert_res);
    painter.setClipRect(QRectF(0, 0, recorded.horz_res, recorded.vert_res));
    painter.drawPicture(0, 0, page);
    painter.restore();
}

std::vector<int> print_order(int first, int last, int copies) {
    std::vector<int> order;
    for (int copy = 0; copy < copies; ++copy)
        for (int page = first; page <= last; ++page) order.push_back(page);
    return order;
}

PrintResult print_pages(const TPrinter& device, const std::vector<int>& order, QPrinter& target,
                        const std::function<void()>& before_page) {
    PrintResult result;
    target.setDocName(gui::from_ansi(device.cDocument.substr(0, 31)));
    // Pictures keep text at its size only on devices of their own resolution.
    target.setResolution(picture_dpi());
    QPainter painter;
    if (!painter.begin(&target)) {
        result.error = "the printer refused the document";
        return result;
    }
    const QRectF area(0, 0, target.width(), target.height());
    for (int page : order) {
        if (page < 1 || page > static_cast<int>(device.aMeta.size())) continue;
        if (before_page) before_page();
        if (result.pages > 0 && !target.newPage()) {
            result.error = "the printer refused a new page";
            break;
        }
        QPicture picture;
        load_page(device.aMeta[static_cast<std::size_t>(page - 1)], picture);
        play_page(painter, picture, device.geometry(), area);
        ++result.pages;
    }
    result.ok = painter.end() && result.error.empty();
    if (!result.ok && result.error.empty()) result.error = "the document could not be finished";
    return result;
}

PrintResult write_pdf(const TPrinter& device, const std::string& file) {
    auto printer = pdf_printer(file, device.page_layout());
    std::vector<int> all;
    for (int i = 1; i <= static_cast<int>(device.aMeta.size()); ++i) all.push_back(i);
    PrintResult result = print_pages(device, all, *printer);
    if (result.ok && !QFile::exists(QString::fromStdString(file))) {
        result.ok = false;
        result.error = "the file could not be written";
    }
    if (!result.ok) std::filesystem::remove(file);
    return result;
}

std::string dated_pdf_name(const std::string& folder, const std::string& stem) {
    const std::string moment =
        QDateTime::currentDateTime().toString("yyyy-MM-dd HH-mm-ss").toStdString();
    const std::filesystem::path dir = std::filesystem::path(folder.empty() ? "." : folder);
    for (int n = 1;; ++n) {
        const std::string suffix = n == 1 ? "" : " (" + std::to_string(n) + ")";
        const auto candidate = dir / (stem + " " + moment + suffix + ".pdf");
        if (!std::filesystem::exists(candidate)) return candidate.string();
    }
}

}  // namespace kv::printing
