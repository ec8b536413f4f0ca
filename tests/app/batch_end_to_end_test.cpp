// The batch tool end to end over real readers and consensus: the same files
// as the worker writes for the dialog, the bundled samples and their truth,
// and the real executables.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <thread>

#include "app/engine/engine.h"
#include "core/worker.h"
#include "support/scripted_host.h"
#include "tests/app/batch_test_support.h"

namespace qv::test {
namespace {

constexpr const char* kEpoch = "1087389296";  // 2004-06-16 12:34:56 UTC

std::string tool(const char* name) { return std::string(QUORVANE_BINARY_DIR) + "/app/" + name; }

std::string quote(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

int runCommand(const std::string& command) {
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// One block of a consensus data file: the period key and its gate lines.
struct Block {
    std::string key;
    std::vector<std::string> gates;
};

std::vector<Block> blocks(const std::string& fileText) {
    const std::vector<std::string> all = lines(fileText);
    std::size_t i = 0;
    while (i < all.size() && all[i].rfind("Code (m msl)", 0) != 0) ++i;
    std::vector<Block> out;
    for (++i; i < all.size();) {
        Block b;
        b.key = all[i].substr(0, 4);
        const int count = std::atoi(all[i].substr(4, 7).c_str());
        ++i;
        for (int g = 0; g < count && i < all.size(); ++g, ++i) b.gates.push_back(all[i]);
        out.push_back(b);
    }
    return out;
}

class BatchEndToEnd : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        for (const char* name : {"quorvane-batch", "quorvane-samplegen"}) {
            if (!fs::exists(tool(name))) GTEST_FAIL() << tool(name) << " is not built";
        }
    }
};

// The run a dialog makes: the worker on its thread over a host that answers
// the review with the same values the batch tool is given.
void runLikeTheDialog(const std::string& output, OutputKind kind) {
    ScriptedHost host;
    host.input = InputType::Ascii;
    host.output = kind;
    host.review = [](ConsensusJob& job) {
        for (BeamSetting* s : job.beamSettings) {
            s->consensusWindow = s->rassFlag != 0 ? 1.5f : 2.0f;
            s->consensusPercent = 50;
        }
    };
    ConsensusJob job;
    job.host = &host;
    job.steps = standardSteps();
    CalendarTime stamp;
    ASSERT_TRUE(batch::sourceDateEpochTime(kEpoch, stamp));
    job.clock = [stamp] { return stamp; };
    job.noMomentsPause = std::chrono::milliseconds(0);
    CalendarTime day{2004, 6, 0, 15, 0, 0, 0, 0};
    ASSERT_TRUE(calendarToTimeValue(day, job.params.beginTime));
    day.day = 16;
    ASSERT_TRUE(calendarToTimeValue(day, job.params.endTime));
    job.params.inputPath = samplesDir();
    job.params.outputPath = output;
    job.params.siteId = "qvs";
    job.params.dataSourceText = "QAV";
    job.params.outputKindText = kind == OutputKind::Winds ? "Winds" : "Temperature";
    job.params.averagingMinutes = 30;
    std::thread worker = startProcessing(job);
    worker.join();
    ASSERT_EQ(host.mainLines.back(), "Done.");
    ASSERT_EQ(host.reviews, 1);
}

TEST_F(BatchEndToEnd, WritesExactlyTheFilesOfTheDialogsRun) {
    for (const char* kind : {"winds", "temperature"}) {
        const fs::path viaBatch = dir_ / (std::string("batch-") + kind);
        const fs::path viaDialog = dir_ / (std::string("dialog-") + kind);
        fs::create_directories(viaBatch);
        fs::create_directories(viaDialog);
        batch::BatchContext context;
        context.sourceDateEpoch = kEpoch;
        const BatchRun run =
            runTool(sampleArgs(viaBatch.string(), kind) +
                        std::vector<std::string>{"--window", "2", "--threshold", "50",
                                                 "--rass-window", "1.5", "--quiet"},
                    context);
        ASSERT_EQ(run.status, 0) << run.err;
        runLikeTheDialog(viaDialog.string(),
                         std::string(kind) == "winds" ? OutputKind::Winds : OutputKind::Temperature);
        const std::vector<std::string> names = listFolder(viaBatch);
        EXPECT_EQ(names, listFolder(viaDialog));
        EXPECT_EQ(names.size(), std::string(kind) == "winds" ? 2u : 4u);
        for (const std::string& name : names) {
            EXPECT_EQ(readFile(viaBatch / name), readFile(viaDialog / name)) << name;
        }
    }
}

TEST_F(BatchEndToEnd, GeneratorStillMakesTheBundledSamples) {
    const fs::path made = dir_ / "made";
    fs::create_directories(made);
    ASSERT_EQ(runCommand(quote(tool("quorvane-samplegen")) + " generate --out " +
                         quote(made.string()) + " > /dev/null"),
              0);
    const std::vector<std::string> names = listFolder(made);
    EXPECT_EQ(names, (std::vector<std::string>{"qvs04167.rat", "qvs04167.raw",
                                               "qvs04167_truth.csv", "qvs04168.rat",
                                               "qvs04168.raw", "qvs04168_truth.csv",
                                               "qvs04169.rat", "qvs04169.raw"}));
    for (const std::string& name : names) {
        EXPECT_EQ(readFile(made / name), readFile(fs::path(samplesDir()) / name)) << name;
    }
}

TEST_F(BatchEndToEnd, SamplesHoldTheNextDaySpillAndTheirHeaderMarker) {
    const std::string next = readFile(fs::path(samplesDir()) / "qvs04168.raw");
    const std::vector<std::string> nextLines = lines(next);
    ASSERT_GT(nextLines.size(), 3u);
    EXPECT_EQ(nextLines[0], " QVS 4001 -10525 1611");
    // The next day's file begins with the processing day's last dwells.
    EXPECT_EQ(nextLines[1], "1 66.4 0 4 167 23 54 6");
    const std::string rat = readFile(fs::path(samplesDir()) / "qvs04168.rat");
    EXPECT_NE(rat.find("\n0 90.0 0 4 167 23 57 6\n"), std::string::npos);
    EXPECT_NE(rat.find("\n1 90.0 0 4 167 23 58 6\n"), std::string::npos);
    EXPECT_NE(next.find("\n-999.00 -999.0\n"), std::string::npos);
    const std::string last = readFile(fs::path(samplesDir()) / "qvs04169.raw");
    EXPECT_EQ(lines(last)[1], "1 66.4 0 4 168 23 54 6");
}

// The largest u sample count of the last period of the first day.
int lastPeriodMaxCount(const fs::path& windFile) {
    const std::vector<Block> b = blocks(readFile(windFile));
    if (b.empty()) return -1;
    int best = 0;
    for (const std::string& gate : b.back().gates) best = std::max(best, std::atoi(gate.substr(49, 4).c_str()));
    return best;
}

TEST_F(BatchEndToEnd, LastPeriodTakesTheDwellsFromTheNextDaysFile) {
    const fs::path out = dir_ / "out";
    fs::create_directories(out);
    const BatchRun run = runTool(sampleArgs(out.string(), "winds") +
                                 std::vector<std::string>{"--window", "2", "--threshold", "50",
                                                          "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Block> b = blocks(readFile(out / "QVS04167.w1a"));
    std::vector<std::string> keys;
    for (const Block& block : b) {
        keys.push_back(block.key);
        EXPECT_EQ(block.gates.size(), 20u) << block.key;
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"2100", "2130", "2200", "2230", "2300", "2330"}));
    // Two oblique beams of eight cycles give at most 16 samples; the two
    // cycles in the next day's file make it up to 20.
    EXPECT_GT(lastPeriodMaxCount(out / "QVS04167.w1a"), 16);

    const fs::path alone = dir_ / "alone";
    const fs::path aloneOut = dir_ / "alone-out";
    fs::create_directories(alone);
    fs::create_directories(aloneOut);
    fs::copy_file(fs::path(samplesDir()) / "qvs04167.raw", alone / "qvs04167.raw");
    const BatchRun single =
        runTool({"--begin", "2004-06-15", "--end", "2004-06-15", "--input", alone.string(),
                 "--output", aloneOut.string(), "--input-type", "ascii", "--site", "qvs",
                 "--minutes", "30", "--window", "2", "--threshold", "50", "--quiet"});
    EXPECT_EQ(single.status, 0);
    EXPECT_NE(single.err.find("qvs04168.raw"), std::string::npos) << single.err;
    EXPECT_LE(lastPeriodMaxCount(aloneOut / "QVS04167.w1a"), 16);
}

TEST_F(BatchEndToEnd, RealExecutablesAreReproducibleAndMatchTheTruth) {
    std::string outputs[2];
    for (int i = 0; i < 2; ++i) {
        const fs::path out = dir_ / ("run" + std::to_string(i));
        fs::create_directories(out);
        outputs[i] = out.string();
        for (const char* kind : {"winds", "temperature"}) {
            std::string command = std::string("SOURCE_DATE_EPOCH=") + kEpoch + " " +
                                  quote(tool("quorvane-batch"));
            for (const std::string& arg : sampleArgs(out.string(), kind)) command += " " + quote(arg);
            command += " --settings " + quote(samplesDir() + "/qvs_settings.csv") +
                       " 2> " + quote((dir_ / "err.txt").string());
            ASSERT_EQ(runCommand(command), 0) << readFile(dir_ / "err.txt");
        }
    }
    const std::vector<std::string> names = listFolder(outputs[0]);
    ASSERT_EQ(names.size(), 6u);
    for (const std::string& name : names) {
        EXPECT_EQ(readFile(fs::path(outputs[0]) / name), readFile(fs::path(outputs[1]) / name))
            << name;
    }

    const std::string summary = (dir_ / "summary.txt").string();
    ASSERT_EQ(runCommand(quote(tool("quorvane-samplegen")) + " compare --truth " +
                         quote(samplesDir()) + " --winds " + quote(outputs[0]) +
                         " --temperature " + quote(outputs[0]) +
                         " --max-wind-rms 0.8 --max-temperature-rms 0.3 > " + quote(summary)),
              0);
    const std::vector<std::string> printed = lines(readFile(summary));
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0].rfind("Compared with the truth: winds ", 0), 0u) << printed[0];
    EXPECT_NE(printed[0].find("; temperature "), std::string::npos) << printed[0];

    // A limit the data cannot meet fails the comparison.
    EXPECT_EQ(runCommand(quote(tool("quorvane-samplegen")) + " compare --truth " +
                         quote(samplesDir()) + " --winds " + quote(outputs[0]) +
                         " --max-wind-rms 0.01 > /dev/null 2>&1"),
              1);
}

TEST_F(BatchEndToEnd, RealExecutableExitsWithTwoForInvalidArguments) {
    const std::string err = (dir_ / "err.txt").string();
    EXPECT_EQ(runCommand(quote(tool("quorvane-batch")) + " --begin 2004-06-15 2> " + quote(err)), 2);
    EXPECT_EQ(readFile(err), "--end is missing: the last day to process, YYYY-MM-DD.\n");
    EXPECT_EQ(runCommand(quote(tool("quorvane-batch")) + " --help > /dev/null"), 0);
}

}  // namespace
}  // namespace qv::test
