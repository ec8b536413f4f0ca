// Reader of binary data-acquisition file pairs (KRX): one data file per day,
// <folder>/d<yy><ddd>a.mom or, when that pair is not there, .spc, with its
// header file h<yy><ddd>a.* beside it. Both names are matched without regard
// to letter case when the exact name does not exist.
#pragma once

#include "core/job.h"
#include "core/time.h"

namespace qv {

// Reads the processing day's pair and then the next day's pair (which holds
// the day's last dwells), both from the processing day's 00:00:00 on, and
// hands each dwell to AccumulateRecord anchored on the date of the file
// being read. Winds take the radar moments of non-RASS dwells; Temperature
// takes each RASS dwell twice, its radar moments (rassFlag 0) and then its
// acoustic moments (rassFlag 1). Every dwell takes the geometry and mode of
// beam entry 0 of its header record.
//
// Returns 1 when both pairs were worked through (or cancelled between
// dwells), 0 when an error stopped it; the error text is then in
// job.statusText and has been handed to the host. The library's files are
// closed on every way out.
int GetBinaryMoments(ConsensusJob& job, const CalendarTime& day);

}  // namespace qv
