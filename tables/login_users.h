#pragma once
// The user table USERS.DBF in the current folder, with USERS.NTX keyed on the scrambled user id:
// USERID and PASSWD hold the id (upper case) and the password padded with blanks to the field
// width and scrambled, blanks included; LEVEL the access level.
#include <memory>
#include <optional>
#include <string>

#include "db/dbf_table.h"

namespace kv::db {

inline constexpr const char* kUsersTable = "USERS.DBF";
inline constexpr const char* kUsersIndex = "USERS.NTX";
// The widths of a user table that the library creates.
inline constexpr int kUserIdWidth = 10;
inline constexpr int kPasswordWidth = 10;
inline constexpr int kLowestLevel = 1;
inline constexpr int kHighestLevel = 9;

struct UserRecord {
    std::string id;        // without the padding
    std::string password;  // without the padding
    int level = 0;
};

// Opens the user table with its index; nullptr (nothing reported) when it cannot.
std::unique_ptr<Table> open_users(bool shared = true);
// The widths of USERID and PASSWD of an open user table.
int user_id_width(const Table& users);
int password_width(const Table& users);
// The key of an id as typed: padded with blanks to the width (cut to it) and scrambled.
std::string user_key(const std::string& id, int width);
// Positions the table on the user with that key; false (at end of file) when there is none.
bool find_user(Table& users, const std::string& key);
// The user of the current record.
UserRecord user_of(const Table& users);
// Builds USERS.NTX for an existing USERS.DBF that lacks it; false when it cannot.
bool ensure_users_index();
// Creates USERS.DBF and its index USERS.NTX (tag USERID); false when they cannot be made.
bool create_users();

}  // namespace kv::db
