// kv32 --desktop as the desktop menu starts it, with a scratch home and configuration folder; and
// the log file of --log.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tools/kvdev/commands.h"

namespace {

using namespace std::chrono_literals;
namespace fsys = std::filesystem;
using kv::test::kStartTimeout;
using kv::test::kWaitingLine;

// Every file and folder below a folder, relative to it.
std::vector<std::string> tree(const fsys::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fsys::recursive_directory_iterator(folder))
        names.push_back(fsys::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DesktopStart, TheFirstStartWaitsInItsSettingsDialogAndWritesNothing) {
    kv::test::TempDir home;
    fsys::create_directory(home.path() / "work");
    kv::dev::ChildProcess kv32(
        KV32_BINARY, {"--desktop"}, home.str(),
        {"HOME=" + home.str(), "XDG_CONFIG_HOME=", "QT_QPA_PLATFORM=offscreen"});
    // No settings: no port is taken, nothing is served; it waits for the user's choice.
    EXPECT_FALSE(kv32.wait_exit(1500ms).has_value()) << kv32.err();
    EXPECT_EQ(kv32.out(), "");
    kv32.signal(SIGTERM);  // what ending the session does: the dialog is cancelled
    EXPECT_EQ(kv32.wait_exit(kStartTimeout), 0) << kv32.err();
    for (const auto& name : tree(home.path())) {
        EXPECT_EQ(name.find("KV32"), std::string::npos) << name;
        EXPECT_EQ(name.find("kv32"), std::string::npos) << name;
    }
}

// A second desktop KV32 on the same settings does not fight the first for the port: it says
// that KV32 already runs (the first comes to the front) and ends; the first goes on serving.
TEST(DesktopStart, ASecondStartOnTheSameSettingsLeavesThePortToTheFirst) {
    kv::test::TempDir home;
    kv::dev::PtyPair pty;
    auto device = pty.take_master();
    home.write("config/kv32/KV32.INI", "[Impostazioni]\r\nPorta=" + pty.slave_path() + "\r\n");
    const std::vector<std::string> env{"HOME=" + home.str(),
                                       "XDG_CONFIG_HOME=" + home.str() + "/config"};
    kv::dev::ChildProcess first(KV32_BINARY, {"--desktop", "--headless"}, "/", env);
    ASSERT_TRUE(device.read_start_byte(kStartTimeout)) << first.err();
    ASSERT_TRUE(first.wait_for_line(kWaitingLine, kStartTimeout));
    kv::dev::ChildProcess second(KV32_BINARY, {"--desktop", "--headless"}, "/", env);
    EXPECT_EQ(second.wait_exit(kStartTimeout), 0);
    EXPECT_NE(second.err().find("kv32: KV32 already runs with the settings " + home.str() +
                                "/config/kv32/KV32.INI"),
              std::string::npos)
        << second.err();
    EXPECT_EQ(kv::dev::save(device, "HELLO", "hi"), kv::dev::kOk);
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait_exit(kStartTimeout), 0) << first.err();
}

TEST(DesktopStart, LaterStartsServeKV32InTheHomeFolderWithTheSettingsOfTheUser) {
    kv::test::TempDir home;
    kv::dev::PtyPair pty;
    auto device = pty.take_master();
    home.write("config/kv32/KV32.INI", "[Impostazioni]\r\nPorta=" + pty.slave_path() + "\r\n");
    const std::string log = home.str() + "/kv32.log";
    kv::dev::ChildProcess kv32(KV32_BINARY, {"--desktop", "--headless", "--log", log}, "/",
                               {"HOME=" + home.str(), "XDG_CONFIG_HOME=" + home.str() + "/config"});
    ASSERT_TRUE(device.read_start_byte(kStartTimeout)) << kv32.err();
    ASSERT_TRUE(kv32.wait_for_line(kWaitingLine, kStartTimeout));
    EXPECT_EQ(kv::dev::save(device, "HELLO", "hi"), kv::dev::kOk);
    EXPECT_EQ(kv::dev::erase(device, ""), kv::dev::kRefused);  // the Save has been written
    // The loop logs that it waits again only after the answer: the signal comes after that line.
    ASSERT_TRUE(kv32.wait_for_line(kWaitingLine, kStartTimeout, 3));
    kv32.signal(SIGTERM);
    EXPECT_EQ(kv32.wait_exit(kStartTimeout), 0) << kv32.err();

    EXPECT_TRUE(fsys::exists(home.path() / "KV32" / "HELLO"));
    EXPECT_EQ(home.read("config/kv32/KV32.INI"),
              "[Impostazioni]\r\nPorta=" + pty.slave_path() + "\r\n");  // never written
    EXPECT_FALSE(fsys::exists(home.path() / "KV32.INI"));

    // The log file holds what the log showed, each line with its date and time.
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u);
    // First what is served (headless).
    EXPECT_NE(lines[0].find(" serving " + pty.slave_path() + " at 57600,N,8,1 from " +
                            fsys::canonical(home.path()).string() + "/KV32"),
              std::string::npos)
        << lines[0];
    lines.erase(lines.begin());
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*))");
    const char* expected[] = {"Waiting command (ESC to exit)...", "Saving...",
                              "Waiting command (ESC to exit)...", "Erasing...",
                              "Waiting command (ESC to exit)..."};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, stamped)) << lines[i];
        EXPECT_EQ(m[1], expected[i]);
    }
}

TEST(DesktopStart, AFirstStartWithoutADisplaySaysWhatIsMissing) {
    kv::test::TempDir home;
    kv::dev::ChildProcess kv32(KV32_BINARY, {"--desktop", "--headless"}, home.str(),
                               {"HOME=" + home.str(), "XDG_CONFIG_HOME="});
    EXPECT_EQ(kv32.wait_exit(kStartTimeout), 1);
    EXPECT_NE(kv32.err().find("Nessuna porta seriale impostata"), std::string::npos) << kv32.err();
    EXPECT_TRUE(tree(home.path()).empty());
}

}  // namespace
