// The view request file for the maintenance server, byte for byte.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tables/view_request.h"
#include "tests/support/temp_dir.h"

namespace kv::db {
namespace {

namespace fs = std::filesystem;

TEST(ViewRequest, NamesEveryOpenTableButTheLockTableAndCopiesMissingBags) {
    test::TempDir work;
    test::TempDir elsewhere;
    test::ScopedCurrentDir in_work(work.path());
    work.write("CLIENTI.NTX", "here already");
    elsewhere.write("CLIENTI.NTX", "not copied over");
    elsewhere.write("ORDINI.NTX", "copied");
    const std::string far = elsewhere.str();

    ViewRequest request;
    request.areas = {
        {1, far + "/clienti.dbf", "CLIENTI", {far + "/CLIENTI.NTX", far + "/ORDINI.NTX"}},
        {2, "net", "TALPLOCK", {}},
        {12, "ordini.dbf", "ORDINI", {}},
    };
    request.select_alias = "ORDINI";
    request.view_area = 12;
    request.key = "UPPER(NOME)";
    request.filter_text = "";
    request.unique = true;
    ASSERT_TRUE(
        write_view_request("./CMD_\x7f"
                           "2026120655",
                           request));

    const std::string upper_far = [&] {
        std::string s = far;
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }();
    const std::string upper_work = [&] {
        std::string s = work.str();
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }();
    const std::string expected =
        "[Command]\r\nCommand=SETVIEW\r\n\r\n"
        "[Table]\r\nTable1=" +
        upper_far + "/CLIENTI.DBF\r\nTable12=" + upper_work +
        "/ORDINI.DBF\r\n\r\n"
        "[Alias]\r\nAlias1=CLIENTI\r\nAlias12=ORDINI\r\n\r\n"
        "[Index1]\r\nIndex1=" +
        far + "/CLIENTI.NTX\r\nIndex2=" + far +
        "/ORDINI.NTX\r\n\r\n"
        "[Select]\r\nAlias=ORDINI\r\n\r\n"
        "[Order]\r\nOrdTag=\x7fVIEW12\r\nOrdKey=UPPER(NOME)\r\nOrdFor=\r\nOrdCur=N\r\n"
        "OrdUni=S\r\n";
    EXPECT_FALSE(fs::exists(work.path() / "CMD_\x7f"
                                          "2026120655.TMP"));
    EXPECT_EQ(work.read("CMD_\x7f"
                        "2026120655.INI"),
              expected);
    EXPECT_EQ(work.read("CLIENTI.NTX"), "here already");
    EXPECT_EQ(work.read("ORDINI.NTX"), "copied");
}

TEST(ViewRequest, AnUnwritableRequestLeavesNothingBehind) {
    test::TempDir work;
    test::ScopedCurrentDir in_work(work.path());
    ViewRequest request;
    request.select_alias = "A";
    request.key = "a\r\nb";  // a line break cannot be written as a profile value
    EXPECT_FALSE(write_view_request("./CMD_X", request));
    EXPECT_TRUE(fs::is_empty(work.path()));
}

}  // namespace
}  // namespace kv::db
