// What kv32 tells about ports: --list-ports, and why a port cannot be opened.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/port_report.h"
#include "platform/tcp_line.h"
#include "tests/e2e/kv32_on_pty.h"

namespace {

using kv::dev::ChildProcess;
using kv::test::kStartTimeout;

TEST(PortNames, TheNameToGiveKv32ForADevice) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"/dev/ttyS0", "COM1"},       {"/dev/ttyS11", "COM12"},
        {"/dev/ttyUSB0", "ttyUSB0"},  {"/dev/ttyACM2", "ttyACM2"},
        {"/dev/pts/4", "/dev/pts/4"}, {"/dev/serial/by-id/x", "/dev/serial/by-id/x"},
        {"/dev/ttySX", "ttySX"},
    };
    for (const auto& [path, name] : cases) EXPECT_EQ(kv::core::port_name_for(path), name) << path;
}

TEST(ListPorts, ANamedPseudoTerminalAndThisMachinesPorts) {
    kv::dev::PtyPair pty;
    ChildProcess named(KV32_BINARY, {"--list-ports", pty.slave_path()});
    EXPECT_EQ(named.wait_exit(kStartTimeout), 0);
    EXPECT_EQ(named.out(), pty.slave_path() + "\n    terminal device\n    KV32 can open it now.\n");

    ChildProcess all(KV32_BINARY, {"--list-ports"});
    EXPECT_EQ(all.wait_exit(kStartTimeout), 0);
    struct stat st {};
    if (::stat("/dev/ttyS0", &st) == 0) {
        EXPECT_NE(all.out().find("/dev/ttyS0"), std::string::npos) << all.out();
    }
    EXPECT_FALSE(all.out().empty());
}

TEST(ListPorts, NamedPortsOfEveryKindAndTheExitStatus) {
    kv::test::TempDir dir;
    dir.write("notes.txt", "not a port");
    const int taken = kv::platform::listen_tcp("tcp:0");
    ASSERT_GE(taken, 0);
    const std::string taken_name = "tcp:" + kv::platform::local_address_text(taken);

    ChildProcess good(KV32_BINARY, {"--list-ports", "PTY", "tcp:0"});
    EXPECT_EQ(good.wait_exit(kStartTimeout), 0);
    EXPECT_EQ(good.out(),
              "PTY\n    a new pseudo-terminal that KV32 makes when it starts; it logs the path "
              "that the device or its emulator opens\n"
              "tcp:0 is 127.0.0.1:0\n    a TCP address on which KV32 waits for a device "
              "emulator's connection, serving one at a time\n    KV32 can listen on it now.\n");

    const std::string file = (dir.path() / "notes.txt").string();
    ChildProcess bad(KV32_BINARY, {"--list-ports", "PTY", file, taken_name});
    EXPECT_EQ(bad.wait_exit(kStartTimeout), 1);
    EXPECT_NE(bad.out().find(file + "\n    a plain file, not a device\n    KV32 cannot open it "
                                    "now: it is a plain file, not a serial port.\n"),
              std::string::npos)
        << bad.out();
    EXPECT_NE(bad.out().find("KV32 cannot listen on it now: another program already listens on "
                             "it."),
              std::string::npos)
        << bad.out();
    EXPECT_EQ(bad.out().find("/dev/" + file), std::string::npos);
    ::close(taken);
}

TEST(PortFailure, APortHeldByAnotherKv32NamesThatProcess) {
    kv::test::Kv32OnPty first;
    ASSERT_TRUE(first.started());
    const std::string port = first.device_path();
    ChildProcess second(KV32_BINARY, {"--headless", "--port", port}, first.dir().str());
    EXPECT_EQ(second.wait_exit(kStartTimeout), 1);
    // The fixed sentence, then the cause on the next line.
    const std::string expected = "Errore di apertura della porta di comunicazione (" + port +
                                 ").\n" + port + ": it is in use by ";
    EXPECT_NE(second.err().find(expected), std::string::npos) << second.err();
    EXPECT_NE(second.err().find(" (kv32)"), std::string::npos) << second.err();

    ChildProcess list(KV32_BINARY, {"--list-ports", port});
    EXPECT_EQ(list.wait_exit(kStartTimeout), 1);  // a named port that cannot be opened now
    EXPECT_NE(list.out().find("KV32 cannot open it now: it is in use by "), std::string::npos);
    EXPECT_EQ(first.stop(), 0);
}

TEST(PortFailure, AMissingDeviceNamesTheDeviceAndTheExistingOnes) {
    kv::test::TempDir dir;
    ChildProcess p(KV32_BINARY, {"--headless", "--port", "COM77"}, dir.str());
    EXPECT_EQ(p.wait_exit(kStartTimeout), 1);
    EXPECT_NE(p.err().find("Errore di apertura della porta di comunicazione (COM77).\n"
                           "COM77 is /dev/ttyS76: there is no such device."),
              std::string::npos)
        << p.err();
}

}  // namespace
