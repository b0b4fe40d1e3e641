// Names: separators, Windows-1252 case, full paths and the case-insensitive look-up on disk.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "platform/file_internal.h"

namespace kv::platform {

namespace {

bool upper_case_setting = false;
std::string exact_folder_path;

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

unsigned char upper_byte(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    switch (c) {
        case 0x9A:
            return 0x8A;  // s caron
        case 0x9C:
            return 0x8C;  // oe
        case 0x9E:
            return 0x8E;  // z caron
        case 0xFF:
            return 0x9F;  // y diaeresis
        default:
            return c;
    }
}

// The components of a name split at either separator, empty ones dropped.
std::vector<std::string> split_components(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : name) {
        if (is_separator(c)) {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

// Drops "." and lets ".." remove the component before it (never above the root). The first
// `kept` components are taken as they stand.
std::vector<std::string> normalise(const std::vector<std::string>& parts, std::size_t kept = 0) {
    std::vector<std::string> out(parts.begin(), parts.begin() + std::min(kept, parts.size()));
    for (std::size_t i = out.size(); i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part == ".") continue;
        if (part == "..") {
            if (!out.empty()) out.pop_back();
            continue;
        }
        // Windows drops the dots that end a name: "NET." is the file NET.
        const auto last = part.find_last_not_of('.');
        out.push_back(last == std::string::npos ? part : part.substr(0, last + 1));
    }
    return out;
}

bool entry_exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The first entry of a folder whose name equals the wanted one ignoring case, in the folder's
// order; nullopt when there is none or the folder cannot be read.
std::optional<std::string> find_ignoring_case(const std::string& folder, const std::string& want) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return std::nullopt;
    while (const dirent* entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (names_equal_ignoring_case(name, want)) return name;
    }
    return std::nullopt;
}

std::string join_under(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

void set_exact_folder(const std::string& absolute_path) {
    exact_folder_path = absolute_path;
}
const std::string& exact_folder() {
    return exact_folder_path;
}

void set_upper_case_file_names(bool upper) {
    upper_case_setting = upper;
}
bool upper_case_file_names() {
    return upper_case_setting;
}

std::string to_upper_name(std::string name) {
    for (char& c : name) c = static_cast<char>(upper_byte(static_cast<unsigned char>(c)));
    return name;
}

bool names_equal_ignoring_case(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper_byte(static_cast<unsigned char>(a[i])) !=
            upper_byte(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string folder_part(const std::string& name) {
    auto pos = name.find_last_of("/\\");
    return pos == std::string::npos ? std::string() : name.substr(0, pos + 1);
}

std::string file_part(const std::string& name) {
    auto pos = name.find_last_of("/\\");
    return pos == std::string::npos ? name : name.substr(pos + 1);
}

bool ends_with_separator(const std::string& name) {
    return !name.empty() && is_separator(name.back());
}

std::string current_folder() {
    std::string buffer(4096, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            detail::fail_errno(errno);
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.c_str();
}

std::optional<std::string> full_path_name(const std::string& name) {
    if (name.empty()) {
        detail::fail(win_error::INVALID_NAME);
        return std::nullopt;
    }
    std::string absolute = name;
    if (!is_separator(name.front())) {
        std::string current = current_folder();
        if (current.empty()) return std::nullopt;
        absolute = current + "/" + name;
    }
    // The components of the exact folder, when the name lies in it, are kept as they stand.
    const std::vector<std::string> parts = split_components(absolute);
    std::size_t kept = 0;
    if (!exact_folder_path.empty()) {
        const std::vector<std::string> exact = split_components(exact_folder_path);
        if (exact.size() <= parts.size() && std::equal(exact.begin(), exact.end(), parts.begin()))
            kept = exact.size();
    }
    std::string full;
    for (const auto& part : normalise(parts, kept)) full += "/" + part;
    if (full.empty()) return "/";
    if (ends_with_separator(name)) full += "/";
    return full;
}

std::string resolve_path(const std::string& name, NameCase name_case) {
    auto full = full_path_name(name);
    if (!full) return {};
    bool trailing = *full != "/" && ends_with_separator(*full);
    std::vector<std::string> parts = split_components(*full);
    std::string path = "/";
    for (const auto& part : parts) path = join_under(path, part);
    bool last_missing = false;
    if (!entry_exists(path)) {  // not every component exact: look them up one by one
        path = "/";
        bool missing = false;  // once a component is missing, nothing below it can exist
        for (const auto& part : parts) {
            std::string exact = join_under(path, part);
            if (!missing && !entry_exists(exact)) {
                if (auto found = find_ignoring_case(path, part)) {
                    path = join_under(path, *found);
                    continue;
                }
                missing = true;
            }
            path = std::move(exact);
        }
        last_missing = missing;
    }
    // A name that is not there yet is a file about to be created: the case setting applies.
    if (last_missing && name_case == NameCase::Setting && upper_case_setting && !trailing &&
        !parts.empty()) {
        path = path.substr(0, path.size() - parts.back().size()) + to_upper_name(parts.back());
    }
    if (trailing) path += "/";
    return path;
}

namespace detail {

std::optional<struct stat> stat_path(const std::string& path) {
    struct stat st;
    if (path.empty()) {
        fail(win_error::PATH_NOT_FOUND);
        return std::nullopt;
    }
    if (::stat(path.c_str(), &st) != 0) {
        fail_errno(errno);
        return std::nullopt;
    }
    return st;
}

}  // namespace detail

}  // namespace kv::platform
