#include "db/work_areas.h"
#include "tests/db/db_test_support.h"
#include "util/startup.h"

namespace kv::test {
namespace {

TEST(WorkAreasTest, AreasHoldTablesByNumberAndAliasAndCloseAllEmptiesThem) {
    TempDir dir;
    const std::string a = (dir.path() / "ALFA").string();
    const std::string b = (dir.path() / "beta.dbf").string();
    ASSERT_TRUE(db::Table::create(a, {{"X", 'C', 3, 0}}));
    ASSERT_TRUE(db::Table::create(b, {{"Y", 'N', 3, 0}}));
    db::WorkAreas& areas = db::work_areas();
    ASSERT_TRUE(areas.select(3));
    ASSERT_TRUE(areas.open(a, {true, false, {}}));
    ASSERT_TRUE(areas.open(b, {true, false, "second"}, true));
    EXPECT_EQ(areas.current(), 1) << "the lowest free area";
    EXPECT_EQ(areas.table()->alias(), "SECOND");
    EXPECT_EQ(areas.used_areas(), (std::vector<int>{1, 3}));
    EXPECT_EQ(areas.free_area(), 2);
    EXPECT_TRUE(areas.select("alfa"));
    EXPECT_EQ(areas.current(), 3);
    EXPECT_FALSE(areas.select("NONE"));
    EXPECT_FALSE(areas.select(65535));
    EXPECT_TRUE(areas.select(65534));
    {
        RecordedErrors errors;
        EXPECT_FALSE(areas.open(b, {true, false, "ALFA"})) << "the alias is in use in area 3";
        EXPECT_EQ(errors.records.size(), 1u);
    }
    areas.close(3);
    EXPECT_EQ(areas.current(), 65534) << "closing leaves the current area as it was";
    EXPECT_EQ(areas.table(3), nullptr);
    util::CLOSEALL();  // the start-up module's closer reaches the work areas
    EXPECT_TRUE(areas.used_areas().empty());
    EXPECT_EQ(areas.current(), 1);
}

}  // namespace
}  // namespace kv::test
