// kv32 --headless, end to end over a real pseudo-terminal.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"

namespace {

using namespace std::chrono_literals;
using kv::test::kReplyTimeout;
using kv::test::kStartTimeout;
using kv::test::Kv32OnPty;
using kv::test::kWaitingLine;

TEST(Headless, SendsOneStartByteAndLogsOneWaitingLine) {
    Kv32OnPty kv;
    ASSERT_TRUE(kv.started()) << kv.process().err();
    EXPECT_FALSE(kv.device().read_byte(300ms).has_value());  // nothing after the start byte
    EXPECT_EQ(kv.log_lines(), std::vector<std::string>{kWaitingLine});
    EXPECT_EQ(kv.stop(), 0);
}

TEST(Headless, BytesThatAreNotCommandsAreDroppedWithoutReply) {
    Kv32OnPty kv;
    ASSERT_TRUE(kv.started());
    kv.device().send_raw(std::string("Xs\0\r\x1b", 5));
    EXPECT_FALSE(kv.device().read_byte(500ms).has_value());
    EXPECT_EQ(kv.log_lines(), std::vector<std::string>{kWaitingLine});
    EXPECT_EQ(kv.stop(), 0);
}

TEST(Headless, SigtermAndSigintEndTheProgramNormally) {
    for (int sig : {SIGTERM, SIGINT}) {
        Kv32OnPty kv;
        ASSERT_TRUE(kv.started());
        kv.process().signal(sig);
        EXPECT_EQ(kv.process().wait_exit(kStartTimeout), 0) << sig;
        EXPECT_FALSE(kv.device().read_byte(100ms).has_value());  // nothing sent when it ends
    }
}

TEST(Headless, ASignalEndsANameWaitAndTheProgramNormally) {
    Kv32OnPty kv;
    ASSERT_TRUE(kv.started());
    kv.device().send_raw("LNAME-WITHOUT-ITS-CR");
    ASSERT_TRUE(kv.process().wait_for_line("Loading...", kReplyTimeout));
    kv.process().signal(SIGTERM);
    EXPECT_EQ(kv.process().wait_exit(kStartTimeout), 0);
    EXPECT_FALSE(kv.device().read_byte(100ms).has_value());
}

TEST(Headless, MissingPortGivesTheItalianMessageAndFailureStatus) {
    kv::test::TempDir dir;
    kv::dev::ChildProcess p(KV32_BINARY, {"--headless", "--port", "/dev/kv32-no-such-port"},
                            dir.str());
    EXPECT_EQ(p.wait_exit(kStartTimeout), 1);
    EXPECT_NE(
        p.err().find("Errore di apertura della porta di comunicazione (/dev/kv32-no-such-port)."),
        std::string::npos)
        << p.err();
    EXPECT_EQ(p.out(), "");  // the window never came up: no log line
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "KV32.INI"));  // --port writes nothing
}

TEST(Headless, PortComesFromTheSettingsFile) {
    kv::test::TempDir dir;
    dir.write("KV32.INI", "[Impostazioni]\r\nPorta = /dev/kv32-from-ini\r\n");
    kv::dev::ChildProcess p(KV32_BINARY, {"--headless"}, dir.str());
    EXPECT_EQ(p.wait_exit(kStartTimeout), 1);
    EXPECT_NE(p.err().find("(/dev/kv32-from-ini)."), std::string::npos) << p.err();
    EXPECT_EQ(dir.read("KV32.INI"), "[Impostazioni]\r\nPorta = /dev/kv32-from-ini\r\n");
}

TEST(Headless, MissingOrBlankSettingBecomesCom1AndIsWritten) {
    for (std::string ini : {"", "[Impostazioni]\r\nPorta=   \r\n"}) {
        kv::test::TempDir dir;
        if (!ini.empty()) dir.write("KV32.INI", ini);
        kv::dev::ChildProcess p(KV32_BINARY, {"--headless"}, dir.str());
        // COM1 may or may not exist on this machine; either way the setting is written first.
        const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
        while (dir.read("KV32.INI").find("COM1") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline && !p.wait_exit(20ms)) {
        }
        if (!p.wait_exit(500ms)) {
            p.signal(SIGTERM);
            p.wait_exit(kStartTimeout);
        }
        const std::string text = dir.read("KV32.INI");
        EXPECT_NE(text.find("[Impostazioni]"), std::string::npos) << text;
        EXPECT_NE(text.find("Porta=COM1"), std::string::npos) << text;
    }
}

TEST(Headless, PtyPortLogsThePathToOpen) {
    kv::test::TempDir dir;
    kv::dev::ChildProcess p(KV32_BINARY, {"--headless", "--port", "PTY"}, dir.str());
    ASSERT_TRUE(p.wait_for_line(kWaitingLine, kStartTimeout)) << p.err();
    const std::string out = p.out();
    const auto at = out.find("/dev/pts/");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string path = out.substr(at, out.find_first_of(" \n", at) - at);
    auto device = kv::dev::DeviceLink::open(path);
    EXPECT_TRUE(device.read_start_byte(kReplyTimeout));  // kept for a device that opens late
    device.send_raw("X");  // the program serves on it: the byte is read and dropped
    EXPECT_FALSE(device.read_byte(300ms).has_value());
    p.signal(SIGTERM);
    EXPECT_EQ(p.wait_exit(kStartTimeout), 0);
}

TEST(CommandLine, RunsHeadlessByItselfWhenTheDisplayCannotBeOpened) {
    kv::test::TempDir dir;
    kv::dev::ChildProcess p(KV32_BINARY, {"--port", "/dev/kv32-no-such-port"}, dir.str(),
                            {"QT_QPA_PLATFORM=", "WAYLAND_DISPLAY=", "DISPLAY=:97"});
    EXPECT_EQ(p.wait_exit(kStartTimeout), 1);
    // The message went to standard error, as headless runs show their boxes.
    EXPECT_NE(p.err().find("Errore di apertura della porta di comunicazione"), std::string::npos)
        << p.err();
}

TEST(CommandLine, HelpVersionAndBadArguments) {
    kv::dev::ChildProcess help(KV32_BINARY, {"--help"});
    EXPECT_EQ(help.wait_exit(kStartTimeout), 0);
    EXPECT_NE(help.out().find("--headless"), std::string::npos);
    EXPECT_NE(help.out().find("--port"), std::string::npos);
    EXPECT_NE(help.out().find("--root /"), std::string::npos);
    kv::dev::ChildProcess version(KV32_BINARY, {"--version"});
    EXPECT_EQ(version.wait_exit(kStartTimeout), 0);
    EXPECT_EQ(version.out(), "kv32 (KV32) " KV32_VERSION "\n");
    kv::dev::ChildProcess bad(KV32_BINARY, {"--frobnicate"});
    EXPECT_EQ(bad.wait_exit(kStartTimeout), 2);
    EXPECT_NE(bad.err().find("--frobnicate"), std::string::npos);
    kv::dev::ChildProcess no_folder(KV32_BINARY, {"--root"});
    EXPECT_EQ(no_folder.wait_exit(kStartTimeout), 2);
    EXPECT_NE(no_folder.err().find("--root needs a folder"), std::string::npos);
}

// A headless start says what it serves in its first line: port, device and folder.
TEST(Headless, AFirstLineThatSaysWhatIsServedWithOrWithoutTimestamps) {
    for (const bool stamped : {false, true}) {
        SCOPED_TRACE(stamped ? "--timestamps" : "plain");
        Kv32OnPty kv(stamped ? std::vector<std::string>{"--timestamps"}
                             : std::vector<std::string>{});
        ASSERT_TRUE(kv.device().read_start_byte(kStartTimeout)) << kv.process().err();
        for (auto wait = 0; wait < 100 && kv.process().out_lines().size() < 2; ++wait)
            kv.device().read_byte(100ms);  // nothing comes: a pause while the log is written
        const auto lines = kv.process().out_lines();
        ASSERT_EQ(lines.size(), 2u);
        const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");
        const std::size_t skip = stamped ? 20 : 0;
        for (const auto& line : lines) EXPECT_EQ(std::regex_search(line, stamp), stamped) << line;
        EXPECT_EQ(lines[0].substr(skip), "KV32 " KV32_VERSION " serving " + kv.device_path() +
                                             " at 57600,N,8,1 from " +
                                             std::filesystem::canonical(kv.dir().path()).string());
        EXPECT_EQ(lines[1].substr(skip), kWaitingLine);  // the described line itself is unchanged
        EXPECT_EQ(kv.stop(), 0);
    }
}

}  // namespace
