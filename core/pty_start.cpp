#include "core/pty_start.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>

namespace kv::core {
namespace {

// After the device has opened its side, the time it is given to set the line up (and flush it)
// before the held bytes go out.
constexpr int kSettleMs = 100;

// Waits until one of the descriptors is readable or the time is up; the index, or -1.
int wait_readable(int first, int second, int timeout_ms) {
    std::array<pollfd, 2> fds{{{first, POLLIN, 0}, {second, POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), timeout_ms) <= 0) return -1;
    return (fds[0].revents & POLLIN) ? 0 : (fds[1].revents ? 1 : -1);
}

}  // namespace

PtyStartGate::PtyStartGate(int master, const std::string& device_path) : master_(master) {
    watch_ = ::inotify_init1(IN_CLOEXEC);
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    if (watch_ < 0 || wake_ < 0 || ::inotify_add_watch(watch_, device_path.c_str(), IN_OPEN) < 0) {
        open_ = true;
        return;
    }
    watcher_ = std::thread([this] { watch(); });
}

PtyStartGate::~PtyStartGate() {
    if (watcher_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
        watcher_.join();
    }
    if (watch_ >= 0) ::close(watch_);
    if (wake_ >= 0) ::close(wake_);
}

bool PtyStartGate::hold(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    if (open_) return false;
    held_ += bytes;
    return true;
}

void PtyStartGate::watch() {
    if (wait_readable(watch_, wake_, -1) != 0) return;  // closing
    if (wait_readable(wake_, wake_, kSettleMs) == 0) return;
    release();
}

void PtyStartGate::release() {
    std::lock_guard lock(mutex_);
    std::string_view rest = held_;
    while (!rest.empty()) {
        const auto n = ::write(master_, rest.data(), rest.size());
        if (n <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    held_.clear();
    open_ = true;
}

}  // namespace kv::core
