// Time values and calendar times of the processing core.
//
// A time value counts 100-nanosecond intervals since 1 January 1601 00:00
// (proleptic Gregorian calendar). A calendar time holds the broken-down
// fields. The conversions accept and reject fields exactly as the classic
// platform conversions do; no time zone is ever applied.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qv {

using TimeValue = std::uint64_t;

struct CalendarTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;      // 1..12
    std::uint16_t dayOfWeek = 0;  // 0 = Sunday; ignored on input
    std::uint16_t day = 0;        // 1..31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

// The 100-ns units of one second, minute, hour and day.
struct TimeUnits {
    static constexpr std::int64_t second = 10'000'000;
    static constexpr std::int64_t minute = second * 60;
    static constexpr std::int64_t hour = minute * 60;
    static constexpr std::int64_t day = hour * 24;
};

// Calendar time to time value. Fails (returns false, `out` untouched) for a
// year outside 1601..30827, month outside 1..12, a day that the month does
// not have (Gregorian leap rule), hour > 23, minute > 59, second > 59 or
// milliseconds > 999. The day of week is not looked at.
bool calendarToTimeValue(const CalendarTime& calendar, TimeValue& out);

// Time value to calendar time, day of week included. Fails for values of
// 2^63 and above.
bool timeValueToCalendar(TimeValue value, CalendarTime& out);

// Negative, zero or positive as a is earlier than, equal to or later than b.
int compareTimeValues(TimeValue a, TimeValue b);

// Adds a signed count to a time value in place (64-bit two's complement).
void addTime(TimeValue& value, std::int64_t count);

// Day of year (1..366) from the month tables; a year divisible by 4 is a
// leap year (no century rule). Month must lie in 1..12.
std::int16_t dayOfYear(int year, int month, int day);

// Month and day from a day of year by the same tables. Defined for day of
// year 1..366; a value below 1 gives month 1 and a day of 0 or less, which
// no calendar conversion accepts (the tables are never read outside).
void monthDayFromDayOfYear(int year, int dayOfYear, std::int16_t& month, std::int16_t& day);

// The proleptic Gregorian calendar by days: the one calendar that plots,
// netCDF files and the run's day order use (after H. Hinnant's algorithms).
// Days since 1970-01-01 of a civil date (any fields; no check).
std::int64_t civilDayNumber(int year, int month, int day);
// The civil date (year, month, day; the rest zero) of a day number.
CalendarTime civilDate(std::int64_t dayNumber);
// True for a date the Gregorian calendar has (century rule included).
bool isCalendarDate(int year, int month, int day);
// "YYYY-MM-DD".
std::string isoDate(const CalendarTime& day);
// "YYYY-MM-DDTHH:MM:SSZ".
std::string isoDateTime(const CalendarTime& time);

// The UTC wall clock; replaceable for tests and reproducible runs.
using UtcClock = std::function<CalendarTime()>;
CalendarTime systemUtcNow();

}  // namespace qv
