// quorvane-plot: time-height plots of consensus data files (".w" wind
// files, ".t" Tv and TvC files) and of Quorvane's netCDF day files. Files
// and folders of files are read, grouped by station and day (all pulse-width
// modes of a day in one wind plot, a day's Tv and TvC files in one
// temperature plot) and each day, or with --days each run of consecutive
// days, is plotted into one file.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "plot/plot.h"

namespace qv::plot {

// Exit status of the tool.
inline constexpr int kPlotToolDone = 0;
inline constexpr int kPlotToolFailures = 1;  // a file not read or a plot not written
inline constexpr int kPlotToolBadArguments = 2;

struct PlotToolOptions {
    std::vector<std::string> inputs;  // files and folders
    PlotFormat format = PlotFormat::Png;
    std::string outputFolder = ".";
    bool joinDays = false;  // --days
    int width = 1600;
    int height = 900;
    bool help = false;
    bool version = false;
};

// False with `error` set for an unknown option, a bad value or no input.
bool parsePlotToolArguments(const std::vector<std::string>& arguments, PlotToolOptions& options,
                            std::string& error);

std::string plotToolUsage();

// Day numbers split into plots: each alone, or runs of consecutive days
// (at most kMaxPlotDays long) when `joinDays`.
std::vector<std::vector<std::int64_t>> plotGroups(const std::vector<std::int64_t>& dayNumbers,
                                                   bool joinDays);


// The whole tool; messages go to `out` (files written) and `err`.
int runPlotTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace qv::plot
