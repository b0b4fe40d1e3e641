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

// True when a name listed in the folder matches "CMD_*.INI".
bool matches_command_pattern(const std::string& name);
// True when the name is a command file's own name: it matches the pattern and holds no "\" or
// "/", which would make it a path to some other file when read or deleted.
bool literal_command_name(const std::string& name);

// The first command file of the current folder in that order (hidden ones included; names that
// are not literal are passed over).
std::optional<std::string> first_command_file();

// Posts [Command] Command = word: written under "CMD_" + a new temporary name + ".TMP", created
// for this post alone, then renamed to ".INI" without replacing a file of that name; a name
// already taken by another post is passed over for the next one. Returns the ".INI" name, or
// nothing when the folder cannot take the file (why says the reason).
std::optional<std::string> post_command(const std::string& word, std::string* why = nullptr);

// Waits until the file is gone, handling the window's events meanwhile (no time-out).
void wait_until_deleted(const std::string& file);

}  // namespace kv::server
