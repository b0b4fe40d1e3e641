// Devices that stop reading, or go away in the middle of a command: KV32 gives the command up,
// says so, and serves the next device as if nothing had happened.
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tools/kvdev/commands.h"

namespace {

using namespace std::chrono_literals;
using namespace kv::dev;
using kv::test::kReplyTimeout;
using kv::test::kStartTimeout;

const std::string kBig(65535, 'b');

// The full path of a program found on PATH; "" when there is none.
std::string program_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string candidate = dirs.substr(at, end - at) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return {};
}

TEST(DeviceStopsReading, ALoadIsGivenUpAfterTheStallLimitAndLogged) {
    kv::test::Kv32OnPty kv({"--stall-limit", "2"});
    ASSERT_TRUE(kv.started()) << kv.process().err();
    ASSERT_EQ(save(kv.device(), "BIG", kBig), kOk);
    kv.device().send_command('L');
    kv.device().send_string("BIG");  // and nothing of the answer is read
    EXPECT_TRUE(kv.process().wait_for_line(
        "The command was abandoned: the device took nothing for 2 seconds.", kStartTimeout))
        << kv.process().out();
    // The device reads again: once the rest of the Load is out of the way, it is served.
    while (kv.device().read_bytes(65536, 300ms).size() > 0) {
    }
    EXPECT_EQ(erase(kv.device(), ""), kRefused);
    EXPECT_EQ(kv.stop(), 0);
}

TEST(DeviceStopsReading, ASignalEndsKv32InTheMiddleOfTheWrite) {
    kv::test::Kv32OnPty kv;
    ASSERT_TRUE(kv.started()) << kv.process().err();
    ASSERT_EQ(save(kv.device(), "BIG", kBig), kOk);
    kv.device().send_command('L');
    kv.device().send_string("BIG");
    ASSERT_TRUE(kv.process().wait_for_line("Loading...", kReplyTimeout));
    std::this_thread::sleep_for(200ms);  // into the write that the device does not take
    kv.process().signal(SIGTERM);
    EXPECT_EQ(kv.process().wait_exit(kStartTimeout), 0);
    EXPECT_EQ(kv.process().out().find("abandoned"), std::string::npos) << kv.process().out();
}

// Over a pseudo-terminal pair joined by socat, as emulators often connect, the relay holds tens
// of KiB and passes them on in bursts, so the line may take nothing for far longer than one
// byte's time while the device reads at its steady rate. A stall limit long enough for the relay
// to drain gets the whole file there. (Ten times the line's rate here, and a tenth of the
// default limit, so that the test takes a second, not eleven.)
TEST(DeviceStopsReading, ALoadThroughARelayThatHoldsMuchArrivesWholeWithinTheStallLimit) {
    const std::string socat = program_path("socat");
    if (socat.empty()) GTEST_SKIP() << "socat is not installed";
    kv::test::TempDir links, pc;
    const std::string kv_side = links.str() + "/kv32", device_side = links.str() + "/device";
    ChildProcess relay(socat,
                       {"pty,raw,echo=0,link=" + kv_side, "pty,raw,echo=0,link=" + device_side});
    for (int i = 0;
         i < 200 && !(std::filesystem::exists(kv_side) && std::filesystem::exists(device_side));
         ++i)
        std::this_thread::sleep_for(25ms);
    ChildProcess kv32(KV32_BINARY, {"--headless", "--stall-limit", "1.5", "--port", kv_side},
                      pc.str());
    DeviceLink device = DeviceLink::open(device_side);
    ASSERT_TRUE(device.read_start_byte(kStartTimeout)) << kv32.err();
    const std::string big(65535, 'q');
    ASSERT_EQ(save(device, "BIG", big), kOk);
    device.send_command('L');
    device.send_string("BIG");
    std::string got;
    constexpr std::size_t kWhole = 1 + 7 + 65535;
    constexpr std::size_t kPerTick = 576;  // 57,600 bytes a second, 10 ms at a time
    while (got.size() < kWhole) {
        const std::string piece = device.read_bytes(std::min(kPerTick, kWhole - got.size()), 2s);
        if (piece.empty()) break;
        got += piece;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(got.size(), kWhole) << kv32.out();
    EXPECT_EQ(got.substr(8), big);
    EXPECT_EQ(kv32.out().find("abandoned"), std::string::npos) << kv32.out();
    kv32.signal(SIGTERM);
    EXPECT_EQ(kv32.wait_exit(kStartTimeout), 0);
}

// kv32 serving on a pseudo-terminal of its own, which it keeps open itself.
class OwnPseudoTerminal : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(kv32.wait_for_line(kv::test::kWaitingLine, kStartTimeout)) << kv32.err();
        const std::string out = kv32.out();
        const auto at = out.find("/dev/pts/");
        ASSERT_NE(at, std::string::npos);
        path = out.substr(at, out.find_first_of(" \n", at) - at);
        DeviceLink first = DeviceLink::open(path);
        ASSERT_TRUE(first.read_start_byte(kStartTimeout));
        ASSERT_EQ(save(first, "BIG", kBig), kOk);
    }
    void TearDown() override {
        kv32.signal(SIGTERM);
        EXPECT_EQ(kv32.wait_exit(kStartTimeout), 0);
    }

    kv::test::TempDir pc;
    ChildProcess kv32{KV32_BINARY, {"--headless", "--port", "PTY"}, pc.str()};
    std::string path;
};

TEST_F(OwnPseudoTerminal, ADeviceThatGoesAwayEndsItsCommandAndTheNextIsServedAfresh) {
    struct Case {
        std::string name;
        std::function<void(DeviceLink&)> leave;  // what the device does before it goes
    };
    const std::vector<Case> cases = {
        {"a Save whose data stops short",
         [](DeviceLink& d) {
             d.send_command('S');
             d.send_raw(std::string("\x03\0\0\xe8\x03\0\0", 7));  // 1000 bytes announced
             d.send_string("HALF");
             ASSERT_EQ(d.read_byte(kReplyTimeout), kOk);
             d.send_raw("12345");
         }},
        {"a Load read only in part",
         [](DeviceLink& d) {
             d.send_command('L');
             d.send_string("BIG");
             ASSERT_EQ(d.read_bytes(100, kReplyTimeout).size(), 100u);
         }},
    };
    int waiting = 2;  // the waiting lines so far: at the start and after the first Save
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            DeviceLink gone = DeviceLink::open(path);
            ASSERT_EQ(gone.read_byte(kReplyTimeout), 0);  // each device that opens: a start byte
            c.leave(gone);
        }
        // A device that comes back at once (an emulator restarted) takes a moment to do so.
        std::this_thread::sleep_for(200ms);
        // A Save waits for its data no longer than the device is there (once it has gone, 2 s
        // for each of the bytes it owes would be hours).
        if (c.name.find("Save") != std::string::npos) {
            EXPECT_TRUE(kv32.wait_for_line("The command was abandoned: the device went away.",
                                           kv::test::kReplyTimeout));
        }
        // The next device: its commands are commands, and no byte of the old answer reaches it.
        DeviceLink next = DeviceLink::open(path);
        ASSERT_EQ(next.read_byte(kReplyTimeout), 0);
        EXPECT_EQ(erase(next, ""), kRefused);
        EXPECT_EQ(erase(next, ""), kRefused);
        waiting += 3;
        EXPECT_TRUE(kv32.wait_for_line(kv::test::kWaitingLine, kStartTimeout, waiting));
        EXPECT_EQ(next.read_bytes(1, 300ms), "");
    }
    EXPECT_FALSE(std::filesystem::exists(pc.path() / "HALF"));
    EXPECT_NE(kv32.out().find("The command was abandoned: the device went away."),
              std::string::npos);
}

TEST_F(OwnPseudoTerminal, ADeviceThatComesBackAtOnceMidLoadIsANewDevice) {
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        {
            DeviceLink gone = DeviceLink::open(path);
            ASSERT_EQ(gone.read_byte(kReplyTimeout), 0);
            gone.send_command('L');
            gone.send_string("BIG");
            ASSERT_EQ(gone.read_bytes(100, kReplyTimeout).size(), 100u);
        }
        // Opened the moment the last one closed: its own start byte, then nothing of the Load.
        DeviceLink next = DeviceLink::open(path);
        ASSERT_EQ(next.read_byte(kReplyTimeout), 0);
        EXPECT_EQ(next.read_bytes(1, 300ms), "");
        EXPECT_EQ(erase(next, ""), kRefused);
    }
}

TEST_F(OwnPseudoTerminal, ADeviceThatComesBackAndAsksAtOnceIsAnsweredItself) {
    struct Case {
        std::string name;
        std::function<void(DeviceLink&)> ask;  // a command that KV32 refuses
    };
    const std::vector<Case> commands = {
        {"a Load of a missing file",
         [](DeviceLink& d) {
             d.send_command('L');
             d.send_string("NOSUCH");
         }},
        {"a Save over a stored file",
         [](DeviceLink& d) {
             d.send_command('S');
             d.send_raw(std::string("\x03\0\0\x08\0\0\0", 7));
             d.send_string("BIG");
         }},
    };
    for (const auto gap : {0ms, 20ms, 60ms}) {
        for (const auto& c : commands) {
            SCOPED_TRACE(c.name + " " + std::to_string(gap.count()) + " ms after the last left");
            {
                DeviceLink gone = DeviceLink::open(path);
                ASSERT_EQ(gone.read_byte(kReplyTimeout), 0);
            }
            std::this_thread::sleep_for(gap);
            DeviceLink next = DeviceLink::open(path);
            c.ask(next);
            // Its own answer, not a start byte in its place (which a device takes for "go on").
            EXPECT_EQ(next.read_byte(kReplyTimeout), kRefused);
            EXPECT_EQ(next.read_bytes(1, 200ms), "");
        }
    }
    EXPECT_EQ(std::filesystem::file_size(pc.path() / "BIG"), 13 + kBig.size());
    // A Save it begins at once waits for its data as long as for any device's.
    {
        DeviceLink gone = DeviceLink::open(path);
        ASSERT_EQ(gone.read_byte(kReplyTimeout), 0);
    }
    DeviceLink next = DeviceLink::open(path);
    next.send_command('S');
    next.send_raw(std::string("\x03\0\0\x04\0\0\0", 7));
    next.send_string("NEW");
    ASSERT_EQ(next.read_byte(kReplyTimeout), kOk);
    std::this_thread::sleep_for(300ms);
    next.send_raw("DATA");
    const auto stored = pc.path() / "NEW";
    for (int i = 0; i < 100 && !std::filesystem::exists(stored); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(std::filesystem::exists(stored)) << kv32.out();
    EXPECT_EQ(std::filesystem::file_size(stored), 13u + 4u);
}

// A device that leaves in the middle of a command, with another coming at once: nothing the new
// device sends is ever taken into the command of the one that left.
TEST_F(OwnPseudoTerminal, ANewDevicesBytesNeverFinishTheCommandOfTheOneThatLeft) {
    struct Case {
        std::string name;
        std::string left;  // what the departing device sent before it closed the line
        std::string next;  // what the next device sends at once
    };
    const std::vector<Case> cases = {
        {"an Erase that waits for its name", "E", "BIG\r"},
        {"a Save that waits for its last bytes",
         std::string("S\x64\0\0\0\0\0\0PART\r", 12) + std::string(92, 'x'), "LBIG\r"},
    };
    for (const auto gap : {0ms, 20ms}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name + " " + std::to_string(gap.count()) + " ms after the last left");
            {
                DeviceLink gone = DeviceLink::open(path);
                gone.read_byte(kReplyTimeout);  // its start byte, or the last one's
                gone.send_raw(c.left);
                std::this_thread::sleep_for(20ms);
            }
            std::this_thread::sleep_for(gap);
            DeviceLink next = DeviceLink::open(path);
            next.send_raw(c.next);
            next.read_bytes(1, kReplyTimeout);
            std::this_thread::sleep_for(300ms);
            EXPECT_EQ(std::filesystem::file_size(pc.path() / "BIG"), 13 + kBig.size())
                << kv32.out();
            EXPECT_FALSE(std::filesystem::exists(pc.path() / "PART")) << kv32.out();
        }
    }
}

}  // namespace
