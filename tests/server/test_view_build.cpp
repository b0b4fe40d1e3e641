// SETVIEW served in this process: the view index built from a request file through the tables.
#include <filesystem>
#include <fstream>

#include <csignal>
#include <thread>

#include "db/index_orders.h"
#include "platform/files.h"
#include "server/server.h"
#include "server/servergo.h"
#include "server/share_root.h"
#include "tables/tables.h"
#include "tests/tables/tables_fixture.h"
#include "util/abandon.h"

namespace kv::server {
namespace {

using test::make_table;
const std::string kCommand =
    "CMD_\x7f"
    "2026120712345.INI";
const std::string kResult =
    "CMD_\x7f"
    "2026120712345.NTX";
const std::string kTag = "\x7fVIEW3";

struct Order {
    std::string key;
    std::string filter;
    std::string unique = "N";
};

class ViewBuildTest : public test::TablesTest {
  protected:
    ViewBuildTest() {
        set_server_log([this](const std::string& line) { log_ += line + "\n"; });
        make_table("CLIENTI.DBF", {"BETA", "ALFA", "CARLO", "BETA"});
        make_table("ALTRA.DBF", {"ZETA", "YPSILON"});
        db::DBOPEN(false, "", "CLIENTI");
        db::ORDBUILD("CLIENTI", "NAME", "NAME");
        db::work_areas().close_all();
    }
    ~ViewBuildTest() override {
        set_server_log(nullptr);
        set_share_root("");
    }

    // A request as the view writer makes it, but with the [Table] keys out of number order and
    // the [Alias] keys named after other areas: aliases go with tables by position.
    void post(const Order& order, const std::string& index = "CLIENTI.NTX") {
        const std::string folder = work_.str() + "/";
        std::ofstream(kCommand) << "[Command]\nCommand=SETVIEW\n"
                                << "[Table]\nTable3=" << folder << "CLIENTI.DBF\n"
                                << "Table1=" << folder << "ALTRA.DBF\n"
                                << "[Alias]\nAlias1=CLI\nAlias3=ALT\n"
                                << "[Index3]\nIndex1=" << index << "\n"
                                << "[Select]\nAlias=CLI\n"
                                << "[Order]\nOrdTag=" << kTag << "\nOrdKey=" << order.key
                                << "\nOrdFor=" << order.filter
                                << "\nOrdCur=N\nOrdUni=" << order.unique << "\n";
    }

    // The names of CLIENTI in the order of the view index that the server built.
    std::vector<std::string> view_names() {
        db::DBOPEN(false, "", "CLIENTI");
        db::ORDADD(kResult);
        auto& orders = db::index_orders(*db::work_areas().table());
        orders.set_current(orders.find(kTag));
        key_text_ = orders.key_text(orders.current());
        for_text_ = orders.for_text(orders.current());
        std::vector<std::string> names;
        auto& table = *db::work_areas().table();
        // A damaged view may never reach the end: ten names are enough to tell.
        for (table.go_top(); !table.eof() && names.size() < 10; table.skip(1)) {
            auto name = std::get<std::string>(table.get("NAME"));
            names.push_back(name.erase(name.find_last_not_of(' ') + 1));
        }
        db::work_areas().close_all();
        std::filesystem::remove(kResult);
        return names;
    }

    std::string log_;
    std::string key_text_;
    std::string for_text_;
};

using Names = std::vector<std::string>;

TEST_F(ViewBuildTest, BuildsTheOrderThatTheRequestDescribes) {
    const std::pair<Order, Names> cases[] = {
        {{"FIELD -> NAME", ""}, {"ALFA", "BETA", "BETA", "CARLO"}},
        {{"NAME", "NAME < \"C\""}, {"ALFA", "BETA", "BETA"}},
        {{"UPPER(FIELD -> NAME)", "", "S"}, {"ALFA", "BETA", "CARLO"}},
    };
    for (const auto& [order, names] : cases) {
        post(order);
        SERVERGO("kv32");
        EXPECT_FALSE(std::filesystem::exists(kCommand));
        EXPECT_EQ(view_names(), names) << order.key << " for " << order.filter << "\n" << log_;
        EXPECT_EQ(key_text_.find("FIELD"), std::string::npos) << key_text_;
        EXPECT_EQ(for_text_, "!DELETED()");
        EXPECT_TRUE(db::work_areas().used_areas().empty()) << "every table is closed after";
    }
}

TEST_F(ViewBuildTest, BagsAreAttachedAsWrittenOrUnderTheirBareName) {
    std::filesystem::create_directory("ALTROVE");
    std::filesystem::copy_file("CLIENTI.NTX", "ALTROVE/ALTROVE.NTX");
    for (const char* written :
         {"ALTROVE\\CLIENTI.NTX", "/nowhere/CLIENTI.NTX", "CLIENTI", "ALTROVE/ALTROVE.NTX"}) {
        post({"NAME", ""}, written);
        SERVERGO("kv32");  // an index that could not be attached fails the fixture's handler
        EXPECT_EQ(view_names().size(), 4u) << written << "\n" << log_;
    }
    // Found under neither name: the handler's abandon ends the command, the tables are closed
    // and the file goes all the same.
    std::vector<int> raised;
    util::ScopedErrorHandler abandon([&](const util::ErrorRecord& error) -> util::ErrorAnswer {
        raised.push_back(error.gencode);
        throw util::Abandon("told");
    });
    post({"NAME", ""}, "ALTROVE\\MANCA.NTX");
    SERVERGO("kv32");
    EXPECT_EQ(raised, std::vector<int>{21});
    EXPECT_FALSE(std::filesystem::exists(kCommand));
    EXPECT_FALSE(std::filesystem::exists(kResult));
    EXPECT_TRUE(db::work_areas().used_areas().empty());
    EXPECT_NE(log_.find("abandoned"), std::string::npos) << log_;
}

// Tables named as the clients see them through their mapped drive resolve inside the share's
// root; whatever leads outside it, through ".." or a link, is refused and its file deleted.
TEST_F(ViewBuildTest, TablesResolveInsideTheShareRootOnly) {
    namespace fs = std::filesystem;
    const test::TempDir outside;
    {
        const test::ScopedCurrentDir there(outside.path());
        make_table("OUT.DBF", {"FUORI"});
    }
    fs::create_directory("SERVED");
    fs::create_symlink(outside.path() / "OUT.DBF", "SERVED/LINK.DBF");
    fs::create_symlink(work_.path() / "CLIENTI.DBF", "SERVED/INSIDE.DBF");
    fs::create_symlink(outside.path(), "SERVED/ELSEWHERE");
    const std::string root = work_.str();
    const test::ScopedCurrentDir served(work_.path() / "SERVED");
    ASSERT_TRUE(set_share_root(root));
    const std::string upper_root = platform::to_upper_name(root);
    const std::pair<std::string, bool> cases[] = {
        {"S:\\CLIENTI.DBF", true},
        {"s:clienti", true},
        {"\\CLIENTI.DBF", true},
        {"..\\..\\..\\..\\..\\..\\CLIENTI.DBF", true},
        {upper_root + "/CLIENTI.DBF", true},
        {"INSIDE.DBF", true},
        {outside.str() + "/OUT.DBF", false},
        {upper_root + "/../" + outside.path().filename().string() + "/OUT.DBF", false},
        {"LINK.DBF", false},
        {"ELSEWHERE\\OUT.DBF", false},
    };
    for (const auto& [table, inside] : cases) {
        log_.clear();
        std::ofstream(kCommand) << "[Command]\nCommand=SETVIEW\n[Table]\nTable1=" << table
                                << "\n[Alias]\nAlias1=CLI\n[Select]\nAlias=CLI\n"
                                << "[Order]\nOrdTag=" << kTag << "\nOrdKey=NAME\n";
        SERVERGO("kv32");
        EXPECT_FALSE(fs::exists(kCommand)) << table;
        EXPECT_EQ(fs::exists(kResult), inside) << table << "\n" << log_;
        EXPECT_NE(log_.find(inside ? "view built in" : "refused: "), std::string::npos)
            << table << "\n"
            << log_;
        fs::remove(kResult);
    }
    EXPECT_TRUE(db::work_areas().used_areas().empty());
    set_share_root("");
}

// The result is always a new file: what held its name before, a link above all, is removed and
// never written through.
TEST_F(ViewBuildTest, TheViewIndexIsCreatedAfreshNeverThroughALink) {
    namespace fs = std::filesystem;
    const test::TempDir elsewhere;
    const auto victim = elsewhere.write("VICTIM.NTX", "keep");
    for (const bool link : {true, false}) {
        if (link)
            fs::create_symlink(victim, kResult);
        else
            std::ofstream(kResult) << std::string(1024, 'x');  // a stale result
        post({"NAME", ""});
        SERVERGO("kv32");
        EXPECT_FALSE(fs::is_symlink(kResult));
        EXPECT_EQ(elsewhere.read("VICTIM.NTX"), "keep");
        EXPECT_EQ(view_names(), (Names{"ALFA", "BETA", "BETA", "CARLO"})) << log_;
    }
}

// DBSETVIEW asks a real kvserver in the same folder for the view: the server attaches the bag
// open in another folder, and the view it builds becomes the table's current order.
TEST_F(ViewBuildTest, DbsetviewIsServedByARunningServer) {
    using namespace std::chrono_literals;
    std::filesystem::create_directory("ALTROVE");
    std::filesystem::rename("CLIENTI.NTX", "ALTROVE/CLIENTI.NTX");
    dev::ChildProcess server(KVSERVER_BINARY, {"--headless"}, work_.str());
    for (int tries = 0; tries < 3000 && server.out().find("Server Kv32 ") == std::string::npos;
         ++tries)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(ISSERVERRUNNING(), true) << server.out() << server.err();
    db::set_maintenance_server_probe(ISSERVERRUNNING);
    const auto deadline = std::chrono::steady_clock::now() + 60s;  // the sanitizers are slow
    db::ScopedWaitPause pause([&] {
        if (std::chrono::steady_clock::now() > deadline) throw util::Abandon("no answer");
        std::this_thread::sleep_for(5ms);
    });

    db::work_areas().select(3);
    db::DBOPEN(false, "", "CLIENTI");
    db::ORDADD("ALTROVE/CLIENTI");
    db::DBOPEN(true, "", "ALTRA");
    db::work_areas().select(3);
    db::index_orders(*db::work_areas().table()).set_current(1);
    db::ViewOptions view;
    view.filter_text = "NAME < \"C\"";
    view.key = "FIELD -> NAME";
    view.quiet = true;
    view.current_order = true;  // the bags stay open, so the request names them
    view.server = true;
    EXPECT_NO_THROW(db::DBSETVIEW(view)) << server.out() << server.err();
    db::set_maintenance_server_probe(nullptr);

    db::Table& table = *db::work_areas().table();
    auto& orders = db::index_orders(table);
    EXPECT_EQ(orders.tag_name(orders.current()), kTag);
    std::vector<std::string> names;
    for (; !table.eof() && names.size() < 10; table.skip(1)) {
        auto name = std::get<std::string>(table.get("NAME"));
        names.push_back(name.erase(name.find_last_not_of(' ') + 1));
    }
    EXPECT_EQ(names, (Names{"ALFA", "BETA", "BETA"}));
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_NE(entry.path().filename().string().rfind("CMD_", 0), 0u) << entry.path();
    server.signal(SIGTERM);
    EXPECT_EQ(server.wait_exit(30s), 0);
    EXPECT_NE(server.out().find("view built in CMD_"), std::string::npos) << server.out();
}

}  // namespace
}  // namespace kv::server
