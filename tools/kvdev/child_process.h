#pragma once
// A program run as a child process with its standard output and error captured: the tests and
// benchmarks start kv32 with it and read its log lines.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kv::dev {

class ChildProcess {
  public:
    // Starts `program` with `args` in folder `cwd` (empty: the current one). Extra environment
    // entries ("NAME=value") replace or add to the inherited ones. Standard input is `input`
    // (a descriptor the child gets a copy of), else /dev/null.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& cwd = {}, const std::vector<std::string>& env = {},
                 int input = -1);
    ~ChildProcess();  // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int pid() const { return pid_; }
    // Waits until standard output holds a line equal to `line` (counting from the start);
    // false after the time-out or when the child ended without it.
    bool wait_for_line(const std::string& line, std::chrono::milliseconds timeout,
                       int occurrence = 1);
    // Waits until standard output holds a line that begins with `prefix`; returns that line.
    std::optional<std::string> wait_for_prefix(const std::string& prefix,
                                               std::chrono::milliseconds timeout);
    // Output so far (reads whatever is available without waiting).
    const std::string& out();
    const std::string& err();
    std::vector<std::string> out_lines();

    void signal(int sig);
    // The exit status, or nothing when it did not end within the time-out; a child killed by a
    // signal reports 128 + the signal number.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout);

  private:
    // Waits until a line of standard output is wanted (the counter is reset on every pass over
    // the output); returns that line.
    std::optional<std::string> wait_for_output(
        const std::function<bool(const std::string&, int&)>& wanted,
        std::chrono::milliseconds timeout);
    void pump(std::chrono::milliseconds timeout);
    bool reap(bool block);

    int pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    std::string out_;
    std::string err_;
    std::optional<int> status_;
};

}  // namespace kv::dev
