// Locks and appends that wait as long as another copy of the program is in the way.
#include "tables/table_support.h"
#include "tables/tables.h"

namespace kv::db {

void DBLOCK(bool record) {
    Table& table = current_table();
    NotedPopup popup;
    try_until_done([&] { return record ? table.lock_record() : table.lock_file(); }, popup);
    popup.restore();
}

void DBAPP() {
    Table& table = current_table();
    NotedPopup popup;
    DBLOCK(false);
    try_until_done([&] { return network_try([&] { return table.append(); }); }, popup);
    DBLOCK(true);
    popup.restore();
}

}  // namespace kv::db
