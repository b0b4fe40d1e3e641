// The Print handler with a window: the job across commands, the preview at the end of text, and
// a machine without any printer.
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "core/handlers.h"
#include "gui/message_box.h"
#include "gui/run_mode.h"
#include "printing/preview.h"
#include "printing/printer.h"
#include "tests/core/handler_fixture.h"
#include "tests/printing/printing_support.h"

namespace {

// What one preview showed.
struct Previewed {
    std::vector<std::vector<kv::test::DrawnText>> pages;
    bool printers_listed = false;
};

class PrintHandler : public kv::test::HandlerFixture {
  protected:
    void SetUp() override {
        HandlerFixture::SetUp();
        kv::gui::set_headless(false);
        kv::printing::set_preview_runner([this](kv::printing::TPrinter& device, bool) {
            Previewed p;
            for (const auto& name : device.aMeta)
                p.pages.push_back(kv::test::texts_of_page(name, static_cast<int>(device.nHorzRes()),
                                                          static_cast<int>(device.nVertRes())));
            p.printers_listed = !kv::printing::printers().names().empty();
            previews.push_back(p);
            rows = device.nVertRes() / 66;
            device.End();
        });
    }
    void TearDown() override {
        kv::printing::set_preview_runner(nullptr);
        kv::gui::set_box_answerer(nullptr);
        HandlerFixture::TearDown();
    }
    void print(const std::vector<std::string>& lines) {
        for (const auto& line : lines) {
            device_sends(line + "\r");
            kv::core::PRINT_(port);
        }
    }
    double row_of(const kv::test::DrawnText& t) const { return t.top / rows; }

    std::vector<Previewed> previews;
    double rows = 1;
};

TEST_F(PrintHandler, EachDocumentIsPreviewedWithItsOwnJobFromRowThree) {
    kv::test::PdfPrinters printers{{"Office"}, "Office"};
    print({"\x03",
           "\x0c"
           "FF FIRST"});  // nothing open: only answered
    print({"HELLO",
           "\x0c"
           "rest not printed",
           "WORLD",
           "X\x0c"
           "Y",
           "\x03"
           "more"});
    print({"AGAIN", "\x03"});
    EXPECT_EQ(pc_sent(9), std::string(9, '\0'));
    ASSERT_EQ(previews.size(), 2u);
    ASSERT_EQ(previews[0].pages.size(), 2u);
    EXPECT_EQ(previews[0].pages[0][0].text, "HELLO");
    EXPECT_EQ(previews[0].pages[1][0].text, "WORLD");
    EXPECT_EQ(previews[0].pages[1][1].text,
              "X\x0c"
              "Y");
    EXPECT_NEAR(row_of(previews[0].pages[1][0]), 3, 0.01);
    ASSERT_EQ(previews[1].pages.size(), 1u);
    EXPECT_NEAR(row_of(previews[1].pages[0][0]), 3, 0.01);
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(e.path().filename().string()[0], '\x7f') << e.path();
}

TEST_F(PrintHandler, ALineBelowRowSixtyFiveStartsANewPage) {
    kv::test::PdfPrinters printers{{"Office"}, "Office"};
    std::vector<std::string> lines;
    for (int i = 1; i <= 70; ++i) lines.push_back("L" + std::to_string(i));
    print(lines);
    print({"\x03"});
    ASSERT_EQ(previews.size(), 1u);
    ASSERT_EQ(previews[0].pages.size(), 2u);
    ASSERT_EQ(previews[0].pages[0].size(), 63u);
    EXPECT_NEAR(row_of(previews[0].pages[0].back()), 65, 0.01);
    ASSERT_EQ(previews[0].pages[1].size(), 7u);
    EXPECT_EQ(previews[0].pages[1][0].text, "L64");
    EXPECT_NEAR(row_of(previews[0].pages[1][0]), 3, 0.01);
}

TEST_F(PrintHandler, BlankLinesBelowTheLastRowMakeNoPage) {
    kv::test::PdfPrinters printers{{"Office"}, "Office"};
    auto numbered = [](int count) {
        std::vector<std::string> lines;
        for (int i = 1; i <= count; ++i) lines.push_back("L" + std::to_string(i));
        return lines;
    };
    struct Case {
        std::vector<std::string> tail;  // after 60 numbered lines
        std::vector<std::size_t> texts_per_page;
    } cases[] = {
        {{"", "", "", "", "", "", "\x0c", "NEXT"}, {60, 1}},
        {{"   ", "", "  ", "", " ", "", "\x0c", "NEXT"}, {63, 1}},  // blanks are drawn
        {{"", "", "", "", "", "", "\x03"}, {60}},
        {{"L61", "L62", "L63", "", "", "AFTER"}, {63, 1}},  // text below the page: a new one
    };
    for (const auto& c : cases) {
        previews.clear();
        auto lines = numbered(60);
        lines.insert(lines.end(), c.tail.begin(), c.tail.end());
        print(lines);
        print({"\x03"});
        ASSERT_EQ(previews.size(), 1u);
        ASSERT_EQ(previews[0].pages.size(), c.texts_per_page.size()) << c.tail.size();
        for (std::size_t p = 0; p < c.texts_per_page.size(); ++p)
            EXPECT_EQ(previews[0].pages[p].size(), c.texts_per_page[p]) << p;
        const auto& last = previews[0].pages.back();
        if (c.texts_per_page.size() > 1) {
            EXPECT_NEAR(row_of(last.front()), 3, 0.01);
        }
    }
}

TEST_F(PrintHandler, WithoutAPrinterTheUserIsToldOncePerDocumentAndStillSeesThePages) {
    kv::test::PdfPrinters none{{}};
    std::vector<std::string> shown;
    kv::gui::set_box_answerer([&](QMessageBox& box, const kv::gui::BoxRequest& request) {
        shown.push_back(request.text);
        box.defaultButton()->click();
    });
    print({"ONE", "TWO", "\x03", "THREE", "\x03"});
    EXPECT_EQ(shown, std::vector<std::string>(2, "Impossibile trovare la stampante predefinita."));
    ASSERT_EQ(previews.size(), 2u);
    ASSERT_EQ(previews[0].pages.size(), 1u);
    EXPECT_EQ(previews[0].pages[0][1].text, "TWO");
    EXPECT_FALSE(previews[0].printers_listed);
}

}  // namespace
