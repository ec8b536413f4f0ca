// Per-beam settings CSV and the batch tool's settings review.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
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
                "s.csv:1: window '0' is out of range (greater than 0)."},
        BadLine{"WindowNegative", "0,66.4,700,0,-1,50\n",
                "s.csv:1: window '-1' is out of range (greater than 0)."},
        BadLine{"ThresholdFraction", "0,66.4,700,0,2,50.7\n",
                "s.csv:1: threshold '50.7' is not a whole number."},
        BadLine{"ThresholdNegative", "0,66.4,700,0,2,-5\n",
                "s.csv:1: threshold '-5' is out of range (1 to 100 %)."},
        BadLine{"SameBeamTwice", "0,66.4,700,0,2,50\n# again\n0,66.40,700,OFF,3,60\n",
                "s.csv:3: the same beam as line 1."},
        BadLine{"ControlCharacters", std::string("0,66.4,700,0,2,5\0\x01\x7f", 19) + "\n",
                "s.csv:1: threshold '5" "??" "?' is not a whole number."},
        BadLine{"LongGarbage", std::string(200000, 'x') + ",1,1,1,1,1\n",
                "s.csv:1: azimuth "
                "'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...' is not a whole number."}),
    [](const auto& info) { return std::string(info.param.name); });

// Window and threshold at and beyond the edges of their ranges, on the
// third line of a file (a good row and a comment before it).
TEST(SettingsCsv, WindowAndThresholdOutOfRangeAreRefusedWithTheLine) {
    struct Case {
        const char* window;
        const char* threshold;
        const char* error;  // empty: the row is read with these values
        float readWindow;
        std::int32_t readThreshold;
    };
    const Case cases[] = {
        {"2", "1", "", 2.0f, 1},
        {"2", "100", "", 2.0f, 100},
        {"1e-30", "50", "", 1e-30f, 50},
        {"3.4e38", "50", "", 3.4e38f, 50},
        {"2", "0", "s.csv:3: threshold '0' is out of range (1 to 100 %).", 0, 0},
        {"2", "101", "s.csv:3: threshold '101' is out of range (1 to 100 %).", 0, 0},
        {"2", "150", "s.csv:3: threshold '150' is out of range (1 to 100 %).", 0, 0},
        {"2", "-1", "s.csv:3: threshold '-1' is out of range (1 to 100 %).", 0, 0},
        {"0", "50", "s.csv:3: window '0' is out of range (greater than 0).", 0, 0},
        {"-0", "50", "s.csv:3: window '-0' is out of range (greater than 0).", 0, 0},
        {"-2.5", "50", "s.csv:3: window '-2.5' is out of range (greater than 0).", 0, 0},
        {"nan", "50", "s.csv:3: window 'nan' is not a number.", 0, 0},
        {"inf", "50", "s.csv:3: window 'inf' is not a number.", 0, 0},
        {"1e39", "50", "s.csv:3: window '1e39' is not a number.", 0, 0},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("45,66.4,700,0,2,50\n# next\n0,90,700,0,") + c.window +
                                 "," + c.threshold + "\n";
        if (*c.error != '\0') {
            EXPECT_EQ(readError(text), c.error);
            continue;
        }
        const std::vector<SettingsRow> rows = readOk(text);
        ASSERT_EQ(rows.size(), 2u) << text;
        EXPECT_EQ(*rows[1].window, c.readWindow) << text;
        EXPECT_EQ(*rows[1].threshold, c.readThreshold) << text;
    }
}

TEST(SettingsCsv, SkipsAByteOrderMarkAtTheVeryStart) {
    const std::vector<SettingsRow> rows =
        readOk("\xEF\xBB\xBF" "azimuth,elevation,pulse_width,rass,window,threshold\r\n"
               "90,66.4,700,0,2,50\r\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].azimuth, 90);
    EXPECT_EQ(rows[0].line, 2);
    // Without a heading the first row itself follows the mark.
    const std::vector<SettingsRow> bare = readOk("\xEF\xBB\xBF" "45,75,1400,1,1.5,40\n");
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_EQ(bare[0].azimuth, 45);
    EXPECT_EQ(bare[0].rassFlag, 1);
    EXPECT_EQ(bare[0].line, 1);
    // Only at the very start: elsewhere it is part of the field.
    EXPECT_EQ(readError("90,66.4,700,0,2,50\n\xEF\xBB\xBF" "0,90,700,0,2,50\n"),
              "s.csv:2: azimuth '???0' is not a whole number.");
    EXPECT_EQ(readError("\xEF\xBB\xBF\xEF\xBB\xBF" "0,90,700,0,2,50\n"),
              "s.csv:1: azimuth '???0' is not a whole number.");
}

TEST(SettingsUnmatched, NamesRowsWithoutABeamAndTheNearestElevation) {
    Table t;
    t.add(90, 66.4f, 700, 0);
    t.add(90, 75.0f, 700, 0);
    t.add(0, 90.0f, 700, 1);
    t.add(180, 66.40001f, 1400, 0);
    const std::vector<SettingsRow> rows = readOk(
        "azimuth,elevation,pulse_width,rass,window,threshold\n"
        "90,66.4,700,0,2,50\n"        // matches
        "90,66.5,700,0,2,50\n"        // nearest 66.4, not 75
        "90,74,700,0,2,50\n"          // nearest 75
        "0,90,700,0,2,50\n"           // RASS flag differs: no nearest of that kind
        "0,90,700,2,2,50\n"           // neither does flag 2
        "270,66.4,700,0,2,50\n"       // no beam of that azimuth
        "180,66.4,1400,0,2,50\n"      // exact elevation only
        "0,90,700,1,1,50\n");         // matches
    const std::vector<std::string> texts = unmatchedSettingsRows(t.list, rows, "settings.csv");
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0], "settings.csv, line 3: azimuth 90, elevation 66.5, pulse width 700 ns, "
                        "RASS OFF matches no beam (nearest: elevation 66.4)");
    EXPECT_EQ(texts[1], "settings.csv, line 4: azimuth 90, elevation 74, pulse width 700 ns, "
                        "RASS OFF matches no beam (nearest: elevation 75)");
    EXPECT_EQ(texts[2], "settings.csv, line 5: azimuth 0, elevation 90, pulse width 700 ns, "
                        "RASS OFF matches no beam");
    EXPECT_EQ(texts[3], "settings.csv, line 6: azimuth 0, elevation 90, pulse width 700 ns, "
                        "RASS 2 matches no beam");
    EXPECT_EQ(texts[4], "settings.csv, line 7: azimuth 270, elevation 66.4, pulse width 700 ns, "
                        "RASS OFF matches no beam");
    EXPECT_EQ(texts[5], "settings.csv, line 8: azimuth 180, elevation 66.4, pulse width 1400 ns, "
                        "RASS OFF matches no beam (nearest: elevation 66.40001)");
}

TEST(SettingsUnmatched, ComparesElevationsInHundredthsAsShownAndKeepsTableOrderOnTies) {
    Table t;
    t.add(0, 9000.0f, 700, 1);  // 90.00 degrees in hundredths
    t.add(0, 45.0f, 700, 1);
    t.add(5, 66.0f, 700, 0);
    t.add(5, 67.0f, 700, 0);
    SettingsRow vertical;
    vertical.elevation = 89.0f;
    vertical.pulseWidth = 700;
    vertical.rassFlag = 1;
    vertical.line = 2;
    SettingsRow tie;
    tie.azimuth = 5;
    tie.elevation = 66.5f;
    tie.pulseWidth = 700;
    tie.line = 0;  // not read from a file
    const auto texts = unmatchedSettingsRows(t.list, {vertical, tie}, "my.csv");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "my.csv, line 2: azimuth 0, elevation 89, pulse width 700 ns, RASS ON "
                        "matches no beam (nearest: elevation 9000)");
    EXPECT_EQ(texts[1], "my.csv: azimuth 5, elevation 66.5, pulse width 700 ns, RASS OFF matches "
                        "no beam (nearest: elevation 66)");
    EXPECT_TRUE(unmatchedSettingsRows(t.list, {}, "my.csv").empty());
}

class MomentFileGuard : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("qv_settings_target_") + info->name() + "_" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string file(const std::string& name, const std::string& contents) const {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }
    std::filesystem::path dir_;
};

TEST_F(MomentFileGuard, MomentFileNamesAreRefusedWhetherTheyExistOrNot) {
    for (const char* name : {"d04167a.raw", "d04167a.rat", "D04167A.MOM", "d04167a.Spc"}) {
        EXPECT_TRUE(looksLikeMomentFile((dir_ / name).string())) << name;
        EXPECT_TRUE(looksLikeMomentFile(file(name, kSettingsHeader + std::string("\n")))) << name;
    }
    EXPECT_TRUE(looksLikeMomentFile("d04167a.raw"));  // no folder part
    EXPECT_FALSE(looksLikeMomentFile((dir_ / "raw").string()));
    EXPECT_FALSE(looksLikeMomentFile((dir_ / "settings.raw.csv").string()));
    EXPECT_FALSE(looksLikeMomentFile((dir_ / "new.csv").string()));  // does not exist yet
}

TEST_F(MomentFileGuard, ExistingSettingsFilesMayBeOverwritten) {
    EXPECT_FALSE(looksLikeMomentFile(file("a.csv", "azimuth,elevation,pulse_width,rass,window,threshold\n")));
    EXPECT_FALSE(looksLikeMomentFile(file("b.csv", "\xEF\xBB\xBF# site\r\n\r\n  Azimuth, Elevation\n")));
    EXPECT_FALSE(looksLikeMomentFile(file("c.csv", "\n# no heading\n90,66.4,700,OFF,,\n")));
    EXPECT_FALSE(looksLikeMomentFile(file("d.csv", "0,90,700,1,1.5,40")));  // no final newline
    EXPECT_FALSE(looksLikeMomentFile(file("empty.csv", "")));
    EXPECT_FALSE(looksLikeMomentFile(file("comments.csv", "# only\n\n# comments\n")));
    EXPECT_FALSE(looksLikeMomentFile(dir_.string()));  // a folder: writing it fails anyway
}

TEST_F(MomentFileGuard, ExistingFilesThatAreNotSettingsAreRefused) {
    // The first lines of an ASCII moment file, under a name without its extension.
    EXPECT_TRUE(looksLikeMomentFile(file("day", "QVS 2004 167 profiler\n1 90.0 0 4 167 12 0 0\n")));
    EXPECT_TRUE(looksLikeMomentFile(file("bin.csv", std::string("\x7f" "KRX\0\0\x01\x02", 8))));
    EXPECT_TRUE(looksLikeMomentFile(file("row.csv", "# a bad row first\n0,66.4,700,0,0,50\n")));
    EXPECT_TRUE(looksLikeMomentFile(file("short.csv", "0,66.4,700\n")));
    EXPECT_TRUE(looksLikeMomentFile(file("notes.txt", "azimuths are in degrees\n")));
    // A first line longer than what is looked at is no settings row.
    EXPECT_TRUE(looksLikeMomentFile(file("long.csv", std::string(70000, '1') + ",1,1,1,1,1\n")));
    // Comments beyond what is looked at: cannot tell.
    std::string comments;
    while (comments.size() < 70000) comments += "# filler comment line\n";
    EXPECT_TRUE(looksLikeMomentFile(file("comments.csv", comments + "0,90,700,0,2,50\n")));
}

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
