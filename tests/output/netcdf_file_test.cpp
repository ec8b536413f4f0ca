// netCDF day files: names, values equal to the consensus file's printed
// values, data codes and masked QC 8 gates, and reading a day back.
#include "output/netcdf_file.h"

#include <gtest/gtest.h>

#include <netcdf.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "output/netcdf_api.h"
#include "output_test_support.h"

namespace qv::test {
namespace {

DayHeader header(OutputKind kind) {
    DayHeader h;
    h.fileKind = kind;
    h.stationName = "QVSITE";
    h.day.year = 2004;
    h.day.month = 6;
    h.day.day = 15;
    h.averagingMinutes = 30;
    h.latitudeCenti = 4001;
    h.longitudeCenti = -10525;
    h.siteElevation = 1611;
    h.variant = 2;
    h.dataSourceText = "QAV";
    h.verticalPolicy = VerticalPolicy::WhenAvailable;
    HeaderBeam beam;
    beam.azimuth = 90;
    beam.elevation = 66.4f;
    beam.sampleCount = 10;
    beam.consensusPercent = 50;
    beam.consensusWindow = 2.0f;
    h.beams = {beam, beam};
    return h;
}

WindGate windGate(int qc, float speed, int direction, float u) {
    WindGate g;
    g.qcCode = static_cast<std::int16_t>(qc);
    g.height = 1761.4999L;
    g.speed = speed;
    g.direction = direction;
    g.u = u;
    g.v = -1.005f;
    g.w = 0.125f;
    g.countU = 18;
    g.countV = 20;
    g.countW = 10;
    g.snrU = 20;
    g.snrV = -99;
    g.snrW = 22;
    return g;
}

WindPeriod windPeriod(const char* key, std::vector<WindGate> gates) {
    WindPeriod p;
    std::memcpy(p.key, key, 5);
    p.gates = std::move(gates);
    return p;
}

template <typename T>
std::vector<T> variable(const std::string& path, const char* name, std::size_t count) {
    nc::File f;
    EXPECT_TRUE(f.open(path)) << f.error();
    std::vector<T> out;
    const int id = f.findVariable(name);
    EXPECT_GE(id, 0) << name;
    EXPECT_TRUE(id >= 0 && f.read(id, count, out)) << f.error();
    return out;
}

class NetcdfFile : public TempFolderTest {
protected:
    NetcdfContext context{"2026-01-01T00:00:00Z test", "9.9"};
};

TEST_F(NetcdfFile, NamesTakeThreeSafeCharactersOfTheStation) {
    WindDay w;
    w.header = header(OutputKind::Winds);
    EXPECT_EQ(windNetcdfName(w), "QVS_20040615_winds_m2.nc");
    w.header.stationName = "a/.b";
    // The consensus file name's station part: '/' made '_', a '.' not leading kept.
    EXPECT_EQ(windNetcdfName(w), "a_._20040615_winds_m2.nc");
    TemperatureDay t;
    t.header = header(OutputKind::Temperature);
    t.header.stationName = "";
    EXPECT_EQ(temperatureNetcdfName(t), "_20040615_temperature.nc");
}

// ACT and xarray plot against a 1-D height(gate): each gate's height in
// most of the day's periods (the earliest on a tie), above the station
// (1611 m); a day whose heights change says so, and altitude keeps every
// period's own. A missing gate of a shorter period is no change.
TEST_F(NetcdfFile, HeightOfEachGateIsItsMostCommonHeightAboveTheStation) {
    const struct {
        std::vector<std::vector<long double>> periods;  // gate heights, m msl, in time order
        std::vector<float> height;
        bool changed;
    } cases[] = {
        {{{1761, 1857}, {1761, 1857}}, {150, 246}, false},
        {{{1761}, {1761, 1857}}, {150, 246}, false},
        {{{1800, 1900}, {1761, 1857}, {1761, 1857, 1953}}, {150, 246, 342}, true},
        {{{1800, 1900}, {1761, 1857}}, {189, 289}, true},
        {{{1800, 1857}, {1761, 1857}, {1761, 1900}}, {150, 246}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "first height " << c.height[0] << ", changed "
                                        << c.changed);
        WindDay day;
        day.header = header(OutputKind::Winds);
        for (std::size_t t = 0; t < c.periods.size(); ++t) {
            const std::string key = "00" + std::to_string(10 + 10 * t);
            day.periods.push_back(windPeriod(key.c_str(), {}));
            for (const long double h : c.periods[t]) {
                WindGate g = windGate(0, 1.0f, 10, 1.0f);
                g.height = h;
                day.periods.back().gates.push_back(g);
            }
        }
        const std::string path = (dir_ / windNetcdfName(day)).string();
        std::string error;
        ASSERT_TRUE(writeWindNetcdf(day, context, path, error)) << error;
        EXPECT_EQ(variable<float>(path, "height", c.height.size()), c.height);
        nc::File f;
        ASSERT_TRUE(f.open(path)) << f.error();
        std::string comment, datastream;
        EXPECT_TRUE(f.getText(f.findVariable("height"), "comment", comment));
        EXPECT_EQ(comment.find("changed") != std::string::npos, c.changed) << comment;
        EXPECT_TRUE(f.getText(nc::kGlobal, "datastream", datastream));
        EXPECT_EQ(datastream, "qvs.winds_m2");
    }
}

TEST_F(NetcdfFile, WindValuesArePrintedValuesWithCodesAndMaskedFailures) {
    WindDay day;
    day.header = header(OutputKind::Winds);
    // Out of time order, and of different lengths.
    day.periods = {
        windPeriod("0130", {windGate(0, 4.65f, 294, 4.145f)}),
        windPeriod("0100", {windGate(0, 0.05f, 359, -0.005f), windGate(8, -950.0f, -950, 3.21f),
                            windGate(8, -980.0f, -980, 1.0f)}),
    };
    const std::string path = (dir_ / windNetcdfName(day)).string();
    std::string error;
    ASSERT_TRUE(writeWindNetcdf(day, context, path, error)) << error;
    // The file is made in memory and written whole: without the memory
    // file's slack (it grows in 64 KiB steps), and still a whole file.
    EXPECT_NE(fs::file_size(path) % 4096u, 0u) << fs::file_size(path);

    const auto time = variable<double>(path, "time", 2);
    EXPECT_EQ(time[0], 1087257600.0 + 3600.0);  // 2004-06-15 01:00 UTC
    EXPECT_EQ(time[1], 1087257600.0 + 5400.0);
    const auto bounds = variable<double>(path, "time_bnds", 4);
    EXPECT_EQ(bounds[1] - bounds[0], 1800.0);

    // Cells (time, gate): 0100 has 3 gates, 0130 one.
    const auto speed = variable<float>(path, "wind_speed", 6);
    const auto speedStatus = variable<std::int16_t>(path, "qc_wind_speed", 6);
    char printed[32];
    std::snprintf(printed, sizeof printed, "%.1f", 0.05f);
    EXPECT_EQ(speed[0], std::strtof(printed, nullptr));
    EXPECT_TRUE(std::isnan(speed[1]));
    EXPECT_EQ(speedStatus[1], -950);
    EXPECT_EQ(speedStatus[2], -980);
    std::snprintf(printed, sizeof printed, "%.1f", 4.65f);
    EXPECT_EQ(speed[3], std::strtof(printed, nullptr));
    EXPECT_TRUE(std::isnan(speed[4]));
    EXPECT_EQ(speedStatus[4], -999);  // no such gate in that period

    const auto u = variable<float>(path, "eastward_wind", 6);
    const auto uStatus = variable<std::int16_t>(path, "qc_eastward_wind", 6);
    // -0.005f lies just above -0.005: printed "-0.00", read back as -0.
    EXPECT_EQ(u[0], 0.0f);
    EXPECT_TRUE(std::signbit(u[0]));
    EXPECT_TRUE(std::isnan(u[1]));  // a number on a QC 8 line, masked
    EXPECT_EQ(uStatus[1], -950);
    EXPECT_EQ(uStatus[0], 0);
    const auto altitude = variable<float>(path, "altitude", 6);
    EXPECT_EQ(altitude[0], 1761.0f);
    EXPECT_TRUE(std::isnan(altitude[5]));
    const auto qc = variable<std::int8_t>(path, "qc_wind", 6);
    EXPECT_EQ(qc[1], 8);
    EXPECT_EQ(qc[4], -127);
    const auto snr = variable<float>(path, "snr_v", 6);
    EXPECT_EQ(snr[0], -99.0f);
    const auto count = variable<std::int32_t>(path, "n_samples_w", 6);
    EXPECT_EQ(count[0], 10);
    EXPECT_EQ(count[5], -1);

    ConsensusFileContents back;
    ASSERT_TRUE(readNetcdfDay(path, back, error)) << error;
    ASSERT_EQ(back.kind, OutputKind::Winds);
    const WindDay& read = back.winds;
    EXPECT_EQ(read.header.stationName, "QVSITE");
    EXPECT_EQ(read.header.variant, 2);
    EXPECT_EQ(read.header.verticalPolicy, VerticalPolicy::WhenAvailable);
    ASSERT_EQ(read.header.beams.size(), 2u);
    EXPECT_EQ(read.header.beams[0].consensusWindow, 2.0f);
    ASSERT_EQ(read.periods.size(), 2u);
    EXPECT_STREQ(read.periods[0].key, "0100");
    ASSERT_EQ(read.periods[0].gates.size(), 3u);
    ASSERT_EQ(read.periods[1].gates.size(), 1u);
    EXPECT_EQ(windLine(read.periods[1].gates[0]), windLine(day.periods[0].gates[0]));
    EXPECT_EQ(read.periods[0].gates[1].u, -950.0f);
    EXPECT_EQ(read.periods[0].gates[2].speed, -980.0f);
}

TEST_F(NetcdfFile, TemperatureInKelvinFromThePrintedCelsius) {
    TemperatureDay day;
    day.header = header(OutputKind::Temperature);
    TemperaturePeriod p;
    std::memcpy(p.key, "2100", 5);
    TemperatureGate g;
    g.qcCode = 0;
    g.height = 1761.0;
    g.tv = 21.649f;
    g.tvc = kMissingCode;
    g.count = 10;
    g.snr = 16;
    p.gates = {g};
    g.qcCode = 8;
    g.tv = -950.0f;
    g.tvc = 20.0f;
    p.gates.push_back(g);
    day.periods = {p};
    const std::string path = (dir_ / temperatureNetcdfName(day)).string();
    std::string error;
    ASSERT_TRUE(writeTemperatureNetcdf(day, context, path, error)) << error;
    const auto tv = variable<float>(path, "virtual_temperature", 2);
    EXPECT_EQ(tv[0], static_cast<float>(21.6 + 273.15));
    EXPECT_TRUE(std::isnan(tv[1]));
    const auto tvc = variable<float>(path, "virtual_temperature_corrected", 2);
    const auto tvcStatus = variable<std::int16_t>(path, "qc_virtual_temperature_corrected", 2);
    EXPECT_EQ(tvcStatus[0], -999);
    EXPECT_TRUE(std::isnan(tvc[1]));
    EXPECT_EQ(tvcStatus[1], -950);  // QC 8: masked

    ConsensusFileContents back;
    ASSERT_TRUE(readNetcdfDay(path, back, error)) << error;
    ASSERT_EQ(back.kind, OutputKind::Temperature);
    EXPECT_EQ(back.temperatureDigit, 0);
    const TemperatureGate& r = back.temperature.periods.at(0).gates.at(0);
    EXPECT_EQ(r.tv, 21.6f);
    EXPECT_EQ(r.tvc, kMissingCode);
    EXPECT_EQ(back.temperature.periods[0].gates[1].tvc, -950.0f);
}

TEST_F(NetcdfFile, BatchDaysKeepEveryPrintedValueButMaskedOnes) {
    for (const char* kind : {"winds", "temperature"}) {
        for (const fs::path& file : batchFiles(dir_ / kind, kind)) {
            const ConsensusFileRead read = readConsensusFile(file.string());
            ASSERT_TRUE(read.ok) << read.error;
            ConsensusFileContents expected = read.contents;
            const std::string path = (dir_ / (file.filename().string() + ".nc")).string();
            std::string error;
            const bool winds = expected.kind == OutputKind::Winds;
            ASSERT_TRUE(winds ? writeWindNetcdf(expected.winds, context, path, error)
                              : writeTemperatureNetcdf(expected.temperature, context, path, error))
                << error;
            ConsensusFileContents back;
            ASSERT_TRUE(readNetcdfDay(path, back, error)) << error;
            // What the netCDF file must give: the printed lines, with the
            // values of QC 8 gates as the code -950.
            for (auto& p : expected.winds.periods) {
                for (auto& g : p.gates) {
                    if (g.qcCode == 8) g.u = g.v = g.w = -950.0f;
                }
            }
            back.temperatureDigit = expected.temperatureDigit;
            const auto got = reprinted(back);
            EXPECT_EQ(got, reprinted(expected)) << file;
            EXPECT_EQ(winds ? back.winds.header.beams.size()
                            : back.temperature.header.beams.size(),
                      winds ? expected.winds.header.beams.size() : 1u);
        }
    }
}

TEST_F(NetcdfFile, FailuresNameTheFileAndLeaveNothing) {
    WindDay day;
    day.header = header(OutputKind::Winds);
    std::string error;
    const std::string path = (dir_ / "empty.nc").string();
    EXPECT_FALSE(writeWindNetcdf(day, context, path, error));
    EXPECT_NE(error.find("empty.nc: the day has no averaging period"), std::string::npos) << error;
    day.periods = {windPeriod("0100", {windGate(0, 1.0f, 10, 1.0f)})};
    const std::string missing = (dir_ / "no-such-folder" / "x.nc").string();
    EXPECT_FALSE(writeWindNetcdf(day, context, missing, error));
    EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
    EXPECT_TRUE(listFolder(dir_).empty());

    writeFile(dir_ / "text.nc", "CDF Type: not netCDF\n");
    ConsensusFileContents back;
    EXPECT_FALSE(readNetcdfDay((dir_ / "text.nc").string(), back, error));
    EXPECT_EQ(error.rfind((dir_ / "text.nc").string() + ": ", 0), 0u) << error;
}

// A written file can be opened for writing (to add an attribute later),
// and nothing is left in the temporary folder its bytes passed through;
// without a usable temporary folder the write fails and says so.
TEST_F(NetcdfFile, FilesOpenForWritingAndLeaveNoTemporaryFile) {
    WindDay day;
    day.header = header(OutputKind::Winds);
    day.periods = {windPeriod("0100", {windGate(0, 1.0f, 10, 1.0f)})};
    const std::filesystem::path scratch = dir_ / "tmp";
    std::filesystem::create_directory(scratch);
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved ? saved : "";
    std::string error;
    const std::string path = (dir_ / "day.nc").string();
    setenv("TMPDIR", scratch.c_str(), 1);
    EXPECT_TRUE(writeWindNetcdf(day, context, path, error)) << error;
    EXPECT_TRUE(listFolder(scratch).empty());
    int id = -1;
    ASSERT_EQ(nc_open(path.c_str(), NC_WRITE, &id), NC_NOERR);
    EXPECT_EQ(nc_redef(id), NC_NOERR);
    EXPECT_EQ(nc_put_att_text(id, NC_GLOBAL, "comment", 2, "ok"), NC_NOERR);
    EXPECT_EQ(nc_close(id), NC_NOERR);

    setenv("TMPDIR", (dir_ / "no-such-folder").c_str(), 1);
    EXPECT_FALSE(writeWindNetcdf(day, context, (dir_ / "other.nc").string(), error));
    EXPECT_NE(error.find("no temporary file"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "other.nc"));
    saved ? setenv("TMPDIR", savedValue.c_str(), 1) : unsetenv("TMPDIR");
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// The wind solution and the quality control a day went through travel
// with its netCDF file and with its consensus file's title line.
TEST(NetcdfSolution, CorrectedWindsAndContinuityAreAttributes) {
    const fs::path dir = fs::temp_directory_path() /
                         ("qv-netcdf-solution-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    for (const bool options : {false, true}) {
        SCOPED_TRACE(options);
        const fs::path out = dir / (options ? "on" : "off");
        fs::create_directories(out);
        std::vector<std::string> args = sampleArgs(out.string(), "winds") +
                                        std::vector<std::string>{"--window", "2", "--threshold",
                                                                 "50", "--quiet", "--netcdf"};
        if (options) args = args + std::vector<std::string>{"--corrected-winds", "--continuity"};
        const BatchRun run = runTool(args);
        ASSERT_EQ(run.status, 0) << run.err;
        ConsensusFileContents back;
        std::string error;
        ASSERT_TRUE(readNetcdfDay((out / "QVS_20040615_winds_m1.nc").string(), back, error))
            << error;
        EXPECT_EQ(back.winds.header.correctedWinds, options);
        EXPECT_EQ(back.winds.header.continuityChecked, options);
        const ConsensusFileRead file = readConsensusFile((out / "QVS04167.w1a").string());
        ASSERT_TRUE(file.ok) << file.error;
        EXPECT_EQ(file.contents.winds.header.correctedWinds, options);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace qv::test

#include <random>

#include "output/netcdf_layout.h"

namespace qv::test {
namespace {

// The netCDF values are the consensus file's printed text read back; the
// fast formatting must give printf's text to the last digit, ties included
// (0.125 to two decimals, 2.5 to none: printf rounds the binary value).
TEST(NetcdfPrintedValues, EqualPrintfReadBack) {
    auto printfText = [](double value, int decimals) {
        char text[400];
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
        return std::string(text);
    };
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> magnitude(-8.0, 6.0);
    std::vector<double> values = {0.0,    -0.0,  0.125,  2.5,    -2.5,  0.05,  1.005,
                                  -0.045, 99.95, 1e-300, 7124.0, 273.15};
    for (int i = 0; i < 20000; ++i) {
        const double v = std::pow(10.0, magnitude(random)) * (i % 2 ? -1.0 : 1.0);
        values.push_back(v);
        values.push_back(static_cast<float>(v));  // the products hold floats
    }
    for (const double v : values) {
        for (int decimals = 0; decimals <= 3; ++decimals) {
            const std::string text = printfText(v, decimals);
            EXPECT_EQ(ncdf::printedBackDouble(v, decimals), std::strtod(text.c_str(), nullptr))
                << text;
            EXPECT_EQ(ncdf::printedBack(v, decimals), std::strtof(text.c_str(), nullptr)) << text;
        }
    }
    EXPECT_TRUE(std::isnan(ncdf::printedBack(std::nan(""), 1)));
    EXPECT_TRUE(std::isnan(ncdf::printedBack(1e300, 1)));  // beyond a float
    EXPECT_EQ(ncdf::printedBackDouble(1e300, 1), std::strtod(printfText(1e300, 1).c_str(), nullptr));
}

// Float values (speeds, winds, temperatures) take a path without text: it
// must give what the text gives for every float, halves and the values
// next to float midpoints, the smallest and largest floats included.
TEST(NetcdfPrintedValues, FloatsWithoutTextEqualPrintfReadBack) {
    std::mt19937 random(4167);
    std::uniform_int_distribution<std::uint32_t> bits;
    std::vector<float> values = {0.0f, -0.0f, 0.05f, -0.05f, 0.125f, 0.375f, 2.5f, -2.5f, 0.005f,
                                 -0.045f, 99.95f, 7124.0f, 273.15f, 1.17549435e-38f, 1.0e-45f,
                                 3.4028235e38f, -3.4028235e38f, 16777217.0f, -950.0f, -999.0f};
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t b = bits(random);
        float f;
        std::memcpy(&f, &b, sizeof f);
        if (std::isfinite(f)) values.push_back(f);
        // Values of the size winds and temperatures have, to every digit.
        values.push_back(static_cast<float>(static_cast<int>(b % 2000001) - 1000000) / 1000.0f);
        values.push_back(static_cast<float>(static_cast<int>(b % 20001) - 10000) / 8.0f);
    }
    for (const float v : values) {
        for (int decimals = 0; decimals <= 3; ++decimals) {
            char text[400];
            std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(v));
            const float expected = ncdf::printedBack(v, decimals);
            const float got = ncdf::printedBackOfFloat<float>(v, decimals);
            if (std::isnan(expected)) {
                EXPECT_TRUE(std::isnan(got)) << text;
            } else {
                ASSERT_EQ(got, expected) << text;
                ASSERT_EQ(std::signbit(got), std::signbit(expected)) << text;
            }
            ASSERT_EQ(ncdf::printedBackOfFloat<double>(v, decimals), std::strtod(text, nullptr))
                << text;
        }
    }
}

// Gate heights are long doubles printed with "%.0Lf": halves round to even,
// a small negative height prints "-0", and a height beyond a float's range
// reads back as no number.
TEST(NetcdfPrintedValues, HeightsEqualPrintfReadBack) {
    std::mt19937_64 random(1611);
    std::uniform_real_distribution<long double> height(-100000.0L, 100000.0L);
    std::vector<long double> heights = {0.0L,    -0.0L,    0.5L,   1.5L,   2.5L,   -0.4L,
                                        -2.5L,   1761.5L,  1e18L,  1e30L,  -1e30L, 1e40L,
                                        16777217.0L, 1761.0L + 60.0L * 7};
    for (int i = 0; i < 20000; ++i) {
        heights.push_back(height(random));
        heights.push_back(std::floor(height(random)) + 0.5L);  // exact ties
    }
    for (const long double h : heights) {
        char text[5000];
        std::snprintf(text, sizeof text, "%.0Lf", h);
        const float expected = std::strtof(text, nullptr);
        const float got = ncdf::printedHeight(h);
        if (!std::isfinite(expected)) {
            EXPECT_TRUE(std::isnan(got)) << text;
            continue;
        }
        EXPECT_EQ(got, expected) << text;
        EXPECT_EQ(std::signbit(got), std::signbit(expected)) << text;
    }
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// Values are valid only under a QC code that keeps them (0, 1, 3, 7): any
// other gate is masked and its QC byte is 8, so that qc_wind and
// qc_temperature hold only their flag values. A gate the continuity check
// flagged (QC 8, -940 in u or v) has its remaining numbers masked as
// failed_qc, not failed_consensus.
TEST_F(NetcdfFile, GatesWhoseQcCodeDoesNotKeepTheirValuesAreMasked) {
    const struct {
        int qc;
        float speed, u, v;
        int qcByte;
        std::int16_t speedStatus, uStatus, vStatus, wStatus;
    } cases[] = {
        {0, 4.5f, 1.25f, -2.5f, 0, 0, 0, 0, 0},
        {7, 4.5f, 1.25f, -2.5f, 7, 0, 0, 0, 0},
        {8, 4.5f, 1.25f, -2.5f, 8, -950, -950, -950, -950},
        {9, 4.5f, 1.25f, -2.5f, 8, -950, -950, -950, -950},
        {-3, 4.5f, 1.25f, -2.5f, 8, -950, -950, -950, -950},
        {-127, 4.5f, 1.25f, -2.5f, 8, -950, -950, -950, -950},  // the QC fill value
        {300, -980.0f, 1.25f, -2.5f, 8, -980, -950, -950, -950},
        // Flagged by the continuity check: w keeps its number there.
        {8, -940.0f, -940.0f, -940.0f, 8, -940, -940, -940, -940},
        {8, 4.5f, 1.25f, -940.0f, 8, -940, -940, -940, -940},
        {0, 4.5f, -940.0f, 1.0f, 0, 0, -940, 0, 0},
    };
    WindDay day;
    day.header = header(OutputKind::Winds);
    day.periods = {windPeriod("0000", {})};
    TemperatureDay t;
    t.header = header(OutputKind::Temperature);
    TemperaturePeriod tp;
    std::memcpy(tp.key, "0000", 5);
    for (const auto& c : cases) {
        WindGate g = windGate(c.qc, c.speed, 10, c.u);
        g.v = c.v;
        day.periods[0].gates.push_back(g);
        tp.gates.push_back(TemperatureGate{static_cast<std::int16_t>(c.qc), 1761.0, 21.6f, 20.0f,
                                           10, 16});
    }
    t.periods = {tp};
    const std::string path = (dir_ / windNetcdfName(day)).string();
    const std::string tPath = (dir_ / temperatureNetcdfName(t)).string();
    std::string error;
    ASSERT_TRUE(writeWindNetcdf(day, context, path, error)) << error;
    ASSERT_TRUE(writeTemperatureNetcdf(t, context, tPath, error)) << error;
    const std::size_t n = std::size(cases);
    const auto qc = variable<std::int8_t>(path, "qc_wind", n);
    const auto speed = variable<std::int16_t>(path, "qc_wind_speed", n);
    const auto u = variable<std::int16_t>(path, "qc_eastward_wind", n);
    const auto v = variable<std::int16_t>(path, "qc_northward_wind", n);
    const auto w = variable<std::int16_t>(path, "qc_upward_air_velocity", n);
    const auto tQc = variable<std::int8_t>(tPath, "qc_temperature", n);
    const auto tvc = variable<std::int16_t>(tPath, "qc_virtual_temperature_corrected", n);
    ConsensusFileContents back;
    ASSERT_TRUE(readNetcdfDay(path, back, error)) << error;
    ASSERT_EQ(back.winds.periods.at(0).gates.size(), n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(testing::Message() << "QC " << c.qc << ", u " << c.u << ", v " << c.v);
        EXPECT_EQ(qc[i], c.qcByte);
        EXPECT_EQ(speed[i], c.speedStatus);
        EXPECT_EQ(u[i], c.uStatus);
        EXPECT_EQ(v[i], c.vStatus);
        EXPECT_EQ(w[i], c.wStatus);
        EXPECT_EQ(tQc[i], c.qcByte);
        EXPECT_EQ(tvc[i], c.wStatus == 0 ? 0 : -950);  // no continuity check there
        const WindGate& r = back.winds.periods[0].gates[i];
        EXPECT_EQ(r.qcCode, c.qcByte);
        EXPECT_EQ(r.w, c.wStatus != 0 ? c.wStatus : 0.12f);  // 0.125 prints "0.12"
    }
}

// The start of a day: the calendar of core/time, years 1 to 9999.
TEST(NetcdfCalendar, DayStartSecondsOfCalendarDatesOnly) {
    const struct {
        std::uint16_t year, month, day;
        double seconds;  // NaN: refused
    } cases[] = {
        {1970, 1, 1, 0.0},          {2004, 6, 15, 1087257600.0},   {1969, 12, 31, -86400.0},
        {2000, 2, 29, 951782400.0}, {1, 1, 1, -62135596800.0},     {9999, 12, 31, 253402214400.0},
        {1900, 2, 29, NAN},         {2004, 4, 31, NAN},            {2004, 13, 1, NAN},
        {2004, 6, 0, NAN},          {0, 1, 1, NAN},                {10000, 1, 1, NAN},
    };
    for (const auto& c : cases) {
        CalendarTime day;
        day.year = c.year;
        day.month = c.month;
        day.day = c.day;
        double seconds = NAN;
        EXPECT_EQ(ncdf::dayStartSeconds(day, seconds), !std::isnan(c.seconds)) << isoDate(day);
        if (!std::isnan(c.seconds)) {
            EXPECT_EQ(seconds, c.seconds) << isoDate(day);
        }
    }
}

}  // namespace
}  // namespace qv::test
