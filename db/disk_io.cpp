#include "db/disk_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "db/db_errors.h"

namespace kv::db {
namespace {

struct flock range(short type, std::uint64_t offset, std::uint64_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    return lock;
}

}  // namespace

std::string read_at(int fd, std::uint64_t offset, std::size_t count) {
    std::string bytes(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(fd, bytes.data() + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Corrupt("the file cannot be read");
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

bool read_exact(int fd, std::uint64_t offset, char* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int write_at(int fd, std::uint64_t offset, const char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int reserve(int fd, std::uint64_t offset, std::uint64_t length) {
    const int result =
        ::posix_fallocate(fd, static_cast<off_t>(offset), static_cast<off_t>(length));
    // File systems without the call: the write itself will tell.
    return result == EOPNOTSUPP || result == EINVAL ? 0 : result;
}

std::uint64_t file_size(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

bool try_lock(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive) {
    struct flock lock = range(exclusive ? F_WRLCK : F_RDLCK, offset, length);
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

void wait_lock(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive) {
    struct flock lock = range(exclusive ? F_WRLCK : F_RDLCK, offset, length);
    while (::fcntl(fd, F_OFD_SETLKW, &lock) != 0 && errno == EINTR) {
    }
}

void unlock(int fd, std::uint64_t offset, std::uint64_t length) {
    struct flock lock = range(F_UNLCK, offset, length);
    ::fcntl(fd, F_OFD_SETLK, &lock);
}

bool locked_elsewhere(int fd, std::uint64_t offset, std::uint64_t length) {
    struct flock lock = range(F_WRLCK, offset, length);
    if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
    return lock.l_type != F_UNLCK;
}

}  // namespace kv::db
