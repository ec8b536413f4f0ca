#include "consensus/gate_consensus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace qv {
namespace {

// Bit patterns, so that -0.0, NaN payloads and last-bit differences count.
std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Samples that stress the grouping: values on a coarse grid (many ties and
// values exactly on window edges), missing velocities around -99, NaN
// marks, infinities, signed zeros, and SNRs near the flag value.
std::vector<float> hardSamples(std::mt19937& rng, int n, float scale) {
    std::uniform_int_distribution<int> kind(0, 19);
    std::uniform_int_distribution<int> grid(-40, 40);
    std::uniform_real_distribution<float> any(-30.0f, 30.0f);
    std::vector<float> v(static_cast<std::size_t>(n));
    for (float& x : v) {
        switch (kind(rng)) {
            case 0: x = std::numeric_limits<float>::quiet_NaN(); break;
            case 1: x = -99.0f; break;
            case 2: x = -99.5f; break;
            case 3: x = -98.9f; break;
            case 4: x = -0.0f; break;
            case 5: x = std::numeric_limits<float>::infinity(); break;
            case 6: case 7: case 8: x = any(rng) * scale; break;
            default: x = static_cast<float>(grid(rng)) * 0.25f * scale; break;
        }
    }
    return v;
}

TEST(GateConsensus_Fast, RadarMatchesTheScanBitForBit) {
    std::mt19937 rng(12345);
    const float windows[] = {0.0f, 0.25f, 0.5f, 1.0f, 2.0f, 3.5f, 1000.0f, -1.0f,
                             std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()};
    int compared = 0;
    for (int trial = 0; trial < 600; ++trial) {
        const int n = trial % 7 == 0 ? trial % 5 : 1 + static_cast<int>(rng() % 120);
        const float scale = trial % 3 == 0 ? 1.0f : 0.1f;
        std::vector<float> v = hardSamples(rng, n, scale);
        std::vector<float> snr = hardSamples(rng, n, 3.0f);
        for (float w : windows) {
            // Start from a count that may already exceed small groups, as a
            // second pass over a gate would.
            const std::uint32_t start = trial % 11 == 0 ? 2u : 0u;
            std::uint32_t c1 = start, c2 = start;
            float m1 = 7.0f, m2 = 7.0f, s1 = 7.0f, s2 = 7.0f;
            radarGateConsensus(v.data(), snr.data(), n, w, c1, m1, s1);
            radarGateConsensusScan(v.data(), snr.data(), n, w, c2, m2, s2);
            ASSERT_EQ(c1, c2) << "trial " << trial << " window " << w;
            ASSERT_EQ(bits(m1), bits(m2)) << "trial " << trial << " window " << w;
            ASSERT_EQ(bits(s1), bits(s2)) << "trial " << trial << " window " << w;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 6000);
}

TEST(GateConsensus_Fast, RassMatchesTheScanBitForBit) {
    std::mt19937 rng(777);
    const float windows[] = {0.0f, 0.5f, 1.0f, 2.0f, 5.0f, -2.0f,
                             std::numeric_limits<float>::quiet_NaN()};
    for (int trial = 0; trial < 600; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 100);
        std::vector<float> speed = hardSamples(rng, n, 1.0f);
        std::vector<float> temperature = hardSamples(rng, n, 0.5f);
        std::vector<float> snr = hardSamples(rng, n, 2.0f);
        for (float w : windows) {
            std::uint32_t c1 = 0, c2 = 0;
            float v1 = 1, v2 = 1, t1 = 1, t2 = 1, s1 = 1, s2 = 1;
            rassGateConsensus(speed.data(), temperature.data(), snr.data(), n, w,
                              {c1, v1, t1, s1});
            rassGateConsensusScan(speed.data(), temperature.data(), snr.data(), n, w,
                                  {c2, v2, t2, s2});
            ASSERT_EQ(c1, c2) << "trial " << trial;
            ASSERT_EQ(bits(v1), bits(v2)) << "trial " << trial;
            ASSERT_EQ(bits(t1), bits(t2)) << "trial " << trial;
            ASSERT_EQ(bits(s1), bits(s2)) << "trial " << trial;
        }
    }
}

TEST(GateConsensus_Groups, LargestGroupLowestCentreAndMissingSamples) {
    struct Case {
        std::vector<float> v;
        float window;
        std::uint32_t count;
        float mean;
    };
    const Case cases[] = {
        {{1.0f, 1.4f, 2.0f, 5.0f}, 1.0f, 2, 1.2f},
        {{1.0f, 1.2f, 3.0f, 3.2f}, 1.0f, 2, 1.1f},      // equal groups: lowest centre
        {{1.0f, 1.5f, 0.5f}, 1.0f, 3, 1.0f},            // both bounds inclusive
        {{-98.9f, -99.0f, -150.0f}, 1.0f, 1, -98.9f},   // -99.0 and below are missing
        {{-99.5f, -99.0f}, 10.0f, 0, 0.0f},
    };
    for (const Case& c : cases) {
        std::vector<float> snr(c.v.size(), 10.0f);
        std::uint32_t count = 0;
        float mean = 0.0f, meanSnr = 0.0f;
        radarGateConsensus(c.v.data(), snr.data(), static_cast<int>(c.v.size()), c.window, count,
                           mean, meanSnr);
        EXPECT_EQ(count, c.count);
        EXPECT_FLOAT_EQ(mean, c.mean);
        if (count > 0) {
            EXPECT_FLOAT_EQ(meanSnr, 10.0f);
        }
    }
}

// Virtual temperature of an acoustic speed, as the period store forms it.
float virtualTemperature(float speed) {
    const double c = static_cast<double>(speed) * static_cast<double>(-0.049882773f);
    return static_cast<float>(c * c - static_cast<double>(273.15f));
}

struct RassResult {
    std::uint32_t count = 0;
    float speed = 0.0f, temperature = 0.0f, snr = 0.0f;
};

// Both forms of the RASS consensus over acoustic speeds; they must agree.
RassResult rassOf(const std::vector<float>& speed, const std::vector<float>& snr, float window) {
    std::vector<float> temperature;
    for (float v : speed) temperature.push_back(virtualTemperature(v));
    const int n = static_cast<int>(speed.size());
    RassResult fast, scan;
    rassGateConsensus(speed.data(), temperature.data(), snr.data(), n, window,
                      {fast.count, fast.speed, fast.temperature, fast.snr});
    rassGateConsensusScan(speed.data(), temperature.data(), snr.data(), n, window,
                          {scan.count, scan.speed, scan.temperature, scan.snr});
    EXPECT_EQ(fast.count, scan.count);
    EXPECT_EQ(bits(fast.speed), bits(scan.speed));
    EXPECT_EQ(bits(fast.temperature), bits(scan.temperature));
    EXPECT_EQ(bits(fast.snr), bits(scan.snr));
    return fast;
}

// The -999 m/s mark of a missing acoustic speed has a "temperature" of about
// 2210 degrees C; a gate where most dwells are missing used to average those
// marks into a valid-looking 2210.2 with a meaningless SNR.
TEST(GateConsensus_Rass, MissingAcousticSpeedsNeverFormAGroup) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> speed = {-999.0f, 343.8f, -999.0f, -999.0f, 343.9f, -999.0f, nan};
    const std::vector<float> snr = {-999.0f, 12.0f, -999.0f, -999.0f, 12.0f, -999.0f, nan};
    const RassResult r = rassOf(speed, snr, 1.5f);
    EXPECT_EQ(r.count, 2u);
    EXPECT_NEAR(r.temperature, virtualTemperature(343.85f), 0.05f);
    EXPECT_FLOAT_EQ(r.snr, 12.0f);
    EXPECT_LT(r.temperature, 60.0f);
}

TEST(GateConsensus_Rass, MissingBoundIsTheRadarOne) {
    // -98.9 truncates to -98 and is a member; -99.0 and -99.5 are missing.
    EXPECT_EQ(rassOf({-98.9f, -98.9f}, {5.0f, 5.0f}, 1.0f).count, 2u);
    EXPECT_EQ(rassOf({-99.0f, -99.0f, -99.5f}, {5.0f, 5.0f, 5.0f}, 1.0f).count, 0u);
}

// A gate of missing samples only keeps count 0 and means 0: no SNR is formed
// from zero samples (10 log10 of 0 / 0).
TEST(GateConsensus_Rass, GateOfMissingSamplesKeepsCountAndMeansZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const std::vector<float>& speed :
         {std::vector<float>{-999.0f, -999.0f, -999.0f}, std::vector<float>{nan, nan},
          std::vector<float>{-150.0f, nan, -999.0f, -99.0f}, std::vector<float>{}}) {
        const std::vector<float> snr(speed.size(), -999.0f);
        const RassResult r = rassOf(speed, snr, 100.0f);
        EXPECT_EQ(r.count, 0u);
        EXPECT_EQ(bits(r.speed), bits(0.0f));
        EXPECT_EQ(bits(r.temperature), bits(0.0f));
        EXPECT_EQ(bits(r.snr), bits(0.0f));
    }
}

// Many gates mixing real acoustic speeds and missing marks: whatever wins,
// no missing sample is in the group (its mean temperature is physical) and
// the fast form matches the scan.
TEST(GateConsensus_Rass, NoMissingSampleInAnyGroup) {
    std::mt19937 rng(4242);
    std::uniform_real_distribution<float> speeds(330.0f, 350.0f);
    std::uniform_int_distribution<int> kind(0, 9);
    for (int trial = 0; trial < 400; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 90);
        std::vector<float> speed, snr;
        for (int i = 0; i < n; ++i) {
            const int k = kind(rng);
            speed.push_back(k < 4 ? -999.0f : k == 4 ? std::numeric_limits<float>::quiet_NaN()
                                                     : speeds(rng));
            snr.push_back(k < 5 ? -999.0f : 10.0f);
        }
        const RassResult r = rassOf(speed, snr, trial % 2 ? 1.5f : 40.0f);
        if (r.count == 0) continue;
        EXPECT_GT(r.temperature, -10.0f) << "trial " << trial;
        EXPECT_LT(r.temperature, 40.0f) << "trial " << trial;
        EXPECT_FLOAT_EQ(r.snr, 10.0f) << "trial " << trial;
    }
}

}  // namespace
}  // namespace qv
