// The preview window on the offscreen platform: paging at both ends, scroll-bar and wheel jumps,
// zoom, printing from it, and the page files gone once it has closed.
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include <gtest/gtest.h>

#include "printing/font.h"
#include "printing/preview_window.h"
#include "printing/print_dialog.h"
#include "printing/printer.h"
#include "tests/printing/printing_support.h"
#include "tests/support/pdf_words.h"
#include "tests/support/system_input.h"
#include "tests/support/window_test.h"

namespace {

using kv::printing::TPreview;
using kv::printing::TPrinter;
using A = QAbstractSlider::SliderAction;

class PreviewTest : public kv::test::WindowTest {
  protected:
    PreviewTest() : cd_(dir.path()) {}

    // A recorded document whose page n holds "PAGE n".
    std::unique_ptr<TPrinter> document(int pages) {
        kv::printing::PrinterOptions options;
        options.document = "KV Project";
        options.preview = true;
        auto printer = std::make_unique<TPrinter>(options);
        kv::printing::TFont font("Courier New", 0, 10, *printer);
        kv::printing::TextOptions text;
        text.font = &font;
        for (int page = 1; page <= pages; ++page) {
            printer->StartPage();
            kv::printing::PRINTTXT({"PAGE" + std::to_string(page)}, *printer, text);
            printer->EndPage();
            kv::printing::SETPROW(0);
        }
        return printer;
    }
    std::unique_ptr<TPreview> open(TPrinter& device, bool no_print = false) {
        auto preview = std::make_unique<TPreview>(device, no_print);
        preview->resize(1000, 800);
        preview->show();
        preview->Resize();
        return preview;
    }
    // The first word of each page of a printed PDF file.
    std::vector<std::string> printed_pages(const std::string& file) {
        std::vector<std::string> out;
        for (const auto& page : kv::test::pdf_pages(file))
            out.push_back(page.words.empty() ? "" : page.words[0].text);
        return out;
    }

    kv::test::TempDir dir;
    kv::test::PdfPrinters printers{{"Office", "Test"}, "Test"};

  private:
    kv::test::ScopedCurrentDir cd_;
    kv::printing::ScopedPrintPosition position_;
};

TEST_F(PreviewTest, OnePageStaysOnItsPage) {
    auto device = document(1);
    auto preview = open(*device);
    for (int vk : {33, 34, 36, 35}) {
        preview->CheckKey(vk);
        EXPECT_EQ(preview->nPage, 1) << vk;
    }
    preview->ChkWheel(false, -120);
    preview->ChkScroll(Qt::Vertical, A::SliderPageStepAdd, 1);
    EXPECT_EQ(preview->nPage, 1);
    EXPECT_EQ(preview->page_text(), "Pagina: 1 di 1");
    EXPECT_EQ(preview->windowTitle(), "KV Project");
    EXPECT_EQ(preview->button("PRINTER")->toolTip(), "Stampa documento");
    EXPECT_EQ(preview->button("EXIT")->toolTip(), "Esci dall'anteprima di stampa");
}

TEST_F(PreviewTest, KeysScrollBarAndWheelPageThroughTwentyFivePages) {
    auto device = document(25);
    auto preview = open(*device);
    struct Step {
        std::function<void()> input;
        int page;
    } steps[] = {
        {[&] { preview->CheckKey(33); }, 1},  // before the first page: nothing
        {[&] { preview->CheckKey(34); }, 2},
        {[&] { preview->ChkScroll(Qt::Vertical, A::SliderPageStepAdd, 0); }, 12},
        {[&] { preview->ChkScroll(Qt::Vertical, A::SliderPageStepAdd, 0); }, 22},
        {[&] { preview->ChkScroll(Qt::Vertical, A::SliderPageStepAdd, 0); }, 25},  // stops
        {[&] { preview->CheckKey(34); }, 25},
        {[&] { preview->ChkScroll(Qt::Vertical, A::SliderSingleStepSub, 0); }, 24},
        {[&] { preview->ChkWheel(false, 120); }, 23},  // away from the user: back
        {[&] { preview->ChkWheel(true, 120); }, 13},   // middle button held: ten pages
        {[&] { preview->ChkWheel(true, 120); }, 3},
        {[&] { preview->ChkWheel(true, 120); }, 1},  // stops at the first page
        {[&] { preview->ChkScroll(Qt::Vertical, A::SliderMove, 7); }, 7},
        {[&] { preview->CheckKey(35); }, 25},
        {[&] { preview->CheckKey(36); }, 1},
    };
    int i = 0;
    for (const auto& step : steps) {
        step.input();
        EXPECT_EQ(preview->nPage, step.page) << "step " << i;
        EXPECT_EQ(preview->oVScroll->value(), step.page) << "step " << i;
        ++i;
    }
    EXPECT_EQ(preview->page_text(), "Pagina: 1 di 25");
}

TEST_F(PreviewTest, KeysFromTheKeyboardPageAndScroll) {
    auto device = document(25);
    auto preview = open(*device);
    auto* view = preview->oMeta;
    ASSERT_EQ(preview->focusWidget(), view);
    struct Step {
        Qt::Key key;
        int page;
        bool zoomed;
    } steps[] = {
        {Qt::Key_PageDown, 2, false}, {Qt::Key_PageDown, 3, false}, {Qt::Key_PageUp, 2, false},
        {Qt::Key_End, 25, false},     {Qt::Key_PageUp, 24, false},  {Qt::Key_Home, 1, false},
        {Qt::Key_Down, 1, false},  // not zoomed: arrows do nothing
    };
    for (const auto& step : steps) {
        kv::test::system_key_click(preview.get(), step.key);
        EXPECT_EQ(preview->nPage, step.page) << step.key;
    }
    preview->button("ZOOM")->click();
    ASSERT_TRUE(preview->lZoom);
    const double bottom = device->nVertRes() - view->nHeight;
    struct Scroll {
        Qt::Key key;
        double y;
    } scrolls[] = {{Qt::Key_Down, 100},   {Qt::Key_Down, 200}, {Qt::Key_Up, 100},
                   {Qt::Key_End, bottom}, {Qt::Key_Home, 0},   {Qt::Key_Right, 0}};
    for (const auto& step : scrolls) {
        kv::test::system_key_click(preview.get(), step.key);
        EXPECT_NEAR(view->nYOrig, step.y, 0.5) << step.key;
    }
    kv::test::system_key_click(preview.get(), Qt::Key_PageDown);  // zoomed, pages still turn
    EXPECT_EQ(preview->nPage, 2);
    // Esc in the page view is the preview's own: it closes the preview.
    ASSERT_EQ(preview->focusWidget(), view);
    kv::test::system_key_click(preview.get(), Qt::Key_Escape);
    EXPECT_FALSE(preview->isVisible());
}

TEST_F(PreviewTest, ZoomCentresOnTheClickedPointAndScrollsWithinThePage) {
    auto device = document(2);
    auto preview = open(*device);
    auto* view = preview->oMeta;
    const double horz = device->nHorzRes(), vert = device->nVertRes();
    // A click half way down the whole page. Zoomed, the page's width fills the window's width
    // of the first layout, so the view moves over the page's height only.
    preview->Zoom(QPointF(view->width() / 3.0, view->height() / 2.0));
    ASSERT_TRUE(preview->lZoom);
    EXPECT_NEAR(view->nWidth, horz, 1);
    EXPECT_LT(view->nHeight, vert * 0.9);
    EXPECT_EQ(view->nXOrig, 0);
    EXPECT_NEAR(view->nYOrig + view->nHeight / 2, vert / 2, vert * 0.01);
    preview->resize(1400, 800);  // a wider window shows more than the page's width: all of it
    EXPECT_EQ(view->nWidth, horz);
    preview->resize(1000, 800);
    const double y = view->nYOrig;
    preview->CheckKey(40);
    EXPECT_NEAR(view->nYOrig, y + 100, 0.5);
    preview->ChkWheel(false, 120);
    EXPECT_NEAR(view->nYOrig, y, 0.5);
    preview->CheckKey(35);
    EXPECT_NEAR(view->nYOrig, vert - view->nHeight, 0.5);  // the bottom edge stops it
    preview->CheckKey(36);
    EXPECT_EQ(view->nYOrig, 0);
    preview->CheckKey(34);  // pages still turn
    EXPECT_EQ(preview->nPage, 2);
    preview->Zoom();  // out: the whole page
    EXPECT_FALSE(preview->lZoom);
    EXPECT_EQ(view->nWidth, horz);
    preview->button("ZOOM")->click();  // in by the button: the top left corner
    EXPECT_TRUE(preview->lZoom);
    EXPECT_EQ(view->nXOrig, 0);
    EXPECT_EQ(view->nYOrig, 0);
}

// Answers the "Stampa" dialog when it comes up.
void answer_print_dialog(const std::function<void(kv::printing::PrintDialog&)>& fill) {
    QTimer::singleShot(0, [fill] {
        auto* dialog = dynamic_cast<kv::printing::PrintDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(*dialog);
        dialog->accept();
    });
}

TEST_F(PreviewTest, PrintsTheCurrentPageOrCollatedCopiesOfARange) {
    auto device = document(5);
    auto preview = open(*device);
    preview->CheckKey(34);
    preview->CheckKey(34);
    answer_print_dialog([](kv::printing::PrintDialog& d) {
        EXPECT_EQ(d.name()->currentText(), "Test");  // the device's printer
        d.current_page()->setChecked(true);
        d.name()->setCurrentText("Office");
    });
    preview->Print();
    EXPECT_EQ(printed_pages(printers.output("Office")), std::vector<std::string>{"PAGE3"});
    answer_print_dialog([](kv::printing::PrintDialog& d) {
        EXPECT_FALSE(d.from()->isEnabled());
        d.selection()->setChecked(true);
        d.from()->setValue(2);
        d.to()->setValue(3);
        d.copies()->setValue(2);
    });
    preview->Print();
    EXPECT_EQ(printed_pages(printers.output("Test")),
              (std::vector<std::string>{"PAGE2", "PAGE3", "PAGE2", "PAGE3"}));
}

TEST_F(PreviewTest, SelectionOutsideTheDocumentIsRefused) {
    auto device = document(3);
    kv::printing::PrintDialog dialog(nullptr, "Test", 1, 3);
    std::vector<std::string> shown;
    kv::gui::set_box_answerer([&](QMessageBox& box, const kv::gui::BoxRequest& request) {
        shown.push_back(request.text);
        box.done(kv::gui::IDOK);
    });
    dialog.selection()->setChecked(true);
    for (auto [from, to] : {std::pair{0, 2}, {2, 1}, {2, 4}}) {
        dialog.from()->setValue(from);
        dialog.to()->setValue(to);
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << from << "-" << to;
    }
    EXPECT_EQ(shown, std::vector<std::string>(3, "Campo non valido."));
    dialog.from()->setValue(3);
    dialog.to()->setValue(3);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.request().first, 3);
}

TEST_F(PreviewTest, SavesAPdfAndWithoutPrintersOnlyThat) {
    auto device = document(2);
    kv::test::PdfPrinters none{{}};  // then every printer goes away
    auto preview = open(*device);
    EXPECT_FALSE(preview->button("PRINTER")->isEnabled());
    EXPECT_EQ(preview->button("PRINTER")->toolTip(), "Nessuna stampante installata");
    const std::string file = (dir.path() / "out.pdf").string();
    ASSERT_TRUE(preview->SavePdf(file));
    EXPECT_EQ(printed_pages(file), (std::vector<std::string>{"PAGE1", "PAGE2"}));
    auto forbidden = open(*device, true);
    EXPECT_EQ(forbidden->button("PRINTER"), nullptr);
}

TEST_F(PreviewTest, APdfThatCannotBeWrittenLeavesNoFileAndSaysWhy) {
    auto device = document(2);
    auto preview = open(*device);
    std::vector<std::string> shown;
    kv::gui::ScopedBoxAnswerer answerer([&](QMessageBox& box, const kv::gui::BoxRequest& r) {
        shown.push_back(r.text + " | " + r.details);
        box.done(kv::gui::IDOK);
    });
    const auto gone = dir.path() / "GONE";  // a folder removed before the file is written
    EXPECT_FALSE(preview->SavePdf((gone / "out.pdf").string()));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(
        shown[0].rfind("Impossibile scrivere il file " + (gone / "out.pdf").string() + ". | ", 0),
        0u)
        << shown[0];
    EXPECT_GT(shown[0].size(), shown[0].find(" | ") + 3);  // the cause
    const std::string file = (dir.path() / "out.pdf").string();
    ASSERT_TRUE(preview->SavePdf(file));
    EXPECT_EQ(printed_pages(file), (std::vector<std::string>{"PAGE1", "PAGE2"}));
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))  // nothing partial
        EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

TEST_F(PreviewTest, ClosingThePreviewEndsThePrinterAndDeletesItsPageFiles) {
    auto device = document(3);
    const std::vector<std::string> files = device->aMeta;
    ASSERT_EQ(files.size(), 3u);
    for (const auto& file : files) ASSERT_TRUE(std::filesystem::exists(file));
    QTimer::singleShot(0, [] {
        auto* preview = dynamic_cast<TPreview*>(QApplication::activeModalWidget());
        ASSERT_NE(preview, nullptr);
        EXPECT_TRUE(preview->isMaximized());
        EXPECT_EQ(preview->page_text(), "Pagina: 1 di 3");
        preview->button("EXIT")->click();
    });
    TPreview::New(*device, false);
    EXPECT_TRUE(device->aMeta.empty());
    for (const auto& file : files) EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
