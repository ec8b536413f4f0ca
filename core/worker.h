// The processing run: walks the days from the begin date to the end date.
#pragma once

#include <thread>

#include "core/job.h"

namespace qv {

// The thread procedure. Returns 1 when every day was processed and 0 when
// the run was cancelled.
int ProcessingWorker(ConsensusJob& job);

// Empties the period store and reads the day at job.currentDayTime (setting
// currentDay) with the reader of the live input type.
void readCurrentDay(ConsensusJob& job);

// Sets currentDayTime to the begin date and starts ProcessingWorker on a new
// thread. The caller joins the thread.
std::thread startProcessing(ConsensusJob& job);

}  // namespace qv
