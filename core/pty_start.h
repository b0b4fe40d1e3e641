#pragma once
// The device's side of a pseudo-terminal that KV32 created, watched by its opens and closes
// (KV32 keeps that side open itself, so the line never hangs up on its own).
//
// Bytes for the device wait until a device first opens its side: a device or emulator that
// flushes its input when it opens the line (as raw mode set with TCSAFLUSH does) would otherwise
// lose what was sent before, the start byte above all. When the last device closes its side, the
// device has gone: what was queued for it and not read is dropped, and so are bytes sent until a
// device opens the line again.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace kv::core {

class PtyStartGate {
  public:
    // Watches the device side by its path; when it cannot be watched nothing is ever held.
    // `device_side` is KV32's own descriptor of that side (to drop what was queued);
    // `on_departure` is told on the watching thread or in hold() when a device has gone.
    PtyStartGate(int master, int device_side, const std::string& device_path,
                 std::function<void()> on_departure = {});
    ~PtyStartGate();
    PtyStartGate(const PtyStartGate&) = delete;
    PtyStartGate& operator=(const PtyStartGate&) = delete;

    // Keeps (or, once a device has gone, drops) the bytes while no device has the line open,
    // and answers true; false once they may go straight to the line.
    bool hold(std::string_view bytes);
    // Writes to the line (the master side, not blocking) unless a device has gone since
    // `departures` (when given) or none has the line now: then -1 with errno EPIPE. Checked and
    // written under one lock, so that nothing meant for a device that has gone reaches the next.
    long write(const char* data, std::size_t size, std::optional<std::uint64_t> departures);
    // True while a device has gone and none has opened the line again.
    bool departed();
    // How many times a device has gone so far. `settled`: a departure counts only once what the
    // device wrote before it closed the line has had the time to reach KV32's end.
    std::uint64_t departures(bool settled);

  private:
    enum class State { kWaiting, kOpen, kDeparted };
    void watch();
    // Takes the reported opens and closes; true when a device has gone among them.
    bool take_events_locked();
    void release();

    const int master_;
    const int device_side_;
    std::function<void()> on_departure_;
    int watch_ = -1;  // inotify descriptor, not blocking
    int wake_ = -1;   // eventfd that ends the watch
    std::mutex mutex_;
    State state_ = State::kWaiting;
    int opens_ = 0;  // the device side's opens by others than KV32, less their closes
    std::uint64_t departures_ = 0;
    std::chrono::steady_clock::time_point departed_at_{};
    std::string held_;
    std::thread watcher_;
};

}  // namespace kv::core
