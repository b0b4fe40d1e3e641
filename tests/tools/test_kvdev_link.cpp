// kvdev's link: the protocol's framing on the wire, reads that give up, hang-ups.
#include <gtest/gtest.h>

#include "tools/kvdev/link.h"

namespace kv::dev {
namespace {

using namespace std::chrono_literals;

// The device's end on the master, the host's (KV32's) end on the slave.
struct Line {
    PtyPair pair;
    DeviceLink device = pair.take_master();
    DeviceLink host = DeviceLink::open(pair.slave_path());
};

TEST(DeviceLink, SendsTheProtocolsFramingByteForByte) {
    Line line;
    line.device.send_command('S');
    line.device.send_byte(0xFF);
    line.device.send_uint16(0x1234);
    line.device.send_string("A\nB");
    line.device.send_string("");
    line.device.send_raw(std::string("\x00\x11\x13", 3));
    const std::string expected(
        "S\xFF\x34\x12"
        "A\nB\r"
        "\r"
        "\x00\x11\x13",
        12);
    EXPECT_EQ(line.host.read_bytes(expected.size(), 5s), expected);
}

TEST(DeviceLink, ReadsGiveUpWhenTheLineIsSilent) {
    Line line;
    EXPECT_FALSE(line.device.read_byte(10ms));
    line.host.send_raw("AB");
    EXPECT_EQ(line.device.read_bytes(5, 20ms), "AB");
    line.host.send_raw("name\rrest");
    EXPECT_EQ(line.device.read_line(5s), "name");
    EXPECT_FALSE(line.device.read_line(20ms));  // "rest" has no CR
    EXPECT_FALSE(line.device.hung_up());
}

TEST(DeviceLink, TheStartByteIsFoundAfterOtherBytes) {
    Line line;
    EXPECT_FALSE(line.device.read_start_byte(10ms));
    line.host.send_raw(std::string("xy\0z", 4));
    EXPECT_TRUE(line.device.read_start_byte(5s));
    EXPECT_EQ(line.device.read_byte(5s), 'z');
}

TEST(DeviceLink, AHostThatGoesAwayIsSeenAsAHangUp) {
    Line line;
    line.pair.release_slave();
    line.host.close();
    EXPECT_FALSE(line.device.read_byte(5s));
    EXPECT_TRUE(line.device.hung_up());
}

TEST(DeviceLink, OpeningSomethingThatIsNoLineFails) {
    EXPECT_THROW(DeviceLink::open("/nonexistent/ttyS0"), LinkError);
    EXPECT_THROW(DeviceLink::open("/dev/null"), LinkError);
    PtyPair pair;
    pair.take_master();
    EXPECT_THROW(pair.take_master(), LinkError);
}

}  // namespace
}  // namespace kv::dev
