// The consensus data file as an output of day products: each day's file
// composed whole, in the one shape of every output (output/day_output.h).
#pragma once

#include <string>
#include <vector>

#include "core/outcome.h"
#include "output/day_output.h"

namespace qv {

// The path of a day file in `folder`: "FOLDER/NAME".
std::string consensusFilePath(const std::string& folder, const DayHeader& header, int variant);

// One file per wind day (its mode digit) and, for a temperature day, the
// Tv file (digit 1) and the TvC file (digit 2), in context.folder;
// context.created is the headers' "Created on" stamp.
std::vector<OutputFile> consensusFiles(const DayProducts& products, const OutputContext& context);

// Writes files whole, in order: each made file is listed in
// report.written, or in report.unwritten with the reason, as is each file
// that could not be made. A file that could not be written whole keeps its
// previous contents, or is absent.
void writeOutputFiles(const std::vector<OutputFile>& files, FileReport& report);

// consensusFiles written at once (tests and tools that need no writer
// thread).
void writeConsensusFiles(const DayProducts& products, const std::string& folder,
                         const CalendarTime& created, FileReport& report);

}  // namespace qv
