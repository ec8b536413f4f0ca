// The continuity check: its cost per day, and its effect on generated days
// with ground clutter and birds measured against the known truth (the days
// as real sites have them are measured by scripts/qc_measure.py).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "products/day_product.h"
#include "qc/continuity.h"
#include "tests/qc/wind_truth.h"

namespace {

using namespace qv;

// A smooth day of `periods` periods and `gates` gates with noise of about
// 0.3 m/s and a spike every 97th gate.
WindDay benchDay(int periods, int gates, std::uint64_t seed) {
    WindDay day;
    day.header.variant = 1;
    day.header.averagingMinutes = 1440 / periods;
    day.header.gateSpacing = 105.0f;
    std::uint64_t state = seed * 0x9e3779b97f4a7c15ULL + 1;
    auto noise = [&state] {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            sum += static_cast<double>(state >> 11) * 0x1.0p-53;
        }
        return static_cast<float>((sum - 2.0) * 0.5);
    };
    int n = 0;
    for (int p = 0; p < periods; ++p) {
        WindPeriod period;
        const int minutes = p * day.header.averagingMinutes;
        char key[16];
        std::snprintf(key, sizeof key, "%02d%02d", minutes / 60 % 24, minutes % 60);
        std::memcpy(period.key, key, 4);
        for (int g = 0; g < gates; ++g) {
            WindGate gate;
            gate.height = 1761.0L + 96.0L * g;
            gate.u = static_cast<float>(5.0 + 0.35 * g + 1.5 * std::sin(p / 8.0)) + noise();
            gate.v = static_cast<float>(-2.0 + 0.25 * g + std::cos(p / 6.0)) + noise();
            if (++n % 97 == 0) gate.u += 7.0f;
            gate.speed = std::hypot(gate.u, gate.v);
            period.gates.push_back(gate);
        }
        day.periods.push_back(period);
    }
    return day;
}

// One day of 48 periods x 60 gates x 1 mode (the site-year's day), checked
// alone; the copy of the day made for each check is included.
void BM_ContinuityDay(benchmark::State& state) {
    const WindDay pristine = benchDay(48, 60, 1);
    std::size_t flagged = 0;
    for (auto _ : state) {
        WindDay day = pristine;
        const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
        flagged = r.flagged.size();
        benchmark::DoNotOptimize(day.periods.data());
    }
    state.counters["flagged"] = static_cast<double>(flagged);
    state.counters["days_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ContinuityDay)->Unit(benchmark::kMicrosecond);

// A day whose top 15 gates are weak and noisy (about 2.3 m/s in u and v,
// SNR 0 dB): many winds there need the whole local estimate.
void BM_ContinuityNoisyTopDay(benchmark::State& state) {
    WindDay pristine = benchDay(48, 60, 5);
    std::uint64_t s = 12345;
    auto noise = [&s] {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<float>(static_cast<double>(s >> 11) * 0x1.0p-53 - 0.5) * 8.0f;
    };
    for (WindPeriod& p : pristine.periods) {
        for (std::size_t g = 45; g < p.gates.size(); ++g) {
            p.gates[g].u += noise();
            p.gates[g].v += noise();
            p.gates[g].snrU = p.gates[g].snrV = 0;
        }
    }
    std::size_t flagged = 0;
    for (auto _ : state) {
        WindDay day = pristine;
        flagged = checkContinuity(day, ContinuityLimits{}).flagged.size();
        benchmark::DoNotOptimize(day.periods.data());
    }
    state.counters["flagged"] = static_cast<double>(flagged);
}
BENCHMARK(BM_ContinuityNoisyTopDay)->Unit(benchmark::kMicrosecond);

// Each test alone (0: local, 1: pattern) over the day of BM_ContinuityDay.
void BM_ContinuityOneTest(benchmark::State& state) {
    const WindDay pristine = benchDay(48, 60, 1);
    ContinuityLimits limits;
    (state.range(0) == 0 ? limits.patternTest : limits.localTest) = false;
    for (auto _ : state) {
        WindDay day = pristine;
        benchmark::DoNotOptimize(checkContinuity(day, limits).flagged.data());
    }
}
BENCHMARK(BM_ContinuityOneTest)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// BM_ContinuityDay with the day before and the day after taking part.
void BM_ContinuityDayWithNeighbours(benchmark::State& state) {
    const WindDay before = benchDay(48, 60, 2);
    const WindDay pristine = benchDay(48, 60, 3);
    const WindDay after = benchDay(48, 60, 4);
    for (auto _ : state) {
        WindDay day = pristine;
        const ContinuityResult r = checkContinuity(day, ContinuityLimits{}, &before, &after);
        benchmark::DoNotOptimize(r.flagged.data());
    }
}
BENCHMARK(BM_ContinuityDayWithNeighbours)->Unit(benchmark::kMicrosecond);

// Generated days (seed 17, 14 days, 12 dwells per beam and half hour), 5 %
// of the oblique dwells with ground clutter and 3 % with birds, run through
// the batch tool at 30 and 60 minutes and read back: the valid gates
// against the truth with and without the check (printed, and as counters).
void BM_ContinuityMeasurement(benchmark::State& state) {
    const int minutes = static_cast<int>(state.range(0));
    static const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                             ("qv_qc_bench_" + std::to_string(::getpid()));
    static const std::string failed = [] {
        std::filesystem::remove_all(dir);
        // QUORVANE_QC_BATCH / QUORVANE_QC_SAMPLEGEN in the environment name
        // other builds of the tools.
        const char* batch = std::getenv("QUORVANE_QC_BATCH");
        const char* samplegen = std::getenv("QUORVANE_QC_SAMPLEGEN");
        return qctest::generateAndProcess(samplegen ? samplegen : QUORVANE_QC_SAMPLEGEN,
                                          batch ? batch : QUORVANE_QC_BATCH, dir, 14, 17,
                                          {30, 60}, 0.05, 0.03);
    }();
    if (!failed.empty()) {
        state.SkipWithError(failed.c_str());
        return;
    }
    qctest::WindTruth truth;
    truth.loadFolder(dir / "moments");
    const std::vector<WindDay> days = qctest::readWindFolder(dir / ("winds" + std::to_string(minutes)));
    qctest::QcFigures f;
    for (auto _ : state) {
        const std::vector<WindDay> checked = qctest::checkRun(days, ContinuityLimits{});
        f = qctest::measureAgainstTruth(days, checked, truth);
    }
    std::printf("continuity %d min, %zu days, limits %s: %s\n", minutes, days.size(),
                formatContinuityLimits(ContinuityLimits{}).c_str(), f.text().c_str());
    state.counters["off3_before_pct"] = 100.0 * f.badFraction();
    state.counters["off3_after_pct"] = 100.0 * f.badFractionAfter();
    state.counters["within1_kept_pct"] = 100.0 * f.goodKeptFraction();
    state.counters["rms_u_before"] = f.rmsU;
    state.counters["rms_u_after"] = f.rmsUAfter;
    state.counters["rms_v_before"] = f.rmsV;
    state.counters["rms_v_after"] = f.rmsVAfter;
    if (minutes == 60) std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ContinuityMeasurement)->Arg(30)->Arg(60)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
