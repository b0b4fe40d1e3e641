#include "util/dates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>

#include "tests/util/date_settings.h"

namespace kv::util {
namespace {

namespace chr = std::chrono;
using test::ScopedDateSettings;

chr::sys_days civil(int y, int m, int d) {
    return chr::sys_days(chr::year(y) / chr::month(static_cast<unsigned>(m)) /
                         chr::day(static_cast<unsigned>(d)));
}

TEST(Date, EmptyDateHasNoParts) {
    const Date empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.year(), 0);
    EXPECT_EQ(empty.weekday(), 0);
    EXPECT_TRUE(empty.plus_days(1).empty());
    EXPECT_LT(empty, Date::of(1, 1, 1));
}

TEST(Date, RefusesDaysThatDoNotExist) {
    EXPECT_TRUE(Date::of(2026, 2, 29).empty());
    EXPECT_FALSE(Date::of(2024, 2, 29).empty());
    EXPECT_TRUE(Date::of(1900, 2, 29).empty());
    EXPECT_TRUE(Date::of(2026, 4, 31).empty());
    EXPECT_TRUE(Date::of(2026, 13, 1).empty());
    EXPECT_TRUE(Date::of(2026, 0, 1).empty());
    EXPECT_TRUE(Date::of(0, 12, 31).empty());
    EXPECT_TRUE(Date::of(10000, 1, 1).empty());
    EXPECT_TRUE(Date::of(9999, 12, 31).plus_days(1).empty());
    EXPECT_TRUE(Date::of(1, 1, 1).plus_days(-1).empty());
    // Counts so large that adding them would overflow.
    for (long huge : {LONG_MAX, LONG_MIN, LONG_MAX - 10, LONG_MIN + 10})
        EXPECT_TRUE(Date::of(2026, 12, 7).plus_days(huge).empty()) << huge;
}

// Day counts and weekdays agree with the standard library's calendar over the whole range.
TEST(Date, AgreesWithTheStandardCalendar) {
    const Date origin = Date::of(1970, 1, 1);
    for (auto day = civil(1, 1, 1); day <= civil(9999, 12, 31); day += chr::days(97)) {
        const chr::year_month_day ymd(day);
        const Date date =
            Date::of(int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())));
        ASSERT_EQ(date.days_since(origin), day.time_since_epoch().count());
        ASSERT_EQ(date.weekday(), int(chr::weekday(day).c_encoding()) + 1);
        const Date back = origin.plus_days(day.time_since_epoch().count());
        ASSERT_EQ(back, date);
        ASSERT_EQ(back.year(), int(ymd.year()));
        ASSERT_EQ(back.month(), int(unsigned(ymd.month())));
        ASSERT_EQ(back.day(), int(unsigned(ymd.day())));
    }
}

TEST(Date, CrossesMonthAndYearEnds) {
    EXPECT_EQ(Date::of(2024, 2, 28).plus_days(1), Date::of(2024, 2, 29));
    EXPECT_EQ(Date::of(2100, 2, 28).plus_days(1), Date::of(2100, 3, 1));
    EXPECT_EQ(Date::of(1999, 12, 31).plus_days(1), Date::of(2000, 1, 1));
    EXPECT_EQ(Date::of(2026, 3, 1).days_since(Date::of(2026, 2, 1)), 28);
    EXPECT_EQ(Date::of(2026, 1, 1).days_since(Date()), 0);
}

TEST(DateText, WrittenDayMonthTwoDigitYear) {
    ScopedDateSettings start_up;
    EXPECT_EQ(date_text(Date::of(2026, 12, 6)), "06/12/26");
    EXPECT_EQ(date_text(Date::of(1985, 1, 31)), "31/01/85");
    EXPECT_EQ(date_text(Date()), "        ");
    EXPECT_EQ(empty_date_mask(), "  /  /  ");
}

TEST(DateText, OtherFormatsFollowTheSetting) {
    ScopedDateSettings century("dd/mm/yyyy");
    EXPECT_EQ(date_text(Date::of(2026, 12, 6)), "06/12/2026");
    EXPECT_EQ(date_text(Date::of(800, 3, 4)), "04/03/0800");
    EXPECT_EQ(date_text(Date()), "          ");
    EXPECT_EQ(empty_date_mask(), "  /  /    ");
    ScopedDateSettings american("mm-dd-yy");
    EXPECT_EQ(date_text(Date::of(2026, 12, 6)), "12-06-26");
}

TEST(DateText, TwoDigitYearsFollowTheEpoch) {
    ScopedDateSettings start_up;
    EXPECT_EQ(date_from_text("01/02/79"), Date::of(2079, 2, 1));
    EXPECT_EQ(date_from_text("01/02/80"), Date::of(1980, 2, 1));
    EXPECT_EQ(date_from_text("31/12/99"), Date::of(1999, 12, 31));
    EXPECT_EQ(date_from_text("01/01/00"), Date::of(2000, 1, 1));
    EXPECT_EQ(date_from_text("6/12/26"), Date::of(2026, 12, 6));
    ScopedDateSettings epoch_1950("dd/mm/yy", 1950);
    EXPECT_EQ(date_from_text("01/02/49"), Date::of(2049, 2, 1));
    EXPECT_EQ(date_from_text("01/02/50"), Date::of(1950, 2, 1));
}

TEST(DateText, FourDigitYearsReadWhateverTheFormat) {
    ScopedDateSettings start_up;
    EXPECT_EQ(date_from_text("01/02/1979"), Date::of(1979, 2, 1));
    EXPECT_EQ(date_from_text("05/04/2026"), Date::of(2026, 4, 5));
    ScopedDateSettings american("mm/dd/yy");
    EXPECT_EQ(date_from_text("02/01/1979"), Date::of(1979, 2, 1));
}

TEST(DateText, WhatIsNoDateReadsAsTheEmptyDate) {
    ScopedDateSettings start_up;
    for (const char* text : {"", "        ", "  /  /  ", "31/02/26", "00/01/26", "01/13/26",
                             "01/02", "oggi", "123456/01/26"}) {
        EXPECT_TRUE(date_from_text(text).empty()) << text;
    }
}

TEST(DateText, RoundTripsUnderTheSettings) {
    ScopedDateSettings start_up;
    for (Date d = Date::of(1980, 1, 1); d <= Date::of(2079, 12, 31); d = d.plus_days(13)) {
        ASSERT_EQ(date_from_text(date_text(d)), d) << date_text(d);
    }
}

TEST(DateText, SortableForm) {
    EXPECT_EQ(date_sortable_text(Date::of(2026, 4, 5)), "20260405");
    EXPECT_EQ(date_sortable_text(Date()), "        ");
}

TEST(DateTime, PartsAndText) {
    ScopedDateSettings start_up;
    const DateTime t(Date::of(2026, 12, 6), 13, 5, 9, 250);
    EXPECT_EQ(t.date(), Date::of(2026, 12, 6));
    EXPECT_EQ(t.hour(), 13);
    EXPECT_EQ(t.minute(), 5);
    EXPECT_EQ(t.second(), 9);
    EXPECT_EQ(t.millisecond(), 250);
    EXPECT_EQ(date_time_text(t), "06/12/26 13:05:09");
    EXPECT_EQ(date_time_text(DateTime()), std::string(17, ' '));
}

TEST(DateTime, TimeOutsideTheDayGivesTheEmptyDateTime) {
    EXPECT_TRUE(DateTime(Date::of(2026, 1, 1), 24, 0, 0).empty());
    EXPECT_TRUE(DateTime(Date::of(2026, 1, 1), 12, 60, 0).empty());
    EXPECT_TRUE(DateTime(Date::of(2026, 1, 1), -1, 0, 0).empty());
    EXPECT_FALSE(DateTime(Date::of(2026, 1, 1), 23, 59, 59, 999).empty());
    EXPECT_TRUE(DateTime(Date(), 10, 0, 0).empty());
}

}  // namespace
}  // namespace kv::util
