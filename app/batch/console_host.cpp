#include "app/batch/console_host.h"

#include <algorithm>

#include "core/text.h"

namespace qv::batch {
namespace {

constexpr int kBarCells = 20;
constexpr const char* kClearLine = "\r\033[K";

}  // namespace

ConsoleHost::ConsoleHost(ConsoleConfig config) : config_(std::move(config)) {}

void ConsoleHost::push(Kind kind, std::string text) {
    queue_.push_back(Entry{kind, std::move(text)});
}

void ConsoleHost::setStatusMain(const std::string& text) {
    std::lock_guard<std::mutex> g(m_);
    if (text == lastMain_) return;
    lastMain_ = text;
    push(Kind::Main, text);
}

void ConsoleHost::setStatusDetail(const std::string& text) {
    std::lock_guard<std::mutex> g(m_);
    if (text == lastDetail_) return;
    lastDetail_ = text;
    // A day without moments repeats the reader's error as its detail line;
    // it was printed already.
    if (!text.empty() && text == lastError_) return;
    if (!queue_.empty() && queue_.back().kind == Kind::Detail) {
        queue_.back().text = text;  // coalesced: the latest text wins
    } else {
        push(Kind::Detail, text);
    }
}

void ConsoleHost::setProcessEnabled(bool) {}

void ConsoleHost::runEnded() {
    {
        std::lock_guard<std::mutex> g(m_);
        runEnded_ = true;
    }
    ended_.notify_all();
}

void ConsoleHost::setCancelEnabled(bool) {}

void ConsoleHost::beginDay(const CalendarTime& day) {
    std::lock_guard<std::mutex> g(m_);
    ++daysStarted_;
    push(Kind::Line, formatText("Day %04d-%02d-%02d (%d of %d)", day.year, day.month, day.day,
                                daysStarted_, config_.totalDays));
}

void ConsoleHost::reviewSettings(ConsensusJob& job) {
    const bool later = reviewed_;  // a day brought beams without settings
    const std::vector<const BeamSetting*> missing =
        reviewTable(job.beamSettings, config_.settings, config_.defaults);
    const std::vector<std::string> table = settingsTableLines(job.beamSettings);
    reviewed_ = true;
    reviewDay_ = formatText("%04d-%02d-%02d", job.currentDay.year, job.currentDay.month,
                            job.currentDay.day);
    {
        std::lock_guard<std::mutex> g(m_);
        push(Kind::Line, later ? "Consensus settings, with the beams first seen on " +
                                     reviewDay_ + ":"
                               : std::string("Consensus settings:"));
        for (const std::string& line : table) push(Kind::Line, "  " + line);
    }
    if (missing.empty()) {
        job.continueEvent.set();
        return;
    }
    // A beam without a window or threshold: stop before the day's consensus.
    reviewStopped_ = true;
    for (const BeamSetting* beam : missing) missingBeams_.push_back(describeMissingBeam(*beam));
    job.cancelEvent.set();
}

void ConsoleHost::reportError(const std::string& text) {
    std::lock_guard<std::mutex> g(m_);
    lastError_ = text;
    push(Kind::Error, text);
}

void ConsoleHost::reportOutcome(const RunOutcome& outcome) {
    std::lock_guard<std::mutex> g(m_);
    outcome_ = outcome;
}

bool ConsoleHost::waitForRunEnd(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_);
    return ended_.wait_for(lock, timeout, [this] { return runEnded_; });
}

void ConsoleHost::notice(const std::string& text) {
    std::lock_guard<std::mutex> g(m_);
    push(Kind::Error, text);
}

std::string ConsoleHost::barText() const {
    const int total = std::max(1, config_.totalDays);
    int done = std::max(0, daysStarted_ - 1);
    if (runEnded_) done = outcome_.status == RunOutcome::Status::Done ? total : done;
    done = std::min(done, total);
    const int filled = done * kBarCells / total;
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kBarCells - filled), '-') + "] ";
    bar += formatText("%d/%d days", done, total);
    if (!runEnded_ && !barDetail_.empty()) bar += "  " + barDetail_;
    const std::size_t limit = static_cast<std::size_t>(std::max(20, config_.width - 1));
    if (bar.size() > limit) bar.resize(limit);
    return bar;
}

void ConsoleHost::printEntries(std::ostream& err, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        switch (e.kind) {
        case Kind::Error:
            err << e.text << '\n';
            break;
        case Kind::Main:
        case Kind::Line:
            if (!config_.quiet) err << e.text << '\n';
            break;
        case Kind::Detail:
            if (config_.terminal) {
                barDetail_ = e.text;  // shown on the bar, not as a line
            } else if (!config_.quiet && !e.text.empty()) {
                err << "  " << e.text << '\n';
            }
            break;
        }
    }
}

void ConsoleHost::flush(std::ostream& err) {
    std::vector<Entry> entries;
    std::string bar;
    {
        std::lock_guard<std::mutex> g(m_);
        entries.swap(queue_);
    }
    const bool drawBar = config_.terminal && !config_.quiet;
    if (drawBar && barShown_ && !entries.empty()) err << kClearLine;
    printEntries(err, entries);
    if (drawBar) {
        {
            std::lock_guard<std::mutex> g(m_);
            bar = barText();
        }
        err << kClearLine << bar;
        barShown_ = true;
    }
    err.flush();
}

void ConsoleHost::finish(std::ostream& err) {
    flush(err);
    if (config_.terminal && !config_.quiet && barShown_) err << '\n';
    barShown_ = false;
    err.flush();
}

}  // namespace qv::batch
