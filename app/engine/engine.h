// Wires the readers, the consensus kinds and the outputs into the worker's
// steps.
#pragma once

#include "core/job.h"

namespace qv {

// The standard readers (binary pairs, ASCII files), consensus kinds (winds,
// temperature) and outputs (the consensus data files, and the optional
// outputs the run's options ask for).
ProcessingSteps standardSteps();

// The outputs of one run, as standardSteps makes them.
std::unique_ptr<DayOutputs> standardOutputs(const OutputRequest& request);

}  // namespace qv
