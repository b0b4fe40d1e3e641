#include "tools/kvdev/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace kv::dev {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> c_strings(std::vector<std::string>& v) {
    std::vector<char*> out;
    for (auto& s : v) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

bool drain(int& fd, std::string& into) {
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) {
            ::close(fd);
            fd = -1;
            return false;
        }
        return errno == EAGAIN || errno == EINTR;
    }
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& cwd, const std::vector<std::string>& env, int input) {
    int out_pipe[2], err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> argv_s{program};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    // The extra entries replace inherited ones of the same name.
    auto overridden = [&env](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        for (const auto& e : env)
            if (e.compare(0, name.size(), name) == 0) return true;
        return false;
    };
    std::vector<std::string> env_s;
    for (char** e = environ; *e; ++e)
        if (!overridden(*e)) env_s.emplace_back(*e);
    env_s.insert(env_s.end(), env.begin(), env.end());
    auto argv = c_strings(argv_s);
    auto envp = c_strings(env_s);

    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int in = input >= 0 ? input : ::open("/dev/null", O_RDONLY);
        if (in < 0 || ::dup2(in, 0) < 0) ::_exit(126);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
    ::fcntl(out_fd_, F_SETFL, O_NONBLOCK);
    ::fcntl(err_fd_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
    if (!status_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    if (out_fd_ >= 0) ::close(out_fd_);
    if (err_fd_ >= 0) ::close(err_fd_);
}

void ChildProcess::pump(std::chrono::milliseconds timeout) {
    pollfd fds[2];
    nfds_t n = 0;
    if (out_fd_ >= 0) fds[n++] = {out_fd_, POLLIN, 0};
    if (err_fd_ >= 0) fds[n++] = {err_fd_, POLLIN, 0};
    if (n == 0) {
        if (!status_) ::usleep(static_cast<useconds_t>(std::min<long>(timeout.count(), 10) * 1000));
        return;
    }
    ::poll(fds, n, static_cast<int>(timeout.count()));
    if (out_fd_ >= 0) drain(out_fd_, out_);
    if (err_fd_ >= 0) drain(err_fd_, err_);
}

std::optional<std::string> ChildProcess::wait_for_output(
    const std::function<bool(const std::string&, int&)>& wanted,
    std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int seen = 0;
        for (const auto& l : split_lines(out_))
            if (wanted(l, seen)) return l;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || (out_fd_ < 0 && reap(false))) return std::nullopt;
        pump(std::min(left, std::chrono::milliseconds(50)));
    }
}

bool ChildProcess::wait_for_line(const std::string& line, std::chrono::milliseconds timeout,
                                 int occurrence) {
    auto nth = [&](const std::string& l, int& seen) { return l == line && ++seen >= occurrence; };
    return wait_for_output(nth, timeout).has_value();
}

std::optional<std::string> ChildProcess::wait_for_prefix(const std::string& prefix,
                                                         std::chrono::milliseconds timeout) {
    return wait_for_output([&](const std::string& l, int&) { return l.rfind(prefix, 0) == 0; },
                           timeout);
}

const std::string& ChildProcess::out() {
    pump(std::chrono::milliseconds(0));
    return out_;
}

const std::string& ChildProcess::err() {
    pump(std::chrono::milliseconds(0));
    return err_;
}

std::vector<std::string> ChildProcess::out_lines() {
    return split_lines(out());
}

void ChildProcess::signal(int sig) {
    if (!status_) ::kill(pid_, sig);
}

bool ChildProcess::reap(bool block) {
    if (status_) return true;
    int st = 0;
    pid_t r = ::waitpid(pid_, &st, block ? 0 : WNOHANG);
    if (r != pid_) return false;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return true;
}

std::optional<int> ChildProcess::wait_exit(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!reap(false)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pump(std::min(left, std::chrono::milliseconds(20)));
    }
    pump(std::chrono::milliseconds(0));
    return status_;
}

}  // namespace kv::dev
