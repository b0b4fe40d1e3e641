#include "printing/page_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "gui/text.h"
#include "platform/beneath.h"
#include "platform/files.h"
#include "printing/printer.h"

namespace kv::printing {

int picture_dpi() {
    return QPicture().logicalDpiY();
}

bool load_page(const std::string& name, QPicture& page) {
    page = QPicture();
    // Only the page file this program made: never through a link, never a file of another user
    // (the folder may be shared) or one with other names.
    const int fd = ::open(platform::resolve_path(name).c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_nlink != 1 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return page.load(&file);
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

namespace {

// Plays the pages in `order` on a paged device set to the pictures' resolution. A page whose file
// cannot be read back is left out and listed as lost.
PrintResult play_pages(const TPrinter& device, const std::vector<int>& order,
                       QPagedPaintDevice& target, const std::function<void()>& before_page) {
    PrintResult result;
    QPainter painter;
    if (!painter.begin(&target)) {
        result.error = "the printer refused the document";
        return result;
    }
    const QRectF area(0, 0, target.width(), target.height());
    for (int page : order) {
        if (page < 1 || page > static_cast<int>(device.aMeta.size())) continue;
        if (before_page) before_page();
        QPicture picture;
        if (!device.page(page, picture)) {
            if (std::find(result.lost.begin(), result.lost.end(), page) == result.lost.end())
                result.lost.push_back(page);
            continue;
        }
        if (result.pages > 0 && !target.newPage()) {
            result.error = "the printer refused a new page";
            break;
        }
        play_page(painter, picture, device.geometry(), area);
        ++result.pages;
    }
    result.ok = painter.end() && result.error.empty();
    if (!result.ok && result.error.empty()) result.error = "the document could not be finished";
    if (result.ok && result.pages == 0) {
        result.ok = false;
        result.error = "no page could be read back";
    }
    return result;
}

std::vector<int> every_page(const TPrinter& device) {
    return print_order(1, static_cast<int>(device.aMeta.size()), 1);
}

}  // namespace

PrintResult print_pages(const TPrinter& device, const std::vector<int>& order, QPrinter& target,
                        const std::function<void()>& before_page) {
    target.setDocName(gui::from_ansi(device.cDocument.substr(0, 31)));
    // Pictures keep text at its size only on devices of their own resolution.
    target.setResolution(picture_dpi());
    return play_pages(device, order, target, before_page);
}

namespace {

// Writes all of `bytes` to `fd` and makes them durable; "" or the system's reason for the failure
// (a full disk says "No space left on device").
std::string write_durably(int fd, const QByteArray& bytes) {
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, static_cast<std::size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::strerror(n < 0 ? errno : ENOSPC);
        at += n;
        left -= n;
    }
    if (::fsync(fd) != 0) return std::strerror(errno);
    return {};
}

}  // namespace

PrintResult write_pdf(const TPrinter& device, const std::string& file) {
    namespace fs = std::filesystem;
    const fs::path target(file);
    PrintResult result;
    // A name nobody can guess, created new: never a file or link that is already there.
    fs::path part;
    int fd = -1;
    for (int attempt = 0; attempt < 10 && fd < 0; ++attempt) {
        part =
            target.parent_path() / (platform::private_name("." + target.filename().string() + "." +
                                                           std::to_string(::getpid()) + ".") +
                                    ".part");
        fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        result.error = std::strerror(errno);
        return result;
    }
    // The document is made in memory (a few pages of text) and written with plain writes, so a
    // failure keeps the system's own reason.
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setTitle(gui::from_ansi(device.cDocument));
        writer.setCreator(QStringLiteral("KV32"));
        writer.setPageLayout(local_paper_layout(device.page_layout()));
        writer.setResolution(picture_dpi());
        result = play_pages(device, every_page(device), writer, {});
    }
    // The data must reach the disk before the name does.
    std::string failure = result.ok ? write_durably(fd, pdf) : std::string();
    if (::close(fd) != 0 && failure.empty() && result.ok) failure = std::strerror(errno);
    std::error_code ec;
    if (result.ok && failure.empty()) {
        fs::rename(part, target, ec);
        if (!ec) return result;
        failure = ec.message();
    }
    if (!failure.empty()) result.error = failure;
    result.ok = false;
    fs::remove(part, ec);
    return result;
}

QPageLayout local_paper_layout(const QPageLayout& recorded) {
    QPageLayout layout = recorded;
    layout.setPageSize(locale_paper(), recorded.margins());
    return layout;
}

std::string lost_pages_text(const std::vector<int>& lost) {
    std::string pages;
    for (std::size_t i = 0; i < lost.size(); ++i) {
        if (i) pages += i + 1 == lost.size() ? " and " : ", ";
        pages += std::to_string(lost[i]);
    }
    return (lost.size() == 1 ? "Page " + pages + " was" : "Pages " + pages + " were") +
           " lost: " + (lost.size() == 1 ? "its page file" : "their page files") +
           " could not be read back.";
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
