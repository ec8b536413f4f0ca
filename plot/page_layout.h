// The parts of a plot page both kinds share: the checks of the page size and
// the days, the regions of title, panels, colour bar and legend, and the
// axes of a panel.
#pragma once

#include <string>
#include <vector>

#include "plot/axes.h"
#include "plot/layout.h"

namespace qv::plot {

// The days of a plot on the page's calendar: the first date, the number of
// days the time axis covers and each input day's offset from the first.
struct DaySpan {
    std::vector<CalendarTime> dates;  // every day of the axis, in order
    std::vector<int> offsets;         // per input day
};

bool checkPageSize(const PlotOptions& options, std::string& error);
bool spanDays(const std::vector<const DayHeader*>& headers, DaySpan& out, std::string& error);

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
                  const AltitudeScale& altitude, const std::vector<CalendarTime>& dates,
                  bool labelTime, double scale);

// "2004-06-15" or "2004-06-15 to 2004-06-17".
std::string dateRangeText(const std::vector<CalendarTime>& dates);

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
