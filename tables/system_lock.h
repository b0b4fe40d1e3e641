#pragma once
// Where the system lock lives.
#include <string>

namespace kv::db {

// The work area kept for the system lock table, and its alias there.
inline constexpr int kSystemLockArea = 65534;
inline constexpr const char* kSystemLockAlias = "TALPLOCK";
// The local system lock table (no extension) in the current folder.
inline constexpr const char* kLocalLockTable = "NET";

// The central lock table when it exists, else the local one.
std::string system_lock_table();

}  // namespace kv::db
