#include "gui/terminal_keys.h"

#include <termios.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace kv::gui {
namespace {

constexpr char kEscape = '\x1b';

termios saved{};
std::atomic<bool> changed{false};

// A terminal that another process group owns belongs to the job in the foreground: changing or
// reading it would stop this program.
bool foreground_or_not_controlling(int fd) {
    const pid_t owner = ::tcgetpgrp(fd);
    return owner < 0 || owner == ::getpgrp();
}

bool take_keys(int fd) {
    if (::tcgetattr(fd, &saved) != 0) return false;
    termios keys = saved;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    changed = true;
    if (::tcsetattr(fd, TCSANOW, &keys) == 0) return true;
    changed = false;
    return false;
}

}  // namespace

int escape_keys_in(std::string_view bytes) {
    int count = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == kEscape && (i + 1 == bytes.size() || bytes[i + 1] == kEscape))
            ++count;
        else if (bytes[i] == kEscape)
            ++i;  // the next byte belongs to this key
    return count;
}

void restore_terminal() noexcept {
    if (changed.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

bool install_terminal_keys(std::function<void()> on_escape) {
    if (changed || !::isatty(STDIN_FILENO) || !foreground_or_not_controlling(STDIN_FILENO) ||
        !take_keys(STDIN_FILENO))
        return false;
    static bool at_exit = false;
    if (!at_exit) at_exit = std::atexit([] { restore_terminal(); }) == 0;
    auto* notifier =
        new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, on_escape = std::move(on_escape)] {
                         char bytes[64];
                         const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
                         if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
                         if (n <= 0) {  // the terminal has gone
                             notifier->setEnabled(false);
                             return;
                         }
                         const int keys = escape_keys_in({bytes, static_cast<std::size_t>(n)});
                         for (int k = 0; k < keys && on_escape; ++k) on_escape();
                     });
    return true;
}

}  // namespace kv::gui
