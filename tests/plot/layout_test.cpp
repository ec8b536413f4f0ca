// The drawing model of wind and temperature plots: where periods, gates,
// barbs and cells go, what is left out, and the days that cannot be drawn.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "plot/axes.h"
#include "plot/layout.h"
#include "plot/plot_span.h"
#include "plot_test_support.h"

namespace qv::plot {
namespace {

using test::temperatureDay;
using test::windDay;

PlotOptions everyBarb() {
    PlotOptions options;
    options.thinBarbs = false;
    return options;
}

Drawing windDrawing(const std::vector<WindDay>& days, const PlotOptions& options = everyBarb()) {
    Drawing drawing;
    std::string error;
    EXPECT_TRUE(layoutWindPlot(days, options, drawing, error)) << error;
    return drawing;
}

TEST(PlotLayout_Wind, PeriodSitsAtItsStartTimeAndGateAtItsAltitude) {
    // 06:30 and 07:00, gates 1700 .. 2600 m.
    WindDay day = windDay(2, 10, 30, 390);
    const Drawing drawing = windDrawing({day});
    ASSERT_EQ(drawing.panels.size(), 1u);
    const Panel& panel = drawing.panels[0];
    ASSERT_EQ(panel.barbs.size(), 20u);
    // The axis covers the whole day, midnight to midnight.
    EXPECT_EQ(panel.time.firstMinute, 0.0);
    EXPECT_EQ(panel.time.lastMinute, 1440.0);
    const double perMinute = (panel.time.right - panel.time.left) / 1440.0;
    for (const Barb& barb : panel.barbs) {
        const double start = barb.period == 0 ? 390.0 : 420.0;
        EXPECT_NEAR(barb.origin.x, panel.time.left + start * perMinute, 1e-9);
        const double height = 1700.0 + 100.0 * barb.gate;
        EXPECT_NEAR(barb.origin.y, panel.altitude.y(height), 1e-9);
        EXPECT_TRUE(panel.frame.contains(barb.origin));
    }
    // Higher gates are higher up the page.
    EXPECT_LT(panel.altitude.y(2600.0), panel.altitude.y(1700.0));
    // Ticks every 3 hours, labelled, the day's midnights major.
    ASSERT_EQ(panel.timeTicks.size(), 9u);
    EXPECT_EQ(panel.timeTicks[1].label, "03:00");
    EXPECT_NEAR(panel.timeTicks[2].position, panel.time.x(360.0), 1e-9);
    EXPECT_TRUE(panel.timeTicks[0].major);
    EXPECT_TRUE(panel.timeTicks[8].major);
    EXPECT_FALSE(panel.timeTicks[4].major);
    EXPECT_EQ(panel.timeTitle, "Time (UTC)");
    EXPECT_EQ(panel.altitudeTitle, "Altitude (m msl)");
    ASSERT_FALSE(panel.altitudeTicks.empty());
}

TEST(PlotLayout_Wind, BarbCarriesStaffDirectionFeathersAndSpeedColour) {
    WindDay day = windDay(1, 3, 60, 600, 12.5f, 45);
    day.periods[0].gates[1].speed = 27.0f;
    day.periods[0].gates[2].speed = 2.0f;
    const Drawing drawing = windDrawing({day});
    const std::vector<Barb>& barbs = drawing.panels[0].barbs;
    ASSERT_EQ(barbs.size(), 3u);
    const double r = std::sqrt(0.5);
    EXPECT_NEAR(barbs[0].staff.x, r, 1e-12);
    EXPECT_NEAR(barbs[0].staff.y, -r, 1e-12);
    EXPECT_EQ(barbs[0].feathers.fullBarbs, 2);
    EXPECT_EQ(barbs[0].feathers.halfBarbs, 1);
    EXPECT_EQ(barbs[1].feathers.pennants, 1);
    EXPECT_EQ(barbs[2].feathers.halfBarbs, 1);
    EXPECT_GT(barbs[0].length, 10.0);
    // The colour bar reaches the fastest wind; faster is lighter.
    EXPECT_GE(drawing.colourBar.high, 27.0);
    EXPECT_GT(luminance(barbs[1].colour), luminance(barbs[0].colour));
    EXPECT_GT(luminance(barbs[0].colour), luminance(barbs[2].colour));
    EXPECT_FALSE(drawing.colourBar.ticks.empty());
    EXPECT_EQ(drawing.colourBar.unit, "m/s");
    EXPECT_EQ(drawing.colourBar.secondUnit, "kt");
}

TEST(PlotLayout_Wind, InvalidGatesAreNotDrawn) {
    WindDay day = windDay(1, 6);
    auto& gates = day.periods[0].gates;
    gates[0].qcCode = kQcInvalidCode;
    gates[1].speed = kFailedConsensusCode;
    gates[2].direction = -980;
    gates[3].speed = std::nanf("");
    gates[4].direction = -999;
    const Drawing drawing = windDrawing({day});
    ASSERT_EQ(drawing.panels[0].barbs.size(), 1u);
    EXPECT_EQ(drawing.panels[0].barbs[0].gate, 5);
    EXPECT_TRUE(drawing.panels[0].emptyNote.empty());
}

TEST(PlotLayout_Wind, DayWithoutValidGatesHasAnEmptyPanelWithANote) {
    WindDay day = windDay(4, 5);
    for (WindPeriod& period : day.periods) {
        for (WindGate& gate : period.gates) gate.qcCode = kQcInvalidCode;
    }
    const Drawing drawing = windDrawing({day});
    ASSERT_EQ(drawing.panels.size(), 1u);
    EXPECT_TRUE(drawing.panels[0].barbs.empty());
    EXPECT_FALSE(drawing.panels[0].emptyNote.empty());
    // The altitude axis still spans the listed gates.
    EXPECT_LE(drawing.panels[0].altitude.low, 1700.0);
    EXPECT_GE(drawing.panels[0].altitude.high, 2100.0);
}

TEST(PlotLayout_Wind, ModesAreStackedPanelsAndConsecutiveDaysSideBySide) {
    std::vector<WindDay> days;
    for (int mode = 3; mode >= 1; --mode) {
        for (int d = 15; d <= 16; ++d) {
            WindDay day = windDay(2, 4, 60, 0, 8.0f, 200, d);
            day.header.variant = static_cast<std::int16_t>(mode);
            days.push_back(day);
        }
    }
    const Drawing drawing = windDrawing(days);
    ASSERT_EQ(drawing.panels.size(), 3u);
    EXPECT_NE(drawing.panels[0].title.find("Mode 1"), std::string::npos);
    EXPECT_NE(drawing.panels[2].title.find("Mode 3"), std::string::npos);
    EXPECT_LT(drawing.panels[0].frame.bottom(), drawing.panels[1].frame.y);
    EXPECT_NE(drawing.title.find("2004-06-15 to 2004-06-16"), std::string::npos);
    EXPECT_NE(drawing.title.find("modes 1, 2, 3"), std::string::npos);
    EXPECT_NE(drawing.title.find("60-minute averages"), std::string::npos);
    EXPECT_NE(drawing.title.find("QVS"), std::string::npos);
    const Panel& panel = drawing.panels[1];
    EXPECT_EQ(panel.time.lastMinute, 2880.0);
    ASSERT_EQ(panel.barbs.size(), 16u);
    for (const Barb& barb : panel.barbs) {
        // The second day's periods start 1440 minutes later.
        const bool second = days[static_cast<std::size_t>(barb.day)].header.day.day == 16;
        const double minute = (second ? 1440.0 : 0.0) + 60.0 * barb.period;
        EXPECT_NEAR(barb.origin.x, panel.time.x(minute), 1e-9);
    }
    // Only the lowest panel labels the times and dates.
    EXPECT_TRUE(drawing.panels[0].dayLabels.empty());
    ASSERT_EQ(drawing.panels[2].dayLabels.size(), 2u);
    EXPECT_EQ(drawing.panels[2].dayLabels[1].label, "2004-06-16");
}

TEST(PlotLayout_Wind, CrowdedPeriodsAreThinnedInTimeAndTheLegendSaysSo) {
    const WindDay day = windDay(1440, 100, 1);
    Drawing drawing;
    std::string error;
    ASSERT_TRUE(layoutWindPlot({day}, PlotOptions{}, drawing, error)) << error;
    const std::vector<Barb>& barbs = drawing.panels[0].barbs;
    ASSERT_FALSE(barbs.empty());
    EXPECT_LT(barbs.size(), 1440u * 100u / 10u);
    // Kept barbs are at least a good part of a staff apart in time.
    double closest = 1e9;
    for (std::size_t i = 1; i < barbs.size(); ++i) {
        if (barbs[i].gate == barbs[0].gate && barbs[i - 1].gate == barbs[0].gate) {
            closest = std::min(closest, barbs[i].origin.x - barbs[i - 1].origin.x);
        }
    }
    EXPECT_GE(closest, 0.6 * barbs[0].length);
    bool said = false;
    for (const std::string& line : drawing.legendLines) said |= line.find("period") != std::string::npos;
    EXPECT_TRUE(said);
    // Without thinning every valid gate of every period has its barb.
    const Drawing every = windDrawing({day});
    EXPECT_EQ(every.panels[0].barbs.size(), 144000u);
}

TEST(PlotLayout_Wind, LegendStatesTheBarbConvention) {
    const Drawing drawing = windDrawing({windDay(2, 2)});
    ASSERT_EQ(drawing.legendBarbs.size(), 4u);
    EXPECT_EQ(drawing.legendBarbs[0].barb.feathers.halfBarbs, 1);
    EXPECT_EQ(drawing.legendBarbs[1].barb.feathers.fullBarbs, 1);
    EXPECT_EQ(drawing.legendBarbs[2].barb.feathers.pennants, 1);
    EXPECT_NE(drawing.legendBarbs[0].label.find("5 kt"), std::string::npos);
    EXPECT_NE(drawing.legendBarbs[2].label.find("50 kt"), std::string::npos);
    std::string text;
    for (const std::string& line : drawing.legendLines) text += line + " ";
    EXPECT_NE(text.find("wind comes from"), std::string::npos);
    EXPECT_NE(text.find("nearest 5 kt"), std::string::npos);
}

TEST(PlotLayout_Wind, DaysThatCannotBeDrawnAreRefusedWithAReason) {
    Drawing drawing;
    std::string error;
    EXPECT_FALSE(layoutWindPlot({}, everyBarb(), drawing, error));
    EXPECT_EQ(error, "no days to plot");
    WindDay noDate = windDay(1, 1);
    noDate.header.day.month = 13;
    EXPECT_FALSE(layoutWindPlot({noDate}, everyBarb(), drawing, error));
    EXPECT_NE(error.find("valid date"), std::string::npos);
    WindDay late = windDay(1, 1);
    late.header.day.month = 9;  // 15 June to 15 September
    EXPECT_FALSE(layoutWindPlot({windDay(1, 1), late}, everyBarb(), drawing, error));
    EXPECT_NE(error.find("span"), std::string::npos);
    PlotOptions tiny;
    tiny.width = 100;
    EXPECT_FALSE(layoutWindPlot({windDay(1, 1)}, tiny, drawing, error));
    EXPECT_NE(error.find("out of range"), std::string::npos);
}

TEST(PlotLayout_Wind, PeriodsWithBadKeysOrNoGatesAreSkipped) {
    WindDay day = windDay(3, 2);
    day.periods[1].key[0] = 'x';
    day.periods[2].gates.clear();
    const Drawing drawing = windDrawing({day});
    EXPECT_EQ(drawing.panels[0].barbs.size(), 2u);
}

// The labels of ticks and days, empty labels left out.
std::vector<std::string> labelsOf(const std::vector<Tick>& ticks) {
    std::vector<std::string> labels;
    for (const Tick& tick : ticks) {
        if (!tick.label.empty()) labels.push_back(tick.label);
    }
    return labels;
}

TEST(PlotLayout_Window, OnlyPeriodsInsideAreDrawnOnAnAxisSpanningTheWindowAcrossMidnight) {
    // 15 and 16 June, every half hour of both days, two gates.
    const std::vector<WindDay> twoDays = {windDay(48, 2, 30, 0, 10.0f, 270, 15),
                                          windDay(48, 2, 30, 0, 10.0f, 270, 16)};
    const struct {
        const char* what;
        std::vector<WindDay> days;
        std::optional<TimeWindow> window;
        double firstDrawn, lastDrawn;  // minutes of the first and last barb
        std::size_t periods;
        std::vector<std::string> dates;
        std::string firstTime;  // the first time label
        std::string titleHolds;
    } cases[] = {
        {"whole days", twoDays, std::nullopt, 0, 2850, 96, {"2004-06-15", "2004-06-16"},
         "00:00", "2004-06-15 to 2004-06-16,"},
        {"last 24 hours across midnight", twoDays, TimeWindow{870, 2310}, 870, 2280, 48,
         {"2004-06-15", "2004-06-16"}, "15:00", "2004-06-15 14:30 to 2004-06-16 14:30 UTC"},
        {"from the evening before the first day", {twoDays[0]}, TimeWindow{-300, 300}, 0, 270,
         10, {"2004-06-14", "2004-06-15"}, "21:00", "2004-06-14 19:00 to 2004-06-15 05:00 UTC"},
        {"six hours of one day", twoDays, TimeWindow{1920, 2280}, 1920, 2250, 12, {"2004-06-16"},
         "09:00", "2004-06-16 08:00 to 2004-06-16 14:00 UTC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlotOptions options = everyBarb();
        options.window = c.window;
        const Drawing drawing = windDrawing(c.days, options);
        const Panel& panel = drawing.panels.at(0);
        const TimeWindow axis = c.window.value_or(TimeWindow{0, 2880});
        EXPECT_EQ(panel.time.firstMinute, axis.startMinute);
        EXPECT_EQ(panel.time.lastMinute, axis.endMinute);
        ASSERT_EQ(panel.barbs.size(), 2 * c.periods);
        EXPECT_NEAR(panel.barbs.front().origin.x, panel.time.x(c.firstDrawn), 1e-9);
        EXPECT_NEAR(panel.barbs.back().origin.x, panel.time.x(c.lastDrawn), 1e-9);
        EXPECT_EQ(labelsOf(panel.dayLabels), c.dates);
        ASSERT_FALSE(labelsOf(panel.timeTicks).empty());
        EXPECT_EQ(labelsOf(panel.timeTicks).front(), c.firstTime);
        // Midnight inside the window is a major tick.
        for (const Tick& tick : panel.timeTicks) {
            EXPECT_EQ(tick.major, std::fabs(tick.position - panel.time.x(1440.0)) < 1e-6 ||
                                      std::fabs(tick.position - panel.time.x(0.0)) < 1e-6 ||
                                      std::fabs(tick.position - panel.time.x(2880.0)) < 1e-6);
        }
        EXPECT_NE(drawing.title.find(c.titleHolds), std::string::npos) << drawing.title;
    }
    // A temperature period at the window's end is shaded up to the end only.
    TemperatureDay day = temperatureDay(24, 2, 60, 0);
    PlotOptions options;
    options.window = TimeWindow{-720, 690};
    Drawing drawing;
    std::string error;
    ASSERT_TRUE(layoutTemperaturePlot({day}, options, drawing, error)) << error;
    const Panel& tv = drawing.panels[0];
    ASSERT_EQ(tv.cells.size(), 2u * 12u);  // 00:00 to 11:00
    EXPECT_NEAR(tv.cells.back().rect.right(), tv.time.x(690.0), 1e-9);
    // Windows that cannot be drawn are refused.
    for (const TimeWindow bad : {TimeWindow{600, 600}, TimeWindow{0, 1440.0 * 63},
                                 TimeWindow{std::nan(""), 100}, TimeWindow{-1e12, 0}}) {
        options.window = bad;
        EXPECT_FALSE(layoutTemperaturePlot({day}, options, drawing, error));
        EXPECT_FALSE(layoutWindPlot({windDay(1, 1)}, options, drawing, error));
        EXPECT_NE(error.find("time window"), std::string::npos);
    }
}

TEST(PlotLayout_Window, TheLast24HoursEndWithTheNewestPeriod) {
    WindDay today = windDay(29, 2, 30, 0, 10.0f, 270, 16);  // 00:00 to 14:00
    today.periods.emplace_back();                            // a period with a bad key
    std::strcpy(today.periods.back().key, "2x00");
    const struct {
        const char* what;
        std::vector<WindDay> days;
        std::optional<TimeWindow> window;
    } cases[] = {
        {"yesterday and today", {windDay(48, 2, 30, 0, 10.0f, 270, 15), today},
         TimeWindow{870, 2310}},
        {"today alone", {today}, TimeWindow{-570, 870}},
        {"a last period ending at midnight", {windDay(24, 1, 60, 0, 9.0f, 90, 15)},
         TimeWindow{0, 1440}},
        {"no periods", {windDay(0, 0)}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<TimeWindow> window = last24HoursWindow(c.days);
        ASSERT_EQ(window.has_value(), c.window.has_value());
        if (!window) continue;
        EXPECT_EQ(window->startMinute, c.window->startMinute);
        EXPECT_EQ(window->endMinute, c.window->endMinute);
    }
}

TEST(PlotLayout_Span, DaysAreCutIntoDaysRunsWeeksAndTheLast24Hours) {
    using Groups = std::vector<std::vector<std::int64_t>>;
    const std::vector<std::int64_t> days = {12, 10, 11, 15, 16, 11, 1, 2, 9};
    const struct {
        PlotSpan span;
        Groups groups;
    } cases[] = {
        {PlotSpan::Day, {{1}, {2}, {9}, {10}, {11}, {12}, {15}, {16}}},
        {PlotSpan::Days, {{1, 2}, {9, 10, 11, 12}, {15, 16}}},
        // Blocks 10..16, 3..9 and -4..2 back from the newest day.
        {PlotSpan::Week, {{1, 2}, {9}, {10, 11, 12, 15, 16}}},
        {PlotSpan::Last24Hours, {{15, 16}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(spanGroups(days, c.span), c.groups) << static_cast<int>(c.span);
    }
    EXPECT_EQ(spanGroups({15, 17}, PlotSpan::Last24Hours), (Groups{{17}}));
    EXPECT_TRUE(spanGroups({}, PlotSpan::Week).empty());
    std::vector<std::int64_t> many;
    for (std::int64_t d = 0; d < kMaxPlotDays + 3; ++d) many.push_back(d);
    const Groups runs = spanGroups(many, PlotSpan::Days);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].size(), static_cast<std::size_t>(kMaxPlotDays));
}

TEST(PlotLayout_Scale, AFixedScaleGivesValuesBeyondItTheEndColoursAndTheBarSaysSo) {
    WindDay day = windDay(1, 4, 60, 600);
    const float speeds[] = {10.0f, 40.0f, 55.0f, 0.0f};
    for (int g = 0; g < 4; ++g) day.periods[0].gates[static_cast<std::size_t>(g)].speed = speeds[g];
    PlotOptions options = everyBarb();
    options.windScaleMax = 40.0;
    const Drawing fixed = windDrawing({day}, options);
    const std::vector<Barb>& barbs = fixed.panels[0].barbs;
    ASSERT_EQ(barbs.size(), 4u);
    auto same = [](const Colour& a, const Colour& b) {
        return a.r == b.r && a.g == b.g && a.b == b.b;
    };
    EXPECT_TRUE(same(barbs[0].colour, scaleColour(0.25)));
    EXPECT_TRUE(same(barbs[1].colour, scaleColour(1.0)));
    EXPECT_TRUE(same(barbs[2].colour, scaleColour(1.0)));  // beyond: the top colour
    EXPECT_TRUE(same(barbs[3].colour, scaleColour(0.0)));
    EXPECT_EQ(fixed.colourBar.high, 40.0);
    EXPECT_EQ(fixed.colourBar.ticks.back().label, "\u226540");
    EXPECT_EQ(fixed.colourBar.ticks.front().label, "0");
    // A maximum off the tick step gets its own tick in place of a close one.
    options.windScaleMax = 37.0;
    const Drawing odd = windDrawing({day}, options);
    EXPECT_EQ(labelsOf(odd.colourBar.ticks).back(), "\u226537");
    EXPECT_EQ(labelsOf(odd.colourBar.ticks).at(odd.colourBar.ticks.size() - 2), "30");
    EXPECT_NEAR(odd.colourBar.ticks.back().position, odd.colourBar.frame.y, 1e-9);
    // Without it the bar reaches the fastest wind, nothing beyond.
    EXPECT_EQ(windDrawing({day}).colourBar.high, 55.0);

    TemperatureDay temperature = temperatureDay(1, 3);
    temperature.periods[0].gates[0].tv = 45.0f;
    temperature.periods[0].gates[1].tv = -40.0f;
    temperature.periods[0].gates[2].tv = 5.0f;
    PlotOptions range;
    range.temperatureScale = kDefaultTemperatureScale;
    Drawing drawing;
    std::string error;
    ASSERT_TRUE(layoutTemperaturePlot({temperature}, range, drawing, error)) << error;
    const std::vector<Cell>& cells = drawing.panels[0].cells;
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_TRUE(same(cells[0].colour, scaleColour(1.0)));
    EXPECT_TRUE(same(cells[1].colour, scaleColour(0.0)));
    EXPECT_TRUE(same(cells[2].colour, scaleColour(0.5)));
    EXPECT_EQ(labelsOf(drawing.colourBar.ticks),
              (std::vector<std::string>{"\u2264-30", "-20", "-10", "0", "10", "20", "30",
                                        "\u226540"}));
    // Scales out of range are refused.
    options.windScaleMax = 0.0;
    EXPECT_FALSE(layoutWindPlot({day}, options, drawing, error));
    EXPECT_NE(error.find("wind speed scale"), std::string::npos);
    range.temperatureScale = TemperatureRange{10.0, 10.0};
    EXPECT_FALSE(layoutTemperaturePlot({temperature}, range, drawing, error));
    EXPECT_NE(error.find("temperature scale"), std::string::npos);
}

TEST(PlotLayout_Altitude, TheAxisSpansTheGatesHoldingValidValuesInTheWindow) {
    // Gates 1700 .. 2600 m; the top four invalid at 10:00, every gate valid
    // in a period outside the window.
    WindDay winds = windDay(2, 10, 60, 600);
    std::strcpy(winds.periods[1].key, "2000");
    for (std::size_t g = 6; g < 10; ++g) winds.periods[0].gates[g].qcCode = kQcInvalidCode;
    winds.periods[0].gates[0].speed = kFailedConsensusCode;
    TemperatureDay temperature = temperatureDay(1, 10, 60, 600);
    for (std::size_t g = 6; g < 10; ++g) temperature.periods[0].gates[g].tv = kMissingCode;
    for (std::size_t g = 7; g < 10; ++g) temperature.periods[0].gates[g].tvc = kMissingCode;
    PlotOptions options = everyBarb();
    options.window = TimeWindow{0, 720};
    const Panel wind = windDrawing({winds}, options).panels[0];
    EXPECT_EQ(wind.altitude.low, 1750.0);   // gate 1 less half a spacing
    EXPECT_EQ(wind.altitude.high, 2250.0);  // gate 5 and half a spacing
    // Every gate of the day drawn: the whole listed range.
    const Panel whole = windDrawing({winds}).panels[0];
    EXPECT_EQ(whole.altitude.low, 1650.0);
    EXPECT_EQ(whole.altitude.high, 2650.0);
    // Temperature: a gate with either Tv or TvC counts, for both panels.
    Drawing drawing;
    std::string error;
    ASSERT_TRUE(layoutTemperaturePlot({temperature}, options, drawing, error)) << error;
    for (const Panel& panel : drawing.panels) {
        EXPECT_EQ(panel.altitude.low, 1650.0);
        EXPECT_EQ(panel.altitude.high, 2350.0);
    }
}

TEST(PlotLayout_Temperature, CellsSpanTheAveragingPeriodFromItsStartAndTheGate) {
    TemperatureDay day = temperatureDay(2, 4, 30, 600);  // 10:00 and 10:30
    day.periods[1].gates[2].tvc = kFailedConsensusCode;
    day.periods[0].gates[3].qcCode = kQcInvalidCode;
    Drawing drawing;
    std::string error;
    ASSERT_TRUE(layoutTemperaturePlot({day}, PlotOptions{}, drawing, error)) << error;
    ASSERT_EQ(drawing.panels.size(), 2u);
    const Panel& tv = drawing.panels[0];
    const Panel& tvc = drawing.panels[1];
    EXPECT_EQ(tv.cells.size(), 7u);
    EXPECT_EQ(tvc.cells.size(), 6u);
    const Cell& cell = tv.cells[0];
    EXPECT_NEAR(cell.rect.x, tv.time.x(600.0), 1e-9);
    EXPECT_NEAR(cell.rect.right(), tv.time.x(630.0), 1e-9);
    // From halfway below the gate (half a spacing for the lowest) to halfway
    // to the next.
    EXPECT_NEAR(cell.rect.bottom(), tv.altitude.y(1650.0), 1e-9);
    EXPECT_NEAR(cell.rect.y, tv.altitude.y(1750.0), 1e-9);
    EXPECT_FLOAT_EQ(static_cast<float>(cell.value), 20.0f);
    EXPECT_NE(tv.title.find("Tv"), std::string::npos);
    EXPECT_NE(tvc.title.find("TvC"), std::string::npos);
    EXPECT_NE(drawing.colourBar.unit.find("C"), std::string::npos);
    EXPECT_LE(drawing.colourBar.low, 19.5 - 0.6 * 3);
    EXPECT_GE(drawing.colourBar.high, 20.0);
}

TEST(PlotLayout_Temperature, ALastPeriodEndsAtMidnightAndOutliersDoNotStretchTheBar) {
    TemperatureDay day = temperatureDay(48, 10, 60, 0);  // more periods than hours
    day.periods[5].gates[5].tv = -60.0f;
    Drawing drawing;
    std::string error;
    ASSERT_TRUE(layoutTemperaturePlot({day}, PlotOptions{}, drawing, error)) << error;
    const Panel& tv = drawing.panels[0];
    for (const Cell& cell : tv.cells) {
        EXPECT_LE(cell.rect.right(), tv.time.x(1440.0) + 1e-9);
    }
    EXPECT_GT(drawing.colourBar.low, -10.0);
}

TEST(PlotLayout_Titles, HeaderTextsFromFilesAreShownAsUtf8) {
    // Station name, data source; their shown texts in title and subtitle.
    const std::array<const char*, 4> cases[] = {
        {"M\xDCNCHEN", "Profiler \xB0 3", "M\u00dcNCHEN winds", "from Profiler \u00b0 3;"},
        {" \tQVS\t ", "Z\xC3\xBCrich", "QVS winds", "from Z\u00fcrich;"},
        {"QV\x01S\x7F", "a\nb", "QV?S? winds", "from a?b;"},
        {" \t", "", "unnamed station winds", "Consensus winds;"},
    };
    for (const auto& [station, source, title, subtitle] : cases) {
        WindDay wind = windDay(2, 2);
        wind.header.stationName = station;
        wind.header.dataSourceText = source;
        const Drawing drawing = windDrawing({wind});
        EXPECT_EQ(drawing.title.rfind(title, 0), 0u) << drawing.title;
        EXPECT_NE(drawing.subtitle.find(subtitle), std::string::npos) << drawing.subtitle;
        TemperatureDay temperature = temperatureDay(2, 2);
        temperature.header.stationName = station;
        Drawing tv;
        std::string error;
        ASSERT_TRUE(layoutTemperaturePlot({temperature}, PlotOptions{}, tv, error)) << error;
        EXPECT_EQ(tv.title.substr(0, tv.title.find(" virtual")) + " winds", title);
    }
}

TEST(PlotLayout_Axes, TimeLabelsThinOutOnLongRunsOfDays) {
    TimeScale scale;
    scale.lastMinute = 14 * 1440.0;
    scale.left = 0.0;
    scale.right = 1300.0;
    const std::vector<Tick> ticks = timeTicks(scale, 58.0);
    ASSERT_EQ(ticks.size(), 14u * 8u + 1u);
    int labelled = 0;
    for (const Tick& tick : ticks) labelled += tick.label.empty() ? 0 : 1;
    EXPECT_GT(labelled, 0);
    EXPECT_LE(labelled * 58.0, 1300.0 + 58.0);
    EXPECT_EQ(civilDayNumber(1970, 1, 1), 0);
    EXPECT_EQ(civilDayNumber(2004, 3, 1) - civilDayNumber(2004, 2, 28), 2);
    EXPECT_TRUE(isCalendarDate(2000, 2, 29));
    EXPECT_FALSE(isCalendarDate(1900, 2, 29));
}

}  // namespace
}  // namespace qv::plot
