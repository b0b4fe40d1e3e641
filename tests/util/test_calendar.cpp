#include "util/calendar.h"

#include <gtest/gtest.h>

namespace kv::util {
namespace {

// Easter by Gauss's method with Lichtenberg's corrections, written independently of the library
// (which follows Meeus/Jones/Butcher). The result is a day of March, past 31 running into April.
Date gauss_easter(int year) {
    const int k = year / 100;
    const int m = 15 + (3 * k + 3) / 4 - (8 * k + 13) / 25;
    const int s = 2 - (3 * k + 3) / 4;
    const int a = year % 19;
    const int d = (19 * a + m) % 30;
    const int r = (d + a / 11) / 29;
    const int full_moon = 21 + d - r;
    const int first_sunday = 7 - (year + year / 4 + s) % 7;
    const int march_day = full_moon + 7 - (full_moon - first_sunday) % 7;
    return march_day > 31 ? Date::of(year, 4, march_day - 31) : Date::of(year, 3, march_day);
}

constexpr int kSunday = 1, kMonday = 2, kSaturday = 7;

TEST(Calendar, WeekdayNamesInWindowsAnsi) {
    const Date sunday = Date::of(2026, 4, 5);
    const char* expected[] = {"Domenica",   "Luned\xEC",  "Marted\xEC", "Mercoled\xEC",
                              "Gioved\xEC", "Venerd\xEC", "Sabato"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(CDAY(sunday.plus_days(i)), expected[i]);
    EXPECT_EQ(CDAY(Date()), "");
}

TEST(Calendar, MonthNames) {
    EXPECT_EQ(CMNT(1), "Gennaio");
    EXPECT_EQ(CMNT(9), "Settembre");
    EXPECT_EQ(CMNT(12), "Dicembre");
    EXPECT_EQ(CMNT(Date::of(2026, 8, 15)), "Agosto");
    EXPECT_EQ(CMNT(0), "");
    EXPECT_EQ(CMNT(13), "");
    EXPECT_EQ(CMNT(-1), "");
    EXPECT_EQ(CMNT(Date()), "");
}

TEST(Calendar, LeapYearsAndMonthLengths) {
    EXPECT_FALSE(ISLEAP(1900));
    EXPECT_TRUE(ISLEAP(2000));
    EXPECT_FALSE(ISLEAP(2100));
    EXPECT_TRUE(ISLEAP(2024));
    EXPECT_FALSE(ISLEAP(2026));
    EXPECT_TRUE(ISLEAP(Date::of(2000, 7, 1)));
    EXPECT_FALSE(ISLEAP(Date()));
    for (int day = 1; day <= 28; ++day) EXPECT_EQ(MDAYS(Date::of(2100, 2, day)), 28);
    EXPECT_EQ(MDAYS(Date::of(2000, 2, 10)), 29);
    EXPECT_EQ(MDAYS(Date::of(1900, 2, 10)), 28);
    EXPECT_EQ(MDAYS(Date::of(2026, 4, 30)), 30);
    EXPECT_EQ(MDAYS(Date::of(2026, 12, 1)), 31);
    EXPECT_EQ(MDAYS(Date()), 0);
}

TEST(Calendar, KnownEasterSundays) {
    EXPECT_EQ(EASTER(2024), Date::of(2024, 3, 31));
    EXPECT_EQ(EASTER(2025), Date::of(2025, 4, 20));
    EXPECT_EQ(EASTER(2026), Date::of(2026, 4, 5));
    EXPECT_EQ(EASTER(2000), Date::of(2000, 4, 23));
    EXPECT_EQ(EASTER(1818), Date::of(1818, 3, 22));  // earliest possible
    EXPECT_EQ(EASTER(1943), Date::of(1943, 4, 25));  // latest possible
    EXPECT_EQ(EASTER(Date::of(2026, 12, 31)), Date::of(2026, 4, 5));
    EXPECT_TRUE(EASTER(Date()).empty());
    EXPECT_TRUE(EASTER(0).empty());
}

TEST(Calendar, EasterAgreesWithGaussFrom1583To4099) {
    for (int year = 1583; year <= 4099; ++year) {
        const Date easter = EASTER(year);
        ASSERT_EQ(easter, gauss_easter(year)) << year;
        ASSERT_EQ(easter.weekday(), kSunday) << year;
        ASSERT_GE(easter, Date::of(year, 3, 22)) << year;
        ASSERT_LE(easter, Date::of(year, 4, 25)) << year;
    }
}

TEST(Calendar, HolidaysAroundEaster) {
    EXPECT_TRUE(ISFEST(Date::of(2026, 4, 6)));         // Easter Monday
    EXPECT_TRUE(ISFEST(Date::of(2026, 4, 6), false));  // whatever the Saturday flag
    EXPECT_FALSE(ISFEST(Date::of(2026, 4, 7)));        // the Tuesday after
    EXPECT_FALSE(ISFEST(Date::of(2026, 4, 13)));       // a week later
    EXPECT_FALSE(ISFEST(Date::of(2026, 4, 3)));        // Good Friday is a working day
    for (int year = 1583; year <= 4099; ++year) {
        const Date easter = gauss_easter(year);
        ASSERT_TRUE(ISFEST(easter, false)) << year;
        ASSERT_TRUE(ISFEST(easter.plus_days(1), false)) << year;
        ASSERT_EQ(easter.plus_days(1).weekday(), kMonday);
        // The Saturday before is a holiday only by the flag; the Tuesday after only when it is
        // Liberation Day.
        ASSERT_TRUE(ISFEST(easter.plus_days(-1), true)) << year;
        ASSERT_FALSE(ISFEST(easter.plus_days(-1), false)) << year;
        const Date tuesday = easter.plus_days(2);
        ASSERT_EQ(ISFEST(tuesday, false), tuesday == Date::of(year, 4, 25)) << year;
    }
}

TEST(Calendar, SaturdaysAndSundays) {
    const Date saturday = Date::of(2026, 3, 7);
    ASSERT_EQ(saturday.weekday(), kSaturday);
    EXPECT_TRUE(ISFEST(saturday));
    EXPECT_FALSE(ISFEST(saturday, false));
    EXPECT_TRUE(ISFEST(saturday.plus_days(1), false));
    EXPECT_FALSE(ISFEST(saturday.plus_days(2)));
    // A holiday on a Saturday stays a holiday without the flag.
    const Date christmas = Date::of(2027, 12, 25);
    ASSERT_EQ(christmas.weekday(), kSaturday);
    EXPECT_TRUE(ISFEST(christmas, false));
    EXPECT_FALSE(ISFEST(Date()));
}

TEST(Calendar, FixedHolidaysOnWorkingDays) {
    const int holidays[][2] = {{1, 1},  {6, 1},  {25, 4}, {1, 5},   {2, 6},
                               {15, 8}, {1, 11}, {8, 12}, {25, 12}, {26, 12}};
    for (int year = 2020; year <= 2030; ++year) {
        for (const auto& [day, month] : holidays) {
            EXPECT_TRUE(ISFEST(Date::of(year, month, day), false)) << day << "/" << month;
        }
    }
    // Working days next to them.
    const int working[][2] = {{2, 1},  {7, 1},  {24, 4}, {30, 4},  {3, 6},
                              {14, 8}, {2, 11}, {7, 12}, {24, 12}, {31, 12}};
    for (const auto& [day, month] : working) {
        const Date date = Date::of(2026, month, day);
        ASSERT_NE(date.weekday(), kSunday);
        ASSERT_NE(date.weekday(), kSaturday);
        EXPECT_FALSE(ISFEST(date)) << day << "/" << month;
    }
}

TEST(Calendar, TimeOfDay) {
    EXPECT_TRUE(ISTIME("23:59:59"));
    EXPECT_TRUE(ISTIME("00:00:00"));
    EXPECT_TRUE(ISTIME("12.30.45"));  // separators are not tested
    EXPECT_FALSE(ISTIME("24:00:00"));
    EXPECT_FALSE(ISTIME("12:60:00"));
    EXPECT_FALSE(ISTIME("12:00:60"));
    EXPECT_FALSE(ISTIME(" 1:30:00"));
    EXPECT_FALSE(ISTIME("01:30:00 "));
    EXPECT_FALSE(ISTIME("  :  :  "));
    // Fields that are not numbers, or missing, are no time of day.
    EXPECT_FALSE(ISTIME("ab:cd:ef"));
    EXPECT_FALSE(ISTIME("1a:00:00"));
    EXPECT_FALSE(ISTIME("12:30"));
    EXPECT_FALSE(ISTIME(""));
}

TEST(Calendar, DateOfADateTime) {
    EXPECT_EQ(TTOD(DateTime(Date::of(2026, 12, 6), 23, 59, 59)), Date::of(2026, 12, 6));
    EXPECT_TRUE(TTOD(DateTime()).empty());
}

}  // namespace
}  // namespace kv::util
