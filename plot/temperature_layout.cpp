// Layout of the temperature plot: Tv and TvC as shaded time-height panels.
#include <algorithm>
#include <cmath>

#include "plot/layout.h"
#include "plot/page_layout.h"

namespace qv::plot {
namespace {

// Values from which on the bar leaves out the extreme hundredths.
constexpr std::size_t kRobustRangeCount = 200;

// Lower and upper edge (m msl) of each gate's cell: halfway to the
// neighbouring gates, half the spacing beyond the outermost.
void gateEdges(const std::vector<TemperatureGate>& gates, double spacing,
               std::vector<double>& lower, std::vector<double>& upper) {
    const std::size_t n = gates.size();
    lower.assign(n, 0.0);
    upper.assign(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double h = gates[i].height;
        const double below = i > 0 ? (gates[i - 1].height + h) / 2.0 : h - spacing / 2.0;
        const double above = i + 1 < n ? (h + gates[i + 1].height) / 2.0 : h + spacing / 2.0;
        // Gates listed out of order or far apart keep a cell of at most one
        // spacing around their altitude.
        lower[i] = std::isfinite(below) && below < h ? std::max(below, h - spacing / 2.0)
                                                     : h - spacing / 2.0;
        upper[i] = std::isfinite(above) && above > h ? std::min(above, h + spacing / 2.0)
                                                     : h + spacing / 2.0;
    }
}

double gateSpacingOf(const TemperatureDay& day) {
    if (day.header.gateSpacing > 0.0f && std::isfinite(day.header.gateSpacing)) {
        return day.header.gateSpacing;
    }
    for (const TemperaturePeriod& period : day.periods) {
        for (std::size_t i = 1; i < period.gates.size(); ++i) {
            const double step = period.gates[i].height - period.gates[i - 1].height;
            if (std::isfinite(step) && step > 0.0) return step;
        }
    }
    return 100.0;
}

// What the layout takes from the days: the gates' altitudes and the valid
// temperatures of the periods drawn.
struct TemperatureExtent {
    double spacing = INFINITY;
    HeightRange valid;   // gates with a valid Tv or TvC in the periods drawn
    HeightRange listed;  // every gate listed
    std::vector<float> values;
};

TemperatureExtent temperatureExtent(const std::vector<TemperatureDay>& days,
                                    const DaySpan& span) {
    TemperatureExtent extent;
    for (std::size_t d = 0; d < days.size(); ++d) {
        const TemperatureDay& day = days[d];
        extent.spacing = std::min(extent.spacing, gateSpacingOf(day));
        for (const TemperaturePeriod& period : day.periods) {
            const int start = periodKeyMinutes(period.key);
            const bool drawn = start >= 0 && span.shows(1440.0 * span.offsets[d] + start);
            for (const TemperatureGate& gate : period.gates) {
                extent.listed.add(gate.height);
                for (const float value : {gate.tv, gate.tvc}) {
                    if (!drawn || !isValidTemperature(gate, value)) continue;
                    extent.valid.add(gate.height);
                    extent.values.push_back(value);
                }
            }
        }
    }
    return extent;
}

// The colour bar: the fixed range of the options, else over the valid
// temperatures out to round values, where of many values the coldest and
// warmest hundredth (outliers the consensus let through) take the bar's
// end colours instead of stretching it. True when values beyond the bar
// take its end colours.
bool setTemperatureColourBar(ColourBar& bar, const PageRegions& regions,
                             std::vector<float>& values, const PlotOptions& options) {
    const double s = regions.scale;
    double coldest = 0.0;
    double warmest = 20.0;
    bool clipped = false;
    if (options.temperatureScale) {
        coldest = options.temperatureScale->low;
        warmest = options.temperatureScale->high;
    } else if (!values.empty()) {
        std::sort(values.begin(), values.end());
        coldest = values.front();
        warmest = values.back();
        if (values.size() >= kRobustRangeCount) {
            const std::size_t cut = values.size() / 100;
            coldest = values[cut];
            warmest = values[values.size() - 1 - cut];
            clipped = coldest > values.front() || warmest < values.back();
        }
    }
    const double step = niceStep(coldest, std::max(warmest, coldest + 1.0), 8);
    if (options.temperatureScale) {
        bar.low = coldest;
        bar.high = warmest;
    } else {
        bar.low = std::floor(coldest / step) * step;
        bar.high = std::max(std::ceil(warmest / step) * step, bar.low + step);
    }
    bar.frame = {regions.sideColumn + 12.0 * s, regions.panelsTop + 26.0 * s, 22.0 * s,
                 (regions.panelsBottom - regions.panelsTop) * 0.6};
    bar.title = "Temperature";
    bar.unit = "\u00b0C";
    bar.ticks = valueTicks(bar.low, bar.high, step, bar.frame.bottom(), bar.frame.y);
    const bool open = clipped || options.temperatureScale.has_value();
    if (open) markOpenEnds(bar, true, true, step);
    return open;
}

}  // namespace

bool isValidTemperature(const TemperatureGate& gate, float value) {
    return gate.qcCode == kQcValidCode && std::isfinite(value) && !isDataCode(value) &&
           std::isfinite(gate.height);
}

bool layoutTemperaturePlot(const std::vector<TemperatureDay>& days, const PlotOptions& options,
                           Drawing& out, std::string& error) {
    out = Drawing{};
    if (!checkPageSize(options, error)) return false;
    if (options.temperatureScale && !validTemperatureScale(*options.temperatureScale)) {
        error = "temperature scale out of range (low below high, within -" +
                std::to_string(static_cast<int>(kTemperatureScaleLimit)) + " to " +
                std::to_string(static_cast<int>(kTemperatureScaleLimit)) + " degrees C)";
        return false;
    }
    std::vector<const DayHeader*> headers;
    for (const TemperatureDay& day : days) headers.push_back(&day.header);
    DaySpan span;
    if (!spanDays(headers, options, span, error)) return false;

    const PageRegions regions = pageRegions(options);
    const double s = regions.scale;
    out.width = options.width;
    out.height = options.height;
    out.textScale = s;

    const TimeScale time = timeScaleOf(span, regions.left, regions.right);
    TemperatureExtent extent = temperatureExtent(days, span);
    const double spacing = extent.spacing;
    ColourBar& bar = out.colourBar;
    out.hasColourBar = true;
    const bool open = setTemperatureColourBar(bar, regions, extent.values, options);

    const std::vector<Rect> frames = stackedFrames(regions, 2);
    const char* titles[2] = {"Virtual temperature Tv (\u00b0C)",
                             "Virtual temperature corrected for vertical air motion, TvC "
                             "(\u00b0C)"};
    std::vector<double> lower;
    std::vector<double> upper;
    for (int which = 0; which < 2; ++which) {
        Panel panel;
        const Rect& frame = frames[static_cast<std::size_t>(which)];
        AltitudeScale altitude = panelAltitude(extent.valid, extent.listed,
                                               days.front().header.siteElevation, 2000.0, spacing);
        altitude.bottom = frame.bottom();
        altitude.top = frame.y;
        setPanelAxes(panel, frame, time, altitude, span, which == 1, s);
        panel.title = titles[which];
        for (std::size_t d = 0; d < days.size(); ++d) {
            const TemperatureDay& day = days[d];
            const double dayStart = span.offsets[d] * 1440.0;
            const int minutes = periodMinutes(day.header);
            for (std::size_t p = 0; p < day.periods.size(); ++p) {
                const int start = periodKeyMinutes(day.periods[p].key);
                if (start < 0 || !span.shows(dayStart + start)) continue;
                // A period never reaches past its day's end or the axis.
                const double end =
                    std::min({dayStart + start + minutes, dayStart + 1440.0, span.lastMinute});
                const double left = time.x(dayStart + start);
                const double right = time.x(end);
                const std::vector<TemperatureGate>& gates = day.periods[p].gates;
                gateEdges(gates, spacing, lower, upper);
                for (std::size_t g = 0; g < gates.size(); ++g) {
                    const float value = which == 0 ? gates[g].tv : gates[g].tvc;
                    if (!isValidTemperature(gates[g], value)) continue;
                    const double top = std::max(altitude.y(upper[g]), frame.y);
                    const double bottom = std::min(altitude.y(lower[g]), frame.bottom());
                    if (!(bottom > top)) continue;
                    Cell cell;
                    cell.rect = {left, top, right - left, bottom - top};
                    cell.value = value;
                    cell.colour = scaleColour((value - bar.low) / (bar.high - bar.low));
                    panel.cells.push_back(cell);
                }
            }
        }
        if (panel.cells.empty()) {
            panel.emptyNote = which == 0 ? "no valid Tv" : "no valid TvC";
        }
        out.panels.push_back(std::move(panel));
    }

    const DayHeader& header = days.front().header;
    const HeaderTexts shown = headerTexts(header);
    out.title = shown.station + " virtual temperature, " + dateRangeText(span) + ", " +
                averagingText(headers);
    out.subtitle = "RASS consensus temperatures" +
                   (shown.source.empty() ? std::string() : " from " + shown.source) +
                   "; station elevation " + std::to_string(header.siteElevation) +
                   " m msl; each period shaded from its start time";
    out.legendOrigin = {regions.sideColumn, bar.frame.bottom() + 40.0 * s};
    out.legendLines = {"Blank: no valid", "temperature."};
    if (open) {
        out.legendLines.insert(out.legendLines.end(),
                               {"", "Colder or warmer than", "the bar: its end colours."});
    }
    return true;
}

}  // namespace qv::plot
