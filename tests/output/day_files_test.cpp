// Day files: the one rule for names, what is a day file, and reading a
// station's day back from its files (modes, the Tv/TvC join, netCDF files
// beside consensus files, hostile files).
#include "output/day_files.h"

#include <gtest/gtest.h>

#include "output/bufr_output.h"
#include "output/consensus_file_sink.h"
#include "output/netcdf_output.h"
#include "plot/plot.h"
#include "plot/plot_test_support.h"
#include "support/test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(DayFiles_Kind, OneRuleForEveryReader) {
    const struct {
        const char* name;
        DayFileKind kind;
    } cases[] = {
        {"QVS04167.w1a", DayFileKind::Winds},       {"QVS04167.W1A", DayFileKind::Winds},
        {"dir.t2a/QVS04167.w12a", DayFileKind::Winds}, {"abc04033.T2a", DayFileKind::Temperature},
        {"QVS_20040615_winds_m1.nc", DayFileKind::Netcdf}, {"X.NC", DayFileKind::Netcdf},
        {"abc04033.wxa", DayFileKind::None},        {"abc04033.wa", DayFileKind::None},
        {"abc04033.w1b", DayFileKind::None},        {"abc04033.raw", DayFileKind::None},
        {".nc", DayFileKind::None},                 {"nc", DayFileKind::None},
    };
    for (const auto& c : cases) EXPECT_EQ(dayFileKind(c.name), c.kind) << c.name;
}

// A station name from an input file never takes an output out of its
// folder, hides it or breaks its name, whatever the output.
TEST(DayFiles_Names, HostileStationNamesStayInTheFolder) {
    const struct {
        std::string station;
        std::string key;
    } cases[] = {
        {"QVS", "QVS"},         {"Q S", "Q S"},   {"../victim/PWN", "_._"},
        {"/etc", "_et"},        {".qv", "_qv"},   {"a\\b", "a_b"},
        {"M\xDCNCHEN", "M_N"},  {"\n\t\x7F", "___"}, {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.station);
        EXPECT_EQ(stationFileKey(c.station), c.key);
        DayProducts products;
        products.winds.push_back(test::windDay(1, 2));
        products.winds[0].header.stationName = c.station;
        products.temperature.push_back(test::temperatureDay(1, 2));
        products.temperature[0].header.stationName = c.station;
        OutputContext context;
        context.folder = "/out";
        std::vector<OutputFile> files = consensusFiles(products, context);
        for (OutputFile& f : netcdfFiles(products, context)) files.push_back(std::move(f));
        for (OutputFile& f : plot::plotOutput(plot::PlotFormat::Svg)(products, context)) {
            files.push_back(std::move(f));
        }
        for (const DayOutput& bufr : {bufrFiles({}), bufrOutbox({}, 0)}) {
            for (OutputFile& f : bufr(products, context)) files.push_back(std::move(f));
        }
        // 3 consensus files, 2 netCDF files, 2 plots, 2 BUFR day files, 2 of the outbox
        ASSERT_EQ(files.size(), 11u);
        for (const OutputFile& file : files) {
            EXPECT_EQ(fs::path(file.path).parent_path(), "/out") << file.path;
            EXPECT_NE(fs::path(file.path).filename().string().front(), '.') << file.path;
            EXPECT_TRUE(file.made()) << file.error;
        }
    }
}

class DayFilesRead : public ::testing::Test {
protected:
    void SetUp() override { dir_ = test::freshTestFolder("quorvane_day_files"); }
    void TearDown() override { fs::remove_all(dir_); }

    // The consensus files of a day's products, written into `folder`.
    std::vector<std::string> write(const DayProducts& products, const fs::path& folder) {
        fs::create_directories(folder);
        FileReport report;
        writeConsensusFiles(products, folder.string(), CalendarTime{}, report);
        EXPECT_TRUE(report.unwritten.empty());
        return report.written;
    }
    fs::path dir_;
};

TEST_F(DayFilesRead, ModesAndTemperaturesOfADayAreReadTogetherAndRepeatsAreRefused) {
    DayProducts products;
    for (const int mode : {2, 1}) {
        products.winds.push_back(test::windDay(2, 3));
        products.winds.back().header.variant = static_cast<std::int16_t>(mode);
    }
    products.temperature.push_back(test::temperatureDay(3, 3));
    write(products, dir_ / "a");
    write(products, dir_ / "b");  // the same day again, elsewhere

    std::vector<std::string> errors;
    const DayFileIndex index = indexDayFiles(dayFilesIn({(dir_ / "a").string()}, errors));
    ASSERT_TRUE(errors.empty() && index.errors.empty());
    ASSERT_EQ(index.days.size(), 1u);
    std::vector<WindDay> winds;
    ASSERT_TRUE(loadWindDays(index.days[0], winds, errors));
    ASSERT_EQ(winds.size(), 2u);
    EXPECT_EQ(winds[0].header.variant, 1);
    TemperatureDay day;
    ASSERT_TRUE(loadTemperatureDay(index.days[0], day, errors));
    ASSERT_EQ(day.periods.size(), 3u);
    EXPECT_EQ(day.periods[0].gates[1].tv, products.temperature[0].periods[0].gates[1].tv);
    EXPECT_EQ(day.periods[0].gates[1].tvc, products.temperature[0].periods[0].gates[1].tvc);
    EXPECT_TRUE(errors.empty());

    // The same files in two folders: the second of each is named, not read.
    const DayFileIndex both =
        indexDayFiles(dayFilesIn({(dir_ / "a").string(), (dir_ / "b").string()}, errors));
    ASSERT_EQ(both.days.size(), 1u);
    loadWindDays(both.days[0], winds, errors);
    loadTemperatureDay(both.days[0], day, errors);
    EXPECT_EQ(errors.size(), 4u);  // two modes, Tv, TvC
    for (const std::string& e : errors) EXPECT_NE(e.find("already read"), std::string::npos) << e;
}

// An ordinary output folder holds each day twice, as consensus files and as
// netCDF files: the day is read once, from its consensus files, without a
// word; netCDF files alone are read as well.
TEST_F(DayFilesRead, NetcdfFilesBesideConsensusFilesAreTheSameDay) {
    DayProducts products;
    products.winds.push_back(test::windDay(2, 3));
    products.temperature.push_back(test::temperatureDay(2, 3));
    const fs::path folder = dir_ / "run";
    write(products, folder);
    OutputContext context;
    context.folder = (dir_ / "nc").string();
    fs::create_directories(context.folder);
    FileReport report;
    writeOutputFiles(netcdfFiles(products, context), report);
    ASSERT_EQ(report.written.size(), 2u);
    for (const std::string& nc : report.written) fs::copy_file(nc, folder / fs::path(nc).filename());

    for (const fs::path& where : {folder, dir_ / "nc"}) {
        std::vector<std::string> errors;
        const DayFileIndex index = indexDayFiles(dayFilesIn({where.string()}, errors));
        ASSERT_EQ(index.days.size(), 1u);
        std::vector<WindDay> winds;
        TemperatureDay day;
        EXPECT_TRUE(loadWindDays(index.days[0], winds, errors));
        EXPECT_EQ(winds.size(), 1u);
        EXPECT_TRUE(loadTemperatureDay(index.days[0], day, errors));
        EXPECT_TRUE(errors.empty()) << errors.front();
    }
}

}  // namespace
}  // namespace qv
