#include "output/period_time.h"

namespace qv {

namespace {
constexpr std::int64_t kSecondsPerDay = 86400;
}

bool periodTimes(const DayHeader& header, const char* key, PeriodTimes& out) {
    const CalendarTime& day = header.day;
    const int minutes = periodKeyMinutes(key);
    if (day.year < 1 || day.year > 9999 || !isCalendarDate(day.year, day.month, day.day) ||
        minutes < 0 || header.averagingMinutes < 1 || header.averagingMinutes > 1440) {
        return false;
    }
    out.start =
        civilDayNumber(day.year, day.month, day.day) * kSecondsPerDay + std::int64_t{60} * minutes;
    out.end = out.start + std::int64_t{60} * header.averagingMinutes;
    return true;
}

CalendarTime utcCalendar(std::int64_t seconds) {
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    CalendarTime t = civilDate(days);
    t.hour = static_cast<std::uint16_t>(rest / 3600);
    t.minute = static_cast<std::uint16_t>(rest / 60 % 60);
    t.second = static_cast<std::uint16_t>(rest % 60);
    return t;
}

bool timeValueOfSeconds(std::int64_t seconds, TimeValue& out) {
    // The calendar conversions' years, 1601 to 30827.
    const std::int64_t first = civilDayNumber(1601, 1, 1) * kSecondsPerDay;
    const std::int64_t last = civilDayNumber(30828, 1, 1) * kSecondsPerDay;
    if (seconds < first || seconds >= last) return false;
    return calendarToTimeValue(utcCalendar(seconds), out);
}

}  // namespace qv
