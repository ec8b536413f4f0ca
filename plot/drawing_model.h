// The drawing of a plot as plain values: where every barb, shaded cell,
// tick and label goes, in page units (1 unit = 1 pixel of a PNG, 1 point of
// an SVG or PDF page; x to the right, y down). The layout functions compute
// it from day products without touching pixels; the painter only draws it.
// Every text is UTF-8; texts from input files reach it through the layout's
// headerTexts.
#pragma once

#include <string>
#include <vector>

#include "plot/colormap.h"
#include "plot/wind_barb.h"

namespace qv::plot {

struct Point {
    double x = 0.0;
    double y = 0.0;
};

struct Rect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
    double right() const { return x + width; }
    double bottom() const { return y + height; }
    bool contains(Point p) const {
        return p.x >= x && p.x <= right() && p.y >= y && p.y <= bottom();
    }
};

// Minutes counted from midnight UTC of the plot's first day onto x.
struct TimeScale {
    double firstMinute = 0.0;
    double lastMinute = 1440.0;
    double left = 0.0;
    double right = 1.0;
    double x(double minute) const {
        return left + (minute - firstMinute) * (right - left) / (lastMinute - firstMinute);
    }
    double unitsPerMinute() const { return (right - left) / (lastMinute - firstMinute); }
};

// Altitude in m msl onto y (up the page).
struct AltitudeScale {
    double low = 0.0;
    double high = 1000.0;
    double bottom = 1.0;
    double top = 0.0;
    double y(double altitude) const {
        return bottom - (altitude - low) * (bottom - top) / (high - low);
    }
    double unitsPerMetre() const { return (bottom - top) / (high - low); }
};

// One wind barb: the staff runs from `origin` (the gate's altitude at the
// period's start time) along `staff` for `length`; feathers sit at the far
// end on the `side`.
struct Barb {
    Point origin;
    Vec2 staff;
    Vec2 side;
    double length = 0.0;
    BarbFeathers feathers;
    Colour colour;
    double speed = 0.0;      // m/s, as the gate holds it
    double direction = 0.0;  // degrees from
    int period = 0;          // index of the period in its day
    int gate = 0;            // index of the gate in its period
    int day = 0;             // index of the day in the plot
};

// A shaded rectangle of a time-height panel (one gate of one period).
struct Cell {
    Rect rect;
    Colour colour;
    double value = 0.0;
};

// A tick mark and its label; `position` is x for a time axis, y for an
// altitude axis or a vertical colour bar.
struct Tick {
    double position = 0.0;
    std::string label;  // empty: a mark without a label
    bool major = false; // day boundaries on a time axis
};

struct Panel {
    Rect frame;            // the plotting area inside the axes
    std::string title;     // above the frame
    std::string timeTitle;      // x axis label
    std::string altitudeTitle;  // y axis label
    std::vector<Tick> timeTicks;
    std::vector<Tick> altitudeTicks;
    std::vector<Tick> dayLabels;  // date labels centred under each day's part of the axis
    std::vector<Cell> cells;
    std::vector<Barb> barbs;
    std::string emptyNote;  // drawn across the frame when there is nothing to show

    // The axes: minutes after midnight of the first day, m msl. A panel of
    // barbs keeps a margin inside its frame for the staffs of the outermost
    // barbs.
    TimeScale time;
    AltitudeScale altitude;
};

struct ColourBar {
    Rect frame;  // vertical bar, low values at the bottom
    double low = 0.0;
    double high = 1.0;
    std::string title;           // above the bar: the quantity
    std::string unit;            // above the right-hand ticks
    std::vector<Tick> ticks;     // right side, in `unit`
    std::string secondUnit;      // above the left-hand ticks; may be empty
    std::vector<Tick> secondTicks;
};

// A barb drawn in the legend with its meaning.
struct LegendBarb {
    Barb barb;
    std::string label;
};

struct Drawing {
    double width = 0.0;
    double height = 0.0;
    double textScale = 1.0;  // text and line sizes relative to a 1600 x 900 page
    std::string title;
    std::string subtitle;
    std::vector<Panel> panels;
    bool hasColourBar = false;
    ColourBar colourBar;
    std::string legendTitle;
    std::vector<LegendBarb> legendBarbs;
    std::vector<std::string> legendLines;  // under the legend barbs
    Point legendOrigin;                    // top left of the legend
};

}  // namespace qv::plot
