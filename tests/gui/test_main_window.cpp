// The main window on the offscreen platform: handlers, Esc, refused closes, the log pane.
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include "gui/main_window.h"
#include "gui/pump.h"
#include "tests/support/window_test.h"

namespace {

using kv::gui::create_main_window;

QDialog* modal_dialog() {
    return qobject_cast<QDialog*>(QApplication::activeModalWidget());
}

class MainWindowTest : public kv::test::WindowTest {
  protected:
    void TearDown() override {
        kv::platform::release_all_keys();
        WindowTest::TearDown();
    }
};

TEST_F(MainWindowTest, InitRunsBeforeShowingAndStartRunsOnceAfterThePaint) {
    auto window = create_main_window("KV32 test", 500, 500);
    std::vector<std::string> order;
    QDialog* dialog = nullptr;
    window->set_start_handler([&] {
        order.push_back("start");
        dialog = modal_dialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        dialog->update();  // a later paint does not start it again
        kv::gui::SYSREFRESH();
        window->request_close();
    });
    window->activate([&] {
        order.push_back("init");
        EXPECT_EQ(modal_dialog(), nullptr);
    });
    EXPECT_EQ(order, (std::vector<std::string>{"init", "start"}));
    EXPECT_TRUE(window->was_shown());
}

TEST_F(MainWindowTest, TitleSizeAndNoCloseButton) {
    auto window = create_main_window("KV32 v1 (COM3:57600,N,8,1)", 500, 500);
    window->set_start_handler([&] {
        QDialog* d = modal_dialog();
        EXPECT_EQ(d->windowTitle(), "KV32 v1 (COM3:57600,N,8,1)");
        EXPECT_EQ(d->size(), QSize(500, 500));
        EXPECT_FALSE(d->windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_FALSE(d->windowFlags() & Qt::WindowContextHelpButtonHint);
        EXPECT_FALSE(d->windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_EQ(d->minimumSize(), d->maximumSize());
        EXPECT_FALSE(d->windowIcon().availableSizes().isEmpty() &&
                     d->windowIcon().pixmap(32).isNull());  // the program's own icon
        auto* log = d->findChild<QPlainTextEdit*>("log");
        ASSERT_NE(log, nullptr);
        EXPECT_TRUE(log->isReadOnly());
        // The log is the window's body: its whole width, between the menu bar and the status
        // line.
        EXPECT_EQ(log->geometry().width(), d->width());
        EXPECT_EQ(log->geometry().top(), d->findChild<QMenuBar*>("menu")->geometry().bottom() + 1);
        EXPECT_GT(log->geometry().height(), d->height() * 4 / 5);
        window->request_close();
    });
    window->activate(nullptr);
}

TEST_F(MainWindowTest, CloseRequestDuringInitNeverShowsTheWindow) {
    auto window = create_main_window("x", 500, 500);
    bool started = false;
    window->set_start_handler([&] { started = true; });
    window->activate([&] { window->request_close(); });
    EXPECT_FALSE(window->was_shown());
    EXPECT_FALSE(started);
}

TEST_F(MainWindowTest, WindowManagerCloseIsRefusedAndEscCloses) {
    auto window = create_main_window("x", 500, 500);
    window->set_close_guard([] { return !kv::platform::key_is_down(kv::platform::VK_F4); });
    bool esc_seen = false;
    window->set_start_handler([&] {
        QDialog* d = modal_dialog();
        d->close();  // the window manager's close button
        QCloseEvent close;
        QApplication::sendEvent(d, &close);
        kv::gui::SYSREFRESH();
        EXPECT_TRUE(d->isVisible());
        auto* hint = d->findChild<QLabel*>("close_hint");
        ASSERT_NE(hint, nullptr);
        EXPECT_TRUE(hint->isVisible());  // says how to end the program instead
        EXPECT_NE(hint->text().indexOf("Esc"), -1);
        EXPECT_EQ(QApplication::activeModalWidget(), d);  // and asks nothing
        // Alt+F4: F4 is held when the guard is asked, so the request is refused.
        auto* log = d->findChild<QPlainTextEdit*>("log");
        kv::test::send_key(log, Qt::Key_F4);
        window->request_close();
        kv::test::send_key(log, Qt::Key_F4, QEvent::KeyRelease);
        // Esc reaches the window as a close request and is held down while the loop runs.
        QTimer::singleShot(0, log, [log] { kv::test::send_key(log, Qt::Key_Escape); });
        while (!kv::platform::key_is_down(kv::platform::VK_ESCAPE)) kv::gui::wait_for_events({});
        esc_seen = true;
        EXPECT_TRUE(d->isVisible());  // the close waits until the loop has returned
    });
    window->activate(nullptr);
    EXPECT_TRUE(esc_seen);
}

TEST_F(MainWindowTest, LogPaneKeepsEveryLineWithCrLf) {
    auto window = create_main_window("x", 500, 500);
    window->set_start_handler([&] {
        auto& pane = window->log_pane();
        for (int i = 0; i < 3; ++i) pane.append_line("line " + std::to_string(i));
        pane.append_line("citt\xE0");
        auto* log = modal_dialog()->findChild<QPlainTextEdit*>("log");
        EXPECT_EQ(log->toPlainText(), QString("line 0\nline 1\nline 2\ncitt\u00E0"));
        window->request_close();
    });
    window->activate(nullptr);
    EXPECT_EQ(window->log_pane().text(), "line 0\r\nline 1\r\nline 2\r\ncitt\xE0\r\n");
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

TEST_F(MainWindowTest, AnAppendedLineIsPaintedWhileTheProgramWaits) {
    auto window = create_main_window("x", 500, 500);
    PaintCounter counter;
    window->set_start_handler([&] {
        auto* viewport = modal_dialog()->findChild<QPlainTextEdit*>("log")->viewport();
        viewport->installEventFilter(&counter);
        window->log_pane().append_line("Waiting command (ESC to exit)...");
        // As the command loop waits for the device: events only, nothing else happens.
        for (int i = 0; i < 3 && counter.paints == 0; ++i)
            kv::gui::wait_for_events(std::chrono::milliseconds(100));
        viewport->removeEventFilter(&counter);
        window->request_close();
    });
    window->activate(nullptr);
    EXPECT_GE(counter.paints, 1);
}

TEST_F(MainWindowTest, HeadlessWindowRunsInitThenStartAndClosesOnRequest) {
    kv::gui::set_headless(true);
    auto window = create_main_window("x", 500, 500);
    testing::internal::CaptureStdout();
    window->set_start_handler([&] {
        window->log_pane().append_line("Waiting command (ESC to exit)...");
        window->request_close();  // made while the loop runs: carried out once it returns
        window->log_pane().append_line("still here");
    });
    window->activate(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Waiting command (ESC to exit)...\nstill here\n");
    EXPECT_FALSE(window->was_shown());
    kv::gui::set_headless(false);
}

}  // namespace
