#pragma once
// What the serial layer's operations need of an open port, whatever carries the device's line:
// a serial device or pseudo-terminal (SerialPort), or a TCP connection (TcpLine). Each has a
// receive ring filled by a reader thread of its own, which notifies a window after each pass.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "gui/messages.h"
#include "platform/serial_dcb.h"

namespace kv::core {

// How long a write may wait for a device that takes nothing, when to give it up, and what
// writes each piece (nothing: the line's own write).
struct WriteLimits {
    std::chrono::milliseconds stall_limit = std::chrono::milliseconds::max();
    std::function<bool()> give_up;
    std::function<long(const char* data, std::size_t size)> through;
};

class PortLine {
  public:
    virtual ~PortLine() = default;

    // The window the reader notifies after a pass that leaves bytes in the ring (0 = none).
    virtual void set_notify_window(gui::Hwnd window) = 0;
    // Takes up to `capacity` received bytes.
    virtual std::size_t read(char* out, std::size_t capacity) = 0;
    // Writes every byte unless the line fails; returns the count written.
    virtual std::size_t write(std::string_view bytes) = 0;
    // The same within limits, where the line can keep them; returns the count written.
    virtual std::size_t write_within(std::string_view bytes, const WriteLimits&) {
        return write(bytes);
    }
    // The line settings in force, for the members a mode string does not set; nothing when the
    // line has none of its own.
    virtual std::optional<platform::Dcb> settings() = 0;
    // Puts settings in force; false when the line refuses them.
    virtual bool apply_settings(const platform::Dcb& settings) = 0;
    // For lines that tell when their device goes away (0 and false otherwise): how many devices
    // have gone so far, counting only those whose last bytes have all been read when `settled`;
    // and whether the device has gone and no other has the line now.
    virtual std::uint64_t departures(bool /*settled*/) const { return 0; }
    virtual bool departed() const { return false; }
    // The window's thread is done with the devices that have gone: it has taken all they sent
    // and no command of theirs is in progress. A line that waits for this before it lets the next
    // device in (so that no byte of the next device is ever taken as part of the last one's
    // command) may now do so.
    virtual void close_departures() {}
    // The window's thread waits for the device's bytes (true) or has stopped waiting (false);
    // `restart` begins a new count (a command, or the wait for one, begins). A line that can
    // let a device go for another uses the time counted since.
    virtual void device_wait(bool /*waiting*/, bool /*restart*/) {}
    // Bytes waiting in the receive ring.
    virtual std::size_t bytes_waiting() const = 0;
    virtual bool reader_running() const = 0;
};

}  // namespace kv::core
