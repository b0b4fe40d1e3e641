// Several real processes share one table and its bag: appends, changes and deletions under record
// locks, and a counter record that every process raises under the file lock. At the end the
// records, the counter and the tags are exactly what the processes say they did.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "db/index_orders.h"
#include "tests/db/db_test_support.h"

namespace kv::test {
namespace {

constexpr int kWorkers = 3;
constexpr int kAppends = 60;

using Clock = std::chrono::steady_clock;

template <typename Try>
bool retry(Try attempt) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!attempt()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// One process's work; what it did goes to its report file: "recno value deleted" lines and the
// number of times it raised the counter.
int work(const std::string& table_name, const std::string& bag, int worker,
         const std::string& report) {
    util::ScopedErrorHandler quiet([](const util::ErrorRecord& record) -> util::ErrorAnswer {
        if (record.candefault) return std::nullopt;
        throw util::UnhandledError(record);
    });
    std::unique_ptr<db::Table> table;
    if (!retry([&] {
            return (table = db::Table::open(table_name, db::OpenOptions{true, false, {}})) !=
                   nullptr;
        })) {
        return 10;
    }
    if (!db::index_orders(*table).open_bag(bag)) return 10;
    std::ofstream(report + ".open") << "open\n";
    std::vector<std::tuple<long, long, bool>> mine;  // recno, value, deleted
    int raised = 0;
    unsigned seed = static_cast<unsigned>(worker) * 7919u;
    for (int i = 0; i < kAppends; ++i) {
        if (!retry([&] { return table->append(); })) return 11;
        table->put("WORKER", static_cast<double>(worker));
        table->put("SEQ", static_cast<double>(i));
        table->put("VAL", 0.0);
        table->commit();
        mine.emplace_back(table->record_number(), 0, false);
        table->unlock();
        seed = seed * 1103515245u + 12345u;
        auto& [recno, value, deleted] = mine[(seed >> 8) % mine.size()];
        if (!retry([&] { return table->lock_record(recno); })) return 12;
        table->go_to(recno);
        if (i % 4 == 3 && !deleted) {
            table->mark_deleted();
            deleted = true;
        } else {
            value += 1;
            table->put("VAL", static_cast<double>(value));
        }
        table->unlock();
        if (i % 5 == 0) {
            if (!retry([&] { return table->lock_file(); })) return 13;
            table->go_to(1);
            table->put("VAL", std::get<double>(table->get("VAL")) + 1);
            table->unlock();
            ++raised;
        }
    }
    // The table stays open until the test has tried its exclusive open.
    if (!retry([&] { return std::filesystem::exists(report + ".release"); })) return 14;
    std::ofstream out(report);
    out << raised << "\n";
    for (const auto& [recno, value, deleted] : mine)
        out << recno << " " << value << " " << deleted << "\n";
    return 0;
}

TEST(ConcurrencyTest, ProcessesSharingATableLoseNothing) {
    TempDir dir;
    SettingsGuard settings;
    util::settings().hide_deleted = false;
    const std::string name = (dir.path() / "SHARED.DBF").string();
    const std::string bag = (dir.path() / "SHARED").string();
    ASSERT_TRUE(
        db::Table::create(name, {{"WORKER", 'N', 2, 0}, {"SEQ", 'N', 6, 0}, {"VAL", 'N', 8, 0}}));
    {
        auto table = open_table(name);
        ASSERT_TRUE(table->append());  // record 1: the counter
        table->put("WORKER", 0.0);
        table->put("VAL", 0.0);
        ASSERT_TRUE(db::index_orders(*table).create_order(bag, "BYSEQ",
                                                          "STR(WORKER, 2) + STR(SEQ, 6)", false));
        ASSERT_TRUE(db::index_orders(*table).create_order(bag, "BYVAL", "VAL", false));
    }
    std::vector<pid_t> children;
    for (int w = 1; w <= kWorkers; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::alarm(120);
            ::_exit(work(name, bag, w, (dir.path() / ("W" + std::to_string(w))).string()));
        }
        children.push_back(pid);
    }
    for (int w = 1; w <= kWorkers; ++w) {
        const auto marker = dir.path() / ("W" + std::to_string(w) + ".open");
        ASSERT_TRUE(retry([&] { return std::filesystem::exists(marker); }));
    }
    {
        // Meanwhile an exclusive open is refused.
        RecordedErrors errors;
        EXPECT_FALSE(open_table(name));
        ASSERT_EQ(errors.records.size(), 1u);
        EXPECT_EQ(errors.records[0].oscode, 32);
    }
    for (int w = 1; w <= kWorkers; ++w) {
        std::ofstream((dir.path() / ("W" + std::to_string(w) + ".release")).string()) << "go\n";
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "worker killed";
        ASSERT_EQ(WEXITSTATUS(status), 0);
    }
    auto table = open_table(name);
    db::IndexOrders& orders = db::index_orders(*table);
    ASSERT_TRUE(orders.open_bag(bag));
    EXPECT_EQ(table->record_count(), 1 + kWorkers * kAppends);
    long counter = 0;
    for (int w = 1; w <= kWorkers; ++w) {
        std::ifstream in((dir.path() / ("W" + std::to_string(w))).string());
        long raised = 0;
        in >> raised;
        counter += raised;
        long recno, value;
        bool deleted;
        int seq = 0;
        while (in >> recno >> value >> deleted) {
            table->go_to(recno);
            EXPECT_EQ(table->get("WORKER"), db::Value(static_cast<double>(w)));
            EXPECT_EQ(table->get("SEQ"), db::Value(static_cast<double>(seq++)));
            EXPECT_EQ(table->get("VAL"), db::Value(static_cast<double>(value)));
            EXPECT_EQ(table->deleted(), deleted);
        }
        EXPECT_EQ(seq, kAppends);
    }
    table->go_to(1);
    EXPECT_EQ(table->get("VAL"), db::Value(static_cast<double>(counter)))
        << "no raise of the counter was lost";
    EXPECT_EQ(orders.check(), std::vector<std::string>{});
    orders.set_current(1);
    EXPECT_EQ(orders.key_count(), 1 + kWorkers * kAppends);
}

}  // namespace
}  // namespace kv::test
