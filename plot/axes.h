// Time and altitude axes of the time-height panels: the mapping of minutes
// and metres onto the page, tick marks every 3 hours and at round
// altitudes, and the calendar arithmetic that sets consecutive days side by
// side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/time.h"
#include "plot/drawing_model.h"

namespace qv::plot {

// The calendar (civilDayNumber, civilDate, isCalendarDate, isoDate) is
// the core's (core/time.h).
using qv::civilDayNumber;
using qv::civilDate;
using qv::isCalendarDate;
using qv::isoDate;

// Ticks every 3 hours over the scale's whole days; labels "HH:MM", thinned
// to every 2nd, 4th or 8th tick when `minLabelSpacing` does not fit
// between them. Midnights are major ticks.
std::vector<Tick> timeTicks(const TimeScale& scale, double minLabelSpacing);

// One date label per day, centred under the day.
std::vector<Tick> dayLabels(const TimeScale& scale, const std::vector<CalendarTime>& days);

// Ticks at a round step (1, 2, 2.5 or 5 times a power of ten) giving about
// `targetCount` ticks between low and high.
double niceStep(double low, double high, int targetCount);
std::vector<Tick> altitudeTicks(const AltitudeScale& scale, int targetCount);

// Ticks of a vertical value bar from `low` (at `bottom`) to `high` (at
// `top`) every `step`.
std::vector<Tick> valueTicks(double low, double high, double step, double bottom, double top);

}  // namespace qv::plot
