// The processing worker against a dialog that acts from its own thread:
// cancels while a day is read, during the settings review, during the
// consensus and in the pause after a day without moments; runs back to back
// on one job; radio choices flipped while a run is active. Every run must
// end in "Done." or "Operation canceled." with Process enabled, Cancel
// disabled and the cancel event clear, and never hang. Meant to be run in
// the ThreadSanitizer build too (make tsan).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/worker.h"
#include "support/scripted_stages.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// Longest a run may take before the test calls it a deadlock.
constexpr auto kRunLimit = 60s;

TimeValue dateValue(int year, int month, int day) {
    CalendarTime c;
    c.year = static_cast<std::uint16_t>(year);
    c.month = static_cast<std::uint16_t>(month);
    c.day = static_cast<std::uint16_t>(day);
    TimeValue v = 0;
    EXPECT_TRUE(calendarToTimeValue(c, v));
    return v;
}

// The dialog's thread: runs queued tasks one after another, as an event
// loop would. The worker's review request is such a task, and the worker
// waits for it (the one blocking request).
class DialogThread {
public:
    DialogThread() : thread_([this] { loop(); }) {}
    ~DialogThread() {
        {
            std::lock_guard<std::mutex> g(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    void post(std::function<void()> task) {
        {
            std::lock_guard<std::mutex> g(m_);
            tasks_.push_back(std::move(task));
        }
        cv_.notify_all();
    }

    // Runs the task on the dialog's thread and waits for it.
    void call(const std::function<void()>& task) {
        std::mutex done;
        std::condition_variable cv;
        bool finished = false;
        post([&] {
            task();
            std::lock_guard<std::mutex> g(done);
            finished = true;
            cv.notify_all();
        });
        std::unique_lock<std::mutex> lock(done);
        cv.wait(lock, [&] { return finished; });
    }

private:
    void loop() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(m_);
                cv_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
                if (tasks_.empty()) return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    bool stop_ = false;
    std::thread thread_;
};

// What the settings review does on the dialog's thread.
enum class ReviewAnswer {
    Continue,          // the user closes the review: continueEvent
    Cancel,            // the dialog is closed during the review: cancel only
    ContinueAndCancel  // both set before the worker waits: continue wins
};

// The host: status and button states under a lock, radio choices in
// atomics that another thread may flip, and the review handed to the
// dialog's thread while the worker waits.
class StressHost : public ProcessingHost {
public:
    explicit StressHost(DialogThread& dialog) : dialog_(dialog) {}

    std::atomic<InputType> input{InputType::Ascii};
    std::atomic<OutputKind> output{OutputKind::Winds};
    std::atomic<VerticalPolicy> policy{VerticalPolicy::WhenAvailable};
    std::atomic<ReviewAnswer> answer{ReviewAnswer::Continue};

    void setStatusMain(const std::string& text) override {
        std::lock_guard<std::mutex> g(m_);
        lastMain_ = text;
        ++mainCount_;
    }
    void setStatusDetail(const std::string& text) override {
        std::lock_guard<std::mutex> g(m_);
        lastDetail_ = text;
    }
    void setProcessEnabled(bool enabled) override {
        std::lock_guard<std::mutex> g(m_);
        processEnabled_ = enabled;
    }
    void runEnded() override {
        {
            std::lock_guard<std::mutex> g(m_);
            ended_ = true;
        }
        endedChanged_.notify_all();
    }
    void setCancelEnabled(bool enabled) override {
        std::lock_guard<std::mutex> g(m_);
        cancelEnabled_ = enabled;
    }
    InputType inputType() override { return input.load(); }
    OutputKind outputKind() override { return output.load(); }
    VerticalPolicy verticalPolicy() override { return policy.load(); }

    void reviewSettings(ConsensusJob& job) override {
        std::unique_lock<std::mutex> lock(m_);
        reviewDone_ = false;
        ++reviews_;
        lock.unlock();
        dialog_.post([this, &job] {
            // The user edits every row while the worker is blocked.
            for (BeamSetting* s : job.beamSettings) {
                s->consensusWindow = s->rassFlag != 0 ? 1.5f : 2.0f;
                s->consensusPercent = 50;
            }
            switch (answer.load()) {
            case ReviewAnswer::Continue:
                job.continueEvent.set();
                break;
            case ReviewAnswer::Cancel:
                job.cancelEvent.set();
                break;
            case ReviewAnswer::ContinueAndCancel:
                job.continueEvent.set();
                job.cancelEvent.set();
                break;
            }
            // Notified under the lock: once the worker sees the review done,
            // the host may go away.
            std::lock_guard<std::mutex> g(m_);
            reviewDone_ = true;
            reviewChanged_.notify_all();
        });
        lock.lock();
        reviewChanged_.wait(lock, [this] { return reviewDone_; });
    }
    void reportError(const std::string&) override {}
    void reportOutcome(const RunOutcome&) override {}

    // Prepares for the next run.
    void beginRun() {
        std::lock_guard<std::mutex> g(m_);
        ended_ = false;
    }
    // Waits for the worker's last control change; false after kRunLimit.
    bool waitForEnd() {
        std::unique_lock<std::mutex> lock(m_);
        return endedChanged_.wait_for(lock, kRunLimit, [this] { return ended_; });
    }

    std::string lastMain() {
        std::lock_guard<std::mutex> g(m_);
        return lastMain_;
    }
    std::string lastDetail() {
        std::lock_guard<std::mutex> g(m_);
        return lastDetail_;
    }
    bool processEnabled() {
        std::lock_guard<std::mutex> g(m_);
        return processEnabled_;
    }
    bool cancelEnabled() {
        std::lock_guard<std::mutex> g(m_);
        return cancelEnabled_;
    }
    int reviews() {
        std::lock_guard<std::mutex> g(m_);
        return reviews_;
    }

private:
    DialogThread& dialog_;
    std::mutex m_;
    std::condition_variable endedChanged_;
    std::condition_variable reviewChanged_;
    std::string lastMain_;
    std::string lastDetail_;
    int mainCount_ = 0;
    int reviews_ = 0;
    bool processEnabled_ = true;
    bool cancelEnabled_ = false;
    bool ended_ = false;
    bool reviewDone_ = false;
};

// Scripted readers and consensus kinds with hooks at the points where a
// cancel may come: between dwells, after a day's reading, inside the
// consensus.
class WorkerStress : public ::testing::Test {
protected:
    void SetUp() override {
        job.host = &host;
        job.noMomentsPause = 0ms;
        job.params.averagingMinutes = 30;
        const auto reader = [this](ConsensusJob& j, const CalendarTime& day) { return read(j, day); };
        job.steps.readAscii = reader;
        job.steps.readBinary = reader;
        const auto consensusStep = [this](ConsensusJob& j) {
            consensus(j);
            return false;
        };
        job.steps.stages = test::scriptedStages({consensusStep, consensusStep, {}});
    }

    // A day of `dwellsPerDay` dwells of three beams, polling the cancel
    // between dwells as the binary reader does.
    int read(ConsensusJob& j, const CalendarTime& day) {
        ++daysRead;
        if (dwellsPerDay == 0) return 0;
        MomentRecord& r = j.record;
        r.processDayOfYear = dayOfYear(day.year, day.month, day.day);
        for (int n = 0; n < dwellsPerDay; ++n) {
            if (n == cancelAtDwell && onReadCancel) onReadCancel();
            r.recordTime = day;
            r.recordTime.hour = static_cast<std::uint16_t>(n % 24);
            r.recordTime.minute = static_cast<std::uint16_t>((7 * n) % 60);
            r.recordDayOfYear = r.processDayOfYear;
            r.azimuth = static_cast<std::int16_t>(90 * (n % 3));
            r.elevation = n % 3 == 0 ? 90.0f : 75.0f;
            r.pulseWidth = 700;
            r.gateCount = 3;
            for (int g = 0; g < 3; ++g) {
                r.gateVelocity[static_cast<std::size_t>(g)] = 0.5f * static_cast<float>(g + n % 3);
                r.gateSnr[static_cast<std::size_t>(g)] = 10.0f;
            }
            AccumulateRecord(j, day);
            if (readDelay.count() > 0) std::this_thread::sleep_for(readDelay);
            if (j.cancelEvent.poll()) break;
        }
        return 1;
    }

    // Reads what the review wrote, as the real consensus does.
    void consensus(ConsensusJob& j) {
        ++consensusRuns;
        if (onConsensus) onConsensus();
        float sum = 0.0f;
        for (BeamSetting* s : j.beamSettings) sum += s->consensusWindow;
        for (AveragingPeriod* p : j.periods) {
            for (BeamAccumulator* a : p->beams) sum += static_cast<float>(a->sampleCount);
        }
        windowSum += sum;
    }

    // Runs the days on a worker thread, as the dialog does; fails (and
    // stops the test program rather than hang) when the run never ends.
    int run(TimeValue begin, TimeValue end) {
        job.params.beginTime = begin;
        job.params.endTime = end;
        host.beginRun();
        int result = -1;
        job.currentDayTime = begin;
        std::thread worker([&] { result = ProcessingWorker(job); });
        if (!host.waitForEnd()) {
            ADD_FAILURE() << "the run did not end: deadlock";
            std::fflush(nullptr);
            std::abort();
        }
        worker.join();
        return result;
    }

    // What every run must leave behind.
    void expectEnded(int result) {
        EXPECT_TRUE(result == 0 || result == 1);
        EXPECT_EQ(host.lastMain(), result == 1 ? "Done." : "Operation canceled.");
        EXPECT_EQ(host.lastDetail(), "Waiting for user input.");
        EXPECT_TRUE(host.processEnabled());
        EXPECT_FALSE(host.cancelEnabled());
    }

    DialogThread dialog;
    StressHost host{dialog};
    ConsensusJob job;

    int dwellsPerDay = 12;
    int cancelAtDwell = -1;
    std::chrono::microseconds readDelay{0};
    std::function<void()> onReadCancel;
    std::function<void()> onConsensus;
    int daysRead = 0;
    int consensusRuns = 0;
    float windowSum = 0.0f;

    const TimeValue day1 = dateValue(2004, 6, 14);
    const TimeValue day3 = dateValue(2004, 6, 16);
};

TEST_F(WorkerStress, CancelWhileReadingStopsBeforeTheDaysConsensus) {
    cancelAtDwell = 5;
    onReadCancel = [this] { dialog.call([this] { job.cancelEvent.set(); }); };
    const int result = run(day1, day3);
    EXPECT_EQ(result, 0);
    expectEnded(result);
    EXPECT_EQ(daysRead, 1);
    EXPECT_EQ(consensusRuns, 0);
    EXPECT_EQ(host.reviews(), 0);  // the cancel comes before the review
    EXPECT_FALSE(job.cancelEvent.poll());

    // The next run on the same job starts clean and completes.
    cancelAtDwell = -1;
    daysRead = 0;
    EXPECT_EQ(run(day1, day3), 1);
    expectEnded(1);
    EXPECT_EQ(daysRead, 3);
    EXPECT_EQ(consensusRuns, 3);
}

TEST_F(WorkerStress, CancelDuringTheReviewEndsTheRunWithoutConsensus) {
    host.answer = ReviewAnswer::Cancel;
    const int result = run(day1, day3);
    EXPECT_EQ(result, 0);
    expectEnded(result);
    EXPECT_EQ(host.reviews(), 1);
    EXPECT_EQ(consensusRuns, 0);
    EXPECT_FALSE(job.cancelEvent.poll());
    EXPECT_FALSE(job.continueEvent.poll());
}

TEST_F(WorkerStress, ContinueAndCancelTogetherGoOnWithTheDayThenCancel) {
    // The first handle wins the wait: the day's consensus runs; the cancel
    // is then seen after the next day's reading.
    host.answer = ReviewAnswer::ContinueAndCancel;
    const int result = run(day1, day3);
    EXPECT_EQ(result, 0);
    expectEnded(result);
    EXPECT_EQ(consensusRuns, 1);
    EXPECT_EQ(daysRead, 2);
}

TEST_F(WorkerStress, CancelDuringConsensusIsSeenAfterTheNextRead) {
    onConsensus = [this] { dialog.call([this] { job.cancelEvent.set(); }); };
    const int result = run(day1, day3);
    EXPECT_EQ(result, 0);
    expectEnded(result);
    EXPECT_EQ(consensusRuns, 1);
    EXPECT_EQ(daysRead, 2);
    EXPECT_FALSE(job.cancelEvent.poll());
}

TEST_F(WorkerStress, CancelDuringTheLastDaysConsensusStillEndsDone) {
    onConsensus = [this] { dialog.call([this] { job.cancelEvent.set(); }); };
    const int result = run(day1, day1);
    EXPECT_EQ(result, 1);
    expectEnded(result);
    // The worker clears the cancel at its end, so the next run is not stopped.
    EXPECT_FALSE(job.cancelEvent.poll());
}

TEST_F(WorkerStress, CancelInThePauseAfterADayWithoutMomentsCutsItShort) {
    dwellsPerDay = 0;
    job.noMomentsPause = 10s;
    std::thread canceller([this] {
        std::this_thread::sleep_for(50ms);
        dialog.call([this] { job.cancelEvent.set(); });
    });
    const auto start = std::chrono::steady_clock::now();
    const int result = run(day1, day3);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(result, 0);
    expectEnded(result);
    EXPECT_EQ(daysRead, 2);  // acted on after the next day's reading
}

TEST_F(WorkerStress, RandomCancelsAndRadioChangesOverBackToBackRuns) {
    std::mt19937 random(20041215);
    std::atomic<bool> flipping{true};
    // Another thread flips the radio choices all the time.
    std::thread flipper([&] {
        std::mt19937 r(7);
        static constexpr InputType kInputs[] = {InputType::Ascii, InputType::Binary,
                                                InputType::None};
        static constexpr OutputKind kKinds[] = {OutputKind::Winds, OutputKind::Temperature,
                                                OutputKind::None};
        static constexpr VerticalPolicy kPolicies[] = {
            VerticalPolicy::NotUsed, VerticalPolicy::WhenAvailable, VerticalPolicy::Required};
        while (flipping.load()) {
            dialog.post([this, in = kInputs[r() % 3], kind = kKinds[r() % 3],
                         policy = kPolicies[r() % 3]] {
                host.input = in;
                host.output = kind;
                host.policy = policy;
            });
            std::this_thread::sleep_for(200us);
        }
    });

    constexpr int kRuns = 300;
    int done = 0;
    int canceled = 0;
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        // Between runs, as the dialog does before Process starts a worker.
        job.cancelEvent.reset();
        job.continueEvent.reset();
        if (random() % 4 == 0) ClearBeamSettings(job);  // a new folder: review again
        dwellsPerDay = static_cast<int>(random() % 20);
        readDelay = std::chrono::microseconds(random() % 50);
        host.answer = random() % 5 == 0 ? ReviewAnswer::Cancel : ReviewAnswer::Continue;
        const int days = 1 + static_cast<int>(random() % 4);
        TimeValue end = day1;
        addTime(end, static_cast<std::int64_t>(days - 1) * TimeUnits::day);

        // The cancel comes from the dialog's thread at a random moment, or
        // not at all.
        const bool cancel = random() % 3 != 0;
        const auto delay = std::chrono::microseconds(random() % 3000);
        std::atomic<bool> runOver{false};
        std::thread canceller([&] {
            if (!cancel) return;
            std::this_thread::sleep_for(delay);
            if (!runOver.load()) dialog.call([this] { job.cancelEvent.set(); });
        });
        const int result = run(day1, end);
        runOver = true;
        canceller.join();
        expectEnded(result);
        (result == 1 ? done : canceled)++;
    }
    flipping = false;
    flipper.join();
    dialog.call([] {});  // the radio changes still queued have run
    EXPECT_EQ(done + canceled, kRuns);
    EXPECT_GT(done, 0);
    EXPECT_GT(canceled, 0);
}

}  // namespace
}  // namespace qv
