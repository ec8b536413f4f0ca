// The batch tool's run: reads the command line, checks it as the dialog
// would, runs the worker on its own thread over a console host, and returns
// the exit status.
#pragma once

#include <atomic>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/job.h"
#include "core/time.h"

namespace qv::batch {

inline constexpr int kExitDone = 0;
inline constexpr int kExitUnwritten = 1;   // an output could not be written
inline constexpr int kExitUsage = 2;       // invalid arguments
inline constexpr int kExitSettings = 3;    // a beam lacks consensus settings
inline constexpr int kExitNothingWritten = 4;  // the run ended without writing any file
inline constexpr int kExitIncompleteDays = 5;  // a day was not processed in full
inline constexpr int kExitFolderInUse = 6;     // another run writes into the output folder
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitInterruptedTwice = 131;  // a second interrupt ended the tool at once

struct BatchContext {
    std::ostream* out = nullptr;  // --help
    std::ostream* err = nullptr;  // messages, status lines, progress bar

    // The SOURCE_DATE_EPOCH value, when set in the environment.
    std::optional<std::string> sourceDateEpoch;
    bool terminal = false;  // err is a terminal: draw a progress bar
    int terminalWidth = 80;

    // Set (asynchronously) when the user interrupts; the run is then
    // cancelled. May be null.
    const std::atomic<bool>* interrupted = nullptr;

    // The UTC clock for the dialog's year lists (the last year offered is
    // the current one).
    UtcClock now = systemUtcNow;

    // Readers and consensus; the standard ones when not given.
    std::optional<ProcessingSteps> steps;
};

// Runs the tool with the arguments that follow the program name.
int runBatch(const std::vector<std::string>& args, const BatchContext& context);

// The calendar time of a SOURCE_DATE_EPOCH value (decimal seconds since
// 1970-01-01 00:00:00 UTC, at most 9999-12-31 23:59:59). False for any
// other text.
bool sourceDateEpochTime(const std::string& text, CalendarTime& out);

// Makes SIGINT and SIGTERM set the returned flag (a second one ends the
// process at once with kExitInterruptedTwice), and makes writes beyond a
// file-size limit fail instead of ending the process (SIGXFSZ ignored).
const std::atomic<bool>& installInterruptHandler();

}  // namespace qv::batch
