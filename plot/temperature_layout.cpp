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

}  // namespace

bool isValidTemperature(const TemperatureGate& gate, float value) {
    return gate.qcCode == kQcValidCode && std::isfinite(value) && !isDataCode(value) &&
           std::isfinite(gate.height);
}

bool layoutTemperaturePlot(const std::vector<TemperatureDay>& days, const PlotOptions& options,
                           Drawing& out, std::string& error) {
    out = Drawing{};
    if (!checkPageSize(options, error)) return false;
    std::vector<const DayHeader*> headers;
    for (const TemperatureDay& day : days) headers.push_back(&day.header);
    DaySpan span;
    if (!spanDays(headers, span, error)) return false;

    const PageRegions regions = pageRegions(options);
    const double s = regions.scale;
    out.width = options.width;
    out.height = options.height;
    out.textScale = s;

    TimeScale time;
    time.lastMinute = 1440.0 * static_cast<double>(span.dates.size());
    time.left = regions.left;
    time.right = regions.right;

    double low = INFINITY;
    double high = -INFINITY;
    double spacing = INFINITY;
    std::vector<float> values;
    for (const TemperatureDay& day : days) {
        spacing = std::min(spacing, gateSpacingOf(day));
        for (const TemperaturePeriod& period : day.periods) {
            for (const TemperatureGate& gate : period.gates) {
                if (!std::isfinite(gate.height)) continue;
                low = std::min(low, gate.height);
                high = std::max(high, gate.height);
                for (const float value : {gate.tv, gate.tvc}) {
                    if (!isValidTemperature(gate, value)) continue;
                    values.push_back(value);
                }
            }
        }
    }
    if (!(low <= high)) {
        low = days.front().header.siteElevation;
        high = low + 2000.0;
    }

    // Colour bar over the valid temperatures, out to round values.
    ColourBar& bar = out.colourBar;
    out.hasColourBar = true;
    double coldest = 0.0;
    double warmest = 20.0;
    bool clipped = false;
    if (!values.empty()) {
        std::sort(values.begin(), values.end());
        coldest = values.front();
        warmest = values.back();
        // Of many values, the coldest and warmest hundredth (outliers the
        // consensus let through) take the bar's end colours instead of
        // stretching it.
        if (values.size() >= kRobustRangeCount) {
            const std::size_t cut = values.size() / 100;
            coldest = values[cut];
            warmest = values[values.size() - 1 - cut];
            clipped = coldest > values.front() || warmest < values.back();
        }
    }
    const double step = niceStep(coldest, std::max(warmest, coldest + 1.0), 8);
    bar.low = std::floor(coldest / step) * step;
    bar.high = std::max(std::ceil(warmest / step) * step, bar.low + step);
    bar.frame = {regions.sideColumn + 12.0 * s, regions.panelsTop + 26.0 * s, 22.0 * s,
                 (regions.panelsBottom - regions.panelsTop) * 0.6};
    bar.title = "Temperature";
    bar.unit = "\u00b0C";
    bar.ticks = valueTicks(bar.low, bar.high, step, bar.frame.bottom(), bar.frame.y);

    const std::vector<Rect> frames = stackedFrames(regions, 2);
    const char* titles[2] = {"Virtual temperature Tv (\u00b0C)",
                             "Virtual temperature corrected for vertical air motion, TvC "
                             "(\u00b0C)"};
    std::vector<double> lower;
    std::vector<double> upper;
    for (int which = 0; which < 2; ++which) {
        Panel panel;
        const Rect& frame = frames[static_cast<std::size_t>(which)];
        AltitudeScale altitude;
        altitude.low = low - spacing / 2.0;
        altitude.high = std::max(high + spacing / 2.0, altitude.low + 1.0);
        altitude.bottom = frame.bottom();
        altitude.top = frame.y;
        setPanelAxes(panel, frame, time, altitude, span.dates, which == 1, s);
        panel.title = titles[which];
        for (std::size_t d = 0; d < days.size(); ++d) {
            const TemperatureDay& day = days[d];
            const double dayStart = span.offsets[d] * 1440.0;
            for (std::size_t p = 0; p < day.periods.size(); ++p) {
                const int start = periodKeyMinutes(day.periods[p].key);
                if (start < 0) continue;
                int minutes = day.header.averagingMinutes;
                if (minutes <= 0) minutes = 60;
                // A period never reaches past its day's end.
                const double end = std::min(dayStart + start + minutes, dayStart + 1440.0);
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
    out.title = shown.station + " virtual temperature, " + dateRangeText(span.dates) + ", " +
                averagingText(headers);
    out.subtitle = "RASS consensus temperatures" +
                   (shown.source.empty() ? std::string() : " from " + shown.source) +
                   "; station elevation " + std::to_string(header.siteElevation) +
                   " m msl; each period shaded from its start time";
    out.legendOrigin = {regions.sideColumn, bar.frame.bottom() + 40.0 * s};
    out.legendLines = {"Blank: no valid", "temperature."};
    if (clipped) {
        out.legendLines.insert(out.legendLines.end(),
                               {"", "Colder or warmer than", "the bar: its end colours."});
    }
    return true;
}

}  // namespace qv::plot
