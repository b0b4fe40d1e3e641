#pragma once
// Profile (INI) file functions over the project's own profile-file module.
#include <string>

namespace kv::fs {

// The value of key in section of file, blanks around it removed; the empty string when nothing
// was read (the default is returned by the reader when the key is missing).
std::string GETPVPROFSTRING(const std::string& section, const std::string& key,
                            const std::string& default_value, const std::string& file);
// Writes key = value into section of file, creating file and section when missing.
bool WRITEPPROSTRING(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file);

}  // namespace kv::fs
