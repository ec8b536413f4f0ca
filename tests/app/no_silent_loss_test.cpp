// Nothing is lost without a word: output that cannot be written (folder
// missing, a file where the folder should be, a folder where a file should
// be, a full disk) is listed at the end of the run and makes the batch tool
// exit with 1, while the run goes on with the other files and days; a day
// whose input files are missing or unreadable is reported with the reader's
// reason before "No moments available".
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "input/krx/krx.h"
#include "output/folder_lock.h"
#include "tests/app/batch_test_support.h"

namespace qv::test {
namespace {

const std::vector<std::string> kSettings = {"--window", "2",   "--threshold",
                                            "50",       "--rass-window", "1.5",
                                            "--quiet"};

// The files a run over the two sample days writes, by kind.
std::vector<std::string> sampleOutputs(const std::string& kind) {
    if (kind == "winds") return {"QVS04167.w1a", "QVS04168.w1a"};
    return {"QVS04167.t1a", "QVS04167.t2a", "QVS04168.t1a", "QVS04168.t2a"};
}

// The end-of-run list: each file with the system's reason.
std::string unwrittenList(const std::string& folder, const std::vector<std::string>& names,
                          const std::string& reason) {
    std::string text = "These output files could not be written:\n";
    for (const std::string& name : names) text += "  " + folder + "/" + name + ": " + reason + "\n";
    return text;
}

// Runs the tool in a child process whose files may not grow beyond
// `maxFileBytes` (a full disk, as a writer sees it: SIGXFSZ is ignored, so
// the write fails with EFBIG). Returns the exit status and what the tool
// printed on its error stream.
BatchRun runWithFileSizeLimit(const std::vector<std::string>& args, rlim_t maxFileBytes) {
    int pipeFds[2];
    BatchRun result;
    if (::pipe(pipeFds) != 0) return result;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{maxFileBytes, maxFileBytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const BatchRun run = runTool(args);
        std::size_t done = 0;
        while (done < run.err.size()) {
            const ssize_t n = ::write(pipeFds[1], run.err.data() + done, run.err.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(pipeFds[1]);
        ::_exit(run.status);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        result.err.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    return result;
}

class NoSilentLoss : public TempFolderTest {};

// A missing output folder is made when the folder it goes in exists; a
// folder that cannot hold files stops the run before anything is read.
TEST_F(NoSilentLoss, OutputFolderIsMadeOrTheRunStopsBeforeReading) {
    struct Case {
        const char* label;
        std::function<std::string(const fs::path&)> prepare;  // returns the output folder
        std::function<std::string(const std::string&)> said;   // empty: the run goes on
    };
    const Case cases[] = {
        {"folder missing", [](const fs::path& dir) { return (dir / "new-folder").string(); }, {}},
        {"folder and its parent missing",
         [](const fs::path& dir) { return (dir / "none" / "out").string(); },
         [](const std::string& out) {
             return "The output folder " + out + " does not exist, nor does the folder it would go in (" +
                    fs::path(out).parent_path().string() + ").\n";
         }},
        {"a regular file instead of the folder",
         [](const fs::path& dir) {
             writeFile(dir / "plain", "a file, not a folder");
             return (dir / "plain").string();
         },
         [](const std::string& out) { return "The output folder " + out + " is not a folder.\n"; }},
        {"folder below a regular file",
         [](const fs::path& dir) {
             writeFile(dir / "plain", "a file, not a folder");
             return (dir / "plain" / "out").string();
         },
         [](const std::string& out) {
             return "The output folder " + out + " cannot be made: " +
                    fs::path(out).parent_path().string() + " is not a folder.\n";
         }},
    };
    for (const std::string kind : {"winds", "temperature"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(kind + ": " + c.label);
            const fs::path case_dir = dir_ / (kind + "-" + std::to_string(&c - cases));
            fs::create_directories(case_dir);
            const std::string output = c.prepare(case_dir);
            const BatchRun run = runTool(sampleArgs(output, kind) + kSettings);
            if (!c.said) {
                EXPECT_EQ(run.status, batch::kExitDone) << run.err;
                EXPECT_EQ(listFolder(output), sampleOutputs(kind));
                continue;
            }
            EXPECT_EQ(run.status, batch::kExitUsage);
            EXPECT_EQ(run.err, c.said(output));
        }
    }
}

// The netCDF files and plots of a day are written while the next day is
// read; what they could not write is still listed in the run's day order,
// each file beside its day's consensus file, with the system's reason, and
// held-back days (the continuity stage) are written before the run ends.
TEST_F(NoSilentLoss, OptionalOutputsOfEveryDayAreListedInDayOrder) {
    const std::vector<std::string> names = {
        "QVS04167.w1a", "QVS_20040615_winds_m1.nc", "QVS_20040615_winds.png",
        "QVS04168.w1a", "QVS_20040616_winds_m1.nc", "QVS_20040616_winds.png"};
    for (const bool continuity : {false, true}) {
        SCOPED_TRACE(continuity ? "continuity" : "plain");
        // Every final name taken by a folder: no file of the run can be written.
        const fs::path output = dir_ / (continuity ? "taken-c" : "taken");
        for (const std::string& name : names) fs::create_directories(output / name);
        std::vector<std::string> args =
            sampleArgs(output.string(), "winds") + kSettings +
            std::vector<std::string>{"--netcdf", "--plot", "png"};
        if (continuity) args.push_back("--continuity");
        const BatchRun run = runTool(args);
        EXPECT_EQ(run.status, batch::kExitUnwritten);
        EXPECT_EQ(run.err, unwrittenList(output.string(), names, "Is a directory"));
    }
}

TEST_F(NoSilentLoss, OutputFileThatIsAFolderIsListedAndTheRunGoesOn) {
    for (const std::string kind : {"winds", "temperature"}) {
        SCOPED_TRACE(kind);
        const fs::path out = dir_ / kind;
        const std::vector<std::string> names = sampleOutputs(kind);
        // The first day's first file is a folder; every other file is written.
        fs::create_directories(out / names[0]);
        const BatchRun run = runTool(sampleArgs(out.string(), kind) + kSettings);
        EXPECT_EQ(run.status, batch::kExitUnwritten);
        EXPECT_EQ(run.err, unwrittenList(out.string(), {names[0]}, "Is a directory"));
        for (std::size_t i = 1; i < names.size(); ++i) {
            EXPECT_TRUE(fs::is_regular_file(out / names[i])) << names[i];
            EXPECT_GT(fs::file_size(out / names[i]), 0u) << names[i];
        }
    }
}

TEST_F(NoSilentLoss, FullDiskListsEveryFileAndLeavesNoneCutShort) {
    // Limits that stop the writes in the header lines, in the first period
    // block, and further on: no file of the run can be written whole, so
    // none is left, neither cut short nor as a temporary file.
    for (const std::string kind : {"winds", "temperature"}) {
        for (const rlim_t limit : {rlim_t{200}, rlim_t{1500}, rlim_t{4000}}) {
            SCOPED_TRACE(kind + ", " + std::to_string(limit) + " bytes");
            const fs::path out = dir_ / (kind + std::to_string(limit));
            fs::create_directories(out);
            const BatchRun run = runWithFileSizeLimit(sampleArgs(out.string(), kind) + kSettings, limit);
            EXPECT_EQ(run.status, batch::kExitUnwritten);
            EXPECT_EQ(run.err, unwrittenList(out.string(), sampleOutputs(kind), "File too large"));
            EXPECT_TRUE(listFolder(out).empty());
        }
    }
}

TEST_F(NoSilentLoss, FullDiskThatStillHoldsEveryFileIsNotReported) {
    // A limit above the largest file: nothing is cut, nothing is listed.
    const fs::path out = dir_ / "out";
    fs::create_directories(out);
    const BatchRun run = runWithFileSizeLimit(sampleArgs(out.string(), "winds") + kSettings, 1 << 20);
    EXPECT_EQ(run.status, batch::kExitDone) << run.err;
    EXPECT_EQ(run.err, "");
}

// ---- Days whose input cannot be read ----------------------------------------

struct DayCase {
    const char* label;
    const char* inputType;
    std::function<void(const fs::path&)> prepare;  // lays out the input folder
    std::string reason;                            // the reader's line; {in} = input folder
};

std::string expand(std::string text, const std::string& folder) {
    const std::string key = "{in}";
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), folder);
    return text;
}

TEST_F(NoSilentLoss, DayWhoseFilesAreMissingOrUnreadableIsReportedWithItsReason) {
    const DayCase cases[] = {
        {"ascii file missing", "ascii", [](const fs::path&) {},
         "GetAsciiMoments Error: Can not open input file {in}/qvs04167.raw"},
        {"ascii file is a folder", "ascii",
         [](const fs::path& in) { fs::create_directories(in / "qvs04167.raw"); },
         "GetAsciiMoments Error: Can not read input file {in}/qvs04167.raw"},
        {"binary pair missing", "binary", [](const fs::path&) {},
         "GetBinaryMoments Error: KRX can not open input file {in}/d04167a.spc"},
        {"binary data file without its header file", "binary",
         [](const fs::path& in) { writeFile(in / "d04167a.mom", std::string(64, '\0')); },
         "GetBinaryMoments Error: KRX can not open input file {in}/d04167a.spc"},
        {"binary data and header files are folders", "binary",
         [](const fs::path& in) {
             fs::create_directories(in / "d04167a.mom");
             fs::create_directories(in / "h04167a.mom");
         },
         // They open, but no header record can be read from them.
         "GetBinaryMoments Error: KRX can not set radar index zero."},
    };
    for (const DayCase& c : cases) {
        SCOPED_TRACE(c.label);
        // The library's header block outlives a file; start each day as a new process would.
        krx_reset_state();
        const fs::path in = dir_ / ("in-" + std::to_string(&c - cases));
        const fs::path out = dir_ / ("out-" + std::to_string(&c - cases));
        fs::create_directories(in);
        fs::create_directories(out);
        c.prepare(in);
        const BatchRun run = runTool({"--begin", "2004-06-15", "--end", "2004-06-15", "--input",
                                      in.string(), "--output", out.string(), "--input-type",
                                      c.inputType, "--site", "qvs", "--minutes", "30"});
        EXPECT_EQ(run.status, batch::kExitNothingWritten);
        const std::vector<std::string> got = lines(run.err);
        ASSERT_EQ(got.size(), 8u) << run.err;
        EXPECT_EQ(got[6].rfind("Nothing was written. No moments were found in ", 0), 0u);
        EXPECT_EQ(got[2], expand(c.reason, in.string()));
        EXPECT_EQ(got[3], "No moments available on 06/15/04.");
        EXPECT_TRUE(listFolder(out).empty());
    }
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// Two runs into one folder would interleave their periods: the second is
// refused while the first holds the folder, and the folder is free again
// after a run.
TEST_F(NoSilentLoss, SecondRunIntoTheSameFolderIsRefused) {
    const fs::path out = dir_ / "out";
    fs::create_directories(out);
    std::unique_ptr<OutputFolderLock> first;
    std::string message;
    ASSERT_EQ(OutputFolderLock::acquire(out.string(), first, message), LockResult::Locked);
    BatchRun run = runTool(sampleArgs(out.string(), "winds") + kSettings);
    EXPECT_EQ(run.status, batch::kExitFolderInUse);
    EXPECT_EQ(run.err.rfind("The output folder " + out.string() +
                                " is in use by another Quorvane run (process ",
                            0),
              0u)
        << run.err;
    EXPECT_TRUE(listFolder(out).size() == 1);  // the lock file alone
    first.reset();
    run = runTool(sampleArgs(out.string(), "winds") + kSettings);
    EXPECT_EQ(run.status, batch::kExitDone) << run.err;
    EXPECT_EQ(listFolder(out), sampleOutputs("winds"));
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// A settings row typed with the wrong elevation matches no beam: the beam
// takes the defaults, and the row is named.
TEST_F(NoSilentLoss, SettingsRowThatMatchesNoBeamIsNamed) {
    const fs::path settings = dir_ / "s.csv";
    // A byte-order mark, as some editors save CSV files.
    writeFile(settings, "\xEF\xBB\xBF" "azimuth,elevation,pulse_width,rass,window,threshold\n"
                        "0,66.5,700,0,2,50\n0,90,700,0,2,50\n");
    const fs::path out = dir_ / "out";
    fs::create_directories(out);
    const BatchRun run = runTool(sampleArgs(out.string(), "winds") +
                                 std::vector<std::string>{"--settings", settings.string(),
                                                          "--window", "2", "--threshold", "50",
                                                          "--quiet"});
    EXPECT_EQ(run.status, batch::kExitDone) << run.err;
    EXPECT_EQ(run.err, "Warning: " + settings.string() +
                           ", line 2: azimuth 0, elevation 66.5, pulse width 700 ns, RASS OFF "
                           "matches no beam (nearest: elevation 66.4).\n");
}

// --save-settings never overwrites a moment file.
TEST_F(NoSilentLoss, SaveSettingsRefusesAMomentFile) {
    const fs::path moments = dir_ / "qvs04167.raw";
    fs::copy_file(samplesDir() + "/qvs04167.raw", moments);
    const std::string before = readFile(moments);
    const BatchRun run = runTool(sampleArgs((dir_ / "out").string(), "winds") +
                                 std::vector<std::string>{"--save-settings", moments.string()});
    EXPECT_EQ(run.status, batch::kExitUsage);
    EXPECT_NE(run.err.find("is not a settings file; it is not overwritten"), std::string::npos);
    EXPECT_EQ(readFile(moments), before);
}

}  // namespace
}  // namespace qv::test
