// The window "File del dispositivo" over a served folder of sample stored files, alone and with
// the dialog of a PC file being imported.
#include <QDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "core/desk_files.h"
#include "core/file_view.h"
#include "core/file_view_dialogs.h"
#include "core/served_folder.h"
#include "platform/files.h"
#include "tools/kvshots/shots.h"

namespace kv::shots {
namespace {

// A served folder with a few stored files and a folder that the device is in, for the length of
// a shot; the current folder and the served one come back at the end.
class SampleFolder {
  public:
    SampleFolder() : previous_(platform::current_folder()), upper_(true) {
        core::set_served_root(folder_.path().toStdString());
        core::make_folder("GIOCHI");
        core::import_stored("CIAO", "10 PRINT \"CIAO\"\r20 GOTO 10\r", {0, 0, 0, 10}, false);
        core::import_stored("SCHERMO", std::string(6912, '\0'), {3, 16384, 0, 0}, false);
        core::import_stored("DATI", std::string(3000, 'x'), {3, 32768, 0, 0}, false);
        core::import_stored("GIOCHI/INVASORI", std::string(12000, 'i'), {3, 24576, 0, 0}, false);
        core::enter_served_folder("GIOCHI/");
        pc_file_ = folder_.path() + "/invasori.bin";
    }
    ~SampleFolder() {
        if (QWidget* view = core::file_view_window()) delete view;
        platform::set_current_folder(previous_);
    }
    SampleFolder(const SampleFolder&) = delete;
    SampleFolder& operator=(const SampleFolder&) = delete;

    QWidget* open_view() {
        QWidget* view = core::open_file_view(nullptr);
        if (auto* list = view->findChild<QTreeWidget*>(core::kFileListName))
            if (auto found = list->findItems("CIAO", Qt::MatchExactly); !found.isEmpty())
                found.front()->setSelected(true);
        return view;
    }
    const QString& pc_file() const { return pc_file_; }

  private:
    QTemporaryDir folder_;
    std::string previous_;
    platform::ScopedUpperCaseFileNames upper_;
    QString pc_file_;
};

QImage file_view() {
    SampleFolder sample;
    return grab_window(*sample.open_view());
}

QImage file_import() {
    SampleFolder sample;
    QWidget* view = sample.open_view();
    QWidget* dialog = core::open_import_dialog(view, "/", sample.pc_file(), 12000,
                                               [](const core::ImportChoice&) {});
    QImage image = grab_window(*dialog);
    dialog->close();
    return image;
}

}  // namespace

const std::vector<Shot>& file_shots() {
    static const std::vector<Shot> all{
        {"file-view", "the window of the device's files, the folder it is in marked", file_view},
        {"file-import", "the dialog of a PC file brought to the device", file_import},
    };
    return all;
}

}  // namespace kv::shots
