#include "db/index_orders.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <numeric>

#include "db/db_errors.h"
#include "db/disk_io.h"
#include "db/pack_swap.h"

namespace kv::db {
namespace {

constexpr std::uint64_t kPastEveryRecord = std::uint64_t{1} << 32;
constexpr std::size_t kReadChunk = 1 << 20;

// What an expression sees of a record given by its bytes.
class BytesView : public RecordView {
  public:
    BytesView(const Table& table, const char* bytes, long recno)
        : table_(table), bytes_(bytes), recno_(recno) {}
    Value field(int slot) const override { return table_.value_in(slot, bytes_); }
    long record_number() const override { return recno_; }
    bool deleted() const override { return bytes_[0] == kDeletedFlag; }

  private:
    const Table& table_;
    const char* bytes_;
    long recno_;
};

// Hands visit(bytes, recno) every record of the table in file order, read from the file a
// megabyte at a time; stops at the first record for which visit answers false.
template <typename Visit>
void visit_records(Table& table, Visit&& visit) {
    const long count = static_cast<long>(table.header().record_count);
    const std::size_t record_length = table.header().record_length;
    const std::size_t per_chunk = std::max<std::size_t>(1, kReadChunk / record_length);
    for (long r = 1; r <= count;) {
        const std::size_t n =
            std::min<std::size_t>(per_chunk, static_cast<std::size_t>(count - r + 1));
        const std::string chunk = read_at(
            table.fd(),
            table.header().header_length + static_cast<std::uint64_t>(r - 1) * record_length,
            n * record_length);
        if (chunk.size() < n * record_length)
            throw Corrupt("the table is shorter than its record count");
        for (std::size_t i = 0; i < n; ++i, ++r) {
            if (!visit(chunk.data() + i * record_length, r)) return;
        }
    }
}

// The keys of a tag being built (each length bytes, with their records' numbers) sorted by key,
// then record number; a unique tag keeps the first record of each key.
void sort_keys(const std::string& keys, const std::vector<std::uint32_t>& recnos,
               std::size_t length, bool unique, std::string& sorted_keys,
               std::vector<std::uint32_t>& sorted_recnos) {
    std::vector<std::uint32_t> order_of(recnos.size());
    std::iota(order_of.begin(), order_of.end(), 0u);
    const char* base = keys.data();
    std::sort(order_of.begin(), order_of.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int c = std::memcmp(base + a * length, base + b * length, length);
        return c < 0 || (c == 0 && recnos[a] < recnos[b]);
    });
    sorted_keys.reserve(keys.size());
    sorted_recnos.reserve(recnos.size());
    for (std::uint32_t i : order_of) {
        const char* key = base + static_cast<std::size_t>(i) * length;
        if (unique && !sorted_recnos.empty() &&
            std::memcmp(sorted_keys.data() + sorted_keys.size() - length, key, length) == 0) {
            continue;
        }
        sorted_keys.append(key, length);
        sorted_recnos.push_back(recnos[i]);
    }
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool starts_with(const std::string& key, const std::string& prefix) {
    return key.size() >= prefix.size() &&
           std::memcmp(key.data(), prefix.data(), prefix.size()) == 0;
}

bool after(const TagPosition& a, const TagPosition& b) {
    const NodeEntry& x = a.entry();
    const NodeEntry& y = b.entry();
    return x.key > y.key || (x.key == y.key && x.recno > y.recno);
}

}  // namespace

struct IndexOrders::Bag {
    IndexBag file;
};

struct IndexOrders::Order {
    Bag* bag = nullptr;
    std::string tag;
    KeyType type = KeyType::Character;
    std::size_t key_length = 0;
    std::optional<Expression> key;
    std::optional<Expression> condition;
    bool unique = false;
    bool descending = false;
    std::string key_text, for_text;
    std::optional<Value> top_value, bottom_value;
    std::optional<std::string> top, bottom;
    // Where the last walk of this order stands in its tag: the key and record number of the
    // entry it reached. A walk goes on from there, not from the key its record gives now, so a
    // tag out of step with its table (changed by another program) is walked once, entry by entry.
    std::optional<std::pair<std::string, std::uint32_t>> held;
    // A unique order's companion in its bag: a hidden tag of the same key and condition that
    // holds every record, so that the next holder of a key is found among the records that share
    // it (empty when the bag has none, as in bags of other programs: the records are read then).
    std::string shadow;

    std::string key_of(const Table& table, const char* bytes, long recno) const {
        const Value value = key->evaluate(BytesView(table, bytes, recno));
        auto stored = key_bytes(value, type, key_length);
        return stored ? *stored : std::string(key_length, key_pad(type));
    }
    bool included(const Table& table, const char* bytes, long recno) const {
        if (!condition) return true;
        const Value value = condition->evaluate(BytesView(table, bytes, recno));
        const bool* flag = std::get_if<bool>(&value);
        return flag != nullptr && *flag;
    }
    const std::optional<std::string>& low() const { return descending ? bottom : top; }
    const std::optional<std::string>& high() const { return descending ? top : bottom; }
};

namespace {

// The hidden companion of a unique tag: the temporary mark, "U" and the tag's name.
std::string shadow_name(const std::string& tag) {
    return std::string("\x7FU") + tag.substr(0, kTagNameLength - 2);
}
bool is_shadow(const std::string& tag) {
    return tag.size() >= 2 && tag[0] == '\x7F' && tag[1] == 'U';
}

// Use of a bag for the scope of a block.
class BagUse {
  public:
    BagUse(IndexBag& bag, bool write) : bag_(bag) { bag_.begin(write); }
    ~BagUse() { bag_.end(); }
    BagUse(const BagUse&) = delete;
    BagUse& operator=(const BagUse&) = delete;

  private:
    IndexBag& bag_;
};

}  // namespace

IndexOrders::IndexOrders(Table& table) : table_(table) {}
IndexOrders::~IndexOrders() = default;

IndexOrders& index_orders(Table& table) {
    if (auto* orders = dynamic_cast<IndexOrders*>(table.orders())) return *orders;
    auto made = std::make_unique<IndexOrders>(table);
    IndexOrders& orders = *made;
    table.install_orders(std::move(made));
    return orders;
}

// ---- Bags and orders ---------------------------------------------------------------------------

bool IndexOrders::open_bag(const std::string& name, bool notice) {
    const std::string file = with_extension(name, ".NTX");
    const std::string path = platform::resolve_path(file, platform::NameCase::Setting);
    for (const auto& bag : bags_) {
        if (bag->file.file_name() == path) return true;
    }
    auto bag = std::make_unique<Bag>();
    std::string fault;
    bool corrupt = false;
    try {
        if (!bag->file.open(file, table_.shared(), table_.read_only(), false)) {
            const platform::FileError error = platform::last_file_error();
            const bool sharing = error.win32 == platform::win_error::SHARING_VIOLATION;
            raise(kGenOpen, "Open error", file, "open bag", sharing ? 32 : error.win32, sharing);
            return false;
        }
        bags_.push_back(std::move(bag));
        list_orders();
        if (notice) {
            if (const auto why = disagreement(*bags_.back()))
                raise_corrupt(bags_.back()->file.file_name(), "open bag", *why);
        }
        return true;
    } catch (const Corrupt& error) {
        fault = error.what();
        corrupt = true;
    } catch (const ExpressionError& error) {
        fault = error.what();
    }
    // A bag that cannot be used is closed again.
    if (!bags_.empty() && bags_.back()->file.file_name() == path) bags_.pop_back();
    list_orders();
    if (corrupt) {
        raise_corrupt(file, "open bag", fault);
    } else {
        raise(kGenArgument, fault, file, "open bag");
    }
    return false;
}

void IndexOrders::list_orders() {
    std::string current_tag;
    Bag* current_bag = nullptr;
    if (current_ != 0) {
        current_tag = orders_[static_cast<std::size_t>(current_ - 1)]->tag;
        current_bag = orders_[static_cast<std::size_t>(current_ - 1)]->bag;
    }
    std::vector<std::unique_ptr<Order>> old = std::move(orders_);
    orders_.clear();
    current_ = 0;
    for (const auto& bag : bags_) {
        for (TagHeader& tag : bag->file.tags()) {
            if (is_shadow(tag.name)) continue;
            auto order = std::make_unique<Order>();
            order->bag = bag.get();
            order->tag = tag.name;
            order->unique = tag.unique;
            order->descending = tag.descending;
            order->key_text = tag.key_text;
            order->for_text = tag.for_text;
            order->key_length = tag.key_length;
            for (auto& previous : old) {
                if (previous && previous->bag == bag.get() && previous->tag == tag.name &&
                    previous->key_text == tag.key_text) {
                    order = std::move(previous);
                    order->key_length = tag.key_length;
                    break;
                }
            }
            if (!order->key) {
                order->key.emplace(Expression::compile(order->key_text, table_));
                if (!order->for_text.empty())
                    order->condition.emplace(Expression::compile(order->for_text, table_));
                const auto type = key_type_of(order->key->result_type());
                order->type = type ? *type : KeyType::Character;
            }
            tag.pad = key_pad(order->type);
            order->shadow.clear();
            if (order->unique) {
                for (TagHeader& other : bag->file.tags()) {
                    if (other.name == shadow_name(tag.name) && !other.unique &&
                        other.key_text == tag.key_text && other.for_text == tag.for_text &&
                        other.key_length == tag.key_length) {
                        other.pad = tag.pad;
                        order->shadow = other.name;
                    }
                }
            }
            orders_.push_back(std::move(order));
            if (bag.get() == current_bag && tag.name == current_tag)
                current_ = static_cast<int>(orders_.size());
        }
    }
}

// Whether a bag may disagree with its table: the mark of a change that was not finished, or one
// of the last records (an append that died before its keys) missing from a tag. Records that
// another open holds locked are being written and pass.
std::optional<std::string> IndexOrders::disagreement(Bag& bag) try {
    constexpr long kTail = 8;
    BagUse use(bag.file, false);
    if (const std::uint32_t pending = bag.file.pending(); pending != 0) {
        return std::string(pending == IndexBag::kPendingAll
                               ? "a pack, zap or rebuild of its table was interrupted"
                               : "a change of record " + std::to_string(pending) +
                                     " was interrupted") +
               ": its tags may disagree with the table (kvdb reindex rebuilds them)";
    }
    const long count = static_cast<long>(table_.header().record_count);
    std::string bytes;
    for (long r = count; r >= 1 && r > count - kTail; --r) {
        if (table_.record_locked(r)) continue;
        if (table_.shared() &&
            locked_elsewhere(table_.fd(), kRecordLockBase + static_cast<std::uint64_t>(r), 1))
            continue;
        if (!table_.read_record(r, bytes)) continue;
        for (const auto& each : orders_) {
            // A view's tag holds the records its filter chose, which its stored condition
            // cannot tell: views (named with the temporary mark) are not held to the table.
            if (each->bag != &bag || each->tag.rfind('\x7F', 0) == 0 ||
                !each->included(table_, bytes.data(), r))
                continue;
            const std::string key = each->key_of(table_, bytes.data(), r);
            TagHeader& tag = header(*each);
            const TagPosition at =
                bag.file.lower_bound(tag, key, each->unique ? 0 : static_cast<std::uint64_t>(r));
            const bool present =
                at.valid() && at.entry().key == key &&
                (each->unique || at.entry().recno == static_cast<std::uint32_t>(r));
            if (!present) {
                return "record " + std::to_string(r) + " is in no key of tag " + each->tag +
                       " (an append or change was interrupted; kvdb reindex rebuilds the tags)";
            }
        }
    }
    return std::nullopt;
} catch (const Corrupt& fault) {
    return std::string(fault.what());
}

void IndexOrders::mark_all(std::uint32_t what) {
    for (const auto& bag : bags_) {
        BagUse use(bag->file, true);
        bag->file.set_pending(what);
    }
}

IndexOrders::Order& IndexOrders::order(int number) const {
    return *orders_.at(static_cast<std::size_t>(number - 1));
}

TagHeader* IndexOrders::shadow_header(Order& order) {
    if (order.shadow.empty()) return nullptr;
    for (TagHeader& tag : order.bag->file.tags()) {
        if (tag.name == order.shadow) {
            tag.pad = key_pad(order.type);
            return &tag;
        }
    }
    return nullptr;
}

TagHeader& IndexOrders::header(Order& order) {
    for (TagHeader& tag : order.bag->file.tags()) {
        if (tag.name == order.tag) {
            tag.pad = key_pad(order.type);
            return tag;
        }
    }
    throw Corrupt("tag " + order.tag + " has gone from its bag");
}

bool IndexOrders::close_bags() {
    bool closed = true;
    for (const auto& bag : bags_) closed = bag->file.close() && closed;
    orders_.clear();
    bags_.clear();
    current_ = 0;
    return closed;
}

bool IndexOrders::close_all() {
    return close_bags();
}

std::vector<std::string> IndexOrders::bag_names() const {
    std::vector<std::string> names;
    for (const auto& bag : bags_) names.push_back(bag->file.file_name());
    return names;
}

bool IndexOrders::set_current(int number) {
    if (number < 0 || number > count()) return false;
    current_ = number;
    return true;
}

int IndexOrders::find(const std::string& tag, const std::string& bag) const {
    const std::string wanted = upper(tag);
    const std::string bag_path = bag.empty() ? std::string()
                                             : platform::resolve_path(with_extension(bag, ".NTX"),
                                                                      platform::NameCase::Setting);
    for (int n = 1; n <= count(); ++n) {
        const Order& candidate = order(n);
        if (candidate.tag != wanted) continue;
        if (!bag_path.empty() &&
            !platform::names_equal_ignoring_case(candidate.bag->file.file_name(), bag_path))
            continue;
        return n;
    }
    return 0;
}

std::string IndexOrders::tag_name(int number) const {
    return number < 1 || number > count() ? "" : order(number).tag;
}
std::string IndexOrders::bag_name(int number) const {
    return number < 1 || number > count() ? "" : order(number).bag->file.file_name();
}
std::string IndexOrders::key_text(int number) const {
    return number < 1 || number > count() ? "" : order(number).key_text;
}
std::string IndexOrders::for_text(int number) const {
    return number < 1 || number > count() ? "" : order(number).for_text;
}
bool IndexOrders::unique(int number) const {
    return number >= 1 && number <= count() && order(number).unique;
}
bool IndexOrders::descending(int number) const {
    return number >= 1 && number <= count() && order(number).descending;
}
char IndexOrders::key_type(int number) const {
    if (number < 1 || number > count()) return 'U';
    static constexpr char kLetters[] = {'C', 'N', 'D', 'L'};
    return kLetters[static_cast<int>(order(number).type)];
}

void IndexOrders::set_scope(bool top, const std::optional<Value>& value) {
    if (current_ == 0) return;
    Order& current = order(current_);
    std::optional<std::string> bytes;
    if (value) bytes = seek_bytes(*value, current.type, current.key_length);
    (top ? current.top : current.bottom) = bytes;
    (top ? current.top_value : current.bottom_value) = bytes ? value : std::nullopt;
}

std::optional<Value> IndexOrders::scope(bool top) const {
    if (current_ == 0) return std::nullopt;
    const Order& current = order(current_);
    return top ? current.top_value : current.bottom_value;
}

bool IndexOrders::in_scope(const Order& order, const std::string& key) const {
    if (order.low() && std::memcmp(key.data(), order.low()->data(), order.low()->size()) < 0)
        return false;
    if (order.high() && std::memcmp(key.data(), order.high()->data(), order.high()->size()) > 0)
        return false;
    return true;
}

// ---- Navigation --------------------------------------------------------------------------------

TagPosition IndexOrders::physical_first(Order& order) {
    TagHeader& tag = header(order);
    return order.low() ? order.bag->file.lower_bound(tag, *order.low(), 0)
                       : order.bag->file.first(tag);
}

TagPosition IndexOrders::physical_last(Order& order) {
    TagHeader& tag = header(order);
    if (!order.high()) return order.bag->file.last(tag);
    TagPosition position = order.bag->file.lower_bound(tag, *order.high(), kPastEveryRecord);
    order.bag->file.step(tag, position, -1);
    return position;
}

long IndexOrders::logical(Order& order, TagPosition position) {
    if (!position.valid() || !in_scope(order, position.entry().key)) {
        order.held.reset();
        return 0;
    }
    const NodeEntry& entry = position.entry();
    if (entry.recno == 0 || entry.recno > table_.header().record_count) {
        table_.refresh_count();
        if (entry.recno == 0 || entry.recno > table_.header().record_count)
            throw Corrupt("tag " + order.tag + " holds record " + std::to_string(entry.recno) +
                          ", past the table's end");
    }
    order.held.emplace(entry.key, entry.recno);
    return static_cast<long>(entry.recno);
}

long IndexOrders::first() {
    return end_of_order(1);
}

long IndexOrders::last() {
    return end_of_order(-1);
}

// The first (+1) or last (-1) record in the current order: a descending order's first key is
// its tree's last.
long IndexOrders::end_of_order(int direction) {
    Order& current = order(current_);
    BagUse use(current.bag->file, false);
    const bool low = (direction > 0) != current.descending;
    return logical(current, low ? physical_first(current) : physical_last(current));
}

long IndexOrders::step_from_current(int direction) {
    Order& current = order(current_);
    BagUse use(current.bag->file, false);
    TagHeader& tag = header(current);
    const long recno = table_.record_number();
    // From the entry the walk holds when it stands on this record; otherwise (the table was
    // moved some other way) from the record's key.
    const bool holding = current.held && current.held->second == static_cast<std::uint32_t>(recno);
    const std::string key =
        holding ? current.held->first : current.key_of(table_, table_.record_bytes(), recno);
    TagPosition position =
        current.bag->file.lower_bound(tag, key, static_cast<std::uint64_t>(recno));
    const int physical = current.descending ? -direction : direction;
    const bool exact = position.valid() && position.entry().key == key &&
                       position.entry().recno == static_cast<std::uint32_t>(recno);
    if (exact || physical < 0) current.bag->file.step(tag, position, physical);
    if (position.valid()) {
        const NodeEntry& reached = position.entry();
        const bool after = reached.key > key || (reached.key == key &&
                                                 reached.recno > static_cast<std::uint32_t>(recno));
        if (after != (physical > 0)) throw Corrupt("an index walk goes back (a loop)");
    }
    return logical(current, std::move(position));
}

long IndexOrders::next() {
    return step_from_current(1);
}
long IndexOrders::previous() {
    return step_from_current(-1);
}

long IndexOrders::seek(const Value& key, bool soft, bool last, bool& found) {
    found = false;
    Order& current = order(current_);
    const auto prefix = seek_bytes(key, current.type, current.key_length);
    if (!prefix) {
        raise(kGenArgument, "The seek value's type differs from the key's", table_.file_name(),
              "seek");
        return 0;
    }
    BagUse use(current.bag->file, false);
    TagHeader& tag = header(current);
    IndexBag& bag = current.bag->file;
    auto lower = [&] { return bag.lower_bound(tag, *prefix, 0); };
    auto upper_last = [&] {
        TagPosition position = bag.lower_bound(tag, *prefix, kPastEveryRecord);
        bag.step(tag, position, -1);
        return position;
    };
    TagPosition candidate = current.descending != last ? upper_last() : lower();
    found = candidate.valid() && starts_with(candidate.entry().key, *prefix);
    if (!found) {
        if (!soft) return 0;
        candidate = current.descending ? upper_last() : lower();
    }
    const long recno = logical(current, std::move(candidate));
    if (recno == 0) found = false;
    return recno;
}

bool IndexOrders::current_matches(const Value& key) {
    if (current_ == 0 || table_.eof()) return false;
    Order& current = order(current_);
    const auto prefix = seek_bytes(key, current.type, current.key_length);
    return prefix &&
           starts_with(current.key_of(table_, table_.record_bytes(), table_.record_number()),
                       *prefix);
}

std::optional<std::string> IndexOrders::current_key() {
    if (current_ == 0 || table_.eof()) return std::nullopt;
    return order(current_).key_of(table_, table_.record_bytes(), table_.record_number());
}

long IndexOrders::key_count() {
    return reported("key count", [this] { return count_keys(); });
}

long IndexOrders::key_number() {
    return reported("key number", [this] { return place_of_current(); });
}

// A figure of the current order with the current record written first (a record just appended
// has its keys from its first commit); damage is reported and gives 0.
long IndexOrders::reported(const char* operation, const std::function<long()>& figure) {
    table_.commit();
    try {
        return figure();
    } catch (const Corrupt& fault) {
        raise_corrupt(order(current_).bag->file.file_name(), operation, fault.what());
        return 0;
    }
}

long IndexOrders::count_keys() {
    if (current_ == 0) return 0;
    Order& current = order(current_);
    BagUse use(current.bag->file, false);
    const TagPosition a = physical_first(current);
    const TagPosition b = physical_last(current);
    if (!a.valid() || !b.valid() || !in_scope(current, a.entry().key) ||
        !in_scope(current, b.entry().key) || after(a, b))
        return 0;
    return current.bag->file.count_between(header(current), a, b);
}

long IndexOrders::place_of_current() {
    if (current_ == 0 || table_.eof()) return 0;
    Order& current = order(current_);
    BagUse use(current.bag->file, false);
    TagHeader& tag = header(current);
    const long recno = table_.record_number();
    const std::string key = current.key_of(table_, table_.record_bytes(), recno);
    const TagPosition here =
        current.bag->file.lower_bound(tag, key, static_cast<std::uint64_t>(recno));
    if (!here.valid() || here.entry().key != key ||
        here.entry().recno != static_cast<std::uint32_t>(recno) || !in_scope(current, key)) {
        return 0;
    }
    const TagPosition a = physical_first(current);
    const long k = current.bag->file.count_between(tag, a, here);
    return current.descending ? count_keys() - k + 1 : k;
}

// ---- Keeping tags in step ----------------------------------------------------------------------

std::optional<long> IndexOrders::replacement(Order& order, const std::string& key, long except) {
    if (TagHeader* shadow = shadow_header(order)) {
        // The records that share the key, in record order, from the companion.
        IndexBag& file = order.bag->file;
        for (TagPosition at = file.lower_bound(*shadow, key, 0);
             at.valid() && at.entry().key == key; file.step(*shadow, at, 1)) {
            if (static_cast<long>(at.entry().recno) != except)
                return static_cast<long>(at.entry().recno);
        }
        return std::nullopt;
    }
    std::optional<long> found;
    visit_records(table_, [&](const char* bytes, long r) {
        if (r != except && order.included(table_, bytes, r) &&
            order.key_of(table_, bytes, r) == key)
            found = r;
        return !found;
    });
    return found;
}

IndexOrders::KeyPlaces IndexOrders::places(Order& order) {
    return {&order.bag->file, &header(order), shadow_header(order), order.unique};
}

// The key changes of a record write, bag by bag (in the order of their file names, so that
// processes take the bags' locks in one order).
IndexOrders::Prepared IndexOrders::prepare(long recno, const std::string* before,
                                           const std::string& after) {
    Prepared prepared;
    prepared.recno = recno;
    for (const auto& bag : bags_) {
        std::vector<Change> changes;
        for (const auto& order : orders_) {
            if (order->bag != bag.get()) continue;
            Change change{order.get(), std::nullopt, std::nullopt};
            if (before && order->included(table_, before->data(), recno))
                change.old_key = order->key_of(table_, before->data(), recno);
            if (order->included(table_, after.data(), recno))
                change.new_key = order->key_of(table_, after.data(), recno);
            // A walk standing on this record now stands on its new key.
            if (order->held && order->held->second == static_cast<std::uint32_t>(recno)) {
                if (change.new_key) {
                    order->held->first = *change.new_key;
                } else {
                    order->held.reset();
                }
            }
            if (change.old_key != change.new_key) changes.push_back(std::move(change));
        }
        if (!changes.empty()) prepared.bags.emplace_back(bag.get(), std::move(changes));
    }
    std::sort(prepared.bags.begin(), prepared.bags.end(), [](const auto& a, const auto& b) {
        return a.first->file.file_name() < b.first->file.file_name();
    });
    return prepared;
}

// Takes each bag that will change and records the change in it, so that a process dying between
// the record's write and its keys leaves a mark that the next open of the bag finds.
void IndexOrders::begin_changes(Prepared& prepared) {
    for (std::size_t i = 0; i < prepared.bags.size(); ++i) {
        IndexBag& file = prepared.bags[i].first->file;
        bool begun = false;
        try {
            file.begin(true);
            begun = true;
            file.set_pending(static_cast<std::uint32_t>(prepared.recno));
        } catch (...) {
            // Nothing changed yet: the bags marked so far are unmarked again.
            if (begun) file.end();
            for (std::size_t j = 0; j < i; ++j) {
                IndexBag& marked = prepared.bags[j].first->file;
                try {
                    marked.set_pending(0);
                } catch (...) {
                }
                marked.end();
            }
            throw;
        }
    }
}

void IndexOrders::about_to_write(long recno, const std::string* before, const std::string& after) {
    write_abandoned();
    Prepared prepared = prepare(recno, before, after);
    begin_changes(prepared);
    prepared_ = std::move(prepared);
}

void IndexOrders::write_abandoned() {
    if (!prepared_) return;
    Prepared prepared = std::move(*prepared_);
    prepared_.reset();
    for (auto& [bag, changes] : prepared.bags) {
        try {
            bag->file.set_pending(0);
        } catch (...) {
        }
        bag->file.end();
    }
}

void IndexOrders::record_written(long recno, const std::string* before, const std::string& after) {
    failed_.reset();
    Prepared prepared;
    if (prepared_ && prepared_->recno == recno) {
        prepared = std::move(*prepared_);
        prepared_.reset();
    } else {
        write_abandoned();
        prepared = prepare(recno, before, after);
        begin_changes(prepared);
    }
    const auto r = static_cast<std::uint32_t>(recno);
    std::size_t done = 0;
    try {
        for (; done < prepared.bags.size(); ++done) {
            IndexBag& file = prepared.bags[done].first->file;
            for (Change& change : prepared.bags[done].second) {
                Order& order = *change.order;
                if (TagHeader* shadow = shadow_header(order)) {
                    if (change.old_key) file.remove(*shadow, *change.old_key, r);
                    if (change.new_key) file.insert(*shadow, *change.new_key, r);
                }
                TagHeader& tag = header(order);
                if (change.old_key && !order.unique) {
                    file.remove(tag, *change.old_key, r);
                } else if (change.old_key) {
                    // Only the holder of the key leaves an entry; the next record with the key
                    // takes it over, in place when the node allows.
                    const TagPosition held = file.lower_bound(tag, *change.old_key, 0);
                    if (held.valid() && held.entry().key == *change.old_key &&
                        held.entry().recno == r) {
                        const auto other = replacement(order, *change.old_key, recno);
                        const auto next = static_cast<std::uint32_t>(other.value_or(0));
                        if (!other || !file.renumber(tag, *change.old_key, r, next)) {
                            file.remove(tag, *change.old_key, r);
                            if (other) file.insert(tag, *change.old_key, next);
                        }
                    }
                }
                if (!change.new_key) continue;
                if (order.unique) {
                    const TagPosition same = file.lower_bound(tag, *change.new_key, 0);
                    if (same.valid() && same.entry().key == *change.new_key) {
                        if (same.entry().recno < r) continue;
                        file.remove(tag, *change.new_key, same.entry().recno);
                    }
                }
                file.insert(tag, *change.new_key, r);
            }
            file.set_pending(0);
            file.end();
        }
    } catch (...) {
        // The mark stays in the bags whose keys are not all in, until undo_failed_keys puts
        // them back; otherwise the next open says so.
        for (; done < prepared.bags.size(); ++done) prepared.bags[done].first->file.end();
        failed_ = std::move(prepared);
        throw;
    }
}

// ---- Building ----------------------------------------------------------------------------------

bool IndexOrders::build(Bag& bag, TagHeader tag, const BuildConditions& conditions,
                        Order& prototype) {
    // The records that take part: every one in file order, or those of the current order.
    std::vector<long> chosen;
    const bool by_order = conditions.current_order_only && current_ != 0;
    if (by_order) {
        Order& current = order(current_);
        BagUse use(current.bag->file, false);
        TagHeader& current_tag = header(current);
        TagPosition position =
            current.descending ? physical_last(current) : physical_first(current);
        for (long r; (r = logical(current, position)) != 0;) {
            chosen.push_back(r);
            current.bag->file.step(current_tag, position, current.descending ? -1 : 1);
        }
    }
    const long total = static_cast<long>(table_.header().record_count);
    const std::size_t length = tag.key_length;
    std::string keys;
    std::vector<std::uint32_t> recnos;
    const long start_recno = table_.record_number();
    const bool positioned = static_cast<bool>(conditions.for_function);
    auto take = [&](const char* bytes, long r) {
        const bool wanted =
            positioned ? conditions.for_function() : prototype.included(table_, bytes, r);
        if (!wanted) return;
        keys += prototype.key_of(table_, bytes, r);
        recnos.push_back(static_cast<std::uint32_t>(r));
    };
    if (by_order || positioned) {
        std::string bytes;
        const std::size_t n = by_order ? chosen.size() : static_cast<std::size_t>(total);
        for (std::size_t i = 0; i < n; ++i) {
            const long r = by_order ? chosen[i] : static_cast<long>(i) + 1;
            if (positioned) {
                table_.go_to(r);
                take(table_.record_bytes(), r);
            } else if (table_.read_record(r, bytes)) {
                take(bytes.data(), r);
            }
        }
    } else {
        keys.reserve(static_cast<std::size_t>(total) * length);
        recnos.reserve(static_cast<std::size_t>(total));
        visit_records(table_, [&](const char* bytes, long r) {
            take(bytes, r);
            return true;
        });
    }
    if (positioned) table_.go_to(start_recno);
    std::string sorted_keys;
    std::vector<std::uint32_t> sorted_recnos;
    sort_keys(keys, recnos, length, tag.unique, sorted_keys, sorted_recnos);
    // A unique tag's companion holds every record, sorted as the keys are.
    std::string all_keys;
    std::vector<std::uint32_t> all_recnos;
    if (tag.unique) sort_keys(keys, recnos, length, false, all_keys, all_recnos);
    keys.clear();
    keys.shrink_to_fit();
    BagUse use(bag.file, true);
    if (tag.unique) {
        TagHeader shadow = tag;
        shadow.name = shadow_name(tag.name);
        shadow.unique = false;
        shadow.descending = false;
        bag.file.add_tag(std::move(shadow), all_keys, all_recnos);
    }
    bag.file.add_tag(std::move(tag), sorted_keys, sorted_recnos);
    return true;
}

bool IndexOrders::create_order(const std::string& bag_name, const std::string& tag_name,
                               const std::string& key_text, bool unique) {
    const BuildConditions conditions = table_.take_build_conditions();
    const std::string file = with_extension(bag_name, ".NTX");
    try {
        if (!table_.commit()) return false;
        Order prototype;
        try {
            prototype.key.emplace(Expression::compile(key_text, table_));
            if (!conditions.for_text.empty())
                prototype.condition.emplace(Expression::compile(conditions.for_text, table_));
        } catch (const std::exception& error) {
            raise(kGenArgument, error.what(), file, "create order");
            return false;
        }
        const auto type = key_type_of(prototype.key->result_type());
        if (!type) {
            raise(kGenArgument, "A key must be of type C, N, D or L: " + key_text, file,
                  "create order");
            return false;
        }
        prototype.type = *type;
        std::size_t length = fixed_key_length(*type);
        if (*type == KeyType::Character) {
            const int width = prototype.key->result_width();
            if (width > 0) {
                length = static_cast<std::size_t>(width);
            } else {
                const Value sample = prototype.key->evaluate(table_);
                const auto* text = std::get_if<std::string>(&sample);
                length = text ? text->size() : 0;
            }
            if (length < 1 || length > kMaxKeyLength) {
                raise(kGenArgument, "A key must be 1 to 240 characters long: " + key_text, file,
                      "create order");
                return false;
            }
        }
        prototype.key_length = length;
        Bag* bag = nullptr;
        const std::string path = platform::resolve_path(file, platform::NameCase::Setting);
        for (const auto& open : bags_) {
            if (open->file.file_name() == path) bag = open.get();
        }
        if (bag == nullptr) {
            auto made = std::make_unique<Bag>();
            if (!made->file.open(file, table_.shared(), table_.read_only(), true)) {
                raise(kGenCreate, "Create error", file, "create order",
                      platform::last_file_error().win32);
                return false;
            }
            bag = made.get();
            bags_.push_back(std::move(made));
        }
        TagHeader tag;
        tag.name = upper(tag_name.substr(0, kTagNameLength));
        tag.key_length = length;
        tag.unique = unique;
        tag.descending = conditions.descending;
        tag.key_text = key_text;
        tag.for_text = conditions.for_text;
        tag.pad = key_pad(*type);
        build(*bag, tag, conditions, prototype);
        list_orders();
        current_ = find(tag.name, path);
    } catch (const WriteFailed& failure) {
        list_orders();
        raise(kGenWrite, failure.error() == ENOSPC ? "Disk full" : "Write error", file,
              "create order", failure.error() == ENOSPC ? 112 : 31, false,
              failure.error() == ENOSPC ? std::optional<long>(kSubDiskFull) : std::nullopt);
        return false;
    } catch (const Corrupt& fault) {
        list_orders();
        raise_corrupt(file, "create order", fault.what());
        return false;
    }
    table_.go_top();
    return true;
}

bool IndexOrders::delete_order(const std::string& bag_name, const std::string& tag_name) {
    const int number = find(tag_name, bag_name);
    if (number == 0) return false;
    Order& gone = order(number);
    try {
        BagUse use(gone.bag->file, true);
        if (!gone.shadow.empty()) gone.bag->file.remove_tag(gone.shadow);
        gone.bag->file.remove_tag(gone.tag);
    } catch (const Corrupt& fault) {
        raise_corrupt(gone.bag->file.file_name(), "delete order", fault.what());
        return false;
    }
    if (current_ == number) current_ = 0;
    list_orders();
    return true;
}

void IndexOrders::rebuild_all() {
    const int keep = current_;
    // Marked for the time of the rebuild, so that a process dying in it leaves word.
    mark_all(IndexBag::kPendingAll);
    for (int n = 1; n <= count(); ++n) {
        Order& each = order(n);
        TagHeader tag;
        {
            BagUse use(each.bag->file, false);
            tag = header(each);
        }
        Order prototype;
        prototype.key.emplace(Expression::compile(each.key_text, table_));
        if (!each.for_text.empty())
            prototype.condition.emplace(Expression::compile(each.for_text, table_));
        prototype.type = each.type;
        prototype.key_length = each.key_length;
        current_ = 0;
        build(*each.bag, tag, BuildConditions{}, prototype);
    }
    list_orders();
    current_ = keep;
    mark_all(0);
}

void IndexOrders::empty_all() {
    mark_all(IndexBag::kPendingAll);
    for (int n = 1; n <= count(); ++n) {
        Order& each = order(n);
        BagUse use(each.bag->file, true);
        if (TagHeader* shadow = shadow_header(each)) {
            TagHeader empty = *shadow;
            each.bag->file.add_tag(std::move(empty), std::string(), {});
        }
        TagHeader tag = header(each);
        each.bag->file.add_tag(std::move(tag), std::string(), {});
    }
    list_orders();
}

void IndexOrders::tags_emptied() {
    mark_all(0);
}

bool IndexOrders::reindex_bag(const std::string& name) {
    const std::string path =
        platform::resolve_path(with_extension(name, ".NTX"), platform::NameCase::Setting);
    struct Definition {
        std::string tag, key, condition;
        bool unique, descending;
    };
    std::vector<Definition> definitions;
    for (int n = 1; n <= count(); ++n) {
        const Order& each = order(n);
        if (each.bag->file.file_name() != path) continue;
        definitions.push_back(
            {each.tag, each.key_text, each.for_text, each.unique, each.descending});
    }
    const std::vector<std::string> others = [&] {
        std::vector<std::string> names;
        for (const std::string& bag : bag_names())
            if (bag != path) names.push_back(bag);
        return names;
    }();
    const std::string fresh = stem_of(path) + ".RIX";
    ::unlink(fresh.c_str());
    close_bags();
    for (const Definition& definition : definitions) {
        BuildConditions conditions;
        conditions.for_text = definition.condition;
        conditions.descending = definition.descending;
        table_.set_build_conditions(std::move(conditions));
        if (!create_order(fresh, definition.tag, definition.key, definition.unique)) {
            close_bags();
            ::unlink(fresh.c_str());
            for (const std::string& bag : others) open_bag(bag, false);
            open_bag(path, false);
            return false;
        }
    }
    // The fresh bag is on disk before it takes the old one's name.
    bool renamed = false;
    const bool closed = close_bags();
    if (!definitions.empty() &&
        (!closed || !sync_file(fresh) || !replace_file(fresh, path, &renamed))) {
        const int error = errno;
        if (!renamed) ::unlink(fresh.c_str());
        for (const std::string& bag : others) open_bag(bag, false);
        open_bag(path, false);
        const bool full = error == ENOSPC || error == EDQUOT;
        raise(kGenWrite, full ? "Disk full" : "Write error", path, "reindex",
              full ? 112 : platform::win_error::GEN_FAILURE, false,
              full ? std::optional<long>(kSubDiskFull) : std::nullopt);
        return false;
    }
    for (const std::string& bag : others) open_bag(bag, false);
    open_bag(path, false);
    return true;
}

std::vector<std::string> IndexOrders::check() {
    std::vector<std::string> faults;
    const long total = static_cast<long>(table_.header().record_count);
    for (int n = 1; n <= count(); ++n) {
        Order& each = order(n);
        std::vector<std::pair<std::string, std::uint32_t>> found;
        try {
            BagUse use(each.bag->file, false);
            for (std::string& fault : each.bag->file.check(header(each), &found))
                faults.push_back(std::move(fault));
        } catch (const Corrupt& fault) {
            faults.push_back("tag " + each.tag + ": " + fault.what());
            continue;
        }
        std::vector<std::pair<std::string, std::uint32_t>> expected;
        std::string bytes;
        for (long r = 1; r <= total; ++r) {
            if (!table_.read_record(r, bytes) || !each.included(table_, bytes.data(), r)) continue;
            expected.emplace_back(each.key_of(table_, bytes.data(), r),
                                  static_cast<std::uint32_t>(r));
        }
        std::sort(expected.begin(), expected.end());
        if (TagHeader* shadow = shadow_header(each)) {
            std::vector<std::pair<std::string, std::uint32_t>> held;
            try {
                BagUse use(each.bag->file, false);
                for (std::string& fault : each.bag->file.check(*shadow, &held))
                    faults.push_back(std::move(fault));
            } catch (const Corrupt& fault) {
                faults.push_back("tag " + each.tag + "'s companion: " + fault.what());
            }
            if (held != expected)
                faults.push_back("tag " + each.tag + "'s companion disagrees with the records");
        }
        if (each.unique) {
            expected.erase(
                std::unique(expected.begin(), expected.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                expected.end());
        }
        if (expected != found) {
            faults.push_back("tag " + each.tag + ": " + std::to_string(found.size()) +
                             " keys disagree with the " + std::to_string(expected.size()) +
                             " that the records give");
        }
    }
    return faults;
}

}  // namespace kv::db
