// A run killed at any moment (SIGKILL: no handler, no cleanup) leaves every
// consensus file whole: each file present equals the complete run's file,
// and a rerun over the same folder gives the complete set with no
// temporary file left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
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

// Starts the batch tool in a child process; its output goes nowhere. A
// positive `maxFileBytes` limits the size of the files it may write.
pid_t startTool(const std::vector<std::string>& args, rlim_t maxFileBytes = 0) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (maxFileBytes > 0) {
            const rlimit limit{maxFileBytes, maxFileBytes};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
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

// The exit status, or minus the signal that ended the process.
int waitFor(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Starts the tool with its error stream on a pipe and returns once it has
// printed its first status line (its signal handling is set up by then).
pid_t startToolAndWaitForItsFirstLine(const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        ::dup2(fds[1], STDERR_FILENO);
        ::setenv("SOURCE_DATE_EPOCH", "1000000000", 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(kBatch.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(kBatch.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') {
    }
    // The rest of what it prints is drained by a thread, so that it never
    // blocks on a full pipe.
    std::thread([fd = fds[0]] {
        char buffer[4096];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        ::close(fd);
    }).detach();
    return child;
}

// The files of a folder but the output folder lock's (a run killed while
// taking it may leave its temporary file behind).
std::map<std::string, std::string> filesIn(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : listFolder(dir)) {
        if (name.rfind(".quorvane.lock", 0) == 0) continue;
        files[name] = readFile(dir / name);
    }
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
            if (waitFor(child) == -SIGKILL) ++cutShort;

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

TEST_F(Interruption, FileSizeLimitIsReportedAndLeavesNoCutFile) {
    // The tool handles SIGXFSZ itself: the write fails and is reported.
    const fs::path out = dir_ / "limited";
    fs::create_directories(out);
    EXPECT_EQ(waitFor(startTool(args(out, "winds"), 2000)), batch::kExitUnwritten);
    EXPECT_TRUE(listFolder(out).empty());
}

TEST_F(Interruption, SecondInterruptEndsAtOnceWithItsOwnStatus) {
    const fs::path complete = dir_ / "complete";
    fs::create_directories(complete);
    ASSERT_EQ(waitFor(startTool(args(complete, "winds"))), 0);
    const std::map<std::string, std::string> expected = filesIn(complete);
    int twice = 0;
    for (int attempt = 0; attempt < 5 && twice == 0; ++attempt) {
        const fs::path out = dir_ / ("twice-" + std::to_string(attempt));
        fs::create_directories(out);
        std::vector<std::string> loud = args(out, "winds");
        loud.pop_back();  // no --quiet: the first status line says it runs
        const pid_t child = startToolAndWaitForItsFirstLine(loud);
        ASSERT_GT(child, 0);
        ::kill(child, SIGINT);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        ::kill(child, SIGINT);
        const int status = waitFor(child);
        // Ended at once, after a clean cancel, or (on a very fast machine)
        // done before the signals came.
        EXPECT_TRUE(status == batch::kExitInterruptedTwice || status == batch::kExitInterrupted ||
                    status == 0)
            << status;
        if (status == batch::kExitInterruptedTwice) ++twice;
        for (const auto& [name, text] : filesIn(out)) {
            if (name.front() == '.') continue;
            EXPECT_EQ(text, expected.at(name)) << name;
        }
    }
    EXPECT_GT(twice, 0);
}

}  // namespace
}  // namespace qv::test
