// File pairs, positioning by time and beam, record framing and the header
// values handed to the client.
#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/krx/krx_fixture.h"

namespace krxtest {
namespace {

// ---- Header file names -------------------------------------------------------

struct HeaderPathCase {
    const char* data;
    const char* header;
};

TEST(KrxHeaderPath, ReplacesTheFirstCharacterOfTheFileName) {
    const HeaderPathCase cases[] = {
        {"d04123a.mom", "h04123a.mom"},
        {"/data/dwell/d04123a.mom", "/data/dwell/h04123a.mom"},
        {"rel/d04123a.spc", "rel/h04123a.spc"},
        {"/a.b/dname", "/a.b/hname"},
        {"x.y.z", "h.y.z"},
        {"/data/.mom", "/data/h.mom"},
    };
    for (const HeaderPathCase& c : cases) {
        EXPECT_EQ(krx_header_path(c.data), c.header) << c.data;
        EXPECT_EQ(krxwriter::headerPathFor(c.data), c.header) << c.data;
    }
}

// A pair of three vertical records at 00:10, 00:20 and 00:30.
class KrxPairTest : public KrxTest {
  protected:
    std::string writeThree(const std::string& name = "d04126a.mom") {
        HeaderFile headers;
        const std::int32_t h = headers.add(standardHeader());
        DataFile data;
        data.add(packedRecord(h, at(0, 10), 0, 100));
        data.add(packedRecord(h, at(0, 20), 0, 200));
        data.add(packedRecord(h, at(0, 30), 0, 300));
        return writePair(data, headers, name);
    }
};

// ---- Opening and closing -----------------------------------------------------

TEST_F(KrxPairTest, SetFile_MissingHeaderFileLeavesNothingOpen) {
    const std::string path = writeThree();
    std::filesystem::remove(krx_header_path(path.c_str()));
    EXPECT_EQ(krx_set_file(path.c_str(), 0), 0);
    std::int16_t changed = 0;
    EXPECT_EQ(krx_next_record(&changed), 0);
    EXPECT_EQ(krx_set_time(2004, 126, 0, 0, 0, &changed), 0);
}

TEST_F(KrxPairTest, SetFile_MissingDataFileFails) {
    writeThree();
    EXPECT_EQ(krx_set_file(pathOf("d04127a.mom").c_str(), 0), 0);
}

TEST_F(KrxPairTest, SetFile_StandsAtTheFirstRecord) {
    const std::string path = writeThree();
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    krx_set_radar_index(0);
    krx_set_beam(-1);
    std::int16_t changed = 0;
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(currentTime(), at(0, 10));
    const std::vector<float> v = velocities(kGates);
    for (int i = 0; i < kGates; ++i) {
        EXPECT_FLOAT_EQ(v[i], (100 + i) * velocityScale(kFrequency, kIpp, kCoherent, 1) * 0.0001f);
    }
}

TEST_F(KrxPairTest, SetFile_SamePathKeepsTheFilesOpenAndRewinds) {
    const std::string path = writeThree();
    ASSERT_TRUE(openAt(path, 0, 30));
    EXPECT_EQ(currentTime(), at(0, 30));
    // The files are gone from the folder; the open pair still reads.
    std::filesystem::remove(path);
    std::filesystem::remove(krx_header_path(path.c_str()));
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    std::int16_t changed = 0;
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(currentTime(), at(0, 10));
}

TEST_F(KrxPairTest, SetFile_NoFileClosesThePair) {
    const std::string path = writeThree();
    ASSERT_TRUE(openAt(path, 0, 10));
    EXPECT_EQ(krx_set_file("__NO_FILE__", 0), 0);
    std::int16_t changed = 0;
    EXPECT_EQ(krx_next_record(&changed), 0);
    EXPECT_EQ(krx_set_time(2004, 126, 0, 0, 0, &changed), 0);
    // Closed: the same path is opened afresh, which fails once it is gone.
    std::filesystem::remove(path);
    EXPECT_EQ(krx_set_file(path.c_str(), 0), 0);
}

// A pair closed and opened again (each day opens the day before's next-day
// pair once more) is read afresh whenever its files changed in between, even
// when they kept their length: files that have just been written, and
// settled files rewritten after they were read.
class KrxReopenTest : public KrxPairTest {
protected:
    static float scale(int coherent) {
        return velocityScale(kFrequency, kIpp, coherent, 1) * 0.0001f;
    }

    // The first record's first velocity; the pair is closed again.
    static float firstVelocity(const std::string& path) {
        EXPECT_EQ(krx_set_file(path.c_str(), 0), 1);
        krx_set_radar_index(0);
        krx_set_beam(-1);
        std::int16_t changed = 0;
        EXPECT_EQ(krx_next_record(&changed), 1);
        const float v = velocities(kGates)[0];
        krx_set_file("__NO_FILE__", 0);
        return v;
    }

    // Rewrites the pair at `path` in place with the same length: another
    // first velocity and another coherent integration count in its header.
    void rewrite(const std::string& path, std::int16_t base, std::int16_t coherent) {
        HeaderFile headers;
        HeaderRecord h = standardHeader();
        h.modes[0].coherent_integrations = coherent;
        const std::int32_t offset = headers.add(h);
        DataFile data;
        data.add(packedRecord(offset, at(0, 10), 0, base));
        data.add(packedRecord(offset, at(0, 20), 0, 200));
        data.add(packedRecord(offset, at(0, 30), 0, 300));
        const auto before = std::filesystem::file_size(path);
        writePair(data, headers);
        ASSERT_EQ(std::filesystem::file_size(path), before);
    }

    // Reads `path` and another pair in turn, twice, each time checking the
    // first velocity.
    static void readInTurn(const std::string& path, float expected, const std::string& other) {
        EXPECT_FLOAT_EQ(firstVelocity(path), expected);
        EXPECT_FLOAT_EQ(firstVelocity(other), 100 * scale(kCoherent));
        EXPECT_FLOAT_EQ(firstVelocity(path), expected);
        EXPECT_FLOAT_EQ(firstVelocity(path), expected);
    }
};

TEST_F(KrxReopenTest, FreshFilesRewrittenAtOnceAreReadAgain) {
    const std::string path = writeThree();
    const std::string other = writeThree("d04127a.mom");
    readInTurn(path, 100 * scale(kCoherent), other);
    rewrite(path, 500, kCoherent);
    readInTurn(path, 500 * scale(kCoherent), other);
    rewrite(path, 700, 50);
    readInTurn(path, 700 * scale(50), other);
}

TEST_F(KrxReopenTest, SettledFilesAreReadAgainOnceRewritten) {
    const std::string path = writeThree();
    const std::string other = writeThree("d04127a.mom");
    // Older than the library's settling time: their bytes are kept between opens.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    readInTurn(path, 100 * scale(kCoherent), other);
    rewrite(path, 500, kCoherent);
    readInTurn(path, 500 * scale(kCoherent), other);
    // The modification time put back as it was: the status change still shows.
    const auto stamp = std::filesystem::last_write_time(path);
    rewrite(path, 700, 50);
    std::filesystem::last_write_time(path, stamp);
    readInTurn(path, 700 * scale(50), other);
}

TEST_F(KrxPairTest, SetFile_OpensAnotherPairAfterAFailedOpen) {
    const std::string path = writeThree();
    EXPECT_EQ(krx_set_file(pathOf("d99001a.mom").c_str(), 0), 0);
    EXPECT_TRUE(openAt(path, 0, 20));
    EXPECT_EQ(currentTime(), at(0, 20));
}

TEST_F(KrxPairTest, SetFilePair_UsesTheHeaderFileGiven) {
    const std::string path = writeThree();
    const std::string header = pathOf("H04126A.MOM");
    std::filesystem::rename(krx_header_path(path.c_str()), header);
    EXPECT_EQ(krx_set_file(path.c_str(), 0), 0);
    ASSERT_EQ(krx_set_file_pair(path.c_str(), header.c_str(), 0), 1);
    krx_set_radar_index(0);
    std::int16_t changed = 0;
    ASSERT_EQ(krx_set_time(2004, 126, 0, 15, 0, &changed), 1);
    EXPECT_EQ(currentTime(), at(0, 20));
}

// ---- Positioning by time -----------------------------------------------------

struct TimeCase {
    int year;
    int hour, minute, second;
    std::int32_t expected;
};

TEST_F(KrxPairTest, SetTime_LoadsTheFirstRecordNotEarlierThanTheTarget) {
    const std::string path = writeThree();
    const TimeCase cases[] = {
        {2004, 0, 0, 0, at(0, 10)},   // before all records: the first
        {104, 0, 0, 0, at(0, 10)},    // years since 1900
        {2004, 0, 10, 0, at(0, 10)},  // equal
        {2004, 0, 10, 1, at(0, 20)},  // between: the later one
        {2004, 0, 25, 0, at(0, 30)}, {2004, 0, 30, 0, at(0, 30)},
        {2004, 23, 0, 0, at(0, 30)},                               // after all records: the last
        {2005, 0, 0, 0, at(0, 30)},  {2004, 0, 15, 0, at(0, 20)},  // backwards from the last
    };
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    krx_set_radar_index(0);
    for (const TimeCase& c : cases) {
        std::int16_t changed = 7;
        ASSERT_EQ(
            krx_set_time(static_cast<std::int16_t>(c.year), 126, static_cast<std::int16_t>(c.hour),
                         static_cast<std::int16_t>(c.minute), static_cast<std::int16_t>(c.second),
                         &changed),
            1);
        EXPECT_EQ(currentTime(), c.expected)
            << c.year << " " << c.hour << ":" << c.minute << ":" << c.second;
        EXPECT_EQ(changed, 0);
    }
}

TEST_F(KrxTest, SetTime_HopsBackOverManyRecords) {
    HeaderFile headers;
    const std::int32_t h = headers.add(standardHeader());
    DataFile data;
    for (int i = 0; i < 60; ++i) data.add(packedRecord(h, at(1, i)));
    const std::string path = writePair(data, headers);
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    const int minutes[] = {45, 3, 30, 59, 0, 21, 22, 1};
    for (int minute : minutes) {
        std::int16_t changed = 0;
        ASSERT_EQ(krx_set_time(2004, 126, 1, static_cast<std::int16_t>(minute), 0, &changed), 1);
        EXPECT_EQ(currentTime(), at(1, minute)) << minute;
    }
    // Going on from a record reached backwards.
    std::int16_t changed = 0;
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(currentTime(), at(1, 2));
}

TEST_F(KrxTest, SetTime_SelectsTheRecordsBeamForNextRecord) {
    HeaderFile headers;
    const std::int32_t h = headers.add(standardHeader());
    DataFile data;
    for (int i = 0; i < 6; ++i)
        data.add(packedRecord(h, at(2, i), static_cast<std::int16_t>(i % 2)));
    const std::string path = writePair(data, headers);
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    krx_set_radar_index(0);
    std::int16_t changed = 0;
    ASSERT_EQ(krx_set_time(2004, 126, 2, 1, 0, &changed), 1);  // beam 1
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(currentTime(), at(2, 3));
    ASSERT_EQ(krx_set_beam(-1), 1);
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(currentTime(), at(2, 4));
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(currentTime(), at(2, 5));
    EXPECT_EQ(krx_next_record(&changed), 0);
    EXPECT_EQ(krx_next_record(&changed), 0) << "the end of the data stays the end";
}

TEST_F(KrxTest, SelectionBounds) {
    EXPECT_EQ(krx_set_radar_index(0), 0) << "no header read yet";
    HeaderFile headers;
    HeaderRecord header = standardHeader();
    header.radar_count = 5;  // the library always describes one radar
    const std::int32_t h = headers.add(header);
    DataFile data;
    data.add(packedRecord(h, at(0, 0)));
    const std::string path = writePair(data, headers);
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    EXPECT_EQ(krx_set_radar_index(0), 1);
    EXPECT_EQ(krx_set_radar_index(-1), 1);
    EXPECT_EQ(krx_set_radar_index(1), 0);
    EXPECT_EQ(krx_set_radar_index(-2), 0);
    EXPECT_EQ(krx_set_beam(-1), 1);
    EXPECT_EQ(krx_set_beam(0), 1);
    EXPECT_EQ(krx_set_beam(1), 1);
    EXPECT_EQ(krx_set_beam(2), 0);
    EXPECT_EQ(krx_set_beam(-2), 0);
}

// Records that refer to nothing in the header block are passed over.
TEST_F(KrxTest, RecordsReferringToNothingArePassedOver) {
    HeaderFile headers;
    HeaderRecord header = standardHeader();
    header.beams = {{0, 0}, {1, 0}, {0, 4}, {10, 0}, {-1, 0}, {0, -1}};
    const std::int32_t h = headers.add(header);
    DataFile data;
    data.add(packedRecord(h, at(3, 0), 0));
    DataRecord otherRadar = packedRecord(h, at(3, 1), 0);
    otherRadar.radar_index = 1;
    data.add(otherRadar);
    const std::int16_t badBeams[] = {2, 3, 4, 5, 6, 13, 200, -1};
    int minute = 2;
    for (std::int16_t beam : badBeams) data.add(packedRecord(h, at(3, minute++), beam));
    data.add(packedRecord(h, at(3, 30), 1));
    data.add(packedRecord(h, at(3, 31), 7));  // the last record is unusable too
    const std::string path = writePair(data, headers);

    ASSERT_TRUE(openAt(path, 3, 0));
    std::int16_t changed = 0;
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(currentTime(), at(3, 30));
    EXPECT_EQ(krx_next_record(&changed), 0);

    // A target on an unusable record loads the next usable one; a target
    // after all records the last usable one.
    ASSERT_EQ(krx_set_time(2004, 126, 3, 1, 0, &changed), 1);
    EXPECT_EQ(currentTime(), at(3, 30));
    ASSERT_EQ(krx_set_time(2004, 126, 4, 0, 0, &changed), 1);
    EXPECT_EQ(currentTime(), at(3, 30));
    ASSERT_EQ(krx_set_time(2004, 126, 3, 0, 0, &changed), 1);
    EXPECT_EQ(currentTime(), at(3, 0));
}

TEST_F(KrxTest, HeaderChangedWhenARecordNamesAnotherHeaderRecord) {
    HeaderFile headers;
    const std::int32_t first = headers.add(standardHeader());
    HeaderRecord other = standardHeader();
    other.site_name = "XYZ";
    const std::int32_t second = headers.add(other);
    DataFile data;
    data.add(packedRecord(first, at(4, 0)));
    data.add(packedRecord(first, at(4, 1)));
    data.add(packedRecord(second, at(4, 2)));
    const std::string path = writePair(data, headers);
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    char site[33];
    krx_get_site_name(site);
    EXPECT_STREQ(site, "ABC");
    krx_set_radar_index(0);
    std::int16_t changed = 7;
    ASSERT_EQ(krx_set_time(2004, 126, 4, 0, 0, &changed), 1);
    EXPECT_EQ(changed, 0) << "the first record's header was read when the pair was opened";
    krx_set_beam(-1);
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(changed, 0);
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(changed, 1);
    krx_get_site_name(site);
    EXPECT_STREQ(site, "XYZ");
}

// ---- Record framing -----------------------------------------------------------

struct WidthCase {
    std::int16_t formatCode;
    std::int16_t fileFlags;  // flags word given to krx_set_file
    std::size_t lengthBytes;
    bool counts;  // the record is long enough to carry its counts
};

TEST_F(KrxTest, LengthFieldWidthFollowsFormatCodeAndFlags) {
    const WidthCase cases[] = {
        {2999, 0, 2, true}, {3000, 0, 4, true}, {16, 0, 2, true}, {16, 4, 4, false}};
    int n = 0;
    for (const WidthCase& c : cases) {
        HeaderFile headers;
        const std::int32_t h = headers.add(standardHeader());
        DataFile data;
        for (int i = 0; i < 3; ++i) {
            DataRecord r = packedRecord(h, at(5, i), 0, static_cast<std::int16_t>(1000 * i));
            r.format_code = c.formatCode;
            r.flags = c.fileFlags;
            r.carry_counts = c.counts;
            r.coherent_integrations = kCoherent;
            data.add(r);
        }
        // The length field stands right behind the format code.
        const krxwriter::Bytes& bytes = data.bytes();
        const std::size_t recordLength = bytes.size() / 3;
        std::int32_t stored = bytes[2] | bytes[3] << 8;
        if (c.lengthBytes == 4) stored |= bytes[4] << 16 | bytes[5] << 24;
        EXPECT_EQ(static_cast<std::size_t>(stored), recordLength) << c.formatCode;

        const std::string path = writePair(data, headers, "d" + std::to_string(n++) + ".mom");
        ASSERT_TRUE(openAt(path, 5, 1, c.fileFlags)) << c.formatCode;
        EXPECT_EQ(currentTime(), at(5, 1));
        EXPECT_FLOAT_EQ(velocities(1)[0],
                        1000 * velocityScale(kFrequency, kIpp, kCoherent, 1) * 0.0001f);
        std::int16_t changed = 0;
        ASSERT_EQ(krx_next_record(&changed), 1);
        EXPECT_EQ(currentTime(), at(5, 2));
        EXPECT_EQ(krx_next_record(&changed), 0);
        // Backwards over records of this width.
        ASSERT_EQ(krx_set_time(2004, 126, 0, 0, 0, &changed), 1);
        EXPECT_EQ(currentTime(), at(5, 0));
    }
}

// Below format code 3000 the counts are present only when the length exceeds
// gate_count * 5 + 18 (flags word 0).
TEST_F(KrxTest, CarriedCountsBelowFormat3000DependOnTheMinimumLength) {
    HeaderFile headers;
    const std::int32_t h = headers.add(standardHeader());
    DataFile data;
    DataRecord atMinimum = packedRecord(h, at(6, 0));  // L = 4 * 5 + 18
    EXPECT_EQ(atMinimum.bytes().size(), static_cast<std::size_t>(kGates * 5 + 18));
    data.add(atMinimum);
    DataRecord withCounts = packedRecord(h, at(6, 1));
    withCounts.carry_counts = true;
    withCounts.coherent_integrations = 50;
    withCounts.spectral_averages = 7;
    data.add(withCounts);
    // One byte more than the minimum: the first body bytes are taken as the
    // counts: entry 0's velocity code 300, then its width byte 10 and snr 0.
    DataRecord oneMore = packedRecord(h, at(6, 2), 0, 300);
    oneMore.padding = {0};
    data.add(oneMore);
    const std::string path = writePair(data, headers);

    std::int16_t integrations = 0, averages = 0;
    auto counts = [&] {
        krx_get_beam_info(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          &integrations, &averages, nullptr);
    };
    ASSERT_TRUE(openAt(path, 6, 0));
    counts();
    EXPECT_EQ(integrations, kCoherent);
    EXPECT_EQ(averages, 20);
    std::int16_t changed = 0;
    ASSERT_EQ(krx_next_record(&changed), 1);
    counts();
    EXPECT_EQ(integrations, 50);
    EXPECT_EQ(averages, 7);
    EXPECT_FLOAT_EQ(velocities(1)[0], 100 * velocityScale(kFrequency, kIpp, 50, 1) * 0.0001f);
    testing::internal::CaptureStderr();
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\aRead error 0\n")
        << "four body bytes went to the counts; the last entry is short";
    counts();
    EXPECT_EQ(integrations, 300);
    EXPECT_EQ(averages, 10);
}

TEST_F(KrxTest, Format3000CarriesItsOwnFlagsAndCounts) {
    HeaderFile headers;
    const std::int32_t h = headers.add(standardHeader());
    DataFile data;
    DataRecord r = packedRecord(h, at(7, 0));
    r.format_code = 3016;
    r.flags = 4;  // raw samples
    r.coherent_integrations = 25;
    r.spectral_averages = 3;
    for (int i = 0; i < kGates * 2 * kPoints; ++i) r.raw.push_back(static_cast<float>(i));
    data.add(r);
    const std::string path = writePair(data, headers);
    ASSERT_TRUE(openAt(path, 7, 0));
    std::int16_t integrations = 0;
    krx_get_beam_info(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      &integrations, nullptr, nullptr);
    EXPECT_EQ(integrations, 25);
    const KrxDataArrays& a = krx_data_arrays();
    ASSERT_NE(a.raw, nullptr);
    EXPECT_EQ(a.raw[0], 0.0f);
    EXPECT_EQ(a.raw[kGates * 2 * kPoints - 1], static_cast<float>(kGates * 2 * kPoints - 1));
}

// ---- Values handed out ---------------------------------------------------------

TEST_F(KrxTest, GetTime_BreaksTheStoredSecondsDownInUtc) {
    struct Case {
        int year, month, day, hour, minute, second;
        int sinceYear1900, dayOfYear;
    };
    const Case cases[] = {
        {2004, 12, 31, 23, 59, 59, 104, 366}, {2005, 1, 1, 0, 0, 0, 105, 1},
        {2000, 3, 1, 12, 30, 15, 100, 61},    {1999, 12, 31, 6, 0, 0, 99, 365},
        {1969, 12, 31, 23, 0, 0, 69, 365},
    };
    HeaderFile headers;
    const std::int32_t h = headers.add(standardHeader());
    DataFile data;
    for (const Case& c : cases) {
        data.add(packedRecord(
            h, krxwriter::epoch_seconds(c.year, c.month, c.day, c.hour, c.minute, c.second)));
    }
    const std::string path = writePair(data, headers);
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    krx_set_radar_index(0);
    krx_set_beam(-1);
    for (const Case& c : cases) {
        std::int16_t changed = 0;
        ASSERT_EQ(krx_next_record(&changed), 1);
        std::int16_t y, d, hh, mm, ss;
        EXPECT_EQ(krx_get_time(&y, &d, &hh, &mm, &ss),
                  krxwriter::epoch_seconds(c.year, c.month, c.day, c.hour, c.minute, c.second));
        EXPECT_EQ(y, c.sinceYear1900);
        EXPECT_EQ(d, c.dayOfYear);
        EXPECT_EQ(hh, c.hour);
        EXPECT_EQ(mm, c.minute);
        EXPECT_EQ(ss, c.second);
    }
}

TEST_F(KrxTest, GetBeamInfo_HeightsFollowTheElevation) {
    struct Case {
        std::int16_t elevation;
        std::int32_t firstGate, spacing;
    };
    // delay 3000 - 200 = 2800 ns -> 420 m along the beam; spacing 700 ns -> 105 m.
    const Case cases[] = {
        {0, 420, 105},     // factor 1
        {-5, 420, 105},    // factor 1
        {90, 420, 105},    // sin 90 degrees
        {30, 210, 52},     // 209.99996..., 52.49999 (pi taken as 3.141592)
        {7500, 406, 101},  // 75.00 degrees: 405.69..., 101.42...
        {91, 7, 2},        // 0.91 degrees: 6.67..., 1.66...
    };
    for (const Case& c : cases) {
        krx_reset_state();
        HeaderFile headers;
        HeaderRecord header = standardHeader();
        header.directions[0].elevation = c.elevation;
        header.directions[0].name = "ABCDEFGHIJKL";  // 12 bytes, no NUL
        const std::int32_t h = headers.add(header);
        DataFile data;
        data.add(packedRecord(h, at(8, 0)));
        const std::string path =
            writePair(data, headers, "d" + std::to_string(c.elevation) + ".mom");
        ASSERT_TRUE(openAt(path, 8, 0));
        std::int16_t azimuth = -1, elevation = -1, gates = 0, integrations = 0, averages = 0,
                     points = 0;
        std::int32_t ipp = 0, pulse = 0, firstGate = 0, spacing = 0;
        char name[13];
        std::memset(name, 'x', sizeof name);
        ASSERT_EQ(krx_get_beam_info(0, &azimuth, &elevation, name, &ipp, &pulse, &firstGate,
                                    &spacing, &gates, &integrations, &averages, &points),
                  1);
        EXPECT_EQ(elevation, c.elevation);
        EXPECT_EQ(azimuth, 0);
        EXPECT_STREQ(name, "ABCDEFGHIJKL");
        EXPECT_EQ(firstGate, c.firstGate) << c.elevation;
        EXPECT_EQ(spacing, c.spacing) << c.elevation;
        EXPECT_EQ(ipp, kIpp);
        EXPECT_EQ(pulse, 700);
        EXPECT_EQ(gates, kGates);
        EXPECT_EQ(integrations, kCoherent);
        EXPECT_EQ(averages, 20);
        EXPECT_EQ(points, kPoints);
        krx_set_file("__NO_FILE__", 0);
    }
}

TEST_F(KrxTest, GetBeamInfo_RefusesBeamsAndRadarsOutsideTheHeader) {
    HeaderFile headers;
    HeaderRecord header = standardHeader();
    header.beams = {{0, 0}, {1, 0}, {0, 4}, {12, 0}};
    const std::int32_t h = headers.add(header);
    DataFile data;
    data.add(packedRecord(h, at(8, 0)));
    const std::string path = writePair(data, headers);
    ASSERT_TRUE(openAt(path, 8, 0));
    auto info = [](std::int16_t beam) {
        std::int16_t azimuth = 0;
        return krx_get_beam_info(beam, &azimuth, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr);
    };
    EXPECT_EQ(info(1), 1);
    EXPECT_EQ(info(2), 0) << "mode outside the table";
    EXPECT_EQ(info(3), 0) << "direction outside the table";
    EXPECT_EQ(info(4), 0);
    EXPECT_EQ(info(-1), 0);
    ASSERT_EQ(krx_set_radar_index(-1), 1);
    EXPECT_EQ(info(0), 0) << "no radar selected";
}

TEST_F(KrxTest, SiteNameLocationAndAltitude) {
    HeaderFile headers;
    HeaderRecord header = standardHeader();
    header.site_name = std::string(32, 'S');  // fills the field, no NUL
    const std::int32_t h = headers.add(header);
    DataFile data;
    data.add(packedRecord(h, at(9, 0)));
    const std::string path = writePair(data, headers);
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    char site[40];
    std::memset(site, 'x', sizeof site);
    EXPECT_EQ(krx_get_site_name(site), 33);
    EXPECT_EQ(std::string(site), std::string(32, 'S'));
    std::int16_t latitude = 0, longitude = 0;
    krx_get_location(&latitude, &longitude);
    EXPECT_EQ(latitude, 4012);
    EXPECT_EQ(longitude, -10525);
    EXPECT_EQ(krx_get_altitude(), 1600);
}

}  // namespace
}  // namespace krxtest
