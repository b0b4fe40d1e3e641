// The Print command end to end: kv32 --headless on a pseudo-terminal, the device's own "P"
// commands, and the PDF files that come out, read back with pdftotext.
#include <pwd.h>
#include <unistd.h>
#include <QPrinter>
#include <QPrinterInfo>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tests/support/pdf_words.h"
#include "tools/kvdev/print.h"

namespace {

namespace fs = std::filesystem;
using kv::test::Kv32OnPty;
using kv::test::PdfPage;

// The queue that scripts/test.sh makes when it can.
constexpr const char* kTestQueue = "KV32_TEST_PDF";

// The printable area of the page the lines were laid on, in PDF points, and the grid on it.
struct Grid {
    double left, top, width, height;
    double row(double y) const { return (y - top) / (height / 66); }
    double column(double x) const { return (x - left) / (width / 80); }
};
// A4 with quarter-inch margins: the page of PDF files written without a printer.
const Grid kA4{18, 18, 595.2756 - 36, 841.8898 - 36};

// Sends a document and waits until KV32 has handled every line; false when a line was not
// answered with 0x00.
bool send_document(Kv32OnPty& kv, const std::vector<std::string>& lines, int& commands) {
    for (const auto& line : lines) {
        if (kv::dev::print_line(kv.device(), line, {kv::test::kReplyTimeout}) != 0) return false;
        ++commands;
    }
    return kv.idle_after(commands);
}

std::vector<std::string> printed_lines(Kv32OnPty& kv) {
    std::vector<std::string> out;
    for (const auto& line : kv.process().out_lines())
        if (line.rfind("Printed ", 0) == 0) out.push_back(line);
    return out;
}

// The file a "Printed N pages to FILE" line names.
std::string printed_file(const std::string& line) {
    return line.substr(line.find(" to ") + 4);
}

void expect_word_at(const PdfPage& page, const std::string& text, double row, double column,
                    const Grid& grid) {
    auto it = std::find_if(page.words.begin(), page.words.end(),
                           [&](const auto& w) { return w.text == text; });
    ASSERT_NE(it, page.words.end()) << text;
    EXPECT_NEAR(grid.row(it->y_min), row, 0.25) << text;
    EXPECT_NEAR(grid.column(it->x_min), column, 0.25) << text;
}

std::vector<std::string> numbered_lines(int count) {
    std::vector<std::string> lines;
    for (int i = 1; i <= count; ++i) lines.push_back("LINE" + std::to_string(i));
    return lines;
}

// Checks the three documents every destination must get right.
void expect_documents(const std::vector<std::vector<PdfPage>>& docs, const Grid& grid) {
    ASSERT_EQ(docs.size(), 3u);
    ASSERT_EQ(docs[0].size(), 1u);
    expect_word_at(docs[0][0], "HELLO", 3, 5, grid);
    expect_word_at(docs[0][0], "WORLD", 5, 5, grid);
    ASSERT_EQ(docs[1].size(), 2u);
    expect_word_at(docs[1][0], "HELLO", 3, 5, grid);
    expect_word_at(docs[1][1], "WORLD", 3, 5, grid);
    // 70 lines: rows 3 to 65 hold 63 of them, the rest begin the next page.
    ASSERT_EQ(docs[2].size(), 2u);
    EXPECT_EQ(docs[2][0].words.size(), 63u);
    expect_word_at(docs[2][0], "LINE63", 65, 5, grid);
    EXPECT_EQ(docs[2][1].words.size(), 7u);
    expect_word_at(docs[2][1], "LINE64", 3, 5, grid);
    expect_word_at(docs[2][1], "LINE70", 9, 5, grid);
}

std::vector<std::vector<std::string>> three_documents() {
    auto seventy = numbered_lines(70);
    seventy.push_back("\x03");
    return {{"HELLO", "", "WORLD", "\x03"}, {"HELLO", "\x0c", "WORLD", "\x03"}, seventy};
}

TEST(PrintCommand, DocumentsBecomePdfFilesInThePrintToFolder) {
    kv::test::TempDir out;
    Kv32OnPty kv({"--print-to", out.str()});
    ASSERT_TRUE(kv.started()) << kv.process().err();
    int commands = 0;
    // A form feed or end of text with no document open is only answered.
    ASSERT_TRUE(send_document(kv,
                              {"\x0c",
                               "\x03"
                               "ignored"},
                              commands));
    for (const auto& doc : three_documents()) ASSERT_TRUE(send_document(kv, doc, commands));
    const auto printed = printed_lines(kv);
    ASSERT_EQ(printed.size(), 3u) << kv.process().out();
    EXPECT_EQ(printed[0].rfind("Printed 1 page to " + out.str() + "/KV Project ", 0), 0u);
    std::vector<std::vector<PdfPage>> docs;
    for (const auto& line : printed) docs.push_back(kv::test::pdf_pages(printed_file(line)));
    expect_documents(docs, kA4);
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), 3);
    // No page file is left behind in the folder KV32 serves.
    for (const auto& e : fs::directory_iterator(kv.dir().path()))
        EXPECT_NE(e.path().filename().string()[0], '\x7f') << e.path();
    EXPECT_EQ(kv.stop(), 0);
}

TEST(PrintCommand, BadInputIsAnsweredAndPrintedWithoutLoss) {
    kv::test::TempDir out;
    Kv32OnPty kv({"--print-to", out.str(), "--printer", "KV32_NO_SUCH_QUEUE"});
    ASSERT_TRUE(kv.started());
    std::string every_byte;
    for (int b = 1; b < 256; ++b)
        if (b != '\r') every_byte += static_cast<char>(b);
    // A page file that cannot be written: its name leads to a full device.
    fs::create_symlink("/dev/full", kv.dir().path() /
                                        "\x7f"
                                        "2.WMF");
    int commands = 0;
    ASSERT_TRUE(send_document(
        kv, {std::string(100000, 'X'), "A" + every_byte, "\x0c", "FULL", "\x0c", "LAST", "\x03"},
        commands));
    const std::string log = kv.process().out();
    EXPECT_NE(log.find("Printer KV32_NO_SUCH_QUEUE is not available"), std::string::npos) << log;
    EXPECT_NE(log.find("Cannot write the page file"), std::string::npos) << log;
    EXPECT_NE(kv.process().err().find("Impossibile trovare la stampante KV32_NO_SUCH_QUEUE."),
              std::string::npos);
    const auto printed = printed_lines(kv);
    ASSERT_EQ(printed.size(), 1u) << log;
    EXPECT_EQ(printed[0].rfind("Printed 3 pages to " + out.str(), 0), 0u) << printed[0];
    const auto pages = kv::test::pdf_pages(printed_file(printed[0]));
    ASSERT_EQ(pages.size(), 3u);
    ASSERT_FALSE(pages[2].words.empty());
    EXPECT_EQ(pages[2].words[0].text, "LAST");
    EXPECT_EQ(kv.stop(), 0);
}

// Where cups-pdf writes a user's files: its configuration's "Out" folder.
std::string cups_pdf_folder() {
    std::string out = "/var/spool/cups-pdf/${USER}";
    std::ifstream conf("/etc/cups/cups-pdf.conf");
    for (std::string line; std::getline(conf, line);)
        if (line.rfind("Out ", 0) == 0) out = line.substr(4);
    const passwd* user = ::getpwuid(::getuid());
    if (!user) return {};
    for (const auto& [var, value] :
         {std::pair<std::string, std::string>{"${HOME}", user->pw_dir}, {"${USER}", user->pw_name}})
        for (auto at = out.find(var); at != std::string::npos; at = out.find(var))
            out.replace(at, var.size(), value);
    return out;
}

std::set<fs::path> pdfs_in(const std::string& folder) {
    std::set<fs::path> found;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        if (it->path().extension() == ".pdf") found.insert(it->path());
    return found;
}

TEST(PrintCommand, DocumentsPrintOnACupsQueue) {
    const QPrinterInfo info = QPrinterInfo::printerInfo(kTestQueue);
    if (info.isNull())
        GTEST_SKIP() << "no CUPS queue " << kTestQueue << " (scripts/test.sh makes it)";
    const std::string folder = cups_pdf_folder();
    // cups-pdf makes the folder, but not a missing home folder above it.
    if (folder.empty() || !fs::is_directory(fs::path(folder).parent_path()))
        GTEST_SKIP() << "cups-pdf cannot write to " << folder << " for this user";
    QPrinter queue(info, QPrinter::HighResolution);
    const QRectF paint = queue.pageLayout().paintRect(QPageLayout::Point);
    const Grid grid{paint.left(), paint.top(), paint.width(), paint.height()};

    const auto before = pdfs_in(folder);
    Kv32OnPty kv({"--printer", kTestQueue});
    ASSERT_TRUE(kv.started());
    int commands = 0;
    for (const auto& doc : three_documents()) ASSERT_TRUE(send_document(kv, doc, commands));
    EXPECT_EQ(printed_lines(kv),
              (std::vector<std::string>{"Printed 1 page to printer KV32_TEST_PDF",
                                        "Printed 2 pages to printer KV32_TEST_PDF",
                                        "Printed 2 pages to printer KV32_TEST_PDF"}));
    EXPECT_EQ(kv.stop(), 0);
    // The queue works on its own time: wait for its three files.
    std::vector<fs::path> made;
    for (int i = 0; i < 600 && made.size() < 3; ++i) {
        made.clear();
        for (const auto& p : pdfs_in(folder))
            if (!before.count(p)) made.push_back(p);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(made.size(), 3u) << "cups-pdf wrote nothing to " << folder;
    std::sort(made.begin(), made.end(), [](const fs::path& a, const fs::path& b) {
        return fs::last_write_time(a) < fs::last_write_time(b);
    });
    std::vector<std::vector<PdfPage>> docs;
    for (const auto& p : made) {
        docs.push_back(kv::test::pdf_pages(p.string()));
        ASSERT_FALSE(docs.back().empty()) << p;
    }
    std::sort(docs.begin(), docs.end(), [](const auto& a, const auto& b) {
        return a.size() != b.size() ? a.size() < b.size() : a[0].words.size() < b[0].words.size();
    });
    expect_documents(docs, grid);
    for (const auto& p : made) fs::remove(p);
}

}  // namespace
