#include "tools/kvdev/link.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/serial_diagnosis.h"
#include "platform/tcp_line.h"

namespace kv::dev {

namespace {

std::string system_error_text(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool is_pseudo_terminal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

// Why a line does not open, in the words kv32 uses for its port (the group to join for a
// permission, the process that holds it), and for KV32's own pseudo-terminal, locked while
// another device has it, that this is so.
std::string open_failure_text(const std::string& path, int error) {
    if (error == EIO && is_pseudo_terminal(path))
        return "cannot open " + path +
               ": another device has this line of KV32's now (Input/output error); try again "
               "once it has left";
    return "cannot open " + path + ": " + platform::open_failure_cause(path, error);
}

void make_raw_57600(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) throw LinkError(system_error_text("not a terminal"));
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB | PARENB);
    t.c_cflag |= CLOCAL | CREAD | CS8;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, B57600);
    ::cfsetospeed(&t, B57600);
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        throw LinkError(system_error_text("cannot configure the line"));
}

}  // namespace

DeviceLink DeviceLink::open(const std::string& path) {
    if (platform::is_tcp_port_name(path)) {
        auto address = platform::parse_tcp_port_name(path);
        if (!address)
            throw LinkError(path + " is not a TCP address (write tcp:PORT or tcp:HOST:PORT)");
        if (address->port == 0) throw LinkError(path + ": a connection needs a port number");
        const int fd = platform::connect_tcp(*address);
        if (fd < 0)
            throw LinkError(
                system_error_text("cannot connect to " + platform::address_text(*address)));
        return adopt(fd);
    }
    // KV32's own pseudo-terminal refuses opens (EIO) for the moment it takes to clear the line
    // after a device has closed it: a device that comes back at once tries again.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EIO && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0) throw LinkError(open_failure_text(path, errno));
    return adopt(fd);
}

DeviceLink DeviceLink::adopt(int fd) {
    DeviceLink link(fd);
    link.configure();
    return link;
}

DeviceLink::DeviceLink(DeviceLink&& other) noexcept
    : fd_(other.fd_), socket_(other.socket_), hung_up_(other.hung_up_) {
    other.fd_ = -1;
}

DeviceLink& DeviceLink::operator=(DeviceLink&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        socket_ = other.socket_;
        hung_up_ = other.hung_up_;
        other.fd_ = -1;
    }
    return *this;
}

DeviceLink::~DeviceLink() {
    close();
}

void DeviceLink::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void DeviceLink::configure() {
    // Reads wait with poll(), so the descriptor itself may block.
    int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    struct stat st {};
    socket_ = ::fstat(fd_, &st) == 0 && S_ISSOCK(st.st_mode);
    if (!socket_) make_raw_57600(fd_);  // a connection carries bytes as they are
}

void DeviceLink::send_raw(std::string_view bytes) {
    while (!bytes.empty()) {
        // A connection that the other side has closed fails the send instead of ending the
        // program with SIGPIPE.
        ssize_t n = socket_ ? ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                            : ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw LinkError(system_error_text("write failed"));
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void DeviceLink::send_command(char letter) {
    send_raw(std::string_view(&letter, 1));
}

void DeviceLink::send_byte(std::uint8_t value) {
    char c = static_cast<char>(value);
    send_raw(std::string_view(&c, 1));
}

void DeviceLink::send_uint16(std::uint16_t value) {
    const char bytes[2] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    send_raw(std::string_view(bytes, 2));
}

void DeviceLink::send_string(std::string_view text) {
    send_raw(text);
    send_raw("\r");
}

std::size_t DeviceLink::read_some(char* out, std::size_t capacity, Timeout timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::ceil<Timeout>(deadline - std::chrono::steady_clock::now());
        pollfd in{fd_, POLLIN, 0};
        int ready = ::poll(&in, 1, static_cast<int>(std::max<Timeout::rep>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return 0;
        ssize_t n = ::read(fd_, out, capacity);
        if (n > 0) return static_cast<std::size_t>(n);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        hung_up_ = true;  // end of file, or EIO once the other side has closed
        return 0;
    }
}

std::optional<std::uint8_t> DeviceLink::read_byte(Timeout timeout) {
    char c;
    if (read_some(&c, 1, timeout) == 0) return std::nullopt;
    return static_cast<std::uint8_t>(c);
}

std::string DeviceLink::read_bytes(std::size_t n, Timeout idle) {
    std::string bytes(n, '\0');
    std::size_t have = 0;
    while (have < n) {
        std::size_t got = read_some(bytes.data() + have, n - have, idle);
        if (got == 0) break;
        have += got;
    }
    bytes.resize(have);
    return bytes;
}

std::optional<std::string> DeviceLink::read_line(Timeout idle) {
    std::string line;
    for (;;) {
        auto c = read_byte(idle);
        if (!c) return std::nullopt;
        if (*c == '\r') return line;
        line.push_back(static_cast<char>(*c));
    }
}

std::size_t DeviceLink::discard_input() {
    char buffer[256];
    std::size_t dropped = 0;
    while (std::size_t n = read_some(buffer, sizeof buffer, Timeout(0))) dropped += n;
    return dropped;
}

DeviceLink::Settled DeviceLink::wait_for_quiet_line(Timeout quiet, Timeout at_most) {
    const auto deadline = std::chrono::steady_clock::now() + at_most;
    Settled settled;
    std::string first;
    char buffer[256];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<Timeout>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        const std::size_t n = read_some(buffer, sizeof buffer, std::min(quiet, left));
        if (n == 0) break;
        if (settled.dropped == 0) first.assign(buffer, n);
        settled.dropped += n;
    }
    settled.start_byte = settled.dropped == 1 && first == std::string(1, '\0');
    return settled;
}

bool DeviceLink::read_start_byte(Timeout timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left =
            std::chrono::duration_cast<Timeout>(deadline - std::chrono::steady_clock::now());
        auto c = read_byte(left.count() > 0 ? left : Timeout(0));
        if (!c) return false;
        if (*c == 0) return true;
    }
}

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        if (master_ >= 0) ::close(master_);
        throw LinkError(system_error_text("cannot create a pseudo-terminal"));
    }
    slave_path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        ::close(master_);
        throw LinkError(system_error_text("cannot open " + slave_path_));
    }
    make_raw_57600(slave_);
}

PtyPair::~PtyPair() {
    release_slave();
    if (master_ >= 0) ::close(master_);
}

DeviceLink PtyPair::take_master() {
    if (master_ < 0) throw LinkError("the master side was already taken");
    int fd = master_;
    master_ = -1;
    return DeviceLink::adopt(fd);
}

void PtyPair::release_slave() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
}

}  // namespace kv::dev
