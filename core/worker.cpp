#include "core/worker.h"

#include "core/text.h"

namespace qv {
namespace {

void finishRun(ConsensusJob& job) {
    if (!job.unwrittenPaths.empty() && job.host) job.host->reportUnwritten(job.unwrittenPaths);
}

}  // namespace

int ProcessingWorker(ConsensusJob& job) {
    ProcessingHost* host = job.host;
    bool reviewPending = true;
    job.unwrittenPaths.clear();

    host->setProcessEnabled(false);
    host->setCancelEnabled(true);

    while (compareTimeValues(job.currentDayTime, job.params.endTime) <= 0) {
        ClearPeriodStore(job);
        job.dayError.clear();
        timeValueToCalendar(job.currentDayTime, job.currentDay);

        const InputType input = job.inputType();
        if (input == InputType::Binary) {
            if (job.steps.readBinary) job.steps.readBinary(job, job.currentDay);
        } else if (input == InputType::Ascii) {
            if (job.steps.readAscii) job.steps.readAscii(job, job.currentDay);
        }

        if (job.cancelEvent.poll()) goto cancelled;

        if (reviewPending && !job.beamSettings.empty()) {
            host->reviewSettings(job);
            if (Event::waitEither(job.continueEvent, job.cancelEvent) == 1) goto cancelled;
            reviewPending = false;
        }

        if (!job.periods.empty()) {
            const OutputKind kind = job.outputKind();
            if (kind == OutputKind::Winds) {
                if (job.steps.windConsensus) job.steps.windConsensus(job);
            } else if (kind == OutputKind::Temperature) {
                if (job.steps.temperatureConsensus) job.steps.temperatureConsensus(job);
            }
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

    finishRun(job);
    job.showMain("Done.");
    job.showDetail("Waiting for user input.");
    host->setProcessEnabled(true);
    host->setCancelEnabled(false);
    job.cancelEvent.reset();
    return 1;

cancelled:
    finishRun(job);
    host->setProcessEnabled(true);
    host->setCancelEnabled(false);
    job.showMain("Operation canceled.");
    job.showDetail("Waiting for user input.");
    job.cancelEvent.reset();
    return 0;
}

std::thread startProcessing(ConsensusJob& job) {
    job.currentDayTime = job.params.beginTime;
    return std::thread([&job] { ProcessingWorker(job); });
}

}  // namespace qv
