// Reading one synthetic day (a dwell every 24 s, 60 gates) into the period
// store, per byte of input: ASCII moment files and KRX pairs, winds and
// temperature. The heap allocations of a day's reading are reported per
// dwell: they come from the store's periods and accumulators and the files,
// not from the dwells.
//
// Reading consensus data files back: a whole day's wind file and its header
// only, and files with one line of 1 MiB (refused, in time proportional to
// the line).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "core/store.h"
#include "input/ascii_moments.h"
#include "input/binary_moments.h"
#include "output/consensus_file.h"
#include "output/consensus_file_reader.h"

namespace {

using qv::bench::QuietHost;
using qv::bench::syntheticDay;

void readDay(benchmark::State& state, qv::InputType input, qv::OutputKind kind) {
    const qv::bench::SyntheticDay& day = syntheticDay();
    if (!day.ok) {
        state.SkipWithError("the synthetic day could not be generated");
        return;
    }
    QuietHost host(input, kind);
    qv::ConsensusJob job;
    job.host = &host;
    job.params.inputPath = (input == qv::InputType::Ascii ? day.twins : day.folder).string();
    job.params.siteId = "qvs";
    job.params.averagingMinutes = 30;

    long allocations = 0;
    long dwells = 0;
    for (auto _ : state) {
        qv::ClearPeriodStore(job);
        const long before = qv::bench::heapAllocations();
        const long detailsBefore = host.detailTexts;
        const int done = input == qv::InputType::Ascii ? qv::GetAsciiMoments(job, day.day)
                                                        : qv::GetBinaryMoments(job, day.day);
        allocations += qv::bench::heapAllocations() - before;
        dwells += host.detailTexts - detailsBefore;
        if (done != 1) {
            state.SkipWithError(job.statusText.c_str());
            return;
        }
        benchmark::DoNotOptimize(job.periods.count());
    }
    const std::uintmax_t bytes = input == qv::InputType::Binary ? day.binaryBytes
                                 : kind == qv::OutputKind::Winds ? day.rawBytes
                                                                 : day.ratBytes;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
    state.SetItemsProcessed(dwells);
    state.counters["allocs_per_dwell"] =
        dwells > 0 ? static_cast<double>(allocations) / static_cast<double>(dwells) : 0.0;
    state.counters["periods"] = static_cast<double>(job.periods.count());
}

void BM_ReadAsciiWinds(benchmark::State& state) {
    readDay(state, qv::InputType::Ascii, qv::OutputKind::Winds);
}
void BM_ReadAsciiTemperature(benchmark::State& state) {
    readDay(state, qv::InputType::Ascii, qv::OutputKind::Temperature);
}
void BM_ReadBinaryWinds(benchmark::State& state) {
    readDay(state, qv::InputType::Binary, qv::OutputKind::Winds);
}
void BM_ReadBinaryTemperature(benchmark::State& state) {
    readDay(state, qv::InputType::Binary, qv::OutputKind::Temperature);
}

BENCHMARK(BM_ReadAsciiWinds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAsciiTemperature)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBinaryWinds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBinaryTemperature)->Unit(benchmark::kMillisecond);

// ---- Consensus data files ----

// A day's wind file as the writer prints it: 48 half-hour periods of 60
// gates, five beams.
std::string windDayText() {
    qv::WindDay day;
    qv::DayHeader& h = day.header;
    h.fileKind = qv::OutputKind::Winds;
    h.variant = 1;
    h.outputKindText = "Winds";
    h.dataSourceText = "QAV";
    h.stationName = "QVS";
    h.day.year = 2004;
    h.day.month = 6;
    h.day.day = 15;
    h.averagingMinutes = 30;
    h.pulseWidth = 700;
    h.gateSpacing = 105.0f;
    for (const int azimuth : {0, 90, 0, 180, 270}) {
        qv::HeaderBeam beam;
        beam.azimuth = static_cast<std::int16_t>(azimuth);
        beam.elevation = azimuth == 0 ? 90.0f : 66.4f;
        beam.sampleCount = 10;
        beam.consensusPercent = 50;
        h.beams.push_back(beam);
    }
    for (int period = 0; period < 48; ++period) {
        qv::WindPeriod p;
        std::snprintf(p.key, sizeof p.key, "%02d%02d", period / 2, period % 2 * 30);
        for (int gate = 0; gate < 60; ++gate) {
            qv::WindGate g;
            g.height = 1761.0L + 96.0L * gate;
            g.speed = 4.6f + 0.1f * static_cast<float>(gate % 7);
            g.direction = 290 + gate % 11;
            g.u = 4.14f;
            g.v = -1.91f;
            g.w = -0.02f;
            g.countU = g.countV = g.countW = 18;
            g.snrU = g.snrV = g.snrW = 20 - gate / 4;
            p.gates.push_back(g);
        }
        day.periods.push_back(p);
    }
    qv::CalendarTime created = h.day;
    return qv::windFileText(day, created);
}

// One file in the temporary folder, removed when it goes.
class BenchFile {
public:
    BenchFile(const std::string& name, const std::string& text)
        : path_(std::filesystem::temp_directory_path() /
                ("quorvane-bench-" + std::to_string(::getpid()) + "-" + name)) {
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~BenchFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

void readConsensus(benchmark::State& state, const std::string& text, bool headerOnly,
                   bool wantRead) {
    const BenchFile file("day.w1a", text);
    for (auto _ : state) {
        const qv::ConsensusFileRead read = headerOnly ? qv::readConsensusFileHeader(file.path())
                                                      : qv::readConsensusFile(file.path());
        if (read.ok != wantRead) {
            state.SkipWithError(read.ok ? "the file was read" : read.error.c_str());
            return;
        }
        benchmark::DoNotOptimize(read.contents.winds.periods.size());
    }
    if (!headerOnly) {
        state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    }
}

void BM_ReadConsensusWindDay(benchmark::State& state) {
    readConsensus(state, windDayText(), false, true);
}
void BM_ReadConsensusWindDayHeader(benchmark::State& state) {
    readConsensus(state, windDayText(), true, true);
}

// A day file with one line of 1 MiB: digits or digits and blanks, as a gate
// line, a period line or the header's samples list.
void BM_ReadConsensusMegabyteLine(benchmark::State& state) {
    const std::string day = windDayText();
    const std::string digits(1 << 20, '7');
    std::string mixed;
    while (mixed.size() < (1u << 19)) mixed += "7 77 ";
    mixed += std::string(1 << 19, ' ');
    const std::size_t body = day.find("\n0000 ") + 1;
    const std::size_t firstGate = day.find('\n', body) + 1;
    const std::size_t samples = day.find("Max. Samples:") + 13;
    std::string text = day;
    switch (state.range(0)) {
        case 0: text.insert(firstGate, " 0" + digits + "\n"); break;
        case 1: text.insert(firstGate, mixed + "\n"); break;
        case 2: text.insert(body, "0000 " + mixed + "\n"); break;
        default: text.insert(samples, digits); break;
    }
    readConsensus(state, text, false, false);
}

BENCHMARK(BM_ReadConsensusWindDay)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadConsensusWindDayHeader)->Unit(benchmark::kMicrosecond);
// 0: gate line of digits, 1: gate line of digits and blanks, 2: period
// line of digits and blanks, 3: samples list of digits.
BENCHMARK(BM_ReadConsensusMegabyteLine)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
