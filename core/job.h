// The run's parameters and the job that holds everything a run works on.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/event.h"
#include "core/host.h"
#include "core/store.h"
#include "core/time.h"

namespace qv {

// What the user chose; filled before the worker starts. The input type,
// output kind and vertical-velocity policy are not here: they are read
// live from the host at each use.
struct RunParameters {
    TimeValue beginTime = 0;  // begin date at 00:00:00.000
    TimeValue endTime = 0;    // end date at 00:00:00.000, not before beginTime
    std::string inputPath;
    std::string outputPath;
    std::string siteId;          // at most 3 characters
    std::string dataSourceText;  // at most 49 characters
    std::string outputKindText;  // "Winds" or "Temperature"
    std::int32_t averagingMinutes = 0;  // 1 or more
    bool correctedWinds = false;        // the corrected wind solution
};

// The consensus and the outputs of a run, as the engine wires them: the
// core knows neither the day products nor the files made of them. Made
// when the run starts; tests may script their own.
class DayStages {
public:
    virtual ~DayStages() = default;
    // The day the job holds, for output kind `kind`: its consensus, and the
    // products handed to the run's outputs. False when the consensus made
    // no product (no file for the day).
    virtual bool processDay(ConsensusJob& job, OutputKind kind, FileReport& report) = 0;
    // The run ends (done or cancelled): what is held back is written, and
    // what is still being written is waited for.
    virtual void finish(FileReport& report) { (void)report; }
};

// The readers and the day stages the worker calls.
struct ProcessingSteps {
    std::function<int(ConsensusJob&, const CalendarTime&)> readBinary;
    std::function<int(ConsensusJob&, const CalendarTime&)> readAscii;
    std::function<std::unique_ptr<DayStages>(const ConsensusJob&)> stages;
};

// Wraps the readers of `steps` so that each calls `announce` with its day
// before it reads it: how a host counts the run's days. `announce` is called
// on the worker thread and must not wait.
void announceDays(ProcessingSteps& steps, std::function<void(const CalendarTime&)> announce);

struct ConsensusJob {
    ConsensusJob();
    ~ConsensusJob();
    ConsensusJob(const ConsensusJob&) = delete;
    ConsensusJob& operator=(const ConsensusJob&) = delete;

    RunParameters params;
    ProcessingHost* host = nullptr;
    ProcessingSteps steps;
    UtcClock clock = systemUtcNow;

    TimeValue currentDayTime = 0;
    CalendarTime currentDay;
    Event cancelEvent{Event::Reset::Manual};
    Event continueEvent{Event::Reset::Automatic};

    std::string statusText;     // scratch text for status messages
    std::string inputFileName;  // path of the moment file being read

    // The last reader error of the day being processed (empty when none):
    // shown in the detail line of a day without moments.
    std::string dayError;
    // Composes a reader's error in statusText, keeps it as the day's error
    // and hands it to the host.
    void reportReaderError(const std::string& text);

    // Days not processed in full in this run (a file cut short, records
    // rejected, a header that does not match its data, ...): one text per
    // problem naming the file, what was wrong and how much was used. The
    // run outcome hands them to the host.
    std::vector<std::string> incompleteDays;
    // Keeps such a text and hands it to the host as an error line.
    void reportIncompleteDay(const std::string& text);

    // Pause after a day without moments, so that its status can be read.
    std::chrono::milliseconds noMomentsPause{1000};

    MomentRecord record;  // the current dwell and the site fields
    // The latest time of a dwell handed to the store, of any day, since the
    // holder last set it to 0: how far the data read have come.
    TimeValue lastDwellTime = 0;

    // Period store and beam settings table.
    RecordList<AveragingPeriod> periods;
    RecordList<BeamSetting> beamSettings;
    AveragingPeriod* curPeriod = nullptr;
    BeamAccumulator* curBeam = nullptr;
    BeamSetting* curSetting = nullptr;
    std::vector<std::int32_t> pulseWidthModes;  // distinct pulse widths, in order
    // Accumulators that ClearPeriodStore took out of the store, kept for the
    // next day's dwells to reuse with their sample arrays.
    std::vector<std::unique_ptr<BeamAccumulator>> spareAccumulators;

    // Consensus working fields.
    std::int16_t outputVariant = 0;
    std::int32_t headerPending = 0;
    BeamAccumulator* firstObliqueBeam = nullptr;
    BeamAccumulator* secondObliqueBeam = nullptr;
    BeamAccumulator* verticalBeam = nullptr;
    BeamAccumulator* rassBeam = nullptr;
    BeamAccumulator* radarBeam = nullptr;
    float verticalCorrection = 0.0f;
    float uOut = 0.0f;
    float vOut = 0.0f;
    float speedOut = 0.0f;
    float directionOut = 0.0f;
    float tvOut = 0.0f;
    float tvcOut = 0.0f;
    std::int16_t qcCode = 0;

    // Files written in this run, and output files that could not be
    // written; each path once, in the order of the first report.
    std::vector<std::string> writtenPaths;
    std::vector<UnwrittenFile> unwrittenFiles;
    void recordUnwritten(const std::string& path, const std::string& reason = {});
    void recordWritten(const std::string& path);

    // Status helpers forwarding to the host.
    void showMain(const std::string& text);
    void showDetail(const std::string& text);
    InputType inputType() const;
    OutputKind outputKind() const;
    VerticalPolicy verticalPolicy() const;
};

}  // namespace qv
