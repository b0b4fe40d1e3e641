#pragma once
// A port whose line is a TCP connection: KV32 listens, and a device emulator connects. One
// connection is served at a time, byte for byte as a serial line (no telnet negotiation). Each
// connection is a device that opens the line: its first byte is the start byte 0x00. A connection
// that closes is a device that went away: what it sent before is still served, a command that
// waits for more is given up, and what is written until the next connection goes nowhere.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/port_line.h"
#include "core/serial_ring.h"
#include "platform/tcp_allow.h"

namespace kv::core {

// How a TCP line is shared. While another connection waits, the served one is let go once the
// window's thread has waited for its bytes for the idle limit in all since its command (or the
// wait for one) began: a device that is silent at the command wait, or one whose command's bytes
// come slower than the line can carry them. With nobody waiting a quiet device keeps the line.
// Peers outside the allowed networks (when there are any) are turned away at once.
struct TcpPolicy {
    std::chrono::nanoseconds idle_limit = std::chrono::seconds(30);
    std::vector<platform::Network> allowed;
};
// The policy of TCP lines opened from now on.
void set_tcp_policy(TcpPolicy policy);
const TcpPolicy& tcp_policy();

class TcpLine : public PortLine {
  public:
    // What the reader tells, from its own thread.
    struct Events {
        std::function<void(const std::string& peer)> connected;
        // The connection closed; the reader waits for the next one.
        std::function<void(const std::string& peer)> lost;
        // A third connection came while one is served and another waits, and was closed at once.
        std::function<void(const std::string& peer, const std::string& served)> refused;
        // A connection from outside the allowed networks was closed at once.
        std::function<void(const std::string& peer)> not_allowed;
        // The served connection was let go for the one that waits (the idle limit passed).
        std::function<void(const std::string& peer, const std::string& waiting)> let_go;
        // The reader has ended before the port was closed: the connection closed while
        // `end_on_loss` was set, or waiting failed.
        std::function<void(const std::string& why)> ended;
        bool end_on_loss = false;
    };

    // Takes the listening socket.
    TcpLine(int handle, int listener, Events events, TcpPolicy policy = tcp_policy());
    ~TcpLine() override;
    TcpLine(const TcpLine&) = delete;
    TcpLine& operator=(const TcpLine&) = delete;

    // Starts the reader thread; false when it cannot be started.
    bool start_reader();

    void set_notify_window(gui::Hwnd window) override;
    std::size_t read(char* out, std::size_t capacity) override;
    std::size_t write(std::string_view bytes) override;
    // Gives up when the device takes nothing for the stall limit, or when `give_up` says so.
    std::size_t write_within(std::string_view bytes, const WriteLimits& limits) override;
    std::optional<platform::Dcb> settings() override;
    bool apply_settings(const platform::Dcb& settings) override;
    std::uint64_t departures(bool settled) const override;
    bool departed() const override { return ever_arrived_ && !connected_; }
    void close_departures() override;
    std::size_t bytes_waiting() const override { return ring_.used(); }
    bool reader_running() const override { return reader_running_; }
    void device_wait(bool waiting, bool restart) override;

  private:
    void run_reader();
    // One wait of the reader; false when the reader ends.
    bool reader_pass();
    void accept_connection();
    // Serves a connection: the start byte, and the news.
    void serve_connection(int fd, const std::string& peer);
    // A connection while one is served: it waits, or is turned away when one waits already.
    void hold_or_refuse_connection();
    // The time the window's thread has waited for the served device since its count began.
    std::chrono::nanoseconds device_waited() const;
    // Lets the served connection go when another waits and the idle limit has passed; the
    // time left until then otherwise (nothing: no limit applies).
    std::optional<std::chrono::nanoseconds> apply_idle_limit();
    // True when the served connection closes within a moment.
    bool connection_closing();
    // Reads what the connection holds into the ring; false when it has closed.
    bool take_from_connection();
    // Ends the served connection; `closed`: the device closed it (told as lost).
    void drop_connection(bool closed);
    void notify_window_if_bytes_wait();
    void wake_reader();
    void clear_wake();
    // Sends on the connection (under send_mutex_).
    std::size_t send_all(std::string_view bytes, const WriteLimits& limits = {});

    const int handle_;
    const int listener_;
    Events events_;
    int wake_ = -1;        // eventfd that wakes the reader from poll()
    int connection_ = -1;  // replaced only by the reader, under send_mutex_
    std::string peer_;     // reader's thread only
    int waiting_ = -1;     // a connection that waits for the line (reader's thread only)
    std::string waiting_peer_;
    const TcpPolicy policy_;
    // The window's thread's waits for the device's bytes: the time counted before the wait in
    // progress, and when that one began (steady clock, 0: none).
    std::atomic<std::int64_t> waited_ns_{0};
    std::atomic<std::int64_t> wait_began_ns_{0};

    // Writes go to the connection under this lock; before the first connection they wait (the
    // start byte), between connections they are dropped.
    std::mutex send_mutex_;
    bool ever_connected_ = false;
    std::string held_;

    ByteRing ring_;
    // The bytes the reader has put into the ring and the count the window's thread has taken;
    // the connections that closed, and how many bytes had been put into the ring when the last
    // one did: until they have all been taken, that departure is not settled and no new
    // connection is taken, so that what one device sent is never mixed with the next one's.
    std::atomic<std::uint64_t> pushed_{0};
    std::atomic<std::uint64_t> taken_{0};
    std::atomic<std::uint64_t> departures_{0};
    std::atomic<std::uint64_t> last_departure_mark_{0};
    // The departures the window's thread is done with (close_departures): the next connection
    // is taken only once it has caught up, as a command of the last device may still be waiting
    // for bytes that must not come from the next one.
    std::atomic<std::uint64_t> closed_departures_{0};
    std::atomic<bool> connected_{false};
    std::atomic<bool> ever_arrived_{false};

    std::mutex settings_mutex_;
    std::optional<platform::Dcb> settings_;

    std::atomic<gui::Hwnd> notify_window_{0};
    std::atomic<bool> waiting_for_room_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> reader_running_{false};
    gui::SendGate gate_;
    std::thread reader_;
};

}  // namespace kv::core
