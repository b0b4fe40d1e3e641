// Opening, locking, appending and the system lock while another process holds what they need:
// they wait without giving up, show why after the quiet 3 seconds, and go on once it lets go.
#include <cstdlib>
#include <fstream>

#include "tables/login.h"
#include "tables/system_lock.h"
#include "tables/tables.h"
#include "tests/tables/tables_fixture.h"
#include "util/system_unlock.h"

namespace kv::db {
namespace {

using test::make_table;
using test::TablesTest;

Table& current_table() {
    return *work_areas().table();
}

const std::string kBusy = "Il sistema \xe8 momentaneamente occupato...";

// The holder: run as a second process by start_holder.
TEST(TablesHolder, Hold) {
    const char* action = std::getenv("KV_TABLES_HOLD");
    if (!action) GTEST_SKIP() << "run by the tests as a second process";
    util::ScopedErrorHandler errors(test::network_errors_only);
    const std::string what = action;
    auto& areas = work_areas();
    if (what == "system") {
        SETUSER("HOLDER");
        SLOCK();
    } else {
        ASSERT_TRUE(areas.open(
            "T.DBF", OpenOptions{.shared = what != "exclusive", .read_only = false, .alias = {}}));
        Table& t = *areas.table();
        if (what == "record") {
            ASSERT_TRUE(t.lock_record(1));
        }
        if (what == "file") {
            ASSERT_TRUE(t.lock_file());
        }
        if (what == "append") DBAPP();
        if (what == "nextcode") {
            t.go_to(1);
            std::cout << NEXTCODE(true) << std::endl;
        }
    }
    std::cout << "held" << std::endl;
    while (!std::filesystem::exists("RELEASE")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (what == "system") SUNLOCK();
    areas.close_all();
}

TEST_F(TablesTest, EachWaitShowsWhyAndGoesOnWhenTheOtherProcessLetsGo) {
    make_table("T.DBF", {"ALFA", "BETA"});
    const struct {
        const char* held;
        std::function<void()> wait;
        std::vector<std::string> popups;
    } cases[] = {
        {"record",
         [] {
             DBOPEN(false, "", "T", "", true);
             DBLOCK(true);
             EXPECT_TRUE(current_table().record_locked(1));
         },
         {"<none>", kBusy}},
        {"file",
         [] {
             DBOPEN(false, "", "T", "", true);
             DBLOCK(false);
             EXPECT_TRUE(current_table().file_locked());
         },
         {"<none>", kBusy}},
        {"file",
         [] {
             DBOPEN(false, "", "T", "", true);
             DBAPP();
             EXPECT_EQ(current_table().record_number(), 3);
             EXPECT_TRUE(current_table().record_locked(3));
         },
         {"<none>", kBusy}},
        {"exclusive",
         [] { DBOPEN(true, "", "T", "", true); },
         {"E' in corso un'operazione di sistema..."}},
        {"shared", [] { DBOPEN(true, "", "T", "", false); }, {"Spegnere tutti i terminali..."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.held);
        popups_.clear();
        start_holder(c.held);
        {
            auto observing = observe_waits();
            c.wait();
        }
        end_holder();
        EXPECT_EQ(popups_, c.popups);
        EXPECT_EQ(util::CURMSG(), std::nullopt) << "the waiting pop-up is gone";
        work_areas().close_all();
    }
}

// An append under the file lock (DBAPP), and NEXTCODE with its lock, end holding only their
// record's lock: another process may lock every other record, but not that one, nor the file.
TEST_F(TablesTest, AppendAndNextCodeLetTheFileLockGo) {
    ASSERT_TRUE(Table::create("T.DBF", {{"CODICE", 'N', 10, 0}}));
    {
        auto table = Table::open("T.DBF");
        for (double code : {7.0, 9.0}) {
            ASSERT_TRUE(table->append());
            table->put("CODICE", code);
        }
    }
    const struct {
        const char* action;
        long held;  // the one record the holder keeps locked
    } cases[] = {{"append", 3}, {"nextcode", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        start_holder(c.action);
        auto other =
            Table::open("T.DBF", OpenOptions{.shared = true, .read_only = false, .alias = {}});
        ASSERT_TRUE(other);
        for (long r = 1; r <= 3; ++r)
            EXPECT_EQ(other->lock_record(r), r != c.held) << "record " << r;
        other->unlock();
        EXPECT_FALSE(other->lock_file());
        other.reset();
        end_holder();
    }
}

TEST_F(TablesTest, TheNotedPopupComesBackAfterAWait) {
    make_table("T.DBF", {"ALFA"});
    DBOPEN(false, "", "T", "", true);
    util::POPMSG({.text = std::string("Stampa in corso")});
    start_holder("record");
    release_when_ = kBusy;
    {
        auto observing = observe_waits();
        DBLOCK(true);
    }
    end_holder();
    EXPECT_EQ(popups_, (std::vector<std::string>{"Stampa in corso", kBusy}));
    EXPECT_EQ(util::CURMSG(), "Stampa in corso");
}

TEST_F(TablesTest, TheSystemLockWaitsForTheOtherCopy) {
    SCREATE();
    ASSERT_TRUE(std::filesystem::exists("NET"));
    EXPECT_FALSE(std::filesystem::exists("NET.DBF"));
    SLOCK();  // nobody logged in: nothing is opened
    EXPECT_EQ(work_areas().table(kSystemLockArea), nullptr);
    start_holder("system");
    SETUSER("ROSSI");
    {
        auto observing = observe_waits();
        SLOCK();
    }
    end_holder();
    EXPECT_EQ(popups_, (std::vector<std::string>{"<none>", kBusy}));
    ASSERT_NE(work_areas().table(kSystemLockArea), nullptr);
    EXPECT_TRUE(work_areas().table(kSystemLockArea)->record_locked(1));
    EXPECT_EQ(work_areas().current(), 1) << "the noted work area is current again";
    util::unlock_system();  // as the error handler releases it before its message
    EXPECT_EQ(work_areas().table(kSystemLockArea), nullptr);
    SUNLOCK();  // harmless
}

}  // namespace
}  // namespace kv::db
