// Per-beam settings CSV and the batch tool's settings review.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "core/settings_csv.h"

namespace qv::test {
namespace {


// A settings table that owns its rows.
struct Table {
    std::vector<std::unique_ptr<BeamSetting>> rows;
    RecordList<BeamSetting> list;

    BeamSetting& add(std::int32_t azimuth, float elevation, std::int32_t pulseWidth,
                     std::int32_t rass, float window = 0.0f, std::int32_t percent = 0) {
        auto s = std::make_unique<BeamSetting>();
        s->azimuth = azimuth;
        s->elevation = elevation;
        s->pulseWidth = pulseWidth;
        s->rassFlag = rass;
        s->consensusWindow = window;
        s->consensusPercent = percent;
        list.append(s.get());
        rows.push_back(std::move(s));
        return *rows.back();
    }
};

std::vector<SettingsRow> readOk(const std::string& text) {
    std::istringstream in(text);
    std::vector<SettingsRow> rows;
    std::string error;
    EXPECT_TRUE(readSettingsCsv(in, "s.csv", rows, error)) << error;
    return rows;
}

std::string readError(const std::string& text) {
    std::istringstream in(text);
    std::vector<SettingsRow> rows;
    std::string error;
    EXPECT_FALSE(readSettingsCsv(in, "s.csv", rows, error));
    return error;
}

TEST(SettingsCsv, WritesTheTableInOrderWithEmptyFieldsForMissingValues) {
    Table t;
    t.add(0, 66.4f, 700, 0, 2.0f, 50);
    t.add(-90, 89.99f, 1400, 0, 1.234f, 0);
    t.add(0, 9000.0f, 700, 1, 0.0f, 60);
    t.add(180, 90.0f, 700, 2, -1.0f, -5);
    std::ostringstream out;
    writeSettingsCsv(out, t.list);
    EXPECT_EQ(out.str(),
              "azimuth,elevation,pulse_width,rass,window,threshold\n"
              "0,66.4,700,0,2,50\n"
              "-90,89.99,1400,0,1.234,\n"
              "0,9000,700,1,,60\n"
              "180,90,700,2,,\n");
}

TEST(SettingsCsv, RoundTripKeepsEveryFloatExactly) {
    Table t;
    const float awkward[] = {66.4f, 75.0f, 89.99f, 0.1f, 1e-7f, 123456.79f, 16777217.0f};
    for (const float e : awkward) t.add(45, e, 700, 0, e, 33);
    std::ostringstream out;
    writeSettingsCsv(out, t.list);
    const std::vector<SettingsRow> rows = readOk(out.str());
    ASSERT_EQ(rows.size(), std::size(awkward));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].elevation, awkward[i]);
        ASSERT_TRUE(rows[i].window.has_value());
        EXPECT_EQ(*rows[i].window, awkward[i]);
        EXPECT_EQ(*rows[i].threshold, 33);
        EXPECT_EQ(rows[i].azimuth, 45);
        EXPECT_EQ(rows[i].pulseWidth, 700);
    }
}

TEST(SettingsCsv, ReadsCommentsBlankLinesHeadingsSpacesAndCrLf) {
    const std::vector<SettingsRow> rows = readOk(
        "# sample site\r\n"
        "\r\n"
        "Azimuth, Elevation, Pulse_Width, RASS, Window, Threshold\r\n"
        " 90 , 66.4 , 700 , OFF , 2.5 , 50 \r\n"
        "0,90,700,on,,\r\n"
        "180,66.4,700,1,+1.5,+40\n");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].azimuth, 90);
    EXPECT_EQ(rows[0].elevation, 66.4f);
    EXPECT_EQ(rows[0].rassFlag, 0);
    EXPECT_EQ(*rows[0].window, 2.5f);
    EXPECT_EQ(*rows[0].threshold, 50);
    EXPECT_EQ(rows[0].line, 4);
    EXPECT_EQ(rows[1].rassFlag, 1);
    EXPECT_FALSE(rows[1].window.has_value());
    EXPECT_FALSE(rows[1].threshold.has_value());
    EXPECT_EQ(*rows[2].window, 1.5f);
    EXPECT_EQ(*rows[2].threshold, 40);
}

struct BadLine {
    const char* name;
    std::string text;
    const char* error;
};

void PrintTo(const BadLine& c, std::ostream* os) { *os << c.name; }

class SettingsCsvMalformed : public ::testing::TestWithParam<BadLine> {};

TEST_P(SettingsCsvMalformed, NamesTheLineAndTheFault) {
    EXPECT_EQ(readError(GetParam().text), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SettingsCsvMalformed,
    ::testing::Values(
        BadLine{"TooFewFields", "0,66.4,700\n",
                "s.csv:1: expected 6 fields "
                "(azimuth,elevation,pulse_width,rass,window,threshold), found 3."},
        BadLine{"TooManyFields", "azimuth\n0,66.4,700,0,2,50,9\n",
                "s.csv:2: expected 6 fields "
                "(azimuth,elevation,pulse_width,rass,window,threshold), found 7."},
        BadLine{"SemicolonSeparated", "0;66.4;700;0;2;50\n",
                "s.csv:1: expected 6 fields "
                "(azimuth,elevation,pulse_width,rass,window,threshold), found 1."},
        BadLine{"AzimuthText", "north,66.4,700,0,2,50\n",
                "s.csv:1: azimuth 'north' is not a whole number."},
        BadLine{"AzimuthHuge", "99999999999,66.4,700,0,2,50\n",
                "s.csv:1: azimuth '99999999999' is not a whole number."},
        BadLine{"ElevationEmpty", "0,,700,0,2,50\n", "s.csv:1: elevation '' is not a number."},
        BadLine{"ElevationNan", "0,nan,700,0,2,50\n", "s.csv:1: elevation 'nan' is not a number."},
        BadLine{"ElevationInfinite", "0,1e99,700,0,2,50\n",
                "s.csv:1: elevation '1e99' is not a number."},
        BadLine{"PulseWidthFraction", "0,66.4,700.5,0,2,50\n",
                "s.csv:1: pulse_width '700.5' is not a whole number."},
        BadLine{"RassWord", "0,66.4,700,maybe,2,50\n",
                "s.csv:1: rass 'maybe' must be 0, 1, OFF or ON."},
        BadLine{"WindowText", "0,66.4,700,0,wide,50\n", "s.csv:1: window 'wide' is not a number."},
        BadLine{"WindowZero", "0,66.4,700,0,0,50\n",
                "s.csv:1: The consensus window must be greater than zero."},
        BadLine{"WindowNegative", "0,66.4,700,0,-1,50\n",
                "s.csv:1: The consensus window must be greater than zero."},
        BadLine{"ThresholdFraction", "0,66.4,700,0,2,50.7\n",
                "s.csv:1: threshold '50.7' is not a whole number."},
        BadLine{"ThresholdNegative", "0,66.4,700,0,2,-5\n",
                "s.csv:1: The consensus threshold must be greater than zero."},
        BadLine{"SameBeamTwice", "0,66.4,700,0,2,50\n# again\n0,66.40,700,OFF,3,60\n",
                "s.csv:3: the same beam as line 1."},
        BadLine{"ControlCharacters", std::string("0,66.4,700,0,2,5\0\x01\x7f", 19) + "\n",
                "s.csv:1: threshold '5" "??" "?' is not a whole number."},
        BadLine{"LongGarbage", std::string(200000, 'x') + ",1,1,1,1,1\n",
                "s.csv:1: azimuth "
                "'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...' is not a whole number."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsReview, SettingsRowsFirstThenDefaultsByBeamKind) {
    Table t;
    BeamSetting& listed = t.add(0, 66.4f, 700, 0);
    BeamSetting& halfListed = t.add(90, 66.4f, 700, 0);
    BeamSetting& radar = t.add(0, 90.0f, 700, 0);
    BeamSetting& rass = t.add(0, 90.0f, 700, 1);
    const std::vector<SettingsRow> rows =
        readOk("0,66.4,700,0,3.5,70\n90,66.4,700,0,,80\n0,66.4,1400,0,9,9\n");
    ReviewDefaults d;
    d.window = 2.0f;
    d.threshold = 50;
    d.rassWindow = 1.5f;
    const auto missing = reviewTable(t.list, rows, d);
    EXPECT_TRUE(missing.empty());
    EXPECT_EQ(listed.consensusWindow, 3.5f);
    EXPECT_EQ(listed.consensusPercent, 70);
    EXPECT_EQ(halfListed.consensusWindow, 2.0f);  // default fills what the row left empty
    EXPECT_EQ(halfListed.consensusPercent, 80);
    EXPECT_EQ(radar.consensusWindow, 2.0f);
    EXPECT_EQ(radar.consensusPercent, 50);
    EXPECT_EQ(rass.consensusWindow, 1.5f);  // RASS window
    EXPECT_EQ(rass.consensusPercent, 50);   // no RASS threshold: the radar one
}

TEST(SettingsReview, MatchesTheExactElevationAndRassFlag) {
    Table t;
    BeamSetting& a = t.add(0, 66.4f, 700, 0);
    BeamSetting& b = t.add(0, 66.40001f, 700, 0);
    BeamSetting& c = t.add(0, 66.4f, 700, 1);
    const auto missing = reviewTable(t.list, readOk("0,66.4,700,0,2,50\n"), {});
    EXPECT_EQ(a.consensusWindow, 2.0f);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(missing[0], &b);
    EXPECT_EQ(missing[1], &c);
}

TEST(SettingsReview, NamesEveryBeamStillLackingAValue) {
    Table t;
    t.add(0, 66.4f, 700, 0);
    t.add(0, 90.0f, 700, 1);
    t.add(90, 66.4f, 1400, 0, 2.0f, 0);
    ReviewDefaults d;
    d.threshold = 50;  // radar threshold only; RASS takes it too
    const auto missing = reviewTable(t.list, {}, d);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(describeMissingBeam(*missing[0]),
              "azimuth 0, elevation 66.4, pulse width 700 ns, RASS OFF: no window");
    EXPECT_EQ(describeMissingBeam(*missing[1]),
              "azimuth 0, elevation 90, pulse width 700 ns, RASS ON: no window");
    Table u;
    u.add(270, 75.0f, 350, 0);
    u.add(270, 75.0f, 350, 1, 1.0f, 0);
    const auto none = reviewTable(u.list, {}, {});
    ASSERT_EQ(none.size(), 2u);
    EXPECT_EQ(describeMissingBeam(*none[0]),
              "azimuth 270, elevation 75, pulse width 350 ns, RASS OFF: no window, no threshold");
    EXPECT_EQ(describeMissingBeam(*none[1]),
              "azimuth 270, elevation 75, pulse width 350 ns, RASS ON: no threshold");
}

TEST(SettingsReview, KeepsValuesAlreadyInTheTable) {
    Table t;
    BeamSetting& s = t.add(0, 66.4f, 700, 0, 4.0f, 70);
    ReviewDefaults d;
    d.window = 2.0f;
    d.threshold = 50;
    EXPECT_TRUE(reviewTable(t.list, {}, d).empty());
    EXPECT_EQ(s.consensusWindow, 4.0f);
    EXPECT_EQ(s.consensusPercent, 70);
}

TEST(SettingsTableLines, ShowTheReviewListColumns) {
    Table t;
    t.add(0, 66.4f, 700, 0, 2.0f, 50);
    t.add(-5, 9000.0f, 1400, 1, -1.0f, -5);
    const auto lines = settingsTableLines(t.list);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Azimuth  Elevation  PulseWidth  CnsWindow  CnsPercent  RASS");
    EXPECT_EQ(lines[1], "0        66.40      700         2.00       50          OFF");
    EXPECT_EQ(lines[2], "-5       90.00      1400                   -5          ON");
}

}  // namespace
}  // namespace qv::test
