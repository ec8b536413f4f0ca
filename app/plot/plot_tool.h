// quorvane-plot: time-height plots of consensus data files (".w" wind
// files, ".t" Tv and TvC files) and of Quorvane's netCDF day files. Files
// and folders of files are read, grouped by station and day (all pulse-width
// modes of a day in one wind plot, a day's Tv and TvC files in one
// temperature plot) and each day, each run of consecutive days (--days),
// each week (--week) or each station's last 24 hours (--last-24h) is
// plotted into one file. Every plot of one invocation has the same colour
// scale: the fixed default, or the one given.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "plot/plot.h"
#include "plot/plot_span.h"

namespace qv::plot {

// Exit status of the tool.
inline constexpr int kPlotToolDone = 0;
inline constexpr int kPlotToolFailures = 1;  // a file not read or a plot not written
inline constexpr int kPlotToolBadArguments = 2;

struct PlotToolOptions {
    std::vector<std::string> inputs;  // files and folders
    PlotFormat format = PlotFormat::Png;
    std::string outputFolder = ".";
    PlotSpan span = PlotSpan::Day;  // --days, --week, --last-24h
    double windScaleMax = kDefaultWindScaleMax;                // --wind-scale
    TemperatureRange temperatureScale = kDefaultTemperatureScale;  // --temperature-scale
    int width = 1600;
    int height = 900;
    bool help = false;
    bool version = false;
};

// False with `error` set for an unknown option, a bad value or no input.
bool parsePlotToolArguments(const std::vector<std::string>& arguments, PlotToolOptions& options,
                            std::string& error);

std::string plotToolUsage();

// The whole tool; messages go to `out` (files written) and `err`.
int runPlotTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace qv::plot
