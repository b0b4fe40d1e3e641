// USER: anonymous login, or a login with the user id (and the password checked against the user
// table), each with its private login folder.
#include "gui/login_dialog.h"
#include "platform/files.h"
#include "tables/login.h"
#include "tables/login_folder.h"
#include "tables/login_users.h"
#include "util/file_names.h"
#include "util/msgbox.h"
#include "util/startup.h"

namespace kv::db {
namespace {

constexpr const char* kSharedSettings = "USER.USR";

// Ends the program at once; the shut-down procedure still runs.
[[noreturn]] void end_program(int code = 1) {
    throw util::QuitProgram{code};
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool is_empty_file(const std::string& name) {
    const auto entries = platform::find_entries(name);
    return !entries.empty() && entries.front().size == 0;
}

// Makes the login folder under the system lock, which it releases; ends the program when the
// folder cannot be made.
void enter_login_folder(const std::string& folder) {
    if (!make_login_folder(folder)) {
        SUNLOCK();
        util::POPMSG("Impossibile creare la cartella di lavoro " + folder + ".", 1);
        end_program();
    }
    SUNLOCK();
}

void anonymous_login(bool shared_settings) {
    SLOCK();
    auto& state = util::library_state();
    state.login_user = util::GETNEWFNAME();
    if (!shared_settings) util::ACS_USER = state.login_user;
    enter_login_folder(login_folder_for(state.login_user));
}

enum class Check { Admitted, Refused, WrongPassword };

// Checks the typed id and password against the user table, telling the user why when refused.
Check check_user(const gui::LoginDialogFields& fields) {
    if (!platform::file_exists(kUsersTable)) {
        util::POPMSG("Utente non abilitato.", 1);
        return Check::Refused;
    }
    auto users = open_users();
    if (!users) return Check::Refused;
    const bool found = find_user(*users, user_key(fields.id, user_id_width(*users)));
    const UserRecord user = user_of(*users);
    // The password as its field holds it, padded to the field's width.
    const auto width = static_cast<std::size_t>(password_width(*users));
    users->close();
    util::ACS_PASSWD = user.password;
    if (util::ACS_PASSWD.size() < width) util::ACS_PASSWD.resize(width, ' ');
    util::ACS_LEVEL = user.level;
    if (!found) {
        util::POPMSG("Utente non abilitato.", 1);
        return Check::Refused;
    }
    // The typed password, blanks included, is the stored one without the field's padding.
    if (fields.password != user.password) {
        util::POPMSG("Password non corretta.", 1);
        return Check::WrongPassword;
    }
    return Check::Admitted;
}

}  // namespace

void USER(std::optional<bool> ask_password) {
    const bool shared_settings = platform::file_exists(kSharedSettings);
    if (shared_settings && ask_password && is_empty_file(kSharedSettings) &&
        !write_user_settings(kSharedSettings)) {
        end_program();
    }
    if (!ask_password || shared_settings) {
        anonymous_login(shared_settings);
        return;
    }
    gui::LoginDialogFields fields;
    fields.with_password = *ask_password;
    if (fields.with_password) {
        auto users = open_users();
        if (!users || users->record_count() == 0) end_program();
        fields.id_width = user_id_width(*users);
        fields.password_width = password_width(*users);
        users->close();
    }
    for (;;) {
        const int result = gui::show_login_dialog(fields);
        if (result != 1) end_program(0);
        if (!util::LFNFNAME(fields.id)) {
            util::POPMSG("Identificativo utente non valido.", 1);
            continue;
        }
        if (!fields.with_password) break;
        const Check check = check_user(fields);
        if (check == Check::Admitted) break;
        if (check == Check::WrongPassword) fields.password.clear();
    }
    SLOCK();
    auto& state = util::library_state();
    state.login_user = trimmed(fields.id);
    util::ACS_USER = state.login_user;
    enter_login_folder(login_folder_for(util::GETNEWFNAME()));
    if (const std::string settings = state.login_user + ".USR";
        !platform::file_exists(settings) && !write_user_settings(settings)) {
        end_program();
    }
}

}  // namespace kv::db
