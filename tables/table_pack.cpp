// MPACK_: the table rewritten without its deleted records by the engine's pack, under the
// system lock.
#include "tables/table_pack.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "db/db_errors.h"
#include "db/index_orders.h"
#include "db/pack_swap.h"
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

std::string on_disk(const std::string& name) {
    return platform::resolve_path(name, platform::NameCase::Setting);
}

[[noreturn]] void copy_failed(const std::string& from, const std::string& to) {
    util::POPMSG("Impossibile copiare il file " + from + " in " + to, 1);
    throw util::Abandon("pack failed");
}

void erase(const std::string& path) {
    if (!path.empty()) ::unlink(path.c_str());
}

// After a failed pack: the copies are dropped (and an earlier version's decided replacement
// finished), and so is the copy that earlier versions of this function wrote under the
// temporary mark.
void drop_copy(const std::string& table) {
    finish_interrupted_pack(table);
    const std::string copy = on_disk(platform::folder_part(on_disk(table)) +
                                     std::string(8, util::TEMPORARY_MARK) + ".DBF");
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
        // The engine's pack (pack_swap.h) keeps the own bag: marked while the records move,
        // built again over the packed ones.
        if (const std::string bag = stem_of(source.file_name()) + ".NTX";
            platform::file_exists(bag))
            index_orders(source).open_bag(bag, false);
        bool damaged = false;
        bool packed = false;
        {
            const util::ErrorHandler outer = util::detail::error_handler_slot();
            util::ScopedErrorHandler note(
                [&](const util::ErrorRecord& record) -> util::ErrorAnswer {
                    damaged = damaged || record.gencode == kGenCorruption;
                    if (outer) return outer(record);
                    throw util::UnhandledError(record);
                });
            packed = source.pack();
        }
        // Damage has said what stopped the pack; any other failure is the copy's.
        if (!packed && damaged) throw util::Abandon("damage stopped the pack");
        if (!packed) copy_failed(source.file_name(), pack_names(source.file_name()).copy);
        areas.close();
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
