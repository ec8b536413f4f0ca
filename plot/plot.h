// Time-height plots of day products, written as PNG, SVG or PDF files, or
// rendered in memory (PNG bytes or pixels) for a window to show.
#pragma once

#include <string>
#include <vector>

#include "plot/cairo_painter.h"
#include "plot/layout.h"
#include "output/day_output.h"
#include "products/day_product.h"

namespace qv::plot {

// "png", "svg", "pdf" (lower case) to a format; false for anything else.
bool plotFormatFromText(const std::string& text, PlotFormat& format);
// The file name extension of a format, with its dot.
const char* plotFormatExtension(PlotFormat format);

// "QVS_20040615_winds.png", "QVS_20040615-20040616_temperature.svg": the
// station part made safe for a file name (stationFileKey). A `label`
// follows the dates: "QVS_20040616_last24h_winds.png".
std::string plotFileName(const std::string& stationName, const CalendarTime& first,
                         const CalendarTime& last, bool winds, PlotFormat format,
                         const std::string& label = {});

// Plots as an output of day products, in the one shape of every output
// (output/day_output.h): the day's winds (every mode in one plot) and its
// temperature, in `format`, drawn with `options` (the default options:
// each plot's colour scale fits its own values).
DayOutput plotOutput(PlotFormat format);
DayOutput plotOutput(PlotFormat format, const PlotOptions& options);

// Writes the plot of consecutive days (side by side; several pulse-width
// modes as stacked panels) to `path`, whole or not at all. False with
// `error` set when the days cannot be plotted or the file not written.
bool renderWindPlot(const std::vector<WindDay>& days, PlotFormat format, const std::string& path,
                    std::string& error, const PlotOptions& options = {});
bool renderTemperaturePlot(const std::vector<TemperatureDay>& days, PlotFormat format,
                           const std::string& path, std::string& error,
                           const PlotOptions& options = {});

// The same plots as the bytes of a file of the format.
bool renderWindBytes(const std::vector<WindDay>& days, PlotFormat format, std::string& bytes,
                     std::string& error, const PlotOptions& options = {});
bool renderTemperatureBytes(const std::vector<TemperatureDay>& days, PlotFormat format,
                            std::string& bytes, std::string& error,
                            const PlotOptions& options = {});

// The same plots in pixels, options.width x options.height.
bool renderWindImage(const std::vector<WindDay>& days, PlotImage& image, std::string& error,
                     const PlotOptions& options = {});
bool renderTemperatureImage(const std::vector<TemperatureDay>& days, PlotImage& image,
                            std::string& error, const PlotOptions& options = {});

}  // namespace qv::plot
