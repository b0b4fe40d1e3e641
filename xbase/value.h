#pragma once
// The values that fields and expressions hold: character (Windows-1252 bytes), numeric, date,
// logical, or nothing at all (NIL).
#include <string>
#include <variant>

#include "util/dates.h"

namespace kv::xbase {

// The value of nothing (NIL).
struct Nil {
    // NIL equals NIL.
    bool operator==(const Nil&) const = default;
};

using Value = std::variant<Nil, std::string, double, util::Date, bool>;

// The type letter of a value: 'U' for NIL, 'C', 'N', 'D' or 'L'.
char value_type(const Value& value);

}  // namespace kv::xbase
