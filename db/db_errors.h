#pragma once
// The error records that the table engine raises, and the exception that carries a fault found
// deep inside a reader up to the operation that raises its record.
#include <stdexcept>
#include <string>

#include "util/error_record.h"

namespace kv::db {

// Generic codes the engine raises.
inline constexpr int kGenOpen = 21;        // a table, memo or index bag cannot be opened
inline constexpr int kGenCreate = 20;      // a file cannot be created
inline constexpr int kGenRead = 23;        // a read failed
inline constexpr int kGenWrite = 24;       // a write failed
inline constexpr int kGenCorruption = 32;  // a file is damaged
inline constexpr int kGenNotLocked = 38;   // a change to a record that is not locked
inline constexpr int kGenAppendLock = 40;  // the append lock cannot be had
inline constexpr int kGenArgument = 1;     // a wrong argument (bad field, value or name)
inline constexpr int kGenReadOnly = 39;    // a change to a table opened read-only
inline constexpr int kGenDataWidth = 22;   // a value does not fit its field
// Subcodes.
inline constexpr long kSubCorrupt = 1012;
inline constexpr long kSubDiskFull = 2016;

// A fault found while reading a file: its text says what is wrong.
class Corrupt : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A write that failed (errno), carried to the operation that raises its record.
class WriteFailed : public std::runtime_error {
  public:
    // A write that failed with an errno.
    explicit WriteFailed(int error) : std::runtime_error("write failed"), error_(error) {}
    // The errno of the failed write.
    int error() const { return error_; }

  private:
    int error_;
};

// Hands a record to the run-time error handler; true when the handler answered (so the caller
// fails quietly), the handler's exception otherwise.
bool raise(int gencode, const std::string& description, const std::string& filename,
           const std::string& operation, int oscode = 0, bool candefault = false,
           std::optional<long> subcode = std::nullopt);
// The corruption record (32 / 1012) for a fault found in a file.
bool raise_corrupt(const std::string& filename, const std::string& operation,
                   const std::string& why);

}  // namespace kv::db
