// The consensus data file as an output of day products: each day's file
// composed whole, then written whole into the output folder.
#pragma once

#include <string>

#include "core/job.h"
#include "products/day_product.h"

namespace qv {

// The path of a day file in `folder`: "FOLDER/NAME".
std::string consensusFilePath(const std::string& folder, const DayHeader& header, int variant);

// Writes one file per wind day (its mode digit) and, for a temperature day,
// the Tv file (digit 1) and the TvC file (digit 2). `created` is the
// headers' "Created on" stamp. Every file written is listed in
// report.written, every one that could not be written in report.unwritten;
// a file that could not be written whole keeps its previous contents, or is
// absent.
void writeConsensusFiles(const DayProducts& products, const std::string& folder,
                         const CalendarTime& created, OutputReport& report);

}  // namespace qv
