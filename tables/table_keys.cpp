// Key searches of a table browse: the record whose key begins with the letter typed.
#include <cctype>

#include "db/index_orders.h"
#include "tables/table_support.h"
#include "tables/tables.h"
#include "util/settings.h"
#include "util/startup.h"

namespace kv::db {
namespace {

bool printable(int key) {
    return key >= 32 && key <= 126;
}

std::string upper_char(int key) {
    return std::string(1, static_cast<char>(std::toupper(key)));
}

std::string upper(std::string text) {
    return platform::to_upper_name(std::move(text));
}

// The current order's key of the current record, in upper case ("" at end of file).
std::string current_key(Table& table) {
    if (table.eof()) return {};
    return upper(index_orders(table).current_key().value_or(""));
}

bool begins_with(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A deleted record reached while deleted records are hidden is passed over.
void pass_deleted(Table& table) {
    if (!table.eof() && table.deleted() && util::settings().hide_deleted) table.skip(1);
}

void redraw_when_moved(Browse& browse, Table& table, long start) {
    if (table.record_number() != start) browse.redraw();
}

}  // namespace

void KEYSEEK(Browse& browse, int key, const std::string& prefix) {
    if (!printable(key)) return;
    Table& table = current_table();
    const std::string wanted = prefix + upper_char(key);
    const long start = table.record_number();
    if (begins_with(current_key(table), wanted)) {
        table.skip(1);
        if (begins_with(current_key(table), wanted)) {
            table.skip(-1);
            browse.down();
            return;
        }
    }
    bool found = table.seek(wanted);
    if (!found) found = table.seek(prefix + static_cast<char>(std::tolower(key)));
    if (!found) {
        table.go_to(start);
    } else {
        browse.to_first_row();
    }
    pass_deleted(table);
    redraw_when_moved(browse, table, start);
}

void KEYSEARCH(Browse& browse, std::optional<int> key, const std::string& prefix) {
    auto& state = util::library_state();
    std::string& text = state.key_search_text;
    if (!key) {
        text.clear();
        return;
    }
    Table& table = current_table();
    if (table.record_number() != state.key_search_record) text.clear();
    if (printable(*key)) {
        text += upper_char(*key);
    } else if (*key == 8 && !text.empty()) {
        text.pop_back();
    }
    const long start = table.record_number();
    if (!table.seek(prefix + text)) {
        if (!text.empty()) text.pop_back();
        table.go_to(start);
    }
    pass_deleted(table);
    redraw_when_moved(browse, table, start);
    state.key_search_record = table.record_number();
}

void KEYLOCATE(Browse& browse, int key, const std::string& expression) {
    if (!printable(key)) return;
    Table& table = current_table();
    const std::string wanted = upper_char(key);
    const Expression value = Expression::compile(expression, table);
    const auto matches = [&] {
        const Value v = value.evaluate(table);
        const auto* text = std::get_if<std::string>(&v);
        return text && begins_with(upper(*text), wanted);
    };
    const long start = table.record_number();
    for (table.skip(1); !table.eof(); table.skip(1)) {
        if (matches()) return redraw_when_moved(browse, table, start);
    }
    for (table.go_top(); !table.eof(); table.skip(1)) {
        if (matches()) return redraw_when_moved(browse, table, start);
    }
    table.go_to(start);
}

}  // namespace kv::db
