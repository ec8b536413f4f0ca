// quorvane-plot: arguments, grouping of files into day plots, names, exit
// status and messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "output/netcdf_file.h"
#include "app/plot/plot_tool.h"
#include "output/day_files.h"
#include "plot/plot_test_support.h"
#include "support/test_folder.h"

namespace qv::plot {
namespace {

namespace fs = std::filesystem;

const std::string kData = std::string(QUORVANE_SOURCE_DIR) + "/tests/plot/data";

TEST(PlotTool_Arguments, OptionsAndFilesAreRead) {
    PlotToolOptions options;
    std::string error;
    ASSERT_TRUE(parsePlotToolArguments(
        {"a.w1a", "--format", "svg", "--out", "plots", "--days", "b.t1a", "--size", "800x450"},
        options, error))
        << error;
    EXPECT_EQ(options.inputs, (std::vector<std::string>{"a.w1a", "b.t1a"}));
    EXPECT_EQ(options.format, PlotFormat::Svg);
    EXPECT_EQ(options.outputFolder, "plots");
    EXPECT_EQ(options.span, PlotSpan::Days);
    EXPECT_EQ(options.width, 800);
    EXPECT_EQ(options.height, 450);
    // One colour scale for every plot: the defaults, or the one given.
    EXPECT_EQ(options.windScaleMax, 40.0);
    EXPECT_EQ(options.temperatureScale.low, -30.0);
    EXPECT_EQ(options.temperatureScale.high, 40.0);
    ASSERT_TRUE(parsePlotToolArguments({"a", "--last-24h", "--wind-scale", "25.5",
                                        "--temperature-scale", "-10:30"},
                                       options, error))
        << error;
    EXPECT_EQ(options.span, PlotSpan::Last24Hours);
    EXPECT_EQ(options.windScaleMax, 25.5);
    EXPECT_EQ(options.temperatureScale.low, -10.0);
    EXPECT_EQ(options.temperatureScale.high, 30.0);
}

TEST(PlotTool_Arguments, BadArgumentsAreRefusedWithAReason) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, "no files to plot"},
        {{"a", "--format", "gif"}, "gif"},
        {{"a", "--format"}, "needs a value"},
        {{"a", "--colour"}, "--colour"},
        {{"a", "--size", "10x10"}, "invalid size"},
        {{"a", "--size", "800x450x"}, "invalid size"},
        {{"a", "--days", "--week"}, "exclude each other"},
        {{"a", "--last-24h", "--days"}, "exclude each other"},
        {{"a", "--wind-scale", "0"}, "invalid wind scale"},
        {{"a", "--wind-scale", "40x"}, "invalid wind scale"},
        {{"a", "--wind-scale", "nan"}, "invalid wind scale"},
        {{"a", "--wind-scale", "1e9"}, "invalid wind scale"},
        {{"a", "--temperature-scale", "10:5"}, "invalid temperature scale"},
        {{"a", "--temperature-scale", "10"}, "invalid temperature scale"},
        {{"a", "--temperature-scale", "-200:0"}, "invalid temperature scale"},
        {{"a", "--temperature-scale", ":20"}, "invalid temperature scale"},
    };
    for (const auto& [arguments, reason] : cases) {
        PlotToolOptions options;
        std::string error;
        EXPECT_FALSE(parsePlotToolArguments(arguments, options, error)) << reason;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    PlotToolOptions options;
    std::string error;
    ASSERT_TRUE(parsePlotToolArguments({"--help"}, options, error));
    EXPECT_TRUE(options.help);
}

TEST(PlotTool_Names, StationDatesAndKind) {
    CalendarTime a;
    a.year = 2004;
    a.month = 6;
    a.day = 15;
    CalendarTime b = a;
    b.day = 17;
    EXPECT_EQ(plotFileName("QVS", a, a, true, PlotFormat::Png), "QVS_20040615_winds.png");
    EXPECT_EQ(plotFileName("QVS", a, b, false, PlotFormat::Pdf),
              "QVS_20040615-20040617_temperature.pdf");
}

class PlotToolRun : public ::testing::Test {
protected:
    void SetUp() override { folder_ = test::freshTestFolder("quorvane_plot_tool"); }
    void TearDown() override { fs::remove_all(folder_); }
    int run(std::vector<std::string> arguments) {
        out_.str("");
        err_.str("");
        return runPlotTool(arguments, out_, err_);
    }
    fs::path folder_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(PlotToolRun, AFolderOfConsensusFilesGivesAWindAndATemperaturePlot) {
    const fs::path plots = folder_ / "plots";
    ASSERT_EQ(run({kData, "--out", plots.string()}), kPlotToolDone) << err_.str();
    EXPECT_TRUE(fs::exists(plots / "QVS_20040615_winds.png"));
    EXPECT_TRUE(fs::exists(plots / "QVS_20040615_temperature.png"));
    EXPECT_NE(out_.str().find("QVS_20040615_winds.png"), std::string::npos);
    EXPECT_TRUE(err_.str().empty()) << err_.str();
}

TEST_F(PlotToolRun, ConsecutiveDaysSideBySideWithDays) {
    // A second day: the sample day's wind file with the next date.
    fs::copy_file(kData + "/QVS04167.w1a", folder_ / "QVS04167.w1a");
    std::ifstream in(kData + "/QVS04167.w1a", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string next = text.str();
    next.replace(next.find("06/15/04"), 8, "06/16/04");
    next.replace(next.find("Julian Day:        167"), 22, "Julian Day:        168");
    std::ofstream(folder_ / "QVS04168.w1a", std::ios::binary) << next;
    const fs::path plots = folder_ / "plots";
    ASSERT_EQ(run({folder_.string(), "--days", "--format", "pdf", "--out", plots.string()}),
              kPlotToolDone)
        << err_.str();
    EXPECT_TRUE(fs::exists(plots / "QVS_20040615-20040616_winds.pdf")) << out_.str();
    ASSERT_EQ(run({folder_.string(), "--format", "svg", "--out", plots.string()}), kPlotToolDone);
    EXPECT_TRUE(fs::exists(plots / "QVS_20040616_winds.svg")) << out_.str();
}

TEST_F(PlotToolRun, UnreadableFilesAreNamedAndTheRestStillPlotted) {
    std::ofstream(folder_ / "QVS04170.w1a") << "not a consensus file\n";
    const fs::path plots = folder_ / "plots";
    EXPECT_EQ(run({(folder_ / "QVS04170.w1a").string(), kData + "/QVS04167.w1a", "--out",
                   plots.string()}),
              kPlotToolFailures);
    EXPECT_NE(err_.str().find("QVS04170.w1a"), std::string::npos);
    EXPECT_TRUE(fs::exists(plots / "QVS_20040615_winds.png"));
    EXPECT_EQ(run({(folder_ / "absent.w1a").string(), "--out", plots.string()}),
              kPlotToolFailures);
    EXPECT_NE(err_.str().find("nothing to plot"), std::string::npos);
}

TEST_F(PlotToolRun, NetcdfDayFilesArePlottedLikeConsensusFiles) {
    const ConsensusFileRead read = readConsensusFile(kData + "/QVS04167.w1a");
    ASSERT_TRUE(read.ok) << read.error;
    const fs::path nc = folder_ / windNetcdfName(read.contents.winds);
    std::string error;
    ASSERT_TRUE(writeWindNetcdf(read.contents.winds, NetcdfContext{"test", "test"}, nc.string(),
                                error))
        << error;
    const fs::path plots = folder_ / "plots";
    ASSERT_EQ(run({nc.string(), "--out", plots.string()}), kPlotToolDone) << err_.str();
    EXPECT_TRUE(fs::exists(plots / "QVS_20040615_winds.png"));
}

// Ten days of winds, 7 to 16 June, the last until 14:00, and the
// temperature of the last two, as netCDF day files; the plots of a span
// are the plots of its days with the window and scales of its options.
TEST_F(PlotToolRun, WeeksAndTheLast24HoursArePlottedOnOneScale) {
    std::map<int, WindDay> winds;
    std::map<int, TemperatureDay> temperature;
    for (int d = 7; d <= 16; ++d) {
        WindDay day = test::windDay(d == 16 ? 29 : 48, 3, 30, 0, 8.0f + d, 250, d);
        day.periods[0].gates[2].speed = 33.0f;
        std::string error;
        ASSERT_TRUE(writeWindNetcdf(day, {"test", "0"}, (folder_ / windNetcdfName(day)).string(),
                                    error))
            << error;
        winds[d] = day;
        if (d < 15) continue;
        TemperatureDay t = test::temperatureDay(d == 16 ? 29 : 48, 3, 30, 0, d);
        ASSERT_TRUE(writeTemperatureNetcdf(t, {"test", "0"},
                                           (folder_ / temperatureNetcdfName(t)).string(), error))
            << error;
        temperature[d] = t;
    }
    // The days as the reader gives them back.
    auto windsOf = [&](int first, int last) {
        std::vector<WindDay> days;
        for (int d = first; d <= last; ++d) {
            const fs::path path = folder_ / windNetcdfName(winds[d]);
            days.push_back(readDayFile(path.string()).contents.winds);
        }
        return days;
    };
    auto temperatureOf = [&](int first, int last) {
        std::vector<TemperatureDay> days;
        for (int d = first; d <= last; ++d) {
            days.push_back(readDayFile((folder_ / temperatureNetcdfName(temperature[d])).string())
                               .contents.temperature);
        }
        return days;
    };
    PlotOptions last24Hours;
    last24Hours.window = TimeWindow{870, 2310};  // 14:30 on the 15th to 14:30 on the 16th
    last24Hours.windScaleMax = 40.0;
    last24Hours.temperatureScale = TemperatureRange{-30.0, 40.0};
    PlotOptions given = last24Hours;
    given.windScaleMax = 25.0;
    given.temperatureScale = TemperatureRange{-10.0, 30.0};
    PlotOptions week;
    week.windScaleMax = 40.0;
    week.temperatureScale = TemperatureRange{-30.0, 40.0};
    struct Plot {
        const char* name;
        std::vector<WindDay> winds;  // or
        std::vector<TemperatureDay> temperature;
        PlotOptions options;
    };
    const struct {
        std::vector<std::string> arguments;
        std::vector<Plot> plots;  // in the order written
    } cases[] = {
        {{"--last-24h"},
         {{"QVS_20040616_last24h_winds.png", windsOf(15, 16), {}, last24Hours},
          {"QVS_20040616_last24h_temperature.png", {}, temperatureOf(15, 16), last24Hours}}},
        {{"--last-24h", "--wind-scale", "25", "--temperature-scale", "-10:30"},
         {{"QVS_20040616_last24h_winds.png", windsOf(15, 16), {}, given},
          {"QVS_20040616_last24h_temperature.png", {}, temperatureOf(15, 16), given}}},
        {{"--week"},
         {{"QVS_20040607-20040609_winds.png", windsOf(7, 9), {}, week},
          {"QVS_20040610-20040616_winds.png", windsOf(10, 16), {}, week},
          {"QVS_20040615-20040616_temperature.png", {}, temperatureOf(15, 16), week}}},
    };
    const fs::path plots = folder_ / "plots";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front() + (c.arguments.size() > 1 ? " ..." : ""));
        fs::remove_all(plots);
        std::vector<std::string> arguments = {folder_.string(), "--out", plots.string()};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        ASSERT_EQ(run(arguments), kPlotToolDone) << err_.str();
        std::string written;
        for (const Plot& plot : c.plots) {
            written += (plots / plot.name).string() + "\n";
            std::string expected;
            std::string error;
            ASSERT_TRUE(plot.winds.empty()
                            ? renderTemperatureBytes(plot.temperature, PlotFormat::Png, expected,
                                                     error, plot.options)
                            : renderWindBytes(plot.winds, PlotFormat::Png, expected, error,
                                              plot.options))
                << error;
            std::ifstream in(plots / plot.name, std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
            EXPECT_TRUE(bytes == expected) << plot.name;
        }
        EXPECT_EQ(out_.str(), written);
    }
}

TEST_F(PlotToolRun, BadArgumentsExitTwoWithUsageAndHelpExitsZero) {
    EXPECT_EQ(run({"--format", "bmp", "x.w1a"}), kPlotToolBadArguments);
    EXPECT_NE(err_.str().find("Usage"), std::string::npos);
    EXPECT_EQ(run({"--help"}), kPlotToolDone);
    EXPECT_NE(out_.str().find("Exit status"), std::string::npos);
}

}  // namespace
}  // namespace qv::plot
