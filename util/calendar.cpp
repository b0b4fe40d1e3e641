#include "util/calendar.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace kv::util {
namespace {

constexpr std::array<const char*, 7> kWeekdays = {
    "Domenica", "Luned\xEC", "Marted\xEC", "Mercoled\xEC", "Gioved\xEC", "Venerd\xEC", "Sabato"};

constexpr std::array<const char*, 12> kMonths = {"Gennaio",   "Febbraio", "Marzo",    "Aprile",
                                                 "Maggio",    "Giugno",   "Luglio",   "Agosto",
                                                 "Settembre", "Ottobre",  "Novembre", "Dicembre"};

// Fixed-date holidays as day and month.
struct DayOfYear {
    int day, month;
};
constexpr std::array<DayOfYear, 10> kFixedHolidays = {
    {{1, 1}, {6, 1}, {25, 4}, {1, 5}, {2, 6}, {15, 8}, {1, 11}, {8, 12}, {25, 12}, {26, 12}}};

constexpr int kSunday = 1;
constexpr int kSaturday = 7;

// A two-digit field of a time text; nothing unless both characters are digits.
int two_digit_field(const std::string& text, std::size_t at) {
    const auto digit = [&](std::size_t i) {
        return std::isdigit(static_cast<unsigned char>(text[i]));
    };
    return digit(at) && digit(at + 1) ? (text[at] - '0') * 10 + (text[at + 1] - '0') : -1;
}

}  // namespace

std::string CDAY(Date date) {
    return date.empty() ? "" : kWeekdays[date.weekday() - 1];
}

std::string CMNT(Date date) {
    return CMNT(date.month());
}

std::string CMNT(int month) {
    return month >= 1 && month <= 12 ? kMonths[month - 1] : "";
}

int MDAYS(Date date) {
    return date.empty() ? 0 : days_in_month(date.year(), date.month());
}

bool ISLEAP(Date date) {
    return !date.empty() && is_leap_year(date.year());
}

bool ISLEAP(int year) {
    return is_leap_year(year);
}

Date EASTER(Date date) {
    return date.empty() ? Date() : EASTER(date.year());
}

// The anonymous Gregorian algorithm (Meeus/Jones/Butcher).
Date EASTER(int year) {
    const int a = year % 19, b = year / 100, c = year % 100;
    const int d = b / 4, e = b % 4, f = (b + 8) / 25, g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4, k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int n = h + l - 7 * m + 114;
    return Date::of(year, n / 31, n % 31 + 1);
}

bool ISFEST(Date date, bool saturday) {
    if (date.empty()) return false;
    const int weekday = date.weekday();
    if (weekday == kSunday || (saturday && weekday == kSaturday)) return true;
    if (date == EASTER(date).plus_days(1)) return true;
    return std::any_of(kFixedHolidays.begin(), kFixedHolidays.end(), [&](DayOfYear holiday) {
        return holiday.day == date.day() && holiday.month == date.month();
    });
}

bool ISTIME(const std::string& text) {
    if (text.size() < 8 || text.find(' ') != std::string::npos) return false;
    const int hours = two_digit_field(text, 0);
    const int minutes = two_digit_field(text, 3);
    const int seconds = two_digit_field(text, 6);
    return hours >= 0 && hours <= 23 && minutes >= 0 && minutes <= 59 && seconds >= 0 &&
           seconds <= 59;
}

Date TTOD(const DateTime& time) {
    return time.date();
}

}  // namespace kv::util
