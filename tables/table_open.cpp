// Opening and closing tables in work areas, with the waits for other copies of the program.
#include <cstdio>

#include "db/work_areas.h"
#include "platform/files.h"
#include "tables/table_pack.h"
#include "tables/table_support.h"
#include "tables/tables.h"
#include "util/file_names.h"
#include "util/paths.h"
#include "util/startup.h"

namespace kv::db {
namespace {

constexpr const char* kSharedWaitText = "E' in corso un'operazione di sistema...";
constexpr const char* kExclusiveWaitText = "Spegnere tutti i terminali...";

}  // namespace

void DBOPEN(bool new_area, const std::string& driver, const std::string& table,
            const std::string& alias, bool shared, bool read_only) {
    const OpenOptions options{.shared = shared, .read_only = read_only, .alias = alias};
    const auto open_once = [&] {
        return network_try([&] { return work_areas().open(table, options, new_area); });
    };
    finish_interrupted_pack(table);
    NotedPopup popup;
    if (!open_once()) {
        if (shared) {
            popup.show_wait(kSharedWaitText);
        } else {
            popup.show_wait(kExclusiveWaitText, std::string("Attenzione"));
        }
        do pause_between_tries();
        while (!open_once());
    }
    apply_table_password(*work_areas().table());
    popup.restore();
}

void DBCLOSE(const std::string& alias) {
    auto& areas = work_areas();
    const auto area = alias.empty() ? std::optional<int>(areas.current()) : areas.area_of(alias);
    if (!area || !areas.table(*area)) return;
    areas.close(*area);
    platform::delete_file(view_index_name(*area), platform::NameCase::AsGiven);
}

bool NETUSED(const std::string& table) {
    const std::string file = with_extension(table, ".DBF");
    if (!platform::file_exists(file)) return false;
    platform::File probe;
    return !probe.open(file, platform::Access::Read, platform::Share::DenyAll,
                       platform::Disposition::OpenExisting);
}

std::string view_index_name(int area) {
    const std::string name =
        std::string(1, util::TEMPORARY_MARK) + "VIEW" + std::to_string(area) + ".NTX";
    return util::join_path(util::library_state().login_folder, name);
}

std::string GETNEWALIAS() {
    auto& areas = work_areas();
    const int noted = areas.current();
    areas.select(0);
    char alias[16];
    std::snprintf(alias, sizeof alias, "ALIAS%03d", areas.current());
    areas.select(noted);
    return alias;
}

}  // namespace kv::db
