// The consensus data file: names, the header byte for byte, the period and
// wind gate lines, and the paths that cannot be written.
#include "consensus/consensus_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/dates.h"
#include "support/scripted_host.h"
#include "support/test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

using qv::test::date;

BeamAccumulator beam(int azimuth, float elevation, int samples, int percent) {
    BeamAccumulator b;
    b.azimuth = static_cast<std::int16_t>(azimuth);
    b.elevation = elevation;
    b.sampleCount = samples;
    b.consensusPercent = percent;
    return b;
}

class ConsensusFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::freshTestFolder("qv_consensus_file");

        job.host = &host;
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
        job.currentDay = date(2004, 2, 2);
        job.record.stationName = "abcd";
        job.record.siteElevation = 1000;
        job.record.latitudeCenti = 4012;
        job.record.longitudeCenti = -10525;
        job.outputVariant = 1;
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    test::ScriptedHost host;
    ConsensusJob job;
};

TEST_F(ConsensusFileTest, WindHeaderByteForByte) {
    BeamAccumulator first = beam(0, 75.0f, 10, 50);
    first.gateSpacing = 104.99999f;
    BeamAccumulator second = beam(90, 75.0f, 10, 50);
    BeamAccumulator vertical = beam(0, 90.0f, 10, 50);
    vertical.pulseWidth = 700;
    job.firstObliqueBeam = &first;
    job.secondObliqueBeam = &second;
    job.verticalBeam = &vertical;
    appendHeaderEntries(job, first);
    appendHeaderEntries(job, second);
    appendHeaderEntries(job, vertical);

    writeConsensusHeader(job);

    const std::string expected =
        "CDF Type:  Wind            Program:  VESK/KOR Vintrel        Version:  1.1\n"
        "VESK/KOR Quorvane Winds (ASCII moments)\n"
        "\n"
        "\n"
        "Station:            abcd\n"
        "Date:               02/02/04            Julian Day:        033\n"
        "Filename:           abc04033.w1a        Validation Level:  0\n"
        "Created by:         VINTREL      1.0    Created on:        03/05/24  0709\n"
        "Elev. (m msl):      1000                Elev. (ft msl):     3279\n"
        "Lat (dec deg):       40.12              Long (dec deg):    -105.25\n"
        "UTMN (km):           0                  UTME (km):          0     \n"
        "Time Zone:          UTC                 Diff. to UTC (hr): 0\n"
        "User Req. Samples:                      Mode Title:                \n"
        "\n"
        "\n"
        "Avg. Int. (min):    30                  Time Convention:   Begin\n"
        "Pulse Len. (m):      105                Spacing (m):       105\n"
        "Max. Samples:        10  10  10         Req. Samples:        4   4   4\n"
        "Ant. Azimuth (deg):   0  90   0         Ant. Elev. (deg):  75.0 75.0 90.0\n"
        "\n"
        "\n"
        "QC Code Definition:    0=Valid,   1=Valid-No Vertical Correction,   "
        "3=Valid-Passed QC/Failed Consensus,   7=Suspect,   8=Invalid\n"
        "Data Code Definition: -940=Failed QC,   -950=Failed Consensus,\n"
        "                      -960=Exceeded Nyquist Vel., -980=Flagged by Reviewer\n"
        "                      -999=Missing or Not Reported\n"
        "\n"
        "\n"
        "\n"
        "\n"
        "\n"
        "\n"
        "Time    # of Gates  Radar Parameter Changes\n"
        "HHMM    NNN         N\n"
        "QC   Height    WS     WD      u       v       w    No. in Cns      SNR (db)\n"
        "Code (m msl) (m/s)  (deg)   (m/s)   (m/s)   (m/s)   u   v   w    u    v    w\n";
    EXPECT_EQ(job.outputFilePath, (dir / "abc04033.w1a").string());
    EXPECT_EQ(readFile(job.outputFilePath), expected);
    EXPECT_TRUE(job.unwrittenPaths.empty());
    // The texts are used up by the header.
    EXPECT_EQ(job.azimuthListText, "");
    EXPECT_EQ(job.elevationListText, "");
    EXPECT_EQ(job.maxSamplesText, "");
    EXPECT_EQ(job.reqSamplesText, "");
}

TEST_F(ConsensusFileTest, SecondLabelsStandAtColumn41) {
    BeamAccumulator one = beam(45, 66.5f, 3, 100);
    appendHeaderEntries(job, one);
    writeConsensusHeader(job);
    const auto lines = splitLines(readFile(job.outputFilePath));
    const std::vector<std::string> labels = {
        "Julian Day:", "Validation Level:", "Created on:", "Elev. (ft msl):",
        "Long (dec deg):", "UTME (km):", "Diff. to UTC (hr):", "Mode Title:",
        "Time Convention:", "Spacing (m):", "Req. Samples:", "Ant. Elev. (deg):"};
    for (const std::string& label : labels) {
        bool found = false;
        for (const std::string& line : lines) {
            const auto at = line.find(label);
            if (at == std::string::npos || at == 0) continue;
            if (label == "Req. Samples:" && line.rfind("User", 0) == 0) continue;
            found = true;
            EXPECT_EQ(at, 40u) << line;
        }
        EXPECT_TRUE(found) << label;
    }
}

TEST_F(ConsensusFileTest, SixBeamAzimuthTextIsNotPadded) {
    for (int az : {0, 90, 0, 180, 270, 45}) {
        BeamAccumulator b = beam(az, 75.0f, 12, 25);
        appendHeaderEntries(job, b);
    }
    writeConsensusHeader(job);
    const auto lines = splitLines(readFile(job.outputFilePath));
    ASSERT_GT(lines.size(), 18u);
    EXPECT_EQ(lines[17],
              "Max. Samples:        12  12  12  12  12  12Req. Samples:        2   2   2   2   2   2");
    EXPECT_EQ(lines[18],
              "Ant. Azimuth (deg):   0  90   0 180 270  45Ant. Elev. (deg):  75.0 75.0 75.0 75.0 "
              "75.0 75.0");
    EXPECT_EQ(lines[18].find("Ant. Elev."), 43u);
}

struct NameCase {
    const char* station;
    int year, month, day;
    OutputKind kind;
    int variant;
    const char* name;
    const char* filenameLine;
};

TEST_F(ConsensusFileTest, FileNamesAndFilenameField) {
    const NameCase cases[] = {
        {"abcd", 2004, 2, 2, OutputKind::Winds, 1, "abc04033.w1a",
         "Filename:           abc04033.w1a        Validation Level:  0"},
        {"ab", 2004, 2, 2, OutputKind::Winds, 1, "ab04033.w1a",
         "Filename:            ab04033.w1a        Validation Level:  0"},
        {"xyz", 2004, 12, 31, OutputKind::Winds, 3, "xyz04366.w3a",
         "Filename:           xyz04366.w3a        Validation Level:  0"},
        {"xyz", 2004, 3, 1, OutputKind::Winds, 12, "xyz04061.w12a",
         "Filename:           xyz04061.w12a        Validation Level:  0"},
        {"xyz", 2003, 3, 1, OutputKind::Temperature, 1, "xyz03060.t1a",
         "Filename:           xyz03060.t1a        Validation Level:  0"},
        {"site", 2010, 1, 9, OutputKind::Temperature, 2, "sit10009.t2a",
         "Filename:           sit10009.t2a        Validation Level:  0"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        host.output = c.kind;
        job.record.stationName = c.station;
        job.currentDay = date(c.year, c.month, c.day);
        job.outputVariant = static_cast<std::int16_t>(c.variant);
        EXPECT_EQ(consensusFileName(job), c.name);
        writeConsensusHeader(job);
        EXPECT_EQ(job.outputFilePath, dir.string() + "/" + c.name);
        const auto lines = splitLines(readFile(job.outputFilePath));
        ASSERT_GT(lines.size(), 6u);
        EXPECT_EQ(lines[6], c.filenameLine);
    }
}

struct SiteCase {
    std::int32_t elevation;
    std::int16_t latitude, longitude;
    const char* elevationLine;
    const char* latLongLine;
};

TEST_F(ConsensusFileTest, SiteLines) {
    const SiteCase cases[] = {
        {1000, 4012, -10525, "Elev. (m msl):      1000                Elev. (ft msl):     3279",
         "Lat (dec deg):       40.12              Long (dec deg):    -105.25"},
        {0, 0, 0, "Elev. (m msl):         0                Elev. (ft msl):        0",
         "Lat (dec deg):        0.00              Long (dec deg):       0.00"},
        {1609, -3390, 1510, "Elev. (m msl):      1609                Elev. (ft msl):     5277",
         "Lat (dec deg):      -33.90              Long (dec deg):      15.10"},
        {-25, 5, -5, "Elev. (m msl):       -25                Elev. (ft msl):      -81",
         "Lat (dec deg):        0.05              Long (dec deg):      -0.05"},
    };
    for (const SiteCase& c : cases) {
        SCOPED_TRACE(c.elevationLine);
        job.record.siteElevation = c.elevation;
        job.record.latitudeCenti = c.latitude;
        job.record.longitudeCenti = c.longitude;
        writeConsensusHeader(job);
        const auto lines = splitLines(readFile(job.outputFilePath));
        ASSERT_GT(lines.size(), 9u);
        EXPECT_EQ(lines[8], c.elevationLine);
        EXPECT_EQ(lines[9], c.latLongLine);
    }
}

TEST_F(ConsensusFileTest, RequiredSamplesUseSinglePrecisionHundredth) {
    // 0.01 in single precision lies just below 0.01: 10 x 50 % gives 4.
    struct Case {
        int samples, percent;
        const char* text;
    } cases[] = {{10, 50, "   4"}, {6, 50, "   2"}, {4, 100, "   3"},
                 {20, 50, "   9"}, {7, 0, "   0"}, {100, 29, "  28"}};
    for (const auto& c : cases) {
        clearHeaderEntries(job);
        appendHeaderEntries(job, beam(0, 75.0f, c.samples, c.percent));
        EXPECT_EQ(job.reqSamplesText, c.text) << c.samples << " x " << c.percent;
    }
}

TEST_F(ConsensusFileTest, HeaderEntriesAppendForWindsAndReplaceForTemperature) {
    appendHeaderEntries(job, beam(-45, 89.96f, 120, 10));
    appendHeaderEntries(job, beam(180, 5.0f, 3, 1));
    EXPECT_EQ(job.azimuthListText, " -45 180");
    EXPECT_EQ(job.elevationListText, " 90.0  5.0");
    EXPECT_EQ(job.maxSamplesText, " 120   3");
    EXPECT_EQ(job.reqSamplesText, "  11   0");

    setHeaderEntries(job, beam(270, 90.0f, 55, 60));
    EXPECT_EQ(job.azimuthListText, " 270");
    EXPECT_EQ(job.elevationListText, " 90.0");
    EXPECT_EQ(job.maxSamplesText, "  55");
    EXPECT_EQ(job.reqSamplesText, "  32");
}

TEST_F(ConsensusFileTest, TemperatureTitleAndColumnHeads) {
    host.output = OutputKind::Temperature;
    BeamAccumulator rass = beam(0, 90.0f, 30, 40);
    rass.gateSpacing = 60.0f;
    BeamAccumulator radar = beam(0, 90.0f, 30, 40);
    radar.pulseWidth = 400;
    job.rassBeam = &rass;
    job.radarBeam = &radar;

    job.outputVariant = 1;
    writeConsensusHeader(job);
    auto lines = splitLines(readFile(job.outputFilePath));
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ(lines[0],
              "CDF Type:  Temp            Program:  VESK/KOR Vintrel        Version:  1.1");
    EXPECT_EQ(lines[16], "Pulse Len. (m):       60                Spacing (m):        60");
    EXPECT_EQ(lines[33], "QC   Height   Tv   No. Cns  SNR (db)");
    EXPECT_EQ(lines[34], "Code (m msl)  (C)   (Tv)     (Tv)");

    job.outputVariant = 2;
    writeConsensusHeader(job);
    lines = splitLines(readFile(job.outputFilePath));
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ(lines[33], "QC   Height   TvC  No. Cns  SNR (db)");
    EXPECT_EQ(lines[34], "Code (m msl)  (C)   (TvC)    (TvC)");

    job.outputVariant = 3;
    writeConsensusHeader(job);
    lines = splitLines(readFile(job.outputFilePath));
    EXPECT_EQ(lines.size(), 33u);
    EXPECT_EQ(lines.back(), "HHMM    NNN         N");
}

TEST_F(ConsensusFileTest, HeaderReplacesAnExistingFile) {
    const std::string path = (dir / "abc04033.w1a").string();
    {
        std::ofstream old(path);
        old << "old contents that are longer than nothing\n";
    }
    writeConsensusHeader(job);
    const std::string text = readFile(path);
    EXPECT_EQ(text.find("old contents"), std::string::npos);
    EXPECT_EQ(text.rfind("CDF Type:", 0), 0u);
}

TEST_F(ConsensusFileTest, UnwritableFolderIsRecordedAndTextsStillEmptied) {
    job.params.outputPath = (dir / "missing" / "folder").string();
    appendHeaderEntries(job, beam(0, 75.0f, 10, 50));
    writeConsensusHeader(job);
    const std::string path = (dir / "missing" / "folder" / "abc04033.w1a").string();
    EXPECT_EQ(job.outputFilePath, path);
    EXPECT_FALSE(fs::exists(path));
    ASSERT_EQ(job.unwrittenPaths.size(), 1u);
    EXPECT_EQ(job.unwrittenPaths[0], path);
    EXPECT_EQ(job.azimuthListText, "");
    EXPECT_EQ(job.maxSamplesText, "");

    // An append to the same path fails too; the path is listed once.
    EXPECT_EQ(openForAppend(job, path), nullptr);
    EXPECT_EQ(job.unwrittenPaths.size(), 1u);
}

TEST_F(ConsensusFileTest, AppendAddsToTheEndOfTheFile) {
    writeConsensusHeader(job);
    const std::string header = readFile(job.outputFilePath);
    for (const char* key : {"0000", "0030"}) {
        std::FILE* out = openForAppend(job, job.outputFilePath);
        ASSERT_NE(out, nullptr);
        std::fputs(formatPeriodLine(key, 0).c_str(), out);
        closeAppended(job, out, job.outputFilePath);
    }
    EXPECT_EQ(readFile(job.outputFilePath),
              header + "0000      0         0\n0030      0         0\n");
    EXPECT_TRUE(job.unwrittenPaths.empty());
}

TEST(ConsensusFileLines, PeriodLine) {
    EXPECT_EQ(formatPeriodLine("0130", 12), "0130     12         0\n");
    EXPECT_EQ(formatPeriodLine("0000", 0), "0000      0         0\n");
    EXPECT_EQ(formatPeriodLine("2330", 100), "2330    100         0\n");
}

TEST(ConsensusFileLines, WindGateLines) {
    struct Case {
        WindGateValues values;
        const char* line;
    };
    const Case cases[] = {
        {{0, 1201.42L, 5.0f, 359, 3.0f, 4.0f, -0.25f, 6, 6, 5, -3, 12, -20},
         " 0   1201      5.0   359.    3.00    4.00   -0.25   6   6   5   -3   12  -20\n"},
        {{0, 1303.5L, 12.34f, 0, -0.004f, -12.345f, 0.0f, 12, 3, 4, 0, 0, 0},
         " 0   1304     12.3     0.   -0.00  -12.35    0.00  12   3   4    0    0    0\n"},
        {{8, 1100.0L, -950.0f, -950, 1.5f, -2.25f, 0.1f, 1, 0, 0, -5, -8, -9},
         " 8   1100   -950.0  -950.    1.50   -2.25    0.10   1   0   0   -5   -8   -9\n"},
        {{8, 2000.49L, -980.0f, -980, 100.0f, -100.0f, 1000.0f, 0, 0, 0, -99, -99, -99},
         " 8   2000   -980.0  -980.  100.00 -100.00 1000.00   0   0   0  -99  -99  -99\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatWindGateLine(c.values), c.line);
}

}  // namespace
}  // namespace qv
