#pragma once
// User login, the login folder and the system lock that copies of the program sharing one folder
// of tables take around their system operations.
#include <optional>
#include <string>
#include <vector>

#include "db/language.h"
#include "platform/files.h"

namespace kv::db {

// Scrambles a value: every byte of a text has its top bit flipped (scrambling twice gives the text
// back); a number n of d characters in its plain decimal form becomes 10^d - 1 - n. Empty texts
// and values of other types come back unchanged.
Value CRYPT(const Value& value);

// Logs a user in. No flag: anonymous login; false: asks for the user id (dialog UTENTE); true:
// asks for user id and password and checks them against USERS.DBF (dialog UTENTE2). Returns
// once logged in; ends the program (util::QuitProgram) when the dialog is cancelled or the login
// cannot be completed.
void USER(std::optional<bool> ask_password = std::nullopt);

// Each stores its argument, when given, into the login user id, the login lock handle or the
// login folder, and returns what is now held (SETHUSER: the open file's descriptor, -1 for none).
std::string SETUSER(const std::optional<std::string>& id = std::nullopt);
// The login lock's descriptor (-1 for none); a handle given is held from then on.
int SETHUSER(std::optional<platform::File> handle = std::nullopt);
// The login folder; a folder given becomes it.
std::string SETTEMP(const std::optional<std::string>& folder = std::nullopt);
// Stores the table password and the tables it protects (none listed: every table) when a
// password is given; returns the table password now held.
std::string SETPASSWORD(const std::optional<std::string>& password = std::nullopt,
                        const std::optional<std::vector<std::string>>& tables = std::nullopt);

// Takes and releases the system lock (nothing while nobody is logged in). They do not nest.
void SLOCK();
// Releases the system lock.
void SUNLOCK();
// Creates the local system lock table NET when neither it nor the central one exists; ends the
// program when it cannot.
void SCREATE();

// Writes every "USR_" memory variable into a user settings file; false when it cannot.
bool write_user_settings(const std::string& file);

}  // namespace kv::db
