#pragma once
// What the table functions share: one try of an operation that may meet another copy's hold, the
// current table, the orders noted across a close of the bags, and the table password.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/dbf_table.h"
#include "db/index_orders.h"
#include "tables/table_wait.h"

namespace kv::db {

// Runs one try of an operation with the network-error flag cleared: true when it worked, false
// when another copy was in the way (the error handler set the flag). Any other failure that the
// handler let pass abandons the operation (util::Abandon), so a wait never loops on it.
bool network_try(const std::function<bool()>& operation);

// The table of the current work area; abandons when the area is empty.
Table& current_table();

// The bags, the current order and its scopes, noted before the bags are closed so that they can
// be put back.
struct NotedOrders {
    std::vector<std::string> bags;
    int current = 0;
    std::optional<Value> top;
    std::optional<Value> bottom;
};
NotedOrders note_orders(IndexOrders& orders, std::vector<std::string> bags);
// Opens the noted bags again, each once and in order.
void reopen_bags(IndexOrders& orders, const NotedOrders& noted);
// Sets on the current order those of the noted scopes that were set.
void put_back_scopes(IndexOrders& orders, const NotedOrders& noted);

// True when the table password applies to the table: a password is set and either no protected
// tables are listed or the table's file name (without folder) is one of them.
bool table_password_applies(const std::string& table_file);
// Hands the table password to the driver for the table when it applies (see table_password).
void apply_table_password(const Table& table);
// The password handed to the driver for a table file (by its full path), empty when none. The
// engine keeps its files unencrypted, so the password only travels with the open table.
std::string table_password(const std::string& table_file);

}  // namespace kv::db
