// The built-in functions of the language.
#include <algorithm>
#include <cmath>

#include "util/wall_clock.h"
#include "xbase/expr_call.h"
#include "xbase/expr_runtime.h"

namespace kv::xbase::expr {
namespace {

using Rec = const RecordView&;

// The longest string that SPACE, REPLICATE and the padding functions build.
constexpr long kLongestBuilt = 1L << 20;

long built_length(const Call& call, long length) {
    if (length > kLongestBuilt) call.wrong_argument();
    return std::max(length, 0L);
}

// Widths known when compiling.
int same_width(const Call& call) {
    return call.arg(0).shape().width;
}

int constant_width(const Call& call, int i) {
    const auto n = call.constant_number(i);
    return n ? static_cast<int>(std::clamp(*n, 0.0, static_cast<double>(kLongestBuilt))) : -1;
}

int second_arg_width(const Call& call) {
    return constant_width(call, 1);
}
int first_arg_width(const Call& call) {
    return constant_width(call, 0);
}

int substr_width(const Call& call) {
    const int size = call.arg(0).shape().width;
    const auto start = call.constant_number(1);
    const auto count = call.constant_number(2);
    if (size < 0 || !start || (call.count() > 2 && !count)) return -1;
    std::optional<long> length;
    if (count) length = static_cast<long>(std::clamp(*count, -1e9, 1e9));
    return static_cast<int>(
        substring_range(size, static_cast<long>(std::clamp(*start, -1e9, 1e9)), length).length);
}

int cut_width(const Call& call) {
    const int size = call.arg(0).shape().width;
    const int n = second_arg_width(call);
    return size < 0 || n < 0 ? -1 : std::min(size, n);
}

int replicate_width(const Call& call) {
    const int size = call.arg(0).shape().width;
    const int n = second_arg_width(call);
    return size < 0 || n < 0 ? -1 : size * n;
}

int default_number_width(const Call& call) {
    const Shape& shape = call.arg(0).shape();
    return shape.width > 0 ? shape.width : 10;
}

int str_width(const Call& call) {
    if (call.count() == 1) return default_number_width(call);
    const int n = second_arg_width(call);
    return n > 0 ? n : -1;
}

int date_text_width(const Call&) {
    return static_cast<int>(util::date_text({}).size());
}
int sortable_date_width(const Call&) {
    return 8;
}

// Character functions.
void upper(const Call& c, Rec r, Value& out) {
    upper_in_place(c.text_into(0, r, out));
}
void lower(const Call& c, Rec r, Value& out) {
    lower_in_place(c.text_into(0, r, out));
}

void rtrim(const Call& c, Rec r, Value& out) {
    std::string& text = c.text_into(0, r, out);
    text.resize(text.find_last_not_of(' ') + 1);
}

void ltrim(const Call& c, Rec r, Value& out) {
    std::string& text = c.text_into(0, r, out);
    text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
}

void alltrim(const Call& c, Rec r, Value& out) {
    std::string& text = c.text_into(0, r, out);
    text.resize(text.find_last_not_of(' ') + 1);
    text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
}

void substr(const Call& c, Rec r, Value& out) {
    const long start = c.whole(1, r);
    std::optional<long> count;
    if (c.count() > 2) count = c.whole(2, r);
    std::string& text = c.text_into(0, r, out);
    const Range range = substring_range(static_cast<long>(text.size()), start, count);
    text.resize(range.offset + range.length);
    text.erase(0, range.offset);
}

void left(const Call& c, Rec r, Value& out) {
    const long n = std::max(c.whole(1, r), 0L);
    std::string& text = c.text_into(0, r, out);
    if (static_cast<std::size_t>(n) < text.size()) text.resize(n);
}

void right(const Call& c, Rec r, Value& out) {
    const long n = std::max(c.whole(1, r), 0L);
    std::string& text = c.text_into(0, r, out);
    if (static_cast<std::size_t>(n) < text.size()) text.erase(0, text.size() - n);
}

// The text that the padding functions pad: a string, or a number or date as text.
std::string& pad_text(const Call& c, Rec r, Value& out) {
    c.any(0, r, out);
    if (const auto* number = std::get_if<double>(&out)) {
        out = number_text_trimmed(*number, c.arg(0).shape().decimals);
    } else if (const auto* date = std::get_if<util::Date>(&out)) {
        out = util::date_text(*date);
    } else if (!std::holds_alternative<std::string>(out)) {
        c.wrong_argument();
    }
    return std::get<std::string>(out);
}

// Pads to width with the fill character, the share before the text given by where (0 left
// aligned, 1 right aligned, 2 centred); a longer text keeps its first width characters.
void pad(const Call& c, Rec r, Value& out, int where) {
    const long width = built_length(c, c.whole(1, r));
    char fill = ' ';
    if (c.count() > 2) {
        Value fill_value;
        const std::string& fill_text = c.text_into(2, r, fill_value);
        if (!fill_text.empty()) fill = fill_text[0];
    }
    std::string& text = pad_text(c, r, out);
    const auto size = static_cast<long>(text.size());
    if (size >= width) {
        text.resize(width);
        return;
    }
    const long missing = width - size;
    const long before = where == 1 ? missing : (where == 2 ? missing / 2 : 0);
    text.insert(0, before, fill);
    text.append(missing - before, fill);
}

void padr(const Call& c, Rec r, Value& out) {
    pad(c, r, out, 0);
}
void padl(const Call& c, Rec r, Value& out) {
    pad(c, r, out, 1);
}
void padc(const Call& c, Rec r, Value& out) {
    pad(c, r, out, 2);
}

void space(const Call& c, Rec r, Value& out) {
    const long n = built_length(c, c.whole(0, r));
    string_slot(out).assign(n, ' ');
}

void replicate(const Call& c, Rec r, Value& out) {
    const long n = std::max(c.whole(1, r), 0L);
    Value piece_value;
    const std::string& piece = c.text_into(0, r, piece_value);
    if (piece.empty()) {
        string_slot(out);
        return;
    }
    if (n > kLongestBuilt / static_cast<long>(piece.size())) c.wrong_argument();
    std::string& text = string_slot(out);
    for (long i = 0; i < n; ++i) text.append(piece);
}

void len(const Call& c, Rec r, Value& out) {
    out = static_cast<double>(c.text_into(0, r, out).size());
}

void at(const Call& c, Rec r, Value& out) {
    Value needle_value;
    const std::string& needle = c.text_into(0, r, needle_value);
    const std::string& haystack = c.text_into(1, r, out);
    const std::size_t found = needle.empty() ? std::string::npos : haystack.find(needle);
    out = found == std::string::npos ? 0.0 : static_cast<double>(found + 1);
}

// Numbers.
void str_with(const Call& c, Rec r, Value& out, bool zeros) {
    const double value = c.number(0, r);
    int width = default_number_width(c);
    int decimals = c.arg(0).shape().decimals;
    if (c.count() > 1) {
        const long given = c.whole(1, r);
        if (given > 0) width = static_cast<int>(std::min<long>(given, 255));
        decimals = 0;
    }
    if (c.count() > 2) decimals = static_cast<int>(std::clamp(c.whole(2, r), 0L, 15L));
    std::string& text = string_slot(out);
    text = number_text(value, width, decimals);
    if (!zeros || text[0] == '*') return;
    const std::size_t minus = text.find('-');
    for (char& ch : text) {
        if (ch == ' ' || ch == '-') ch = '0';
    }
    if (minus != std::string::npos) text[0] = '-';
}

void str(const Call& c, Rec r, Value& out) {
    str_with(c, r, out, false);
}
void strzero(const Call& c, Rec r, Value& out) {
    str_with(c, r, out, true);
}

void val(const Call& c, Rec r, Value& out) {
    out = text_number(c.text_into(0, r, out));
}
void abs_(const Call& c, Rec r, Value& out) {
    out = std::fabs(c.number(0, r));
}
void int_(const Call& c, Rec r, Value& out) {
    out = std::trunc(c.number(0, r)) + 0.0;
}

void round_(const Call& c, Rec r, Value& out) {
    const double value = c.number(0, r);
    out = round_decimals(value, static_cast<int>(std::clamp(c.whole(1, r), -15L, 15L)));
}

// Dates.
// "yyyymmdd" as util::date_sortable_text writes it, but straight into the result's storage:
// index keys of dates are built with it for every record.
void dtos(const Call& c, Rec r, Value& out) {
    const util::Date date = c.date(0, r);
    std::string& text = string_slot(out);
    if (date.empty()) {
        text.assign(8, ' ');
        return;
    }
    const int parts[] = {date.year(), date.month(), date.day()};
    char digits[8];
    for (int i = 3, year = parts[0]; i >= 0; --i, year /= 10)
        digits[i] = static_cast<char>('0' + year % 10);
    digits[4] = static_cast<char>('0' + parts[1] / 10);
    digits[5] = static_cast<char>('0' + parts[1] % 10);
    digits[6] = static_cast<char>('0' + parts[2] / 10);
    digits[7] = static_cast<char>('0' + parts[2] % 10);
    text.assign(digits, 8);
}

void dtoc(const Call& c, Rec r, Value& out) {
    string_slot(out) = util::date_text(c.date(0, r));
}

void ctod(const Call& c, Rec r, Value& out) {
    out = util::date_from_text(c.text_into(0, r, out));
}

void stod(const Call& c, Rec r, Value& out) {
    const std::string& text = c.text_into(0, r, out);
    util::Date date;
    if (text.size() >= 8 && std::all_of(text.begin(), text.begin() + 8,
                                        [](char ch) { return ch >= '0' && ch <= '9'; })) {
        const int number = std::stoi(text.substr(0, 8));
        date = util::Date::of(number / 10000, number / 100 % 100, number % 100);
    }
    out = date;
}

void year(const Call& c, Rec r, Value& out) {
    out = static_cast<double>(c.date(0, r).year());
}
void month(const Call& c, Rec r, Value& out) {
    out = static_cast<double>(c.date(0, r).month());
}
void day(const Call& c, Rec r, Value& out) {
    out = static_cast<double>(c.date(0, r).day());
}

void date(const Call&, Rec, Value& out) {
    const util::LocalDateTime now = util::local_now();
    out = util::Date::of(now.year, static_cast<int>(now.month), static_cast<int>(now.day));
}

// The record and the rest.
void recno(const Call&, Rec r, Value& out) {
    out = static_cast<double>(r.record_number());
}
void deleted(const Call&, Rec r, Value& out) {
    out = r.deleted();
}

void iif(const Call& c, Rec r, Value& out) {
    c.any(c.logical(0, r) ? 1 : 2, r, out);
}

void empty(const Call& c, Rec r, Value& out) {
    c.any(0, r, out);
    bool result = true;
    if (const auto* text = std::get_if<std::string>(&out))
        result = blank_text(*text);
    else if (const auto* number = std::get_if<double>(&out))
        result = *number == 0;
    else if (const auto* day = std::get_if<util::Date>(&out))
        result = day->empty();
    else if (const auto* logical = std::get_if<bool>(&out))
        result = !*logical;
    out = result;
}

}  // namespace

const std::vector<FunctionSpec>& functions() {
    static const std::vector<FunctionSpec> table = {
        {"UPPER", 1, 1, "C", 'C', upper, same_width},
        {"LOWER", 1, 1, "C", 'C', lower, same_width},
        {"TRIM", 1, 1, "C", 'C', rtrim},
        {"RTRIM", 1, 1, "C", 'C', rtrim},
        {"LTRIM", 1, 1, "C", 'C', ltrim},
        {"ALLTRIM", 1, 1, "C", 'C', alltrim},
        {"SUBSTR", 2, 3, "CNN", 'C', substr, substr_width},
        {"LEFT", 2, 2, "CN", 'C', left, cut_width},
        {"RIGHT", 2, 2, "CN", 'C', right, cut_width},
        {"PADL", 2, 3, "*NC", 'C', padl, second_arg_width},
        {"PADR", 2, 3, "*NC", 'C', padr, second_arg_width},
        {"PADC", 2, 3, "*NC", 'C', padc, second_arg_width},
        {"SPACE", 1, 1, "N", 'C', space, first_arg_width},
        {"REPLICATE", 2, 2, "CN", 'C', replicate, replicate_width},
        {"LEN", 1, 1, "C", 'N', len},
        {"AT", 2, 2, "CC", 'N', at},
        {"STR", 1, 3, "NNN", 'C', str, str_width},
        {"STRZERO", 1, 3, "NNN", 'C', strzero, str_width},
        {"VAL", 1, 1, "C", 'N', val},
        {"ABS", 1, 1, "N", 'N', abs_, nullptr, -1},
        {"INT", 1, 1, "N", 'N', int_},
        {"ROUND", 2, 2, "NN", 'N', round_, nullptr, -2},
        {"DTOS", 1, 1, "D", 'C', dtos, sortable_date_width},
        {"STOD", 1, 1, "C", 'D', stod},
        {"DTOC", 1, 1, "D", 'C', dtoc, date_text_width},
        {"CTOD", 1, 1, "C", 'D', ctod},
        {"YEAR", 1, 1, "D", 'N', year},
        {"MONTH", 1, 1, "D", 'N', month},
        {"DAY", 1, 1, "D", 'N', day},
        {"DATE", 0, 0, "", 'D', date},
        {"RECNO", 0, 0, "", 'N', recno},
        {"DELETED", 0, 0, "", 'L', deleted},
        {"IIF", 3, 3, "L**", 'U', iif},
        {"EMPTY", 1, 1, "*", 'L', empty},
    };
    return table;
}

}  // namespace kv::xbase::expr
