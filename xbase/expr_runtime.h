#pragma once
// What the nodes share at run time: raising run-time errors through the error handler, and the
// text and number conversions of the language.
#include <string>
#include <string_view>

#include "xbase/value.h"

namespace kv::xbase::expr {

// An error at run time that the handler answered without a value; Expression turns it into an
// ExpressionError that names the expression.
struct EvalFailure {
    std::string message;
};

// Raises an argument error (generic code 1, subsystem "BASE") for an operator or a function and
// puts the handler's substitute into out; throws EvalFailure when it answers none. A subcode of 0
// leaves the record's subcode absent.
void raise_argument_error(std::string_view operation, long subcode, Value& out);
// Raises a division by zero (generic code 5) the same way.
void raise_zero_divide(std::string_view operation, long subcode, Value& out);

// Windows-1252 case mapping, in place.
void upper_in_place(std::string& text);
void lower_in_place(std::string& text);

// Compares two strings as "=" and the orderings do: byte by byte, then, when one is the other's
// beginning, as equal when the right one is shorter (not exact) or by the longer one's remaining
// characters against blanks (exact). Negative, zero or positive.
int compare_text(std::string_view left, std::string_view right, bool exact);

// Rounded to so many decimals (negative: to tens, hundreds...), halves away from zero.
double round_decimals(double value, int decimals);
// The number right-aligned in width characters with so many decimals; asterisks when it does
// not fit.
std::string number_text(double value, int width, int decimals);
// The number without blanks, with the given decimals.
std::string number_text_trimmed(double value, int decimals);
// The number at the beginning of a text (blanks, sign, digits, point, digits); 0 when none.
double text_number(std::string_view text);

// True for a text of blanks, tabs, carriage returns and line feeds only (or none at all).
bool blank_text(std::string_view text);

}  // namespace kv::xbase::expr
