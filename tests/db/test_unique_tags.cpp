// Unique tags keep, for each key, its lowest record; when that record leaves the key the next one
// comes from the tag's hidden companion, which the check holds against the records too.
#include "db/index_orders.h"
#include "tests/db/db_test_support.h"

namespace kv::test {
namespace {

TEST(UniqueTagTest, TheNextHolderOfAKeyTakesItsPlaceThroughEveryKindOfChange) {
    TempDir dir;
    SettingsGuard settings;
    const std::string name = (dir.path() / "T.DBF").string();
    ASSERT_TRUE(db::Table::create(name, {{"KEY", 'C', 4, 0}}));
    auto table = open_table(name);
    for (int i = 0; i < 40; ++i) {
        table->append();
        table->put("KEY", "K" + std::to_string(i / 4));  // four records a key
    }
    db::IndexOrders& orders = db::index_orders(*table);
    db::BuildConditions live;
    live.for_text = "!DELETED()";
    table->set_build_conditions(live);
    ASSERT_TRUE(orders.create_order((dir.path() / "T.NTX").string(), "ONCE", "KEY", true));
    EXPECT_EQ(orders.count(), 1) << "the companion is no order";
    auto walk = [&] {
        std::string seen;
        for (table->go_top(); !table->eof(); table->skip()) {
            std::string key = std::get<std::string>(table->get("KEY"));
            key.erase(key.find_last_not_of(' ') + 1);
            seen += key + "=" + std::to_string(table->record_number()) + " ";
        }
        return seen;
    };
    const struct {
        const char* what;
        std::function<void()> change;
        const char* walked;
    } steps[] = {
        {"the holders of K0 and K1 take other keys",
         [&] {
             for (long r : {1, 5}) {
                 table->go_to(r);
                 table->put("KEY", std::string(r == 1 ? "K1" : "K9"));
                 table->commit();
             }
         },
         "K0=2 K1=1 K2=9 K3=13 K4=17 K5=21 K6=25 K7=29 K8=33 K9=5 "},
        {"the holder of K2 is deleted (the condition drops it)",
         [&] {
             table->go_to(9);
             table->mark_deleted();
             table->commit();
         },
         "K0=2 K1=1 K2=10 K3=13 K4=17 K5=21 K6=25 K7=29 K8=33 K9=5 "},
        {"K3 loses all four records",
         [&] {
             for (long r : {13, 14, 15, 16}) {
                 table->go_to(r);
                 table->put("KEY", std::string("K4"));
                 table->commit();
             }
         },
         "K0=2 K1=1 K2=10 K4=13 K5=21 K6=25 K7=29 K8=33 K9=5 "},
        {"a new record takes a key of its own and one that is held",
         [&] {
             table->append();
             table->put("KEY", std::string("K3"));
             table->append();
             table->put("KEY", std::string("K0"));
             table->commit();
         },
         "K0=2 K1=1 K2=10 K3=41 K4=13 K5=21 K6=25 K7=29 K8=33 K9=5 "},
        {"the tag is built again",
         [&] {
             orders.rebuild_all();
             orders.set_current(1);
         },
         "K0=2 K1=1 K2=10 K3=41 K4=13 K5=21 K6=25 K7=29 K8=33 K9=5 "},
    };
    util::settings().hide_deleted = false;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        orders.set_current(1);
        EXPECT_EQ(walk(), step.walked);
        EXPECT_EQ(orders.check(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace kv::test
