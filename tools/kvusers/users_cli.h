#pragma once
// kvusers: keeps the user table USERS.DBF (and its index USERS.NTX) of the folder it runs in.
#include <ostream>
#include <string>
#include <vector>

namespace kv::users {

// Runs one command line (without the program name; --help and --version are the program's own);
// 0 done, 1 refused or failed, 2 wrong usage.
int run_kvusers(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace kv::users
