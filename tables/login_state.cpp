// The login values that the library keeps: user id, lock handle, login folder, table password,
// and the user settings file.
#include "tables/login.h"
#include "tables/memvars.h"
#include "util/startup.h"

namespace kv::db {

std::string SETUSER(const std::optional<std::string>& id) {
    auto& state = util::library_state();
    if (id) state.login_user = *id;
    return state.login_user;
}

int SETHUSER(std::optional<platform::File> handle) {
    auto& state = util::library_state();
    if (handle) state.login_lock = std::move(*handle);
    return state.login_lock.fd();
}

std::string SETTEMP(const std::optional<std::string>& folder) {
    auto& state = util::library_state();
    if (folder) state.login_folder = *folder;
    return state.login_folder;
}

std::string SETPASSWORD(const std::optional<std::string>& password,
                        const std::optional<std::vector<std::string>>& tables) {
    auto& state = util::library_state();
    if (password) {
        state.table_password = *password;
        state.protected_tables = tables.value_or(std::vector<std::string>{});
    }
    return state.table_password;
}

bool write_user_settings(const std::string& file) {
    return save_memory_file(file, memory_variables().with_prefix("USR_"));
}

}  // namespace kv::db
