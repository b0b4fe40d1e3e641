// Damaged index bags: wrong counts, pointers outside the file, loops, a truncated file. Each ends
// in the corruption error record or a fault that the check names, never in a crash.
#include <set>
#include <sstream>

#include "db/index_orders.h"
#include "tests/db/db_test_support.h"

namespace kv::test {
namespace {

TEST(IndexDamageTest, DamagedBagsRaiseTheCorruptionRecord) {
    TempDir dir;
    SettingsGuard settings;
    const std::string name = (dir.path() / "T.DBF").string();
    const std::string bag = (dir.path() / "T.NTX").string();
    ASSERT_TRUE(db::Table::create(name, {{"NAME", 'C', 40, 0}}));
    {
        auto table = open_table(name);
        for (int i = 0; i < 300; ++i) {
            table->append();
            table->put("NAME",
                       std::string("KEY") + std::to_string(i * 7919 % 1000) + std::string(20, 'x'));
        }
        ASSERT_TRUE(db::index_orders(*table).create_order(bag, "BYNAME", "NAME", false));
    }
    const std::string good = dir.read("T.NTX");
    // The tag's header follows the directory (0) and its root leaf (1024); its root is interior.
    const std::size_t tag = 1536;
    const auto root = static_cast<std::uint8_t>(good[tag]) |
                      static_cast<std::uint8_t>(good[tag + 1]) << 8 |
                      static_cast<std::uint8_t>(good[tag + 2]) << 16;
    ASSERT_EQ(good[root], '\x01') << "a root that is not a leaf";
    const std::size_t first_leaf = tag + 1024;
    auto with = [&](std::size_t at, const std::string& bytes) {
        std::string damaged = good;
        damaged.replace(at, bytes.size(), bytes);
        return damaged;
    };
    struct Damage {
        const char* what;
        std::string bytes;
    };
    const std::string child_of_root =
        good.substr(root + 12 + 40 + 4, 4);  // first child, big-endian
    std::string loop_pointer(4, '\0');
    for (int i = 0; i < 4; ++i)
        loop_pointer[static_cast<std::size_t>(i)] = static_cast<char>(root >> (24 - 8 * i));
    const std::vector<Damage> damages = {
        {"leaf count beyond the page", with(first_leaf + 2, std::string("\xFF\x7F", 2))},
        {"leaf entry widths impossible", with(first_leaf + 23, std::string("\x0F", 1))},
        {"root outside the file", with(tag, std::string("\x00\x00\x00\x7F", 4))},
        {"root not on a page boundary", with(tag, std::string("\x07\x0A\x00\x00", 4))},
        {"interior points at itself", with(root + 12 + 40 + 4, loop_pointer)},
        {"leaf siblings loop",
         with(first_leaf + 8, std::string(reinterpret_cast<const char*>(&first_leaf), 4))},
        {"interior count zero", with(root + 2, std::string("\0\0", 2))},
        {"truncated bag", good.substr(0, good.size() - 700)},
        {"directory key length wrong", with(12, std::string("\x09\x00", 2))},
        {"key length beyond 240", with(tag + 12, std::string("\xF1\x00", 2))},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        dir.write("T.NTX", damage.bytes);
        RecordedErrors errors;
        auto table = open_table(name, true, true);
        ASSERT_TRUE(table);
        db::IndexOrders& orders = db::index_orders(*table);
        std::vector<std::string> faults;
        if (orders.open_bag(bag)) {
            orders.set_current(1);
            int steps = 0;
            for (table->go_top(); !table->eof() && steps < 400; table->skip()) ++steps;
            table->go_bottom();
            table->seek(db::Value(std::string("KEY5")));
            orders.key_count();
            faults = orders.check();
        }
        const bool raised = std::any_of(
            errors.records.begin(), errors.records.end(),
            [](const util::ErrorRecord& r) { return r.gencode == 32 && r.subcode == 1012; });
        EXPECT_TRUE(raised || !faults.empty());
    }
}

// Bags damaged by hand so that a walk could go round: kvdb dump --order ends, with the records or
// with the corruption error, and never repeats a record.
TEST(IndexDamageTest, WalksOfDamagedBagsEnd) {
    TempDir dir;
    SettingsGuard settings;
    const std::string name = (dir.path() / "T.DBF").string();
    ASSERT_TRUE(db::Table::create(name, {{"NAME", 'C', 40, 0}}));
    {
        auto table = open_table(name);
        for (int i = 0; i < 300; ++i) {
            table->append();
            table->put("NAME", "KEY" + std::to_string(1000 + i) + std::string(20, 'x'));
        }
        ASSERT_TRUE(db::index_orders(*table).create_order((dir.path() / "T.NTX").string(), "BYNAME",
                                                          "NAME", false));
    }
    const std::string good = dir.read("T.NTX");
    const std::size_t tag = 1536, first_leaf = tag + 1024;
    auto le32 = [](std::uint32_t value) {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
        return bytes;
    };
    // The leaves follow the tag's header in a row; the last one's right link is -1.
    std::size_t last_leaf = first_leaf;
    while (good.compare(last_leaf + 8, 4, std::string(4, '\xFF')) != 0) last_leaf += 512;
    auto with = [&](std::size_t at, const std::string& bytes) {
        std::string damaged = good;
        damaged.replace(at, bytes.size(), bytes);
        return damaged;
    };
    const struct {
        const char* what;
        std::string bag;
    } damages[] = {
        {"the last leaf's right link points at the first",
         with(last_leaf + 8, le32(static_cast<std::uint32_t>(first_leaf)))},
        {"the first leaf's right link points at itself",
         with(first_leaf + 8, le32(static_cast<std::uint32_t>(first_leaf)))},
        {"a doubly linked ring of the last and first leaves",
         with(first_leaf + 4, le32(static_cast<std::uint32_t>(last_leaf)))
             .replace(last_leaf + 8, 4, le32(static_cast<std::uint32_t>(first_leaf)))},
        {"the root points at the directory's root", with(tag, le32(1024))},
        {"the root points at the directory's header", with(tag, le32(0))},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.what);
        dir.write("T.NTX", damage.bag);
        const auto run =
            kvdb_within({"dump", name, "--order", "T:BYNAME"}, std::chrono::seconds(5));
        ASSERT_TRUE(run) << "the walk does not end";
        std::set<std::string> lines;
        std::istringstream rows(run->out);
        for (std::string line; std::getline(rows, line);)
            EXPECT_TRUE(lines.insert(line).second) << "repeated: " << line;
        if (run->status != 0) {
            EXPECT_NE(run->err.find("orrupt"), std::string::npos) << run->err;
        }
    }
}

}  // namespace
}  // namespace kv::test
