// Printing: the Print command end to end and a 200-page document.
//  - kv32 --headless on a pseudo-terminal with this program as the device sends a document line by
//    line; lines per second against the line rate and against the same round trips over a bare
//    pseudo-terminal pair; then the time from the end-of-text line to the PDF written.
//  - The same lines through kv32 in its window on the offscreen platform, against headless.
//  - In this process: the same document recorded on page files, then the time to the preview's
//    first page painted (offscreen) and to a PDF file; memory and disk per page.
#include <QApplication>
#include <QDir>
#include <QPrinterInfo>
#include <iostream>

#include "bench/support.h"
#include "printing/font.h"
#include "printing/page_output.h"
#include "printing/preview_window.h"
#include "printing/print_text.h"
#include "printing/printer.h"
#include "tools/kvdev/print.h"

using namespace kv::bench;
namespace fsys = std::filesystem;

namespace {

constexpr std::size_t kLinesPerPage = 63;  // rows 3 to 65
constexpr std::size_t kLineLength = 40;

std::string text_line(std::size_t n) {
    std::string line = "LINE " + std::to_string(n) + " ";
    while (line.size() < kLineLength) line += static_cast<char>('A' + line.size() % 26);
    return line;
}

// The device's lines of a document: full pages separated by form feeds, then the end of text.
std::vector<std::string> document(std::size_t pages) {
    std::vector<std::string> lines;
    for (std::size_t p = 0; p < pages; ++p) {
        if (p) lines.emplace_back(1, kv::dev::kFormFeedLine);
        for (std::size_t i = 0; i < kLinesPerPage; ++i)
            lines.push_back(text_line(p * kLinesPerPage + i));
    }
    return lines;  // without the end-of-text line
}

struct Headless {
    double send_seconds = 0;
    double pdf_seconds = 0;
    std::size_t lines = 0;
};

Headless through_kv32(const std::vector<std::string>& lines, std::size_t pages) {
    TempFolder out;
    Kv32Run kv(KV32_BINARY, {"--print-to", out.path().string()});
    kv.wait_started();
    Headless h;
    const auto start = Clock::now();
    std::size_t sent = 0;
    for (const auto& line : lines) {
        if (kv::dev::print_line(kv.device(), line) != 0) throw Broken("a Print line was refused");
        // Two log lines a command: read them, so that kv32 never waits for its output pipe.
        if (++sent % 200 == 0) kv.process().out();
    }
    h.send_seconds = seconds_since(start);
    h.lines = lines.size();
    const auto etx = Clock::now();
    if (kv::dev::print_line(kv.device(), std::string(1, kv::dev::kEndOfTextLine)) != 0)
        throw Broken("the end of text was refused");
    const std::string wanted = "Printed " + std::to_string(pages) + " pages to ";
    if (!kv.process().wait_for_prefix(wanted, std::chrono::seconds(120)))
        throw Broken("kv32 did not print the document: " + kv.process().out());
    h.pdf_seconds = seconds_since(etx);
    kv.stop();
    return h;
}

// The same lines through kv32 in its window, on the offscreen platform: lines per second. The job
// stays open (the end of text would open the preview); the run ends on a signal, as a user may
// end it. In a window a job without a printer begins with a box that waits for the user, so the
// run needs a CUPS queue: the default one, else the first (through PRINTER); 0 without any.
double window_rate(const std::vector<std::string>& lines) {
    if (QPrinterInfo::defaultPrinterName().isEmpty()) {
        const QStringList queues = QPrinterInfo::availablePrinterNames();
        if (queues.isEmpty()) return 0;
        ::setenv("PRINTER", queues.front().toLocal8Bit().constData(), 1);
    }
    Kv32Run kv(KV32_BINARY, {}, false);
    kv.wait_started();
    const auto start = Clock::now();
    for (const auto& line : lines)
        if (kv::dev::print_line(kv.device(), line) != 0) throw Broken("a Print line was refused");
    const double seconds = seconds_since(start);
    kv.stop();
    return static_cast<double>(lines.size()) / seconds;
}

struct InProcess {
    double record_seconds = 0;
    double preview_seconds = 0;
    double pdf_seconds = 0;
    double kib_per_page = 0;
    double disk_per_page = 0;
};

InProcess in_process(const std::vector<std::string>& lines, std::size_t pages) {
    TempFolder folder;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(folder.path().string()));
    InProcess r;
    {
        kv::printing::PrinterOptions options;
        options.document = "KV Project";
        options.preview = true;
        options.fallback_page_only = true;
        kv::printing::TPrinter printer(options);
        kv::printing::TFont font("Courier New", 0, 10, printer);
        kv::printing::TextOptions text;
        text.font = &font;
        const long before = memory_kib("VmRSS");
        auto start = Clock::now();
        kv::printing::SETPROW(0);
        printer.StartPage();
        for (const auto& line : lines) {
            if (line.size() == 1 && line[0] == kv::dev::kFormFeedLine) {
                printer.EndPage();
                kv::printing::SETPROW(0);
                printer.StartPage();
            } else {
                kv::printing::PRINTTXT({line}, printer, text);
            }
        }
        r.record_seconds = seconds_since(start);
        r.kib_per_page =
            static_cast<double>(memory_kib("VmRSS") - before) / static_cast<double>(pages);
        start = Clock::now();  // the end-of-text line
        printer.EndPage();
        kv::printing::SETPROW(0);
        {
            kv::printing::TPreview preview(printer, false);
            preview.showMaximized();
            preview.Resize();
            preview.oMeta->repaint();
            r.preview_seconds = seconds_since(start);
        }
        std::uintmax_t disk = 0;
        for (const auto& name : printer.aMeta) disk += fsys::file_size(folder.path() / name);
        r.disk_per_page = static_cast<double>(disk) / static_cast<double>(pages);
        if (printer.aMeta.size() != pages) throw Broken("the pages were not all recorded");
        start = Clock::now();
        const auto pdf = kv::printing::write_pdf(printer, (folder.path() / "doc.pdf").string());
        if (!pdf.ok || pdf.pages != static_cast<int>(pages)) throw Broken("no PDF: " + pdf.error);
        r.pdf_seconds = seconds_since(start);
        printer.End();
    }
    QDir::setCurrent(saved);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    Options options("bench_print",
                    "Measures the Print command: lines per second through kv32 --headless on a\n"
                    "pseudo-terminal (against the line rate and the same round trips over a\n"
                    "bare pair), then for a document of full pages the time from the end-of-text\n"
                    "line to the PDF written headless and, in this process, to the preview's\n"
                    "first page painted; memory and disk per page.\n"
                    "Goals: 100 x the line rate; under one second from the end of text.");
    options.add("pages", "pages of 63 lines of 40 characters", "200");
    options.parse(argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    return run([&] {
        const std::size_t pages = std::max<std::size_t>(options.count("pages"), 1);
        const auto lines = document(pages);
        const double line_bytes = 1 + kLineLength + 1;  // "P", the text, CR
        std::cout << "A document of " << pages << " pages: " << grouped(lines.size())
                  << " Print lines and the end of text\n";

        const Headless h = through_kv32(lines, pages);
        const double bare = bare_pty_exchange(lines.size(), static_cast<std::size_t>(line_bytes));
        const double rate = static_cast<double>(h.lines) / h.send_seconds;
        const double line_rate = kLineRate / line_bytes;
        heading("Print command, kv32 --headless");
        figure("lines through P", grouped(rate) + " lines/s (" + fixed(h.send_seconds, 2) + " s)");
        figure("reference: same round trips, bare pair",
               grouped(static_cast<double>(lines.size()) / bare) + " lines/s");
        figure("line rate (5,760 bytes/s, 42 bytes a line)", fixed(line_rate, 1) + " lines/s");
        figure("ratio to the line rate", ratio(rate / line_rate));
        figure("device's own time to send it", fixed(h.lines / line_rate, 1) + " s");
        figure("end of text to the PDF written", fixed(h.pdf_seconds, 3) + " s");
        const bool rate_met = goal("100 x the line rate", rate >= 100 * line_rate);

        const double in_window = window_rate(lines);
        heading("Print command, kv32 in its window (offscreen platform)");
        bool window_met = false;
        if (in_window > 0) {
            figure("lines through P", grouped(in_window) + " lines/s");
            figure("ratio to headless", ratio(in_window / rate));
            window_met = goal("within 2 x of headless", in_window * 2 >= rate);
        } else {
            figure("lines through P", "not measured: no CUPS queue");
        }

        const InProcess r = in_process(lines, pages);
        heading("The same document in this process");
        figure("recording the lines", fixed(r.record_seconds, 3) + " s");
        figure("end of text to the preview's first page",
               fixed(r.preview_seconds * 1000, 1) + " ms");
        figure("writing the PDF", fixed(r.pdf_seconds, 3) + " s");
        figure("memory per page", fixed(r.kib_per_page, 1) + " KiB");
        figure("disk per page (page file)", grouped(r.disk_per_page) + " bytes");
        const bool fast =
            goal("under 1 s from the end of text", h.pdf_seconds < 1 && r.preview_seconds < 1);
        (void)rate_met;
        (void)window_met;
        (void)fast;
        return 0;
    });
}
