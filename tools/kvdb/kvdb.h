#pragma once
// kvdb: keeping tables from the command line (create, append, dump, info, zap, pack, check,
// index, seek).
#include <ostream>
#include <string>
#include <vector>

namespace kv::kvdb {

// Runs one command line (without the program name); the exit status: 0 done, 1 failed or not
// found, 2 wrong usage.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// One CSV field: quoted when it holds a comma, a quote, a line break or edge blanks.
std::string csv_field(const std::string& text);

}  // namespace kv::kvdb
