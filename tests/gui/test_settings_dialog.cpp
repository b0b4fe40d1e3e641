// The settings dialog and the main window's menu, status line and progress, driven with real key
// and mouse events on the offscreen platform; the log file's lines.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "gui/main_window.h"
#include "gui/pump.h"
#include "gui/settings_dialog.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_test.h"

namespace {

using kv::gui::PortChoice;
using kv::gui::Settings;

std::vector<PortChoice> two_ports() {
    return {{"COM1", "/dev/ttyS0", "16550A UART", true, ""},
            {"ttyUSB0", "/dev/ttyUSB0", "USB serial adapter: FT232R", false,
             "non si apre: permission denied"}};
}

template <typename T>
T* child(QWidget* dialog, const char* name) {
    auto* w = dialog->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QPushButton* ok_button(QWidget* dialog) {
    return dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
}

void replace_text(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

class SettingsDialogTest : public kv::test::WindowTest {
  protected:
    kv::test::TempDir dir;
};

TEST_F(SettingsDialogTest, PortFromTheListFolderTypedAndDetailsTicked) {
    std::optional<Settings> confirmed;
    QWidget* dialog = kv::gui::open_settings_dialog(nullptr, {"", "/old/root", false}, two_ports,
                                                    [&](const Settings& s) { confirmed = s; });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    auto* list = child<QTreeWidget>(dialog, kv::gui::kPortListName);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(2), "si apre");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "USB serial adapter: FT232R");
    EXPECT_EQ(list->topLevelItem(1)->text(2), "non si apre: permission denied");
    EXPECT_FALSE(ok_button(dialog)->isEnabled());  // no port yet

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(1)).center());
    EXPECT_EQ(child<QLineEdit>(dialog, kv::gui::kPortEditName)->text(), "ttyUSB0");
    EXPECT_TRUE(ok_button(dialog)->isEnabled());

    // A folder that cannot be made is refused and the dialog stays; an existing one is taken.
    dir.write("a_file", "x");
    auto* root = child<QLineEdit>(dialog, kv::gui::kRootEditName);
    replace_text(root, QString::fromStdString(dir.str() + "/a_file/missing"));
    QTest::mouseClick(ok_button(dialog), Qt::LeftButton);
    EXPECT_FALSE(confirmed);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(child<QLabel>(dialog, "problem")->isVisible());
    replace_text(root, QString::fromStdString(dir.str()));
    QTest::mouseClick(child<QCheckBox>(dialog, kv::gui::kDetailsName), Qt::LeftButton);
    QTest::mouseClick(ok_button(dialog), Qt::LeftButton);
    ASSERT_TRUE(confirmed);
    EXPECT_EQ(confirmed->port, "ttyUSB0");
    EXPECT_EQ(confirmed->root, dir.str());
    EXPECT_TRUE(confirmed->details);
}

// A description far wider than the dialog is cut short; the state beside it stays in sight, whole.
TEST_F(SettingsDialogTest, EveryColumnInSightBesideALongDescription) {
    auto ports = [] {
        return std::vector<PortChoice>{{"ttyUSB0", "/dev/ttyUSB0",
                                        "USB serial adapter: " + std::string(300, 'x'), false,
                                        "non si apre: in use by process 2417 (minicom)"}};
    };
    QWidget* dialog = kv::gui::open_settings_dialog(nullptr, {"", "/old/root", false}, ports,
                                                    [](const Settings&) {});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    auto* list = child<QTreeWidget>(dialog, kv::gui::kPortListName);
    const QHeaderView* header = list->header();
    const int width = list->viewport()->width();
    for (int column = 0; column < 3; ++column) {
        EXPECT_GE(header->sectionViewportPosition(column), 0) << column;
        EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column), width)
            << column;
    }
    EXPECT_GE(header->sectionSize(2),
              list->fontMetrics().horizontalAdvance(list->topLevelItem(0)->text(2)));
    EXPECT_GT(header->sectionSize(1), 0);
    kv::gui::cancel_settings_dialog();
}

TEST_F(SettingsDialogTest, TypedPortTheUnchangedDefaultFolderAndEscCancelling) {
    // The folder the dialog opened with may not exist yet: KV32 makes its default folder.
    std::optional<Settings> confirmed;
    const std::string fresh = (dir.path() / "KV32").string();
    QWidget* dialog = kv::gui::open_settings_dialog(
        nullptr, {"COM1", fresh, true}, [] { return std::vector<PortChoice>{}; },
        [&](const Settings& s) { confirmed = s; });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    auto* list = child<QTreeWidget>(dialog, kv::gui::kPortListName);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "Nessuna porta seriale su questo computer");
    replace_text(child<QLineEdit>(dialog, kv::gui::kPortEditName), "PTY");
    QTest::keyClick(child<QLineEdit>(dialog, kv::gui::kPortEditName), Qt::Key_Return);
    ASSERT_TRUE(confirmed);
    EXPECT_EQ(confirmed->port, "PTY");
    EXPECT_EQ(confirmed->root, fresh);
    EXPECT_TRUE(confirmed->details);

    // Esc cancels, and is not taken as the Esc that stops the command loop.
    confirmed.reset();
    dialog = kv::gui::open_settings_dialog(nullptr, {"COM1", "", false}, two_ports,
                                           [&](const Settings& s) { confirmed = s; });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    QPointer<QWidget> alive(dialog);
    QTest::keyPress(dialog->focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(kv::platform::key_is_down(kv::platform::VK_ESCAPE));
    QApplication::processEvents();
    EXPECT_FALSE(confirmed);
    EXPECT_TRUE(!alive || !alive->isVisible());
    QTest::qWait(0);
}

TEST_F(SettingsDialogTest, TheFolderChooserFillsTheFolder) {
    std::filesystem::create_directory(dir.path() / "GIOCHI");
    QWidget* dialog = kv::gui::open_settings_dialog(nullptr, {"COM1", dir.str(), false}, two_ports,
                                                    [](const Settings&) {});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    QTest::mouseClick(child<QPushButton>(dialog, kv::gui::kRootChooseName), Qt::LeftButton);
    auto* chooser = dialog->findChild<QFileDialog*>("root_chooser");
    ASSERT_NE(chooser, nullptr);
    EXPECT_TRUE(chooser->isVisible());
    EXPECT_EQ(chooser->directory().absolutePath(), QString::fromStdString(dir.str()));
    const QString folder = QString::fromStdString((dir.path() / "GIOCHI").string());
    chooser->selectFile(folder);
    QMetaObject::invokeMethod(chooser, "accept");
    EXPECT_EQ(child<QLineEdit>(dialog, kv::gui::kRootEditName)->text(), folder);
    qobject_cast<QDialog*>(dialog)->reject();
}

TEST_F(SettingsDialogTest, TheWindowsMenuStatusLineAndProgress) {
    auto window = kv::gui::create_main_window("KV32 test", 500, 500);
    int settings_opened = 0;
    window->set_start_handler([&] {
        QWidget* w = window->widget();
        window->log_pane().append_line("Waiting command (ESC to exit)...");
        window->set_status("Cartella servita: /srv/kv");
        EXPECT_EQ(child<QLabel>(w, "status")->text(), "Cartella servita: /srv/kv");

        window->set_settings_handler([&] { ++settings_opened; });
        QTest::keyClick(w, Qt::Key_I, Qt::AltModifier);
        EXPECT_EQ(settings_opened, 1);

        auto* bar = child<QProgressBar>(w, "progress");
        window->show_progress("Saving HELLO: 1024 of 4096 bytes", 1024, 4096);
        EXPECT_TRUE(bar->isVisible());
        EXPECT_EQ(bar->text(), "Saving HELLO: 1024 of 4096 bytes");
        EXPECT_EQ(bar->value() * 4, bar->maximum());
        EXPECT_FALSE(child<QLabel>(w, "status")->isVisible());
        window->show_progress({}, 0, 0);
        EXPECT_FALSE(bar->isVisible());
        EXPECT_TRUE(child<QLabel>(w, "status")->isVisible());

        // Copy: the whole log reaches the clipboard.
        auto* menu = child<QMenuBar>(w, "menu");
        QApplication::clipboard()->clear();
        auto* log_menu = menu->actions().at(0)->menu();
        QTest::keyClick(w, Qt::Key_R, Qt::AltModifier);
        if (log_menu->isVisible()) QTest::keyClick(log_menu, Qt::Key_C);
        EXPECT_EQ(QApplication::clipboard()->text(), "Waiting command (ESC to exit)...");
        window->request_close();
    });
    window->activate(nullptr);
}

TEST_F(SettingsDialogTest, EveryLogLineGoesToTheLogFileWithItsTime) {
    const std::string path = dir.str() + "/kv32.log";
    dir.write("kv32.log", "an earlier line\n");
    ASSERT_TRUE(kv::gui::set_log_file(path));
    {
        kv::gui::ScopedHeadless headless(true);
        auto window = kv::gui::create_main_window("KV32", 500, 500);
        testing::internal::CaptureStdout();
        window->log_pane().append_line("Saving...");
        window->log_pane().append_line("Perch\xe8 no");  // Windows-1252 in, UTF-8 out
        testing::internal::GetCapturedStdout();
    }
    kv::gui::set_log_file("");
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "an earlier line");
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*))");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[1], m, stamped)) << lines[1];
    EXPECT_EQ(m[1], "Saving...");
    ASSERT_TRUE(std::regex_match(lines[2], m, stamped)) << lines[2];
    EXPECT_EQ(m[1], "Perch\xc3\xa8 no");

    std::string why;
    EXPECT_FALSE(kv::gui::set_log_file(dir.str() + "/no/such/folder/kv32.log", &why));
    EXPECT_EQ(why, "No such file or directory");
}

}  // namespace
