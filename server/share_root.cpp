#include "server/share_root.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "server/command_files.h"

namespace kv::server {
namespace {

std::string& root_slot() {
    static std::string root;
    return root;
}

using FileIdentity = std::pair<dev_t, ino_t>;

std::vector<FileIdentity>& own_files() {
    static std::vector<FileIdentity> files;
    return files;
}

// The path without links, as realpath gives it; "" when it cannot be read.
std::string real_path(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

std::vector<std::string> components(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : name) {
        if (c == '/' || c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

// Components after the root's own: "." dropped, ".." stops at the root.
void append_within(std::vector<std::string>& path, const std::vector<std::string>& parts) {
    for (const auto& part : parts) {
        if (part == ".") continue;
        if (part == "..") {
            if (!path.empty()) path.pop_back();
            continue;
        }
        path.push_back(part);
    }
}

bool inside(const std::string& path, const std::string& root) {
    if (root == "/") return !path.empty() && path.front() == '/';
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
}

// Every link of the path followed: the longest part that exists without links, and the rest
// as written (a file about to be created).
std::string without_links(const std::string& path) {
    std::string existing = path;
    std::string rest;
    while (true) {
        const std::string real = real_path(existing);
        if (!real.empty()) return rest.empty() ? real : (real == "/" ? "" : real) + rest;
        const auto slash = existing.find_last_of('/');
        if (slash == std::string::npos || existing == "/") return path;
        rest = existing.substr(slash) + rest;
        existing = slash == 0 ? "/" : existing.substr(0, slash);
    }
}

std::string current_root() {
    const std::string root = root_slot();
    return root.empty() ? real_path(platform::current_folder()) : root;
}

}  // namespace

bool set_share_root(const std::string& folder, std::string* why) {
    if (folder.empty()) {
        root_slot().clear();
        return true;
    }
    const std::string root = real_path(platform::resolve_path(folder));
    struct stat st;
    if (root.empty() || ::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (why) *why = "the root " + folder + " is not a folder";
        return false;
    }
    if (!inside(real_path(platform::current_folder()), root)) {
        if (why) *why = "the served folder is not inside the root " + folder;
        return false;
    }
    root_slot() = root;
    return true;
}

std::string share_root() {
    return root_slot();
}

namespace {

// The components below the root of a name that a request gives; false, with why, when it
// cannot be resolved or a path of this machine lies outside the root.
bool parts_below_root(const std::string& name, const std::string& root,
                      std::vector<std::string>& parts, std::string* why) {
    if (root.empty() || name.empty()) {
        if (why) *why = "the name " + name + " cannot be resolved";
        return false;
    }
    if (name.front() == '/') {
        // A path of this machine, taken as it is.
        const std::string path = platform::resolve_path(name);
        if (!inside(path, root)) {
            if (why) *why = name + " lies outside the share's root " + root;
            return false;
        }
        append_within(parts, components(path.substr(root == "/" ? 0 : root.size())));
        return true;
    }
    std::string rest = name;
    const bool drive =
        name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
    if (drive) {
        rest = name.substr(2);  // the mapped drive is the root, "S:DATA" as "S:\DATA"
    } else if (name.front() != '\\') {
        // From the served folder, which lies in the root.
        const std::string served = real_path(platform::current_folder());
        if (!inside(served, root)) {
            if (why) *why = "the served folder is not inside the share's root";
            return false;
        }
        append_within(parts, components(served.substr(root == "/" ? 0 : root.size())));
    }
    append_within(parts, components(rest));
    return true;
}

}  // namespace

std::optional<std::string> confined_path(const std::string& name, std::string* why) {
    const std::string root = current_root();
    std::vector<std::string> parts;
    if (!parts_below_root(name, root, parts, why)) return std::nullopt;
    std::string path = root;
    for (const auto& part : parts) path += (path == "/" ? "" : "/") + part;
    path = platform::resolve_path(path);
    const std::string real = without_links(path);
    if (path.empty() || !inside(real, root)) {
        if (why) *why = name + " lies outside the share's root " + root;
        return std::nullopt;
    }
    return real;
}

std::optional<ConfinedFile> open_confined(const std::string& name, std::string* why) {
    const std::string root_path = current_root();
    std::vector<std::string> parts;
    if (!parts_below_root(name, root_path, parts, why)) return std::nullopt;
    auto root = platform::open_root(root_path);
    // Links that lead outside the share's root are never followed, whoever made them.
    const platform::Fd file =
        root && !parts.empty() ? platform::open_strictly_beneath(*root, parts) : platform::Fd();
    struct stat st;
    auto refused = [&] {
        if (why)
            *why = errno == EXDEV ? name + " lies outside the share's root " + root_path
                                  : name + ": " + std::strerror(errno);
        return std::nullopt;
    };
    if (!file.valid() || ::fstat(file.get(), &st) != 0) return refused();
    // The folder that really holds it, where the engine also finds the memo file beside it.
    const std::string real = real_path(platform::descriptor_path(file.get()));
    std::vector<std::string> real_parts;
    if (!inside(real, root->path)) {
        errno = EXDEV;
        return refused();
    }
    append_within(real_parts, components(real.substr(root->path == "/" ? 0 : root->path.size())));
    auto entry = platform::open_entry_beneath(*root, real_parts, true);
    struct stat named;
    if (!entry ||
        ::fstatat(entry->folder.get(), entry->name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        named.st_dev != st.st_dev || named.st_ino != st.st_ino) {
        errno = entry ? EAGAIN : errno;
        if (why) *why = name + " changed while it was opened";
        return std::nullopt;
    }
    ConfinedFile found;
    found.path = platform::descriptor_path(entry->folder.get()) + "/" + entry->name;
    found.folder = std::move(entry->folder);
    found.device = st.st_dev;
    found.inode = st.st_ino;
    return found;
}

bool ConfinedFile::same_file(int fd) const {
    struct stat st;
    if (!folder.valid()) return false;  // nothing was found: whatever the engine opened came later
    return ::fstat(fd, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

bool ConfinedFile::still_there() const {
    struct stat st;
    if (!folder.valid()) return false;
    return ::stat(path.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

ScopedOwnFile::ScopedOwnFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return;
    own_files().emplace_back(st.st_dev, st.st_ino);
    held_ = true;
}

ScopedOwnFile::~ScopedOwnFile() {
    if (held_) own_files().pop_back();
}

std::string reserved_file(const std::string& path) {
    const std::string name = platform::file_part(path);
    if (platform::names_equal_ignoring_case(name, kServerFile))
        return name + " is the lock table of a server, which holds it while it runs";
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
    for (const auto& [device, inode] : own_files())
        if (st.st_dev == device && st.st_ino == inode)
            return name + " is held by this server (it is its " + kServerFile + ")";
    return {};
}

}  // namespace kv::server
