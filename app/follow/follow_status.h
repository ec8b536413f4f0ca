// The follower's status for monitoring: one small JSON object, written whole
// after every poll.
#pragma once

#include <string>
#include <vector>

namespace qv::follow {

struct FollowStatus {
    std::string state;              // "following", "waiting for input" or "stopped"
    std::string station;            // as the input's header names it
    std::string kind;               // "winds" or "temperature"
    std::string followedDay;        // YYYY-MM-DD; empty before the first poll
    std::string lastPeriodWritten;  // end of the last period written, data time
    std::string lastDwellRead;      // data time of the latest dwell read
    std::vector<std::string> filesWritten;  // by the latest write
    std::string error;              // the latest problem, empty when none
    std::string updated;            // the machine's UTC time of this poll
};

// The status as JSON; empty texts become null.
std::string statusJson(const FollowStatus& status);

}  // namespace qv::follow
