#pragma once
// The orders of a table: the tags of the index bags open for it, in the order the bags were
// opened and the tags made, numbered from 1. One may be current; navigation, seeks, scopes, key
// counts and key numbers go through it, and every record written reaches every tag.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/cdx_bag.h"
#include "db/dbf_table.h"
#include "db/language.h"
#include "db/order_list.h"

namespace kv::db {

// The orders of a table's open index bags (see the top of this file).
class IndexOrders : public OrderList {
  public:
    // The orders of a table, with no bag open yet.
    explicit IndexOrders(Table& table);
    ~IndexOrders() override;

    // Bags: ".NTX" is added to a name without extension. False when the bag cannot be opened or
    // is damaged (the error record has been raised).
    // With notice, a bag that may disagree with the table (a change that a process did not
    // finish, or records at the table's end that are in no key) raises the corruption record
    // naming it, and stays open.
    bool open_bag(const std::string& name, bool notice = true);
    // Builds every tag of an open bag again from its stored key and condition, into a fresh file
    // that then replaces the bag; false with the error record raised.
    bool reindex_bag(const std::string& name);
    // Builds a tag (replacing one of that name) under the build conditions set just before on
    // the table, creating the bag when needed; the new order becomes current.
    bool create_order(const std::string& bag, const std::string& tag, const std::string& key_text,
                      bool unique);
    // Removes a tag from a bag; false when it is not there.
    bool delete_order(const std::string& bag, const std::string& tag);
    // Closes every bag; no order is current. False when a bag's file reported an error on
    // closing.
    bool close_bags();
    // Full paths of the open bags, in the order they were opened.
    std::vector<std::string> bag_names() const;

    // The number of open orders.
    int count() const { return static_cast<int>(orders_.size()); }
    // The current order's number; 0 for natural order.
    int current() const { return current_; }
    // 0 for no order; false for a number without an order.
    bool set_current(int number);
    // The number of the order with that tag name (in that bag when one is named), 0 for none.
    int find(const std::string& tag, const std::string& bag = {}) const;
    // The tag name of an order.
    std::string tag_name(int number) const;
    // The bag file of an order.
    std::string bag_name(int number) const;
    // The key expression of an order.
    std::string key_text(int number) const;
    // The FOR condition of an order ("" when none).
    std::string for_text(int number) const;
    // True when an order keeps one record per key.
    bool unique(int number) const;
    // True when an order runs from the highest key down.
    bool descending(int number) const;
    // The type letter of an order's keys ('C', 'N', 'D', 'L').
    char key_type(int number) const;

    // Scopes of the current order (top: its first key, bottom: its last); nullopt clears.
    void set_scope(bool top, const std::optional<Value>& value);
    // The top or bottom scope of the current order; none when not set.
    std::optional<Value> scope(bool top) const;
    // Keys of the current order within its scope, and the current record's place among them
    // (0 when it is not there).
    long key_count();
    // The position of the current record among the current order's keys (from 1).
    long key_number();
    // The key of the current order for the current record.
    std::optional<std::string> current_key();

    // Faults of every tag: its tree, and its keys against the records. Empty when all is sound.
    std::vector<std::string> check();

    // OrderList.
    bool active() const override { return current_ != 0; }
    long first() override;
    // The last record number in the current order, within its scope.
    long last() override;
    // The record after the table's current one in the current order.
    long next() override;
    // The record before the table's current one in the current order.
    long previous() override;
    long seek(const Value& key, bool soft, bool last, bool& found) override;
    bool current_matches(const Value& key) override;
    void about_to_write(long recno, const std::string* before, const std::string& after) override;
    // A write announced by about_to_write failed: its changes are dropped.
    void write_abandoned() override;
    void record_written(long recno, const std::string* before, const std::string& after) override;
    // Puts back the keys of the record whose key write failed, and clears the bags' marks.
    bool undo_failed_keys() override;
    void rebuild_all() override;
    // Empties every tag (zap).
    void empty_all() override;
    void mark_rebuild() override { mark_all(IndexBag::kPendingAll); }
    // Clears the mark of mark_rebuild after a zap emptied the tags.
    void tags_emptied() override;
    // Closes every bag; false when a bag's file reported an error on closing.
    bool close_all() override;

    struct Order;

  private:
    struct Bag;
    struct Change {
        Order* order;
        std::optional<std::string> old_key, new_key;
    };
    struct Prepared {
        long recno = 0;
        std::vector<std::pair<Bag*, std::vector<Change>>> bags;
    };
    Prepared prepare(long recno, const std::string* before, const std::string& after);
    void begin_changes(Prepared& prepared);
    struct KeyPlaces {
        IndexBag* file;
        TagHeader* tag;
        TagHeader* shadow;
        bool unique;
    };
    KeyPlaces places(Order& order);
    void undo_change(IndexBag& file, Change& change, std::uint32_t recno);
    void list_orders();
    std::optional<std::string> disagreement(Bag& bag);
    void mark_all(std::uint32_t what);
    Order& order(int number) const;
    TagHeader& header(Order& order);
    TagHeader* shadow_header(Order& order);
    long logical(Order& order, TagPosition position);
    long count_keys();
    long place_of_current();
    long step_from_current(int direction);
    long end_of_order(int direction);
    long reported(const char* operation, const std::function<long()>& figure);
    bool in_scope(const Order& order, const std::string& key) const;
    TagPosition physical_first(Order& order);
    TagPosition physical_last(Order& order);
    bool build(Bag& bag, TagHeader tag, const BuildConditions& conditions, Order& prototype);
    std::optional<long> replacement(Order& order, const std::string& key, long except);

    Table& table_;
    std::vector<std::unique_ptr<Bag>> bags_;
    std::vector<std::unique_ptr<Order>> orders_;
    int current_ = 0;
    std::optional<Prepared> prepared_;  // the changes of a record being written
    std::optional<Prepared> failed_;    // those of the last record whose keys failed
};

// The table's orders, installed on first use.
IndexOrders& index_orders(Table& table);

}  // namespace kv::db
