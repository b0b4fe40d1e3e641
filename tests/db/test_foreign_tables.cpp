// Tables that other programs make and read: their code pages, their field names in any case,
// their memo file names, their later layout; values kvdb cannot store as given are refused.
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "db/code_pages.h"
#include "tests/db/db_test_support.h"
#include "tools/kvdb/kvdb.h"
#include "util/wall_clock.h"

namespace kv::test {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome kvdb_run(const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int status = kvdb::run(arguments, out, err);
    return {status, out.str(), err.str()};
}

std::vector<std::string> files_in(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CodePagesTest, EveryByteComesBackAndOnlyRealUtf8IsTaken) {
    for (int page : db::known_code_pages()) {
        std::string all;
        for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
        std::string error;
        EXPECT_EQ(db::text_from_utf8(db::text_to_utf8(all, page), page, error), all) << page;
    }
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"perch\xE9 ok", "not UTF-8 (byte 0xE9 at position 6)"},
        {"a\xC0\xAF", "not UTF-8"},                // an overlong "/"
        {"\xE0\x80\xAF", "not UTF-8"},             // another
        {"\xED\xA0\x80", "not UTF-8"},             // a surrogate
        {"cut \xC3", "not UTF-8"},                 // a sequence cut short
        {"\xE2\x82\xAC", "not in code page 850"},  // the euro sign
    };
    for (const auto& [text, reason] : refused) {
        std::string error;
        EXPECT_FALSE(db::text_from_utf8(text, 850, error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    std::string error;
    EXPECT_EQ(db::text_from_utf8("\xE2\x82\xAC", 858, error), "\xD5");
    EXPECT_EQ(db::code_page_of_mark(0), 1252);
    EXPECT_EQ(db::code_page_of_mark(0x26), 866);
    EXPECT_FALSE(db::code_page_of_mark(0xEE));
}

class ForeignTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!partners_present())
            GTEST_SKIP() << "python3-dbf and python3-dbfread are not installed";
    }
    std::string path(const std::string& name) const { return (dir_.path() / name).string(); }
    TempDir dir_;
    SettingsGuard settings_;
};

// Text in each code page: written by the partner and read here, written here (also into a table
// made here) and read by both partners, each table in one code page only.
TEST_F(ForeignTableTest, TextIsReadAndWrittenInTheTablesCodePage) {
    struct Case {
        int page;
        std::string theirs, ours;
    };
    const std::vector<Case> cases = {
        {437, "perché città", "Straße ñ"},   {850, "perché città", "però ü"},
        {852, "Łódź žluť", "Příliš ŕ"},      {866, "Привет мир", "Ёлка"},
        {1250, "Łódź žluť", "Ť ő"},          {1251, "Привет мир", "Ёлка ї"},
        {1252, "perché € città", "œuvre ‰"},
    };
    std::string script = "import dbf, dbfread\n";
    for (const Case& c : cases) {
        const std::string n = std::to_string(c.page);
        script += "t = dbf.Table('P" + n + ".DBF', 'NAME C(20)', codepage='cp" + n +
                  "')\nt.open(dbf.READ_WRITE)\nt.append(('" + c.theirs + "',))\nt.close()\n";
    }
    ASSERT_TRUE(run_python(dir_, script));
    std::string check = "import dbf, dbfread\n";
    std::string expected;
    for (const Case& c : cases) {
        const std::string n = std::to_string(c.page);
        const std::string table = path("P" + n + ".DBF");
        EXPECT_EQ(kvdb_run({"dump", table}).out, "NAME\n" + c.theirs + "\n") << n;
        ASSERT_EQ(kvdb_run({"append", table, "name=" + c.ours}).status, 0) << n;
        const std::string mine = path("K" + n + ".DBF");
        ASSERT_EQ(kvdb_run({"create", mine, "NAME:C:20", "--codepage", n}).status, 0);
        ASSERT_EQ(kvdb_run({"append", mine, "NAME=" + c.ours}).status, 0) << n;
        EXPECT_NE(kvdb_run({"info", mine}).out.find("(code page " + n + ")"), std::string::npos);
        for (const std::string& name : {"P" + n, "K" + n}) {
            check += "print([r.name.strip() for r in dbf.Table('" + name +
                     ".DBF').open(dbf.READ_ONLY)])\n"
                     "print([r['NAME'] for r in dbfread.DBF('" +
                     name + ".DBF', encoding='cp" + n + "')])\n";
        }
        const std::string both = "'" + c.theirs + "', '" + c.ours + "'";
        expected += "[" + both + "]\n[" + both + "]\n['" + c.ours + "']\n['" + c.ours + "']\n";
    }
    EXPECT_EQ(run_python(dir_, check).value_or("python failed"), expected);
    // Code page 858 has no mark of its own: its tables carry 850's and are read as asked.
    const std::string euro = path("E.DBF");
    ASSERT_EQ(kvdb_run({"create", euro, "NAME:C:5", "--codepage", "858"}).status, 0);
    ASSERT_EQ(kvdb_run({"append", euro, "NAME=5 €", "--codepage", "858"}).status, 0);
    EXPECT_EQ(kvdb_run({"dump", euro, "--codepage", "858"}).out, "NAME\n5 €\n");
    EXPECT_EQ(kvdb_run({"append", euro, "NAME=5 €"}).status, 1) << "850 has no euro sign";
    EXPECT_EQ(kvdb_run({"dump", euro, "--codepage", "1253"}).status, 2);
}

// What kvdb cannot store as given is refused with the reason, the table left as it was; numbers
// with more decimals than their field are rounded.
TEST_F(ForeignTableTest, ValuesThatCannotBeStoredAsGivenAreRefused) {
    ASSERT_TRUE(run_python(dir_, R"(
import dbf
t = dbf.Table('OLD.DBF', 'NAME C(20); QTY N(6,2); NOTES M', dbf_type='db3', codepage='cp850')
t.open(dbf.READ_WRITE)
t.close()
)"));
    const std::string table = path("OLD.DBF");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"NAME=" + std::string(21, 'x'), "NAME: the text has 21 characters, the field holds 20"},
        {"NAME=perch\xE9 ok", "NAME: the text is not UTF-8"},
        {"NAME=a\xC0\xAF", "NAME: the text is not UTF-8"},
        {"NAME=5 €", "NAME: the character \"€\" is not in code page 850"},
        {"NOTES=a\x1A"
         "b",
         "NOTES: the text holds the byte 0x1A"},
        {"QTY=12345.6", "QTY: \"12345.6\" does not fit the field"},
    };
    for (const auto& [value, reason] : refused) {
        const Outcome outcome = kvdb_run({"append", table, "NAME=ok", value});
        EXPECT_EQ(outcome.status, 1) << value;
        EXPECT_NE(outcome.err.find(reason), std::string::npos) << outcome.err;
    }
    ASSERT_EQ(kvdb_run({"append", table, "NAME=" + std::string(20, 'y') + "   ", "QTY=1.005",
                        "NOTES=città"})
                  .status,
              0);
    EXPECT_EQ(kvdb_run({"dump", table}).out,
              "NAME,QTY,NOTES\n" + std::string(20, 'y') + ",1.01,città\n");
}

// Field names as GDAL writes them (lower case) serve every command; names above 127 are shown
// in the table's code page.
TEST_F(ForeignTableTest, FieldNamesMatchInAnyCase) {
    const std::string table = path("shape.dbf");
    ASSERT_EQ(kvdb_run({"create", table, "NAME:C:10", "QTY:N:5", "CITTA:C:5"}).status, 0);
    {
        std::string bytes = dir_.read("shape.dbf");
        bytes.replace(32, 4, "name");
        bytes.replace(64, 3, "qty");
        bytes.replace(96, 5, "citt\x85");  // "città" in code page 850
        bytes[29] = 0x02;
        dir_.write("shape.dbf", bytes);
    }
    ASSERT_EQ(kvdb_run({"append", table, "name=Roma", "QTY=1"}).status, 0);
    ASSERT_EQ(kvdb_run({"append", table, "NAME=Milano", "qty=2", "CITTÀ=x"}).status, 0);
    EXPECT_EQ(kvdb_run({"dump", table, "--for", "name = \"Roma\""}).out,
              "name,qty,città\nRoma,1,\n");
    ASSERT_EQ(kvdb_run({"index", table, "shape", "byname", "UPPER(name)"}).status, 0);
    EXPECT_EQ(kvdb_run({"seek", table, "shape:byname", "MIL"}).out, "Milano,2,x\n");
    EXPECT_NE(kvdb_run({"info", table}).out.find("  città      C     5  0\n"), std::string::npos)
        << kvdb_run({"info", table}).out;
    if (std::system("command -v ogrinfo >/dev/null 2>&1") == 0) {
        const std::string command = "ogrinfo -q -al '" + table + "' 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string text;
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
        ::pclose(pipe);
        EXPECT_NE(text.find("name (String) = Milano"), std::string::npos) << text;
        EXPECT_NE(text.find("qty (Integer) = 2"), std::string::npos) << text;
        EXPECT_NE(text.find("DBF_DATE_LAST_UPDATE=" + std::to_string(util::local_now().year)),
                  std::string::npos)
            << text;
    }
    // The year byte as this layout's other writers write it: python3-dbf reads this year.
    EXPECT_EQ(run_python(dir_,
                         "import dbf\nt = dbf.Table('shape.dbf').open(dbf.READ_ONLY)\n"
                         "print(t.last_update.year)\n")
                  .value_or("python failed"),
              std::to_string(util::local_now().year) + "\n");
}

// A memo file named in lower case keeps its name through create, zap and pack: no second memo
// file, and the partners read the new record's own text.
TEST_F(ForeignTableTest, MemoFileNamesKeepTheirCase) {
    const std::string table = path("t.dbf");
    ASSERT_EQ(kvdb_run({"create", table, "N:C:5", "M:M", "--memo-ext", "fpt"}).status, 0);
    ASSERT_EQ(kvdb_run({"append", table, "N=old", "M=the old text"}).status, 0);
    ASSERT_EQ(kvdb_run({"zap", table}).status, 0);
    ASSERT_EQ(kvdb_run({"append", table, "N=new", "M=new"}).status, 0);
    ASSERT_EQ(kvdb_run({"pack", table}).status, 0);
    EXPECT_EQ(files_in(dir_), (std::vector<std::string>{"t.dbf", "t.fpt"}));
    EXPECT_NE(kvdb_run({"info", table}).out.find("Memo file: " + path("t.fpt")), std::string::npos);
    EXPECT_EQ(run_python(dir_, R"(
import dbf, dbfread
print([r['M'] for r in dbfread.DBF('t.dbf')])
print([r.m for r in dbf.Table('t.dbf').open(dbf.READ_ONLY)])
)")
                  .value_or("python failed"),
              "['new']\n['new']\n");
}

// The later layout: a record appended here has no field marked null, doubles show every digit,
// and the header's year byte is read as this year by the partners.
TEST_F(ForeignTableTest, LaterLayoutNullFlagsDoublesAndTheYearByteAreRight) {
    ASSERT_TRUE(run_python(dir_, R"(
import dbf
t = dbf.Table('V.DBF', 'A C(1) NULL; B C(1) NULL; C C(1) NULL; D C(1) NULL; E C(1) NULL; '
              'NOTES M NULL; AMT B', dbf_type='vfp')
t.open(dbf.READ_WRITE)
t.append(('a', 'b', 'c', 'd', 'e', 'x', 2.5))
t.close()
)"));
    const std::string table = path("V.DBF");
    ASSERT_EQ(kvdb_run({"append", table, "A=z", "NOTES=hello"}).status, 0);
    EXPECT_EQ(kvdb_run({"dump", table}).out,
              "A,B,C,D,E,NOTES,AMT\na,b,c,d,e,x,2.5\nz,,,,,hello,0\n");
    EXPECT_EQ(kvdb_run({"info", table}).out.find("read only"), std::string::npos);
    const std::string year = std::to_string(util::local_now().year);
    EXPECT_EQ(run_python(dir_, R"(
import dbf, dbfread
t = dbf.Table('V.DBF').open(dbf.READ_ONLY)
print(t.last_update.year, [r.notes for r in t])
print(dbfread.DBF('V.DBF').date.year)
)")
                  .value_or("python failed"),
              year + " ['x', 'hello']\n" + year + "\n");
}

// A failed write names the file that failed and gives the system's words for the reason.
TEST_F(ForeignTableTest, AFailedWriteNamesItsFileAndTheSystemsReason) {
    if (std::system("command -v strace >/dev/null 2>&1") != 0) GTEST_SKIP() << "no strace";
    const std::string table = path("W.DBF");
    ASSERT_EQ(kvdb_run({"create", table, "N:C:5", "M:M", "--memo-ext", "FPT"}).status, 0);
    // The first write to the memo file is the new memo's block.
    const std::string command = "strace -f -o /dev/null -P '" + path("W.FPT") +
                                "' -e trace=pwrite64,write "
                                "-e inject=pwrite64,write:error=EIO:when=1 '" KVDB_BINARY
                                "' append '" +
                                table + "' N=x M=text 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    EXPECT_NE(::pclose(pipe), 0);
    EXPECT_NE(text.find("W.FPT (Input/output error)"), std::string::npos) << text;
}

}  // namespace
}  // namespace kv::test
