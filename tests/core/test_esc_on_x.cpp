// Esc that closes a menu, the settings dialog or the log's file chooser, pressed on a virtual X
// display with a window manager: real clicks and key presses from the X server (xdotool), taken
// by real windows while KV32 serves a Save. Only the Esc of the main window ends KV32. These
// tests run under xvfb-run (tests/CMakeLists.txt); elsewhere they are skipped.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "core/main_procedure.h"
#include "core/stored_file.h"
#include "gui/settings_dialog.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_test.h"
#include "tools/kvdev/child_process.h"
#include "tools/kvdev/link.h"

namespace {

using namespace std::chrono_literals;

// The full path of a program found on PATH; "" when there is none.
std::string program_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string candidate = dirs.substr(at, end - at) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return {};
}

// Runs xdotool with the arguments; the X server delivers what it asks for to the windows.
void xdotool(const std::string& args) {
    ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
}

// Esc pressed as a hand presses it: held for a moment, so that the program's waits see it down.
void press_escape() {
    // In the background: the program handles the press while the key is down.
    ASSERT_EQ(std::system("xdotool keydown Escape sleep 0.25 keyup Escape &"), 0);
}

void click_at(QWidget* widget, QPoint local) {
    const QPoint at = widget->mapToGlobal(local);
    xdotool("mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
            " click 1");
}

QDialog* main_window() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->findChild<QPlainTextEdit*>("log"))
            return qobject_cast<QDialog*>(w);
    return nullptr;
}

QAction* menu_bar_action(QMenuBar* bar, const char* name) {
    for (QAction* a : bar->actions())
        if (a->objectName() == name || (a->menu() && a->menu()->objectName() == name)) return a;
    return nullptr;
}

// Opens the Registro menu with a click on its title.
void open_log_menu(QMenuBar* bar) {
    QAction* log = bar->actions().value(0);
    ASSERT_NE(log, nullptr);
    click_at(bar, bar->actionGeometry(log).center());
}

QWidget* visible(QWidget* w) {
    return w && w->isVisible() ? w : nullptr;
}

// A window that took Esc to close itself, and how to open it.
struct Case {
    const char* name;
    // Opens the window (possibly in several steps); answers it once it is up and active.
    std::function<QWidget*(QDialog& main)> open;
};

QWidget* open_menu(QDialog& main) {
    auto* bar = main.findChild<QMenuBar*>("menu");
    if (!QApplication::activePopupWidget()) open_log_menu(bar);
    return QApplication::activePopupWidget();
}

QWidget* open_settings(QDialog& main) {
    QWidget* dialog = visible(kv::gui::open_settings_dialog_widget());
    if (!dialog) {
        auto* bar = main.findChild<QMenuBar*>("menu");
        click_at(bar, bar->actionGeometry(menu_bar_action(bar, "settings")).center());
        return nullptr;
    }
    return QApplication::activeWindow() == dialog ? dialog : nullptr;
}

QWidget* open_chooser(QDialog& main) {
    QWidget* chooser = visible(main.findChild<QFileDialog*>("save_log_chooser"));
    if (chooser) return QApplication::activeWindow() == chooser ? chooser : nullptr;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) {
        open_log_menu(main.findChild<QMenuBar*>("menu"));
        return nullptr;
    }
    for (QAction* a : menu->actions())
        if (a->objectName() == "save_log") click_at(menu, menu->actionGeometry(a).center());
    return nullptr;
}

class EscOnX : public kv::test::WindowTest {
  protected:
    static void SetUpTestSuite() {
        const std::string openbox = program_path("openbox");
        if (QGuiApplication::platformName() != "xcb" || program_path("xdotool").empty() ||
            openbox.empty())
            return;
        wm_ = std::make_unique<kv::dev::ChildProcess>(openbox,
                                                      std::vector<std::string>{"--sm-disable"});
        // Windows mapped before the window manager has taken the display stay unmanaged.
        for (int i = 0; i < 200; ++i) {
            if (std::system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window "
                            "id'") == 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    static void TearDownTestSuite() { wm_.reset(); }
    void SetUp() override {
        if (!wm_) GTEST_SKIP() << "needs an X display (xvfb-run), xdotool and openbox";
        kv::test::WindowTest::SetUp();
    }

    static std::unique_ptr<kv::dev::ChildProcess> wm_;
    kv::test::TempDir dir;
};

std::unique_ptr<kv::dev::ChildProcess> EscOnX::wm_;

TEST_F(EscOnX, EscThatClosesAMenuADialogOrAChooserLeavesTheSaveAndTheLoopAlone) {
    const Case cases[] = {
        {"the Registro menu", open_menu},
        {"the settings dialog", open_settings},
        {"the log's file chooser", open_chooser},
    };
    // The data holds what would be an Erase of every KEEP file, were it read as commands.
    const std::string data = std::string(200, 'a') + "\rEKEEP*\r" + std::string(40, 'z');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kv::platform::release_all_keys();
        kv::dev::PtyPair pty;
        auto device = pty.take_master();
        kv::test::TempDir served;
        served.write("KEEP1", kv::core::encode_header({3, 0, 1, 0}) + "k");
        kv::test::ScopedCurrentDir cd(dir.path());

        int step = 0;
        bool asked_focus = false;
        std::size_t sent = 0;
        qint64 last_byte = 0;
        QPointer<QWidget> closing;
        QElapsedTimer since;
        since.start();
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (since.elapsed() > 60000) {  // a failure: the window is ended for the report
                kv::platform::latch_key_down(kv::platform::VK_ESCAPE);
                kv::core::request_main_window_close();
                return;
            }
            QDialog* main = main_window();
            if (!main) return;
            auto* log = main->findChild<QPlainTextEdit*>("log");
            if (step == 0 && QApplication::activeWindow() != main && !asked_focus) {
                // A window of a program that has had one before may wait for the focus.
                xdotool("windowactivate " + std::to_string(main->winId()));
                asked_focus = true;
            }
            if (step == 0 && log->toPlainText().contains("Waiting command") &&
                QApplication::activeWindow() == main) {
                ASSERT_TRUE(device.read_start_byte(2s));
                device.send_command('S');
                device.send_byte(3);
                device.send_uint16(0);
                device.send_uint16(static_cast<std::uint16_t>(data.size()));
                device.send_uint16(0);
                device.send_string("PROG");
                step = 1;
            } else if (step == 1 && device.read_byte(0ms) == std::optional<std::uint8_t>(0)) {
                device.send_raw(data.substr(0, 20));  // the Save now waits for the rest
                sent = 20;
                step = 2;
            }
            // While a window opens and closes, a byte now and then, so that no byte of the Save
            // waits its 2 seconds on a slow machine.
            if ((step == 2 || step == 3) && since.elapsed() - last_byte > 400 && sent < 200) {
                device.send_raw(data.substr(sent++, 1));
                last_byte = since.elapsed();
            }
            if (step == 2) {
                closing = c.open(*main);
                if (!closing) return;
                press_escape();
                step = 3;
            } else if (step == 3 && !visible(closing) && !QApplication::activePopupWidget()) {
                device.send_raw(data.substr(sent));
                step = 4;
            } else if (step == 4 && std::filesystem::exists(served.path() / "PROG") &&
                       QApplication::activeWindow() == main) {
                // A click into the log, as a user's, takes the keyboard from the menu bar, which
                // keeps it after its menu closed; the main window's own Esc then ends KV32.
                click_at(log, log->rect().center());
                step = 5;
            } else if (step == 5 && QApplication::focusWidget() == log) {
                press_escape();
                step = 6;
            }
        });
        driver.start(20);
        kv::core::StartOptions options;
        options.port = pty.slave_path();
        options.root = served.str();
        EXPECT_TRUE(kv::core::MAIN(options));
        driver.stop();
        EXPECT_EQ(step, 6);
        ASSERT_TRUE(std::filesystem::exists(served.path() / "PROG"));
        EXPECT_EQ(served.read("PROG").substr(13), data);
        EXPECT_TRUE(std::filesystem::exists(served.path() / "KEEP1"));
    }
}

}  // namespace
