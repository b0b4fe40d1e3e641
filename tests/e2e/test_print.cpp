// The Print command end to end: kv32 --headless on a pseudo-terminal, the device's own "P"
// commands, and the PDF files that come out, read back with pdftotext.
#include <pwd.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QPrinter>
#include <QPrinterInfo>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tests/support/pdf_words.h"
#include "tools/kvdev/commands.h"
#include "tools/kvdev/print.h"
#include "util/file_names.h"

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

// Checks that KV32 reported exactly one document printed, with a line that begins with `prefix`,
// and that its pages begin with `first_words` ("" where any word will do). A relative destination
// is read in KV32's folder.
void expect_one_document(Kv32OnPty& kv, const std::string& prefix,
                         const std::vector<std::string>& first_words) {
    const auto printed = printed_lines(kv);
    ASSERT_EQ(printed.size(), 1u) << kv.process().out();
    EXPECT_EQ(printed[0].rfind(prefix, 0), 0u) << printed[0];
    const auto pages = kv::test::pdf_pages((kv.dir().path() / printed_file(printed[0])).string());
    ASSERT_EQ(pages.size(), first_words.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        ASSERT_FALSE(pages[i].words.empty()) << "page " << i + 1;
        if (!first_words[i].empty()) {
            EXPECT_EQ(pages[i].words[0].text, first_words[i]);
        }
    }
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
    // A page file that cannot be written (its name leads to a full device): the page is kept in
    // memory.
    fs::create_symlink("/dev/full",
                       kv.dir().path() / kv::util::page_file_name(kv.process().pid(), 1, 2));
    int commands = 0;
    ASSERT_TRUE(send_document(
        kv, {std::string(100000, 'X'), "A" + every_byte, "\x0c", "FULL", "\x0c", "LAST", "\x03"},
        commands));
    const std::string log = kv.process().out();
    EXPECT_NE(log.find("Printer KV32_NO_SUCH_QUEUE is not available"), std::string::npos) << log;
    EXPECT_NE(log.find("Cannot write the page file"), std::string::npos) << log;
    EXPECT_NE(kv.process().err().find("Impossibile trovare la stampante KV32_NO_SUCH_QUEUE."),
              std::string::npos);
    expect_one_document(kv, "Printed 3 pages to " + out.str(), {"", "FULL", "LAST"});
    EXPECT_EQ(kv.stop(), 0);
}

// The page files in a folder: names that begin with the temporary mark and end in ".WMF".
int page_files_in(const fs::path& folder) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        n += kv::util::page_file_owner(name).has_value();
    }
    return n;
}

// Sets an environment variable of this process (and so of the programs it starts) for a scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (saved_)
            ::setenv(name_, saved_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

// A small file system of its own (root only: tmpfs), unmounted at the end of the scope.
class SmallDisk {
  public:
    explicit SmallDisk(int kilobytes) {
        if (::geteuid() != 0) return;
        mounted_ = ::mount("tmpfs", dir_.str().c_str(), "tmpfs", 0,
                           ("size=" + std::to_string(kilobytes) + "k").c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(dir_.str().c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const fs::path& path() const { return dir_.path(); }
    // Fills the disk so that about `left` bytes stay free.
    void fill(std::uintmax_t left) {
        const auto free = fs::space(path()).available;
        std::ofstream(path() / "FILLER", std::ios::binary)
            << std::string(free > left ? free - left : 0, 'F');
    }
    void empty() { fs::remove(path() / "FILLER"); }

  private:
    kv::test::TempDir dir_;
    bool mounted_ = false;
};

// The files of a folder, by name.
std::set<std::string> names_in(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename());
    return names;
}

// A document that cannot be written whole is never reported as printed: the partial file goes,
// the cause is logged, the next destination is tried, and the next document starts afresh.
TEST(PrintCommand, APdfThatCannotBeWrittenWholeIsNotReportedAsPrinted) {
    ScopedEnv no_cups("CUPS_SERVER", "/nonexistent/kv32-no-cups.sock");  // no printer to fall to
    {
        SCOPED_TRACE("the folder removed");
        kv::test::TempDir out;
        Kv32OnPty kv({"--print-to", out.str()});
        ASSERT_TRUE(kv.started());
        fs::remove_all(out.path());
        int commands = 0;
        ASSERT_TRUE(send_document(kv, {"HELLO", "\x03"}, commands));
        const std::string log = kv.process().out();
        EXPECT_NE(log.find("Cannot write " + out.str() + "/KV Project "), std::string::npos) << log;
        expect_one_document(
            kv, "Printed 1 page to " + fs::canonical(kv.dir().path()).string() + "/KV Project ",
            {"HELLO"});
        EXPECT_EQ(kv.stop(), 0);
    }
    SmallDisk disk(256);
    if (!disk.mounted()) GTEST_SKIP() << "no small disk (tmpfs) can be mounted by this user";
    {
        SCOPED_TRACE("a full disk");
        fs::create_directory(disk.path() / "SERVED");
        const std::string served = (disk.path() / "SERVED").string();
        Kv32OnPty kv({"--root", served, "--print-to", served});
        ASSERT_TRUE(kv.started());
        disk.fill(6 * 1024);  // room for a page file, not for a PDF file
        std::vector<std::string> lines = numbered_lines(60);
        lines.push_back("\x03");
        int commands = 0;
        ASSERT_TRUE(send_document(kv, lines, commands));
        EXPECT_TRUE(printed_lines(kv).empty()) << kv.process().out();
        // The whole path.
        const std::string log = kv.process().out();
        EXPECT_NE(log.find("The document was not printed: cannot write " +
                           fs::canonical(served).string() + "/KV Project "),
                  std::string::npos)
            << log;
        EXPECT_EQ(names_in(served), std::set<std::string>{});  // nothing partial is left
        disk.empty();                                          // the next document is tried afresh
        ASSERT_TRUE(send_document(kv, lines, commands));
        const auto printed = printed_lines(kv);
        ASSERT_EQ(printed.size(), 1u) << kv.process().out();
        const auto pages = kv::test::pdf_pages(printed_file(printed[0]));
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].words.size(), 60u);
        EXPECT_EQ(kv.stop(), 0);
    }
    {
        SCOPED_TRACE("page files on a full disk");
        kv::test::TempDir out;
        fs::create_directories(disk.path() / "PAGES");
        Kv32OnPty kv({"--root", (disk.path() / "PAGES").string(), "--print-to", out.str()});
        ASSERT_TRUE(kv.started());
        disk.fill(0);
        int commands = 0;
        ASSERT_TRUE(send_document(kv, {"ONE", "\x0c", "TWO", "\x03"}, commands));
        disk.empty();
        EXPECT_NE(kv.process().out().find("the page is kept in memory"), std::string::npos);
        expect_one_document(kv, "Printed 2 pages to " + out.str(), {"ONE", "TWO"});
        EXPECT_EQ(kv.stop(), 0);
    }
}

TEST(PrintCommand, APageFileThatCannotBeReadBackIsReportedLost) {
    kv::test::TempDir out;
    Kv32OnPty kv({"--print-to", out.str()});
    ASSERT_TRUE(kv.started());
    int commands = 0;
    ASSERT_TRUE(send_document(kv, {"PAGE1", "\x0c", "PAGE2", "\x0c", "PAGE3"}, commands));
    // Another program spoils the second page's file before the document ends.
    std::ofstream(kv.dir().path() / kv::util::page_file_name(kv.process().pid(), 1, 2))
        << "not a page";
    ASSERT_TRUE(send_document(kv, {"\x03"}, commands));
    const std::string log = kv.process().out();
    EXPECT_NE(log.find("Page 2 was lost: its page file could not be read back."), std::string::npos)
        << log;
    expect_one_document(kv, "Printed 2 pages to " + out.str(), {"PAGE1", "PAGE3"});
    EXPECT_EQ(kv.stop(), 0);
}

// Two copies of KV32 serve the same folder, each with a document open: neither touches the
// other's page files, whichever ends its document first; a copy that starts meanwhile removes
// only the page files of a copy that ended abnormally.
TEST(PrintCommand, TwoCopiesInOneFolderKeepTheirOwnPageFiles) {
    kv::test::TempDir out;
    Kv32OnPty first({"--print-to", out.str()});
    ASSERT_TRUE(first.started());
    first.dir().write("GAMES/KEEP", "");
    // The first copy's device works in a folder below the served one: its page files go there.
    ASSERT_EQ(kv::dev::change_folder(first.device(), "GAMES", {kv::test::kReplyTimeout}), 0);
    int first_commands = 1;
    ASSERT_TRUE(send_document(first, {"FIRST", "\x0c", "PAGE2"}, first_commands));
    ASSERT_EQ(page_files_in(first.dir().path() / "GAMES"), 1);  // the first page, ended
    // A page file of a copy that ended abnormally.
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const auto stale = first.dir().write("GAMES/" + kv::util::page_file_name(ended, 1, 1), "x");

    kv::dev::PtyPair pty;
    kv::dev::DeviceLink device = pty.take_master();
    kv::dev::ChildProcess second(
        KV32_BINARY, {"--headless", "--port", pty.slave_path(), "--print-to", out.str()},
        first.dir().str());
    ASSERT_TRUE(device.read_start_byte(kv::test::kStartTimeout));
    ASSERT_TRUE(second.wait_for_line(kv::test::kWaitingLine, kv::test::kStartTimeout));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_EQ(page_files_in(first.dir().path() / "GAMES"), 1);  // the first copy's own
    ASSERT_EQ(kv::dev::change_folder(device, "GAMES", {kv::test::kReplyTimeout}), 0);
    // The second copy prints a whole document in the same folder meanwhile.
    for (const std::string line : {"SECOND", "\x0c", "OTHER", "\x03"})
        ASSERT_EQ(kv::dev::print_line(device, line, {kv::test::kReplyTimeout}), 0);
    ASSERT_TRUE(second.wait_for_prefix("Printed 2 pages to ", kv::test::kReplyTimeout));
    // Its document ended (its own page files gone); the first copy's page is still there.
    ASSERT_TRUE(second.wait_for_line(kv::test::kWaitingLine, kv::test::kReplyTimeout, 6));
    EXPECT_EQ(page_files_in(first.dir().path() / "GAMES"), 1);
    ASSERT_TRUE(send_document(first, {"\x03"}, first_commands));
    expect_one_document(first, "Printed 2 pages to ", {"FIRST", "PAGE2"});
    second.signal(SIGTERM);
    EXPECT_EQ(second.wait_exit(kv::test::kStartTimeout), 0);
    EXPECT_EQ(first.stop(), 0);
}

TEST(PrintCommand, AMissingPrinterIsReportedOncePerRun) {
    kv::test::TempDir out;
    Kv32OnPty kv({"--print-to", out.str(), "--printer", "KV32_NO_SUCH_QUEUE"});
    ASSERT_TRUE(kv.started());
    int commands = 0;
    for (int doc = 0; doc < 3; ++doc) ASSERT_TRUE(send_document(kv, {"HELLO", "\x03"}, commands));
    EXPECT_EQ(printed_lines(kv).size(), 3u);
    EXPECT_EQ(kv.stop(), 0);
    const std::string err = kv.process().err();
    const std::string text = "Impossibile trovare la stampante KV32_NO_SUCH_QUEUE.";
    EXPECT_NE(err.find(text), std::string::npos) << err;
    EXPECT_EQ(err.find(text), err.rfind(text)) << err;
}

// KV32 in its window (on the offscreen platform) ends within a second of a quit signal, whatever
// window it shows: the preview of a document, the box that says no printer can be found, or the
// box of a port that cannot be opened.
TEST(PrintWindowProcess, AQuitSignalEndsKv32WhateverWindowIsOpen) {
    enum class Open { Preview, NoPrinterBox, StartUpBox };
    for (Open open : {Open::Preview, Open::NoPrinterBox, Open::StartUpBox}) {
        SCOPED_TRACE(static_cast<int>(open));
        std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen"};
        if (open == Open::Preview) {
            if (QPrinterInfo::printerInfo(kTestQueue).isNull()) continue;  // no printer: no preview
            env.push_back(std::string("PRINTER=") + kTestQueue);
        } else {
            env.push_back("CUPS_SERVER=/nonexistent/kv32-no-cups.sock");
        }
        kv::test::TempDir dir;
        kv::dev::PtyPair pty;
        kv::dev::DeviceLink device = pty.take_master();
        const std::string port =
            open == Open::StartUpBox ? "/dev/kv32-no-such-port" : pty.slave_path();
        kv::dev::ChildProcess kv(KV32_BINARY, {"--port", port}, dir.str(), env);
        std::size_t pages = 0;
        if (open != Open::StartUpBox) {
            ASSERT_TRUE(device.read_start_byte(kv::test::kStartTimeout));
            // The box stops KV32 at the first line; the preview opens at the end of text.
            std::vector<std::string> lines{"HELLO"};
            if (open == Open::Preview) lines = {"HELLO", "\x0c", "WORLD", "\x03"}, pages = 2;
            for (const auto& line : lines)
                ASSERT_EQ(kv::dev::print_line(device, line, {kv::test::kReplyTimeout}), 0);
        }
        // The preview, or the box, is up by now (the page files stay until the preview closes).
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_EQ(page_files_in(dir.path()), static_cast<int>(pages));
        kv.signal(SIGTERM);
        const auto status = kv.wait_exit(std::chrono::seconds(3));
        ASSERT_TRUE(status.has_value()) << "KV32 did not end on the signal";
        EXPECT_EQ(*status, open == Open::StartUpBox ? 1 : 0);
        EXPECT_EQ(page_files_in(dir.path()), 0);
    }
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

// Each queue's documents are laid out on the queue's own default paper: A4, or US Letter, where
// row 65 must still be on the page.
class CupsQueues : public ::testing::TestWithParam<std::pair<const char*, QSizeF>> {};

TEST_P(CupsQueues, DocumentsPrintOnTheQueuesOwnPaper) {
    const auto [queue_name, paper] = GetParam();
    const QPrinterInfo info = QPrinterInfo::printerInfo(queue_name);
    if (info.isNull())
        GTEST_SKIP() << "no CUPS queue " << queue_name << " (scripts/print-queue.sh makes it)";
    const std::string folder = cups_pdf_folder();
    // cups-pdf makes the folder, but not a missing home folder above it.
    if (folder.empty() || !fs::is_directory(fs::path(folder).parent_path()))
        GTEST_SKIP() << "cups-pdf cannot write to " << folder << " for this user";
    ASSERT_EQ(info.defaultPageSize().sizePoints(), paper.toSize());
    // The printable area the queue's description gives for its default paper.
    QPrinter queue(info, QPrinter::HighResolution);
    queue.setPageSize(info.defaultPageSize());
    const QRectF paint = queue.pageLayout().paintRect(QPageLayout::Point);
    const Grid grid{paint.left(), paint.top(), paint.width(), paint.height()};

    const auto before = pdfs_in(folder);
    Kv32OnPty kv({"--printer", queue_name});
    ASSERT_TRUE(kv.started());
    int commands = 0;
    for (const auto& doc : three_documents()) ASSERT_TRUE(send_document(kv, doc, commands));
    const std::string to = std::string(" to printer ") + queue_name;
    EXPECT_EQ(printed_lines(kv),
              (std::vector<std::string>{"Printed 1 page" + to, "Printed 2 pages" + to,
                                        "Printed 2 pages" + to}));
    EXPECT_EQ(kv.stop(), 0);
    // The queue works on its own time: wait for its three files. The other queue's test may run
    // meanwhile and write to the same folder: a file of this paper is this queue's.
    std::vector<fs::path> made;
    std::set<fs::path> others;
    for (int i = 0; i < 600 && made.size() < 3; ++i) {
        for (const auto& p : pdfs_in(folder)) {
            if (before.count(p) || others.count(p) ||
                std::find(made.begin(), made.end(), p) != made.end())
                continue;
            const auto pages = kv::test::pdf_pages(p.string());
            if (pages.empty()) continue;  // still being written
            if (std::abs(pages[0].width - paper.width()) < 1)
                made.push_back(p);
            else
                others.insert(p);
        }
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
    for (const auto& doc : docs)
        for (const auto& page : doc) {
            EXPECT_NEAR(page.width, paper.width(), 1);
            EXPECT_NEAR(page.height, paper.height(), 1);
        }
    expect_documents(docs, grid);
    for (const auto& p : made) fs::remove(p);
}

INSTANTIATE_TEST_SUITE_P(Paper, CupsQueues,
                         ::testing::Values(std::pair{kTestQueue, QSizeF(595, 842)},
                                           std::pair{"KV32_TEST_LETTER", QSizeF(612, 792)}),
                         [](const auto& info) { return std::string(info.param.first); });

}  // namespace

namespace {

// --printer and --print-to are checked at the start: a printer that is not installed and a folder
// that cannot take files are warned of (with the printers there are, or why), before any document.
TEST(PrintCommand, ThePrinterAndTheFolderForDocumentsAreCheckedAtTheStart) {
    kv::test::TempDir locked;
    fs::permissions(locked.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--printer", "KV32_NO_SUCH_QUEUE"}, "Warning: there is no printer KV32_NO_SUCH_QUEUE ("},
        {{"--print-to", locked.str()},
         "Warning: no PDF file can be written in " + locked.str() + " (Permission denied"},
    };
    for (const auto& [args, warning] : cases) {
        SCOPED_TRACE(warning);
        if (args[0] == "--print-to" && ::geteuid() == 0) continue;  // root writes anywhere
        kv::test::Kv32OnPty kv(args);
        ASSERT_TRUE(kv.started()) << kv.process().err();
        const auto line = kv.process().wait_for_prefix(warning, kv::test::kReplyTimeout);
        ASSERT_TRUE(line) << kv.process().out();
        EXPECT_NE(line->find("); documents go to the next place that takes them."),
                  std::string::npos)
            << *line;
        EXPECT_EQ(kv.stop(), 0);
    }
    fs::permissions(locked.path(), fs::perms::owner_all);
}

}  // namespace
