// Header records: versions, met instruments, read failures and their
// reports, and the adjustment of the spectral windows.
#include "tests/krx/krx_fixture.h"

namespace krxtest {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

struct Output {
    std::string out, err;
};

// Runs `action` and returns what it wrote to stdout and stderr.
template <typename F>
Output captured(F action) {
    CaptureStdout();
    CaptureStderr();
    action();
    Output o;
    o.err = GetCapturedStderr();
    o.out = GetCapturedStdout();
    return o;
}

std::string siteName() {
    char site[33];
    krx_get_site_name(site);
    return site;
}

const std::string kReport = "Header Read Error, pressing on...";

class KrxHeaderTest : public KrxTest {
  protected:
    // A pair whose records all name the header record built from `header`
    // (placed behind `lead` bytes of other header records).
    std::string pairWith(const krxwriter::Bytes& headerBytes, std::int32_t offset,
                         std::int16_t format = 16, const std::vector<float>& met = {}) {
        DataFile data;
        for (int i = 0; i < 2; ++i) {
            DataRecord r = packedRecord(offset, at(10, i));
            r.format_code = format;
            r.met = met;
            data.add(r);
        }
        return writePair(data.bytes(), headerBytes, "d" + std::to_string(++files_) + ".mom");
    }

    int files_ = 0;
};

// ---- Versions ----------------------------------------------------------------

TEST_F(KrxHeaderTest, VersionsOutside100To999AreRefused) {
    struct Case {
        std::int16_t version;
        bool accepted;
    };
    const Case cases[] = {{99, false}, {100, true},   {102, true}, {103, true},
                          {999, true}, {1000, false}, {-1, false}};
    for (const Case& c : cases) {
        krx_reset_state();
        HeaderRecord header = standardHeader();
        header.version = c.version;
        const std::string path = pairWith(header.bytes(), 0);
        std::int16_t opened = 0;
        const Output o = captured([&] { opened = krx_set_file(path.c_str(), 0); });
        EXPECT_EQ(opened, 1) << c.version;
        if (c.accepted) {
            EXPECT_EQ(o.out, "");
            EXPECT_EQ(o.err, "");
            EXPECT_EQ(siteName(), "ABC") << c.version;
            EXPECT_TRUE(openAt(path, 10, 0));
        } else {
            EXPECT_EQ(o.out, "\a") << c.version;
            EXPECT_EQ(o.err, kReport + "\n  0 -10  -1\n") << c.version;
            EXPECT_EQ(siteName(), "");
            std::int16_t changed = 0;
            EXPECT_EQ(krx_set_time(2004, 126, 10, 0, 0, &changed), 0)
                << "no header: no usable record";
        }
    }
}

TEST_F(KrxHeaderTest, Version102HasNoMetFieldsAnd103Has) {
    HeaderRecord v102 = standardHeader();
    v102.version = 102;
    v102.met_codes = {1, 2, 3};  // not written for 102
    EXPECT_EQ(v102.bytes().size(), 2u + 2u + 560u + 4u);
    HeaderRecord v103 = standardHeader();
    v103.met_codes = {1, 2, 3};
    EXPECT_EQ(v103.bytes().size(), 2u + 2u + 2u + 10u + 560u + 4u + 6u);

    // With met instruments, records from format code 3000 on carry their
    // values in front of the raw samples.
    const std::string path = pairWith(v103.bytes(), 0, 3016, {1.5f, -2.25f, 1e6f});
    ASSERT_TRUE(openAt(path, 10, 0));
    const KrxDataArrays& a = krx_data_arrays();
    EXPECT_EQ(a.met[0], 1.5f);
    EXPECT_EQ(a.met[1], -2.25f);
    EXPECT_EQ(a.met[2], 1e6f);
    EXPECT_EQ(krx_file().met_count, 3);
    EXPECT_EQ(krx_file().met_codes[2], 3);
    EXPECT_EQ(siteName(), "ABC");

    krx_reset_state();
    const std::string old = pairWith(v102.bytes(), 0, 3016);
    ASSERT_TRUE(openAt(old, 10, 0));
    EXPECT_EQ(siteName(), "ABC");
    EXPECT_EQ(krx_file().met_count, 0);
}

// ---- Met instruments ---------------------------------------------------------

TEST_F(KrxHeaderTest, MetInstrumentCountsAreBounded) {
    struct Case {
        const char* what;
        int codes;  // codes written
        std::optional<std::int16_t> announced;
        std::string out;  // stdout: the met message, then the bell
    };
    const Case cases[] = {
        {"210 codes", 210, std::nullopt, ""},
        {"211 codes", 211, std::nullopt, "\aToo many met inst, modify arrays in met routine  \a"},
        {"32767 announced", 0, std::int16_t{32767},
         "\aToo many met inst, modify arrays in met routine  \a"},
        {"5 announced, 2 present", 2, std::int16_t{5}, " cannot read all 5 inst\n\a"},
        {"negative count", 0, std::int16_t{-1}, " cannot read all -1 inst\n\a"},
    };
    for (const Case& c : cases) {
        krx_reset_state();
        HeaderRecord header = standardHeader();
        for (int i = 0; i < c.codes; ++i) header.met_codes.push_back(static_cast<std::int16_t>(i));
        header.met_count = c.announced;
        const std::string path = pairWith(header.bytes(), 0);
        const Output o = captured([&] { krx_set_file(path.c_str(), 0); });
        EXPECT_EQ(o.out, c.out) << c.what;
        if (c.out.empty()) {
            EXPECT_EQ(o.err, "") << c.what;
            EXPECT_EQ(krx_file().met_count, c.codes);
            EXPECT_EQ(krx_file().met_codes[209], 209);
        } else {
            EXPECT_EQ(o.err, kReport + "\n  0 -3  -1\n") << c.what;
            EXPECT_EQ(krx_file().met_count, 0);
        }
    }
}

// ---- Read failures -------------------------------------------------------------

TEST_F(KrxHeaderTest, ReportNamesTheSeekTheCodeAndTheLastGoodOffset) {
    struct Case {
        const char* what;
        krxwriter::Bytes headers;
        std::int32_t offset;
        std::string err;
    };
    const krxwriter::Bytes good = standardHeader().bytes();
    const Case cases[] = {
        {"negative offset", good, -8, "\n  -1 -8  -1\n"},
        {"offset behind the file", good, 100000, "\n  0 -1  -1\n"},
        {"block cut short", krxwriter::truncated(good, 300), 0, "\n  0 -4  -1\n"},
        {"int32 behind the block missing", krxwriter::truncated(good, 16 + 560 + 2), 0,
         "\n  0 -4  -1\n"},
        {"version only", krxwriter::truncated(good, 2), 0, "\n  0 -4  -1\n"},
        {"empty header file", {}, 0, "\n  0 -1  -1\n"},
    };
    for (const Case& c : cases) {
        krx_reset_state();
        const std::string path = pairWith(c.headers, c.offset);
        const Output o = captured([&] { EXPECT_EQ(krx_set_file(path.c_str(), 0), 1); });
        EXPECT_EQ(o.out, "\a") << c.what;
        EXPECT_EQ(o.err, kReport + c.err) << c.what;
    }
}

TEST_F(KrxHeaderTest, OnlyTheFirstFailureIsReportedAndTheBlockInUseStays) {
    HeaderFile headers;
    const std::int32_t good = headers.add(standardHeader());
    HeaderRecord bad = standardHeader();
    bad.version = 50;
    bad.site_name = "BAD";
    const std::int32_t badOffset = headers.add(bad);
    DataFile data;
    data.add(packedRecord(good, at(11, 0)));
    data.add(packedRecord(badOffset, at(11, 1), 0, 500));
    data.add(packedRecord(badOffset, at(11, 2), 0, 600));
    const std::string path = writePair(data, headers);

    ASSERT_TRUE(openAt(path, 11, 0));
    std::int16_t changed = 7;
    Output o = captured([&] { EXPECT_EQ(krx_next_record(&changed), 1); });
    EXPECT_EQ(o.out, "\a");
    EXPECT_EQ(o.err, kReport + "\n  0 -10  0\n");
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(siteName(), "ABC");
    EXPECT_FLOAT_EQ(velocities(1)[0], 500 * velocityScale(kFrequency, kIpp, kCoherent, 1) * 0.0001f)
        << "read with the header block in use";

    // The next record names the same offset: it is tried again, silently.
    o = captured([&] { EXPECT_EQ(krx_next_record(&changed), 1); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");

    // And so is a failure in another pair.
    HeaderRecord worse = standardHeader();
    worse.version = 1000;
    const std::string other = pairWith(worse.bytes(), 0);
    o = captured([&] { EXPECT_EQ(krx_set_file(other.c_str(), 0), 1); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

// ---- Adjustments -----------------------------------------------------------------

struct WindowCase {
    const char* what;
    std::int16_t beam;  // 0: mode 0 with 128 points; 1: mode 1 with 64 points
    std::int16_t w1s, w1l, w2s, w2l;
    std::int16_t e1s, e1l, e2s, e2l;
};

TEST_F(KrxHeaderTest, WindowsAreAdjustedForTheHeaderAndEachRecord) {
    const WindowCase cases[] = {
        {"no second window", 0, 1, 128, 1, 0, 1, 128, 1, 0},
        {"second window of one point", 0, 1, 128, 7, 1, 1, 128, 1, 0},
        {"partial window 1 without window 2", 0, 3, 40, 1, -4, 1, 128, 1, 0},
        {"record's own mode", 1, 1, 128, 1, 0, 1, 64, 1, 0},
        {"two windows kept", 0, 41, 60, 1, 20, 41, 60, 1, 20},
        {"two windows kept, other mode", 1, 41, 60, 1, 20, 41, 60, 1, 20},
        {"missing window 1: mode 0's spectrum", 1, 9, 0, 1, 20, 1, 128, 1, 20},
        {"negative window 1", 0, 9, -3, 2, 30, 1, 128, 2, 30},
    };
    for (const WindowCase& c : cases) {
        krx_reset_state();
        HeaderRecord header = standardHeader();
        header.modes[0].spectrum_points = 128;
        header.modes[1] = header.modes[0];
        header.modes[1].spectrum_points = 64;
        header.beams[1].mode = 1;
        header.window1_start = c.w1s;
        header.window1_length = c.w1l;
        header.window2_start = c.w2s;
        header.window2_length = c.w2l;
        HeaderFile headers;
        const std::int32_t h = headers.add(header);
        DataFile data;
        data.add(packedRecord(h, at(12, 0), c.beam));
        const std::string path = writePair(data, headers, "d" + std::to_string(++files_) + ".mom");
        ASSERT_TRUE(openAt(path, 12, 0)) << c.what;
        std::int16_t w1s, w1l, w2s, w2l;
        krx_get_spectral_windows(&w1s, &w1l, &w2s, &w2l, nullptr, nullptr, nullptr, nullptr,
                                 nullptr);
        EXPECT_EQ(w1s, c.e1s) << c.what;
        EXPECT_EQ(w1l, c.e1l) << c.what;
        EXPECT_EQ(w2s, c.e2s) << c.what;
        EXPECT_EQ(w2l, c.e2l) << c.what;
    }
}

TEST_F(KrxHeaderTest, SpectralWindowValuesAndRassFlagAreHandedOut) {
    HeaderRecord header = standardHeader();
    header.window1_start = 41;
    header.window1_length = 4;
    header.window2_start = 2;
    header.window2_length = 3;
    header.rass_flag = 1;
    header.spectral_params = {11, -12, 13, 14};
    header.spectral_param5 = 15;
    const std::string path = pairWith(header.bytes(), 0);
    ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
    std::int16_t v[9];
    EXPECT_EQ(
        krx_get_spectral_windows(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8]), 1);
    const std::int16_t expected[9] = {41, 4, 2, 3, 11, -12, 13, 14, 15};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(v[i], expected[i]) << i;
}

TEST_F(KrxHeaderTest, ReceiverCountSizesTheEntries) {
    struct Case {
        std::int16_t receivers;
        int entriesCopied;
    };
    const Case cases[] = {{1, 4}, {2, 8}, {-2, 4}, {0, 0}};
    for (const Case& c : cases) {
        krx_reset_state();
        HeaderRecord header = standardHeader();
        header.receiver_count = c.receivers;
        HeaderFile headers;
        const std::int32_t h = headers.add(header);
        DataFile data;
        DataRecord r = packedRecord(h, at(13, 0));
        r.carry_counts = true;  // longer than the one-receiver minimum
        r.coherent_integrations = kCoherent;
        for (int i = 0; i < kGates; ++i)
            r.window1.push_back({.velocity = static_cast<std::int16_t>(200 + i)});
        data.add(r);
        const std::string path = writePair(data, headers, "d" + std::to_string(++files_) + ".mom");
        ASSERT_TRUE(openAt(path, 13, 0)) << c.receivers;
        const std::vector<float> v = velocities(10);
        int copied = 0;
        while (copied < 10 && v[copied] != -999.0f) ++copied;
        EXPECT_EQ(copied, c.entriesCopied) << c.receivers;
        if (c.entriesCopied == 8) {
            EXPECT_FLOAT_EQ(v[7], 203 * velocityScale(kFrequency, kIpp, kCoherent, 2) * 0.0001f);
        }
    }
}

}  // namespace
}  // namespace krxtest
