// Follows a station's growing moment files, unattended. Days that a later
// day's input shows to be over are processed as a run over finished days
// does; the newest day is read again whenever its input grows, and its
// outputs are rewritten whole with exactly the averaging periods that are
// complete. No state is kept beyond the output files: a follower stopped
// at any moment and started again makes the same files.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/job.h"
#include "core/settings_csv.h"

namespace qv::follow {

struct FollowOptions {
    std::int64_t firstDay = 0;  // civil day number of the first day
    std::chrono::milliseconds poll{10'000};
    // Input that has not grown for this long (by the machine's clock) is
    // taken as a data system that stopped: its last period is complete.
    std::chrono::milliseconds grace{3'600'000};
    std::string statusPath;  // empty: no status file
    // The settings review, without a person: rows first, then defaults.
    std::vector<SettingsRow> settings;
    ReviewDefaults defaults;
    // The stages of a write whose outputs hand on, as files of their own,
    // the periods ending after the given data time (the BUFR outbox). None:
    // the job's own stages.
    std::function<std::unique_ptr<DayStages>(const ConsensusJob&, TimeValue newPeriodsAfter)>
        stagesFor;
    InputType input = InputType::Binary;
    OutputKind kind = OutputKind::Winds;
    VerticalPolicy policy = VerticalPolicy::WhenAvailable;
};

inline constexpr int kFollowStopped = 0;         // asked to stop (SIGTERM, SIGINT)
inline constexpr int kFollowSettingsMissing = 3; // a beam lacks consensus settings

// Follows until `stop` is set, with the job's parameters and steps (its
// host is the follower's own); log lines go to `log`. Returns the exit
// status.
int follow(ConsensusJob& job, const FollowOptions& options, std::ostream& log,
           const std::atomic<bool>& stop);

}  // namespace qv::follow
