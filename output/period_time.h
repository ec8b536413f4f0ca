// The times of an averaging period, one rule for every output: a period
// starts at its "HHMM" key on the day's date and ends the day's averaging
// interval later (on the next date for a period that runs past midnight).
// The netCDF time bounds and the WMO BUFR report times are both made here.
#pragma once

#include <cstdint>

#include "core/time.h"
#include "products/day_product.h"

namespace qv {

struct PeriodTimes {
    std::int64_t start = 0;  // seconds since 1970-01-01 00:00 UTC
    std::int64_t end = 0;
};

// False when the day is not a calendar date of the years 1 to 9999, the key
// is not a time of day, or the averaging interval is not 1 to 1440 minutes.
bool periodTimes(const DayHeader& header, const char* key, PeriodTimes& out);

// The UTC calendar time of seconds since 1970 (to the second; the day of
// week is not set).
CalendarTime utcCalendar(std::int64_t seconds);

// The time value of seconds since 1970; false before 1601 or beyond the
// calendar conversions' range.
bool timeValueOfSeconds(std::int64_t seconds, TimeValue& out);

}  // namespace qv
