#include "core/worker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scripted_host.h"
#include "support/scripted_stages.h"

namespace qv {
namespace {

TimeValue dateValue(int y, int m, int d) {
    CalendarTime c;
    c.year = static_cast<std::uint16_t>(y);
    c.month = static_cast<std::uint16_t>(m);
    c.day = static_cast<std::uint16_t>(d);
    TimeValue v = 0;
    EXPECT_TRUE(calendarToTimeValue(c, v));
    return v;
}

std::string dateText(const CalendarTime& c) {
    return std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day);
}

// Scripted readers: days listed in `daysWithData` get one dwell.
class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        job.host = &host;
        job.noMomentsPause = std::chrono::milliseconds(0);
        job.params.averagingMinutes = 60;
        job.steps.readAscii = [this](ConsensusJob& j, const CalendarTime& day) {
            readDays.push_back(dateText(day));
            if (onRead) onRead(j);
            for (const std::string& d : daysWithData) {
                if (d == dateText(day)) addDwell(j, day);
            }
            // An oblique beam joins on 16 June 2004.
            if (dateText(day) == "2004-6-16" && !j.periods.empty()) addDwell(j, day, 90, 66.4f);
            return 1;
        };
        script.winds = [this](ConsensusJob&) {
            consensusRuns.push_back("winds");
            return false;
        };
        script.temperature = [this](ConsensusJob&) {
            consensusRuns.push_back("temperature");
            return false;
        };
        job.steps.stages = test::scriptedStages(script);
    }

    static void addDwell(ConsensusJob& j, const CalendarTime& day, std::int16_t azimuth = 0,
                         float elevation = 90.0f) {
        MomentRecord& r = j.record;
        r.processDayOfYear = dayOfYear(day.year, day.month, day.day);
        r.recordTime = day;
        r.recordTime.hour = 6;
        r.recordDayOfYear = r.processDayOfYear;
        r.gateCount = 2;
        r.azimuth = azimuth;
        r.elevation = elevation;
        r.pulseWidth = 700;
        AccumulateRecord(j, day);
    }

    // What a review that the user completed leaves: every row set.
    static void fillSettings(ConsensusJob& j) {
        for (BeamSetting* s : j.beamSettings) {
            s->consensusWindow = 2.0f;
            s->consensusPercent = 50;
        }
    }
    static int unsetBeams(const ConsensusJob& j) {
        int unset = 0;
        for (const BeamSetting* s : j.beamSettings) {
            unset += !(s->consensusWindow > 0.0f) || !(s->consensusPercent > 0);
        }
        return unset;
    }

    int run(TimeValue begin, TimeValue end) {
        job.params.beginTime = begin;
        job.params.endTime = end;
        job.currentDayTime = begin;
        return ProcessingWorker(job);
    }

    test::ScriptedHost host;
    ConsensusJob job;
    std::vector<std::string> readDays;
    std::vector<std::string> daysWithData;
    std::vector<std::string> consensusRuns;
    test::StageScript script;
    std::function<void(ConsensusJob&)> onRead;
};

TEST_F(WorkerTest, WalksDaysInclusivelyAndReportsDaysWithoutMoments) {
    daysWithData = {"2004-12-30", "2005-1-1"};
    EXPECT_EQ(run(dateValue(2004, 12, 30), dateValue(2005, 1, 1)), 1);
    EXPECT_EQ(readDays, (std::vector<std::string>{"2004-12-30", "2004-12-31", "2005-1-1"}));
    EXPECT_EQ(consensusRuns, (std::vector<std::string>{"winds", "winds"}));
    EXPECT_EQ(host.mainLines,
              (std::vector<std::string>{"Done.", "No moments available on 12/31/04.", "Done.",
                                        "Done."}));
    EXPECT_EQ(host.detailLines.back(), "Waiting for user input.");
    EXPECT_EQ(host.reviews, 1);
    EXPECT_TRUE(host.processEnabled);
    EXPECT_FALSE(host.cancelEnabled);
    EXPECT_FALSE(job.cancelEvent.poll());
    EXPECT_FALSE(job.continueEvent.poll());
}

TEST_F(WorkerTest, OneDayRunAndOutputKindReadLive) {
    daysWithData = {"2004-6-15"};
    host.output = OutputKind::Temperature;
    EXPECT_EQ(run(dateValue(2004, 6, 15), dateValue(2004, 6, 15)), 1);
    EXPECT_EQ(readDays.size(), 1u);
    EXPECT_EQ(consensusRuns, (std::vector<std::string>{"temperature"}));
}

TEST_F(WorkerTest, ReviewAfterTheFirstDayWithBeamsAndEarlyOnASecondRun) {
    daysWithData = {"2004-6-16"};
    int reviewedAfterReads = -1;
    host.review = [&](ConsensusJob& j) {
        reviewedAfterReads = static_cast<int>(readDays.size());
        fillSettings(j);
    };
    run(dateValue(2004, 6, 15), dateValue(2004, 6, 16));
    EXPECT_EQ(host.reviews, 1);
    EXPECT_EQ(reviewedAfterReads, 2);

    // The table survives: the next run pauses after its first day even
    // though that day has no records.
    readDays.clear();
    run(dateValue(2004, 6, 15), dateValue(2004, 6, 16));
    EXPECT_EQ(host.reviews, 2);
    EXPECT_EQ(reviewedAfterReads, 1);
}

TEST_F(WorkerTest, CancelWhileReadingStopsBeforeConsensus) {
    daysWithData = {"2004-6-15", "2004-6-16"};
    onRead = [](ConsensusJob& j) { j.cancelEvent.set(); };
    EXPECT_EQ(run(dateValue(2004, 6, 15), dateValue(2004, 6, 16)), 0);
    EXPECT_TRUE(consensusRuns.empty());
    EXPECT_EQ(readDays.size(), 1u);
    EXPECT_EQ(host.mainLines.back(), "Operation canceled.");
    EXPECT_EQ(host.detailLines.back(), "Waiting for user input.");
    EXPECT_TRUE(host.processEnabled);
    EXPECT_FALSE(job.cancelEvent.poll());

    // The next run starts clear.
    onRead = nullptr;
    EXPECT_EQ(run(dateValue(2004, 6, 15), dateValue(2004, 6, 15)), 1);
}

TEST_F(WorkerTest, CancelDuringTheReviewWait) {
    daysWithData = {"2004-6-15"};
    host.continueAfterReview = false;
    host.review = [](ConsensusJob& j) { j.cancelEvent.set(); };
    EXPECT_EQ(run(dateValue(2004, 6, 15), dateValue(2004, 6, 15)), 0);
    EXPECT_TRUE(consensusRuns.empty());
    EXPECT_EQ(host.mainLines.back(), "Operation canceled.");
}

TEST_F(WorkerTest, ContinueWinsWhenBothEventsAreSet) {
    daysWithData = {"2004-6-15", "2004-6-16"};
    host.review = [](ConsensusJob& j) {
        fillSettings(j);
        j.cancelEvent.set();
    };
    EXPECT_EQ(run(dateValue(2004, 6, 15), dateValue(2004, 6, 16)), 0);
    // The first day's consensus ran; the cancel is seen after the next read.
    EXPECT_EQ(consensusRuns.size(), 1u);
    EXPECT_EQ(readDays.size(), 2u);
    EXPECT_FALSE(job.continueEvent.poll());
}

TEST_F(WorkerTest, ABeamFirstSeenOnALaterDayIsReviewedThatDay) {
    daysWithData = {"2004-6-15", "2004-6-16", "2004-6-17"};
    std::vector<std::string> reviews;  // the day, and the rows found unset
    host.review = [&](ConsensusJob& j) {
        reviews.push_back(dateText(j.currentDay) + ": " + std::to_string(unsetBeams(j)));
        fillSettings(j);
    };
    int consensedUnset = 0;
    script.winds = [&](ConsensusJob& j) {
        consensedUnset += unsetBeams(j);
        return false;
    };
    job.steps.stages = test::scriptedStages(script);
    EXPECT_EQ(run(dateValue(2004, 6, 15), dateValue(2004, 6, 17)), 1);
    EXPECT_EQ(reviews, (std::vector<std::string>{"2004-6-15: 1", "2004-6-16: 1"}));
    EXPECT_EQ(consensedUnset, 0);
}

// A review that leaves a beam without a window or threshold stops the run
// before that day's consensus, whether the host goes on (the dialog after
// OK) or cancels for it (the batch tool); the outcome names the beams.
TEST_F(WorkerTest, AReviewLeavingABeamUnsetStopsTheRunBeforeTheDaysConsensus) {
    const std::string vertical = "azimuth 0, elevation 90, pulse width 700 ns, RASS OFF";
    struct Case {
        const char* name;
        std::function<void(ConsensusJob&)> review;
        bool hostCancels;
        std::vector<std::string> consensusRuns;
        std::vector<std::string> missing;
    };
    const Case cases[] = {
        {"left as it was", [](ConsensusJob&) {}, false, {},
         {vertical + ": no window, no threshold"}},
        {"a threshold only",
         [](ConsensusJob& j) { j.beamSettings.first()->consensusPercent = 50; }, false, {},
         {vertical + ": no window"}},
        {"the host cancels for it", [](ConsensusJob&) {}, true, {},
         {vertical + ": no window, no threshold"}},
        {"the late beam left unset",
         [](ConsensusJob& j) {
             if (j.currentDay.day == 15) fillSettings(j);
         },
         false, {"winds"},
         {"azimuth 90, elevation 66.4, pulse width 700 ns, RASS OFF: no window, no threshold"}},
    };
    daysWithData = {"2004-6-15", "2004-6-16", "2004-6-17"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearBeamSettings(job);
        consensusRuns.clear();
        readDays.clear();
        host.review = [&c](ConsensusJob& j) {
            c.review(j);
            if (c.hostCancels) j.cancelEvent.set();
        };
        host.continueAfterReview = !c.hostCancels;
        EXPECT_EQ(run(dateValue(2004, 6, 15), dateValue(2004, 6, 17)), 0);
        EXPECT_EQ(consensusRuns, c.consensusRuns);
        EXPECT_EQ(readDays.size(), c.consensusRuns.size() + 1);  // stopped on the day read
        EXPECT_EQ(host.outcome.status, RunOutcome::Status::SettingsMissing);
        EXPECT_EQ(host.outcome.missingBeams, c.missing);
        EXPECT_EQ(host.mainLines.back(), "Operation canceled.");
        EXPECT_FALSE(job.cancelEvent.poll());
    }
}

TEST_F(WorkerTest, ReaderErrorsShowInTheDetailLineAndUnwrittenPathsAreReported) {
    job.steps.readAscii = [](ConsensusJob& j, const CalendarTime&) {
        j.reportReaderError("GetAsciiMoments Error: Can not open input file /x/abc04167.raw");
        return 0;
    };
    // Outputs that cannot write the day's file.
    script.outputs = [](FileReport& report) {
        report.lost("/out/abc04167.w1a", "/out/abc04167.w1a: No space left on device");
    };
    job.steps.stages = test::scriptedStages(script);
    run(dateValue(2004, 6, 15), dateValue(2004, 6, 15));
    EXPECT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.mainLines.back(), "Done.");
    ASSERT_GE(host.detailLines.size(), 2u);
    EXPECT_EQ(host.detailLines[host.detailLines.size() - 2],
              "GetAsciiMoments Error: Can not open input file /x/abc04167.raw");
    EXPECT_TRUE(host.unwritten.empty());  // no periods, no consensus

    job.steps.readAscii = [](ConsensusJob& j, const CalendarTime& day) {
        addDwell(j, day);
        return 1;
    };
    run(dateValue(2004, 6, 15), dateValue(2004, 6, 15));
    EXPECT_EQ(host.unwritten, (std::vector<std::string>{"/out/abc04167.w1a"}));
}

TEST_F(WorkerTest, BeginAfterEndProcessesNothing) {
    EXPECT_EQ(run(dateValue(2004, 6, 16), dateValue(2004, 6, 15)), 1);
    EXPECT_TRUE(readDays.empty());
    EXPECT_EQ(host.mainLines.back(), "Done.");
}

TEST_F(WorkerTest, RunsOnItsOwnThread) {
    daysWithData = {"2004-6-15"};
    job.params.beginTime = job.params.endTime = dateValue(2004, 6, 15);
    std::thread t = startProcessing(job);
    t.join();
    EXPECT_EQ(consensusRuns.size(), 1u);
}

}  // namespace
}  // namespace qv
