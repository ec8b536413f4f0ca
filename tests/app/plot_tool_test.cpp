// quorvane-plot: arguments, grouping of files into day plots, names, exit
// status and messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
    EXPECT_TRUE(options.joinDays);
    EXPECT_EQ(options.width, 800);
    EXPECT_EQ(options.height, 450);
}

TEST(PlotTool_Arguments, BadArgumentsAreRefusedWithAReason) {
    PlotToolOptions options;
    std::string error;
    EXPECT_FALSE(parsePlotToolArguments({}, options, error));
    EXPECT_EQ(error, "no files to plot");
    EXPECT_FALSE(parsePlotToolArguments({"a", "--format", "gif"}, options, error));
    EXPECT_NE(error.find("gif"), std::string::npos);
    EXPECT_FALSE(parsePlotToolArguments({"a", "--format"}, options, error));
    EXPECT_NE(error.find("needs a value"), std::string::npos);
    EXPECT_FALSE(parsePlotToolArguments({"a", "--colour"}, options, error));
    EXPECT_NE(error.find("--colour"), std::string::npos);
    EXPECT_FALSE(parsePlotToolArguments({"a", "--size", "10x10"}, options, error));
    EXPECT_FALSE(parsePlotToolArguments({"a", "--size", "800x450x"}, options, error));
    ASSERT_TRUE(parsePlotToolArguments({"--help"}, options, error));
    EXPECT_TRUE(options.help);
}

TEST(PlotTool_Groups, ConsecutiveDaysJoinOnlyWhenAsked) {
    const std::vector<std::int64_t> days = {12, 10, 11, 15, 16, 11};
    EXPECT_EQ(plotGroups(days, false),
              (std::vector<std::vector<std::int64_t>>{{10}, {11}, {12}, {15}, {16}}));
    EXPECT_EQ(plotGroups(days, true),
              (std::vector<std::vector<std::int64_t>>{{10, 11, 12}, {15, 16}}));
    std::vector<std::int64_t> many;
    for (std::int64_t d = 0; d < kMaxPlotDays + 3; ++d) many.push_back(d);
    const auto groups = plotGroups(many, true);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].size(), static_cast<std::size_t>(kMaxPlotDays));
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

TEST_F(PlotToolRun, BadArgumentsExitTwoWithUsageAndHelpExitsZero) {
    EXPECT_EQ(run({"--format", "bmp", "x.w1a"}), kPlotToolBadArguments);
    EXPECT_NE(err_.str().find("Usage"), std::string::npos);
    EXPECT_EQ(run({"--help"}), kPlotToolDone);
    EXPECT_NE(out_.str().find("Exit status"), std::string::npos);
}

}  // namespace
}  // namespace qv::plot
