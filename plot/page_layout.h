// The parts of a plot page both kinds share: the checks of the page size and
// the days, the regions of title, panels, colour bar and legend, and the
// axes of a panel.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "plot/axes.h"
#include "plot/layout.h"

namespace qv::plot {

// The time axis of a plot on the page's calendar. Minutes count from 00:00
// UTC of the earliest input day; the axis spans its whole days, or the
// options' window.
struct DaySpan {
    std::vector<CalendarTime> dates;  // every day the axis touches, in order
    std::vector<int> offsets;         // per input day: days after the earliest
    std::int64_t firstDayNumber = 0;  // the earliest input day, days since 1970-01-01
    int firstDateOffset = 0;          // dates.front(), days after the earliest input day
    double firstMinute = 0.0;
    double lastMinute = 1440.0;
    bool windowed = false;
    // True when a period starting at `minute` is drawn.
    bool shows(double minute) const { return minute >= firstMinute && minute < lastMinute; }
};

bool checkPageSize(const PlotOptions& options, std::string& error);
// Fails for no days, a day without a date, days spread over more than
// kMaxPlotDays, or a window that is empty, longer than kMaxPlotDays or
// further than that from the days.
bool spanDays(const std::vector<const DayHeader*>& headers, const PlotOptions& options,
              DaySpan& out, std::string& error);

// The minutes a period of a day lasts: its averaging minutes, 60 when the
// header has none that fits in a day.
int periodMinutes(const DayHeader& header);

// The altitudes of a panel's gates: those with a valid value in the
// periods drawn, and every listed one.
struct HeightRange {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void add(double height);
    bool empty() const { return !(low <= high); }
};
// The altitude axis of a panel (the rule in layout.h): the valid gates,
// else the listed ones, else `fallbackHeight` metres from `fallbackLow`;
// half `spacing` beyond.
AltitudeScale panelAltitude(const HeightRange& valid, const HeightRange& listed,
                            double fallbackLow, double fallbackHeight, double spacing);

// Marks the colour bar's ends beyond which values take the end colours: a
// tick at such an end is labelled with a sign before its value (at or
// below, at or above); an end without a tick gets one, in place of a tick
// closer than half a step.
void markOpenEnds(ColourBar& bar, bool low, bool high, double step);

struct PageRegions {
    double scale = 1.0;
    double panelsTop = 0.0;
    double panelsBottom = 0.0;
    double left = 0.0;
    double right = 0.0;
    double sideColumn = 0.0;  // left edge of the colour bar and legend column
};

PageRegions pageRegions(const PlotOptions& options);

// Frames of `count` panels stacked between the regions' top and bottom,
// room for a title above each.
std::vector<Rect> stackedFrames(const PageRegions& regions, int count);

// Sets a panel's frame, axes and their ticks. Time labels and date labels
// only under the lowest panel (`labelTime`).
void setPanelAxes(Panel& panel, const Rect& frame, const TimeScale& time,
                  const AltitudeScale& altitude, const DaySpan& span, bool labelTime,
                  double scale);

// The time scale of a span between x positions `left` and `right`.
TimeScale timeScaleOf(const DaySpan& span, double left, double right);

// "2004-06-15", "2004-06-15 to 2004-06-17", or for a window
// "2004-06-15 14:30 to 2004-06-16 14:30 UTC".
std::string dateRangeText(const DaySpan& span);

// "30-minute averages", or "30- and 60-minute averages".
std::string averagingText(const std::vector<const DayHeader*>& headers);

// The texts of a day's header the page shows. They come from input files in
// any encoding, so every one passes through here to become showable UTF-8
// (displayText); titles take them from nowhere else.
struct HeaderTexts {
    std::string station;  // without surrounding blanks; "unnamed station" when blank
    std::string source;   // the data source; empty when none
};
HeaderTexts headerTexts(const DayHeader& header);

}  // namespace qv::plot
