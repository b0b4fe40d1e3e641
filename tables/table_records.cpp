// Deleting, emptying and creating tables, and the next code of a table.
#include <cmath>
#include <cstdio>

#include "gui/message_box.h"
#include "tables/table_support.h"
#include "tables/tables.h"
#include "util/abandon.h"
#include "util/disk_checks.h"
#include "util/msgbox.h"
#include "util/paths.h"

namespace kv::db {

void DBDEL(bool commit) {
    Table& table = current_table();
    if (table.eof()) return;
    DBLOCK(false);
    const long deleted = table.record_number();
    table.skip(1);
    const long following = table.eof() ? 0 : table.record_number();
    table.go_to(deleted);
    table.mark_deleted(true);
    if (commit) {
        table.commit();
        table.go_to(deleted);
    }
    table.go_to(following);
    table.unlock(0);
}

bool DELREC() {
    Table& table = current_table();
    if (table.eof()) {
        gui::beep();
        return false;
    }
    if (util::POPMSG("Confermi la cancellazione?", 2) != 1) return false;
    if (util::ISPROTECTED("")) return false;
    DBDEL();
    return true;
}

void DBZAP() {
    Table& table = current_table();
    IndexOrders& orders = index_orders(table);
    const NotedOrders noted = note_orders(orders, ORDLIST());
    table.zap();
    orders.close_bags();
    reopen_bags(orders, noted);
    orders.set_current(noted.current);
    put_back_scopes(orders, noted);
    table.go_top();
}

void DBGEN(const std::string& name, const std::vector<FieldSpec>& fields, const std::string& driver,
           std::uint64_t bytes) {
    // There are no drive letters: the room that counts is that of the table's own folder.
    if (util::ISFULL(util::FULLPATH(name), bytes)) throw util::Abandon("not enough disk space");
    Table::create(name, fields);
}

}  // namespace kv::db
