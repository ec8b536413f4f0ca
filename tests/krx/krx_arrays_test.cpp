// Data arrays: section layouts, encodings and scales, spectra windows, raw
// samples, dc power, arrays larger than the defaults and allocation failures.
#include <cmath>
#include <cstring>

#include "tests/krx/krx_fixture.h"

namespace krxtest {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Velocity scale of the standard header: 915 MHz, ipp 40000 ns, 100 coherent
// integrations, one receiver; the Nyquist velocity in m/s.
constexpr float kScale = 20.47814178466797f;

TEST(KrxScale, StandardHeaderScale) {
    EXPECT_EQ(velocityScale(kFrequency, kIpp, kCoherent, 1), kScale);
}

class KrxArraysTest : public KrxTest {
  protected:
    // Writes one header record and the records; opens the pair with the given
    // flags word and loads the first record.
    void load(const HeaderRecord& header, std::vector<DataRecord> records,
              std::int16_t fileFlags = 0) {
        HeaderFile headers;
        const std::int32_t h = headers.add(header);
        DataFile data;
        int minute = 0;
        for (DataRecord& r : records) {
            r.header_offset = h;
            r.time = at(14, minute++);
            data.add(r);
        }
        const std::string path = writePair(data, headers, "d" + std::to_string(++files_) + ".mom");
        ASSERT_TRUE(openAt(path, 14, 0, fileFlags));
    }

    static HeaderRecord twoWindowHeader(std::int16_t points, std::int16_t w1s, std::int16_t w1l,
                                        std::int16_t w2s, std::int16_t w2l) {
        HeaderRecord h = standardHeader();
        h.modes[0].spectrum_points = points;
        h.window1_start = w1s;
        h.window1_length = w1l;
        h.window2_start = w2s;
        h.window2_length = w2l;
        return h;
    }

    static DataRecord record(std::int16_t format, int entries = kGates) {
        DataRecord r;
        r.format_code = format;
        r.coherent_integrations = kCoherent;
        r.spectral_averages = 20;
        for (int i = 0; i < entries; ++i)
            r.window1.push_back({.velocity = static_cast<std::int16_t>(i)});
        return r;
    }

    static std::vector<float> copy(std::int16_t (*getter)(float*, int), int capacity = kGates) {
        std::vector<float> v(static_cast<std::size_t>(capacity), -999.0f);
        getter(v.data(), capacity);
        return v;
    }

    int files_ = 0;
};

// ---- Section 1 and 2 encodings ---------------------------------------------------

TEST_F(KrxArraysTest, PackedRecordScales) {
    DataRecord r = record(16);
    r.carry_counts = false;
    r.window1[0] = {.velocity = 10000, .width = 50, .snr = -5, .noise = 20};
    r.window1[1] = {.velocity = -10000, .width = 255, .snr = 127, .noise = -128};
    r.window1[2] = {.velocity = 1234, .width = 0, .snr = 0, .noise = 0};
    load(standardHeader(), {r});
    const KrxDataArrays& a = krx_data_arrays();
    EXPECT_EQ(a.velocity1[0], kScale) << "a velocity code of 10000 is the Nyquist velocity";
    EXPECT_EQ(a.velocity1[1], -kScale);
    EXPECT_EQ(a.velocity1[2], 2.5270028114318848f);
    EXPECT_EQ(a.width1[0], 10.239070892333984f);
    EXPECT_EQ(a.width1[1], static_cast<float>(255 * static_cast<double>(kScale) * 0.01))
        << "the width byte is unsigned";
    EXPECT_EQ(a.snr1[0], -5.0f);
    EXPECT_EQ(a.snr1[1], 127.0f);
    EXPECT_EQ(a.noise1[0], 100.0f);
    EXPECT_EQ(a.noise1[1], static_cast<float>(std::pow(10.0, -128 * 0.1)));
    EXPECT_EQ(a.power1[0], 252.98220825195312f) << "10^(-0.5) * 8 points * noise 100";
    EXPECT_EQ(a.noise1[2], 1.0f);
    EXPECT_EQ(copy(krx_get_snr), (std::vector<float>{-5, 127, 0, 0}));
    EXPECT_EQ(copy(krx_get_rass_velocity), (std::vector<float>{0, 0, 0, 0}));
}

TEST_F(KrxArraysTest, UnpackedRecordWithSecondWindow) {
    DataRecord r = record(116);
    r.window1[0] = {.velocity = 10000, .width = 5000, .snr = 1234, .noise = 2000};
    r.window1[3] = {.velocity = 1, .width = 65535, .snr = -32768, .noise = -1000};
    for (int i = 0; i < kGates; ++i)
        r.window2.push_back({.velocity = static_cast<std::int16_t>(-i)});
    r.window2[0] = {.velocity = -10000, .width = 200, .snr = -250, .tenths = 123};
    DataRecord second = record(116);
    second.window2.resize(kGates);
    // 8 points: window 1 is points 1..4, window 2 points 5..7.
    load(twoWindowHeader(8, 1, 4, 5, 3), {r, second});
    const KrxDataArrays& a = krx_data_arrays();
    EXPECT_EQ(a.velocity1[0], kScale);
    EXPECT_EQ(a.width1[0], 10.239070892333984f);
    EXPECT_EQ(a.snr1[0], 12.34000015258789f);
    EXPECT_EQ(a.noise1[0], 100.0f);
    EXPECT_EQ(a.power1[0], 13711.6591796875f);
    EXPECT_EQ(a.width1[3], static_cast<float>(65535 * static_cast<double>(kScale) * 0.0001));
    EXPECT_EQ(a.snr1[3], -327.68f);
    EXPECT_EQ(a.noise1[3], 0.1f);
    EXPECT_EQ(a.velocity2[0], -kScale);
    EXPECT_EQ(a.width2[0], 0.4095628261566162f);
    EXPECT_EQ(a.snr2[0], -2.5f);
    EXPECT_EQ(a.power2[0], 449.873046875f) << "uses the first window's noise";
    EXPECT_EQ(a.tenths2[0], 12.3f);
    EXPECT_EQ(copy(krx_get_rass_snr)[0], -2.5f);
    EXPECT_EQ(copy(krx_get_rass_velocity)[3],
              static_cast<float>(-3 * static_cast<double>(kScale) * 0.0001));
    // The second record follows in place: the sections had the right sizes.
    std::int16_t changed = 0;
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(currentTime(), at(14, 1));
    EXPECT_EQ(copy(krx_get_rass_velocity), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_EQ(a.velocity1[3], static_cast<float>(3 * static_cast<double>(kScale) * 0.0001));
}

struct SectionTwoCase {
    std::int16_t format;
    bool secondWindow;  // section 2 present with a two-window header
};

TEST_F(KrxArraysTest, SecondWindowSectionDependsOnTheFormatDigits) {
    const SectionTwoCase cases[] = {
        {16, true},  {17, false},  {116, true},   {117, true},  {118, false},
        {216, true}, {3016, true}, {3017, false}, {3117, true},
    };
    for (const SectionTwoCase& c : cases) {
        krx_reset_state();
        DataRecord r = record(c.format);
        r.window1[0].velocity = 5000;
        const bool packed = (c.format / 100) % 10 == 0;
        if (c.secondWindow) {
            const std::int16_t snr = packed ? 3 : 300;  // 3 dB either way
            for (int i = 0; i < kGates; ++i) r.window2.push_back({.velocity = 10000, .snr = snr});
        }
        // A following record shows that the first one was read to its end.
        DataRecord next = record(c.format);
        next.window1[0].velocity = 7000;
        load(twoWindowHeader(8, 1, 4, 5, 3), {r, next});
        const float rass = copy(krx_get_rass_velocity)[0];
        EXPECT_EQ(rass, c.secondWindow ? kScale : 0.0f) << c.format;
        EXPECT_EQ(copy(krx_get_rass_snr)[1], c.secondWindow ? 3.0f : 0.0f) << c.format;
        std::int16_t changed = 0;
        ASSERT_EQ(krx_next_record(&changed), 1) << c.format;
        EXPECT_EQ(copy(krx_get_velocity)[0],
                  static_cast<float>(7000 * static_cast<double>(kScale) * 0.0001))
            << c.format;
        krx_set_file("__NO_FILE__", 0);
    }
}

TEST_F(KrxArraysTest, DcPowerOfHundredsDigit2) {
    DataRecord r = record(216);
    r.window1[0] = {.velocity = 10000, .width = 0, .snr = 100, .noise = 0, .dc_power = 1000};
    r.window1[1].dc_power = -2000;
    DataRecord next = record(216);
    next.window1[0].dc_power = 3000;
    load(standardHeader(), {r, next});
    const KrxDataArrays& a = krx_data_arrays();
    ASSERT_NE(a.dc_power, nullptr);
    EXPECT_EQ(a.dc_power[0], 10.0f);
    EXPECT_EQ(a.dc_power[1], 0.01f);
    EXPECT_EQ(a.dc_power[2], 1.0f);
    EXPECT_EQ(a.velocity1[0], kScale);
    EXPECT_EQ(a.snr1[0], 1.0f);
    std::int16_t changed = 0;
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(krx_data_arrays().dc_power[0], 1000.0f);
}

// ---- Spectra and raw samples -------------------------------------------------------

// Entry e's spectral point p (counted from 0) is e * 1000 + p.
std::vector<float> spectra(int entries, int points) {
    std::vector<float> v;
    for (int e = 0; e < entries; ++e) {
        for (int p = 0; p < points; ++p) v.push_back(static_cast<float>(e * 1000 + p));
    }
    return v;
}

std::vector<float> rawSamples(int entries, int points) {
    std::vector<float> v;
    for (int e = 0; e < entries; ++e) {
        for (int k = 0; k < 2 * points; ++k) v.push_back(static_cast<float>(-(e * 10000 + k)));
    }
    return v;
}

TEST_F(KrxArraysTest, SpectraWindowWalk) {
    // Window 2 is points 1..20, window 1 points 41..100 of 128: per entry the
    // reader skips 0, reads 20, skips 20, reads 60 and skips 28.
    DataRecord r = record(3016, 2);
    r.flags = 5;  // spectra and raw samples
    r.window2 = {{}, {}};
    HeaderRecord header = twoWindowHeader(128, 41, 60, 1, 20);
    header.modes[0].gate_count = 2;
    r.spectra = spectra(2, 128);
    r.raw = rawSamples(2, 128);
    load(header, {r, r});
    const KrxDataArrays& a = krx_data_arrays();
    ASSERT_NE(a.spectra, nullptr);
    for (int e = 0; e < 2; ++e) {
        const float* row = a.spectra + e * 80;
        for (int k = 0; k < 20; ++k) EXPECT_EQ(row[k], e * 1000 + k) << e << " " << k;
        for (int k = 0; k < 60; ++k) EXPECT_EQ(row[20 + k], e * 1000 + 40 + k) << e << " " << k;
    }
    EXPECT_EQ(a.spectra[160], 0.0f) << "nothing behind the last row";
    ASSERT_NE(a.raw, nullptr);
    EXPECT_EQ(a.raw[0], 0.0f);
    EXPECT_EQ(a.raw[255], -255.0f);
    EXPECT_EQ(a.raw[256], -10000.0f);
    EXPECT_EQ(a.raw[511], -10255.0f);
    std::int16_t changed = 0;
    EXPECT_EQ(krx_next_record(&changed), 1);
}

TEST_F(KrxArraysTest, SpectraStoredAsWindows) {
    // Last two digits 17: per entry the window-1 points, then the window-2
    // points; the row holds window 2 first.
    DataRecord r = record(3117, 2);
    r.flags = 1;
    r.window2 = {{}, {}};
    for (int e = 0; e < 2; ++e) {
        for (int k = 0; k < 6; ++k)
            r.spectra.push_back(static_cast<float>(100 * e + k));  // window 1
        for (int k = 0; k < 3; ++k)
            r.spectra.push_back(static_cast<float>(100 * e + 50 + k));  // window 2
    }
    HeaderRecord header = twoWindowHeader(16, 2, 6, 9, 3);
    header.modes[0].gate_count = 2;
    load(header, {r});
    const KrxDataArrays& a = krx_data_arrays();
    const float expected[] = {50,  51,  52,  0,   1,   2,   3,   4,   5,
                              150, 151, 152, 100, 101, 102, 103, 104, 105};
    for (int i = 0; i < 18; ++i) EXPECT_EQ(a.spectra[i], expected[i]) << i;
}

TEST_F(KrxArraysTest, SpectraWithoutSecondWindowAreWhole) {
    DataRecord r = record(16);
    r.flags = 1;  // the file's flags word: spectra, int32 lengths
    r.carry_counts = false;
    r.spectra = spectra(kGates, kPoints);
    DataRecord next = r;
    next.spectra = spectra(kGates, kPoints);
    for (float& v : next.spectra) v += 0.5f;
    load(standardHeader(), {r, next}, 1);
    const KrxDataArrays& a = krx_data_arrays();
    for (int e = 0; e < kGates; ++e) {
        for (int p = 0; p < kPoints; ++p) EXPECT_EQ(a.spectra[e * kPoints + p], e * 1000 + p);
    }
    std::int16_t changed = 0;
    ASSERT_EQ(krx_next_record(&changed), 1);
    EXPECT_EQ(a.spectra[kGates * kPoints - 1], 3007.5f);
}

// Arrays grow for records beyond 256 entries, 131072 spectral points or
// 262144 raw samples.
TEST_F(KrxArraysTest, RecordsLargerThanTheDefaultArrays) {
    constexpr int kManyGates = 300;
    constexpr int kManyPoints = 512;
    HeaderRecord header = standardHeader();
    header.modes[0].gate_count = kManyGates;
    header.modes[0].spectrum_points = kManyPoints;
    DataRecord r = record(3016, kManyGates);
    r.flags = 5;
    for (int i = 0; i < kManyGates; ++i) r.window1[i].velocity = static_cast<std::int16_t>(10 * i);
    r.spectra = spectra(kManyGates, kManyPoints);
    r.raw = rawSamples(kManyGates, kManyPoints);
    load(header, {r, record(3016, kManyGates)});
    const KrxDataArrays& a = krx_data_arrays();
    EXPECT_GE(a.entries, kManyGates);
    EXPECT_GE(a.spectra_floats, kManyGates * kManyPoints);
    EXPECT_GE(a.raw_floats, kManyGates * 2 * kManyPoints);
    const std::vector<float> v = copy(krx_get_velocity, kManyGates);
    EXPECT_EQ(v[kManyGates - 1], static_cast<float>(2990 * static_cast<double>(kScale) * 0.0001));
    EXPECT_EQ(a.spectra[kManyGates * kManyPoints - 1], 299511.0f);
    EXPECT_EQ(a.raw[kManyGates * 2 * kManyPoints - 1], -2991023.0f);
    std::int16_t changed = 0;
    EXPECT_EQ(krx_next_record(&changed), 1) << "a record without spectra and raw samples";
}

// ---- Copies to the client -------------------------------------------------------

TEST_F(KrxArraysTest, GettersCopyAtMostTheCapacity) {
    EXPECT_EQ(krx_get_velocity(nullptr, 4), 0) << "no record loaded yet";
    DataRecord r = record(16);
    r.carry_counts = false;
    load(standardHeader(), {r});
    std::vector<float> v(6, -1.0f);
    EXPECT_EQ(krx_get_velocity(v.data(), 2), 1);
    EXPECT_EQ(v[1], static_cast<float>(static_cast<double>(kScale) * 0.0001));
    EXPECT_EQ(v[2], -1.0f);
    EXPECT_EQ(krx_get_snr(v.data(), 6), 1);
    EXPECT_EQ(v[4], -1.0f) << "never more than the record's entries";
    EXPECT_EQ(krx_get_snr(nullptr, 0), 1);
    EXPECT_EQ(krx_get_snr(v.data(), -3), 1);
}

TEST_F(KrxArraysTest, ShortFirstWindowReportsAndKeepsTheOldValues) {
    DataRecord full = record(16);
    full.carry_counts = false;
    for (FirstWindowEntry& e : full.window1) e.snr = 9;
    DataRecord shortOne = record(16, 2);  // the mode says four entries
    shortOne.carry_counts = false;
    for (FirstWindowEntry& e : shortOne.window1) e.snr = 1;
    load(standardHeader(), {full, shortOne});
    std::int16_t changed = 0;
    CaptureStderr();
    EXPECT_EQ(krx_next_record(&changed), 1) << "the record is still handed out";
    EXPECT_EQ(GetCapturedStderr(), "\aRead error 0\n");
    EXPECT_EQ(copy(krx_get_snr), (std::vector<float>{1, 1, 9, 9}));
}

// ---- Allocation failures -----------------------------------------------------------

const char* g_failingLabel = nullptr;

bool failLabel(std::uint64_t, const char* label) {
    return g_failingLabel != nullptr && std::strcmp(label, g_failingLabel) == 0;
}

struct FailureCase {
    const char* label;
    bool loaded;
    std::string err;
};

TEST_F(KrxArraysTest, AllocationFailures) {
    const FailureCase cases[] = {
        {"disk: spec", false,
         "\aCannot allocate spectral array in disk (set_krx_arrays())\n"
         "\aCannot allocate memory for data arrays\nnhts = 4, pts = 8 + 0 , nrx = 1 \n"},
        {"disk: raw", true,
         "\aCannot allocate raw data array in disk (set_krx_arrays())\nnhts = 4, pts = 8, nrx = "
         "1\n"},
        {"disk: hdr", false,
         "\aCannot allocate memory for data arrays\nnhts = 4, pts = 8 + 0 , nrx = 1 \n"},
        {"disk: dcpow", true, ""},
    };
    set_allocation_failure_hook(failLabel);
    for (const FailureCase& c : cases) {
        krx_reset_state();
        g_failingLabel = c.label;
        HeaderFile headers;
        const std::int32_t h = headers.add(standardHeader());
        DataRecord r = record(3216);
        r.flags = 5;
        r.header_offset = h;
        r.time = at(15, 0);
        r.window1[1].velocity = 10000;
        r.spectra = spectra(kGates, kPoints);
        r.raw = rawSamples(kGates, kPoints);
        DataFile data;
        data.add(r);
        const std::string path = writePair(data, headers, "d" + std::to_string(++files_) + ".mom");
        ASSERT_EQ(krx_set_file(path.c_str(), 0), 1);
        krx_set_radar_index(0);
        std::int16_t changed = 0;
        std::int16_t loaded = 0;
        CaptureStderr();
        loaded = krx_set_time(2004, 126, 15, 0, 0, &changed);
        EXPECT_EQ(GetCapturedStderr(), c.err) << c.label;
        EXPECT_EQ(loaded, c.loaded ? 1 : 0) << c.label;
        if (c.loaded) {
            EXPECT_EQ(copy(krx_get_velocity)[1], kScale) << c.label;
            EXPECT_EQ(krx_data_arrays().spectra[kGates * kPoints - 1], 3007.0f) << c.label;
        }
    }
    g_failingLabel = nullptr;
    set_allocation_failure_hook(nullptr);
}

}  // namespace
}  // namespace krxtest
