// Input files that open but cannot be read: the reader says which file and
// why, so that the day is not lost without a reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/job.h"
#include "input/ascii_moments.h"
#include "support/scripted_host.h"
#include "support/test_folder.h"

namespace {

namespace fs = std::filesystem;

qv::CalendarTime june15() {
    qv::CalendarTime c;
    c.year = 2004;
    c.month = 6;
    c.day = 15;
    return c;
}

class UnreadableInput : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = qv::test::freshTestFolder("qv_unreadable");
        job.host = &host;
        job.params.inputPath = dir_.string();
        job.params.siteId = "abc";
        job.params.averagingMinutes = 60;
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    fs::path dir_;
    qv::test::ScriptedHost host;
    qv::ConsensusJob job;
};

TEST_F(UnreadableInput, DayFileThatIsAFolderIsReportedAndEndsTheDay) {
    for (const qv::OutputKind kind : {qv::OutputKind::Winds, qv::OutputKind::Temperature}) {
        const std::string name = kind == qv::OutputKind::Winds ? "abc04167.raw" : "abc04167.rat";
        SCOPED_TRACE(name);
        host.output = kind;
        host.errors.clear();
        fs::create_directories(dir_ / name);
        EXPECT_EQ(qv::GetAsciiMoments(job, june15()), 0);
        const std::string text = "GetAsciiMoments Error: Can not read input file " + (dir_ / name).string();
        EXPECT_EQ(host.errors, std::vector<std::string>{text});
        EXPECT_EQ(job.dayError, text);
        EXPECT_EQ(job.statusText, text);
        EXPECT_TRUE(job.periods.empty());
    }
}

TEST_F(UnreadableInput, NextDayFileThatIsAFolderKeepsTheDaysDwells) {
    write("abc04167.raw", " STN 4001 10525 1600\n1 90.0 0 4 167 12 0 30\n0 700 105 0 1\n0.5 3.0\n");
    fs::create_directories(dir_ / "abc04168.raw");
    host.output = qv::OutputKind::Winds;
    EXPECT_EQ(qv::GetAsciiMoments(job, june15()), 0);
    EXPECT_EQ(host.errors, std::vector<std::string>{"GetAsciiMoments Error: Can not read input file " +
                                                    (dir_ / "abc04168.raw").string()});
    ASSERT_EQ(job.periods.count(), 1u);
    EXPECT_STREQ(job.periods.findByPosition(std::size_t{0})->key, "1200");
}

TEST_F(UnreadableInput, EmptyFilesAreReadNotUnreadable) {
    write("abc04167.raw", "");
    host.output = qv::OutputKind::Winds;
    EXPECT_EQ(qv::GetAsciiMoments(job, june15()), 0);
    // Not a read error; the day is reported as not processed, by its file.
    ASSERT_EQ(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0], "abc04167.raw: no header line (the file is empty); nothing read.");
    EXPECT_EQ(job.dayError, "");
}

}  // namespace
