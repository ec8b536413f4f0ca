// A run killed at any moment (SIGKILL: no handler, no cleanup) leaves every
// consensus file whole: each file present equals the complete run's file,
// and a rerun over the same folder gives the complete set with no
// temporary file left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/batch_test_support.h"

namespace qv::test {
namespace {

const std::string kBatch = std::string(QUORVANE_BINARY_DIR) + "/app/quorvane-batch";
const std::string kGenerator = std::string(QUORVANE_BINARY_DIR) + "/app/quorvane-samplegen";

// Starts the batch tool in a child process; its output goes nowhere.
pid_t startTool(const std::vector<std::string>& args) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("SOURCE_DATE_EPOCH", "1000000000", 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(kBatch.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (std::FILE* null = std::freopen("/dev/null", "w", stderr)) (void)null;
        ::execv(kBatch.c_str(), argv.data());
        ::_exit(127);
    }
    return child;
}

int waitFor(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::map<std::string, std::string> filesIn(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : listFolder(dir)) files[name] = readFile(dir / name);
    return files;
}

class Interruption : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        if (::access(kBatch.c_str(), X_OK) != 0 || ::access(kGenerator.c_str(), X_OK) != 0) {
            GTEST_SKIP() << "quorvane-batch or quorvane-samplegen is not built";
        }
        input_ = dir_ / "in";
        fs::create_directories(input_);
        const std::string command = kGenerator + " generate --out " + input_.string() +
                                    " --days 4 --from 00:00 --to 24:00 > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::vector<std::string> args(const fs::path& out, const std::string& kind) const {
        return {"--begin",  "2004-06-15", "--end",        "2004-06-18", "--input",
                input_.string(), "--output", out.string(), "--input-type", "ascii",
                "--site",   "qvs",        "--kind",       kind,         "--minutes",
                "10",       "--window",   "2",            "--threshold", "30",
                "--rass-window", "1.5", "--quiet"};
    }

    fs::path input_;
};

TEST_F(Interruption, KilledAtAnyMomentLeavesOnlyWholeFilesAndARerunCompletesThem) {
    for (const std::string kind : {"winds", "temperature"}) {
        SCOPED_TRACE(kind);
        const fs::path complete = dir_ / ("complete-" + kind);
        fs::create_directories(complete);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(waitFor(startTool(args(complete, kind))), 0);
        const auto duration = std::chrono::steady_clock::now() - start;
        const std::map<std::string, std::string> expected = filesIn(complete);
        ASSERT_GE(expected.size(), 4u);

        // Kill moments spread over the whole run, and a few past its end.
        const int kMoments = 40;
        int cutShort = 0;
        for (int i = 0; i < kMoments; ++i) {
            const fs::path out = dir_ / (kind + "-" + std::to_string(i));
            fs::create_directories(out);
            const pid_t child = startTool(args(out, kind));
            std::this_thread::sleep_for(duration * i / (kMoments - 5));
            ::kill(child, SIGKILL);
            if (waitFor(child) == 128 + SIGKILL) ++cutShort;

            for (const auto& [name, text] : filesIn(out)) {
                if (name.front() == '.') continue;  // a temporary file of the killed run
                ASSERT_TRUE(expected.count(name)) << name;
                EXPECT_EQ(text, expected.at(name)) << name << " after a kill at moment " << i;
            }
            // The rerun over the same folder gives the complete set.
            ASSERT_EQ(waitFor(startTool(args(out, kind))), 0);
            EXPECT_EQ(filesIn(out), expected) << "rerun after a kill at moment " << i;
        }
        EXPECT_GT(cutShort, 0) << "no run was killed before its end";
    }
}

}  // namespace
}  // namespace qv::test
