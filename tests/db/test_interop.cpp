// Tables and memo files exchanged with two independent readers and writers of the format, run as
// Debian's python3 modules: python3-dbf (reads and writes) and python3-dbfread (reads).
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/dbf_table.h"
#include "tests/db/db_test_support.h"
#include "tools/kvdb/kvdb.h"
#include "util/dates.h"
#include "util/wall_clock.h"

namespace kv::test {
namespace {

class InteropTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!partners_present())
            GTEST_SKIP() << "python3-dbf and python3-dbfread are not installed";
        settings_.emplace();
        util::settings().hide_deleted = false;
    }
    TempDir dir_;
    std::optional<SettingsGuard> settings_;
};

std::string trimmed(const db::Value& value) {
    std::string text = std::get<std::string>(value);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

TEST_F(InteropTest, TablesWrittenByThePartnerAreReadExactly) {
    ASSERT_TRUE(run_python(dir_, R"(
import dbf, datetime
for kind, name in (('fp', 'FOX'), ('db3', 'OLD')):
    t = dbf.Table(name + '.DBF', 'NAME C(20); QTY N(8,2); BORN D; OK L; NOTES M', dbf_type=kind,
                  codepage='cp1252')
    t.open(dbf.READ_WRITE)
    t.append(('ALFA', 1.5, datetime.date(2024, 3, 1), True, 'long text\r\nsecond line'))
    t.append(('citt\u00e0 \u20ac', -12.25, None, False, ''))
    t.append(('gone', 3, datetime.date(1999, 12, 31), False, 'x' * 700))
    dbf.delete(t[2])
    t.close()
)"));
    for (const char* name : {"FOX.DBF", "OLD.DBF"}) {
        SCOPED_TRACE(name);
        auto table = open_table((dir_.path() / name).string(), true, true);
        ASSERT_TRUE(table);
        ASSERT_EQ(table->record_count(), 3);
        table->go_to(1);
        EXPECT_EQ(trimmed(table->get("NAME")), "ALFA");
        EXPECT_EQ(table->get("QTY"), db::Value(1.5));
        EXPECT_EQ(table->get("BORN"), db::Value(util::Date::of(2024, 3, 1)));
        EXPECT_EQ(table->get("OK"), db::Value(true));
        EXPECT_EQ(table->get("NOTES"), db::Value(std::string("long text\r\nsecond line")));
        EXPECT_FALSE(table->deleted());
        table->go_to(2);
        EXPECT_EQ(trimmed(table->get("NAME")), "citt\xE0 \x80") << "Windows-1252 bytes";
        EXPECT_EQ(table->get("QTY"), db::Value(-12.25));
        EXPECT_EQ(table->get("BORN"), db::Value(util::Date()));
        EXPECT_EQ(table->get("NOTES"), db::Value(std::string()));
        table->go_to(3);
        EXPECT_TRUE(table->deleted());
        EXPECT_EQ(table->get("NOTES"), db::Value(std::string(700, 'x')));
    }
}

TEST_F(InteropTest, TablesWrittenHereAreReadExactlyByBothPartners) {
    const std::string name = (dir_.path() / "OURS.DBF").string();
    db::CreateOptions options;
    options.memo_extension = ".FPT";  // the partners look for the memo under this extension
    ASSERT_TRUE(db::Table::create(name, table_fields(), options));
    {
        auto table = open_table(name, true);
        ASSERT_TRUE(table);
        const std::vector<std::tuple<std::string, double, util::Date, bool, std::string>> rows = {
            {"ALFA", 1.5, util::Date::of(2024, 3, 1), true, "long text"},
            {"citt\xE0 \x80", -12.25, util::Date(), false, ""},
            {"gone", 3, util::Date::of(1999, 12, 31), false, std::string(200, 'y') + "\r\nend"},
        };
        for (const auto& [text, qty, born, ok, notes] : rows) {
            ASSERT_TRUE(table->append());
            table->put("NAME", text);
            table->put("QTY", qty);
            table->put("BORN", born);
            table->put("OK", ok);
            table->put("NOTES", notes);
            table->put("RATE", 0.125);
        }
        table->mark_deleted();
        table->close();
    }
    const auto output = run_python(dir_, R"(
import dbf, dbfread, datetime
def show(values):
    print('|'.join(repr(v.strip() if isinstance(v, str) and len(v) < 100 else v) for v in values))
t = dbf.Table('OURS.DBF', codepage='cp1252')
t.open(dbf.READ_ONLY)
print('dbf', t.last_update)
for r in t:
    show(list(r) + [dbf.is_deleted(r)])
t.close()
d = dbfread.DBF('OURS.DBF', encoding='cp1252', load=True)
print('dbfread', d.date)
for r in d.records:
    show(list(r.values()) + [False])
for r in d.deleted:
    show(list(r.values()) + [True])
)");
    ASSERT_TRUE(output);
    const std::string today = [] {
        const util::LocalDateTime now = util::local_now();
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", now.year, now.month, now.day);
        return std::string(text);
    }();
    const std::string rows =
        "'ALFA'|1.5|datetime.date(2024, 3, 1)|True|'long text'|0.125|False\n"
        "'citt\xC3\xA0 \xE2\x82\xAC'|-12.25|None|False|''|0.125|False\n"
        "'gone'|3.0|datetime.date(1999, 12, 31)|False|'" +
        std::string(200, 'y') + "\\r\\nend'|0.125|True\n";
    // The one difference: dbfread gives None for a memo that has no blocks.
    std::string dbfread_rows = rows;
    dbfread_rows.replace(dbfread_rows.find("|''|"), 4, "|None|");
    const std::string expected =
        "dbf " + today + "\n" + rows + "dbfread " + today + "\n" + dbfread_rows;
    EXPECT_EQ(*output, expected);
}

TEST_F(InteropTest, LaterLayoutsAreReadWithoutTheirNullFlagsAndDoublesKeepTheirDecimals) {
    ASSERT_TRUE(run_python(dir_, R"(
import dbf
t = dbf.Table('V.DBF', 'NAME C(10) NULL; PRICE B; QTY N(5,0)', dbf_type='vfp')
t.open(dbf.READ_WRITE)
t.append(('ALFA', 12.5, 3))
t.append((None, 7.25, 4))
t.close()
b = bytearray(open('V.DBF', 'rb').read())
assert b[32 + 32 + 11] == ord('B')
b[32 + 32 + 17] = 2  # the double's decimals, as a later writer sets them
open('V.DBF', 'wb').write(b)
)"));
    std::ostringstream out, err;
    EXPECT_EQ(kvdb::run({"dump", (dir_.path() / "V.DBF").string()}, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "NAME,PRICE,QTY\nALFA,12.50,3\n,7.25,4\n");
    std::ostringstream info;
    kvdb::run({"info", (dir_.path() / "V.DBF").string()}, info, err);
    EXPECT_EQ(info.str().find("_NULLFLAGS"), std::string::npos) << info.str();
}

TEST_F(InteropTest, NumbersOfTwentyDigitsReachThePartnersExactly) {
    const std::string name = (dir_.path() / "BIG.DBF").string();
    std::ostringstream out, err;
    ASSERT_EQ(kvdb::run({"create", name, "BIG:N:20", "PART:N:20:2"}, out, err), 0);
    ASSERT_EQ(kvdb::run({"append", name, "BIG=12345678901234567890", "PART=-123456789012345.67"},
                        out, err),
              0)
        << err.str();
    const auto output = run_python(dir_, R"(
import dbfread
for r in dbfread.DBF('BIG.DBF', load=True).records:
    print(r['BIG'], repr(r['PART']))
)");
    ASSERT_TRUE(output);
    EXPECT_EQ(*output, "12345678901234567890 -123456789012345.67\n");
}

// kvdb writes memo files of the block layout under any extension: the partners find them as
// .FPT and read every text, spanning blocks or not, before and after a pack.
TEST_F(InteropTest, MemosOfTablesMadeByKvdbAreReadByThePartners) {
    const std::string name = (dir_.path() / "M.DBF").string();
    std::ostringstream out, err;
    ASSERT_EQ(kvdb::run({"create", name, "NAME:C:10", "NOTES:M", "--memo-ext", "FPT"}, out, err),
              0);
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"A", "hello"}, {"B", "gone"}, {"C", std::string(150, 'x') + "\r\nend"}, {"D", ""}};
    for (const auto& [key, notes] : rows) {
        std::vector<std::string> arguments = {"append", name, "NAME=" + key};
        if (!notes.empty()) arguments.push_back("NOTES=" + notes);
        ASSERT_EQ(kvdb::run(arguments, out, err), 0) << err.str();
    }
    const std::string script = R"(
import dbf, dbfread
for r in dbfread.DBF('M.DBF', load=True).records:
    print(r['NAME'], repr(r['NOTES']))
t = dbf.Table('M.DBF')
t.open(dbf.READ_ONLY)
for r in t:
    if not dbf.is_deleted(r):
        print(r.name.strip(), repr(r.notes))
t.close()
)";
    const std::string big = "'" + std::string(150, 'x') + "\\r\\nend'";
    auto expected = [&](bool packed) {
        std::string dbfread =
            "A 'hello'\n" + std::string(packed ? "" : "B 'gone'\n") + "C " + big + "\nD None\n";
        std::string dbf =
            "A 'hello'\n" + std::string(packed ? "" : "B 'gone'\n") + "C " + big + "\nD ''\n";
        return dbfread + dbf;
    };
    EXPECT_EQ(run_python(dir_, script).value_or("python failed"), expected(false));
    {
        auto table = open_table(name);
        table->go_to(2);
        table->mark_deleted();
    }
    ASSERT_EQ(kvdb::run({"pack", name}, out, err), 0) << err.str();
    EXPECT_EQ(run_python(dir_, script).value_or("python failed"), expected(true));
}

// Run by the test below as a second process, under strace: kvdb packs the table named in
// KV_KVDB_PACK.
TEST(InteropPacker, Pack) {
    const char* table = std::getenv("KV_KVDB_PACK");
    if (!table) GTEST_SKIP() << "run by the tests as a second process";
    std::ostringstream out, err;
    std::exit(kvdb::run({"pack", table}, out, err));
}

// A pack killed at each of its renames (strace makes the rename a SIGKILL) leaves, for both
// partners, every record beside its own memo text; the next kvdb check finishes what is left.
TEST_F(InteropTest, APackKilledAtEachRenameLeavesEveryRecordWithItsOwnMemo) {
    if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
    const std::string name = (dir_.path() / "T.DBF").string();
    // Each record's memo begins with its name: a memo read beside another record shows.
    const std::string script = R"(
import dbf, dbfread
seen = []
for r in dbfread.DBF('T.DBF', load=True).records:
    seen.append(r['NAME'] + ('' if (r['NOTES'] or '').startswith(r['NAME'] + ':') else '?'))
t = dbf.Table('T.DBF')
t.open(dbf.READ_ONLY)
for r in t:
    seen.append(r.name.strip().lower() + ('' if r.notes.startswith(r.name.strip() + ':') else '?'))
t.close()
print(' '.join(seen))
)";
    for (int kill_at = 1; kill_at <= 4; ++kill_at) {
        SCOPED_TRACE("killed at rename " + std::to_string(kill_at));
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            std::filesystem::remove(entry.path());
        std::ostringstream out, err;
        ASSERT_EQ(
            kvdb::run({"create", name, "NAME:C:10", "NOTES:M", "--memo-ext", "FPT"}, out, err), 0);
        for (const char* key : {"A", "B", "C", "D", "E"}) {
            const std::string notes = std::string(key) + ":" + std::string(100 - key[0], 'x');
            kvdb::run({"append", name, std::string("NAME=") + key, "NOTES=" + notes}, out, err);
        }
        kvdb::run({"index", name, "T", "BYNAME", "NAME"}, out, err);
        {
            auto table = open_table(name);
            for (long r : {2, 4}) {
                table->go_to(r);
                table->mark_deleted();
            }
        }
        const std::string command =
            "cd '" + dir_.str() + "' && KV_KVDB_PACK=T.DBF ASAN_OPTIONS=detect_leaks=0 " +
            "strace -f -o /dev/null -e trace=rename -e inject=rename:signal=SIGKILL:when=" +
            std::to_string(kill_at) + " '" +
            std::filesystem::read_symlink("/proc/self/exe").string() +
            "' --gtest_filter=InteropPacker.Pack >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        // strace ends as its tracee did: killed, or exited 0 once the renames ran out.
        const bool killed = WIFSIGNALED(status) ? WTERMSIG(status) == SIGKILL
                                                : WEXITSTATUS(status) == 128 + SIGKILL;
        EXPECT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
        if (kill_at == 1) {
            EXPECT_TRUE(killed) << "a pack renames at least once";
        }
        const std::string packed = "A C E a c e\n", unpacked = "A C E a b c d e\n";
        const auto before = run_python(dir_, script);
        ASSERT_TRUE(before);
        EXPECT_TRUE(*before == packed || *before == unpacked) << *before;
        const auto check = kvdb_within({"check", name}, std::chrono::seconds(10));
        ASSERT_TRUE(check);
        EXPECT_EQ(check->status, 0) << check->err;
        EXPECT_EQ(run_python(dir_, script).value_or("python failed"), *before);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                                std::filesystem::directory_iterator()),
                  4)
            << "T.DBF, T.FPT, T.NTX and the script: nothing of the pack left";
    }
}

TEST_F(InteropTest, AWalkInKeyOrderVisitsEachKeyOnceWhenTheTableChangedBehindTheTag) {
    const std::string name = (dir_.path() / "T.DBF").string();
    std::ostringstream out, err;
    ASSERT_EQ(kvdb::run({"create", name, "NAME:C:10", "N:N:3"}, out, err), 0);
    std::string expected = "NAME,N\n";
    for (int i = 1; i <= 20; ++i) {
        char text[8];
        std::snprintf(text, sizeof text, "A%02d", i);
        ASSERT_EQ(kvdb::run({"append", name, std::string("NAME=") + text, "N=" + std::to_string(i)},
                            out, err),
                  0);
        const std::string shown = i == 5 ? "A00" : i == 12 ? "ZZZ" : text;
        expected += shown + "," + std::to_string(i) + "\n";
    }
    ASSERT_EQ(kvdb::run({"index", name, "T", "BYNAME", "NAME"}, out, err), 0);
    // Another program changes two keys and leaves the bag as it was.
    ASSERT_TRUE(run_python(dir_, R"(
import dbf
t = dbf.Table('T.DBF')
t.open(dbf.READ_WRITE)
for r in t:
    if r.n in (5, 12):
        with r:
            r.name = 'A00' if r.n == 5 else 'ZZZ'
t.close()
)"));
    for (const char* order : {"T:BYNAME"}) {
        const auto run = kvdb_within({"dump", name, "--order", order}, std::chrono::seconds(5));
        ASSERT_TRUE(run) << "the walk does not end";
        EXPECT_EQ(run->out, expected);
    }
    // The check names the disagreement.
    const auto check = kvdb_within({"check", name}, std::chrono::seconds(5));
    ASSERT_TRUE(check);
    EXPECT_EQ(check->status, 1);
}

}  // namespace
}  // namespace kv::test
