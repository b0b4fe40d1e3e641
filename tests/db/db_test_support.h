#pragma once
// What the table engine's tests share: a folder of their own, an error handler that records the
// error records raised and answers quietly, and a ready-made table.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <thread>

#include <memory>
#include <string>
#include <vector>

#include "db/dbf_table.h"
#include "tests/support/temp_dir.h"
#include "tools/kvdb/kvdb.h"
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

// kvdb run in a child process that is stopped after the time limit: its exit status and
// output, or nullopt when it had to be stopped (a walk that does not end).
struct BoundedRun {
    int status = 0;
    std::string out, err;
};
inline std::optional<BoundedRun> kvdb_within(const std::vector<std::string>& arguments,
                                             std::chrono::milliseconds limit) {
    int pipes[2][2];
    if (::pipe(pipes[0]) != 0 || ::pipe(pipes[1]) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        std::ostringstream out, err;
        const int status = kvdb::run(arguments, out, err);
        const std::string texts[2] = {out.str(), err.str()};
        for (int i = 0; i < 2; ++i) {
            std::size_t done = 0;
            while (done < texts[i].size()) {
                const ssize_t n =
                    ::write(pipes[i][1], texts[i].data() + done, texts[i].size() - done);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
        }
        ::_exit(status);
    }
    ::close(pipes[0][1]);
    ::close(pipes[1][1]);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    bool ended = false;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(child, &status, WNOHANG) == child) {
            ended = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    BoundedRun run;
    std::string* texts[2] = {&run.out, &run.err};
    for (int i = 0; i < 2; ++i) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipes[i][0], buffer, sizeof buffer)) > 0;)
            texts[i]->append(buffer, static_cast<std::size_t>(n));
        ::close(pipes[i][0]);
    }
    if (!ended || !WIFEXITED(status)) return std::nullopt;
    run.status = WEXITSTATUS(status);
    return run;
}

inline constexpr const char* kPython = "/usr/bin/python3";

// The partner readers and writers of the format: Debian's python3-dbf and python3-dbfread.
// Runs a python script in a folder; its standard output, or nullopt when python failed.
inline std::optional<std::string> run_python(const TempDir& dir, const std::string& script) {
    dir.write("script.py", script);
    const std::string command =
        "cd '" + dir.str() + "' && " + kPython + " -W ignore script.py 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string output;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    if (::pclose(pipe) != 0) {
        ADD_FAILURE() << output;
        return std::nullopt;
    }
    return output;
}

inline bool partners_present() {
    const std::string command = std::string(kPython) + " -c 'import dbf, dbfread' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

inline std::unique_ptr<db::Table> open_table(const std::string& name, bool shared = false,
                                             bool read_only = false) {
    return db::Table::open(name, db::OpenOptions{shared, read_only, {}});
}

}  // namespace kv::test
