// The system lock: the one record of the table NET (or of the central lock table when it exists),
// locked in the reserved work area while a copy of the program runs a system operation.
#include "tables/system_lock.h"
#include "db/work_areas.h"
#include "platform/files.h"
#include "tables/login.h"
#include "tables/table_support.h"
#include "tables/tables.h"
#include "util/abandon.h"
#include "util/disk_checks.h"
#include "util/startup.h"
#include "util/system_unlock.h"

namespace kv::db {
namespace {

// The name of a file without extension, written so that no ".DBF" is added to it.
std::string without_default_extension(const std::string& name) {
    return name + ".";
}

// The quiet end of the program of the login routines.
[[noreturn]] void end_program() {
    throw util::QuitProgram{1};
}

}  // namespace

std::string system_lock_table() {
    return platform::file_exists(util::CENTRAL_LOCK_TABLE) ? util::CENTRAL_LOCK_TABLE
                                                           : kLocalLockTable;
}

void SLOCK() {
    if (util::nobody_logged_in()) return;
    static const bool installed = [] {
        // The disk checks and the error handler release the lock before they show a message.
        util::set_system_unlocker([] { SUNLOCK(); });
        return true;
    }();
    (void)installed;
    auto& areas = work_areas();
    const int noted = areas.current();
    areas.select(0);
    areas.select(kSystemLockArea);
    DBOPEN(false, "", without_default_extension(system_lock_table()), kSystemLockAlias, true);
    current_table().go_top();
    DBLOCK(true);
    areas.select(noted);
}

void SUNLOCK() {
    if (util::nobody_logged_in()) return;
    auto& areas = work_areas();
    const int noted = areas.current();
    areas.select(kSystemLockArea);
    areas.close();
    areas.select(noted);
}

void SCREATE() {
    if (platform::file_exists(kLocalLockTable) || platform::file_exists(util::CENTRAL_LOCK_TABLE)) {
        return;
    }
    auto& areas = work_areas();
    const int noted = areas.current();
    try {
        const std::string name = without_default_extension(kLocalLockTable);
        DBGEN(name, {{"LOCK", 'C', 1, 0}});
        if (!platform::file_exists(kLocalLockTable)) end_program();
        DBOPEN(true, "", name, "", true);
        DBAPP();
        areas.close();
    } catch (const util::Abandon&) {
        areas.select(noted);
        end_program();
    }
    areas.select(noted);
}

}  // namespace kv::db
