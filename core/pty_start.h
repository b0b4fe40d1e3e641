#pragma once
// The device's side of a pseudo-terminal that KV32 created, watched by its opens and closes
// (KV32 keeps that side open itself, so the line never hangs up on its own).
//
// Bytes for the device wait until a device first opens its side: a device or emulator that
// flushes its input when it opens the line (as raw mode set with TCSAFLUSH does) would otherwise
// lose what was sent before, the start byte above all. When the last device closes its side (the
// count of opens by others than KV32 comes to zero), the device has gone: what was queued for it
// and not read is dropped, and so is every byte meant for it. A device that opens the line after
// that is a new device: it gets a start byte of its own, once it has had the moment to set the
// line up and the window's thread is done with the device that went (close_departures), so that
// neither the old command's answer nor its wait for bytes ever meets the new device.
#include <atomic>
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
    // `on_departure` wakes the window's thread (from any thread): when a device has gone, once
    // its last bytes have had the time to arrive, and once a new device has settled.
    PtyStartGate(int master, int device_side, const std::string& device_path,
                 std::function<void()> on_departure = {});
    ~PtyStartGate();
    PtyStartGate(const PtyStartGate&) = delete;
    PtyStartGate& operator=(const PtyStartGate&) = delete;

    // Keeps the bytes while no device has yet opened the line, drops them while a device has
    // gone and the next has not had its start byte (answers true then); false once they may go
    // straight to the line. `departures` are those counted when the command that writes began
    // (nothing outside a command), `arrivals` likewise: a command of the new device's own, begun
    // once it had opened the line or once the window's thread was done with the last one, shows
    // that it did not wait for a start byte; it is answered, and the start byte is not sent.
    bool hold(std::string_view bytes, std::optional<std::uint64_t> departures = std::nullopt,
              std::optional<std::uint64_t> arrivals = std::nullopt);
    // Writes to the line (the master side, not blocking) unless a device has gone since
    // `departures` (when given) or none has the line now: then -1 with errno EPIPE. Checked and
    // written under one lock, so that nothing meant for a device that has gone reaches the next.
    long write(const char* data, std::size_t size, std::optional<std::uint64_t> departures);
    // True while a device has gone and none has opened the line again.
    bool departed();
    // How many times a device has gone so far. `settled`: a departure counts only once what the
    // device wrote before it closed the line has had the time to reach KV32's end.
    std::uint64_t departures(bool settled);
    // How many devices have opened the line after one had gone.
    std::uint64_t arrivals();
    // The window's thread is done with the devices that have gone: it has taken what they sent
    // and no command of theirs is in progress. A new device's start byte may go out.
    void close_departures();

  private:
    // kStarting: a device opened the line after one had gone; its start byte has not gone out.
    enum class State { kWaiting, kOpen, kDeparted, kStarting };
    void watch();
    // Takes the reported opens and closes; true when a device has gone among them. When called
    // off the watching thread, that thread is woken to keep its times.
    bool take_events_locked(bool watching = false);
    // Sends the bytes held for the first device.
    void release();
    // Sends a new device its start byte when it has settled and the last one is done with.
    void start_new_device_locked();

    const int master_;
    const int device_side_;
    std::function<void()> on_departure_;
    int watch_ = -1;  // inotify descriptor, not blocking
    int wake_ = -1;   // eventfd that wakes the watch: to end it, or to look at the times again
    std::atomic<bool> ending_{false};
    std::mutex mutex_;
    State state_ = State::kWaiting;
    int opens_ = 0;  // the device side's opens by others than KV32, less their closes
    std::uint64_t departures_ = 0;
    std::uint64_t closed_departures_ = 0;  // those the window's thread is done with
    std::uint64_t arrivals_ = 0;
    std::chrono::steady_clock::time_point departed_at_{};
    std::chrono::steady_clock::time_point opened_at_{};  // the last open after a departure
    bool departure_told_ = true;                         // on_departure_ for the last one
    bool start_told_ = true;                             // the new device's settling, likewise
    std::string held_;
    std::thread watcher_;
};

}  // namespace kv::core
