// Record times: UTC breakdown of the stored seconds and key comparison.
#include "input/krx/krx_state.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 to the civil year and the day of year counted from 0
// (proleptic Gregorian calendar, valid for every int32 time).
void yearAndDayOfYear(std::int64_t days, std::int64_t& year, std::int64_t& dayOfYear) {
    // Shift to an era starting on 0000-03-01, as in the usual civil-from-days.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doyFromMarch = doe - (365 * yoe + yoe / 4 - yoe / 100);
    year = yoe + era * 400 + (doyFromMarch >= 306 ? 1 : 0);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    // March 1 is day 59 (60 in a leap year) counted from January 1 as 0.
    dayOfYear = doyFromMarch >= 306 ? doyFromMarch - 306 : doyFromMarch + 59 + (leap ? 1 : 0);
}

}  // namespace

KrxTimeKey time_key_from_seconds(std::int32_t seconds) {
    const std::int64_t total = seconds;
    std::int64_t days = total / kSecondsPerDay;
    std::int64_t rest = total % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    std::int64_t year = 0;
    std::int64_t dayOfYear = 0;
    yearAndDayOfYear(days, year, dayOfYear);
    KrxTimeKey key;
    key.year = static_cast<std::int16_t>(year - 1900);
    key.day = static_cast<std::int16_t>(dayOfYear + 1);
    key.hour = static_cast<std::int16_t>(rest / 3600);
    key.minute = static_cast<std::int16_t>(rest / 60 % 60);
    key.second = static_cast<std::int16_t>(rest % 60);
    return key;
}

int compare_time_keys(const KrxTimeKey& a, const KrxTimeKey& b) {
    const std::int16_t fa[] = {a.year, a.day, a.hour, a.minute, a.second};
    const std::int16_t fb[] = {b.year, b.day, b.hour, b.minute, b.second};
    for (int i = 0; i < 5; ++i) {
        if (fa[i] > fb[i]) return 1;
        if (fa[i] < fb[i]) return -1;
    }
    return 0;
}
