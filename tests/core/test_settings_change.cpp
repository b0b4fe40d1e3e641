// The settings dialog of a running KV32, driven with real events on the offscreen platform: a
// change of port and folder waits for the command in progress, and the port failure's box leads
// to the dialog.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "core/main_procedure.h"
#include "gui/settings_dialog.h"
#include "platform/keystate.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_test.h"
#include "tools/kvdev/link.h"

namespace {

using namespace std::chrono_literals;

QWidget* settings_dialog() {
    QWidget* w = kv::gui::open_settings_dialog_widget();
    return w && w->isVisible() ? w : nullptr;
}

QDialog* main_window() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->findChild<QPlainTextEdit*>("log"))
            return qobject_cast<QDialog*>(w);
    return nullptr;
}

QString log_text() {
    QDialog* w = main_window();
    return w ? w->findChild<QPlainTextEdit*>("log")->toPlainText() : QString();
}

// Types a port and a folder into the dialog and confirms it with OK.
void confirm_settings(QWidget* dialog, const std::string& port, const std::string& root) {
    for (auto [name, text] :
         {std::pair{kv::gui::kPortEditName, port}, std::pair{kv::gui::kRootEditName, root}}) {
        auto* edit = dialog->findChild<QLineEdit*>(name);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, QString::fromStdString(text));
    }
    auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    QTest::mouseClick(ok, Qt::LeftButton);
}

void send_save(kv::dev::DeviceLink& device, const std::string& name, const std::string& data) {
    device.send_command('S');
    device.send_byte(0);
    device.send_uint16(0);
    device.send_uint16(static_cast<std::uint16_t>(data.size()));
    device.send_uint16(0);
    device.send_string(name);
}

class SettingsChangeTest : public kv::test::WindowTest {
  protected:
    kv::test::TempDir dir;
};

TEST_F(SettingsChangeTest, PortAndFolderChangeAfterTheCommandInProgress) {
    kv::dev::PtyPair first_pty, second_pty;
    auto first = first_pty.take_master();
    auto second = second_pty.take_master();
    std::filesystem::create_directory(dir.path() / "ONE");
    std::filesystem::create_directory(dir.path() / "TWO");
    const std::string two = (dir.path() / "TWO").string();
    dir.write("KV32.INI",
              "[Impostazioni]\r\nPorta=" + first_pty.slave_path() + "\r\nRadice=ONE\r\n");
    kv::test::ScopedCurrentDir cd(dir.path());

    int step = 0;
    bool second_silent_during_save = false;
    QString log_at_switch, title_after;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QDialog* window = main_window();
        if (!window) return;
        if (step == 0 && log_text().contains("Waiting command")) {
            EXPECT_TRUE(first.read_start_byte(2s));
            send_save(first, "HELLO", "ABCD");
            step = 1;
        } else if (step == 1 && first.read_byte(0ms) == std::optional<std::uint8_t>(0)) {
            // The Save waits for its data: the settings change now.
            QTest::keyClick(window, Qt::Key_I, Qt::AltModifier);
            QWidget* dialog = settings_dialog();
            ASSERT_NE(dialog, nullptr);
            confirm_settings(dialog, second_pty.slave_path(), two);
            step = 2;
        } else if (step == 2) {
            second_silent_during_save = !second.read_byte(100ms).has_value();
            first.send_raw("ABCD");
            step = 3;
        } else if (step == 3 && second.read_byte(0ms) == std::optional<std::uint8_t>(0)) {
            log_at_switch = log_text();
            title_after = window->windowTitle();
            send_save(second, "WORLD", "XY");
            step = 4;
        } else if (step == 4 && second.read_byte(0ms) == std::optional<std::uint8_t>(0)) {
            second.send_raw("XY");
            step = 5;
        } else if (step == 5 && std::filesystem::exists(dir.path() / "TWO" / "WORLD")) {
            kv::test::send_key(window->findChild<QPlainTextEdit*>("log"), Qt::Key_Escape);
            driver.stop();
        }
    });
    driver.start(20);
    EXPECT_TRUE(kv::core::MAIN());
    driver.stop();

    EXPECT_TRUE(second_silent_during_save);
    EXPECT_EQ(dir.read("ONE/HELLO").substr(13), "ABCD");
    EXPECT_EQ(dir.read("TWO/WORLD").substr(13), "XY");
    const QStringList lines = log_at_switch.split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines[1], "Saving...");
    EXPECT_EQ(lines[2], "Now serving " + QString::fromStdString(two) + ".");
    EXPECT_EQ(lines[3],
              "Serial port " + QString::fromStdString(first_pty.slave_path()) + " closed.");
    EXPECT_TRUE(title_after.contains(QString::fromStdString(second_pty.slave_path())));
    const std::string settings = dir.read("KV32.INI");
    EXPECT_NE(settings.find("Porta=" + second_pty.slave_path() + "\r\n"), std::string::npos);
    EXPECT_NE(settings.find("Radice=" + two + "\r\n"), std::string::npos);
}

TEST_F(SettingsChangeTest, ThePortFailuresBoxOpensTheSettingsAndServesThePortChosen) {
    kv::dev::PtyPair pty;
    auto device = pty.take_master();
    dir.write("KV32.INI", "[Impostazioni]\r\nPorta=COM99\r\n");
    kv::test::ScopedCurrentDir cd(dir.path());
    QString box_text;
    kv::gui::ScopedBoxAnswerer answerer([&](QMessageBox& box, const kv::gui::BoxRequest&) {
        box_text = box.text();
        for (QAbstractButton* b : box.buttons())
            if (b->text() == "Impostazioni...") QTest::mouseClick(b, Qt::LeftButton);
    });
    bool served = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (QWidget* dialog = settings_dialog(); dialog && !main_window()) {
            confirm_settings(dialog, pty.slave_path(), dir.str());
        } else if (!served && log_text().contains("Waiting command")) {
            served = device.read_start_byte(2s);
            kv::test::send_key(main_window()->findChild<QPlainTextEdit*>("log"), Qt::Key_Escape);
        }
    });
    driver.start(20);
    EXPECT_TRUE(kv::core::MAIN());
    driver.stop();
    EXPECT_EQ(box_text, "Errore di apertura della porta di comunicazione (COM99).");
    EXPECT_TRUE(served);
    EXPECT_NE(dir.read("KV32.INI").find("Porta=" + pty.slave_path() + "\r\n"), std::string::npos);
}

// A served folder that cannot be used (a stick not mounted): the start's box says why and leads
// to the settings dialog, which refuses a folder it cannot use beside its field and writes
// nothing until one it can use is confirmed (made when missing); KV32 then serves that one.
TEST_F(SettingsChangeTest, AnUnusableFolderLeadsToTheDialogWhichChecksTheFolderBeforeOk) {
    kv::dev::PtyPair pty;
    auto device = pty.take_master();
    const std::string stick = dir.str() + "/STICK";
    const std::string settings =
        "[Impostazioni]\r\nPorta=" + pty.slave_path() + "\r\nRadice=" + stick + "/giochi\r\n";
    dir.write("KV32.INI", settings);
    dir.write("PLAIN", "not a folder");
    const std::string made = dir.str() + "/NEW/GIOCHI";
    kv::test::ScopedCurrentDir cd(dir.path());
    QString box_text;
    kv::gui::ScopedBoxAnswerer answerer([&](QMessageBox& box, const kv::gui::BoxRequest&) {
        box_text = box.text();
        for (QAbstractButton* b : box.buttons())
            if (b->text() == "Impostazioni...") QTest::mouseClick(b, Qt::LeftButton);
    });
    int step = 0;
    QString refused;
    std::string written_meanwhile;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QWidget* dialog = settings_dialog();
        if (step == 0 && dialog) {
            confirm_settings(dialog, pty.slave_path(), dir.str() + "/PLAIN");
            auto* problem = dialog->findChild<QLabel*>("problem");
            if (settings_dialog() && problem->isVisible()) refused = problem->text();
            written_meanwhile = dir.read("KV32.INI");
            confirm_settings(dialog, pty.slave_path(), made);
            step = 1;
        } else if (step == 1 && log_text().contains("Waiting command")) {
            EXPECT_TRUE(device.read_start_byte(2s));
            kv::test::send_key(main_window()->findChild<QPlainTextEdit*>("log"), Qt::Key_Escape);
            step = 2;
        }
    });
    driver.start(20);
    EXPECT_TRUE(kv::core::MAIN());
    driver.stop();
    EXPECT_EQ(box_text, QString::fromStdString("Errore di accesso alla cartella servita (" + stick +
                                               "/giochi).\r\nThe folder does not exist "
                                               "(there is no " +
                                               stick + ")."));
    EXPECT_EQ(refused, QString::fromStdString("The folder \"" + dir.str() +
                                              "/PLAIN\" cannot be used: not a folder."));
    EXPECT_EQ(written_meanwhile, settings);
    EXPECT_EQ(step, 2);
    EXPECT_TRUE(std::filesystem::is_directory(made));
    EXPECT_NE(dir.read("KV32.INI").find("Radice=" + made + "\r\n"), std::string::npos);
}

// An environment variable set for the length of a scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (previous_)
            ::setenv(name_, previous_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

TEST_F(SettingsChangeTest, TheFirstDesktopStartServesThePortChosenInTheDialog) {
    kv::dev::PtyPair pty;
    auto device = pty.take_master();
    ScopedEnv home("HOME", dir.str());
    ScopedEnv config("XDG_CONFIG_HOME", dir.str() + "/config");
    kv::test::ScopedCurrentDir cd(dir.path());
    bool window_during_dialog = false, served = false;
    QString root_offered;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (QWidget* dialog = settings_dialog()) {
            window_during_dialog = window_during_dialog || main_window();
            EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // nothing written yet
            root_offered = dialog->findChild<QLineEdit*>(kv::gui::kRootEditName)->text();
            confirm_settings(dialog, pty.slave_path(), root_offered.toStdString());
        } else if (!served && log_text().contains("Waiting command")) {
            served = device.read_start_byte(2s);
            kv::test::send_key(main_window()->findChild<QPlainTextEdit*>("log"), Qt::Key_Escape);
        }
    });
    driver.start(20);
    kv::core::StartOptions options;
    options.desktop = true;
    EXPECT_TRUE(kv::core::MAIN(options));
    driver.stop();
    EXPECT_FALSE(window_during_dialog);
    EXPECT_TRUE(served);
    EXPECT_EQ(root_offered, QString::fromStdString(dir.str() + "/KV32"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "KV32"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "KV32.INI"));
    const std::string settings = dir.read("config/kv32/KV32.INI");
    EXPECT_NE(settings.find("Porta=" + pty.slave_path() + "\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("Radice=" + dir.str() + "/KV32\r\n"), std::string::npos);
}

}  // namespace
