#include "util/dates.h"

#include <cctype>
#include <vector>

#include "util/settings.h"

namespace kv::util {
namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;
constexpr int kMillisecondsPerDay = 86'400'000;

// Days since 31 December of year 0, counted in 400-year eras that begin on 1 March.
long day_number_of(int year, int month, int day) {
    const long y = year - (month <= 2);
    const long era = y / 400;
    const long year_of_era = y - era * 400;
    const long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 305;
}

struct Ymd {
    int year, month, day;
};

Ymd ymd_of(long day_number) {
    const long z = day_number + 305;
    const long era = z / 146097;
    const long day_of_era = z - era * 146097;
    const long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long mp = (5 * day_of_year + 2) / 153;
    const int day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(era * 400 + year_of_era + (month <= 2)), month, day};
}

const long kFirstDay = day_number_of(kMinYear, 1, 1);
const long kLastDay = day_number_of(kMaxYear, 12, 31);

// One field of the date format: a run of the letters d, m or y.
struct FormatField {
    char letter;  // 'd', 'm' or 'y'
    std::size_t width;
};

// The date format cut into its fields and the literal characters between them.
template <typename OnField, typename OnLiteral>
void walk_format(OnField on_field, OnLiteral on_literal) {
    const std::string& format = settings().date_format;
    for (std::size_t i = 0; i < format.size();) {
        const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
        if (letter != 'd' && letter != 'm' && letter != 'y') {
            on_literal(format[i++]);
            continue;
        }
        std::size_t width = 0;
        while (i < format.size() && std::tolower(static_cast<unsigned char>(format[i])) == letter) {
            ++i;
            ++width;
        }
        on_field(FormatField{letter, width});
    }
}

// The number written with exactly width digits: its last digits, zeros in front.
std::string digits(int value, std::size_t width) {
    std::string text = std::to_string(value);
    if (text.size() > width) return text.substr(text.size() - width);
    return std::string(width - text.size(), '0') + text;
}

// The runs of digits of a text, with their lengths.
std::vector<std::string> digit_runs(const std::string& text) {
    std::vector<std::string> runs;
    std::string run;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            run += c;
        } else if (!run.empty()) {
            runs.push_back(std::move(run));
            run.clear();
        }
    }
    if (!run.empty()) runs.push_back(std::move(run));
    return runs;
}

// A year of one or two digits, placed in the hundred years that start at the epoch.
int year_from_digits(const std::string& text) {
    const int value = std::stoi(text);
    if (text.size() > 2) return value;
    const int epoch = settings().epoch;
    const int year = epoch / 100 * 100 + value;
    return year < epoch ? year + 100 : year;
}

}  // namespace

bool is_leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

Date Date::of(int year, int month, int day) {
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12) return {};
    if (day < 1 || day > days_in_month(year, month)) return {};
    return Date(day_number_of(year, month, day));
}

int Date::year() const {
    return empty() ? 0 : ymd_of(day_number_).year;
}
int Date::month() const {
    return empty() ? 0 : ymd_of(day_number_).month;
}
int Date::day() const {
    return empty() ? 0 : ymd_of(day_number_).day;
}
// Day 1, 1 January of year 1, was a Monday.
int Date::weekday() const {
    return empty() ? 0 : static_cast<int>(day_number_ % 7) + 1;
}

Date Date::plus_days(long days) const {
    // Compared before adding, so that no count can overflow.
    if (empty() || days > kLastDay - day_number_ || days < kFirstDay - day_number_) return {};
    return Date(day_number_ + days);
}

long Date::days_since(Date other) const {
    return empty() || other.empty() ? 0 : day_number_ - other.day_number_;
}

DateTime::DateTime(Date date, int hour, int minute, int second, int millisecond) {
    const long ms = ((hour * 60L + minute) * 60 + second) * 1000 + millisecond;
    const bool in_range = hour >= 0 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
                          millisecond >= 0 && millisecond < 1000 && ms < kMillisecondsPerDay;
    if (!in_range) return;
    date_ = date;
    millisecond_of_day_ = date.empty() ? 0 : static_cast<int>(ms);
}

std::string date_text(Date date) {
    std::string text;
    walk_format(
        [&](FormatField field) {
            if (date.empty()) {
                text.append(field.width, ' ');
                return;
            }
            const int value = field.letter == 'd'   ? date.day()
                              : field.letter == 'm' ? date.month()
                                                    : date.year();
            text += digits(value, field.width);
        },
        [&](char literal) { text += date.empty() ? ' ' : literal; });
    return text;
}

std::string empty_date_mask() {
    std::string mask;
    walk_format([&](FormatField field) { mask.append(field.width, ' '); },
                [&](char literal) { mask += literal; });
    return mask;
}

Date date_from_text(const std::string& text) {
    std::vector<char> order;
    walk_format([&](FormatField field) { order.push_back(field.letter); }, [](char) {});
    const auto runs = digit_runs(text);
    if (order.size() != 3 || runs.size() < 3) return {};
    int day = 0, month = 0, year = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        // Longer runs than any real field are no date; they would not fit an int either.
        if (runs[i].size() > 4) return {};
        if (order[i] == 'd') day = std::stoi(runs[i]);
        if (order[i] == 'm') month = std::stoi(runs[i]);
        if (order[i] == 'y') year = year_from_digits(runs[i]);
    }
    return Date::of(year, month, day);
}

std::string date_sortable_text(Date date) {
    if (date.empty()) return std::string(8, ' ');
    return digits(date.year(), 4) + digits(date.month(), 2) + digits(date.day(), 2);
}

std::string date_time_text(const DateTime& time) {
    if (time.empty()) return date_text(Date()) + std::string(9, ' ');
    return date_text(time.date()) + " " + digits(time.hour(), 2) + ":" + digits(time.minute(), 2) +
           ":" + digits(time.second(), 2);
}

}  // namespace kv::util
