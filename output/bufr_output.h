// WMO BUFR reports as an output of day products, in the one shape of every
// output (output/day_output.h). Each averaging period is one message of
// sequence 3 09 024 (winds, one file per pulse-width mode) or 3 09 025
// (RASS virtual temperature); output/bufr_content.h says what a message
// holds, output/bufr_api.h makes it with ecCodes.
//
// When ecCodes cannot make messages here (a damaged definitions folder), every
// BUFR file of the day is reported as not made, with the reason; the day's
// other outputs are not affected.
#pragma once

#include "core/time.h"
#include "output/bufr_settings.h"
#include "output/day_output.h"

namespace qv {

// Day files: "<station>_<YYYYMMDD>_winds_m<mode>.bufr" and
// "<station>_<YYYYMMDD>_temperature.bufr" (the station as in every
// output's names), each the day's messages one after the other, in the
// order of the periods in the day.
DayOutput bufrFiles(BufrSettings settings);

// One file per period, for a sending system to pick up:
// "<station>_<YYYYMMDDHHMM>_winds_m<mode>.bufr" or
// "<station>_<YYYYMMDDHHMM>_temperature.bufr" named by the period's end
// (UTC), for the periods that end later than `periodsEndingAfter` (a data
// time; 0: every period).
DayOutput bufrOutbox(BufrSettings settings, TimeValue periodsEndingAfter);

// Finds out now whether ecCodes can make the messages (bufr::libraryReady,
// whose answer is kept for the files). A program calls it before it starts
// threads: the check forks a process, and a process forked while other
// threads hold a lock (an allocator's) can wait on it for ever.
void prepareBufr();

}  // namespace qv
