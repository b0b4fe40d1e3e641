// kvusers in a folder that other users write in: the user table and its index are created new,
// never through a link someone put under their names.
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tables/login_users.h"
#include "tests/support/temp_dir.h"
#include "tests/tables/tables_fixture.h"
#include "tools/kvusers/users_cli.h"

namespace kv::users {
namespace {

namespace fsys = std::filesystem;

class KvusersLinks : public test::TablesTest {};

TEST_F(KvusersLinks, LinksUnderTheTablesNamesAreNeverWrittenThrough) {
    kv::test::TempDir elsewhere;
    const fsys::path kept = elsewhere.write("KEPT", "not a table");
    struct Case {
        const char* link;
        fsys::path target;
    };
    for (const Case& c :
         {Case{db::kUsersTable, elsewhere.path() / "NEW.DBF"},
          Case{db::kUsersIndex, elsewhere.path() / "NEW.NTX"}, Case{db::kUsersIndex, kept}}) {
        SCOPED_TRACE(std::string(c.link) + " -> " + c.target.string());
        for (const char* name : {db::kUsersTable, db::kUsersIndex}) fsys::remove(name);
        fsys::create_symlink(c.target, c.link);
        std::istringstream in;
        std::ostringstream out, err;
        EXPECT_EQ(
            run_kvusers({"add", "rossi", "--level", "1", "--password", "x"}, out, err, {&in, -1}),
            1);
        EXPECT_NE(err.str().find("link"), std::string::npos) << err.str();
        EXPECT_TRUE(fsys::is_symlink(c.link));
        EXPECT_EQ(elsewhere.read("KEPT"), "not a table");
        EXPECT_FALSE(fsys::exists(elsewhere.path() / "NEW.DBF"));
        EXPECT_FALSE(fsys::exists(elsewhere.path() / "NEW.NTX"));
    }
    // Nothing in the way: made, and no private folder is left.
    for (const char* name : {db::kUsersTable, db::kUsersIndex}) fsys::remove(name);
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(run_kvusers({"add", "rossi", "--level", "1", "--password", "x"}, out, err, {&in, -1}),
              0)
        << err.str();
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fsys::directory_iterator(".")) ++entries;
    EXPECT_EQ(entries, 2);
}

}  // namespace
}  // namespace kv::users
