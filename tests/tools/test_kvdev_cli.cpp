// The kvdev command line: its arguments, and the tool run against a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <algorithm>

#include <cstdio>

#include "tools/kvdev/cli.h"
#include "tools/kvdev/link.h"

namespace kv::dev {
namespace {

using namespace std::chrono_literals;
using Words = std::vector<std::string>;

TEST(KvdevArguments, PortTimeoutCommandAndItsArguments) {
    std::string error;
    auto inv = parse_arguments({"--port", "/dev/pts/3", "--timeout", "150", "send-raw", "53", "0d"},
                               error);
    ASSERT_TRUE(inv) << error;
    EXPECT_EQ(inv->port, "/dev/pts/3");
    EXPECT_EQ(inv->timeout, 150ms);
    EXPECT_EQ(inv->command, "send-raw");
    EXPECT_EQ(inv->args, (Words{"53", "0d"}));
    auto from_env = parse_arguments({"load", "--force", "HELLO"}, error, "/dev/pts/9");
    ASSERT_TRUE(from_env) << error;
    EXPECT_EQ(from_env->port, "/dev/pts/9");
    EXPECT_TRUE(from_env->force);
    EXPECT_EQ(from_env->args, Words{"HELLO"});
    EXPECT_EQ(parse_arguments({"--port", "/dev/x", "cat"}, error, "/dev/y")->port, "/dev/x");
    auto help = parse_arguments({"--help"}, error);
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->help);
}

TEST(KvdevArguments, WrongUsageIsExplained) {
    const std::vector<std::pair<Words, std::string>> cases{
        {{}, "no command"},
        {{"--port", "/dev/x"}, "no command"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "/dev/x", "--timeout", "soon", "read", "1"}, "milliseconds"},
        {{"--port", "/dev/x", "--speed", "1", "read", "1"}, "unknown option --speed"},
        {{"--port", "/dev/x", "jump"}, "unknown command jump"},
        {{"--port", "/dev/x", "read"}, "read N"},
        {{"--port", "/dev/x", "read", "1", "2"}, "read N"},
        {{"--port", "/dev/x", "send-raw"}, "send-raw HEX"},
        {{"read", "1"}, "--port PATH (or KVDEV_PORT) is required"},
    };
    for (const auto& [words, expected] : cases) {
        std::string error;
        EXPECT_FALSE(parse_arguments(words, error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

TEST(KvdevArguments, HexadecimalBytes) {
    EXPECT_EQ(parse_hex_bytes({"53", "0d", "0x00FF", "aBcD"}),
              std::string("\x53\x0d\x00\xff\xab\xcd", 6));
    EXPECT_EQ(parse_hex_bytes({}), "");
    for (const char* bad : {"5", "0x", "123", "zz", "0x1g", ""})
        EXPECT_FALSE(parse_hex_bytes({bad})) << bad;
    EXPECT_EQ(to_hex(std::string("\x00\x0d\xff", 3)), "00 0D FF");
    EXPECT_EQ(to_hex(""), "");
}

// Runs the kvdev program; its exit status and standard output.
std::pair<int, std::string> run_kvdev(const std::string& arguments) {
    std::string command = std::string(KVDEV_BINARY) + " " + arguments;
    if (command.find("2>") == std::string::npos) command += " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[256];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Runs the kvdev program; its exit status and standard error.
std::pair<int, std::string> run_kvdev_err(const std::string& arguments) {
    return run_kvdev(arguments + " 2>&1 >/dev/null");
}

// A line that does not open says why as kv32 does for its port: the group to join for a
// permission, and for KV32's own pseudo-terminal, locked while another device has it, that so.
TEST(KvdevProgram, ALineThatDoesNotOpenSaysWhyAsKv32Does) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    int locked = 1;
    ASSERT_EQ(::ioctl(master, TIOCSPTLCK, &locked), 0);
    struct Case {
        std::string port, says;
    };
    std::vector<Case> cases{{::ptsname(master), "another device has this line of KV32's now"}};
    if (::geteuid() != 0 && ::access("/dev/ttyS0", F_OK) == 0 &&
        ::access("/dev/ttyS0", R_OK | W_OK) != 0)
        cases.push_back({"/dev/ttyS0", "permission denied: "});
    for (const Case& c : cases) {
        const auto [status, err] = run_kvdev_err("--port " + c.port + " read 1");
        EXPECT_EQ(status, 1);
        EXPECT_EQ(err.rfind("kvdev: cannot open " + c.port + ": ", 0), 0u) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        // A device's group to join, or, for a device only its owner may open, a udev rule.
        if (c.port == "/dev/ttyS0") {
            EXPECT_TRUE(err.find("usermod -aG") != std::string::npos ||
                        err.find("udev rule") != std::string::npos)
                << err;
        }
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    ::close(master);
}

TEST(KvdevProgram, SendsReadsAndWaitsForTheStartByteOnALine) {
    PtyPair pair;
    DeviceLink host = pair.take_master();  // the program under test plays the device
    const std::string port = "--port " + pair.slave_path();

    EXPECT_EQ(run_kvdev(port + " send-raw 53 0x0d00").first, 0);
    EXPECT_EQ(host.read_bytes(3, 5s), std::string("S\r\0", 3));

    host.send_raw(std::string("A\0\xff", 3));
    EXPECT_EQ(run_kvdev(port + " read 3"), (std::pair<int, std::string>{0, "41 00 FF\n"}));
    EXPECT_EQ(run_kvdev(port + " --timeout 20 read 1"), (std::pair<int, std::string>{1, "\n"}));

    host.send_raw(std::string("x\0", 2));
    EXPECT_EQ(run_kvdev(port + " wait-start"), (std::pair<int, std::string>{0, "start\n"}));
    EXPECT_EQ(run_kvdev(port + " --timeout 20 wait-start").first, 1);

    EXPECT_EQ(run_kvdev(port + " send-raw 5").first, 2);
    EXPECT_EQ(run_kvdev("--port /nonexistent/tty read 1").first, 1);
}

TEST(KvdevProgram, HelpNamesEveryCommandAsItsTableDoesAndVersion) {
    for (const char* option : {"--help", "-h"}) {
        auto help = run_kvdev(option);
        EXPECT_EQ(help.first, 0);
        for (const auto& command : commands())
            EXPECT_NE(help.second.find("  " + command.usage), std::string::npos) << command.usage;
    }
    auto version = run_kvdev("--version");
    EXPECT_EQ(version, (std::pair<int, std::string>{0, "kvdev (KV32) " KV32_VERSION "\n"}));
}

}  // namespace
}  // namespace kv::dev
