// KV32 serving over TCP on the loopback: a real kv32 listening on a free port, the test (or the
// kvdev program) as the device on a connection.
#include <algorithm>
#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tools/kvdev/commands.h"

namespace {

using namespace kv::dev;
using kv::test::kReplyTimeout;
using kv::test::kStartTimeout;
using kv::test::kWaitingLine;

class TcpLineTest : public ::testing::Test {
  protected:
    // kv32 on "tcp:0" (any free port of 127.0.0.1); the address comes from its log.
    void start(std::vector<std::string> extra = {}, const std::string& port = "tcp:0") {
        std::vector<std::string> args{"--headless", "--port", port};
        args.insert(args.end(), extra.begin(), extra.end());
        kv32 = std::make_unique<ChildProcess>(KV32_BINARY, args, pc.str());
        const std::string prefix = "TCP address for the device: ";
        auto line = kv32->wait_for_prefix(prefix, kStartTimeout);
        ASSERT_TRUE(line) << kv32->err();
        address = "tcp:" + line->substr(prefix.size());
        if (address.rfind("tcp:0.0.0.0:", 0) == 0) address = "tcp:127.0.0.1:" + address.substr(12);
        ASSERT_TRUE(kv32->wait_for_line(kWaitingLine, kStartTimeout));
    }
    DeviceLink connect() { return DeviceLink::open(address); }
    std::string log_line(const std::string& what) { return "Port tcp:0: " + what; }

    kv::test::TempDir pc;
    std::unique_ptr<ChildProcess> kv32;
    std::string address;
};

TEST_F(TcpLineTest, TheWholeProtocolOverOneConnection) {
    start({"--verbose"});
    DeviceLink device = connect();
    ASSERT_TRUE(device.read_start_byte(kStartTimeout));
    EXPECT_FALSE(device.read_byte(std::chrono::milliseconds(200)));  // one start byte, no more

    std::string every_byte;
    for (int b = 0; b < 256; ++b) every_byte.push_back(static_cast<char>(b));
    every_byte += std::string(5000, '\xff') + "\r\n\x11\x13";  // no byte is special on the line
    EXPECT_EQ(make_folder(device, "GAMES"), kOk);
    EXPECT_EQ(change_folder(device, "GAMES"), kOk);
    EXPECT_EQ(save(device, "ALL", every_byte, {0, 7, 9}), kOk);
    const LoadResult loaded = load(device, "ALL");
    EXPECT_EQ(loaded.status, kOk);
    EXPECT_EQ(loaded.data, every_byte);
    EXPECT_EQ(loaded.param1, 7);
    const Catalogue listed = catalogue(device, "*");
    EXPECT_NE(
        std::find(listed.lines.begin(), listed.lines.end(), "ALL        BAS LINE 9           "),
        listed.lines.end());
    EXPECT_EQ(erase(device, "ALL"), kOk);
    EXPECT_EQ(load(device, "ALL").status, kRefused);
    EXPECT_NE(kv32->out().find(log_line("connection from 127.0.0.1:")), std::string::npos);
    kv32->signal(SIGTERM);
    EXPECT_EQ(kv32->wait_exit(kStartTimeout), 0);
}

TEST_F(TcpLineTest, AClosedConnectionIsADeviceThatWentAwayAndTheNextOneIsServed) {
    start();
    DeviceLink device = connect();
    ASSERT_TRUE(device.read_start_byte(kStartTimeout));
    EXPECT_EQ(save(device, "KEPT", "0123456789"), kOk);
    // A Save that the device does not finish: 3 of 100 bytes, then the connection closes.
    EXPECT_EQ(save(device, "PART", "abc", {}, 100), kOk);
    ASSERT_TRUE(kv32->wait_for_line("Saving...", kReplyTimeout, 2));
    device.close();
    ASSERT_TRUE(
        kv32->wait_for_line("The command was abandoned: the device went away.", kReplyTimeout))
        << kv32->out();
    const auto closed = kv32->wait_for_prefix(log_line("the connection from "), kReplyTimeout);
    ASSERT_TRUE(closed) << kv32->out();
    EXPECT_NE(closed->find(" closed; waiting for the next one."), std::string::npos) << *closed;

    // While nobody is connected, what a device would send is simply not there; the next
    // connection begins with its own start byte and is served from a clean line.
    device = connect();
    ASSERT_TRUE(device.read_start_byte(kStartTimeout)) << kv32->out();
    EXPECT_FALSE(device.read_byte(std::chrono::milliseconds(200)));
    const LoadResult loaded = load(device, "KEPT");
    EXPECT_EQ(loaded.status, kOk);
    EXPECT_EQ(loaded.data, "0123456789");
    EXPECT_EQ(load(device, "PART").status, kRefused);  // the abandoned Save left nothing

    // A second connection while one is served waits, a third is turned away; the first goes on.
    DeviceLink second = connect();
    DeviceLink third = connect();
    EXPECT_FALSE(third.read_byte(kReplyTimeout));
    EXPECT_TRUE(third.hung_up());
    EXPECT_FALSE(second.hung_up());
    EXPECT_EQ(load(device, "KEPT").status, kOk);
    EXPECT_NE(kv32->out().find("turned away: the line serves 127.0.0.1:"), std::string::npos)
        << kv32->out();
    kv32->signal(SIGTERM);
    EXPECT_EQ(kv32->wait_exit(kStartTimeout), 0);
}

TEST_F(TcpLineTest, WhatADeviceSentBeforeItWentIsStillServed) {
    start();
    std::string data(3000, 'x');
    for (int round = 0; round < 3; ++round) {
        // The whole Save at once, and the connection closed before any answer is read, while
        // KV32 is busy (stopped): every byte had arrived, so the file is stored.
        DeviceLink device = connect();
        ASSERT_TRUE(device.read_start_byte(kStartTimeout)) << kv32->out();
        const std::string name = "SENT" + std::to_string(round);
        kv32->signal(SIGSTOP);
        device.send_raw(std::string("S\x03\0\0", 4) + "\xb8\x0b" + std::string("\0\0", 2) + name +
                        "\r" + data);
        device.close();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kv32->signal(SIGCONT);
        DeviceLink next = connect();
        ASSERT_TRUE(next.read_start_byte(kStartTimeout)) << kv32->out();
        const LoadResult loaded = load(next, name);
        EXPECT_EQ(loaded.status, kOk) << kv32->out();
        EXPECT_EQ(loaded.data, data);
    }
    kv32->signal(SIGTERM);
    EXPECT_EQ(kv32->wait_exit(kStartTimeout), 0);
}

TEST_F(TcpLineTest, ADeviceThatLeavesMidCatalogueNeverTakesTheNextOnesFirstCommand) {
    start();
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // The device reads the catalogue's first line and goes without acknowledging it; the next
        // device connects at once and sends its first command as soon as the start byte is in.
        DeviceLink gone = connect();
        ASSERT_TRUE(gone.read_start_byte(kStartTimeout)) << kv32->out();
        gone.send_command('C');
        gone.send_string("*");
        ASSERT_EQ(gone.read_byte(kReplyTimeout), kOk);
        ASSERT_EQ(gone.read_bytes(32, kReplyTimeout).size(), 32u);
        gone.close();
        DeviceLink next = connect();
        ASSERT_TRUE(next.read_start_byte(kStartTimeout)) << kv32->out();
        next.send_command('E');
        next.send_string("");
        ASSERT_EQ(next.read_byte(kReplyTimeout), kRefused) << kv32->out();
        next.close();
    }
    kv32->signal(SIGTERM);
    EXPECT_EQ(kv32->wait_exit(kStartTimeout), 0);
}

TEST_F(TcpLineTest, ExitOnHangupEndsWhenTheConnectionCloses) {
    start({"--exit-on-hangup"});
    DeviceLink device = connect();
    ASSERT_TRUE(device.read_start_byte(kStartTimeout));
    device.send_raw("LNAME-WITHOUT-ITS-CR");
    ASSERT_TRUE(kv32->wait_for_line("Loading...", kReplyTimeout));
    device.close();
    EXPECT_EQ(kv32->wait_exit(kStartTimeout), 4) << kv32->out() << kv32->err();
    EXPECT_NE(
        kv32->out().find(log_line("the connection closed; ending, as --exit-on-hangup asks.")),
        std::string::npos)
        << kv32->out();
}

TEST_F(TcpLineTest, KvdevRunsEachCommandOnAConnectionOfItsOwn) {
    start();
    kv::test::TempDir user;
    user.write("hello.bin", "Hello, device");
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", address, "--timeout", "5000"});
        ChildProcess p(KVDEV_BINARY, args, user.str());
        const auto status = p.wait_exit(kStartTimeout);
        return std::make_pair(status.value_or(-1), p.out() + p.err());
    };
    auto saved = run({"save", "HELLO", "hello.bin"});
    EXPECT_EQ(saved.first, 0) << saved.second;
    auto loaded = run({"load", "HELLO", "back.bin"});
    EXPECT_EQ(loaded.first, 0) << loaded.second;
    EXPECT_EQ(user.read("back.bin"), "Hello, device");
    auto listed = run({"cat"});
    EXPECT_EQ(listed.first, 0) << listed.second;
    EXPECT_NE(listed.second.find("HELLO"), std::string::npos) << listed.second;
    kv32->signal(SIGTERM);
    EXPECT_EQ(kv32->wait_exit(kStartTimeout), 0);
}

TEST_F(TcpLineTest, ALineHeldSilentOrSlowIsLetGoOnlyWhileAnotherConnectionWaits) {
    start({"--idle-limit", "0.3"});
    DeviceLink first = connect();
    ASSERT_TRUE(first.read_start_byte(kStartTimeout));
    // Nobody waits: a quiet device keeps its line well past the limit.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(save(first, "KEPT", "1"), kOk);
    // Silent at the command wait while another waits: let go, and the other is served.
    DeviceLink second = connect();
    ASSERT_TRUE(second.read_start_byte(kStartTimeout)) << kv32->out();
    EXPECT_FALSE(first.read_byte(kReplyTimeout));
    EXPECT_TRUE(first.hung_up());
    ASSERT_TRUE(kv32->wait_for_prefix(log_line("the connection from 127.0.0.1:"), kReplyTimeout));
    EXPECT_NE(kv32->out().find(" was let go: it held the line silent while 127.0.0.1:"),
              std::string::npos)
        << kv32->out();
    // A name sent a byte at a time, slower than the line, while a third waits: let go too.
    DeviceLink third = connect();
    second.send_command('L');
    for (int i = 0; i < 40 && !second.hung_up(); ++i) {
        second.send_raw("A");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        second.read_byte(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(third.read_start_byte(kStartTimeout)) << kv32->out();
    EXPECT_EQ(load(third, "KEPT").status, kOk);
    kv32->signal(SIGTERM);
    EXPECT_EQ(kv32->wait_exit(kStartTimeout), 0);
}

TEST_F(TcpLineTest, EveryAddressIsToldAndOnlyAllowedPeersAreServed) {
    start({"--allow", "192.0.2.0/24"}, "tcp:0.0.0.0:0");
    EXPECT_NE(kv32->out().find("Listening on every address of this machine: only 192.0.2.0/24 "
                               "may connect (--allow); others are refused."),
              std::string::npos)
        << kv32->out();
    DeviceLink refused = connect();
    EXPECT_FALSE(refused.read_byte(kReplyTimeout));
    EXPECT_TRUE(refused.hung_up());
    EXPECT_TRUE(
        kv32->wait_for_prefix("Port tcp:0.0.0.0:0: connection from 127.0.0.1:", kReplyTimeout));
    EXPECT_NE(kv32->out().find(" refused: not an address that --allow names."), std::string::npos);
    kv32->signal(SIGTERM);
    EXPECT_EQ(kv32->wait_exit(kStartTimeout), 0);

    start({"--allow", "127.0.0.0/8", "--allow", "::1"});
    DeviceLink served = connect();
    EXPECT_TRUE(served.read_start_byte(kStartTimeout));
    kv32->signal(SIGTERM);
    EXPECT_EQ(kv32->wait_exit(kStartTimeout), 0);
    for (const char* bad : {"300.1.1.1", "10.0.0.0/33", "::1/129", "host"}) {
        ChildProcess p(KV32_BINARY, {"--headless", "--port", "tcp:0", "--allow", bad}, pc.str());
        EXPECT_EQ(p.wait_exit(kStartTimeout), 2) << bad;
    }
}

TEST(TcpLineNames, AddressesThatCannotBeServedAreExplained) {
    kv::test::TempDir dir;
    const std::vector<std::pair<std::string, std::string>> cases{
        {"tcp:http", "tcp:http: it is not a TCP address"},
        {"tcp:70000", "tcp:70000: it is not a TCP address"},
        {"tcp:192.0.2.1:2323", "tcp:192.0.2.1:2323: this machine has no address 192.0.2.1."},
        {"tcp:localhost:99999", "tcp:localhost:99999: it is not a TCP address"},
    };
    for (const auto& [name, cause] : cases) {
        ChildProcess p(KV32_BINARY, {"--headless", "--port", name}, dir.str());
        EXPECT_EQ(p.wait_exit(kStartTimeout), 1) << name;
        EXPECT_NE(p.err().find("Errore di apertura della porta di comunicazione (" + name + ").\n" +
                               cause),
                  std::string::npos)
            << p.err();
    }
}

}  // namespace
