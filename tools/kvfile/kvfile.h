#pragma once
// kvfile: the device's stored files from the command line. PC files become stored files in the
// served folder and stored files' data becomes PC files, by the rules of the device's own
// commands; list prints what a Catalogue sends.
#include <ostream>
#include <string>
#include <vector>

namespace kv::kvfile {

// Runs one command line (without the program's name); answers the exit status.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace kv::kvfile
