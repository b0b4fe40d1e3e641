// Order bags, views built here, and the key searches of a browse.
#include <fstream>

#include "db/index_orders.h"
#include "platform/profile_file.h"
#include "tables/tables.h"
#include "tests/tables/tables_fixture.h"
#include "util/abandon.h"

namespace kv::db {
namespace {

using test::make_table;
using test::TablesTest;

Table& current() {
    return *work_areas().table();
}

std::string name_of(Table& table) {
    auto name = std::get<std::string>(table.get("NAME"));
    return name.erase(name.find_last_not_of(' ') + 1);
}

std::vector<std::string> names_in_order(Table& table) {
    std::vector<std::string> names;
    for (table.go_top(); !table.eof(); table.skip(1)) names.push_back(name_of(table));
    return names;
}

TEST_F(TablesTest, BagsAreNamedWithTheirExtensionAndListed) {
    make_table("CLIENTI.DBF", {"CARLO", "ALFA", "BETA"});
    DBOPEN(false, "", "CLIENTI", "", false);
    ORDBUILD("CLIENTI", "NAME", "FIELD -> NAME", {}, false);
    ORDBUILD("CLIENTI.CDX", "REV", "RECNO()", {}, false);
    EXPECT_TRUE(std::filesystem::exists("CLIENTI.NTX"));
    EXPECT_TRUE(std::filesystem::exists("CLIENTI.CDX"));
    index_orders(current()).close_bags();
    ORDADD("CLIENTI");
    ORDADD("CLIENTI.CDX");
    EXPECT_EQ(std::filesystem::path(ORDBAGNAME(1)).filename(), "CLIENTI.NTX");
    EXPECT_EQ(std::filesystem::path(ORDBAGNAME(2)).filename(), "CLIENTI.CDX");
    EXPECT_EQ(ORDBAGNAME(3), "");
    EXPECT_EQ(ORDLIST().size(), 2u);
    EXPECT_EQ(ORDLIST("clienti"), std::vector<std::string>{ORDBAGNAME(2)});
    index_orders(current()).set_current(1);
    EXPECT_EQ(names_in_order(current()), (std::vector<std::string>{"ALFA", "BETA", "CARLO"}));
    index_orders(current()).set_scope(true, Value(std::string("B")));
    EXPECT_EQ(TOTREC(false), 2);
    index_orders(current()).set_current(2);
    EXPECT_EQ(TOTREC(false), 3);
    EXPECT_EQ(TOTREC(true), 3) << "the second order had no scope to pass on";
}

TEST_F(TablesTest, AViewOnAreaThreeLivesInTheCurrentFolderWithoutALoginFolder) {
    util::settings().hide_deleted = true;
    make_table("T.DBF", {"DORA", "ALFA", "*BRUNO", "CARLO", "BETA"});
    work_areas().select(3);
    DBOPEN(false, "", "T", "", true);
    ORDBUILD("T", "NAME", "NAME", {}, false);
    std::vector<std::optional<std::string>> popups;
    ViewOptions options;
    options.filter = [&] {
        popups.push_back(util::CURMSG());
        return name_of(current()) != "CARLO";
    };
    options.filter_text = "NAME != 'CARLO'";
    DBSETVIEW(options);
    const std::string view = "\x7fVIEW3.NTX";
    EXPECT_TRUE(std::filesystem::exists(view));
    ASSERT_FALSE(popups.empty());
    EXPECT_EQ(popups.front(), "Elaborazione in corso...");
    EXPECT_EQ(util::CURMSG(), std::nullopt);
    IndexOrders& orders = index_orders(current());
    EXPECT_EQ(orders.tag_name(orders.current()), "\x7fVIEW3");
    EXPECT_EQ(names_in_order(current()), (std::vector<std::string>{"ALFA", "BETA", "DORA"}));
    EXPECT_EQ(util::library_state().saved_orders[2], "1");

    DBCLEARVIEW();
    EXPECT_FALSE(std::filesystem::exists(view));
    EXPECT_EQ(orders.tag_name(orders.current()), "NAME");
    EXPECT_EQ(ORDLIST().size(), 1u);
    EXPECT_EQ(names_in_order(current()),
              (std::vector<std::string>{"ALFA", "BETA", "CARLO", "DORA"}));
}

// The maintenance server as the view functions meet it: it answers each request in the current
// folder by building the order the request names over every record (or, out of order, nothing)
// and then taking the request away.
class FakeServer {
  public:
    FakeServer() {
        set_maintenance_server_probe([] { return true; });
    }
    ~FakeServer() { set_maintenance_server_probe({}); }
    void answer() {
        for (const auto& entry : std::filesystem::directory_iterator(".")) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("CMD_", 0) != 0 || entry.path().extension() != ".INI") continue;
            const std::string request = "./" + name;
            keys.push_back(platform::read_profile_string("Order", "OrdKey", request).value_or(""));
            auto table =
                Table::open("T.DBF", OpenOptions{.shared = true, .read_only = false, .alias = {}});
            EXPECT_TRUE(table);
            if (working && table) {
                index_orders(*table).create_order(
                    entry.path().stem().string() + ".NTX",
                    platform::read_profile_string("Order", "OrdTag", request).value_or(""),
                    keys.back(), false);
            }
            std::filesystem::remove(entry.path());
        }
    }
    bool working = true;
    std::vector<std::string> keys;
};

TEST_F(TablesTest, AViewFromTheServerIsMovedIntoPlaceAndNoViewLeavesTheOrdersAsTheyWere) {
    make_table("T.DBF", {"CARLO", "ALFA", "BETA"});
    DBOPEN(false, "", "T", "", true);
    ORDBUILD("T", "NAME", "NAME", {}, false);
    FakeServer server;
    db::ScopedWaitPause serve([&] { server.answer(); });
    ViewOptions options;
    options.key = "UPPER(NAME)";
    options.server = true;
    DBSETVIEW(options);
    IndexOrders& orders = index_orders(current());
    EXPECT_EQ(server.keys, std::vector<std::string>{"UPPER(NAME)"});
    EXPECT_EQ(orders.tag_name(orders.current()), "\x7fVIEW1");
    EXPECT_TRUE(std::filesystem::exists("\x7fVIEW1.NTX"));
    EXPECT_EQ(names_in_order(current()), (std::vector<std::string>{"ALFA", "BETA", "CARLO"}));
    DBCLEARVIEW();

    server.working = false;
    orders.set_scope(true, Value(std::string("B")));
    EXPECT_THROW(DBSETVIEW(options), util::Abandon);
    EXPECT_EQ(util::CURMSG(), std::nullopt) << "the pop-up is taken down";
    EXPECT_EQ(orders.tag_name(orders.current()), "NAME");
    EXPECT_EQ(orders.scope(true), Value(std::string("B")));
    EXPECT_EQ(ORDLIST().size(), 1u);
}

// With no probe set by the program, a server that holds its SERVER.EXE is asked for the view.
TEST_F(TablesTest, AViewAsksTheServerThatHoldsItsFileWithoutAnySetUp) {
    make_table("T.DBF", {"CARLO", "ALFA"});
    DBOPEN(false, "", "T", "", true);
    FakeServer server;
    set_maintenance_server_probe({});
    db::ScopedWaitPause serve([&] { server.answer(); });
    ViewOptions options;
    options.key = "NAME";
    options.server = true;
    DBSETVIEW(options);  // no SERVER.EXE: built here
    DBCLEARVIEW();
    EXPECT_TRUE(server.keys.empty());
    std::ofstream("SERVER.EXE") << "x";
    DBSETVIEW(options);  // SERVER.EXE not held: no server runs
    DBCLEARVIEW();
    EXPECT_TRUE(server.keys.empty());
    platform::File held;
    ASSERT_TRUE(held.open("SERVER.EXE", platform::Access::ReadWrite, platform::Share::DenyAll,
                          platform::Disposition::OpenExisting));
    DBSETVIEW(options);
    EXPECT_EQ(server.keys, std::vector<std::string>{"NAME"});
    EXPECT_EQ(names_in_order(current()), (std::vector<std::string>{"ALFA", "CARLO"}));
    DBCLEARVIEW();
}

TEST_F(TablesTest, ABagThatOrdbuildMakesIsNamedInUpperCaseUnderTheSetting) {
    platform::ScopedUpperCaseFileNames upper{true};
    std::filesystem::create_directory("sub");
    make_table("sub/CLIENTI.DBF", {"BETA", "ALFA"});
    DBOPEN(false, "", "sub/clienti", "", false);
    ORDBUILD("sub/clienti", "NAME", "NAME", {}, false);
    EXPECT_TRUE(std::filesystem::exists("sub/CLIENTI.NTX"));
    EXPECT_FALSE(std::filesystem::exists("sub/clienti.NTX"));
    EXPECT_EQ(names_in_order(current()), (std::vector<std::string>{"ALFA", "BETA"}));
}

TEST_F(TablesTest, ClearingTheViewOfAnEmptyWorkAreaReturnsAtOnce) {
    int tries = 0;
    db::ScopedWaitPause count([&] {
        if (++tries > 3) throw std::runtime_error("DBCLEARVIEW retries a work area with no table");
    });
    work_areas().select(5);
    EXPECT_NO_THROW(DBCLEARVIEW());
    EXPECT_NO_THROW(DBCLEARVIEW(true));
    EXPECT_EQ(tries, 0);
}

TEST_F(TablesTest, ZapEmptiesTheOrdersAndKeepsTheCurrentOrderAndItsScope) {
    make_table("T.DBF", {"CARLO", "ALFA", "BETA"});
    DBOPEN(false, "", "T", "", false);
    ORDBUILD("T", "NAME", "NAME", {}, false);
    ORDBUILD("T", "UP", "UPPER(NAME)", {}, false);
    IndexOrders& orders = index_orders(current());
    orders.set_scope(true, Value(std::string("ZZZ")));
    DBZAP();
    EXPECT_EQ(orders.tag_name(orders.current()), "UP");
    EXPECT_TRUE(orders.scope(true).has_value());
    EXPECT_TRUE(current().eof());
    orders.set_scope(true, std::nullopt);
    EXPECT_EQ(TOTREC(false), 0);
    orders.set_current(1);
    EXPECT_FALSE(current().seek(std::string("ALFA"))) << "no key of a zapped record is left";
    DBAPP();
    current().put("NAME", std::string("DORA"));
    current().commit();
    EXPECT_TRUE(current().seek(std::string("DORA")));
    EXPECT_EQ(TOTREC(true), 1);
}

// A browse that moves as a real one does and counts its redraws.
struct FakeBrowse : gui::Browse {
    void down() override {
        current().skip(1);
        ++downs;
    }
    void to_first_row() override { ++first_rows; }
    void redraw() override { ++redraws; }
    int downs = 0, first_rows = 0, redraws = 0;
};

TEST_F(TablesTest, KeySearchesJumpToTheTypedLetter) {
    make_table("T.DBF", {"carlo", "ALFA", "Alberto", "BETA", "BRUNO"});
    DBOPEN(false, "", "T", "", true);
    ORDBUILD("T", "NAME", "UPPER(NAME)", {}, false);
    FakeBrowse browse;
    current().go_top();
    EXPECT_EQ(name_of(current()), "Alberto");
    KEYSEEK(browse, 'a');  // the next key begins with A too: one row down
    EXPECT_EQ(name_of(current()), "ALFA");
    EXPECT_EQ(browse.downs, 1);
    KEYSEEK(browse, 'c');
    EXPECT_EQ(name_of(current()), "carlo");
    EXPECT_EQ(browse.first_rows, 1);
    EXPECT_EQ(browse.redraws, 1);
    KEYSEEK(browse, 'z');  // none: back where it started, nothing redrawn
    EXPECT_EQ(name_of(current()), "carlo");
    EXPECT_EQ(browse.redraws, 1);
    KEYSEEK(browse, 27);  // not a letter
    EXPECT_EQ(browse.redraws, 1);

    KEYSEARCH(browse, std::nullopt);
    for (int key : {'b', 'r'}) KEYSEARCH(browse, key);
    EXPECT_EQ(name_of(current()), "BRUNO");
    KEYSEARCH(browse, 'x');  // "BRX" is nowhere: the text stays "BR"
    EXPECT_EQ(name_of(current()), "BRUNO");
    KEYSEARCH(browse, 8);
    EXPECT_EQ(name_of(current()), "BETA");
    EXPECT_EQ(util::library_state().key_search_text, "B");

    KEYLOCATE(browse, 'a', "NAME");  // from the next record on, then from the top
    EXPECT_EQ(name_of(current()), "Alberto");
}

}  // namespace
}  // namespace kv::db
