// quorvane-convert: folders and files, Tv/TvC pairing, failures that name
// the file and line while the other files still convert.
#include "app/convert/convert.h"

#include "output/consensus_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "output/output_test_support.h"
#include "output/day_files.h"
#include "output/netcdf_file.h"
#include "output/folder_lock.h"
#include "app/plot/plot_tool.h"

#include <sys/stat.h>

namespace qv::test {
namespace {

class Converter : public TempFolderTest {
protected:
    int convert(const std::vector<std::string>& args, std::string* errText = nullptr) {
        std::ostringstream out, err;
        ConvertEnvironment env;
        env.out = &out;
        env.err = &err;
        env.version = "9.9";
        env.sourceDateEpoch = "1700000000";
        const int status = runConvert(args, env);
        if (errText) *errText = err.str();
        return status;
    }

    // The period blocks of a netCDF day, printed as a consensus file.
    static std::vector<std::string> readBack(const std::string& path) {
        ConsensusFileContents c;
        std::string error;
        EXPECT_TRUE(readNetcdfDay(path, c, error)) << error;
        return reprinted(c);
    }
};

TEST_F(Converter, FolderOfBatchFilesGivesTheWritersOwnFiles) {
    const auto winds = batchFiles(dir_ / "in", "winds");
    batchFiles(dir_ / "in", "temperature");
    fs::create_directories(dir_ / "out");
    std::string err;
    ASSERT_EQ(convert({(dir_ / "in").string(), "--out", (dir_ / "out").string()}, &err), 0)
        << err;
    EXPECT_EQ(listFolder(dir_ / "out"),
              (std::vector<std::string>{"QVS_20040615_temperature.nc", "QVS_20040615_winds_m1.nc",
                                        "QVS_20040616_temperature.nc",
                                        "QVS_20040616_winds_m1.nc"}));

    // The converted file equals the writer's file from the same day product.
    const ConsensusFileRead read = readConsensusFile(winds[0].string());
    ASSERT_TRUE(read.ok);
    NetcdfContext context{"2023-11-14T22:13:20Z quorvane-convert", "9.9"};
    std::string error;
    const std::string direct = (dir_ / "direct.nc").string();
    ASSERT_TRUE(writeWindNetcdf(read.contents.winds, context, direct, error)) << error;
    const std::string converted = (dir_ / "out" / windNetcdfName(read.contents.winds)).string();
    EXPECT_EQ(readBack(converted), readBack(direct));

    // Tv and TvC of a day in one file: both temperatures as printed.
    ConsensusFileContents both;
    ASSERT_TRUE(readNetcdfDay((dir_ / "out" / "QVS_20040615_temperature.nc").string(), both, error))
        << error;
    const ConsensusFileRead tv = readConsensusFile((dir_ / "in" / "QVS04167.t1a").string());
    const ConsensusFileRead tvc = readConsensusFile((dir_ / "in" / "QVS04167.t2a").string());
    ASSERT_TRUE(tv.ok && tvc.ok);
    both.temperatureDigit = 1;
    EXPECT_EQ(reprinted(both), reprinted(tv.contents));
    both.temperatureDigit = 2;
    EXPECT_EQ(reprinted(both), reprinted(tvc.contents));
}

TEST_F(Converter, ATvFileAloneLeavesTvcMissing) {
    batchFiles(dir_ / "in", "temperature");
    ASSERT_EQ(convert({(dir_ / "in" / "QVS04167.t1a").string()}), 0);
    ConsensusFileContents c;
    std::string error;
    ASSERT_TRUE(readNetcdfDay((dir_ / "in" / "QVS_20040615_temperature.nc").string(), c, error))
        << error;
    for (const auto& p : c.temperature.periods) {
        for (const auto& g : p.gates) EXPECT_EQ(g.tvc, kMissingCode);
    }
}

TEST_F(Converter, ADamagedFileIsNamedWithItsLineAndTheOthersConvert) {
    const auto winds = batchFiles(dir_ / "in", "winds");
    std::string text = readFile(winds[1]);
    const std::size_t at = text.find(" 0   1857");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 9, " 0   18x7");
    writeFile(winds[1], text);
    std::string err;
    EXPECT_EQ(convert({winds[0].string(), winds[1].string()}, &err), 1);
    EXPECT_NE(err.find(winds[1].string() + ", line 38: unreadable wind gate line"),
              std::string::npos)
        << err;
    EXPECT_TRUE(fs::exists(dir_ / "in" / "QVS_20040615_winds_m1.nc"));
    EXPECT_FALSE(fs::exists(dir_ / "in" / "QVS_20040616_winds_m1.nc"));
}

TEST_F(Converter, MismatchedPairsAndDuplicatesAreRefused) {
    ConsensusFileContents tv, tvc;
    tv.kind = tvc.kind = OutputKind::Temperature;
    tv.temperatureDigit = 1;
    tvc.temperatureDigit = 2;
    tv.temperature.header.stationName = tvc.temperature.header.stationName = "QVS";
    TemperaturePeriod p;
    std::memcpy(p.key, "0100", 5);
    p.gates.resize(2);
    tv.temperature.periods = {p};
    p.gates[1].height = 5.0;
    tvc.temperature.periods = {p};
    TemperatureDay day;
    std::string error;
    EXPECT_FALSE(joinTemperature(&tv, &tvc, day, error));
    EXPECT_NE(error.find("period 0100, gate 1"), std::string::npos) << error;
    tvc.temperature.header.day.day = 3;
    EXPECT_FALSE(joinTemperature(&tv, &tvc, day, error));
    EXPECT_NE(error.find("different stations or days"), std::string::npos) << error;
    // Periods that only one file has are joined with the other missing.
    tvc.temperature.header.day.day = 0;
    std::memcpy(tvc.temperature.periods[0].key, "0200", 5);
    ASSERT_TRUE(joinTemperature(&tv, &tvc, day, error)) << error;
    ASSERT_EQ(day.periods.size(), 2u);
    EXPECT_EQ(day.periods[1].gates[0].tv, kMissingCode);

    const auto winds = batchFiles(dir_ / "in", "winds");
    fs::create_directories(dir_ / "copy");
    fs::copy_file(winds[0], dir_ / "copy" / "renamed.w1a");
    fs::create_directories(dir_ / "out");
    std::string err;
    EXPECT_EQ(convert({winds[0].string(), (dir_ / "copy").string(), "--out",
                       (dir_ / "out").string()},
                      &err),
              1);
    EXPECT_NE(err.find("renamed.w1a: the same netCDF file as"), std::string::npos) << err;
}

TEST_F(Converter, ArgumentsAndStatuses) {
    std::string err;
    EXPECT_EQ(convert({}, &err), 2);
    EXPECT_NE(err.find("Usage: quorvane-convert"), std::string::npos);
    EXPECT_EQ(convert({"--bogus"}, &err), 2);
    EXPECT_EQ(convert({"x.w1a", "--out"}, &err), 2);
    EXPECT_EQ(convert({"x.w1a", "--out", (dir_ / "none" / "out").string()}, &err), 2);
    EXPECT_NE(err.find("nor does the folder it would go in"), std::string::npos) << err;
    EXPECT_EQ(convert({"--help"}), 0);
    EXPECT_EQ(convert({(dir_ / "missing.w1a").string()}, &err), 1);
    EXPECT_NE(err.find("missing.w1a: cannot be opened"), std::string::npos) << err;
    EXPECT_EQ(convert({dir_.string()}, &err), 1);
    EXPECT_NE(err.find("no day files"), std::string::npos) << err;
}

TEST_F(Converter, SourceDateEpochMakesIdenticalFiles) {
    const auto winds = batchFiles(dir_ / "in", "winds");
    fs::create_directories(dir_ / "a");
    fs::create_directories(dir_ / "b");
    ASSERT_EQ(convert({winds[0].string(), "--out", (dir_ / "a").string()}), 0);
    ASSERT_EQ(convert({winds[0].string(), "--out", (dir_ / "a").string()}), 0);
    const std::string name = "QVS_20040615_winds_m1.nc";
    fs::copy_file(dir_ / "a" / name, dir_ / "b" / name);
    ASSERT_EQ(convert({winds[0].string(), "--out", (dir_ / "a").string()}), 0);
    EXPECT_EQ(readFile(dir_ / "a" / name), readFile(dir_ / "b" / name));
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// An archived day with one wild gate: --continuity flags it in the netCDF
// file (QC 8, data code -940) and nothing else; without it the file is as
// printed.
TEST_F(Converter, ContinuityCleansArchivedDaysToo) {
    const auto winds = batchFiles(dir_ / "in", "winds");
    ASSERT_FALSE(winds.empty());
    ConsensusFileRead read = readConsensusFile(winds[0].string());
    ASSERT_TRUE(read.ok) << read.error;
    // A spike of 25 m/s in u at one gate in the middle of the day.
    WindDay& day = read.contents.winds;
    ASSERT_GT(day.periods.size(), 3u);
    WindGate& spiked = day.periods[3].gates.at(5);
    ASSERT_EQ(spiked.qcCode, 0);
    spiked.u += 25.0f;
    const std::string spikedPath = (dir_ / "spiked" / winds[0].filename()).string();
    fs::create_directories(dir_ / "spiked");
    writeFile(spikedPath, windFileText(day, day.header.day));

    std::ostringstream out, err;
    ConvertEnvironment env;
    env.out = &out;
    env.err = &err;
    env.sourceDateEpoch = "1700000000";
    for (const bool checked : {false, true}) {
        SCOPED_TRACE(checked);
        std::vector<std::string> args = {spikedPath};
        if (checked) args.push_back("--continuity");
        ASSERT_EQ(runConvert(args, env), 0) << err.str();
        ConsensusFileContents back;
        std::string error;
        ASSERT_TRUE(readNetcdfDay((dir_ / "spiked" / windNetcdfName(day)).string(), back,
                                  error))
            << error;
        const WindGate& gate = back.winds.periods[3].gates[5];
        EXPECT_EQ(gate.qcCode, checked ? 8 : 0);
        if (checked) {
            EXPECT_EQ(gate.u, -940.0f);
        }
        int flagged = 0;
        for (const WindPeriod& p : back.winds.periods) {
            for (const WindGate& g : p.gates) flagged += g.u == -940.0f;
        }
        EXPECT_EQ(flagged, checked ? 1 : 0);
    }
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// The batch tool's netCDF files and those converted from its consensus
// files hold the same values (the printed decimals read back).
TEST_F(Converter, BatchNetcdfEqualsTheConvertedConsensusFiles) {
    for (const std::string kind : {"winds", "temperature"}) {
        SCOPED_TRACE(kind);
        const fs::path run = dir_ / ("run-" + kind);
        fs::create_directories(run);
        std::vector<std::string> args = sampleArgs(run.string(), kind) +
                                        std::vector<std::string>{"--window", "2", "--threshold",
                                                                 "50", "--rass-window", "1.5",
                                                                 "--quiet", "--netcdf"};
        const BatchRun batch = runTool(args);
        ASSERT_EQ(batch.status, 0) << batch.err;
        const fs::path converted = dir_ / ("converted-" + kind);
        fs::create_directories(converted);
        std::string err;
        ASSERT_EQ(convert({run.string(), "--out", converted.string()}, &err), 0) << err;
        int compared = 0;
        for (const std::string& name : listFolder(converted)) {
            EXPECT_EQ(readBack((converted / name).string()), readBack((run / name).string()))
                << name;
            ++compared;
        }
        EXPECT_EQ(compared, 2);
    }
}

// What the readers of day files faced and how they answer now: files of
// any case, FIFOs, netCDF files beside consensus files, a folder in use.
TEST_F(Converter, ReadersAnswerTheFilesTheyMeet) {
    const auto winds = batchFiles(dir_ / "in", "winds");
    fs::create_directories(dir_ / "upper");
    fs::copy_file(winds[0], dir_ / "upper" / "QVS04167.W1A");
    ASSERT_EQ(::mkfifo((dir_ / "pipe.w1a").c_str(), 0600), 0);
    fs::create_directories(dir_ / "out");
    std::ostringstream plotOut, plotErr;
    auto plot = [&](std::vector<std::string> args) {
        plotOut.str("");
        plotErr.str("");
        args.push_back("--out");
        args.push_back((dir_ / "plots").string());
        return plot::runPlotTool(args, plotOut, plotErr);
    };
    std::string err;

    // Upper-case names: a day file for every reader.
    EXPECT_EQ(convert({(dir_ / "upper").string(), "--out", (dir_ / "out").string()}, &err), 0) << err;
    EXPECT_EQ(plot({(dir_ / "upper").string()}), 0) << plotErr.str();

    // A FIFO is refused at once, by name; the other files are still done.
    EXPECT_EQ(convert({(dir_ / "pipe.w1a").string(), winds[0].string(), "--out",
                       (dir_ / "out").string()}, &err), 1);
    EXPECT_NE(err.find("pipe.w1a: not a regular file"), std::string::npos) << err;
    EXPECT_EQ(plot({(dir_ / "pipe.w1a").string(), winds[0].string()}), 1);
    EXPECT_NE(plotErr.str().find("pipe.w1a: not a regular file"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir_ / "plots" / "QVS_20040615_winds.png"));

    // An ordinary output folder: netCDF files beside the consensus files are
    // the same days, not repeats; a netCDF file is not converted again.
    ASSERT_EQ(convert({(dir_ / "in").string()}, &err), 0) << err;
    EXPECT_EQ(plot({(dir_ / "in").string()}), 0) << plotErr.str();
    EXPECT_TRUE(plotErr.str().empty()) << plotErr.str();
    EXPECT_EQ(convert({(dir_ / "in" / "QVS_20040615_winds_m1.nc").string()}, &err), 1);
    EXPECT_NE(err.find("a netCDF file, not a consensus data file"), std::string::npos) << err;

    // A folder in use by another run is not written into.
    std::unique_ptr<OutputFolderLock> lock;
    std::string message;
    ASSERT_EQ(OutputFolderLock::acquire((dir_ / "out").string(), lock, message), LockResult::Locked);
    EXPECT_EQ(convert({winds[0].string(), "--out", (dir_ / "out").string()}, &err), 6);
    EXPECT_NE(err.find("in use by another Quorvane run"), std::string::npos) << err;
}

}  // namespace
}  // namespace qv::test
