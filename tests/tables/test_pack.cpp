// Packing: the table is rewritten without its deleted records; a process killed at any step
// leaves the table whole, either as it was or packed, never missing.
#include <csignal>
#include <cstdlib>

#include "db/index_orders.h"
#include "tables/table_pack.h"
#include "tables/tables.h"
#include "tests/tables/tables_fixture.h"
#include "util/abandon.h"

namespace kv::db {
namespace {

using test::live_names;
using test::make_table;
using test::TablesTest;

const std::vector<std::string> kLive = {"ALFA", "GAMMA", "EPSILON"};

long record_count(const std::string& file) {
    auto table = Table::open(file, OpenOptions{.shared = true, .read_only = true, .alias = {}});
    return table ? table->record_count() : -1;
}

// Run as a second process: packs T.DBF and is killed at the step named in KV_TABLES_PACK.
TEST(TablesPacker, PackAndDie) {
    const char* step = std::getenv("KV_TABLES_PACK");
    if (!step) GTEST_SKIP() << "run by the tests as a second process";
    util::ScopedErrorHandler errors(test::network_errors_only);
    const int kill_at = std::atoi(step);
    set_pack_step_hook([kill_at](PackStep reached) {
        if (static_cast<int>(reached) == kill_at) std::raise(SIGKILL);
    });
    MPACK_("T");
}

TEST_F(TablesTest, PackKeepsTheLiveRecordsWithTheirMemos) {
    make_table("T.DBF", {"ALFA", "*BETA", "GAMMA", "*DELTA", "EPSILON"});
    MPACK_("T");
    EXPECT_EQ(record_count("T.DBF"), 3);
    EXPECT_EQ(live_names("T.DBF"), kLive);
    for (const auto& entry : std::filesystem::directory_iterator(work_.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "T.DBF" || name == "T.DBT") << "left behind: " << name;
    }
}

TEST_F(TablesTest, ABadMemoPointerStopsThePackAndChangesNothing) {
    make_table("T.DBF", {"ALFA", "*BETA", "GAMMA"});
    std::string table = work_.read("T.DBF");
    const std::size_t header =
        static_cast<unsigned char>(table[8]) | static_cast<unsigned char>(table[9]) << 8;
    table.replace(header + 1 + 10, 10, "        -5");
    work_.write("T.DBF", table);
    const std::string memo = work_.read("T.DBT");
    std::vector<std::string> said;
    {
        util::ScopedErrorHandler collect([&](const util::ErrorRecord& record) -> util::ErrorAnswer {
            said.push_back(record.description.value_or(""));
            return std::nullopt;
        });
        EXPECT_THROW(MPACK_("T"), util::Abandon);
    }
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said[0].find("record 1, field NOTES"), std::string::npos) << said[0];
    EXPECT_EQ(work_.read("T.DBF"), table);
    EXPECT_EQ(work_.read("T.DBT"), memo);
    for (const auto& entry : std::filesystem::directory_iterator(work_.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "T.DBF" || name == "T.DBT") << "left behind: " << name;
    }
}

TEST_F(TablesTest, AProcessKilledAtAnyStepOfAPackLeavesTheTableWhole) {
    for (int step = 1; step <= static_cast<int>(PackStep::MemoCut); ++step) {
        SCOPED_TRACE("killed after step " + std::to_string(step));
        for (const auto& entry : std::filesystem::directory_iterator(work_.path())) {
            std::filesystem::remove(entry.path());
        }
        make_table("T.DBF", {"ALFA", "*BETA", "GAMMA", "*DELTA", "EPSILON"});
        {
            auto table = Table::open("T.DBF");
            ASSERT_TRUE(index_orders(*table).create_order("T.NTX", "NAME", "NAME", false));
        }
        dev::ChildProcess packer("/proc/self/exe", {"--gtest_filter=TablesPacker.PackAndDie"},
                                 work_.str(), {"KV_TABLES_PACK=" + std::to_string(step)});
        EXPECT_EQ(packer.wait_exit(std::chrono::seconds(60)), 128 + SIGKILL) << packer.err();
        EXPECT_TRUE(std::filesystem::exists(work_.path() / "T.DBF")) << "never missing";

        DBOPEN(false, "", "T", "", true);  // an interrupted replacement is finished first
        DBCLOSE();
        const long count = record_count("T.DBF");
        EXPECT_TRUE(count == 5 || count == 3) << count;
        EXPECT_EQ(count, step >= static_cast<int>(PackStep::InterimReplaced) ? 3 : 5);
        EXPECT_EQ(live_names("T.DBF"), kLive);
        {
            // The own bag follows a finished replacement; after a completed one that it did
            // not follow, its open says so.
            std::vector<std::string> notices;
            util::ScopedErrorHandler collect(
                [&](const util::ErrorRecord& record) -> util::ErrorAnswer {
                    notices.push_back(record.filename);
                    return std::nullopt;
                });
            auto table = Table::open("T.DBF");
            index_orders(*table).open_bag("T.NTX");
            if (step >= static_cast<int>(PackStep::TableReplaced)) {
                ASSERT_EQ(notices.size(), 1u);
                EXPECT_NE(notices[0].find("T.NTX"), std::string::npos);
            } else {
                EXPECT_TRUE(notices.empty());
                EXPECT_EQ(index_orders(*table).check(), std::vector<std::string>{});
            }
        }

        MPACK_("T");  // and the next pack cleans up and completes
        EXPECT_EQ(record_count("T.DBF"), 3);
        EXPECT_EQ(live_names("T.DBF"), kLive);
        auto table = Table::open("T.DBF");
        ASSERT_TRUE(index_orders(*table).open_bag("T.NTX"));
        EXPECT_EQ(index_orders(*table).check(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace kv::db
