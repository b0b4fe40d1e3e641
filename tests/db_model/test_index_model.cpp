// The tags of a bag against a model: random appends, changes, deletions, recalls and packs on a
// table with character, numeric, date, conditional, unique, descending and long-keyed tags. After
// every step each tag's key count matches the model, and the changed record's place in two tags
// in turn; every 5,000 steps every tag is walked whole and compared, and the bag is checked.
#include <algorithm>
#include <array>
#include <random>

#include "db/index_orders.h"
#include "tests/db/db_test_support.h"
#include "util/dates.h"

namespace kv::test {
namespace {

struct ModelRecord {
    std::string name;  // 6 characters as stored
    double qty = 0;
    util::Date born;
    bool deleted = false;
};

struct TagModel {
    const char* tag;
    const char* key;
    const char* condition;
    bool unique;
    bool descending;
};

const std::vector<TagModel> kTags = {
    {"BYNAME", "UPPER(NAME)", "", false, false},
    {"BYQTY", "QTY", "", false, false},
    {"BYBORN", "BORN", "", false, true},
    {"BIG", "REPLICATE(NAME, 20)", "QTY > 50", false, false},  // long keys: deep trees
    {"FIRST2", "LEFT(NAME, 2)", "", true, false},
    {"LIVE", "STR(QTY, 8, 2) + DTOS(BORN)", "!DELETED()", false, false},
};

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string qty_text(double qty) {
    char text[32];
    std::snprintf(text, sizeof text, "%8.2f", qty);
    return text;
}

using ModelKey = std::tuple<std::string, double, util::Date>;

// A record's key in a tag as the model computes it; nullopt when the tag leaves it out.
std::optional<ModelKey> model_key(const ModelRecord& r, std::size_t tag) {
    switch (tag) {
        case 0:
            return ModelKey{upper(r.name), 0, {}};
        case 1:
            return ModelKey{"", r.qty, {}};
        case 2:
            return ModelKey{"", 0, r.born};
        case 3: {
            if (!(r.qty > 50)) return std::nullopt;
            std::string key;
            for (int i = 0; i < 20; ++i) key += r.name;
            return ModelKey{key, 0, {}};
        }
        case 4:
            return ModelKey{r.name.substr(0, 2), 0, {}};
        default:
            if (r.deleted) return std::nullopt;
            return ModelKey{qty_text(r.qty) + util::date_sortable_text(r.born), 0, {}};
    }
}

// The record numbers of a tag in its order, as the model says.
std::vector<long> expected_order(const std::vector<ModelRecord>& records, std::size_t tag) {
    std::vector<std::pair<ModelKey, long>> keyed;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (auto key = model_key(records[i], tag))
            keyed.emplace_back(*key, static_cast<long>(i) + 1);
    }
    std::sort(keyed.begin(), keyed.end());
    if (kTags[tag].unique) {
        keyed.erase(std::unique(keyed.begin(), keyed.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    keyed.end());
    }
    std::vector<long> order;
    for (const auto& entry : keyed) order.push_back(entry.second);
    if (kTags[tag].descending) std::reverse(order.begin(), order.end());
    return order;
}

// The number of keys of a tag and the place of one record in it (0 when left out), counted
// without sorting from each record's keys.
using KeyTable = std::vector<std::array<std::optional<ModelKey>, 6>>;
std::pair<long, long> expected_place(const KeyTable& keys, std::size_t tag, long recno) {
    const bool unique = kTags[tag].unique;
    const std::optional<ModelKey>* own =
        recno > 0 ? &keys[static_cast<std::size_t>(recno - 1)][tag] : nullptr;
    long count = 0, before = 0;
    bool own_first = true;
    std::vector<const ModelKey*> seen;  // unique tags: the keys met so far (few)
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::optional<ModelKey>& key = keys[i][tag];
        if (!key) continue;
        const long r = static_cast<long>(i) + 1;
        if (unique) {
            // Only the first record of each key counts.
            const bool first = std::none_of(seen.begin(), seen.end(),
                                            [&](const ModelKey* k) { return *k == *key; });
            if (r == recno) own_first = first;
            if (!first) continue;
            seen.push_back(&*key);
        }
        ++count;
        if (own && *own && (*key < **own || (*key == **own && r < recno))) ++before;
    }
    if (!own || !*own || !own_first) return {count, 0};
    return {count, kTags[tag].descending ? count - before : before + 1};
}

class IndexModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        util::settings().hide_deleted = false;
        name_ = (dir_.path() / "MODEL.DBF").string();
        ASSERT_TRUE(db::Table::create(
            name_, {{"NAME", 'C', 6, 0}, {"QTY", 'N', 8, 2}, {"BORN", 'D', 8, 0}}));
        table_ = open_table(name_);
        ASSERT_TRUE(table_);
        orders_ = &db::index_orders(*table_);
        for (const TagModel& tag : kTags) {
            db::BuildConditions conditions;
            conditions.for_text = tag.condition;
            conditions.descending = tag.descending;
            table_->set_build_conditions(conditions);
            ASSERT_TRUE(orders_->create_order(bag(), tag.tag, tag.key, tag.unique));
        }
    }
    std::string bag() const { return (dir_.path() / "MODEL").string(); }

    void write(long recno, const ModelRecord& record) {
        table_->go_to(recno);
        table_->put("NAME", record.name);
        table_->put("QTY", record.qty);
        table_->put("BORN", record.born);
        table_->mark_deleted(record.deleted);
        table_->commit();
    }
    std::vector<long> walk(int order) {
        orders_->set_current(order);
        std::vector<long> seen;
        for (table_->go_top(); !table_->eof(); table_->skip())
            seen.push_back(table_->record_number());
        return seen;
    }

    SettingsGuard settings_;
    TempDir dir_;
    std::string name_;
    std::unique_ptr<db::Table> table_;
    db::IndexOrders* orders_ = nullptr;
};

TEST_F(IndexModelTest, TagsFollowEveryChangeOfTheTable) {
    std::mt19937 random(20261207);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto random_record = [&] {
        ModelRecord record;
        static const char kLetters[] = "abAB ";
        const int length = 1 + pick(6);
        for (int i = 0; i < length; ++i) record.name += kLetters[pick(5)];
        record.name.resize(6, ' ');
        record.qty = pick(4) == 0 ? -pick(1000) / 10.0 : pick(1000) / 10.0;
        record.born = pick(8) == 0 ? util::Date()
                                   : util::Date::of(2020 + pick(3), 1 + pick(12), 1 + pick(28));
        return record;
    };
    std::vector<ModelRecord> model;
    KeyTable keys;
    auto rekey = [&](long recno) {
        for (std::size_t t = 0; t < kTags.size(); ++t) {
            keys[static_cast<std::size_t>(recno - 1)][t] =
                model_key(model[static_cast<std::size_t>(recno - 1)], t);
        }
    };
    const int kSteps =
        std::getenv("KV_MODEL_STEPS") ? std::atoi(std::getenv("KV_MODEL_STEPS")) : 100'000;
    constexpr std::size_t kMaxRecords = 150;
    for (int step = 1; step <= kSteps; ++step) {
        const int choice = pick(100);
        long touched = 0;
        if (model.empty() || (choice < 30 && model.size() < kMaxRecords)) {
            ASSERT_TRUE(table_->append());
            model.push_back(random_record());
            touched = static_cast<long>(model.size());
            keys.emplace_back();
            write(touched, model.back());
        } else if (choice < 75) {
            touched = 1 + pick(static_cast<int>(model.size()));
            ModelRecord& record = model[static_cast<std::size_t>(touched - 1)];
            const bool deleted = record.deleted;
            ModelRecord fresh = random_record();
            if (pick(2) == 0) fresh.name = record.name;  // changes of one field only
            if (pick(2) == 0) fresh.born = record.born;
            fresh.deleted = deleted;
            record = fresh;
            write(touched, record);
        } else if (choice < 99) {
            touched = 1 + pick(static_cast<int>(model.size()));
            ModelRecord& record = model[static_cast<std::size_t>(touched - 1)];
            record.deleted = !record.deleted;
            write(touched, record);
        } else if (pick(20) == 0) {
            ASSERT_TRUE(table_->pack());
            std::erase_if(model, [](const ModelRecord& r) { return r.deleted; });
            keys.resize(model.size());
            for (std::size_t i = 0; i < model.size(); ++i) rekey(static_cast<long>(i) + 1);
        }
        if (touched != 0) rekey(touched);
        // Every step: each tag's key count, and the touched record's place in two of them in turn.
        for (std::size_t t = 0; t < kTags.size(); ++t) {
            const auto [count, place] = expected_place(keys, t, touched);
            orders_->set_current(static_cast<int>(t) + 1);
            ASSERT_EQ(orders_->key_count(), count) << kTags[t].tag << " at step " << step;
            if (touched == 0 || (t != static_cast<std::size_t>(step) % kTags.size() &&
                                 t != static_cast<std::size_t>(step + 3) % kTags.size())) {
                continue;
            }
            table_->go_to(touched);
            ASSERT_EQ(orders_->key_number(), place) << kTags[t].tag << " at step " << step;
        }
        if (step % 5000 == 0 || step == kSteps) {
            for (std::size_t t = 0; t < kTags.size(); ++t) {
                ASSERT_EQ(walk(static_cast<int>(t) + 1), expected_order(model, t))
                    << kTags[t].tag << " at step " << step;
            }
            ASSERT_EQ(orders_->check(), std::vector<std::string>{}) << "at step " << step;
        }
    }
    // Seeks land on the first key of a value, in each direction.
    orders_->set_current(1);
    for (const ModelRecord& record : model) {
        ASSERT_TRUE(table_->seek(upper(record.name)));
        EXPECT_EQ(upper(std::get<std::string>(table_->get("NAME"))), upper(record.name));
        table_->skip(-1);
        EXPECT_TRUE(table_->bof() ||
                    upper(std::get<std::string>(table_->get("NAME"))) < upper(record.name));
    }
}

}  // namespace
}  // namespace kv::test
