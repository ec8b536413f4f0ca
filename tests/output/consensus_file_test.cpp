// The consensus data file: names, the header byte for byte, the period and
// wind gate lines, and the paths that cannot be written.
#include "output/consensus_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/dates.h"
#include "output/consensus_file_sink.h"
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

HeaderBeam beam(int azimuth, float elevation, int samples, int percent) {
    HeaderBeam b;
    b.azimuth = static_cast<std::int16_t>(azimuth);
    b.elevation = elevation;
    b.sampleCount = samples;
    b.consensusPercent = percent;
    return b;
}

CalendarTime created() {
    CalendarTime t = date(2024, 3, 5);
    t.hour = 7;
    t.minute = 9;
    return t;
}

class ConsensusFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::freshTestFolder("qv_consensus_file");
        header.fileKind = OutputKind::Winds;
        header.variant = 1;
        header.outputKindText = "Winds";
        header.dataSourceText = "ASCII moments";
        header.averagingMinutes = 30;
        header.day = date(2004, 2, 2);
        header.stationName = "abcd";
        header.siteElevation = 1000;
        header.latitudeCenti = 4012;
        header.longitudeCenti = -10525;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> headerLines(int variant = 1) const {
        return splitLines(consensusHeaderText(header, variant, created()));
    }

    fs::path dir;
    DayHeader header;
};

TEST_F(ConsensusFileTest, WindHeaderByteForByte) {
    header.pulseWidth = 700;
    header.gateSpacing = 104.99999f;
    header.beams = {beam(0, 75.0f, 10, 50), beam(90, 75.0f, 10, 50), beam(0, 90.0f, 10, 50)};

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
    EXPECT_EQ(consensusHeaderText(header, 1, created()), expected);
    EXPECT_EQ(consensusFileName(header, 1), "abc04033.w1a");
}

TEST_F(ConsensusFileTest, SecondLabelsStandAtColumn41) {
    header.beams = {beam(45, 66.5f, 3, 100)};
    const auto lines = headerLines();
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
    for (int az : {0, 90, 0, 180, 270, 45}) header.beams.push_back(beam(az, 75.0f, 12, 25));
    const auto lines = headerLines();
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
        header.fileKind = c.kind;
        header.stationName = c.station;
        header.day = date(c.year, c.month, c.day);
        EXPECT_EQ(consensusFileName(header, c.variant), c.name);
        EXPECT_EQ(consensusFilePath(dir.string(), header, c.variant), dir.string() + "/" + c.name);
        const auto lines = headerLines(c.variant);
        ASSERT_GT(lines.size(), 6u);
        EXPECT_EQ(lines[6], c.filenameLine);
    }
    header.fileKind = OutputKind::None;
    EXPECT_EQ(consensusFileName(header, 1), "");
}

struct SiteCase {
    std::int32_t elevation;
    std::int16_t latitude, longitude;
    const char* elevationLine;
    const char* latLongLine;
};

TEST_F(ConsensusFileTest, SiteLines) {
    // 3.28 in single precision lies just below 3.28: 1000 m gives 3279 ft.
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
        header.siteElevation = c.elevation;
        header.latitudeCenti = c.latitude;
        header.longitudeCenti = c.longitude;
        const auto lines = headerLines();
        ASSERT_GT(lines.size(), 9u);
        EXPECT_EQ(lines[8], c.elevationLine);
        EXPECT_EQ(lines[9], c.latLongLine);
    }
}

TEST_F(ConsensusFileTest, PulseLengthUsesTheSinglePrecisionMetresPerNanosecond) {
    // 0.29999998 (not 0.3f = 0.30000001): 750 ns is 112.4999 m and prints
    // 112; 1730 ns prints 259.
    struct Case {
        int pulseWidth;
        const char* field;
    } cases[] = {{750, " 112"}, {1730, " 259"}, {700, " 105"}, {400, "  60"}, {0, "   0"}};
    for (const auto& c : cases) {
        header.pulseWidth = c.pulseWidth;
        EXPECT_EQ(headerLines()[16].substr(20, 4), c.field) << c.pulseWidth;
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
        header.beams = {beam(0, 75.0f, c.samples, c.percent)};
        EXPECT_EQ(headerLines()[17].substr(40), std::string("Req. Samples:     ") + c.text)
            << c.samples << " x " << c.percent;
    }
}

TEST_F(ConsensusFileTest, BeamEntriesInListingOrder) {
    header.beams = {beam(-45, 89.96f, 120, 10), beam(180, 5.0f, 3, 1)};
    const auto lines = headerLines();
    EXPECT_EQ(lines[17], "Max. Samples:       120   3             Req. Samples:       11   0");
    EXPECT_EQ(lines[18], "Ant. Azimuth (deg): -45 180             Ant. Elev. (deg):  90.0  5.0");
}

TEST_F(ConsensusFileTest, TemperatureTitleAndColumnHeads) {
    header.fileKind = OutputKind::Temperature;
    header.gateSpacing = 60.0f;
    header.pulseWidth = 400;
    header.beams = {beam(0, 90.0f, 30, 40)};

    auto lines = headerLines(1);
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ(lines[0],
              "CDF Type:  Temp            Program:  VESK/KOR Vintrel        Version:  1.1");
    EXPECT_EQ(lines[16], "Pulse Len. (m):       60                Spacing (m):        60");
    EXPECT_EQ(lines[33], "QC   Height   Tv   No. Cns  SNR (db)");
    EXPECT_EQ(lines[34], "Code (m msl)  (C)   (Tv)     (Tv)");

    lines = headerLines(2);
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ(lines[33], "QC   Height   TvC  No. Cns  SNR (db)");
    EXPECT_EQ(lines[34], "Code (m msl)  (C)   (TvC)    (TvC)");

    lines = headerLines(3);
    EXPECT_EQ(lines.size(), 33u);
    EXPECT_EQ(lines.back(), "HHMM    NNN         N");
}

TEST_F(ConsensusFileTest, WholeDayFilesWithTheirBlocks) {
    WindDay winds;
    winds.header = header;
    WindPeriod period;
    std::copy_n("0030", 5, period.key);
    period.gates.resize(2);
    period.gates[0].height = 1201.42L;
    period.gates[1] = {8, 1303.5L, -950.0f, -950, 1.5f, -2.25f, 0.1f, 1, 0, 0, -5, -8, -9};
    winds.periods = {period, period};
    const std::string gates = formatWindGateLine(period.gates[0]) +
                              formatWindGateLine(period.gates[1]);
    EXPECT_EQ(windFileText(winds, created()), consensusHeaderText(header, 1, created()) +
                                                  "0030      2         0\n" + gates +
                                                  "0030      2         0\n" + gates);

    TemperatureDay temperature;
    temperature.header = header;
    temperature.header.fileKind = OutputKind::Temperature;
    TemperaturePeriod block;
    std::copy_n("2330", 5, block.key);
    block.gates.push_back({0, 1150.4, 24.66f, -950.0f, 3, -4});
    temperature.periods = {block};
    const std::string head1 = consensusHeaderText(temperature.header, 1, created());
    const std::string head2 = consensusHeaderText(temperature.header, 2, created());
    EXPECT_EQ(temperatureFileText(temperature, 1, created()),
              head1 + "2330      1         0\n 0   1150     24.7     3    -4\n");
    EXPECT_EQ(temperatureFileText(temperature, 2, created()),
              head2 + "2330      1         0\n 0   1150   -950.0     3    -4\n");
}

TEST_F(ConsensusFileTest, SinkWritesEveryFileWholeAndReplacesAnOldOne) {
    const std::string old = (dir / "abc04033.w1a").string();
    {
        std::ofstream out(old);
        out << "old contents that are longer than nothing\n";
    }
    DayProducts products;
    products.winds.resize(2);
    products.winds[0].header = header;
    products.winds[1].header = header;
    products.winds[1].header.variant = 2;
    products.temperature.resize(1);
    products.temperature[0].header = header;
    products.temperature[0].header.fileKind = OutputKind::Temperature;
    FileReport report;
    writeConsensusFiles(products, dir.string(), created(), report);

    const std::vector<std::string> names = {"abc04033.w1a", "abc04033.w2a", "abc04033.t1a",
                                            "abc04033.t2a"};
    ASSERT_EQ(report.written.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(report.written[i], (dir / names[i]).string());
    }
    EXPECT_TRUE(report.unwritten.empty());
    EXPECT_EQ(readFile(old), windFileText(products.winds[0], created()));
    std::vector<std::string> present;
    for (const auto& entry : fs::directory_iterator(dir)) {
        present.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(present.size(), names.size());  // no temporary file left
}

TEST_F(ConsensusFileTest, UnwritableFolderIsReported) {
    DayProducts products;
    products.winds.resize(1);
    products.winds[0].header = header;
    FileReport report;
    const std::string folder = (dir / "missing" / "folder").string();
    writeConsensusFiles(products, folder, created(), report);
    const std::string path = folder + "/abc04033.w1a";
    EXPECT_TRUE(report.written.empty());
    ASSERT_EQ(report.unwritten.size(), 1u);
    EXPECT_EQ(report.unwritten[0].path, path);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(ConsensusFileLines, PeriodLine) {
    EXPECT_EQ(formatPeriodLine("0130", 12), "0130     12         0\n");
    EXPECT_EQ(formatPeriodLine("0000", 0), "0000      0         0\n");
    EXPECT_EQ(formatPeriodLine("2330", 100), "2330    100         0\n");
}

TEST(ConsensusFileLines, WindGateLines) {
    struct Case {
        WindGate values;
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
