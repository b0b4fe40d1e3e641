// The conditions a new order is built under: a condition text that the order keeps, a condition
// decided on the positioned record during the build only, and the records of the current order
// only (within its scope and its own condition).
#include "db/index_orders.h"
#include "tests/db/db_test_support.h"

namespace kv::test {
namespace {

class BuildConditionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        util::settings().hide_deleted = false;
        name_ = (dir_.path() / "T.DBF").string();
        ASSERT_TRUE(db::Table::create(name_, {{"NAME", 'C', 6, 0}, {"QTY", 'N', 4, 0}}));
        table_ = open_table(name_);
        ASSERT_TRUE(table_);
        // QTY 1 to 10, names in the reverse order of the quantities.
        for (int qty = 1; qty <= 10; ++qty)
            append(std::string(1, static_cast<char>('K' - qty)), qty);
        orders_ = &db::index_orders(*table_);
    }
    void append(const std::string& name, double qty) {
        ASSERT_TRUE(table_->append());
        table_->put("NAME", name);
        table_->put("QTY", qty);
        ASSERT_TRUE(table_->commit());
    }
    bool build(const std::string& tag, const std::string& key, db::BuildConditions conditions,
               bool unique = false) {
        table_->set_build_conditions(std::move(conditions));
        return orders_->create_order(bag(), tag, key, unique);
    }
    // The quantities in the order's sequence.
    std::vector<int> walk(int order) {
        orders_->set_current(order);
        std::vector<int> seen;
        for (table_->go_top(); !table_->eof(); table_->skip())
            seen.push_back(static_cast<int>(std::get<double>(table_->get("QTY"))));
        return seen;
    }
    std::string bag() const { return (dir_.path() / "T").string(); }

    SettingsGuard settings_;
    RecordedErrors errors_;
    TempDir dir_;
    std::string name_;
    std::unique_ptr<db::Table> table_;
    db::IndexOrders* orders_ = nullptr;
};

TEST_F(BuildConditionsTest, TheConditionTextIsKeptAndFollowedByLaterChanges) {
    db::BuildConditions conditions;
    conditions.for_text = "QTY > 6";
    ASSERT_TRUE(build("BIG", "NAME", conditions));
    EXPECT_EQ(walk(1), (std::vector<int>{10, 9, 8, 7}));

    // Reopened: the text is read back from the bag and new records follow it.
    table_.reset();
    table_ = open_table(name_);
    orders_ = &db::index_orders(*table_);
    ASSERT_TRUE(orders_->open_bag(bag()));
    EXPECT_EQ(orders_->for_text(1), "QTY > 6");
    append("Z", 3);
    append("A", 50);
    table_->go_to(10);  // 10 -> 2: leaves the tag
    table_->put("QTY", 2.0);
    ASSERT_TRUE(table_->commit());
    EXPECT_EQ(walk(1), (std::vector<int>{50, 9, 8, 7}));
    EXPECT_TRUE(orders_->check().empty());
    EXPECT_TRUE(errors_.records.empty());
}

TEST_F(BuildConditionsTest, AConditionDecidedOnThePositionedRecordServesTheBuildOnly) {
    db::BuildConditions conditions;
    conditions.for_text = "QTY > 0";
    conditions.for_function = [&] { return table_->record_number() % 2 == 0; };
    ASSERT_TRUE(build("EVEN", "QTY", conditions));
    EXPECT_EQ(table_->record_number(), 2) << "a new order starts at its top";
    EXPECT_EQ(walk(1), (std::vector<int>{2, 4, 6, 8, 10}));
    EXPECT_EQ(orders_->for_text(1), "QTY > 0");
    // Used once: the next build takes every record.
    ASSERT_TRUE(build("ALL", "QTY", {}));
    EXPECT_EQ(walk(2).size(), 10u);
    EXPECT_EQ(orders_->for_text(2), "");
}

TEST_F(BuildConditionsTest, CurrentOrderOnlyTakesTheRecordsWithinItsScopeAndCondition) {
    db::BuildConditions odd;
    odd.for_text = "QTY % 2 = 1";
    ASSERT_TRUE(build("ODD", "QTY", odd));
    const int by_qty = orders_->current();
    orders_->set_scope(true, db::Value(3.0));
    orders_->set_scope(false, db::Value(8.0));
    ASSERT_EQ(walk(by_qty), (std::vector<int>{3, 5, 7}));

    struct Case {
        const char* tag;
        const char* for_text;
        bool descending;
        std::vector<int> expected;  // walked in the new order
    };
    const Case cases[] = {
        {"ONLYNAME", "", false, {7, 5, 3}},  // NAME runs against QTY
        {"ONLYDESC", "", true, {3, 5, 7}},
        {"ONLYFOR", "QTY < 7", false, {5, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        orders_->set_current(by_qty);
        db::BuildConditions conditions;
        conditions.current_order_only = true;
        conditions.for_text = c.for_text;
        conditions.descending = c.descending;
        ASSERT_TRUE(build(c.tag, "NAME", conditions));
        EXPECT_EQ(walk(orders_->find(c.tag)), c.expected);
    }
    // Without a current order every record takes part.
    orders_->set_current(0);
    db::BuildConditions conditions;
    conditions.current_order_only = true;
    ASSERT_TRUE(build("EVERY", "NAME", conditions));
    EXPECT_EQ(walk(orders_->find("EVERY")).size(), 10u);
    EXPECT_TRUE(errors_.records.empty());
}

}  // namespace
}  // namespace kv::test
