// The fixed-column field writers against printf itself: every field of the
// consensus data files must come out byte for byte as its conversion prints
// it, at rounding ties, for negative zero and the smallest and largest
// values, and whole gate lines must match the printf formats.
#include "output/fixed_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "output/consensus_file.h"

namespace qv {
namespace {

std::string printed(const char* format, double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string printedLong(const char* format, long double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The writer's text, or "(printf)" when it leaves the value to printf.
std::string written(double value, int width, int decimals) {
    char text[kFixedFieldRoom];
    const char* end = putFixed(text, value, width, decimals);
    return end ? std::string(static_cast<const char*>(text), end) : std::string("(printf)");
}

std::string writtenLong(long double value, int width) {
    char text[kFixedFieldRoom];
    const char* end = putFixedLong(text, value, width);
    return end ? std::string(static_cast<const char*>(text), end) : std::string("(printf)");
}

// Values at and around every kind of edge: ties of each decimal count
// (exact binary halves), their neighbours, negative zero, subnormals, the
// limits of the fast path.
std::vector<double> edgeValues() {
    std::vector<double> v = {0.0,      -0.0,     0.5,       1.5,        2.5,       -0.5,
                             -2.5,     0.05,     0.25,      0.125,      0.375,     -0.125,
                             0.0625,   1.0625,   2.0625,    0.005,      0.015,     1.005,
                             999.5,    -999.5,   -999.0,    -950.0,     -980.0,    0.45,
                             0.55,     99.995,   -0.004999, 0x1p-1074,  -0x1p-1074, DBL_MIN,
                             0x1p52,   -0x1p52,  0x1p52 - 1, 0x1p51 + 0.5, 1e15,   123456.785};
    const std::size_t base = v.size();
    for (std::size_t i = 0; i < base; ++i) {
        v.push_back(std::nextafter(v[i], 1e300));
        v.push_back(std::nextafter(v[i], -1e300));
    }
    for (int k = -64; k <= 64; ++k) {
        v.push_back(k / 8.0);
        v.push_back(k / 16.0 + 1000.0);
        v.push_back(k / 2048.0);
    }
    return v;
}

TEST(FixedFormat, FieldsMatchPrintfAtEdges) {
    const struct {
        int width;
        int decimals;
    } fields[] = {{7, 0}, {9, 1}, {8, 2}, {1, 3}, {0, 0}, {16, 2}};
    for (const double value : edgeValues()) {
        for (const auto& f : fields) {
            char format[16];
            std::snprintf(format, sizeof format, "%%%d.%df", f.width, f.decimals);
            const std::string mine = written(value, f.width, f.decimals);
            if (mine == "(printf)") {
                EXPECT_GE(std::fabs(value), 0x1p52) << value;
                continue;
            }
            EXPECT_EQ(mine, printed(format, value)) << format << " of " << value;
        }
    }
}

TEST(FixedFormat, FieldsMatchPrintfForRandomValues) {
    std::mt19937_64 rng(167);
    std::uniform_real_distribution<double> wide(-20000.0, 20000.0);
    std::uniform_int_distribution<std::uint32_t> bits;
    std::uniform_int_distribution<int> hundredths(-2000000, 2000000);
    int mismatches = 0;
    for (int i = 0; i < 300000; ++i) {
        double value;
        switch (i % 4) {
        case 0: value = wide(rng); break;
        case 1: value = static_cast<double>(static_cast<float>(wide(rng))); break;
        case 2: {
            // float bit patterns of every magnitude
            std::uint32_t b = bits(rng);
            float f;
            std::memcpy(&f, &b, sizeof f);
            value = static_cast<double>(f);
            break;
        }
        default:  // decimal values near rounding edges once in single precision
            value = static_cast<double>(static_cast<float>(hundredths(rng) / 100.0 + 0.005));
        }
        for (const int decimals : {0, 1, 2}) {
            char format[16];
            std::snprintf(format, sizeof format, "%%8.%df", decimals);
            const std::string mine = written(value, 8, decimals);
            if (mine == "(printf)") {
                if (std::isfinite(value) && std::fabs(value) < 0x1p52) ++mismatches;
                continue;
            }
            if (mine != printed(format, value) && ++mismatches <= 10) {
                ADD_FAILURE() << format << " of " << value << ": " << mine << " against "
                              << printed(format, value);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FixedFormat, LongDoubleHeightsMatchPrintf) {
    std::mt19937_64 rng(4001);
    std::uniform_real_distribution<double> metres(-100.0, 12000.0);
    std::vector<long double> values = {0.0L, -0.0L, 0.5L, 1.5L, 2.5L, -0.5L, -1.5L, 1611.5L,
                                       1612.5L, 0.49999999999999999L, 0x1p52L, -0x1p51L - 0.5L,
                                       std::numeric_limits<long double>::denorm_min()};
    for (int i = 0; i < 100000; ++i) {
        // heights as the wind solution forms them: sums and products in
        // extended precision
        const long double sine = std::sin(static_cast<long double>(metres(rng)));
        values.push_back(1611.0L + 150.0L + static_cast<long double>(i % 100) * 105.0L * sine);
        values.push_back(static_cast<long double>(metres(rng)) + 0.5L);
    }
    int mismatches = 0;
    for (const long double value : values) {
        const std::string mine = writtenLong(value, 7);
        if (mine == "(printf)") {
            EXPECT_GE(std::fabs(value), 0x1p52L);
            continue;
        }
        if (mine != printedLong("%7.0Lf", value) && ++mismatches <= 10) {
            ADD_FAILURE() << static_cast<double>(value) << ": " << mine << " against "
                          << printedLong("%7.0Lf", value);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FixedFormat, ValuesLeftToPrintf) {
    for (const double value : {std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(), 0x1p52, -1e300}) {
        EXPECT_EQ(written(value, 8, 2), "(printf)") << value;
    }
    EXPECT_EQ(writtenLong(std::numeric_limits<long double>::infinity(), 7), "(printf)");
    EXPECT_EQ(writtenLong(1e4000L, 7), "(printf)");
}

TEST(FixedFormat, IntegersMatchPrintf) {
    const std::int64_t values[] = {0, 1, -1, 9, 10, -99, 99, 100, 12345, -12345, 2147483647,
                                   -2147483647 - 1, 4294967295};
    for (const std::int64_t value : values) {
        for (const int width : {0, 2, 4, 5, 6, 16}) {
            char format[16];
            std::snprintf(format, sizeof format, "%%%dlld", width);
            char expected[64];
            std::snprintf(expected, sizeof expected, format, static_cast<long long>(value));
            char text[kFixedFieldRoom];
            const char* end = putInt(text, value, width);
            EXPECT_EQ(std::string(static_cast<const char*>(text), end), expected) << format << " of " << value;
        }
    }
}

// Whole gate lines, with values that the fast path writes and values that
// it leaves to printf, against the formats themselves.
TEST(FixedFormat, GateLinesMatchTheirFormats) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<WindGate> winds;
    auto wind = [&](int qc, long double height, float speed, int direction, float u, float v,
                    float w, std::uint32_t cu, int snr) {
        WindGate g;
        g.qcCode = qc;
        g.height = height;
        g.speed = speed;
        g.direction = direction;
        g.u = u;
        g.v = v;
        g.w = w;
        g.countU = g.countV = g.countW = cu;
        g.snrU = snr;
        g.snrV = snr == std::numeric_limits<std::int32_t>::min() ? snr : -snr;
        g.snrW = -99;
        winds.push_back(g);
    };
    wind(0, 1761.5L, 7.25f, 231, -5.125f, 4.005f, -0.004f, 12, 17);
    wind(8, 2100.4999L, -950.0f, -950, -0.0f, 0.0f, 0.125f, 0, -99);
    wind(8, 1e30L, inf, 2147483647, nan, -inf, 1e20f, 4294967295u, -2147483647 - 1);
    wind(1, -0.5L, 0.05f, 0, 99999.995f, -99999.995f, 3.4e38f, 3, 0);
    for (const WindGate& g : winds) {
        char expected[2048];
        std::snprintf(expected, sizeof expected,
                      "%2d%7.0Lf%9.1f%6d.%8.2f%8.2f%8.2f%4u%4u%4u%5d%5d%5d\n", g.qcCode, g.height,
                      static_cast<double>(g.speed), g.direction, static_cast<double>(g.u),
                      static_cast<double>(g.v), static_cast<double>(g.w), g.countU, g.countV,
                      g.countW, g.snrU, g.snrV, g.snrW);
        EXPECT_EQ(formatWindGateLine(g), expected);
        std::string appended = "kept ";
        appendWindGateLine(appended, g);
        EXPECT_EQ(appended, std::string("kept ") + expected);
    }

    const struct {
        int qc;
        double height;
        double value;
        int count;
        int snr;
    } temperatures[] = {{0, 1761.5, 21.45, 12, 17}, {8, 2500.5, -950.0, 0, -99},
                        {3, -0.4, -0.05, 2147483647, -2147483647 - 1},
                        {8, 1e300, static_cast<double>(nan), 1, 1},
                        {0, 1611.0, static_cast<double>(inf), 5, 5}};
    for (const auto& t : temperatures) {
        char expected[2048];
        std::snprintf(expected, sizeof expected, "%2d%7.0f%9.1f%6d%6d\n", t.qc, t.height, t.value,
                      t.count, t.snr);
        std::string line;
        appendTemperatureGateLine(line, t.qc, t.height, t.value, t.count, t.snr);
        EXPECT_EQ(line, expected);
    }
}

}  // namespace
}  // namespace qv
