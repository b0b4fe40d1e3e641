#pragma once
// What a table asks of its orders: navigation by record number through the current order, and
// keeping every open order in step with each record written. The index bags implement it
// (index_orders.h); a table without bags has an empty list.
#include <string>

#include "db/language.h"

namespace kv::db {

class OrderList {
  public:
    virtual ~OrderList() = default;
    // True while an order is current (navigation goes through it).
    virtual bool active() const = 0;
    // Record numbers in the current order, within its scope, 0 when there is none; next and
    // previous start from the table's current record.
    virtual long first() = 0;
    virtual long last() = 0;
    virtual long next() = 0;
    virtual long previous() = 0;
    // The first (or last) record whose key begins with the value; with soft, the record of the
    // next key when none matches. 0 when there is none; found tells whether it matched.
    virtual long seek(const Value& key, bool soft, bool last, bool& found) = 0;
    // Whether the table's current record's key begins with the value.
    virtual bool current_matches(const Value& key) = 0;
    // A record is about to be written (its keys are taken in hand and the change marked), or its
    // write failed after that.
    virtual void about_to_write(long recno, const std::string* before,
                                const std::string& after) = 0;
    virtual void write_abandoned() = 0;
    // A record was written: its bytes before (nullptr for a new record) and after.
    virtual void record_written(long recno, const std::string* before,
                                const std::string& after) = 0;
    // Every record changed (pack) or went away (zap).
    virtual void rebuild_all() = 0;
    virtual void empty_all() = 0;
    // Marks every bag as about to disagree with its table (a pack's records move, a zap's go),
    // until a rebuild (or tags_emptied after a zap) clears the mark.
    virtual void mark_rebuild() = 0;
    virtual void tags_emptied() = 0;
    virtual void close_all() = 0;
};

}  // namespace kv::db
