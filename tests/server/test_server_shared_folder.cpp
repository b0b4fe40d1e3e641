// kvserver in a folder that anyone may write in, as separate processes: names that are paths,
// commands that fail, files that cannot be deleted or are still being written, a server asked to
// close while a command waits, clients that post at the same moment, and SERVER.EXE in every
// state it can be found in.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/server/server_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/tables/tables_fixture.h"
#include "tools/kvdev/child_process.h"

namespace kv::server {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
constexpr auto kTimeout = kServerTimeout;

std::string stamped(int hundredths, const std::string& extension = "INI") {
    return "CMD_\x7f"
           "20261208" +
           std::to_string(100000 + hundredths) + "." + extension;
}

std::string command(const std::string& word) {
    return "[Command]\r\nCommand=" + word + "\r\n";
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class SharedFolderTest : public ::testing::Test {
  protected:
    SharedFolderTest() { fs::create_directory(served()); }

    fs::path served() const { return dir.path() / "SERVED"; }
    std::unique_ptr<dev::ChildProcess> start_server(std::vector<std::string> args = {}) {
        return server::start_server(served().string(), std::move(args));
    }
    void put(const std::string& name, const std::string& text) {
        std::ofstream(served() / name, std::ios::binary) << text;
    }
    // Posted as the client helpers post: written under another name, then renamed.
    void post(const std::string& name, const std::string& text) {
        put(name + ".TMP", text);
        fs::rename(served() / (name + ".TMP"), served() / name);
    }
    bool exists(const std::string& name) const {
        struct stat st;
        return ::lstat((served() / name).c_str(), &st) == 0;
    }
    bool served_word(dev::ChildProcess& server, const std::string& word) {
        return wait_for([&] {
            return server.out().find("unknown command " + word + ": nothing done") !=
                   std::string::npos;
        });
    }
    void stop(dev::ChildProcess& server) {
        server.signal(SIGTERM);
        EXPECT_EQ(server.wait_exit(kTimeout), 0) << server.out() << server.err();
    }

    test::TempDir dir;
};

TEST_F(SharedFolderTest, ANameThatIsAPathIsLeftAloneAndHoldsUpNothing) {
    // Read and deleted by that name, it would be ../victim/T.INI.
    dir.write("victim/T.INI", command("REINDEX"));
    const std::string planted = "CMD_X\\..\\..\\victim\\T.INI";
    put(planted, command("PLANTED"));
    put("CMD_A.INI", command("FIRST"));
    auto server = start_server();
    ASSERT_TRUE(served_word(*server, "FIRST")) << server->out();
    post("CMD_Z.INI", command("LAST"));
    ASSERT_TRUE(served_word(*server, "LAST")) << server->out();
    post("CMD_ZZ.INI", command("LATER"));  // a few looks later: still logged once
    ASSERT_TRUE(served_word(*server, "LATER")) << server->out();
    EXPECT_TRUE(fs::exists(dir.path() / "victim/T.INI"));
    EXPECT_TRUE(exists(planted));
    EXPECT_EQ(occurrences(server->out(), "CMD_X\\..\\..\\victim\\T.INI: not a command file"), 1u)
        << server->out();
    EXPECT_EQ(server->out().find("PLANTED"), std::string::npos);
    EXPECT_EQ(server->out().find("Manutenzione"), std::string::npos);
    stop(*server);
}

// A view request on T.DBF (NAME C(10)) with the order given.
std::string view_request(const std::string& table, const std::string& key,
                         const std::string& filter, const std::string& extra = {}) {
    return "[Command]\r\nCommand=SETVIEW\r\n[Table]\r\nTable1=" + table +
           "\r\n[Alias]\r\nAlias1=T\r\n" + extra +
           "[Select]\r\nAlias=T\r\n[Order]\r\nOrdTag=V\r\nOrdKey=" + key + "\r\nOrdFor=" + filter +
           "\r\nOrdCur=N\r\nOrdUni=N\r\n";
}

TEST_F(SharedFolderTest, AFailingCommandEndsThatCommandOnlyAndTheNextIsServed) {
    {
        test::ScopedCurrentDir in(served());
        test::make_table("T.DBF", {"ALFA", "BETA"});
    }
    put("BAD.NTX", std::string(2048, 'x'));         // not a bag
    put(stamped(7, "NTX"), std::string(100, 'y'));  // a stale result under the result's name
    const struct {
        std::string request;
        std::string logged;
    } cases[] = {
        {view_request("T.DBF", "NAME +", ""), "SETVIEW failed: "},
        {view_request("T.DBF", "NAME", "NAME = "), "SETVIEW failed: "},
        {view_request("T.DBF", "IF(RECNO() = 1, NAME, RECNO())", ""), "SETVIEW failed: "},
        {view_request("T.DBF", "NAME", "", "[Index1]\r\nIndex1=BAD.NTX\r\n"), "SETVIEW failed: "},
        {view_request("T.DBF", "REPLICATE(NAME, 100000000)", ""), "SETVIEW failed: "},
        {"[Command]\r\nCommand=SETVIEW\r\n[Table]\r\nTable1=T.DBF\r\nTable2=T.DBF\r\n[Alias]\r\n"
         "Alias1=T\r\nAlias2=T\r\n[Select]\r\nAlias=T\r\n[Order]\r\nOrdKey=NAME\r\n",
         "SETVIEW failed: "},
        {view_request("T.DBF", "NAME", ""), "view built in "},
    };
    int n = 0;
    for (const auto& c : cases) post(stamped(++n), c.request);
    post(stamped(++n), command("GOOD"));
    auto server = start_server();
    ASSERT_TRUE(served_word(*server, "GOOD")) << server->out() << server->err();
    const auto lines = server->out_lines();
    n = 0;
    for (const auto& c : cases) {
        const std::string file = "CMD_\\x7F20261208" + std::to_string(100000 + ++n) + ".INI: ";
        bool found = false;
        for (const auto& line : lines)
            found = found || (line.find(file + c.logged) != std::string::npos);
        EXPECT_TRUE(found) << n << ": " << c.logged << "\n" << server->out();
        EXPECT_FALSE(exists(stamped(n))) << n;
    }
    EXPECT_EQ(server->err().find("Attenzione"), std::string::npos) << server->err();
    stop(*server);
}

TEST_F(SharedFolderTest, ALockTableNamedByARequestIsRefusedAndTheNextIsServed) {
    {
        test::ScopedCurrentDir in(served());
        test::make_table("T.DBF", {"ALFA"});
    }
    put("SERVER.EXE", "");
    fs::create_symlink("SERVER.EXE", served() / "LINK.DBF");
    fs::create_hard_link(served() / "SERVER.EXE", served() / "HARD.DBF");
    dir.write("OTHER/server.exe", "");  // the lock table of a server of another folder
    const std::string bag = "[Index1]\r\nIndex1=";
    const std::string requests[] = {
        view_request("SERVER.EXE", "NAME", ""),
        view_request("server.exe", "NAME", ""),
        view_request(".\\Server.Exe", "NAME", ""),
        view_request("S:\\SERVED\\SERVER.EXE", "NAME", ""),
        view_request("\\served\\server.exe", "NAME", ""),
        view_request("..\\SERVED\\..\\served\\SERVER.EXE", "NAME", ""),
        view_request((served() / "SERVER.EXE").string(), "NAME", ""),
        view_request("LINK", "NAME", ""),
        view_request("HARD.DBF", "NAME", ""),
        view_request("S:\\OTHER\\SERVER.EXE", "NAME", ""),
        view_request("T.DBF", "NAME", "", bag + "SERVER.EXE\r\n"),
        view_request("T.DBF", "NAME", "", bag + "S:\\SERVED\\link.dbf\r\n"),
    };
    int n = 0;
    for (const auto& request : requests) post(stamped(++n), request);
    post(stamped(++n), command("GOOD"));
    auto server = start_server({"--root", dir.str()});
    ASSERT_TRUE(served_word(*server, "GOOD")) << server->out() << server->err();
    const auto lines = server->out_lines();
    for (n = 1; n <= static_cast<int>(std::size(requests)); ++n) {
        const std::string file = "CMD_\\x7F20261208" + std::to_string(100000 + n) + ".INI: ";
        bool found = false;
        for (const auto& line : lines)
            found = found || line.find(file + "refused: ") != std::string::npos;
        EXPECT_TRUE(found) << n << "\n" << server->out();
        EXPECT_FALSE(exists(stamped(n))) << n;
    }
    EXPECT_EQ(server->err().find("E' in corso"), std::string::npos) << server->err();
    stop(*server);
}

TEST_F(SharedFolderTest, AFileThatCannotBeDeletedIsCarriedOutOnceAndOthersAreServed) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may delete in any folder";
    put("SERVER.EXE", "");
    put("CMD_A.INI", command("STUCK"));
    put("CMD_B.INI", command("BESIDE"));
    fs::permissions(served(), fs::perms::owner_read | fs::perms::owner_exec);
    auto server = start_server();
    ASSERT_TRUE(served_word(*server, "BESIDE")) << server->out();
    std::this_thread::sleep_for(1s);  // ten looks: neither file is carried out again
    fs::permissions(served(), fs::perms::owner_all);
    post("CMD_C.INI", command("AFTER"));
    ASSERT_TRUE(served_word(*server, "AFTER")) << server->out();
    const std::string out = server->out();
    EXPECT_EQ(occurrences(out, "unknown command STUCK"), 1u) << out;
    EXPECT_EQ(occurrences(out, "unknown command BESIDE"), 1u) << out;
    EXPECT_EQ(occurrences(out, "CMD_A.INI: cannot be deleted (Permission denied)"), 1u) << out;
    EXPECT_FALSE(exists("CMD_C.INI"));
    // Written again, it is a new command.
    post("CMD_A.INI", command("AGAIN"));
    ASSERT_TRUE(served_word(*server, "AGAIN")) << server->out();
    stop(*server);
}

// Written as a profile writer writes, in place: each key by its own open, write and close, or
// all in one open with pauses between the keys; the pauses up to 50 ms.
void write_slowly(const fs::path& file, int n, std::mt19937& random) {
    const std::string keys[] = {"[Note]\r\nFirst=1\r\n", "[Command]\r\n",
                                "Command=SLOW" + std::to_string(n) + "\r\n",
                                "[Other]\r\nLast=1\r\n"};
    std::uniform_int_distribution<int> pause(0, 50);
    if (n % 2 == 0) {
        for (const auto& key : keys) {
            std::ofstream(file, std::ios::binary | std::ios::app) << key;
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        }
    } else {
        std::ofstream out(file, std::ios::binary);
        for (const auto& key : keys) {
            out << key << std::flush;
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        }
    }
}

TEST_F(SharedFolderTest, FilesStillBeingWrittenAreServedOnlyWhenComplete) {
    auto server = start_server();
    constexpr int kFiles = 200;
    constexpr int kWriters = 20;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([this, w] {
            std::mt19937 random(static_cast<unsigned>(w));
            for (int n = w; n < kFiles; n += kWriters)
                write_slowly(served() / stamped(n), n, random);
        });
    }
    for (auto& writer : writers) writer.join();
    ASSERT_TRUE(wait_for([&] {
        return occurrences(server->out(), "unknown command SLOW") == kFiles;
    })) << server->out();
    for (int n = 0; n < kFiles; ++n)
        EXPECT_EQ(occurrences(server->out(), "unknown command SLOW" + std::to_string(n) + ":"), 1u)
            << n;
    EXPECT_EQ(server->out().find("no command"), std::string::npos);
    stop(*server);
}

TEST_F(SharedFolderTest, SigtermEndsTheServerWhileACommandWaitsForATable) {
    {
        test::ScopedCurrentDir in(served());
        test::make_table("T.DBF", {"ALFA"});
    }
    platform::File held;  // another program holds the table for itself alone
    ASSERT_TRUE(held.open((served() / "T.DBF").string(), platform::Access::ReadWrite,
                          platform::Share::DenyAll, platform::Disposition::OpenExisting));
    auto server = start_server();
    post(stamped(1), view_request("T.DBF", "NAME", ""));
    ASSERT_TRUE(wait_for([&] { return server->err().find("E' in corso") != std::string::npos; }))
        << server->out() << server->err();
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait_exit(kTimeout), 0) << server->out();
    EXPECT_TRUE(exists(stamped(1)));  // kept for the next start
    EXPECT_NE(server->out().find("left for the next start"), std::string::npos) << server->out();
}

TEST_F(SharedFolderTest, SimultaneousPostsAreEachServed) {
    auto server = start_server();
    constexpr int kClients = 20;
    std::vector<std::unique_ptr<dev::ChildProcess>> clients;
    for (int i = 0; i < kClients; ++i)
        clients.push_back(std::make_unique<dev::ChildProcess>(
            KVSERVER_BINARY, std::vector<std::string>{"--post", "REINDEX"}, served().string()));
    for (auto& client : clients) EXPECT_EQ(client->wait_exit(kTimeout), 0) << client->err();
    ASSERT_TRUE(wait_for([&] {
        return occurrences(server->out(), "routine Manutenzione is not registered") == kClients;
    })) << server->out();
    stop(*server);
}

TEST_F(SharedFolderTest, PostsSayWhyTheyCannotBeServed) {
    // No server: said, exit status 1, no file left.
    dev::ChildProcess alone(KVSERVER_BINARY, {"--post", "REINDEX"}, served().string());
    EXPECT_EQ(alone.wait_exit(kTimeout), 1);
    EXPECT_NE(alone.err().find("No server is running"), std::string::npos) << alone.err();
    EXPECT_TRUE(fs::is_empty(served()));
    // --wait-server posts all the same and says that it waits, once.
    dev::ChildProcess waiting(KVSERVER_BINARY, {"--post", "UPDATEDB", "--wait-server"},
                              served().string());
    ASSERT_TRUE(waiting.wait_for_prefix("UPDATEDB posted; waiting for a server", kTimeout))
        << waiting.err();
    auto server = start_server();
    EXPECT_EQ(waiting.wait_exit(kTimeout), 0);
    // It says what it knows: that the server took the command, and when; not that it was done.
    ASSERT_EQ(waiting.out_lines().size(), 2u) << waiting.out();
    EXPECT_EQ(waiting.out_lines()[1].rfind("UPDATEDB posted; the server took it at ", 0), 0u)
        << waiting.out();
    stop(*server);
    if (::geteuid() == 0) return;  // root may write in any folder
    auto running = start_server();
    fs::permissions(served(), fs::perms::owner_read | fs::perms::owner_exec);
    dev::ChildProcess refused(KVSERVER_BINARY, {"--post", "REINDEX"}, served().string());
    EXPECT_EQ(refused.wait_exit(kTimeout), 1);
    EXPECT_NE(refused.err().find("cannot be written"), std::string::npos) << refused.err();
    fs::permissions(served(), fs::perms::owner_all);
    stop(*running);
}

TEST_F(SharedFolderTest, ServerExeIsReportedForWhatItIs) {
    const auto running = [&] {
        dev::ChildProcess probe(KVSERVER_BINARY, {"--running"}, served().string());
        const auto status = probe.wait_exit(kTimeout);
        return std::make_pair(status, probe.out());
    };
    // Read-only: no server runs, and one starts.
    put("SERVER.EXE", "");
    fs::permissions(served() / "SERVER.EXE", fs::perms::owner_read);
    auto [status, out] = running();
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("No server is running (SERVER.EXE is read-only)"), std::string::npos) << out;
    {
        auto server = start_server();
        EXPECT_EQ(running().first, 0);
        stop(*server);
    }
    // A folder: no server runs, and none can start here; both say so.
    fs::remove(served() / "SERVER.EXE");
    fs::create_directory(served() / "SERVER.EXE");
    std::tie(status, out) = running();
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("SERVER.EXE is a folder"), std::string::npos) << out;
    dev::ChildProcess refused(KVSERVER_BINARY, {"--headless"}, served().string());
    EXPECT_EQ(refused.wait_exit(kTimeout), 1);
    EXPECT_NE(refused.out().find("SERVER.EXE is a folder"), std::string::npos) << refused.out();
}

}  // namespace
}  // namespace kv::server
