// The wind consensus: one day of dwells to horizontal winds, one ".w" file
// per pulse-width mode.
#pragma once

#include "core/job.h"
#include "products/day_product.h"

namespace qv {

// Consensus averaging of every beam and gate, the pulse-width mode list,
// and per mode and period the choice of two oblique beams and a vertical
// beam, the folding of opposite and duplicate beams and the u/v solution.
// Returns one wind day per pulse-width mode that has at least one complete
// period (its header formed at that first period), in mode order.
DayProducts runWindConsensus(ConsensusJob& job);

// Sets job.verticalCorrection for one gate by the vertical-velocity policy
// checked now.
void selectVerticalCorrection(ConsensusJob& job, int gate);

// Threshold tests, speed, direction and QC code of one gate, from job.uOut
// and job.vOut.
void finishWindGate(ConsensusJob& job, int gate);

// True when the beam's consensus count at the gate is at least its
// threshold: consensusPercent <= count / sampleCount x 100, in extended
// precision.
bool passesWindThreshold(const BeamAccumulator& beam, int gate);

}  // namespace qv
