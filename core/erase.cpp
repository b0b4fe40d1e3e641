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

void erase_folder(int port, const std::string& name) {
    const std::string folder = served_path(without_trailing_slash(name));
    if (!util::DIR_(folder)) return refuse(port, name, "no such folder");
    if (!fs::REMOVEDIR(folder))
        return refuse(port, name, "the folder is not empty or cannot be removed");
    send_ok(port);
    log_outcome(name + ": folder removed");
}

// Only stored files are deleted; other files that match are left alone.
void erase_files(int port, const std::string& name) {
    std::string pattern = name;
    std::replace(pattern.begin(), pattern.end(), '/', '\\');
    pattern = served_path(pattern);
    if (!platform::file_exists(pattern)) return refuse(port, name, "no such file");
    const std::string folder = platform::folder_part(pattern);
    std::size_t erased = 0;
    for (const auto& entry : platform::find_entries(pattern)) {
        const std::string path = folder + entry.name;
        if (ISKV(path) && platform::delete_file(path)) ++erased;
    }
    send_ok(port);
    log_outcome(counted(erased, "stored file", "stored files") + " erased");
}

}  // namespace

void ERASE_(int port) {
    const std::string name = WAITSTRING();
    if (refused_name(port, name)) return;
    if (is_folder_request(name)) return erase_folder(port, name);
    erase_files(port, name);
}

}  // namespace kv::core
