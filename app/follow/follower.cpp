#include "app/follow/follower.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <map>
#include <thread>

#include "app/follow/follow_status.h"
#include "app/follow/period_completion.h"
#include "core/text.h"
#include "core/worker.h"
#include "input/file_lookup.h"
#include "input/input_names.h"
#include "output/whole_file.h"

namespace qv::follow {
namespace {

using namespace std::chrono_literals;
using SystemClock = std::chrono::system_clock;

// The worker's host seam, answered from the options: no status lines, no
// review (the follower reviews the table itself), and the readers' reports
// kept for the day they belong to.
class FollowHost final : public ProcessingHost {
public:
    explicit FollowHost(const FollowOptions& o) : options_(o) {}
    void setStatusMain(const std::string&) override {}
    void setStatusDetail(const std::string&) override {}
    void setProcessEnabled(bool) override {}
    void setCancelEnabled(bool) override {}
    InputType inputType() override { return options_.input; }
    OutputKind outputKind() override { return options_.kind; }
    VerticalPolicy verticalPolicy() override { return options_.policy; }
    void reviewSettings(ConsensusJob& job) override { job.continueEvent.set(); }
    void reportError(const std::string& text) override { reports.push_back(text); }
    void reportOutcome(const RunOutcome&) override {}
    void runEnded() override {}

    std::vector<std::string> reports;  // of the latest read

private:
    const FollowOptions& options_;
};

// An input file as one poll saw it.
struct SeenFile {
    std::string path;
    std::int64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since 1970, the machine's clock
    bool operator==(const SeenFile&) const = default;
};

// The input folder's moment files, by civil day number.
using InputDays = std::map<std::int64_t, std::vector<std::string>>;

// The complete periods of a write, for telling what is new: key and dwells.
using PeriodSignature = std::vector<std::pair<std::string, std::int64_t>>;

TimeValue dayStart(std::int64_t day) {
    TimeValue value = 0;
    calendarToTimeValue(civilDate(day), value);
    return value;
}

std::string dataTimeText(TimeValue time) {
    CalendarTime c;
    return timeValueToCalendar(time, c) ? isoDateTime(c) : std::string();
}

std::int64_t nanosecondsSinceEpoch(SystemClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

std::string machineTimeText() { return isoDateTime(systemUtcNow()); }

class Follower {
public:
    Follower(ConsensusJob& job, const FollowOptions& options, std::ostream& log,
             const std::atomic<bool>& stop)
        : job_(job), options_(options), log_(log), stop_(stop), host_(options),
          day_(options.firstDay) {
        job_.host = &host_;
        status_.kind = options.kind == OutputKind::Winds ? "winds" : "temperature";
    }

    int run() {
        say(formatText("following %s from %s (poll %.3g s, grace %.3g min)",
                       job_.params.inputPath.c_str(), isoDate(civilDate(day_)).c_str(),
                       static_cast<double>(options_.poll.count()) / 1000.0,
                       static_cast<double>(options_.grace.count()) / 60000.0));
        if (!options_.statusPath.empty()) resumeFromStatus();
        while (!stop_.load() && !fatal_) {
            advanced_ = false;
            poll();
            writeStatus();
            if (!advanced_) pause();
        }
        status_.state = "stopped";
        writeStatus();
        say(fatal_ ? "stopped by the error above" : "stopped");
        return exit_;
    }

private:
    void poll() {
        status_.followedDay = isoDate(civilDate(day_));
        InputDays days;
        if (!listInput(days)) return;
        const auto later = [&days](std::int64_t day) {
            const auto it = days.upper_bound(day);
            return it == days.end() ? std::optional<std::int64_t>() : it->first;
        };
        if (!days.count(day_)) {
            // A day without input is passed over once a later day has some.
            if (const auto next = later(day_)) {
                moveTo(*next);
                advanced_ = true;
            } else {
                status_.state = "waiting for input";
            }
            return;
        }
        status_.state = "following";
        const auto next = later(day_);
        if (next && *next > day_ + 1) {
            // Catching up: a later day than the next has input, so this one
            // is over whatever its next day holds.
            if (readDay()) finishDay("");
            advanced_ = true;
            return;
        }

        const std::vector<SeenFile> files = look(days);
        const bool grown = files != seen_;
        seen_ = files;
        std::int64_t newest = 0;
        for (const SeenFile& f : files) newest = std::max(newest, f.modified);
        const bool quiet = !grown && nanosecondsSinceEpoch(SystemClock::now()) - newest >=
                                         std::chrono::nanoseconds(options_.grace).count();
        if (read_ && files == readFiles_ && quiet == readQuiet_) return;  // nothing new
        if (!readDay()) return;
        read_ = true;
        readFiles_ = files;
        readQuiet_ = quiet;

        // Midnight: the day is over once the next day's input holds a dwell
        // of its own day, or has stopped growing.
        if (next && (job_.lastDwellTime >= dayStart(day_ + 1) || quiet)) {
            // The next day's files may still be growing: what their last
            // bytes lack is not yet written, and is that day's to report.
            if (!quiet) dropReportsOn(days.at(*next));
            finishDay(quiet ? quietReason() : "");
            advanced_ = true;
            return;
        }
        writeCompletePeriods(quiet);
    }

    bool listInput(InputDays& days) {
        namespace fs = std::filesystem;
        const int nearYear = civilDate(day_).year;
        std::error_code ec;
        fs::directory_iterator it(job_.params.inputPath, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            std::error_code typeError;
            if (!it->is_regular_file(typeError)) continue;
            const std::string name = it->path().filename().string();
            if (const auto day = inputNameDay(name, options_.input, options_.kind,
                                              job_.params.siteId, nearYear)) {
                days[*day].push_back(joinInputPath(job_.params.inputPath, name));
            }
        }
        if (ec) {
            problem("The input folder " + job_.params.inputPath + " cannot be read (" +
                    ec.message() + ").");
            status_.state = "waiting for input";
            return false;
        }
        if (listingProblem_) {
            status_.error.clear();
            listingProblem_ = false;
        }
        return true;
    }

    // The files a read of the followed day opens: its own and the next day's.
    std::vector<SeenFile> look(const InputDays& days) const {
        std::vector<SeenFile> files;
        for (const std::int64_t day : {day_, day_ + 1}) {
            const auto it = days.find(day);
            if (it == days.end()) continue;
            for (const std::string& path : it->second) {
                struct stat st {};
                if (::stat(path.c_str(), &st) != 0) continue;
                files.push_back({path, static_cast<std::int64_t>(st.st_size),
                                 std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 +
                                     st.st_mtim.tv_nsec});
            }
        }
        return files;
    }

    void dropReportsOn(const std::vector<std::string>& paths) {
        std::erase_if(host_.reports, [&paths](const std::string& text) {
            return std::any_of(paths.begin(), paths.end(), [&text](const std::string& path) {
                const std::size_t slash = path.rfind('/');
                return text.find(slash == std::string::npos ? path : path.substr(slash + 1)) !=
                       std::string::npos;
            });
        });
    }

    // Reads the day afresh and reviews its beams. False when a beam lacks
    // settings: the follower then stops, as a run does.
    bool readDay() {
        readStarted_ = std::chrono::steady_clock::now();
        host_.reports.clear();
        job_.incompleteDays.clear();
        ClearBeamSettings(job_);  // a day's modes in its own order, whatever came before
        job_.lastDwellTime = 0;
        job_.currentDayTime = dayStart(day_);
        readCurrentDay(job_);
        if (job_.lastDwellTime > 0) status_.lastDwellRead = dataTimeText(job_.lastDwellTime);
        if (!job_.record.stationName.empty()) status_.station = displayText(job_.record.stationName);

        const std::vector<const BeamSetting*> missing =
            reviewTable(job_.beamSettings, options_.settings, options_.defaults);
        if (missing.empty()) return true;
        std::string text = "These beams lack a positive consensus window or threshold:";
        for (const BeamSetting* beam : missing) text += " " + describeMissingBeam(*beam) + ";";
        text += " give them with --settings, or --window and --threshold.";
        problem(text);
        fatal_ = true;
        exit_ = kFollowSettingsMissing;
        return false;
    }

    // The day is over: its outputs with every period, as a run over
    // finished days makes them, and the readers' reports of it.
    void finishDay(const std::string& why) {
        const std::string day = isoDate(civilDate(day_));
        const int periods = static_cast<int>(job_.periods.count());
        if (periods > 0) {
            bool made = false;
            const FileReport report = writeDay(made);
            if (!report.written.empty()) periodsWrittenUntil(dayStart(day_ + 1));
            sayNewPeriods(signatureOfStore(), report, why);
            say(formatText("day %s finished: %d period%s, %d file%s written", day.c_str(), periods,
                           periods == 1 ? "" : "s", static_cast<int>(report.written.size()),
                           report.written.size() == 1 ? "" : "s") +
                (made ? "" : " (no period gave a profile)"));
        } else {
            say("day " + day + " finished: no moments");
        }
        for (const std::string& text : host_.reports) say(day + ": " + text);
        moveTo(day_ + 1);
    }

    // The followed day's outputs with its complete periods, when they are
    // not those written last.
    void writeCompletePeriods(bool quiet) {
        const TimeValue start = dayStart(day_);
        const int minutes = job_.params.averagingMinutes;
        if (!quiet) {
            DropPeriods(job_, [&](const AveragingPeriod& p) {
                return !periodComplete(periodEnd(p.key, start, minutes), start, job_.lastDwellTime);
            });
        }
        PeriodSignature signature = signatureOfStore();
        if (signature == written_) return;
        TimeValue lastEnd = 0;
        for (const AveragingPeriod* p : job_.periods) {
            lastEnd = std::max(lastEnd, periodEnd(p->key, start, minutes));
        }

        bool made = false;
        const FileReport report = writeDay(made);
        sayNewPeriods(signature, report, quiet ? quietReason() : "");
        if (!report.written.empty()) periodsWrittenUntil(lastEnd);
        written_ = std::move(signature);
    }

    std::string quietReason() const {
        return formatText(", input quiet for %.3g min",
                          static_cast<double>(options_.grace.count()) / 60000.0);
    }

    PeriodSignature signatureOfStore() const {
        PeriodSignature signature;
        for (const AveragingPeriod* p : job_.periods) {
            std::int64_t dwells = 0;
            for (const BeamAccumulator* a : p->beams) dwells += a->sampleCount;
            signature.emplace_back(p->key, dwells);
        }
        return signature;
    }

    // One log line per period that the day's last write did not hold.
    void sayNewPeriods(const PeriodSignature& signature, const FileReport& report,
                       const std::string& why) {
        const std::string day = isoDate(civilDate(day_));
        // How long the read, the consensus and the writes took: the delay
        // from a poll that finds a period complete to its files whole.
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                                             readStarted_).count();
        const std::string files =
            formatText(" (%d file%s in %.2f s)", static_cast<int>(report.written.size()),
                       report.written.size() == 1 ? "" : "s", seconds);
        for (const auto& period : signature) {
            const std::string& key = period.first;
            const bool known = std::any_of(written_.begin(), written_.end(),
                                           [&](const auto& w) { return w.first == key; });
            if (!known) {
                say("period " + day + " " + periodLabel(key.c_str(), job_.params.averagingMinutes) +
                    " written" + files + why);
            }
        }
    }

    // The day's outputs from the periods the store holds, written whole.
    FileReport writeDay(bool& made) {
        FileReport report;
        std::unique_ptr<DayStages> stages =
            options_.stagesFor ? options_.stagesFor(job_, handedOnUntil_)
            : job_.steps.stages ? job_.steps.stages(job_)
                                : nullptr;
        made = stages && stages->processDay(job_, options_.kind, report);
        if (stages) stages->finish(report);
        status_.filesWritten = report.written;
        for (const UnwrittenFile& file : report.unwritten) {
            problem(file.path + " could not be written: " + file.reason);
        }
        if (report.unwritten.empty() && !listingProblem_) status_.error.clear();
        return report;
    }

    // The periods up to `end` (data time) are written: the status says so,
    // and the next write hands on only later ones.
    void periodsWrittenUntil(TimeValue end) {
        status_.lastPeriodWritten = dataTimeText(end);
        handedOnUntil_ = std::max(handedOnUntil_, end);
    }

    // A restarted follower hands on only the periods after the last one its
    // status file names.
    void resumeFromStatus() {
        std::ifstream in(options_.statusPath);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string key = "\"last_period_written\": \"";
        const std::size_t at = text.find(key);
        if (at == std::string::npos) return;
        CalendarTime t;
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        if (std::sscanf(text.c_str() + at + key.size(), "%4d-%2d-%2dT%2d:%2d:%2dZ", &year, &month,
                        &day, &hour, &minute, &second) != 6 ||
            !isCalendarDate(year, month, day) || hour > 23 || minute > 59 || second > 59) {
            return;
        }
        t = civilDate(civilDayNumber(year, month, day));
        t.hour = static_cast<std::uint16_t>(hour);
        t.minute = static_cast<std::uint16_t>(minute);
        t.second = static_cast<std::uint16_t>(second);
        TimeValue end = 0;
        if (calendarToTimeValue(t, end)) periodsWrittenUntil(end);
    }

    void moveTo(std::int64_t day) {
        day_ = day;
        seen_.clear();
        readFiles_.clear();
        read_ = false;
        written_.clear();
        status_.followedDay = isoDate(civilDate(day_));
    }

    void pause() {
        const auto until = std::chrono::steady_clock::now() + options_.poll;
        while (!stop_.load()) {
            const auto left = until - std::chrono::steady_clock::now();
            if (left <= 0ms) return;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, 100ms));
        }
    }

    void problem(const std::string& text) {
        if (text != status_.error) say(text);
        status_.error = text;
        listingProblem_ = text.rfind("The input folder", 0) == 0;
    }

    void say(const std::string& text) {
        log_ << machineTimeText() << ' ' << text << '\n' << std::flush;
    }

    void writeStatus() {
        if (options_.statusPath.empty()) return;
        status_.updated = machineTimeText();
        std::string error;
        if (!writeWholeFile(options_.statusPath, statusJson(status_), error)) {
            if (!statusProblem_) say("The status file could not be written: " + error);
            statusProblem_ = true;
        } else {
            statusProblem_ = false;
        }
    }

    ConsensusJob& job_;
    const FollowOptions& options_;
    std::ostream& log_;
    const std::atomic<bool>& stop_;
    FollowHost host_;

    std::int64_t day_;
    std::vector<SeenFile> seen_;       // at the last poll
    std::vector<SeenFile> readFiles_;  // at the last read
    bool readQuiet_ = false;
    std::chrono::steady_clock::time_point readStarted_;
    bool read_ = false;
    PeriodSignature written_;  // the periods of the day's last write
    TimeValue handedOnUntil_ = 0;  // the end of the last period written, data time
    FollowStatus status_;
    bool advanced_ = false;
    bool fatal_ = false;
    bool listingProblem_ = false;
    bool statusProblem_ = false;
    int exit_ = kFollowStopped;
};

}  // namespace

int follow(ConsensusJob& job, const FollowOptions& options, std::ostream& log,
           const std::atomic<bool>& stop) {
    return Follower(job, options, log, stop).run();
}

}  // namespace qv::follow
