#include "platform/beneath.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "platform/file_internal.h"

namespace kv::platform {
namespace {

// Links met while resolving one name, as the kernel's own limit.
constexpr int kMostLinks = 40;

bool outside_followed = true;

std::deque<std::string> split(const std::string& path) {
    std::deque<std::string> parts;
    std::string part;
    for (char c : path + '/') {
        if (c != '/') {
            part += c;
        } else if (!part.empty()) {
            parts.push_back(std::move(part));
            part.clear();
        }
    }
    return parts;
}

// The kernel resolves the whole path beneath the root, or fails (also where it has no openat2).
Fd open_by_kernel(const Root& root, const std::vector<std::string>& parts, bool follow_last) {
    std::string path;
    for (const auto& p : parts) path += (path.empty() ? "" : "/") + p;
    if (path.empty()) path = ".";
    struct open_how how = {};
    how.flags = O_PATH | O_CLOEXEC | (follow_last ? 0 : O_NOFOLLOW);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    return Fd(
        static_cast<int>(::syscall(SYS_openat2, root.fd.get(), path.c_str(), &how, sizeof how)));
}

// One component of a folder, not followed: the exact name, else the first that matches ignoring
// case.
Fd open_component(int folder, const std::string& name) {
    const int fd = ::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return Fd(fd);
    const auto on_disk = name_in_folder(folder, name);
    if (!on_disk) {
        errno = ENOENT;
        return Fd();
    }
    return Fd(::openat(folder, on_disk->c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
}

std::optional<std::string> link_target(int link_fd) {
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(link_fd, "", target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    return target;
}

// True when the parts, taken from `depth` folders below the root, never climb above it.
bool stays_beneath(const std::deque<std::string>& parts, std::size_t depth) {
    for (const auto& p : parts) {
        if (p == "..") {
            if (depth == 0) return false;
            --depth;
        } else if (p != ".") {
            ++depth;
        }
    }
    return true;
}

class Walk {
  public:
    Walk(const Root& root, bool owned_outside) : root_(root), owned_outside_(owned_outside) {
        stack_.emplace_back(::fcntl(root.fd.get(), F_DUPFD_CLOEXEC, 0));
    }

    // Walks the parts; the last is returned (O_PATH), followed when a link and follow_last.
    Fd run(std::deque<std::string> todo, bool follow_last) {
        if (!stack_.front().valid()) return Fd();
        while (!todo.empty()) {
            const std::string part = std::move(todo.front());
            todo.pop_front();
            if (part.empty() || part == ".") {
                if (todo.empty()) return top_copy();
                continue;
            }
            if (part == "..") {
                if (!climb()) return Fd();
                if (todo.empty()) return top_copy();
                continue;
            }
            Fd fd = open_component(stack_.back().get(), part);
            if (!fd.valid()) return Fd();
            struct stat st;
            if (::fstatat(fd.get(), "", &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) return Fd();
            const bool last = todo.empty();
            if (S_ISLNK(st.st_mode) && (!last || follow_last)) {
                if (!follow(fd.get(), st.st_uid, todo)) return Fd();
                continue;
            }
            if (last) return fd;
            if (!S_ISDIR(st.st_mode)) {
                errno = ENOTDIR;
                return Fd();
            }
            stack_.push_back(std::move(fd));
        }
        return top_copy();
    }

  private:
    Fd top_copy() const { return Fd(::fcntl(stack_.back().get(), F_DUPFD_CLOEXEC, 0)); }

    bool climb() {
        if (stack_.size() > 1) {
            stack_.pop_back();
            return true;
        }
        if (!outside_) {
            errno = EXDEV;
            return false;
        }
        Fd up(::openat(stack_.back().get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!up.valid()) return false;
        stack_.back() = std::move(up);
        return true;
    }

    // Puts a link's target in front of what is left to walk, from where it starts; false (EXDEV)
    // when the rule does not let it be followed.
    bool follow(int link_fd, uid_t owner, std::deque<std::string>& todo) {
        if (++links_ > kMostLinks) {
            errno = ELOOP;
            return false;
        }
        const auto target = link_target(link_fd);
        if (!target || target->empty()) {
            errno = ENOENT;
            return false;
        }
        const bool owned = owned_outside_ && owner == ::geteuid();
        std::deque<std::string> parts = split(*target);
        bool beneath = false;
        std::size_t depth = stack_.size() - 1;
        if (target->front() == '/') {
            const std::string& root = root_.path;
            const bool under_root =
                root == "/" || (target->compare(0, root.size(), root) == 0 &&
                                (target->size() == root.size() || (*target)[root.size()] == '/'));
            if (under_root && !outside_) {
                parts = split(target->substr(root == "/" ? 0 : root.size()));
                depth = 0;
                beneath = stays_beneath(parts, 0);
            }
        } else {
            beneath = !outside_ && stays_beneath(parts, depth);
        }
        if (!beneath && !owned) {
            errno = EXDEV;
            return false;
        }
        if (beneath && target->front() == '/') stack_.resize(1);
        if (!beneath) {
            outside_ = true;
            if (target->front() == '/') {
                stack_.clear();
                stack_.emplace_back(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                parts = split(*target);
            }
        }
        todo.insert(todo.begin(), parts.begin(), parts.end());
        return true;
    }

    const Root& root_;
    const bool owned_outside_;
    std::vector<Fd> stack_;
    bool outside_ = false;
    int links_ = 0;
};

Fd resolve(const Root& root, const std::vector<std::string>& parts, bool follow_last,
           bool strictly = false) {
    if (Fd fd = open_by_kernel(root, parts, follow_last); fd.valid()) return fd;
    Walk walk(root, outside_followed && !strictly);
    return walk.run(std::deque<std::string>(parts.begin(), parts.end()), follow_last);
}

}  // namespace

void Fd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

void set_outside_links(bool followed_when_owned) {
    outside_followed = followed_when_owned;
}

bool outside_links() {
    return outside_followed;
}

std::optional<Root> open_root(const std::string& folder) {
    Fd fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    char real[PATH_MAX];
    const std::string proc = descriptor_path(fd.get());
    const ssize_t n = ::readlink(proc.c_str(), real, sizeof real - 1);
    if (n <= 0) return std::nullopt;
    return Root{std::move(fd), std::string(real, static_cast<std::size_t>(n))};
}

Fd open_beneath(const Root& root, const std::vector<std::string>& parts) {
    return resolve(root, parts, true);
}

Fd open_strictly_beneath(const Root& root, const std::vector<std::string>& parts) {
    return resolve(root, parts, true, true);
}

std::optional<Entry> open_entry_beneath(const Root& root, const std::vector<std::string>& parts,
                                        bool strictly) {
    if (parts.empty()) {
        errno = EINVAL;
        return std::nullopt;
    }
    Fd folder =
        resolve(root, std::vector<std::string>(parts.begin(), parts.end() - 1), true, strictly);
    if (!folder.valid()) return std::nullopt;
    struct stat st;
    if (::fstat(folder.get(), &st) != 0) return std::nullopt;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return std::nullopt;
    }
    std::string name = parts.back();
    if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        name = name_in_folder(folder.get(), name).value_or(name);
    return Entry{std::move(folder), std::move(name)};
}

Fd reopen(int path_fd, int flags) {
    return Fd(::open(descriptor_path(path_fd).c_str(), (flags & ~O_NOFOLLOW) | O_CLOEXEC));
}

std::string descriptor_path(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

std::optional<std::string> name_in_folder(int folder_fd, const std::string& name) {
    const int listed = ::openat(folder_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0) return std::nullopt;
    DIR* dir = ::fdopendir(listed);
    if (dir == nullptr) {
        ::close(listed);
        return std::nullopt;
    }
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (names_equal_ignoring_case(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool rename_no_replace(int folder_fd, const std::string& from, const std::string& to) {
    return ::renameat2(folder_fd, from.c_str(), folder_fd, to.c_str(), RENAME_NOREPLACE) == 0;
}

bool write_new_file(int folder_fd, const std::string& name, const std::string& bytes) {
    std::string temporary;
    Fd fd;
    for (int attempt = 0; attempt < 10 && !fd.valid(); ++attempt) {
        // The temporary mark first, so that the start-up clean-up removes what a crash left.
        temporary = private_name(
                        "\x7F"
                        "KV" +
                        std::to_string(::getpid()) + "_") +
                    ".TMP";
        fd.reset(::openat(folder_fd, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!fd.valid() && errno != EEXIST) return detail::fail_errno(errno);
    }
    if (!fd.valid()) return detail::fail_errno(EEXIST);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        done += static_cast<std::size_t>(n);
    }
    int error = done < bytes.size() ? errno : 0;
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    if (error == 0 && !rename_no_replace(folder_fd, temporary, name)) error = errno;
    if (error != 0) {
        ::unlinkat(folder_fd, temporary.c_str(), 0);
        return detail::fail_errno(error);
    }
    const Fd folder = reopen(folder_fd, O_RDONLY | O_DIRECTORY);
    if (folder.valid()) ::fsync(folder.get());
    return true;
}

std::string private_name(const std::string& stem) {
    unsigned char bytes[8] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        const auto mix = static_cast<unsigned long long>(::getpid()) ^
                         static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&bytes));
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] ^= static_cast<unsigned char>(mix >> (8 * i));
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string name = stem;
    for (unsigned char b : bytes) {
        name += kHex[b >> 4];
        name += kHex[b & 15];
    }
    return name;
}

}  // namespace kv::platform
