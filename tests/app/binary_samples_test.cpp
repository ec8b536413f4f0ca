// The bundled binary sample days: the generator still makes them, and the
// batch tool turns them into the same consensus files as their ASCII twins.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/batch_test_support.h"

namespace qv::test {
namespace {

constexpr const char* kEpoch = "1087389296";  // 2004-06-16 12:34:56 UTC

std::string binarySamplesDir() { return samplesDir() + "/binary"; }

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class BinarySamples : public TempFolderTest {};

TEST_F(BinarySamples, GeneratorStillMakesTheBundledPairsAndTwins) {
    const std::string samplegen = std::string(QUORVANE_BINARY_DIR) + "/app/quorvane-samplegen";
    if (!fs::exists(samplegen)) GTEST_FAIL() << samplegen << " is not built";
    const fs::path made = dir_ / "made";
    fs::create_directories(made);
    const int rc = std::system((quoted(samplegen) + " generate --format binary --out " +
                                quoted(made.string()) + " > /dev/null")
                                   .c_str());
    ASSERT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0);

    const std::vector<std::string> pairs = {"d04167a.mom", "d04168a.mom", "d04169a.mom",
                                            "h04167a.mom", "h04168a.mom", "h04169a.mom", "twin"};
    EXPECT_EQ(listFolder(made), pairs);
    const std::vector<std::string> twins = {"qvs04167.rat", "qvs04167.raw", "qvs04168.rat",
                                            "qvs04168.raw", "qvs04169.rat", "qvs04169.raw"};
    EXPECT_EQ(listFolder(made / "twin"), twins);
    for (const std::string& name : pairs) {
        if (name == "twin") continue;
        EXPECT_EQ(readFile(made / name), readFile(fs::path(binarySamplesDir()) / name)) << name;
    }
    for (const std::string& name : twins) {
        EXPECT_EQ(readFile(made / "twin" / name), readFile(fs::path(binarySamplesDir()) / "twin" / name))
            << name;
    }
}

TEST_F(BinarySamples, TwinHoldsTheRassDwellsTwiceAndTheStationInLowerCase) {
    const std::string rat = readFile(fs::path(binarySamplesDir()) / "twin" / "qvs04167.rat");
    const std::vector<std::string> l = lines(rat);
    ASSERT_GT(l.size(), 40u);
    EXPECT_EQ(l[0], " qvs 4001 -10525 1611");
    // The RASS dwell of 21:01:06: radar moments first, then acoustic ones,
    // 14 gates each.
    EXPECT_EQ(l[1], "0 90.0 0 4 167 21 1 6");
    EXPECT_EQ(l[2], "40 700 150 64 14");
    EXPECT_EQ(l[17], "1 90.0 0 4 167 21 1 6");
    EXPECT_EQ(l[18], "40 700 150 64 14");
}

TEST_F(BinarySamples, BatchMakesTheSameFilesFromPairsAndTwins) {
    struct Case {
        const char* kind;
        std::vector<std::string> consensus;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"winds", {"--window", "2", "--threshold", "50"}, {"qvs04167.w1a", "qvs04168.w1a"}},
        {"temperature",
         {"--settings", samplesDir() + "/qvs_settings.csv"},
         {"qvs04167.t1a", "qvs04167.t2a", "qvs04168.t1a", "qvs04168.t2a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const fs::path fromPairs = dir_ / (std::string("pairs-") + c.kind);
        const fs::path fromTwins = dir_ / (std::string("twins-") + c.kind);
        fs::create_directories(fromPairs);
        fs::create_directories(fromTwins);
        const std::vector<std::string> common = {"--begin", "2004-06-15", "--end", "2004-06-16",
                                                 "--minutes", "30", "--kind", c.kind, "--quiet"};
        batch::BatchContext context;
        context.sourceDateEpoch = kEpoch;
        const BatchRun binary = runTool(common + c.consensus +
                                            std::vector<std::string>{"--input", binarySamplesDir(),
                                                                     "--output", fromPairs.string(),
                                                                     "--input-type", "binary"},
                                        context);
        ASSERT_EQ(binary.status, 0) << binary.err;
        const BatchRun ascii =
            runTool(common + c.consensus +
                        std::vector<std::string>{"--input", binarySamplesDir() + "/twin", "--output",
                                                 fromTwins.string(), "--input-type", "ascii", "--site",
                                                 "qvs"},
                    context);
        ASSERT_EQ(ascii.status, 0) << ascii.err;

        EXPECT_EQ(listFolder(fromPairs), c.files);
        EXPECT_EQ(listFolder(fromTwins), c.files);
        for (const std::string& name : c.files) {
            EXPECT_EQ(readFile(fromPairs / name), readFile(fromTwins / name)) << name;
        }
    }
}

}  // namespace
}  // namespace qv::test
