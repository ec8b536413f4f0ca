// The outcome of a processing run, handed to the host once when the run
// ends: a value to act on, not a text to match.
#pragma once

#include <string>
#include <vector>

namespace qv {

struct RunOutcome {
    enum class Status {
        Done,             // every day up to the end date was processed
        Cancelled,        // the user cancelled
        SettingsMissing,  // the settings review left beams without window or threshold
    };
    Status status = Status::Done;

    // Files written whole in this run, in the order they were written.
    std::vector<std::string> written;
    // Output paths that could not be written; each once, in order.
    std::vector<std::string> unwritten;
    // Days that were not processed in full: which file, what was wrong and
    // how much was used, one text each.
    std::vector<std::string> incompleteDays;
    // Why nothing was written, for a finished run that wrote no file at all
    // (empty otherwise).
    std::string nothingWrittenReason;
    // Beams the settings review left without a positive window or threshold.
    std::vector<std::string> missingBeams;
};

}  // namespace qv
