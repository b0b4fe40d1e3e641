#include "core/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "core/bounded_write.h"
#include "platform/serial_device.h"

namespace kv::core {

namespace {

constexpr std::size_t kReaderPassSize = 1023;

bool is_passing_error(int error) {
    return error == EINTR || error == EAGAIN;
}

// Errors of a device that has gone away (unplugged, hung up).
bool is_gone_error(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// Watches the folder of a path for entries that appear or change; -1 when it cannot (the folder
// itself may be gone: then only the periodic look finds the device).
int watch_folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0) return -1;
    if (::inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ATTRIB) < 0) {
        ::close(watch);
        return -1;
    }
    return watch;
}

void drain(int fd) {
    char buffer[4096];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
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

std::size_t SerialPort::write(std::string_view bytes, std::chrono::milliseconds stall_limit,
                              const std::function<bool()>& give_up, const Writer& through) {
    // Without blocking: a device that stops reading must not hold the window's thread for ever.
    // The reader thread copes with a descriptor that does not block (it polls first).
    const int flags = ::fcntl(device_, F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK)) ::fcntl(device_, F_SETFL, flags | O_NONBLOCK);
    if (through) return write_bounded(device_, bytes, stall_limit, give_up, through);
    return write_bounded(device_, bytes, stall_limit, give_up,
                         [fd = device_](const char* data, std::size_t size) {
                             return static_cast<long>(::write(fd, data, size));
                         });
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

void SerialPort::remember_settings(const platform::Dcb& settings) {
    std::lock_guard lock(settings_mutex_);
    settings_ = settings;
}

void SerialPort::run_reader(ReaderEndHandler on_end) {
    std::string why;
    Pass pass = Pass::kGoOn;
    while (pass == Pass::kGoOn && !closing_) {
        pass = reader_pass(why);
        if (pass == Pass::kGone && !reopen_.path.empty()) {
            if (!wait_for_device(why)) break;
            pass = Pass::kGoOn;
        }
        if (pass == Pass::kGoOn && !closing_) notify_window_if_bytes_wait();
    }
    reader_running_ = false;
    if ((pass == Pass::kEnded || pass == Pass::kGone) && !closing_ && on_end) on_end(why);
}

bool SerialPort::wait_for_device(const std::string& why) {
    const int watch = watch_folder_of(reopen_.path);
    if (reopen_.lost) reopen_.lost(why);
    // A device that is back at once and gone again (a line that keeps failing) is looked at
    // again only after the recheck time, so that the reader never spins.
    bool look_now = std::chrono::steady_clock::now() - last_reopen_ >= reopen_.recheck;
    bool back = false;
    while (!closing_ && !back) {
        if (look_now && reopen_device()) {
            back = true;
            break;
        }
        pollfd fds[2] = {{wake_, POLLIN, 0}, {watch, POLLIN, 0}};
        const int ready =
            ::poll(fds, watch >= 0 ? 2 : 1, static_cast<int>(reopen_.recheck.count()));
        if (ready < 0 && !is_passing_error(errno)) break;
        if (fds[0].revents & POLLIN) clear_wake();
        if (watch >= 0 && (fds[1].revents & POLLIN)) drain(watch);
        look_now = true;
    }
    if (watch >= 0) ::close(watch);
    if (back && reopen_.back) reopen_.back();
    return back;
}

bool SerialPort::reopen_device() {
    const int fd = platform::open_serial_device(reopen_.path);
    if (fd < 0) return false;
    std::optional<platform::Dcb> settings;
    {
        std::lock_guard lock(settings_mutex_);
        settings = settings_;
    }
    if ((settings && !platform::apply_dcb_to_device(fd, *settings)) || ::dup2(fd, device_) < 0) {
        platform::close_serial_device(fd);
        return false;
    }
    ::close(fd);  // the device stays open under the port's own descriptor
    last_reopen_ = std::chrono::steady_clock::now();
    return true;
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
        return Pass::kGone;
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
    if (n == 0 || is_gone_error(errno)) {
        why = "the device hung up";
        return Pass::kGone;
    }
    why = std::string("reading failed (") + std::strerror(errno) + ")";
    return Pass::kEnded;
}

void SerialPort::notify_window_if_bytes_wait() {
    if (ring_.empty()) return;
    gui::Hwnd window = notify_window_;
    if (window != 0) gui::send_message(window, gui::WM_COMMNOTIFY, handle_, 1, gate_);
}

}  // namespace kv::core
