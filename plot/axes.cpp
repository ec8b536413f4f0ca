#include "plot/axes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/numeric.h"

namespace qv::plot {

std::vector<Tick> timeTicks(const TimeScale& scale, double minLabelSpacing) {
    std::vector<Tick> ticks;
    const double spacing = 180.0 * scale.unitsPerMinute();
    int labelEvery = 1;
    while (labelEvery < 8 && spacing * labelEvery < minLabelSpacing) labelEvery *= 2;
    const bool labelled = spacing * labelEvery >= minLabelSpacing || labelEvery == 8;
    const int first = truncToInt(std::ceil(scale.firstMinute / 180.0));
    const int last = truncToInt(std::floor(scale.lastMinute / 180.0));
    for (int i = first; i <= last; ++i) {
        Tick tick;
        const double minute = i * 180.0;
        tick.position = scale.x(minute);
        const int ofDay = ((i % 8) + 8) % 8;
        tick.major = ofDay == 0;
        if (labelled && ofDay % labelEvery == 0) {
            char text[8];
            std::snprintf(text, sizeof text, "%02d:00", ofDay * 3);
            tick.label = text;
        }
        ticks.push_back(tick);
    }
    return ticks;
}

std::vector<Tick> dayLabels(const TimeScale& scale, const std::vector<CalendarTime>& days,
                            double firstDayMinute) {
    std::vector<Tick> labels;
    const double dayWidth = 1440.0 * scale.unitsPerMinute();
    const bool shortLabels = dayWidth < 90.0;
    // The room a label needs: what a whole day gives, at most.
    const double room = std::min(dayWidth, shortLabels ? 44.0 : 84.0);
    std::size_t every = 1;
    while (dayWidth * static_cast<double>(every) < 48.0 && every < days.size()) every *= 2;
    Tick widest;
    double widestShown = -1.0;
    for (std::size_t i = 0; i < days.size(); ++i) {
        const double start = firstDayMinute + 1440.0 * static_cast<double>(i);
        const double left = scale.x(std::max(start, scale.firstMinute));
        const double right = scale.x(std::min(start + 1440.0, scale.lastMinute));
        Tick label;
        label.position = (left + right) / 2.0;
        const std::string date = isoDate(days[i]);
        label.label = shortLabels ? date.substr(5) : date;
        if (right - left > widestShown) {
            widestShown = right - left;
            widest = label;
        }
        if (i % every == 0 && right - left >= room - 1e-9) labels.push_back(label);
    }
    if (labels.empty() && widestShown >= 0.0) labels.push_back(widest);
    return labels;
}

double niceStep(double low, double high, int targetCount) {
    const double range = high - low;
    if (!(range > 0.0) || targetCount < 1) return 1.0;
    const double raw = range / targetCount;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (m * power >= raw) return m * power;
    }
    return 10.0 * power;
}

std::vector<Tick> valueTicks(double low, double high, double step, double bottom, double top) {
    std::vector<Tick> ticks;
    if (!(step > 0.0) || !(high > low)) return ticks;
    const double first = std::ceil(low / step - 1e-9) * step;
    for (int i = 0;; ++i) {
        const double value = first + i * step;
        if (value > high + step * 1e-9 || i > 1000) break;
        Tick tick;
        tick.position = bottom - (value - low) * (bottom - top) / (high - low);
        tick.label = valueLabel(value, step);
        ticks.push_back(tick);
    }
    return ticks;
}

std::string valueLabel(double value, double step) {
    char text[32];
    const double shown = std::fabs(value) < step * 1e-6 ? 0.0 : value;
    if (step >= 1.0 && std::fabs(step - std::round(step)) < 1e-9) {
        std::snprintf(text, sizeof text, "%.0f", shown);
    } else {
        std::snprintf(text, sizeof text, "%.1f", shown);
    }
    return text;
}

std::vector<Tick> altitudeTicks(const AltitudeScale& scale, int targetCount) {
    const double step = niceStep(scale.low, scale.high, targetCount);
    return valueTicks(scale.low, scale.high, step, scale.bottom, scale.top);
}

}  // namespace qv::plot
