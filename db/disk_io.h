#pragma once
// Positioned reads and writes on an open file, and the byte-range locks of the table lock scheme.
#include <cstdint>
#include <string>

namespace kv::db {

// Locks on a table file: record n is the byte at kRecordLockBase + n; the file lock covers
// kFileLockLength bytes from kRecordLockBase; appends take the byte of record 0, inside the file
// lock's range, so a file lock and an append exclude each other.
inline constexpr std::uint64_t kRecordLockBase = 1'000'000'000;
inline constexpr std::uint64_t kFileLockLength = 1'000'000'000;
inline constexpr std::uint64_t kAppendLockOffset = kRecordLockBase;
// Index bags are locked inside a pool: a reader holds the pool shared, a writer exclusive.
inline constexpr std::uint64_t kIndexPoolOffset = 0xFFFEFFFF;
inline constexpr std::uint64_t kIndexPoolLength = 65536;
// Memo files: appends of new blocks are serialised by the byte at kRecordLockBase.
inline constexpr std::uint64_t kMemoLockOffset = kRecordLockBase;

// Reads up to count bytes at an offset (fewer at the end of the file); throws Corrupt naming the
// file on a read error.
std::string read_at(int fd, std::uint64_t offset, std::size_t count);
// Reads exactly count bytes into a buffer; false when the file is shorter.
bool read_exact(int fd, std::uint64_t offset, char* buffer, std::size_t count);
// Writes all bytes at an offset; 0 or the errno of the failure.
int write_at(int fd, std::uint64_t offset, const char* bytes, std::size_t count);
inline int write_at(int fd, std::uint64_t offset, const std::string& bytes) {
    return write_at(fd, offset, bytes.data(), bytes.size());
}
// Reserves disk space for a range so that a later write cannot fail for lack of room; 0 or errno.
int reserve(int fd, std::uint64_t offset, std::uint64_t length);
std::uint64_t file_size(int fd);

// fcntl locks on the open file description; exclusive locks need write access. try_lock fails at
// once when another open holds a conflicting lock.
bool try_lock(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive);
void wait_lock(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive);
void unlock(int fd, std::uint64_t offset, std::uint64_t length);
// True when another open holds a lock on some byte of the range.
bool locked_elsewhere(int fd, std::uint64_t offset, std::uint64_t length);

}  // namespace kv::db
