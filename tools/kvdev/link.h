#pragma once
// The device's side of the serial line to KV32: a raw 57600 8N1 link over a serial device or a
// pseudo-terminal, or a TCP connection to KV32 serving on "tcp:PORT", with the framing of the
// protocol (command letters, bytes, 16-bit numbers low byte first, CR-ended strings) and reads
// that give up after a time-out.
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kv::dev {

using Timeout = std::chrono::milliseconds;

// A link that cannot be opened, configured or written.
class LinkError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class DeviceLink {
  public:
    // Opens a serial device or pseudo-terminal by path and configures it (raw, 57600 8N1); or
    // connects to "tcp:PORT" (on 127.0.0.1) or "tcp:HOST:PORT".
    static DeviceLink open(const std::string& path);
    // Takes an open descriptor (closed with the link) and configures it the same way (a socket
    // as it is).
    static DeviceLink adopt(int fd);

    DeviceLink(DeviceLink&& other) noexcept;
    DeviceLink& operator=(DeviceLink&& other) noexcept;
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    int fd() const { return fd_; }
    // True for a TCP connection, which KV32 begins with the start byte.
    bool is_connection() const { return socket_; }
    // Closes the line; the other side sees a hang-up.
    void close();

    // Sending; each call returns once every byte has been written.
    void send_command(char letter);
    void send_byte(std::uint8_t value);
    void send_uint16(std::uint16_t value);    // low byte first
    void send_string(std::string_view text);  // followed by CR
    void send_raw(std::string_view bytes);

    // One byte, or nothing when none came within the time-out.
    std::optional<std::uint8_t> read_byte(Timeout timeout);
    // Up to n bytes; fewer when the line stays silent for `idle` between two bytes.
    std::string read_bytes(std::size_t n, Timeout idle);
    // Bytes up to a CR (not included); nothing when the line stays silent for `idle` first.
    std::optional<std::string> read_line(Timeout idle);
    // Waits for the start byte 0x00 that KV32 sends when it begins serving; true when it came.
    // Other bytes before it are skipped.
    bool read_start_byte(Timeout timeout);
    // Drops every byte that has already arrived (what is left of earlier exchanges); returns
    // how many there were.
    std::size_t discard_input();
    // Waits until the line has been silent for `quiet` (at most `at_most` in all), dropping what
    // comes meanwhile: what is left of earlier exchanges, and the start byte that KV32 sends a
    // moment after a device first opens its pseudo-terminal.
    struct Settled {
        std::size_t dropped = 0;
        bool start_byte = false;  // the bytes dropped were a start byte 0x00 alone
    };
    Settled wait_for_quiet_line(Timeout quiet, Timeout at_most);
    // True when the other side has gone (hang-up or read error) since the last read.
    bool hung_up() const { return hung_up_; }

  private:
    explicit DeviceLink(int fd) : fd_(fd) {}
    void configure();
    // Reads what has come, up to `capacity` bytes, waiting at most `timeout` for the first;
    // 0 after the time-out or a hang-up.
    std::size_t read_some(char* out, std::size_t capacity, Timeout timeout);

    int fd_ = -1;
    bool socket_ = false;
    bool hung_up_ = false;
};

// A new pseudo-terminal pair for tests and emulators: KV32 opens the slave by its path, the
// device side talks on the master. Until release_slave(), the pair keeps its own descriptor to
// the slave, so that the master sees no hang-up before KV32 opens it or between two opens.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slave_path() const { return slave_path_; }
    // The device's end of the line (the master), as a link. Only once.
    DeviceLink take_master();
    void release_slave();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
};

}  // namespace kv::dev
