// Putting back the keys of a record whose write to the tags failed half-way, so that a failure
// the writing process undoes leaves its bags unmarked and in step with the table.
#include "db/db_errors.h"
#include "db/index_orders.h"

namespace kv::db {
namespace {

bool holds(IndexBag& file, TagHeader& tag, const std::string& key, std::uint32_t recno) {
    const TagPosition at = file.lower_bound(tag, key, recno);
    return at.valid() && at.entry().key == key && at.entry().recno == recno;
}

// A tag holding every record: the new key's entry goes, the old key's comes back. Each step
// looks first, so that changes that were never made are left alone.
void put_back(IndexBag& file, TagHeader& tag, const std::optional<std::string>& old_key,
              const std::optional<std::string>& new_key, std::uint32_t recno) {
    if (new_key) file.remove(tag, *new_key, recno);
    if (old_key && !holds(file, tag, *old_key, recno)) file.insert(tag, *old_key, recno);
}

}  // namespace

void IndexOrders::undo_change(IndexBag& file, Change& change, std::uint32_t recno) {
    const KeyPlaces at = places(*change.order);
    if (at.shadow) put_back(file, *at.shadow, change.old_key, change.new_key, recno);
    TagHeader& tag = *at.tag;
    if (!at.unique) {
        put_back(file, tag, change.old_key, change.new_key, recno);
        return;
    }
    // A unique tag: the new key goes back to its next holder, the old key to this record
    // unless a record before it holds it.
    if (change.new_key) {
        const TagPosition held = file.lower_bound(tag, *change.new_key, 0);
        if (held.valid() && held.entry().key == *change.new_key && held.entry().recno == recno) {
            file.remove(tag, *change.new_key, recno);
            const auto other =
                replacement(*change.order, *change.new_key, static_cast<long>(recno));
            if (other) file.insert(tag, *change.new_key, static_cast<std::uint32_t>(*other));
        }
    }
    if (change.old_key) {
        const TagPosition held = file.lower_bound(tag, *change.old_key, 0);
        if (!held.valid() || held.entry().key != *change.old_key) {
            file.insert(tag, *change.old_key, recno);
        } else if (held.entry().recno > recno) {
            const std::uint32_t later = held.entry().recno;
            file.remove(tag, *change.old_key, later);
            file.insert(tag, *change.old_key, recno);
        }
    }
}

bool IndexOrders::undo_failed_keys() {
    if (!failed_) return true;
    Prepared failed = std::move(*failed_);
    failed_.reset();
    const auto recno = static_cast<std::uint32_t>(failed.recno);
    for (auto& [bag, changes] : failed.bags) {
        if (changes.empty()) continue;
        IndexBag& file = *places(*changes.front().order).file;
        try {
            file.begin(true);
        } catch (const WriteFailed&) {
            return false;
        } catch (const Corrupt&) {
            return false;
        }
        try {
            for (Change& change : changes) undo_change(file, change, recno);
            file.set_pending(0);
        } catch (const WriteFailed&) {
            file.end();
            return false;
        } catch (const Corrupt&) {
            file.end();
            return false;
        }
        file.end();
    }
    return true;
}

}  // namespace kv::db
