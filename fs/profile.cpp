#include "fs/profile.h"

#include <algorithm>

#include "platform/profile_file.h"

namespace kv::fs {
namespace {

std::string without_trailing_blanks(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// Copies the section list into a buffer of size bytes the way the Windows reader does.
std::size_t fill_section_list(char* buffer, std::size_t size,
                              const std::vector<std::string>& names) {
    if (size == 0) return 0;
    std::size_t at = 0;
    for (const auto& name : names) {
        // The name, its NUL and the list's closing NUL must fit.
        if (at + name.size() + 2 > size) {
            if (size < 2) break;
            const auto room = size - 2 > at ? size - 2 - at : 0;
            std::copy_n(name.begin(), room, buffer + at);
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::copy(name.begin(), name.end(), buffer + at);
        at += name.size();
        buffer[at++] = '\0';
    }
    buffer[at] = '\0';
    return at;
}

}  // namespace

std::string GETPVPROFSTRING(const std::string& section, const std::string& key,
                            const std::string& default_value, const std::string& file) {
    return platform::read_profile_string(section, key, file)
        .value_or(without_trailing_blanks(default_value));
}

std::string GETPVPROFSTRING(const std::string& section, std::nullopt_t, const std::string&,
                            const std::string& file) {
    std::string list;
    for (const auto& entry : platform::read_profile_section(section, file)) {
        list += entry.first;
        list += '\0';
    }
    return list;
}

bool WRITEPPROSTRING(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) {
    return platform::write_profile_string(section, key, value, file);
}

std::vector<std::string> GETPVPROFSECTION(const std::string& section, const std::string& file) {
    // The key list holds every name whole, each ended by a NUL.
    const auto list = GETPVPROFSTRING(section, std::nullopt, "", file);
    std::vector<std::string> keys;
    for (std::size_t pos = 0; pos < list.size();) {
        const auto nul = list.find('\0', pos);
        keys.push_back(without_trailing_blanks(list.substr(pos, nul - pos)));
        pos = nul + 1;
    }
    return keys;
}

std::vector<std::string> GETPVPROFSECTIONNAMES(const std::string& file) {
    return platform::read_profile_section_names(file);
}

std::size_t GETPRIVATEPROFILESECTIONNAMES(std::string& buffer, std::size_t size,
                                          const std::string& file) {
    return fill_section_list(buffer.data(), std::min(size, buffer.size()),
                             platform::read_profile_section_names(file));
}

}  // namespace kv::fs
