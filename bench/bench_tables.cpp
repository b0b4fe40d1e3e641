// The table engine against SQLite on the same data, measured in the same run: building one tag
// over 1,000,000 records against CREATE INDEX, warm seeks of random keys (exclusive, and shared
// under the index pool lock) against an indexed SELECT, shared appends with one tag kept under
// record locks against INSERTs into an indexed table, key changes under a unique tag against the
// same under a plain tag, and the memory of a walk in key order. --kills N runs instead a writer
// killed N times at random moments, the table checked after each kill.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <random>

#include "bench/support.h"
#include "db/dbf_table.h"
#include "db/index_orders.h"
#include "tests/db/kill_run.h"

using namespace kv::bench;
using kv::db::Value;

namespace {

std::string key_of(std::size_t i) {
    // Ten characters, in no particular order with respect to the record number.
    std::uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull;
    std::string key(10, 'A');
    for (char& c : key) {
        c = static_cast<char>('A' + x % 26);
        x /= 26;
    }
    return key;
}

void check(int code, sqlite3* db, const char* what) {
    if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW) {
        throw Broken(std::string(what) + ": " + sqlite3_errmsg(db));
    }
}

void exec(sqlite3* db, const char* sql) {
    check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql);
}

std::unique_ptr<kv::db::Table> open(const std::string& name, bool shared) {
    auto table = kv::db::Table::open(name, kv::db::OpenOptions{shared, false, {}});
    if (!table) throw Broken("the table cannot be opened");
    return table;
}

}  // namespace

// The walk in key order, in a fresh process so that its peak memory is its own.
int walk(const std::string& table_name, const std::string& bag) {
    auto table = open(table_name, true);
    kv::db::index_orders(*table).open_bag(bag);
    kv::db::index_orders(*table).set_current(1);
    std::size_t walked = 0;
    const auto start = Clock::now();
    for (table->go_top(); !table->eof(); table->skip()) ++walked;
    const double seconds = seconds_since(start);
    figure("walked",
           grouped(static_cast<double>(walked)) + " records in " + fixed(seconds, 2) + " s");
    figure("peak resident", fixed(static_cast<double>(memory_kib("VmHWM")) / 1024.0, 1) + " MB");
    return memory_kib("VmHWM") < 64 * 1024 ? 0 : 3;
}

// Changes of a key covered by a unique tag against the same changes with a plain tag: a table of
// the given records whose keys come in pairs (so that the next holder of a key is often wanted),
// copied so that both runs start alike.
void unique_updates(const std::filesystem::path& folder, std::size_t records, std::size_t updates) {
    const std::string plain = (folder / "PLAIN.DBF").string();
    const std::string unique = (folder / "UNIQUE.DBF").string();
    if (!kv::db::Table::create(plain, {{"KEY", 'C', 10, 0}, {"N", 'N', 8, 0}}))
        throw Broken("the table cannot be created");
    {
        auto table = open(plain, false);
        for (std::size_t i = 0; i < records; ++i) {
            table->append();
            table->put(0, key_of(i / 2));
            table->put(1, static_cast<double>(i % 1000));
        }
    }
    std::filesystem::copy_file(plain, unique);
    std::unique_ptr<kv::db::Table> tables[2];
    for (int run = 0; run < 2; ++run) {
        tables[run] = open(run == 0 ? plain : unique, false);
        kv::db::IndexOrders& orders = kv::db::index_orders(*tables[run]);
        if (!orders.create_order((folder / (run == 0 ? "PLAIN" : "UNIQUE")).string(), "KEY", "KEY",
                                 run == 1))
            throw Broken("the tag cannot be built");
        orders.set_current(0);
    }
    // The changes in rounds, the two tables taking turns, so that a change in the machine's
    // load weighs on both alike.
    constexpr std::size_t kRounds = 20;
    double times[2] = {0, 0};
    for (std::size_t round = 0; round < kRounds; ++round) {
        for (int run = 0; run < 2; ++run) {
            kv::db::Table& table = *tables[run];
            const auto start = Clock::now();
            for (std::size_t j = round * updates / kRounds; j < (round + 1) * updates / kRounds;
                 ++j) {
                // A record of a pair (its key's holder half the time) takes a key of its own.
                table.go_to(static_cast<long>(1 + (j * 7919) % records));
                table.put(0, key_of(records + j));
                if (!table.commit()) throw Broken("an update failed");
            }
            times[run] += seconds_since(start);
        }
    }
    heading("Unique tag: " + grouped(static_cast<double>(updates)) + " key changes in " +
            grouped(static_cast<double>(records)) + " records");
    figure("unique tag", fixed(times[1] / static_cast<double>(updates) * 1e6, 1) + " us a change");
    figure("reference: the same changes with a plain tag",
           fixed(times[0] / static_cast<double>(updates) * 1e6, 1) + " us a change");
    figure("ratio", ratio(times[1] / times[0]));
    goal("within 2 x the plain tag", times[1] <= 2 * times[0]);
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--walk") return walk(argv[2], argv[3]);
    Options options("bench_tables",
                    "Measures the table engine against SQLite on the same records (a 10-character\n"
                    "key and a few other fields): one tag built over all records against CREATE\n"
                    "INDEX, warm seeks of random keys against an indexed SELECT, shared appends\n"
                    "with one tag kept against INSERTs into an indexed table, key changes under a\n"
                    "unique tag against the same changes under a plain tag, and the peak memory\n"
                    "of opening the table and walking it in key order.\n"
                    "Goals: build <= 1.0 x SQLite; seek <= 2 us exclusive and <= 10 us shared;\n"
                    "appends >= 50,000 records/s; unique-tag changes within 2 x the plain tag's;\n"
                    "the walk under 64 MB resident.");
    options.add("records", "records in the table", "1000000")
        .add("seeks", "random seeks of each kind", "200000")
        .add("appends", "shared appends", "50000")
        .add("updates", "key changes under a unique tag and under a plain one", "10000")
        .add("kills", "a writer killed this many times at random moments (0: not run)", "0");
    options.parse(argc, argv);
    return run([&] {
        const std::size_t records = std::max<std::size_t>(options.count("records"), 1);
        if (const std::size_t kills = options.count("kills"); kills > 0) {
            // The crash run alone: a writer killed at random moments, the table held against
            // its journal after each kill.
            TempFolder folder;
            const auto start = Clock::now();
            const auto faults = kv::test::kills::run_kills(
                folder.path().string(), static_cast<int>(kills), 1, std::chrono::milliseconds(40));
            heading("A writer killed " + grouped(static_cast<double>(kills)) + " times");
            figure("time", fixed(seconds_since(start), 1) + " s");
            for (const std::string& fault : faults) figure("fault", fault);
            goal("no committed record lost, tags clean or repaired", faults.empty());
            return faults.empty() ? 0 : 3;
        }
        const std::size_t seeks = std::max<std::size_t>(options.count("seeks"), 1);
        const std::size_t appends = std::max<std::size_t>(options.count("appends"), 1);
        TempFolder folder;
        const std::string table_name = (folder.path() / "BENCH.DBF").string();
        const std::string bag = (folder.path() / "BENCH").string();
        const auto today = kv::util::Date::of(2026, 12, 7);

        // The same records on both sides.
        if (!kv::db::Table::create(table_name, {{"KEY", 'C', 10, 0},
                                                {"NAME", 'C', 20, 0},
                                                {"QTY", 'N', 10, 2},
                                                {"BORN", 'D', 8, 0}})) {
            throw Broken("the table cannot be created");
        }
        auto start = Clock::now();
        {
            auto table = open(table_name, false);
            for (std::size_t i = 0; i < records; ++i) {
                table->append();
                table->put(0, key_of(i));
                table->put(1, std::string("NAME ") + std::to_string(i));
                table->put(2, static_cast<double>(i % 100000) / 100.0);
                table->put(3, today.plus_days(-static_cast<long>(i % 20000)));
            }
        }
        const double fill = seconds_since(start);
        sqlite3* db = nullptr;
        check(sqlite3_open((folder.path() / "bench.sqlite").string().c_str(), &db), db, "open");
        exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=OFF;");
        exec(db, "CREATE TABLE t(key TEXT, name TEXT, qty REAL, born TEXT)");
        start = Clock::now();
        {
            exec(db, "BEGIN");
            sqlite3_stmt* insert = nullptr;
            check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &insert, nullptr), db,
                  "prepare");
            for (std::size_t i = 0; i < records; ++i) {
                const std::string key = key_of(i), name = "NAME " + std::to_string(i);
                sqlite3_bind_text(insert, 1, key.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_double(insert, 3, static_cast<double>(i % 100000) / 100.0);
                sqlite3_bind_text(insert, 4, "20261207", -1, SQLITE_STATIC);
                check(sqlite3_step(insert), db, "insert");
                sqlite3_reset(insert);
            }
            sqlite3_finalize(insert);
            exec(db, "COMMIT");
        }
        const double sqlite_fill = seconds_since(start);
        std::cout << grouped(static_cast<double>(records)) << " records\n";
        heading("Filling (no index)");
        figure("engine, exclusive appends", fixed(fill, 2) + " s");
        figure("reference: SQLite inserts, one transaction", fixed(sqlite_fill, 2) + " s");

        // One tag over every record against CREATE INDEX.
        double build = 0;
        {
            auto table = open(table_name, false);
            start = Clock::now();
            if (!kv::db::index_orders(*table).create_order(bag, "BYKEY", "KEY", false))
                throw Broken("the tag was not built");
            build = seconds_since(start);
        }
        start = Clock::now();
        exec(db, "CREATE INDEX t_key ON t(key)");
        const double sqlite_build = seconds_since(start);
        heading("Building one tag over every record");
        figure("engine", fixed(build, 3) + " s");
        figure("reference: SQLite CREATE INDEX", fixed(sqlite_build, 3) + " s");
        figure("ratio", ratio(build / sqlite_build));
        goal("at most 1.0 x SQLite", build <= sqlite_build);

        // Warm seeks of random keys.
        std::mt19937 random(7);
        std::vector<std::string> wanted(seeks);
        for (std::string& key : wanted) key = key_of(random() % records);
        double seek_times[2] = {0, 0};
        for (int shared = 0; shared < 2; ++shared) {
            auto table = open(table_name, shared != 0);
            kv::db::IndexOrders& orders = kv::db::index_orders(*table);
            if (!orders.open_bag(bag)) throw Broken("the bag cannot be opened");
            orders.set_current(1);
            for (std::size_t i = 0; i < std::min<std::size_t>(seeks, 20000); ++i)
                table->seek(Value(wanted[i]));  // warm
            start = Clock::now();
            std::size_t found = 0;
            for (const std::string& key : wanted) found += table->seek(Value(key)) ? 1 : 0;
            seek_times[shared] = seconds_since(start) / static_cast<double>(seeks);
            if (found != seeks) throw Broken("a seek missed");
        }
        sqlite3_stmt* select = nullptr;
        check(sqlite3_prepare_v2(db, "SELECT rowid, name, qty, born FROM t WHERE key = ?", -1,
                                 &select, nullptr),
              db, "prepare");
        auto sqlite_seek = [&](const std::string& key) {
            sqlite3_bind_text(select, 1, key.c_str(), 10, SQLITE_STATIC);
            const bool row = sqlite3_step(select) == SQLITE_ROW;
            sqlite3_reset(select);
            return row;
        };
        for (std::size_t i = 0; i < std::min<std::size_t>(seeks, 20000); ++i)
            sqlite_seek(wanted[i]);
        start = Clock::now();
        for (const std::string& key : wanted) {
            if (!sqlite_seek(key)) throw Broken("a SELECT missed");
        }
        const double sqlite_seek_time = seconds_since(start) / static_cast<double>(seeks);
        sqlite3_finalize(select);
        heading("Seek of a random key, warm (the record read too)");
        figure("engine, exclusive", fixed(seek_times[0] * 1e6, 2) + " us");
        figure("engine, shared (index pool lock)", fixed(seek_times[1] * 1e6, 2) + " us");
        figure("reference: SQLite indexed SELECT", fixed(sqlite_seek_time * 1e6, 2) + " us");
        figure("ratio exclusive / shared to SQLite", ratio(seek_times[0] / sqlite_seek_time) +
                                                         " / " +
                                                         ratio(seek_times[1] / sqlite_seek_time));
        goal("at most 2 us exclusive", seek_times[0] <= 2e-6);
        goal("at most 10 us shared", seek_times[1] <= 10e-6);

        // Shared appends with the tag kept, each record locked.
        double append_time = 0;
        {
            auto table = open(table_name, true);
            if (!kv::db::index_orders(*table).open_bag(bag))
                throw Broken("the bag cannot be opened");
            start = Clock::now();
            for (std::size_t i = 0; i < appends; ++i) {
                if (!table->append()) throw Broken("an append failed");
                table->put(0, key_of(records + i));
                table->put(2, 1.0);
                table->unlock();
            }
            append_time = seconds_since(start);
        }
        sqlite3_stmt* insert = nullptr;
        check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,'NEW',1.0,'20261207')", -1, &insert,
                                 nullptr),
              db, "prepare");
        start = Clock::now();
        for (std::size_t i = 0; i < appends; ++i) {
            const std::string key = key_of(records + i);
            sqlite3_bind_text(insert, 1, key.c_str(), -1, SQLITE_TRANSIENT);
            check(sqlite3_step(insert), db, "insert");
            sqlite3_reset(insert);
        }
        const double sqlite_append = seconds_since(start);
        sqlite3_finalize(insert);
        const double rate = static_cast<double>(appends) / append_time;
        heading("Appends, shared, one tag kept, each record locked");
        figure("engine", grouped(rate) + " records/s");
        figure("reference: SQLite INSERT, one transaction each, indexed",
               grouped(static_cast<double>(appends) / sqlite_append) + " records/s");
        goal("at least 50,000 records/s", rate >= 50000);
        sqlite3_close(db);

        unique_updates(folder.path(), records, std::max<std::size_t>(options.count("updates"), 1));

        // Memory of a walk of the whole table in key order, in a process of its own.
        heading("Opening and walking the table in key order");
        std::cout.flush();
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/proc/self/exe", "bench_tables", "--walk", table_name.c_str(), bag.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 3))
            throw Broken("the walk did not end normally");
        goal("under 64 MB resident", WEXITSTATUS(status) == 0);
        return 0;
    });
}
