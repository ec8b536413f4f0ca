#include "app/follow/period_completion.h"

#include <algorithm>
#include <cstdint>

#include "core/text.h"

namespace qv::follow {
namespace {

constexpr std::int64_t kMinutesPerDay = 24 * 60;

// Minutes after midnight of a key "HHMM"; -1 when it is not one.
int keyMinutes(const char* key) {
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        if (key[i] < '0' || key[i] > '9') return -1;
        value = value * 10 + (key[i] - '0');
    }
    const int hours = value / 100;
    const int minutes = value % 100;
    if (key[4] != '\0' || hours > 23 || minutes > 59) return -1;
    return hours * 60 + minutes;
}

std::int64_t endMinutes(const char* key, int averagingMinutes) {
    const int start = keyMinutes(key);
    if (start < 0 || averagingMinutes < 1) return kMinutesPerDay;
    return std::min<std::int64_t>(start + std::int64_t{averagingMinutes}, kMinutesPerDay);
}

}  // namespace

TimeValue periodEnd(const char* key, TimeValue dayStart, int averagingMinutes) {
    return dayStart + static_cast<TimeValue>(endMinutes(key, averagingMinutes)) *
                          static_cast<TimeValue>(TimeUnits::minute);
}

bool periodComplete(TimeValue end, TimeValue dayStart, TimeValue lastDwell) {
    return lastDwell > end || lastDwell >= dayStart + static_cast<TimeValue>(TimeUnits::day);
}

std::string periodLabel(const char* key, int averagingMinutes) {
    const int start = keyMinutes(key);
    const std::int64_t end = endMinutes(key, averagingMinutes) % kMinutesPerDay;
    if (start < 0) return formatText("%.4s", key);
    return formatText("%02d:%02d-%02d:%02d", start / 60, start % 60, static_cast<int>(end / 60),
                      static_cast<int>(end % 60));
}

}  // namespace qv::follow
