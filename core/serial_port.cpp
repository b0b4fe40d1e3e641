#include "core/serial_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/serial_device.h"

namespace kv::core {

namespace {

constexpr std::size_t kReaderPassSize = 1023;

bool is_passing_error(int error) {
    return error == EINTR || error == EAGAIN;
}

}  // namespace

SerialPort::SerialPort(int handle, std::string name, int device, int keep_open)
    : handle_(handle), name_(std::move(name)), device_(device), keep_open_(keep_open) {}

SerialPort::~SerialPort() {
    stop_reader();
    platform::close_serial_device(device_);
    if (keep_open_ >= 0) ::close(keep_open_);
    if (wake_ >= 0) ::close(wake_);
}

bool SerialPort::start_reader(ReaderEndHandler on_end) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) return false;
    try {
        reader_running_ = true;
        reader_ = std::thread([this, on_end = std::move(on_end)] { run_reader(on_end); });
    } catch (const std::system_error&) {
        reader_running_ = false;
        return false;
    }
    return true;
}

void SerialPort::stop_reader() {
    if (!reader_.joinable()) return;
    closing_ = true;
    wake_reader();
    gate_.close();
    reader_.join();
}

void SerialPort::set_notify_window(gui::Hwnd window) {
    notify_window_ = window;
    if (window != 0 && !ring_.empty()) wake_reader();
}

std::size_t SerialPort::read(char* out, std::size_t capacity) {
    std::size_t count = ring_.pop(out, capacity);
    if (count > 0 && waiting_for_room_) wake_reader();
    return count;
}

std::size_t SerialPort::write(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(device_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd out{device_, POLLOUT, 0};
            ::poll(&out, 1, -1);
        } else {
            break;
        }
    }
    return done;
}

void SerialPort::wake_reader() {
    if (wake_ < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wake_, &one, sizeof one);
}

void SerialPort::clear_wake() {
    std::uint64_t count;
    [[maybe_unused]] auto ignored = ::read(wake_, &count, sizeof count);
}

void SerialPort::run_reader(ReaderEndHandler on_end) {
    std::string why;
    Pass pass = Pass::kGoOn;
    while (pass == Pass::kGoOn && !closing_) {
        pass = reader_pass(why);
        if (pass == Pass::kGoOn && !closing_) notify_window_if_bytes_wait();
    }
    reader_running_ = false;
    if (pass == Pass::kEnded && !closing_ && on_end) on_end(why);
}

// Waits until the device has bytes (while the ring has room for them), the device hangs up,
// or the reader is woken; then moves what the device holds into the ring. A full ring leaves
// the bytes in the driver until the window's thread makes room.
SerialPort::Pass SerialPort::reader_pass(std::string& why) {
    bool has_room = ring_.room() > 0;
    if (!has_room) {
        waiting_for_room_ = true;
        has_room = ring_.room() > 0;  // room made just before the flag was seen
    }
    pollfd fds[2] = {{device_, static_cast<short>(has_room ? POLLIN : 0), 0}, {wake_, POLLIN, 0}};
    int ready = ::poll(fds, 2, -1);
    waiting_for_room_ = false;
    if (ready < 0) {
        if (is_passing_error(errno)) return Pass::kGoOn;
        why = std::string("waiting on the port failed (") + std::strerror(errno) + ")";
        return Pass::kEnded;
    }
    if (fds[1].revents & POLLIN) clear_wake();
    if (closing_) return Pass::kClosing;
    if (fds[0].revents & POLLIN) return take_from_device(why);
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        why = "the device hung up";
        return Pass::kEnded;
    }
    return Pass::kGoOn;
}

SerialPort::Pass SerialPort::take_from_device(std::string& why) {
    char buffer[kReaderPassSize];
    std::size_t wanted = std::min(kReaderPassSize, ring_.room());
    ssize_t n = ::read(device_, buffer, wanted);
    if (n > 0) {
        ring_.push(std::string_view(buffer, static_cast<std::size_t>(n)));
        return Pass::kGoOn;
    }
    if (n < 0 && is_passing_error(errno)) return Pass::kGoOn;
    why = n == 0 || errno == EIO ? std::string("the device hung up")
                                 : std::string("reading failed (") + std::strerror(errno) + ")";
    return Pass::kEnded;
}

void SerialPort::notify_window_if_bytes_wait() {
    if (ring_.empty()) return;
    gui::Hwnd window = notify_window_;
    if (window != 0) gui::send_message(window, gui::WM_COMMNOTIFY, handle_, 1, gate_);
}

}  // namespace kv::core
