// Layout of the time-height plots: day products to a drawing model (pure
// functions, no pixels). Consecutive days are set side by side on one time
// axis, each day from 00:00 to 24:00 UTC, or the axis spans a time window
// of any length across midnights; a period is placed at its start time and
// spans its averaging minutes, a gate at its altitude.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plot/drawing_model.h"
#include "products/day_product.h"

namespace qv::plot {

// A stretch of time in minutes from 00:00 UTC of the earliest day plotted
// (negative before it): from `startMinute` up to, not including, `endMinute`.
struct TimeWindow {
    double startMinute = 0.0;
    double endMinute = 1440.0;
};

// A temperature colour scale, degrees C.
struct TemperatureRange {
    double low = 0.0;
    double high = 0.0;
};

struct PlotOptions {
    int width = 1600;  // page units (pixels of a PNG)
    int height = 900;
    // Where barbs would crowd (short periods, close gates) only every n-th
    // period or gate gets a barb, aligned in time; the legend says so.
    bool thinBarbs = true;
    // The time axis spans exactly this window; only periods starting inside
    // it are drawn. None: the whole days, midnight to midnight.
    std::optional<TimeWindow> window;
    // A fixed colour scale: winds from calm to this speed (m/s), temperature
    // over this range. Values beyond take the end colours, and the colour
    // bar's end ticks say so with a sign before them (at or above 40 m/s,
    // at or below -30 degrees C). None: the scale fits the plot's own values.
    std::optional<double> windScaleMax;
    std::optional<TemperatureRange> temperatureScale;
};

// The one scale of the plots shown or written together, unless chosen.
inline constexpr double kDefaultWindScaleMax = 40.0;
inline constexpr TemperatureRange kDefaultTemperatureScale{-30.0, 40.0};
// The fixed scales accepted: a wind maximum of 1 to 200 m/s, temperatures
// within [-100, 100] degrees C, low below high.
inline constexpr double kMaxWindScale = 200.0;
inline constexpr double kTemperatureScaleLimit = 100.0;
bool validWindScale(double maximum);
bool validTemperatureScale(const TemperatureRange& range);

inline constexpr int kMinPlotWidth = 320;
inline constexpr int kMinPlotHeight = 200;
inline constexpr int kMaxPlotSide = 10000;
// The longest run of days one plot sets side by side.
inline constexpr int kMaxPlotDays = 62;

// Winds: one time-height panel per pulse-width mode (stacked, the lowest
// mode number on top), barbs coloured by speed, a colour bar in m/s and kt.
// Fails (with `error` set) for no days, a day without a date, days spread
// over more than kMaxPlotDays, a page size, window or scale out of range.
bool layoutWindPlot(const std::vector<WindDay>& days, const PlotOptions& options, Drawing& out,
                    std::string& error);

// Temperature: a Tv panel above a TvC panel, shaded with one colour bar in
// degrees C.
bool layoutTemperaturePlot(const std::vector<TemperatureDay>& days, const PlotOptions& options,
                           Drawing& out, std::string& error);

// The altitude axis of a panel spans the gates that hold a valid value (a
// barb, a shaded temperature) in the periods drawn, half a gate spacing
// beyond the outermost; only a panel without any spans every listed gate.

// True when a gate gives a barb: QC code 0, no data code in speed or
// direction, finite values.
bool isValidWindGate(const WindGate& gate);
// True when a temperature (Tv or TvC) of a gate is shaded.
bool isValidTemperature(const TemperatureGate& gate, float value);

}  // namespace qv::plot
