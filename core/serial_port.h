#pragma once
// The port record: the open device, the receive ring, the notify window and the reader thread
// that moves received bytes from the device into the ring and notifies the window.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/serial_ring.h"
#include "gui/messages.h"
#include "platform/serial_dcb.h"

namespace kv::core {

class SerialPort {
  public:
    // Reports, from the reader thread, why the reader ended before the port was closed.
    using ReaderEndHandler = std::function<void(const std::string& why)>;

    // A device that disappears (a USB adapter unplugged) may come back under the same path. With
    // a path to reopen, the reader then waits for it instead of ending: `lost` is told why the
    // device went, once the reader watches for its return; `back` once it has been reopened with
    // the settings last applied. Both run on the reader thread.
    struct Reopen {
        std::string path;
        std::function<void(const std::string& why)> lost;
        std::function<void()> back;
        // Between two looks at the path when no change of its folder is reported (the folder
        // itself may be gone, or the device may appear before its permissions are set).
        std::chrono::milliseconds recheck{1000};
    };

    // Takes the open device; `keep_open` is an extra descriptor closed with the port (the slave
    // side of a pseudo-terminal the program serves on), or -1.
    SerialPort(int handle, std::string name, int device, int keep_open = -1);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Has the reader wait for a device that disappears to come back (before start_reader).
    void set_reopen(Reopen reopen) { reopen_ = std::move(reopen); }
    // The line settings now in force, which a reopened device is given too.
    void remember_settings(const platform::Dcb& settings);

    // Starts the reader thread; false when it cannot be started.
    bool start_reader(ReaderEndHandler on_end);
    // Wakes the reader, releases it from a pending notification and waits for it to end.
    void stop_reader();

    int handle() const { return handle_; }
    const std::string& name() const { return name_; }
    int device() const { return device_; }

    // The window the reader notifies after a pass (0 = none). When bytes are already waiting in
    // the ring, the reader is woken to notify at once.
    void set_notify_window(gui::Hwnd window);
    // Takes up to `capacity` bytes from the ring; a reader waiting for room goes on.
    std::size_t read(char* out, std::size_t capacity);
    // Writes every byte unless the device fails, takes nothing for `stall_limit`, or `give_up`
    // (asked a few times a second while the driver takes nothing) answers true; returns the
    // count written.
    // `through`, when given, writes each piece instead of a plain write to the device.
    using Writer = std::function<long(const char* data, std::size_t size)>;
    std::size_t write(std::string_view bytes,
                      std::chrono::milliseconds stall_limit = std::chrono::milliseconds::max(),
                      const std::function<bool()>& give_up = {}, const Writer& through = {});

    const ByteRing& ring() const { return ring_; }
    bool reader_running() const { return reader_running_; }

  private:
    // kGone: the device hung up or disappeared; kEnded: the reader cannot go on.
    enum class Pass { kGoOn, kClosing, kGone, kEnded };

    void run_reader(ReaderEndHandler on_end);
    Pass reader_pass(std::string& why);
    Pass take_from_device(std::string& why);
    // Waits until the device at the reopen path can be opened again and puts it in place of the
    // lost one (the descriptor's number stays); false when the port is being closed.
    bool wait_for_device(const std::string& why);
    bool reopen_device();
    void notify_window_if_bytes_wait();
    void wake_reader();
    void clear_wake();

    const int handle_;
    const std::string name_;
    int device_;
    int keep_open_;
    int wake_ = -1;  // eventfd that wakes the reader from poll()
    ByteRing ring_;
    std::atomic<gui::Hwnd> notify_window_{0};
    std::atomic<bool> waiting_for_room_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> reader_running_{false};
    gui::SendGate gate_;
    Reopen reopen_;
    std::mutex settings_mutex_;
    std::optional<platform::Dcb> settings_;
    std::chrono::steady_clock::time_point last_reopen_{};
    std::thread reader_;
};

}  // namespace kv::core
