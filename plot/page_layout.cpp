#include "plot/page_layout.h"

#include <algorithm>
#include <set>

#include "core/text.h"

namespace qv::plot {

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

bool spanDays(const std::vector<const DayHeader*>& headers, DaySpan& out, std::string& error) {
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
    const std::size_t first = static_cast<std::size_t>(low - numbers.begin());
    CalendarTime date = headers[first]->day;
    for (std::int64_t i = 0; i < count; ++i) {
        CalendarTime shown{};
        shown.year = date.year;
        shown.month = date.month;
        shown.day = date.day;
        out.dates.push_back(shown);
        // The next calendar day.
        if (isCalendarDate(date.year, date.month, date.day + 1)) {
            ++date.day;
        } else if (date.month < 12) {
            ++date.month;
            date.day = 1;
        } else {
            ++date.year;
            date.month = 1;
            date.day = 1;
        }
    }
    for (const std::int64_t n : numbers) out.offsets.push_back(static_cast<int>(n - *low));
    return true;
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

void setPanelAxes(Panel& panel, const Rect& frame, const TimeScale& time,
                  const AltitudeScale& altitude, const std::vector<CalendarTime>& dates,
                  bool labelTime, double scale) {
    panel.frame = frame;
    panel.time = time;
    panel.altitude = altitude;
    panel.timeTicks = timeTicks(time, 58.0 * scale);
    if (!labelTime) {
        for (Tick& tick : panel.timeTicks) tick.label.clear();
    } else {
        panel.dayLabels = dayLabels(time, dates);
        panel.timeTitle = "Time (UTC)";
    }
    const int altitudeTarget = std::max(2, static_cast<int>(frame.height / (45.0 * scale)));
    panel.altitudeTicks = altitudeTicks(altitude, altitudeTarget);
    panel.altitudeTitle = "Altitude (m msl)";
}

std::string dateRangeText(const std::vector<CalendarTime>& dates) {
    if (dates.empty()) return "";
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
