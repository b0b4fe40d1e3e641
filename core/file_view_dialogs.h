#pragma once
// The small dialogs of the file view: the name and header of a PC file being imported, and a
// name for Rinomina and Nuova cartella. Each checks what is typed as it is typed, by the device's
// rules, and keeps OK disabled with the reason shown while the device could not use it. They open
// without a nested event loop and delete themselves when closed.
#include <QString>
#include <functional>
#include <string>

#include "core/desk_files.h"

class QWidget;

namespace kv::core {

// Object names of the dialogs' controls, for tests and pictures.
constexpr const char* kImportDialogName = "import_dialog";
constexpr const char* kImportNameEdit = "import_name";
constexpr const char* kImportTypeSpin = "import_type";
constexpr const char* kImportParam1Spin = "import_param1";
constexpr const char* kImportParam2Spin = "import_param2";
constexpr const char* kImportReplaceBox = "import_replace";
constexpr const char* kDialogReasonLabel = "reason";
constexpr const char* kNameDialogName = "name_dialog";
constexpr const char* kNameEdit = "name";

// The reason of a refusal in the window's words.
QString fault_text(const DeskResult& result);

// What the import dialog was told: the stored file's name and header, and whether to replace.
struct ImportChoice {
    std::string name;  // the device name, inside the folder shown
    StoredHeader header;
    bool replace = false;
};

// Asks how the PC file `pc_file` (of `size` bytes) goes into the device folder `folder` ("/"
// or "/GAMES/"); `done` runs with the answer on OK.
QWidget* open_import_dialog(QWidget* parent, const std::string& folder, const QString& pc_file,
                            std::size_t size, std::function<void(const ImportChoice&)> done);

// Asks for a name: `check` tells what is wrong with one (nothing when it can be used), `done`
// runs with the name (Windows-1252) on OK.
QWidget* open_name_dialog(QWidget* parent, const QString& title, const QString& label,
                          const QString& initial,
                          std::function<DeskResult(const std::string&)> check,
                          std::function<void(const std::string&)> done);

}  // namespace kv::core
