// Compares consensus data files with the truth tables of the generator and
// sums the differences up in one line.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qv::samplegen {

struct CompareOptions {
    std::vector<std::string> truthPaths;  // truth CSV files or folders holding *_truth.csv
    std::string windsDir;                 // folder of .w?a files
    std::string temperatureDir;           // folder of .t1a and .t2a files
    std::optional<double> maxWindRms;     // m/s: fail above
    std::optional<double> maxTemperatureRms;  // C: fail above (TvC against the truth's Tv)
};

// Prints the summary line on out, problems on err. Returns 0, 1 when a
// limit was exceeded or nothing could be compared, 2 for unreadable input.
int compare(const CompareOptions& options, std::ostream& out, std::ostream& err);

}  // namespace qv::samplegen
