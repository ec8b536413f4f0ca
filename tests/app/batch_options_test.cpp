// The batch tool's command line: the dialog's checks in the dialog's order
// and texts, the tool's own messages for malformed options, exit status 2.
#include <gtest/gtest.h>

#include "app/batch/options.h"
#include "tests/app/batch_test_support.h"

namespace qv::test {
namespace {

using Args = std::vector<std::string>;

// Everything valid for a binary run; cases replace or drop options.
Args validArgs() {
    return {"--begin", "2004-06-15", "--end", "2004-06-16", "--input", "in", "--output", "out",
            "--minutes", "30"};
}

Args without(Args args, const std::string& option) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == option) {
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i + 2));
            break;
        }
    }
    return args;
}

Args with(Args args, const std::string& option, const std::string& value) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == option) {
            args[i + 1] = value;
            return args;
        }
    }
    args.push_back(option);
    args.push_back(value);
    return args;
}

struct MessageCase {
    const char* name;
    Args args;
    const char* message;  // the whole of stderr
};

void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.name; }

class BatchValidation : public ::testing::TestWithParam<MessageCase> {};

TEST_P(BatchValidation, PrintsTheMessageAndExitsWithTwo) {
    const MessageCase& c = GetParam();
    const BatchRun run = runTool(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, std::string(c.message) + "\n");
    EXPECT_EQ(run.out, "");
}

const Args kValid = validArgs();

// The dialog's checks, each case failing exactly one (or, for the order
// cases, several: the earlier check's text wins).
INSTANTIATE_TEST_SUITE_P(
    DialogOrder, BatchValidation,
    ::testing::Values(
        MessageCase{"NoArguments", {}, "--begin is missing: the first day to process, YYYY-MM-DD."},
        MessageCase{"BeginMissing", without(kValid, "--begin"), "--begin is missing: the first day to process, YYYY-MM-DD."},
        MessageCase{"BeginBeforeTheYearList", with(kValid, "--begin", "1994-12-31"),
                    "Invalid begin year. (--begin)"},
        MessageCase{"BeginAfterTheCurrentYear", with(kValid, "--begin", "2027-01-01"),
                    "Invalid begin year. (--begin)"},
        MessageCase{"BeginMonth13", with(kValid, "--begin", "2004-13-01"), "Invalid begin month. (--begin)"},
        MessageCase{"BeginMonth0", with(kValid, "--begin", "2004-00-01"), "Invalid begin month. (--begin)"},
        MessageCase{"BeginDay0", with(kValid, "--begin", "2004-06-00"), "Invalid begin day. (--begin)"},
        MessageCase{"BeginDay32", with(kValid, "--begin", "2004-01-32"), "Invalid begin day. (--begin)"},
        MessageCase{"Begin30February", with(kValid, "--begin", "2004-02-30"), "Invalid begin day. (--begin)"},
        MessageCase{"Begin29FebruaryCommonYear", with(kValid, "--begin", "2003-02-29"),
                    "Invalid begin day. (--begin)"},
        MessageCase{"EndMissing", without(kValid, "--end"), "--end is missing: the last day to process, YYYY-MM-DD."},
        MessageCase{"EndMonth", with(kValid, "--end", "2004-13-15"), "Invalid end month. (--end)"},
        MessageCase{"End31April", with(kValid, "--end", "2004-04-31"), "Invalid end day. (--end)"},
        MessageCase{"InputMissing", without(kValid, "--input"), "--input is missing: the folder of the moment files."},
        MessageCase{"InputEmpty", with(kValid, "--input", ""), "--input is missing: the folder of the moment files."},
        MessageCase{"OutputMissing", without(kValid, "--output"), "--output is missing: the folder for the consensus data files."},
        MessageCase{"AsciiWithoutSite", with(kValid, "--input-type", "ascii"), "--site is missing: the site identifier of the ASCII file names (at most 3 characters), needed with --input-type ascii."},
        MessageCase{"SiteTooLong", with(kValid, "--site", "abcd"),
                    "Please enter no more than 3 characters. (--site)"},
        MessageCase{"MinutesMissing", without(kValid, "--minutes"),
                    "--minutes is missing: the consensus averaging period, 1 to 1440 minutes."},
        MessageCase{"MinutesZero", with(kValid, "--minutes", "0"),
                    "Consensus averaging period must be\ngreater than zero. (--minutes)"},
        MessageCase{"MinutesNegative", with(kValid, "--minutes", "-5"),
                    "Consensus averaging period must be\ngreater than zero. (--minutes)"},
        MessageCase{"MinutesAboveADay", with(kValid, "--minutes", "1441"),
                    "Consensus averaging period must be at most 1440 minutes (one day). (--minutes)"},
        MessageCase{"BeginAfterEnd", with(kValid, "--begin", "2004-06-17"),
                    "Begin date must be less than or equal to end date. (--begin, --end)"},
        MessageCase{"WindowZero", with(kValid, "--window", "0"),
                    "The consensus window must be greater than zero. (--window)"},
        MessageCase{"ThresholdNegative", with(kValid, "--threshold", "-5"),
                    "The consensus threshold must be a whole number from 1 to 100 %. "
                    "(--threshold)"},
        MessageCase{"ThresholdZero", with(kValid, "--threshold", "0"),
                    "The consensus threshold must be a whole number from 1 to 100 %. "
                    "(--threshold)"},
        MessageCase{"Threshold101", with(kValid, "--threshold", "101"),
                    "The consensus threshold must be a whole number from 1 to 100 %. "
                    "(--threshold)"},
        MessageCase{"Threshold150", with(kValid, "--threshold", "150"),
                    "The consensus threshold must be a whole number from 1 to 100 %. "
                    "(--threshold)"},
        MessageCase{"RassWindowNegative", with(kValid, "--rass-window", "-1.5"),
                    "The consensus window must be greater than zero. (--rass-window)"},
        MessageCase{"RassThresholdZero", with(kValid, "--rass-threshold", "0"),
                    "The consensus threshold must be a whole number from 1 to 100 %. "
                    "(--rass-threshold)"},
        MessageCase{"RassThreshold101", with(kValid, "--rass-threshold", "101"),
                    "The consensus threshold must be a whole number from 1 to 100 %. "
                    "(--rass-threshold)"},
        MessageCase{"SourceTooLong", with(kValid, "--source", std::string(50, 'x')),
                    "The data source text must be at most 49 characters. (--source)"},
        // Several faults at once: the dialog's order decides.
        MessageCase{"BeginMonthBeforeEndYear",
                    with(without(kValid, "--end"), "--begin", "2004-13-01"),
                    "Invalid begin month. (--begin)"},
        MessageCase{"SiteLengthBeforeEverything", with(Args{}, "--site", "abcd"),
                    "Please enter no more than 3 characters. (--site)"},
        MessageCase{"EndDayOfTheListBeforeInput",
                    with(without(kValid, "--input"), "--end", "2004-02-32"), "Invalid end day. (--end)"},
        MessageCase{"InputBeforeNonexistentDay",
                    with(without(kValid, "--input"), "--end", "2004-02-30"),
                    "--input is missing: the folder of the moment files."},
        MessageCase{"MinutesBeforeNonexistentDay",
                    with(with(kValid, "--begin", "2004-02-30"), "--minutes", "0"),
                    "Consensus averaging period must be\ngreater than zero. (--minutes)"},
        MessageCase{"NonexistentBeginBeforeEnd",
                    with(with(kValid, "--begin", "2004-02-30"), "--end", "2004-04-31"),
                    "Invalid begin day. (--begin)"},
        MessageCase{"NonexistentDayBeforeDateOrder",
                    with(with(kValid, "--begin", "2004-06-17"), "--end", "2004-06-31"),
                    "Invalid end day. (--end)"},
        MessageCase{"InputBeforeOutput", without(without(kValid, "--output"), "--input"),
                    "--input is missing: the folder of the moment files."},
        MessageCase{"OutputBeforeSite",
                    with(without(kValid, "--output"), "--input-type", "ascii"),
                    "--output is missing: the folder for the consensus data files."},
        MessageCase{"SiteBeforeMinutes",
                    with(with(kValid, "--input-type", "ascii"), "--minutes", "0"),
                    "--site is missing: the site identifier of the ASCII file names (at most 3 characters), needed with --input-type ascii."},
        MessageCase{"MinutesBeforeDateOrder",
                    with(with(kValid, "--begin", "2004-06-17"), "--minutes", "0"),
                    "Consensus averaging period must be\ngreater than zero. (--minutes)"},
        MessageCase{"DateOrderBeforeWindow",
                    with(with(kValid, "--begin", "2004-06-17"), "--window", "0"),
                    "Begin date must be less than or equal to end date. (--begin, --end)"}),
    [](const auto& info) { return std::string(info.param.name); });

// Malformed command lines are reported before any of the dialog's checks.
INSTANTIATE_TEST_SUITE_P(
    Malformed, BatchValidation,
    ::testing::Values(
        MessageCase{"UnknownOption", {"--frobnicate", "1"},
                    "Unknown option '--frobnicate'.\nSee 'quorvane-batch --help'."},
        MessageCase{"StrayArgument", with(kValid, "--minutes", "30") + Args{"extra"},
                    "Unexpected argument 'extra'.\nSee 'quorvane-batch --help'."},
        MessageCase{"MissingValue", Args{"--minutes"},
                    "Option --minutes needs a value.\nSee 'quorvane-batch --help'."},
        MessageCase{"RepeatedOption", kValid + Args{"--begin", "2004-06-15"},
                    "Option --begin is given more than once.\nSee 'quorvane-batch --help'."},
        MessageCase{"MinutesWithLetters", Args{"--minutes", "30abc"},
                    "Invalid value for --minutes: '30abc' (a whole number of minutes is "
                    "expected).\nSee 'quorvane-batch --help'."},
        MessageCase{"DateWithSlashes", with(kValid, "--begin", "2004/06/15"),
                    "Invalid value for --begin: '2004/06/15' (a date YYYY-MM-DD is "
                    "expected).\nSee 'quorvane-batch --help'."},
        MessageCase{"DateTwoDigitYear", with(kValid, "--end", "04-06-15"),
                    "Invalid value for --end: '04-06-15' (a date YYYY-MM-DD is "
                    "expected).\nSee 'quorvane-batch --help'."},
        MessageCase{"DateTrailingText", with(kValid, "--end", "2004-06-15x"),
                    "Invalid value for --end: '2004-06-15x' (a date YYYY-MM-DD is "
                    "expected).\nSee 'quorvane-batch --help'."},
        MessageCase{"InputType", with(kValid, "--input-type", "netcdf"),
                    "Invalid value for --input-type: 'netcdf' (binary or ascii).\nSee "
                    "'quorvane-batch --help'."},
        MessageCase{"Vertical", with(kValid, "--vertical", "always"),
                    "Invalid value for --vertical: 'always' (not-used, when-available or "
                    "required).\nSee 'quorvane-batch --help'."},
        MessageCase{"Kind", with(kValid, "--kind", "Winds"),
                    "Invalid value for --kind: 'Winds' (winds or temperature).\nSee "
                    "'quorvane-batch --help'."},
        MessageCase{"WindowText", with(kValid, "--window", "2.5abc"),
                    "Invalid value for --window: '2.5abc' (a number is expected).\nSee "
                    "'quorvane-batch --help'."},
        MessageCase{"WindowNan", with(kValid, "--window", "nan"),
                    "Invalid value for --window: 'nan' (a number is expected).\nSee "
                    "'quorvane-batch --help'."},
        MessageCase{"WindowInfinite", with(kValid, "--window", "inf"),
                    "Invalid value for --window: 'inf' (a number is expected).\nSee "
                    "'quorvane-batch --help'."},
        MessageCase{"RassWindowNan", with(kValid, "--rass-window", "-nan"),
                    "Invalid value for --rass-window: '-nan' (a number is expected).\nSee "
                    "'quorvane-batch --help'."},
        MessageCase{"RassWindowBeyondFloat", with(kValid, "--rass-window", "1e39"),
                    "Invalid value for --rass-window: '1e39' (a number is expected).\nSee "
                    "'quorvane-batch --help'."},
        MessageCase{"ThresholdFraction", with(kValid, "--threshold", "50.7"),
                    "Invalid value for --threshold: '50.7' (a whole number of percent is "
                    "expected).\nSee 'quorvane-batch --help'."},
        MessageCase{"ThresholdHuge", with(kValid, "--rass-threshold", "99999999999"),
                    "Invalid value for --rass-threshold: '99999999999' (a whole number of "
                    "percent is expected).\nSee 'quorvane-batch --help'."},
        MessageCase{"WmoIdFourDigits", with(kValid, "--wmo-id", "7246"),
                    "Invalid value for --wmo-id: '7246' (five digits BBSSS, block 01 to 99, are "
                    "expected).\nSee 'quorvane-batch --help'."},
        MessageCase{"BufrTemperature", with(kValid + Args{"--bufr"}, "--bufr-temperature", "TvC"),
                    "Invalid value for --bufr-temperature: 'TvC' (tv or tvc).\nSee "
                    "'quorvane-batch --help'."},
        MessageCase{"MalformedBeforeDialogChecks", Args{"--minutes", "x"},
                    "Invalid value for --minutes: 'x' (a whole number of minutes is "
                    "expected).\nSee 'quorvane-batch --help'."}),
    [](const auto& info) { return std::string(info.param.name); });

// Consensus defaults at the edges of their ranges pass every check.
TEST(BatchOptions, ConsensusDefaultsAtTheEdgesOfTheirRangesAreAccepted) {
    const std::pair<const char*, const char*> cases[] = {
        {"--threshold", "1"},       {"--threshold", "100"},     {"--rass-threshold", "1"},
        {"--rass-threshold", "100"}, {"--window", "1e-30"},     {"--window", "3.4e38"},
        {"--rass-window", "1e-30"}, {"--rass-window", "3.4e38"},
    };
    for (const auto& [option, value] : cases) {
        batch::BatchOptions o;
        std::string error;
        ASSERT_TRUE(batch::parseArguments(with(kValid, option, value), o, error)) << error;
        EXPECT_EQ(batch::validateOptions(o, 2024), "") << option << " " << value;
    }
}

TEST(BatchHelp, PrintsUsageWithAnExampleAndExitsWithZero) {
    const BatchRun run = runTool({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("Usage: quorvane-batch --begin YYYY-MM-DD", 0), 0u);
    EXPECT_NE(run.out.find("Example:\n  quorvane-batch --begin 2004-06-15"), std::string::npos);
    EXPECT_NE(run.out.find("--save-settings FILE"), std::string::npos);
}

TEST(BatchOptions, ReadsEveryOptionAndItsDefaults) {
    batch::BatchOptions o;
    std::string error;
    ASSERT_TRUE(batch::parseArguments(validArgs(), o, error)) << error;
    EXPECT_EQ(o.inputType, InputType::Binary);
    EXPECT_EQ(o.kind, OutputKind::Winds);
    EXPECT_EQ(o.vertical, VerticalPolicy::WhenAvailable);
    EXPECT_EQ(o.dataSource, "QAV");
    EXPECT_FALSE(o.window.has_value());
    EXPECT_FALSE(o.quiet);
    EXPECT_FALSE(o.outputs.bufr);
    EXPECT_EQ(o.outputs.bufrSettings, BufrSettings{});

    batch::BatchOptions p;
    ASSERT_TRUE(batch::parseArguments(
        {"--begin=2004-2-3", "--end", "2004-12-31", "--input", "a/b///", "--output=/", "--minutes",
         "+15", "--input-type", "ascii", "--site", "abc", "--source", "KOR Fuzzy Logic",
         "--vertical", "required", "--kind", "temperature", "--window", "1.25", "--threshold",
         "60", "--rass-window", "0.5", "--rass-threshold", "40", "--settings", "s.csv",
         "--save-settings", "t.csv", "--quiet", "--bufr", "--wmo-id", "01002", "--bufr-centre",
         "98", "--bufr-temperature", "tv"},
        p, error))
        << error;
    EXPECT_EQ(p.begin->year, 2004);
    EXPECT_EQ(p.begin->month, 2);
    EXPECT_EQ(p.begin->day, 3);
    EXPECT_EQ(p.inputPath, "a/b");
    EXPECT_EQ(p.outputPath, "/");
    EXPECT_EQ(*p.minutes, 15);
    EXPECT_EQ(p.inputType, InputType::Ascii);
    EXPECT_EQ(p.dataSource, "KOR Fuzzy Logic");
    EXPECT_EQ(p.vertical, VerticalPolicy::Required);
    EXPECT_EQ(p.kind, OutputKind::Temperature);
    EXPECT_EQ(*p.window, 1.25f);
    EXPECT_EQ(*p.threshold, 60);
    EXPECT_EQ(*p.rassWindow, 0.5f);
    EXPECT_EQ(*p.rassThreshold, 40);
    EXPECT_EQ(p.settingsPath, "s.csv");
    EXPECT_EQ(p.saveSettingsPath, "t.csv");
    EXPECT_TRUE(p.quiet);
    EXPECT_TRUE(p.outputs.bufr);
    EXPECT_EQ(p.outputs.bufrSettings,
              (BufrSettings{WmoStation{1, 2}, 98, BufrTemperature::Tv}));
    EXPECT_EQ(batch::validateOptions(p, 2026), "");
}

TEST(BatchOptions, AcceptsTheBoundaries) {
    // 1995 is the first year of the dialog's lists, the current year the last;
    // 29 February of a leap year exists; begin equal to end is one day.
    for (const char* date : {"1995-01-01", "2026-12-31", "2004-02-29", "2000-02-29"}) {
        batch::BatchOptions o;
        std::string error;
        ASSERT_TRUE(batch::parseArguments(
            with(with(validArgs(), "--begin", date), "--end", date), o, error));
        EXPECT_EQ(batch::validateOptions(o, 2026), "") << date;
    }
    batch::BatchOptions o;
    std::string error;
    ASSERT_TRUE(batch::parseArguments(with(validArgs(), "--minutes", "1440"), o, error));
    EXPECT_EQ(batch::validateOptions(o, 2026), "");
}

// Following growing files: settings beforehand, no end, and the follower's
// own options only with --follow.
const Args kFollow = {"--follow", "--input", "in", "--output", "out", "--minutes", "30",
                      "--window", "2", "--threshold", "50"};

INSTANTIATE_TEST_SUITE_P(
    Follow, BatchValidation,
    ::testing::Values(
        MessageCase{"WithoutSettings", without(without(kFollow, "--window"), "--threshold"),
                    "--follow needs the consensus settings beforehand: --settings FILE, or "
                    "--window and --threshold."},
        MessageCase{"WithAnEnd", with(kFollow, "--end", "2004-06-16"),
                    "--end is not used with --follow: the follower runs until it is stopped."},
        MessageCase{"PollZero", with(kFollow, "--poll", "0"),
                    "Invalid value for --poll: '0' (seconds above 0, at most 86400, are "
                    "expected).\nSee 'quorvane-batch --help'."},
        MessageCase{"GraceNotANumber", with(kFollow, "--grace", "nan"),
                    "Invalid value for --grace: 'nan' (minutes above 0, at most 1440, are "
                    "expected).\nSee 'quorvane-batch --help'."},
        MessageCase{"StatusWithoutFollow", with(kValid, "--status", "s.json"),
                    "--poll, --grace and --status are used with --follow only."},
        MessageCase{"BufrOutboxWithoutFollow", with(kValid, "--bufr-outbox", "box"),
                    "--bufr-outbox is used with --follow only: it hands on each period as it is "
                    "complete; for finished days use --bufr."},
        MessageCase{"BufrStationWithoutBufr", with(kFollow, "--wmo-id", "72469"),
                    "--wmo-id, --bufr-centre and --bufr-temperature are used with --bufr or "
                    "--bufr-outbox only."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::test
