// The wind consensus: consensus averaging, thresholds, vertical-velocity
// policies, beam choice and folding, mode numbers, and whole .w files.
#include "consensus/wind_consensus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "output/consensus_file.h"
#include "output/consensus_file_sink.h"
#include "consensus/gate_consensus.h"
#include "core/numeric.h"
#include "support/dates.h"
#include "support/scripted_host.h"
#include "support/test_folder.h"
#include "tests/consensus/generated_wind_day.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr std::size_t kHeaderLines = 35;

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> body(const std::vector<std::string>& lines) {
    if (lines.size() <= kHeaderLines) return {};
    return {lines.begin() + static_cast<std::ptrdiff_t>(kHeaderLines), lines.end()};
}

using qv::test::date;

// ---------------------------------------------------------------- kernel

struct GateCase {
    const char* name;
    std::vector<float> velocity;
    std::vector<float> snr;  // empty: 10 dB for every sample
    float window;
    std::uint32_t count;
    float mean;
    float meanSnr;
};

TEST(WindGateConsensus, LargestGroupInTheWindow) {
    const GateCase cases[] = {
        {"one group of two", {1.0f, 1.4f, 2.0f, 5.0f}, {}, 1.0f, 2, 1.2f, 10.0f},
        {"two groups, first candidate wins", {1.0f, 1.2f, 3.0f, 3.2f}, {}, 1.0f, 2, 1.1f, 10.0f},
        {"equal groups, lower candidate wins", {5.0f, 1.0f, 5.2f, 1.2f}, {}, 1.0f, 2, 5.1f, 10.0f},
        {"bounds inclusive", {1.0f, 0.5f, 1.5f, 2.75f}, {}, 1.0f, 3, 1.0f, 10.0f},
        {"-98.9 is a sample", {-98.9f, -98.9f, -99.0f, -99.0f, -99.0f}, {}, 1.0f, 2, -98.9f, 10.0f},
        {"-99.0 and -150.0 are missing", {-99.0f, -150.0f, -150.0f}, {}, 1.0f, 0, 0.0f, 0.0f},
        {"missing marks are never members", {kNaN, 2.0f, kNaN, kNaN}, {}, 1.0f, 1, 2.0f, 10.0f},
        {"no samples", {}, {}, 1.0f, 0, 0.0f, 0.0f},
        {"SNR averaged as power", {1.0f, 1.0f, 9.0f}, {10.0f, 20.0f, 30.0f}, 1.0f, 2, 1.0f,
         17.403627f},
        // In double precision these edges would leave the second sample out.
        {"window edges rounded to single precision", {0.1f, 0.15f}, {}, 0.1f, 2, 0.125f, 10.0f},
        {"upper edge rounded to single precision", {1.1f, 1.2f}, {}, 0.2f, 2, 1.15f, 10.0f},
        {"zero window keeps equal values", {2.0f, 2.5f, 2.5f, 3.0f}, {}, 0.0f, 2, 2.5f, 10.0f},
    };
    for (const GateCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> snr = c.snr;
        if (snr.empty()) snr.assign(c.velocity.size(), 10.0f);
        std::uint32_t count = 0;
        float mean = 0.0f;
        float meanSnr = 0.0f;
        radarGateConsensus(c.velocity.data(), snr.data(), static_cast<int>(c.velocity.size()),
                           c.window, count, mean, meanSnr);
        EXPECT_EQ(count, c.count);
        EXPECT_FLOAT_EQ(mean, c.mean);
        EXPECT_NEAR(meanSnr, c.meanSnr, 1e-5f);
    }
}

// ------------------------------------------------------------- threshold

TEST(WindThreshold, PercentOfTheSamples) {
    struct Case {
        std::uint32_t count;
        std::int32_t samples, percent;
        bool passes;
    } cases[] = {
        {3, 6, 50, true},      // 50 <= 50
        {2, 6, 50, false},
        {29, 100, 29, true},   // extended precision: passes for winds
        {12, 6, 100, true},    // summed counts of a paired gate, 200 %
        {8, 5, 150, true},
        {0, 6, 0, false},      // no sample in the consensus: never, even at 0 %
        {0, 6, 1, false},
        {1, 3, 34, false},
        {1, 3, 33, true},
    };
    for (const auto& c : cases) {
        BeamAccumulator b;
        b.sampleCount = c.samples;
        b.consensusPercent = c.percent;
        b.consensusCount[4] = c.count;
        EXPECT_EQ(passesWindThreshold(b, 4), c.passes)
            << c.count << " of " << c.samples << " at " << c.percent << " %";
    }
}

// A day whose oblique and vertical beams bring the wind in their lower
// half of gates and nothing in the upper half (missing marks and unwritten
// slots): at the extremes of the window and threshold, and at a threshold
// of 0, no upper gate comes out valid, while the lower gates still do.
TEST(WindThreshold, GatesWithoutSamplesAreNeverValid) {
    constexpr int kGates = 20;
    constexpr int kFirstEmpty = 10;
    struct Case {
        float window;
        std::int32_t percent;
        bool lowerValid;
    } cases[] = {
        {std::numeric_limits<float>::min(), 1, true},
        {std::numeric_limits<float>::min(), 100, false},
        {std::numeric_limits<float>::max(), 1, true},
        {std::numeric_limits<float>::max(), 100, true},
        {2.0f, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.window << " m/s, " << c.percent << " %");
        test::GeneratedDay<test::ScriptedHost> day(false);
        day.host.policy = VerticalPolicy::Required;
        test::DayPlan plan = test::oneModePlan(7);
        for (test::Beam& b : plan.beams) b.gates = kGates;
        test::Random random(plan.seed);
        for (int p = 0; p < 4; ++p) {
            for (int dwell = 0; dwell < 10; ++dwell) {
                for (std::size_t b = 0; b < plan.beams.size(); ++b) {
                    const test::Beam& beam = plan.beams[b];
                    const int second = p * 1800 + (dwell * 5 + static_cast<int>(b)) * 30 + 1;
                    // Every other dwell stops short of the empty gates.
                    const int written = dwell % 2 == 0 ? kGates : kFirstEmpty;
                    std::vector<float> velocity(static_cast<std::size_t>(written), -999.0f);
                    std::vector<float> snr(velocity.size(), -99.0f);
                    for (int g = 0; g < kFirstEmpty; ++g) {
                        const auto i = static_cast<std::size_t>(g);
                        velocity[i] = static_cast<float>(
                            plan.field.radial(beam, beam.height(g) / 1000.0, second / 3600.0) +
                            0.3 * random.normal());
                        snr[i] = 15.0f;
                    }
                    day.dwell(second, beam, velocity, snr);
                }
            }
        }
        day.review(c.window, c.percent);
        const DayProducts products = day.run();
        ASSERT_EQ(products.winds.size(), 1u);
        int lowerValid = 0;
        for (const WindPeriod& period : products.winds[0].periods) {
            ASSERT_EQ(period.gates.size(), static_cast<std::size_t>(kGates));
            for (int g = 0; g < kGates; ++g) {
                const WindGate& gate = period.gates[static_cast<std::size_t>(g)];
                if (g < kFirstEmpty) {
                    lowerValid += gate.qcCode == 0 ? 1 : 0;
                    continue;
                }
                EXPECT_EQ(gate.qcCode, 8) << "period " << period.key << ", gate " << g;
                EXPECT_EQ(gate.speed, -950.0f) << "period " << period.key << ", gate " << g;
            }
        }
        EXPECT_EQ(lowerValid > 0, c.lowerValid);
    }
}

// --------------------------------------------------------------- fixture

class WindConsensusTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::freshTestFolder("qv_wind");

        job.host = &host;
        host.policy = VerticalPolicy::WhenAvailable;
        job.clock = [] {
            CalendarTime t = date(2024, 3, 5);
            t.hour = 7;
            t.minute = 9;
            return t;
        };
        job.params.outputPath = dir.string();
        job.params.outputKindText = "Winds";
        job.params.dataSourceText = "ASCII moments";
        job.params.averagingMinutes = 30;
        setDay(date(2004, 2, 2));
        job.record.stationName = "abcd";
        job.record.siteElevation = 1000;
        job.record.latitudeCenti = 4012;
        job.record.longitudeCenti = -10525;
    }
    void TearDown() override { fs::remove_all(dir); }

    void setDay(const CalendarTime& day) {
        ClearPeriodStore(job);
        job.currentDay = day;
        job.record.processDayOfYear = dayOfYear(day.year, day.month, day.day);
    }

    // One dwell of the current day through the period store.
    void dwell(int hour, int minute, int second, int azimuth, float elevation, int pulseWidth,
               const std::vector<float>& velocity, const std::vector<float>& snr,
               int rassFlag = 0) {
        MomentRecord& r = job.record;
        r.recordTime = job.currentDay;
        r.recordTime.hour = static_cast<std::uint16_t>(hour);
        r.recordTime.minute = static_cast<std::uint16_t>(minute);
        r.recordTime.second = static_cast<std::uint16_t>(second);
        r.recordDayOfYear = r.processDayOfYear;
        r.azimuth = static_cast<std::int16_t>(azimuth);
        r.elevation = elevation;
        r.pulseWidth = pulseWidth;
        r.firstGateHeight = 100;
        r.gateSpacing = 105.0f;
        r.rassFlag = rassFlag;
        r.gateCount = static_cast<std::int16_t>(velocity.size());
        r.gateVelocity.fill(kMissingSample);
        r.gateSnr.fill(kMissingSample);
        for (std::size_t g = 0; g < velocity.size(); ++g) {
            r.gateVelocity[g] = velocity[g];
            r.gateSnr[g] = g < snr.size() ? snr[g] : 10.0f;
        }
        AccumulateRecord(job, job.currentDay);
    }

    // Five dwells of one beam in period "0000", one gate each.
    void beamOf(int azimuth, float elevation, int pulseWidth, float velocity, int rassFlag = 0) {
        for (int i = 0; i < 5; ++i) {
            dwell(0, 1 + 5 * i, 0, azimuth, elevation, pulseWidth, {velocity}, {10.0f},
                  rassFlag);
        }
    }

    void reviewAll(float window, std::int32_t percent) {
        for (BeamSetting* s : job.beamSettings) {
            s->consensusWindow = window;
            s->consensusPercent = percent;
        }
    }

    std::string path(const char* name) const { return (dir / name).string(); }

    // The day's consensus, its files written as the standard outputs write them.
    void runAndWrite() {
        products = runWindConsensus(job);
        writeConsensusFiles(products, job.params.outputPath, job.clock(), report);
    }

    DayProducts products;
    FileReport report;

    fs::path dir;
    test::ScriptedHost host;
    ConsensusJob job;
};

// -------------------------------------------------------------- policies

TEST_F(WindConsensusTest, VerticalVelocityPolicies) {
    BeamAccumulator first, second, vertical;
    for (BeamAccumulator* b : {&first, &second, &vertical}) {
        b->sampleCount = 5;
        b->consensusPercent = 50;
        b->consensusCount[0] = 4;
    }
    vertical.meanVelocity[0] = 0.75f;
    job.firstObliqueBeam = &first;
    job.secondObliqueBeam = &second;
    job.verticalBeam = &vertical;

    struct Case {
        VerticalPolicy policy;
        std::uint32_t verticalCount;
        float correction;
        int qc;
    } cases[] = {
        {VerticalPolicy::NotUsed, 4, 0.0f, 0},
        {VerticalPolicy::NotUsed, 1, 0.0f, 0},
        {VerticalPolicy::WhenAvailable, 4, 0.75f, 0},
        {VerticalPolicy::WhenAvailable, 1, 0.0f, 0},
        {VerticalPolicy::Required, 4, 0.75f, 0},
        {VerticalPolicy::Required, 1, 0.75f, 8},
        {VerticalPolicy::None, 4, 1.25f, 0},
        {VerticalPolicy::None, 1, 1.25f, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.policy) * 10 + static_cast<int>(c.verticalCount));
        host.policy = c.policy;
        vertical.consensusCount[0] = c.verticalCount;
        job.verticalCorrection = 1.25f;
        job.uOut = 3.0f;
        job.vOut = 4.0f;
        selectVerticalCorrection(job, 0);
        EXPECT_EQ(job.verticalCorrection, c.correction);
        finishWindGate(job, 0);
        EXPECT_EQ(job.qcCode, c.qc);
        EXPECT_EQ(job.speedOut, c.qc == 0 ? 5.0f : -950.0f);
        EXPECT_NEAR(job.directionOut, c.qc == 0 ? 216.8699f : -950.0f, 1e-3f);
    }

    // An oblique beam that fails gives QC 8 under every policy.
    first.consensusCount[0] = 2;
    vertical.consensusCount[0] = 4;
    for (VerticalPolicy p : {VerticalPolicy::NotUsed, VerticalPolicy::WhenAvailable,
                             VerticalPolicy::Required}) {
        host.policy = p;
        finishWindGate(job, 0);
        EXPECT_EQ(job.qcCode, 8);
        EXPECT_EQ(job.directionOut, -950.0f);
    }
}

TEST_F(WindConsensusTest, DirectionIsWhereTheWindComesFrom) {
    BeamAccumulator b;
    b.sampleCount = 1;
    b.consensusCount[0] = 1;
    job.firstObliqueBeam = job.secondObliqueBeam = job.verticalBeam = &b;
    host.policy = VerticalPolicy::Required;
    const double rad = 4.0 * std::atan(1.0) / 180.0;
    struct Case {
        float u, v;
        double direction;
        const char* field;  // columns 19 to 25 of the gate line
    } cases[] = {
        {0.0f, -1.0f, 0.0, "     0."},
        {1.0f, 0.0f, 270.0, "   270."},
        {0.0f, 1.0f, 180.0, "   180."},
        {-1.0f, 0.0f, 90.0, "    90."},
        {static_cast<float>(5.0 * std::sin(0.1 * rad)), static_cast<float>(-5.0 * std::cos(0.1 * rad)),
         359.9, "   359."},
        {static_cast<float>(-5.0 * std::sin(0.4 * rad)), static_cast<float>(-5.0 * std::cos(0.4 * rad)),
         0.4, "     0."},
        {3.0f, 4.0f, 216.8699, "   216."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.direction);
        job.uOut = c.u;
        job.vOut = c.v;
        finishWindGate(job, 0);
        EXPECT_EQ(job.qcCode, 0);
        EXPECT_NEAR(job.directionOut, c.direction, 1e-3);
        EXPECT_GE(job.directionOut, 0.0f);
        WindGate line;
        line.direction = truncToInt(job.directionOut);
        EXPECT_EQ(formatWindGateLine(line).substr(18, 7), c.field);
    }
}

// ------------------------------------------------------------ whole days

// Dwells of a wind field over beams at 0, 90, 180 degrees and vertical, 700
// ns, with one outlier per beam and gate, scattered samples in two gates,
// and SNRs of -99.4 (vertical) and -100.0 (beam 90) in the second period.
// The expected lines were computed separately from the same numbers.
struct ScenarioDwell {
    int hour, minute, second, azimuth;
    float elevation;
    int gates;
    std::vector<float> velocity;
    std::vector<float> snr;
};

const std::vector<ScenarioDwell>& scenario() {
    static const std::vector<ScenarioDwell> dwells = {
    {0, 1, 0, 0, 75.0f, 3, {-0.5523133277893066f, -0.7108232975006104f, -0.258819043636322f}, {10.0f, 7.0f, 4.0f}},
    {0, 1, 10, 90, 75.0f, 3, {-0.29349425435066223f, 1.3597291707992554f, -5.0f}, {10.0f, 7.0f, 4.0f}},
    {0, 1, 20, 180, 75.0f, 3, {1.518239140510559f, -4.0f, 0.258819043636322f}, {10.0f, 7.0f, 4.0f}},
    {0, 1, 30, 0, 90.0f, 3, {0.5f, -0.20000000298023224f, 0.0f}, {10.0f, 7.0f, 4.0f}},
    {0, 6, 0, 0, 75.0f, 3, {-0.4523133337497711f, -0.6108232736587524f, -0.1588190495967865f}, {12.0f, 9.0f, 6.0f}},
    {0, 6, 10, 90, 75.0f, 3, {-0.1934942603111267f, 1.4597291946411133f, -2.0f}, {12.0f, 9.0f, 6.0f}},
    {0, 6, 20, 180, 75.0f, 3, {1.618239164352417f, -1.5f, 0.35881903767585754f}, {12.0f, 9.0f, 6.0f}},
    {0, 6, 30, 0, 90.0f, 3, {0.6000000238418579f, -0.10000000149011612f, 0.10000000149011612f}, {12.0f, 9.0f, 6.0f}},
    {0, 11, 0, 0, 75.0f, 3, {-0.6523133516311646f, -0.8108233213424683f, -0.35881903767585754f}, {8.0f, 5.0f, 2.0f}},
    {0, 11, 10, 90, 75.0f, 3, {-0.39349424839019775f, 1.2597291469573975f, 1.0f}, {8.0f, 5.0f, 2.0f}},
    {0, 11, 20, 180, 75.0f, 3, {1.4182391166687012f, 1.0f, 0.1588190495967865f}, {8.0f, 5.0f, 2.0f}},
    {0, 11, 30, 0, 90.0f, 3, {0.4000000059604645f, -0.30000001192092896f, -0.10000000149011612f}, {8.0f, 5.0f, 2.0f}},
    {0, 16, 0, 0, 75.0f, 3, {-0.5023133158683777f, -0.6608232855796814f, -0.20881904661655426f}, {11.0f, 8.0f, 5.0f}},
    {0, 16, 10, 90, 75.0f, 3, {-0.24349425733089447f, 1.4097291231155396f, 4.0f}, {11.0f, 8.0f, 5.0f}},
    {0, 16, 20, 180, 75.0f, 3, {1.5682390928268433f, 3.5f, 0.308819055557251f}, {11.0f, 8.0f, 5.0f}},
    {0, 16, 30, 0, 90.0f, 3, {0.550000011920929f, -0.15000000596046448f, 0.05000000074505806f}, {11.0f, 8.0f, 5.0f}},
    {0, 21, 0, 0, 75.0f, 3, {2.4476866722106934f, 2.2891767024993896f, 2.741180896759033f}, {0.0f, -3.0f, -6.0f}},
    {0, 21, 10, 90, 75.0f, 3, {2.70650577545166f, 4.359729290008545f, 7.0f}, {0.0f, -3.0f, -6.0f}},
    {0, 21, 20, 180, 75.0f, 3, {4.5182390213012695f, 6.0f, 3.258819103240967f}, {0.0f, -3.0f, -6.0f}},
    {0, 21, 30, 0, 90.0f, 3, {3.5f, 2.799999952316284f, 3.0f}, {0.0f, -3.0f, -6.0f}},
    {0, 31, 0, 0, 75.0f, 3, {1.9083259105682373f, 1.2940952777862549f, 6.3639607429504395f}, {10.0f, 7.0f, 4.0f}},
    {0, 31, 10, 90, 75.0f, 3, {0.6142306923866272f, -0.05176379531621933f, 6.3639607429504395f}, {-100.0f, 7.0f, 4.0f}},
    {0, 31, 20, 180, 75.0f, 3, {-1.7151408195495605f, -1.2940952777862549f, 11.022704124450684f}, {10.0f, 7.0f, 4.0f}},
    {0, 31, 30, 0, 90.0f, 2, {0.10000000149011612f, 0.0f}, {-99.4000015258789f, 7.0f}},
    {0, 36, 0, 0, 75.0f, 3, {2.0083258152008057f, 1.3940953016281128f, 6.463960647583008f}, {12.0f, 9.0f, 6.0f}},
    {0, 36, 10, 90, 75.0f, 3, {0.7142307162284851f, 0.04823620617389679f, 6.463960647583008f}, {-100.0f, 9.0f, 6.0f}},
    {0, 36, 20, 180, 75.0f, 3, {-1.6151407957077026f, -1.194095253944397f, 11.12270450592041f}, {12.0f, 9.0f, 6.0f}},
    {0, 36, 30, 0, 90.0f, 2, {0.20000000298023224f, 0.10000000149011612f}, {-99.4000015258789f, 9.0f}},
    {0, 41, 0, 0, 75.0f, 3, {1.8083258867263794f, 1.194095253944397f, 6.263960838317871f}, {8.0f, 5.0f, 2.0f}},
    {0, 41, 10, 90, 75.0f, 3, {0.5142306685447693f, -0.15176379680633545f, 6.263960838317871f}, {-100.0f, 5.0f, 2.0f}},
    {0, 41, 20, 180, 75.0f, 3, {-1.8151408433914185f, -1.3940953016281128f, 10.922703742980957f}, {8.0f, 5.0f, 2.0f}},
    {0, 41, 30, 0, 90.0f, 2, {1.4901161415892261e-09f, -0.10000000149011612f}, {-99.4000015258789f, 5.0f}},
    {0, 46, 0, 0, 75.0f, 3, {1.9583258628845215f, 1.344095230102539f, 6.413960933685303f}, {11.0f, 8.0f, 5.0f}},
    {0, 46, 10, 90, 75.0f, 3, {0.6642307043075562f, -0.001763795269653201f, 6.413960933685303f}, {-100.0f, 8.0f, 5.0f}},
    {0, 46, 20, 180, 75.0f, 3, {-1.6651408672332764f, -1.2440953254699707f, 11.072704315185547f}, {11.0f, 8.0f, 5.0f}},
    {0, 46, 30, 0, 90.0f, 2, {0.15000000596046448f, 0.05000000074505806f}, {-99.4000015258789f, 8.0f}},
    {0, 51, 0, 0, 75.0f, 3, {4.908326148986816f, 4.294095039367676f, 9.363960266113281f}, {0.0f, -3.0f, -6.0f}},
    {0, 51, 10, 90, 75.0f, 3, {3.6142306327819824f, 2.9482362270355225f, 9.363960266113281f}, {-100.0f, -3.0f, -6.0f}},
    {0, 51, 20, 180, 75.0f, 3, {1.2848591804504395f, 1.7059047222137451f, 14.022704124450684f}, {0.0f, -3.0f, -6.0f}},
    {0, 51, 30, 0, 90.0f, 2, {3.0999999046325684f, 3.0f}, {-99.4000015258789f, -3.0f}},
    };
    return dwells;
}

TEST_F(WindConsensusTest, WholeDayFileMatchesLineForLine) {
    for (const ScenarioDwell& d : scenario()) {
        dwell(d.hour, d.minute, d.second, d.azimuth, d.elevation, 700, d.velocity, d.snr);
    }
    reviewAll(1.0f, 50);
    runAndWrite();

    EXPECT_EQ(host.mainLines.back(), "Calculating winds...");
    EXPECT_EQ(host.detailLines.back(), "");
    const auto lines = readLines(path("abc04033.w1a"));
    ASSERT_EQ(lines.size(), kHeaderLines + 7);
    EXPECT_EQ(lines[7], "Created by:         VINTREL      1.0    Created on:        03/05/24  0709");
    EXPECT_EQ(lines[16], "Pulse Len. (m):      105                Spacing (m):       105");
    EXPECT_EQ(lines[17], "Max. Samples:         5   5   5   5     Req. Samples:        2   2   2   2");
    EXPECT_EQ(lines[18],
              "Ant. Azimuth (deg):   0  90   0 180     Ant. Elev. (deg):  75.0 75.0 90.0 75.0");
    const std::vector<std::string> expected = {
        "0000      3         0",
        " 0   1100      5.0   216.    3.00    4.00    0.51   8   4   4   10   10   10",
        " 0   1201      6.3   108.   -6.00    2.00   -0.19   4   4   4    7    7    7",
        " 8   1303   -950.0  -950.   19.37    1.00    0.01   8   1   4    4    3    4",
        "0030      2         0",
        " 8   1100   -980.0  -980.   -2.00   -7.00    0.11   0   0   0   10 -100  -99",
        " 0   1201      5.0   357.    0.20   -5.00    0.01   8   4   4    7    7    7",
    };
    EXPECT_EQ(body(lines), expected);
    EXPECT_TRUE(report.unwritten.empty());
    EXPECT_EQ(job.pulseWidthModes, std::vector<std::int32_t>{700});
    EXPECT_EQ(job.outputVariant, 2);
}

TEST_F(WindConsensusTest, OppositeBeamsFoldInBeamOrderAndListAfterTheChosenOnes) {
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(90, 75.0f, 700, 2.0f);
    beamOf(180, 75.0f, 700, -1.0f);
    beamOf(270, 75.0f, 700, -2.0f);
    beamOf(45, 90.0f, 700, 0.5f);
    reviewAll(1.0f, 50);
    runAndWrite();

    const auto lines = readLines(path("abc04033.w1a"));
    ASSERT_EQ(lines.size(), kHeaderLines + 2);
    EXPECT_EQ(lines[17], "Max. Samples:         5   5   5   5   5 Req. Samples:        2   2   2   2   2");
    EXPECT_EQ(lines[18],
              "Ant. Azimuth (deg):   0  90  45 180 270 Ant. Elev. (deg):  75.0 75.0 90.0 75.0 75.0");
    // Both oblique beams are paired (no vertical correction) and carry the
    // summed counts, 10 of 5 dwells.
    EXPECT_EQ(lines[35], "0000      1         0");
    EXPECT_EQ(lines[36].substr(49), "  10  10   5   10   10   10");
    EXPECT_EQ(job.firstObliqueBeam->pairedFlag[0], 1);
    EXPECT_EQ(job.secondObliqueBeam->pairedFlag[0], 1);
    EXPECT_FLOAT_EQ(job.firstObliqueBeam->meanVelocity[0], 1.0f);
    EXPECT_FLOAT_EQ(job.secondObliqueBeam->meanVelocity[0], 2.0f);
}

TEST_F(WindConsensusTest, OppositeBeamFoldsWhateverItsPulseWidthOrRassFlag) {
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(90, 75.0f, 700, 2.0f);
    beamOf(0, 90.0f, 700, 0.0f);
    beamOf(180, 75.0f, 1400, -1.0f, 1);
    reviewAll(1.0f, 50);
    runAndWrite();

    const auto lines = readLines(path("abc04033.w1a"));
    ASSERT_EQ(lines.size(), kHeaderLines + 2);
    EXPECT_EQ(lines[18].substr(0, 39), "Ant. Azimuth (deg):   0  90   0 180    ");
    EXPECT_EQ(lines[36].substr(49, 12), "  10   5   5");
    // Mode 1400 has an oblique beam but no second one and no vertical beam.
    EXPECT_EQ(job.pulseWidthModes, (std::vector<std::int32_t>{700, 1400}));
    EXPECT_FALSE(fs::exists(path("abc04033.w2a")));
}

TEST_F(WindConsensusTest, ModeWithOnlyVerticalBeamsUsesUpItsNumber) {
    beamOf(0, 90.0f, 1400, 0.1f);  // first seen: mode 1
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(90, 75.0f, 700, 2.0f);
    beamOf(0, 90.0f, 700, 0.0f);
    reviewAll(1.0f, 50);
    runAndWrite();

    EXPECT_EQ(job.pulseWidthModes, (std::vector<std::int32_t>{1400, 700}));
    EXPECT_FALSE(fs::exists(path("abc04033.w1a")));
    ASSERT_TRUE(fs::exists(path("abc04033.w2a")));
    const auto lines = readLines(path("abc04033.w2a"));
    EXPECT_EQ(lines[6], "Filename:           abc04033.w2a        Validation Level:  0");
    EXPECT_EQ(lines[16], "Pulse Len. (m):      105                Spacing (m):       105");
    EXPECT_EQ(job.outputVariant, 3);
}

TEST_F(WindConsensusTest, ModeNumbersLastFromDayToDay) {
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(90, 75.0f, 700, 2.0f);
    beamOf(0, 90.0f, 700, 0.0f);
    reviewAll(1.0f, 50);
    runAndWrite();
    EXPECT_TRUE(fs::exists(path("abc04033.w1a")));

    // The next day brings a second pulse width, and the first mode keeps
    // its number although it appears second in this day's dwells.
    setDay(date(2004, 2, 3));
    beamOf(0, 75.0f, 1400, 1.0f);
    beamOf(90, 75.0f, 1400, 2.0f);
    beamOf(0, 90.0f, 1400, 0.0f);
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(90, 75.0f, 700, 2.0f);
    beamOf(0, 90.0f, 700, 0.0f);
    reviewAll(1.0f, 50);
    runAndWrite();
    EXPECT_EQ(job.pulseWidthModes, (std::vector<std::int32_t>{700, 1400}));
    ASSERT_TRUE(fs::exists(path("abc04034.w1a")));
    ASSERT_TRUE(fs::exists(path("abc04034.w2a")));
    EXPECT_EQ(readLines(path("abc04034.w1a"))[16],
              "Pulse Len. (m):      105                Spacing (m):       105");
    EXPECT_EQ(readLines(path("abc04034.w2a"))[16],
              "Pulse Len. (m):      210                Spacing (m):       105");
}

TEST_F(WindConsensusTest, SecondObliqueBeamIsNeverParallelToTheFirst) {
    // 360 and -180 point along the first beam's line: 360 is skipped, -180
    // folds in as the opposite beam, and 90 becomes the second beam.
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(360, 75.0f, 700, 5.0f);
    beamOf(-180, 75.0f, 700, -1.0f);
    beamOf(90, 75.0f, 700, 2.0f);
    beamOf(0, 90.0f, 700, 0.0f);
    reviewAll(1.0f, 50);
    runAndWrite();
    const auto lines = readLines(path("abc04033.w1a"));
    ASSERT_EQ(lines.size(), kHeaderLines + 2);
    EXPECT_EQ(lines[18].substr(0, 39), "Ant. Azimuth (deg):   0  90   0-180    ");
    EXPECT_EQ(job.secondObliqueBeam->azimuth, 90);
    EXPECT_EQ(lines[36].substr(49, 12), "  10   5   5");
}

TEST_F(WindConsensusTest, OnlyParallelObliqueBeamsWriteNothing) {
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(360, 75.0f, 700, 5.0f);
    beamOf(540, 75.0f, 700, 5.0f);
    beamOf(0, 90.0f, 700, 0.0f);
    reviewAll(1.0f, 50);
    runAndWrite();
    EXPECT_EQ(job.secondObliqueBeam, nullptr);
    EXPECT_FALSE(fs::exists(path("abc04033.w1a")));
}

TEST_F(WindConsensusTest, PeriodWithoutVerticalBeamIsSkipped) {
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(90, 75.0f, 700, 2.0f);
    // A second period with all three beams gets the header, listing its own beams.
    for (int i = 0; i < 5; ++i) {
        dwell(0, 31 + 5 * i, 0, 0, 75.0f, 700, {1.0f}, {10.0f});
        dwell(0, 31 + 5 * i, 0, 90, 75.0f, 700, {2.0f}, {10.0f});
        dwell(0, 31 + 5 * i, 0, 0, 90.0f, 700, {0.0f, 0.0f}, {10.0f, 10.0f});
    }
    reviewAll(1.0f, 50);
    runAndWrite();
    const auto lines = readLines(path("abc04033.w1a"));
    ASSERT_EQ(lines.size(), kHeaderLines + 2);
    EXPECT_EQ(lines[18].substr(0, 40), "Ant. Azimuth (deg):   0  90   0         ");
    EXPECT_EQ(lines[35], "0030      1         0");
}

TEST_F(WindConsensusTest, BeamWithoutSettingKeepsZeroResults) {
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(90, 75.0f, 700, 2.0f);
    beamOf(0, 90.0f, 700, 0.5f);
    reviewAll(1.0f, 50);
    // The 90-degree beam's row is gone: its gates stay at count 0, velocity
    // 0 and SNR 0, its threshold is never copied (0), and a gate without a
    // sample in its consensus fails whatever the threshold.
    for (BeamSetting* s = job.beamSettings.first(); s; s = job.beamSettings.next()) {
        if (s->azimuth == 90) {
            job.beamSettings.removeCurrent();
            delete s;
        }
    }
    runAndWrite();
    const auto lines = readLines(path("abc04033.w1a"));
    ASSERT_EQ(lines.size(), kHeaderLines + 2);
    EXPECT_EQ(lines[18].substr(0, 40), "Ant. Azimuth (deg):   0  90   0         ");
    EXPECT_EQ(lines[17].substr(40), "Req. Samples:        2   0   2");
    EXPECT_EQ(lines[36].substr(0, 2), " 8");
    EXPECT_EQ(lines[36].substr(49), "   5   0   5   10    0   10");
    EXPECT_EQ(job.secondObliqueBeam->consensusPercent, 0);
    EXPECT_EQ(job.secondObliqueBeam->meanVelocity[0], 0.0f);
}

TEST_F(WindConsensusTest, UnwritableFolderIsRecordedOnce) {
    job.params.outputPath = (dir / "not" / "there").string();
    beamOf(0, 75.0f, 700, 1.0f);
    beamOf(90, 75.0f, 700, 2.0f);
    beamOf(0, 90.0f, 700, 0.0f);
    for (int i = 0; i < 5; ++i) {
        dwell(0, 31 + 5 * i, 0, 0, 75.0f, 700, {1.0f}, {10.0f});
        dwell(0, 31 + 5 * i, 0, 90, 75.0f, 700, {2.0f}, {10.0f});
        dwell(0, 31 + 5 * i, 0, 0, 90.0f, 700, {0.0f}, {10.0f});
    }
    reviewAll(1.0f, 50);
    runAndWrite();
    const std::string lost = (dir / "not" / "there" / "abc04033.w1a").string();
    ASSERT_EQ(report.unwritten.size(), 1u);
    EXPECT_EQ(report.unwritten[0].path, lost);
    EXPECT_FALSE(fs::exists(lost));
}

}  // namespace
}  // namespace qv
