// The corrected wind solution measured on generated days of a known wind
// field (printed, and as counters), and what it costs against the
// consensus without it.
//
// The days are those of tests/consensus/corrected_winds_test.cpp, made by
// the same code (tests/consensus/generated_wind_day.h): dwells put through
// the period store, 30-minute periods, 10 dwells per beam and period,
// radial noise 0.5 m/s, weak gates that bring clutter over +-20 m/s.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <time.h>

#include "bench/bench_support.h"
#include "consensus/wind_consensus.h"
#include "core/numeric.h"
#include "products/day_product.h"
#include "tests/consensus/generated_wind_day.h"

namespace qv {
namespace {

using namespace qv::test;

// A day's job with a host that answers nothing and keeps nothing.
using Day = GeneratedDay<bench::QuietHost>;

void print(const char* what, const Measured& m) {
    std::printf("%s\n  described: valid %6d, RMS u %.3f v %.3f m/s, > 3 m/s off %5d (%.2f %%)\n"
                "  corrected: valid %6d, RMS u %.3f v %.3f m/s, > 3 m/s off %5d (%.2f %%)\n",
                what, m.off.valid, m.off.rmsU(), m.off.rmsV(), m.off.off3,
                100.0 * m.off.off3 / std::max(1, m.off.valid), m.on.valid, m.on.rmsU(),
                m.on.rmsV(), m.on.off3, 100.0 * m.on.off3 / std::max(1, m.on.valid));
}

constexpr int kDays = 10;

// The figures of ten generated days of each kind against the truth.
void BM_CorrectedWindsMeasurement(benchmark::State& state) {
    Measured twoModes, twoModesShort, rising;
    for (auto _ : state) {
        twoModes = measure<Day>(twoModePlan, kDays, 700);
        twoModesShort = measure<Day>(twoModePlan, kDays, 400);
        rising = measure<Day>(risingAirPlan, kDays, 700);
    }
    print("two modes, 10 days, 700 ns mode:", twoModes);
    print("two modes, 10 days, 400 ns mode:", twoModesShort);
    print("rising air (w 1 to 2 m/s), 10 days:", rising);
    std::printf("  700 ns mode: gates > 3 m/s off, corrected / described = %.4f (at most 0.1)\n"
                "  rising air:  gates > 3 m/s off, corrected / described = %.4f (at most 0.5)\n",
                static_cast<double>(twoModes.on.off3) / std::max(1, twoModes.off.off3),
                static_cast<double>(rising.on.off3) / std::max(1, rising.off.off3));
    state.counters["two_rms_u_on"] = twoModes.on.rmsU();
    state.counters["two_rms_v_on"] = twoModes.on.rmsV();
    state.counters["two_rms_u_off"] = twoModes.off.rmsU();
    state.counters["two_rms_v_off"] = twoModes.off.rmsV();
    state.counters["two_off3_on"] = twoModes.on.off3;
    state.counters["two_off3_off"] = twoModes.off.off3;
    state.counters["rise_off3_on"] = rising.on.off3;
    state.counters["rise_off3_off"] = rising.off.off3;
}
BENCHMARK(BM_CorrectedWindsMeasurement)->Iterations(1)->Unit(benchmark::kMillisecond);

// A generated day whose accumulators can be put back as they were before
// the consensus (which writes its results and the folding into them).
struct ReplayDay {
    Day day;
    std::vector<BeamAccumulator> pristine;

    ReplayDay(bool corrected, const DayPlan& plan) : day(corrected) {
        generate(day, plan);
        for (AveragingPeriod* p : day.job.periods) {
            for (BeamAccumulator* a : p->beams) pristine.push_back(*a);
        }
    }
    void restore() {
        std::size_t k = 0;
        for (AveragingPeriod* p : day.job.periods) {
            for (BeamAccumulator* a : p->beams) *a = pristine[k++];
        }
    }
    // One whole wind consensus of the day: wall seconds, and the
    // process's CPU seconds (both threads of the consensus pass; less
    // disturbed by other work on a shared host).
    struct Times {
        double wall = 0.0;
        double cpu = 0.0;
    };
    Times timedRun() {
        restore();
        timespec cpuStart{}, cpuEnd{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
        const auto start = std::chrono::steady_clock::now();
        const DayProducts products = runWindConsensus(day.job);
        const auto end = std::chrono::steady_clock::now();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
        benchmark::DoNotOptimize(products.winds.data());
        Times t;
        t.wall = std::chrono::duration<double>(end - start).count();
        t.cpu = static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
                1e-9 * static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec);
        return t;
    }
};

// The wind consensus of one two-mode day (both modes), with the option
// off (0) and on (1); the restoring of the accumulators is not timed.
void BM_WindConsensusDay(benchmark::State& state) {
    ReplayDay replay(state.range(0) != 0, twoModePlan(1));
    for (auto _ : state) state.SetIterationTime(replay.timedRun().wall);
}
BENCHMARK(BM_WindConsensusDay)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The option's cost: both days run in turn, fastest of many runs each (a
// shared host), for each kind of day.
void BM_CorrectedWindsCost(benchmark::State& state) {
    const DayPlan plan = state.range(0) == 0 ? twoModePlan(1) : risingAirPlan(1);
    ReplayDay off(false, plan), on(true, plan);
    ReplayDay::Times fastestOff{1e9, 1e9}, fastestOn{1e9, 1e9};
    const auto keep = [](ReplayDay::Times& fastest, const ReplayDay::Times& t) {
        fastest.wall = std::min(fastest.wall, t.wall);
        fastest.cpu = std::min(fastest.cpu, t.cpu);
    };
    for (auto _ : state) {
        for (int i = 0; i < 300; ++i) {
            keep(fastestOff, off.timedRun());
            keep(fastestOn, on.timedRun());
        }
    }
    const double costWall = 100.0 * (fastestOn.wall - fastestOff.wall) / fastestOff.wall;
    const double costCpu = 100.0 * (fastestOn.cpu - fastestOff.cpu) / fastestOff.cpu;
    std::printf("%s day, fastest of 300: described %.3f ms wall / %.3f ms CPU, corrected %.3f ms "
                "wall / %.3f ms CPU: %+.2f %% wall, %+.2f %% CPU (under 5 %%)\n",
                state.range(0) == 0 ? "two-mode" : "rising-air", 1e3 * fastestOff.wall,
                1e3 * fastestOff.cpu, 1e3 * fastestOn.wall, 1e3 * fastestOn.cpu, costWall,
                costCpu);
    state.counters["described_ms"] = 1e3 * fastestOff.wall;
    state.counters["corrected_ms"] = 1e3 * fastestOn.wall;
    state.counters["cost_wall_pct"] = costWall;
    state.counters["cost_cpu_pct"] = costCpu;
}
BENCHMARK(BM_CorrectedWindsCost)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv
