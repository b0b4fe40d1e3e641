// Deleting, moving and copying files; creating, removing and entering folders; volumes.
#include <fcntl.h>
#include <linux/magic.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_internal.h"

namespace kv::platform {

namespace {

std::string parent_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The failure for a path that does not exist: file not found, or path not found when its
// folder is missing too.
bool fail_missing(const std::string& path) {
    struct stat st;
    bool folder_there = ::stat(parent_of(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return detail::fail(folder_there ? win_error::FILE_NOT_FOUND : win_error::PATH_NOT_FOUND,
                        ENOENT);
}

std::optional<struct stat> lstat_path(const std::string& path) {
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        fail_missing(path);
        return std::nullopt;
    }
    return st;
}

bool is_folder_path(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool same_entry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Renames without replacing an existing target.
bool rename_no_replace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return detail::fail_errno(errno);
    // File systems without the flag: test, then rename.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) return detail::fail(win_error::ALREADY_EXISTS, EEXIST);
    if (::rename(from.c_str(), to.c_str()) != 0) return detail::fail_errno(errno);
    return true;
}

// The target of a move: normally the resolved name; when that is the source itself (a rename
// that only changes case), the name as asked for in the source's folder.
std::string move_target(const std::string& source, const std::string& to, NameCase name_case) {
    std::string target = resolve_path(to, name_case);
    if (target != source || ends_with_separator(to)) return target;
    std::string last = file_part(to);
    if (name_case == NameCase::Setting && upper_case_file_names()) last = to_upper_name(last);
    return parent_of(source) == "/" ? "/" + last : parent_of(source) + "/" + last;
}

bool copy_contents(File& source, detail::AtomicWriter& writer) {
    while (true) {
        auto chunk = source.read(1 << 16);
        if (!chunk) return false;
        if (chunk->empty()) return true;
        if (!writer.write(chunk->data(), chunk->size())) return false;
    }
}

bool copy_to_path(const std::string& from, const std::string& target, NameCase name_case) {
    File source;
    if (!source.open(from, Access::Read, Share::DenyWrite, Disposition::OpenExisting, name_case)) {
        return false;
    }
    std::string source_path = resolve_path(from, name_case);
    auto st = detail::stat_path(source_path);
    if (!st || !detail::may_replace(target)) return false;
    detail::AtomicWriter writer;
    if (!writer.begin(target) || !copy_contents(source, writer)) return false;
    if (std::uint32_t bits = detail::stored_dos_bits(source_path)) {
        detail::store_dos_bits(writer.temporary(), bits);
    }
    struct timespec times[2] = {{0, UTIME_OMIT}, st->st_mtim};
    ::futimens(writer.fd(), times);
    return writer.commit(st->st_mode);
}

}  // namespace

bool delete_file(const std::string& name, NameCase name_case) {
    std::string path = resolve_path(name, name_case);
    auto st = lstat_path(path);
    if (!st) return false;
    // A link to a folder is a folder too; a regular file needs no second look.
    if (!S_ISREG(st->st_mode) && is_folder_path(path))
        return detail::fail(win_error::ACCESS_DENIED);
    if (S_ISREG(st->st_mode) && detail::mode_is_read_only(st->st_mode)) {
        return detail::fail(win_error::ACCESS_DENIED);
    }
    if (detail::is_open_by_anyone(path)) return detail::fail(win_error::SHARING_VIOLATION);
    if (::unlink(path.c_str()) != 0) return detail::fail_errno(errno);
    return true;
}

bool move_file(const std::string& from, const std::string& to, NameCase name_case) {
    if (from.empty() || to.empty()) return detail::fail(win_error::INVALID_NAME);
    std::string source = resolve_path(from, name_case);
    auto st = lstat_path(source);
    if (!st) return false;
    bool folder = is_folder_path(source);
    std::string target = move_target(source, to, folder ? NameCase::AsGiven : name_case);
    if (!folder && detail::is_open_by_anyone(source)) {
        return detail::fail(win_error::SHARING_VIOLATION);
    }
    if (rename_no_replace(source, target)) return true;
    if (folder || last_file_error().posix != EXDEV) return false;
    // Another file system: copy, then remove the source.
    if (!copy_to_path(source, target, NameCase::AsGiven)) return false;
    if (::unlink(source.c_str()) != 0) return detail::fail_errno(errno);
    return true;
}

bool copy_file(const std::string& from, const std::string& to, bool fail_if_exists,
               NameCase name_case) {
    if (from.empty() || to.empty() || ends_with_separator(to)) {
        return detail::fail(win_error::INVALID_NAME);
    }
    std::string target = resolve_path(to, name_case);
    struct stat st;
    if (fail_if_exists && ::lstat(target.c_str(), &st) == 0) {
        return detail::fail(win_error::FILE_EXISTS, EEXIST);
    }
    return copy_to_path(from, target, name_case);
}

bool create_folder(const std::string& name) {
    if (name.empty()) return detail::fail(win_error::PATH_NOT_FOUND);
    std::string path = resolve_path(name);
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    if (errno == ENOENT) return detail::fail(win_error::PATH_NOT_FOUND, ENOENT);
    return detail::fail_errno(errno);
}

bool remove_folder(const std::string& name) {
    if (name.empty()) return detail::fail(win_error::PATH_NOT_FOUND);
    std::string path = resolve_path(name);
    auto st = lstat_path(path);
    if (!st) return false;
    if (S_ISLNK(st->st_mode) && is_folder_path(path)) {
        if (::unlink(path.c_str()) != 0) return detail::fail_errno(errno);
        return true;
    }
    if (!S_ISDIR(st->st_mode)) return detail::fail(win_error::DIRECTORY, ENOTDIR);
    if (detail::stored_dos_bits(path) & ATTR_READONLY)
        return detail::fail(win_error::ACCESS_DENIED);
    struct stat current;
    if (::stat(".", &current) == 0 && same_entry(current, *st)) {
        // Windows keeps the current folder in use; removing it would leave the process nowhere.
        return detail::fail(win_error::SHARING_VIOLATION, EBUSY);
    }
    if (::rmdir(path.c_str()) != 0) return detail::fail_errno(errno);
    return true;
}

bool set_current_folder(const std::string& name) {
    if (name.empty()) return detail::fail(win_error::INVALID_NAME);
    std::string path = resolve_path(name);
    if (::chdir(path.c_str()) != 0) {
        if (errno == ENOTDIR) return detail::fail(win_error::DIRECTORY, ENOTDIR);
        return detail::fail_errno(errno);
    }
    return true;
}

std::optional<std::uint64_t> disk_free_space(const std::string& name) {
    std::string path = name.empty() ? std::string(".") : resolve_path(name);
    struct statvfs vfs;
    if (::statvfs(path.c_str(), &vfs) != 0) {
        detail::fail_errno(errno);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(vfs.f_bavail) * static_cast<std::uint64_t>(vfs.f_frsize);
}

int drive_type(const std::string& root) {
    std::string path = root.empty() ? std::string(".") : resolve_path(root);
    struct statfs fs;
    if (::statfs(path.c_str(), &fs) != 0 || !is_folder_path(path)) return DRIVE_NO_ROOT_DIR;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case NFS_SUPER_MAGIC:
        case SMB_SUPER_MAGIC:
        case 0xFF534D42UL:  // CIFS
        case 0xFE534D42UL:  // SMB2
        case CODA_SUPER_MAGIC:
        case AFS_SUPER_MAGIC:
            return DRIVE_REMOTE;
        case TMPFS_MAGIC:
        case RAMFS_MAGIC:
            return DRIVE_RAMDISK;
        case ISOFS_SUPER_MAGIC:
        case UDF_SUPER_MAGIC:
            return DRIVE_CDROM;
        default:
            return DRIVE_FIXED;
    }
}

std::string temp_folder() {
    for (const char* variable : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return "/tmp";
}

}  // namespace kv::platform
