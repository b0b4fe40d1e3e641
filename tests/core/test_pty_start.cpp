// The gate of KV32's own pseudo-terminal on a real one: the first device's start byte, and a
// device that comes back the moment the last one left, which must meet nothing meant for that one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "core/pty_start.h"
#include "platform/serial_device.h"
#include "tools/kvdev/link.h"

namespace kv::core {
namespace {

using namespace std::chrono_literals;

// Until `done`, or 5 s.
bool eventually(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(PtyStartGate, ADeviceThatComesBackAtOnceIsANewDeviceWithItsOwnStartByte) {
    auto pty = platform::open_pseudo_terminal();
    ASSERT_TRUE(pty);
    {
        PtyStartGate gate(pty->master, pty->slave, pty->slave_path);
        EXPECT_TRUE(gate.hold(std::string_view("\0", 1)));  // no device yet: kept for it
        auto first = dev::DeviceLink::open(pty->slave_path);
        EXPECT_EQ(first.read_byte(5s), 0);
        EXPECT_FALSE(gate.hold("x", 0));
        EXPECT_EQ(gate.write("old", 3, 0), 3);  // queued, never read: the device leaves
        first.close();
        ASSERT_TRUE(eventually([&] { return gate.departures(false) == 1; }));
        EXPECT_TRUE(gate.departed());
        // The command in progress when the last device left writes nothing.
        EXPECT_TRUE(gate.hold("late", 0));
        errno = 0;
        EXPECT_EQ(gate.write("late", 4, 0), -1);
        EXPECT_EQ(errno, EPIPE);
        // The line refuses the next device until the window's thread is done with the last one,
        // so nothing the next one sends can reach the last one's command.
        EXPECT_LT(::open(pty->slave_path.c_str(), O_RDWR | O_NOCTTY), 0);
        EXPECT_EQ(errno, EIO);
        ASSERT_TRUE(eventually([&] {
            gate.close_departures();
            return gate.departures(true) == 1;
        }));
        gate.close_departures();
        auto next = dev::DeviceLink::open(pty->slave_path);
        ASSERT_TRUE(
            eventually([&] { return !gate.departed(); }));  // a device has the line: a new one
        // No start byte until the window's thread is done with the last device.
        EXPECT_FALSE(next.read_byte(300ms));
        std::optional<std::uint8_t> start;
        ASSERT_TRUE(eventually([&] {
            gate.close_departures();
            start = next.read_byte(10ms);
            return start.has_value();
        }));
        EXPECT_EQ(*start, 0);
        EXPECT_EQ(next.read_bytes(1, 200ms), "");  // nothing of "old" or "late"
        EXPECT_FALSE(gate.hold("new", 1));
        EXPECT_EQ(gate.write("new", 3, 1), 3);
        EXPECT_EQ(next.read_bytes(3, 5s), "new");
    }
    ::close(pty->master);
    ::close(pty->slave);
}

}  // namespace
}  // namespace kv::core
