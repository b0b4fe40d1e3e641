// kvserver and its clients as separate processes sharing a temporary folder.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/server/server_test_support.h"
#include "tests/support/temp_dir.h"
#include "tools/kvdev/child_process.h"

namespace kv::server {
namespace {

using namespace std::chrono_literals;
constexpr auto kTimeout = 30s;  // generous: the programs run under the sanitizers

// A command file's name as GETNEWFNAME makes it: "CMD_", the mark, date and hundredths.
std::string name(const std::string& digits, const std::string& extension) {
    return "CMD_" + std::string(1, '\x7f') + digits + "." + extension;
}

class ServerProcessTest : public ::testing::Test {
  protected:
    std::unique_ptr<dev::ChildProcess> start_server() { return server::start_server(dir.str()); }
    std::optional<int> client(const std::vector<std::string>& args) {
        dev::ChildProcess c(KVSERVER_BINARY, args, dir.str());
        return c.wait_exit(kTimeout);
    }
    std::vector<std::string> command_files() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = e.path().filename().string();
            if (name.rfind("CMD_", 0) == 0) names.push_back(name);
        }
        return names;
    }

    test::TempDir dir;
};

TEST_F(ServerProcessTest, FilesAreServedInNameOrderAndDeleted) {
    dir.write(name("20261207200", "INI"), "[Command]\r\nCommand=SECOND\r\n");
    dir.write(name("2026120799", "INI"), "[Command]\r\nCommand=FIRST\r\n");
    dir.write(name("2026120798", "TMP"), "[Command]\r\nCommand=HALF\r\n");
    auto server = start_server();
    // A file is deleted before its line is logged: both are waited for.
    ASSERT_TRUE(wait_for([&] {
        return command_files().size() == 1 &&
               server->out().find("unknown command SECOND") != std::string::npos;
    })) << server->out();
    EXPECT_EQ(command_files(), std::vector<std::string>{name("2026120798", "TMP")});
    const std::string& out = server->out();
    const auto first = out.find("unknown command FIRST: nothing done");
    const auto second = out.find("unknown command SECOND: nothing done");
    ASSERT_NE(first, std::string::npos) << out;
    ASSERT_NE(second, std::string::npos) << out;
    EXPECT_LT(first, second);
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait_exit(kTimeout), 0);
    EXPECT_NE(server->out().find("Server closed."), std::string::npos);
}

TEST_F(ServerProcessTest, ClientsPostAndWaitOrReturnAtOnce) {
    // Without a server, SINCWEB is not posted; told to, it returns at once and leaves its file
    // for a server to come.
    EXPECT_EQ(client({"--post", "SINCWEB"}), 1);
    EXPECT_TRUE(command_files().empty());
    EXPECT_EQ(client({"--post", "SINCWEB", "--wait-server"}), 0);
    ASSERT_EQ(command_files().size(), 1u);
    auto server = start_server();
    ASSERT_TRUE(wait_for([&] { return command_files().empty(); }));
    // UPDATE returns only when the server has deleted its file.
    EXPECT_EQ(client({"--post", "UPDATE"}), 0);
    EXPECT_TRUE(command_files().empty());
    EXPECT_NE(server->out().find("cannot start UPDSERVER.EXE"), std::string::npos);
    EXPECT_NE(server->out().find("routine SincWeb is not registered"), std::string::npos);
}

TEST_F(ServerProcessTest, RunningServerIsSeenThroughItsHeldFile) {
    EXPECT_EQ(client({"--running"}), 1);  // no SERVER.EXE
    dir.write("SERVER.EXE", "");
    EXPECT_EQ(client({"--running"}), 1);  // present but not held
    auto server = start_server();
    EXPECT_EQ(client({"--running"}), 0);
    // A second server in the same folder refuses to start.
    EXPECT_EQ(client({"--headless"}), 1);
    server->signal(SIGINT);
    EXPECT_EQ(server->wait_exit(kTimeout), 0);
    EXPECT_EQ(client({"--running"}), 1);
}

TEST_F(ServerProcessTest, ARemovedOrReplacedServerExeIsHeldAgain) {
    namespace fs = std::filesystem;
    auto server = start_server();
    const fs::path held = dir.path() / "SERVER.EXE";
    const std::vector<std::pair<std::string, std::function<void()>>> changes = {
        {"renamed", [&] { fs::rename(held, dir.path() / "MOVED.EXE"); }},
        {"removed", [&] { fs::remove(held); }},
        {"replaced", [&] { fs::rename(dir.write("OTHER.EXE", ""), held); }},
    };
    for (const auto& [change, make] : changes) {
        SCOPED_TRACE(change);
        make();
        ASSERT_TRUE(wait_for([&] { return client({"--running"}) == 0; }, kTimeout));
        EXPECT_EQ(client({"--headless"}), 1);
    }
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait_exit(kTimeout), 0);
    // Each change is logged once.
    const std::string& out = server->out();
    std::size_t again = 0;
    for (auto at = out.find("held by this server again"); at != std::string::npos;
         at = out.find("held by this server again", at + 1))
        ++again;
    EXPECT_EQ(again, changes.size()) << out;
    EXPECT_NE(out.find("SERVER.EXE is gone"), std::string::npos) << out;
    EXPECT_NE(out.find("SERVER.EXE is no longer the file this server holds"), std::string::npos)
        << out;
}

TEST_F(ServerProcessTest, AServerWhoseServerExeAnotherServerTookEnds) {
    // The first server is held still while its file is removed and a second server starts.
    auto first = start_server();
    first->signal(SIGSTOP);
    std::filesystem::remove(dir.path() / "SERVER.EXE");
    auto second = start_server();
    first->signal(SIGCONT);
    EXPECT_EQ(first->wait_exit(kTimeout), 1);
    EXPECT_NE(first->out().find("Another server now holds SERVER.EXE in this folder"),
              std::string::npos)
        << first->out();
    EXPECT_EQ(client({"--running"}), 0);
    second->signal(SIGTERM);
    EXPECT_EQ(second->wait_exit(kTimeout), 0);
}

}  // namespace
}  // namespace kv::server
