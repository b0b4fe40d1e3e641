#pragma once
// Pieces shared by the parts of the file module; not for use outside platform/.
#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/files.h"

namespace kv::platform::detail {

// Records a failure for last_file_error() and returns false.
bool fail(int win32, int posix = 0);
// Records the failure behind an errno value (mapped to its Windows code) and returns false.
bool fail_errno(int posix);
// The Windows code for an errno value.
int win32_from_errno(int posix);

// stat() of an on-disk path (following links); nullopt with the failure recorded.
std::optional<struct stat> stat_path(const std::string& path);
// True when the owner may not write: the read-only attribute.
inline bool mode_is_read_only(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

// Attributes of an on-disk path (whose last component is name) from its stat data and its
// extended attribute.
std::uint32_t attributes_of(const std::string& path, const std::string& name,
                            const struct stat& st);
// The hidden and system bits kept in the extended attribute; 0 when there is none.
std::uint32_t stored_dos_bits(const std::string& path);
// Keeps the hidden and system bits of attributes in the extended attribute (removing it when both
// are clear); false when the file system refuses.
bool store_dos_bits(const std::string& path, std::uint32_t attributes);
// The times of stat data (birth time read separately where the file system keeps it).
FileTimes times_of(const std::string& path, const struct stat& st);

// True when an open through this module holds the file at this on-disk path.
bool is_open_by_anyone(const std::string& path);

// Checks that an existing on-disk path may be replaced by a new file: not a folder, not
// read-only, and no open denies writing. A missing path passes.
bool may_replace(const std::string& path);

// Writes a new file under a temporary name in the target's folder and renames it over the
// target when committed, so the target is never seen half-written. Dropped uncommitted, the
// temporary file is removed.
class AtomicWriter {
  public:
    ~AtomicWriter();
    // Creates the temporary file beside the on-disk target path.
    bool begin(const std::string& target);
    bool write(const char* data, std::size_t size);
    int fd() const { return fd_; }
    const std::string& temporary() const { return temporary_; }
    // Flushes to disk and renames over the target; the mode, when given, is applied first
    // (otherwise the new file keeps the default mode of a created file).
    bool commit(std::optional<mode_t> mode);

  private:
    void discard();

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
};

}  // namespace kv::platform::detail
