// kvdb from the command line: each form run as scripts run it, with its output and exit status.
#include <sstream>

#include "tests/db/db_test_support.h"
#include "tools/kvdb/kvdb.h"

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
        {{}, 2, "Usage"},
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

}  // namespace
}  // namespace kv::test
