// AccumulateRecord per dwell: five beams, a dwell every 24 s, 60 gates.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "core/job.h"
#include "core/store.h"

namespace {

using qv::bench::QuietHost;

// Fills the current record with dwell i of the day: beams in turn, 24 s apart.
void setDwell(qv::MomentRecord& r, const qv::CalendarTime& day, int i) {
    const int seconds = i * 24;
    r.recordTime = day;
    r.recordTime.hour = static_cast<std::uint16_t>(seconds / 3600);
    r.recordTime.minute = static_cast<std::uint16_t>(seconds / 60 % 60);
    r.recordTime.second = static_cast<std::uint16_t>(seconds % 60);
    const int beam = i % 5;
    r.azimuth = static_cast<std::int16_t>(beam == 4 ? 0 : beam * 90);
    r.elevation = beam == 4 ? 90.0f : 66.4f;
}

void BM_AccumulateRecordDay(benchmark::State& state) {
    QuietHost host;
    qv::CalendarTime day;
    day.year = 2004;
    day.month = 6;
    day.day = 15;
    const int dwellsPerDay = 86400 / 24;
    for (auto _ : state) {
        qv::ConsensusJob job;
        job.host = &host;
        job.params.averagingMinutes = static_cast<int>(state.range(0));
        qv::MomentRecord& r = job.record;
        r.processDayOfYear = r.recordDayOfYear = qv::dayOfYear(2004, 6, 15);
        r.gateCount = 60;
        r.pulseWidth = 700;
        for (int g = 0; g < 60; ++g) {
            r.gateVelocity[static_cast<std::size_t>(g)] = 1.0f + static_cast<float>(g) * 0.1f;
            r.gateSnr[static_cast<std::size_t>(g)] = 5.0f;
        }
        for (int i = 0; i < dwellsPerDay; ++i) {
            setDwell(r, day, i);
            qv::AccumulateRecord(job, day);
        }
        benchmark::DoNotOptimize(job.periods.count());
    }
    state.SetItemsProcessed(state.iterations() * dwellsPerDay);
    state.SetLabel("items = dwells");
}

BENCHMARK(BM_AccumulateRecordDay)->Arg(1)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);

// Heap allocations per dwell: a dwell that finds its period, accumulator and
// beam setting in place, and fits the accumulator's arrays, must allocate
// nothing (the status text included). Counted per dwell over a day;
// "allocating_dwells" must be 0.
void BM_AccumulateRecordAllocations(benchmark::State& state) {
    QuietHost host;
    qv::CalendarTime day;
    day.year = 2004;
    day.month = 6;
    day.day = 15;
    const int dwellsPerDay = 86400 / 24;
    long allocatingDwells = 0;
    long structuralAllocations = 0;
    long dwells = 0;
    for (auto _ : state) {
        qv::ConsensusJob job;
        job.host = &host;
        job.params.averagingMinutes = static_cast<int>(state.range(0));
        qv::MomentRecord& r = job.record;
        r.processDayOfYear = r.recordDayOfYear = qv::dayOfYear(2004, 6, 15);
        r.gateCount = 60;
        r.pulseWidth = 700;
        for (int i = 0; i < dwellsPerDay; ++i) {
            setDwell(r, day, i);
            const std::size_t periods = job.periods.count();
            const std::size_t settings = job.beamSettings.count();
            const std::size_t beams = job.curPeriod ? job.curPeriod->beams.count() : 0;
            const qv::AveragingPeriod* period = job.curPeriod;
            const long before = qv::bench::heapAllocations();
            qv::AccumulateRecord(job, day);
            const long made = qv::bench::heapAllocations() - before;
            const bool structural = job.periods.count() != periods ||
                                    job.beamSettings.count() != settings ||
                                    job.curPeriod != period ||
                                    job.curPeriod->beams.count() != beams ||
                                    job.curBeam->sampleCount > job.params.averagingMinutes;
            if (structural) {
                structuralAllocations += made;
            } else if (made != 0) {
                ++allocatingDwells;
            }
            ++dwells;
        }
    }
    state.counters["allocating_dwells"] = static_cast<double>(allocatingDwells);
    state.counters["structural_allocs_per_dwell"] =
        static_cast<double>(structuralAllocations) / static_cast<double>(dwells);
    if (allocatingDwells != 0) state.SkipWithError("a dwell allocated on the heap");
}

BENCHMARK(BM_AccumulateRecordAllocations)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);

}  // namespace
