// The start procedure with its real window on the offscreen platform and a real pseudo-terminal.
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include "core/main_procedure.h"
#include "core/serial.h"
#include "core/served_folder.h"
#include "platform/keystate.h"
#include "platform/serial_diagnosis.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_test.h"
#include "tools/kvdev/link.h"

namespace {

using namespace std::chrono_literals;

kv::core::StartOptions start_options(const std::string& port,
                                     std::optional<std::string> root = std::nullopt) {
    kv::core::StartOptions options;
    options.port = port;
    options.root = std::move(root);
    return options;
}

class MainProcedureTest : public kv::test::WindowTest {
  protected:
    void expect_one_box_and_no_window(const kv::core::StartOptions& options,
                                      const QString& expected);
    kv::test::TempDir dir;
};

TEST_F(MainProcedureTest, ServesInItsWindowUntilEscAndRefusesOtherCloses) {
    kv::dev::PtyPair pty;
    auto device = pty.take_master();
    const std::string settings =
        "[Impostazioni]\r\nPorta=" + pty.slave_path() + "\r\nRadice = SERVED \r\n";
    dir.write("KV32.INI", settings);
    std::filesystem::create_directory(dir.path() / "SERVED");
    kv::test::ScopedCurrentDir cd(dir.path());

    QString title, log_after_start;
    bool visible_after_close = false;
    int step = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* log = dialog ? dialog->findChild<QPlainTextEdit*>("log") : nullptr;
        if (!log || log->toPlainText().isEmpty()) return;
        if (step == 0) {
            title = dialog->windowTitle();
            log_after_start = log->toPlainText();
            dialog->close();  // the window manager's close
            ++step;
        } else if (step == 1) {
            visible_after_close = dialog->isVisible();
            kv::test::send_key(log, Qt::Key_Escape, QEvent::KeyPress);
            ++step;
        }
    });
    driver.start(20);
    EXPECT_TRUE(kv::core::MAIN());
    driver.stop();
    EXPECT_EQ(kv::core::served_root(), (dir.path() / "SERVED").string());
    EXPECT_EQ(dir.read("KV32.INI"), settings);

    EXPECT_TRUE(title.endsWith("(" + QString::fromStdString(pty.slave_path()) + ":57600,N,8,1)"))
        << title.toStdString();
    EXPECT_TRUE(title.startsWith("KV32"));
    EXPECT_EQ(log_after_start, "Waiting command (ESC to exit)...");
    EXPECT_TRUE(visible_after_close);
    EXPECT_EQ(device.read_byte(2s), std::optional<std::uint8_t>(0));
    EXPECT_FALSE(device.read_byte(100ms).has_value());
}

TEST_F(MainProcedureTest, EscHeldAtTheStartSendsTheStartByteAndLogsNothing) {
    kv::dev::PtyPair pty;
    auto device = pty.take_master();
    kv::platform::latch_key_down(kv::platform::VK_ESCAPE);
    QString log_text = "unset";
    QTimer::singleShot(0, [&] {
        // The loop has already returned; Esc also closes the window.
        QTimer::singleShot(100, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            log_text = dialog->findChild<QPlainTextEdit*>("log")->toPlainText();
            kv::test::send_key(dialog->findChild<QPlainTextEdit*>("log"), Qt::Key_Escape,
                               QEvent::KeyPress);
        });
    });
    EXPECT_TRUE(kv::core::MAIN(start_options(pty.slave_path())));
    EXPECT_EQ(log_text, "");
    EXPECT_EQ(device.read_byte(2s), std::optional<std::uint8_t>(0));
}

TEST_F(MainProcedureTest, ATerminationRequestEndsANameWaitAndTheWindow) {
    kv::dev::PtyPair pty;
    auto device = pty.take_master();
    kv::test::ScopedCurrentDir cd(dir.path());
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* log = dialog ? dialog->findChild<QPlainTextEdit*>("log") : nullptr;
        if (!log) return;
        if (!log->toPlainText().contains("Loading...")) {
            device.send_raw("LNAME-WITHOUT-ITS-CR");
            return;
        }
        // What SIGTERM does.
        kv::platform::latch_key_down(kv::platform::VK_ESCAPE);
        kv::platform::request_termination();
        kv::core::request_main_window_close();
        driver.stop();
    });
    driver.start(50);
    EXPECT_TRUE(kv::core::MAIN(start_options(pty.slave_path())));
    kv::platform::clear_termination_request();
}

TEST_F(MainProcedureTest, FolderOrPortFailureShowsOneBoxAndNeverShowsTheWindow) {
    struct Case {
        kv::core::StartOptions options;
        QString text;
    } cases[] = {
        {start_options("COM99"), "Errore di apertura della porta di comunicazione (COM99)."},
        {start_options("COM99", "/no/such/kv32"),
         "Errore di accesso alla cartella servita (/no/such/kv32).\r\nThe folder does not exist "
         "(there is no /no)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        expect_one_box_and_no_window(c.options, c.text);
    }
}

// The box of a start that fails tells everything wrong with it: also a served folder in which
// the device's Saves would be refused.
TEST_F(MainProcedureTest, TheStartBoxDetailsAServedFolderThatCannotBeWritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write anywhere";
    const auto folder = dir.path() / "RO";
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(
        folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    QString details;
    {
        kv::gui::ScopedBoxAnswerer answerer([&](QMessageBox& box, const kv::gui::BoxRequest&) {
            details = box.detailedText();
            box.button(QMessageBox::Ok)->click();
        });
        EXPECT_FALSE(kv::core::MAIN(start_options("COM99", folder.string())));
    }
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_TRUE(details.contains("Warning: no new file can be made in the served folder"))
        << details.toStdString();
    EXPECT_TRUE(details.contains("ermission denied")) << details.toStdString();
}

// Esc held in another window of KV32, one that lets it count, ends the command loop while the
// window stays: the status line says so, the port is let go, and Esc in the window ends KV32.
TEST_F(MainProcedureTest, ALoopThatStoppedSaysSoInTheStatusLineAndLetsThePortGo) {
    kv::dev::PtyPair pty;
    auto device = pty.take_master();
    kv::test::ScopedCurrentDir cd(dir.path());
    int step = 0;
    QString status;
    int probe_after_stop = -1;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* log = dialog ? dialog->findChild<QPlainTextEdit*>("log") : nullptr;
        if (!log) return;
        auto* line = dialog->findChild<QLabel*>("status");
        if (step == 0 && log->toPlainText().contains("Waiting command")) {
            kv::platform::set_key_down(kv::platform::VK_ESCAPE, true);
            step = 1;
        } else if (step == 1 && line->text().contains("no longer serves")) {
            kv::platform::set_key_down(kv::platform::VK_ESCAPE, false);
            status = line->text();
            probe_after_stop = kv::platform::probe_serial_device(pty.slave_path());
            kv::test::send_key(log, Qt::Key_Escape);
            step = 2;
        }
    });
    driver.start(20);
    EXPECT_TRUE(kv::core::MAIN(start_options(pty.slave_path())));
    driver.stop();
    EXPECT_EQ(step, 2);
    EXPECT_EQ(status, "KV32 no longer serves the device: press Esc in this window to end KV32.");
    EXPECT_EQ(probe_after_stop, 0);  // no longer held by KV32
}

TEST(StallLimit, SecondsFromATenthToAnHourAndADefaultForARelayThatHolds64KiB) {
    using std::chrono::milliseconds;
    const std::pair<const char*, std::optional<milliseconds>> cases[] = {
        {"15", milliseconds(15000)}, {" 2.5 ", milliseconds(2500)},
        {"0.1", milliseconds(100)},  {"3600", milliseconds(3600000)},
        {"0", std::nullopt},         {"0.05", std::nullopt},
        {"3601", std::nullopt},      {"2,5", std::nullopt},
        {"-1", std::nullopt},        {"", std::nullopt},
        {"nan", std::nullopt},       {"1e3", std::nullopt},
    };
    for (const auto& [text, limit] : cases)
        EXPECT_EQ(kv::core::parse_stall_limit(text), limit) << text;
    // 64 KiB held by the link drain in 11.4 s at 57600 baud (5,760 bytes a second).
    EXPECT_GE(kv::core::kDefaultStallLimit.count(), 65536 * 1000 / 5760);
}

void MainProcedureTest::expect_one_box_and_no_window(const kv::core::StartOptions& options,
                                                     const QString& expected) {
    int boxes = 0;
    QString text;
    kv::gui::ScopedBoxAnswerer answerer([&](QMessageBox& box, const kv::gui::BoxRequest&) {
        ++boxes;
        text = box.text();
        box.button(QMessageBox::Ok)->click();
    });
    bool window_seen = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (qobject_cast<QDialog*>(QApplication::activeModalWidget()) &&
            !qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            window_seen = true;
    });
    probe.start(1);
    EXPECT_FALSE(kv::core::MAIN(options));
    probe.stop();
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(text, expected);
    EXPECT_FALSE(window_seen);
}

}  // namespace
