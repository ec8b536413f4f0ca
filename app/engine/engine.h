// Wires the readers and consensus kinds into the worker's steps.
#pragma once

#include "core/job.h"

namespace qv {

// The standard readers (binary pairs, ASCII files) and consensus kinds
// (winds, temperature).
ProcessingSteps standardSteps();

}  // namespace qv
