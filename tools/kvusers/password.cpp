#include "tools/kvusers/password.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace kv::users {
namespace {

// The terminal whose echo is off, and its settings before, for the signal handler.
int echo_off_terminal = -1;
termios saved_settings{};

extern "C" void put_back_and_end(int sig) {
    if (echo_off_terminal >= 0) ::tcsetattr(echo_off_terminal, TCSANOW, &saved_settings);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// Echo off on the terminal for the guard's life; nothing happens when it is no terminal.
class EchoOff {
  public:
    explicit EchoOff(int terminal) {
        if (::tcgetattr(terminal, &saved_settings) != 0) return;
        termios quiet = saved_settings;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;  // the Enter key still moves to the next line
        echo_off_terminal = terminal;
        for (int sig : kSignals) previous_[index(sig)] = ::signal(sig, put_back_and_end);
        ::tcsetattr(terminal, TCSANOW, &quiet);
    }
    ~EchoOff() {
        if (echo_off_terminal < 0) return;
        ::tcsetattr(echo_off_terminal, TCSANOW, &saved_settings);
        echo_off_terminal = -1;
        for (int sig : kSignals) ::signal(sig, previous_[index(sig)]);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
    static std::size_t index(int sig) {
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            if (kSignals[i] == sig) return i;
        return 0;
    }
    sighandler_t previous_[std::size(kSignals)]{};
};

// One line from the terminal, read byte by byte so that nothing after it is taken.
std::optional<std::string> read_terminal_line(int terminal) {
    std::string line;
    for (;;) {
        char c;
        const ssize_t n = ::read(terminal, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return line.empty() ? std::nullopt : std::optional(line);
        if (c == '\n') break;
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

std::optional<std::string> read_password_line(std::istream& in) {
    std::string line;
    if (!std::getline(in, line) && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::optional<std::string> ask_password(int terminal, std::ostream& prompts, std::string& why) {
    std::optional<std::string> first, second;
    {
        EchoOff quiet(terminal);
        prompts << "Password: " << std::flush;
        first = read_terminal_line(terminal);
        if (first) {
            prompts << "Password again: " << std::flush;
            second = read_terminal_line(terminal);
        }
    }
    if (!first || !second) {
        why = "no password was typed";
        return std::nullopt;
    }
    if (*first != *second) {
        why = "the two passwords differ";
        return std::nullopt;
    }
    return first;
}

}  // namespace kv::users
