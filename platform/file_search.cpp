// Directory searches with Windows patterns, and the existence tests built on them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/file_internal.h"

namespace kv::platform {

namespace {

std::string entry_path(const std::string& folder, const std::string& name) {
    if (name == ".") return folder;
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The entry for a name in a folder, when it exists, is a file or a folder, and passes the options.
std::optional<DirEntry> make_entry(const std::string& folder, const std::string& name,
                                   const FindOptions& options) {
    std::string path = entry_path(folder, name);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return std::nullopt;
    DirEntry entry;
    entry.name = name;
    entry.attributes = detail::attributes_of(path, name, st);
    if (entry.is_folder() && !options.folders) return std::nullopt;
    if ((entry.attributes & ATTR_HIDDEN) && !options.hidden) return std::nullopt;
    if ((entry.attributes & ATTR_SYSTEM) && !options.system) return std::nullopt;
    entry.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    entry.times = detail::times_of(path, st);
    return entry;
}

// A plain name finds the one entry that the look-up resolves to (an exact match wins).
std::vector<DirEntry> find_plain(const std::string& pattern, const FindOptions& options) {
    std::string path = resolve_path(pattern);
    std::string folder = path.substr(0, path.find_last_of('/'));
    if (folder.empty()) folder = "/";
    std::string name = file_part(path);
    std::vector<DirEntry> found;
    if (name.empty()) return found;
    if (auto entry = make_entry(folder, name, options)) found.push_back(*entry);
    return found;
}

std::vector<DirEntry> find_matching(const std::string& folder_name, const std::string& mask,
                                    const FindOptions& options) {
    std::string folder = resolve_path(folder_name.empty() ? "." : folder_name);
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::vector<DirEntry> found;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        detail::fail_errno(errno);
        return found;
    }
    auto consider = [&](const std::string& name) {
        if (!wildcard_match(mask, name)) return;
        if (auto entry = make_entry(folder, name, options)) found.push_back(std::move(*entry));
    };
    if (folder != "/") {
        consider(".");
        consider("..");
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") consider(name);
    }
    return found;
}

}  // namespace

std::vector<DirEntry> find_entries(const std::string& pattern, const FindOptions& options) {
    if (pattern.empty() || ends_with_separator(pattern)) {
        detail::fail(win_error::FILE_NOT_FOUND);
        return {};
    }
    std::string mask = file_part(pattern);
    auto found = has_wildcards(mask) ? find_matching(folder_part(pattern), mask, options)
                                     : find_plain(pattern, options);
    if (found.empty()) detail::fail(win_error::FILE_NOT_FOUND);
    return found;
}

bool file_exists(const std::string& name) {
    return !find_entries(name, {.folders = false, .hidden = true, .system = true}).empty();
}

bool folder_exists(const std::string& name) {
    if (name.empty()) return false;
    struct stat st;
    return ::stat(resolve_path(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_held_open(const std::string& path) {
    return detail::is_open_by_anyone(path);
}

bool is_link(const std::string& name) {
    if (name.empty()) return false;
    std::string path = resolve_path(name);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool folder_takes_new_files(const std::string& folder) {
    const std::string path = resolve_path(folder.empty() ? "." : folder);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return detail::fail_errno(errno);
    if (!S_ISDIR(st.st_mode)) return detail::fail(win_error::DIRECTORY, ENOTDIR);
    if (::access(path.c_str(), W_OK | X_OK) != 0) return detail::fail_errno(errno);
    return true;
}

bool path_exists(const std::string& name) {
    if (name.empty()) return false;
    struct stat st;
    return ::stat(resolve_path(name).c_str(), &st) == 0;
}

}  // namespace kv::platform
