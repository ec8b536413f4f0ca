// Reading one synthetic day (a dwell every 24 s, 60 gates) into the period
// store, per byte of input: ASCII moment files and KRX pairs, winds and
// temperature. The heap allocations of a day's reading are reported per
// dwell: they come from the store's periods and accumulators and the files,
// not from the dwells.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "core/store.h"
#include "input/ascii_moments.h"
#include "input/binary_moments.h"

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

}  // namespace
