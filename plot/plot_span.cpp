#include "plot/plot_span.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "plot/page_layout.h"

namespace qv::plot {
namespace {

// Each run of consecutive days, cut after `longest` days.
std::vector<std::vector<std::int64_t>> runsOf(const std::vector<std::int64_t>& sorted,
                                              std::size_t longest) {
    std::vector<std::vector<std::int64_t>> groups;
    for (const std::int64_t day : sorted) {
        if (!groups.empty() && groups.back().back() + 1 == day && groups.back().size() < longest) {
            groups.back().push_back(day);
        } else {
            groups.push_back({day});
        }
    }
    return groups;
}

// The 7-day blocks counted back from the newest day.
std::vector<std::vector<std::int64_t>> weeksOf(const std::vector<std::int64_t>& sorted) {
    std::vector<std::vector<std::int64_t>> groups;
    const std::int64_t newest = sorted.back();
    std::int64_t block = -1;
    for (const std::int64_t day : sorted) {
        const std::int64_t blockOfDay = (newest - day) / kWeekDays;
        if (groups.empty() || blockOfDay != block) groups.emplace_back();
        groups.back().push_back(day);
        block = blockOfDay;
    }
    return groups;
}

template <typename Day>
std::optional<TimeWindow> windowOf(const std::vector<Day>& days) {
    std::optional<std::int64_t> earliest;
    for (const Day& day : days) {
        const CalendarTime& d = day.header.day;
        if (!isCalendarDate(d.year, d.month, d.day)) continue;
        const std::int64_t number = civilDayNumber(d.year, d.month, d.day);
        earliest = earliest ? std::min(*earliest, number) : number;
    }
    std::optional<double> newestEnd;
    for (const Day& day : days) {
        const CalendarTime& d = day.header.day;
        if (!earliest || !isCalendarDate(d.year, d.month, d.day)) continue;
        const double dayStart =
            1440.0 * static_cast<double>(civilDayNumber(d.year, d.month, d.day) - *earliest);
        for (const auto& period : day.periods) {
            const int start = periodKeyMinutes(period.key);
            if (start < 0) continue;
            const double end = dayStart + std::min(start + periodMinutes(day.header), 1440);
            newestEnd = newestEnd ? std::max(*newestEnd, end) : end;
        }
    }
    if (!newestEnd) return std::nullopt;
    return TimeWindow{*newestEnd - 1440.0, *newestEnd};
}

}  // namespace

std::vector<std::vector<std::int64_t>> spanGroups(const std::vector<std::int64_t>& dayNumbers,
                                                   PlotSpan span) {
    std::vector<std::int64_t> sorted = dayNumbers;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    if (sorted.empty()) return {};
    switch (span) {
        case PlotSpan::Day: return runsOf(sorted, 1);
        case PlotSpan::Days: return runsOf(sorted, static_cast<std::size_t>(kMaxPlotDays));
        case PlotSpan::Week: return weeksOf(sorted);
        case PlotSpan::Last24Hours: {
            std::vector<std::int64_t> last;
            if (sorted.size() > 1 && sorted[sorted.size() - 2] + 1 == sorted.back()) {
                last.push_back(sorted[sorted.size() - 2]);
            }
            last.push_back(sorted.back());
            return {last};
        }
    }
    return {};
}

std::optional<TimeWindow> last24HoursWindow(const std::vector<WindDay>& days) {
    return windowOf(days);
}

std::optional<TimeWindow> last24HoursWindow(const std::vector<TemperatureDay>& days) {
    return windowOf(days);
}

std::optional<TimeWindow> spanWindow(PlotSpan span, const std::vector<WindDay>& days) {
    if (span != PlotSpan::Last24Hours) return std::nullopt;
    return last24HoursWindow(days);
}

std::optional<TimeWindow> spanWindow(PlotSpan span, const std::vector<TemperatureDay>& days) {
    if (span != PlotSpan::Last24Hours) return std::nullopt;
    return last24HoursWindow(days);
}

std::string spanPlotFileName(const std::string& station, const std::vector<std::int64_t>& days,
                             PlotSpan span, bool winds, PlotFormat format) {
    if (days.empty()) return {};
    const bool last24Hours = span == PlotSpan::Last24Hours;
    return plotFileName(station, civilDate(last24Hours ? days.back() : days.front()),
                        civilDate(days.back()), winds, format, last24Hours ? "last24h" : "");
}

namespace {

// A finite decimal number and nothing else.
bool parseNumber(const std::string& text, double& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

}  // namespace

bool parseWindScale(const std::string& text, double& maximum) {
    double value = 0.0;
    if (!parseNumber(text, value) || !validWindScale(value)) return false;
    maximum = value;
    return true;
}

bool parseTemperatureScale(const std::string& text, TemperatureRange& range) {
    const std::size_t colon = text.find(':');
    TemperatureRange parsed;
    if (colon == std::string::npos || !parseNumber(text.substr(0, colon), parsed.low) ||
        !parseNumber(text.substr(colon + 1), parsed.high) || !validTemperatureScale(parsed)) {
        return false;
    }
    range = parsed;
    return true;
}

}  // namespace qv::plot
