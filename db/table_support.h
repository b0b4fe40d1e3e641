#pragma once
// What the table functions share: one try of an operation that may meet another copy's hold, the
// current table, and the table password.
#include <functional>

#include "db/dbf_table.h"
#include "db/table_wait.h"

namespace kv::db {

// Runs one try of an operation with the network-error flag cleared: true when it worked, false
// when another copy was in the way (the error handler set the flag). Any other failure that the
// handler let pass abandons the operation (util::Abandon), so a wait never loops on it.
bool network_try(const std::function<bool()>& operation);

// The table of the current work area; abandons when the area is empty.
Table& current_table();

// True when the table password applies to the table: a password is set and either no protected
// tables are listed or the table's file name (without folder) is one of them.
bool table_password_applies(const std::string& table_file);
// Hands the table password to the driver for the table when it applies (see table_password).
void apply_table_password(const Table& table);
// The password handed to the driver for a table file (by its full path), empty when none. The
// engine keeps its files unencrypted, so the password only travels with the open table.
std::string table_password(const std::string& table_file);

}  // namespace kv::db
