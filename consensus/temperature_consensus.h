// Temperature consensus: RASS virtual temperatures per averaging period and
// gate, written to the day's Tv file and its vertically corrected TvC file.
#pragma once

#include "core/job.h"

namespace qv {

// Averages every accumulator of the day's periods (radar beams on radial
// velocity, RASS beams on virtual temperature) and appends one block per
// period holding a RASS beam to the day's Tv and TvC files. The first such
// period creates both files. A period without a RASS beam writes nothing;
// one without a radar beam is written as if its radar beam failed at every
// gate.
void runTemperatureConsensus(ConsensusJob& job);

// Sets job.verticalCorrection, job.qcCode, job.tvOut and job.tvcOut for gate
// `gate` of job.rassBeam, with job.radarBeam (may be null) as the vertical
// beam, and subtracts the correction from the RASS beam's mean speed there.
// The vertical-velocity policy is read from the host at each call.
void evaluateTemperatureGate(ConsensusJob& job, int gate);

}  // namespace qv
