#include "core/store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/job.h"
#include "core/numeric.h"
#include "support/scripted_host.h"

namespace qv {
namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        job.host = &host;
        job.params.averagingMinutes = 60;
        processDay(2004, 6, 15);
    }

    void processDay(int y, int m, int d) {
        day = CalendarTime{};
        day.year = static_cast<std::uint16_t>(y);
        day.month = static_cast<std::uint16_t>(m);
        day.day = static_cast<std::uint16_t>(d);
        job.record.processDayOfYear = dayOfYear(y, m, d);
    }

    // A dwell at the given time of the given date; gates get v = gate + base.
    void dwell(int y, int m, int d, int hh, int mm, int ss, int gates = 3, float base = 1.0f,
               std::int16_t az = 0, float el = 66.4f, int pw = 700, int rass = 0) {
        MomentRecord& r = job.record;
        r.recordTime = CalendarTime{};
        r.recordTime.year = static_cast<std::uint16_t>(y);
        r.recordTime.month = static_cast<std::uint16_t>(m);
        r.recordTime.day = static_cast<std::uint16_t>(d);
        r.recordTime.hour = static_cast<std::uint16_t>(hh);
        r.recordTime.minute = static_cast<std::uint16_t>(mm);
        r.recordTime.second = static_cast<std::uint16_t>(ss);
        r.recordDayOfYear = dayOfYear(y, m, d);
        r.azimuth = az;
        r.elevation = el;
        r.pulseWidth = pw;
        r.rassFlag = rass;
        r.gateCount = static_cast<std::int16_t>(gates);
        for (int g = 0; g < kMaxGates && g < gates; ++g) {
            r.gateVelocity[static_cast<std::size_t>(g)] = base + static_cast<float>(g);
            r.gateSnr[static_cast<std::size_t>(g)] = 10.0f;
        }
    }

    std::string keys() {
        std::string out;
        for (AveragingPeriod* p : job.periods) out += std::string(p->key) + " ";
        return out;
    }

    test::ScriptedHost host;
    ConsensusJob job;
    CalendarTime day;
};

TEST_F(StoreTest, PeriodBoundariesBelongToThePeriodThatEndsThere) {
    dwell(2004, 6, 15, 0, 30, 0);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 0, 59, 59);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 1, 0, 0);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 1, 0, 1);
    AccumulateRecord(job, day);
    EXPECT_EQ(keys(), "0000 0100 ");
    EXPECT_EQ(job.periods.findByPosition(0L)->beams.findByPosition(0L)->sampleCount, 3);
    EXPECT_EQ(host.detailLines.back(), "Reading data record 06/15/2004 01:00:01");
}

TEST_F(StoreTest, MidnightDwellAndNextDayAnchorJoinTheLastPeriod) {
    dwell(2004, 6, 15, 23, 30, 0);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 0, 0, 0);  // exactly midnight of the processing day
    AccumulateRecord(job, day);
    CalendarTime next = day;
    next.day = 16;
    dwell(2004, 6, 15, 12, 0, 0);  // a processing-day dwell found in the next day's file
    AccumulateRecord(job, next);
    EXPECT_EQ(keys(), "2300 ");
    EXPECT_EQ(job.periods.findByPosition(0L)->beams.findByPosition(0L)->sampleCount, 3);
}

TEST_F(StoreTest, PeriodThatDoesNotDivideTheDay) {
    job.params.averagingMinutes = 7;
    CalendarTime next = day;
    next.day = 16;
    dwell(2004, 6, 15, 23, 59, 0);
    AccumulateRecord(job, next);
    EXPECT_EQ(keys(), "2353 ");
    dwell(2004, 6, 15, 0, 7, 0);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 0, 7, 1);
    AccumulateRecord(job, day);
    EXPECT_EQ(keys(), "2353 0000 0007 ");
}

TEST_F(StoreTest, WholeDayPeriod) {
    job.params.averagingMinutes = 1440;
    dwell(2004, 6, 15, 0, 0, 1);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 23, 59, 59);
    AccumulateRecord(job, day);
    EXPECT_EQ(keys(), "0000 ");
}

TEST_F(StoreTest, IdentityByExactElevationAndRassFlag) {
    dwell(2004, 6, 15, 1, 10, 0, 3, 1.0f, 0, 90.0f);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 1, 11, 0, 3, 1.0f, 0, 89.99f);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 1, 12, 0, 3, 1.0f, 0, 90.0f, 700, 1);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 1, 13, 0, 3, 1.0f, 0, 90.0f);
    AccumulateRecord(job, day);
    ASSERT_EQ(job.periods.count(), 1u);
    EXPECT_EQ(job.periods.findByPosition(0L)->beams.count(), 3u);
    ASSERT_EQ(job.beamSettings.count(), 3u);
    EXPECT_EQ(job.beamSettings.findByPosition(0L)->elevation, 90.0f);
    EXPECT_EQ(job.beamSettings.findByPosition(1L)->elevation, 89.99f);
    EXPECT_EQ(job.beamSettings.findByPosition(2L)->rassFlag, 1);
    EXPECT_EQ(job.beamSettings.findByPosition(0L)->consensusWindow, 0.0f);
}

TEST_F(StoreTest, NegativeAzimuthIsSignExtendedInTheSettings) {
    dwell(2004, 6, 15, 1, 10, 0, 3, 1.0f, -45);
    AccumulateRecord(job, day);
    EXPECT_EQ(job.beamSettings.findByPosition(0L)->azimuth, -45);
}

TEST_F(StoreTest, ShorterDwellLeavesMarkedSlotsAndTemperaturesAreDerived) {
    dwell(2004, 6, 15, 1, 10, 0, 50, 340.0f);
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 1, 11, 0, 40, 340.0f);
    AccumulateRecord(job, day);
    BeamAccumulator* a = job.periods.findByPosition(0L)->beams.findByPosition(0L);
    EXPECT_EQ(a->maxGateCount, 50);
    EXPECT_EQ(a->sampleCount, 2);
    EXPECT_EQ(a->velocitySamples(45)[0], 385.0f);
    EXPECT_TRUE(std::isnan(a->velocitySamples(45)[1]));
    EXPECT_TRUE(std::isnan(a->temperatureSamples(45)[1]));
    EXPECT_TRUE(std::isnan(a->snrSamples(45)[1]));
    // (340 * -0.049882773)^2 - 273.15 in double from single constants.
    const double c = 340.0 * static_cast<double>(-0.049882773f);
    EXPECT_EQ(a->temperatureSamples(0)[0], static_cast<float>(c * c - static_cast<double>(273.15f)));
}

// Every slot the consensus reads (the first maxGateCount gates of the first
// sampleCount samples) holds a dwell's value or the missing mark, also when
// the gates in use grow after the first dwells, when the arrays are grown,
// and when they are reused from an earlier day that left values in them.
TEST_F(StoreTest, SlotsInUseHoldValuesOrMarksWhateverTheArraysHeldBefore) {
    job.params.averagingMinutes = 4;  // room for 4 samples: the fifth grows the arrays
    const int counts[2][5] = {{60, 60, 60, 60, 60}, {2, 5, 3, 9, 1}};
    for (int d = 0; d < 2; ++d) {
        // Day 15 fills 60 gates of every sample; day 16 reuses its arrays.
        processDay(2004, 6, 15 + d);
        const float base = 1000.0f * static_cast<float>(d);
        for (int i = 0; i < 5; ++i) {
            dwell(2004, 6, 15 + d, 1, 0, 10 + i, counts[d][i], base + 100.0f * static_cast<float>(i));
            AccumulateRecord(job, day);
        }
        BeamAccumulator* a = job.periods.findByPosition(0L)->beams.findByPosition(0L);
        ASSERT_EQ(a->sampleCount, 5);
        ASSERT_EQ(a->maxGateCount, d == 0 ? 60 : 9);
        for (int g = 0; g < a->maxGateCount; ++g) {
            for (int i = 0; i < 5; ++i) {
                const float v = a->velocitySamples(g)[i];
                if (g < counts[d][i]) {
                    EXPECT_EQ(v, base + 100.0f * static_cast<float>(i) + static_cast<float>(g));
                } else {
                    EXPECT_TRUE(std::isnan(v)) << "day " << d << " gate " << g << " sample " << i;
                    EXPECT_TRUE(std::isnan(a->temperatureSamples(g)[i]));
                    EXPECT_TRUE(std::isnan(a->snrSamples(g)[i]));
                }
            }
        }
        ClearPeriodStore(job);
        ASSERT_EQ(job.spareAccumulators.size(), 1u);
    }
}

TEST_F(StoreTest, MoreDwellsThanCapacityGrowTheArrays) {
    job.params.averagingMinutes = 2;
    for (int i = 0; i < 7; ++i) {
        dwell(2004, 6, 15, 1, 0, 10 + i, 3, static_cast<float>(i));
        AccumulateRecord(job, day);
    }
    BeamAccumulator* a = job.periods.findByPosition(0L)->beams.findByPosition(0L);
    ASSERT_EQ(a->sampleCount, 7);
    EXPECT_GE(a->sampleCapacity, 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(a->velocitySamples(0)[i], static_cast<float>(i));
        EXPECT_EQ(a->velocitySamples(2)[i], static_cast<float>(i + 2));
    }
}

TEST_F(StoreTest, DwellsThatCannotBePlacedAreShownButNotStored) {
    dwell(2004, 6, 16, 1, 0, 0);  // another day of year
    AccumulateRecord(job, day);
    EXPECT_EQ(host.detailLines.back(), "Reading data record 06/16/2004 01:00:00");
    dwell(2004, 6, 15, 24, 0, 0);  // hour the calendar rejects
    AccumulateRecord(job, day);
    dwell(2004, 6, 15, 1, 0, 0, -3);  // negative gate count
    AccumulateRecord(job, day);
    job.params.averagingMinutes = 0;  // never loops forever
    dwell(2004, 6, 15, 1, 0, 0);
    AccumulateRecord(job, day);
    EXPECT_TRUE(job.periods.empty());
    EXPECT_TRUE(job.beamSettings.empty());
}

TEST_F(StoreTest, ClearPeriodStoreKeepsSettingsClearBeamSettingsEmptiesModes) {
    dwell(2004, 6, 15, 1, 10, 0);
    AccumulateRecord(job, day);
    job.pulseWidthModes.push_back(700);
    ClearPeriodStore(job);
    EXPECT_TRUE(job.periods.empty());
    EXPECT_EQ(job.beamSettings.count(), 1u);
    ClearBeamSettings(job);
    EXPECT_TRUE(job.beamSettings.empty());
    EXPECT_TRUE(job.pulseWidthModes.empty());
}

}  // namespace
}  // namespace qv
