// The printer object and the line printer: where lines land on the page grid, the page files of a
// preview job, cancelling, and a job without any printer.
#include <sys/wait.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include <unistd.h>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>

#include <gtest/gtest.h>

#include "db/dbf_table.h"
#include "db/work_areas.h"
#include "gui/message_box.h"
#include "printing/font.h"
#include "printing/page_files.h"
#include "printing/preview.h"
#include "printing/printer.h"
#include "tests/printing/printing_support.h"
#include "tests/support/pdf_words.h"
#include "tools/kvdev/child_process.h"
#include "util/file_names.h"
#include "util/settings.h"

namespace {

using kv::printing::PRINTTXT;
using kv::printing::TPrinter;
using kv::test::DrawnText;

class PrinterTest : public ::testing::Test {
  protected:
    PrinterTest() : cd_(dir.path()) {
        saved_margin_ = kv::util::settings().print_margin;
        kv::util::settings().print_margin = 5;
        kv::printing::SETPROW(0);
    }
    ~PrinterTest() override {
        kv::util::settings().print_margin = saved_margin_;
        kv::printing::set_preview_runner(nullptr);
        kv::gui::set_box_answerer(nullptr);
    }

    std::unique_ptr<TPrinter> preview_printer(bool record_without_printer = false) {
        kv::printing::PrinterOptions options;
        options.document = "KV Project";
        options.preview = true;
        options.record_without_printer = record_without_printer;
        return std::make_unique<TPrinter>(options);
    }
    void print(TPrinter& printer, const std::vector<std::string>& lines,
               kv::printing::TextOptions options = {}) {
        options.font = font_.get();
        PRINTTXT(lines, printer, options);
    }
    void use_font(const TPrinter& printer) {
        font_ = std::make_unique<kv::printing::TFont>("Courier New", 0, 10, printer);
    }
    // The texts of a recorded page, with positions in rows and columns of the grid.
    std::vector<DrawnText> grid_texts(const TPrinter& printer, int page) {
        auto texts = kv::test::texts_of_page(printer.aMeta.at(page - 1),
                                             static_cast<int>(printer.nHorzRes()),
                                             static_cast<int>(printer.nVertRes()));
        for (auto& t : texts) {
            t.x /= printer.nHorzRes() / 80;
            t.width /= printer.nHorzRes() / 80;
            t.top /= printer.nVertRes() / 66;
        }
        return texts;
    }

    kv::test::TempDir dir;
    kv::test::PdfPrinters printers{{"Test"}, "Test"};

  private:
    kv::test::ScopedCurrentDir cd_;
    kv::printing::ScopedPrintPosition position_;
    std::unique_ptr<kv::printing::TFont> font_;
    int saved_margin_ = 0;
};

void expect_at(const std::vector<DrawnText>& texts, const std::string& text, double row,
               double column) {
    auto it = std::find_if(texts.begin(), texts.end(),
                           [&](const DrawnText& t) { return t.text == text; });
    ASSERT_NE(it, texts.end()) << text;
    EXPECT_NEAR(it->top, row, 0.05) << text;
    EXPECT_NEAR(it->x, column, 0.05) << text;
}

TEST_F(PrinterTest, LinesGoOneRowApartFromRowThreeAtTheMargin) {
    auto printer = preview_printer();
    use_font(*printer);
    printer->StartPage();
    print(*printer, {"HELLO"});
    print(*printer, {""});
    print(*printer, {"WORLD"});
    print(*printer, {});  // no lines: the row still advances
    print(*printer, {"AFTER", "EMPTY"});
    kv::printing::SETPROW(0);
    print(*printer, {"AGAIN"});
    printer->EndPage();
    const auto texts = grid_texts(*printer, 1);
    expect_at(texts, "HELLO", 3, 5);
    expect_at(texts, "WORLD", 5, 5);
    expect_at(texts, "AFTER EMPTY", 7, 5);
    expect_at(texts, "AGAIN", 3, 5);
}

TEST_F(PrinterTest, LineStepOfTwoUntilTheNextPrinter) {
    {
        auto printer = preview_printer();
        use_font(*printer);
        kv::printing::PFEED(2);
        printer->StartPage();
        print(*printer, {"ONE"});
        print(*printer, {"TWO"});
        printer->EndPage();
        const auto texts = grid_texts(*printer, 1);
        expect_at(texts, "ONE", 4, 5);
        expect_at(texts, "TWO", 6, 5);
    }
    auto next = preview_printer();
    EXPECT_EQ(kv::printing::PFEED(), 1);
}

TEST_F(PrinterTest, AlignmentsAndJustification) {
    auto printer = preview_printer();
    use_font(*printer);
    const double char_width = printer->GetTextWidth("M", nullptr) / (printer->nHorzRes() / 80);
    printer->StartPage();
    kv::printing::TextOptions right;
    right.right = true;
    right.length = 10;
    right.column = 3;
    print(*printer, {"RIGHT"}, right);  // ends at column 3 + 5 + 10
    kv::printing::TextOptions centre;
    centre.centre = true;
    print(*printer, {"MID"}, centre);  // one row lower, centred on the page
    print(*printer, {"LEFT"});
    kv::printing::TextOptions go_on;
    go_on.column = 0;
    print(*printer, {"ON"}, go_on);  // goes on after LEFT on the same row
    kv::printing::TextOptions justify;
    justify.justify = true;
    justify.width = 30;
    print(*printer, {"A B C"}, justify);
    print(*printer, {std::string("D E F") + kv::printing::PARAGRAPH_END}, justify);
    printer->EndPage();
    const auto texts = grid_texts(*printer, 1);
    expect_at(texts, "RIGHT", 2, 18 - 5 * char_width);  // a given column stays on the row
    expect_at(texts, "MID", 3, 40 - 1.5 * char_width);
    expect_at(texts, "ON", 4, 5 + 4 * char_width);
    // Justified: the blanks widen so that the text fills 30 columns; a paragraph end does not.
    expect_at(texts, "A B C", 5, 5);
    expect_at(texts, "D E F", 6, 5);
    for (const auto& t : texts) {
        if (t.text == "A B C") {
            EXPECT_NEAR(t.width, 30, 0.1);
        } else if (t.text == "D E F") {
            EXPECT_NEAR(t.width, 5 * char_width, 0.1);
        }
    }
}

TEST_F(PrinterTest, OemBytesAreConvertedOnlyWhenALineHoldsOne) {
    auto printer = preview_printer();
    use_font(*printer);
    printer->StartPage();
    print(*printer, {"caff\x82"});       // code page 850: e acute
    print(*printer, {"caff\xe9 \x80"});  // all outside 0x81..0xA8: Windows-1252 as it is
    print(*printer, {"\x81\xa8 \xa9"});  // both ends of the range, and one beyond it
    printer->EndPage();
    const auto texts = grid_texts(*printer, 1);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text, "caff\u00e9");
    EXPECT_EQ(texts[1].text, "caff\u00e9 \u20ac");
    EXPECT_EQ(texts[2].text, "\u00fc\u00bf \u00ae");
}

// A report that walks the current work area's table leaves it on the record it started on.
TEST_F(PrinterTest, EndGoesBackToTheRecordOfTheCurrentTableAtCreation) {
    ASSERT_TRUE(kv::db::Table::create("T.DBF", {{"N", 'N', 3, 0}}));
    auto& areas = kv::db::work_areas();
    ASSERT_TRUE(areas.open("T.DBF"));
    kv::db::Table& table = *areas.table();
    for (int i = 0; i < 3; ++i) table.append();
    table.go_to(2);
    {
        auto printer = preview_printer();
        EXPECT_EQ(printer->nRec, 2);
        table.go_bottom();
        printer->End();
        EXPECT_EQ(table.record_number(), 2);
        table.go_to(3);
    }
    EXPECT_EQ(table.record_number(), 3) << "an ended job goes back only once";
    areas.close_all();
}

TEST_F(PrinterTest, PageFilesExistUntilEnd) {
    auto printer = preview_printer();
    use_font(*printer);
    for (int page = 1; page <= 3; ++page) {
        printer->StartPage();
        print(*printer, {"PAGE " + std::to_string(page)});
        printer->EndPage();
        kv::printing::SETPROW(0);
    }
    // Each page file is this process's, of one job, numbered by page; another job's names
    // differ.
    auto other = preview_printer();
    other->StartPage();
    other->EndPage();
    ASSERT_EQ(other->aMeta.size(), 1u);
    const std::vector<std::string> names = printer->aMeta;
    ASSERT_EQ(names.size(), 3u);
    std::optional<long> job;
    for (int i = 0; i < 3; ++i) {
        const std::filesystem::path file(names[i]);
        EXPECT_EQ(file.parent_path(), dir.path());
        const auto owner = kv::util::page_file_owner(file.filename().string());
        ASSERT_TRUE(owner) << file;
        EXPECT_EQ(owner->pid, ::getpid());
        EXPECT_EQ(owner->page, i + 1);
        if (!job) job = owner->job;
        EXPECT_EQ(owner->job, *job);
        EXPECT_TRUE(std::filesystem::exists(file));
        EXPECT_NE(names[i], other->aMeta[0]);
    }
    expect_at(grid_texts(*printer, 2), "PAGE 2", 3, 5);
    printer->End();
    for (const auto& name : names) EXPECT_FALSE(std::filesystem::exists(name));
    EXPECT_TRUE(std::filesystem::exists(other->aMeta[0]));
}

TEST(PageFiles, OnlyThoseOfEndedProcessesAreRemovedAtStartUp) {
    kv::test::TempDir root;
    // A process that has ended: its id is free.
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    using kv::util::page_file_name;
    struct Case {
        std::string file;
        bool removed;
    } cases[] = {
        {page_file_name(ended, 1, 1), true},
        {"GAMES/OLD/" + page_file_name(ended, 3, 12), true},
        {page_file_name(::getpid(), 1, 1), true},               // this process has made none yet
        {"GAMES/" + page_file_name(::getppid(), 2, 1), false},  // a running process's
        {page_file_name(1, 1, 1), false},
        {"\x7f"
         "VIEW1.NTX",
         false},  // not page files
        {"\x7f"
         "1.WMF",
         false},
        {"\x7f" + std::to_string(ended) + "-x-1.WMF", false},
        {page_file_name(ended, 1, 1) + ".BAK", false},
    };
    for (const auto& c : cases) root.write(c.file, "page");
    EXPECT_EQ(kv::printing::remove_stale_page_files(root.str()), 3);
    for (const auto& c : cases)
        EXPECT_EQ(std::filesystem::exists(root.path() / c.file), !c.removed) << c.file;
    const auto lower = kv::util::page_file_owner(
        "\x7f"
        "12-3-4.wmf");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->pid, 12);
    EXPECT_EQ(lower->job, 3);
    EXPECT_EQ(lower->page, 4);
}

TEST_F(PrinterTest, CancelDuringPageTwoOfFourPreviewsPagesOneAndTwo) {
    auto printer = preview_printer();
    use_font(*printer);
    std::vector<std::vector<DrawnText>> previewed;
    kv::printing::set_preview_runner([&](TPrinter& device, bool) {
        for (int page = 1; page <= static_cast<int>(device.aMeta.size()); ++page)
            previewed.push_back(grid_texts(device, page));
        device.End();
    });
    for (int page = 1; page <= 4; ++page) {
        printer->StartPage();
        print(*printer, {"FIRST " + std::to_string(page)});
        if (page == 2) printer->lCancel = true;  // the progress dialog's "&Annulla"
        print(*printer, {"SECOND " + std::to_string(page)});
        printer->EndPage();
        kv::printing::SETPROW(0);
    }
    EXPECT_EQ(printer->nPage, 5);  // page ends still count
    printer->Preview();
    ASSERT_EQ(previewed.size(), 2u);
    ASSERT_EQ(previewed[1].size(), 1u);
    EXPECT_EQ(previewed[1][0].text, "FIRST 2");
    EXPECT_TRUE(printer->aMeta.empty());  // the preview ended the printer
}

TEST_F(PrinterTest, WithoutAnyPrinterTheUserIsToldAndNothingIsRecordedUnlessAsked) {
    kv::test::PdfPrinters none{{}};
    std::vector<std::string> shown;
    kv::gui::set_box_answerer([&](QMessageBox& box, const kv::gui::BoxRequest& request) {
        shown.push_back(request.text);
        box.defaultButton()->click();
    });
    {
        auto printer = preview_printer();
        EXPECT_FALSE(printer->active());
        printer->StartPage();
        print(*printer, {"LOST"});
        printer->EndPage();
        EXPECT_TRUE(printer->aMeta.empty());
    }
    auto printer = preview_printer(true);  // the Print command's way: record on A4 all the same
    use_font(*printer);
    printer->StartPage();
    print(*printer, {"KEPT"});
    printer->EndPage();
    ASSERT_EQ(printer->aMeta.size(), 1u);
    expect_at(grid_texts(*printer, 1), "KEPT", 3, 5);
    EXPECT_EQ(shown,
              (std::vector<std::string>(2, "Impossibile trovare la stampante predefinita.")));
}

TEST_F(PrinterTest, WithoutADefaultTheOnlyPrinterIsUsedAndSeveralAreListed) {
    struct Case {
        std::vector<std::string> names;
        std::string default_name;
        std::string model;  // the printer the job is on; "" none
        std::vector<std::string> told;
        std::string details;
    } cases[] = {
        {{"Office", "Lab"}, "Lab", "Lab", {}, ""},
        {{"Office"}, "", "Office", {}, ""},
        {{}, "", "", {"Impossibile trovare la stampante predefinita."}, "No printer is installed."},
        {{"Office", "Lab"},
         "",
         "",
         {"Impossibile trovare la stampante predefinita."},
         "No default printer is set. Installed printers: Office Lab.\nMake one the default "
         "printer with: lpoptions -d NAME"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names.size());
        kv::test::PdfPrinters installed{c.names, c.default_name};
        std::vector<std::string> told;
        std::string details;
        kv::gui::ScopedBoxAnswerer answerer(
            [&](QMessageBox& box, const kv::gui::BoxRequest& request) {
                told.push_back(request.text);
                details = request.details;
                box.defaultButton()->click();
            });
        auto printer = preview_printer(true);
        EXPECT_EQ(printer->hPrinterDC != nullptr, !c.model.empty());
        EXPECT_EQ(printer->cModel, c.model);
        EXPECT_EQ(told, c.told);
        EXPECT_EQ(details, c.details);
    }
}

// Sets environment variables for the length of a scope (nullptr unsets one).
class ScopedEnv {
  public:
    explicit ScopedEnv(std::vector<std::pair<std::string, const char*>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            if (value)
                ::setenv(name.c_str(), value, 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(PrinterTest, PdfFilesAreOnThePaperOfTheLocale) {
    // A US locale, built here: the machine may have none installed.
    kv::test::TempDir locales;
    kv::dev::ChildProcess localedef("/usr/bin/localedef",
                                    {"-i", "en_US", "-f", "UTF-8", locales.str() + "/en_US.UTF-8"});
    const bool have_us = localedef.wait_exit(std::chrono::seconds(60)) == 0;
    const QSizeF a4(595.3, 841.9), letter(612, 792);
    struct Case {
        const char* lc_paper;
        const char* lang;
        QPageLayout recorded;  // the printer's page; fallback: none, the locale's
        QSizeF pdf;
    } cases[] = {
        {nullptr, nullptr, {}, a4},
        {nullptr, "C.UTF-8", {}, a4},
        {"en_US.UTF-8", "C", {}, letter},
        {nullptr, "en_US.UTF-8", {}, letter},
        // Recorded on a Letter printer, saved where the paper is A4: scaled onto A4.
        {nullptr, nullptr,
         QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, {}, QPageLayout::Point),
         a4},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n++);
        const bool us = (c.lc_paper && std::string(c.lc_paper).rfind("en_US", 0) == 0) ||
                        (c.lang && std::string(c.lang).rfind("en_US", 0) == 0);
        if (us && !have_us) continue;
#if defined(__SANITIZE_ADDRESS__)
        // The C library keeps for good what it reads while LOCPATH names a folder of locales.
        __lsan::ScopedDisabler glibc_keeps_locale_paths;
#endif
        ScopedEnv env({{"LC_ALL", nullptr},
                       {"LC_PAPER", c.lc_paper},
                       {"LANG", c.lang},
                       {"LOCPATH", locales.str().c_str()}});
        kv::printing::PrinterOptions options;
        options.document = "KV Project";
        options.preview = true;
        std::optional<kv::test::PdfPrinters> letter_printer;
        if (c.recorded.isValid()) {
            letter_printer.emplace(std::vector<std::string>{"Letter"}, "Letter");
            letter_printer->layout = c.recorded;
        } else {
            options.fallback_page_only = true;
        }
        TPrinter printer(options);
        use_font(printer);
        printer.StartPage();
        for (int line = 1; line <= 63; ++line) print(printer, {"LINE" + std::to_string(line)});
        printer.EndPage();
        kv::printing::SETPROW(0);
        const std::string file = (dir.path() / "out.pdf").string();
        ASSERT_TRUE(kv::printing::write_pdf(printer, file).ok);
        const auto pages = kv::test::pdf_pages(file);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_NEAR(pages[0].width, c.pdf.width(), 1);
        EXPECT_NEAR(pages[0].height, c.pdf.height(), 1);
        ASSERT_EQ(pages[0].words.size(), 63u);  // row 65 is on the page
        EXPECT_LT(pages[0].words.back().y_max, pages[0].height);
        EXPECT_GT(pages[0].words.back().y_max, pages[0].height * 0.9);
    }
    if (!have_us) GTEST_SKIP() << "no en_US locale could be built: only A4 was tried";
}

TEST(MemoLines, CutAtBlanksAndMarkParagraphEnds) {
    using kv::printing::AMEMOLINE;
    const std::string end(1, kv::printing::PARAGRAPH_END);
    struct Case {
        std::string text;
        int width;
        std::vector<std::string> lines;
    } cases[] = {
        {"one two three", 7, {"one two", "three"}},
        {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
        {"a\r\nb c", 10, {"a", "b c"}},
        {"", 10, {""}},
        {kv::printing::MEMOADJ("first para\r\nsecond"), 6, {"first", "para" + end, "second" + end}},
    };
    for (const auto& c : cases) EXPECT_EQ(AMEMOLINE(c.text, c.width), c.lines) << c.text;
}

// The folder of the page files and of a PDF may be shared with other users, and their names are
// easy to guess: each is created new, never opened through a link or a file already there, and
// what stood there is left as it was.
TEST_F(PrinterTest, PageFilesAndAPdfsTemporaryFileAreNeverOpenedThroughWhatStandsThere) {
    namespace fs = std::filesystem;
    kv::test::TempDir elsewhere;
    const fs::path victim = elsewhere.write("VICTIM", "keep");
    fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write);
    auto printer = preview_printer();
    use_font(*printer);
    fs::create_symlink(victim, dir.path() / printer->page_file_name(1));
    dir.write(printer->page_file_name(2), "theirs");
    for (int page = 1; page <= 3; ++page) {
        printer->StartPage();
        print(*printer, {"PAGE " + std::to_string(page)});
        printer->EndPage();
        kv::printing::SETPROW(0);
    }
    EXPECT_EQ(printer->unwritten_pages().size(), 2u);
    // The name the PDF's temporary file had before it was made unguessable.
    fs::create_symlink(victim, dir.path() / (".out.pdf." + std::to_string(::getpid()) + ".part"));
    const std::string pdf = (dir.path() / "out.pdf").string();
    ASSERT_TRUE(kv::printing::write_pdf(*printer, pdf).ok);
    const auto pages = kv::test::pdf_pages(pdf);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[1].words.at(0).text, "PAGE");
    printer->End();
    EXPECT_EQ(elsewhere.read("VICTIM"), "keep");
    EXPECT_EQ(dir.read(printer->page_file_name(2)), "theirs");
    EXPECT_TRUE(fs::is_symlink(dir.path() / printer->page_file_name(1)));
}

}  // namespace

// A PDF that does not fit on its disk is refused with the system's reason, and leaves nothing
// behind (a real full disk: a small tmpfs, so only when the test may mount one).
TEST_F(PrinterTest, APdfThatDoesNotFitNamesTheReasonAndLeavesNothing) {
    namespace fs = std::filesystem;
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    const fs::path disk = dir.path() / "SMALL";
    fs::create_directory(disk);
    if (std::system(("mount -t tmpfs -o size=4k tmpfs '" + disk.string() + "'").c_str()) != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    auto printer = preview_printer();
    use_font(*printer);
    for (int page = 1; page <= 3; ++page) {
        printer->StartPage();
        for (int line = 1; line <= 60; ++line) print(*printer, {"PAGE " + std::to_string(page)});
        printer->EndPage();
        kv::printing::SETPROW(0);
    }
    const auto result = kv::printing::write_pdf(*printer, (disk / "OUT.PDF").string());
    printer->End();
    const bool empty = fs::is_empty(disk);
    std::system(("umount '" + disk.string() + "'").c_str());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, std::strerror(ENOSPC));
    EXPECT_TRUE(empty);
}
