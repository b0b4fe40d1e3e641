// Disk faults under every kvdb command that writes: each write-type call made to fail in turn
// (strace injects the error into the real program), and a real full disk where one can be
// mounted. A command that fails leaves its table as it was (or, past the point where it cannot
// go back, as the finished change) and says so; one that succeeds has done all of its work.
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "db/index_orders.h"
#include "tests/db/db_test_support.h"

namespace kv::test {
namespace {

bool have_strace() {
    return std::system("strace -V >/dev/null 2>&1") == 0;
}

struct ProgramRun {
    int status = -1;
    std::string err;
};

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// kvdb as a program, in the folder, under strace when a prefix is given.
ProgramRun kvdb_program(const TempDir& dir, const std::vector<std::string>& arguments,
                        const std::string& strace = {}) {
    std::string command = "cd " + quoted(dir.str()) + " && ASAN_OPTIONS=detect_leaks=0 " + strace +
                          " " + quoted(KVDB_BINARY);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    command += " 2>" + quoted((dir.path() / ".err").string()) + " >/dev/null";
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    run.err = dir.read(".err");
    std::filesystem::remove(dir.path() / ".err");
    return run;
}

// The files a command may write: the table's, its copies and temporary names, and the folder
// (for the calls that make renames durable; its closes after a look-up are left alone).
std::string traced_paths(const TempDir& dir, const std::string& call = {}) {
    std::string paths = call == "close" ? "" : " -P " + quoted(dir.str());
    for (const char* ext :
         {"DBF", "FPT", "NTX", "TMD", "TMM", "TMB", "TMN", "PKW", "PKI", "PKX", "RIX"})
        paths += " -P " + quoted((dir.path() / (std::string("T.") + ext)).string());
    return paths;
}

const char* const kWriteCalls[] = {"pwrite64", "write",  "fallocate", "ftruncate",
                                   "fsync",    "rename", "close"};

// How often the command makes each write-type call on the table's files.
std::map<std::string, int> count_calls(const TempDir& dir, const std::vector<std::string>& args) {
    const std::string log = (dir.path() / ".calls.log").string();
    std::string set;
    for (const char* call : kWriteCalls) set += (set.empty() ? "" : ",") + std::string(call);
    kvdb_program(dir, args,
                 "strace -f -qq -y -o " + quoted(log) + traced_paths(dir) + " -e trace=" + set);
    std::map<std::string, int> counts;
    std::ifstream in(log);
    const std::string folder = "<" + dir.str() + ">";
    for (std::string line; std::getline(in, line);) {
        for (const char* call : kWriteCalls) {
            if (line.find(std::string(" ") + call + "(") == std::string::npos) continue;
            if (std::string(call) != "close" || line.find(folder) == std::string::npos)
                ++counts[call];
        }
    }
    std::filesystem::remove(log);
    return counts;
}

// What a table holds as kvdb sees it (every record, deleted ones marked), and its check.
std::string dump(const std::string& table) {
    std::ostringstream out, err;
    kvdb::run({"dump", table, "--deleted"}, out, err);
    return out.str();
}
std::string check(const std::string& table) {
    std::ostringstream out, err;
    kvdb::run({"check", table}, out, err);
    return out.str() + err.str();
}
std::string reindexed(const std::string& table) {
    std::ostringstream out, err;
    kvdb::run({"reindex", table}, out, err);
    return check(table);
}

class DiskFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!have_strace()) GTEST_SKIP() << "strace is not installed";
        table_ = (dir_.path() / "T.DBF").string();
    }
    // A shared table with texts and two tags, one unique, and a deleted record.
    void make_table() {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            std::filesystem::remove_all(entry.path());
        std::ostringstream out, err;
        ASSERT_EQ(
            kvdb::run({"create", table_, "NAME:C:10", "NOTES:M", "--memo-ext", "FPT"}, out, err),
            0);
        for (const char* name : {"ANNA", "BRUNO", "CARLA", "DARIO"})
            kvdb::run({"append", table_, std::string("NAME=") + name,
                       std::string("NOTES=") + name + std::string(300, '.')},
                      out, err);
        kvdb::run({"index", table_, "T", "BYNAME", "NAME"}, out, err);
        kvdb::run({"index", table_, "T", "ONCE", "NAME", "--unique"}, out, err);
        auto table = open_table(table_);
        table->go_to(2);
        table->mark_deleted();
        table->close();
    }
    // Every write-type call of the command made to fail in turn. After a success the table must
    // be `done`; after a failure as it was (and its bags unmarked), or, where the command may
    // fail past the point of no return (`finished` for that call), done, and then a reindex
    // must be all that the bags need.
    void sweep(const std::vector<std::string>& args, const std::function<void()>& setup,
               const std::string& before, const std::string& done,
               const std::function<bool(const std::string& call)>& finished,
               const std::function<void()>& also_check = {}) {
        setup();
        const auto counts = count_calls(dir_, args);
        ASSERT_FALSE(counts.empty());
        for (const auto& [call, count] : counts) {
            for (int n = 1; n <= count; ++n) {
                SCOPED_TRACE(call + " #" + std::to_string(n));
                setup();
                const char* error =
                    std::string(call) == "close" || std::string(call) == "fsync" ? "EIO" : "ENOSPC";
                const ProgramRun run = kvdb_program(
                    dir_, args,
                    "strace -f -qq -o /dev/null" + traced_paths(dir_, call) + " -e trace=" + call +
                        " -e inject=" + call + ":error=" + error + ":when=" + std::to_string(n));
                const std::string state = dump(table_);
                if (run.status == 0 || state != before) {
                    EXPECT_EQ(state, done) << run.err;
                    EXPECT_TRUE(run.status == 0 || finished(call)) << run.err;
                    const std::string checked = check(table_);
                    if (run.status == 0) {
                        EXPECT_EQ(checked, "OK\n");
                    } else if (checked != "OK\n") {
                        EXPECT_EQ(reindexed(table_), "OK\n") << checked;
                    }
                } else {
                    EXPECT_EQ(run.status, 1) << run.err;
                    EXPECT_FALSE(run.err.empty());
                    EXPECT_EQ(check(table_), "OK\n") << run.err;
                }
                if (also_check) also_check();
            }
        }
    }
    TempDir dir_;
    std::string table_;
    SettingsGuard settings_;
};

const std::string kHeader = "NAME,NOTES,DELETED\n";
std::string row(const char* name, bool deleted = false) {
    return std::string(name) + "," + name + std::string(300, '.') + (deleted ? ",T\n" : ",F\n");
}
const std::string kFull = kHeader + row("ANNA") + row("BRUNO", true) + row("CARLA") + row("DARIO");

TEST_F(DiskFaultTest, AnAppendThatFailsLeavesNoRecordAndNoMark) {
    // Only the close of a file may fail once the record is in: it is said, not undone.
    const std::string added = "EMMA," + std::string(2000, 'e') + ",F\n";
    sweep(
        {"append", "T.DBF", "NAME=EMMA", "NOTES=" + std::string(2000, 'e')}, [&] { make_table(); },
        kFull, kFull + added, [](const std::string& call) { return call == "close"; });
}

// Past their first rename (pack) or the new count (zap) they finish and say what failed.
const std::string kPacked = kHeader + row("ANNA") + row("CARLA") + row("DARIO");
bool any_call(const std::string&) {
    return true;
}

TEST_F(DiskFaultTest, APackThatFailsLeavesTheTableAsItWasOrPacked) {
    sweep(
        {"pack", "T.DBF"}, [&] { make_table(); }, kFull, kPacked, any_call);
}

TEST_F(DiskFaultTest, AZapThatFailsLeavesTheTableAsItWasOrEmpty) {
    // Readers that read on to the end mark, not to the count, must find no record after a count
    // of 0 either: nothing follows the header but the end mark.
    auto nothing_after_an_empty_count = [&] {
        const std::string bytes = dir_.read("T.DBF");
        ASSERT_GT(bytes.size(), 32u);
        if (bytes.substr(4, 4) != std::string(4, '\0')) return;
        const std::size_t header = static_cast<unsigned char>(bytes[8]) |
                                   static_cast<std::size_t>(static_cast<unsigned char>(bytes[9]))
                                       << 8;
        EXPECT_LE(bytes.size(), header + 1);
        if (bytes.size() > header) {
            EXPECT_EQ(bytes[header], '\x1A');
        }
    };
    sweep(
        {"zap", "T.DBF"}, [&] { make_table(); }, kFull, kHeader, any_call,
        nothing_after_an_empty_count);
}

// An import or update that fails part-way keeps the records before the failure, and says which
// they are, so that a retry neither repeats nor misses a line.
TEST_F(DiskFaultTest, AChangeThatFailsPartWaySaysWhatStays) {
    struct Case {
        std::vector<std::string> args;
        std::string said, left;
    };
    const std::vector<Case> cases = {
        {{"import", "T.DBF", "in.csv"},
         "(line 3 not imported; the record of line 2 stays in the table: a retry takes the lines "
         "after line 2)",
         "NAME,DELETED\nold,F\na,F\n"},
        {{"update", "T.DBF", "NAME=z", "--all"},
         "(1 record was changed before it and stays changed)",
         "NAME,DELETED\nz,F\na,F\nb,F\n"},
    };
    dir_.write("in.csv", "NAME\na\nb\nc\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::filesystem::remove(table_);
        std::ostringstream out, err;
        ASSERT_EQ(kvdb::run({"create", table_, "NAME:C:10"}, out, err), 0);
        for (const char* name : {"old", "a", "b"}) {
            kvdb::run({"append", table_, std::string("NAME=") + name}, out, err);
            if (c.args[0] == "import") break;
        }
        // The first record's write and the count (or date) go through; the next record's fails.
        const ProgramRun run = kvdb_program(
            dir_, c.args,
            "strace -f -qq -o /dev/null -e trace=pwrite64 -e inject=pwrite64:error=ENOSPC:when=3");
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        EXPECT_EQ(dump(table_), c.left);
    }
}

TEST_F(DiskFaultTest, AReindexThatFailsLeavesTheOldBag) {
    sweep(
        {"reindex", "T.DBF"}, [&] { make_table(); }, kFull, kFull, any_call);
}

TEST_F(DiskFaultTest, ACreateThatFailsLeavesNoTableOrTheOldOneWhole) {
    const std::vector<std::string> args = {"create", "T.DBF",      "CODE:N:5",
                                           "TEXT:M", "--memo-ext", "FPT"};
    auto fresh = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            std::filesystem::remove_all(entry.path());
    };
    auto nothing_left = [&] {
        return std::filesystem::directory_iterator(dir_.path()) ==
               std::filesystem::directory_iterator();
    };
    fresh();
    const auto counts = count_calls(dir_, args);
    for (const auto& [call, count] : counts) {
        for (int n = 1; n <= count; ++n) {
            SCOPED_TRACE(call + " #" + std::to_string(n));
            fresh();
            const ProgramRun run = kvdb_program(
                dir_, args,
                "strace -f -qq -o /dev/null" + traced_paths(dir_, call) + " -e trace=" + call +
                    " -e inject=" + call + ":error=EIO:when=" + std::to_string(n));
            if (run.status == 0) {
                EXPECT_EQ(dump(table_), "CODE,TEXT,DELETED\n");
            } else {
                EXPECT_TRUE(nothing_left()) << run.err;
                const ProgramRun again = kvdb_program(dir_, args);
                EXPECT_EQ(again.status, 0) << "a plain create after the failed one: " << again.err;
            }
        }
    }
    // Replacing a table: the old one with its texts and tags stays whole unless the new one
    // took its place.
    std::vector<std::string> force = args;
    force.push_back("--force");
    sweep(
        force, [&] { make_table(); }, kFull, "CODE,TEXT,DELETED\n",
        [](const std::string& call) { return call == "unlink"; });
    // A removal that fails: the old table stays whole with its bags, or the new one is in place
    // without them and takes records.
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE("unlink #" + std::to_string(n));
        make_table();
        const ProgramRun run = kvdb_program(dir_, force,
                                            "strace -f -qq -o /dev/null -e trace=unlink,unlinkat "
                                            "-e inject=unlink,unlinkat:error=EIO:"
                                            "when=" +
                                                std::to_string(n));
        if (run.status != 0) {
            EXPECT_EQ(dump(table_), kFull) << run.err;
            EXPECT_EQ(check(table_), "OK\n") << run.err;
            continue;
        }
        EXPECT_EQ(kvdb_program(dir_, {"append", "T.DBF", "CODE=1", "TEXT=x"}).status, 0);
        EXPECT_EQ(dump(table_), "CODE,TEXT,DELETED\n1,x,F\n");
        EXPECT_EQ(check(table_), "OK\n");
    }
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

// Another process holds the bag's nodes in its cache while kvdb appends with each of its writes
// to the bag failing in turn: the holder finds the new key exactly when kvdb said it added it.
TEST_F(DiskFaultTest, AFailedBagWriteIsAnErrorAndLeavesNoStaleCacheElsewhere) {
    make_table();
    const std::string bag = " -P " + quoted((dir_.path() / "T.NTX").string());
    const std::string log = (dir_.path() / ".bag.log").string();
    kvdb_program(dir_, {"append", "T.DBF", "NAME=ZERO"},
                 "strace -f -qq -o " + quoted(log) + bag + " -e trace=pwrite64");
    std::ifstream in(log);
    const long writes = std::count(std::istreambuf_iterator<char>(in), {}, '\n');
    std::filesystem::remove(log);
    ASSERT_GT(writes, 2);
    for (long n = 1; n <= writes; ++n) {
        SCOPED_TRACE("bag write #" + std::to_string(n));
        make_table();
        auto holder = open_table(table_, true);
        db::IndexOrders& orders = db::index_orders(*holder);
        ASSERT_TRUE(orders.open_bag((dir_.path() / "T.NTX").string()));
        orders.set_current(orders.find("BYNAME"));
        EXPECT_TRUE(holder->seek(std::string("ANNA"))) << "the holder's nodes are cached";
        const ProgramRun run = kvdb_program(
            dir_, {"append", "T.DBF", "NAME=KEY"},
            "strace -f -qq -o /dev/null" + bag +
                " -e trace=pwrite64 -e inject=pwrite64:error=EIO:when=" + std::to_string(n));
        EXPECT_EQ(holder->seek(std::string("KEY")), run.status == 0) << run.err;
        holder->close();
        EXPECT_EQ(check(table_), "OK\n") << run.err;
    }
}

// A reader that dumps the table again and again while kvdb appends (each of its writes slowed
// down) never sees a record before its values.
TEST_F(DiskFaultTest, ReadersNeverSeeARecordBeforeItsValues) {
    make_table();
    const std::string command =
        "cd " + quoted(dir_.str()) + " && for n in 1 2 3; do ASAN_OPTIONS=detect_leaks=0 " +
        "strace -f -qq -o /dev/null -e trace=pwrite64 -e inject=pwrite64:delay_enter=30000 " +
        quoted(KVDB_BINARY) + " append T.DBF NAME=NEW$n NOTES=text$n || exit 1; done";
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0, dumps = 0;
    std::set<std::string> seen;
    while (::waitpid(writer, &status, WNOHANG) == 0) {
        std::istringstream lines(dump(table_));
        for (std::string line; std::getline(lines, line);) seen.insert(line);
        ++dumps;
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GT(dumps, 10);
    for (const std::string& line : seen)
        EXPECT_NE(line.rfind(",", 0), 0u) << "a record without its values: " << line;
    EXPECT_EQ(seen.count("NEW3,text3,F"), 1u);
}

// A real full disk (a small tmpfs; root only): an append of a long text fails, says so and
// leaves the table as it was, every time it is tried; so does the replacement of a table.
TEST_F(DiskFaultTest, AFullDiskRefusesAppendsAndReplacementsAndChangesNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
    const std::filesystem::path disk = dir_.path() / "disk";
    std::filesystem::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk.string()};
    const std::string table = (disk / "T.DBF").string();
    std::ostringstream out, err;
    ASSERT_EQ(kvdb::run({"create", table, "NAME:C:10", "NOTES:M"}, out, err), 0);
    ASSERT_EQ(kvdb::run({"index", table, "T", "BYNAME", "NAME"}, out, err), 0);
    ASSERT_EQ(kvdb::run({"append", table, "NAME=FIRST", "NOTES=short"}, out, err), 0);
    {
        // The rest of the disk filled, but for less than the text needs.
        std::ofstream filler(disk / "FILLER");
        const std::string block(1024, 'x');
        while (filler.write(block.data(), block.size()) && filler.flush()) {
        }
    }
    std::filesystem::resize_file(disk / "FILLER",
                                 std::filesystem::file_size(disk / "FILLER") - 3000);
    const std::string before = dump(table);
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::ostringstream o, e;
        EXPECT_EQ(
            kvdb::run({"append", table, "NAME=LONG", "NOTES=" + std::string(5000, 'm')}, o, e), 1);
        EXPECT_NE(e.str().find("Disk full"), std::string::npos) << e.str();
        EXPECT_EQ(dump(table), before);
        EXPECT_EQ(check(table), "OK\n");
    }
    std::filesystem::resize_file(disk / "FILLER",
                                 std::filesystem::file_size(disk / "FILLER") + 2900);
    std::ostringstream o, e;
    EXPECT_EQ(kvdb::run({"create", table, "A:C:250", "B:M", "--force"}, o, e), 1);
    EXPECT_EQ(dump(table), before) << e.str();
    EXPECT_EQ(check(table), "OK\n");
}

}  // namespace
}  // namespace kv::test
