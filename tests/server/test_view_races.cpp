// SETVIEW while another user of the share swaps the tables' folder for a link to a folder
// outside the share's root: every view is built from the table inside, or refused.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/beneath.h"
#include "server/server.h"
#include "server/servergo.h"
#include "server/share_root.h"
#include "tests/support/co_user.h"
#include "tests/tables/tables_fixture.h"

namespace kv::server {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kCommand =
    "CMD_\x7f"
    "2026120712399.INI";
const std::string kResult =
    "CMD_\x7f"
    "2026120712399.NTX";

class ViewRaces : public test::TablesTest {
  protected:
    ~ViewRaces() override {
        set_server_log(nullptr);
        set_share_root("");
        platform::set_outside_links(true);
    }
};

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(ViewRaces, AFolderSwappedForALinkOutsideNeverFeedsAView) {
    // The attacker: another user; without one, this user with outside links refused.
    const auto other = test::co_user();
    platform::set_outside_links(other.has_value());
    const test::TempDir outside;
    fs::create_directory(outside.path() / "DATA");
    {
        const test::ScopedCurrentDir there(outside.path() / "DATA");
        test::make_table("T.DBF", {"FUORI", "FUORI2", "FUORI3"});
    }
    fs::create_directory("DATA");
    {
        const test::ScopedCurrentDir there(work_.path() / "DATA");
        test::make_table("T.DBF", {"DENTRO", "DENTRO2"});
    }
    test::share_with_everyone(work_.path());
    ASSERT_TRUE(test::run_as(other, [&] {
        return ::symlink((outside.path() / "DATA").c_str(), (work_.path() / "ALT").c_str()) == 0;
    }));
    ASSERT_TRUE(set_share_root(work_.str()));
    std::string log;
    set_server_log([&log](const std::string& line) { log += line + "\n"; });
    const fs::path data = work_.path() / "DATA", alt = work_.path() / "ALT";
    test::Racer racer(other, [&] { test::exchange(data, alt); });
    const auto end = std::chrono::steady_clock::now() + 2s;
    int built = 0;
    for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
        std::ofstream(kCommand) << "[Command]\nCommand=SETVIEW\n[Table]\nTable1=\\DATA\\T.DBF\n"
                                << "[Alias]\nAlias1=T\n[Select]\nAlias=T\n"
                                << "[Order]\nOrdTag=\x7fVIEW\nOrdKey=NAME\n";
        SERVERGO("kv32");
        if (fs::exists(kResult)) {
            ++built;
            ASSERT_EQ(read_all(kResult).find("FUORI"), std::string::npos)
                << "round " << round << "\n"
                << log;
            fs::remove(kResult);
        }
    }
    EXPECT_GT(racer.stop(), 10);
    EXPECT_GT(built, 0) << log;
    EXPECT_TRUE(db::work_areas().used_areas().empty());
}

}  // namespace
}  // namespace kv::server
