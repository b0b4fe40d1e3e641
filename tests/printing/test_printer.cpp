// The printer object and the line printer: where lines land on the page grid, the page files of a
// preview job, cancelling, and a job without any printer.
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>

#include <gtest/gtest.h>

#include "gui/message_box.h"
#include "printing/font.h"
#include "printing/preview.h"
#include "printing/printer.h"
#include "tests/printing/printing_support.h"
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

TEST_F(PrinterTest, PageFilesExistUntilEnd) {
    auto printer = preview_printer();
    use_font(*printer);
    for (int page = 1; page <= 3; ++page) {
        printer->StartPage();
        print(*printer, {"PAGE " + std::to_string(page)});
        printer->EndPage();
        kv::printing::SETPROW(0);
    }
    const std::vector<std::string> names{
        "\x7f"
        "1.WMF",
        "\x7f"
        "2.WMF",
        "\x7f"
        "3.WMF"};
    ASSERT_EQ(printer->aMeta.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(printer->aMeta[i], (dir.path() / names[i]).string());
    for (const auto& name : names) EXPECT_TRUE(std::filesystem::exists(dir.path() / name));
    expect_at(grid_texts(*printer, 2), "PAGE 2", 3, 5);
    printer->End();
    for (const auto& name : names) EXPECT_FALSE(std::filesystem::exists(dir.path() / name));
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
    EXPECT_EQ(shown, (std::vector<std::string>(2, "Impossibile trovare la stampante .")));
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

}  // namespace
