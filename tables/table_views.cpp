// Views: a temporary index per work area over the records that pass a filter, built here or by
// the maintenance server from a request file.
#include "db/index_orders.h"
#include "db/work_areas.h"
#include "platform/files.h"
#include "tables/table_support.h"
#include "tables/tables.h"
#include "tables/view_request.h"
#include "util/abandon.h"
#include "util/file_names.h"
#include "util/startup.h"
#include "util/status_popup.h"

namespace kv::db {
namespace {

constexpr const char* kViewWaitText = "Elaborazione in corso...";

// The server runs here when the current folder's SERVER.EXE is held: an exclusive open of it
// meets a sharing violation (as the server's own ISSERVERRUNNING finds).
bool server_holds_its_file() {
    constexpr const char* kServerFile = "SERVER.EXE";
    if (!platform::file_exists(kServerFile)) return false;
    platform::File probe;
    if (probe.open(kServerFile, platform::Access::ReadWrite, platform::Share::DenyAll,
                   platform::Disposition::OpenExisting))
        return false;
    return platform::last_file_error().win32 == platform::win_error::SHARING_VIOLATION;
}

std::function<bool()>& server_probe() {
    static std::function<bool()> probe = server_holds_its_file;
    return probe;
}

// The saved orders slot of a work area, when the area has one.
std::string* saved_slot(int area) {
    auto& saved = util::library_state().saved_orders;
    if (area < 1 || area > static_cast<int>(saved.size())) return nullptr;
    return &saved[static_cast<std::size_t>(area - 1)];
}

ViewRequest request_for(const ViewOptions& options, const std::string& key, int area) {
    ViewRequest request;
    auto& areas = work_areas();
    for (const int n : areas.used_areas()) {
        if (n >= kMaxWorkArea) continue;
        Table& table = *areas.table(n);
        ViewRequestArea described{n, table.file_name(), table.alias(), {}};
        if (auto* orders = dynamic_cast<IndexOrders*>(table.orders())) {
            described.bags = orders->bag_names();
        }
        request.areas.push_back(std::move(described));
    }
    request.select_alias = areas.table()->alias();
    request.view_area = area;
    request.key = key;
    request.filter_text = options.filter_text;
    request.current_order = options.current_order;
    request.unique = options.unique;
    return request;
}

// Asks the server for the view index and moves its answer into place.
void build_by_server(const ViewOptions& options, const std::string& key, int area) {
    const std::string name = "CMD_" + util::GETNEWFNAME();
    if (!write_view_request("./" + name, request_for(options, key, area))) {
        throw util::Abandon("the view request cannot be written");
    }
    while (platform::file_exists(name + ".INI")) pause_between_tries();
    platform::delete_file(view_index_name(area), platform::NameCase::AsGiven);
    if (!platform::move_file(name + ".NTX", view_index_name(area), platform::NameCase::AsGiven)) {
        throw util::Abandon("the server built no view index");
    }
}

void build_here(const ViewOptions& options, const std::string& key, int area) {
    Table& table = current_table();
    BuildConditions conditions;
    conditions.for_text = "!DELETED()";
    conditions.for_function = options.filter ? options.filter : [] { return true; };
    conditions.current_order_only = options.current_order;
    table.set_build_conditions(std::move(conditions));
    index_orders(table).create_order(view_index_name(area), view_tag(area), key, options.unique);
}

}  // namespace

void set_maintenance_server_probe(std::function<bool()> probe) {
    server_probe() = probe ? std::move(probe) : std::function<bool()>(server_holds_its_file);
}

void DBSETVIEW(const ViewOptions& options) {
    Table& table = current_table();
    IndexOrders& orders = index_orders(table);
    const int area = work_areas().current();
    const NotedOrders noted = note_orders(orders, ORDLIST(view_index_name(area)));
    const std::string key = !options.key.empty()    ? options.key
                            : orders.current() != 0 ? orders.key_text(orders.current())
                                                    : std::string("RECNO()");
    const bool quiet = options.quiet.value_or(util::CURMSG().has_value());
    if (!quiet) util::POPMSG({.text = std::string(kViewWaitText)});
    const std::string view_prefix = view_tag(area).substr(0, 5);  // mark + "VIEW"
    if (std::string* slot = saved_slot(area);
        slot && !options.keep_saved && orders.tag_name(orders.current()).rfind(view_prefix, 0)) {
        *slot = orders.current() != 0 ? std::to_string(orders.current()) : std::string();
    }
    try {
        if (!options.current_order) orders.close_bags();
        if (options.server && server_probe() && server_probe()()) {
            build_by_server(options, key, area);
        } else {
            build_here(options, key, area);
        }
    } catch (...) {
        // No view: the orders as they were, and no pop-up left on screen.
        orders.close_bags();
        reopen_bags(orders, noted);
        orders.set_current(noted.current);
        put_back_scopes(orders, noted);
        if (!quiet) util::POPMSG();
        throw;
    }
    orders.close_bags();
    reopen_bags(orders, noted);
    orders.open_bag(view_index_name(area));
    orders.set_current(orders.find(view_tag(area)));
    put_back_scopes(orders, noted);
    if (!quiet) util::POPMSG();
    table.go_top();
}

void DBCLEARVIEW(bool restore) {
    // Without a table there is no view to clear, and waiting would not bring one.
    if (!work_areas().table()) return;
    for (;;) {
        try {
            Table& table = current_table();
            IndexOrders& orders = index_orders(table);
            const int area = work_areas().current();
            const NotedOrders noted = note_orders(orders, ORDLIST(view_index_name(area)));
            orders.close_bags();
            platform::delete_file(view_index_name(area), platform::NameCase::AsGiven);
            reopen_bags(orders, noted);
            int order = noted.current;
            if (!restore) {
                const std::string* slot = saved_slot(area);
                order = slot && !slot->empty() ? std::stoi(*slot) : 0;
            }
            orders.set_current(order);
            put_back_scopes(orders, noted);
            table.go_top();
            return;
        } catch (const util::Abandon&) {
            pause_between_tries();  // the whole sequence starts again
        }
    }
}

}  // namespace kv::db
