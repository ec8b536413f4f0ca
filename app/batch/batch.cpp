#include "app/batch/batch.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/batch/console_host.h"
#include "app/batch/options.h"
#include "app/engine/engine.h"
#include "app/follow/follower.h"
#include "core/settings_csv.h"
#include "output/folder_lock.h"
#include "output/whole_file.h"
#include "core/text.h"
#include "core/version.h"
#include "core/worker.h"

namespace qv::batch {
namespace {

using namespace std::chrono_literals;

constexpr auto kPollInterval = 25ms;   // how often an interrupt is looked for
constexpr auto kFlushInterval = 100ms; // status lines coalesced over this time

// Days from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochDays = 134774;
constexpr std::uint64_t kMaxEpochSeconds = 253402300799;  // 9999-12-31 23:59:59

std::atomic<bool> gInterrupted{false};

// The first Ctrl-C (or SIGTERM) asks the run to stop after the day being
// read; a second one ends the tool at once, with its own status. Files are
// written whole, so no cut file is left behind (at most a temporary file,
// which the next run replaces).
extern "C" void onInterrupt(int) {
    if (gInterrupted.exchange(true)) ::_exit(kExitInterruptedTwice);
}

int countDays(const DateText& begin, const DateText& end) {
    TimeValue b = 0, e = 0;
    calendarToTimeValue(calendarDate(begin), b);
    calendarToTimeValue(calendarDate(end), e);
    return static_cast<int>((e - b) / static_cast<std::uint64_t>(TimeUnits::day)) + 1;
}

bool loadSettings(const std::string& path, std::vector<SettingsRow>& rows, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "The settings file '" + path + "' cannot be read.";
        return false;
    }
    return readSettingsCsv(in, path, rows, error);
}

bool saveSettings(const std::string& path, const RecordList<BeamSetting>& table,
                  std::string& error) {
    std::ostringstream out;
    writeSettingsCsv(out, table);
    return writeWholeFile(path, out.str(), error);
}

void printMissingBeams(std::ostream& err, const ConsoleHost& host) {
    err << "These beams lack a positive consensus window or threshold:\n";
    for (const std::string& beam : host.missingBeams()) err << "  " << beam << '\n';
    err << "Give them with --settings FILE, or with --window and --threshold (radar beams)\n"
           "and --rass-window and --rass-threshold (RASS beams).\n"
        << "Nothing was written for " << host.reviewDayText() << ".\n";
}

// Settings rows that match no beam although a beam of the same azimuth,
// pulse width and RASS flag lies within a degree of elevation (66.5 typed
// for a 66.4 beam): named, since the beam silently took the defaults. Rows
// of beams the run did not read at all (the wind beams of a settings file
// shared with temperature runs) are not warned about.
std::vector<std::string> nearMisses(const RecordList<BeamSetting>& table,
                                    const std::vector<SettingsRow>& rows,
                                    const std::string& source) {
    std::vector<std::string> texts;
    for (const SettingsRow& row : rows) {
        const std::vector<std::string> unmatched = unmatchedSettingsRows(table, {row}, source);
        if (unmatched.empty()) continue;
        bool near = false;
        for (const BeamSetting* s : table) {
            near = near || (s->azimuth == row.azimuth && s->pulseWidth == row.pulseWidth &&
                            s->rassFlag == row.rassFlag &&
                            std::fabs(static_cast<double>(s->elevation) -
                                      static_cast<double>(row.elevation)) < 1.0);
        }
        if (near) texts.push_back(unmatched.front());
    }
    return texts;
}

// "Wrote 4 files to out." (or "to out and nc." when they went to several
// folders).
std::string writtenSummary(const std::vector<std::string>& written) {
    std::vector<std::string> folders;
    for (const std::string& path : written) {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(folder);
        }
    }
    std::string where;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (i > 0) where += i + 1 == folders.size() ? " and " : ", ";
        where += folders[i];
    }
    return formatText("Wrote %d file%s to %s.", static_cast<int>(written.size()),
                      written.size() == 1 ? "" : "s", where.c_str());
}

// --follow: the job set up as for a run, handed to the follower until a
// signal ends it. Without --begin it starts with yesterday (UTC), so that a
// follower restarted just after midnight still finishes the day before.
int followInput(const BatchOptions& options, const BatchContext& context, ConsensusJob& job,
                const std::vector<SettingsRow>& settingsRows, const RunOutputs& outputs) {
    static const std::atomic<bool> never{false};
    follow::FollowOptions f;
    if (options.begin) {
        f.firstDay = civilDayNumber(options.begin->year, options.begin->month, options.begin->day);
    } else {
        const CalendarTime today = context.now();
        f.firstDay = civilDayNumber(today.year, today.month, today.day) - 1;
    }
    f.poll = std::chrono::milliseconds(
        static_cast<std::int64_t>(std::llround(options.pollSeconds.value_or(10.0) * 1000.0)));
    f.grace = std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(
        options.graceMinutes.value_or(static_cast<double>(*options.minutes)) * 60000.0)));
    f.statusPath = options.statusPath;
    f.settings = settingsRows;
    f.defaults.window = options.window;
    f.defaults.rassWindow = options.rassWindow;
    if (options.threshold) f.defaults.threshold = static_cast<std::int32_t>(*options.threshold);
    if (options.rassThreshold) {
        f.defaults.rassThreshold = static_cast<std::int32_t>(*options.rassThreshold);
    }
    // Each write hands on to the BUFR outbox only the periods completed since
    // the last one.
    if (!options.outputs.bufrOutboxFolder.empty() && !context.steps) {
        f.stagesFor = [outputs](const ConsensusJob& j, TimeValue after) {
            RunOutputs o = outputs;
            o.bufrOutboxAfter = after;
            return standardSteps(o).stages(j);
        };
    }
    f.input = options.inputType;
    f.kind = options.kind;
    f.policy = options.vertical;
    return follow::follow(job, f, *context.err, context.interrupted ? *context.interrupted : never);
}

}  // namespace

bool sourceDateEpochTime(const std::string& text, CalendarTime& out) {
    if (text.empty() || text.size() > 12) return false;
    std::uint64_t seconds = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        seconds = seconds * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (seconds > kMaxEpochSeconds) return false;
    const TimeValue value = kUnixEpochDays * static_cast<std::uint64_t>(TimeUnits::day) +
                            seconds * static_cast<std::uint64_t>(TimeUnits::second);
    return timeValueToCalendar(value, out);
}

const std::atomic<bool>& installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // Beyond a file-size limit a write fails (EFBIG) and the file is
    // reported as unwritten, instead of the signal ending the tool.
    std::signal(SIGXFSZ, SIG_IGN);
    return gInterrupted;
}

int runBatch(const std::vector<std::string>& args, const BatchContext& context) {
    std::ostream& err = *context.err;

    if (!args.empty() && args.front() == "--version") {
        *context.out << versionLine("quorvane-batch");
        return kExitDone;
    }
    BatchOptions options;
    std::string error;
    if (!parseArguments(args, options, error)) {
        err << error << '\n';
        return kExitUsage;
    }
    if (options.help) {
        *context.out << usageText();
        return kExitDone;
    }
    error = validateOptions(options, context.now().year);
    if (!error.empty()) {
        err << error << '\n';
        return kExitUsage;
    }

    std::optional<CalendarTime> fixedClock;
    if (context.sourceDateEpoch && !context.sourceDateEpoch->empty()) {
        CalendarTime stamp;
        if (!sourceDateEpochTime(*context.sourceDateEpoch, stamp)) {
            err << "Invalid SOURCE_DATE_EPOCH '" << *context.sourceDateEpoch
                << "' (seconds since 1970-01-01 00:00:00 UTC are expected).\n";
            return kExitUsage;
        }
        fixedClock = stamp;
    }

    ConsoleConfig config;
    config.input = options.inputType;
    config.kind = options.kind;
    config.policy = options.vertical;
    config.quiet = options.quiet;
    config.terminal = context.terminal;
    config.width = context.terminalWidth;
    config.totalDays = options.follow ? 1 : countDays(*options.begin, *options.end);
    config.defaults.window = options.window;
    config.defaults.rassWindow = options.rassWindow;
    if (options.threshold) config.defaults.threshold = static_cast<std::int32_t>(*options.threshold);
    if (options.rassThreshold) {
        config.defaults.rassThreshold = static_cast<std::int32_t>(*options.rassThreshold);
    }
    if (!options.settingsPath.empty() && !loadSettings(options.settingsPath, config.settings, error)) {
        err << error << '\n';
        return kExitUsage;
    }

    if (!options.saveSettingsPath.empty() && looksLikeMomentFile(options.saveSettingsPath)) {
        err << "--save-settings " << options.saveSettingsPath
            << ": the file is not a settings file; it is not overwritten.\n";
        return kExitUsage;
    }

    // A missing output folder is made when the folder it goes in exists;
    // otherwise nothing is read for files that could not be written.
    if (std::string why; !makeOutputFolder(options.outputPath, why)) {
        err << why << '\n';
        return kExitUsage;
    }
    // One run at a time writes into a folder: two would interleave periods.
    std::unique_ptr<OutputFolderLock> lock;
    std::string lockMessage;
    const LockResult locked = OutputFolderLock::acquire(options.outputPath, lock, lockMessage);
    if (locked == LockResult::InUse) {
        err << lockMessage << '\n';
        return kExitFolderInUse;
    }
    // A folder that cannot be locked (not a folder, read-only) is said
    // before anything is read.
    if (locked == LockResult::CannotLock) {
        err << lockMessage << '\n';
        return kExitUsage;
    }
    std::vector<std::unique_ptr<OutputFolderLock>> otherLocks;
    const std::string webFolder = options.outputs.web ? options.outputs.web->folder : "";
    for (const std::string& folder : {options.outputs.netcdfFolder, webFolder}) {
        if (folder.empty() || folder == options.outputPath) continue;
        if (std::string why; !makeOutputFolder(folder, why)) {
            err << why << '\n';
            return kExitUsage;
        }
        std::unique_ptr<OutputFolderLock> other;
        const LockResult otherLocked = OutputFolderLock::acquire(folder, other, lockMessage);
        if (otherLocked == LockResult::InUse) {
            err << lockMessage << '\n';
            return kExitFolderInUse;
        }
        if (otherLocked == LockResult::CannotLock) {
            err << lockMessage << '\n';
            return kExitUsage;
        }
        otherLocks.push_back(std::move(other));
    }
    // The BUFR outbox is made as the output folder is, but not locked: the
    // site's forwarding system takes files out of it.
    if (std::string why; !options.outputs.bufrOutboxFolder.empty() &&
                         !makeOutputFolder(options.outputs.bufrOutboxFolder, why)) {
        err << why << '\n';
        return kExitUsage;
    }
    // The web site's day pages and data go into its days folder.
    if (!webFolder.empty()) {
        std::error_code made;
        std::filesystem::create_directory(std::filesystem::path(webFolder) / "days", made);
        if (made) {
            err << "--web " << webFolder << ": the folder days cannot be made in it ("
                << made.message() << ").\n";
            return kExitUsage;
        }
    }

    const std::vector<SettingsRow> settingsRows = config.settings;
    ConsoleHost host(std::move(config));
    ConsensusJob job;
    job.host = &host;
    job.noMomentsPause = std::chrono::milliseconds(0);  // nobody needs time to read it
    if (fixedClock) job.clock = [stamp = *fixedClock] { return stamp; };

    RunParameters& p = job.params;
    if (!options.follow) {
        calendarToTimeValue(calendarDate(*options.begin), p.beginTime);
        calendarToTimeValue(calendarDate(*options.end), p.endTime);
    }
    p.inputPath = options.inputPath;
    p.outputPath = options.outputPath;
    p.siteId = options.siteId;
    p.dataSourceText = options.dataSource;
    p.outputKindText = options.kind == OutputKind::Winds ? "Winds" : "Temperature";
    p.averagingMinutes = static_cast<std::int32_t>(*options.minutes);
    p.correctedWinds = options.correctedWinds;
    RunOutputs outputs = options.outputs;
    // A followed site's index reloads itself, about as often as it can change.
    if (options.follow && outputs.web) {
        outputs.web->refreshSeconds =
            static_cast<int>(std::clamp(options.pollSeconds.value_or(10.0), 30.0, 600.0));
    }
    outputs.history = "quorvane-batch";
    for (const std::string& arg : args) outputs.history += " " + arg;

    job.steps = context.steps ? *context.steps : standardSteps(outputs);
    if (options.follow) return followInput(options, context, job, settingsRows, outputs);
    announceDays(job.steps, [&host](const CalendarTime& day) { host.beginDay(day); });

    std::thread worker = startProcessing(job);
    bool cancelSent = false;
    auto lastFlush = std::chrono::steady_clock::now() - kFlushInterval;
    while (!host.waitForRunEnd(kPollInterval)) {
        if (!cancelSent && context.interrupted && context.interrupted->load()) {
            job.cancelEvent.set();
            cancelSent = true;
            host.notice("Interrupted: the run stops when the current day's reading ends.");
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastFlush >= kFlushInterval) {
            host.flush(err);
            lastFlush = now;
        }
    }
    worker.join();
    host.finish(err);

    const RunOutcome& outcome = host.outcome();
    std::vector<UnwrittenFile> unwritten = outcome.unwritten;
    if (!options.saveSettingsPath.empty()) {
        if (job.beamSettings.empty()) {
            err << "No beams were found: " << options.saveSettingsPath << " was not written.\n";
        } else if (std::string why; !saveSettings(options.saveSettingsPath, job.beamSettings, why)) {
            FileReport lost;
            lost.lost(options.saveSettingsPath, why);
            unwritten.push_back(lost.unwritten.front());
        }
    }
    const bool stoppedForSettings = outcome.status == RunOutcome::Status::SettingsMissing;
    if (host.reviewed()) {
        for (const std::string& row : nearMisses(job.beamSettings, settingsRows, options.settingsPath)) {
            err << "Warning: " << row << ".\n";
        }
    }
    if (!unwritten.empty()) {
        err << "These output files could not be written:\n";
        for (const UnwrittenFile& file : unwritten) {
            err << "  " << file.path << ": " << file.reason << '\n';
        }
    }
    if (!outcome.incompleteDays.empty()) {
        err << "These days were not processed in full:\n";
        for (const std::string& day : outcome.incompleteDays) err << "  " << day << '\n';
    }

    if (stoppedForSettings) {
        printMissingBeams(err, host);
        return kExitSettings;
    }
    if (outcome.status == RunOutcome::Status::Cancelled) return kExitInterrupted;
    if (!outcome.nothingWrittenReason.empty()) {
        err << "Nothing was written. " << outcome.nothingWrittenReason << '\n';
        return kExitNothingWritten;
    }
    if (!options.quiet && !outcome.written.empty()) {
        err << writtenSummary(outcome.written) << '\n';
    }
    if (!unwritten.empty()) return kExitUnwritten;
    if (!outcome.incompleteDays.empty()) return kExitIncompleteDays;
    return kExitDone;
}

}  // namespace qv::batch
