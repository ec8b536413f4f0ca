// The continuity check over generated days with ground clutter and birds
// and a known truth: the batch tool's wind files, read back, with and
// without the check.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "qc/continuity.h"
#include "tests/qc/wind_truth.h"
#include "tests/support/test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string tool(const char* name) {
    return std::string(QUORVANE_BINARY_DIR) + "/app/" + name;
}

// Six days (seed 11) with 5 % of the oblique dwells cluttered and 3 % with
// birds, 12 dwells per beam and half hour, at 30- and 60-minute periods.
TEST(ContinuityMeasure, FlagsMostGatesFarFromTheTruthAndKeepsTheGoodOnes) {
    for (const char* name : {"quorvane-batch", "quorvane-samplegen"}) {
        if (!fs::exists(tool(name))) GTEST_FAIL() << tool(name) << " is not built";
    }
    const fs::path dir = test::freshTestFolder("qv_qc_measure");
    const std::string failed = qctest::generateAndProcess(
        tool("quorvane-samplegen"), tool("quorvane-batch"), dir, 6, 11, {30, 60}, 0.05, 0.03);
    ASSERT_TRUE(failed.empty()) << failed;
    qctest::WindTruth truth;
    ASSERT_TRUE(truth.loadFolder(dir / "moments"));

    for (const int minutes : {30, 60}) {
        const std::vector<WindDay> days =
            qctest::readWindFolder(dir / ("winds" + std::to_string(minutes)));
        ASSERT_EQ(days.size(), 6u) << minutes;
        const std::vector<WindDay> checked = qctest::checkRun(days, ContinuityLimits{});
        const qctest::QcFigures f = qctest::measureAgainstTruth(days, checked, truth);
        SCOPED_TRACE(std::to_string(minutes) + " min: " + f.text());
        std::printf("%d min: %s\n", minutes, f.text().c_str());
        // Enough gates to say something, and contamination that reached
        // the consensus.
        EXPECT_GT(f.valid, minutes == 30 ? 5000 : 2500);
        EXPECT_GE(f.bad, 5);
        // The gates more than 3 m/s off fall by at least half, in number
        // and in share of the valid gates.
        EXPECT_LE(2 * f.badAfter, f.bad);
        EXPECT_LE(2.0 * f.badFractionAfter(), f.badFraction());
        // At least 95 % of the gates within 1 m/s stay valid.
        EXPECT_GE(f.goodKeptFraction(), 0.95);
        EXPECT_LT(f.rmsUAfter, f.rmsU);
        EXPECT_LT(f.rmsVAfter, f.rmsV);
        for (const WindDay& d : checked) EXPECT_TRUE(d.header.continuityChecked);
    }
    fs::remove_all(dir);
}

// Three days (seed 31) as real sites have them: two pulse-width modes, weak
// echoes aloft, a front each day and a jet each night, clutter and birds;
// 30-minute periods, both wind solutions. The figures the defaults were
// chosen for (README.md), with some room.
TEST(ContinuityMeasure, RealDaysLoseMostBadWindsAndKeepTheGoodOnes) {
    for (const char* name : {"quorvane-batch", "quorvane-samplegen"}) {
        if (!fs::exists(tool(name))) GTEST_FAIL() << tool(name) << " is not built";
    }
    // The generator's options of real days refuse values they do not know.
    for (const char* bad : {"--modes 3", "--weak-echoes 2", "--clutter-hours 25", "--migration 1.5",
                            "--weather storm"}) {
        const std::string command = '"' + tool("quorvane-samplegen") +
                                    "\" generate --out /nonexistent-qv " + bad + " 2> /dev/null";
        EXPECT_EQ(qctest::runCommand(command), 2) << bad;
    }
    const std::string realDays =
        "--modes 2 --weak-echoes 1 --weather fronts --gates 30 --clutter-hours 4";
    for (const bool corrected : {true, false}) {
        SCOPED_TRACE(corrected ? "corrected winds" : "standard winds");
        const fs::path dir = test::freshTestFolder("qv_qc_measure_real");
        const std::string failed = qctest::generateAndProcess(
            tool("quorvane-samplegen"), tool("quorvane-batch"), dir, 3, 31, {30}, 0.05, 0.02,
            realDays, corrected ? "--corrected-winds" : "");
        ASSERT_TRUE(failed.empty()) << failed;
        qctest::WindTruth truth;
        ASSERT_TRUE(truth.loadFolder(dir / "moments"));
        const std::vector<WindDay> days = qctest::readWindFolder(dir / "winds30");
        ASSERT_EQ(days.size(), 6u);  // two modes a day
        const std::vector<WindDay> checked = qctest::checkRun(days, ContinuityLimits{});
        const qctest::QcFigures f = qctest::measureAgainstTruth(days, checked, truth);
        SCOPED_TRACE(f.text());
        std::printf("%s: %s\n", corrected ? "corrected" : "standard", f.text().c_str());
        EXPECT_GT(f.valid, 6000);
        EXPECT_GE(f.bad, 100);
        // The standard solution's bad winds are mostly the fold bias.
        if (corrected) {
            EXPECT_LE(3 * f.badAfter, f.bad);
        }
        EXPECT_LT(f.badAfter, f.bad);
        EXPECT_GE(f.validAfter, 0.93 * f.valid);
        EXPECT_GE(f.goodKeptFraction(), 0.995);
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace qv
