// The plain rules of the consensus settings dialogs: row texts, elevation
// display, forced edits, the "%f"/"%d" reading of typed text, and the
// store-then-validate of OK.
#include "ui/settings_logic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qv {
namespace {

BeamSetting makeRow(std::int32_t azimuth, float elevation, std::int32_t pulseWidth, float window,
                    std::int32_t percent, std::int32_t rass) {
    BeamSetting s;
    s.azimuth = azimuth;
    s.elevation = elevation;
    s.pulseWidth = pulseWidth;
    s.consensusWindow = window;
    s.consensusPercent = percent;
    s.rassFlag = rass;
    return s;
}

TEST(SettingsLogic_Columns, HeadingsAndWidthsInOrder) {
    const char* headings[] = {"Azimuth",   "Elevation",  "PulseWidth",
                              "CnsWindow", "CnsPercent", "RASS"};
    const int widths[] = {60, 60, 70, 70, 70, 76};
    for (std::size_t i = 0; i < kSettingsColumns.size(); ++i) {
        EXPECT_STREQ(kSettingsColumns[i].heading, headings[i]);
        EXPECT_EQ(kSettingsColumns[i].width, widths[i]);
    }
}

struct ElevationCase {
    float stored;
    const char* listText;
    const char* editText;
};

TEST(SettingsLogic_Elevation, ListAndEditTextsFollowTheDisplayRule) {
    const ElevationCase cases[] = {
        {90.0f, "90.00", "90.000000"},   {66.4f, "66.40", "66.400002"},
        {9000.0f, "90.00", "89.999998"}, {6640.0f, "66.40", "66.399999"},
        {89.99f, "89.99", "89.989998"},  {90.01f, "0.90", "0.900100"},
        {-5.0f, "-5.00", "-5.000000"},
    };
    for (const auto& c : cases) {
        const BeamSetting row = makeRow(0, c.stored, 700, 1.0f, 50, 0);
        EXPECT_EQ(settingsRowTexts(row)[1], c.listText) << c.stored;
        EXPECT_EQ(editFieldTexts(row).elevation, c.editText) << c.stored;
    }
}

TEST(SettingsLogic_Rows, SixTextsOfARow) {
    using Texts = std::array<std::string, 6>;
    struct Case {
        BeamSetting row;
        Texts texts;
    };
    const Case cases[] = {
        {makeRow(45, 66.4f, 700, 2.5f, 60, 0), Texts{"45", "66.40", "700", "2.50", "60", "OFF"}},
        {makeRow(0, 90.0f, 3300, 1.234f, 50, 1), Texts{"0", "90.00", "3300", "1.23", "50", "ON"}},
        // A new row: window and percent 0 give empty cells.
        {makeRow(315, 9000.0f, 700, 0.0f, 0, 0), Texts{"315", "90.00", "700", "", "", "OFF"}},
        // A negative threshold is shown; a negative window is not.
        {makeRow(-45, 75.0f, 400, -1.0f, -5, 0), Texts{"-45", "75.00", "400", "", "-5", "OFF"}},
        {makeRow(180, 75.0f, 400, 3.0f, 0, 7), Texts{"180", "75.00", "400", "3.00", "", "ON"}},
    };
    for (const auto& c : cases) EXPECT_EQ(settingsRowTexts(c.row), c.texts);
}

TEST(SettingsLogic_Rows, NaNWindowShowsEmptyCell) {
    const BeamSetting row = makeRow(0, 90.0f, 700, std::numeric_limits<float>::quiet_NaN(), 10, 0);
    EXPECT_EQ(settingsRowTexts(row)[3], "");
}

TEST(SettingsLogic_EditFields, TextsAndUnit) {
    const EditFieldTexts radar = editFieldTexts(makeRow(45, 66.4f, 700, 1.234f, 60, 0));
    EXPECT_EQ(radar.window, "1.23");
    EXPECT_EQ(radar.threshold, "60");
    EXPECT_EQ(radar.azimuth, "45");
    EXPECT_EQ(radar.elevation, "66.400002");
    EXPECT_EQ(radar.pulseWidth, "700");
    EXPECT_EQ(radar.windowUnit, "m/s");

    const EditFieldTexts rass = editFieldTexts(makeRow(0, 90.0f, 3300, 0.0f, 0, 1));
    EXPECT_EQ(rass.window, "0.00");
    EXPECT_EQ(rass.threshold, "0");
    EXPECT_EQ(rass.windowUnit, "C");
}

TEST(SettingsLogic_ForcedEdit, OnlyRowsWithBothValuesInRangeAreSkipped) {
    struct Case {
        float window;
        std::int32_t percent;
        bool forced;
    };
    const Case cases[] = {
        {1.0f, 50, false},
        {0.0f, 0, true},
        {0.0f, 50, true},
        {1.0f, 0, true},
        {-1.0f, 50, true},
        {1.0f, -5, true},
        {std::numeric_limits<float>::quiet_NaN(), 50, true},
        {0.01f, 1, false},
        {1.0f, 100, false},
        {1.0f, 101, true},
        {1.0f, 150, true},
        {std::numeric_limits<float>::infinity(), 50, true},
        {std::numeric_limits<float>::max(), 50, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(needsForcedEdit(makeRow(0, 90.0f, 700, c.window, c.percent, 0)), c.forced)
            << c.window << " " << c.percent;
    }
}

TEST(SettingsLogic_ParseFloat, LongestValidPrefix) {
    struct Case {
        const char* text;
        bool read;
        float value;
    };
    const Case cases[] = {
        {"2.5", true, 2.5f},   {"2.5abc", true, 2.5f},  {"  \t3", true, 3.0f},
        {"+1.5", true, 1.5f},  {"-0.75", true, -0.75f}, {".5", true, 0.5f},
        {"5.", true, 5.0f},    {"1e2", true, 100.0f},   {"1e", true, 1.0f},
        {"1e+", true, 1.0f},   {"2E-1x", true, 0.2f},   {"0x10", true, 16.0f},
        {"0x", true, 0.0f},    {"0xg", true, 0.0f},     {"1.2.3", true, 1.2f},
        {"66.4", true, 66.4f}, {"1,5", true, 1.0f},     {"abc", false, 0.0f},
        {"", false, 0.0f},     {"   ", false, 0.0f},    {".", false, 0.0f},
        {"-", false, 0.0f},    {"+-1", false, 0.0f},    {"e5", false, 0.0f},
        {"- 1", false, 0.0f},
    };
    for (const auto& c : cases) {
        float value = 42.0f;
        EXPECT_EQ(parseFloatField(c.text, value), c.read) << c.text;
        EXPECT_EQ(value, c.read ? c.value : 42.0f) << c.text;
    }
}

TEST(SettingsLogic_ParseFloat, SpecialValuesAndRange) {
    float value = 0.0f;
    ASSERT_TRUE(parseFloatField("inf", value));
    EXPECT_TRUE(std::isinf(value) && value > 0);
    ASSERT_TRUE(parseFloatField("-Infinity", value));
    EXPECT_TRUE(std::isinf(value) && value < 0);
    ASSERT_TRUE(parseFloatField("nan", value));
    EXPECT_TRUE(std::isnan(value));
    ASSERT_TRUE(parseFloatField("1e60", value));
    EXPECT_TRUE(std::isinf(value) && value > 0);
    ASSERT_TRUE(parseFloatField("-1e60", value));
    EXPECT_TRUE(std::isinf(value) && value < 0);
    ASSERT_TRUE(parseFloatField("1e-60", value));
    EXPECT_EQ(value, 0.0f);
}

TEST(SettingsLogic_ParseFloat, ReadsAtMost299Characters) {
    std::string text(298, ' ');
    text += "7";
    float value = 0.0f;
    EXPECT_TRUE(parseFloatField(text, value));
    EXPECT_EQ(value, 7.0f);
    text.insert(0, " ");  // the digit is now the 300th character
    value = 0.0f;
    EXPECT_FALSE(parseFloatField(text, value));
}

TEST(SettingsLogic_ParseInt, DigitsUpToTheFirstOtherCharacter) {
    struct Case {
        const char* text;
        bool read;
        std::int32_t value;
    };
    const Case cases[] = {
        {"50", true, 50},
        {"50.7", true, 50},
        {" 12abc", true, 12},
        {"+7", true, 7},
        {"-5", true, -5},
        {"007", true, 7},
        {"2147483647", true, 2147483647},
        {"2147483648", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"-99999999999999", true, -2147483647 - 1},
        {"abc", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"+ 5", false, 0},
        {".5", false, 0},
        {"--5", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t value = 42;
        EXPECT_EQ(parseIntField(c.text, value), c.read) << c.text;
        EXPECT_EQ(value, c.read ? c.value : 42) << c.text;
    }
}

TEST(SettingsLogic_Store, ValuesAreStoredBeforeTheyAreJudged) {
    struct Case {
        float window;
        std::int32_t percent;
        const char* windowText;
        const char* thresholdText;
        std::string message;
        float storedWindow;
        std::int32_t storedPercent;
    };
    const Case cases[] = {
        {0.0f, 0, "2.5", "50", "", 2.5f, 50},
        {0.0f, 0, "0", "50", kWindowNotPositive, 0.0f, 50},
        {3.0f, 40, "0", "50", kWindowNotPositive, 0.0f, 50},
        {3.0f, 40, "-1", "-5", kWindowNotPositive, -1.0f, -5},
        {3.0f, 40, "2", "0", kThresholdOutOfRange, 2.0f, 0},
        {3.0f, 40, "2.5abc", "abc", "", 2.5f, 40},
        {3.0f, 40, "abc", "", "", 3.0f, 40},
        {0.0f, 0, "abc", "60", kWindowNotPositive, 0.0f, 60},
        {1.5f, 0, "", "x", kThresholdOutOfRange, 1.5f, 0},
        {3.0f, 40, "1", "50.7", "", 1.0f, 50},
        // Window and threshold both bad: the window is judged first.
        {0.0f, 0, "0", "0", kWindowNotPositive, 0.0f, 0},
    };
    for (const auto& c : cases) {
        BeamSetting row = makeRow(45, 66.4f, 700, c.window, c.percent, 0);
        EXPECT_EQ(storeAndValidateEdit(row, c.windowText, c.thresholdText), c.message)
            << c.windowText << " / " << c.thresholdText;
        EXPECT_EQ(row.consensusWindow, c.storedWindow) << c.windowText;
        EXPECT_EQ(row.consensusPercent, c.storedPercent) << c.thresholdText;
        // The beam identity is never written back.
        EXPECT_EQ(row.azimuth, 45);
        EXPECT_EQ(row.elevation, 66.4f);
        EXPECT_EQ(row.pulseWidth, 700);
    }
}

TEST(SettingsLogic_Store, OkWithoutChangeRoundsTheWindowToTwoDecimals) {
    BeamSetting row = makeRow(0, 90.0f, 700, 1.234f, 50, 0);
    const EditFieldTexts shown = editFieldTexts(row);
    EXPECT_EQ(storeAndValidateEdit(row, shown.window, shown.threshold), "");
    EXPECT_EQ(row.consensusWindow, 1.23f);
    EXPECT_EQ(row.consensusPercent, 50);
}

}  // namespace
}  // namespace qv
