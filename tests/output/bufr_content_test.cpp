// WMO BUFR reports: the settings' texts, values at the limits of their
// elements, the gate rules (a flagged or failed gate is never reported as
// valid), the report time, and the outbox against the day file. Decoding
// the files with ecCodes itself is tests/output/bufr_reports_test.py.
#include "output/bufr_content.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "output/bufr_output.h"
#include "plot/plot_test_support.h"

namespace qv {
namespace {

constexpr double M = bufr::kMissing;

const std::vector<double>& arrayOf(const BufrReport& report, const std::string& key) {
    for (const auto& [name, values] : report.arrays) {
        if (name == key) return values;
    }
    ADD_FAILURE() << "no array " << key;
    static const std::vector<double> none;
    return none;
}

TEST(BufrSettings_Text, ChoicesAreReadStrictly) {
    const struct {
        const char* text;
        bool ok;
        int block, station;
    } stations[] = {
        {"72469", true, 72, 469}, {"01000", true, 1, 0},  {"99999", true, 99, 999},
        {"00469", false, 0, 0},   {"7246", false, 0, 0},  {"724690", false, 0, 0},
        {"72a69", false, 0, 0},   {" 7246", false, 0, 0}, {"+7246", false, 0, 0},
    };
    for (const auto& c : stations) {
        WmoStation s;
        EXPECT_EQ(parseWmoStation(c.text, s), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(s, (WmoStation{c.block, c.station})) << c.text;
        }
    }
    int centre = -1;
    EXPECT_TRUE(parseBufrCentre("65534", centre));
    EXPECT_FALSE(parseBufrCentre("65535", centre));  // the missing value
}

// Rounded half away from zero on the element's scale; whatever the element
// cannot hold (its all-ones value means missing) is missing, never clipped.
TEST(BufrContent_Coding, ValuesAreCodedOrMissingAtTheElementLimits) {
    const struct {
        std::int64_t units;
        int decimals;
        BufrElement element;
        double coded;
    } cases[] = {
        {414, 2, kBufrWindComponent, 4.1},     {415, 2, kBufrWindComponent, 4.2},
        {-125, 2, kBufrWindComponent, -1.3},   {-4, 2, kBufrWindComponent, 0.0},
        {40940, 2, kBufrWindComponent, 409.4}, {40945, 2, kBufrWindComponent, M},
        {-40960, 2, kBufrWindComponent, -409.6}, {-40965, 2, kBufrWindComponent, M},
        {4094, 2, kBufrVerticalWind, 40.94},   {4095, 2, kBufrVerticalWind, M},
        {-4096, 2, kBufrVerticalWind, -40.96}, {-4097, 2, kBufrVerticalWind, M},
        {29465, 2, kBufrVirtualTemperature, 294.7}, {-5, 2, kBufrVirtualTemperature, M},
        {-1000, 0, kBufrHeight, -1000},        {-1001, 0, kBufrHeight, M},
        {130070, 0, kBufrHeight, 130070},      {130071, 0, kBufrHeight, M},
        {4001, 2, kBufrLatitude, 40.01},       {-10525, 2, kBufrLongitude, -105.25},
        {9001, 2, kBufrLatitude, 90.01},       {-9001, 2, kBufrLatitude, M},
        {1611, 0, kBufrStationHeight, 1611},   {-30, 0, kBufrTimePeriod, -30},
        {std::numeric_limits<std::int64_t>::min(), 0, kBufrHeight, M},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(bufrCoded(c.units, c.decimals, c.element), c.coded)
            << c.units << " / 10^" << c.decimals;
    }
    // Printed values: data codes and non-numbers are missing.
    EXPECT_DOUBLE_EQ(bufrPrinted(4.149f, 2, kBufrWindComponent), 4.2);  // printed 4.15
    EXPECT_DOUBLE_EQ(bufrPrinted(-0.004f, 2, kBufrVerticalWind), 0.0);  // printed -0.00
    for (const float code : {kFailedQcCode, kFailedConsensusCode, kExceededNyquistCode,
                             kFlaggedCode, kMissingCode, std::nanf(""), INFINITY}) {
        EXPECT_EQ(bufrPrinted(code, 2, kBufrWindComponent), M) << code;
    }
}

WindGate gate(int qc, float u, float v, float w) {
    WindGate g;
    g.qcCode = static_cast<std::int16_t>(qc);
    g.height = 1761.4L;
    g.u = u;
    g.v = v;
    g.w = w;
    return g;
}

TEST(BufrContent_Gates, FlaggedAndFailedGatesAreNeverValid) {
    const float nan = std::nanf("");
    const struct {
        const char* what;
        WindGate gate;
        double u, v, w, qualityUv, qualityW;
    } cases[] = {
        {"valid", gate(0, 4.14f, -1.91f, -0.02f), 4.1, -1.9, -0.02, 0, 0},
        {"suspect (7)", gate(7, 5.0f, 1.0f, 0.5f), 5.0, 1.0, 0.5, 1, 1},
        {"no vertical correction (1), w failed", gate(1, 2.0f, 3.0f, -950.0f), 2.0, 3.0, M, 1, M},
        {"passed QC (3), u and v failed", gate(3, -950.0f, -950.0f, 0.1f), M, M, 0.1, M, 1},
        {"invalid (8) with numbers", gate(8, 9.71f, 1.51f, 0.05f), M, M, M, M, M},
        {"flagged by continuity (8, -940)", gate(8, -940.0f, -940.0f, 0.2f), M, M, M, M, M},
        {"an undefined code (5)", gate(5, 1.0f, 1.0f, 1.0f), M, M, M, M, M},
        {"valid, u missing", gate(0, -999.0f, 2.0f, 0.0f), M, 2.0, 0.0, 0, 0},
        {"valid, u beyond its element", gate(0, 500.0f, 2.0f, 41.0f), M, 2.0, M, 0, M},
        {"valid, not numbers", gate(0, nan, nan, nan), M, M, M, M, M},
    };
    WindDay day = test::windDay(1, 0);
    for (const auto& c : cases) day.periods[0].gates.push_back(c.gate);
    BufrReport report;
    std::string error;
    ASSERT_TRUE(windReport(day, 0, BufrSettings{}, report, error)) << error;
    const std::vector<double>& height = arrayOf(report, "height");
    const std::vector<double>& quality = arrayOf(report, "qualityInformation");
    ASSERT_EQ(quality.size(), 2 * std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.what);
        EXPECT_EQ(height[i], 1761.0);  // a coordinate: kept on every gate
        EXPECT_DOUBLE_EQ(arrayOf(report, "u")[i], c.u);
        EXPECT_DOUBLE_EQ(arrayOf(report, "v")[i], c.v);
        EXPECT_DOUBLE_EQ(arrayOf(report, "w")[i], c.w);
        EXPECT_EQ(quality[2 * i], c.qualityUv);
        EXPECT_EQ(quality[2 * i + 1], c.qualityW);
    }
    // The station's and the gates' position: the header's, or missing when it
    // is off the globe.
    EXPECT_EQ(arrayOf(report, "latitude"), std::vector<double>(std::size(cases) + 1, 40.01));
    day.header.latitudeCenti = 9001;
    ASSERT_TRUE(windReport(day, 0, BufrSettings{}, report, error)) << error;
    EXPECT_EQ(arrayOf(report, "latitude"), std::vector<double>(std::size(cases) + 1, M));
    EXPECT_EQ(arrayOf(report, "longitude"), std::vector<double>(std::size(cases) + 1, M));
}

TEST(BufrContent_Temperature, ChosenTemperatureInKelvin) {
    const struct {
        int qc;
        float tv, tvc;
        double kelvinTvc, kelvinTv, quality;
    } cases[] = {
        {0, 21.5f, 20.0f, 293.2, 294.7, 0},  // 293.15 and 294.65 K, half up
        {7, -5.04f, -5.06f, 268.1, 268.2, 1},
        {0, 20.0f, -999.0f, M, 293.2, M},    // quality of the TvC report
        {8, 20.0f, 19.0f, M, M, M},
        {0, -300.0f, -300.0f, M, M, M},      // below 0 K: not a temperature
    };
    TemperatureDay day = test::temperatureDay(1, static_cast<int>(std::size(cases)));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        TemperatureGate& g = day.periods[0].gates[i];
        g.qcCode = static_cast<std::int16_t>(cases[i].qc);
        g.tv = cases[i].tv;
        g.tvc = cases[i].tvc;
    }
    for (const BufrTemperature which : {BufrTemperature::TvC, BufrTemperature::Tv}) {
        BufrSettings settings;
        settings.temperature = which;
        BufrReport report;
        std::string error;
        ASSERT_TRUE(temperatureReport(day, 0, settings, report, error)) << error;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const double expected =
                which == BufrTemperature::TvC ? cases[i].kelvinTvc : cases[i].kelvinTv;
            EXPECT_DOUBLE_EQ(arrayOf(report, "virtualTemperature")[i], expected) << i;
        }
        EXPECT_EQ(arrayOf(report, "qualityInformation")[2], which == BufrTemperature::Tv ? 0 : M);
    }
}

// The report's time is the end of its period, as the netCDF bounds give it.
TEST(BufrContent_Time, ReportTimeIsThePeriodEnd) {
    const struct {
        int year, month, day;
        const char* key;
        int averaging;
        bool ok;
        bufr::TypicalTime end;
    } cases[] = {
        {2004, 6, 15, "2100", 30, true, {2004, 6, 15, 21, 30, 0}},
        {2004, 6, 15, "2330", 30, true, {2004, 6, 16, 0, 0, 0}},
        {2004, 6, 15, "2345", 30, true, {2004, 6, 16, 0, 15, 0}},
        {2004, 12, 31, "2300", 60, true, {2005, 1, 1, 0, 0, 0}},
        {2004, 2, 28, "0000", 1440, true, {2004, 2, 29, 0, 0, 0}},
        {2004, 6, 15, "2460", 30, false, {}},
        {2004, 6, 15, "2100", 0, false, {}},
        {2004, 2, 30, "2100", 30, false, {}},
        {5000, 1, 1, "0000", 30, false, {}},  // beyond BUFR's years
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.averaging));
        WindDay day = test::windDay(1, 2, c.averaging);
        day.header.day = CalendarTime{static_cast<std::uint16_t>(c.year),
                                      static_cast<std::uint16_t>(c.month), 0,
                                      static_cast<std::uint16_t>(c.day)};
        std::copy(c.key, c.key + 5, day.periods[0].key);
        BufrReport report;
        std::string error;
        ASSERT_EQ(windReport(day, 0, BufrSettings{}, report, error), c.ok) << error;
        if (!c.ok) {
            EXPECT_EQ(error.rfind(std::string("period ") + c.key, 0), 0u) << error;
            continue;
        }
        const bufr::TypicalTime& t = report.time;
        EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second),
                  std::tie(c.end.year, c.end.month, c.end.day, c.end.hour, c.end.minute,
                           c.end.second));
        for (const auto& [key, value] : report.numbers) {
            if (std::string(key) == "timePeriod") {
                EXPECT_EQ(value, -c.averaging);
            } else if (std::string(key) == "minute") {
                EXPECT_EQ(value, c.end.minute);
            }
        }
    }
}

// A period's file in the outbox holds the same message as the day file, and
// only periods that end after the time given are there.
TEST(BufrOutput_Outbox, PeriodsEndingAfterTheTimeEachInAFile) {
    DayProducts products;
    products.winds.push_back(test::windDay(3, 4, 30, 21 * 60));  // 2100, 2130, 2200
    OutputContext context;
    context.folder = "box";
    const auto at = [](int hour, int minute) {
        TimeValue t = 0;
        calendarToTimeValue(CalendarTime{2004, 6, 0, 15, static_cast<std::uint16_t>(hour),
                                         static_cast<std::uint16_t>(minute)},
                            t);
        return t;
    };
    const std::vector<OutputFile> day = bufrFiles({})(products, context);
    ASSERT_EQ(day.size(), 1u);
    ASSERT_TRUE(day[0].made()) << day[0].error;
    EXPECT_EQ(day[0].path, "box/QVS_20040615_winds_m1.bufr");
    const struct {
        TimeValue after;
        std::vector<std::string> names;
    } cases[] = {
        {0, {"QVS_200406152130_winds_m1.bufr", "QVS_200406152200_winds_m1.bufr",
             "QVS_200406152230_winds_m1.bufr"}},
        {at(22, 0), {"QVS_200406152230_winds_m1.bufr"}},
        {at(22, 30), {}},
    };
    for (const auto& c : cases) {
        const std::vector<OutputFile> files = bufrOutbox({}, c.after)(products, context);
        std::vector<std::string> names;
        std::string joined;
        for (const OutputFile& f : files) {
            ASSERT_TRUE(f.made()) << f.error;
            names.push_back(f.path.substr(4));
            EXPECT_EQ(f.bytes.substr(0, 4), "BUFR");
            EXPECT_EQ(f.bytes.substr(f.bytes.size() - 4), "7777");
            joined += f.bytes;
        }
        EXPECT_EQ(names, c.names);
        if (c.after == 0) {
            EXPECT_EQ(joined, day[0].bytes);
        }
    }
    // A day without periods has no file to make.
    products.winds[0].periods.clear();
    const std::vector<OutputFile> empty = bufrFiles({})(products, context);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_FALSE(empty[0].made());
}

}  // namespace
}  // namespace qv
