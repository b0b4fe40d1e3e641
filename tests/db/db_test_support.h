#pragma once
// What the table engine's tests share: a folder of their own, an error handler that records the
// error records raised and answers quietly, and a ready-made table.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "db/dbf_table.h"
#include "tests/support/temp_dir.h"
#include "util/error_record.h"
#include "util/settings.h"

namespace kv::test {

// Records every error record and answers with the default action (a quiet failure).
class RecordedErrors {
  public:
    RecordedErrors()
        : guard_([this](const util::ErrorRecord& record) -> util::ErrorAnswer {
              records.push_back(record);
              return std::nullopt;
          }) {}
    std::vector<util::ErrorRecord> records;

  private:
    util::ScopedErrorHandler guard_;
};

// Puts the run-time settings back at the end of the scope.
class SettingsGuard {
  public:
    SettingsGuard() : saved_(util::settings()) {}
    ~SettingsGuard() { util::settings() = saved_; }

  private:
    util::RuntimeSettings saved_;
};

// Fields of every writable type.
inline std::vector<db::FieldSpec> table_fields() {
    return {{"NAME", 'C', 20, 0}, {"QTY", 'N', 8, 2},    {"BORN", 'D', 8, 0},
            {"OK", 'L', 1, 0},    {"NOTES", 'M', 10, 0}, {"RATE", 'F', 10, 3}};
}

inline std::unique_ptr<db::Table> open_table(const std::string& name, bool shared = false,
                                             bool read_only = false) {
    return db::Table::open(name, db::OpenOptions{shared, read_only, {}});
}

}  // namespace kv::test
