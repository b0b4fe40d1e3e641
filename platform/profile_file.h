#pragma once
// Profile (INI) files with the rules of the Windows profile API: "[section]" headers and
// "key=value" lines; section and key names match without regard to case; blanks around a value
// are removed, and one pair of surrounding quotes; the first occurrence of a section or key wins.
// A write changes or adds one line and keeps every other line as it was, creating the file and
// the section when missing; the lines it adds end in CR LF. Names and values are byte strings.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kv::platform {

using ProfileEntry = std::pair<std::string, std::string>;  // key name as stored, its value

// The path a profile file name stands for. "/" and "\" both separate folders; a name without any
// folder lives in the per-user configuration folder ($XDG_CONFIG_HOME/kv32, else ~/.config/kv32).
// When the file's own name is not there as given, an existing file whose name differs only in
// case is taken.
std::string profile_path(const std::string& file);

// The value of key in section; nothing when the file, the section or the key is missing.
std::optional<std::string> read_profile_string(const std::string& section, const std::string& key,
                                               const std::string& file);
// The entries of a section in file order, one per key name; empty when there is no such section.
std::vector<ProfileEntry> read_profile_section(const std::string& section, const std::string& file);
// The section names of a file in file order, one per name; empty when the file is missing.
std::vector<std::string> read_profile_section_names(const std::string& file);

// Sets key = value in section. True when the file was written.
bool write_profile_string(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file);

}  // namespace kv::platform
