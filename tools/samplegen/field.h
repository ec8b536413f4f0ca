// The known atmosphere behind the sample data, and a random source that
// gives the same numbers on every machine.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace qv::samplegen {

// Wind (m/s) and virtual temperature (degrees C) at a height above the site
// (m) and a time (hours since 00:00 of the first sample day).
struct FieldValue {
    double u = 0.0;
    double v = 0.0;
    double w = 0.0;
    double tv = 0.0;
};

inline FieldValue truthAt(double heightAboveSite, double hours) {
    constexpr double pi = 3.14159265358979323846;
    const double z = heightAboveSite;
    FieldValue f;
    // Westerly wind increasing with height, with a slow half-day swing.
    f.u = 5.0 + 3.5 * z / 1000.0 + 1.5 * std::sin(2.0 * pi * hours / 12.0);
    // Northerly near the ground turning southerly aloft, with a 9-hour swing.
    f.v = -2.0 + 4.0 * std::sin(pi * z / 3000.0) + 1.0 * std::cos(2.0 * pi * hours / 9.0);
    // Weak vertical motion.
    f.w = 0.2 * std::sin(pi * z / 2500.0) * std::cos(2.0 * pi * hours / 5.0);
    // Standard lapse rate, a daily cycle and a warm layer near 900 m.
    const double layer = (z - 900.0) / 250.0;
    f.tv = 22.0 - 6.5 * z / 1000.0 + 0.6 * std::sin(2.0 * pi * (hours - 15.0) / 24.0) +
           1.5 * std::exp(-layer * layer);
    return f;
}

// The weather of a generated set (GenerateOptions::weather).
enum class Weather {
    Smooth,  // the field of truthAt alone
    Fronts,  // truthAt with a front each day and a low-level jet each night
    Fast,    // strong shear and turning with height, quick swings, and the fronts and jets
};

// The known atmosphere of a generated set: truthAt, or with fronts and jets
// whose times, heights and strengths are drawn once from the set's seed, so
// that the dwells and the truth table follow the same weather.
//
// A front changes the wind over about an hour (u and v by up to 10 m/s,
// the change a tanh in time 20 to 40 minutes wide) and reaches heights at
// different times (a slope of up to 1.5 hours per km); after it the wind
// keeps the new offset until the next day's front. A nocturnal low-level
// jet grows from 22:00 to 04:00 and dies out by 09:00: up to 8 to 14 m/s in
// one direction, in a layer centred 300 to 600 m above the site and 120 to
// 200 m deep (its spread in height).
class Atmosphere {
public:
    Atmosphere(Weather weather, std::uint64_t seed, int days);

    // At a height above the site (m) and a time (hours since 00:00 of the
    // first day). Exactly truthAt for Weather::Smooth.
    FieldValue at(double heightAboveSite, double hours) const;

private:
    struct Front {
        double hours = 0.0;        // passage at the site's height
        double hoursPerKm = 0.0;   // later by this much per km of height
        double width = 0.5;        // hours
        double du = 0.0, dv = 0.0;  // change of u and v
    };
    struct Jet {
        double start = 0.0, peak = 0.0, end = 0.0;  // hours
        double height = 400.0, depth = 150.0;        // m
        double u = 0.0, v = 0.0;                     // at its peak
    };
    FieldValue base(double z, double hours) const;

    Weather weather_;
    std::vector<Front> fronts_;
    std::vector<Jet> jets_;
};

// The speed of the acoustic wave that a RASS measures in air of virtual
// temperature tv (degrees C): 20.047 x square root of the temperature in K.
inline double acousticSpeed(double tv) { return 20.047 * std::sqrt(tv + 273.15); }

// mt19937_64 is defined bit for bit by the standard; the distributions are
// not, so uniform and normal numbers are made here.
class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}

    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    bool chance(double p) { return uniform() < p; }

    // Normal with mean 0 and the given spread (Box-Muller, one of the pair).
    double normal(double sigma) {
        constexpr double pi = 3.14159265358979323846;
        const double a = 1.0 - uniform();  // (0, 1]
        const double b = uniform();
        return sigma * std::sqrt(-2.0 * std::log(a)) * std::cos(2.0 * pi * b);
    }

private:
    std::mt19937_64 engine_;
};

inline Atmosphere::Atmosphere(Weather weather, std::uint64_t seed, int days) : weather_(weather) {
    if (weather == Weather::Smooth) return;
    constexpr double pi = 3.14159265358979323846;
    Random random(seed * 0x2545f4914f6cdd1dULL + 0x7f4a7c15ULL);
    // The offsets after each front alternate in sign, so that they stay
    // within about 5 m/s of the smooth field however many days pass.
    double lastU = 0.0, lastV = 0.0;
    for (int k = 0; k <= days; ++k) {
        Front f;
        f.hours = 24.0 * k + random.uniform(4.0, 20.0);
        f.hoursPerKm = random.uniform(-1.5, 1.5);
        f.width = random.uniform(20.0, 40.0) / 60.0;
        const double size = random.uniform(3.0, 5.0) * (k % 2 == 0 ? 1.0 : -1.0);
        const double angle = random.uniform(0.0, 2.0 * pi);
        const double u = size * std::sin(angle), v = size * std::cos(angle);
        f.du = u - lastU;
        f.dv = v - lastV;
        lastU = u;
        lastV = v;
        fronts_.push_back(f);

        Jet j;
        j.start = 24.0 * k - 2.0;
        j.peak = 24.0 * k + 4.0;
        j.end = 24.0 * k + 9.0;
        j.height = random.uniform(300.0, 600.0);
        j.depth = random.uniform(120.0, 200.0);
        const double speed = random.uniform(8.0, 14.0);
        const double heading = random.uniform(0.0, 2.0 * pi);
        j.u = speed * std::sin(heading);
        j.v = speed * std::cos(heading);
        jets_.push_back(j);
    }
}

inline FieldValue Atmosphere::base(double z, double hours) const {
    if (weather_ != Weather::Fast) return truthAt(z, hours);
    constexpr double pi = 3.14159265358979323846;
    FieldValue f = truthAt(z, hours);
    // Shear of 9 m/s per km, a wind turning from northerly to southerly
    // through the lowest 1.25 km, and swings of 6 and 4.5 hours.
    f.u = 4.0 + 9.0 * z / 1000.0 + 4.0 * std::sin(2.0 * pi * hours / 6.0);
    f.v = -4.0 + 10.0 * std::sin(pi * z / 2500.0) + 3.0 * std::cos(2.0 * pi * hours / 4.5);
    return f;
}

inline FieldValue Atmosphere::at(double z, double hours) const {
    FieldValue f = base(z, hours);
    if (weather_ == Weather::Smooth) return f;
    for (const Front& front : fronts_) {
        const double passage = front.hours + front.hoursPerKm * z / 1000.0;
        const double share = 0.5 * (1.0 + std::tanh((hours - passage) / front.width));
        f.u += front.du * share;
        f.v += front.dv * share;
    }
    constexpr double pi = 3.14159265358979323846;
    for (const Jet& jet : jets_) {
        if (hours <= jet.start || hours >= jet.end) continue;
        const double phase = hours < jet.peak ? (hours - jet.start) / (jet.peak - jet.start)
                                              : (jet.end - hours) / (jet.end - jet.peak);
        const double s = std::sin(0.5 * pi * phase);
        const double layer = (z - jet.height) / jet.depth;
        const double strength = s * s * std::exp(-0.5 * layer * layer);
        f.u += jet.u * strength;
        f.v += jet.v * strength;
    }
    return f;
}

}  // namespace qv::samplegen
