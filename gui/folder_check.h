#pragma once
// Whether a folder can be served, and why not, in the language of the windows (Windows-1252
// bytes; English where no translation is installed: the command line, a headless run).
#include <string>

namespace kv::gui {

enum class FolderUse {
    Enter,        // it must be a folder that can be entered
    EnterWrite,   // ... and written
    MakeOrWrite,  // as EnterWrite, or missing where it can be made
};

// Why `folder` cannot serve as `use` asks: "the folder does not exist (there is no
// /media/anna)", "permission denied: ...", "not a folder", "the disk is read-only"; "" when it can.
std::string why_folder_unusable(const std::string& folder, FolderUse use);

// Makes a missing folder and the folders above it; "" or why not (as above).
std::string make_folder(const std::string& folder);

}  // namespace kv::gui
