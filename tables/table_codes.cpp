// NEXTCODE: the next value of a table's CODICE field.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tables/table_support.h"
#include "tables/tables.h"
#include "util/settings.h"

namespace kv::db {
namespace {

constexpr double kCodeModulus = 10'000'000'000.0;

// The numeric value of a code: a number as it is, a text by its leading digits; empty is 0.
double code_value(const Value& value) {
    if (const auto* number = std::get_if<double>(&value)) return *number;
    if (const auto* text = std::get_if<std::string>(&value)) return std::atof(text->c_str());
    return 0;
}

bool empty_code(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return text->find_first_not_of(' ') == std::string::npos;
    }
    if (const auto* number = std::get_if<double>(&value)) return *number == 0;
    return true;
}

}  // namespace

std::string NEXTCODE(bool lock) {
    Table& table = current_table();
    const long noted = table.record_number();
    if (lock) DBLOCK(false);
    double last = 0;
    // Natural order, from the last record back over the empty codes (and the hidden records).
    for (long r = table.record_count(); r >= 1; --r) {
        table.go_to(r);
        if (table.deleted() && util::settings().hide_deleted) continue;
        const Value code = table.get("CODICE");
        if (empty_code(code)) continue;
        last = code_value(code);
        break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", std::fmod(std::floor(last) + 1, kCodeModulus));
    table.go_to(noted);
    if (lock) {
        DBLOCK(true);
    } else {
        table.unlock(0);
    }
    return text;
}

}  // namespace kv::db
