#include "util/startup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "util/file_names.h"
#include "util/paths.h"
#include "util/settings.h"

namespace kv::util {

std::string ACS_USER;
std::string ACS_TEMP;
std::string ACS_PASSWD;
int ACS_LEVEL = 0;

namespace {

std::function<void()>& table_closer() {
    static std::function<void()> close_tables;
    return close_tables;
}

std::function<void()>& error_handler_installer() {
    static std::function<void()> install;
    return install;
}

const std::string& temporary_pattern() {
    static const std::string pattern = std::string(1, TEMPORARY_MARK) + "*.*";
    return pattern;
}

// Erases the ordinary files of a folder ("" = current) that match the pattern; failures are
// ignored.
void erase_files(const std::string& folder, const std::string& pattern) {
    for (const auto& entry : platform::find_entries(join_path(folder, pattern))) {
        platform::delete_file(join_path(folder, entry.name), platform::NameCase::AsGiven);
    }
}

// Erases what KV32 itself left in a folder ("" = current): its temporary files that no running
// KV32 needs. Other names with the temporary mark (a device's own files) stay.
void erase_leftover_temporaries(const std::string& folder) {
    platform::FindOptions all;
    all.hidden = true;
    all.system = true;
    for (const auto& entry : platform::find_entries(join_path(folder, temporary_pattern()), all)) {
        if (is_stale_temporary(folder, entry.name))
            platform::delete_file(join_path(folder, entry.name), platform::NameCase::AsGiven);
    }
}

void establish_settings() {
    RuntimeSettings& s = settings();
    s.table_format = "DBFCDX";
    s.lock_scheme = 2;
    s.memo_layout = 2;
    s.memo_extension = ".DBT";
    s.auto_share = false;
    s.date_format = s.century ? "dd/mm/yyyy" : "dd/mm/yy";
    s.hide_deleted = true;
    s.epoch = 1980;
    set_file_case("UPPER");
    s.print_margin = 5;
}

void create_login_variables() {
    ACS_USER = "USER";
    ACS_TEMP.clear();
    ACS_PASSWD.clear();
    ACS_LEVEL = 1;
}

// Temporary folders that an earlier run left in the temporary folder: emptied and removed. One
// that holds a sub-folder, or a file that cannot be erased, stays for the next start.
// The temporary folder is shared with every user of the machine: only a real folder (never a link
// to one) that this user owns is emptied, through its own descriptor, so that nothing another user
// planted there leads the removal anywhere else.
void remove_own_leftover_folder(const std::string& temp, const std::string& name) {
    const int folder =
        ::open(join_path(temp, name).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return;
    struct stat st;
    if (::fstat(folder, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(folder);
        return;
    }
    DIR* entries = ::fdopendir(folder);
    if (entries == nullptr) {
        ::close(folder);
        return;
    }
    bool emptied = true;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string file = entry->d_name;
        if (file == "." || file == "..") continue;
        // Files go; a folder inside stays, and with it this one, for the next start.
        if (::unlinkat(::dirfd(entries), file.c_str(), 0) != 0) emptied = false;
    }
    ::closedir(entries);
    if (emptied) platform::remove_folder(join_path(temp, name));
}

void remove_leftover_temporary_folders() {
    const std::string temp = platform::temp_folder();
    platform::FindOptions with_folders;
    with_folders.folders = true;
    for (const auto& entry :
         platform::find_entries(join_path(temp, temporary_pattern()), with_folders)) {
        if (!entry.is_folder() || !is_stale_temporary(temp, entry.name)) continue;
        remove_own_leftover_folder(temp, entry.name);
    }
}

void remove_login_folder(LibraryState& state) {
    state.login_lock.close();
    const std::string& folder = state.login_folder;
    if (folder.empty()) return;  // never the current folder's files
    erase_files(folder, "*");
    std::string without_separator = folder;
    if (platform::ends_with_separator(without_separator)) without_separator.pop_back();
    platform::remove_folder(without_separator);
}

}  // namespace

LibraryState& library_state() {
    static LibraryState state;
    return state;
}

bool nobody_logged_in() {
    return library_state().login_user.find_first_not_of(' ') == std::string::npos;
}

void set_table_closer(std::function<void()> close_tables) {
    table_closer() = std::move(close_tables);
}

void set_error_handler_installer(std::function<void()> install) {
    error_handler_installer() = std::move(install);
}

void INIT_() {
    establish_settings();
    create_login_variables();
    erase_leftover_temporaries("");
    remove_leftover_temporary_folders();
    // Linux shows no critical-error boxes: a drive that is not ready is already a failing file
    // operation, so there is nothing to switch off here.
}

void CLOSEALL() {
    if (table_closer()) table_closer()();
    erase_files(library_state().login_folder, std::string(1, TEMPORARY_MARK) + "VIEW*.NTX");
}

void EXIT_() {
    CLOSEALL();
    if (nobody_logged_in()) return;
    LibraryState& state = library_state();
    remove_login_folder(state);
    if (platform::file_exists(CENTRAL_LOCK_TABLE)) platform::delete_file(state.login_user + ".USR");
}

int run_program(const std::function<int()>& start_procedure) {
    if (error_handler_installer()) error_handler_installer()();
    INIT_();
    int exit_code = 0;
    try {
        exit_code = start_procedure();
    } catch (const QuitProgram& quit) {
        exit_code = quit.exit_code;
    } catch (...) {
        EXIT_();
        throw;
    }
    EXIT_();
    return exit_code;
}

}  // namespace kv::util
