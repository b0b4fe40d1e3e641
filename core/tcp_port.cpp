#include "core/tcp_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "core/bounded_write.h"
#include "platform/tcp_line.h"

namespace kv::core {
namespace {

constexpr std::size_t kReaderPassSize = 1023;
constexpr int kClosingGraceMs = 100;

// How often the reader looks at the idle limit while a connection waits, at most.
constexpr std::chrono::milliseconds kLongestIdleLook{1000};

bool is_passing_error(int error) {
    return error == EINTR || error == EAGAIN;
}

TcpPolicy& policy_slot() {
    static TcpPolicy policy;
    return policy;
}

std::int64_t steady_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void set_tcp_policy(TcpPolicy policy) {
    policy_slot() = std::move(policy);
}

const TcpPolicy& tcp_policy() {
    return policy_slot();
}

TcpLine::TcpLine(int handle, int listener, Events events, TcpPolicy policy)
    : handle_(handle),
      listener_(listener),
      events_(std::move(events)),
      policy_(std::move(policy)) {}

TcpLine::~TcpLine() {
    if (reader_.joinable()) {
        closing_ = true;
        wake_reader();
        gate_.close();
        reader_.join();
    }
    if (connection_ >= 0) ::close(connection_);
    if (waiting_ >= 0) ::close(waiting_);
    ::close(listener_);
    if (wake_ >= 0) ::close(wake_);
}

bool TcpLine::start_reader() {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) return false;
    try {
        reader_running_ = true;
        reader_ = std::thread([this] { run_reader(); });
    } catch (const std::system_error&) {
        reader_running_ = false;
        return false;
    }
    return true;
}

void TcpLine::set_notify_window(gui::Hwnd window) {
    notify_window_ = window;
    if (window != 0 && !ring_.empty()) wake_reader();
}

std::size_t TcpLine::read(char* out, std::size_t capacity) {
    const std::size_t count = ring_.pop(out, capacity);
    const std::uint64_t taken = taken_ += count;
    // Room for the reader, or the last bytes of a closed connection taken: the next may come.
    if (count > 0 && (waiting_for_room_ || taken == last_departure_mark_)) wake_reader();
    return count;
}

std::uint64_t TcpLine::departures(bool settled) const {
    const std::uint64_t count = departures_;
    if (!settled || count == 0) return count;
    return taken_ >= last_departure_mark_ ? count : count - 1;
}

void TcpLine::close_departures() {
    // The mark is set before the count grows, so a count read first has its mark in place.
    const std::uint64_t count = departures_;
    if (count == closed_departures_ || taken_ < last_departure_mark_) return;
    closed_departures_ = count;
    wake_reader();
}

std::size_t TcpLine::write(std::string_view bytes) {
    return write_within(bytes, {});
}

std::size_t TcpLine::write_within(std::string_view bytes, const WriteLimits& limits) {
    std::lock_guard lock(send_mutex_);
    if (connection_ >= 0) return send_all(bytes, limits);
    if (ever_connected_) return 0;  // no device: the bytes go nowhere
    held_ += bytes;                 // the start byte waits for the first device
    return bytes.size();
}

// A connection that has gone ends the write; the reader sees it too.
std::size_t TcpLine::send_all(std::string_view bytes, const WriteLimits& limits) {
    const int fd = connection_;
    return write_bounded(
        fd, bytes, limits.stall_limit, limits.give_up, [fd](const char* data, std::size_t size) {
            return static_cast<long>(::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT));
        });
}

std::optional<platform::Dcb> TcpLine::settings() {
    std::lock_guard lock(settings_mutex_);
    return settings_;
}

bool TcpLine::apply_settings(const platform::Dcb& settings) {
    // Speed and framing mean nothing on a connection; they are kept for the members that a
    // later mode string does not set.
    std::lock_guard lock(settings_mutex_);
    settings_ = settings;
    return true;
}

void TcpLine::device_wait(bool waiting, bool restart) {
    const std::int64_t now = steady_ns();
    const std::int64_t began = wait_began_ns_.exchange(waiting ? now : 0);
    if (restart)
        waited_ns_ = 0;
    else if (began != 0)
        waited_ns_ += now - began;
}

std::chrono::nanoseconds TcpLine::device_waited() const {
    const std::int64_t began = wait_began_ns_;
    return std::chrono::nanoseconds(waited_ns_ + (began != 0 ? steady_ns() - began : 0));
}

std::optional<std::chrono::nanoseconds> TcpLine::apply_idle_limit() {
    if (connection_ < 0 || waiting_ < 0) return std::nullopt;
    const auto waited = device_waited();
    if (waited < policy_.idle_limit) return policy_.idle_limit - waited;
    if (events_.let_go) events_.let_go(peer_, waiting_peer_);
    drop_connection(false);
    return std::nullopt;
}

void TcpLine::wake_reader() {
    if (wake_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wake_, &one, sizeof one);
}

void TcpLine::clear_wake() {
    std::uint64_t count;
    [[maybe_unused]] auto ignored = ::read(wake_, &count, sizeof count);
}

void TcpLine::run_reader() {
    while (!closing_ && reader_pass())
        if (!closing_) notify_window_if_bytes_wait();
    reader_running_ = false;
}

// Waits until the connection has bytes (while the ring has room for them) or closes, a
// connection comes, or the reader is woken. A full ring leaves everything waiting in the
// kernel until the window's thread makes room.
bool TcpLine::reader_pass() {
    bool has_room = ring_.room() > 0;
    if (!has_room) {
        waiting_for_room_ = true;
        has_room = ring_.room() > 0;  // room made just before the flag was seen
    }
    // A new connection waits until the last one's bytes have all been taken and the window's
    // thread is done with them.
    const bool settled =
        connection_ >= 0 || (taken_ >= last_departure_mark_ && closed_departures_ == departures_);
    if (settled && connection_ < 0 && waiting_ >= 0) {
        const int fd = std::exchange(waiting_, -1);
        serve_connection(fd, std::exchange(waiting_peer_, {}));
    }
    const auto idle_left = apply_idle_limit();
    enum { kWake, kListener, kConnection, kWaiting };
    pollfd fds[4] = {{wake_, POLLIN, 0}, {listener_, 0, 0}, {connection_, 0, 0}, {waiting_, 0, 0}};
    if (has_room && settled) {
        fds[kListener].events = POLLIN;
        if (connection_ >= 0) fds[kConnection].events = POLLIN | POLLRDHUP;
    }
    if (connection_ < 0) fds[kConnection].fd = -1;
    if (waiting_ >= 0) fds[kWaiting].events = POLLRDHUP;  // its bytes wait for its turn
    int timeout = -1;
    if (idle_left)
        timeout =
            static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                 std::min<std::chrono::nanoseconds>(*idle_left, kLongestIdleLook))
                                 .count());
    const int ready = ::poll(fds, 4, timeout);
    waiting_for_room_ = false;
    if (ready < 0) {
        if (is_passing_error(errno)) return true;
        if (events_.ended)
            events_.ended(std::string("waiting for the connection failed (") +
                          std::strerror(errno) + ")");
        return false;
    }
    if (fds[kWake].revents & POLLIN) clear_wake();
    if (closing_) return false;
    if (waiting_ >= 0 && fds[kWaiting].revents != 0) {
        ::close(std::exchange(waiting_, -1));  // it left before its turn
        waiting_peer_.clear();
    }
    // The served connection first: one that has closed makes room for the next at once.
    if (connection_ >= 0 && fds[kConnection].revents != 0) {
        if (take_from_connection()) return true;
        drop_connection(true);
        if (!events_.end_on_loss) return true;
        if (events_.ended) events_.ended("the connection closed");
        return false;
    }
    if (fds[kListener].revents & POLLIN) {
        if (connection_ < 0 && waiting_ < 0)
            accept_connection();
        else if (connection_ < 0 || !connection_closing())
            hold_or_refuse_connection();
    }
    return true;
}

bool TcpLine::take_from_connection() {
    char buffer[kReaderPassSize];
    const std::size_t wanted = std::min(kReaderPassSize, ring_.room());
    const ssize_t n = ::read(connection_, buffer, wanted);
    if (n > 0) {
        ring_.push(std::string_view(buffer, static_cast<std::size_t>(n)));
        pushed_ += static_cast<std::uint64_t>(n);
        return true;
    }
    return n < 0 && is_passing_error(errno);  // 0: closed; an error: reset
}

void TcpLine::accept_connection() {
    const int fd = platform::accept_tcp(listener_);
    if (fd < 0) return;
    const std::string peer = platform::peer_address_text(fd);
    if (!platform::peer_allowed(fd, policy_.allowed)) {
        ::close(fd);
        if (events_.not_allowed) events_.not_allowed(peer);
        return;
    }
    serve_connection(fd, peer);
}

void TcpLine::serve_connection(int fd, const std::string& peer) {
    peer_ = peer;
    device_wait(wait_began_ns_ != 0, true);  // the new device's count begins
    {
        std::lock_guard lock(send_mutex_);
        connection_ = fd;
        connected_ = true;
        ever_arrived_ = true;
        if (!ever_connected_) {
            ever_connected_ = true;
            send_all(held_);
            held_.clear();
        } else {
            send_all(std::string_view("\0", 1));  // the start byte, as to a device that opens
        }
    }
    if (events_.connected) events_.connected(peer_);
}

void TcpLine::hold_or_refuse_connection() {
    const int fd = platform::accept_tcp(listener_);
    if (fd < 0) return;
    const std::string peer = platform::peer_address_text(fd);
    if (!platform::peer_allowed(fd, policy_.allowed)) {
        ::close(fd);
        if (events_.not_allowed) events_.not_allowed(peer);
        return;
    }
    if (waiting_ < 0) {
        waiting_ = fd;
        waiting_peer_ = peer;
        return;
    }
    ::close(fd);
    if (events_.refused) events_.refused(peer, peer_);
}

// A device that reconnects may be quicker than the news of its old connection's end: that one
// is given a moment to show that it has closed before the new one is turned away.
bool TcpLine::connection_closing() {
    pollfd served{connection_, POLLRDHUP, 0};
    return ::poll(&served, 1, kClosingGraceMs) > 0;
}

void TcpLine::drop_connection(bool closed) {
    // A write blocked on the connection returns at once; then the connection can go.
    ::shutdown(connection_, SHUT_RDWR);
    {
        std::lock_guard lock(send_mutex_);
        ::close(connection_);
        connection_ = -1;
        connected_ = false;
    }
    last_departure_mark_ = pushed_.load();
    ++departures_;
    if (closed && !events_.end_on_loss && events_.lost) events_.lost(peer_);
    peer_.clear();
}

void TcpLine::notify_window_if_bytes_wait() {
    if (ring_.empty()) return;
    const gui::Hwnd window = notify_window_;
    if (window != 0) gui::send_message(window, gui::WM_COMMNOTIFY, handle_, 1, gate_);
}

}  // namespace kv::core
