#include "core/time.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

CalendarTime cal(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    CalendarTime c;
    c.year = static_cast<std::uint16_t>(y);
    c.month = static_cast<std::uint16_t>(mo);
    c.day = static_cast<std::uint16_t>(d);
    c.hour = static_cast<std::uint16_t>(h);
    c.minute = static_cast<std::uint16_t>(mi);
    c.second = static_cast<std::uint16_t>(s);
    c.milliseconds = static_cast<std::uint16_t>(ms);
    return c;
}

TEST(Time_Conversion, KnownInstants) {
    TimeValue v = 1;
    ASSERT_TRUE(calendarToTimeValue(cal(1601, 1, 1), v));
    EXPECT_EQ(v, 0u);
    // 1 January 1970 is 11644473600 seconds after 1 January 1601.
    ASSERT_TRUE(calendarToTimeValue(cal(1970, 1, 1), v));
    EXPECT_EQ(v, 116444736000000000ull);
    ASSERT_TRUE(calendarToTimeValue(cal(2004, 6, 15, 12, 3, 45, 7), v));
    CalendarTime back;
    ASSERT_TRUE(timeValueToCalendar(v, back));
    EXPECT_EQ(back.year, 2004);
    EXPECT_EQ(back.month, 6);
    EXPECT_EQ(back.day, 15);
    EXPECT_EQ(back.hour, 12);
    EXPECT_EQ(back.minute, 3);
    EXPECT_EQ(back.second, 45);
    EXPECT_EQ(back.milliseconds, 7);
    EXPECT_EQ(back.dayOfWeek, 2);  // a Tuesday
}

TEST(Time_Conversion, RoundTripsEveryDayAcrossCenturies) {
    TimeValue v;
    ASSERT_TRUE(calendarToTimeValue(cal(1899, 12, 31), v));
    for (int i = 0; i < 80000; ++i) {
        CalendarTime c;
        ASSERT_TRUE(timeValueToCalendar(v, c));
        TimeValue again;
        ASSERT_TRUE(calendarToTimeValue(c, again));
        ASSERT_EQ(again, v);
        addTime(v, TimeUnits::day);
    }
}

TEST(Time_Conversion, RejectsWhatThePlatformRejects) {
    const CalendarTime bad[] = {
        cal(2004, 0, 1),   cal(2004, 13, 1),  cal(2004, 2, 31),      cal(2003, 2, 29),
        cal(1900, 2, 29),  cal(2004, 4, 31),  cal(2004, 1, 0),       cal(2004, 1, 1, 24),
        cal(2004, 1, 1, 0, 60), cal(2004, 1, 1, 0, 0, 60), cal(2004, 1, 1, 0, 0, 0, 1000),
        cal(1600, 12, 31), cal(30828, 1, 1),
    };
    for (const CalendarTime& c : bad) {
        TimeValue v = 42;
        EXPECT_FALSE(calendarToTimeValue(c, v)) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(v, 42u);
    }
    TimeValue v;
    EXPECT_TRUE(calendarToTimeValue(cal(2004, 2, 29), v));
    EXPECT_TRUE(calendarToTimeValue(cal(2000, 2, 29), v));
    CalendarTime c;
    EXPECT_FALSE(timeValueToCalendar(std::uint64_t{1} << 63, c));
}

TEST(Time_Ordering, CompareAndAdd) {
    TimeValue a, b;
    calendarToTimeValue(cal(2004, 1, 1), a);
    calendarToTimeValue(cal(2004, 1, 2), b);
    EXPECT_LT(compareTimeValues(a, b), 0);
    EXPECT_GT(compareTimeValues(b, a), 0);
    EXPECT_EQ(compareTimeValues(a, a), 0);
    addTime(a, TimeUnits::day);
    EXPECT_EQ(a, b);
    addTime(a, -TimeUnits::day);
    addTime(a, TimeUnits::day);
    EXPECT_EQ(a, b);

    TimeValue low = 0xFFFFFFFFull;
    addTime(low, 1);
    EXPECT_EQ(low, 0x100000000ull);  // carry into the high half
    addTime(low, -1);
    EXPECT_EQ(low, 0xFFFFFFFFull);
}

TEST(Time_DayOfYear, LeapRuleWithoutCenturyException) {
    EXPECT_EQ(dayOfYear(2000, 3, 1), 61);
    EXPECT_EQ(dayOfYear(1900, 3, 1), 61);
    EXPECT_EQ(dayOfYear(2001, 3, 1), 60);
    EXPECT_EQ(dayOfYear(2004, 12, 31), 366);
    EXPECT_EQ(dayOfYear(2004, 1, 1), 1);
    std::int16_t m, d;
    monthDayFromDayOfYear(2004, 60, m, d);
    EXPECT_EQ(m, 2);
    EXPECT_EQ(d, 29);
    monthDayFromDayOfYear(2003, 60, m, d);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(d, 1);
    monthDayFromDayOfYear(2003, 365, m, d);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 31);
    monthDayFromDayOfYear(2003, 367, m, d);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 33);
    monthDayFromDayOfYear(2003, 0, m, d);  // never reads before the table
    EXPECT_EQ(m, 1);
    EXPECT_EQ(d, 0);
}

}  // namespace
}  // namespace qv
