// The header values of a day product that both consensus kinds take from
// the job: the run's choices, the site and the day, and the beam entries.
#pragma once

#include "core/job.h"
#include "products/day_product.h"

namespace qv {

// The header of the day being processed, as the job holds it when the
// header is formed: the output kind and vertical-velocity policy checked
// now, titles, station, date, site and averaging period. The caller adds
// the mode digit, pulse width, gate spacing and beams.
DayHeader jobDayHeader(ConsensusJob& job);

// One beam as the header lists it.
HeaderBeam headerBeam(const BeamAccumulator& beam);

}  // namespace qv
