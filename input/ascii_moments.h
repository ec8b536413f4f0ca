// Reader of ASCII moment files: ".raw" (radar moments, read for Winds) and
// ".rat" (radar and RASS moments with a per-record RASS flag, read for
// Temperature). One file per site and day, named
// <folder>/<site><yy><ddd>.raw or .rat.
#pragma once

#include "core/job.h"
#include "core/time.h"

namespace qv {

// Reads the processing day's file and then the next day's file and hands
// every dwell to AccumulateRecord, anchored on the date of the file being
// read (the next day's file holds the processing day's last dwells).
// Returns 1 when both files were read to their end, or when the output kind
// selects no file; 0 when it stopped at a file that cannot be opened or
// read (the error is handed to the host), an empty file or a file that ends
// after a record's first line.
int GetAsciiMoments(ConsensusJob& job, const CalendarTime& day);

}  // namespace qv
