// Damaged input days: no value the input does not really hold is stored as
// a valid sample, and every day not read in full is reported once, naming
// the file, what was wrong and how much was used.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/job.h"
#include "core/numeric.h"
#include "input/ascii_moments.h"
#include "input/binary_moments.h"
#include "input/gate_values.h"
#include "input/krx/krx.h"
#include "support/dates.h"
#include "support/scripted_host.h"
#include "support/test_folder.h"
#include "tools/krxwriter/krx_writer.h"

namespace {

namespace fs = std::filesystem;
using krxwriter::DataFile;
using krxwriter::DataRecord;
using krxwriter::HeaderFile;
using krxwriter::HeaderRecord;
using qv::BeamAccumulator;
using qv::CalendarTime;
using qv::OutputKind;
using qv::test::date;

const CalendarTime kJune15 = date(2004, 6, 15);  // day 167
const CalendarTime kMay5 = date(2004, 5, 5);     // day 126
const std::string kHeader = " STN 4001 10525 1600\n";

// Every stored sample of every accumulator is the missing mark, or a finite
// value within what an instrument measures with a finite SNR in bounds.
::testing::AssertionResult storedSamplesAreSound(const qv::ConsensusJob& job) {
    for (const qv::AveragingPeriod* p : job.periods) {
        for (const BeamAccumulator* b : p->beams) {
            for (int g = 0; g < b->maxGateCount; ++g) {
                for (int s = 0; s < b->sampleCount; ++s) {
                    const float v = b->velocitySamples(g)[s];
                    const float snr = b->snrSamples(g)[s];
                    if (std::isnan(v)) continue;
                    if (!std::isfinite(v))
                        return ::testing::AssertionFailure() << "infinite velocity";
                    if (qv::isMissingVelocity(v)) continue;
                    if (!(v < qv::kFastestGateSpeed) || !std::isfinite(snr) ||
                        std::fabs(snr) > qv::kLargestGateSnr ||
                        !std::isfinite(b->temperatureSamples(g)[s])) {
                        return ::testing::AssertionFailure()
                               << "period " << p->key << " gate " << g << " sample " << s
                               << ": velocity " << v << " snr " << snr << " stored as valid";
                    }
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

std::size_t storedSamples(const qv::ConsensusJob& job) {
    std::size_t n = 0;
    for (const qv::AveragingPeriod* p : job.periods) {
        for (const BeamAccumulator* b : p->beams) n += static_cast<std::size_t>(b->sampleCount);
    }
    return n;
}

class DamagedDays : public ::testing::Test {
  protected:
    void SetUp() override {
        krx_reset_state();
        dir_ = qv::test::freshTestFolder("qv_damaged");
        job.host = &host;
        job.params.inputPath = dir_.string();
        job.params.siteId = "abc";
        job.params.averagingMinutes = 60;
        host.output = OutputKind::Winds;
    }
    void TearDown() override {
        krx_reset_state();
        fs::remove_all(dir_);
    }

    void write(const std::string& name, const std::string& content) {
        std::ofstream out(dir_ / name, std::ios::binary);
        out << content;
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
    qv::test::ScriptedHost host;
    qv::ConsensusJob job;
};

// --- ASCII moment files -----------------------------------------------------

TEST_F(DamagedDays, NanAndInfinityTextAreMissingGates) {
    const char* spellings[] = {"nan",  "NaN",  "-nan", "+NAN", "nan(0x1)", "inf",
                               "-Inf", "+INF", "infinity", "-INFINITY", "1e39"};
    std::string today = kHeader + "1 90.0 0 4 167 12 0 30\n0 700 105 0 " +
                        std::to_string(2 * std::size(spellings) + 1) + "\n";
    for (const char* s : spellings) today += std::string(s) + " 10.0\n1.5 " + s + "\n";
    today += "1.25 10.5\n";
    write("abc04167.raw", today);
    write("abc04168.raw", kHeader);
    EXPECT_EQ(qv::GetAsciiMoments(job, kJune15), 1);
    ASSERT_EQ(job.periods.count(), 1u);
    const BeamAccumulator* b = job.periods.findByPosition(std::size_t{0})->beams.findByPosition(
        std::size_t{0});
    ASSERT_NE(b, nullptr);
    const int last = 2 * static_cast<int>(std::size(spellings));
    for (int g = 0; g < last; ++g) {
        EXPECT_TRUE(std::isnan(b->velocitySamples(g)[0])) << g;
        EXPECT_TRUE(std::isnan(b->snrSamples(g)[0])) << g;
    }
    EXPECT_EQ(b->velocitySamples(last)[0], 1.25f);
    EXPECT_TRUE(storedSamplesAreSound(job));
    ASSERT_EQ(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0],
              "abc04167.raw: 22 gate lines without two valid numbers (first at line 4; nan, inf, "
              "out of range or missing values), those gates left missing; 26 lines read, 1 "
              "records used.");
}

TEST_F(DamagedDays, FileCutShortInsideTheGatesIsReported) {
    write("abc04167.raw", kHeader + "1 90.0 0 4 167 12 0 30\n0 700 105 0 2\n0.5 3.0\n0.6 4.0\n" +
                              "1 90.0 0 4 167 14 35 0\n0 700 105 0 20\n0.1 1.0\n0.2 2.0\n");
    write("abc04168.raw", kHeader);
    EXPECT_EQ(qv::GetAsciiMoments(job, kJune15), 1);
    EXPECT_EQ(storedSamples(job), 2u);  // the cut record keeps the gates it has
    ASSERT_EQ(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0],
              "abc04167.raw: file cut short at line 6 (record of 14:35:00 incomplete: 2 of 20 "
              "gate lines; its other gates left missing); 9 lines read, 2 records used.");
    EXPECT_EQ(host.errors, job.incompleteDays);  // handed to the host as well
}

TEST_F(DamagedDays, FileCutShortAfterARecordsFirstLineIsReported) {
    write("abc04167.raw", kHeader + "1 90.0 0 4 167 12 0 30\n0 700 105 0 1\n0.5 3.0\n" +
                              "1 90.0 0 4 167 23 10 5\n");
    write("abc04168.raw", kHeader);
    EXPECT_EQ(qv::GetAsciiMoments(job, kJune15), 0);
    EXPECT_EQ(storedSamples(job), 1u);
    ASSERT_EQ(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0],
              "abc04167.raw: file cut short at line 5 (record of 23:10:05 incomplete: no second "
              "line; not used); 5 lines read, 1 records used.");
}

TEST_F(DamagedDays, FileWithoutItsHeaderLineIsNotUsed) {
    write("abc04167.raw", "1 90.0 0 4 167 12 0 30\n0 700 105 0 1\n0.5 3.0\n");
    write("abc04168.raw", kHeader);
    EXPECT_EQ(qv::GetAsciiMoments(job, kJune15), 0);
    EXPECT_TRUE(job.periods.empty());
    ASSERT_EQ(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0],
              "abc04167.raw: no header line (line 1 is the first line of a record); the file "
              "was not used.");
}

TEST_F(DamagedDays, SoundFilesAreNotReported) {
    const fs::path samples = fs::path(QUORVANE_SOURCE_DIR) / "samples";
    job.params.inputPath = samples.string();
    job.params.siteId = "qvs";
    for (OutputKind kind : {OutputKind::Winds, OutputKind::Temperature}) {
        host.output = kind;
        EXPECT_EQ(qv::GetAsciiMoments(job, kJune15), 1);
        EXPECT_GT(storedSamples(job), 0u);
        qv::ClearPeriodStore(job);
    }
    job.params.inputPath = (samples / "binary").string();
    for (OutputKind kind : {OutputKind::Winds, OutputKind::Temperature}) {
        host.output = kind;
        EXPECT_EQ(qv::GetBinaryMoments(job, kJune15), 1);
        EXPECT_GT(storedSamples(job), 0u);
        qv::ClearPeriodStore(job);
    }
    EXPECT_TRUE(job.incompleteDays.empty()) << job.incompleteDays[0];
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(DamagedDays, AcousticSpeedsNoAirHasAreMissingGates) {
    host.output = OutputKind::Temperature;
    // 150 m/s would be -217 degrees C, 400 m/s 125 degrees C; -999 is the
    // missing mark and stays as written.
    write("abc04167.rat", kHeader + "1 90.0 0 4 167 12 0 30\n0 700 105 0 5\n150.0 10.0\n" +
                              "343.5 10.0\n400.0 10.0\n-999.0 -999.0\n263.0 10.0\n" +
                              "0 90.0 0 4 167 12 0 30\n0 700 105 0 1\n150.0 10.0\n");
    write("abc04168.rat", kHeader);
    EXPECT_EQ(qv::GetAsciiMoments(job, kJune15), 1);
    EXPECT_TRUE(storedSamplesAreSound(job));
    const qv::AveragingPeriod* p = job.periods.findByPosition(std::size_t{0});
    ASSERT_NE(p, nullptr);
    const BeamAccumulator* rass = p->beams.findByPosition(std::size_t{0});
    const BeamAccumulator* radar = p->beams.findByPosition(std::size_t{1});
    ASSERT_TRUE(rass && radar);
    ASSERT_EQ(rass->rassFlag, 1);
    EXPECT_TRUE(std::isnan(rass->velocitySamples(0)[0]));
    EXPECT_EQ(rass->velocitySamples(1)[0], 343.5f);
    EXPECT_TRUE(std::isnan(rass->velocitySamples(2)[0]));
    EXPECT_EQ(rass->velocitySamples(3)[0], -999.0f);
    EXPECT_TRUE(std::isnan(rass->velocitySamples(4)[0]));
    EXPECT_EQ(radar->velocitySamples(0)[0], 150.0f);  // a radial velocity, not a speed of sound
    ASSERT_EQ(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0],
              "abc04167.rat: 3 gate lines without two valid numbers (first at line 4; nan, inf, "
              "out of range or missing values), those gates left missing; 11 lines read, 2 "
              "records used.");
}

// --- KRX pairs ---------------------------------------------------------------

constexpr std::int32_t kFrequency = 14990;  // with kIpp and 100 integrations: 100 m/s scale
constexpr std::int32_t kIpp = 50000;

HeaderRecord krxHeader(std::int16_t gates) {
    HeaderRecord h;
    h.site_name = "ABC";
    h.frequency = kFrequency;
    h.modes[0] = {.ipp = kIpp, .pulse_width = 700, .first_gate_delay = 1000,
                  .gate_spacing = 700, .gate_count = gates, .coherent_integrations = 100,
                  .spectral_averages = 1, .spectrum_points = 64, .system_delay = 0};
    h.beams = {{.direction = 0, .mode = 0}};
    h.directions = {{.name = "V", .azimuth = 0, .elevation = 90}};
    h.window1_length = 64;
    return h;
}

// An unpacked record (format 116) of `gates` entries of 1.00 m/s, 10 dB.
DataRecord krxRecord(std::int32_t headerOffset, std::int32_t time, int gates) {
    DataRecord r;
    r.format_code = 116;
    r.header_offset = headerOffset;
    r.time = time;
    r.coherent_integrations = 100;
    r.spectral_averages = 1;
    for (int i = 0; i < gates; ++i)
        r.window1.push_back({.velocity = 100, .width = 10, .snr = 1000, .noise = 0});
    return r;
}

std::int32_t may5(int hour, int minute) {
    return krxwriter::epoch_seconds(2004, 5, 5, hour, minute, 0);
}

// A day of 20-gate records beside a header file made for 30 gates.
TEST_F(DamagedDays, HeaderThatDoesNotMatchItsDataIsRejectedWithOneMessage) {
    HeaderFile headers;
    const std::int32_t h = headers.add(krxHeader(30));
    DataFile data;
    for (int m = 0; m < 120; ++m) data.add(krxRecord(h, may5(m / 60, m % 60), 20));
    ASSERT_TRUE(krxwriter::writePair(path("d04126a.mom"), data, headers));
    HeaderFile nextHeaders;
    DataFile next;
    next.add(krxRecord(nextHeaders.add(krxHeader(20)), may5(23, 59) + 120, 20));
    ASSERT_TRUE(krxwriter::writePair(path("d04127a.mom"), next, nextHeaders));

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(qv::GetBinaryMoments(job, kMay5), 1);
    const std::string stderrText = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(job.periods.empty());  // no wind from a wrong header
    ASSERT_EQ(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0],
              "d04126a.mom: 120 of 120 records do not agree with their header records (first: "
              "record 1 at byte 0, 05/05/2004 00:00:00, 182 bytes long, but its header record at "
              "byte 0 of h04126a.mom gives 30 gates x 1 receivers, 262 bytes); those records were "
              "not used; 0 records used.");
    // The library's own diagnostic comes once, not once per record.
    EXPECT_LE(stderrText.size(), std::string("\aRead error 0\n").size()) << stderrText;
}

TEST_F(DamagedDays, DataWithMoreGatesThanItsHeaderIsRejectedToo) {
    HeaderFile headers;
    const std::int32_t h = headers.add(krxHeader(20));
    DataFile data;
    data.add(krxRecord(h, may5(12, 0), 20));
    data.add(krxRecord(h, may5(12, 1), 30));
    data.add(krxRecord(h, may5(12, 2), 20));
    ASSERT_TRUE(krxwriter::writePair(path("d04126a.mom"), data, headers));
    ASSERT_TRUE(krxwriter::writePair(path("d04127a.mom"), DataFile{}, HeaderFile{}));
    qv::GetBinaryMoments(job, kMay5);
    EXPECT_EQ(storedSamples(job), 2u);
    EXPECT_TRUE(storedSamplesAreSound(job));
    ASSERT_GE(job.incompleteDays.size(), 1u);
    EXPECT_NE(job.incompleteDays[0].find("d04126a.mom: 1 of 3 records do not agree with their "
                                         "header records (first: record 2 at byte 182, "
                                         "05/05/2004 12:01:00, 262 bytes long"),
              std::string::npos)
        << job.incompleteDays[0];
}

TEST_F(DamagedDays, HeaderRecordOfAnUnexpectedVersionIsReported) {
    HeaderFile headers;
    const std::int32_t good = headers.add(krxHeader(20));
    HeaderRecord other = krxHeader(20);
    other.version = 99;  // written without met fields, as versions below 103 are
    other.frequency = kFrequency * 2;  // would halve every velocity
    const std::int32_t bad = headers.add(other);
    DataFile data;
    data.add(krxRecord(good, may5(12, 0), 20));
    data.add(krxRecord(bad, may5(12, 1), 20));
    data.add(krxRecord(bad, may5(12, 2), 20));
    ASSERT_TRUE(krxwriter::writePair(path("d04126a.mom"), data, headers));
    ASSERT_TRUE(krxwriter::writePair(path("d04127a.mom"), DataFile{}, HeaderFile{}));
    qv::GetBinaryMoments(job, kMay5);
    EXPECT_EQ(storedSamples(job), 1u);
    ASSERT_GE(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0],
              "d04126a.mom: 2 of 3 records do not agree with their header records (first: record "
              "2 at byte 182, 05/05/2004 12:01:00, its header record at byte 580 of h04126a.mom "
              "has version 99 (100 to 999 expected)); those records were not used; 1 records "
              "used.");
}

TEST_F(DamagedDays, VelocityScaleThatIsNoNumberGivesMissingGates) {
    HeaderFile headers;
    HeaderRecord h = krxHeader(3);
    h.frequency = 0;  // an infinite velocity scale: 0 x inf is NaN, 100 x inf infinite
    const std::int32_t at = headers.add(h);
    DataFile data;
    DataRecord r = krxRecord(at, may5(12, 0), 3);
    r.window1[0].velocity = 0;
    data.add(r);
    ASSERT_TRUE(krxwriter::writePair(path("d04126a.mom"), data, headers));
    ASSERT_TRUE(krxwriter::writePair(path("d04127a.mom"), DataFile{}, HeaderFile{}));
    qv::GetBinaryMoments(job, kMay5);
    ASSERT_EQ(storedSamples(job), 1u);
    EXPECT_TRUE(storedSamplesAreSound(job));
    ASSERT_GE(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0],
              "d04126a.mom: 3 gate values are not numbers or out of bounds (first in record 1); "
              "those gates left missing; 1 records used.");
}

TEST_F(DamagedDays, DataFileCutShortIsReported) {
    HeaderFile headers;
    const std::int32_t h = headers.add(krxHeader(20));
    DataFile data;
    for (int m = 0; m < 5; ++m) data.add(krxRecord(h, may5(12, m), 20));
    const krxwriter::Bytes cut = krxwriter::truncated(data.bytes(), 4 * 182 + 100);
    ASSERT_TRUE(krxwriter::writePair(path("d04126a.mom"), cut, headers.bytes()));
    ASSERT_TRUE(krxwriter::writePair(path("d04127a.mom"), DataFile{}, HeaderFile{}));
    qv::GetBinaryMoments(job, kMay5);
    EXPECT_EQ(storedSamples(job), 4u);
    ASSERT_GE(job.incompleteDays.size(), 1u);
    EXPECT_EQ(job.incompleteDays[0],
              "d04126a.mom: file cut short or damaged at byte 728 (the 100 bytes from there hold "
              "no whole record; the records after it, if any, are lost); 4 records used.");
}

}  // namespace
