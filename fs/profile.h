#pragma once
// Profile (INI) file functions over the project's own profile-file module.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kv::fs {

// The value of key in section of file, blanks around it removed; the empty string when nothing
// was read (the default, less its trailing blanks, is returned by the reader when the key is
// missing).
std::string GETPVPROFSTRING(const std::string& section, const std::string& key,
                            const std::string& default_value, const std::string& file);
// Without a key: the key list of the section, each key name followed by a NUL byte, in file
// order; the empty string when the file or the section is missing or has no keys.
std::string GETPVPROFSTRING(const std::string& section, std::nullopt_t,
                            const std::string& default_value, const std::string& file);
// Writes key = value into section of file, creating file and section when missing.
bool WRITEPPROSTRING(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file);

// The key names of a section, in file order, trailing blanks removed; empty when the file or the
// section is missing or the section has no keys.
std::vector<std::string> GETPVPROFSECTION(const std::string& section, const std::string& file);
// The section names of a file, in file order; empty when the file is missing.
std::vector<std::string> GETPVPROFSECTIONNAMES(const std::string& file);
// Writes the section list into the first size bytes of buffer (never past its end): each name
// followed by a NUL and one more NUL after the last. When the names do not fit, the last one that
// starts is cut and the list closed with two NULs, and the result is size - 2. Otherwise the
// result is the count of bytes written, the final NUL not counted.
std::size_t GETPRIVATEPROFILESECTIONNAMES(std::string& buffer, std::size_t size,
                                          const std::string& file);

}  // namespace kv::fs
