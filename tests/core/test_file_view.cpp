// The window "File del dispositivo" on the offscreen platform, driven with real mouse events
// through the window system's path: PC files dropped on it and imported through its dialog,
// stored files dragged out of it, its buttons and their dialogs, and its watch on the folder.
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <csignal>
#include <functional>

#include "core/file_view.h"
#include "core/file_view_dialogs.h"
#include "core/served_folder.h"
#include "platform/files.h"
#include "tests/e2e/kv32_on_pty.h"
#include "tests/support/system_input.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_test.h"
#include "tools/kvdev/commands.h"

namespace kv::test {
namespace {

using namespace std::chrono_literals;

// A window outside the view that takes the files dragged onto it.
class DropTarget : public QWidget {
  public:
    DropTarget() {
        setAcceptDrops(true);
        setGeometry(700, 0, 200, 200);
    }
    QStringList files;

  protected:
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        for (const QUrl& url : e->mimeData()->urls()) files.push_back(url.toLocalFile());
        e->acceptProposedAction();
    }
};

// Waits, letting events run, until `done` holds (a file-system watch's news, a window opening).
bool wait_until(const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i) QTest::qWait(10);
    return done();
}

QPoint in_window(QWidget* widget, QPoint at) {
    return widget->mapTo(widget->window(), at);
}

// The mouse, already pressed where a drag began, moved onto `target` and released there; run
// from inside the drag's own event loop.
void move_and_release_on(QWidget* target, QPoint at) {
    QWindow* window = target->window()->windowHandle();
    const QPoint p = in_window(target, at);
    QTest::mouseMove(window, p - QPoint(4, 4));
    QTest::mouseMove(window, p);
    QTest::mouseRelease(window, Qt::LeftButton, {}, p);
}

class FileViewTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(core::set_served_root(served->str()));
        view = core::open_file_view(nullptr);
        view->move(0, 0);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
        list = view->findChild<QTreeWidget*>(core::kFileListName);
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != view && w->isVisible()) w->close();
        delete view;
        WindowTest::TearDown();
    }

    template <typename T = QWidget>
    T* open_child(const char* name) {
        T* found = nullptr;
        wait_until([&] { return (found = view->findChild<T*>(name)) && found->isVisible(); });
        return found;
    }
    void click(const char* button) { system_click(view->findChild<QPushButton*>(button)); }
    QTreeWidgetItem* row(const QString& name) {
        const auto found = list->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.front();
    }
    void select(const QString& name) {
        QTreeWidgetItem* item = row(name);
        ASSERT_NE(item, nullptr) << name.toStdString();
        QTest::mouseClick(view->windowHandle(), Qt::LeftButton, {},
                          in_window(list->viewport(), list->visualItemRect(item).center()));
    }
    static void type_into(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    static QPushButton* ok_of(QWidget* dialog) {
        return dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    }
    static QString reason_of(QWidget* dialog) {
        return dialog->findChild<QLabel*>(core::kDialogReasonLabel)->text();
    }
    // PC files dropped on the list from a drag that begins outside the view.
    void drop_on_list(const QStringList& files) {
        QWidget source;
        source.setGeometry(700, 300, 50, 50);
        source.show();
        auto* drag = new QDrag(&source);
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& f : files) urls.push_back(QUrl::fromLocalFile(f));
        mime->setUrls(urls);
        drag->setMimeData(mime);
        QTimer::singleShot(0, [this] { move_and_release_on(list->viewport(), {60, 60}); });
        drag->exec(Qt::CopyAction);
    }

    platform::ScopedUpperCaseFileNames upper{true};
    std::unique_ptr<TempDir> served = std::make_unique<TempDir>();
    ScopedCurrentDir cd{served->path()};
    TempDir pc;
    QWidget* view = nullptr;
    QTreeWidget* list = nullptr;
};

TEST_F(FileViewTest, DroppedFilesComeInThroughTheDialogAndTheDeviceLoadsThem) {
    // The offscreen platform drops every drag at once.
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "drag and drop needs an X server (FileViewOnX runs it on Xvfb)";
    Kv32OnPty kv;
    ASSERT_TRUE(kv.started()) << kv.process().err();
    ASSERT_TRUE(core::set_served_root(kv.dir().str()));
    core::note_device_activity();
    std::string code;
    for (int i = 0; i < 40000; ++i) code += static_cast<char>(i * 7);
    const QString game = QString::fromStdString(pc.write("space game.bin", code).string());
    const QString big = QString::fromStdString(pc.write("big.bin", std::string(70000, 'x')));
    drop_on_list({game, big});

    QWidget* dialog = open_child(core::kImportDialogName);
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>(core::kImportNameEdit);
    EXPECT_EQ(name->text(), "SPACE GAME");  // proposed by the device's rules
    EXPECT_EQ(dialog->findChild<QSpinBox*>(core::kImportTypeSpin)->value(), 3);
    EXPECT_EQ(dialog->findChild<QSpinBox*>(core::kImportParam1Spin)->value(), 32768);
    type_into(name, "inv*");
    EXPECT_FALSE(ok_of(dialog)->isEnabled());
    EXPECT_TRUE(reason_of(dialog).contains("«*» o «?»")) << reason_of(dialog).toStdString();
    type_into(name, "invaders");
    type_into(dialog->findChild<QSpinBox*>(core::kImportParam1Spin)->findChild<QLineEdit*>(),
              "24576");
    ASSERT_TRUE(ok_of(dialog)->isEnabled()) << reason_of(dialog).toStdString();
    system_click(ok_of(dialog));

    // The second file is refused with the reason, without a dialog.
    auto* box = open_child<QMessageBox>(core::kRefusalBoxName);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains("«big.bin» non importato: 70.000 byte"))
        << box->text().toStdString();
    box->close();
    EXPECT_EQ(view->findChild<QDialog*>(core::kImportDialogName), nullptr);
    ASSERT_TRUE(wait_until([&] { return row("INVADERS") != nullptr; }));
    EXPECT_EQ(row("INVADERS")->text(1), "CDE 24576,40000");

    const dev::LoadResult loaded = dev::load(kv.device(), "invaders");
    EXPECT_EQ(loaded.status, dev::kOk);
    EXPECT_EQ(loaded.type, 3);
    EXPECT_EQ(loaded.param1, 24576);
    EXPECT_EQ(loaded.length, 40000);
    EXPECT_TRUE(loaded.data == code) << loaded.data.size() << " bytes came";
    EXPECT_EQ(kv.stop(), 0);
}

TEST_F(FileViewTest, AStoredFileDraggedOutLeavesAsItsDataAndExportWritesTheSame) {
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "dragging out needs an X server (FileViewOnX runs it on Xvfb)";
    const std::string data = std::string("\x00\x01\x1A\xFF", 4) + "program bytes";
    ASSERT_TRUE(core::import_stored("PROG", data, {0, 0, 0, 10}, false).ok());
    ASSERT_TRUE(wait_until([&] { return row("PROG") != nullptr; }));
    EXPECT_EQ(row("PROG")->text(1), "BAS LINE 10");

    DropTarget target;
    target.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
    // The X server's own pointer: pressed on the row, carried over the target, released there.
    const QPoint from = list->viewport()->mapToGlobal(list->visualItemRect(row("PROG")).center());
    const QPoint to = target.mapToGlobal(QPoint(100, 100));
    auto at = [](QPoint p, int dx = 0) {
        return QStringList{"mousemove", QString::number(p.x() + dx), QString::number(p.y())};
    };
    QStringList steps = at(from) + QStringList{"mousedown", "1"} + at(from, 10) + at(from, 30) +
                        at(to, -10) + QStringList{"sleep", "0.2"} + at(to) +
                        QStringList{"sleep", "0.2", "mouseup", "1"};
    QProcess xdotool;
    xdotool.start("xdotool", steps);
    ASSERT_TRUE(wait_until(
        [&] { return !target.files.isEmpty() || xdotool.state() == QProcess::NotRunning; }));
    wait_until([&] { return !target.files.isEmpty(); });
    ASSERT_EQ(target.files.size(), 1);
    EXPECT_EQ(QFileInfo(target.files[0]).fileName(), "PROG");
    QFile dragged(target.files[0]);
    ASSERT_TRUE(dragged.open(QIODevice::ReadOnly));
    EXPECT_EQ(dragged.readAll().toStdString(), data);

    select("PROG");
    click(core::kExportButtonName);
    auto* chooser = open_child<QFileDialog>(core::kExportChooserName);
    ASSERT_NE(chooser, nullptr);
    const QString out = QString::fromStdString((pc.path() / "prog.bin").string());
    auto* file_name = chooser->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(file_name, nullptr);
    type_into(file_name, out);
    QTest::keyClick(file_name, Qt::Key_Return);
    EXPECT_EQ(pc.read("prog.bin"), data)
        << view->findChild<QLabel*>(core::kViewMessageName)->text().toStdString() << " "
        << chooser->selectedFiles().join(",").toStdString();
}

TEST_F(FileViewTest, RenameEraseAndNewFolderKeepTheDevicesRules) {
    ASSERT_TRUE(core::import_stored("PROG", "x", {0, 0, 0, 0}, false).ok());
    ASSERT_TRUE(core::import_stored("OTHER", "y", {3, 0, 0, 0}, false).ok());
    served->write("NOTES", "a PC file");
    ASSERT_TRUE(wait_until([&] { return row("PROG") && row("OTHER"); }));
    EXPECT_EQ(row("NOTES"), nullptr);  // the device does not see it either

    click(core::kNewFolderButtonName);
    QWidget* dialog = open_child(core::kNameDialogName);
    auto* name = dialog->findChild<QLineEdit*>(core::kNameEdit);
    struct Case {
        QString name;
        QString says;
    };
    for (const Case& c :
         {Case{"", "Manca il nome"}, Case{".hid", "nascosto"}, Case{". .", "solo di spazi e punti"},
          Case{"NOTES", "non è un file"}, Case{"prog", "Esiste già un file"}}) {
        type_into(name, c.name);
        EXPECT_FALSE(ok_of(dialog)->isEnabled()) << c.name.toStdString();
        EXPECT_TRUE(reason_of(dialog).contains(c.says)) << reason_of(dialog).toStdString();
    }
    type_into(name, "Giochi");
    system_click(ok_of(dialog));
    ASSERT_TRUE(wait_until([&] { return row("Giochi") != nullptr; }));
    EXPECT_EQ(row("Giochi")->text(1), "DIR");

    select("PROG");
    click(core::kRenameButtonName);
    dialog = open_child(core::kNameDialogName);
    name = dialog->findChild<QLineEdit*>(core::kNameEdit);
    for (const QString& bad : {QString("other"), QString("A?"), QString("Giochi/X")}) {
        type_into(name, bad);
        EXPECT_FALSE(ok_of(dialog)->isEnabled()) << bad.toStdString();
    }
    type_into(name, "hello");
    system_click(ok_of(dialog));
    ASSERT_TRUE(wait_until([&] { return row("HELLO") != nullptr && row("PROG") == nullptr; }));

    // The device is in Giochi: the folder is marked and never erased.
    ASSERT_TRUE(core::enter_served_folder("Giochi/"));
    core::note_device_activity();
    EXPECT_TRUE(row("Giochi")->font(0).bold());
    EXPECT_TRUE(view->findChild<QLabel*>(core::kFolderLineName)
                    ->text()
                    .contains("(il dispositivo è in /Giochi)"));
    select("Giochi");
    click(core::kEraseButtonName);
    auto* question = open_child<QMessageBox>(core::kEraseQuestionName);
    ASSERT_NE(question, nullptr);
    system_click(question->button(QMessageBox::Yes));
    auto* box = open_child<QMessageBox>(core::kRefusalBoxName);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains("la cartella in cui si trova il dispositivo"));
    box->close();
    ASSERT_TRUE(core::enter_served_folder("/"));

    select("HELLO");
    click(core::kEraseButtonName);
    question = open_child<QMessageBox>(core::kEraseQuestionName);
    system_click(question->button(QMessageBox::No));
    EXPECT_TRUE(platform::file_exists(served->str() + "/HELLO"));
    click(core::kEraseButtonName);
    question = open_child<QMessageBox>(core::kEraseQuestionName);
    system_click(question->button(QMessageBox::Yes));
    ASSERT_TRUE(wait_until([&] { return row("HELLO") == nullptr; }));
    EXPECT_FALSE(platform::file_exists(served->str() + "/HELLO"));
    EXPECT_EQ(served->read("NOTES"), "a PC file");
}

TEST_F(FileViewTest, TheViewFollowsWhatTheDeviceSavesAndErases) {
    Kv32OnPty kv;
    ASSERT_TRUE(kv.started()) << kv.process().err();
    ASSERT_TRUE(core::set_served_root(kv.dir().str()));
    core::note_device_activity();
    ASSERT_EQ(dev::save(kv.device(), "SCREEN", std::string(6912, 's'), {3, 16384, 0}), dev::kOk);
    ASSERT_TRUE(wait_until([&] { return row("SCREEN") != nullptr; }));
    EXPECT_EQ(row("SCREEN")->text(1), "CDE 16384,6912");
    EXPECT_EQ(row("SCREEN")->text(2), "6.912");
    ASSERT_EQ(dev::erase(kv.device(), "SCREEN"), dev::kOk);
    EXPECT_TRUE(wait_until([&] { return row("SCREEN") == nullptr; }));
    EXPECT_EQ(kv.stop(), 0);
}

TEST_F(FileViewTest, TheImportDialogAsksBeforeReplacingAStoredFile) {
    ASSERT_TRUE(core::import_stored("HELLO", "old", {0, 0, 0, 0}, false).ok());
    const QString hello = QString::fromStdString(pc.write("hello.bas", "new").string());
    core::import_into_file_view({hello});
    QWidget* dialog = open_child(core::kImportDialogName);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->findChild<QSpinBox*>(core::kImportTypeSpin)->value(), 0);
    auto* replace = dialog->findChild<QCheckBox*>(core::kImportReplaceBox);
    EXPECT_TRUE(replace->isVisible());
    EXPECT_FALSE(ok_of(dialog)->isEnabled());
    EXPECT_TRUE(reason_of(dialog).contains("Esiste già un file"));
    system_click(replace);
    ASSERT_TRUE(ok_of(dialog)->isEnabled());
    system_click(ok_of(dialog));
    core::StoredContent content;
    ASSERT_TRUE(core::read_stored("HELLO", content).ok());
    EXPECT_EQ(content.data, "new");
}

}  // namespace
}  // namespace kv::test
