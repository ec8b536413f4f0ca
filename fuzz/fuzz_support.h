// What the fuzz targets share: a host that answers from fixed choices and
// keeps nothing, a scratch folder per process, the splitting of one fuzz
// input into several files, and the options byte that chooses the run.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "consensus/temperature_consensus.h"
#include "consensus/wind_consensus.h"
#include "core/host.h"
#include "core/job.h"
#include "core/store.h"
#include "output/consensus_file_sink.h"
#include "products/day_product.h"

namespace qv::fuzz {

// Between the files packed into one fuzz input.
inline constexpr std::string_view kFileSeparator = "--QV-NEXT-FILE--";

// Splits the input at each separator; at most `maxParts` parts, the last
// one takes the rest.
inline std::vector<std::string_view> splitFiles(std::string_view input, std::size_t maxParts) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < maxParts) {
        const std::size_t at = input.find(kFileSeparator);
        if (at == std::string_view::npos) break;
        parts.push_back(input.substr(0, at));
        input.remove_prefix(at + kFileSeparator.size());
    }
    parts.push_back(input);
    return parts;
}

// The first byte of an input chooses the run:
//   bit 0     output kind (0 Winds, 1 Temperature)
//   bits 1-2  vertical-velocity policy (NotUsed, WhenAvailable, Required, none)
//   bits 3-5  averaging minutes (1, 2, 5, 10, 15, 30, 60, 1440)
//   bit 6     binary data file extension (.mom or .spc)
//   bit 7     beam settings: reviewed (window and threshold set) or left as read
struct RunChoice {
    OutputKind kind = OutputKind::Winds;
    VerticalPolicy policy = VerticalPolicy::WhenAvailable;
    std::int32_t averagingMinutes = 60;
    bool spcExtension = false;
    bool reviewed = true;
};

inline RunChoice decodeChoice(std::uint8_t b) {
    static constexpr VerticalPolicy kPolicies[] = {VerticalPolicy::NotUsed,
                                                   VerticalPolicy::WhenAvailable,
                                                   VerticalPolicy::Required, VerticalPolicy::None};
    static constexpr std::int32_t kMinutes[] = {1, 2, 5, 10, 15, 30, 60, 1440};
    RunChoice c;
    c.kind = (b & 1) ? OutputKind::Temperature : OutputKind::Winds;
    c.policy = kPolicies[(b >> 1) & 3];
    c.averagingMinutes = kMinutes[(b >> 3) & 7];
    c.spcExtension = (b & 0x40) != 0;
    c.reviewed = (b & 0x80) == 0;
    return c;
}

// Answers the worker's questions from fixed choices; status texts are
// dropped (a run produces thousands).
class QuietHost : public ProcessingHost {
public:
    OutputKind kind = OutputKind::Winds;
    VerticalPolicy policy = VerticalPolicy::WhenAvailable;
    InputType input = InputType::Ascii;

    void setStatusMain(const std::string&) override {}
    void setStatusDetail(const std::string&) override {}
    void setProcessEnabled(bool) override {}
    void runEnded() override {}
    void setCancelEnabled(bool) override {}
    InputType inputType() override { return input; }
    OutputKind outputKind() override { return kind; }
    VerticalPolicy verticalPolicy() override { return policy; }
    void reviewSettings(ConsensusJob& job) override { job.continueEvent.set(); }
    void reportError(const std::string&) override {}
    void reportOutcome(const RunOutcome&) override {}
};

// The settings review as a user who accepts sensible values would leave it.
inline void reviewAll(ConsensusJob& job) {
    for (BeamSetting* s : job.beamSettings) {
        s->consensusWindow = s->rassFlag != 0 ? 1.5f : 2.0f;
        s->consensusPercent = 50;
    }
}

// A scratch folder for the whole process: input/ for the moment files and
// a/b/output/ for the consensus files. The output folder lies two levels
// down so that a file name that climbs out of it still lands in scratch
// space, where the target notices it.
class ScratchFolder {
public:
    static ScratchFolder& instance() {
        static ScratchFolder folder;
        return folder;
    }

    const std::string& input() const { return input_; }
    const std::string& output() const { return output_; }

    void write(const std::string& name, std::string_view bytes) const {
        std::ofstream out(input_ + "/" + name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // Empties the input and output folders; aborts when anything was
    // created elsewhere in scratch space (an output name that left the
    // output folder).
    void clearAndCheck() const {
        namespace fs = std::filesystem;
        std::error_code ec;
        if (verbose()) {
            for (const auto& entry : fs::directory_iterator(output_, ec)) {
                std::fprintf(stderr, "fuzz: wrote %s (%ju bytes)\n",
                             entry.path().filename().c_str(),
                             static_cast<std::uintmax_t>(fs::file_size(entry.path(), ec)));
            }
        }
        for (const auto& entry : fs::recursive_directory_iterator(root_, ec)) {
            const std::string path = entry.path().string();
            if (path == input_ || path == output_ || path == root_ + "/a" ||
                path == root_ + "/a/b" || path.rfind(input_ + "/", 0) == 0 ||
                path.rfind(output_ + "/", 0) == 0) {
                continue;
            }
            std::fprintf(stderr, "fuzz: a file was written outside the output folder: %s\n",
                         path.c_str());
            std::abort();
        }
        for (const std::string& dir : {input_, output_}) {
            for (const auto& entry : fs::directory_iterator(dir, ec)) fs::remove_all(entry.path(), ec);
        }
    }

    // QV_FUZZ_VERBOSE set: say what each input produced (for checking seeds).
    static bool verbose() {
        static const bool on = std::getenv("QV_FUZZ_VERBOSE") != nullptr;
        return on;
    }

private:
    ScratchFolder() {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "qv-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root_ = pattern;
        input_ = root_ + "/input";
        output_ = root_ + "/a/b/output";
        fs::create_directories(input_);
        fs::create_directories(output_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    std::string root_;
    std::string input_;
    std::string output_;
};

inline CalendarTime calendarDate(int year, int month, int day) {
    CalendarTime c;
    c.year = static_cast<std::uint16_t>(year);
    c.month = static_cast<std::uint16_t>(month);
    c.day = static_cast<std::uint16_t>(day);
    return c;
}

// Bounds of a gate marked valid (QC 0). The readers store only samples
// within physical bounds (radial velocities below 1000 m/s, acoustic
// speeds of virtual temperatures from -100 to 60 degrees C), so a valid
// Tv, the mean of such temperatures, lies within those bounds. Winds and
// TvC come out of the consensus arithmetic (the division by the cosine of
// the elevation, the folding of opposite beams, the vertical correction),
// which for such samples can give large but finite values the consensus
// file keeps valid: they must be finite and below a bound the arithmetic
// cannot pass. A gate outside these bounds is a wrong value marked valid:
// the target aborts.
inline constexpr double kLargestWind = 1.0e6;  // m/s
inline constexpr double kColdestTv = -100.0;
inline constexpr double kWarmestTv = 60.0;

inline void checkProducts(const DayProducts& products) {
    for (const WindDay& day : products.winds) {
        for (const WindPeriod& period : day.periods) {
            for (std::size_t g = 0; g < period.gates.size(); ++g) {
                const WindGate& gate = period.gates[g];
                if (gate.qcCode != 0) continue;
                if (std::fabs(gate.u) < kLargestWind && std::fabs(gate.v) < kLargestWind) continue;
                std::fprintf(stderr, "fuzz: valid wind gate %zu of a period: u %g v %g m/s\n", g,
                             static_cast<double>(gate.u), static_cast<double>(gate.v));
                std::abort();
            }
        }
    }
    for (const TemperatureDay& day : products.temperature) {
        for (const TemperaturePeriod& period : day.periods) {
            for (std::size_t g = 0; g < period.gates.size(); ++g) {
                const TemperatureGate& gate = period.gates[g];
                if (gate.qcCode != 0) continue;
                const double tv = gate.tv, tvc = gate.tvc;
                if (tv >= kColdestTv && tv <= kWarmestTv && std::isfinite(tvc)) continue;
                std::fprintf(stderr, "fuzz: valid temperature gate %zu of a period: Tv %g TvC %g\n",
                             g, tv, tvc);
                std::abort();
            }
        }
    }
}

using Reader = int (*)(ConsensusJob&, const CalendarTime&);

// One processing day as the worker runs it, without a thread: the reader
// fills the period store, the review (when chosen) sets every beam's window
// and threshold, and then both consensus kinds write their files, whatever
// kind of file was read.
inline void processDay(ConsensusJob& job, QuietHost& host, const CalendarTime& day,
                       const RunChoice& choice, Reader reader) {
    job.host = &host;
    job.params.outputPath = ScratchFolder::instance().output();
    job.params.inputPath = ScratchFolder::instance().input();
    job.params.dataSourceText = "Fuzz";
    job.params.averagingMinutes = choice.averagingMinutes;
    job.params.outputKindText = choice.kind == OutputKind::Winds ? "Winds" : "Temperature";
    job.currentDay = day;
    calendarToTimeValue(day, job.currentDayTime);
    job.params.beginTime = job.params.endTime = job.currentDayTime;
    host.kind = choice.kind;
    host.policy = choice.policy;

    ClearPeriodStore(job);
    reader(job, day);
    if (choice.reviewed) reviewAll(job);
    if (ScratchFolder::verbose()) {
        std::fprintf(stderr, "fuzz: %zu periods, %zu beams, last text: %s\n", job.periods.count(),
                     job.beamSettings.count(), job.statusText.c_str());
    }
    if (job.periods.empty()) return;
    host.kind = OutputKind::Winds;
    const DayProducts winds = runWindConsensus(job);
    host.kind = OutputKind::Temperature;
    const DayProducts temperature = runTemperatureConsensus(job);
    checkProducts(winds);
    checkProducts(temperature);
    FileReport report;
    writeConsensusFiles(winds, job.params.outputPath, day, report);
    writeConsensusFiles(temperature, job.params.outputPath, day, report);
}

}  // namespace qv::fuzz
