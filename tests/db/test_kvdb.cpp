// kvdb from the command line: each form run as scripts run it, with its output and exit status.
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "db/index_orders.h"
#include "tests/db/db_test_support.h"
#include "tools/kvdb/kvdb.h"
#include "tools/kvdb/kvdb_mounts.h"

namespace kv::test {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class KvdbTest : public ::testing::Test {
  protected:
    Outcome kvdb(std::vector<std::string> arguments) {
        for (std::string& argument : arguments) {
            if (argument == "@") argument = table_;
        }
        std::ostringstream out, err;
        const int status = kvdb::run(arguments, out, err);
        return {status, out.str(), err.str()};
    }
    void SetUp() override { table_ = (dir_.path() / "T.DBF").string(); }
    TempDir dir_;
    std::string table_;
    SettingsGuard settings_;
};

TEST_F(KvdbTest, CreateAppendIndexSeekDumpAndCheckWorkTogether) {
    ASSERT_EQ(kvdb({"create", "@", "NAME:C:20", "QTY:N:8:2", "BORN:D", "OK:L", "NOTES:M"}).status,
              0);
    const std::vector<std::vector<std::string>> rows = {
        {"NAME=ALFA", "QTY=1.5", "BORN=2024-03-01", "OK=T", "NOTES=long text, with \"quotes\""},
        {"NAME=città", "QTY=-2", "BORN=", "OK=F"},
        {"NAME=BETA", "QTY=10"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> arguments = {"append", "@"};
        arguments.insert(arguments.end(), row.begin(), row.end());
        ASSERT_EQ(kvdb(arguments).status, 0) << kvdb(arguments).err;
    }
    ASSERT_EQ(kvdb({"index", "@", "T", "BYNAME", "UPPER(NAME)"}).status, 0);
    ASSERT_EQ(kvdb({"index", "@", "T", "BIG", "QTY", "--for", "QTY > 0", "--descending"}).status,
              0);
    ASSERT_EQ(kvdb({"append", "@", "NAME=ALFIO", "QTY=3"}).status, 0)
        << "keeps the table's own bag";
    EXPECT_EQ(kvdb({"dump", "@"}).out,
              "NAME,QTY,BORN,OK,NOTES\n"
              "ALFA,1.50,2024-03-01,T,\"long text, with \"\"quotes\"\"\"\n"
              "città,-2.00,,F,\n"
              "BETA,10.00,,F,\n"
              "ALFIO,3.00,,F,\n");
    EXPECT_EQ(kvdb({"dump", "@", "--order", "T:BIG"}).out,
              "NAME,QTY,BORN,OK,NOTES\nBETA,10.00,,F,\nALFIO,3.00,,F,\n"
              "ALFA,1.50,2024-03-01,T,\"long text, with \"\"quotes\"\"\"\n");
    EXPECT_EQ(kvdb({"dump", "@", "--order", "T:BYNAME", "--for", "QTY < 5"}).out,
              "NAME,QTY,BORN,OK,NOTES\nALFA,1.50,2024-03-01,T,\"long text, with \"\"quotes\"\"\"\n"
              "ALFIO,3.00,,F,\ncittà,-2.00,,F,\n");
    const Outcome found = kvdb({"seek", "@", "T:BYNAME", "ALFI"});
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.out, "ALFIO,3.00,,F,\n");
    EXPECT_EQ(kvdb({"seek", "@", "T:BIG", "10"}).out, "BETA,10.00,,F,\n");
    EXPECT_EQ(kvdb({"seek", "@", "T:BYNAME", "ZZ"}).status, 1);
    EXPECT_EQ(kvdb({"check", "@"}).out, "OK\n");
    const Outcome info = kvdb({"info", "@"});
    EXPECT_NE(info.out.find("Records: 4\n"), std::string::npos);
    EXPECT_NE(info.out.find("T.NTX:BIG  N  QTY  FOR QTY > 0  DESCENDING"), std::string::npos)
        << info.out;
}

TEST_F(KvdbTest, PackZapAndCheckKeepTablesAndTagsRight) {
    ASSERT_EQ(kvdb({"create", "@", "N:N:4"}).status, 0);
    for (int i = 1; i <= 6; ++i) kvdb({"append", "@", "N=" + std::to_string(i)});
    ASSERT_EQ(kvdb({"index", "@", "T", "N", "N"}).status, 0);
    {
        auto table = open_table(table_);
        for (long r : {2, 4}) {
            table->go_to(r);
            table->mark_deleted();
        }
    }
    EXPECT_EQ(kvdb({"dump", "@", "--deleted"}).out, "N,DELETED\n1,F\n2,T\n3,F\n4,T\n5,F\n6,F\n");
    ASSERT_EQ(kvdb({"pack", "@"}).status, 0);
    EXPECT_EQ(kvdb({"dump", "@", "--order", "T:N"}).out, "N\n1\n3\n5\n6\n");
    EXPECT_EQ(kvdb({"check", "@"}).status, 0);
    // A damaged tag is found: its one leaf claims a key fewer than the records give.
    std::string bag = dir_.read("T.NTX");
    std::size_t leaf = 2048;
    while (leaf < bag.size() && bag.compare(leaf, 4, std::string("\x03\0\x04\0", 4)) != 0)
        leaf += 512;
    ASSERT_LT(leaf, bag.size());
    bag[leaf + 2] = 3;
    dir_.write("T.NTX", bag);
    const Outcome damaged = kvdb({"check", "@"});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.err.find("tag N"), std::string::npos) << damaged.err;
    ASSERT_EQ(kvdb({"zap", "@"}).status, 0);
    EXPECT_EQ(kvdb({"dump", "@"}).out, "N\n");
    EXPECT_EQ(kvdb({"check", "@"}).status, 0) << "zap rebuilds the tags empty";
}

TEST_F(KvdbTest, WrongUsageAndBadInputGetPlainReasons) {
    kvdb({"create", "@", "NAME:C:5", "D:D"});
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {{}, 2, "no command given"},
        {{"frobnicate", "@"}, 2, "unknown command"},
        {{"create", "X"}, 2, "at least one field"},
        {{"create", "X", "A:C"}, 2, "needs a width"},
        {{"create", "X", "A:Q:3"}, 1, "type must be"},
        {{"append", "@", "NOPE=1"}, 1, "no field NOPE"},
        {{"append", "@", "D=2024-02-30"}, 1, "not a date"},
        {{"append", "@", "NAME"}, 2, "NAME=VALUE"},
        {{"dump", "@", "--bogus"}, 2, "unknown option"},
        {{"dump", "@", "--for", "NAME +"}, 1, "NAME +"},
        {{"dump", (std::string(TempDir().str()) + "/NONE")}, 1, "NONE.DBF (Path not found)"},
        {{"seek", "@", "T:X", "A"}, 1, "Open error"},
        {{"index", "@", "T", "BAD", "NOPE"}, 1, "NOPE"},
    };
    for (const Case& c : cases) {
        const Outcome run = kvdb(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.reason;
        EXPECT_NE((run.err + run.out).find(c.reason), std::string::npos) << run.err;
    }
    EXPECT_EQ(kvdb({"--help"}).status, 0);
}

TEST_F(KvdbTest, DatesFollowTheProgramsSettingsUnlessTheOptionsSayOtherwise) {
    ASSERT_EQ(kvdb({"create", "@", "NAME:C:10", "BORN:D"}).status, 0);
    kvdb({"append", "@", "NAME=ALFA", "BORN=2024-03-01"});
    kvdb({"append", "@", "NAME=BETA", "BORN=2079-02-01"});
    ASSERT_EQ(kvdb({"index", "@", "T", "BYDAY", "DTOC(BORN)"}).status, 0);
    const struct {
        std::vector<std::string> arguments;
        const char* out;
    } cases[] = {
        {{"dump", "@", "--for", "BORN = CTOD(\"01/03/24\")"}, "NAME,BORN\nALFA,2024-03-01\n"},
        {{"dump", "@", "--for", "BORN = CTOD(\"01/02/79\")"}, "NAME,BORN\nBETA,2079-02-01\n"},
        {{"dump", "@", "--epoch", "1900", "--for", "BORN = CTOD(\"01/02/79\")"}, "NAME,BORN\n"},
        {{"--date-format", "mm/dd/yy", "dump", "@", "--for", "BORN = CTOD(\"03/01/24\")"},
         "NAME,BORN\nALFA,2024-03-01\n"},
        {{"seek", "@", "T:BYDAY", "01/03/24"}, "ALFA,2024-03-01\n"},
        {{"dump", "@", "--order", "T:BYDAY"}, "NAME,BORN\nBETA,2079-02-01\nALFA,2024-03-01\n"},
    };
    for (const auto& c : cases) {
        const Outcome run = kvdb(c.arguments);
        EXPECT_EQ(run.out, c.out) << c.arguments.back() << run.err;
    }
    EXPECT_EQ(kvdb({"dump", "@", "--epoch", "19x"}).status, 2);
    EXPECT_EQ(kvdb({"dump", "@", "--date-format", "dd/mm"}).status, 2);
}

TEST_F(KvdbTest, SeekPassesOverDeletedRecordsAsDumpDoes) {
    kvdb({"create", "@", "NAME:C:10"});
    for (const char* name : {"ALFA", "ALFIO", "BETA"})
        kvdb({"append", "@", "NAME=" + std::string(name)});
    kvdb({"index", "@", "T", "BYNAME", "NAME"});
    {
        auto table = open_table(table_);
        table->go_to(1);
        table->mark_deleted();
    }
    EXPECT_EQ(kvdb({"seek", "@", "T:BYNAME", "ALF"}).out, "ALFIO\n");
    EXPECT_EQ(kvdb({"seek", "@", "T:BYNAME", "ALF", "--deleted"}).out, "ALFA\n");
    EXPECT_EQ(kvdb({"seek", "@", "T:BYNAME", "ALFA "}).status, 1);
}

TEST_F(KvdbTest, ARefusedValueLeavesTheTableItsMemoAndItsBagsAlone) {
    kvdb({"create", "@", "NAME:C:5", "QTY:N:4:1", "OK:L", "NOTE:M"});
    kvdb({"append", "@", "NAME=ALFA", "QTY=1", "NOTE=first"});
    kvdb({"index", "@", "T", "BYNAME", "NAME"});
    const auto files = [&] {
        return dir_.read("T.DBF") + "|" + dir_.read("T.DBT") + "|" + dir_.read("T.NTX");
    };
    const std::string before = files();
    for (const std::vector<std::string>& values :
         std::vector<std::vector<std::string>>{{"NAME=BETA", "QTY=123.4", "NOTE=text"},
                                               {"QTY=12345"},
                                               {"NOTE=text", "QTY=abc"},
                                               {"OK=maybe"},
                                               {"NAME=BETA", "NOPE=1"}}) {
        std::vector<std::string> arguments = {"append", "@"};
        arguments.insert(arguments.end(), values.begin(), values.end());
        const Outcome run = kvdb(arguments);
        EXPECT_EQ(run.status, 1) << values.back();
        EXPECT_EQ(files(), before) << values.back();
    }
}

TEST_F(KvdbTest, TheTablesOwnBagIsKeptAndCheckedBesidesTheBagsNamed) {
    kvdb({"create", "@", "NAME:C:10"});
    kvdb({"append", "@", "NAME=ALFA"});
    kvdb({"index", "@", "T", "BYNAME", "NAME"});
    kvdb({"index", "@", "X", "DESC", "NAME", "--descending"});
    ASSERT_EQ(kvdb({"append", "@", "NAME=BETA", "--bag", "X.NTX"}).status, 0);
    EXPECT_EQ(kvdb({"check", "@"}).out, "OK\n");
    EXPECT_EQ(kvdb({"dump", "@", "--order", "T:BYNAME"}).out, "NAME\nALFA\nBETA\n");
    EXPECT_NE(kvdb({"info", "@", "--bag", "X.NTX"}).out.find("T.NTX:BYNAME"), std::string::npos);
    {
        auto table = open_table(table_);  // no bag: the own bag misses this record
        table->append();
        table->put("NAME", std::string("CARLO"));
    }
    EXPECT_EQ(kvdb({"check", "@", "--bag", "X.NTX"}).status, 1);
}

TEST_F(KvdbTest, CreateRefusesATableThatExistsUnlessForced) {
    kvdb({"create", "@", "NAME:C:10", "NOTE:M"});
    kvdb({"append", "@", "NAME=ALFA", "NOTE=text"});
    kvdb({"index", "@", "T", "BYNAME", "NAME"});
    const std::string before = dir_.read("T.DBF");
    const Outcome refused = kvdb({"create", "@", "CODE:N:3"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(dir_.read("T.DBF"), before);
    ASSERT_EQ(kvdb({"create", "@", "CODE:N:3", "--force"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "T.DBT"));
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "T.NTX"));
    EXPECT_EQ(kvdb({"dump", "@"}).out, "CODE\n");
    EXPECT_EQ(kvdb({"check", "@"}).out, "OK\n");
}

TEST_F(KvdbTest, NumbersOfTwentyDigitsKeepEveryDigit) {
    kvdb({"create", "@", "BIG:N:20", "PART:N:20:2"});
    const struct {
        const char* big;
        const char* part;
        int status;
        const char* shown;
    } cases[] = {
        {"12345678901234567890", "12345678901234567.891", 0,
         "12345678901234567890,12345678901234567.89"},
        {"99999999999999999999", "-1234567890123456.5", 0,
         "99999999999999999999,-1234567890123456.50"},
        {"-1234567890123456789", "0.005", 0, "-1234567890123456789,0.01"},
        {"123456789012345678901", "1", 1, nullptr},
        {"1", "123456789012345678", 1, nullptr},
        {"1e3", "2.5e1", 0, "1000,25.00"},
    };
    std::string expected = "BIG,PART\n";
    for (const auto& c : cases) {
        const Outcome run =
            kvdb({"append", "@", std::string("BIG=") + c.big, std::string("PART=") + c.part});
        EXPECT_EQ(run.status, c.status) << c.big << run.err;
        if (c.shown) expected += std::string(c.shown) + "\n";
    }
    EXPECT_EQ(kvdb({"dump", "@"}).out, expected);
}

TEST_F(KvdbTest, DamagedHeadersAndMemoLengthsAreCorruptionInEveryCommand) {
    kvdb({"create", "@", "NAME:C:10", "NOTE:M"});
    kvdb({"append", "@", "NAME=ALFA", "NOTE=some text"});
    kvdb({"append", "@", "NAME=BETA"});
    kvdb({"index", "@", "T", "BYNAME", "NAME"});
    const std::string table = dir_.read("T.DBF"), memo = dir_.read("T.DBT");
    auto header_length = [&](int delta) {
        std::string bytes = table;
        const int length =
            static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
        bytes[8] = static_cast<char>((length + delta) & 0xFF);
        bytes[9] = static_cast<char>((length + delta) >> 8);
        return bytes;
    };
    std::string long_memo = memo;
    long_memo.replace(512 + 4, 4, std::string("\x7F\xFF\xFF\xF0", 4));
    const struct {
        const char* what;
        std::string table, memo;
        std::vector<std::string> commands;
    } cases[] = {
        {"header one byte longer",
         header_length(1),
         memo,
         {"dump", "info", "check", "seek", "append"}},
        {"header a descriptor shorter",
         header_length(-32),
         memo,
         {"dump", "info", "check", "append"}},
        {"header cuts the terminator", header_length(-1), memo, {"dump", "info", "check"}},
        {"memo longer than its file", table, long_memo, {"dump", "check", "seek"}},
    };
    for (const auto& c : cases) {
        dir_.write("T.DBF", c.table);
        dir_.write("T.DBT", c.memo);
        for (const std::string& command : c.commands) {
            SCOPED_TRACE(std::string(c.what) + ": " + command);
            std::vector<std::string> arguments = {command, "@"};
            if (command == "seek") arguments = {"seek", "@", "T:BYNAME", "ALFA"};
            if (command == "append") arguments = {"append", "@", "NAME=X"};
            const Outcome run = kvdb(arguments);
            EXPECT_EQ(run.status, 1);
            const bool memo_fault = command == "check" && c.table == table;
            EXPECT_NE(run.err.find(memo_fault ? "memo" : "orrupt"), std::string::npos) << run.err;
            EXPECT_EQ(run.out.find("LFA"), std::string::npos) << run.out;
            EXPECT_EQ(run.out.find("ETA"), std::string::npos) << run.out;
        }
    }
}

// A memo pointer that leads nowhere is damage: check names it, pack stops and changes nothing.
TEST_F(KvdbTest, BadMemoPointersAreDamageThatStopsAPack) {
    kvdb({"create", "@", "NAME:C:10", "NOTES:M"});
    kvdb({"append", "@", "NAME=A", "NOTES=hello"});
    kvdb({"append", "@", "NAME=B"});
    kvdb({"index", "@", "T", "BYNAME", "NAME"});
    kvdb({"append", "@", "NAME=C", "NOTES=dropped"});
    {
        auto table = open_table(table_);
        table->go_to(3);
        table->mark_deleted();  // so that a pack has something to do
    }
    const std::string sound = dir_.read("T.DBF");
    const std::size_t notes =
        (static_cast<unsigned char>(sound[8]) | static_cast<unsigned char>(sound[9]) << 8) + 11;
    for (const char* pointer : {"        -5", "4294967297", "    1 2   ", "    999999"}) {
        SCOPED_TRACE(pointer);
        std::string damaged = sound;
        damaged.replace(notes, 10, pointer);
        dir_.write("T.DBF", damaged);
        const std::string memo = dir_.read("T.DBT"), bag = dir_.read("T.NTX");
        const Outcome check = kvdb({"check", "@"});
        EXPECT_EQ(check.status, 1);
        EXPECT_NE(check.err.find("record 1, field NOTES"), std::string::npos) << check.err;
        const Outcome pack = kvdb({"pack", "@"});
        EXPECT_EQ(pack.status, 1);
        EXPECT_NE(pack.err.find("record 1, field NOTES"), std::string::npos) << pack.err;
        EXPECT_EQ(dir_.read("T.DBF"), damaged);
        EXPECT_EQ(dir_.read("T.DBT"), memo);
        EXPECT_EQ(dir_.read("T.NTX"), bag);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                                std::filesystem::directory_iterator()),
                  3)
            << "no copy left behind";
    }
}

// An own bag that cannot be read is damage: never replaced by an empty one, its tags lost.
TEST_F(KvdbTest, AnOwnBagThatCannotBeReadRefusesAppendsAndIsNamed) {
    kvdb({"create", "@", "NAME:C:10", "NOTES:M"});
    kvdb({"append", "@", "NAME=A", "NOTES=hello"});
    kvdb({"index", "@", "T", "BYNAME", "NAME"});
    const std::string sound = dir_.read("T.NTX");
    const struct {
        const char* what;
        std::string bag;
        bool unreadable;
    } cases[] = {
        {"0 bytes", "", false},
        {"cut inside its header", sound.substr(0, 100), false},
        {"unreadable", sound, true},
    };
    const std::filesystem::path bag = dir_.path() / "T.NTX";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.unreadable && ::geteuid() == 0) continue;  // root reads it all the same
        dir_.write("T.NTX", c.bag);
        if (c.unreadable) std::filesystem::permissions(bag, std::filesystem::perms::none);
        const std::string table = dir_.read("T.DBF"), memo = dir_.read("T.DBT");
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"append", "@", "NAME=B", "NOTES=lost?"},
              std::vector<std::string>{"check", "@"}, std::vector<std::string>{"reindex", "@"}}) {
            const Outcome run = kvdb(command);
            EXPECT_EQ(run.status, 1) << command[0];
            EXPECT_NE(run.err.find("T.NTX"), std::string::npos) << command[0] << ": " << run.err;
            if (command[0] == "reindex") {
                EXPECT_NE(run.err.find("cannot build them again"), std::string::npos) << run.err;
            }
        }
        std::filesystem::permissions(bag, std::filesystem::perms::owner_all);
        EXPECT_EQ(dir_.read("T.DBF"), table);
        EXPECT_EQ(dir_.read("T.DBT"), memo);
        EXPECT_EQ(dir_.read("T.NTX"), c.bag);
    }
}

TEST(KvdbMountsTest, MountsThatKeepLocksOnThisMachineAreNamed) {
    const std::string mounts =
        "22 1 0:21 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "30 22 0:40 / /srv/share rw,relatime shared:5 - cifs //server/share "
        "rw,vers=3.0,cache=strict,nobrl,uid=0\n"
        "31 22 0:41 / /mnt/nfs rw,relatime shared:6 - nfs4 server:/export rw,vers=4.2,"
        "local_lock=none\n"
        "32 22 0:42 / /mnt/old\\040nfs rw,relatime - nfs server:/old rw,vers=3,nolock,"
        "local_lock=all\n"
        "33 22 0:43 / /mnt/cifs2 rw - cifs //s/x rw,vers=3.0\n"
        "34 30 0:44 / /srv/share/inner rw - ext4 /dev/sdb1 rw\n"
        "35 22 0:45 / /mnt/nfs3 rw - nfs s:/y rw,vers=3,local_lock=posix\n"
        "malformed line\n";
    const struct {
        const char* path;
        const char* named;  // a part of the warning, or nullptr for none
    } cases[] = {
        {"/srv/share/T.DBF", "cifs mount with nobrl (/srv/share)"},
        {"/srv/share/inner/T.DBF", nullptr},
        {"/srv/shared/T.DBF", nullptr},
        {"/mnt/nfs/T.DBF", nullptr},
        {"/mnt/old nfs/T.DBF", "nfs mount with local_lock=all (/mnt/old nfs)"},
        {"/mnt/nfs3/a/T.DBF", "local_lock=posix"},
        {"/mnt/cifs2/T.DBF", nullptr},
        {"/home/user/T.DBF", nullptr},
    };
    for (const auto& c : cases) {
        const auto warning = kvdb::local_lock_warning(c.path, mounts);
        EXPECT_EQ(warning.has_value(), c.named != nullptr) << c.path;
        if (warning && c.named) {
            EXPECT_NE(warning->find(c.named), std::string::npos) << *warning;
        }
    }
    EXPECT_FALSE(kvdb::local_lock_warning("/srv/share/T.DBF", ""));
}

TEST_F(KvdbTest, TagsLeftOutOfStepAreNoticedOnOpenAndReindexRepairsThem) {
    kvdb({"create", "@", "NAME:C:10", "NOTE:M"});
    for (const char* name : {"CARLO", "ALFA", "BETA"})
        kvdb({"append", "@", "NAME=" + std::string(name), "NOTE=memo"});
    kvdb({"index", "@", "T", "BYNAME", "NAME"});
    kvdb({"index", "@", "T", "LIVE", "NAME", "--for", "!DELETED()", "--unique"});
    const std::string bag = (dir_.path() / "T.NTX").string();
    const std::string sound = dir_.read("T.NTX");
    auto notices = [&] {
        std::vector<std::string> files;
        util::ScopedErrorHandler collect([&](const util::ErrorRecord& record) -> util::ErrorAnswer {
            files.push_back(record.filename + ": " + record.description.value_or(""));
            return std::nullopt;
        });
        auto table = open_table(table_, true, true);
        db::index_orders(*table).open_bag(bag);
        return files;
    };
    EXPECT_EQ(notices(), std::vector<std::string>{});
    const struct {
        const char* what;
        std::function<void()> damage;
    } cases[] = {
        {"an append that died before its keys",
         [&] {
             auto table = open_table(table_);  // no bag open: the keys never come
             table->append();
             table->put("NAME", std::string("DELTA"));
         }},
        {"a change that died between the record and its keys",
         [&] {
             std::string bytes = sound;
             bytes.replace(16, 4, std::string("\x02\0\0\0", 4));
             dir_.write("T.NTX", bytes);
         }},
        {"a zap that died after emptying the tags",
         [&] {
             std::string bytes = sound;
             bytes.replace(16, 4, std::string("\xFF\xFF\xFF\xFF", 4));
             dir_.write("T.NTX", bytes);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.damage();
        const auto said = notices();
        ASSERT_EQ(said.size(), 1u);
        EXPECT_NE(said[0].find("T.NTX"), std::string::npos) << said[0];
        const Outcome check = kvdb({"check", "@"});
        EXPECT_EQ(check.status, 1);
        EXPECT_NE(check.err.find("reindex"), std::string::npos) << check.err;
        ASSERT_EQ(kvdb({"reindex", "@"}).status, 0);
        EXPECT_EQ(kvdb({"check", "@"}).out, "OK\n");
        EXPECT_EQ(notices(), std::vector<std::string>{});
        EXPECT_NE(kvdb({"info", "@"}).out.find("T.NTX:LIVE  C  NAME  FOR !DELETED()  UNIQUE"),
                  std::string::npos);
    }
    EXPECT_EQ(kvdb({"dump", "@", "--order", "T:LIVE"}).out,
              "NAME,NOTE\nALFA,memo\nBETA,memo\nCARLO,memo\nDELTA,\n");
    EXPECT_EQ(kvdb({"reindex", "@", "T.NTX"}).status, 0);
    std::filesystem::remove(dir_.path() / "T.NTX");
    EXPECT_EQ(kvdb({"reindex", "@"}).status, 1) << "no bag of its own";
}

}  // namespace
}  // namespace kv::test
