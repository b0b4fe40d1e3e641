#include "util/disk_checks.h"

#include "platform/files.h"
#include "util/abandon.h"
#include "util/msgbox.h"
#include "util/paths.h"
#include "util/system_unlock.h"

namespace kv::util {
namespace {

// Releases the system lock and tells the user why the check failed.
void report_failure(const std::string& message, bool show = true) {
    unlock_system();
    if (show) POPMSG(message, 1);
}

// The name of the file that the write test creates and erases at once.
const std::string& probe_name() {
    static const std::string name = std::string(8, '\x7f') + "." + std::string(3, '\x7f');
    return name;
}

bool can_create_probe(const std::string& place) {
    const std::string probe = join_path(place, probe_name());
    platform::File file;
    if (!file.open(probe, platform::Access::Write, platform::Share::DenyNone,
                   platform::Disposition::CreateAlways, platform::NameCase::AsGiven)) {
        return false;
    }
    file.close();
    platform::delete_file(probe, platform::NameCase::AsGiven);
    return true;
}

bool access_denied_for_writing(const std::string& file, platform::NameCase name_case) {
    platform::File opened;
    if (opened.open(file, platform::Access::Write, platform::Share::DenyNone,
                    platform::Disposition::OpenExisting, name_case)) {
        return false;
    }
    return platform::last_file_error().win32 == platform::win_error::ACCESS_DENIED;
}

bool readonly_check(const std::string& file, platform::NameCase name_case) {
    if (!access_denied_for_writing(file, name_case)) return false;
    report_failure("File non accessibile.");
    return true;
}

}  // namespace

bool ISREADY(const std::string& place, bool show) {
    const std::string saved = platform::current_folder();
    if (platform::set_current_folder(place.empty() ? "." : place)) {
        platform::set_current_folder(saved);
        return true;
    }
    report_failure("Disco non pronto.", show);
    return false;
}

bool ISPROTECTED(const std::string& place) {
    if (!ISREADY(place)) return true;
    if (can_create_probe(place)) return false;
    report_failure("Disco protetto da scrittura.");
    return true;
}

bool ISREADONLY(const std::string& file) {
    return readonly_check(file, platform::NameCase::Setting);
}

bool ISFULL(const std::string& place, std::uint64_t bytes) {
    if (place.empty()) return false;
    if (!ISREADY(place)) return true;
    // A volume that cannot be queried offers no room that could be counted on.
    if (platform::disk_free_space(place).value_or(0) >= bytes) return false;
    report_failure("Spazio su disco insufficiente.");
    return true;
}

void DELFILE(const std::string& file) {
    // Without drive letters the file's own folder is the place whose writability matters.
    if (ISPROTECTED(platform::folder_part(file))) throw Abandon("cannot erase " + file);
    if (ISREADONLY(file)) throw Abandon("cannot erase " + file);
    platform::delete_file(file);
}

void DELROOT(const std::string& folder) {
    const auto files = platform::find_entries(join_path(folder, "*"));
    if (ISPROTECTED(folder)) throw Abandon("cannot empty " + folder);
    for (const auto& entry : files) {
        const std::string path = join_path(folder, entry.name);
        if (readonly_check(path, platform::NameCase::AsGiven))
            throw Abandon("cannot erase " + path);
        platform::delete_file(path, platform::NameCase::AsGiven);
    }
}

}  // namespace kv::util
