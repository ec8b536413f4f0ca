// The known atmosphere behind the sample data, and a random source that
// gives the same numbers on every machine.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>

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

}  // namespace qv::samplegen
