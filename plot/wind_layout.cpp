// Layout of the wind plot: a time-height panel of barbs per pulse-width mode.
#include <algorithm>
#include <cmath>
#include <map>

#include "core/numeric.h"
#include "plot/layout.h"
#include "plot/page_layout.h"

namespace qv::plot {
namespace {

// Barb staff length on a 1600 x 900 page.
constexpr double kStaffLength = 30.0;

struct ModeDays {
    int mode = 0;
    std::vector<std::size_t> days;  // indexes into the input
};

// Gate spacing of a day in m: the header's, else the median step between
// neighbouring gates of its first period with two gates.
double gateSpacingOf(const WindDay& day) {
    if (day.header.gateSpacing > 0.0f && std::isfinite(day.header.gateSpacing)) {
        return day.header.gateSpacing;
    }
    for (const WindPeriod& period : day.periods) {
        std::vector<double> steps;
        for (std::size_t i = 1; i < period.gates.size(); ++i) {
            const double step =
                static_cast<double>(period.gates[i].height - period.gates[i - 1].height);
            if (std::isfinite(step) && step > 0.0) steps.push_back(step);
        }
        if (!steps.empty()) {
            std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
            return steps[steps.size() / 2];
        }
    }
    return 100.0;
}

// What the layout of one mode's panel takes from its days.
struct ModeExtent {
    double spacing = INFINITY;  // m, the closest gate spacing of the days
    int shortestAveraging = 1440;
    HeightRange valid;   // gates with a valid wind in the periods drawn
    HeightRange listed;  // every gate listed
    double maxSpeed = 0.0;  // m/s, of the valid winds drawn
};

ModeExtent modeExtent(const std::vector<WindDay>& days, const ModeDays& mode,
                      const DaySpan& span) {
    ModeExtent extent;
    for (const std::size_t d : mode.days) {
        extent.spacing = std::min(extent.spacing, gateSpacingOf(days[d]));
        if (days[d].header.averagingMinutes > 0) {
            extent.shortestAveraging =
                std::min(extent.shortestAveraging, days[d].header.averagingMinutes);
        }
        const double dayStart = 1440.0 * span.offsets[d];
        for (const WindPeriod& period : days[d].periods) {
            const int start = periodKeyMinutes(period.key);
            const bool drawn = start >= 0 && span.shows(dayStart + start);
            for (const WindGate& gate : period.gates) {
                const double h = static_cast<double>(gate.height);
                extent.listed.add(h);
                if (!drawn || !isValidWindGate(gate)) continue;
                extent.valid.add(h);
                extent.maxSpeed = std::max(extent.maxSpeed, double{gate.speed});
            }
        }
    }
    return extent;
}

// Colour bar from calm to the fastest wind, in m/s with knots beside, or
// to the fixed maximum of the options.
void setWindColourBar(Drawing& out, const PageRegions& regions, double maxSpeed,
                      const PlotOptions& options) {
    const double s = regions.scale;
    ColourBar& bar = out.colourBar;
    out.hasColourBar = true;
    bar.low = 0.0;
    bar.high = options.windScaleMax ? *options.windScaleMax
                                    : std::max(10.0, std::ceil(maxSpeed / 5.0 - 1e-9) * 5.0);
    bar.frame = {regions.sideColumn + 58.0 * s, regions.panelsTop + 26.0 * s, 20.0 * s,
                 std::min(330.0 * s, (regions.panelsBottom - regions.panelsTop) * 0.5)};
    bar.title = "Wind speed";
    bar.unit = "m/s";
    const double step = bar.high <= 40.0 ? 5.0 : 10.0;
    bar.ticks = valueTicks(0.0, bar.high, step, bar.frame.bottom(), bar.frame.y);
    if (options.windScaleMax) markOpenEnds(bar, false, true, step);
    const double highKnots = bar.high * kKnotsPerMetrePerSecond;
    bar.secondUnit = "kt";
    bar.secondTicks = valueTicks(0.0, highKnots, highKnots <= 80.0 ? 10.0 : 20.0,
                                 bar.frame.bottom(), bar.frame.y);
    for (Panel& panel : out.panels) {
        // 64 steps of the scale: as smooth to the eye, and barbs of one
        // colour are painted together. Faster winds than the bar's top take
        // its top colour.
        for (Barb& barb : panel.barbs) {
            barb.colour = scaleColour(std::round(barb.speed / bar.high * 64.0) / 64.0);
        }
    }
}

std::string ordinal(int n) {
    if (n == 2) return "2nd";
    if (n == 3) return "3rd";
    return std::to_string(n) + "th";
}

void addLegend(Drawing& drawing, const PageRegions& regions, int periodStride, int gateStride,
               bool southern) {
    const double s = regions.scale;
    drawing.legendTitle = "Wind barbs";
    drawing.legendOrigin = {regions.sideColumn, drawing.colourBar.frame.bottom() + 52.0 * s};
    const double length = kStaffLength * s * 1.15;
    const struct {
        double knots;
        const char* label;
    } examples[] = {{5.0, "half barb  5 kt"}, {10.0, "full barb  10 kt"},
                    {50.0, "pennant  50 kt"}, {65.0, "65 kt"}};
    double y = drawing.legendOrigin.y + 36.0 * s;
    for (const auto& example : examples) {
        LegendBarb entry;
        // A west wind: the staff points left, the feathers up.
        entry.barb.origin = {regions.sideColumn + length + 6.0 * s, y};
        entry.barb.staff = staffDirection(270.0);
        entry.barb.side = featherSide(entry.barb.staff, southern);
        entry.barb.length = length;
        entry.barb.feathers = barbFeathers(example.knots / kKnotsPerMetrePerSecond);
        entry.barb.colour = {0.15, 0.15, 0.15};
        entry.barb.speed = example.knots / kKnotsPerMetrePerSecond;
        entry.barb.direction = 270.0;
        entry.label = example.label;
        drawing.legendBarbs.push_back(entry);
        y += 38.0 * s;
    }
    drawing.legendLines = {"Staff points to where the", "wind comes from (the barbs",
                           "above: wind from the west).",
                           "Speed rounded to nearest 5 kt.", "Blank: no valid wind."};
    if (periodStride > 1) {
        drawing.legendLines.push_back("Barbs every " + ordinal(periodStride) + " period.");
    }
    if (gateStride > 1) {
        drawing.legendLines.push_back("Barbs every " + ordinal(gateStride) + " gate.");
    }
}

}  // namespace

bool isValidWindGate(const WindGate& gate) {
    if (gate.qcCode != kQcValidCode) return false;
    if (!std::isfinite(gate.speed) || isDataCode(gate.speed) || gate.speed < 0.0f) return false;
    if (isDataCode(gate.direction) || gate.direction < 0 || gate.direction > 360) return false;
    return std::isfinite(static_cast<double>(gate.height));
}

bool layoutWindPlot(const std::vector<WindDay>& days, const PlotOptions& options, Drawing& out,
                    std::string& error) {
    out = Drawing{};
    if (!checkPageSize(options, error)) return false;
    if (options.windScaleMax && !validWindScale(*options.windScaleMax)) {
        error = "wind speed scale out of range (1 to " +
                std::to_string(static_cast<int>(kMaxWindScale)) + " m/s)";
        return false;
    }
    std::vector<const DayHeader*> headers;
    for (const WindDay& day : days) headers.push_back(&day.header);
    DaySpan span;
    if (!spanDays(headers, options, span, error)) return false;

    const PageRegions regions = pageRegions(options);
    const double s = regions.scale;
    out.width = options.width;
    out.height = options.height;
    out.textScale = s;

    // One panel per mode, the lowest mode number on top.
    std::map<int, ModeDays> modes;
    for (std::size_t i = 0; i < days.size(); ++i) {
        ModeDays& mode = modes[days[i].header.variant];
        mode.mode = days[i].header.variant;
        mode.days.push_back(i);
    }
    const std::vector<Rect> frames = stackedFrames(regions, static_cast<int>(modes.size()));

    // Barbs at the first and last minutes keep their staffs inside the frame.
    const TimeScale time =
        timeScaleOf(span, regions.left + kStaffLength * s, regions.right - kStaffLength * s);

    const bool southern = days.front().header.latitudeCenti < 0;
    double maxSpeed = 0.0;
    int periodStrideShown = 1;
    int gateStrideShown = 1;
    std::size_t panelIndex = 0;
    std::string modeList;
    for (const auto& [modeNumber, mode] : modes) {
        Panel panel;
        const Rect& frame = frames[panelIndex];
        const ModeExtent extent = modeExtent(days, mode, span);
        const double spacing = extent.spacing;
        const int shortestAveraging = extent.shortestAveraging;
        maxSpeed = std::max(maxSpeed, extent.maxSpeed);
        AltitudeScale altitude = panelAltitude(
            extent.valid, extent.listed, days[mode.days.front()].header.siteElevation, 3000.0,
            spacing);
        altitude.bottom = frame.bottom() - 0.6 * kStaffLength * s;
        altitude.top = frame.y + 0.6 * kStaffLength * s;
        setPanelAxes(panel, frame, time, altitude, span, panelIndex + 1 == modes.size(), s);

        const DayHeader& first = days[mode.days.front()].header;
        panel.title = "Mode " + std::to_string(modeNumber) + ": pulse width " +
                      std::to_string(first.pulseWidth) + " ns, gate spacing " +
                      std::to_string(truncToInt(std::round(spacing))) + " m";
        if (!modeList.empty()) modeList += ", ";
        modeList += std::to_string(modeNumber);

        // Barbs at least 0.7 of a staff apart in time, half a
        // staff apart in altitude.
        const double length = kStaffLength * s;
        const double periodUnits = shortestAveraging * time.unitsPerMinute();
        const double gateUnits = spacing * altitude.unitsPerMetre();
        int periodStride = 1;
        int gateStride = 1;
        if (options.thinBarbs) {
            periodStride = std::max(1, truncToInt(std::ceil(0.7 * length / periodUnits)));
            gateStride = std::max(1, truncToInt(std::ceil(0.5 * length / gateUnits)));
        }
        // Staffs a little shorter than the distance to the next barb in time,
        // down to three quarters of their length.
        const double barbLength =
            std::clamp(0.88 * periodStride * periodUnits, 0.75 * length, length);
        periodStrideShown = std::max(periodStrideShown, periodStride);
        gateStrideShown = std::max(gateStrideShown, gateStride);

        for (const std::size_t d : mode.days) {
            const WindDay& day = days[d];
            const int offset = span.offsets[d];
            const int averaging = day.header.averagingMinutes > 0 ? day.header.averagingMinutes
                                                                  : shortestAveraging;
            for (std::size_t p = 0; p < day.periods.size(); ++p) {
                const int start = periodKeyMinutes(day.periods[p].key);
                if (start < 0 || !span.shows(offset * 1440.0 + start)) continue;
                const long slot = (static_cast<long>(offset) * 1440 + start) / averaging;
                if (slot % periodStride != 0) continue;
                const double x = time.x(offset * 1440.0 + start);
                const std::vector<WindGate>& gates = day.periods[p].gates;
                for (std::size_t g = 0; g < gates.size(); g += static_cast<std::size_t>(gateStride)) {
                    const WindGate& gate = gates[g];
                    if (!isValidWindGate(gate)) continue;
                    Barb barb;
                    barb.origin = {x, altitude.y(static_cast<double>(gate.height))};
                    if (!frame.contains(barb.origin)) continue;
                    barb.direction = gate.direction;
                    barb.speed = gate.speed;
                    barb.staff = staffDirection(gate.direction);
                    barb.side = featherSide(barb.staff, southern);
                    barb.length = barbLength;
                    barb.feathers = barbFeathers(gate.speed);
                    barb.period = static_cast<int>(p);
                    barb.gate = static_cast<int>(g);
                    barb.day = static_cast<int>(d);
                    panel.barbs.push_back(barb);
                }
            }
        }
        if (panel.barbs.empty()) panel.emptyNote = "no valid winds";
        out.panels.push_back(std::move(panel));
        ++panelIndex;
    }
    setWindColourBar(out, regions, maxSpeed, options);

    const DayHeader& header = days.front().header;
    const HeaderTexts shown = headerTexts(header);
    out.title = shown.station + " winds, " + dateRangeText(span) +
                (modes.size() > 1 ? ", modes " : ", mode ") + modeList + ", " +
                averagingText(headers);
    out.subtitle = "Consensus winds" +
                   (shown.source.empty() ? std::string() : " from " + shown.source) +
                   "; station elevation " + std::to_string(header.siteElevation) +
                   " m msl; barbs at each period's start time";
    addLegend(out, regions, periodStrideShown, gateStrideShown, southern);
    return true;
}

}  // namespace qv::plot
