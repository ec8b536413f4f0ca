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

}  // namespace
}  // namespace qv
