#include "platform/serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>

namespace kv::platform {

namespace {

bool equals_ignoring_case(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

// The n of "COMn" (any case, n of 1 or more), or nothing.
std::optional<unsigned> com_port_number(const std::string& name) {
    if (name.size() < 4 || !equals_ignoring_case(name.substr(0, 3), "COM")) return std::nullopt;
    unsigned n = 0;
    auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), n);
    if (ec != std::errc{} || end != name.data() + name.size() || n == 0) return std::nullopt;
    return n;
}

void close_keeping_errno(int fd) {
    int saved = errno;
    ::close(fd);
    errno = saved;
}

void clear_hangup_on_close(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return;
    t.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    ::tcsetattr(fd, TCSANOW, &t);
}

// USB adapters otherwise hold received bytes back until their latency timer runs out. Drivers
// that do not know the request refuse it, which is fine.
void ask_for_low_latency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return;
    info.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &info);
}

bool make_raw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

bool is_pseudo_terminal_name(const std::string& port_name) {
    return equals_ignoring_case(port_name, "PTY");
}

std::string serial_device_path(const std::string& port_name) {
    if (!port_name.empty() && port_name.front() == '/') return port_name;
    if (auto n = com_port_number(port_name)) return "/dev/ttyS" + std::to_string(*n - 1);
    return "/dev/" + port_name;
}

bool raise_dtr(int fd) {
    int bits = TIOCM_DTR;
    return ::ioctl(fd, TIOCMBIS, &bits) == 0;
}

int open_serial_device(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (!::isatty(fd)) {
        close_keeping_errno(fd);
        errno = ENOTTY;
        return -1;
    }
    // TIOCEXCL keeps other programs out (not the superuser); the lock keeps out another
    // instance of this program whoever runs it.
    ::ioctl(fd, TIOCEXCL);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close_keeping_errno(fd);
        errno = EBUSY;
        return -1;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close_keeping_errno(fd);
        return -1;
    }
    clear_hangup_on_close(fd);
    raise_dtr(fd);
    ask_for_low_latency(fd);
    return fd;
}

void close_serial_device(int fd) {
    if (fd < 0) return;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

std::optional<PseudoTerminal> open_pseudo_terminal() {
    PseudoTerminal pty;
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0) return std::nullopt;
    char name[128];
    if (::grantpt(pty.master) == 0 && ::unlockpt(pty.master) == 0 &&
        ::ptsname_r(pty.master, name, sizeof name) == 0) {
        pty.slave_path = name;
        pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    if (pty.slave < 0 || !make_raw(pty.slave)) {
        if (pty.slave >= 0) ::close(pty.slave);
        close_keeping_errno(pty.master);
        return std::nullopt;
    }
    return pty;
}

}  // namespace kv::platform
