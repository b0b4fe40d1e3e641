#include "db/pack_swap.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "db/dbf_table.h"
#include "db/index_orders.h"
#include "platform/files.h"
#include "util/settings.h"

namespace kv::db {
namespace {

std::function<void(PackStep)>& step_hook() {
    static std::function<void(PackStep)> hook;
    return hook;
}

std::string on_disk(const std::string& name) {
    return platform::resolve_path(name, platform::NameCase::Setting);
}

void erase(const std::string& path) {
    if (!path.empty()) ::unlink(path.c_str());
}

}  // namespace

void set_pack_step_hook(std::function<void(PackStep)> hook) {
    step_hook() = std::move(hook);
}

void pack_step_reached(PackStep step) {
    if (step_hook()) step_hook()(step);
}

std::string stem_of(const std::string& path) {
    const std::string file = platform::file_part(path);
    const auto dot = file.rfind('.');
    return platform::folder_part(path) + (dot == std::string::npos ? file : file.substr(0, dot));
}

PackNames pack_names(const std::string& table_path) {
    PackNames names;
    names.table = table_path;
    const std::string stem = stem_of(table_path);
    names.copy = stem + ".PKW";
    names.copy_memo = stem + ".PKX";
    names.interim = stem + ".PKI";
    names.ready = stem + ".PKD";
    names.ready_memo = stem + ".PKM";
    return names;
}

int sync_folder(const std::string& path) {
    const std::string folder = platform::folder_part(path);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return errno;
    int error = ::fsync(fd) == 0 ? 0 : errno;
    // File systems that cannot flush a folder have nothing to flush.
    if (error == EINVAL || error == EROFS) error = 0;
    if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
    return error;
}

bool sync_file(const std::string& path) {
    platform::File file;
    if (!file.open(path, platform::Access::ReadWrite, platform::Share::DenyNone,
                   platform::Disposition::OpenExisting, platform::NameCase::AsGiven))
        return false;
    const bool flushed = file.flush();
    return file.close() && flushed;
}

bool replace_file(const std::string& from, const std::string& to, bool* renamed) {
    if (renamed) *renamed = false;
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    if (renamed) *renamed = true;
    if (const int error = sync_folder(to); error != 0) {
        errno = error;
        return false;
    }
    return true;
}

void finish_interrupted_pack(const std::string& table) {
    const std::string table_path = on_disk(with_extension(table, ".DBF"));
    const PackNames names = pack_names(table_path);
    const std::string ready = on_disk(names.ready);
    const std::string ready_memo = on_disk(names.ready_memo);
    const bool leftovers = platform::file_exists(on_disk(names.copy)) ||
                           platform::file_exists(on_disk(names.copy_memo)) ||
                           platform::file_exists(on_disk(names.interim));
    if (!platform::file_exists(ready) && !platform::file_exists(ready_memo) && !leftovers) return;
    {
        platform::File hold;  // nobody may be using the table, least of all a pack still running
        if (!hold.open(table_path, platform::Access::Read, platform::Share::DenyAll,
                       platform::Disposition::OpenExisting, platform::NameCase::AsGiven)) {
            if (platform::file_exists(table_path)) return;
        }
        erase(on_disk(names.copy));
        erase(on_disk(names.copy_memo));
        erase(on_disk(names.interim));
        if (!platform::file_exists(ready)) {
            erase(ready_memo);  // the replacement had not been decided
        } else {
            if (platform::file_exists(ready_memo)) {
                // The memo file the table has, found as an open finds it.
                std::string memo = on_disk(stem_of(table_path) + util::settings().memo_extension);
                for (const char* other : {".FPT", ".DBT"}) {
                    if (platform::file_exists(memo)) break;
                    memo = on_disk(stem_of(table_path) + other);
                }
                replace_file(ready_memo, memo);
            }
            replace_file(ready, table_path);
        }
    }
    // The records moved, or the pack's mark on the bag stayed: the own bag is built again.
    const std::string bag = on_disk(stem_of(table_path) + ".NTX");
    if (!platform::file_exists(bag)) return;
    auto packed = Table::open(table_path);
    if (!packed) return;
    IndexOrders& orders = index_orders(*packed);
    if (orders.open_bag(bag, false)) orders.rebuild_all();
}

}  // namespace kv::db
