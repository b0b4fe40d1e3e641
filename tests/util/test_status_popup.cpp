// The status pop-up on real windows (offscreen): both forms, the order of the POPMSG cases, the
// window under it, and the closes it refuses.
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include "gui/status_window.h"
#include "tests/support/window_test.h"
#include "util/dialogs.h"
#include "util/msgbox.h"

namespace {

using kv::util::CURMSG;
using kv::util::POPMSG;
using kv::util::StatusRequest;

class StatusPopupTest : public kv::test::WindowTest {
  protected:
    void TearDown() override {
        POPMSG();
        WindowTest::TearDown();
    }
    static QDialog* popup() {
        auto* box = kv::util::status_popup();
        return box && box->dialog() ? box->dialog()->dialog() : nullptr;
    }
    template <class T>
    static T* part(const char* name) {
        return popup() ? popup()->findChild<T*>(name) : nullptr;
    }
    static int visible_dialogs() {
        int n = 0;
        for (auto* w : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog*>(w) && w->isVisible()) ++n;
        return n;
    }
};

TEST_F(StatusPopupTest, WaitingWindowIsSizedFromItsTextAndCentred) {
    for (bool progress : {false, true}) {
        SCOPED_TRACE(progress);
        StatusRequest request{.text = "Leggo i dati;attendere   "};
        if (progress) request.range_low = 0, request.range_high = 10;
        POPMSG(request);
        QDialog* d = popup();
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->windowTitle(), "Attendere");
        EXPECT_FALSE(d->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowContextHelpButtonHint));
        EXPECT_EQ(d->cursor().shape(), Qt::WaitCursor);
        ASSERT_NE(part<QLabel>("icon"), nullptr);
        EXPECT_FALSE(part<QLabel>("icon")->pixmap().isNull());
        QLabel* text = part<QLabel>("text");
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(), "Leggo i dati\nattendere   ");
        EXPECT_EQ(text->font().family(), "Arial");
        EXPECT_EQ(text->font().pixelSize(), 15);
        EXPECT_EQ(CURMSG(), "Leggo i dati\r\nattendere   ");

        const QFontMetrics drawn_in(text->font());
        const int widest = std::max(drawn_in.horizontalAdvance("Leggo i dati"),
                                    drawn_in.horizontalAdvance("attendere"));
        const int lines = progress ? 3 : 2;
        const int w = widest + (progress ? 5 : 0) + 110;
        const int h = (lines + 5) * QFontMetrics(text->font()).height();
        EXPECT_EQ(d->size(), QSize(w, h));
        EXPECT_EQ(text->geometry(), QRect(65, 20, w - 90, h - 80));
        auto* bar = part<QProgressBar>("progress");
        EXPECT_EQ(bar != nullptr, progress);
        if (bar) {
            EXPECT_EQ(bar->geometry(), QRect(15, h - 60, w - 35, 20));
            EXPECT_EQ(bar->minimum(), 0);
            EXPECT_EQ(bar->maximum(), 10);
        }
        const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
        EXPECT_LE((d->geometry().center() - centre).manhattanLength(), 4);
        POPMSG();
        EXPECT_EQ(kv::util::status_popup(), nullptr);
        EXPECT_EQ(CURMSG(), std::nullopt);
    }
}

// The window is as wide as its lines drawn in its own font: no line wraps.
TEST_F(StatusPopupTest, WaitingTextKeepsItsLines) {
    for (const char* shown : {"Sto copiando i file nella cartella GIOCHI...",
                              "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW;iiiiiiiiiiiiiiiiiiii"}) {
        SCOPED_TRACE(shown);
        POPMSG({.text = shown, .range_low = 0, .range_high = 10});
        QLabel* text = part<QLabel>("text");
        ASSERT_NE(text, nullptr);
        const QFontMetrics metrics(text->font());
        const QRect area(0, 0, text->width(), 1000);
        EXPECT_EQ(metrics.boundingRect(area, Qt::TextWordWrap, text->text()).height(),
                  metrics.boundingRect(area, 0, text->text()).height());
        POPMSG();
    }
}

// The fixed text of the print window is never cut, and the page number sits beside it.
TEST_F(StatusPopupTest, PrintWindowFitsItsText) {
    POPMSG({.print = true});
    QLabel* fixed = part<QLabel>("fixed");
    QLabel* page = part<QLabel>("page");
    ASSERT_NE(fixed, nullptr);
    ASSERT_NE(page, nullptr);
    EXPECT_GE(fixed->width(), QFontMetrics(fixed->font()).horizontalAdvance(fixed->text()));
    EXPECT_GE(fixed->width(), 150);
    EXPECT_GT(page->x(), fixed->geometry().right());
    const QWidget* frame = page->parentWidget();
    EXPECT_LE(page->geometry().right(), frame->width());
    EXPECT_LE(frame->geometry().right(), popup()->width());
}

TEST_F(StatusPopupTest, LaterCallsUpdateTheOnePopupInTheirOrder) {
    POPMSG({.text = "Primo", .range_low = 0, .range_high = 10, .position = 7});
    QDialog* first = popup();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(part<QProgressBar>("progress")->value(), 0);  // making it ignores the position

    POPMSG({.text = "Secondo"});  // a second pop-up is never made; the text stays
    POPMSG({.print = true});
    EXPECT_EQ(popup(), first);
    EXPECT_EQ(visible_dialogs(), 1);
    EXPECT_EQ(CURMSG(), "Primo");

    POPMSG({.text = "Terzo", .replace_text = true});
    EXPECT_EQ(part<QLabel>("text")->text(), "Terzo");
    EXPECT_EQ(CURMSG(), "Terzo");

    POPMSG({.text = "ignorato", .position = 3});
    EXPECT_EQ(part<QProgressBar>("progress")->value(), 4);  // one step further
    POPMSG({.text = "ignorato", .position = 10});
    EXPECT_EQ(part<QProgressBar>("progress")->value(), 10);  // kept within the range
    EXPECT_EQ(CURMSG(), "Terzo");
}

TEST_F(StatusPopupTest, PrintModeCountsThePages) {
    POPMSG({.print = true});
    QDialog* d = popup();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "Attendere");
    EXPECT_EQ(part<QLabel>("fixed")->text(), "Sto stampando la pagina n.:");
    EXPECT_FALSE(part<QLabel>("picture")->pixmap().isNull());
    ASSERT_NE(part<QPushButton>("cancel"), nullptr);
    EXPECT_EQ(part<QPushButton>("cancel")->text(), "&Annulla");
    EXPECT_FALSE(part<QPushButton>("cancel")->isVisible());
    EXPECT_EQ(CURMSG(), std::nullopt);
    for (const char* page : {"1", "2", "3"}) {
        POPMSG({.next_page = true});
        EXPECT_EQ(part<QLabel>("page")->text(), page);
    }
    POPMSG();
    EXPECT_EQ(popup(), nullptr);
    POPMSG({.print = true});  // a new print pop-up counts from 1 again
    POPMSG({.next_page = true});
    EXPECT_EQ(part<QLabel>("page")->text(), "1");
}

TEST_F(StatusPopupTest, WindowUnderItTakesNoInputUntilItCloses) {
    QDialog window;
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    ASSERT_EQ(QApplication::activeWindow(), &window);
    POPMSG({.text = "Attendere..."});
    EXPECT_FALSE(window.isEnabled());
    POPMSG({.text = "altro", .replace_text = true});
    EXPECT_FALSE(window.isEnabled());
    POPMSG();
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(QApplication::activeWindow(), &window);  // it has the keyboard again
}

TEST_F(StatusPopupTest, EscAndAltF4DoNotCloseIt) {
    POPMSG({.text = "Attendere..."});
    QDialog* d = popup();
    kv::test::send_key(d, Qt::Key_Escape);
    EXPECT_TRUE(d->isVisible());
    kv::test::send_key(d, Qt::Key_Escape, QEvent::KeyRelease);
    kv::test::send_key(d, Qt::Key_Alt);
    kv::test::send_key(d, Qt::Key_F4);
    d->close();
    EXPECT_TRUE(d->isVisible());
    kv::test::send_key(d, Qt::Key_F4, QEvent::KeyRelease);
    POPMSG();
    EXPECT_EQ(popup(), nullptr);
}

TEST_F(StatusPopupTest, MessageBoxClosesThePopupFirst) {
    QDialog window;
    window.show();
    QApplication::setActiveWindow(&window);
    POPMSG({.text = "Attendere..."});
    QPointer<QDialog> shown = popup();
    bool up_during_box = true;
    bool window_enabled = false;
    kv::gui::set_box_answerer([&](QMessageBox& box, const kv::gui::BoxRequest&) {
        up_during_box = kv::util::status_popup() || (shown && shown->isVisible());
        window_enabled = window.isEnabled();
        box.defaultButton()->click();
    });
    POPMSG("Fatto.", 1);
    EXPECT_FALSE(up_during_box);
    EXPECT_TRUE(window_enabled);
    EXPECT_EQ(CURMSG(), std::nullopt);
}

TEST_F(StatusPopupTest, HeadlessKeepsItsStateWithoutAWindow) {
    kv::gui::set_headless(true);
    POPMSG({.text = "Attendere..."});
    ASSERT_NE(kv::util::status_popup(), nullptr);
    EXPECT_EQ(kv::util::status_popup()->dialog(), nullptr);
    EXPECT_EQ(CURMSG(), "Attendere...");
    POPMSG({.text = "Attendere...", .position = 3});
    EXPECT_NE(kv::util::status_popup(), nullptr);
    POPMSG();
    EXPECT_EQ(kv::util::status_popup(), nullptr);
    std::string value = "Rossi";
    EXPECT_FALSE(kv::util::MSGGET("Utente", "Nome:", value));
    EXPECT_EQ(value, "Rossi");
    kv::gui::set_headless(false);
}

}  // namespace
