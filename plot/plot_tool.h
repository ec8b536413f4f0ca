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

#include "output/consensus_file_reader.h"
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
};

// False with `error` set for an unknown option, a bad value or no input.
bool parsePlotToolArguments(const std::vector<std::string>& arguments, PlotToolOptions& options,
                            std::string& error);

std::string plotToolUsage();

// The days read, keyed by station (its first three characters) and day
// number (days since 1970-01-01).
struct DayKey {
    std::string station;
    long day = 0;
    bool operator<(const DayKey& other) const {
        return station != other.station ? station < other.station : day < other.day;
    }
};

struct CollectedDays {
    std::map<DayKey, std::vector<WindDay>> winds;  // one per mode, by mode
    std::map<DayKey, TemperatureDay> temperature;  // Tv and TvC merged
};

// Adds what one file held. A Tv file and a TvC file of the same day fill
// the two temperatures of the same gates. False with `error` set when the
// file repeats a day (and mode, or temperature digit) already added or
// has no valid date.
bool addDayContents(const ConsensusFileContents& contents, CollectedDays& days,
                    std::string& error);

// Day numbers split into plots: each alone, or runs of consecutive days
// (at most kMaxPlotDays long) when `joinDays`.
std::vector<std::vector<long>> plotGroups(const std::vector<long>& dayNumbers, bool joinDays);

// "QVS_20040615_winds.png", "QVS_20040615-20040616_temperature.svg".
std::string plotFileName(const std::string& station, const CalendarTime& first,
                         const CalendarTime& last, bool winds, PlotFormat format);

// The whole tool; messages go to `out` (files written) and `err`.
int runPlotTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace qv::plot
