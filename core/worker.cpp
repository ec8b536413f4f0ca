#include "core/worker.h"

#include "core/settings_csv.h"
#include "core/text.h"

namespace qv {
namespace {

// What the run met, for the reason a run wrote nothing.
struct RunTally {
    int daysWithMoments = 0;
    OutputKind lastKind = OutputKind::None;
    std::string lastReaderError;
};

void takeReport(ConsensusJob& job, FileReport& report) {
    for (const std::string& path : report.written) job.recordWritten(path);
    // Listed with their reasons in the run's outcome.
    for (const UnwrittenFile& file : report.unwritten) job.recordUnwritten(file.path, file.reason);
    report = FileReport{};
}

std::string dateText(const CalendarTime& day) {
    return formatText("%02d/%02d/%02d", day.month, day.day, day.year % 100);
}

// Why a finished run wrote no file at all: no moments on any day (with the
// last reason a reader gave), or moments that gave no complete period.
std::string nothingWrittenReason(const ConsensusJob& job, const RunTally& tally) {
    CalendarTime first, last;
    timeValueToCalendar(job.params.beginTime, first);
    timeValueToCalendar(job.params.endTime, last);
    const std::string dates = compareTimeValues(job.params.beginTime, job.params.endTime) == 0
                                  ? "on " + dateText(first)
                                  : "from " + dateText(first) + " to " + dateText(last);
    if (tally.daysWithMoments == 0) {
        std::string reason = "No moments were found in " + job.params.inputPath + " " + dates + ".";
        if (!tally.lastReaderError.empty()) reason += "\n" + tally.lastReaderError;
        return reason;
    }
    if (tally.lastKind == OutputKind::Temperature) {
        return "The moments read " + dates +
               " gave no averaging period with a RASS beam, so no temperature file was made.";
    }
    return "The moments read " + dates +
           " gave no averaging period with two oblique beams and a vertical beam of one pulse "
           "width, so no wind file was made.";
}

void finishRun(ConsensusJob& job, DayStages* stages, RunOutcome::Status status,
               const RunTally& tally) {
    FileReport report;
    if (stages) stages->finish(report);
    takeReport(job, report);

    RunOutcome outcome;
    outcome.status = status;
    outcome.written = job.writtenPaths;
    outcome.unwritten = job.unwrittenFiles;
    outcome.incompleteDays = job.incompleteDays;
    if (status == RunOutcome::Status::SettingsMissing) {
        for (const BeamSetting* s : job.beamSettings) {
            if (!hasConsensusSettings(*s)) outcome.missingBeams.push_back(describeMissingBeam(*s));
        }
    }
    if (status == RunOutcome::Status::Done && outcome.written.empty() &&
        outcome.unwritten.empty()) {
        outcome.nothingWrittenReason = nothingWrittenReason(job, tally);
    }
    if (job.host) job.host->reportOutcome(outcome);
}

// True when a beam of the table lacks a window or threshold in range: before
// a review, a beam the review has yet to see; after it, a beam the consensus
// must not be run with.
bool settingsMissing(const ConsensusJob& job) {
    for (const BeamSetting* s : job.beamSettings) {
        if (!hasConsensusSettings(*s)) return true;
    }
    return false;
}

}  // namespace

void readCurrentDay(ConsensusJob& job) {
    ClearPeriodStore(job);
    job.dayError.clear();
    timeValueToCalendar(job.currentDayTime, job.currentDay);

    const InputType input = job.inputType();
    if (input == InputType::Binary) {
        if (job.steps.readBinary) job.steps.readBinary(job, job.currentDay);
    } else if (input == InputType::Ascii) {
        if (job.steps.readAscii) job.steps.readAscii(job, job.currentDay);
    }
}

int ProcessingWorker(ConsensusJob& job) {
    ProcessingHost* host = job.host;
    bool reviewPending = true;
    RunTally tally;
    RunOutcome::Status stopped = RunOutcome::Status::Cancelled;
    job.unwrittenFiles.clear();
    job.writtenPaths.clear();
    job.incompleteDays.clear();

    std::unique_ptr<DayStages> stages = job.steps.stages ? job.steps.stages(job) : nullptr;
    FileReport report;

    host->setProcessEnabled(false);
    host->setCancelEnabled(true);

    while (compareTimeValues(job.currentDayTime, job.params.endTime) <= 0) {
        readCurrentDay(job);
        if (!job.dayError.empty()) tally.lastReaderError = job.dayError;

        if (job.cancelEvent.poll()) goto cancelled;

        // The table is reviewed after the first day that holds beams, and
        // again on any later day that brings beams without a window or a
        // threshold (the review then asks for those).
        if ((reviewPending && !job.beamSettings.empty()) || settingsMissing(job)) {
            host->reviewSettings(job);
            const bool cancelledInReview =
                Event::waitEither(job.continueEvent, job.cancelEvent) == 1;
            reviewPending = false;
            // No beam is consensed without a window and a threshold: a review
            // that leaves one without them stops the run before the day's
            // consensus, whether the host cancelled for it or went on.
            if (settingsMissing(job)) {
                stopped = RunOutcome::Status::SettingsMissing;
                goto cancelled;
            }
            if (cancelledInReview) goto cancelled;
        }

        if (!job.periods.empty()) {
            ++tally.daysWithMoments;
            const OutputKind kind = job.outputKind();
            tally.lastKind = kind;
            const bool made = stages && stages->processDay(job, kind, report);
            if (!made && kind == OutputKind::Winds) {
                job.statusText = formatText(
                    "No wind file for %s: no averaging period held two oblique beams and a "
                    "vertical beam of one pulse width.",
                    dateText(job.currentDay).c_str());
                host->reportError(job.statusText);
            }
            takeReport(job, report);
            job.showMain("Done.");
            job.showDetail("Waiting for user input.");
        } else {
            job.statusText = formatText("No moments available on %02d/%02d/%02d.",
                                        job.currentDay.month, job.currentDay.day,
                                        job.currentDay.year % 100);
            job.showMain(job.statusText);
            // The reason, when a reader gave one, rather than an empty line.
            job.showDetail(job.dayError);
            if (job.noMomentsPause.count() > 0) {
                // A cancel cuts the pause short; it is acted on after the next read.
                job.cancelEvent.waitFor(job.noMomentsPause);
            }
        }

        addTime(job.currentDayTime, TimeUnits::day);
    }

    finishRun(job, stages.get(), RunOutcome::Status::Done, tally);
    job.showMain("Done.");
    job.showDetail("Waiting for user input.");
    host->setProcessEnabled(true);
    host->setCancelEnabled(false);
    job.cancelEvent.reset();
    host->runEnded();
    return 1;

cancelled:
    finishRun(job, stages.get(), stopped, tally);
    host->setProcessEnabled(true);
    host->setCancelEnabled(false);
    job.showMain("Operation canceled.");
    job.showDetail("Waiting for user input.");
    job.cancelEvent.reset();
    host->runEnded();
    return 0;
}

std::thread startProcessing(ConsensusJob& job) {
    job.currentDayTime = job.params.beginTime;
    return std::thread([&job] { ProcessingWorker(job); });
}

}  // namespace qv
