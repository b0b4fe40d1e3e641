#pragma once
// The serial layer: the port operations on a terminal device, and the core's serial functions
// that open the device's port, move received bytes into the receive buffer and send bytes.
// Everything here runs on the window's thread; each open port has one reader thread of its own.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/receive_buffer.h"
#include "gui/messages.h"

namespace kv::gui {
class Window;
}

namespace kv::core {

// ---- port operations ----------------------------------------------------------------------

// Opens a port by name ("\\.\" + port name, or the port name alone) and starts its reader
// thread. The name "PTY" opens a new pseudo-terminal and logs the path the device opens. The
// queue sizes are accepted for their callers' sake; the driver's own queues are used. Returns the
// port handle (0 or more), or -1 when the device is missing or in use or no reader can run.
int OPENCOMM(const std::string& name, int input_size = 1024, int output_size = 128);

// When the device of a port opened on a device path disappears (hang-up, or a read error of a
// device that has gone), the log says so, the command in progress is abandoned and the port
// waits, without using the processor, for a device to appear under the same path; it reopens it
// with the same settings, logs "Serial port NAME: the device is back." and goes on as before.
// While a ScopedHangupEnd is alive, ports opened meanwhile do not wait: the loss is logged and
// `end` runs on the window's thread instead.
class ScopedHangupEnd {
  public:
    explicit ScopedHangupEnd(std::function<void()> end);
    ~ScopedHangupEnd();
    ScopedHangupEnd(const ScopedHangupEnd&) = delete;
    ScopedHangupEnd& operator=(const ScopedHangupEnd&) = delete;

  private:
    std::function<void()> previous_;
};

// Ends the reader thread (waking it, and releasing it from a notification in progress) and
// closes the device. Sends nothing and changes no line signal. False for an unknown handle.
bool CLOSECOMM(int handle);

// Closes a port at the end of a scope (when it is still open).
class ScopedPort {
  public:
    explicit ScopedPort(int handle = -1) : handle_(handle) {}
    ~ScopedPort() {
        if (handle_ >= 0) CLOSECOMM(handle_);
    }
    ScopedPort(const ScopedPort&) = delete;
    ScopedPort& operator=(const ScopedPort&) = delete;
    int get() const { return handle_; }

  private:
    int handle_;
};

// Writes the bytes to the device, waiting until the driver has taken them all; returns the count
// written (less when the device fails, or takes nothing for the stall limit).
int WRITECOMM(int handle, std::string_view bytes);

// How long a write waits for a device that takes nothing before the command is abandoned. Long
// enough by default for a link that holds 64 KiB before the device (a pseudo-terminal pair
// through a relay) to drain it at the line's rate, 5,760 bytes a second.
constexpr std::chrono::milliseconds kDefaultStallLimit{15000};
void set_stall_limit(std::chrono::milliseconds limit);
std::chrono::milliseconds stall_limit();
// "15 seconds", "0.5 seconds": the limit as the log tells it.
std::string stall_limit_text();

// Copies received bytes from the port's ring into the first positions of `buffer`, at most as
// many as it is long; returns the count.
int READCOMM(int handle, std::string& buffer);

// Builds the 28-byte settings block from a mode string ("57600,N,8,1" or
// "baud=57600 parity=n data=8 stop=1"). Members the mode string does not set come from the open
// port `handle` when one is given, else from the usual defaults. False, and an empty block,
// when the mode string is refused.
bool BUILDCOMMDCB(const std::string& mode, std::string& block, int handle = -1);

// Applies a settings block to the port: raw bytes, no flow control, the block's speed and
// framing. True when the device accepted it.
bool SETCOMMSTATE(int handle, const std::string& block);

// Sets the window the port's reader notifies after each pass that leaves bytes in the ring
// (0 = notification off); bytes already waiting are announced at once. The two further numbers
// have no effect. False for an unknown handle.
bool ENABLECOMMNOTIFICATION(int handle, gui::Hwnd window, int = 1, int = -1);

// ---- the core's serial functions -------------------------------------------------------------

// Opens and configures the port named in the settings and has the window notified of received
// bytes. On a failure shows its message, closes what it opened and returns -1. Given
// `wants_settings`, the failure's box has a button kSettingsButton beside OK, and
// *wants_settings tells whether it was pressed.
int APRICOM(gui::Window& window, const std::string& port_name, bool* wants_settings = nullptr);
// While it lives, a port failure's box ends its details with this note (at start, what else is
// wrong: a served folder that cannot take new files); the note before is put back after it.
class ScopedPortBoxNote {
  public:
    explicit ScopedPortBoxNote(std::string note);
    ~ScopedPortBoxNote();
    ScopedPortBoxNote(const ScopedPortBoxNote&) = delete;
    ScopedPortBoxNote& operator=(const ScopedPortBoxNote&) = delete;

  private:
    std::string previous_;
};

// The button of the port failure's box that opens the settings dialog.
constexpr const char* kSettingsButton = "Impostazioni...";

// Has the window handle its ports' notifications: CONNECT, then notification back on to it.
void install_connect_handler(gui::Window& window);

// The notification handler: notification off, then the bytes waiting in the ring (in pieces of
// up to 1000) appended to the receive buffer, until the ring is empty or the buffer holds
// kReceiveBufferHeld bytes.
void CONNECT(int handle);
// Takes into the (empty) receive buffer what the ring of a port held back by a full buffer has.
void refill_receive_buffer();
// Drops what the ring of a port held back by a full buffer has (its device went away).
void drop_held_back_bytes();

// Sends the bytes in pieces of 16384.
void SENDSTR(int handle, std::string_view bytes);

// Takes up to 1000 bytes from the port's ring.
std::string RECEIVESTR(int handle);

// True while the device of a port on a pseudo-terminal of the program's own has gone and no
// other has opened the line.
bool device_departed(int handle);
// Devices on pseudo-terminals of the program's own that have gone away so far (a count);
// `settled` as PtyStartGate::departures.
std::uint64_t device_departures(bool settled);
std::uint64_t port_departures(int handle, bool settled);
// Devices that have opened the line of a pseudo-terminal of the program's own after one had gone
// (PtyStartGate::arrivals); 0 for other ports.
std::uint64_t port_arrivals(int handle);
// True while a port whose line is a connection (tcp:) has none since its device went away.
bool connection_departed(int handle);
// True while bytes received from a device have not yet reached the receive buffer.
bool bytes_on_the_way();
// Between two commands, with nothing received left to take: the devices that have gone are done
// with, and a line that waits for that may let the next device in (PortLine::close_departures).
void close_departures();
// The window's thread waits for the device's bytes, or has stopped (PortLine::device_wait);
// `restart` when a command or the wait for one begins.
void note_device_wait(bool waiting, bool restart = false);

// ---- pieces exposed for their own tests ------------------------------------------------------

constexpr std::size_t kSendPieceSize = 16384;
constexpr std::size_t kReceivePieceSize = 1000;
// The receive buffer takes no more from the ring than this.
constexpr std::size_t kReceiveBufferHeld = 16384;

// Bytes waiting in a port's ring (0 for an unknown handle).
std::size_t bytes_in_ring(int handle);
// True while a port's reader thread runs.
bool reader_running(int handle);

// Hands the bytes to `write` in pieces of at most kSendPieceSize, in order; nothing for no bytes.
void send_in_pieces(std::string_view bytes, const std::function<void(std::string_view)>& write);

// The texts of the four failures of APRICOM.
std::string open_failure_text(const std::string& port_name);
std::string parameters_failure_text(const std::string& port_name);
std::string settings_failure_text(const std::string& port_name);
std::string notification_failure_text(const std::string& port_name);

}  // namespace kv::core
