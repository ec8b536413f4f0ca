// The outcome of a processing run, handed to the host once when the run
// ends: a value to act on, not a text to match.
#pragma once

#include <string>
#include <vector>

namespace qv {

// An output file that could not be written, and why (the system's or the
// maker's reason, without the path).
struct UnwrittenFile {
    std::string path;
    std::string reason;
    bool operator==(const UnwrittenFile&) const = default;
};

// What a day's outputs wrote: files written whole, and those that could
// not be, in the order they were made.
struct FileReport {
    std::vector<std::string> written;
    std::vector<UnwrittenFile> unwritten;
    // A file that could not be written; `error` may begin with the path.
    void lost(const std::string& path, const std::string& error);
    // Appends `other`, in order.
    void append(FileReport&& other);
};

struct RunOutcome {
    enum class Status {
        Done,             // every day up to the end date was processed
        Cancelled,        // the user cancelled
        SettingsMissing,  // the settings review left beams without window or threshold
    };
    Status status = Status::Done;

    // Files written whole in this run, in the order they were written.
    std::vector<std::string> written;
    // Output files that could not be written, with the reason; each once,
    // in order.
    std::vector<UnwrittenFile> unwritten;
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
