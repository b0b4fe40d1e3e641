// A device that goes away and comes back. KV32 serves a symbolic link to a pseudo-terminal, as
// udev's /dev/serial/by-id names are; the device's side closes, then a new pseudo-terminal
// appears and the link is moved to it.
#include <termios.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tools/kvdev/commands.h"

namespace {

using namespace kv::dev;
using kv::test::kReplyTimeout;
using kv::test::kStartTimeout;
namespace fsys = std::filesystem;

struct Adapter {
    kv::test::TempDir links, served;
    fsys::path link = links.path() / "usb-adapter-if00";
    std::unique_ptr<PtyPair> pty;
    // A device appears, and the link is moved to it in one step.
    DeviceLink plug() {
        pty = std::make_unique<PtyPair>();
        fsys::create_symlink(pty->slave_path(), links.path() / "next");
        fsys::rename(links.path() / "next", link);
        return pty->take_master();
    }
    std::unique_ptr<ChildProcess> start(const std::string& option) {
        return std::make_unique<ChildProcess>(
            KV32_BINARY, std::vector<std::string>{"--headless", option, "--port", link.string()},
            served.str());
    }
};

TEST(DeviceComesBack, SaveBeforeAndLoadAfterGoThrough) {
    Adapter adapter;
    DeviceLink device = adapter.plug();
    auto kv = adapter.start("--verbose");
    ASSERT_TRUE(device.read_start_byte(kStartTimeout)) << kv->err();
    EXPECT_EQ(save(device, "HELLO", "0123456789"), kOk);
    ASSERT_TRUE(kv->wait_for_line("HELLO: 10 bytes saved", kReplyTimeout));
    // A Save that the device does not finish: 3 of 100 bytes, then it is unplugged.
    EXPECT_EQ(save(device, "PART", "abc", {}, 100), kOk);
    ASSERT_TRUE(kv->wait_for_line("Saving...", kReplyTimeout, 2));
    device.close();

    const std::string port = "Serial port " + adapter.link.string();
    ASSERT_TRUE(kv->wait_for_line(port + ": the device hung up; waiting for it to come back.",
                                  kReplyTimeout))
        << kv->out();
    ASSERT_TRUE(
        kv->wait_for_line("The command was abandoned: the device went away.", kReplyTimeout));
    device = adapter.plug();
    ASSERT_TRUE(kv->wait_for_line(port + ": the device is back.", kReplyTimeout)) << kv->out();

    const LoadResult loaded = load(device, "HELLO");
    EXPECT_EQ(loaded.status, kOk);
    EXPECT_EQ(loaded.data, "0123456789");
    EXPECT_EQ(load(device, "PART").status, kRefused);  // the abandoned Save left nothing
    // The new device has the first one's line settings: raw, 57600 baud. They are read through
    // the device's side: KV32 holds the line exclusively, so only the superuser could open it.
    termios t{};
    EXPECT_EQ(::tcgetattr(device.fd(), &t), 0);
    EXPECT_EQ(::cfgetispeed(&t), B57600);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    kv->signal(SIGTERM);
    EXPECT_EQ(kv->wait_exit(kStartTimeout), 0);
}

TEST(DeviceComesBack, ExitOnHangupEndsWithItsOwnStatus) {
    Adapter adapter;
    DeviceLink device = adapter.plug();
    auto kv = adapter.start("--exit-on-hangup");
    ASSERT_TRUE(device.read_start_byte(kStartTimeout)) << kv->err();
    device.send_raw("LNAME-WITHOUT-ITS-CR");  // a command in progress ends too
    ASSERT_TRUE(kv->wait_for_line("Loading...", kReplyTimeout));
    device.close();
    EXPECT_EQ(kv->wait_exit(kStartTimeout), 4) << kv->out() << kv->err();
    EXPECT_NE(kv->out().find("Serial port " + adapter.link.string() +
                             ": the device hung up; ending, as --exit-on-hangup asks."),
              std::string::npos)
        << kv->out();
}

}  // namespace

namespace {

// --wait-for-port: an adapter plugged in after the start is waited for and served the moment it
// appears; a signal ends the wait at once, as a normal end.
TEST(DeviceComesBack, APortMissingAtTheStartIsWaitedForWithWaitForPort) {
    for (const bool plugged : {true, false}) {
        SCOPED_TRACE(plugged ? "plugged in later" : "never plugged in");
        Adapter adapter;
        auto kv = adapter.start("--wait-for-port");
        const auto waiting = kv->wait_for_prefix("Serial port " + adapter.link.string() + " (" +
                                                     adapter.link.string() + ") cannot be opened: ",
                                                 kStartTimeout);
        ASSERT_TRUE(waiting) << kv->out() << kv->err();
        EXPECT_NE(waiting->find("; waiting for it (--wait-for-port)."), std::string::npos)
            << *waiting;
        if (plugged) {
            DeviceLink device = adapter.plug();
            ASSERT_TRUE(device.read_start_byte(kStartTimeout)) << kv->out() << kv->err();
            EXPECT_EQ(save(device, "HELLO", "hi"), kOk);
            EXPECT_TRUE(kv->wait_for_line(
                "Serial port " + adapter.link.string() + ": the device is there.", kReplyTimeout));
        }
        kv->signal(SIGTERM);
        EXPECT_EQ(kv->wait_exit(kStartTimeout), 0) << kv->err();
    }
}

}  // namespace
