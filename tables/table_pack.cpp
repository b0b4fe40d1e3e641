// MPACK_: the table rewritten without its deleted records, through a copy written beside it.
#include "tables/table_pack.h"

#include <fcntl.h>
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

std::function<void(PackStep)>& step_hook() {
    static std::function<void(PackStep)> hook;
    return hook;
}

void reached(PackStep step) {
    if (step_hook()) step_hook()(step);
}

std::string stem_of(const std::string& path) {
    const std::string file = platform::file_part(path);
    const auto dot = file.rfind('.');
    return platform::folder_part(path) + (dot == std::string::npos ? file : file.substr(0, dot));
}

struct PackNames {
    std::string table;       // on disk
    std::string memo;        // on disk, empty when the table has none
    std::string copy;        // the copy while it is written
    std::string ready;       // the finished copy
    std::string ready_memo;  // the finished copy's memo
};

PackNames names_for(const std::string& table_path) {
    PackNames names;
    names.table = table_path;
    const std::string stem = stem_of(table_path);
    names.copy = platform::folder_part(table_path) + std::string(8, util::TEMPORARY_MARK) + ".DBF";
    names.ready = stem + ".PKD";
    names.ready_memo = stem + ".PKM";
    return names;
}

std::string on_disk(const std::string& name) {
    return platform::resolve_path(name, platform::NameCase::Setting);
}

bool sync_file(const std::string& path) {
    platform::File file;
    return file.open(path, platform::Access::ReadWrite, platform::Share::DenyNone,
                     platform::Disposition::OpenExisting, platform::NameCase::AsGiven) &&
           file.flush();
}

void sync_folder(const std::string& path) {
    const std::string folder = platform::folder_part(path);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Renames over an existing file in one step, as the file system does it.
bool replace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    sync_folder(to);
    return true;
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
            if (!target->put(i, source.get(i))) return false;
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
    if (orders.open_bag(bag)) orders.rebuild_all();
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

void set_pack_step_hook(std::function<void(PackStep)> hook) {
    step_hook() = std::move(hook);
}

void finish_interrupted_pack(const std::string& table) {
    const std::string table_path = on_disk(with_extension(table, ".DBF"));
    const PackNames names = names_for(table_path);
    const std::string ready = on_disk(names.ready);
    const std::string ready_memo = on_disk(names.ready_memo);
    if (!platform::file_exists(ready) && !platform::file_exists(ready_memo)) return;
    platform::File hold;  // nobody may be using the table, least of all a pack still running
    if (!hold.open(table_path, platform::Access::Read, platform::Share::DenyAll,
                   platform::Disposition::OpenExisting, platform::NameCase::AsGiven)) {
        if (platform::file_exists(table_path)) return;
    }
    if (!platform::file_exists(ready)) {
        erase(ready_memo);  // the replacement had not been decided
        return;
    }
    if (platform::file_exists(ready_memo)) {
        const std::string memo = stem_of(table_path) + util::settings().memo_extension;
        replace(ready_memo, on_disk(memo));
    }
    replace(ready, table_path);
}

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
        PackNames names = names_for(source.file_name());
        names.memo = source.memo() ? source.memo()->name() : std::string();
        std::string copy_memo;
        if (!write_copy(source, names.copy, copy_memo)) copy_failed(source.file_name(), names.copy);
        const std::string copy = on_disk(names.copy);
        reached(PackStep::CopyWritten);
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
