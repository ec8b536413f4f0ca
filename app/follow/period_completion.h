// When an averaging period of a growing day is complete: a dwell later than
// its end has been read. Data times are compared with data times only; the
// machine's clock plays no part (a data system's clock may be off, and old
// days are replayed).
#pragma once

#include <string>

#include "core/time.h"

namespace qv::follow {

// The end of the period `key` ("HHMM" of its start) of the day that begins
// at `dayStart`: its start plus the period, but never later than the next
// midnight, since no dwell of the day lies beyond it. A key that is not
// "HHMM" ends at the next midnight.
TimeValue periodEnd(const char* key, TimeValue dayStart, int averagingMinutes);

// Complete once a dwell later than the end has been read: a dwell exactly
// at the end still belongs to the period. A dwell at or after the next
// midnight is of the next day and closes every period of this one.
bool periodComplete(TimeValue end, TimeValue dayStart, TimeValue lastDwell);

// "HH:MM-HH:MM": the period's start and end, as the log names it.
std::string periodLabel(const char* key, int averagingMinutes);

}  // namespace qv::follow
