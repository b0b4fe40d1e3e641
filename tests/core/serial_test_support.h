#pragma once
// A serial port opened by the serial layer on one side of a pseudo-terminal, with the device's
// side as a kvdev link, and a way to let the window's thread handle notifications until a
// condition holds.
#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/receive_buffer.h"
#include "core/serial.h"
#include "gui/window.h"
#include "tools/kvdev/link.h"

namespace kv::test {

// Handles the window thread's events until `done` holds; false when it still does not hold after
// a generous limit (a failing test, never a timing).
inline bool pump_until(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Every byte value in order, repeated to the given length.
inline std::string counting_bytes(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i * 7 % 256);
    return bytes;
}

inline std::string take_receive_buffer() {
    std::string bytes;
    for (auto c = core::GETCHAR(); !c.empty(); c = core::GETCHAR()) bytes += c;
    return bytes;
}

// A pseudo-terminal whose slave the serial layer opens by path, the master as the device.
struct PortOnPty {
    dev::PtyPair pty;
    dev::DeviceLink device = pty.take_master();
    gui::Window window;

    PortOnPty() { core::receive_buffer().clear(); }

    // Opens the port as the program does at start-up.
    int apricom() { return core::APRICOM(window, pty.slave_path()); }

    // Opens and configures the port without notification.
    int open_quietly() {
        int handle = core::OPENCOMM(pty.slave_path(), 16384, 16384);
        std::string block;
        if (handle >= 0 && core::BUILDCOMMDCB("57600,N,8,1", block, handle))
            core::SETCOMMSTATE(handle, block);
        return handle;
    }
};

}  // namespace kv::test
