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

// Ticks every 3 hours UTC over the scale, across midnights; labels
// "HH:MM", thinned to every 2nd, 4th or 8th tick when `minLabelSpacing`
// does not fit between them. Midnights are major ticks.
std::vector<Tick> timeTicks(const TimeScale& scale, double minLabelSpacing);

// One date label per day, centred under the part of the day the scale
// shows; `firstDayMinute` is the minute of 00:00 of days.front(). A day
// shown too narrow for its label goes without, unless no day has room.
std::vector<Tick> dayLabels(const TimeScale& scale, const std::vector<CalendarTime>& days,
                            double firstDayMinute);

// Ticks at a round step (1, 2, 2.5 or 5 times a power of ten) giving about
// `targetCount` ticks between low and high.
double niceStep(double low, double high, int targetCount);
std::vector<Tick> altitudeTicks(const AltitudeScale& scale, int targetCount);

// Ticks of a vertical value bar from `low` (at `bottom`) to `high` (at
// `top`) every `step`.
std::vector<Tick> valueTicks(double low, double high, double step, double bottom, double top);
// The label of a value on such a bar: whole numbers for a whole step, else
// one decimal.
std::string valueLabel(double value, double step);

}  // namespace qv::plot
