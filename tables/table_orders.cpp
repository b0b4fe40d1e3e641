// Order bags of the current table: opening, building, naming and counting.
#include "db/index_orders.h"
#include "tables/table_support.h"
#include "tables/tables.h"

namespace kv::db {
namespace {

std::string bag_file(const std::string& bag) {
    return with_extension(bag, ".NTX");
}

std::string upper_full_path(const std::string& name) {
    return platform::to_upper_name(platform::full_path_name(name).value_or(name));
}

// Every occurrence of "FIELD -> " taken out of a key text.
std::string without_field_arrows(std::string key) {
    static const std::string arrow = "FIELD -> ";
    for (auto at = key.find(arrow); at != std::string::npos; at = key.find(arrow, at)) {
        key.erase(at, arrow.size());
    }
    return key;
}

}  // namespace

NotedOrders note_orders(IndexOrders& orders, std::vector<std::string> bags) {
    return {std::move(bags), orders.current(), orders.scope(true), orders.scope(false)};
}

void reopen_bags(IndexOrders& orders, const NotedOrders& noted) {
    for (const auto& bag : noted.bags) orders.open_bag(bag);
}

void put_back_scopes(IndexOrders& orders, const NotedOrders& noted) {
    if (noted.top) orders.set_scope(true, noted.top);
    if (noted.bottom) orders.set_scope(false, noted.bottom);
}

void ORDADD(const std::string& bag) {
    index_orders(current_table()).open_bag(bag_file(bag));
}

void ORDBUILD(const std::string& bag, const std::string& tag, const std::string& key,
              const std::function<Value()>& key_function, bool unique) {
    // The key text is compiled by the engine; the key function is its compiled form already.
    (void)key_function;
    index_orders(current_table())
        .create_order(bag_file(bag), tag, without_field_arrows(key), unique);
}

std::string ORDBAGNAME(int order) {
    return index_orders(current_table()).bag_name(order);
}

std::vector<std::string> ORDLIST() {
    IndexOrders& orders = index_orders(current_table());
    std::vector<std::string> bags;
    for (int n = 1; n <= orders.count() && !orders.bag_name(n).empty(); ++n) {
        bags.push_back(orders.bag_name(n));
    }
    return bags;
}

std::vector<std::string> ORDLIST(const std::string& bag) {
    const std::string left_out = upper_full_path(bag_file(bag));
    std::vector<std::string> bags;
    for (const auto& name : ORDLIST()) {
        if (upper_full_path(name) != left_out) bags.push_back(name);
    }
    return bags;
}

std::vector<std::string> ORDLIST(const std::vector<std::string>& bags) {
    for (const auto& bag : bags) ORDADD(bag);
    return {};
}

long TOTREC(bool first) {
    IndexOrders& orders = index_orders(current_table());
    if (!first) return orders.key_count();
    const int noted = orders.current();
    const auto top = orders.scope(true);
    const auto bottom = orders.scope(false);
    orders.set_current(1);
    orders.set_scope(true, top);
    orders.set_scope(false, bottom);
    const long count = orders.key_count();
    orders.set_current(noted);
    return count;
}

}  // namespace kv::db
