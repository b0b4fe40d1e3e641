// SERVERGO on real command files in a temporary current folder.
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "server/command_files.h"
#include "server/server.h"
#include "server/servergo.h"
#include "tests/support/temp_dir.h"
#include "util/abandon.h"

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

TEST_F(ServergoTest, UpdateStartsTheUpdaterWithTheBaseNameOrLogsWhyNot) {
    post("CMD_X.INI", "UPDATE");
    SERVERGO("kv32");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("cannot start UPDSERVER.EXE"), std::string::npos) << log[0];
    EXPECT_FALSE(exists("CMD_X.INI"));

    // Found in the current folder under another case and without the extension.
    const auto script = dir.write("UpdServer",
                                  "#!/bin/sh\necho \"$@\" > launched.tmp\n"
                                  "mv launched.tmp launched.txt\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    post("CMD_X.INI", "UPDATE");
    SERVERGO("kv32");
    EXPECT_FALSE(exists("CMD_X.INI"));
    for (int i = 0; i < 500 && !exists("launched.txt"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(dir.read("launched.txt"), "kv32\n");
}

}  // namespace
}  // namespace kv::server
