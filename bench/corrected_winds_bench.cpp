// The corrected wind solution measured on generated days of a known wind
// field (printed, and as counters), and what it costs against the
// consensus without it.
//
// The days are those of tests/consensus/corrected_winds_test.cpp, made the
// same way (the generator below mirrors the test's): dwells put through
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

namespace qv {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kTilt = 66.4f;  // oblique beams' elevation, degrees

double radians(double degrees) { return degrees * kPi / 180.0; }

// One beam of a day: where it points and where its gates lie.
struct Beam {
    int azimuth = 0;
    float elevation = kTilt;
    int pulseWidth = 700;
    int firstGateHeight = 150;  // m above the site
    float gateSpacing = 105.0f; // m along the beam
    int gates = 12;
    int rassFlag = 0;

    // Height of gate g above the site, m.
    double height(int g) const {
        return firstGateHeight + g * static_cast<double>(gateSpacing) *
                                     std::sin(radians(static_cast<double>(elevation)));
    }
};

// A known wind field: u and v growing with height and drifting over the
// day, w steady with a slow swing (independent of height).
struct WindField {
    double u0 = 4.0, uShear = 4.0;  // m/s, m/s per km
    double v0 = -3.0, vShear = 3.0;
    double uDrift = 1.5, vDrift = 1.0;  // amplitude of the daily drift, m/s
    double w0 = 0.0, wSwing = 0.3;      // m/s

    double u(double zKm, double hours) const {
        return u0 + uShear * zKm + uDrift * std::sin(2.0 * kPi * hours / 24.0);
    }
    double v(double zKm, double hours) const {
        return v0 + vShear * zKm + vDrift * std::cos(2.0 * kPi * hours / 12.0);
    }
    double w(double hours) const { return w0 + wSwing * std::sin(2.0 * kPi * hours / 6.0); }

    // Radial velocity along the beam, positive away from the radar: the
    // horizontal wind's part, R = -(u sin a + v cos a) times cos e, plus the
    // vertical motion's, w sin e.
    double radial(const Beam& b, double zKm, double hours) const {
        const double a = radians(b.azimuth);
        const double e = radians(static_cast<double>(b.elevation));
        if (b.elevation == 90.0f) return w(hours);
        return -(u(zKm, hours) * std::sin(a) + v(zKm, hours) * std::cos(a)) * std::cos(e) +
               w(hours) * std::sin(e);
    }
};

// A small deterministic random source (splitmix64), the same on every
// platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    double uniform() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * 0x1.0p-53;
    }
    double normal() {
        const double r = std::sqrt(-2.0 * std::log(1.0 - uniform()));
        return r * std::cos(2.0 * kPi * uniform());
    }

private:
    std::uint64_t state_;
};

// A generated day: the beams in the order their dwells come round, and
// how the signal behaves. In each period every beam and gate is weak with
// a probability that grows with the gate's place in the beam; a weak gate
// brings the true radial velocity in a quarter of its dwells, a strong one
// in nine of ten, the others bring clutter spread over +-20 m/s.
struct DayPlan {
    std::vector<Beam> beams;
    WindField field;
    int periods = 48;
    int minutes = 30;
    int dwellsPerBeam = 10;
    double noise = 0.5;        // m/s, of a radial velocity
    double weakLow = 0.05;     // probability of a weak gate at the first gate
    double weakHigh = 0.30;    // ... at the last gate
    double weakVertical = 0.03;
    std::uint64_t seed = 1;
};

// A job of its own, ready for one day's dwells.
struct Day {
    bench::QuietHost host;
    ConsensusJob job;

    explicit Day(bool corrected, int minutes = 30) {
        job.host = &host;
        job.params.outputKindText = "Winds";
        job.params.dataSourceText = "ASCII moments";
        job.params.averagingMinutes = minutes;
        job.params.outputs.correctedWinds = corrected;
        job.currentDay = CalendarTime{};
        job.currentDay.year = 2004;
        job.currentDay.month = 6;
        job.currentDay.day = 15;
        job.record.processDayOfYear = dayOfYear(2004, 6, 15);
        job.record.stationName = "qvs";
        job.record.siteElevation = 1600;
    }

    void dwell(int second, const Beam& b, const std::vector<float>& velocity,
               const std::vector<float>& snr) {
        MomentRecord& r = job.record;
        r.recordTime = job.currentDay;
        r.recordTime.hour = static_cast<std::uint16_t>(second / 3600);
        r.recordTime.minute = static_cast<std::uint16_t>(second / 60 % 60);
        r.recordTime.second = static_cast<std::uint16_t>(second % 60);
        r.recordDayOfYear = r.processDayOfYear;
        r.azimuth = static_cast<std::int16_t>(b.azimuth);
        r.elevation = b.elevation;
        r.pulseWidth = b.pulseWidth;
        r.firstGateHeight = b.firstGateHeight;
        r.gateSpacing = b.gateSpacing;
        r.rassFlag = b.rassFlag;
        r.gateCount = static_cast<std::int16_t>(velocity.size());
        r.gateVelocity.fill(kMissingSample);
        r.gateSnr.fill(kMissingSample);
        for (std::size_t g = 0; g < velocity.size(); ++g) {
            r.gateVelocity[g] = velocity[g];
            r.gateSnr[g] = snr[g];
        }
        AccumulateRecord(job, job.currentDay);
    }

    void review(float window, std::int32_t percent) {
        for (BeamSetting* s : job.beamSettings) {
            s->consensusWindow = window;
            s->consensusPercent = percent;
        }
    }

    DayProducts run() { return runWindConsensus(job); }
};

// Fills the day with the plan's dwells: period p's dwells from one second
// after its start, evenly spaced, the beams taking turns.
void generate(Day& day, const DayPlan& plan) {
    Random random(plan.seed);
    const int beams = static_cast<int>(plan.beams.size());
    const int step = plan.minutes * 60 / (plan.dwellsPerBeam * beams);
    std::vector<std::vector<double>> weak(static_cast<std::size_t>(beams));
    for (int p = 0; p < plan.periods; ++p) {
        for (int b = 0; b < beams; ++b) {
            const Beam& beam = plan.beams[static_cast<std::size_t>(b)];
            auto& w = weak[static_cast<std::size_t>(b)];
            w.assign(static_cast<std::size_t>(beam.gates), 0.0);
            for (int g = 0; g < beam.gates; ++g) {
                const double chance =
                    beam.elevation == 90.0f
                        ? plan.weakVertical
                        : plan.weakLow + (plan.weakHigh - plan.weakLow) * g /
                                             std::max(1, beam.gates - 1);
                w[static_cast<std::size_t>(g)] = random.uniform() < chance ? 0.25 : 0.9;
            }
        }
        for (int c = 0; c < plan.dwellsPerBeam; ++c) {
            for (int b = 0; b < beams; ++b) {
                const Beam& beam = plan.beams[static_cast<std::size_t>(b)];
                const int second = p * plan.minutes * 60 + (c * beams + b) * step + 1;
                const double hours = second / 3600.0;
                std::vector<float> velocity(static_cast<std::size_t>(beam.gates));
                std::vector<float> snr(velocity.size());
                for (int g = 0; g < beam.gates; ++g) {
                    const auto i = static_cast<std::size_t>(g);
                    if (random.uniform() < weak[static_cast<std::size_t>(b)][i]) {
                        velocity[i] = static_cast<float>(
                            plan.field.radial(beam, beam.height(g) / 1000.0, hours) +
                            plan.noise * random.normal());
                        snr[i] = static_cast<float>(20.0 - 0.25 * g + 1.5 * random.normal());
                    } else {
                        velocity[i] = static_cast<float>(40.0 * random.uniform() - 20.0);
                        snr[i] = static_cast<float>(-5.0 + 2.0 * random.normal());
                    }
                }
                day.dwell(second, beam, velocity, snr);
            }
        }
    }
    day.review(2.0f, 50);
}

// The valid gates of wind days against the field: their number, the RMS
// of u and of v, and how many are more than 3 m/s (vector) off.
struct Figures {
    int valid = 0;
    int off3 = 0;
    double su = 0.0;  // sums of squared errors
    double sv = 0.0;
    double rmsU() const { return valid > 0 ? std::sqrt(su / valid) : 0.0; }
    double rmsV() const { return valid > 0 ? std::sqrt(sv / valid) : 0.0; }
};

// Adds the day's gates to `f`.
void addFigures(Figures& f, const WindDay& day, const WindField& field, int siteElevation) {
    const double half = day.header.averagingMinutes / 2.0;
    for (const WindPeriod& period : day.periods) {
        const double hours = (periodKeyMinutes(period.key) + half) / 60.0;
        for (const WindGate& gate : period.gates) {
            if (gate.qcCode != kQcValidCode) continue;
            const double zKm = (static_cast<double>(gate.height) - siteElevation) / 1000.0;
            const double du = gate.u - field.u(zKm, hours);
            const double dv = gate.v - field.v(zKm, hours);
            ++f.valid;
            f.su += du * du;
            f.sv += dv * dv;
            if (std::sqrt(du * du + dv * dv) > 3.0) ++f.off3;
        }
    }
}

const WindDay* modeDay(const DayProducts& products, int pulseWidth) {
    for (const WindDay& day : products.winds) {
        if (day.header.pulseWidth == pulseWidth) return &day;
    }
    return nullptr;
}

// Two modes: 700 ns (60 gates from 150 m, 105 m apart) and 400 ns (40
// gates from 120 m, 60 m apart), each with beams at 0, 90, 180, 270
// degrees and vertical; little vertical motion.
DayPlan twoModePlan(std::uint64_t seed) {
    DayPlan plan;
    for (int az : {0, 90, 180, 270}) plan.beams.push_back(Beam{az, kTilt, 700, 150, 105.0f, 60});
    plan.beams.push_back(Beam{0, 90.0f, 700, 150, 105.0f, 60});
    for (int az : {0, 90, 180, 270}) plan.beams.push_back(Beam{az, kTilt, 400, 120, 60.0f, 40});
    plan.beams.push_back(Beam{0, 90.0f, 400, 120, 60.0f, 40});
    plan.seed = seed;
    return plan;
}

// One 700 ns mode in steadily rising air (1 to 2 m/s), oblique gates weak
// a third of the time: opposite beams often pass alone.
DayPlan risingAirPlan(std::uint64_t seed) {
    DayPlan plan;
    for (int az : {0, 90, 180, 270}) plan.beams.push_back(Beam{az, kTilt, 700, 150, 105.0f, 60});
    plan.beams.push_back(Beam{0, 90.0f, 700, 150, 105.0f, 60});
    plan.field.w0 = 1.5;
    plan.field.wSwing = 0.5;
    plan.weakLow = plan.weakHigh = 0.35;
    plan.seed = seed;
    return plan;
}

struct Measured {
    Figures on;
    Figures off;
};

Measured measure(DayPlan (*plan)(std::uint64_t), int days, int pulseWidth) {
    Measured m;
    for (int d = 1; d <= days; ++d) {
        const DayPlan p = plan(static_cast<std::uint64_t>(d));
        Day corrected(true), described(false);
        generate(corrected, p);
        generate(described, p);
        const DayProducts on = corrected.run();
        const DayProducts off = described.run();
        if (const WindDay* day = modeDay(on, pulseWidth)) addFigures(m.on, *day, p.field, 1600);
        if (const WindDay* day = modeDay(off, pulseWidth)) addFigures(m.off, *day, p.field, 1600);
    }
    return m;
}

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
        twoModes = measure(twoModePlan, kDays, 700);
        twoModesShort = measure(twoModePlan, kDays, 400);
        rising = measure(risingAirPlan, kDays, 700);
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
