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
//
// With job.params.correctedWinds the corrected wind solution is
// used (the day headers say so): only beams of the same pulse width whose
// gates lie at the same heights (first gate height and gate spacing) fold
// into one another, and an oblique gate that took the negated velocity of
// its opposite beam has the vertical motion's part added back instead of
// subtracted, so that it cancels. Paired gates and the beam's own gates are
// solved as without the option; with it off every value is as before.
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
