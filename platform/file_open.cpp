// Open files with Windows sharing, and whole-file reads and writes.
//
// Sharing is kept in four lock bytes of every open file, far beyond any data: an open takes a
// shared (read) lock on the bytes of the access it has (read, write) and of what it denies to
// others (deny read, deny write), then looks for another open's lock on the bytes that conflict
// with it. Locks on the open file description are released by the kernel when the last
// descriptor of the open closes, also when the process dies.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/file_internal.h"

namespace kv::platform {

namespace {

constexpr off_t SHARE_BASE = 0x7FFFFFFF00000000;
constexpr off_t HAS_READ = SHARE_BASE + 0;
constexpr off_t HAS_WRITE = SHARE_BASE + 1;
constexpr off_t DENIES_READ = SHARE_BASE + 2;
constexpr off_t DENIES_WRITE = SHARE_BASE + 3;
constexpr off_t SHARE_BYTES = 4;

bool reads(Access a) {
    return a != Access::Write;
}
bool writes(Access a) {
    return a != Access::Read;
}
bool denies_read(Share s) {
    return s == Share::DenyRead || s == Share::DenyAll;
}
bool denies_write(Share s) {
    return s == Share::DenyWrite || s == Share::DenyAll;
}

struct flock range_lock(short type, off_t start, off_t length) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return lock;
}

// 1: locked, 0: another open holds a conflicting lock, -1: the file system has no such locks.
int take_share_byte(int fd, off_t byte) {
    struct flock lock = range_lock(F_RDLCK, byte, 1);
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return 1;
    return (errno == EAGAIN || errno == EACCES) ? 0 : -1;
}

// True when an open other than fd's holds any lock in the range.
bool held_by_other(int fd, off_t start, off_t length) {
    struct flock lock = range_lock(F_WRLCK, start, length);
    if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
    return lock.l_type != F_UNLCK;
}

// Takes this open's share bytes and checks the other opens; false on a sharing conflict.
bool claim_share(int fd, Access access, Share share) {
    std::vector<off_t> mine;
    if (reads(access)) mine.push_back(HAS_READ);
    if (writes(access)) mine.push_back(HAS_WRITE);
    if (denies_read(share)) mine.push_back(DENIES_READ);
    if (denies_write(share)) mine.push_back(DENIES_WRITE);
    for (off_t byte : mine) {
        int taken = take_share_byte(fd, byte);
        if (taken == 0) return false;
        if (taken < 0) return true;  // no locks here: nothing to enforce
    }
    return !((reads(access) && held_by_other(fd, DENIES_READ, 1)) ||
             (writes(access) && held_by_other(fd, DENIES_WRITE, 1)) ||
             (denies_read(share) && held_by_other(fd, HAS_READ, 1)) ||
             (denies_write(share) && held_by_other(fd, HAS_WRITE, 1)));
}

int open_flags(Access access, Disposition disposition) {
    // Descriptors are always readable where possible, so that they can hold the share locks.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (writes(access) ? O_RDWR : O_RDONLY);
    switch (disposition) {
        case Disposition::CreateNew:
            return flags | O_CREAT | O_EXCL;
        case Disposition::CreateAlways:
        case Disposition::OpenAlways:
            return flags | O_CREAT;
        case Disposition::OpenExisting:
        case Disposition::TruncateExisting:
            return flags;
    }
    return flags;
}

bool truncates(Disposition d) {
    return d == Disposition::CreateAlways || d == Disposition::TruncateExisting;
}

// Refusals that Windows makes before opening: folders, missing files, existing ones for
// CreateNew, and read-only files for writing (even for root).
bool may_open(const std::string& path, Access access, Disposition disposition) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return detail::fail_errno(errno);
        if (disposition == Disposition::OpenExisting ||
            disposition == Disposition::TruncateExisting) {
            std::string folder = path.substr(0, path.find_last_of('/'));
            return detail::fail(folder.empty() || ::access(folder.c_str(), F_OK) == 0
                                    ? win_error::FILE_NOT_FOUND
                                    : win_error::PATH_NOT_FOUND,
                                ENOENT);
        }
        return true;
    }
    if (!S_ISREG(st.st_mode)) return detail::fail(win_error::ACCESS_DENIED);
    if (disposition == Disposition::CreateNew) return detail::fail(win_error::FILE_EXISTS);
    if ((writes(access) || truncates(disposition)) && detail::mode_is_read_only(st.st_mode)) {
        return detail::fail(win_error::ACCESS_DENIED);
    }
    return true;
}

std::atomic<unsigned> temporary_counter{0};

}  // namespace

File::~File() {
    close();
}

File::File(File&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

// Takes an open descriptor for a File: only a regular file, in blocking mode, with its sharing
// locks claimed. On a refusal the descriptor is closed and the error recorded.
static bool take_regular_file(int fd, Access access, Share share) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return detail::fail(win_error::ACCESS_DENIED);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!claim_share(fd, access, share)) {
        ::close(fd);
        return detail::fail(win_error::SHARING_VIOLATION);
    }
    return true;
}

bool File::open(const std::string& name, Access access, Share share, Disposition disposition,
                NameCase name_case) {
    close();
    if (name.empty() || ends_with_separator(name)) return detail::fail(win_error::INVALID_NAME);
    std::string path = resolve_path(name, name_case);
    if (truncates(disposition) && access == Access::Read) access = Access::ReadWrite;
    if (!may_open(path, access, disposition)) return false;
    int flags = open_flags(access, disposition);
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0 && errno == EACCES && access == Access::Write) {
        // A file that may be written but not read: no share locks can be held on it.
        fd = ::open(path.c_str(), (flags & ~O_RDWR) | O_WRONLY, 0666);
    }
    if (fd < 0) return detail::fail_errno(errno);
    if (!take_regular_file(fd, access, share)) return false;
    if (truncates(disposition) && ::ftruncate(fd, 0) != 0) {
        int error = errno;
        ::close(fd);
        return detail::fail_errno(error);
    }
    fd_ = fd;
    return true;
}

bool File::adopt(int fd, Access access, Share share) {
    close();
    if (fd < 0) return detail::fail(win_error::INVALID_HANDLE);
    if (!take_regular_file(fd, access, share)) return false;
    fd_ = fd;
    return true;
}

bool File::close() {
    if (fd_ < 0) return true;
    const int result = ::close(fd_);
    fd_ = -1;
    // After EINTR the descriptor is gone all the same.
    if (result != 0 && errno != EINTR) return detail::fail_errno(errno);
    return true;
}

std::optional<std::string> File::read(std::size_t count) {
    std::string data(count, '\0');
    std::size_t got = 0;
    while (got < count) {
        ssize_t n = ::read(fd_, data.data() + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            detail::fail_errno(errno);
            return std::nullopt;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    data.resize(got);
    return data;
}

bool File::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return detail::fail_errno(errno);
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t File::seek(std::int64_t offset, int origin) {
    int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
    off_t at = ::lseek(fd_, offset, whence);
    if (at < 0) detail::fail_errno(errno);
    return at;
}

std::optional<std::uint64_t> File::size() const {
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        detail::fail_errno(errno);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

bool File::resize(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return detail::fail_errno(errno);
    return true;
}

bool File::flush() {
    if (::fsync(fd_) != 0) return detail::fail_errno(errno);
    return true;
}

bool File::lock(std::uint64_t offset, std::uint64_t length, bool exclusive) {
    struct flock lock = range_lock(exclusive ? F_WRLCK : F_RDLCK, static_cast<off_t>(offset),
                                   static_cast<off_t>(length));
    if (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
        return detail::fail(win_error::LOCK_VIOLATION, errno);
    }
    return true;
}

bool File::unlock(std::uint64_t offset, std::uint64_t length) {
    struct flock lock = range_lock(F_UNLCK, static_cast<off_t>(offset), static_cast<off_t>(length));
    if (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) return detail::fail_errno(errno);
    return true;
}

namespace detail {

bool is_open_by_anyone(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    bool held = held_by_other(fd, SHARE_BASE, SHARE_BYTES);
    ::close(fd);
    return held;
}

bool may_replace(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return true;
    File probe;
    return probe.open(path, Access::Write, Share::DenyNone, Disposition::OpenExisting,
                      NameCase::AsGiven);
}

AtomicWriter::~AtomicWriter() {
    discard();
}

bool AtomicWriter::begin(const std::string& target) {
    discard();
    target_ = target;
    std::string folder = target.substr(0, target.find_last_of('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // The temporary mark first, so that the start-up clean-up removes what a crash left.
        temporary_ = folder + "\x7F" + "KV" + std::to_string(::getpid()) + "_" +
                     std::to_string(temporary_counter++) + ".TMP";
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) return true;
        if (errno != EEXIST) break;
    }
    int error = errno;
    temporary_.clear();
    if (error == ENOENT || error == ENOTDIR) return fail(win_error::PATH_NOT_FOUND, error);
    return fail_errno(error);
}

bool AtomicWriter::write(const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail_errno(errno);
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicWriter::commit(std::optional<mode_t> mode) {
    if (mode && ::fchmod(fd_, *mode & 07777) != 0) return fail_errno(errno);
    if (::fsync(fd_) != 0) return fail_errno(errno);
    ::close(fd_);
    fd_ = -1;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) return fail_errno(errno);
    temporary_.clear();
    std::string folder = target_.substr(0, target_.find_last_of('/') + 1);
    int dir_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd >= 0) {
        ::fsync(dir_fd);
        ::close(dir_fd);
    }
    return true;
}

void AtomicWriter::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace detail

std::optional<std::string> read_whole_file(const std::string& name, NameCase name_case) {
    File file;
    if (!file.open(name, Access::Read, Share::DenyWrite, Disposition::OpenExisting, name_case)) {
        return std::nullopt;
    }
    // Read in pieces of the size the file has now (one more byte tells that it ended there), so
    // that the many small files read this way cost no large buffers.
    constexpr std::uint64_t kPiece = 1 << 16;
    const std::uint64_t size = file.size().value_or(kPiece);
    const auto piece = static_cast<std::size_t>(std::min(size + 1, kPiece));
    std::string data;
    while (true) {
        auto chunk = file.read(piece);
        if (!chunk) return std::nullopt;
        if (chunk->empty()) return data;
        data += *chunk;
        if (chunk->size() < piece) return data;  // the end came before the piece was full
    }
}

bool write_whole_file(const std::string& name, const std::string& bytes, NameCase name_case) {
    if (name.empty() || ends_with_separator(name)) return detail::fail(win_error::INVALID_NAME);
    std::string path = resolve_path(name, name_case);
    if (!detail::may_replace(path)) return false;
    struct stat st;
    bool replacing = ::stat(path.c_str(), &st) == 0;
    std::uint32_t kept_bits = replacing ? detail::stored_dos_bits(path) : 0;
    detail::AtomicWriter writer;
    if (!writer.begin(path) || !writer.write(bytes.data(), bytes.size())) return false;
    if (kept_bits != 0) detail::store_dos_bits(writer.temporary(), kept_bits);
    return writer.commit(replacing ? std::optional<mode_t>(st.st_mode) : std::nullopt);
}

}  // namespace kv::platform
