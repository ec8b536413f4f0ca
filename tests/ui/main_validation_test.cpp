// The main dialog's plain rules: list entries, defaults for a given day, and
// the validation of the fields into the run's parameters.
#include "ui/main_validation.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TimeValue dateValue(int year, int month, int day) {
    CalendarTime c;
    c.year = static_cast<std::uint16_t>(year);
    c.month = static_cast<std::uint16_t>(month);
    c.day = static_cast<std::uint16_t>(day);
    TimeValue v = 0;
    EXPECT_TRUE(calendarToTimeValue(c, v));
    return v;
}

// Fields that pass every check: 3 to 5 March 2004, ASCII site "abc".
DialogFields validFields() {
    DialogFields f;
    f.begin = {2, 2, 2004 - kFirstListYear};
    f.end = {2, 4, 2004 - kFirstListYear};
    f.inputPath = "/data/in";
    f.outputPath = "/data/out";
    f.ascii = true;
    f.siteId = "abc";
    f.dataSourceIndex = 1;
    f.dataSourceText = "KOR Fuzzy Logic";
    f.averagingText = "30";
    f.winds = true;
    f.temperature = false;
    return f;
}

TEST(MainValidation_Lists, Entries) {
    const auto months = monthEntries();
    ASSERT_EQ(months.size(), 12u);
    EXPECT_EQ(months.front(), "January");
    EXPECT_EQ(months[8], "September");
    EXPECT_EQ(months.back(), "December");

    const auto days = dayEntries();
    ASSERT_EQ(days.size(), 31u);
    EXPECT_EQ(days.front(), "1");
    EXPECT_EQ(days.back(), "31");

    EXPECT_EQ(dataSourceEntries(),
              (std::vector<std::string>{"QAV", "KOR Fuzzy Logic", "Halvik MPP"}));
}

TEST(MainValidation_Lists, YearsFrom1995UpToTheCurrentYear) {
    const auto years = yearEntries(2031);
    ASSERT_EQ(years.size(), 37u);
    EXPECT_EQ(years.front(), "1995");
    EXPECT_EQ(years[26], "2021");
    EXPECT_EQ(years.back(), "2031");
    EXPECT_EQ(yearEntries(1995), (std::vector<std::string>{"1995"}));
    EXPECT_EQ(yearEntries(1990), (std::vector<std::string>{"1995"}));
}

TEST(MainValidation_Defaults, TodaysIndices) {
    CalendarTime today;
    today.year = 2031;
    today.month = 12;
    today.day = 31;
    const DateIndices d = dateIndicesFor(today);
    EXPECT_EQ(d.month, 11);
    EXPECT_EQ(d.day, 30);
    EXPECT_EQ(d.year, 36);

    today.year = 1990;
    EXPECT_EQ(dateIndicesFor(today).year, -1);
}

TEST(MainValidation_Averaging, ReadAsADecimalInteger) {
    struct Case {
        const char* text;
        std::int32_t minutes;
    };
    const Case cases[] = {
        {"30", 30}, {"  15", 15}, {"60min", 60}, {"+5", 5},  {"-5", -5},
        {"abc", 0}, {"", 0},      {"0", 0},      {"1.9", 1}, {"99999999999", 2147483647},
    };
    for (const auto& c : cases) EXPECT_EQ(parseAveragingMinutes(c.text), c.minutes) << c.text;
}

TEST(MainValidation_Run, ValidFieldsGiveTheRunParameters) {
    const RunValidation v = validateRun(validFields());
    ASSERT_TRUE(v.ok()) << v.message;
    EXPECT_EQ(v.params.beginTime, dateValue(2004, 3, 3));
    EXPECT_EQ(v.params.endTime, dateValue(2004, 3, 5));
    EXPECT_EQ(v.params.inputPath, "/data/in");
    EXPECT_EQ(v.params.outputPath, "/data/out");
    EXPECT_EQ(v.params.siteId, "abc");
    EXPECT_EQ(v.params.dataSourceText, "KOR Fuzzy Logic");
    EXPECT_EQ(v.params.outputKindText, "Winds");
    EXPECT_EQ(v.params.averagingMinutes, 30);
}

// Each case breaks one more field than the case before it; the message is
// always the one of the earliest check in the dialog's order.
TEST(MainValidation_Run, FailuresInOrder) {
    using Change = void (*)(DialogFields&);
    struct Case {
        Change change;
        const char* message;
    };
    const Case cases[] = {
        {[](DialogFields& f) { f.averagingText = "0"; },
         "Consensus averaging period must be\ngreater than zero."},
        {[](DialogFields& f) { f.siteId.clear(); }, "Invalid SiteID."},
        {[](DialogFields& f) { f.outputPath.clear(); }, "Invalid output path."},
        {[](DialogFields& f) { f.inputPath.clear(); }, "Invalid input path."},
        {[](DialogFields& f) { f.end.day = -1; }, "Invalid end day."},
        {[](DialogFields& f) { f.end.month = -1; }, "Invalid end month."},
        {[](DialogFields& f) { f.end.year = -1; }, "Invalid end year."},
        {[](DialogFields& f) { f.begin.day = -1; }, "Invalid begin day."},
        {[](DialogFields& f) { f.begin.month = -1; }, "Invalid begin month."},
        {[](DialogFields& f) { f.begin.year = -1; }, "Invalid begin year."},
    };
    DialogFields f = validFields();
    for (const auto& c : cases) {
        c.change(f);
        EXPECT_EQ(validateRun(f).message, c.message);
    }
}

TEST(MainValidation_Run, AveragingPeriodMustBePositive) {
    for (const char* text : {"0", "abc", "", "-5", "-1", " x1"}) {
        DialogFields f = validFields();
        f.averagingText = text;
        EXPECT_EQ(validateRun(f).message, "Consensus averaging period must be\ngreater than zero.")
            << text;
    }
    DialogFields f = validFields();
    f.averagingText = "15abc";
    const RunValidation v = validateRun(f);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v.params.averagingMinutes, 15);
}

TEST(MainValidation_Run, AveragingPeriodAtMostOneDayAsInTheBatchTool) {
    DialogFields f = validFields();
    f.averagingText = "1440";
    EXPECT_TRUE(validateRun(f).ok());
    for (const char* text : {"1441", "99999999999"}) {
        f.averagingText = text;
        EXPECT_EQ(validateRun(f).message,
                  "Consensus averaging period must be at most 1440 minutes (one day).")
            << text;
    }
}

TEST(MainValidation_Run, SiteIdOnlyNeededForAscii) {
    DialogFields f = validFields();
    f.ascii = false;
    f.siteId.clear();
    EXPECT_TRUE(validateRun(f).ok());

    f.siteId = "abcd";
    EXPECT_EQ(validateRun(f).message, "Please enter no more than 3 characters.");
}

TEST(MainValidation_Run, DatesThatDoNotExistAreRefused) {
    DialogFields f = validFields();
    f.begin = {1, 30, 2004 - kFirstListYear};  // 31 February 2004
    f.end = {2, 4, 2004 - kFirstListYear};
    EXPECT_EQ(validateRun(f).message, "Invalid begin day.");

    f.begin = {1, 28, 2004 - kFirstListYear};  // 29 February 2004 exists
    EXPECT_TRUE(validateRun(f).ok());

    f.end = {1, 28, 2003 - kFirstListYear};  // 29 February 2003 does not
    EXPECT_EQ(validateRun(f).message, "Invalid end day.");

    f.end = {3, 30, 2004 - kFirstListYear};  // 31 April
    EXPECT_EQ(validateRun(f).message, "Invalid end day.");
}

TEST(MainValidation_Run, BeginAfterEndIsRefused) {
    DialogFields f = validFields();
    f.begin = {2, 5, 2004 - kFirstListYear};
    EXPECT_EQ(validateRun(f).message, "Begin date must be less than or equal to end date.");

    f.end = f.begin;  // one day
    const RunValidation v = validateRun(f);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v.params.beginTime, v.params.endTime);
}

TEST(MainValidation_Run, OutputKindAndDataSource) {
    DialogFields f = validFields();
    f.winds = false;
    f.temperature = true;
    f.dataSourceIndex = 2;
    f.dataSourceText = "Halvik MPP";
    RunValidation v = validateRun(f);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v.params.outputKindText, "Temperature");
    EXPECT_EQ(v.params.dataSourceText, "Halvik MPP");

    f.temperature = false;
    f.dataSourceIndex = -1;
    v = validateRun(f);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v.params.outputKindText, "");
    EXPECT_EQ(v.params.dataSourceText, "");
}

// Each output check box asks for its own output only.
TEST(MainValidation_Run, OutputCheckBoxesGiveTheirOutputs) {
    for (const auto& [netcdf, bufr] : {std::pair{false, false}, std::pair{true, false},
                                       std::pair{false, true}, std::pair{true, true}}) {
        DialogFields f = validFields();
        f.netcdf = netcdf;
        f.bufr = bufr;
        const RunValidation v = validateRun(f);
        ASSERT_TRUE(v.ok());
        EXPECT_EQ(v.outputs.netcdf, netcdf);
        EXPECT_EQ(v.outputs.bufr, bufr);
        EXPECT_TRUE(v.outputs.bufrOutboxFolder.empty());
    }
}

TEST(MainValidation_Run, YearIndexCountsFrom1995) {
    DialogFields f = validFields();
    f.begin = {0, 0, 26};
    f.end = {0, 0, 26};
    const RunValidation v = validateRun(f);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v.params.beginTime, dateValue(2021, 1, 1));
}

}  // namespace
}  // namespace qv
