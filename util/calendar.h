#pragma once
// Calendar functions with Italian names and holidays. Names are Windows-1252 byte strings.
#include <string>

#include "util/dates.h"

namespace kv::util {

// Name of the weekday ("Domenica" ... "Sabato"); "" for the empty date.
std::string CDAY(Date date);
// Name of the month ("Gennaio" ... "Dicembre"); "" for the empty date or a number outside 1 to 12.
std::string CMNT(Date date);
// The Italian name of a month (1 to 12).
std::string CMNT(int month);
// Number of days of the date's month; 0 for the empty date.
int MDAYS(Date date);
// True for a leap year; false for the empty date.
bool ISLEAP(Date date);
// True for a leap year.
bool ISLEAP(int year);
// Easter Sunday (Gregorian) of the year; the empty date for the empty date or a year outside 1 to
// 9999.
Date EASTER(Date date);
// The date of Easter Sunday in a year.
Date EASTER(int year);
// True for an Italian public holiday, a Sunday, or (with the flag) a Saturday.
bool ISFEST(Date date, bool saturday = true);
// True when text is a time of day "hh:mm:ss" (the separators are not tested).
bool ISTIME(const std::string& text);
// The date of a date-time; the empty date for the empty date-time.
Date TTOD(const DateTime& time);

}  // namespace kv::util
