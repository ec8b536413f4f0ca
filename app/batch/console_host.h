// The batch tool's side of the host seam: answers the worker from the
// command line, performs the settings review without a dialog, and turns
// the status lines into text on a stream.
//
// The worker thread only queues; the driver's thread prints (flush), so the
// worker never waits for the terminal. Main status lines are few and all
// kept; detail lines change with every dwell and are coalesced (the latest
// text wins until the next flush).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "core/settings_csv.h"
#include "core/host.h"
#include "core/job.h"

namespace qv::batch {

struct ConsoleConfig {
    InputType input = InputType::Binary;
    OutputKind kind = OutputKind::Winds;
    VerticalPolicy policy = VerticalPolicy::WhenAvailable;
    bool quiet = false;     // no status lines, no progress bar
    bool terminal = false;  // draw a progress bar and keep detail texts on it
    int width = 80;         // terminal columns
    int totalDays = 1;
    std::vector<SettingsRow> settings;
    ReviewDefaults defaults;
};

class ConsoleHost : public ProcessingHost {
public:
    explicit ConsoleHost(ConsoleConfig config);

    // ProcessingHost, called on the worker thread.
    void setStatusMain(const std::string& text) override;
    void setStatusDetail(const std::string& text) override;
    void setProcessEnabled(bool enabled) override;
    void runEnded() override;
    void setCancelEnabled(bool enabled) override;
    InputType inputType() override { return config_.input; }
    OutputKind outputKind() override { return config_.kind; }
    VerticalPolicy verticalPolicy() override { return config_.policy; }
    void reviewSettings(ConsensusJob& job) override;
    void reportError(const std::string& text) override;
    void reportOutcome(const RunOutcome& outcome) override;

    // Called by the day's read step before the reader runs.
    void beginDay(const CalendarTime& day);

    // Driver side. Waits up to `timeout` for the worker to end its run;
    // true once it has.
    bool waitForRunEnd(std::chrono::milliseconds timeout);
    // A line of the driver's own, printed even with --quiet.
    void notice(const std::string& text);
    // Prints what was queued since the last flush, and the progress bar.
    void flush(std::ostream& err);
    // The last flush: everything still queued, then the bar in its final
    // state on a line of its own.
    void finish(std::ostream& err);

    // Results, read after the worker thread has been joined. The review day
    // is that of the last review: the first, or a later day that brought
    // beams without settings (the day a stop for settings leaves unwritten).
    bool reviewStopped() const { return reviewStopped_; }
    const std::vector<std::string>& missingBeams() const { return missingBeams_; }
    const std::string& reviewDayText() const { return reviewDay_; }
    bool reviewed() const { return reviewed_; }
    const RunOutcome& outcome() const { return outcome_; }

private:
    enum class Kind { Main, Detail, Line, Error };
    struct Entry {
        Kind kind;
        std::string text;
    };

    void push(Kind kind, std::string text);  // caller holds m_
    std::string barText() const;             // caller holds m_
    void printEntries(std::ostream& err, const std::vector<Entry>& entries);

    const ConsoleConfig config_;

    std::mutex m_;
    std::condition_variable ended_;
    std::vector<Entry> queue_;
    std::string lastMain_;
    std::string lastDetail_;
    std::string lastError_;
    std::string barDetail_;
    int daysStarted_ = 0;
    bool runEnded_ = false;
    bool barShown_ = false;

    // Written on the worker thread, read after the join.
    bool reviewed_ = false;
    bool reviewStopped_ = false;
    std::vector<std::string> missingBeams_;
    std::string reviewDay_;
    RunOutcome outcome_;
};

}  // namespace qv::batch
