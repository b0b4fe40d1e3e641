#pragma once
// kv32 --headless on the slave of a real pseudo-terminal pair, run in a temporary folder, with
// the test as the device on the master through kvdev's library.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/kvdev/child_process.h"
#include "tools/kvdev/link.h"

namespace kv::test {

using namespace std::chrono_literals;

// Generous: the program runs under the sanitizers. Only failures wait this long.
constexpr std::chrono::milliseconds kStartTimeout = 20s;
constexpr std::chrono::milliseconds kReplyTimeout = 10s;
inline const std::string kWaitingLine = "Waiting command (ESC to exit)...";

class Kv32OnPty {
  public:
    // `settings`, when given, is written to KV32.INI in the served folder before the start;
    // `input` is the program's standard input (default /dev/null); `prepare` fills the folder
    // before the start.
    explicit Kv32OnPty(std::vector<std::string> extra_args = {}, const std::string& settings = {},
                       int input = -1, const std::function<void(const TempDir&)>& prepare = {})
        : pty_() {
        if (!settings.empty()) dir_.write("KV32.INI", settings);
        if (prepare) prepare(dir_);
        std::vector<std::string> args{"--headless", "--port", pty_.slave_path()};
        args.insert(args.end(), extra_args.begin(), extra_args.end());
        process_ = std::make_unique<dev::ChildProcess>(KV32_BINARY, args, dir_.str(),
                                                       std::vector<std::string>{}, input);
        device_ = std::make_unique<dev::DeviceLink>(pty_.take_master());
    }

    // Waits for the start byte and the first waiting line.
    bool started() {
        return device_->read_start_byte(kStartTimeout) &&
               process_->wait_for_line(kWaitingLine, kStartTimeout);
    }
    // Waits until the log holds the waiting line `n` times: the previous command is done.
    bool idle_after(int commands) {
        return process_->wait_for_line(kWaitingLine, kReplyTimeout, commands + 1);
    }
    std::optional<int> stop() {
        process_->signal(SIGTERM);
        return process_->wait_exit(kStartTimeout);
    }

    // The log's lines after the first, which says what is served.
    std::vector<std::string> log_lines() {
        auto lines = process_->out_lines();
        if (!lines.empty() && lines.front().rfind("KV32 ", 0) == 0) lines.erase(lines.begin());
        return lines;
    }

    dev::DeviceLink& device() { return *device_; }
    dev::ChildProcess& process() { return *process_; }
    const TempDir& dir() const { return dir_; }
    // The path KV32 serves on.
    const std::string& device_path() const { return pty_.slave_path(); }

  private:
    TempDir dir_;
    dev::PtyPair pty_;
    std::unique_ptr<dev::ChildProcess> process_;
    std::unique_ptr<dev::DeviceLink> device_;
};

}  // namespace kv::test
