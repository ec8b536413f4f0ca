// The consensus data file: name, header, period line and gate lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/job.h"

namespace qv {

// Creates (truncating) the day file for job.outputVariant and the output
// kind checked now, writes header lines 1 to 23, closes it, leaves its path
// in job.outputFilePath and empties the four header value texts. A file
// that cannot be created is recorded in job.unwrittenPaths.
void writeConsensusHeader(ConsensusJob& job);

// "%s%7d%10d\n": period key, number of gate lines, 0.
std::string formatPeriodLine(const char* key, int gateCount);

// Appends one entry of a beam to the four header value texts (winds).
void appendHeaderEntries(ConsensusJob& job, const BeamAccumulator& beam);

// Replaces the four header value texts by one beam's entries (temperature).
void setHeaderEntries(ConsensusJob& job, const BeamAccumulator& beam);

// Opens a day file for appending ("a"); records the path as unwritten and
// returns null when it cannot be opened.
std::FILE* openForAppend(ConsensusJob& job, const std::string& path);

// Closes an appended file; a failed write or close records the path.
void closeAppended(ConsensusJob& job, std::FILE* file, const std::string& path);

}  // namespace qv
