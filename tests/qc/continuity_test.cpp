// The time-height continuity check on hand-made wind days: what it keeps,
// what it flags, how flagged gates look, and the limits text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "products/day_product.h"
#include "qc/continuity.h"

namespace qv {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A small deterministic noise source (spread about 0.3 m/s).
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed * 2862933555777941757ULL + 3037000493ULL) {}
    float next() {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
            sum += static_cast<double>(state_ >> 11) * 0x1.0p-53;
        }
        return static_cast<float>((sum - 2.0) * 0.5);  // sd about 0.29
    }

private:
    std::uint64_t state_;
};

void setKey(WindPeriod& p, int minutes) {
    const unsigned m = static_cast<unsigned>(minutes) % 1440u;
    std::snprintf(p.key, sizeof p.key, "%02u%02u", m / 60u, m % 60u);
}

void setWind(WindGate& g, float u, float v) {
    g.u = u;
    g.v = v;
    g.speed = std::sqrt(u * u + v * v);
    g.direction = static_cast<std::int32_t>(std::atan2(-u, -v) * 180.0 / kPi + 360.0) % 360;
}

// A smooth day: wind turning and growing with height, slow swings in time,
// noise of about 0.3 m/s; `periods` periods of `minutes` from 00:00, gates
// 96 m apart from 1761 m msl.
WindDay smoothDay(int periods = 48, int gates = 30, int minutes = 30, std::uint64_t seed = 1) {
    WindDay day;
    day.header.fileKind = OutputKind::Winds;
    day.header.variant = 1;
    day.header.averagingMinutes = minutes;
    day.header.gateSpacing = 105.0f;
    day.header.day = CalendarTime{2004, 6, 0, 15, 0, 0, 0, 0};
    Noise noise(seed);
    for (int p = 0; p < periods; ++p) {
        WindPeriod period;
        setKey(period, p * minutes);
        const double hours = p * minutes / 60.0;
        for (int g = 0; g < gates; ++g) {
            WindGate gate;
            gate.height = 1761.0L + 96.0L * g;
            const double u = 5.0 + 0.35 * g + 1.5 * std::sin(2.0 * kPi * hours / 12.0);
            const double v = -2.0 + 0.25 * g + 1.0 * std::cos(2.0 * kPi * hours / 9.0);
            setWind(gate, static_cast<float>(u) + noise.next(), static_cast<float>(v) + noise.next());
            gate.w = 0.05f * static_cast<float>(g % 3);
            gate.countU = 20;
            gate.countV = 21;
            gate.countW = 10;
            gate.snrU = 12;
            gate.snrV = 11;
            gate.snrW = 14;
            period.gates.push_back(gate);
        }
        day.periods.push_back(period);
    }
    return day;
}

int validGates(const WindDay& day) {
    int n = 0;
    for (const WindPeriod& p : day.periods) {
        for (const WindGate& g : p.gates) n += g.qcCode == kQcValidCode ? 1 : 0;
    }
    return n;
}

// The pattern test alone, with the limits it had as the only test.
ContinuityLimits patternOnly() {
    ContinuityLimits limits;
    limits.localTest = false;
    limits.perPeriod = 2.0f;
    limits.perGate = 2.5f;
    return limits;
}

bool isFlaggedGate(const WindGate& g) {
    return g.qcCode == kQcInvalidCode && g.speed == kFailedQcCode && g.direction == -940 &&
           g.u == kFailedQcCode && g.v == kFailedQcCode;
}

TEST(Continuity, CleanSmoothDayLosesNoGate) {
    WindDay day = smoothDay();
    const WindDay before = day;
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    EXPECT_TRUE(day.header.continuityChecked);
    EXPECT_EQ(r.checkedGates, 48 * 30);
    EXPECT_TRUE(r.flagged.empty());
    EXPECT_EQ(validGates(day), 48 * 30);
    EXPECT_EQ(day.periods[17].gates[9].u, before.periods[17].gates[9].u);
}

TEST(Continuity, SixtyMinutePeriodsAndManyGatesLoseNoGate) {
    WindDay day = smoothDay(24, 60, 60, 5);
    EXPECT_TRUE(checkContinuity(day, ContinuityLimits{}).flagged.empty());
}

TEST(Continuity, IsolatedSpikeIsFlaggedWithCodesAndOriginalValues) {
    WindDay day = smoothDay();
    WindGate& spike = day.periods[20].gates[10];
    setWind(spike, spike.u + 6.0f, spike.v);
    const WindGate original = spike;

    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    ASSERT_EQ(r.flagged.size(), 1u);
    const FlaggedGate& f = r.flagged[0];
    EXPECT_STREQ(f.periodKey, "1000");
    EXPECT_EQ(f.gateIndex, 10);
    EXPECT_EQ(f.mode, 1);
    EXPECT_EQ(f.height, original.height);
    EXPECT_EQ(f.speed, original.speed);
    EXPECT_EQ(f.direction, original.direction);
    EXPECT_EQ(f.u, original.u);
    EXPECT_EQ(f.v, original.v);
    EXPECT_EQ(f.patternSize, 1);

    EXPECT_TRUE(isFlaggedGate(spike));
    // Nothing but the wind values and the QC code changes.
    EXPECT_EQ(spike.height, original.height);
    EXPECT_EQ(spike.w, original.w);
    EXPECT_EQ(spike.countU, original.countU);
    EXPECT_EQ(spike.countV, original.countV);
    EXPECT_EQ(spike.snrV, original.snrV);
    EXPECT_EQ(validGates(day), 48 * 30 - 1);
}

TEST(Continuity, SpikeInOneComponentOnlyIsFlagged) {
    WindDay day = smoothDay();
    WindGate& spike = day.periods[5].gates[3];
    setWind(spike, spike.u, spike.v - 4.0f);
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    ASSERT_EQ(r.flagged.size(), 1u);
    EXPECT_EQ(r.flagged[0].gateIndex, 3);
    EXPECT_STREQ(r.flagged[0].periodKey, "0230");
}

TEST(Continuity, SmallBlobIsFlaggedAndTheGatesAroundItStayLinked) {
    WindDay day = smoothDay();
    // 2 periods x 3 gates biased alike: a pattern of 6 of its own.
    for (int p = 30; p < 32; ++p) {
        for (int g = 4; g < 7; ++g) {
            WindGate& gate = day.periods[static_cast<std::size_t>(p)].gates[static_cast<std::size_t>(g)];
            setWind(gate, gate.u - 5.0f, gate.v + 3.0f);
        }
    }
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    ASSERT_EQ(r.flagged.size(), 6u);
    for (const FlaggedGate& f : r.flagged) {
        EXPECT_GE(f.gateIndex, 4);
        EXPECT_LE(f.gateIndex, 6);
        EXPECT_EQ(f.patternSize, 6);
    }
    // With a smaller minimum the blob is a pattern large enough.
    WindDay again = smoothDay();
    for (int p = 30; p < 32; ++p) {
        for (int g = 4; g < 7; ++g) {
            WindGate& gate = again.periods[static_cast<std::size_t>(p)].gates[static_cast<std::size_t>(g)];
            setWind(gate, gate.u - 5.0f, gate.v + 3.0f);
        }
    }
    ContinuityLimits limits = patternOnly();
    limits.minPatternSize = 6;
    EXPECT_TRUE(checkContinuity(again, limits).flagged.empty());
}

TEST(Continuity, OnePeriodBurstAcrossHeightsIsFlagged) {
    WindDay day = smoothDay();
    for (WindGate& g : day.periods[25].gates) setWind(g, g.u, g.v + 5.0f);
    WindDay withoutThin = day;

    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    ASSERT_EQ(r.flagged.size(), 30u);
    for (const FlaggedGate& f : r.flagged) EXPECT_STREQ(f.periodKey, "1230");
    for (const WindGate& g : day.periods[25].gates) EXPECT_TRUE(isFlaggedGate(g));
    EXPECT_EQ(validGates(day), 47 * 30);

    // The burst is one pattern of 30: of the pattern test only the
    // thin-pattern rule finds it.
    ContinuityLimits limits = patternOnly();
    limits.flagThinPatterns = false;
    EXPECT_TRUE(checkContinuity(withoutThin, limits).flagged.empty());
}

TEST(Continuity, OneGateStreakAcrossPeriodsIsFlagged) {
    WindDay day = smoothDay();
    for (int p = 10; p < 30; ++p) {
        WindGate& g = day.periods[static_cast<std::size_t>(p)].gates[12];
        setWind(g, g.u + 5.0f, g.v);
    }
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    ASSERT_EQ(r.flagged.size(), 20u);
    for (const FlaggedGate& f : r.flagged) {
        EXPECT_EQ(f.gateIndex, 12);
        EXPECT_EQ(f.patternSize, 20);
    }
    EXPECT_STREQ(r.flagged.front().periodKey, "0500");
    EXPECT_STREQ(r.flagged.back().periodKey, "1430");
}

TEST(Continuity, SharpButContinuousShearLayerIsKept) {
    // u grows by 2 m/s per gate through gates 10 to 17 (16 m/s over 700 m)
    // all day, on top of the noise.
    WindDay day = smoothDay();
    for (WindPeriod& p : day.periods) {
        for (std::size_t g = 0; g < p.gates.size(); ++g) {
            const float extra = 2.0f * static_cast<float>(std::clamp<int>(static_cast<int>(g) - 10, 0, 8));
            setWind(p.gates[g], p.gates[g].u + extra, p.gates[g].v);
        }
    }
    EXPECT_TRUE(checkContinuity(day, ContinuityLimits{}).flagged.empty());
}

TEST(Continuity, StepBetweenTwoLargeLayersIsKept) {
    // A jump of 6 m/s between gates 14 and 15 all day: two large patterns,
    // neither thin.
    WindDay day = smoothDay();
    for (WindPeriod& p : day.periods) {
        for (std::size_t g = 15; g < p.gates.size(); ++g) {
            setWind(p.gates[g], p.gates[g].u + 6.0f, p.gates[g].v);
        }
    }
    EXPECT_TRUE(checkContinuity(day, ContinuityLimits{}).flagged.empty());
}

TEST(Continuity, SpikesAtTheDayEdgesAreFlagged) {
    WindDay day = smoothDay();
    WindGate& first = day.periods.front().gates.front();
    WindGate& last = day.periods.back().gates.back();
    WindGate& topOfFirst = day.periods.front().gates.back();
    setWind(first, first.u + 6.0f, first.v);
    setWind(last, last.u, last.v - 6.0f);
    setWind(topOfFirst, topOfFirst.u - 6.0f, topOfFirst.v + 6.0f);
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    ASSERT_EQ(r.flagged.size(), 3u);
    EXPECT_STREQ(r.flagged[0].periodKey, "0000");
    EXPECT_EQ(r.flagged[0].gateIndex, 0);
    EXPECT_STREQ(r.flagged[1].periodKey, "0000");
    EXPECT_EQ(r.flagged[1].gateIndex, 29);
    EXPECT_STREQ(r.flagged[2].periodKey, "2330");
    EXPECT_EQ(r.flagged[2].gateIndex, 29);
}

TEST(Continuity, PatternReachingOverMidnightCountsTheNeighbourDays) {
    // The day holds only its first period with 6 gates: alone a pattern too
    // small; with the day before (same wind in its last periods) it is part
    // of a large one. The neighbour is not changed.
    WindDay before = smoothDay(48, 6);
    WindDay day = smoothDay(1, 6, 30, 9);
    day.header.day.day = 16;
    {
        WindDay alone = day;
        EXPECT_EQ(checkContinuity(alone, ContinuityLimits{}).flagged.size(), 6u);
    }
    // Continue the previous day's wind at 24:00 (its swing at 24 h).
    for (std::size_t g = 0; g < 6; ++g) {
        const WindGate& prev = before.periods.back().gates[g];
        setWind(day.periods[0].gates[g], prev.u + 0.2f, prev.v - 0.1f);
    }
    const WindDay beforeCopy = before;
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{}, &before, nullptr);
    EXPECT_TRUE(r.flagged.empty());
    EXPECT_EQ(r.checkedGates, 6);
    EXPECT_FALSE(before.header.continuityChecked);
    EXPECT_EQ(validGates(before), validGates(beforeCopy));

    // A neighbour of another mode or averaging period is not used.
    for (const int change : {0, 1}) {
        WindDay other = beforeCopy;
        if (change == 0) other.header.variant = 2;
        else other.header.averagingMinutes = 60;
        WindDay fresh = day;
        for (WindPeriod& p : fresh.periods) {
            for (std::size_t g = 0; g < 6; ++g) p.gates[g] = beforeCopy.periods.back().gates[g];
        }
        EXPECT_EQ(checkContinuity(fresh, ContinuityLimits{}, &other, nullptr).flagged.size(), 6u);
    }
}

TEST(Continuity, DayAfterLinksTheLastPeriods) {
    WindDay day = smoothDay(48, 6);
    // Only the last period of the day has data at gate 0..5; earlier ones
    // are made invalid.
    for (std::size_t p = 0; p + 1 < day.periods.size(); ++p) {
        for (WindGate& g : day.periods[p].gates) {
            g.qcCode = kQcInvalidCode;
            g.speed = kFailedConsensusCode;
            g.direction = -950;
        }
    }
    WindDay after = smoothDay(4, 6);
    for (std::size_t g = 0; g < 6; ++g) {
        const WindGate& last = day.periods.back().gates[g];
        for (WindPeriod& p : after.periods) setWind(p.gates[g], last.u, last.v);
    }
    WindDay alone = day;
    EXPECT_EQ(checkContinuity(alone, ContinuityLimits{}).flagged.size(), 6u);
    EXPECT_TRUE(checkContinuity(day, ContinuityLimits{}, nullptr, &after).flagged.empty());
}

TEST(Continuity, InvalidGatesStayAsTheyAreAndDoNotTakePart) {
    WindDay day = smoothDay();
    // A failed-consensus gate with an absurd u: it must not be touched nor
    // cut its neighbours off.
    WindGate& invalid = day.periods[12].gates[7];
    invalid.qcCode = kQcInvalidCode;
    invalid.speed = kFailedConsensusCode;
    invalid.direction = -950;
    invalid.u = 40.0f;
    invalid.v = -33.0f;
    const WindGate invalidCopy = invalid;
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    EXPECT_TRUE(r.flagged.empty());
    EXPECT_EQ(r.checkedGates, 48 * 30 - 1);
    EXPECT_EQ(invalid.qcCode, invalidCopy.qcCode);
    EXPECT_EQ(invalid.speed, invalidCopy.speed);
    EXPECT_EQ(invalid.direction, invalidCopy.direction);
    EXPECT_EQ(invalid.u, invalidCopy.u);
    EXPECT_EQ(invalid.v, invalidCopy.v);
}

TEST(Continuity, LoneValidGateAmongInvalidOnesIsFlagged) {
    WindDay day = smoothDay();
    for (WindPeriod& p : day.periods) {
        for (std::size_t g = 20; g < p.gates.size(); ++g) {
            p.gates[g].qcCode = kQcInvalidCode;
            p.gates[g].speed = kFailedConsensusCode;
            p.gates[g].direction = -950;
        }
    }
    day.periods[30].gates[25].qcCode = kQcValidCode;
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    ASSERT_EQ(r.flagged.size(), 1u);
    EXPECT_EQ(r.flagged[0].gateIndex, 25);
}

TEST(Continuity, MissingPeriodsAreBridgedWithScaledLimits) {
    // One gate: a time series. From 12:30 on every other period is missing
    // and u grows by 2.5 m/s per present period: 1.25 m/s per averaging
    // period, beyond the limit of 2 m/s for adjacent periods but within the
    // 2 x 2 m/s allowed across one missing period.
    WindDay day = smoothDay(48, 1);
    std::vector<WindPeriod> kept;
    float drift = 0.0f;
    int sparse = 0;
    for (std::size_t p = 0; p < day.periods.size(); ++p) {
        if (p >= 25 && p % 2 == 1) continue;
        if (p >= 26) {
            drift += 2.5f;
            ++sparse;
        }
        for (WindGate& g : day.periods[p].gates) setWind(g, g.u + drift, g.v);
        kept.push_back(day.periods[p]);
    }
    day.periods = kept;
    WindDay adjacentOnly = day;
    EXPECT_TRUE(checkContinuity(day, patternOnly()).flagged.empty());

    // Linked to adjacent periods only, each sparse period stands alone.
    ContinuityLimits adjacent = patternOnly();
    adjacent.maxGap = 1;
    const ContinuityResult r = checkContinuity(adjacentOnly, adjacent);
    ASSERT_EQ(static_cast<int>(r.flagged.size()), sparse);
    EXPECT_STREQ(r.flagged.front().periodKey, "1300");
    EXPECT_STREQ(r.flagged.back().periodKey, "2300");
}

TEST(Continuity, SpikeDoesNotCutANarrowColumnApart) {
    // One gate only: a time series. The spike is passed over and the
    // values on both sides stay one pattern.
    WindDay day = smoothDay(12, 1);
    WindGate& spike = day.periods[6].gates[0];
    setWind(spike, spike.u + 8.0f, spike.v);
    ContinuityLimits limits;
    limits.minPatternSize = 8;
    limits.flagThinPatterns = false;
    const ContinuityResult r = checkContinuity(day, limits);
    ASSERT_EQ(r.flagged.size(), 1u);
    EXPECT_STREQ(r.flagged[0].periodKey, "0300");
}

TEST(Continuity, DayProductsAreCheckedPerModeAgainstTheSameModesNeighbours) {
    DayProducts products;
    products.winds.push_back(smoothDay());
    products.winds.push_back(smoothDay(48, 30, 30, 3));
    products.winds[1].header.variant = 2;
    WindGate& spike = products.winds[1].periods[3].gates[3];
    setWind(spike, spike.u + 7.0f, spike.v);
    const ContinuityResult r = checkContinuity(products, ContinuityLimits{});
    ASSERT_EQ(r.flagged.size(), 1u);
    EXPECT_EQ(r.flagged[0].mode, 2);
    EXPECT_EQ(r.checkedGates, 2 * 48 * 30);
    EXPECT_TRUE(products.winds[0].header.continuityChecked);
    EXPECT_TRUE(products.winds[1].header.continuityChecked);
}

// A day from a table: u and v of every period and gate, no noise; gates
// 96 m apart from 1761 m msl, 30-minute periods from 00:00, strong echoes.
WindDay tableDay(int periods, int gates, float (*u)(int p, int g), float (*v)(int p, int g)) {
    WindDay day = smoothDay(periods, gates);
    for (int p = 0; p < periods; ++p) {
        for (int g = 0; g < gates; ++g) {
            WindGate& gate = day.periods[static_cast<std::size_t>(p)].gates[static_cast<std::size_t>(g)];
            setWind(gate, u(p, g), v(p, g));
        }
    }
    return day;
}

WindGate& at(WindDay& day, int p, int g) {
    return day.periods[static_cast<std::size_t>(p)].gates[static_cast<std::size_t>(g)];
}

ContinuityLimits localOnly() {
    ContinuityLimits limits;
    limits.patternTest = false;
    return limits;
}

float steadyU(int, int g) { return 5.0f + 0.5f * static_cast<float>(g); }
float steadyV(int, int) { return -2.0f; }

TEST(ContinuityLocal, MedianOfTheNeighboursAndTheSmallestLimit) {
    // u = 5 + 0.5 g, v = -2: the median of the 24 neighbours of (10, 6) is
    // its own wind (8, -2); departures of 2.9 m/s pass, 3.1 m/s fail.
    WindDay day = tableDay(20, 12, steadyU, steadyV);
    setWind(at(day, 10, 6), 8.0f + 2.9f, -2.0f);
    setWind(at(day, 5, 3), 6.5f, -2.0f - 3.1f);
    const ContinuityResult r = checkContinuity(day, localOnly());
    ASSERT_EQ(r.flagged.size(), 1u);
    const FlaggedGate& f = r.flagged[0];
    EXPECT_STREQ(f.periodKey, "0230");
    EXPECT_EQ(f.gateIndex, 3);
    EXPECT_EQ(f.failed, kFailedLocalTest);
    EXPECT_EQ(f.patternSize, 0);
    ASSERT_TRUE(f.estimated);
    EXPECT_FLOAT_EQ(f.medianU, 6.5f);
    EXPECT_FLOAT_EQ(f.medianV, -2.0f);
    EXPECT_NEAR(f.departure, 3.1f, 1e-5f);
    EXPECT_FLOAT_EQ(f.limit, 3.0f);
    EXPECT_EQ(f.neighbours, 24);
    EXPECT_TRUE(isFlaggedGate(at(day, 5, 3)));
}

// A nocturnal jet: u peaks at gate 8, 15 m/s above the 5 m/s around it
// and about 2 gates deep, growing over 6 periods from period 2 and dying
// out over 6 periods from period 14.
float jetU(int p, int g) {
    const float grow = static_cast<float>(p - 2) / 6.0f;
    const float die = static_cast<float>(20 - p) / 6.0f;
    const float strength = std::clamp(std::min(grow, die), 0.0f, 1.0f);
    const float layer = static_cast<float>(g - 8) / 2.0f;
    return 5.0f + 15.0f * strength * std::exp(-0.5f * layer * layer);
}

TEST(ContinuityLocal, JetIsKeptAtStrongGatesAndAWeakGateIsNotExcusedByItsNeighbours) {
    WindDay day = tableDay(24, 16, jetU, steadyV);
    EXPECT_TRUE(checkContinuity(day, ContinuityLimits{}).flagged.empty());

    // A wind 4.1 m/s off among noisy neighbours (about 2.3 m/s in u and
    // v): at a strong gate the spread widens the limit, at a weak gate it
    // does not.
    for (const int snr : {12, 0}) {
        WindDay noisy = tableDay(20, 16, steadyU, steadyV);
        Noise noise(7);
        for (int p = 0; p < 20; ++p) {
            for (int g = 10; g < 16; ++g) {
                WindGate& gate = at(noisy, p, g);
                setWind(gate, gate.u + 8.0f * noise.next(), gate.v + 8.0f * noise.next());
                gate.snrU = gate.snrV = snr;
            }
        }
        WindGate& off = at(noisy, 10, 13);
        setWind(off, steadyU(10, 13) + 1.0f, steadyV(10, 13) + 4.0f);
        SCOPED_TRACE(snr);
        checkContinuity(noisy, localOnly());
        EXPECT_EQ(isFlaggedGate(off), snr <= 5);
    }
}

// A front: u and v change by 8 and -6 m/s within one period, reaching gate
// g at period 10 + g / 4 (a sloping front).
float frontU(int p, int g) { return p >= 10 + g / 4 ? 13.0f : 5.0f; }
float frontV(int p, int g) { return p >= 10 + g / 4 ? -8.0f : -2.0f; }

TEST(ContinuityLocal, FrontIsKept) {
    WindDay day = tableDay(24, 16, frontU, frontV);
    EXPECT_TRUE(checkContinuity(day, ContinuityLimits{}).flagged.empty());
}

TEST(ContinuityLocal, TopOfAShearedColumnIsKeptByThePlane) {
    // u grows by 2.5 m/s per gate and v by 2 m/s; above gate 9 every gate is
    // invalid and the highest valid ones are weak. The medians of the
    // neighbours of the two top gates lag a gate (3.2 m/s) behind them; the
    // plane through them fits.
    WindDay day = tableDay(20, 14, [](int, int g) { return 5.0f + 2.5f * static_cast<float>(g); },
                           [](int, int g) { return -2.0f + 2.0f * static_cast<float>(g); });
    for (WindPeriod& p : day.periods) {
        for (std::size_t g = 7; g < p.gates.size(); ++g) p.gates[g].snrU = p.gates[g].snrV = 0;
        for (std::size_t g = 10; g < p.gates.size(); ++g) p.gates[g].qcCode = kQcInvalidCode;
    }
    WindDay withoutPlane = day;
    EXPECT_TRUE(checkContinuity(day, localOnly()).flagged.empty());
    ContinuityLimits limits = localOnly();
    limits.plane = false;
    const ContinuityResult r = checkContinuity(withoutPlane, limits);
    EXPECT_EQ(r.flagged.size(), 40u);
    for (const FlaggedGate& f : r.flagged) EXPECT_GE(f.gateIndex, 8);
}

TEST(ContinuityLocal, TooFewNeighboursSayNothing) {
    // Gate 5 of period 10 with only three valid neighbours, 8 m/s off.
    WindDay day = tableDay(20, 12, steadyU, steadyV);
    for (int p = 8; p <= 12; ++p) {
        for (int g = 3; g <= 7; ++g) {
            const bool keep = (p == 10 && g == 5) || (p == 9 && g == 5) || (p == 11 && g == 5) ||
                              (p == 10 && g == 4);
            if (!keep) at(day, p, g).qcCode = kQcInvalidCode;
        }
    }
    setWind(at(day, 10, 5), 16.0f, -2.0f);
    EXPECT_TRUE(checkContinuity(day, localOnly()).flagged.empty());
    ContinuityLimits three = localOnly();
    three.minNeighbours = 3;
    EXPECT_EQ(checkContinuity(day, three).flagged.size(), 1u);
}

TEST(ContinuityLocal, OddDaysAreCheckedWithoutHarm) {
    // Periods of other gate counts and heights, an empty period, a key that
    // is not a time of day, winds of 1e30 m/s, an infinite u, huge SNRs.
    WindDay day = tableDay(12, 10, steadyU, steadyV);
    day.periods[3].gates.resize(4);
    day.periods[4].gates.clear();
    for (WindGate& g : day.periods[5].gates) g.height += 40.0L;
    std::memcpy(day.periods[6].key, "xx99", 4);
    setWind(at(day, 8, 2), 1e30f, -1e30f);
    at(day, 9, 3).u = std::numeric_limits<float>::infinity();
    at(day, 10, 5).snrU = std::numeric_limits<std::int32_t>::min();
    at(day, 10, 6).snrV = std::numeric_limits<std::int32_t>::max();
    const WindDay original = day;
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{}, &original, &original);
    ASSERT_FALSE(r.flagged.empty());
    EXPECT_TRUE(isFlaggedGate(at(day, 8, 2)));
    EXPECT_EQ(at(day, 9, 3).u, std::numeric_limits<float>::infinity());  // not valid: untouched
    for (const FlaggedGate& f : r.flagged) EXPECT_TRUE(f.gateIndex < 10) << f.gateIndex;
    EXPECT_FALSE(continuityReportText(day.header, r.flagged).empty());
}

TEST(ContinuityReport, ListsTheOriginalValuesTheTestAndTheEstimate) {
    WindDay day = tableDay(48, 30, [](int, int) { return 5.0f; }, steadyV);
    WindGate& spike = at(day, 20, 10);
    spike.u = 12.5f;
    spike.v = -3.25f;
    spike.speed = 12.9f;
    spike.direction = 284;
    spike.height = 2721.0L;
    const ContinuityResult r = checkContinuity(day, ContinuityLimits{});
    ASSERT_EQ(r.flagged.size(), 1u);
    const std::string heading =
        "date,mode,period,gate,height_m_msl,speed_m_s,direction_deg,u_m_s,v_m_s,pattern_size,"
        "test,median_u_m_s,median_v_m_s,departure_m_s,limit_m_s,neighbours\n";
    EXPECT_EQ(continuityReportText(day.header, r.flagged),
              heading + "2004-06-15,1,1000,10,2721.0,12.90,284,12.50,-3.25,1,local+pattern,5.00,"
                        "-2.00,7.60,3.00,24\n");
    // Only one test, and no estimate.
    FlaggedGate f = r.flagged[0];
    f.failed = kFailedPatternTest;
    f.estimated = false;
    f.neighbours = 2;
    EXPECT_EQ(continuityReportText(day.header, {f}),
              heading + "2004-06-15,1,1000,10,2721.0,12.90,284,12.50,-3.25,1,pattern,,,,,2\n");
    EXPECT_EQ(continuityReportText(day.header, {}), heading);
}

TEST(ContinuityLimitsText, ReadsKeysInAnyOrderAndKeepsTheOthers) {
    ContinuityLimits limits;
    std::string error;
    ASSERT_TRUE(parseContinuityLimits("period=4,gate=3,min=5", limits, error)) << error;
    EXPECT_EQ(limits.perPeriod, 4.0f);
    EXPECT_EQ(limits.perGate, 3.0f);
    EXPECT_EQ(limits.minPatternSize, 5);
    EXPECT_EQ(limits.maxGap, 2);
    EXPECT_TRUE(limits.flagThinPatterns);

    ASSERT_TRUE(parseContinuityLimits("thin=0,gap=1,gate=1.75", limits, error)) << error;
    EXPECT_EQ(limits.perPeriod, 4.0f);
    EXPECT_EQ(limits.perGate, 1.75f);
    EXPECT_EQ(limits.maxGap, 1);
    EXPECT_FALSE(limits.flagThinPatterns);

    ASSERT_TRUE(parseContinuityLimits(
        "local=0,tspan=1,zspan=3,neighbours=6,depart=2.5,spread=0,weak=-2.5,plane=0,pattern=0",
        limits, error))
        << error;
    EXPECT_FALSE(limits.localTest);
    EXPECT_EQ(limits.spanPeriods, 1);
    EXPECT_EQ(limits.spanGates, 3);
    EXPECT_EQ(limits.minNeighbours, 6);
    EXPECT_EQ(limits.departure, 2.5f);
    EXPECT_EQ(limits.spreadFactor, 0.0f);
    EXPECT_EQ(limits.weakSnr, -2.5f);
    EXPECT_FALSE(limits.plane);
    EXPECT_FALSE(limits.patternTest);

    EXPECT_EQ(formatContinuityLimits(ContinuityLimits{}),
              "local=1,tspan=2,zspan=2,neighbours=4,depart=3,spread=3,weak=5,plane=1,"
              "pattern=1,period=3,gate=3,min=8,gap=2,thin=1");
    ContinuityLimits round;
    ASSERT_TRUE(parseContinuityLimits(formatContinuityLimits(limits), round, error)) << error;
    EXPECT_EQ(formatContinuityLimits(round), formatContinuityLimits(limits));
}

TEST(ContinuityLimitsText, RefusesMalformedTextAndLeavesTheLimits) {
    for (const char* bad : {"", "period", "period=", "period=0", "period=-1", "period=abc",
                            "period=4,", ",period=4", "period=4,,gate=3", "speed=3",
                            "period=4,period=5", "min=2.5", "min=0", "gap=0", "gap=101",
                            "thin=2", "period= 4", " period=4", "period=4 ", "gate=1e1",
                            "period=inf", "period=nan", "PERIOD=4", "min=100001", "depart=0",
                            "depart=-3", "weak=-", "weak=--2", "weak=51", "weak=-50.5",
                            "tspan=11", "zspan=1.5", "neighbours=0", "spread=101", "plane=2",
                            "local=-1", "pattern=1,pattern=1"}) {
        ContinuityLimits limits;
        limits.perPeriod = 7.0f;
        std::string error;
        EXPECT_FALSE(parseContinuityLimits(bad, limits, error)) << '"' << bad << '"';
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(limits.perPeriod, 7.0f) << bad;
    }
}

}  // namespace
}  // namespace qv
