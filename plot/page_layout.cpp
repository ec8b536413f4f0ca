#include "plot/page_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "core/text.h"

namespace qv::plot {

bool validWindScale(double maximum) { return maximum >= 1.0 && maximum <= kMaxWindScale; }

bool validTemperatureScale(const TemperatureRange& range) {
    return range.low >= -kTemperatureScaleLimit && range.high <= kTemperatureScaleLimit &&
           range.low < range.high;
}

bool checkPageSize(const PlotOptions& options, std::string& error) {
    if (options.width < kMinPlotWidth || options.height < kMinPlotHeight ||
        options.width > kMaxPlotSide || options.height > kMaxPlotSide) {
        error = "plot size " + std::to_string(options.width) + " x " +
                std::to_string(options.height) + " out of range (" +
                std::to_string(kMinPlotWidth) + " x " + std::to_string(kMinPlotHeight) + " to " +
                std::to_string(kMaxPlotSide) + " x " + std::to_string(kMaxPlotSide) + ")";
        return false;
    }
    return true;
}

namespace {

// The window of the options, checked against the days' own span.
bool windowOf(const PlotOptions& options, std::int64_t dayCount, double& first, double& last,
              std::string& error) {
    first = 0.0;
    last = 1440.0 * static_cast<double>(dayCount);
    if (!options.window) return true;
    const double start = options.window->startMinute;
    const double end = options.window->endMinute;
    const double longest = 1440.0 * kMaxPlotDays;
    // NaN fails every comparison: refused as well.
    if (!(end > start && end - start <= longest && start >= -longest &&
          end <= last + longest)) {
        error = "the time window is empty, longer than " + std::to_string(kMaxPlotDays) +
                " days or too far from the days plotted";
        return false;
    }
    first = start;
    last = end;
    return true;
}

// "14:30" of a minute on the axis.
std::string timeOfDay(double minute) {
    const double ofDay = minute - 1440.0 * std::floor(minute / 1440.0);
    // 0 <= ofDay < 1440 (1440 only by rounding): the conversion is in range.
    const int whole = std::min(static_cast<int>(ofDay), 1439);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", whole / 60, whole % 60);
    return text;
}

}  // namespace

bool spanDays(const std::vector<const DayHeader*>& headers, const PlotOptions& options,
              DaySpan& out, std::string& error) {
    out = DaySpan{};
    if (headers.empty()) {
        error = "no days to plot";
        return false;
    }
    std::vector<std::int64_t> numbers;
    for (const DayHeader* header : headers) {
        const CalendarTime& d = header->day;
        if (!isCalendarDate(d.year, d.month, d.day)) {
            error = "a day without a valid date (" + isoDate(d) + ")";
            return false;
        }
        numbers.push_back(civilDayNumber(d.year, d.month, d.day));
    }
    const auto [low, high] = std::minmax_element(numbers.begin(), numbers.end());
    const std::int64_t count = *high - *low + 1;
    if (count > kMaxPlotDays) {
        error = "the days span " + std::to_string(count) + " days, more than the " +
                std::to_string(kMaxPlotDays) + " one plot holds";
        return false;
    }
    if (!windowOf(options, count, out.firstMinute, out.lastMinute, error)) return false;
    out.windowed = options.window.has_value();
    out.firstDayNumber = *low;
    // The window is checked: the days it touches are within a few hundred
    // of the first, and the conversions in range.
    const auto firstDate = static_cast<int>(std::floor(out.firstMinute / 1440.0));
    const auto lastDate =
        std::max(firstDate, static_cast<int>(std::ceil(out.lastMinute / 1440.0)) - 1);
    out.firstDateOffset = firstDate;
    for (int i = firstDate; i <= lastDate; ++i) out.dates.push_back(civilDate(*low + i));
    for (const std::int64_t n : numbers) out.offsets.push_back(static_cast<int>(n - *low));
    return true;
}

int periodMinutes(const DayHeader& header) {
    const int minutes = header.averagingMinutes;
    return minutes > 0 && minutes <= 1440 ? minutes : 60;
}

void HeightRange::add(double height) {
    if (!std::isfinite(height)) return;
    low = std::min(low, height);
    high = std::max(high, height);
}

AltitudeScale panelAltitude(const HeightRange& valid, const HeightRange& listed,
                            double fallbackLow, double fallbackHeight, double spacing) {
    double low = fallbackLow;
    double high = fallbackLow + fallbackHeight;
    for (const HeightRange* range : {&valid, &listed}) {
        if (range->empty()) continue;
        low = range->low;
        high = range->high;
        break;
    }
    AltitudeScale altitude;
    altitude.low = low - spacing / 2.0;
    altitude.high = std::max(high + spacing / 2.0, altitude.low + 1.0);
    return altitude;
}

void markOpenEnds(ColourBar& bar, bool low, bool high, double step) {
    std::vector<Tick>& ticks = bar.ticks;
    auto mark = [&](bool atTop, const char* sign) {
        const double value = atTop ? bar.high : bar.low;
        const double position = atTop ? bar.frame.y : bar.frame.bottom();
        const double near = 0.5 * step * bar.frame.height / (bar.high - bar.low);
        // The tick at the end, else a new one there in place of any close tick.
        auto end = std::find_if(ticks.begin(), ticks.end(), [&](const Tick& t) {
            return std::fabs(t.position - position) < 1e-6 * bar.frame.height + 1e-9;
        });
        if (end == ticks.end()) {
            ticks.erase(std::remove_if(ticks.begin(), ticks.end(),
                                       [&](const Tick& t) {
                                           return std::fabs(t.position - position) < near;
                                       }),
                        ticks.end());
            Tick tick;
            tick.position = position;
            // A value off the whole numbers keeps its decimal.
            const bool whole = std::fabs(value - std::round(value)) < 1e-9;
            tick.label = valueLabel(value, whole ? step : 0.5);
            end = ticks.insert(atTop ? ticks.end() : ticks.begin(), tick);
        }
        end->label = sign + end->label;
    };
    if (!(bar.high > bar.low) || !(step > 0.0)) return;
    if (low) mark(false, "\u2264");
    if (high) mark(true, "\u2265");
}

PageRegions pageRegions(const PlotOptions& options) {
    PageRegions r;
    const double w = options.width;
    const double h = options.height;
    r.scale = std::clamp(std::min(w / 1600.0, h / 900.0), 0.45, 4.0);
    r.panelsTop = 84.0 * r.scale;
    r.panelsBottom = h - 78.0 * r.scale;
    r.left = 96.0 * r.scale;
    r.right = w - 262.0 * r.scale;
    r.sideColumn = r.right + 34.0 * r.scale;
    return r;
}

std::vector<Rect> stackedFrames(const PageRegions& regions, int count) {
    std::vector<Rect> frames;
    if (count < 1) return frames;
    const double titleSpace = 26.0 * regions.scale;
    const double gap = 14.0 * regions.scale;
    const double slot =
        (regions.panelsBottom - regions.panelsTop - gap * (count - 1)) / static_cast<double>(count);
    for (int i = 0; i < count; ++i) {
        Rect frame;
        frame.x = regions.left;
        frame.width = regions.right - regions.left;
        frame.y = regions.panelsTop + i * (slot + gap) + titleSpace;
        frame.height = std::max(slot - titleSpace, 10.0);
        frames.push_back(frame);
    }
    return frames;
}

TimeScale timeScaleOf(const DaySpan& span, double left, double right) {
    TimeScale time;
    time.firstMinute = span.firstMinute;
    time.lastMinute = span.lastMinute;
    time.left = left;
    time.right = right;
    return time;
}

void setPanelAxes(Panel& panel, const Rect& frame, const TimeScale& time,
                  const AltitudeScale& altitude, const DaySpan& span, bool labelTime,
                  double scale) {
    panel.frame = frame;
    panel.time = time;
    panel.altitude = altitude;
    panel.timeTicks = timeTicks(time, 58.0 * scale);
    if (!labelTime) {
        for (Tick& tick : panel.timeTicks) tick.label.clear();
    } else {
        panel.dayLabels = dayLabels(time, span.dates, 1440.0 * span.firstDateOffset);
        panel.timeTitle = "Time (UTC)";
    }
    const int altitudeTarget = std::max(2, static_cast<int>(frame.height / (45.0 * scale)));
    panel.altitudeTicks = altitudeTicks(altitude, altitudeTarget);
    panel.altitudeTitle = "Altitude (m msl)";
}

std::string dateRangeText(const DaySpan& span) {
    const std::vector<CalendarTime>& dates = span.dates;
    if (dates.empty()) return "";
    if (span.windowed) {
        auto at = [&](double minute) {
            const auto day = static_cast<std::int64_t>(std::floor(minute / 1440.0));
            return isoDate(civilDate(span.firstDayNumber + day)) + " " + timeOfDay(minute);
        };
        return at(span.firstMinute) + " to " + at(span.lastMinute) + " UTC";
    }
    if (dates.size() == 1) return isoDate(dates.front());
    return isoDate(dates.front()) + " to " + isoDate(dates.back());
}

std::string averagingText(const std::vector<const DayHeader*>& headers) {
    std::set<int> minutes;
    for (const DayHeader* header : headers) minutes.insert(header->averagingMinutes);
    std::string text;
    std::size_t i = 0;
    for (const int m : minutes) {
        if (i > 0) text += (i + 1 == minutes.size()) ? "- and " : "-, ";
        text += std::to_string(m);
        ++i;
    }
    return text + "-minute averages";
}

HeaderTexts headerTexts(const DayHeader& header) {
    HeaderTexts shown;
    // Blanks are trimmed before control characters turn into '?'.
    const std::string& name = header.stationName;
    const auto begin = name.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        shown.station = "unnamed station";
    } else {
        const auto end = name.find_last_not_of(" \t");
        shown.station = displayText(std::string_view(name).substr(begin, end - begin + 1));
    }
    shown.source = displayText(header.dataSourceText);
    return shown;
}

}  // namespace qv::plot
