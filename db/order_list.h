#pragma once
// What a table asks of its orders: navigation by record number through the current order, and
// keeping every open order in step with each record written. The index bags implement it
// (index_orders.h); a table without bags has an empty list.
#include <string>

#include "db/language.h"

namespace kv::db {

// The orders a table navigates and keeps in step (see the top of this file).
class OrderList {
  public:
    virtual ~OrderList() = default;
    // True while an order is current (navigation goes through it).
    virtual bool active() const = 0;
    // Record numbers in the current order, within its scope, 0 when there is none; next and
    // previous start from the table's current record.
    virtual long first() = 0;
    // The last record number in the current order, within its scope; 0 when none.
    virtual long last() = 0;
    // The record after the table's current one; 0 past the end.
    virtual long next() = 0;
    // The record before the table's current one; 0 before the start.
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
    // A write announced by about_to_write failed: its changes are dropped.
    virtual void write_abandoned() = 0;
    // A record was written: its bytes before (nullptr for a new record) and after.
    virtual void record_written(long recno, const std::string* before,
                                const std::string& after) = 0;
    // After record_written failed and the record was put back as it was: its keys are put back
    // too and the marks cleared; false (the marks stay) when that fails as well.
    virtual bool undo_failed_keys() = 0;
    // Every record changed (pack) or went away (zap).
    virtual void rebuild_all() = 0;
    // Every record went away (zap): every tag is emptied.
    virtual void empty_all() = 0;
    // Marks every bag as about to disagree with its table (a pack's records move, a zap's go),
    // until a rebuild (or tags_emptied after a zap) clears the mark.
    virtual void mark_rebuild() = 0;
    // Clears the mark of mark_rebuild after a zap emptied the tags.
    virtual void tags_emptied() = 0;
    // Closes every bag; false when a bag's file reported an error on closing.
    virtual bool close_all() = 0;
};

}  // namespace kv::db
