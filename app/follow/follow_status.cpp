#include "app/follow/follow_status.h"

#include <cstdio>

namespace qv::follow {
namespace {

// A JSON string: quotes, backslashes and control bytes escaped; bytes
// beyond ASCII passed through (the names are the file system's).
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string valueOrNull(const std::string& text) { return text.empty() ? "null" : quoted(text); }

}  // namespace

std::string statusJson(const FollowStatus& s) {
    std::string files = "[";
    for (std::size_t i = 0; i < s.filesWritten.size(); ++i) {
        files += (i ? ", " : "") + quoted(s.filesWritten[i]);
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
