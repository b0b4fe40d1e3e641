// The cache of decoded index nodes against a plain map: random puts, replacements and erasures
// (the erasures shift runs of the open-addressing table back), then the budget.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "db/node_cache.h"

namespace kv::test {
namespace {

std::shared_ptr<const db::Node> node_at(std::uint32_t page, std::uint32_t tag) {
    auto node = std::make_shared<db::Node>();
    node->offset = page * static_cast<std::uint32_t>(db::kPageSize);
    node->right = tag;
    node->entries.resize(4);
    return node;
}

TEST(NodeCacheTest, FindsWhatWasPutUntilErasedWithoutABudget) {
    db::NodeCache cache(std::size_t{1} << 40);
    std::map<std::uint32_t, std::uint32_t> model;  // page -> tag
    std::mt19937 random(9);
    for (std::uint32_t step = 1; step <= 40000; ++step) {
        // Few pages, so that runs form, wrap and get erased in their middle.
        const std::uint32_t page = 2 + random() % 700;
        if (random() % 3 == 0) {
            cache.erase(page * static_cast<std::uint32_t>(db::kPageSize));
            model.erase(page);
        } else {
            cache.put(node_at(page, step));
            model[page] = step;
        }
        if (step % 1000 == 0) {
            ASSERT_EQ(cache.size(), model.size()) << "at step " << step;
            for (std::uint32_t p = 2; p < 702; ++p) {
                const auto found = cache.find(p * static_cast<std::uint32_t>(db::kPageSize));
                const auto wanted = model.find(p);
                ASSERT_EQ(found != nullptr, wanted != model.end()) << "page " << p;
                if (found) {
                    ASSERT_EQ(found->right, wanted->second) << "page " << p;
                }
            }
        }
    }
    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.bytes(), 0u);
    EXPECT_EQ(cache.find(2 * static_cast<std::uint32_t>(db::kPageSize)), nullptr);
}

TEST(NodeCacheTest, StaysNearItsBudgetAndKeepsTheNewestNode) {
    const std::size_t per_node = [] {
        db::NodeCache probe(std::size_t{1} << 40);
        probe.put(node_at(2, 0));
        return probe.bytes();
    }();
    db::NodeCache cache(per_node * 100);
    for (std::uint32_t page = 2; page < 2000; ++page) {
        const auto held = node_at(page, page);
        cache.put(held);
        ASSERT_LE(cache.bytes(), per_node * 101);
        ASSERT_EQ(cache.find(held->offset), held);
    }
    EXPECT_GE(cache.size(), 70u) << "past the budget only a quarter goes";
}

}  // namespace
}  // namespace kv::test
