// The consensus data file reader: files of the batch tool read back to the
// printed values, hand-made files of other writers, and damaged files.
#include "output/consensus_file_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "output/consensus_file.h"
#include "output_test_support.h"

namespace qv::test {
namespace {

// A wind header as the format defines it, with the parts other writers
// change given by the caller.
std::string windHeader(const std::string& station, const std::string& date, int julian,
                       const std::string& fileName) {
    char dateLine[200], nameLine[200];
    std::snprintf(dateLine, sizeof dateLine,
                  "Date:               %s            Julian Day:        %03d\n", date.c_str(),
                  julian);
    std::snprintf(nameLine, sizeof nameLine, "Filename:           %12s        Validation Level:  0\n",
                  fileName.c_str());
    return std::string(
               "CDF Type:  Wind            Program:  OTHER Profiler Suite    Version:  2.0\n"
               "Other Suite Winds (RWP)\n\n\n") +
           "Station:            " + station + "\n" + dateLine + nameLine +
           "Created by:         OTHER        2.0    Created on:        01/02/05  1200\n"
           "Elev. (m msl):       250                Elev. (ft msl):      820\n"
           "Lat (dec deg):      -12.50              Long (dec deg):     130.90\n"
           "UTMN (km):           0                  UTME (km):          0     \n"
           "Time Zone:          UTC                 Diff. to UTC (hr): 0\n"
           "User Req. Samples:                      Mode Title:                \n\n\n"
           "Avg. Int. (min):    60                  Time Convention:   Begin\n"
           "Pulse Len. (m):      210                Spacing (m):       200\n"
           "Max. Samples:        40  40  40         Req. Samples:       24  24  24\n"
           "Ant. Azimuth (deg):  45 135   0         Ant. Elev. (deg):  75.0 75.0 90.0\n\n\n"
           "QC Code Definition:    0=Valid,   8=Invalid\n\n\n"
           "Time    # of Gates  Radar Parameter Changes\n"
           "HHMM    NNN         N\n"
           "QC   Height    WS     WD      u       v       w    No. in Cns      SNR (db)\n"
           "Code (m msl) (m/s)  (deg)   (m/s)   (m/s)   (m/s)   u   v   w    u    v    w\n";
}

WindGate gate(int qc, long double height, float speed, int direction, float u, float v, float w,
              std::uint32_t count = 20, int snr = 10) {
    WindGate g;
    g.qcCode = static_cast<std::int16_t>(qc);
    g.height = height;
    g.speed = speed;
    g.direction = direction;
    g.u = u;
    g.v = v;
    g.w = w;
    g.countU = g.countV = g.countW = count;
    g.snrU = g.snrV = g.snrW = snr;
    return g;
}

std::string withCrLf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

class ConsensusFileReader : public TempFolderTest {};

TEST_F(ConsensusFileReader, BatchWindFilesReadBackToEveryPrintedLine) {
    const auto files = batchFiles(dir_ / "w", "winds");
    ASSERT_EQ(files.size(), 2u);
    for (const fs::path& file : files) {
        const ConsensusFileRead read = readConsensusFile(file.string());
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.contents.kind, OutputKind::Winds);
        const std::vector<std::string> want = blockLines(readFile(file));
        ASSERT_GT(want.size(), 20u);
        EXPECT_EQ(reprinted(read.contents), want) << file;

        const DayHeader& h = read.contents.winds.header;
        EXPECT_EQ(h.fileKind, OutputKind::Winds);
        EXPECT_EQ(h.stationName, "QVS");
        EXPECT_EQ(h.outputKindText, "Winds");
        EXPECT_EQ(h.dataSourceText, "QAV");
        EXPECT_EQ(h.variant, 1);
        EXPECT_EQ(h.day.year, 2004);
        EXPECT_EQ(h.day.month, 6);
        EXPECT_EQ(h.siteElevation, 1611);
        EXPECT_EQ(h.latitudeCenti, 4001);
        EXPECT_EQ(h.longitudeCenti, -10525);
        EXPECT_EQ(h.averagingMinutes, 30);
        EXPECT_EQ(h.pulseWidth, 700);
        EXPECT_EQ(h.gateSpacing, 105.0f);
        ASSERT_EQ(h.beams.size(), 5u);
        EXPECT_EQ(h.beams[1].azimuth, 90);
        EXPECT_EQ(h.beams[2].elevation, 90.0f);
        EXPECT_EQ(h.beams[0].sampleCount, 10);
        EXPECT_EQ(h.beams[0].consensusPercent, 50);  // the run's threshold
        EXPECT_EQ(h.beams[0].consensusWindow, 0.0f);  // not in the file
    }
}

TEST_F(ConsensusFileReader, BatchTemperatureFilesReadBackToEveryPrintedLine) {
    const auto files = batchFiles(dir_ / "t", "temperature");
    ASSERT_EQ(files.size(), 4u);
    for (const fs::path& file : files) {
        const ConsensusFileRead read = readConsensusFile(file.string());
        ASSERT_TRUE(read.ok) << read.error;
        const int digit = file.extension() == ".t1a" ? 1 : 2;
        EXPECT_EQ(read.contents.temperatureDigit, digit);
        EXPECT_EQ(reprinted(read.contents), blockLines(readFile(file))) << file;
        const TemperatureGate& g = read.contents.temperature.periods.at(0).gates.at(0);
        EXPECT_EQ(digit == 1 ? g.tvc : g.tv, kMissingCode);
        ASSERT_EQ(read.contents.temperature.header.beams.size(), 1u);
    }
}

TEST_F(ConsensusFileReader, OtherWriterWithWideValuesMissingPeriodsAndCrLf) {
    // Values wider than their fields, touching their neighbours: a speed of
    // nine digits, "1234-950" style counts and SNRs, "-950." directions,
    // "294.12345.67" (direction touching a u of eight characters).
    const std::vector<WindGate> gates = {
        gate(0, 300, 4.6f, 294, 12345.67f, -1.91f, -0.02f),
        [] {
            WindGate g = gate(8, 500, -950.0f, -950, 3.2f, -99999.99f, 0.5f, 20, -950);
            g.countU = 12345;
            g.snrU = -99999;  // touches the w count: "  20-99999"
            return g;
        }(),
        gate(0, 12345678, 4.6f, 359, 0.0f, -0.0f, 1.0f, 9999, -99),
        gate(0, 1761, 1234567.9f, 0, 0.0f, 0.0f, 0.0f),  // "   17611234567.9"
        gate(8, 900, -980.0f, -980, 1.0f, 1.0f, 1.0f, 0, -99),
    };
    std::string body;
    for (const char* key : {"0000", "0100", "0300"}) {  // 0200 is missing
        body += periodLine(key, gates.size()) + "\n";
        for (const WindGate& g : gates) body += windLine(g) + "\n";
    }
    body += periodLine("0400", 0) + "\n";  // a period without gates
    const std::string text = windHeader("Darwin RWP", "01/02/05", 2, "Dar05002.w3a") + body;

    for (const std::string& variant : {text, withCrLf(text)}) {
        const ConsensusFileRead read = parseConsensusFile(variant, "other.w3a");
        ASSERT_TRUE(read.ok) << read.error;
        const WindDay& day = read.contents.winds;
        EXPECT_EQ(day.header.stationName, "Darwin RWP");
        EXPECT_EQ(day.header.variant, 3);
        EXPECT_EQ(day.header.day.year, 2005);
        EXPECT_EQ(day.header.latitudeCenti, -1250);
        EXPECT_EQ(day.header.longitudeCenti, 13090);
        EXPECT_EQ(day.header.averagingMinutes, 60);
        EXPECT_EQ(day.header.pulseWidth, 1400);
        EXPECT_EQ(day.header.beams.size(), 3u);
        // 24 of 40: 60 to 62 percent print so; the largest is kept.
        EXPECT_EQ(day.header.beams[0].consensusPercent, 62);
        ASSERT_EQ(day.periods.size(), 4u);
        EXPECT_STREQ(day.periods[2].key, "0300");
        EXPECT_TRUE(day.periods[3].gates.empty());
        EXPECT_EQ(day.periods[0].gates[0].u, 12345.67f);
        EXPECT_EQ(day.periods[0].gates[1].countU, 12345u);
        EXPECT_EQ(day.periods[0].gates[1].snrU, -99999);
        EXPECT_EQ(day.periods[0].gates[1].snrV, -950);
        EXPECT_EQ(day.periods[0].gates[2].height, 12345678.0L);
        EXPECT_EQ(day.periods[0].gates[3].speed, 1234567.9f);
        EXPECT_EQ(reprinted(read.contents), lines(body));
    }
}

TEST_F(ConsensusFileReader, OtherFieldWidthsAreReadByTheirNumbers) {
    const std::string text = windHeader("ABC", "06/15/04", 167, "ABC04167.w1a") +
                             "1200 2 0\n"
                             "0 1761 4.6 294. 4.14 -1.91 -0.02 18 20 10 20 20 22\n"
                             "   8     1857   -950.0    -950.   1.25    2.50   -0.10   3   4   5"
                             "    1    2    3\n";
    const ConsensusFileRead read = parseConsensusFile(text, "ABC04167.w1a");
    ASSERT_TRUE(read.ok) << read.error;
    const auto& g = read.contents.winds.periods.at(0).gates;
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].direction, 294);
    EXPECT_EQ(g[0].snrW, 22);
    EXPECT_EQ(g[1].qcCode, 8);
    EXPECT_EQ(g[1].speed, -950.0f);
    EXPECT_EQ(g[1].v, 2.5f);
    EXPECT_EQ(g[1].countW, 5u);
}

TEST_F(ConsensusFileReader, ModeDigitFromTheFileNameWhenTheHeaderHasNone) {
    std::string text = windHeader("ABC", "06/15/04", 167, "");
    text += "1200      0         0\n";
    const ConsensusFileRead named = parseConsensusFile(text, "/data/ABC04167.w2a");
    ASSERT_TRUE(named.ok) << named.error;
    EXPECT_EQ(named.contents.winds.header.variant, 2);
    const ConsensusFileRead unnamed = parseConsensusFile(text, "winds.txt");
    EXPECT_FALSE(unnamed.ok);
    EXPECT_NE(unnamed.error.find("winds.txt, line "), std::string::npos) << unnamed.error;
    EXPECT_NE(unnamed.error.find("mode digit"), std::string::npos) << unnamed.error;
}

// Message of a damaged text, which must name the file and the line.
std::string failure(const std::string& text, std::size_t line) {
    const ConsensusFileRead read = parseConsensusFile(text, "damaged.w1a");
    EXPECT_FALSE(read.ok);
    const std::string prefix = "damaged.w1a, line " + std::to_string(line) + ": ";
    EXPECT_EQ(read.error.rfind(prefix, 0), 0u) << read.error;
    return read.error;
}

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(ConsensusFileReader, DamagedLinesAreNamedByLineAndField) {
    const std::string head = windHeader("ABC", "06/15/04", 167, "ABC04167.w1a");
    const std::size_t first = lineCount(head) + 1;
    const std::string good = windLine(gate(0, 1761, 4.6f, 294, 4.14f, -1.91f, -0.02f));
    auto file = [&](const std::string& gateLine) {
        return head + "1200      2         0\n" + good + "\n" + gateLine + "\n";
    };
    EXPECT_NE(failure(file(" 0   1857      4.6   29x.    4.27   -1.83    0.13  20  19   9   19   "
                           "19   21"),
                      first + 2)
                  .find("direction"),
              std::string::npos);
    EXPECT_NE(failure(file(" 0   1857      4.6   293.    4.27   -1.83"), first + 2)
                  .find("unreadable wind gate line"),
              std::string::npos);
    // A float beyond the float range, an integer beyond int32.
    EXPECT_NE(failure(file(" 0   1857 999999999999999999999999999999999999999999.9   293.    4.27"
                           "   -1.83    0.13  20  19   9   19   19   21"),
                      first + 2)
                  .find("speed"),
              std::string::npos);
    EXPECT_NE(failure(file(" 0   1857      4.6 99999999999.    4.27   -1.83    0.13  20  19   9"
                           "   19   19   21"),
                      first + 2)
                  .find("out of range"),
              std::string::npos);
    EXPECT_NE(failure(file(std::string(" 0   1857 \0    4.6   293.    4.27   -1.83    0.13  20  "
                                       "19   9   19   19   21",
                                       76)),
                      first + 2)
                  .find("unreadable"),
              std::string::npos);
    EXPECT_NE(failure(head + "1200     x2         0\n", first).find("period line"),
              std::string::npos);
    EXPECT_NE(failure(head + "2460      2         0\n", first).find("time of day"),
              std::string::npos);
    EXPECT_NE(failure(head + "1200      3         0\n" + good + "\n\n", first + 2).find("blank"),
              std::string::npos);
    EXPECT_NE(failure(head + "1200      3         0\n" + good + "\n", first + 2)
                  .find("ends before gate line 2 of 3 of period 1200"),
              std::string::npos);
}

TEST_F(ConsensusFileReader, DamagedHeadersAreNamedByLine) {
    const std::string head = windHeader("ABC", "06/15/04", 167, "ABC04167.w1a");
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = head;
        text.replace(text.find(from), from.size(), to);
        return text + "1200      0         0\n";
    };
    EXPECT_NE(failure(replaced("Julian Day:        167", "Julian Day:        168"), 6)
                  .find("Julian Day 168"),
              std::string::npos);
    EXPECT_NE(failure(replaced("06/15/04", "02/30/04"), 6).find("calendar date"),
              std::string::npos);
    EXPECT_NE(failure(replaced("Req. Samples:       24  24  24", "Req. Samples:       24  24"), 18)
                  .find("differ in length"),
              std::string::npos);
    EXPECT_NE(failure(replaced("Avg. Int. (min):    60", "Avg. Int. (min):    0 "), 16)
                  .find("averaging"),
              std::string::npos);
    EXPECT_NE(failure(replaced("Lat (dec deg):      -12.50", "Lat (dec deg):      -99.50"), 10)
                  .find("latitude"),
              std::string::npos);
    // No direction lists at all: the samples line is named.
    EXPECT_NE(failure(replaced("Ant. Azimuth (deg):  45 135   0         Ant. Elev. (deg):  75.0 "
                               "75.0 90.0\n",
                               ""),
                      18)
                  .find("0 azimuths"),
              std::string::npos);
    EXPECT_NE(failure("Station: x\n", 1).find("not a consensus data file"), std::string::npos);
    EXPECT_NE(failure("", 1).find("empty"), std::string::npos);
    const std::string cut = head.substr(0, head.find("HHMM"));
    EXPECT_NE(failure(cut, lineCount(cut) + 1).find("ends inside the header"), std::string::npos);
}

TEST_F(ConsensusFileReader, CutFilesFailWithTheLineOrReadWhatIsWhole) {
    const auto files = batchFiles(dir_ / "w", "winds");
    ASSERT_FALSE(files.empty());
    const std::string text = readFile(files[0]);
    const std::size_t headerEnd = text.find("Code (m msl)");
    for (int tenth = 0; tenth < 10; ++tenth) {
        const std::size_t at = text.size() * static_cast<std::size_t>(tenth) / 10;
        // Cut at the byte, and at the line end before it.
        const std::size_t lineEnd = text.rfind('\n', at);
        for (const std::size_t cutAt : {at, lineEnd == std::string::npos ? 0 : lineEnd + 1}) {
            const std::string cut = text.substr(0, cutAt);
            const ConsensusFileRead read = parseConsensusFile(cut, "cut.w1a");
            if (cutAt < headerEnd) {
                EXPECT_FALSE(read.ok) << "cut at " << cutAt;
            }
            if (!read.ok) {
                EXPECT_EQ(read.error.rfind("cut.w1a, line ", 0), 0u) << read.error;
                continue;
            }
            // A whole read of a cut file holds a prefix of the file's lines
            // (the last one possibly cut within its last number).
            const std::vector<std::string> got = reprinted(read.contents);
            const std::vector<std::string> want = blockLines(text);
            ASSERT_LE(got.size(), want.size());
            for (std::size_t i = 0; i + 1 < got.size(); ++i) EXPECT_EQ(got[i], want[i]);
        }
    }
}

TEST_F(ConsensusFileReader, FilesThatCannotBeReadAreNamed) {
    const ConsensusFileRead missing = readConsensusFile((dir_ / "nothing.w1a").string());
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("nothing.w1a: cannot be opened"), std::string::npos);
    const ConsensusFileRead folder = readConsensusFile(dir_.string());
    EXPECT_FALSE(folder.ok);
    EXPECT_EQ(folder.error.rfind(dir_.string(), 0), 0u) << folder.error;
}

// The hand-made wind header as a Tv/TvC file's (the heads still say "WS":
// the file name's digit tells Tv from TvC).
std::string temperatureHeader(const std::string& fileName) {
    std::string text = windHeader("ABC", "06/15/04", 167, fileName);
    return text.replace(text.find("Wind "), 5, "Temp ");
}

TEST_F(ConsensusFileReader, MegabyteLinesAreRefusedByTheirLine) {
    const std::string head = windHeader("ABC", "06/15/04", 167, "ABC04167.w1a");
    const std::size_t first = lineCount(head) + 1;
    const std::string good = windLine(gate(0, 1761, 4.6f, 294, 4.14f, -1.91f, -0.02f));
    const std::string digits(1 << 20, '7');
    std::string mixed;  // digits and blanks, ending in a long run of blanks
    while (mixed.size() < (1u << 19)) mixed += "7 77 ";
    mixed += std::string(1 << 19, ' ');
    auto asGate = [&](const std::string& line) {
        return head + "1200      2         0\n" + good + "\n" + line + "\n";
    };
    auto inHeader = [&](const std::string& from, const std::string& to) {
        std::string text = head;
        return text.replace(text.find(from), from.size(), to) + "1200      0         0\n";
    };
    const std::string samples = "Max. Samples:        40  40  40";
    const std::string elevations = "Ant. Elev. (deg):  75.0 75.0 90.0";
    const std::tuple<std::string, std::size_t, const char*> cases[] = {
        {asGate(digits), first + 2, "unreadable wind gate line"},
        {asGate(" 0" + digits), first + 2, "unreadable wind gate line"},
        {asGate(mixed), first + 2, "unreadable wind gate line"},
        {head + digits + "\n", first, "expected a period line"},
        {head + "1200 " + mixed + "\n", first, "expected a period line"},
        {inHeader(samples, "Max. Samples:  " + digits), 18, "the Max. Samples entries"},
        {inHeader(samples, "Max. Samples:  " + mixed), 18, "differ in length"},
        {inHeader(elevations, "Ant. Elev. (deg):  " + digits), 19, "the Ant. Elev. entries"},
    };
    for (const auto& [text, line, reason] : cases) {
        EXPECT_NE(failure(text, line).find(reason), std::string::npos) << reason;
    }
    // Column heads of any length are passed over.
    const std::string heads =
        "QC   Height    WS     WD      u       v       w    No. in Cns      SNR (db)";
    EXPECT_TRUE(parseConsensusFile(inHeader(heads, heads + mixed), "long.w1a").ok);
}

TEST_F(ConsensusFileReader, APeriodAppearsOnce) {
    const std::string windHead = windHeader("ABC", "06/15/04", 167, "ABC04167.w1a");
    const std::string wind = windLine(gate(0, 1761, 4.6f, 294, 4.14f, -1.91f, -0.02f));
    const std::string tv = temperatureLine(TemperatureGate{0, 1761.0, 21.5f, -999.0f, 10, 5}, 1);
    struct Case {
        std::string head, gateLine;
        std::vector<const char*> keys;
        std::size_t second, earlier;  // indexes of the repeated key
    };
    const Case cases[] = {
        {windHead, wind, {"0000", "0100", "0000"}, 2, 0},
        {windHead, wind, {"1200", "1200"}, 1, 0},
        {temperatureHeader("ABC04167.t1a"), tv, {"2300", "0000", "0100", "0000"}, 3, 1},
    };
    for (const Case& c : cases) {
        std::string text = c.head;
        for (const char* key : c.keys) text += periodLine(key, 1) + "\n" + c.gateLine + "\n";
        const std::size_t first = lineCount(c.head) + 1;  // a period takes two lines
        const std::string want = std::string("period ") + c.keys[c.second] +
                                 " appears twice (first at line " +
                                 std::to_string(first + 2 * c.earlier) + ")";
        EXPECT_NE(failure(text, first + 2 * c.second).find(want), std::string::npos) << want;
    }
}

std::string withStars(std::string line, std::size_t column, std::size_t width) {
    return line.replace(column, width, std::string(width, '*'));
}

TEST_F(ConsensusFileReader, FieldsOfStarsAreMissingValuesOfTheirGateOnly) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const WindGate g = gate(0, 1857, 4.6f, 293, 4.27f, -1.83f, 0.13f);
    const std::string line = windLine(g);
    auto with = [&](auto change) {
        WindGate out = g;
        change(out);
        return out;
    };
    const WindGate noHeight = gate(8, nan, -999.0f, -999, -999.0f, -999.0f, -999.0f, 0, -999);
    const std::pair<std::string, WindGate> winds[] = {
        {withStars(line, 0, 2), with([](WindGate& w) { w.qcCode = 8; })},
        {withStars(line, 2, 7), noHeight},
        {line.substr(0, 2) + "    nan" + line.substr(9), noHeight},
        {withStars(line, 9, 9), with([](WindGate& w) { w.speed = -999.0f; })},
        {withStars(line, 18, 6), with([](WindGate& w) { w.direction = -999; })},
        {withStars(line, 18, 7), with([](WindGate& w) { w.direction = -999; })},
        {withStars(line, 25, 16), with([](WindGate& w) { w.u = w.v = -999.0f; })},
        {withStars(line, 41, 8), with([](WindGate& w) { w.w = -999.0f; })},
        {withStars(line, 49, 12), with([](WindGate& w) { w.countU = w.countV = w.countW = 0; })},
        {withStars(line, 71, 5), with([](WindGate& w) { w.snrW = -999; })},
        // Other field widths, read loosely.
        {"0 1857 4.6 ***. 4.27 -1.83 0.13 20 ** 20 10 10 10",
         with([](WindGate& w) { w.direction = -999, w.countV = 0; })},
        {"0 ***** 4.6 293. 4.27 -1.83 0.13 20 20 20 10 10 10", noHeight},
    };
    const std::string windHead = windHeader("ABC", "06/15/04", 167, "ABC04167.w1a");
    for (const auto& [text, want] : winds) {
        const ConsensusFileRead read =
            parseConsensusFile(windHead + "1200      1         0\n" + text + "\n", "s.w1a");
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(windLine(read.contents.winds.periods.at(0).gates.at(0)), windLine(want)) << text;
    }

    const std::string tLine = temperatureLine(TemperatureGate{0, 1857.0, 21.5f, -999.0f, 12, 7}, 1);
    const std::pair<std::string, TemperatureGate> temperatures[] = {
        {withStars(tLine, 2, 7), TemperatureGate{8, nan, -999.0f, -999.0f, 0, -999}},
        {withStars(tLine, 9, 9), TemperatureGate{0, 1857.0, -999.0f, -999.0f, 12, 7}},
        {withStars(tLine, 18, 12), TemperatureGate{0, 1857.0, 21.5f, -999.0f, 0, -999}},
    };
    const std::string tvHead = temperatureHeader("ABC04167.t1a");
    for (const auto& [text, want] : temperatures) {
        const ConsensusFileRead read =
            parseConsensusFile(tvHead + "1200      1         0\n" + text + "\n", "s.t1a");
        ASSERT_TRUE(read.ok) << read.error;
        const TemperatureGate& got = read.contents.temperature.periods.at(0).gates.at(0);
        EXPECT_EQ(temperatureLine(got, 1), temperatureLine(want, 1)) << text;
        EXPECT_EQ(got.tvc, -999.0f);
    }
}

TEST_F(ConsensusFileReader, OnlyRegularFilesAreOpened) {
    const fs::path fifo = dir_ / "fifo.w1a";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path folder = dir_ / "folder.w1a";
    fs::create_directories(folder);
    // A FIFO without a writer would block an open that waits for one.
    for (const fs::path& path : {fifo, folder, fs::path("/dev/null")}) {
        for (const auto reader : {&readConsensusFile, &readConsensusFileHeader}) {
            const ConsensusFileRead read = reader(path.string());
            EXPECT_FALSE(read.ok);
            EXPECT_EQ(read.error, path.string() + ": not a regular file");
        }
    }
}

TEST_F(ConsensusFileReader, HeaderReadGivesTheHeaderOfTheWholeRead) {
    std::vector<fs::path> files = batchFiles(dir_ / "w", "winds");
    for (const fs::path& file : batchFiles(dir_ / "t", "temperature")) files.push_back(file);
    // A Tv file by its column heads (its name says TvC) with the heads line
    // across the end of the first 64 KiB.
    std::string text = temperatureHeader("ABC04167.t2a");
    const std::size_t headsAt = text.find("QC   Height");
    text.replace(headsAt, text.find('\n', headsAt) - headsAt, "QC   Height    Tv     Cns   SNR");
    text.insert(text.find("Time    # of Gates"),
                "Remark: " + std::string(65536 - 10 - headsAt - 9, '-') + "\n");
    ASSERT_EQ(text.find("QC   Height    Tv"), 65536u - 10);
    writeFile(dir_ / "ABC04167.t2a", text + "1200      0         0\n");
    files.push_back(dir_ / "ABC04167.t2a");

    for (const fs::path& file : files) {
        const ConsensusFileRead whole = readConsensusFile(file.string());
        const ConsensusFileRead head = readConsensusFileHeader(file.string());
        ASSERT_TRUE(whole.ok && head.ok) << whole.error << head.error;
        const ConsensusFileContents& a = whole.contents;
        const ConsensusFileContents& b = head.contents;
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.temperatureDigit, b.temperatureDigit);
        const bool winds = a.kind == OutputKind::Winds;
        const DayHeader& ha = winds ? a.winds.header : a.temperature.header;
        const DayHeader& hb = winds ? b.winds.header : b.temperature.header;
        EXPECT_EQ(ha.variant, hb.variant);
        EXPECT_EQ(consensusHeaderText(ha, ha.variant, clock2026()),
                  consensusHeaderText(hb, hb.variant, clock2026()));
        EXPECT_TRUE(b.winds.periods.empty() && b.temperature.periods.empty());
    }
    EXPECT_EQ(readConsensusFile((dir_ / "ABC04167.t2a").string()).contents.temperatureDigit, 1);
}

}  // namespace
}  // namespace qv::test
