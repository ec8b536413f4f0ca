#include "app/follow/follow_status.h"

#include "core/text.h"

namespace qv::follow {
namespace {

std::string valueOrNull(const std::string& text) { return text.empty() ? "null" : jsonQuoted(text); }

}  // namespace

std::string statusJson(const FollowStatus& s) {
    std::string files = "[";
    for (std::size_t i = 0; i < s.filesWritten.size(); ++i) {
        files += (i ? ", " : "") + jsonQuoted(s.filesWritten[i]);
    }
    files += "]";
    return "{\n  \"state\": " + valueOrNull(s.state) + ",\n  \"station\": " +
           valueOrNull(s.station) + ",\n  \"kind\": " + valueOrNull(s.kind) +
           ",\n  \"followed_day\": " + valueOrNull(s.followedDay) +
           ",\n  \"last_period_written\": " + valueOrNull(s.lastPeriodWritten) +
           ",\n  \"last_dwell_read\": " + valueOrNull(s.lastDwellRead) +
           ",\n  \"files_written\": " + files + ",\n  \"error\": " + valueOrNull(s.error) +
           ",\n  \"updated\": " + valueOrNull(s.updated) + "\n}\n";
}

}  // namespace qv::follow
