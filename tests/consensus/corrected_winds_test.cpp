// The corrected wind solution: folding only beams whose gates lie at the
// same heights, and the vertical motion cancelled in a beam that took the
// negated velocity of its opposite beam. Checked against winds worked out
// from the beam geometry, against the solution without the option, and on
// generated days of a known wind field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "consensus/wind_consensus.h"
#include "core/numeric.h"
#include "output/consensus_file.h"
#include "output/consensus_file_reader.h"
#include "support/dates.h"
#include "support/scripted_host.h"
#include "tests/consensus/generated_wind_day.h"

namespace qv {
namespace {

using namespace qv::test;

// A day's job with the scripted host, which answers the vertical policy.
struct Day : GeneratedDay<ScriptedHost> {
    explicit Day(bool corrected, VerticalPolicy policy = VerticalPolicy::WhenAvailable,
                 int minutes = 30)
        : GeneratedDay(corrected, minutes) {
        host.policy = policy;
    }
};

// The consensus file text, with the title line of the solution without the
// option (so that two days can be compared byte for byte but for it).
std::string plainText(WindDay day) {
    day.header.correctedWinds = false;
    return windFileText(day, date(2024, 1, 2));
}

// ------------------------------------------------ uniform wind, first principles

// The dwells of one beam in period "0000": five gate profiles.
using Profiles = std::vector<std::vector<float>>;
struct BeamDwells {
    Beam beam;
    Profiles profiles;
};

// The beams' dwells in the order given (which is the beams' order in the
// period), then every beam reviewed with the window and 50 %.
void fill(Day& day, const std::vector<BeamDwells>& beams, float window = 1.0f) {
    for (const BeamDwells& d : beams) {
        const std::vector<float> snr(static_cast<std::size_t>(d.beam.gates), 12.0f);
        for (int i = 0; i < 5; ++i) {
            day.dwell(60 + 300 * i, d.beam, d.profiles[static_cast<std::size_t>(i)], snr);
        }
    }
    day.review(window, 50);
}

// Five dwells of the field's radial velocity at each gate's height, at
// hour `hours`, plus `offset` in dwell i and gate g (m/s).
Profiles fieldProfiles(const WindField& field, const Beam& b, double hours = 0.0,
                       double (*offset)(int, int) = nullptr) {
    Profiles out(5);
    for (int i = 0; i < 5; ++i) {
        for (int g = 0; g < b.gates; ++g) {
            out[static_cast<std::size_t>(i)].push_back(static_cast<float>(
                field.radial(b, b.height(g) / 1000.0, hours) + (offset ? offset(i, g) : 0.0)));
        }
    }
    return out;
}

// Values 10 m/s apart: every group holds one of five (20 %), the gate fails.
Profiles scattered(const Beam& b) {
    Profiles out;
    for (int i = 0; i < 5; ++i) {
        out.emplace_back(static_cast<std::size_t>(b.gates), static_cast<float>(-20.0 + 10.0 * i));
    }
    return out;
}

// u = 6, v = -4, w = 2 m/s everywhere.
WindField uniformField() {
    WindField f;
    f.u0 = 6.0;
    f.v0 = -4.0;
    f.uShear = f.vShear = f.uDrift = f.vDrift = 0.0;
    f.w0 = 2.0;
    f.wSwing = 0.0;
    return f;
}

const Beam kNorth{0}, kEast{90}, kSouth{180}, kWest{270}, kUp{0, 90.0f};

// The beams at 0 and 90 degrees fail at every gate (or pass, `northPasses`
// for the beam at 0); those at 180 and 270 and the vertical beam pass.
std::vector<BeamDwells> oppositeAlone(const WindField& f, bool northPasses = false) {
    return {{kNorth, northPasses ? fieldProfiles(f, kNorth) : scattered(kNorth)},
            {kEast, scattered(kEast)},
            {kSouth, fieldProfiles(f, kSouth)},
            {kWest, fieldProfiles(f, kWest)},
            {kUp, fieldProfiles(f, kUp)}};
}

TEST(CorrectedWinds, OppositeBeamsAloneGiveTheWindWithTheVerticalMotionCancelled) {
    const WindField f = uniformField();
    // Without the option the negated opposite beam keeps -w sin e and the
    // correction subtracts another w sin e: R comes out 2 w tan e low, and
    // with the beams at 0 and 90 degrees (R = -v and R = -u) u and v come
    // out 2 w tan e high.
    const double error = 2.0 * f.w0 * std::tan(radians(kTilt));
    ASSERT_GT(error, 9.0);  // 2 x 2 x tan 66.4 = 9.14 m/s
    for (VerticalPolicy policy : {VerticalPolicy::WhenAvailable, VerticalPolicy::Required}) {
        SCOPED_TRACE(static_cast<int>(policy));
        Day corrected(true, policy), described(false, policy);
        fill(corrected, oppositeAlone(f));
        fill(described, oppositeAlone(f));
        const DayProducts on = corrected.run();
        const DayProducts off = described.run();
        ASSERT_EQ(on.winds.size(), 1u);
        ASSERT_EQ(off.winds.size(), 1u);
        ASSERT_EQ(on.winds[0].periods.size(), 1u);
        const auto& gatesOn = on.winds[0].periods[0].gates;
        const auto& gatesOff = off.winds[0].periods[0].gates;
        ASSERT_EQ(gatesOn.size(), 12u);
        ASSERT_EQ(gatesOff.size(), 12u);
        for (std::size_t g = 0; g < gatesOn.size(); ++g) {
            SCOPED_TRACE(g);
            EXPECT_EQ(gatesOn[g].qcCode, 0);
            EXPECT_NEAR(gatesOn[g].u, 6.0, 0.05);
            EXPECT_NEAR(gatesOn[g].v, -4.0, 0.05);
            EXPECT_EQ(gatesOff[g].qcCode, 0);
            EXPECT_NEAR(gatesOff[g].u, 6.0 + error, 0.05);
            EXPECT_NEAR(gatesOff[g].v, -4.0 + error, 0.05);
            // Counts, SNRs, w and heights stay those of the solution without it.
            EXPECT_EQ(gatesOn[g].countU, gatesOff[g].countU);
            EXPECT_EQ(gatesOn[g].countV, gatesOff[g].countV);
            EXPECT_EQ(gatesOn[g].snrU, gatesOff[g].snrU);
            EXPECT_EQ(gatesOn[g].w, gatesOff[g].w);
            EXPECT_EQ(gatesOn[g].height, gatesOff[g].height);
        }
    }
}

TEST(CorrectedWinds, NegatedBeamFoldedWithAFurtherOppositeBeamStillCancels) {
    // A second beam at 180 degrees (RASS-flagged: a beam of its own in the
    // store, of the same pulse width and gates) folds in after the first.
    // Own beam at 0 failing: -A, then (-A - C) / 2, still holding -w sin e.
    // Own beam passing: (own - A) / 2, then ((own - A) / 2 - C) / 2, holding
    // -w sin e / 2. Both are marked paired, so the solution without the
    // option takes no vertical part out of them.
    const WindField f = uniformField();
    Beam southRass = kSouth;
    southRass.rassFlag = 1;
    const double tanE = std::tan(radians(kTilt));
    for (bool northPasses : {false, true}) {
        SCOPED_TRACE(northPasses);
        Day corrected(true), described(false);
        for (Day* day : {&corrected, &described}) {
            std::vector<BeamDwells> beams = oppositeAlone(f, northPasses);
            beams.push_back({southRass, fieldProfiles(f, southRass)});
            fill(*day, beams);
        }
        const DayProducts on = corrected.run();
        const DayProducts off = described.run();
        ASSERT_EQ(on.winds.size(), 1u);
        ASSERT_EQ(off.winds.size(), 1u);
        for (const WindGate& gate : on.winds[0].periods[0].gates) {
            EXPECT_EQ(gate.qcCode, 0);
            EXPECT_NEAR(gate.u, 6.0, 0.05);
            EXPECT_NEAR(gate.v, -4.0, 0.05);
        }
        // v from the beam at 0: w tan e or w tan e / 2 high without the
        // option; u from the negated beam at 270 alone: 2 w tan e high.
        const double vError = northPasses ? f.w0 * tanE / 2.0 : f.w0 * tanE;
        for (const WindGate& gate : off.winds[0].periods[0].gates) {
            EXPECT_NEAR(gate.v, -4.0 + vError, 0.05);
            EXPECT_NEAR(gate.u, 6.0 + 2.0 * f.w0 * tanE, 0.05);
        }
    }
}

TEST(CorrectedWinds, TitleLineNamesTheSolutionAndReadsBack) {
    const WindField f = uniformField();
    Day corrected(true), described(false);
    fill(corrected, oppositeAlone(f));
    fill(described, oppositeAlone(f));
    const DayProducts on = corrected.run();
    const DayProducts off = described.run();
    ASSERT_EQ(on.winds.size(), 1u);
    ASSERT_EQ(off.winds.size(), 1u);
    EXPECT_TRUE(on.winds[0].header.correctedWinds);
    EXPECT_FALSE(off.winds[0].header.correctedWinds);

    const std::string textOn = windFileText(on.winds[0], date(2024, 1, 2));
    const std::string textOff = windFileText(off.winds[0], date(2024, 1, 2));
    const auto line = [](const std::string& text, int n) {
        std::size_t at = 0;
        for (int i = 1; i < n; ++i) at = text.find('\n', at) + 1;
        return text.substr(at, text.find('\n', at) - at);
    };
    EXPECT_EQ(line(textOn, 2), "VESK/KOR Quorvane Winds (ASCII moments, corrected winds)");
    EXPECT_EQ(line(textOff, 2), "VESK/KOR Quorvane Winds (ASCII moments)");
    for (int n : {1, 3, 4, 5, 6, 17, 18, 19, 36}) {
        EXPECT_EQ(line(textOn, n), line(textOff, n)) << "line " << n;
    }

    // A reader takes the marker as part of the data source and the rest as
    // before.
    const ConsensusFileRead read = parseConsensusFile(textOn, "qvs04167.w1a");
    ASSERT_TRUE(read.ok) << read.error;
    const WindDay& back = read.contents.winds;
    EXPECT_EQ(back.header.outputKindText, "Winds");
    EXPECT_EQ(back.header.dataSourceText, "ASCII moments, corrected winds");
    ASSERT_EQ(back.periods.size(), 1u);
    ASSERT_EQ(back.periods[0].gates.size(), 12u);
    EXPECT_NEAR(back.periods[0].gates[3].u, 6.0, 0.05);
    EXPECT_NEAR(back.periods[0].gates[3].v, -4.0, 0.05);
}

// ------------------------------------------------------ gate heights

// Sheared field, so that gates at other heights carry other winds.
WindField shearedField() {
    WindField f;
    f.uShear = 6.0;
    f.vShear = 4.0;
    f.w0 = 0.5;
    f.wSwing = 0.0;
    return f;
}

// Small, different errors per dwell and gate, so that the means are not
// round numbers.
double wobble(int i, int g) { return 0.05 * ((i * 7 + g * 3) % 5 - 2); }

TEST(CorrectedWinds, BeamsWithGatesAtOtherHeightsDoNotFold) {
    const WindField f = shearedField();
    // The 700 ns beams at 0 and 90 degrees and the vertical beam, and beams
    // opposite to them whose gates lie elsewhere: of a 400 ns mode (other
    // first gate and spacing), or of 700 ns with the first gate higher or
    // the spacing shorter.
    struct Foreign {
        const char* name;
        int pulseWidth, firstGate;
        float spacing;
    } cases[] = {
        {"400 ns mode", 400, 120, 60.0f},
        {"first gate higher", 700, 300, 105.0f},
        {"spacing shorter", 700, 150, 100.0f},
    };
    const std::vector<BeamDwells> own = {{kNorth, fieldProfiles(f, kNorth, 0.0, wobble)},
                                         {kEast, fieldProfiles(f, kEast, 0.0, wobble)},
                                         {kUp, fieldProfiles(f, kUp, 0.0, wobble)}};
    for (const Foreign& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BeamDwells> all = own;
        std::vector<BeamDwells> foreignAlone;
        std::vector<int> azimuths = {180, 270};
        if (c.pulseWidth != 700) azimuths = {0, 90, 180, 270};
        for (int az : azimuths) {
            Beam b{az, kTilt, c.pulseWidth, c.firstGate, c.spacing, 8};
            all.push_back({b, fieldProfiles(f, b, 0.0, wobble)});
            foreignAlone.push_back(all.back());
        }
        if (c.pulseWidth != 700) {
            // Its own vertical beam at another azimuth label, so that it
            // would fold into the 700 ns vertical beam as a duplicate.
            Beam up{45, 90.0f, c.pulseWidth, c.firstGate, c.spacing, 8};
            all.push_back({up, fieldProfiles(f, up, 0.0, wobble)});
            foreignAlone.push_back(all.back());
        }

        Day mixed(true), alone(true), described(false), describedAlone(false);
        fill(mixed, all);
        fill(alone, own);
        fill(described, all);
        fill(describedAlone, own);
        const DayProducts on = mixed.run();
        const DayProducts onAlone = alone.run();
        const DayProducts off = described.run();
        const DayProducts offAlone = describedAlone.run();
        const WindDay* day = modeDay(on, 700);
        const WindDay* dayAlone = modeDay(onAlone, 700);
        const WindDay* dayOff = modeDay(off, 700);
        const WindDay* dayOffAlone = modeDay(offAlone, 700);
        ASSERT_TRUE(day && dayAlone && dayOff && dayOffAlone);

        // With the option the 700 ns file is byte for byte the one of a day
        // without those beams, and lists only the three beams it uses.
        EXPECT_EQ(windFileText(*day, date(2024, 1, 2)), windFileText(*dayAlone, date(2024, 1, 2)));
        EXPECT_EQ(day->header.beams.size(), 3u);
        // Its winds are the field's at the 700 ns gates' heights.
        for (const WindGate& gate : day->periods[0].gates) {
            const double zKm = (static_cast<double>(gate.height) - 1600.0) / 1000.0;
            EXPECT_EQ(gate.qcCode, 0);
            EXPECT_NEAR(gate.u, f.u(zKm, 0.0), 0.1);
            EXPECT_NEAR(gate.v, f.v(zKm, 0.0), 0.1);
        }
        // Without it the foreign beams fold in, are listed, and at the upper
        // of their gates give winds of other heights.
        EXPECT_GT(dayOff->header.beams.size(), 3u);
        EXPECT_NE(plainText(*dayOff), plainText(*dayOffAlone));

        if (c.pulseWidth != 700) {
            double worst = 0.0;
            for (const WindGate& gate : dayOff->periods[0].gates) {
                const double zKm = (static_cast<double>(gate.height) - 1600.0) / 1000.0;
                worst = std::max({worst, std::abs(gate.u - f.u(zKm, 0.0)),
                                  std::abs(gate.v - f.v(zKm, 0.0))});
            }
            EXPECT_GT(worst, 0.5);
            // The 400 ns mode's own file is not touched by the 700 ns beams.
            Day foreignDay(true);
            fill(foreignDay, foreignAlone);
            const DayProducts onForeign = foreignDay.run();
            const WindDay* other = modeDay(on, c.pulseWidth);
            const WindDay* otherAlone = modeDay(onForeign, c.pulseWidth);
            ASSERT_TRUE(other && otherAlone);
            // Mode 2 here, mode 1 on the day of its beams alone.
            WindDay renumbered = *otherAlone;
            renumbered.header.variant = other->header.variant;
            EXPECT_EQ(windFileText(*other, date(2024, 1, 2)),
                      windFileText(renumbered, date(2024, 1, 2)));
        }
    }
}

TEST(CorrectedWinds, PairedAndOwnGatesAreSolvedAsWithoutTheOption) {
    // Opposite beams of the same gates: the one at 180 passes at even gates
    // and fails at odd ones, the one at 270 fails; the beams at 0 and 90
    // pass. No gate takes a negated velocity, so every byte but the title
    // is the same.
    const WindField f = shearedField();
    Profiles south = fieldProfiles(f, kSouth, 0.0, wobble);
    const Profiles noise = scattered(kSouth);
    for (std::size_t i = 0; i < south.size(); ++i) {
        for (std::size_t g = 1; g < south[i].size(); g += 2) south[i][g] = noise[i][g];
    }
    const std::vector<BeamDwells> beams = {{kNorth, fieldProfiles(f, kNorth, 0.0, wobble)},
                                           {kEast, fieldProfiles(f, kEast, 0.0, wobble)},
                                           {kSouth, south},
                                           {kWest, scattered(kWest)},
                                           {kUp, fieldProfiles(f, kUp, 0.0, wobble)}};
    for (VerticalPolicy policy :
         {VerticalPolicy::NotUsed, VerticalPolicy::WhenAvailable, VerticalPolicy::Required}) {
        SCOPED_TRACE(static_cast<int>(policy));
        Day corrected(true, policy), described(false, policy);
        fill(corrected, beams);
        fill(described, beams);
        const DayProducts on = corrected.run();
        const DayProducts off = described.run();
        ASSERT_EQ(on.winds.size(), 1u);
        ASSERT_EQ(off.winds.size(), 1u);
        EXPECT_EQ(plainText(on.winds[0]), plainText(off.winds[0]));
        EXPECT_EQ(on.winds[0].header.beams.size(), 5u);
        // Even gates are paired, odd ones the beam's own: both present.
        EXPECT_EQ(corrected.job.firstObliqueBeam->pairedFlag[0], 1);
        EXPECT_EQ(corrected.job.firstObliqueBeam->pairedFlag[1], 0);
    }
}

// ------------------------------------------------------ generated days

TEST(CorrectedWinds, NoGateTheDescribedSolutionMarksValidBecomesInvalid) {
    int changed = 0;
    for (std::uint64_t seed : {11u, 12u, 13u}) {
        for (VerticalPolicy policy :
             {VerticalPolicy::NotUsed, VerticalPolicy::WhenAvailable, VerticalPolicy::Required}) {
            SCOPED_TRACE(seed * 10 + static_cast<std::uint64_t>(policy));
            DayPlan plan = risingAirPlan(seed);
            plan.periods = 12;
            plan.weakVertical = 0.2;
            Day corrected(true, policy), described(false, policy);
            generate(corrected, plan);
            generate(described, plan);
            const DayProducts on = corrected.run();
            const DayProducts off = described.run();
            ASSERT_EQ(on.winds.size(), 1u);
            ASSERT_EQ(off.winds.size(), 1u);
            ASSERT_EQ(on.winds[0].periods.size(), off.winds[0].periods.size());
            for (std::size_t p = 0; p < on.winds[0].periods.size(); ++p) {
                const auto& a = on.winds[0].periods[p].gates;
                const auto& b = off.winds[0].periods[p].gates;
                ASSERT_EQ(a.size(), b.size());
                for (std::size_t g = 0; g < a.size(); ++g) {
                    EXPECT_EQ(a[g].qcCode, b[g].qcCode) << "period " << p << " gate " << g;
                    EXPECT_EQ(a[g].countU, b[g].countU);
                    EXPECT_EQ(a[g].countV, b[g].countV);
                    EXPECT_EQ(a[g].countW, b[g].countW);
                    EXPECT_EQ(a[g].snrU, b[g].snrU);
                    EXPECT_EQ(a[g].w, b[g].w);
                    EXPECT_EQ(a[g].height, b[g].height);
                    if (a[g].u != b[g].u || a[g].v != b[g].v) ++changed;
                }
            }
        }
    }
    // The days do exercise the negated beams.
    EXPECT_GT(changed, 100);
}

TEST(CorrectedWinds, TwoModeDaysAgainstTheTruth) {
    // Five days of two modes: the 700 ns mode's valid gates within 0.7 m/s
    // RMS in u and v, and at most a tenth as many gates more than 3 m/s off
    // as without the option (which mixes in 400 ns gates of lower heights).
    const Measured m = measure<Day>(twoModePlan, 5, 700);
    EXPECT_GT(m.on.valid, 5 * 2500);
    EXPECT_LE(m.on.rmsU(), 0.7);
    EXPECT_LE(m.on.rmsV(), 0.7);
    EXPECT_GT(m.off.off3, 5 * 200);
    EXPECT_LE(m.on.off3 * 10, m.off.off3) << m.on.off3 << " against " << m.off.off3;
    EXPECT_GT(m.off.rmsU(), 1.0);
}

TEST(CorrectedWinds, RisingAirDaysAgainstTheTruth) {
    // Steady rising air with opposite beams often passing alone: gates more
    // than 3 m/s off fall by at least half, and the same gates are valid.
    const Measured m = measure<Day>(risingAirPlan, 2, 700);
    EXPECT_EQ(m.on.valid, m.off.valid);
    EXPECT_GT(m.off.off3, 2 * 500);
    EXPECT_LE(m.on.off3 * 2, m.off.off3) << m.on.off3 << " against " << m.off.off3;
}

}  // namespace
}  // namespace qv
