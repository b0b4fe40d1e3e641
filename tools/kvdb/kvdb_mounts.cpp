#include "tools/kvdb/kvdb_mounts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace kv::kvdb {
namespace {

// A mount table field with its octal escapes (\040 for a blank) decoded.
std::string unescaped(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

bool under(const std::string& path, const std::string& mount_point) {
    if (mount_point == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, mount_point.size(), mount_point) == 0 &&
           (path.size() == mount_point.size() || path[mount_point.size()] == '/');
}

}  // namespace

std::optional<std::string> local_lock_warning(const std::string& path,
                                              const std::string& mount_table) {
    std::istringstream lines(mount_table);
    std::string point, type;
    std::vector<std::string> options;
    bool found = false;
    // Line: id parent major:minor root mount-point mount-options [optional...] - type source
    // super-options. The deepest mount holding the path wins, and the last of equals (mounted
    // over the others).
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream words(line);
        for (std::string word; words >> word;) fields.push_back(word);
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 6 || dash == fields.end() || fields.end() - dash < 4) continue;
        const std::string here = unescaped(fields[4]);
        if (!under(path, here) || (found && here.size() < point.size())) continue;
        found = true;
        point = here;
        type = *(dash + 1);
        options = split(fields[5], ',');
        for (const std::string& option : split(*(dash + 3), ',')) options.push_back(option);
    }
    if (!found) return std::nullopt;
    const auto has = [&](const char* option) {
        return std::find(options.begin(), options.end(), option) != options.end();
    };
    std::string why;
    if ((type == "cifs" || type == "smb3") && has("nobrl")) why = "nobrl";
    if (type.rfind("nfs", 0) == 0) {
        for (const char* option : {"nolock", "local_lock=all", "local_lock=posix"})
            if (has(option)) why = option;
    }
    if (why.empty()) return std::nullopt;
    return "the table lies on a " + type + " mount with " + why + " (" + point +
           "): its locks stay on this machine, so copies of the program on other PCs do not see "
           "them";
}

std::optional<std::string> local_lock_warning(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    const std::string absolute = real ? real : path;
    std::free(real);
    std::ifstream in("/proc/self/mountinfo");
    std::ostringstream table;
    table << in.rdbuf();
    return local_lock_warning(absolute, table.str());
}

}  // namespace kv::kvdb
