#pragma once
// Command files in the current folder: their names, their order and their posting.
#include <optional>
#include <string>

namespace kv::server {

inline constexpr const char* kCommandPattern = "CMD_*.INI";
inline constexpr const char* kServerFile = "SERVER.EXE";

// The order in which command files are served: names made by GETNEWFNAME by their date and then
// by the value of their hundredths (plain name order would put 100 before 99), so files are
// served first come, first served; other names in name order.
bool comes_before(const std::string& a, const std::string& b);

// The first command file of the current folder in that order.
std::optional<std::string> first_command_file();

// Writes [Command] Command = word into a new command file; returns its name.
std::string post_command(const std::string& word);

// Waits until the file is gone, handling the window's events meanwhile (no time-out).
void wait_until_deleted(const std::string& file);

}  // namespace kv::server
