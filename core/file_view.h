#pragma once
// The window "File del dispositivo": the served folder as the device sees it, one folder at a
// time, with the catalogue's own words for each entry (DIR, BAS LINE 10, CDE 16384,6912) and the
// folder the device is in marked. PC files come in with Importa... or by dropping them on the
// list, stored files go out with Esporta... or by dragging them out; Rinomina, Elimina and Nuova
// cartella keep the folders. Every change goes through the device's own rules and the Save's
// atomic write (core/desk_files). A watch on the folder shown (inotify, no polling) follows what
// the device saves and erases meanwhile. The window opens without a nested event loop, so the
// command loop beneath keeps serving.
#include <QStringList>

class QWidget;

namespace kv::core {

// Object names of the window's parts, for tests and pictures.
constexpr const char* kFileViewName = "file_view";
constexpr const char* kFileListName = "file_list";
constexpr const char* kFolderLineName = "folder_line";
constexpr const char* kViewMessageName = "view_message";
constexpr const char* kUpButtonName = "up";
constexpr const char* kImportButtonName = "import";
constexpr const char* kExportButtonName = "export";
constexpr const char* kRenameButtonName = "rename";
constexpr const char* kEraseButtonName = "erase";
constexpr const char* kNewFolderButtonName = "new_folder";
constexpr const char* kImportChooserName = "import_chooser";
constexpr const char* kExportChooserName = "export_chooser";
constexpr const char* kEraseQuestionName = "erase_question";
constexpr const char* kRefusalBoxName = "refusal_box";

// Opens the window over `parent` (or raises the one open) showing the served folder's top.
QWidget* open_file_view(QWidget* parent);
// The window open now, or nullptr.
QWidget* file_view_window();
// The device may have changed folder, or another folder is served: the open window marks the
// device's folder anew.
void note_device_activity();
// PC files to import into the folder shown, one dialog after another (what a drop does).
void import_into_file_view(const QStringList& pc_files);

}  // namespace kv::core
