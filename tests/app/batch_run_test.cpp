// Runs of the batch tool in-process: exit statuses, the settings review,
// status lines, interruption and the "Created on" stamp.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/batch/batch.h"
#include "app/batch/console_host.h"
#include "app/engine/engine.h"
#include "tests/app/batch_test_support.h"

namespace qv::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kEpoch = "1087389296";  // 2004-06-16 12:34:56 UTC

std::vector<std::string> withoutReadingLines(const std::string& err) {
    std::vector<std::string> kept;
    for (const std::string& line : lines(err)) {
        if (line.rfind("  Reading data record ", 0) != 0) kept.push_back(line);
    }
    return kept;
}

class BatchRunTest : public TempFolderTest {
protected:
    std::string out() const { return (dir_ / "out").string(); }
    void SetUp() override {
        TempFolderTest::SetUp();
        fs::create_directories(dir_ / "out");
    }
};

TEST_F(BatchRunTest, WindsOverTheSamplesExitZeroWithStatusLinesInOrder) {
    const BatchRun run =
        runTool(sampleArgs(out(), "winds") + std::vector<std::string>{"--window", "2", "--threshold", "50"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(listFolder(out()), (std::vector<std::string>{"QVS04167.w1a", "QVS04168.w1a"}));
    const std::vector<std::string> expected = {
        "Day 2004-06-15 (1 of 2)",
        "Unpacking ascii moments.",
        "Consensus settings:",
        "  Azimuth  Elevation  PulseWidth  CnsWindow  CnsPercent  RASS",
        "  0        66.40      700         2.00       50          OFF",
        "  90       66.40      700         2.00       50          OFF",
        "  180      66.40      700         2.00       50          OFF",
        "  270      66.40      700         2.00       50          OFF",
        "  0        90.00      700         2.00       50          OFF",
        "Calculating winds...",
        "Done.",
        "  Waiting for user input.",
        "Day 2004-06-16 (2 of 2)",
        "Unpacking ascii moments.",
        "Calculating winds...",
        "Done.",
        "  Waiting for user input.",
        "Wrote 2 files to " + out() + ".",
    };
    EXPECT_EQ(withoutReadingLines(run.err), expected);
    // Coalesced: at least the last reading line of each day is there.
    EXPECT_NE(run.err.find("\n  Reading data record "), std::string::npos);
    EXPECT_EQ(run.out, "");
}

TEST_F(BatchRunTest, QuietPrintsNothingOnSuccess) {
    const BatchRun run = runTool(sampleArgs(out(), "temperature") +
                                 std::vector<std::string>{"--quiet", "--window", "2", "--threshold",
                                                          "50", "--rass-window", "1.5"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(listFolder(out()), (std::vector<std::string>{"QVS04167.t1a", "QVS04167.t2a",
                                                           "QVS04168.t1a", "QVS04168.t2a"}));
}

TEST_F(BatchRunTest, TerminalShowsAProgressBarAndKeepsDetailsOffTheLog) {
    batch::BatchContext context;
    context.terminal = true;
    context.terminalWidth = 60;
    const BatchRun run = runTool(
        sampleArgs(out(), "winds") + std::vector<std::string>{"--window", "2", "--threshold", "50"},
        context);
    EXPECT_EQ(run.status, 0);
    const std::string finalBar =
        "\r\033[K[####################] 2/2 days\nWrote 2 files to " + out() + ".\n";
    ASSERT_GE(run.err.size(), finalBar.size());
    EXPECT_EQ(run.err.substr(run.err.size() - finalBar.size()), finalBar);
    EXPECT_NE(run.err.find("Day 2004-06-16 (2 of 2)\n"), std::string::npos);
    EXPECT_EQ(run.err.find("\n  Reading data record"), std::string::npos);
    for (const std::string& segment : lines(run.err)) {
        // Every redraw of the bar fits the terminal's width.
        const std::size_t at = segment.rfind("\r\033[K");
        if (at != std::string::npos) {
            EXPECT_LE(segment.size() - at - 4, 59u) << segment;
        }
    }
}

TEST_F(BatchRunTest, MissingSettingsNameEveryBeamExitThreeAndWriteNothing) {
    const std::string saved = (dir_ / "reviewed.csv").string();
    const BatchRun run = runTool(sampleArgs(out(), "winds") +
                                 std::vector<std::string>{"--threshold", "50", "--save-settings", saved});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(listFolder(out()).empty());
    const std::string message =
        "These beams lack a positive consensus window or threshold:\n"
        "  azimuth 0, elevation 66.4, pulse width 700 ns, RASS OFF: no window\n"
        "  azimuth 90, elevation 66.4, pulse width 700 ns, RASS OFF: no window\n"
        "  azimuth 180, elevation 66.4, pulse width 700 ns, RASS OFF: no window\n"
        "  azimuth 270, elevation 66.4, pulse width 700 ns, RASS OFF: no window\n"
        "  azimuth 0, elevation 90, pulse width 700 ns, RASS OFF: no window\n"
        "Give them with --settings FILE, or with --window and --threshold (radar beams)\n"
        "and --rass-window and --rass-threshold (RASS beams).\n"
        "Nothing was written for 2004-06-15.\n";
    ASSERT_GE(run.err.size(), message.size());
    EXPECT_EQ(run.err.substr(run.err.size() - message.size()), message);
    EXPECT_NE(run.err.find("Operation canceled.\n"), std::string::npos);
    EXPECT_EQ(run.err.find("Calculating winds..."), std::string::npos);
    // The table as reviewed, ready to be completed and given back.
    EXPECT_EQ(readFile(saved),
              "azimuth,elevation,pulse_width,rass,window,threshold\n"
              "0,66.4,700,0,,50\n90,66.4,700,0,,50\n180,66.4,700,0,,50\n270,66.4,700,0,,50\n"
              "0,90,700,0,,50\n");
}

TEST_F(BatchRunTest, SettingsFileRowsComeFirstAndDefaultsFillTheRest) {
    writeFile(dir_ / "s.csv", "0,66.4,700,0,3,60\n0,90,700,1,1.5,50\n");
    const BatchRun partial = runTool(
        sampleArgs(out(), "temperature") +
        std::vector<std::string>{"--settings", (dir_ / "s.csv").string(), "--quiet"});
    EXPECT_EQ(partial.status, 3);
    EXPECT_NE(partial.err.find("  azimuth 0, elevation 90, pulse width 700 ns, RASS OFF: no "
                               "window, no threshold\nGive them"),
              std::string::npos)
        << partial.err;
    EXPECT_EQ(partial.err.find("RASS ON"), std::string::npos);

    const std::string saved = (dir_ / "saved.csv").string();
    const BatchRun full = runTool(
        sampleArgs(out(), "temperature") +
        std::vector<std::string>{"--settings", (dir_ / "s.csv").string(), "--window", "2",
                                 "--threshold", "40", "--save-settings", saved, "--quiet"});
    EXPECT_EQ(full.status, 0) << full.err;
    EXPECT_EQ(readFile(saved),
              "azimuth,elevation,pulse_width,rass,window,threshold\n"
              "0,90,700,0,2,40\n0,90,700,1,1.5,50\n");
}

TEST_F(BatchRunTest, SavedSettingsGiveTheSameFilesAsTheOptions) {
    batch::BatchContext context;
    context.sourceDateEpoch = kEpoch;
    const std::string saved = (dir_ / "saved.csv").string();
    const BatchRun first = runTool(sampleArgs(out(), "winds") +
                                       std::vector<std::string>{"--window", "2.5", "--threshold",
                                                                "45", "--save-settings", saved},
                                   context);
    ASSERT_EQ(first.status, 0);
    const std::string again = (dir_ / "again").string();
    fs::create_directories(again);
    const BatchRun second =
        runTool(sampleArgs(again, "winds") + std::vector<std::string>{"--settings", saved}, context);
    ASSERT_EQ(second.status, 0) << second.err;
    for (const char* name : {"QVS04167.w1a", "QVS04168.w1a"}) {
        EXPECT_EQ(readFile(fs::path(out()) / name), readFile(fs::path(again) / name)) << name;
    }
}

TEST_F(BatchRunTest, UnreadableOrMalformedSettingsFileIsAnArgumentError) {
    const std::string missing = (dir_ / "none.csv").string();
    const BatchRun a = runTool(sampleArgs(out(), "winds") + std::vector<std::string>{"--settings", missing});
    EXPECT_EQ(a.status, 2);
    EXPECT_EQ(a.err, "The settings file '" + missing + "' cannot be read.\n");

    writeFile(dir_ / "bad.csv", "azimuth,elevation,pulse_width,rass,window,threshold\n0,66.4\n");
    const std::string bad = (dir_ / "bad.csv").string();
    const BatchRun b = runTool(sampleArgs(out(), "winds") + std::vector<std::string>{"--settings", bad});
    EXPECT_EQ(b.status, 2);
    EXPECT_EQ(b.err, bad +
                         ":2: expected 6 fields "
                         "(azimuth,elevation,pulse_width,rass,window,threshold), found 2.\n");
    EXPECT_TRUE(listFolder(out()).empty());
}

TEST_F(BatchRunTest, OutputFolderThatCannotBeMadeStopsTheRunBeforeReading) {
    writeFile(dir_ / "plain-file", "not a folder");
    const std::string output = (dir_ / "plain-file" / "sub").string();
    const BatchRun run = runTool(sampleArgs(output, "winds") +
                                 std::vector<std::string>{"--window", "2", "--threshold", "50", "--quiet"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "The output folder " + output + " cannot be made: " +
                           (dir_ / "plain-file").string() + " is not a folder.\n");
}

TEST_F(BatchRunTest, UnwritableSavedSettingsAreListedToo) {
    writeFile(dir_ / "plain-file", "not a folder");
    const std::string saved = (dir_ / "plain-file" / "s.csv").string();
    const BatchRun run = runTool(sampleArgs(out(), "winds") +
                                 std::vector<std::string>{"--window", "2", "--threshold", "50",
                                                          "--quiet", "--save-settings", saved});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "These output files could not be written:\n  " + saved + ": Not a directory\n");
}

TEST_F(BatchRunTest, SourceDateEpochFixesTheCreatedOnStamp) {
    batch::BatchContext context;
    context.sourceDateEpoch = kEpoch;
    const BatchRun run = runTool(
        sampleArgs(out(), "winds") + std::vector<std::string>{"--window", "2", "--threshold", "50"},
        context);
    ASSERT_EQ(run.status, 0);
    const std::vector<std::string> header = lines(readFile(fs::path(out()) / "QVS04167.w1a"));
    ASSERT_GT(header.size(), 8u);
    EXPECT_EQ(header[7],
              "Created by:         VINTREL      1.0    Created on:        06/16/04  1234");
}

TEST_F(BatchRunTest, EmptySourceDateEpochIsIgnoredAndAMalformedOneRejected) {
    batch::BatchContext context;
    context.sourceDateEpoch = "";
    EXPECT_EQ(runTool(sampleArgs(out(), "winds") +
                          std::vector<std::string>{"--window", "2", "--threshold", "50", "--quiet"},
                      context)
                  .status,
              0);
    for (const char* bad : {"12ab", "-5", "1.5", "253402300800", " 1"}) {
        context.sourceDateEpoch = bad;
        const BatchRun run = runTool(sampleArgs(out(), "winds"), context);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_EQ(run.err, std::string("Invalid SOURCE_DATE_EPOCH '") + bad +
                               "' (seconds since 1970-01-01 00:00:00 UTC are expected).\n");
    }
}

TEST(SourceDateEpoch, ConvertsSecondsToUtcCalendarTime) {
    struct Case {
        const char* text;
        int year, month, day, hour, minute, second;
    };
    for (const Case& c : {Case{"0", 1970, 1, 1, 0, 0, 0}, Case{kEpoch, 2004, 6, 16, 12, 34, 56},
                          Case{"951782400", 2000, 2, 29, 0, 0, 0},
                          Case{"253402300799", 9999, 12, 31, 23, 59, 59}}) {
        CalendarTime t;
        ASSERT_TRUE(batch::sourceDateEpochTime(c.text, t)) << c.text;
        EXPECT_EQ(t.year, c.year);
        EXPECT_EQ(t.month, c.month);
        EXPECT_EQ(t.day, c.day);
        EXPECT_EQ(t.hour, c.hour);
        EXPECT_EQ(t.minute, c.minute);
        EXPECT_EQ(t.second, c.second);
    }
}

TEST_F(BatchRunTest, InterruptCancelsAfterTheDaysReadingAndExits130) {
    std::atomic<bool> interrupted{false};
    std::atomic<int> reads{0};
    std::atomic<bool> consensusRan{false};
    ConsensusSteps consensus = standardConsensus();
    consensus.winds = [&](ConsensusJob&) {
        consensusRan = true;
        return DayProducts{};
    };
    ProcessingSteps steps = standardSteps({}, consensus);
    const auto reader = steps.readAscii;
    steps.readAscii = [&](ConsensusJob& job, const CalendarTime& day) {
        const int result = reader(job, day);
        ++reads;
        interrupted = true;  // Ctrl-C while the day is read
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (!job.cancelEvent.poll() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(2ms);
        }
        return result;
    };
    batch::BatchContext context;
    context.interrupted = &interrupted;
    context.steps = steps;
    const BatchRun run = runTool(
        sampleArgs(out(), "winds") + std::vector<std::string>{"--window", "2", "--threshold", "50"},
        context);
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(reads, 1);
    EXPECT_FALSE(consensusRan);
    EXPECT_TRUE(listFolder(out()).empty());
    EXPECT_NE(run.err.find("Interrupted: the run stops when the current day's reading ends.\n"),
              std::string::npos);
    const std::string ending = "Operation canceled.\n  Waiting for user input.\n";
    ASSERT_GE(run.err.size(), ending.size());
    EXPECT_EQ(run.err.substr(run.err.size() - ending.size()), ending);
}

TEST_F(BatchRunTest, WorkerRunsOnItsOwnThreadWithoutTheDialogsPause) {
    std::atomic<bool> onCaller{false};
    const auto caller = std::this_thread::get_id();
    ProcessingSteps steps;
    steps.readAscii = [&](ConsensusJob&, const CalendarTime&) {
        if (std::this_thread::get_id() == caller) onCaller = true;
        return 0;
    };
    batch::BatchContext context;
    context.steps = steps;
    const auto start = std::chrono::steady_clock::now();
    const BatchRun run = runTool({"--begin", "2004-06-01", "--end", "2004-06-05", "--input",
                                  (dir_ / "empty").string(), "--output", out(), "--input-type",
                                  "ascii", "--site", "qvs", "--minutes", "30", "--quiet"},
                                 context);
    EXPECT_EQ(run.status, batch::kExitNothingWritten);
    EXPECT_FALSE(onCaller);
    // Five days without moments: the dialog would pause a second after each.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
}

TEST_F(BatchRunTest, DaysWithoutFilesReportTheReaderErrorOnce) {
    const BatchRun run = runTool({"--begin", "2004-06-01", "--end", "2004-06-01", "--input",
                                  (dir_ / "empty").string(), "--output", out(), "--input-type",
                                  "ascii", "--site", "qvs", "--minutes", "30"});
    // A run that wrote nothing says why, and fails.
    EXPECT_EQ(run.status, batch::kExitNothingWritten);
    const std::vector<std::string> got = lines(run.err);
    ASSERT_EQ(got.size(), 8u) << run.err;
    EXPECT_EQ(got[0], "Day 2004-06-01 (1 of 1)");
    EXPECT_EQ(got[1], "Unpacking ascii moments.");
    EXPECT_EQ(got[2].rfind("GetAsciiMoments Error: ", 0), 0u) << got[2];
    EXPECT_EQ(got[3], "No moments available on 06/01/04.");
    EXPECT_EQ(got[4], "Done.");
    EXPECT_EQ(got[5], "  Waiting for user input.");
    EXPECT_EQ(got[6], "Nothing was written. No moments were found in " + (dir_ / "empty").string() +
                          " on 06/01/04.");
    EXPECT_EQ(got[7], got[2]);
}

TEST(ConsoleHost, KeepsEveryMainLineAndCoalescesDetails) {
    batch::ConsoleConfig config;
    batch::ConsoleHost host(config);
    host.setStatusMain("Unpacking ascii moments.");
    host.setStatusDetail("Reading data record 1");
    host.setStatusDetail("Reading data record 2");
    host.setStatusDetail("Reading data record 3");
    host.setStatusMain("Calculating winds...");
    host.setStatusMain("Calculating winds...");  // unchanged: not repeated
    host.setStatusDetail("");
    host.setStatusMain("Done.");
    host.setStatusDetail("Waiting for user input.");
    std::ostringstream err;
    host.flush(err);
    EXPECT_EQ(err.str(),
              "Unpacking ascii moments.\n  Reading data record 3\nCalculating winds...\nDone.\n"
              "  Waiting for user input.\n");
    host.setStatusDetail("Waiting for user input.");
    std::ostringstream again;
    host.flush(again);
    EXPECT_EQ(again.str(), "");
}

TEST(ConsoleHost, QuietKeepsErrorsOnly) {
    batch::ConsoleConfig config;
    config.quiet = true;
    config.terminal = true;
    batch::ConsoleHost host(config);
    host.setStatusMain("Unpacking ascii moments.");
    host.reportError("GetAsciiMoments Error: Can not open input file x");
    host.setStatusDetail("GetAsciiMoments Error: Can not open input file x");
    std::ostringstream err;
    host.finish(err);
    EXPECT_EQ(err.str(), "GetAsciiMoments Error: Can not open input file x\n");
}

TEST(ConsoleHost, RunEndIsSeenOnlyWhenTheWorkerSaysSo) {
    batch::ConsoleHost host(batch::ConsoleConfig{});
    host.setProcessEnabled(true);
    EXPECT_FALSE(host.waitForRunEnd(1ms));
    host.setProcessEnabled(false);
    EXPECT_FALSE(host.waitForRunEnd(1ms));
    host.setProcessEnabled(true);  // the buttons alone say nothing of the run's end
    EXPECT_FALSE(host.waitForRunEnd(1ms));
    std::thread t([&] { host.runEnded(); });
    EXPECT_TRUE(host.waitForRunEnd(10s));
    t.join();
}

}  // namespace
}  // namespace qv::test
