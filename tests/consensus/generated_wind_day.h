// Generated wind days of a known wind field, shared by the corrected wind
// solution's tests and its benchmark: the beams and their gates, the true
// field, a deterministic random source, a day's job fed dwell by dwell,
// the day generator, the plans of one and two modes and of rising air, and
// the figures of a solution's valid gates against the field.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "consensus/wind_consensus.h"
#include "core/job.h"
#include "core/numeric.h"
#include "core/store.h"
#include "core/time.h"
#include "products/day_product.h"

namespace qv::test {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr float kTilt = 66.4f;  // oblique beams' elevation, degrees

inline double radians(double degrees) { return degrees * kPi / 180.0; }

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

// A job of its own, ready for one day's dwells, with a host of type
// `Host` (a test's scripted host, or a benchmark's quiet one).
template <class Host>
struct GeneratedDay {
    Host host;
    ConsensusJob job;

    explicit GeneratedDay(bool corrected, int minutes = 30) {
        job.host = &host;
        job.params.outputKindText = "Winds";
        job.params.dataSourceText = "ASCII moments";
        job.params.averagingMinutes = minutes;
        job.params.correctedWinds = corrected;
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
template <class Host>
void generate(GeneratedDay<Host>& day, const DayPlan& plan) {
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
inline void addFigures(Figures& f, const WindDay& day, const WindField& field,
                       int siteElevation) {
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

inline const WindDay* modeDay(const DayProducts& products, int pulseWidth) {
    for (const WindDay& day : products.winds) {
        if (day.header.pulseWidth == pulseWidth) return &day;
    }
    return nullptr;
}

// A day of one 700 ns mode: beams at 0, 90, 180, 270 degrees and vertical,
// 60 gates.
inline DayPlan oneModePlan(std::uint64_t seed) {
    DayPlan plan;
    for (int az : {0, 90, 180, 270}) plan.beams.push_back(Beam{az, kTilt, 700, 150, 105.0f, 60});
    plan.beams.push_back(Beam{0, 90.0f, 700, 150, 105.0f, 60});
    plan.seed = seed;
    return plan;
}

// Two modes: 700 ns (60 gates from 150 m, 105 m apart) and 400 ns (40
// gates from 120 m, 60 m apart), each with beams at 0, 90, 180, 270
// degrees and vertical.
inline DayPlan twoModePlan(std::uint64_t seed) {
    DayPlan plan = oneModePlan(seed);
    for (int az : {0, 90, 180, 270}) plan.beams.push_back(Beam{az, kTilt, 400, 120, 60.0f, 40});
    plan.beams.push_back(Beam{0, 90.0f, 400, 120, 60.0f, 40});
    return plan;
}

// Steady vertical motion of 1 to 2 m/s, and oblique gates weak a third of
// the time: opposite beams often pass alone.
inline DayPlan risingAirPlan(std::uint64_t seed) {
    DayPlan plan = oneModePlan(seed);
    plan.field.w0 = 1.5;
    plan.field.wSwing = 0.5;
    plan.weakLow = plan.weakHigh = 0.35;
    return plan;
}

// The figures of `days` generated days of a plan (seeds 1, 2, ...), with
// and without the corrected winds, for one mode; `Day` is a GeneratedDay
// (or derives from one) made from the option alone.
struct Measured {
    Figures on;
    Figures off;
};

template <class Day>
Measured measure(DayPlan (*plan)(std::uint64_t), int days, int pulseWidth) {
    Measured m;
    for (int d = 1; d <= days; ++d) {
        const DayPlan p = plan(static_cast<std::uint64_t>(d));
        Day corrected(true), described(false);
        generate(corrected, p);
        generate(described, p);
        const DayProducts on = corrected.run();
        const DayProducts off = described.run();
        const WindDay* dayOn = modeDay(on, pulseWidth);
        const WindDay* dayOff = modeDay(off, pulseWidth);
        if (dayOn) addFigures(m.on, *dayOn, p.field, 1600);
        if (dayOff) addFigures(m.off, *dayOff, p.field, 1600);
    }
    return m;
}

}  // namespace qv::test
