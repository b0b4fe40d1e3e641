// Deleting with the browse position kept, the end-of-file answers, aliases, closing, the in-use
// test, creating with the disk check and the table password's reach.
#include "tables/table_support.h"
#include "tables/tables.h"
#include "tests/tables/tables_fixture.h"
#include "tests/util/test_paths_boxes.h"
#include "util/abandon.h"

namespace kv::db {
namespace {

using test::live_names;
using test::make_table;
using test::TablesTest;

Table& current() {
    return *work_areas().table();
}

TEST_F(TablesTest, DeletingMovesToTheFollowingRecord) {
    util::settings().hide_deleted = true;
    make_table("T.DBF", {"A", "B", "C"});
    DBOPEN(false, "", "T", "", true);
    const struct {
        long at;
        long then;  // 0: end of file
    } cases[] = {{2, 3}, {3, 0}, {1, 0}};
    for (const auto& c : cases) {
        current().go_to(c.at);
        DBDEL();
        EXPECT_EQ(current().eof() ? 0 : current().record_number(), c.then) << c.at;
        EXPECT_TRUE(current().locked_records().empty());
        EXPECT_FALSE(current().file_locked());
    }
    DBDEL();  // at end of file: nothing
    EXPECT_TRUE(current().eof());
    DBCLOSE();
    EXPECT_TRUE(live_names("T.DBF").empty());
}

TEST_F(TablesTest, DelrecAsksFirstAndBeepsAtEndOfFile) {
    make_table("T.DBF", {"A", "B"});
    std::vector<std::string> asked;
    {
        test::BoxRecorder answer_first_button(asked);  // OK: delete
        DBOPEN(false, "", "T", "", true);
        EXPECT_TRUE(DELREC());
        current().go_to(99);
        EXPECT_FALSE(DELREC());
    }
    EXPECT_EQ(asked, std::vector<std::string>{"Confermi la cancellazione?"});
    DBCLOSE();
    EXPECT_EQ(live_names("T.DBF"), std::vector<std::string>{"B"});
}

TEST_F(TablesTest, AliasesAreasAndClosing) {
    make_table("T.DBF", {"A"});
    make_table("U.DBF", {"A"});
    EXPECT_EQ(GETNEWALIAS(), "ALIAS001");
    DBOPEN(true, "", "T", "", true);
    DBOPEN(true, "", "U", "SECOND", true);
    EXPECT_EQ(work_areas().current(), 2);
    work_areas().select(1);
    EXPECT_EQ(GETNEWALIAS(), "ALIAS003");
    EXPECT_EQ(work_areas().current(), 1) << "the noted area is current again";

    std::ofstream(view_index_name(2)).put('x');
    DBCLOSE("NOSUCH");
    DBCLOSE("second");
    EXPECT_EQ(work_areas().table(2), nullptr);
    EXPECT_FALSE(std::filesystem::exists(view_index_name(2))) << "its view index goes with it";
    EXPECT_EQ(work_areas().current(), 1);
    EXPECT_EQ(view_index_name(3), "\x7fVIEW3.NTX") << "no login folder: the current folder";
    util::library_state().login_folder = "/tmp/x/";
    EXPECT_EQ(view_index_name(3), "/tmp/x/\x7fVIEW3.NTX");
}

TEST_F(TablesTest, NetusedTellsWhetherAnotherOpenHoldsTheTable) {
    make_table("T.DBF", {"A"});
    EXPECT_FALSE(NETUSED("MISSING"));
    EXPECT_FALSE(NETUSED("T"));
    auto other = Table::open("T.DBF", OpenOptions{.shared = true, .read_only = true, .alias = {}});
    EXPECT_TRUE(NETUSED("t"));
    other.reset();
    EXPECT_FALSE(NETUSED("T.DBF")) << "the probe closed what it opened";
}

TEST_F(TablesTest, DbgenCreatesOrAbandonsWhenTheDiskIsFull) {
    DBGEN("NEW", {{"CODICE", 'C', 10, 0}});
    EXPECT_TRUE(std::filesystem::exists("NEW.DBF"));
    std::vector<std::string> boxes;
    test::BoxRecorder recorder(boxes);
    EXPECT_THROW(DBGEN("HUGE", {{"CODICE", 'C', 10, 0}}, "", 1ULL << 62), util::Abandon);
    EXPECT_FALSE(std::filesystem::exists("HUGE.DBF"));
    EXPECT_EQ(boxes, std::vector<std::string>{"Spazio su disco insufficiente."});
}

TEST_F(TablesTest, TheTablePasswordReachesTheListedTablesOnly) {
    auto& state = util::library_state();
    EXPECT_FALSE(table_password_applies("/d/CLIENTI.DBF"));
    state.table_password = "segreto";
    EXPECT_TRUE(table_password_applies("/d/CLIENTI.DBF")) << "no list: every table";
    state.protected_tables = {"clienti", "ORDINI.DBF"};
    EXPECT_TRUE(table_password_applies("/d/CLIENTI.DBF"));
    EXPECT_TRUE(table_password_applies("ordini.dbf"));
    EXPECT_FALSE(table_password_applies("/d/FORNITORI.DBF"));
    make_table("CLIENTI.DBF", {"A"});
    DBOPEN(false, "", "CLIENTI", "", true);
    EXPECT_EQ(table_password(current().file_name()), "segreto");
}

TEST_F(TablesTest, NextcodeFollowsTheLastCodeInNaturalOrder) {
    util::settings().hide_deleted = true;
    ASSERT_TRUE(Table::create("C.DBF", {{"CODICE", 'C', 10, 0}}));
    {
        auto table = Table::open("C.DBF");
        for (const char* code : {"5", "9999999999", "17", "", "99"}) {
            ASSERT_TRUE(table->append());
            table->put("CODICE", std::string(code));
            table->mark_deleted(std::string(code) == "99");
            ASSERT_TRUE(table->commit());
        }
    }
    DBOPEN(false, "", "C", "", true);
    current().go_to(1);
    EXPECT_EQ(NEXTCODE(), "18");
    EXPECT_EQ(current().record_number(), 1);
    EXPECT_EQ(current().locked_records(), std::vector<long>{1});
    current().go_to(2);
    EXPECT_EQ(NEXTCODE(false), "18");
    EXPECT_TRUE(current().locked_records().empty());
    DBCLOSE();
    ASSERT_TRUE(Table::create("E.DBF", {{"CODICE", 'N', 10, 0}}));
    DBOPEN(false, "", "E", "", true);
    EXPECT_EQ(NEXTCODE(false), "1") << "an empty table starts at 1";
}

}  // namespace
}  // namespace kv::db
