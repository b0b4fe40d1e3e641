#include "xbase/expr_runtime.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/error_record.h"
#include "xbase/expression.h"

namespace kv::xbase::expr {
namespace {

bool g_exact = false;

void raise(int gencode, const char* description, std::string_view operation, long subcode,
           Value& out) {
    util::ErrorRecord record;
    record.severity = 2;
    record.gencode = gencode;
    if (subcode != 0) record.subcode = subcode;
    record.subsystem = "BASE";
    record.description = description;
    record.operation = std::string(operation);
    const util::ErrorAnswer answer = util::raise_error(record);
    if (!answer) throw EvalFailure{std::string(description) + ": " + std::string(operation)};
    out = *answer;
}

// Windows-1252 letters: a-z and the accented lower-case letters at 0xE0-0xFE (but 0xF7, the
// division sign) pair with their capitals 0x20 below; four more pairs lie apart.
constexpr std::array<unsigned char, 256> case_table(bool upper) {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
    for (int c = 'a'; c <= 'z'; ++c) {
        if (upper)
            table[c] = static_cast<unsigned char>(c - 0x20);
        else
            table[c - 0x20] = static_cast<unsigned char>(c);
    }
    for (int c = 0xE0; c <= 0xFE; ++c) {
        if (c == 0xF7) continue;
        if (upper)
            table[c] = static_cast<unsigned char>(c - 0x20);
        else
            table[c - 0x20] = static_cast<unsigned char>(c);
    }
    constexpr unsigned char kPairs[][2] = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    for (const auto& pair : kPairs) {
        if (upper)
            table[pair[0]] = pair[1];
        else
            table[pair[1]] = pair[0];
    }
    return table;
}

constexpr auto kUpper = case_table(true);
constexpr auto kLower = case_table(false);

void map_in_place(std::string& text, const std::array<unsigned char, 256>& table) {
    for (char& c : text) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
}

}  // namespace

void raise_argument_error(std::string_view operation, long subcode, Value& out) {
    raise(1, "Argument error", operation, subcode, out);
}

void raise_zero_divide(std::string_view operation, long subcode, Value& out) {
    raise(5, "Zero divide", operation, subcode, out);
}

void upper_in_place(std::string& text) {
    map_in_place(text, kUpper);
}
void lower_in_place(std::string& text) {
    map_in_place(text, kLower);
}

int compare_text(std::string_view left, std::string_view right, bool exact) {
    const std::size_t common = std::min(left.size(), right.size());
    if (common > 0) {
        const int c = std::memcmp(left.data(), right.data(), common);
        if (c != 0) return c;
    }
    if (left.size() == right.size()) return 0;
    if (!exact) return left.size() < right.size() ? -1 : 0;
    const bool left_longer = left.size() > right.size();
    for (unsigned char c : (left_longer ? left : right).substr(common)) {
        if (c != ' ') return (c > ' ') == left_longer ? 1 : -1;
    }
    return 0;
}

double round_decimals(double value, int decimals) {
    if (!std::isfinite(value)) return value;
    decimals = std::clamp(decimals, -15, 15);
    const double scale = std::pow(10.0, std::abs(decimals));
    const double scaled = decimals >= 0 ? value * scale : value / scale;
    // A nudge of a few units in the last place, so that 2.675 (stored as 2.67499999...) rounds
    // as written.
    const double rounded = std::round(scaled * (1 + 4 * DBL_EPSILON));
    const double result = decimals >= 0 ? rounded / scale : rounded * scale;
    return result == 0 ? 0.0 : result;  // never "-0"
}

std::string number_text_trimmed(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 15);
    if (!std::isfinite(value)) return "*";
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, round_decimals(value, decimals));
    return buffer;
}

std::string number_text(double value, int width, int decimals) {
    if (width < 1) width = 1;
    std::string text = number_text_trimmed(value, decimals);
    if (static_cast<int>(text.size()) > width || text == "*") return std::string(width, '*');
    text.insert(0, width - text.size(), ' ');
    return text;
}

double text_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i < text.size() && text[i] == '.') ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    const std::string number(text.substr(start, i - start));
    return number.empty() ? 0.0 : std::strtod(number.c_str(), nullptr);
}

bool blank_text(std::string_view text) {
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    }
    return true;
}

}  // namespace kv::xbase::expr

namespace kv::xbase {

bool exact_comparison() {
    return expr::g_exact;
}
void set_exact_comparison(bool exact) {
    expr::g_exact = exact;
}

}  // namespace kv::xbase
