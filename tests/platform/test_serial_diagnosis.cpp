// Why a port cannot be opened, in plain words, against real files and devices; the machine's
// serial devices as sysfs describes them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/serial_device.h"
#include "platform/serial_diagnosis.h"
#include "tests/support/temp_dir.h"

namespace kv::platform {
namespace {

TEST(SerialDiagnosis, EachCauseOfARealFailureInWords) {
    test::TempDir dir;
    const std::string file = dir.write("plain.txt", "x").string();
    auto pty = open_pseudo_terminal();
    ASSERT_TRUE(pty);
    const int held = open_serial_device(pty->slave_path);  // this process holds it now
    ASSERT_GE(held, 0);
    struct Case {
        std::string name;
        int error;
        std::string details;
    };
    const std::vector<Case> cases{
        {"/dev/kv32-none", ENOENT, "/dev/kv32-none: there is no such device."},
        {"COM99", ENOENT, "COM99 is /dev/ttyS98: there is no such device."},
        {file, ENOTTY, file + ": it is a plain file, not a serial port."},
        {dir.str(), EISDIR, dir.str() + ": it is a folder, not a serial port."},
        {"null", ENOTTY, "null is /dev/null: it is a device, but not a serial port."},
        {pty->slave_path, EBUSY, pty->slave_path + ": it is in use by another program"},
    };
    for (const auto& c : cases) {
        const std::string path = serial_device_path(c.name);
        EXPECT_EQ(probe_serial_device(path), c.error) << c.name;
        const std::string details = open_failure_details(c.name, c.error);
        EXPECT_EQ(details.rfind(c.details, 0), 0u) << details;
    }
    EXPECT_NE(open_failure_details("/dev/kv32-none", ENOENT).find("kv32 --list-ports"),
              std::string::npos);
    close_serial_device(held);
    EXPECT_EQ(probe_serial_device(pty->slave_path), 0);
    ::close(pty->slave);
    ::close(pty->master);
}

TEST(SerialDiagnosis, PermissionDeniedSaysWhoMayOpenTheDevice) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser may open anything";
    auto pty = open_pseudo_terminal();
    ASSERT_TRUE(pty);
    ASSERT_EQ(::chmod(pty->slave_path.c_str(), 0), 0);
    EXPECT_EQ(probe_serial_device(pty->slave_path), EACCES);
    EXPECT_NE(open_failure_details(pty->slave_path, EACCES).find(": permission denied: only its"),
              std::string::npos);
    ::close(pty->slave);
    ::close(pty->master);
    // The machine's first serial port usually belongs to root and group dialout.
    struct stat st {};
    if (::stat("/dev/ttyS0", &st) != 0) return;
    const int error = probe_serial_device("/dev/ttyS0");
    if (error != EACCES) return;
    const std::string details = open_failure_details("COM1", error);
    EXPECT_EQ(details.rfind("COM1 is /dev/ttyS0: permission denied: ", 0), 0u) << details;
    if (st.st_mode & S_IWGRP) {
        EXPECT_NE(details.find("sudo usermod -aG "), std::string::npos);
    }
}

TEST(SerialDiagnosis, ListsDevicesInOrderWithWhatSysfsTells) {
    test::TempDir dev, sys;
    for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM0", "ttyX", "sda", "ttyS"})
        dev.write(name, "");
    sys.write("ttyS2/type", "4\n");
    sys.write("ttyS2/port", "0x3E8\n");
    sys.write("ttyS10/type", "0\n");
    sys.write("usb/1-1/product", "FT232R USB UART\n");
    sys.write("usb/1-1/manufacturer", "FTDI\n");
    sys.write("usb/1-1/idVendor", "0403\n");
    sys.write("usb/1-1/idProduct", "6001\n");
    std::filesystem::create_directories(sys.path() / "usb/1-1/1-1:1.0/ttyUSB0");
    std::filesystem::create_directories(sys.path() / "ttyUSB0");
    std::filesystem::create_directory_symlink(sys.path() / "usb/1-1/1-1:1.0/ttyUSB0",
                                              sys.path() / "ttyUSB0/device");
    std::filesystem::create_directories(dev.path() / "serial/by-id");
    std::filesystem::create_symlink("../../ttyUSB0", dev.path() / "serial/by-id/usb-FTDI-port0");

    const auto devices = list_serial_devices(dev.str(), sys.str());
    std::vector<std::string> seen;
    for (const auto& d : devices)
        seen.push_back(d.path.substr(dev.str().size() + 1) + ": " + d.description);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "ttyACM0: USB modem or board",
                        "ttyS2: serial port (0x3E8, UART type 4)",
                        "ttyS10: serial port, no UART detected",
                        "ttyUSB0: USB serial adapter: FTDI FT232R USB UART (USB 0403:6001)",
                    }));
    EXPECT_EQ(devices[3].aliases,
              std::vector<std::string>{dev.str() + "/serial/by-id/usb-FTDI-port0"});
}

}  // namespace
}  // namespace kv::platform
