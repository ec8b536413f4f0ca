#include "app/follow/period_completion.h"

#include <algorithm>
#include <cstdint>

#include "core/text.h"
#include "products/day_product.h"

namespace qv::follow {
namespace {

constexpr std::int64_t kMinutesPerDay = 24 * 60;

// Minutes after midnight of a key "HHMM"; -1 when it is not one.
int keyMinutes(const char* key) {
    const int minutes = periodKeyMinutes(key);  // stops at the first byte that is not a digit
    return minutes >= 0 && key[4] == '\0' ? minutes : -1;
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
