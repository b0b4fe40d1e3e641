// Printing in the program's own window on the offscreen platform, driven as a user drives it: the
// device's lines over a real pseudo-terminal, keys and clicks from the window system, and real
// quit signals.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <csignal>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "core/main_procedure.h"
#include "core/print.h"
#include "gui/run_mode.h"
#include "platform/keystate.h"
#include "printing/preview_window.h"
#include "printing/print_dialog.h"
#include "printing/progress_dialog.h"
#include "tests/printing/printing_support.h"
#include "tests/support/pdf_words.h"
#include "tests/support/system_input.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_test.h"
#include "tools/kvdev/link.h"

namespace {

using namespace std::chrono_literals;
using kv::printing::ProgressDialog;
using kv::printing::TPreview;

template <class T>
T* top_level() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = dynamic_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

ProgressDialog* progress_dialog() {
    for (QWidget* w : QApplication::allWidgets())
        if (auto* d = dynamic_cast<ProgressDialog*>(w); d && d->isVisible()) return d;
    return nullptr;
}

QDialog* main_window() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w);
            d && d->isVisible() && d->findChild<QPlainTextEdit*>("log"))
            return d;
    return nullptr;
}

int count_of(const QString& text, const QString& part) {
    return static_cast<int>(text.count(part));
}

bool page_files_left(const std::filesystem::path& folder) {
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string()[0] == '\x7f') return true;
    return false;
}

// Runs MAIN on a pseudo-terminal and calls `step` every 20 ms with the main window and its log
// until MAIN returns. A run that does not end within 20 seconds fails and is ended as a signal
// would end it.
class PrintWindowTest : public kv::test::WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        kv::platform::clear_termination_request();
    }
    void TearDown() override {
        kv::platform::clear_termination_request();
        WindowTest::TearDown();
    }
    bool run(const std::function<void(QDialog&, const QString&)>& step) {
        kv::test::ScopedCurrentDir cd(dir.path());
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            QDialog* window = main_window();
            auto* log = window ? window->findChild<QPlainTextEdit*>("log") : nullptr;
            if (log && !log->toPlainText().isEmpty()) step(*window, log->toPlainText());
        });
        driver.start(20);
        bool timed_out = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            timed_out = true;
            kv::platform::latch_key_down(kv::platform::VK_ESCAPE);
            kv::platform::request_termination();
            kv::gui::close_modal_windows();
            kv::core::request_main_window_close();
        });
        watchdog.start(20s);
        kv::core::StartOptions options;
        options.port = pty.slave_path();
        const bool ok = kv::core::MAIN(options);
        EXPECT_FALSE(timed_out) << "KV32 did not end";
        return ok;
    }
    // Sends Print commands without waiting for their answers (KV32 runs on this thread).
    void send(const std::vector<std::string>& lines) {
        for (const auto& line : lines) device.send_raw("P" + line + "\r");
    }

    kv::test::TempDir dir;
    kv::dev::PtyPair pty;
    kv::dev::DeviceLink device{pty.take_master()};
    kv::test::PdfPrinters printers{{"Office"}, "Office"};
};

TEST_F(PrintWindowTest, EscDuringAnOpenJobEndsTheJobAndKv32) {
    for (bool on_popup : {false, true}) {
        SCOPED_TRACE(on_popup ? "Esc on the job's pop-up" : "Esc on the main window");
        kv::platform::release_all_keys();
        int stage = 0;
        const bool ok = run([&](QDialog& window, const QString& log) {
            if (stage == 0) {
                send({"HELLO", "\x0c", "WORLD"});
                stage = 1;
            } else if (stage == 1 && count_of(log, "Waiting command") == 4) {
                ProgressDialog* popup = progress_dialog();
                ASSERT_NE(popup, nullptr);
                EXPECT_EQ(popup->page_text(), "2");
                // Held down as a person holds a key; released when the test ends.
                kv::test::system_key(on_popup ? static_cast<QWidget*>(popup) : &window,
                                     Qt::Key_Escape);
                stage = 2;
            }
        });
        EXPECT_TRUE(ok);
        EXPECT_EQ(stage, 2);
        EXPECT_EQ(progress_dialog(), nullptr);
        EXPECT_FALSE(page_files_left(dir.path()));
    }
}

TEST_F(PrintWindowTest, AnnullaTakesAClickAndThePrintPopUpShowsAboveThePreview) {
    int stage = 0;
    int previewed = 0;
    QString first_page;
    bool popup_seen = false, popup_above_preview = false;
    QTimer watcher;  // the print pop-up, while pages are printed from the preview
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* preview = top_level<TPreview>();
        for (QWidget* w : QApplication::allWidgets()) {
            auto* label = qobject_cast<QLabel*>(w);
            if (!preview || !label || label->objectName() != "fixed" || !label->isVisible())
                continue;
            popup_seen = true;
            QWindow* popup = label->window()->windowHandle();
            popup_above_preview = popup && popup->transientParent() == preview->windowHandle() &&
                                  label->window()->isEnabled();
        }
    });
    watcher.start(0);
    const bool ok = run([&](QDialog& window, const QString& log) {
        if (stage == 0) {
            send({"PAGE1", "\x0c", "PAGE2"});
            stage = 1;
        } else if (stage == 1 && count_of(log, "Waiting command") == 4) {
            ProgressDialog* popup = progress_dialog();
            ASSERT_NE(popup, nullptr);
            ASSERT_TRUE(popup->windowHandle());
            EXPECT_EQ(popup->windowHandle()->transientParent(), window.windowHandle());
            kv::test::system_click(popup->findChild<QPushButton*>("201"));
            send({"PAGE2 MORE", "\x0c", "PAGE3", "\x03"});
            stage = 2;
        } else if (stage == 2 && top_level<TPreview>()) {
            TPreview* preview = top_level<TPreview>();
            previewed = preview->pages();
            first_page = preview->page_text();
            QTimer::singleShot(0, [] {
                auto* dialog = top_level<kv::printing::PrintDialog>();
                ASSERT_NE(dialog, nullptr);
                for (auto* b : dialog->findChildren<QPushButton*>())
                    if (b->text() == "OK") kv::test::system_click(b);
            });
            kv::test::system_click(preview->button("PRINTER"));
            kv::test::system_click(preview->button("EXIT"));
            stage = 3;
        } else if (stage == 3 && !top_level<TPreview>()) {
            kv::test::system_key(&window, Qt::Key_Escape);
            stage = 4;
        }
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(stage, 4);
    EXPECT_EQ(previewed, 2);  // pages 1 and 2 as they were before Annulla
    EXPECT_EQ(first_page, "Pagina: 1 di 2");
    EXPECT_TRUE(popup_seen);
    EXPECT_TRUE(popup_above_preview);
    const auto printed = kv::test::pdf_pages(printers.output("Office"));
    ASSERT_EQ(printed.size(), 2u);
    ASSERT_EQ(printed[1].words.size(), 1u);
    EXPECT_EQ(printed[1].words[0].text, "PAGE2");
    EXPECT_FALSE(page_files_left(dir.path()));
}

TEST_F(PrintWindowTest, AQuitSignalEndsKv32WhateverWindowIsOpen) {
    static bool installed = false;
    if (!installed) kv::gui::install_quit_signals([] { kv::core::request_main_window_close(); });
    installed = true;
    enum class Open { Preview, PrintDialog, MessageBox };
    for (Open open : {Open::Preview, Open::PrintDialog, Open::MessageBox}) {
        SCOPED_TRACE(static_cast<int>(open));
        kv::gui::forget_quit_signals();
        kv::platform::clear_termination_request();
        kv::platform::release_all_keys();
        std::optional<kv::test::PdfPrinters> none;
        if (open == Open::MessageBox) none.emplace(std::vector<std::string>{});
        bool raised = false;
        kv::gui::ScopedBoxAnswerer answerer([&](QMessageBox&, const kv::gui::BoxRequest&) {
            if (open == Open::MessageBox && !raised) {
                raised = true;
                std::raise(SIGTERM);  // the box stays open for the signal to close
            }
        });
        int stage = 0;
        const bool ok = run([&](QDialog&, const QString&) {
            if (stage == 0) {
                send({"HELLO", "\x0c", "WORLD", "\x03"});
                stage = 1;
            } else if (stage == 1 && open == Open::Preview && top_level<TPreview>()) {
                raised = true;
                std::raise(SIGTERM);
                stage = 2;
            } else if (stage == 1 && open == Open::PrintDialog && top_level<TPreview>()) {
                QTimer::singleShot(50, [&] {
                    EXPECT_NE(top_level<kv::printing::PrintDialog>(), nullptr);
                    raised = true;
                    std::raise(SIGTERM);
                });
                stage = 2;
                kv::test::system_click(top_level<TPreview>()->button("PRINTER"));
            }
        });
        EXPECT_TRUE(raised);
        EXPECT_TRUE(ok);
        EXPECT_EQ(top_level<TPreview>(), nullptr);
        EXPECT_FALSE(page_files_left(dir.path()));
    }
    kv::gui::forget_quit_signals();
}

}  // namespace
