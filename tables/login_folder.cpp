#include "tables/login_folder.h"

#include "platform/files.h"
#include "util/paths.h"
#include "util/startup.h"

namespace kv::db {

std::string login_folder_for(const std::string& name) {
    return util::join_path(platform::temp_folder(), name);
}

bool make_login_folder(const std::string& folder) {
    if (!platform::create_folder(folder)) return false;
    const std::string lock_name = util::join_path(folder, "USER");
    platform::File lock;
    const bool made = lock.open(lock_name, platform::Access::ReadWrite, platform::Share::DenyNone,
                                platform::Disposition::CreateNew, platform::NameCase::Setting);
    lock.close();
    if (!made || !lock.open(lock_name, platform::Access::ReadWrite, platform::Share::DenyAll,
                            platform::Disposition::OpenExisting)) {
        platform::delete_file(lock_name);
        platform::remove_folder(folder);
        return false;
    }
    auto& state = util::library_state();
    state.login_lock = std::move(lock);
    state.login_folder = platform::ends_with_separator(folder) ? folder : folder + "/";
    util::ACS_TEMP = state.login_folder;
    return true;
}

}  // namespace kv::db
