// "E": the PC deletes the stored files matching a name or pattern, or removes an empty folder.
#include <algorithm>

#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/served_folder.h"
#include "core/stored_file.h"
#include "fs/directory.h"
#include "platform/files.h"
#include "util/paths.h"

namespace kv::core {
namespace {

// A refusal that the disk or a protection forced, logged even without verbose logging.
void refuse_logged(int port, const std::string& name, const std::string& why) {
    SENDERR(port, kStatusRefused);
    log_line("Cannot erase " + shown_name(name) + ": " + why);
}

void erase_folder(int port, const std::string& name) {
    const std::string folder = requested_folder(name);
    if (!util::DIR_(folder)) return refuse(port, name, "no such folder");
    if (holds_current_folder(folder))
        return refuse(port, name, "the current folder, or a folder that holds it");
    // A link was placed by the user; removing it would remove what the user put there.
    if (platform::is_link(folder)) return refuse_logged(port, name, "it is a link");
    if (is_settings_file(folder))
        return refuse_logged(port, name, "that is the settings file's name");
    if (!fs::REMOVEDIR(folder))
        return refuse(port, name, "the folder is not empty or cannot be removed");
    send_ok(port);
    log_outcome(shown_name(name) + ": folder removed");
}

// Only stored files are deleted; other files that match are left alone. The answer is 15 when
// stored files (or links, or the settings file) matched and none of them was deleted.
void erase_files(int port, const std::string& name) {
    std::string pattern = name;
    std::replace(pattern.begin(), pattern.end(), '/', '\\');
    pattern = served_path(pattern);
    if (!platform::has_wildcards(platform::file_part(pattern)) && is_settings_file(pattern))
        return refuse_logged(port, name, "that is the settings file's name");
    if (!platform::file_exists(pattern)) return refuse(port, name, "no such file");
    const std::string folder = platform::folder_part(pattern);
    std::size_t erased = 0;
    std::size_t kept = 0;
    std::string why;
    for (const auto& entry : platform::find_entries(pattern)) {
        const std::string path = folder + entry.name;
        if (!ISKV(path)) continue;  // not a stored file: left alone
        if (is_settings_file(path)) {
            ++kept;
            why = "the settings file is never erased";
        } else if (platform::is_link(path)) {
            ++kept;
            why = shown_name(entry.name) + " is a link, which is never erased";
        } else if (platform::delete_file(path)) {
            ++erased;
        } else {
            ++kept;
            why = shown_name(entry.name) + " cannot be deleted (" +
                  platform::file_error_text(platform::last_file_error()) + ")";
        }
    }
    if (erased == 0 && kept > 0) return refuse_logged(port, name, why);
    send_ok(port);
    if (kept > 0) log_line("Erasing " + shown_name(name) + ": " + why);
    log_outcome(counted(erased, "stored file", "stored files") + " erased");
}

}  // namespace

void ERASE_(int port) {
    const std::string name = wait_name();
    abandon_if_esc_interrupted(port, "The Erase of " + shown_name(name));
    if (refused_name(port, name)) return;
    if (is_folder_request(name)) return erase_folder(port, name);
    erase_files(port, name);
}

}  // namespace kv::core
