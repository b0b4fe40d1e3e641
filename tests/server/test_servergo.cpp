// SERVERGO on real command files in a temporary current folder.
#include <unistd.h>
#include <chrono>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "server/command_files.h"
#include "server/server.h"
#include "server/servergo.h"
#include "tables/table_wait.h"
#include "tests/support/temp_dir.h"
#include "tests/tables/tables_fixture.h"
#include "util/abandon.h"
#include "util/status_popup.h"

namespace kv::server {
namespace {

class ServergoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        set_server_log([this](const std::string& line) { log.push_back(line); });
    }
    void TearDown() override {
        set_server_log(nullptr);
        for (const char* name : {"Manutenzione", "AggiornaDatabase", "SincWeb"})
            unregister_routine(name);
    }
    void post(const std::string& name, const std::string& word) {
        dir.write(name, word.empty() ? "[Command]\r\n" : "[Command]\r\nCommand=" + word + "\r\n");
    }
    bool exists(const std::string& name) { return std::filesystem::exists(dir.path() / name); }

    test::TempDir dir;
    test::ScopedCurrentDir in_dir{dir.path()};
    std::vector<std::string> log;
};

// A command file's name as GETNEWFNAME makes it: "CMD_", the mark, date and hundredths.
std::string stamped(const std::string& digits) {
    return "CMD_" + std::string(1, '\x7f') + digits + ".INI";
}

TEST(CommandFileOrder, ByDateThenByTheValueOfTheHundredths) {
    const std::pair<std::string, std::string> in_order[] = {
        {stamped("2026120799"), stamped("20261207100")},
        {stamped("2026120699"), stamped("202612071")},
        {stamped("20261206999999"), stamped("202612071")},
        {"CMD_A.INI", "CMD_B.INI"},
    };
    for (const auto& [first, second] : in_order) {
        EXPECT_TRUE(comes_before(first, second)) << first << " " << second;
        EXPECT_FALSE(comes_before(second, first)) << first << " " << second;
    }
    EXPECT_FALSE(comes_before("CMD_A.INI", "CMD_A.INI"));
}

TEST(ServerTitle, NamesTheProgramCapitalisedAndTheFolder) {
    EXPECT_EQ(server_title("KV32", "/srv/dati"), "Server Kv32 /srv/dati");
    EXPECT_EQ(server_title("gestionale", "/"), "Server Gestionale /");
}

TEST_F(ServergoTest, ServesTheFirstFileInOrderAndDeletesIt) {
    post(stamped("20261207100"), "UPDATEDB");
    post(stamped("2026120799"), "REINDEX");
    std::vector<std::pair<std::string, std::vector<db::Value>>> calls;
    register_routine("Manutenzione", [&](const std::vector<db::Value>& args) {
        calls.emplace_back("Manutenzione", args);
    });
    register_routine("AggiornaDatabase", [&](const std::vector<db::Value>& args) {
        calls.emplace_back("AggiornaDatabase", args);
    });
    SERVERGO("kv32");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, "Manutenzione");
    EXPECT_EQ(calls[0].second, std::vector<db::Value>{false});
    EXPECT_FALSE(exists(stamped("2026120799")));
    EXPECT_TRUE(exists(stamped("20261207100")));
    SERVERGO("kv32");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[1].second.empty());
    EXPECT_FALSE(exists(stamped("20261207100")));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("Manutenzione done ("), std::string::npos) << log[0];
    // The name's 0x7F mark is shown escaped, never sent raw to a terminal.
    EXPECT_EQ(log[0].rfind("CMD_\\x7F2026120799.INI", 0), 0u) << log[0];
    SERVERGO("kv32");  // nothing waiting: nothing done
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(ServergoTest, FilesThatAskForNothingKnownAreDeletedAndLogged) {
    const struct {
        std::string word;
        std::string logged;
    } cases[] = {
        {"", "no command: nothing done"},
        {"FORMAT", "unknown command FORMAT: nothing done"},
        {"SINCWEB", "routine SincWeb is not registered: nothing done"},
        {"SETVIEW", "abandoned: no table of the request has the alias"},
    };
    for (const auto& c : cases) {
        log.clear();
        post("CMD_X.INI", c.word);
        SERVERGO("kv32");
        EXPECT_FALSE(exists("CMD_X.INI")) << c.word;
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].rfind("CMD_X.INI: " + c.logged, 0), 0u) << log[0];
    }
}

TEST_F(ServergoTest, LargeCommandFilesAndLinksAreRefusedUnreadAndDeleted) {
    kv::test::TempDir elsewhere;
    const auto secret = elsewhere.write("SECRET.INI", "[Command]\nCommand=FORMAT\n");
    struct Case {
        std::string name;
        std::function<void(const std::string&)> make;
        std::string logged;
    };
    const Case cases[] = {
        {"CMD_BIG.INI",
         [](const std::string& name) {
             std::ofstream(name) << "[Command]\nCommand=FORMAT\n" << std::string(1 << 20, ';');
         },
         "CMD_BIG.INI: refused: 1048601 bytes, more than the 1048576 a command file may have"},
        {"CMD_LNK.INI",
         [&](const std::string& name) { std::filesystem::create_symlink(secret, name); },
         "CMD_LNK.INI: refused: it is a link, which is never read"},
    };
    for (const auto& c : cases) {
        log.clear();
        c.make(c.name);
        SERVERGO("kv32");
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(c.name))) << c.name;
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].rfind(c.logged, 0), 0u) << log[0];
    }
    EXPECT_TRUE(std::filesystem::exists(secret));
}

TEST_F(ServergoTest, AFileStillBeingWrittenIsNeverServed) {
    post("CMD_X.TMP", "REINDEX");
    SERVERGO("kv32");
    EXPECT_TRUE(exists("CMD_X.TMP"));
    EXPECT_TRUE(log.empty());
}

TEST_F(ServergoTest, AnAbandonedCommandIsLoggedAndItsFileDeleted) {
    register_routine("SincWeb", [](const std::vector<db::Value>&) {
        throw util::Abandon("Disco  non pronto.");
    });
    post("CMD_X.INI", "SINCWEB");
    SERVERGO("kv32");
    EXPECT_FALSE(exists("CMD_X.INI"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("abandoned: Disco  non pronto."), std::string::npos);
}

TEST_F(ServergoTest, ACommandThatWaitsTooLongForATableIsGivenUpAndItsFileDeleted) {
    test::make_table("T.DBF", {"ALFA"});
    platform::File held;  // another program holds the table for itself alone, and keeps it
    ASSERT_TRUE(held.open("T.DBF", platform::Access::ReadWrite, platform::Share::DenyAll,
                          platform::Disposition::OpenExisting));
    // The server's handler: the failed shared open answers quietly, and the open waits.
    const util::ScopedErrorHandler handler([](const util::ErrorRecord& error) {
        return command_error(error, [](const util::ErrorRecord&) -> util::ErrorAnswer {
            throw std::logic_error("not during a command");
        });
    });
    platform::ManualClock clock;
    const platform::ScopedClock on(&clock);
    const auto start = clock.now();
    const db::ScopedWaitPause pause([&] {
        clock.advance(std::chrono::seconds(30));
        if (clock.now() - start > 2 * kLongestWait) throw std::runtime_error("still waiting");
        note_wait();
    });
    dir.write("CMD_X.INI",
              "[Command]\r\nCommand=SETVIEW\r\n[Table]\r\nTable1=T.DBF\r\n[Alias]\r\nAlias1=T\r\n"
              "[Select]\r\nAlias=T\r\n[Order]\r\nOrdKey=NAME\r\n");
    const Served served = serve_command_file("CMD_X.INI", "kv32");
    EXPECT_TRUE(served.deleted);
    EXPECT_FALSE(exists("CMD_X.INI"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("SETVIEW failed: a table or lock stayed in use by another program for "
                          "10 minutes: given up"),
              std::string::npos)
        << log[0];
    EXPECT_EQ(util::CURMSG(), std::nullopt);  // the wait's pop-up is gone with it
    // Given up after the longest wait from the first pause, not at once and not later.
    EXPECT_EQ(clock.now() - start, kLongestWait + std::chrono::seconds(30));
}

// The search path of this process for the length of a scope.
class ScopedPath {
  public:
    explicit ScopedPath(const std::string& path)
        : saved_(std::getenv("PATH") ? std::getenv("PATH") : "") {
        ::setenv("PATH", path.c_str(), 1);
    }
    ~ScopedPath() { ::setenv("PATH", saved_.c_str(), 1); }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

  private:
    std::string saved_;
};

TEST_F(ServergoTest, UpdateStartsOnlyATrustedUpdaterFromBesideTheServerOrThePath) {
    namespace fs = std::filesystem;
    const test::TempDir bin;
    const std::string marker = (dir.path() / "launched.txt").string();
    const std::string script =
        "#!/bin/sh\necho \"$@\" > " + marker + ".tmp\nmv " + marker + ".tmp " + marker + "\n";
    // Planted in the served folder: a link to the shell named as the updater, and a script
    // named after the program, which the shell would run with the base name as its argument.
    fs::create_symlink("/bin/sh", dir.path() / "updserver");
    dir.write("kv32", script);
    fs::permissions(dir.path() / "kv32", fs::perms::owner_all);
    const auto exe = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
    const struct {
        std::string name;  // put in the folder of the search path ("" none)
        fs::perms perms;
        bool folder;
        std::string logged;
    } cases[] = {
        {"", exe, false,
         "cannot start UPDSERVER.EXE: not found beside the server or on the search path"},
        {"updserver", fs::perms::owner_read | fs::perms::owner_write, false,
         "is not started: it is not executable"},
        {"UPDSERVER.EXE", exe, true, "cannot start UPDSERVER.EXE: not found"},
        {"UpdServer", exe, false, "started the updater " + bin.str() + "/UpdServer kv32 (process "},
    };
    const ScopedPath path(bin.str() + ":/usr/bin:/bin");
    for (const auto& c : cases) {
        log.clear();
        for (const auto& entry : fs::directory_iterator(bin.path())) fs::remove_all(entry.path());
        if (!c.name.empty()) {
            if (c.folder) {
                fs::create_directory(bin.path() / c.name);
            } else {
                bin.write(c.name, script);
                fs::permissions(bin.path() / c.name, c.perms);
            }
        }
        post("CMD_X.INI", "UPDATE");
        SERVERGO("kv32");
        EXPECT_FALSE(exists("CMD_X.INI"));
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find(c.logged), std::string::npos) << c.name << ": " << log[0];
        const bool started = c.logged.rfind("started", 0) == 0;
        for (int i = 0; i < 100 && !exists("launched.txt"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(started ? 100 : 5));
        EXPECT_EQ(exists("launched.txt"), started) << c.name;
        if (started) {
            EXPECT_EQ(dir.read("launched.txt"), "kv32\n");
        }
        fs::remove(dir.path() / "launched.txt");
    }
    if (::geteuid() != 0) return;  // only root can give a file to another user
    for (const auto& entry : fs::directory_iterator(bin.path())) fs::remove_all(entry.path());
    bin.write("updserver", script);
    fs::permissions(bin.path() / "updserver", exe);
    ASSERT_EQ(::chown((bin.path() / "updserver").c_str(), 65534, 65534), 0);
    log.clear();
    post("CMD_X.INI", "UPDATE");
    SERVERGO("kv32");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("is not started: it is not owned by root or by this server's user"),
              std::string::npos)
        << log[0];
}

TEST_F(ServergoTest, HiddenFilesAreServedAndPathsAndLongWordsAreNot) {
    post("CMD_H.INI", "HIDDEN");
    if (!platform::set_file_attributes("CMD_H.INI", platform::ATTR_HIDDEN))
        GTEST_SKIP() << "this file system keeps no attributes";
    SERVERGO("kv32");
    EXPECT_FALSE(exists("CMD_H.INI"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("unknown command HIDDEN"), std::string::npos) << log[0];
    // A name that is a path is no command file; the next file is served.
    dir.write("victim/T.INI", "[Command]\r\nCommand=REINDEX\r\n");
    post("CMD_A\\..\\victim\\T.INI", "PLANTED");
    post("CMD_B.INI", std::string(300, 'W'));
    log.clear();
    SERVERGO("kv32");
    EXPECT_TRUE(exists("victim/T.INI"));
    ASSERT_EQ(log.size(), 1u);
    // The word is cut at 200 characters in the log.
    EXPECT_NE(log[0].find("unknown command " + std::string(200, 'W') + "\x85: nothing done"),
              std::string::npos)
        << log[0];
}

}  // namespace
}  // namespace kv::server
