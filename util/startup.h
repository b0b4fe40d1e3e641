#pragma once
// The library's start-up and shut-down procedures, its module-level state and the public login
// variables, and the order in which the program runs them around its start procedure.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/messages.h"
#include "platform/files.h"

namespace kv::util {

// Public login variables: created by INIT_, changed only by the login routines.
extern std::string ACS_USER;  // id of the logged-in user
extern std::string ACS_TEMP;  // folder for temporary files, with a trailing separator; "" = current
extern std::string ACS_PASSWD;  // password of the logged-in user
extern int ACS_LEVEL;           // access level of the logged-in user

// The library's module-level variables, with the values they hold before INIT_ runs.
struct LibraryState {
    platform::File login_lock;  // the login folder's lock file, open while logged in
    std::string login_user = std::string(8, ' ');  // all blanks while nobody is logged in
    std::string table_password;
    std::string login_folder;  // with a trailing separator; "" = current folder
    std::optional<std::string> popup_text;
    std::array<std::string, 249> saved_orders;
    std::vector<std::string> protected_tables;
    long key_search_record = 0;
    std::string key_search_text;
    gui::Hwnd status_popup = 0;
    bool popup_class_registered = false;
};

// The state (GUI thread only).
LibraryState& library_state();
// True while nobody is logged in.
bool nobody_logged_in();

// The central system lock table; while it exists, shutting down erases the user's saved settings.
inline constexpr const char* CENTRAL_LOCK_TABLE = "\\TALP\\NET";

// Establishes the run-time settings and the login variables and clears temporary files and
// folders left by an earlier run.
void INIT_();
// Closes every table, erases the view index files and, after a login, the login folder.
void EXIT_();
// Closes every table with its indexes, selects work area 1 and erases the view index files of
// the login folder (of the current folder while it is empty).
void CLOSEALL();

// Closes every open table with its indexes and selects work area 1; installed by the table layer.
void set_table_closer(std::function<void()> close_tables);

// Thrown to end the program: run_program runs EXIT_ and returns the code.
struct QuitProgram {
    int exit_code = 0;
};

// Installed before INIT_ by run_program: the run-time error handler's installer (may be empty).
void set_error_handler_installer(std::function<void()> install);

// Runs the program: the error handler is installed, INIT_, the start procedure, then EXIT_, also
// when the start procedure throws (the exception goes on) or quits (its code is returned).
int run_program(const std::function<int()>& start_procedure);

}  // namespace kv::util
