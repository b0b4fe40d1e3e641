// The serial layer on a pseudo-terminal: bytes in both directions, the notification that moves
// them into the receive buffer, and what they guarantee (no byte left behind, a full ring waits).
#include <gtest/gtest.h>

#include <termios.h>

#include <cstring>
#include <future>
#include <optional>
#include <thread>

#include <QAbstractButton>
#include <QMessageBox>

#include "core/log.h"
#include "gui/message_box.h"
#include "serial_test_support.h"
#include "tests/support/temp_dir.h"

namespace kv::core {
namespace {

using kv::test::counting_bytes;
using kv::test::PortOnPty;
using kv::test::pump_until;
using kv::test::take_receive_buffer;
using namespace std::chrono_literals;

TEST(SerialPort, EveryByteValueReachesTheReceiveBufferInOrder) {
    PortOnPty line;
    int handle = line.apricom();
    ASSERT_GE(handle, 0);
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<char>(i);
    line.device.send_raw(all);
    ASSERT_TRUE(pump_until([] { return receive_buffer().size() >= 256; }));
    EXPECT_EQ(take_receive_buffer(), all);
    EXPECT_TRUE(CLOSECOMM(handle));
}

TEST(SerialPort, SendstrDeliversEveryByteOfALongString) {
    PortOnPty line;
    int handle = line.apricom();
    ASSERT_GE(handle, 0);
    const std::string bytes = counting_bytes(40000);
    auto received =
        std::async(std::launch::async, [&] { return line.device.read_bytes(bytes.size(), 5s); });
    SENDSTR(handle, bytes);
    EXPECT_EQ(received.get(), bytes);
    EXPECT_TRUE(CLOSECOMM(handle));
}

TEST(SerialPort, ABurstLargerThanOnePieceReachesTheBufferWithoutFurtherBytes) {
    PortOnPty line;
    int handle = line.apricom();
    ASSERT_GE(handle, 0);
    const std::string burst = counting_bytes(1023);
    line.device.send_raw(burst);
    // The device now waits for an answer and sends nothing more: every byte must still arrive.
    ASSERT_TRUE(pump_until([] { return receive_buffer().size() >= 1023; }));
    EXPECT_EQ(take_receive_buffer(), burst);
    EXPECT_EQ(bytes_in_ring(handle), 0u);
    CLOSECOMM(handle);
}

TEST(SerialPort, AFullRingHoldsTheRestInTheDriverAndLosesNothing) {
    PortOnPty line;
    int handle = line.open_quietly();
    ASSERT_GE(handle, 0);
    const std::string bytes = counting_bytes(6000);
    std::thread writer([&] { line.device.send_raw(bytes); });
    // Without notification nobody drains the ring: it fills up and the reader waits for room.
    ASSERT_TRUE(pump_until([&] { return bytes_in_ring(handle) == 2047; }));
    // Bytes that came before notification was on reach the buffer once it is, unasked.
    install_connect_handler(line.window);
    ASSERT_TRUE(ENABLECOMMNOTIFICATION(handle, line.window.handle(), 1, -1));
    ASSERT_TRUE(pump_until([&] { return receive_buffer().size() >= bytes.size(); }));
    writer.join();
    EXPECT_EQ(take_receive_buffer(), bytes);
    CLOSECOMM(handle);
}

// While the window's events run and nothing takes the bytes (a box is open, say), a device that
// goes on sending is held back in the ring and the driver, not in the program's memory.
TEST(SerialPort, AFullReceiveBufferLeavesTheRestToTheDriverAndLosesNothing) {
    PortOnPty line;
    int handle = line.apricom();
    ASSERT_GE(handle, 0);
    const std::string bytes = counting_bytes(1 << 20);
    std::thread writer([&] { line.device.send_raw(bytes); });
    ASSERT_TRUE(pump_until([&] {
        return receive_buffer().size() == bytes.size() ||
               (receive_buffer().size() >= kReceiveBufferHeld && bytes_in_ring(handle) == 2047);
    }));
    EXPECT_LE(receive_buffer().size(), kReceiveBufferHeld + kReceivePieceSize);
    std::string received;
    ASSERT_TRUE(pump_until([&] {
        EXPECT_LE(receive_buffer().size(), kReceiveBufferHeld + kReceivePieceSize);
        received += take_receive_buffer();
        return received.size() >= bytes.size();
    }));
    writer.join();
    EXPECT_EQ(received, bytes);
    CLOSECOMM(handle);
}

TEST(SerialPort, ReadcommTakesWhatFitsAndRingWaitsWithoutNotification) {
    PortOnPty line;
    int handle = line.open_quietly();
    ASSERT_GE(handle, 0);
    line.device.send_raw("ABCDE");
    ASSERT_TRUE(pump_until([&] { return bytes_in_ring(handle) == 5; }));
    std::string buffer(3, ' ');
    EXPECT_EQ(READCOMM(handle, buffer), 3);
    EXPECT_EQ(buffer, "ABC");
    EXPECT_EQ(RECEIVESTR(handle), "DE");
    EXPECT_EQ(RECEIVESTR(handle), "");
    EXPECT_TRUE(receive_buffer().empty());
    CLOSECOMM(handle);
}

TEST(SerialPort, CloseReleasesAReaderWaitingInItsNotification) {
    PortOnPty line;
    int handle = line.apricom();
    ASSERT_GE(handle, 0);
    line.device.send_raw("X");
    // The window's thread does not handle the notification: the reader waits in its send.
    while (bytes_in_ring(handle) == 0) std::this_thread::yield();
    EXPECT_TRUE(CLOSECOMM(handle));
    EXPECT_FALSE(CLOSECOMM(handle));
}

TEST(SerialPort, ClosingSendsNothingToTheDevice) {
    PortOnPty line;
    int handle = line.apricom();
    ASSERT_GE(handle, 0);
    EXPECT_TRUE(CLOSECOMM(handle));
    EXPECT_EQ(line.device.read_bytes(1, 50ms), "");
}

TEST(SerialPort, ADeviceThatHangsUpIsLoggedAndWaitedForOrEndsTheProgram) {
    for (const bool end_program : {false, true}) {
        std::vector<std::string> log;
        ScopedLogSink sink([&](const std::string& line) { log.push_back(line); });
        bool ended = false;
        std::optional<ScopedHangupEnd> end_on_hangup;
        if (end_program) end_on_hangup.emplace([&] { ended = true; });
        PortOnPty line;
        int handle = line.apricom();
        ASSERT_GE(handle, 0);
        line.pty.release_slave();
        line.device.close();  // the adapter is unplugged
        ASSERT_TRUE(pump_until([&] { return !log.empty(); }));
        EXPECT_NE(log.back().find(line.pty.slave_path() + ": the device hung up; "),
                  std::string::npos);
        EXPECT_EQ(ended, end_program);
        // Without an end to call, the reader waits for the device to come back.
        EXPECT_EQ(reader_running(handle), !end_program);
        EXPECT_NE(log.back().find(end_program ? "ending" : "waiting for it to come back"),
                  std::string::npos)
            << log.back();
        EXPECT_TRUE(CLOSECOMM(handle));  // ends a waiting reader too
    }
}

TEST(SerialPort, ThePtyPortNameServesOnANewPseudoTerminalThatDevicesMayReopen) {
    std::vector<std::string> log;
    ScopedLogSink sink([&](const std::string& line) { log.push_back(line); });
    receive_buffer().clear();
    gui::Window window;
    int handle = APRICOM(window, "pty");
    ASSERT_GE(handle, 0);
    ASSERT_EQ(log.size(), 1u);
    const std::string path = log[0].substr(log[0].rfind(' ') + 1);
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << log[0];
    for (const char* bytes : {"first", "second"}) {
        const bool second = std::string(bytes) == "second";
        // The line refuses the next device until the window's thread is done with the last.
        auto opening = std::async(std::launch::async, [&] { return dev::DeviceLink::open(path); });
        ASSERT_TRUE(pump_until([&] {
            if (second) close_departures();
            return opening.wait_for(0s) == std::future_status::ready;
        }));
        auto device = opening.get();
        if (second) {
            // A device that opens the line after the last one left is a new device: its own start
            // byte, once the window's thread is done with the last (as the command loop says).
            auto start = std::async(std::launch::async, [&] { return device.read_bytes(1, 5s); });
            ASSERT_TRUE(pump_until([&] {
                close_departures();
                return start.wait_for(0s) == std::future_status::ready;
            }));
            EXPECT_EQ(start.get(), std::string(1, '\0'));
        }
        device.send_raw(bytes);
        ASSERT_TRUE(pump_until([&] { return receive_buffer().size() >= std::strlen(bytes); }));
        EXPECT_EQ(take_receive_buffer(), bytes);
        SENDSTR(handle, std::string("\0ok", 3));
        EXPECT_EQ(device.read_bytes(3, 5s), std::string("\0ok", 3));
    }  // the device closes the line: no hang-up for the program, which keeps serving
    EXPECT_TRUE(reader_running(handle));
    EXPECT_EQ(log.size(), 1u);
    EXPECT_TRUE(CLOSECOMM(handle));
}

TEST(SerialPort, OnItsOwnPseudoTerminalWhatIsSentWaitsForTheDeviceToOpenIt) {
    std::vector<std::string> log;
    ScopedLogSink sink([&](const std::string& line) { log.push_back(line); });
    gui::Window window;
    int handle = APRICOM(window, "PTY");
    ASSERT_GE(handle, 0);
    ASSERT_EQ(log.size(), 1u);
    SENDSTR(handle, std::string(1, '\0'));  // the start byte, before any device is there
    std::this_thread::sleep_for(50ms);
    // The device opens the line and flushes its input at once, as raw mode set by TCSAFLUSH does.
    auto device = dev::DeviceLink::open(log[0].substr(log[0].rfind(' ') + 1));
    ::tcflush(device.fd(), TCIFLUSH);
    EXPECT_EQ(device.read_bytes(1, 5s), std::string(1, '\0'));
    SENDSTR(handle, "after");
    EXPECT_EQ(device.read_bytes(5, 5s), "after");
    EXPECT_TRUE(CLOSECOMM(handle));
}

TEST(SerialPort, AMissingDeviceIsExplainedInOneBoxAndApricomGivesMinusOne) {
    kv::test::TempDir dir;
    const std::string port = (dir.path() / "ttyS11").string();
    std::vector<QString> texts;
    gui::ScopedBoxAnswerer answerer([&](QMessageBox& box, const gui::BoxRequest&) {
        texts.push_back(box.text());
        box.button(QMessageBox::Ok)->click();
    });
    gui::Window window;
    EXPECT_EQ(APRICOM(window, port), -1);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].toStdString(),
              "Errore di apertura della porta di comunicazione (" + port + ").");
}

TEST(SerialPort, AMissingDeviceCannotBeOpened) {
    kv::test::TempDir dir;
    EXPECT_EQ(OPENCOMM("\\\\.\\" + (dir.path() / "ttyS11").string(), 16384, 16384), -1);
    EXPECT_EQ(OPENCOMM((dir.path() / "ttyS11").string()), -1);
}

TEST(SerialPort, SettingsBlockOperationsOnAnOpenPort) {
    PortOnPty line;
    int handle = line.open_quietly();
    ASSERT_GE(handle, 0);
    std::string block = "old";
    EXPECT_FALSE(BUILDCOMMDCB("57600,N,8", block, handle));
    EXPECT_EQ(block, "");
    // Members the mode string does not set come from the port's current settings.
    termios t{};
    ASSERT_EQ(tcgetattr(line.device.fd(), &t), 0);
    t.c_cc[VSTART] = 0x21;
    ASSERT_EQ(tcsetattr(line.device.fd(), TCSANOW, &t), 0);
    ASSERT_TRUE(BUILDCOMMDCB("baud=57600 parity=n data=8 stop=1", block, handle));
    ASSERT_EQ(block.size(), 28u);
    EXPECT_EQ(block[21], 0x21);  // XonChar
    EXPECT_TRUE(SETCOMMSTATE(handle, block));
    EXPECT_FALSE(SETCOMMSTATE(handle, "not a block"));
    EXPECT_FALSE(SETCOMMSTATE(handle + 100, block));
    EXPECT_FALSE(ENABLECOMMNOTIFICATION(handle + 100, line.window.handle(), 1, -1));
    EXPECT_TRUE(CLOSECOMM(handle));
}

}  // namespace
}  // namespace kv::core
