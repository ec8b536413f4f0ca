#include "input/ascii_moments.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/job.h"
#include "core/numeric.h"
#include "support/dates.h"
#include "support/scripted_host.h"
#include "support/test_folder.h"

namespace {

namespace fs = std::filesystem;
using qv::AveragingPeriod;
using qv::BeamAccumulator;
using qv::CalendarTime;
using qv::OutputKind;

using qv::test::date;

// One record: its two record lines and its gate lines, each ended by "\n".
std::string record(const std::string& line1, const std::string& line2,
                   std::initializer_list<const char*> gates) {
    std::string out = line1 + "\n" + line2 + "\n";
    for (const char* g : gates) out += std::string(g) + "\n";
    return out;
}

const std::string kHeader = " STN 4001 10525 1600\n";

// 15 June 2004 is day 167; its next day is 168.
const CalendarTime kDay = date(2004, 6, 15);

class AsciiMoments : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = qv::test::freshTestFolder("qv_ascii");
        job.host = &host;
        job.params.inputPath = dir_.string();
        job.params.siteId = "abc";
        job.params.averagingMinutes = 60;
        host.output = OutputKind::Winds;
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string& name, const std::string& content) {
        std::ofstream out(dir_ / name, std::ios::binary);
        out << content;
    }

    // The processing day's and the next day's ".raw" files of kDay.
    void writeDay(const std::string& today, const std::string& tomorrow) {
        write("abc04167.raw", today);
        write("abc04168.raw", tomorrow);
    }

    int run(const CalendarTime& day = kDay) { return qv::GetAsciiMoments(job, day); }

    std::vector<std::string> keys() { return qv::test::periodKeys(job); }

    AveragingPeriod* period(const std::string& key) { return qv::test::findPeriod(job, key); }

    // The only accumulator of a period.
    BeamAccumulator* onlyBeam(const std::string& key) {
        AveragingPeriod* p = period(key);
        if (!p || p->beams.count() != 1) return nullptr;
        return p->beams.findByPosition(std::size_t{0});
    }

    bool detailShown(const std::string& text) const {
        for (const std::string& line : host.detailLines) {
            if (line == text) return true;
        }
        return false;
    }

    std::string folder() const { return dir_.string(); }

    fs::path dir_;
    qv::test::ScriptedHost host;
    qv::ConsensusJob job;
};

// --- File names and opening -------------------------------------------------

TEST_F(AsciiMoments, MissingFileReportsItsComposedName) {
    struct Case {
        const char* label;
        bool trailingSlash;
        OutputKind kind;
        CalendarTime day;
        const char* name;
    };
    const Case cases[] = {
        {"winds", false, OutputKind::Winds, kDay, "abc04167.raw"},
        {"winds, folder ends in /", true, OutputKind::Winds, kDay, "abc04167.raw"},
        {"temperature", false, OutputKind::Temperature, kDay, "abc04167.rat"},
        {"first of January", false, OutputKind::Winds, date(2004, 1, 1), "abc04001.raw"},
        {"31 December of a leap year", true, OutputKind::Temperature, date(2004, 12, 31),
         "abc04366.rat"},
        {"year 2010", false, OutputKind::Winds, date(2010, 3, 5), "abc10064.raw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        host.errors.clear();
        host.output = c.kind;
        job.params.inputPath = folder() + (c.trailingSlash ? "/" : "");
        const std::string expected = folder() + "/" + c.name;

        EXPECT_EQ(qv::GetAsciiMoments(job, c.day), 0);
        EXPECT_EQ(job.inputFileName, expected);
        // The next day's file is not tried after the processing day's is missing.
        ASSERT_EQ(host.errors.size(), 1u);
        EXPECT_EQ(host.errors[0], "GetAsciiMoments Error: Can not open input file " + expected);
        EXPECT_EQ(job.statusText, host.errors[0]);
        EXPECT_EQ(job.dayError, host.errors[0]);
        EXPECT_TRUE(job.periods.empty());
    }
}

TEST_F(AsciiMoments, ShowsUnpackingInTheFirstStatusLine) {
    run();
    ASSERT_FALSE(host.mainLines.empty());
    EXPECT_EQ(host.mainLines.front(), "Unpacking ascii moments.");
}

TEST_F(AsciiMoments, YearChangeReadsDayOneOfTheNextYear) {
    // 31 December 2003 is day 365; the second file is day 001 of 2004.
    write("abc03365.raw", kHeader + record("1 90.0 0 3 365 23 30 0", "0 700 105 0 1", {"0.5 3.0"}));
    EXPECT_EQ(run(date(2003, 12, 31)), 0);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0],
              "GetAsciiMoments Error: Can not open input file " + folder() + "/abc04001.raw");
    // The records already read stay in the store.
    EXPECT_EQ(keys(), std::vector<std::string>{"2300"});

    write("abc04001.raw",
          kHeader + record("1 90.0 0 3 365 23 59 59", "0 700 105 0 1", {"0.7 3.0"}));
    qv::ClearPeriodStore(job);
    host.errors.clear();
    EXPECT_EQ(run(date(2003, 12, 31)), 1);
    EXPECT_TRUE(host.errors.empty());
    ASSERT_NE(onlyBeam("2300"), nullptr);
    EXPECT_EQ(onlyBeam("2300")->sampleCount, 2);
}

TEST_F(AsciiMoments, UpperCaseFileNamesAreFound) {
    write("ABC04167.RAW", kHeader + record("1 90.0 0 4 167 12 0 30", "0 700 105 0 1", {"0.5 3.0"}));
    write("Abc04168.Raw", kHeader);
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(keys(), std::vector<std::string>{"1200"});
    EXPECT_EQ(job.inputFileName, folder() + "/Abc04168.Raw");
}

TEST_F(AsciiMoments, WindsWithOnlyRatFilesOpensNothing) {
    write("abc04167.rat", kHeader + record("0 90.0 0 4 167 12 0 30", "0 700 105 0 1", {"0.5 3.0"}));
    write("abc04168.rat", kHeader);
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(job.periods.empty());
    EXPECT_TRUE(job.beamSettings.empty());
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0],
              "GetAsciiMoments Error: Can not open input file " + folder() + "/abc04167.raw");
}

TEST_F(AsciiMoments, NoOutputKindReadsNothingAndSucceeds) {
    host.output = OutputKind::None;
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_TRUE(job.periods.empty());
}

// --- Values of a record -----------------------------------------------------

TEST_F(AsciiMoments, RecordFieldsReachTheStore) {
    writeDay(kHeader + record("1 66.4 45 4 167 12 3 45", "0 700 105 0 3",
                              {"1.25 10.5", "1.40 8.2", "-0.35 2.1"}),
             kHeader);
    ASSERT_EQ(run(), 1);

    const qv::MomentRecord& r = job.record;
    EXPECT_EQ(r.stationName, "STN");
    EXPECT_EQ(r.latitudeCenti, 4001);
    EXPECT_EQ(r.longitudeCenti, 10525);
    EXPECT_EQ(r.siteElevation, 1600);
    EXPECT_EQ(r.processDayOfYear, 167);
    EXPECT_EQ(r.recordDayOfYear, 167);
    EXPECT_EQ(r.recordTime.year, 2004);
    EXPECT_EQ(r.recordTime.month, 6);
    EXPECT_EQ(r.recordTime.day, 15);
    EXPECT_EQ(r.recordTime.hour, 12);
    EXPECT_EQ(r.recordTime.minute, 3);
    EXPECT_EQ(r.recordTime.second, 45);
    EXPECT_EQ(r.rassFlag, 0);  // the first field of a ".raw" record is not the flag
    EXPECT_TRUE(detailShown("Reading data record 06/15/2004 12:03:45"));

    BeamAccumulator* b = onlyBeam("1200");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->azimuth, 45);
    EXPECT_EQ(b->elevation, 66.4f);
    EXPECT_EQ(b->pulseWidth, 700);
    EXPECT_EQ(b->firstGateHeight, 105);
    // 700 x 0.29999998f x 0.5f rounded to single precision, not 105.
    EXPECT_EQ(b->gateSpacing, 104.99999237060547f);
    EXPECT_EQ(b->rassFlag, 0);
    EXPECT_EQ(b->maxGateCount, 3);
    EXPECT_EQ(b->sampleCount, 1);
    const float velocity[] = {1.25f, 1.40f, -0.35f};
    const float snr[] = {10.5f, 8.2f, 2.1f};
    for (int g = 0; g < 3; ++g) {
        EXPECT_EQ(b->velocitySamples(g)[0], velocity[g]) << g;
        EXPECT_EQ(b->snrSamples(g)[0], snr[g]) << g;
    }
    ASSERT_EQ(job.beamSettings.count(), 1u);
}

TEST_F(AsciiMoments, GateSpacingIsRoundedToSinglePrecision) {
    struct Case {
        int pulseWidth;
        float spacing;
    };
    const Case cases[] = {{700, 104.99999237060547f},
                          {1000, 149.99998474121094f},
                          {500, 74.99999237060547f},
                          {333, 49.94999694824219f},
                          {0, 0.0f}};
    std::string today = kHeader;
    int minute = 1;
    for (const Case& c : cases) {
        today += record("1 90.0 0 4 167 12 " + std::to_string(minute++) + " 0",
                        "0 " + std::to_string(c.pulseWidth) + " 105 0 1", {"0.5 3.0"});
    }
    writeDay(today, kHeader);
    ASSERT_EQ(run(), 1);
    AveragingPeriod* p = period("1200");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->beams.count(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const BeamAccumulator* b = p->beams.findByPosition(i);
        EXPECT_EQ(b->pulseWidth, cases[i].pulseWidth);
        EXPECT_EQ(b->gateSpacing, cases[i].spacing) << cases[i].pulseWidth;
    }
}

TEST_F(AsciiMoments, HeaderIsParsedFromItsSecondCharacter) {
    struct Case {
        const char* header;
        const char* station;
        int latitude;
        int longitude;
        int elevation;
    };
    const Case cases[] = {
        {" STN 4001 10525 1600", "STN", 4001, 10525, 1600},
        {"#STN 4001 10525 1600", "STN", 4001, 10525, 1600},
        {"STN 4001 10525 1600", "TN", 4001, 10525, 1600},  // no marker: first letter lost
        {" STN -4001 -10525 -12", "STN", -4001, -10525, -12},
        {" STN 4001", "STN", 4001, 0, 0},         // missing numbers give 0
        {" STN 4001 x 1600", "STN", 4001, 0, 0},  // the scan ends at x
        {" STN 99999 -99999 1600", "STN", 32767, -32768, 1600},
        {" ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 1 2 3",
         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvw", 1, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        qv::ConsensusJob fresh;
        fresh.host = &host;
        fresh.params = job.params;
        writeDay(std::string(c.header) + "\n", std::string(c.header) + "\r\n");
        ASSERT_EQ(qv::GetAsciiMoments(fresh, kDay), 1);
        EXPECT_EQ(fresh.record.stationName, c.station);
        EXPECT_EQ(fresh.record.latitudeCenti, c.latitude);
        EXPECT_EQ(fresh.record.longitudeCenti, c.longitude);
        EXPECT_EQ(fresh.record.siteElevation, c.elevation);
    }
}

TEST_F(AsciiMoments, MissingHeaderFieldsOfTheNextDayRepeatTheFirstFile) {
    job.record.stationName = "OLD";
    writeDay(" STN 4001 10525 1600\n", " \n");
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(job.record.stationName, "STN");
    EXPECT_EQ(job.record.latitudeCenti, 4001);
    EXPECT_EQ(job.record.siteElevation, 1600);

    // A new call starts its header numbers at 0; the name stays.
    write("abc04169.raw", " \n");
    write("abc04170.raw", " \n");
    ASSERT_EQ(run(date(2004, 6, 17)), 1);
    EXPECT_EQ(job.record.stationName, "STN");
    EXPECT_EQ(job.record.latitudeCenti, 0);
    EXPECT_EQ(job.record.longitudeCenti, 0);
    EXPECT_EQ(job.record.siteElevation, 0);
}

// --- The processing day and the next day ------------------------------------

TEST_F(AsciiMoments, NextDaysFileFillsTheLastPeriod) {
    struct Case {
        int minutes;
        std::vector<std::string> keys;
        std::vector<int> samples;
    };
    const Case cases[] = {
        {60, {"1200", "2300"}, {1, 2}},
        {7, {"1201", "2327", "2353"}, {1, 1, 1}},
        {1440, {"0000"}, {3}},
    };
    const std::string today = kHeader +
                              record("1 90.0 0 4 167 12 3 45", "0 700 105 0 1", {"0.5 3.0"}) +
                              record("1 90.0 0 4 167 23 30 0", "0 700 105 0 1", {"0.6 3.0"}) +
                              record("1 90.0 0 4 168 0 10 0", "0 700 105 0 1", {"0.7 3.0"});
    const std::string tomorrow = kHeader +
                                 record("1 90.0 0 4 167 23 59 30", "0 700 105 0 1", {"0.8 3.0"}) +
                                 record("1 90.0 0 4 168 0 0 0", "0 700 105 0 1", {"0.9 3.0"}) +
                                 record("1 90.0 0 4 168 0 20 0", "0 700 105 0 1", {"1.0 3.0"});
    writeDay(today, tomorrow);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.minutes);
        qv::ClearPeriodStore(job);
        host.detailLines.clear();
        job.params.averagingMinutes = c.minutes;
        ASSERT_EQ(run(), 1);
        EXPECT_EQ(keys(), c.keys);
        for (std::size_t i = 0; i < c.keys.size(); ++i) {
            ASSERT_NE(onlyBeam(c.keys[i]), nullptr);
            EXPECT_EQ(onlyBeam(c.keys[i])->sampleCount, c.samples[i]) << c.keys[i];
        }
        // Dwells of the next day are shown and dropped.
        EXPECT_TRUE(detailShown("Reading data record 06/16/2004 00:10:00"));
        EXPECT_TRUE(detailShown("Reading data record 06/16/2004 00:20:00"));
    }
    // The spilled dwell is the last sample of the last period.
    job.params.averagingMinutes = 60;
    qv::ClearPeriodStore(job);
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(onlyBeam("2300")->velocitySamples(0)[1], 0.8f);
}

TEST_F(AsciiMoments, RatRecordsOfBothFlagsMakeTwoBeams) {
    host.output = OutputKind::Temperature;
    write("abc04167.rat", kHeader + record("0 90.0 0 4 167 12 0 30", "0 700 105 0 1", {"0.5 3.0"}) +
                              record("1 90.0 0 4 167 12 1 30", "0 700 105 0 1", {"345.0 6.0"}) +
                              record("1 90.0 0 4 167 12 2 30", "0 700 105 0 1", {"346.0 6.5"}));
    write("abc04168.rat", kHeader);
    ASSERT_EQ(run(), 1);

    AveragingPeriod* p = period("1200");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->beams.count(), 2u);
    EXPECT_EQ(p->beams.findByPosition(std::size_t{0})->rassFlag, 0);
    EXPECT_EQ(p->beams.findByPosition(std::size_t{0})->sampleCount, 1);
    EXPECT_EQ(p->beams.findByPosition(std::size_t{1})->rassFlag, 1);
    EXPECT_EQ(p->beams.findByPosition(std::size_t{1})->sampleCount, 2);
    EXPECT_EQ(p->beams.findByPosition(std::size_t{1})->velocitySamples(0)[1], 346.0f);
    ASSERT_EQ(job.beamSettings.count(), 2u);
    EXPECT_EQ(job.beamSettings.findByPosition(std::size_t{0})->rassFlag, 0);
    EXPECT_EQ(job.beamSettings.findByPosition(std::size_t{1})->rassFlag, 1);
}

// The output kind is read at each use: Temperature for the processing
// day's file, Winds for the next day's.
class SwitchingHost : public qv::test::ScriptedHost {
  public:
    OutputKind outputKind() override {
        return calls++ == 0 ? OutputKind::Temperature : OutputKind::Winds;
    }
    int calls = 0;
};

TEST_F(AsciiMoments, RawRecordsCarryNoRassFlagAfterARatFile) {
    SwitchingHost switching;
    job.host = &switching;
    write("abc04167.rat",
          kHeader + record("1 90.0 0 4 167 23 30 0", "0 700 105 0 1", {"345.0 6.0"}));
    write("abc04168.raw",
          kHeader + record("1 90.0 0 4 167 23 59 30", "0 700 105 0 1", {"0.8 3.0"}));
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(switching.calls, 2);
    AveragingPeriod* p = period("2300");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->beams.count(), 2u);
    EXPECT_EQ(p->beams.findByPosition(std::size_t{0})->rassFlag, 1);
    EXPECT_EQ(p->beams.findByPosition(std::size_t{1})->rassFlag, 0);
}

// --- Damaged and unusual files ----------------------------------------------

// What one call leaves behind for a processing-day file (the next day's file
// holds only a header).
struct Outcome {
    int result;
    std::vector<std::string> keys;
    int samples;   // of the beam in the first period, -1 when there is none
    int maxGates;  // of that beam
};

TEST_F(AsciiMoments, DamagedFilesEndOrSkipAsDescribed) {
    const std::string good =
        record("1 90.0 0 4 167 12 0 30", "0 700 105 0 2", {"0.5 3.0", "0.6 4.0"});
    struct Case {
        const char* label;
        std::string today;
        Outcome expected;
    };
    const Case cases[] = {
        {"empty file", "", {0, {}, -1, 0}},
        {"header only", kHeader, {1, {}, -1, 0}},
        {"header without line end", " STN 4001 10525 1600", {1, {}, -1, 0}},
        {"ends after record line 1",
         kHeader + good + "1 90.0 0 4 167 12 5 0\n",
         {0, {"1200"}, 1, 2}},
        {"ends inside the gates",
         kHeader + good + "1 90.0 0 4 167 12 5 0\n0 700 105 0 3\n0.1 1.0\n",
         {1, {"1200"}, 2, 3}},
        {"blank lines between and after records",
         kHeader + "\n  \t\n" + good + "\r\n\n" + good + "   \n\n",
         {1, {"1200"}, 2, 2}},
        {"negative gate count",
         kHeader + "1 90.0 0 4 167 12 0 30\n0 700 105 0 -5\n" + good,
         {1, {"1200"}, 1, 2}},
        {"gate count beyond 32 bits",
         kHeader + "1 90.0 0 4 167 12 0 30\n0 700 105 0 99999999999999999999\n0.1 1.0\n",
         {1, {"1200"}, 1, 100}},
        {"gate count above the int16 range",
         kHeader + "1 90.0 0 4 167 12 0 30\n0 700 105 0 70000\n0.1 1.0\n",
         {1, {"1200"}, 1, 100}},
        {"overflowing time fields are not stored",
         kHeader + "1 90.0 0 99999999999 167 12 0 30\n0 700 105 0 1\n0.1 1.0\n" +
             "1 90.0 0 4 99999999999 12 0 30\n0 700 105 0 1\n0.1 1.0\n" +
             "1 90.0 0 4 167 -1 0 30\n0 700 105 0 1\n0.1 1.0\n" +
             "1 90.0 0 4 167 12 65596 30\n0 700 105 0 1\n0.1 1.0\n" +
             "1 90.0 0 -2147483648 167 12 0 30\n0 700 105 0 1\n0.1 1.0\n" +
             "1 90.0 0 4 -40000 12 0 30\n0 700 105 0 1\n0.1 1.0\n",
         {1, {}, -1, 0}},
        {"line cut at a NUL byte",
         kHeader + std::string("\0\x01\xff garbage\n", 12) + good,
         {1, {"1200"}, 1, 2}},
        {"record of binary bytes", kHeader + "\xfe\xfe\n\xfe\n" + good, {1, {"1200"}, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        qv::ClearPeriodStore(job);
        host.errors.clear();
        job.incompleteDays.clear();
        job.dayError.clear();
        writeDay(c.today, kHeader);
        EXPECT_EQ(run(), c.expected.result);
        EXPECT_EQ(keys(), c.expected.keys);
        const AveragingPeriod* first = job.periods.findByPosition(std::size_t{0});
        const BeamAccumulator* b = first ? first->beams.findByPosition(std::size_t{0}) : nullptr;
        EXPECT_EQ(b ? b->sampleCount : -1, c.expected.samples);
        EXPECT_EQ(b ? b->maxGateCount : 0, c.expected.maxGates);
        // Damaged contents are not open errors, but the day is reported as
        // not processed in full, once; sound files are not reported.
        EXPECT_EQ(job.dayError, "");
        const std::string label = c.label;
        const bool sound = label == "header only" || label == "header without line end" ||
                           label == "blank lines between and after records";
        EXPECT_EQ(job.incompleteDays.size(), sound ? 0u : 1u);
        EXPECT_EQ(host.errors.size(), sound ? 0u : 1u);
    }
}

TEST_F(AsciiMoments, EmptyDayFileStopsBeforeTheNextDay) {
    writeDay("", kHeader + record("1 90.0 0 4 167 23 59 30", "0 700 105 0 1", {"0.8 3.0"}));
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(job.periods.empty());
    EXPECT_EQ(job.inputFileName, folder() + "/abc04167.raw");
}

TEST_F(AsciiMoments, TrailingBlankLineDoesNotLoseTheNextDay) {
    writeDay(kHeader + record("1 90.0 0 4 167 23 30 0", "0 700 105 0 1", {"0.6 3.0"}) + "\n",
             kHeader + record("1 90.0 0 4 167 23 59 30", "0 700 105 0 1", {"0.8 3.0"}));
    EXPECT_EQ(run(), 1);
    ASSERT_NE(onlyBeam("2300"), nullptr);
    EXPECT_EQ(onlyBeam("2300")->sampleCount, 2);
}

TEST_F(AsciiMoments, GatesWithoutTwoNumbersAreMissing) {
    writeDay(kHeader +
                 record("1 90.0 0 4 167 12 0 30", "0 700 105 0 6",
                        {"1.5 2.5", "abc def", "3.5", "", "4.5 x", "5.5 6.5 7.5"}) +
                 // Cut short: 4 gates announced, 2 given.
                 record("1 90.0 0 4 167 12 1 30", "0 700 105 0 4", {"8.5 9.5", "10.5 11.5"}),
             kHeader);
    ASSERT_EQ(run(), 1);
    BeamAccumulator* b = onlyBeam("1200");
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->sampleCount, 2);
    EXPECT_EQ(b->maxGateCount, 6);

    struct Expect {
        int gate;
        int sample;
        float velocity;  // NaN: missing
        float snr;
    };
    const float missing = qv::kMissingSample;
    const Expect expects[] = {
        {0, 0, 1.5f, 2.5f},       {1, 0, missing, missing}, {2, 0, missing, missing},
        {3, 0, missing, missing}, {4, 0, missing, missing}, {5, 0, 5.5f, 6.5f},
        {0, 1, 8.5f, 9.5f},       {1, 1, 10.5f, 11.5f},     {2, 1, missing, missing},
        {3, 1, missing, missing}, {4, 1, missing, missing}, {5, 1, missing, missing},
    };
    for (const Expect& e : expects) {
        SCOPED_TRACE(testing::Message() << "gate " << e.gate << " sample " << e.sample);
        const float v = b->velocitySamples(e.gate)[e.sample];
        const float s = b->snrSamples(e.gate)[e.sample];
        const float t = b->temperatureSamples(e.gate)[e.sample];
        if (std::isnan(e.velocity)) {
            EXPECT_TRUE(std::isnan(v)) << v;
            EXPECT_TRUE(std::isnan(s)) << s;
            EXPECT_TRUE(std::isnan(t)) << t;
            // A missing gate never passes a missing-velocity test.
            EXPECT_LE(qv::truncToInt(v), -99);
        } else {
            EXPECT_EQ(v, e.velocity);
            EXPECT_EQ(s, e.snr);
        }
    }
}

TEST_F(AsciiMoments, FieldsThatFailKeepTheirPreviousValues) {
    // The second record's line 1 stops after the azimuth and its line 2
    // after the pulse width: time, day, first gate height and gate count
    // repeat the first record's.
    writeDay(kHeader + record("1 66.4 45 4 167 12 3 45", "0 700 105 0 1", {"0.5 3.0"}) +
                 record("1 66.4 45", "0 700", {"0.6 3.0"}) +
                 // Everything fails: the same beam again.
                 record("x", "y", {"0.7 3.0"}),
             kHeader);
    ASSERT_EQ(run(), 1);
    BeamAccumulator* b = onlyBeam("1200");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->sampleCount, 3);
    EXPECT_EQ(b->velocitySamples(0)[2], 0.7f);
    EXPECT_EQ(job.record.firstGateHeight, 105);
    EXPECT_EQ(job.record.gateCount, 1);
}

TEST_F(AsciiMoments, IntegerFieldsStartAtZeroInEveryCall) {
    writeDay(kHeader + record("1 90.0 0 4 167 12 0 30", "0 700 105 0 1", {"0.5 3.0"}), kHeader);
    ASSERT_EQ(run(), 1);
    ASSERT_EQ(job.periods.count(), 1u);

    // Line 1 holds elevation and azimuth only, so year, day and time are the
    // new call's starting zeros, not the last call's values: day of year 0 is
    // never the processing day. Line 2 gives no gate count: 0 gate lines.
    qv::ClearPeriodStore(job);
    write("abc04169.raw", kHeader + "1 90.0 0\n0 700 105\n" +
                              record("1 90.0 0 4 169 12 0 30", "0 700 105 0 1", {"0.5 3.0"}));
    write("abc04170.raw", kHeader);
    ASSERT_EQ(run(date(2004, 6, 17)), 1);
    EXPECT_TRUE(detailShown("Reading data record 01/00/2000 00:00:00"));
    // The record after it is read from the right line.
    EXPECT_EQ(keys(), std::vector<std::string>{"1200"});
}

TEST_F(AsciiMoments, MoreThanAHundredGatesKeepsTheFirstHundred) {
    std::string today = kHeader + "1 90.0 0 4 167 12 0 30\n0 700 105 0 150\n";
    for (int g = 0; g < 150; ++g) today += std::to_string(g) + ".5 1.0\n";
    // The next record starts right after the 150th gate line.
    today += record("1 90.0 0 4 167 12 1 30", "0 700 105 0 2", {"7.25 1.0", "8.25 1.0"});
    writeDay(today, kHeader);
    ASSERT_EQ(run(), 1);
    BeamAccumulator* b = onlyBeam("1200");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->sampleCount, 2);
    EXPECT_EQ(b->maxGateCount, 100);
    EXPECT_EQ(b->velocitySamples(0)[0], 0.5f);
    EXPECT_EQ(b->velocitySamples(99)[0], 99.5f);
    EXPECT_EQ(b->velocitySamples(0)[1], 7.25f);
    EXPECT_EQ(b->velocitySamples(1)[1], 8.25f);
    EXPECT_TRUE(std::isnan(b->velocitySamples(2)[1]));
}

TEST_F(AsciiMoments, LongLinesAreReadInPiecesOf498) {
    // Gate 0's line padded to a length: up to 497 characters it is one line;
    // from 498 on its remainder is a line of its own and takes gate 1's place,
    // so gate 1's real line becomes the first line of a record that the end
    // of the file cuts short.
    struct Case {
        std::size_t length;
        const char* lineEnd;
        int result;
        float gate1;
    };
    const float missing = qv::kMissingSample;
    const Case cases[] = {
        {497, "\n", 1, 3.5f},      {497, "\r\n", 1, 3.5f},  {498, "\n", 0, missing},
        {498, "\r\n", 0, missing}, {499, "\n", 0, missing}, {996, "\n", 0, missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << (c.lineEnd[0] == '\r' ? " CRLF" : " LF"));
        qv::ClearPeriodStore(job);
        std::string gate0 = "1.5 2.5";
        gate0.resize(c.length, ' ');
        const std::string end = c.lineEnd;
        writeDay(kHeader + "1 90.0 0 4 167 12 0 30" + end + "0 700 105 0 2" + end + gate0 + end +
                     "3.5 4.5" + end,
                 kHeader);
        EXPECT_EQ(run(), c.result);
        BeamAccumulator* b = onlyBeam("1200");
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->velocitySamples(0)[0], 1.5f);
        if (std::isnan(c.gate1)) {
            EXPECT_TRUE(std::isnan(b->velocitySamples(1)[0]));
        } else {
            EXPECT_EQ(b->velocitySamples(1)[0], c.gate1);
        }
    }
}

TEST_F(AsciiMoments, VeryLongLinesAreSurvived) {
    const std::string good = record("1 90.0 0 4 167 12 0 30", "0 700 105 0 1", {"0.5 3.0"});
    writeDay(kHeader + std::string(100000, ' ') + "\n" + good + std::string(100000, '7') + "\n" +
                 std::string(5000, 'x') + "\n",
             kHeader);
    run();  // the outcome of such lines is whatever their pieces parse as
    EXPECT_NE(period("1200"), nullptr);
}

TEST_F(AsciiMoments, WindowsLineEndsReadLikeUnixOnes) {
    const std::string unix =
        kHeader +
        record("1 66.4 45 4 167 12 3 45", "0 700 105 0 3", {"1.25 10.5", "1.40 8.2", "-0.35 2.1"}) +
        record("1 66.4 45 4 167 12 4 45", "0 700 105 0 2", {"1.5 1.0", "2.5 2.0"});
    std::string windows;
    for (char ch : unix) {
        if (ch == '\n') windows += '\r';
        windows += ch;
    }
    writeDay(windows, " STN 4001 10525 1600\r\n");
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(job.record.stationName, "STN");
    BeamAccumulator* b = onlyBeam("1200");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->sampleCount, 2);
    EXPECT_EQ(b->maxGateCount, 3);
    EXPECT_EQ(b->velocitySamples(2)[0], -0.35f);
    EXPECT_EQ(b->snrSamples(2)[0], 2.1f);
    EXPECT_EQ(b->velocitySamples(1)[1], 2.5f);
    EXPECT_TRUE(std::isnan(b->velocitySamples(2)[1]));
}

TEST_F(AsciiMoments, NumbersAreReadInEveryNotation) {
    writeDay(kHeader + record("+1 +66.4 +45 +4 +167 +12 +3 +45", "0 700 105 0 4",
                              {"1.25 1e1", "+.5 -2.5E-1", "-7. 0x1p3", "inf 12"}),
             kHeader);
    ASSERT_EQ(run(), 1);
    BeamAccumulator* b = onlyBeam("1200");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->elevation, 66.4f);
    EXPECT_EQ(b->azimuth, 45);
    const float velocity[] = {1.25f, 0.5f, -7.0f};
    const float snr[] = {10.0f, -0.25f, 8.0f};
    // An infinity is no measurement: the gate is missing.
    EXPECT_TRUE(std::isnan(b->velocitySamples(3)[0]));
    EXPECT_TRUE(std::isnan(b->snrSamples(3)[0]));
    for (int g = 0; g < 3; ++g) {
        EXPECT_EQ(b->velocitySamples(g)[0], velocity[g]) << g;
        EXPECT_EQ(b->snrSamples(g)[0], snr[g]) << g;
    }
}

TEST_F(AsciiMoments, NumbersIgnoreTheProgramsLocale) {
    // A toolkit may switch the process to the user's locale; the files are
    // written with a decimal point whatever that locale says.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            comma = name;
            break;
        }
    }
    if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
    writeDay(kHeader + record("1 66.4 45 4 167 12 3 45", "0 700 105 0 1", {"1.25 10.5"}), kHeader);
    const int result = run();
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_EQ(result, 1);
    ASSERT_NE(onlyBeam("1200"), nullptr);
    EXPECT_EQ(onlyBeam("1200")->elevation, 66.4f);
    EXPECT_EQ(onlyBeam("1200")->velocitySamples(0)[0], 1.25f);
    EXPECT_EQ(onlyBeam("1200")->snrSamples(0)[0], 10.5f);
}

// Every prefix of a good day file, and pseudo-random text, is read without a
// fault (the sanitizer build checks the memory side) and stores only gate
// counts the store can hold.
TEST_F(AsciiMoments, CutAndScrambledFilesAreSurvived) {
    const std::string good =
        kHeader +
        record("1 66.4 45 4 167 12 3 45", "0 700 105 0 3", {"1.25 10.5", "1.40 8.2", "-0.35 2.1"}) +
        record("1 66.4 45 4 167 12 4 45", "0 700 105 0 2", {"1.5 1.0", "2.5 2.0"});
    for (std::size_t cut = 0; cut <= good.size(); ++cut) {
        qv::ClearPeriodStore(job);
        writeDay(good.substr(0, cut), good.substr(0, good.size() - cut));
        const int result = run();
        EXPECT_TRUE(result == 0 || result == 1) << cut;
        for (AveragingPeriod* p : job.periods) {
            for (BeamAccumulator* b : p->beams) EXPECT_LE(b->maxGateCount, 3) << cut;
        }
    }

    const char alphabet[] = "0123456789  \n\n\r-+.eExnaif\t\0\xff";
    std::uint32_t state = 12345;
    for (int file = 0; file < 40; ++file) {
        std::string text = kHeader;
        for (int i = 0; i < 3000; ++i) {
            state = state * 1664525u + 1013904223u;
            text += alphabet[(state >> 16) % (sizeof alphabet - 1)];
        }
        qv::ClearPeriodStore(job);
        writeDay(text, text.substr(text.size() / 2));
        const int result = run();
        EXPECT_TRUE(result == 0 || result == 1) << file;
        for (AveragingPeriod* p : job.periods) {
            for (BeamAccumulator* b : p->beams) {
                EXPECT_GE(b->maxGateCount, 0);
                EXPECT_LE(b->maxGateCount, 100);
            }
        }
    }
}

}  // namespace
