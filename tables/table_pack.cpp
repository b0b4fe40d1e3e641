// MPACK_: the table rewritten without its deleted records, through a copy written beside it.
#include "tables/table_pack.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "db/index_orders.h"
#include "db/work_areas.h"
#include "platform/files.h"
#include "tables/login.h"
#include "tables/table_support.h"
#include "tables/tables.h"
#include "util/abandon.h"
#include "util/file_names.h"
#include "util/msgbox.h"
#include "util/settings.h"

namespace kv::db {
namespace {

void reached(PackStep step) {
    pack_step_reached(step);
}

struct PackFiles {
    std::string table;       // on disk
    std::string memo;        // on disk, empty when the table has none
    std::string copy;        // the copy while it is written
    std::string ready;       // the finished copy
    std::string ready_memo;  // the finished copy's memo
};

// The copy is written under the temporary mark in the table's folder; the ready names are the
// engine's (pack_swap.h), so that the next open finishes an interrupted replacement.
PackFiles names_for(const std::string& table_path) {
    const PackNames engine = pack_names(table_path);
    PackFiles names;
    names.table = table_path;
    names.copy = platform::folder_part(table_path) + std::string(8, util::TEMPORARY_MARK) + ".DBF";
    names.ready = engine.ready;
    names.ready_memo = engine.ready_memo;
    return names;
}

std::string on_disk(const std::string& name) {
    return platform::resolve_path(name, platform::NameCase::Setting);
}

bool replace(const std::string& from, const std::string& to) {
    return replace_file(from, to);
}

[[noreturn]] void copy_failed(const std::string& from, const std::string& to) {
    util::POPMSG("Impossibile copiare il file " + from + " in " + to, 1);
    throw util::Abandon("pack failed");
}

// Writes the records that are not deleted, with every field, into a new table; the memo name of
// the copy comes back in memo (empty when none).
bool write_copy(Table& source, const std::string& copy, std::string& memo) {
    std::vector<FieldSpec> fields;
    for (int i = 0; i < source.field_count(); ++i) fields.push_back(source.field_spec(i));
    platform::delete_file(copy, platform::NameCase::AsGiven);
    if (!Table::create(copy, fields)) return false;
    auto target = Table::open(copy, OpenOptions{});
    if (!target) return false;
    const long count = source.record_count();
    for (long r = 1; r <= count; ++r) {
        source.go_to(r);
        if (source.deleted()) continue;
        if (!target->append()) return false;
        for (int i = 0; i < source.field_count(); ++i) {
            // A value that cannot be read (its damage raised, naming record and field) stops the
            // pack: never a blank in its place.
            const Value value = source.get(i);
            if (std::holds_alternative<Nil>(value)) throw util::Abandon("damage stopped the pack");
            if (!target->put(i, value)) return false;
        }
        if (!target->commit()) return false;
    }
    memo = target->memo() ? target->memo()->name() : std::string();
    target->close();
    return sync_file(on_disk(copy)) && (memo.empty() || sync_file(memo));
}

void erase(const std::string& path) {
    if (!path.empty()) ::unlink(path.c_str());
}

// The table's own bag (its name with ".NTX"), when there is one, rebuilt over the packed records.
void rebuild_own_bag(const std::string& table_path) {
    const std::string bag = stem_of(table_path) + ".NTX";
    if (!platform::file_exists(bag)) return;
    auto table = Table::open(table_path);
    if (!table) return;
    IndexOrders& orders = index_orders(*table);
    if (orders.open_bag(bag, false)) orders.rebuild_all();
}

}  // namespace

namespace {

// After a failed pack: a decided replacement is finished, anything else of the copy erased.
void drop_copy(const std::string& table) {
    finish_interrupted_pack(table);
    const std::string copy = on_disk(names_for(on_disk(table)).copy);
    erase(copy);
    erase(stem_of(copy) + util::settings().memo_extension);
}

}  // namespace

void MPACK_(const std::string& table) {
    const std::string name = with_extension(table, ".DBF");
    SLOCK();
    auto& areas = work_areas();
    const int noted = areas.current();
    try {
        finish_interrupted_pack(name);
        DBOPEN(true, "", name, "MPACK", false);
        Table& source = current_table();
        reached(PackStep::Opened);
        PackFiles names = names_for(source.file_name());
        names.memo = source.memo() ? source.memo()->name() : std::string();
        std::string copy_memo;
        if (!write_copy(source, names.copy, copy_memo)) copy_failed(source.file_name(), names.copy);
        const std::string copy = on_disk(names.copy);
        reached(PackStep::CopyWritten);
        // The own bag is marked until it is rebuilt: a process dying after the replacement
        // leaves word for the next open of the bag.
        if (const std::string bag = stem_of(names.table) + ".NTX"; platform::file_exists(bag)) {
            IndexOrders& orders = index_orders(source);
            if (orders.open_bag(bag, false)) orders.mark_rebuild();
            orders.close_bags();
        }
        if (!names.memo.empty()) {
            if (!replace(copy_memo, names.ready_memo)) copy_failed(copy_memo, names.ready_memo);
            reached(PackStep::MemoReady);
        }
        if (!replace(copy, names.ready)) copy_failed(copy, names.ready);
        reached(PackStep::TableReady);
        if (!names.memo.empty()) {
            if (!replace(names.ready_memo, names.memo)) copy_failed(names.ready_memo, names.memo);
            reached(PackStep::MemoReplaced);
        }
        if (!replace(names.ready, names.table)) copy_failed(names.ready, names.table);
        reached(PackStep::TableReplaced);
        areas.close();
        rebuild_own_bag(names.table);
    } catch (...) {
        if (const auto area = areas.area_of("MPACK")) areas.close(*area);
        drop_copy(name);
        areas.select(noted);
        SUNLOCK();
        throw;
    }
    areas.select(noted);
    SUNLOCK();
}

}  // namespace kv::db
