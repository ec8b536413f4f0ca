// Consensus files stay in the output folder whatever station name the input
// file carries: a '/' among its first three characters becomes '_'. Built
// from the fuzzing input that wrote "../04167.w1a" one folder up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "consensus/temperature_consensus.h"
#include "consensus/wind_consensus.h"
#include "input/ascii_moments.h"
#include "output/consensus_file.h"
#include "output/consensus_file_sink.h"
#include "support/scripted_host.h"
#include "support/test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class OutputFolder : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = test::freshTestFolder("qv_output_folder");
        fs::create_directories(root_ / "in");
        fs::create_directories(root_ / "a" / "out");
        job.host = &host;
        job.params.inputPath = (root_ / "in").string();
        job.params.outputPath = (root_ / "a" / "out").string();
        job.params.siteId = "abc";
        job.params.averagingMinutes = 60;
        job.params.dataSourceText = "QAV";
        job.currentDay.year = 2004;
        job.currentDay.month = 6;
        job.currentDay.day = 15;
        calendarToTimeValue(job.currentDay, job.currentDayTime);
    }
    void TearDown() override { fs::remove_all(root_); }

    // A ".raw" and a ".rat" day of the three beams a wind needs (and a RASS
    // beam) under the given header line.
    void writeDay(const std::string& header) {
        std::string raw = header;
        std::string rat = header;
        const char* beams[] = {"90.0 0", "66.4 45", "66.4 135"};
        for (int n = 0; n < 6; ++n) {
            const std::string line1 = std::string(beams[n % 3]) + " 4 167 12 " + std::to_string(2 * n) + " 0\n";
            raw += "1 " + line1 + "0 700 105 0 2\n1.00 10.0\n1.25 9.0\n";
            rat += "0 " + line1 + "0 700 105 0 2\n1.00 10.0\n1.25 9.0\n";
            rat += "1 90.0 0 4 167 12 " + std::to_string(2 * n) + " 30\n0 700 105 0 2\n347.0 20.0\n346.5 19.0\n";
        }
        std::ofstream(root_ / "in" / "abc04167.raw") << raw;
        std::ofstream(root_ / "in" / "abc04167.rat") << rat;
        std::ofstream(root_ / "in" / "abc04168.raw") << header;
        std::ofstream(root_ / "in" / "abc04168.rat") << header;
    }

    // Reads the day as `kind` and runs that kind's consensus with reviewed
    // settings.
    void process(OutputKind kind) {
        host.output = kind;
        ClearPeriodStore(job);
        GetAsciiMoments(job, job.currentDay);
        for (BeamSetting* s : job.beamSettings) {
            s->consensusWindow = 2.0f;
            s->consensusPercent = 50;
        }
        const DayProducts products =
            kind == OutputKind::Winds ? runWindConsensus(job) : runTemperatureConsensus(job);
        report = FileReport{};
        writeConsensusFiles(products, job.params.outputPath, job.currentDay, report);
    }

    fs::path root_;
    test::ScriptedHost host;
    ConsensusJob job;
    FileReport report;
};

TEST_F(OutputFolder, StationNamesWithSlashesStayInTheOutputFolder) {
    struct Case {
        const char* header;
        std::vector<std::string> winds;
        std::vector<std::string> temperature;
    };
    const Case cases[] = {
        // A leading '.' would hide the file: it becomes '_' too.
        {" ../ 4001 10525 1600\n", {"_._04167.w1a"}, {"_._04167.t1a", "_._04167.t2a"}},
        {" a/b 4001 10525 1600\n", {"a_b04167.w1a"}, {"a_b04167.t1a", "a_b04167.t2a"}},
        {" /// 4001 10525 1600\n", {"___04167.w1a"}, {"___04167.t1a", "___04167.t2a"}},
        {" ..x/y 4001 10525 1600\n", {"_.x04167.w1a"}, {"_.x04167.t1a", "_.x04167.t2a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        writeDay(c.header);
        for (const OutputKind kind : {OutputKind::Winds, OutputKind::Temperature}) {
            fs::remove_all(job.params.outputPath);
            fs::create_directories(job.params.outputPath);
            process(kind);
            EXPECT_EQ(namesIn(job.params.outputPath), kind == OutputKind::Winds ? c.winds : c.temperature);
            EXPECT_TRUE(report.unwritten.empty());
            // Nothing beside the output folder or above it.
            EXPECT_EQ(namesIn(root_ / "a"), std::vector<std::string>{"out"});
            EXPECT_EQ(namesIn(root_), (std::vector<std::string>{"a", "in"}));
        }
    }
}

TEST_F(OutputFolder, FileNameKeepsOrdinaryStationNamesAsTheyAre) {
    DayHeader header;
    header.fileKind = OutputKind::Winds;
    header.day = job.currentDay;
    for (const char* name : {"STN", "ab", "QVSITE", "x.y", "Q S"}) {
        header.stationName = name;
        EXPECT_EQ(consensusFileName(header, 1), std::string(name).substr(0, 3) + "04167.w1a");
    }
    header.stationName = "..";
    EXPECT_EQ(consensusFileName(header, 1), "_.04167.w1a");
}

}  // namespace
}  // namespace qv
