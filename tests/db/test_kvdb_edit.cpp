// kvdb's update, delete, recall and import: the records they select or add, the tags they keep,
// what the partner readers read back, and the whole refusal of an import with one bad line.
#include <sstream>

#include "tests/db/db_test_support.h"
#include "tools/kvdb/kvdb.h"

namespace kv::test {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class KvdbEditTest : public ::testing::Test {
  protected:
    Outcome kvdb(std::vector<std::string> arguments) {
        for (std::string& argument : arguments) {
            if (argument == "@") argument = table_;
        }
        std::ostringstream out, err;
        const int status = kvdb::run(arguments, out, err);
        return {status, out.str(), err.str()};
    }
    void SetUp() override {
        table_ = (dir_.path() / "T.DBF").string();
        ASSERT_EQ(
            kvdb({"create", "@", "NAME:C:10", "QTY:N:6:2", "NOTES:M", "--memo-ext", "FPT"}).status,
            0);
        ASSERT_EQ(kvdb({"index", "@", "T", "BYNAME", "UPPER(NAME)"}).status, 0);
        ASSERT_EQ(kvdb({"index", "@", "T", "BIG", "QTY", "--for", "QTY > 5"}).status, 0);
    }
    TempDir dir_;
    std::string table_;
    SettingsGuard settings_;
};

TEST_F(KvdbEditTest, UpdateDeleteAndRecallChangeTheSelectedRecordsAndKeepEveryTag) {
    for (const char* name : {"alfa", "beta", "gamma", "delta"})
        ASSERT_EQ(kvdb({"append", "@", std::string("NAME=") + name, "QTY=1"}).status, 0);
    const std::vector<std::pair<std::vector<std::string>, std::string>> steps = {
        {{"update", "@", "qty=7.125", "notes=più", "--for", "NAME < \"c\""}, "2 records updated\n"},
        {{"update", "@", "NAME=GAMMA", "--for", "name = \"gamma\""}, "1 record updated\n"},
        {{"delete", "@", "--for", "QTY > 5"}, "2 records deleted\n"},
        {{"update", "@", "QTY=9", "--all"}, "2 records updated\n"},
        {{"recall", "@", "--for", "NAME = \"beta\""}, "1 record recalled\n"},
    };
    for (const auto& [arguments, said] : steps) {
        const Outcome outcome = kvdb(arguments);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out, said) << arguments[0];
    }
    EXPECT_EQ(kvdb({"dump", "@", "--order", "T:BIG", "--deleted"}).out,
              "NAME,QTY,NOTES,DELETED\nalfa,7.13,più,T\nbeta,7.13,più,F\nGAMMA,9.00,,F\n"
              "delta,9.00,,F\n");
    EXPECT_EQ(kvdb({"check", "@"}).out, "OK\n");
    // Nothing is written when a value is refused or the selection is missing.
    EXPECT_EQ(kvdb({"update", "@", "QTY=123456", "--all"}).status, 1);
    EXPECT_EQ(kvdb({"update", "@", "QTY=1"}).status, 2);
    EXPECT_EQ(kvdb({"delete", "@", "--all", "--for", "QTY > 1"}).status, 2);
    // Only decimal numbers are numbers: strtod's other forms are not what the user meant.
    for (const char* number : {"0x10", "0x1p3", "inf", "nan", "-Infinity", "1e", "."}) {
        const std::string value = std::string("QTY=") + number;
        for (const auto& arguments : {std::vector<std::string>{"append", "@", value},
                                      std::vector<std::string>{"update", "@", value, "--all"}}) {
            const Outcome outcome = kvdb(arguments);
            EXPECT_EQ(outcome.status, 1) << arguments[0] << " " << value;
            EXPECT_NE(outcome.err.find(std::string("\"") + number + "\" is not a number"),
                      std::string::npos)
                << outcome.err;
        }
    }
    EXPECT_EQ(kvdb({"update", "@", "QTY=-1.5e1", "--for", "NAME = \"delta\""}).status, 0);
    if (!partners_present()) return;
    EXPECT_EQ(run_python(dir_, R"(
import dbf, dbfread
print([(r['NAME'], r['QTY'], r['NOTES']) for r in dbfread.DBF('T.DBF')])
t = dbf.Table('T.DBF').open(dbf.READ_ONLY)
print([(r.name.strip(), dbf.is_deleted(r)) for r in t])
)")
                  .value_or("python failed"),
              "[('beta', 7.13, 'più'), ('GAMMA', 9.0, None), ('delta', -15.0, None)]\n"
              "[('alfa', True), ('beta', False), ('GAMMA', False), ('delta', False)]\n");
}

// A record that another program holds locked is changed only once it is free.
TEST_F(KvdbEditTest, UpdateWaitsForTheRecordLockThatAnotherProgramHolds) {
    for (const char* name : {"one", "two"})
        ASSERT_EQ(kvdb({"append", "@", std::string("NAME=") + name}).status, 0);
    auto holder = open_table(table_, true);
    ASSERT_TRUE(holder && holder->lock_record(2));
    const auto blocked = kvdb_within({"update", table_, "QTY=5", "--for", "NAME = \"two\""},
                                     std::chrono::milliseconds(300));
    EXPECT_FALSE(blocked && blocked->status == 0) << "changed a locked record";
    EXPECT_EQ(kvdb({"dump", "@"}).out, "NAME,QTY,NOTES\none,,\ntwo,,\n");
    holder->unlock();
    const Outcome freed = kvdb({"update", "@", "QTY=5", "--for", "NAME = \"two\""});
    EXPECT_EQ(freed.out, "1 record updated\n") << freed.err;
}

TEST_F(KvdbEditTest, ImportChecksEveryLineFirstAndAppendsEachAsAppendDoes) {
    const std::string good = (dir_.path() / "good.csv").string();
    dir_.write("good.csv",
               "\xEF\xBB\xBFqty,name,Notes,deleted\r\n"
               "1.5,Roma,\"a, \"\"quoted\"\"\nmemo\",F\r\n"
               "\r\n"
               "12,città,,T\r\n"
               ",blank,,\r\n");
    const Outcome imported = kvdb({"import", "@", good});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, "3 records imported\n");
    EXPECT_EQ(kvdb({"dump", "@", "--deleted"}).out,
              "NAME,QTY,NOTES,DELETED\nRoma,1.50,\"a, \"\"quoted\"\"\nmemo\",F\ncittà,12.00,,T\n"
              "blank,,,F\n");
    EXPECT_EQ(kvdb({"check", "@"}).out, "OK\n");
    if (partners_present()) {
        EXPECT_EQ(run_python(dir_,
                             "import dbfread\nprint([(r['NAME'], r['NOTES']) for r in "
                             "dbfread.DBF('T.DBF', load=True).records])\n")
                      .value_or("python failed"),
                  "[('Roma', 'a, \"quoted\"\\nmemo'), ('blank', None)]\n");
    }
    // One bad value refuses the whole import, naming each line and field that is wrong.
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"NAME,QTY\nok,1\nlonger than ten,2\nok,x\n",
         "line 3, field NAME: the text has 15 characters, the field holds 10\n"},
        {"NAME,QTY\nok,1\nok,x\n", "line 3, field QTY: \"x\" is not a number\n"},
        {"NAME,QTY\nok,0x1A\n", "line 2, field QTY: \"0x1A\" is not a number\n"},
        {"NAME,QTY\nok,nan\n", "line 2, field QTY: \"nan\" is not a number\n"},
        {"NAME,QTY\nok\n", "line 2: 1 values, the first line names 2 fields\n"},
        {"NAME,PRICE\n", "line 1: the table has no field PRICE\n"},
        {"NAME,name\n", "line 1: the field name is named twice\n"},
        {"NAME\n\"open\n", "line 2: a quoted value is never closed\n"},
    };
    for (const auto& [csv, reason] : refused) {
        const std::string bad = dir_.write("bad.csv", csv).string();
        const Outcome outcome = kvdb({"import", "@", bad});
        EXPECT_EQ(outcome.status, 1) << csv;
        EXPECT_NE(outcome.err.find(bad + ": " + reason), std::string::npos) << outcome.err;
    }
    EXPECT_NE(kvdb({"import", "@", (dir_.path() / "bad.csv").string()}).err.find("\n"),
              std::string::npos);
    EXPECT_NE(kvdb({"info", "@"}).out.find("Records: 3\n"), std::string::npos);
    // A long file tells its progress.
    std::string many = "NAME,QTY\n";
    for (int i = 0; i < 1000; ++i)
        many += "n" + std::to_string(i) + "," + std::to_string(i % 9) + "\n";
    const Outcome long_import = kvdb({"import", "@", dir_.write("many.csv", many).string()});
    ASSERT_EQ(long_import.status, 0) << long_import.err;
    EXPECT_NE(long_import.err.find("kvdb: 500 of 1000 records imported\n"), std::string::npos);
    EXPECT_EQ(kvdb({"check", "@"}).out, "OK\n");
    EXPECT_EQ(kvdb({"seek", "@", "T:BYNAME", "N999"}).out, "n999,0.00,\n");
}

}  // namespace
}  // namespace kv::test
