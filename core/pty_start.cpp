#include "core/pty_start.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace kv::core {
namespace {

// After the device has opened its side, the time it is given to set the line up (and flush it)
// before the held bytes go out.
constexpr int kSettleMs = 100;
// Bytes that a device wrote just before it closed the line may still be on their way to KV32's
// end for a moment.
constexpr int kLastBytesMs = 100;

// Waits until one of the descriptors is readable or the time is up; the index, or -1.
int wait_readable(int first, int second, int timeout_ms) {
    std::array<pollfd, 2> fds{{{first, POLLIN, 0}, {second, POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), timeout_ms) <= 0) return -1;
    return (fds[0].revents & POLLIN) ? 0 : (fds[1].revents ? 1 : -1);
}

// Drops what waits on the device's side for its reader: the line discipline's buffer, and what
// is still on its way into it (tcflush alone leaves that, and it flows on to the next reader).
// KV32's own descriptor of that side reads it away until the line stays empty for a moment.
void drop_queued(int device_side) {
    if (device_side < 0) return;
    ::tcflush(device_side, TCIFLUSH);
    const int flags = ::fcntl(device_side, F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK)) ::fcntl(device_side, F_SETFL, flags | O_NONBLOCK);
    char buffer[4096];
    for (int quiet = 0; quiet < 3;) {
        if (::read(device_side, buffer, sizeof buffer) > 0) {
            quiet = 0;
        } else {
            ++quiet;
            pollfd in{device_side, POLLIN, 0};
            ::poll(&in, 1, 2);
        }
    }
}

// While a device has the line, no other may open it (an open fails with EIO, as before the
// pseudo-terminal was first unlocked): a device that comes back right after leaving must not
// find what was queued for the one before, so the line opens again only once that is dropped.
void lock_device_side(int master, bool locked) {
    int on = locked ? 1 : 0;
    ::ioctl(master, TIOCSPTLCK, &on);
}

}  // namespace

PtyStartGate::PtyStartGate(int master, int device_side, const std::string& device_path,
                           std::function<void()> on_departure)
    : master_(master), device_side_(device_side), on_departure_(std::move(on_departure)) {
    watch_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    if (watch_ < 0 || wake_ < 0 ||
        ::inotify_add_watch(watch_, device_path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        state_ = State::kOpen;
        return;
    }
    watcher_ = std::thread([this] { watch(); });
}

PtyStartGate::~PtyStartGate() {
    if (watcher_.joinable()) {
        ending_ = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
        watcher_.join();
    }
    if (watch_ >= 0) ::close(watch_);
    if (wake_ >= 0) ::close(wake_);
}

// Once the line has been open, the events are taken here as well as on the watching thread: an
// open is reported before the device's first byte can arrive, so a device that comes back is
// seen before it is answered. The first open is the watching thread's alone (it lets the device
// settle before the held bytes go out).
bool PtyStartGate::hold(std::string_view bytes, std::optional<std::uint64_t> departures,
                        std::optional<std::uint64_t> arrivals) {
    bool gone = false;
    bool held = true;
    {
        std::lock_guard lock(mutex_);
        if (watcher_.joinable() && state_ != State::kWaiting) gone = take_events_locked();
        if (state_ == State::kStarting && departures && *departures == departures_ &&
            (closed_departures_ == departures_ || (arrivals && *arrivals == arrivals_))) {
            state_ = State::kOpen;  // the new device's own command: it wanted no start byte
            held_.clear();
        }
        // Bytes of a command that began before the device went are dropped; others wait.
        if (state_ == State::kOpen)
            held = false;
        else if (state_ == State::kWaiting || (state_ == State::kStarting && !departures))
            held_ += bytes;
    }
    if (gone && on_departure_) on_departure_();
    return held;
}

long PtyStartGate::write(const char* data, std::size_t size,
                         std::optional<std::uint64_t> departures) {
    bool gone = false;
    long written = -1;
    {
        std::lock_guard lock(mutex_);
        if (watcher_.joinable() && state_ != State::kWaiting) gone = take_events_locked();
        if (state_ == State::kOpen && (!departures || *departures == departures_))
            written = static_cast<long>(::write(master_, data, size));
        else
            errno = EPIPE;
    }
    if (gone && on_departure_) on_departure_();
    return written;
}

bool PtyStartGate::departed() {
    bool gone = false;
    bool now;
    {
        std::lock_guard lock(mutex_);
        if (watcher_.joinable() && state_ != State::kWaiting) gone = take_events_locked();
        now = state_ == State::kDeparted;
    }
    if (gone && on_departure_) on_departure_();
    return now;
}

std::uint64_t PtyStartGate::departures(bool settled) {
    bool gone = false;
    std::uint64_t count;
    {
        std::lock_guard lock(mutex_);
        if (watcher_.joinable() && state_ != State::kWaiting) gone = take_events_locked();
        count = departures_;
        if (settled && count > 0 &&
            std::chrono::steady_clock::now() - departed_at_ <
                std::chrono::milliseconds(kLastBytesMs))
            --count;
    }
    if (gone && on_departure_) on_departure_();
    return count;
}

std::uint64_t PtyStartGate::arrivals() {
    bool gone = false;
    std::uint64_t count;
    {
        std::lock_guard lock(mutex_);
        if (watcher_.joinable() && state_ != State::kWaiting) gone = take_events_locked();
        count = arrivals_;
    }
    if (gone && on_departure_) on_departure_();
    return count;
}

void PtyStartGate::close_departures() {
    bool gone = false;
    {
        std::lock_guard lock(mutex_);
        if (watcher_.joinable() && state_ != State::kWaiting) gone = take_events_locked();
        // Only once the last device's last bytes have had the time to arrive (and, as the window's
        // thread asks with nothing left to take, have been taken).
        if (!gone && std::chrono::steady_clock::now() - departed_at_ >=
                         std::chrono::milliseconds(kLastBytesMs)) {
            closed_departures_ = departures_;
            if (state_ == State::kDeparted) lock_device_side(master_, false);  // the next may come
        }
        start_new_device_locked();
    }
    if (gone && on_departure_) on_departure_();
}

void PtyStartGate::start_new_device_locked() {
    if (state_ != State::kStarting || closed_departures_ != departures_ ||
        std::chrono::steady_clock::now() - opened_at_ < std::chrono::milliseconds(kSettleMs))
        return;
    state_ = State::kOpen;
    const std::string bytes = std::string(1, '\0') + held_;
    held_.clear();
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const auto n = ::write(master_, rest.data(), rest.size());
        if (n <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool PtyStartGate::take_events_locked(bool watching) {
    bool gone = false;
    bool seen = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const auto n = ::read(watch_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (const char* at = buffer; at < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_OPEN) {
                lock_device_side(master_, true);
                if (++opens_ == 1 && state_ == State::kWaiting)
                    opened_at_ = std::chrono::steady_clock::now();
                if (state_ == State::kDeparted) {
                    // A new device: nothing of the old one's reaches it, and it gets a start
                    // byte of its own.
                    state_ = State::kStarting;
                    ++arrivals_;
                    opened_at_ = std::chrono::steady_clock::now();
                    start_told_ = false;
                    seen = true;
                    drop_queued(device_side_);
                }
            }
            if ((event->mask & IN_CLOSE) && opens_ > 0 && --opens_ == 0) {
                if (state_ == State::kOpen || state_ == State::kStarting) {
                    state_ = State::kDeparted;
                    held_.clear();
                    ++departures_;
                    departed_at_ = std::chrono::steady_clock::now();
                    departure_told_ = false;
                    gone = seen = true;
                    // What the departed device did not read would reach the next one.
                    drop_queued(device_side_);
                    // The line stays locked until the window's thread is done with the departed
                    // device (close_departures): a device that opened it before then would have
                    // its bytes taken into the departed device's command.
                } else {
                    lock_device_side(master_, false);
                }
            }
        }
    }
    if (seen && !watching) {
        const std::uint64_t one = 1;  // the watching thread keeps the times
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
    }
    return gone;
}

// Keeps the gate's times: the first device's settling, after which the held bytes go out; and,
// for a device that goes and one that comes after it, the moments at which the window's thread
// is woken to find the departure settled and the new device ready for its start byte.
void PtyStartGate::watch() {
    using std::chrono::milliseconds;
    int timeout = -1;
    for (;;) {
        if (wait_readable(watch_, wake_, timeout) == 1) {
            std::uint64_t count;
            [[maybe_unused]] auto n = ::read(wake_, &count, sizeof count);
        }
        if (ending_) return;
        bool tell = false;
        bool first_open = false;
        timeout = -1;
        {
            std::lock_guard lock(mutex_);
            take_events_locked(true);
            const auto now = std::chrono::steady_clock::now();
            auto due = [&](bool& told, std::chrono::steady_clock::time_point since, int ms) {
                if (told) return;
                const auto left = std::chrono::ceil<milliseconds>(since + milliseconds(ms) - now);
                if (left.count() <= 0) {
                    told = tell = true;
                } else if (timeout < 0 || left.count() < timeout) {
                    timeout = static_cast<int>(left.count());
                }
            };
            due(departure_told_, departed_at_, kLastBytesMs);
            if (state_ == State::kStarting) due(start_told_, opened_at_, kSettleMs);
            if (state_ == State::kWaiting && opens_ > 0) {
                const auto left =
                    std::chrono::ceil<milliseconds>(opened_at_ + milliseconds(kSettleMs) - now);
                if (left.count() <= 0)
                    first_open = true;
                else if (timeout < 0 || left.count() < timeout)
                    timeout = static_cast<int>(left.count());
            }
        }
        if (first_open) release();
        if (tell && on_departure_) on_departure_();
    }
}

void PtyStartGate::release() {
    std::lock_guard lock(mutex_);
    if (state_ != State::kWaiting) return;
    std::string_view rest = held_;
    while (!rest.empty()) {
        const auto n = ::write(master_, rest.data(), rest.size());
        if (n <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    held_.clear();
    state_ = State::kOpen;
}

}  // namespace kv::core
