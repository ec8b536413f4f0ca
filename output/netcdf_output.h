// netCDF-CF day files as an output of day products, in the one shape of
// every output (output/day_output.h): one file per wind mode, one per
// temperature day, made in memory.
#pragma once

#include <vector>

#include "output/day_output.h"

namespace qv {

std::vector<OutputFile> netcdfFiles(const DayProducts& products, const OutputContext& context);

}  // namespace qv
