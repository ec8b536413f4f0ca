#include "core/time.h"

#include <chrono>
#include <cstdio>

namespace qv {
namespace {

constexpr int kCommonStarts[12] = {1, 32, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
constexpr int kLeapStarts[12] = {1, 32, 61, 92, 122, 153, 183, 214, 245, 275, 306, 336};

bool isGregorianLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isGregorianLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 1970 to the given proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

// Days from 1 January 1601 to 1 January 1970.
constexpr std::int64_t kEpochDays1601 = 134774;

}  // namespace

bool calendarToTimeValue(const CalendarTime& c, TimeValue& out) {
    if (c.year < 1601 || c.year > 30827) return false;
    if (c.month < 1 || c.month > 12) return false;
    if (c.day < 1 || c.day > daysInMonth(c.year, c.month)) return false;
    if (c.hour > 23 || c.minute > 59 || c.second > 59 || c.milliseconds > 999) return false;
    const std::int64_t days = daysFromCivil(c.year, c.month, c.day) + kEpochDays1601;
    std::uint64_t v = static_cast<std::uint64_t>(days) * TimeUnits::day;
    v += static_cast<std::uint64_t>(c.hour) * TimeUnits::hour;
    v += static_cast<std::uint64_t>(c.minute) * TimeUnits::minute;
    v += static_cast<std::uint64_t>(c.second) * TimeUnits::second;
    v += static_cast<std::uint64_t>(c.milliseconds) * 10'000u;
    out = v;
    return true;
}

bool timeValueToCalendar(TimeValue value, CalendarTime& out) {
    if (value >= (std::uint64_t{1} << 63)) return false;
    const std::uint64_t dayUnits = static_cast<std::uint64_t>(TimeUnits::day);
    const std::int64_t days = static_cast<std::int64_t>(value / dayUnits);
    std::uint64_t rest = value % dayUnits;
    int y;
    unsigned m, d;
    civilFromDays(days - kEpochDays1601, y, m, d);
    CalendarTime c;
    c.year = static_cast<std::uint16_t>(y);
    c.month = static_cast<std::uint16_t>(m);
    c.day = static_cast<std::uint16_t>(d);
    // 1 January 1601 was a Monday.
    c.dayOfWeek = static_cast<std::uint16_t>((days + 1) % 7);
    c.hour = static_cast<std::uint16_t>(rest / TimeUnits::hour);
    rest %= TimeUnits::hour;
    c.minute = static_cast<std::uint16_t>(rest / TimeUnits::minute);
    rest %= TimeUnits::minute;
    c.second = static_cast<std::uint16_t>(rest / TimeUnits::second);
    rest %= TimeUnits::second;
    c.milliseconds = static_cast<std::uint16_t>(rest / 10'000u);
    out = c;
    return true;
}

int compareTimeValues(TimeValue a, TimeValue b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

void addTime(TimeValue& value, std::int64_t count) {
    value += static_cast<std::uint64_t>(count);
}

std::int16_t dayOfYear(int year, int month, int day) {
    const int* starts = year % 4 == 0 ? kLeapStarts : kCommonStarts;
    if (month < 1) month = 1;
    if (month > 12) month = 12;
    return static_cast<std::int16_t>(starts[month - 1] + day - 1);
}

void monthDayFromDayOfYear(int year, int doy, std::int16_t& month, std::int16_t& day) {
    const int* starts = year % 4 == 0 ? kLeapStarts : kCommonStarts;
    int index = 11;
    while (index > 0 && starts[index] > doy) --index;
    month = static_cast<std::int16_t>(index + 1);
    day = static_cast<std::int16_t>(doy - starts[index] + 1);
}

CalendarTime systemUtcNow() {
    const auto now = std::chrono::system_clock::now();
    const auto units =
        std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count() / 100;
    const TimeValue value =
        static_cast<TimeValue>(units) + static_cast<TimeValue>(kEpochDays1601) * TimeUnits::day;
    CalendarTime c;
    timeValueToCalendar(value, c);
    return c;
}

std::int64_t civilDayNumber(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CalendarTime civilDate(std::int64_t dayNumber) {
    const std::int64_t z = dayNumber + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    CalendarTime date;
    date.year = static_cast<std::uint16_t>(year);
    date.month = static_cast<std::uint16_t>(month);
    date.day = static_cast<std::uint16_t>(day);
    return date;
}

bool isCalendarDate(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > kDays[month - 1]) return false;
    if (month == 2 && day == 29) {
        return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    }
    return true;
}

std::string isoDate(const CalendarTime& day) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", unsigned{day.year}, unsigned{day.month},
                  unsigned{day.day});
    return text;
}

std::string isoDateTime(const CalendarTime& time) {
    char text[48];
    std::snprintf(text, sizeof text, "%sT%02u:%02u:%02uZ", isoDate(time).c_str(),
                  unsigned{time.hour}, unsigned{time.minute}, unsigned{time.second});
    return text;
}

}  // namespace qv
