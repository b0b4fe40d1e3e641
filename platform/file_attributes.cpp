// Windows attributes and file times of files and folders.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/file_internal.h"

namespace kv::platform {

namespace {

constexpr const char* DOS_ATTRIBUTE = "user.DOSATTRIB";
// The bits kept in the extended attribute: hidden and system, and read-only for folders.
constexpr std::uint32_t DOS_BITS = ATTR_HIDDEN | ATTR_SYSTEM | ATTR_READONLY;
constexpr std::int64_t FILETIME_UNIX_EPOCH = 11644473600;  // seconds from 1601 to 1970
constexpr std::int64_t TICKS_PER_SECOND = 10000000;

bool is_dot_name(const std::string& name) {
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

FileTime filetime_of(const struct timespec& ts) {
    return filetime_from_unix(ts.tv_sec, ts.tv_nsec);
}

// Birth time where the file system keeps it.
std::optional<FileTime> birth_time(const std::string& path) {
    struct statx stx;
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &stx) != 0) return std::nullopt;
    if ((stx.stx_mask & STATX_BTIME) == 0) return std::nullopt;
    return filetime_from_unix(stx.stx_btime.tv_sec, stx.stx_btime.tv_nsec);
}

// Changes the permission bits; read-only clears every write bit, writable adds the owner's.
bool apply_read_only(const std::string& path, mode_t mode, bool read_only) {
    mode_t wanted = read_only ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if ((wanted & 07777) == (mode & 07777)) return true;
    if (::chmod(path.c_str(), wanted & 07777) != 0) return detail::fail_errno(errno);
    return true;
}

}  // namespace

FileTime filetime_from_unix(std::int64_t seconds, std::int64_t nanoseconds) {
    if (seconds < -FILETIME_UNIX_EPOCH) return 0;
    return static_cast<FileTime>((seconds + FILETIME_UNIX_EPOCH) * TICKS_PER_SECOND +
                                 nanoseconds / 100);
}

std::pair<std::int64_t, std::int64_t> unix_from_filetime(FileTime time) {
    auto ticks = static_cast<std::int64_t>(time / TICKS_PER_SECOND);
    auto rest = static_cast<std::int64_t>(time % TICKS_PER_SECOND);
    return {ticks - FILETIME_UNIX_EPOCH, rest * 100};
}

namespace detail {

std::uint32_t stored_dos_bits(const std::string& path) {
    char value[64] = {};
    ssize_t got = ::getxattr(path.c_str(), DOS_ATTRIBUTE, value, sizeof value - 1);
    if (got < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
    return static_cast<std::uint32_t>(std::strtoul(value + 2, nullptr, 16)) & DOS_BITS;
}

bool store_dos_bits(const std::string& path, std::uint32_t attributes) {
    std::uint32_t bits = attributes & DOS_BITS;
    if (bits == 0) {
        if (::removexattr(path.c_str(), DOS_ATTRIBUTE) == 0 || errno == ENODATA ||
            errno == ENOTSUP) {
            return true;
        }
        return fail_errno(errno);
    }
    char value[16];
    int length = std::snprintf(value, sizeof value, "0x%x", static_cast<unsigned>(bits));
    if (::setxattr(path.c_str(), DOS_ATTRIBUTE, value, static_cast<std::size_t>(length), 0) != 0) {
        return fail_errno(errno);
    }
    return true;
}

std::uint32_t attributes_of(const std::string& path, const std::string& name,
                            const struct stat& st) {
    const std::uint32_t stored = stored_dos_bits(path);
    std::uint32_t attributes = stored & (ATTR_HIDDEN | ATTR_SYSTEM);
    if (S_ISDIR(st.st_mode)) {
        // A folder's read-only bit is only a mark, as on Windows: it never stops writing inside.
        attributes |= ATTR_DIRECTORY | (stored & ATTR_READONLY);
    } else {
        attributes |= ATTR_ARCHIVE;
        if (mode_is_read_only(st.st_mode)) attributes |= ATTR_READONLY;
    }
    if (is_dot_name(name)) attributes |= ATTR_HIDDEN;
    struct stat link;
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        attributes |= ATTR_REPARSE_POINT;
    return attributes;
}

FileTimes times_of(const std::string& path, const struct stat& st) {
    FileTimes times;
    times.last_access = filetime_of(st.st_atim);
    times.last_write = filetime_of(st.st_mtim);
    times.creation = birth_time(path).value_or(times.last_write);
    return times;
}

}  // namespace detail

std::uint32_t file_attributes(const std::string& name) {
    std::string path = resolve_path(name);
    auto st = detail::stat_path(path);
    if (!st) return INVALID_ATTRIBUTES;
    return detail::attributes_of(path, file_part(path), *st);
}

bool set_file_attributes(const std::string& name, std::uint32_t attributes) {
    std::string path = resolve_path(name);
    auto st = detail::stat_path(path);
    if (!st) return false;
    if (S_ISDIR(st->st_mode)) {
        // All three bits of a folder live in the extended attribute; its permissions stay.
        if (detail::stored_dos_bits(path) == (attributes & DOS_BITS)) return true;
        return detail::store_dos_bits(path, attributes);
    }
    bool read_only = (attributes & ATTR_READONLY) != 0;
    // Changing an extended attribute needs write permission: make the file writable first and
    // read-only again (when wanted) afterwards.
    const std::uint32_t file_bits = attributes & (ATTR_HIDDEN | ATTR_SYSTEM);
    if (detail::stored_dos_bits(path) != file_bits) {
        if (!apply_read_only(path, st->st_mode, false)) return false;
        if (!detail::store_dos_bits(path, file_bits)) {
            ::chmod(path.c_str(), st->st_mode & 07777);
            return false;
        }
        return apply_read_only(path, st->st_mode | S_IWUSR, read_only);
    }
    return apply_read_only(path, st->st_mode, read_only);
}

std::optional<FileTimes> file_times(const std::string& name) {
    std::string path = resolve_path(name);
    auto st = detail::stat_path(path);
    if (!st) return std::nullopt;
    return detail::times_of(path, *st);
}

bool set_last_write_time(const std::string& name, FileTime time) {
    std::string path = resolve_path(name);
    auto st = detail::stat_path(path);
    if (!st) return false;
    if (!S_ISDIR(st->st_mode) && detail::mode_is_read_only(st->st_mode)) {
        return detail::fail(win_error::ACCESS_DENIED);
    }
    auto [seconds, nanoseconds] = unix_from_filetime(time);
    struct timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return detail::fail_errno(errno);
    return true;
}

}  // namespace kv::platform
