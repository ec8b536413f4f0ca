// Temperature consensus: averaging of radar and RASS beams, the threshold and
// policy tests, and the Tv and TvC day files as a user reads them.
#include "consensus/temperature_consensus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/store.h"
#include "output/consensus_file_sink.h"
#include "support/scripted_host.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::ScriptedHost;

struct Beam {
    std::int16_t azimuth;
    float elevation;
    std::int32_t pulseWidth;
    std::int32_t rassFlag;
};

constexpr Beam kRass{0, 90.0f, 400, 1};
constexpr Beam kRadar{0, 90.0f, 700, 0};

// One processing day of station "abcd" on 2 February 2004 (day 33), with an
// output folder of its own and a fixed clock.
class RassDay {
  public:
    explicit RassDay(const std::string& name)
        : dir_(fs::path(QUORVANE_BINARY_DIR) / "test_output" / "temperature_consensus" / name) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        host.output = OutputKind::Temperature;
        host.policy = VerticalPolicy::WhenAvailable;
        job.host = &host;
        job.clock = [] { return CalendarTime{2004, 2, 2, 3, 12, 34, 56, 0}; };
        job.params.outputPath = dir_.string();
        job.params.averagingMinutes = 60;
        job.params.outputKindText = "Temperature";
        job.params.dataSourceText = "Test Source";
        job.currentDay = CalendarTime{2004, 2, 1, 2, 0, 0, 0, 0};
        job.record.stationName = "abcd";
        job.record.latitudeCenti = 4012;
        job.record.longitudeCenti = -10525;
        job.record.siteElevation = 1000;
    }

    // One dwell of `beam`, sample `index` of the period starting at
    // `periodHour`:00; gates take the speeds given and SNRs (10.5 dB if none,
    // which prints as 10 whatever the rounding of the linear sums).
    void addDwell(const Beam& beam, int periodHour, int index, const std::vector<float>& speeds,
                  const std::vector<float>& snrs = {}) {
        MomentRecord& r = job.record;
        const int seconds = periodHour * 3600 + 600 + 20 * index;
        r.recordTime = CalendarTime{2004,
                                    2,
                                    0,
                                    2,
                                    static_cast<std::uint16_t>(seconds / 3600),
                                    static_cast<std::uint16_t>(seconds / 60 % 60),
                                    static_cast<std::uint16_t>(seconds % 60),
                                    0};
        r.recordDayOfYear = r.processDayOfYear = 33;
        r.azimuth = beam.azimuth;
        r.elevation = beam.elevation;
        r.pulseWidth = beam.pulseWidth;
        r.rassFlag = beam.rassFlag;
        r.firstGateHeight = 150;
        r.gateSpacing = 60.0f;
        r.gateCount = static_cast<std::int16_t>(speeds.size());
        for (std::size_t g = 0; g < speeds.size(); ++g) {
            r.gateVelocity[g] = speeds[g];
            r.gateSnr[g] = snrs.empty() ? 10.5f : snrs[g];
        }
        AccumulateRecord(job, job.currentDay);
    }

    // One-gate dwells, one per value, in order.
    void addSeries(const Beam& beam, int periodHour, const std::vector<float>& gate0) {
        for (std::size_t i = 0; i < gate0.size(); ++i) {
            addDwell(beam, periodHour, static_cast<int>(i), {gate0[i]});
        }
    }

    void setConsensus(const Beam& beam, float window, std::int32_t percent) {
        for (BeamSetting* s : job.beamSettings) {
            if (s->azimuth == beam.azimuth && s->elevation == beam.elevation &&
                s->pulseWidth == beam.pulseWidth && s->rassFlag == beam.rassFlag) {
                s->consensusWindow = window;
                s->consensusPercent = percent;
            }
        }
    }

    BeamAccumulator& accumulator(const Beam& beam, std::size_t period = 0) {
        AveragingPeriod* p = job.periods.findByPosition(period);
        if (p) {
            for (BeamAccumulator* a : p->beams) {
                if (a->azimuth == beam.azimuth && a->pulseWidth == beam.pulseWidth &&
                    a->rassFlag == beam.rassFlag) {
                    return *a;
                }
            }
        }
        ADD_FAILURE() << "no accumulator";
        static BeamAccumulator none;
        return none;
    }

    // The day's consensus, its files written as the standard outputs write them.
    void run() {
        products = runTemperatureConsensus(job);
        writeConsensusFiles(products, job.params.outputPath, job.clock(), report);
    }
    std::string tvFilePath() const { return (fs::path(job.params.outputPath) / "abc04033.t1a").string(); }
    std::string tvcFilePath() const { return (fs::path(job.params.outputPath) / "abc04033.t2a").string(); }

    fs::path file(int variant) const {
        return dir_ / (variant == 1 ? "abc04033.t1a" : "abc04033.t2a");
    }

    std::vector<std::string> lines(int variant) const {
        std::ifstream in(file(variant));
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

    // The period and gate lines after the column heads.
    std::vector<std::string> body(int variant) const {
        const std::vector<std::string> all = lines(variant);
        const std::string heads = variant == 1 ? "Code (m msl)  (C)   (Tv)     (Tv)"
                                               : "Code (m msl)  (C)   (TvC)    (TvC)";
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i] == heads)
                return {all.begin() + static_cast<std::ptrdiff_t>(i) + 1, all.end()};
        }
        ADD_FAILURE() << "no column heads in " << file(variant);
        return {};
    }

    // The header line that starts with `label`.
    std::string headerLine(int variant, const std::string& label) const {
        for (const std::string& line : lines(variant)) {
            if (line.rfind(label, 0) == 0) return line;
        }
        return "<missing " + label + ">";
    }

    const fs::path& dir() const { return dir_; }

    ScriptedHost host;
    ConsensusJob job;
    DayProducts products;
    FileReport report;

  private:
    fs::path dir_;
};

std::string caseName(const char* test, std::size_t index) {
    return std::string(test) + "_" + std::to_string(index);
}

// ---------------------------------------------------------------------------
// Consensus pass

TEST(TemperatureConsensus, RadarBranchLeavesOutMissingVelocities) {
    struct Case {
        std::vector<float> samples;
        std::uint32_t count;
        float mean;
    };
    const std::vector<Case> cases = {
        {{-99.0f, -98.9f}, 1, -98.9f},        {{-99.5f, -98.9f}, 1, -98.9f},
        {{-98.9f, -98.9f}, 2, -98.9f},        {{-98.9f, -99.0f, -98.9f}, 2, -98.9f},
        {{-99.0f, -99.5f, -100.0f}, 0, 0.0f},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        RassDay day(caseName("missing", i));
        day.addSeries(kRass, 0, {347.0f});
        day.addSeries(kRadar, 0, cases[i].samples);
        day.setConsensus(kRass, 1.0f, 50);
        day.setConsensus(kRadar, 2.0f, 10);
        day.run();
        const BeamAccumulator& radar = day.accumulator(kRadar);
        EXPECT_EQ(radar.consensusCount[0], cases[i].count);
        EXPECT_EQ(radar.meanVelocity[0], cases[i].mean);
        EXPECT_EQ(radar.meanTemperature[0], 0.0f);
    }
}

TEST(TemperatureConsensus, MissingAcousticSpeedsNeverBecomeTemperatures) {
    // A missing acoustic speed (-99 m/s or less) would be a "virtual
    // temperature" of some 2210 degrees C; it is left out, and a gate of
    // missing samples fails with count 0 and SNR 0.
    RassDay day("rass_missing");
    day.addSeries(kRass, 0, {-99.0f, -99.0f, -99.5f});
    day.addSeries(kRass, 1, {-999.0f, 347.0f, 347.0f});
    day.setConsensus(kRass, 1.0f, 50);
    day.run();
    EXPECT_EQ(day.accumulator(kRass, 0).consensusCount[0], 0u);
    EXPECT_EQ(day.accumulator(kRass, 0).meanSnr[0], 0.0f);
    EXPECT_EQ(day.accumulator(kRass, 1).consensusCount[0], 2u);
    ASSERT_EQ(day.products.temperature.size(), 1u);
    const TemperatureGate& failed = day.products.temperature[0].periods[0].gates[0];
    EXPECT_EQ(failed.qcCode, 8);
    EXPECT_EQ(failed.tv, -950.0f);
    EXPECT_EQ(failed.snr, 0);
}

TEST(TemperatureConsensus, TiesKeepTheEarlierCentre) {
    struct Case {
        std::vector<float> samples;
        float mean;
    };
    const std::vector<Case> cases = {
        {{1.0f, 5.0f, 1.4f, 5.3f}, 1.2f},
        {{5.0f, 1.0f, 5.3f, 1.4f}, 5.15f},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        RassDay day(caseName("tie_radar", i));
        day.addSeries(kRass, 0, {347.0f});
        day.addSeries(kRadar, 0, cases[i].samples);
        day.setConsensus(kRass, 1.0f, 50);
        day.setConsensus(kRadar, 1.0f, 50);
        day.run();
        EXPECT_EQ(day.accumulator(kRadar).consensusCount[0], 2u);
        EXPECT_EQ(day.accumulator(kRadar).meanVelocity[0], cases[i].mean);
    }

    // RASS beams group on temperature: 340 and 340.2 m/s are 0.34 C apart,
    // 345 and 345.2 m/s too, and the two pairs are 8.5 C apart.
    struct RassCase {
        std::vector<float> speeds;
        std::string line;
    };
    const std::vector<RassCase> rassCases = {
        {{340.0f, 345.0f, 340.2f, 345.2f}, " 0   1150     14.7     2    10"},
        {{345.0f, 340.0f, 345.2f, 340.2f}, " 0   1150     23.2     2    10"},
    };
    for (std::size_t i = 0; i < rassCases.size(); ++i) {
        SCOPED_TRACE(i);
        RassDay day(caseName("tie_rass", i));
        day.addSeries(kRass, 0, rassCases[i].speeds);
        day.addSeries(kRadar, 0, {0.0f, 0.0f, 0.0f, 0.0f});
        day.setConsensus(kRass, 1.0f, 50);
        day.setConsensus(kRadar, 1.0f, 50);
        day.run();
        const std::vector<std::string> body = day.body(1);
        ASSERT_EQ(body.size(), 2u);
        EXPECT_EQ(body[1], rassCases[i].line);
    }
}

TEST(TemperatureConsensus, UnwrittenSlotsOfShorterDwellsNeverEnterTheRassWindow) {
    RassDay day("short_dwell");
    day.addDwell(kRass, 0, 0, {347.0f, 347.0f});
    day.addDwell(kRass, 0, 1, {347.0f});
    day.addDwell(kRass, 0, 2, {347.0f});
    day.addSeries(kRadar, 0, {0.0f});
    day.setConsensus(kRass, 5.0f, 50);
    day.setConsensus(kRadar, 1.0f, 50);
    day.run();
    EXPECT_EQ(day.accumulator(kRass).consensusCount[0], 3u);
    EXPECT_EQ(day.accumulator(kRass).consensusCount[1], 1u);
    // Gate 1 holds one sample of three: 33 % fails the 50 % threshold.
    const std::vector<std::string> expected = {
        "0000      2         0",
        " 0   1150     26.5     3    10",
        " 8   1210   -950.0     1    10",
    };
    EXPECT_EQ(day.body(1), expected);
}

// ---------------------------------------------------------------------------
// Threshold test and header sample counts

TEST(TemperatureConsensus, ThresholdDividesFirstInDoublePrecision) {
    struct Case {
        int inWindow;
        int total;
        std::int32_t percent;
        std::string line;
    };
    // 29 / 100 x 100 is 28.999999999999996, below 29.
    const std::vector<Case> cases = {
        {29, 100, 29, " 8   1150   -950.0    29    10"},
        {30, 100, 29, " 0   1150     14.5    30    10"},
        {5, 10, 50, " 0   1150     14.5     5    10"},
        {4, 10, 50, " 8   1150   -950.0     4    10"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        RassDay day(caseName("threshold", i));
        // The group sits at 340 m/s (14.5 C); every other sample is alone,
        // at least 4 C from its neighbours.
        std::vector<float> speeds;
        for (int s = 0; s < cases[i].total; ++s) {
            speeds.push_back(s < cases[i].inWindow ? 340.0f
                                                   : 400.0f + 2.0f * static_cast<float>(s));
        }
        day.addSeries(kRass, 0, speeds);
        day.setConsensus(kRass, 1.0f, cases[i].percent);
        day.run();
        const std::vector<std::string> body = day.body(1);
        ASSERT_EQ(body.size(), 2u);
        EXPECT_EQ(body[1], cases[i].line);
    }
}

// RASS and radar beams with samples in their lower gates only (upper gates
// missing marks, or unwritten by shorter dwells): at the extremes of the
// window and threshold, and at a threshold of 0, no upper gate is valid in
// either file, while the lower gates still can be.
TEST(TemperatureConsensus, GatesWithoutSamplesAreNeverValid) {
    struct Case {
        float window;
        std::int32_t percent;
        bool lowerValid;
    };
    const std::vector<Case> cases = {
        {std::numeric_limits<float>::min(), 1, true},
        {std::numeric_limits<float>::min(), 100, false},
        {std::numeric_limits<float>::max(), 1, true},
        {std::numeric_limits<float>::max(), 100, true},
        {1.0f, 0, true},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << c.window << ", " << c.percent << " %");
        RassDay day(caseName("empty_gates", i));
        day.host.policy = VerticalPolicy::Required;
        for (int s = 0; s < 6; ++s) {
            const float speed = 340.0f + 0.25f * static_cast<float>(s);
            if (s % 2 == 0) {
                day.addDwell(kRass, 0, s, {speed, speed, -999.0f, -999.0f, -999.0f});
                day.addDwell(kRadar, 0, s, {0.5f, 0.5f, -999.0f, -999.0f, -999.0f});
            } else {
                day.addDwell(kRass, 0, s, {speed, speed});
                day.addDwell(kRadar, 0, s, {0.5f, 0.5f});
            }
        }
        day.setConsensus(kRass, c.window, c.percent);
        day.setConsensus(kRadar, c.window, c.percent);
        day.run();
        for (int variant : {1, 2}) {
            SCOPED_TRACE(variant);
            const std::vector<std::string> body = day.body(variant);
            ASSERT_EQ(body.size(), 6u);  // the period line and five gates
            for (std::size_t g = 1; g <= 2; ++g) {
                EXPECT_EQ(body[g].substr(0, 2) == " 0", c.lowerValid) << body[g];
            }
            for (std::size_t g = 3; g <= 5; ++g) {
                EXPECT_EQ(body[g].substr(0, 2), " 8") << body[g];
                EXPECT_NE(body[g].find(" -950.0 "), std::string::npos) << body[g];
            }
        }
    }
}

TEST(TemperatureConsensus, HeaderRequiredSamplesTruncateAfterSinglePrecisionPercent) {
    RassDay day("required_samples");
    std::vector<float> speeds(10, 340.0f);
    for (std::size_t s = 5; s < speeds.size(); ++s)
        speeds[s] = 400.0f + 4.0f * static_cast<float>(s);
    day.addSeries(kRass, 0, speeds);
    day.addSeries(kRadar, 0, {0.0f});
    day.setConsensus(kRass, 1.0f, 50);
    day.setConsensus(kRadar, 1.0f, 50);
    day.run();
    // Both files carry the RASS beam's entries: 50 % of 10 prints 4.
    for (int variant : {1, 2}) {
        SCOPED_TRACE(variant);
        EXPECT_EQ(day.headerLine(variant, "Max. Samples:"),
                  "Max. Samples:        10                 Req. Samples:        4");
        EXPECT_EQ(day.headerLine(variant, "Ant. Azimuth"),
                  "Ant. Azimuth (deg):   0                 Ant. Elev. (deg):  90.0");
        EXPECT_EQ(day.headerLine(variant, "Pulse Len."),
                  "Pulse Len. (m):      105                Spacing (m):        60");
    }
    // ... while 5 samples of 10 pass the test.
    EXPECT_EQ(day.body(1).at(1), " 0   1150     14.5     5    10");
    EXPECT_EQ(day.body(2).at(1), " 0   1150     14.5     5    10");
}

// ---------------------------------------------------------------------------
// Vertical correction and the vertical-velocity policy

TEST(TemperatureConsensus, PolicyDecidesWhichTestsAreRequired) {
    // RASS speeds 347, 347, 380 and radar velocities 1, 1, 9 each put 2 of 3
    // samples (67 %) in the consensus: 60 % passes, 70 % fails. 347 m/s is
    // 26.5 C; corrected by the radar's 1 m/s, 346 m/s is 24.7 C.
    struct Case {
        VerticalPolicy policy;
        std::int32_t rassPercent;
        std::int32_t radarPercent;
        std::string tvLine;
        std::string tvcLine;
    };
    const std::string tvPass = " 0   1150     26.5     2    10";
    const std::string failed = " 8   1150   -950.0     2    10";
    const std::string corrected = " 0   1150     24.7     2    10";
    const std::vector<Case> cases = {
        {VerticalPolicy::NotUsed, 60, 60, tvPass, corrected},
        {VerticalPolicy::NotUsed, 60, 70, tvPass, tvPass},
        {VerticalPolicy::NotUsed, 70, 60, failed, failed},
        {VerticalPolicy::WhenAvailable, 60, 60, tvPass, corrected},
        {VerticalPolicy::WhenAvailable, 60, 70, tvPass, tvPass},
        {VerticalPolicy::WhenAvailable, 70, 60, failed, failed},
        {VerticalPolicy::Required, 60, 60, tvPass, corrected},
        {VerticalPolicy::Required, 60, 70, failed, failed},
        {VerticalPolicy::Required, 70, 60, failed, failed},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        RassDay day(caseName("policy", i));
        day.host.policy = cases[i].policy;
        day.addSeries(kRass, 0, {347.0f, 347.0f, 380.0f});
        day.addSeries(kRadar, 0, {1.0f, 1.0f, 9.0f});
        day.setConsensus(kRass, 1.0f, cases[i].rassPercent);
        day.setConsensus(kRadar, 1.0f, cases[i].radarPercent);
        day.run();
        EXPECT_EQ(day.body(1).at(1), cases[i].tvLine);
        EXPECT_EQ(day.body(2).at(1), cases[i].tvcLine);
        // The correction is applied in place whatever the policy.
        const float expectedSpeed = cases[i].radarPercent == 60 ? 346.0f : 347.0f;
        EXPECT_EQ(day.accumulator(kRass).meanVelocity[0], expectedSpeed);
        EXPECT_EQ(day.job.verticalCorrection, cases[i].radarPercent == 60 ? 1.0f : 0.0f);
    }
}

TEST(TemperatureConsensus, PolicyIsReadLiveAtEachGate) {
    RassDay day("policy_per_gate");
    day.host.policy = VerticalPolicy::Required;
    day.addSeries(kRass, 0, {347.0f});
    day.setConsensus(kRass, 1.0f, 50);
    day.run();
    EXPECT_EQ(day.body(1).at(1), " 8   1150   -950.0     1    10");

    // Direct evaluation of one gate with the policy changed in between.
    day.host.policy = VerticalPolicy::WhenAvailable;
    day.job.rassBeam = &day.accumulator(kRass);
    day.job.radarBeam = nullptr;
    evaluateTemperatureGate(day.job, 0);
    EXPECT_EQ(day.job.qcCode, 0);
    EXPECT_EQ(day.job.verticalCorrection, 0.0f);
    EXPECT_EQ(day.job.tvOut, day.accumulator(kRass).meanTemperature[0]);
}

TEST(TemperatureConsensus, TvIsAMeanOfTemperaturesTvcTheTemperatureOfTheMeanSpeed) {
    // 337 and 357 m/s in one wide window, no correction: the mean of the
    // two temperatures is 26.7 C, the temperature of 347 m/s is 26.5 C.
    RassDay day("tv_versus_tvc");
    day.addSeries(kRass, 0, {337.0f, 357.0f});
    day.addSeries(kRadar, 0, {0.0f, 0.0f});
    day.setConsensus(kRass, 80.0f, 50);
    day.setConsensus(kRadar, 1.0f, 50);
    day.run();
    EXPECT_EQ(day.job.verticalCorrection, 0.0f);
    EXPECT_EQ(day.body(1).at(1), " 0   1150     26.7     2    10");
    EXPECT_EQ(day.body(2).at(1), " 0   1150     26.5     2    10");
}

TEST(TemperatureConsensus, SnrTruncatesTowardZero) {
    struct Case {
        float snr;
        std::string line;
    };
    const std::vector<Case> cases = {
        {-3.7f, " 0   1150     26.5     1    -3"},
        {12.9f, " 0   1150     26.5     1    12"},
        {-0.4f, " 0   1150     26.5     1     0"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        RassDay day(caseName("snr", i));
        day.addDwell(kRass, 0, 0, {347.0f}, {cases[i].snr});
        day.addSeries(kRadar, 0, {0.0f});
        day.setConsensus(kRass, 1.0f, 50);
        day.setConsensus(kRadar, 1.0f, 50);
        day.run();
        EXPECT_EQ(day.body(1).at(1), cases[i].line);
    }
}

// ---------------------------------------------------------------------------
// The day's files

TEST(TemperatureConsensus, WritesBothDayFilesWithHeadersAndBlocks) {
    RassDay day("both_files");
    day.addDwell(kRass, 0, 0, {347.0f, 347.0f, 347.0f});
    day.addDwell(kRass, 0, 1, {347.0f, 347.0f, 347.0f});
    day.addDwell(kRadar, 0, 0, {1.0f, 0.0f});
    day.addDwell(kRadar, 0, 1, {1.0f, 0.0f});
    day.addDwell(kRass, 1, 0, {346.0f});
    day.addDwell(kRadar, 1, 0, {0.0f});
    day.setConsensus(kRass, 1.0f, 50);
    day.setConsensus(kRadar, 1.0f, 50);
    day.run();

    EXPECT_EQ(day.host.mainLines.back(), "Calculating temperatures...");
    EXPECT_EQ(day.host.detailLines.back(), "");
    EXPECT_EQ(fs::path(day.tvFilePath()).filename(), "abc04033.t1a");
    EXPECT_EQ(fs::path(day.tvcFilePath()).filename(), "abc04033.t2a");
    EXPECT_TRUE(day.report.unwritten.empty());

    const std::vector<std::string> tv = day.lines(1);
    ASSERT_GE(tv.size(), 8u);
    EXPECT_EQ(tv[0], "CDF Type:  Temp            Program:  VESK/KOR Vintrel        Version:  1.1");
    EXPECT_EQ(day.headerLine(2, "Created by:"),
              "Created by:         VINTREL      1.0    Created on:        02/03/04  1234");
    EXPECT_EQ(day.headerLine(2, "QC   Height"), "QC   Height   TvC  No. Cns  SNR (db)");
    EXPECT_EQ(day.headerLine(1, "QC   Height"), "QC   Height   Tv   No. Cns  SNR (db)");

    const std::vector<std::string> expectedTv = {
        "0000      3         0",          " 0   1150     26.5     2    10",
        " 0   1210     26.5     2    10", " 0   1270     26.5     2    10",
        "0100      1         0",          " 0   1150     24.7     1    10",
    };
    const std::vector<std::string> expectedTvc = {
        "0000      3         0",          " 0   1150     24.7     2    10",
        " 0   1210     26.5     2    10", " 0   1270     26.5     2    10",
        "0100      1         0",          " 0   1150     24.7     1    10",
    };
    EXPECT_EQ(day.body(1), expectedTv);
    EXPECT_EQ(day.body(2), expectedTvc);
}

TEST(TemperatureConsensus, LastRassBeamAndLastRadarBeamOfAPeriodWin) {
    const Beam secondRass{90, 90.0f, 400, 1};
    const Beam secondRadar{0, 90.0f, 1000, 0};
    RassDay day("two_rass_beams");
    day.addSeries(kRass, 0, {347.0f, 347.0f});
    day.addSeries(kRadar, 0, {0.0f, 0.0f});
    day.addSeries(secondRass, 0, {340.0f, 340.0f, 340.0f});
    day.addSeries(secondRadar, 0, {1.0f, 1.0f, 1.0f});
    for (const Beam& b : {kRass, secondRass}) day.setConsensus(b, 1.0f, 50);
    for (const Beam& b : {kRadar, secondRadar}) day.setConsensus(b, 1.0f, 50);
    day.run();

    // 340 m/s is 14.5 C; less the later radar beam's 1 m/s, 339 m/s is 12.8 C.
    EXPECT_EQ(day.body(1), (std::vector<std::string>{"0000      1         0",
                                                     " 0   1150     14.5     3    10"}));
    EXPECT_EQ(day.body(2), (std::vector<std::string>{"0000      1         0",
                                                     " 0   1150     12.8     3    10"}));
    for (int variant : {1, 2}) {
        SCOPED_TRACE(variant);
        EXPECT_EQ(day.headerLine(variant, "Ant. Azimuth"),
                  "Ant. Azimuth (deg):  90                 Ant. Elev. (deg):  90.0");
        EXPECT_EQ(day.headerLine(variant, "Max. Samples:"),
                  "Max. Samples:         3                 Req. Samples:        1");
        EXPECT_EQ(day.headerLine(variant, "Pulse Len."),
                  "Pulse Len. (m):      150                Spacing (m):        60");
    }
}

TEST(TemperatureConsensus, PeriodWithoutRassBeamWritesNothing) {
    // A day of radar beams alone creates no files.
    {
        RassDay day("radar_only_day");
        day.addSeries(kRadar, 0, {0.0f});
        day.addSeries(kRadar, 1, {0.0f});
        day.setConsensus(kRadar, 1.0f, 50);
        day.run();
        EXPECT_TRUE(fs::is_empty(day.dir()));
        EXPECT_TRUE(day.report.unwritten.empty());
    }
    // The files are created by the first period that has a RASS beam, with
    // that period's radar beam in the header.
    {
        RassDay day("radar_only_first_period");
        day.addSeries(kRadar, 0, {1.0f});
        day.addSeries(kRass, 1, {347.0f});
        day.addSeries(Beam{0, 90.0f, 1000, 0}, 1, {0.0f});
        day.setConsensus(kRadar, 1.0f, 50);
        day.setConsensus(Beam{0, 90.0f, 1000, 0}, 1.0f, 50);
        day.setConsensus(kRass, 1.0f, 50);
        day.run();
        EXPECT_EQ(day.body(1), (std::vector<std::string>{"0100      1         0",
                                                         " 0   1150     26.5     1    10"}));
        EXPECT_EQ(day.headerLine(1, "Pulse Len."),
                  "Pulse Len. (m):      150                Spacing (m):        60");
    }
}

TEST(TemperatureConsensus, PeriodWithoutRadarBeamIsWrittenUncorrected) {
    struct Case {
        VerticalPolicy policy;
        std::string line;
    };
    const std::vector<Case> cases = {
        {VerticalPolicy::WhenAvailable, " 0   1150     26.5     1    10"},
        {VerticalPolicy::Required, " 8   1150   -950.0     1    10"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        RassDay day(caseName("rass_only", i));
        day.host.policy = cases[i].policy;
        day.addSeries(kRass, 0, {347.0f});
        day.setConsensus(kRass, 1.0f, 50);
        day.run();
        EXPECT_EQ(day.body(1), (std::vector<std::string>{"0000      1         0", cases[i].line}));
        EXPECT_EQ(day.body(2), (std::vector<std::string>{"0000      1         0", cases[i].line}));
        EXPECT_EQ(day.headerLine(2, "Pulse Len."),
                  "Pulse Len. (m):        0                Spacing (m):        60");
        EXPECT_EQ(day.headerLine(2, "Max. Samples:"),
                  "Max. Samples:         1                 Req. Samples:        0");
    }
}

TEST(TemperatureConsensus, BeamsOfOnePeriodAreNotReusedForAnother) {
    // Period 0000 has a radar beam moving at 1 m/s; period 0100 has none and
    // must be neither corrected nor, when a radar beam is required, valid.
    struct Case {
        VerticalPolicy policy;
        std::string secondPeriodLine;
    };
    const std::vector<Case> cases = {
        {VerticalPolicy::WhenAvailable, " 0   1150     26.5     1    10"},
        {VerticalPolicy::Required, " 8   1150   -950.0     1    10"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        RassDay day(caseName("not_reused", i));
        day.host.policy = cases[i].policy;
        day.addSeries(kRass, 0, {347.0f});
        day.addSeries(kRadar, 0, {1.0f});
        day.addSeries(kRass, 1, {347.0f});
        day.setConsensus(kRass, 1.0f, 50);
        day.setConsensus(kRadar, 1.0f, 50);
        day.run();
        const std::vector<std::string> tvc = day.body(2);
        ASSERT_EQ(tvc.size(), 4u);
        EXPECT_EQ(tvc[1], " 0   1150     24.7     1    10");
        EXPECT_EQ(tvc[3], cases[i].secondPeriodLine);
    }
}

TEST(TemperatureConsensus, UnwritableOutputFolderIsRecorded) {
    RassDay day("unwritable");
    day.job.params.outputPath = (day.dir() / "no such folder").string();
    day.addSeries(kRass, 0, {347.0f});
    day.addSeries(kRass, 1, {347.0f});
    day.setConsensus(kRass, 1.0f, 50);
    day.run();
    ASSERT_EQ(day.report.unwritten.size(), 2u);
    EXPECT_EQ(day.report.unwritten[0].path, day.tvFilePath());
    EXPECT_EQ(day.report.unwritten[1].path, day.tvcFilePath());
    EXPECT_EQ(day.report.unwritten[1].reason, "No such file or directory");
    EXPECT_EQ(fs::path(day.tvFilePath()).filename(), "abc04033.t1a");
    EXPECT_EQ(fs::path(day.tvcFilePath()).filename(), "abc04033.t2a");
    EXPECT_TRUE(fs::is_empty(day.dir()));
}

}  // namespace
}  // namespace qv
