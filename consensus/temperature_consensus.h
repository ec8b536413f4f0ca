// Temperature consensus: RASS virtual temperatures per averaging period and
// gate, written to the day's Tv file and its vertically corrected TvC file.
#pragma once

#include "core/job.h"
#include "products/day_product.h"

namespace qv {

// Averages every accumulator of the day's periods (radar beams on radial
// velocity, RASS beams on virtual temperature) and makes one block per
// period holding a RASS beam; the day's header is formed at the first such
// period. A period without a RASS beam gives no block; one without a radar
// beam is computed as if its radar beam failed at every gate. Returns the
// day (none when no period holds a RASS beam).
DayProducts runTemperatureConsensus(ConsensusJob& job);

// Sets job.verticalCorrection, job.qcCode, job.tvOut and job.tvcOut for gate
// `gate` of job.rassBeam, with job.radarBeam (may be null) as the vertical
// beam, and subtracts the correction from the RASS beam's mean speed there.
// The vertical-velocity policy is read from the host at each call.
void evaluateTemperatureGate(ConsensusJob& job, int gate);

}  // namespace qv
