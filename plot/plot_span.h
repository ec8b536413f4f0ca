// What one plot covers: a day, runs of consecutive days, a week or the last
// 24 hours. quorvane-plot and the Results window cut days into plots by
// these rules, and only by these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plot/layout.h"
#include "plot/plot.h"
#include "products/day_product.h"

namespace qv::plot {

enum class PlotSpan {
    Day,          // each day alone
    Days,         // runs of consecutive days, at most kMaxPlotDays long
    Week,         // 7-day blocks counted back from the newest day
    Last24Hours,  // the 24 hours ending with the newest period
};

inline constexpr int kWeekDays = 7;

// Day numbers (days since 1970-01-01, in any order, repeats allowed) split
// into the days of each plot, oldest plot first, each plot's days in order.
// Week: the newest day and the 6 before it make the newest week, the 7
// days before those the week before, and so on; a week holds the days of
// its block that are given (a missing day stays blank in its plot).
// Last24Hours: one plot of the newest day and the day before it when given.
std::vector<std::vector<std::int64_t>> spanGroups(const std::vector<std::int64_t>& dayNumbers,
                                                   PlotSpan span);

// The 24 hours ending when the newest period of the days ends (its start
// plus the day's averaging minutes, at its day's end at the latest), in
// minutes from 00:00 UTC of the earliest day: the window of a last-24-hours
// plot. None when no day has a dated period.
std::optional<TimeWindow> last24HoursWindow(const std::vector<WindDay>& days);
std::optional<TimeWindow> last24HoursWindow(const std::vector<TemperatureDay>& days);

// The window of a span's plot of the days: the last 24 hours' window for
// Last24Hours, none (whole days) for the others.
std::optional<TimeWindow> spanWindow(PlotSpan span, const std::vector<WindDay>& days);
std::optional<TimeWindow> spanWindow(PlotSpan span, const std::vector<TemperatureDay>& days);

// The file name of a span's plot of a station's days (given in order):
// plotFileName of its first and last day, and for Last24Hours of its
// newest day with the label "last24h" ("QVS_20040616_last24h_winds.png").
std::string spanPlotFileName(const std::string& station, const std::vector<std::int64_t>& days,
                             PlotSpan span, bool winds, PlotFormat format);

// A fixed colour scale as typed: "MAX" in m/s (1 to kMaxWindScale), and
// "LOW:HIGH" in degrees C (low below high, within +-kTemperatureScaleLimit).
// False for anything else, the value left as it was.
bool parseWindScale(const std::string& text, double& maximum);
bool parseTemperatureScale(const std::string& text, TemperatureRange& range);

}  // namespace qv::plot
