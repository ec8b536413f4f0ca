// Layout of the time-height plots: day products to a drawing model (pure
// functions, no pixels). Consecutive days are set side by side on one time
// axis, each day from 00:00 to 24:00 UTC; a period is placed at its start
// time and spans its averaging minutes, a gate at its altitude.
#pragma once

#include <string>
#include <vector>

#include "plot/drawing_model.h"
#include "products/day_product.h"

namespace qv::plot {

struct PlotOptions {
    int width = 1600;  // page units (pixels of a PNG)
    int height = 900;
    // Where barbs would crowd (short periods, close gates) only every n-th
    // period or gate gets a barb, aligned in time; the legend says so.
    bool thinBarbs = true;
};

inline constexpr int kMinPlotWidth = 320;
inline constexpr int kMinPlotHeight = 200;
inline constexpr int kMaxPlotSide = 10000;
// The longest run of days one plot sets side by side.
inline constexpr int kMaxPlotDays = 62;

// Winds: one time-height panel per pulse-width mode (stacked, the lowest
// mode number on top), barbs coloured by speed, a colour bar in m/s and kt.
// Fails (with `error` set) for no days, a day without a date, days spread
// over more than kMaxPlotDays or a page size out of range.
bool layoutWindPlot(const std::vector<WindDay>& days, const PlotOptions& options, Drawing& out,
                    std::string& error);

// Temperature: a Tv panel above a TvC panel, shaded with one colour bar in
// degrees C.
bool layoutTemperaturePlot(const std::vector<TemperatureDay>& days, const PlotOptions& options,
                           Drawing& out, std::string& error);

// True when a gate gives a barb: QC code 0, no data code in speed or
// direction, finite values.
bool isValidWindGate(const WindGate& gate);
// True when a temperature (Tv or TvC) of a gate is shaded.
bool isValidTemperature(const TemperatureGate& gate, float value);

}  // namespace qv::plot
