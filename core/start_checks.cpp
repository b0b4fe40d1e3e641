#include "core/start_checks.h"

#include <optional>

#include "core/protocol.h"
#include "core/served_folder.h"
#include "platform/files.h"
#include "platform/texts.h"
#include "util/msgbox.h"

namespace kv::core {

bool settings_file_usable(const std::string& settings_file) {
    const std::string start = platform::current_folder();
    if (start.empty()) return true;  // no start folder to read it from: nothing to protect
    // The start folder as it stands (its name may end in a dot), and the settings file's name.
    const auto full = std::optional<std::string>((start == "/" ? "" : start) + "/" +
                                                 platform::file_part(settings_file));
    protect_settings_file(*full);
    platform::File file;
    if (!file.open(*full, platform::Access::Read, platform::Share::DenyNone,
                   platform::Disposition::OpenExisting))
        return true;
    const auto head = file.read(kStoredFileMagic.size());
    if (!head || *head != kStoredFileMagic) return true;
    util::popmsg_with_details(
        "Il file delle impostazioni " + *full + " non \xE8 valido.", 1,
        "It begins with " + std::string(kStoredFileMagic) +
            ", the mark of the files the device stores: a device wrote it, and its settings "
            "are not used. Remove it, or write the settings again, and start KV32 again.");
    return false;
}

std::string served_folder_warning(const std::string& folder) {
    if (platform::folder_takes_new_files(folder)) return {};
    return platform::translated("Log",
                                "Warning: no new file can be made in the served folder %1 (%2): "
                                "the device's Saves will be refused.")
        .arg(folder)
        .arg(platform::file_error_text(platform::last_file_error()));
}

}  // namespace kv::core
