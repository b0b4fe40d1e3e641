// Port names to devices, opening a terminal device for the program alone, new pseudo-terminals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/serial_device.h"
#include "serial_test_io.h"
#include "tests/support/temp_dir.h"

namespace kv::platform {
namespace {

TEST(SerialDevicePath, PortNamesMapOntoDevices) {
    EXPECT_EQ(serial_device_path("COM1"), "/dev/ttyS0");
    EXPECT_EQ(serial_device_path("com12"), "/dev/ttyS11");
    EXPECT_EQ(serial_device_path("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(serial_device_path("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(serial_device_path("ttyACM1"), "/dev/ttyACM1");
    EXPECT_EQ(serial_device_path("COM0"), "/dev/COM0");
    EXPECT_EQ(serial_device_path("COMX"), "/dev/COMX");
    EXPECT_TRUE(is_pseudo_terminal_name("PTY"));
    EXPECT_TRUE(is_pseudo_terminal_name("pty"));
    EXPECT_FALSE(is_pseudo_terminal_name("PTY1"));
    EXPECT_FALSE(is_pseudo_terminal_name("/dev/ptmx"));
}

TEST(OpenSerialDevice, OpensATerminalBlockingForThisProgramAlone) {
    auto pty = open_pseudo_terminal();
    ASSERT_TRUE(pty);
    termios t{};
    ASSERT_EQ(tcgetattr(pty->slave, &t), 0);
    t.c_cflag |= HUPCL;
    ASSERT_EQ(tcsetattr(pty->slave, TCSANOW, &t), 0);

    int fd = open_serial_device(pty->slave_path);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_cflag & HUPCL, 0u);
    // A second user of the same port is turned away.
    EXPECT_EQ(open_serial_device(pty->slave_path), -1);
    close_serial_device(fd);
    int again = open_serial_device(pty->slave_path);
    EXPECT_GE(again, 0);
    close_serial_device(again);
    close(pty->slave);
    close(pty->master);
}

TEST(OpenSerialDevice, AMissingDeviceOrAFileThatIsNoTerminalIsRefused) {
    kv::test::TempDir dir;
    EXPECT_EQ(open_serial_device((dir.path() / "ttyS99").string()), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(open_serial_device(dir.write("plain", "data").string()), -1);
    EXPECT_EQ(errno, ENOTTY);
}

TEST(PseudoTerminal, BytesPassBetweenTheSlavePathAndTheMaster) {
    auto pty = open_pseudo_terminal();
    ASSERT_TRUE(pty);
    EXPECT_EQ(pty->slave_path.rfind("/dev/pts/", 0), 0u);
    int device = open(pty->slave_path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(device, 0);
    const std::string bytes("a\r\n\x00z", 5);
    ASSERT_EQ(write(device, bytes.data(), bytes.size()), 5);
    const std::string got = kv::test::read_exactly(pty->master, bytes.size());
    EXPECT_EQ(got, bytes);  // raw from the start: no CR LF added, nothing echoed
    close(device);
    close(pty->slave);
    close(pty->master);
}

}  // namespace
}  // namespace kv::platform
