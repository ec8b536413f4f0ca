// The one narrow seam between the processing worker and whoever drives it
// (the dialog, the batch tool, the tests). Nothing toolkit-specific crosses
// it. Every call comes from the worker thread.
#pragma once

#include <string>
#include <vector>

#include "core/outcome.h"

namespace qv {

struct ConsensusJob;

enum class InputType { None, Binary, Ascii };
enum class OutputKind { None, Winds, Temperature };
enum class VerticalPolicy { None, NotUsed, WhenAvailable, Required };

class ProcessingHost {
public:
    virtual ~ProcessingHost() = default;

    // The two status lines. Posted, never awaited: a host may coalesce
    // (the latest text wins) but must not make the worker wait.
    virtual void setStatusMain(const std::string& text) = 0;
    virtual void setStatusDetail(const std::string& text) = 0;

    // Enabled state of the Process and Cancel buttons.
    virtual void setProcessEnabled(bool enabled) = 0;
    virtual void setCancelEnabled(bool enabled) = 0;

    // The live radio choices, read at each use (never copied at start).
    virtual InputType inputType() = 0;
    virtual OutputKind outputKind() = 0;
    virtual VerticalPolicy verticalPolicy() = 0;

    // The blocking settings review: returns only after the user has closed
    // the review of job.beamSettings and the host has set job.continueEvent.
    virtual void reviewSettings(ConsensusJob& job) = 0;

    // A reader's error text (for example a file that cannot be opened).
    virtual void reportError(const std::string& text) = 0;

    // Once, at the end of a run, before the last status lines: how it
    // ended, what was written and what was not.
    virtual void reportOutcome(const RunOutcome& outcome) = 0;

    // Once, as the worker's very last call: the run is over and the worker
    // thread can be joined at once.
    virtual void runEnded() = 0;
};

}  // namespace qv
