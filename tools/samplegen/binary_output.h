// Sample days as binary data-acquisition pairs (KRX), with ASCII twins that
// hold exactly the same values.
#pragma once

#include <vector>

#include "tools/samplegen/generate.h"

namespace qv::samplegen {

// The dwells of makeDayFiles as one pair per file day,
// <outDir>/d<yy><ddd>a.mom with its header file h<yy><ddd>a.mom, holding
// the winds dwells (one header record per beam) and the RASS dwells (radar
// moments of the vertical beam in window 1, acoustic moments in window 2).
// The binary encoding holds velocities in hundredths (radar) or tenths
// (RASS) of a metre per second and signal-to-noise ratios in hundredths of
// a dB; values it cannot hold (the missing mark -999 where it does not fit)
// become its smallest code.
//
// <outDir>/twin/ receives the ASCII moment files of the same dwells with
// exactly the values the pairs hold (<site><yy><ddd>.raw and .rat, station
// name in lower case as the binary reader delivers it): a run over either
// gives the same consensus files.
//
// Per pair: the data file (naming its header file), then the twins.
std::vector<OutputFile> binaryFiles(const GenerateOptions& options);

}  // namespace qv::samplegen
