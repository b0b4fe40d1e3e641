#pragma once
// Dates and date-times, and their text forms under the run-time settings (date format and epoch).
#include <compare>
#include <string>

namespace kv::util {

// A calendar date of the Gregorian calendar, years 1 to 9999, or the empty date.
class Date {
  public:
    Date() = default;  // the empty date

    // The date of that day; the empty date when there is no such day.
    static Date of(int year, int month, int day);

    // True for the empty date.
    bool empty() const { return day_number_ == 0; }
    // Parts of the date; 0 for the empty date.
    int year() const;
    // The month, 1 to 12 (0 for the empty date).
    int month() const;
    // The day of the month (0 for the empty date).
    int day() const;
    // 1 (Sunday) to 7 (Saturday); 0 for the empty date.
    int weekday() const;

    // The date so many days later (earlier for a negative count); the empty date stays empty,
    // and so does a result outside the years 1 to 9999.
    Date plus_days(long days) const;
    // Days from other to this date; 0 when either is empty.
    long days_since(Date other) const;

    // The empty date sorts before every date.
    auto operator<=>(const Date&) const = default;

  private:
    explicit Date(long day_number) : day_number_(day_number) {}
    long day_number_ = 0;  // days since 31 December of year 0, so 1 January 1 is day 1
};

// A date with a time of day to the millisecond, or the empty date-time (whose date is empty).
class DateTime {
  public:
    DateTime() = default;  // the empty date-time
    // The time is taken as given when it lies within the day, else the date-time is empty.
    DateTime(Date date, int hour, int minute, int second, int millisecond = 0);

    // True for the empty date-time.
    bool empty() const { return date_.empty(); }
    // The date part.
    Date date() const { return date_; }
    // The hour, 0 to 23.
    int hour() const { return millisecond_of_day_ / 3'600'000; }
    // The minute, 0 to 59.
    int minute() const { return millisecond_of_day_ / 60'000 % 60; }
    // The second, 0 to 59.
    int second() const { return millisecond_of_day_ / 1000 % 60; }
    // The millisecond, 0 to 999.
    int millisecond() const { return millisecond_of_day_ % 1000; }

    // Date-times compare by date, then time.
    auto operator<=>(const DateTime&) const = default;

  private:
    Date date_;
    int millisecond_of_day_ = 0;
};

// True for a leap year of the Gregorian calendar.
bool is_leap_year(int year);
// The number of days of a month (1 to 12) of a year; 0 for any other month number.
int days_in_month(int year, int month);

// The date as the date format writes it ("dd/mm/yy": 06/12/26); as many blanks as the format has
// characters for the empty date.
std::string date_text(Date date);
// What an empty date field shows: the date format with blanks for its digits ("  /  /  ").
std::string empty_date_mask();
// The date that a text names, its day, month and year in the order of the date format and
// separated by anything but digits. A year of one or two digits belongs to the hundred years that
// start at the epoch; a longer one is taken as it stands. Blank text, the empty mask and anything
// that is not a real day give the empty date.
Date date_from_text(const std::string& text);
// "yyyymmdd", which sorts as the dates do; eight blanks for the empty date.
std::string date_sortable_text(Date date);

// The date text, a blank and "hh:mm:ss"; as many blanks for the empty date-time.
std::string date_time_text(const DateTime& time);

}  // namespace kv::util
