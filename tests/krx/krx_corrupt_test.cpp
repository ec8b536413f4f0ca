// Damaged pairs: truncated anywhere, lengths pointing past the end or
// framing nothing, absurd counts and offsets, random damage. Each must end
// cleanly (run these under the sanitizer build as well).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>

#include "tests/krx/krx_fixture.h"

namespace krxtest {
namespace {

using krxwriter::Bytes;

// What a client sees when it walks the pair as the binary moment reader does.
struct Walk {
    bool opened = false;
    bool timeSet = false;
    int records = 0;
    std::int32_t firstTime = 0;
};

constexpr int kRecordCap = 1000;  // far above any fixture's record count

// Opens the pair, loads the first record, walks to the end with every getter,
// then positions forward and backward.
Walk walk(const std::string& path, std::int16_t flags = 0) {
    Walk w;
    w.opened = krx_set_file(path.c_str(), flags) == 1;
    if (w.opened) {
        char site[33];
        krx_get_site_name(site);
        krx_set_radar_index(0);
        std::int16_t changed = 0;
        w.timeSet = krx_set_time(2004, 126, 0, 0, 0, &changed) == 1;
        if (w.timeSet) {
            w.firstTime = krx_get_time(nullptr, nullptr, nullptr, nullptr, nullptr);
            krx_set_beam(-1);
            do {
                std::int16_t azimuth, elevation, gates = 0, integrations, averages, points;
                std::int32_t ipp, pulse, firstGate, spacing;
                char name[13];
                krx_get_beam_info(0, &azimuth, &elevation, name, &ipp, &pulse, &firstGate, &spacing,
                                  &gates, &integrations, &averages, &points);
                krx_get_spectral_windows(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr);
                // Room for more than the gate count: the library bounds the copy.
                std::vector<float> values(static_cast<std::size_t>(std::max<int>(gates, 0)) + 64);
                const int capacity = static_cast<int>(values.size());
                krx_get_velocity(values.data(), capacity);
                krx_get_snr(values.data(), capacity);
                krx_get_rass_velocity(values.data(), capacity);
                krx_get_rass_snr(values.data(), capacity);
                krx_get_time(nullptr, nullptr, nullptr, nullptr, nullptr);
            } while (++w.records < kRecordCap && krx_next_record(&changed) == 1);
        }
        krx_set_time(2004, 126, 23, 59, 59, &changed);
        krx_set_time(2004, 126, 0, 0, 0, &changed);
        krx_set_time(2004, 126, 0, 20, 0, &changed);
        krx_next_record(&changed);
    }
    krx_set_file("__NO_FILE__", 0);
    return w;
}

// Swallows the library's diagnostics (stdout and stderr) for a whole loop of
// walks; mismatches are collected and reported once the streams are back.
class Quiet {
  public:
    Quiet() {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
    }
    ~Quiet() { release(); }

    void expect(bool ok, const std::string& what) {
        if (!ok) failures_.push_back(what);
    }

    // Restores the streams and returns the mismatches.
    std::vector<std::string> release() {
        if (capturing_) {
            testing::internal::GetCapturedStderr();
            testing::internal::GetCapturedStdout();
            capturing_ = false;
        }
        return failures_;
    }

  private:
    bool capturing_ = true;
    std::vector<std::string> failures_;
};

// A header with two windows and met instruments, records of format codes
// 3016, 3116 and 3216 with every section, and one without spectra.
struct RichPair {
    Bytes data, headers;
    std::vector<std::size_t> recordEnds;
    std::size_t headerRecordBytes = 0;
    bool wideLengths = false;  // int32 length fields
};

RichPair richPair() {
    HeaderRecord h = standardHeader();
    h.modes[0].gate_count = 2;
    h.modes[0].spectrum_points = 4;
    h.window1_start = 3;
    h.window1_length = 2;
    h.window2_start = 1;
    h.window2_length = 2;
    h.met_codes = {7, 8};
    HeaderFile headers;
    const std::int32_t at0 = headers.add(h);
    RichPair pair;
    pair.headerRecordBytes = headers.bytes().size();
    pair.wideLengths = true;

    DataFile data;
    const std::int16_t formats[] = {3016, 3116, 3216, 3016};
    for (int i = 0; i < 4; ++i) {
        DataRecord r;
        r.format_code = formats[i];
        r.flags = i < 3 ? 5 : 0;
        r.header_offset = at0;
        r.time = at(0, 10 * (i + 1));
        r.beam_index = static_cast<std::int16_t>(i % 2);
        r.coherent_integrations = kCoherent;
        r.window1 = {{.velocity = 100, .snr = 3, .noise = 2, .dc_power = 5}, {.velocity = -100}};
        r.window2 = {{.velocity = 50, .tenths = 7}, {.velocity = 60}};
        r.met = {1.0f, 2.0f};
        if (r.flags != 0) {
            r.spectra = {1, 2, 3, 4, 5, 6, 7, 8};
            r.raw = std::vector<float>(16, 0.25f);
        }
        pair.recordEnds.push_back(static_cast<std::size_t>(data.add(r)) + r.bytes().size());
    }
    pair.data = data.bytes();
    pair.headers = headers.bytes();
    return pair;
}

// Three packed records with 16-bit lengths and a version 102 header.
RichPair packedPair() {
    HeaderRecord h = standardHeader();
    h.version = 102;
    HeaderFile headers;
    const std::int32_t at0 = headers.add(h);
    RichPair pair;
    pair.headerRecordBytes = headers.bytes().size();
    DataFile data;
    for (int i = 0; i < 3; ++i) {
        const DataRecord r = packedRecord(at0, at(0, 10 * (i + 1)));
        pair.recordEnds.push_back(static_cast<std::size_t>(data.add(r)) + r.bytes().size());
    }
    pair.data = data.bytes();
    pair.headers = headers.bytes();
    return pair;
}

class KrxCorruptTest : public KrxTest {
  protected:
    // Walks the pair from a fresh library state. Only the file that changed
    // since the last walk is written again.
    Walk walkBytes(const Bytes& data, const Bytes& headers) {
        krx_reset_state();
        const std::string path = pathOf("d04126a.mom");
        if (!written_ || data != lastData_) {
            overwrite(path, data);
            lastData_ = data;
        }
        if (!written_ || headers != lastHeaders_) {
            overwrite(krx_header_path(path.c_str()), headers);
            lastHeaders_ = headers;
        }
        written_ = true;
        return walk(path);
    }

    // Writes the file's new contents in place and cuts it to their size:
    // much faster than truncating to 0 and writing anew, for thousands of
    // variants.
    static void overwrite(const std::string& path, const Bytes& bytes) {
        std::FILE* f = std::fopen(path.c_str(), "r+b");
        if (f == nullptr) {
            EXPECT_TRUE(krxwriter::writeFile(path, bytes));
            return;
        }
        const bool ok =
            bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        EXPECT_TRUE(std::fclose(f) == 0 && ok);
        std::filesystem::resize_file(path, bytes.size());
    }

    static void expectNone(const std::vector<std::string>& failures) {
        EXPECT_TRUE(failures.empty())
            << failures.size() << " cases, the first: " << failures.front();
    }

  private:
    bool written_ = false;
    Bytes lastData_, lastHeaders_;
};

TEST_F(KrxCorruptTest, IntactPairsAreReadWhole) {
    for (const RichPair& p : {richPair(), packedPair()}) {
        Quiet quiet;
        const Walk w = walkBytes(p.data, p.headers);
        EXPECT_TRUE(quiet.release().empty());
        EXPECT_TRUE(w.timeSet);
        EXPECT_EQ(w.records, static_cast<int>(p.recordEnds.size()));
        EXPECT_EQ(w.firstTime, at(0, 10));
    }
}

// Every complete record before the cut is read; the cut one is not.
TEST_F(KrxCorruptTest, DataFileTruncatedAtEveryByte) {
    for (const RichPair& p : {richPair(), packedPair()}) {
        Quiet quiet;
        for (std::size_t cut = 0; cut <= p.data.size(); ++cut) {
            const Walk w = walkBytes(krxwriter::truncated(p.data, cut), p.headers);
            const auto complete = std::count_if(p.recordEnds.begin(), p.recordEnds.end(),
                                                [cut](std::size_t end) { return end <= cut; });
            quiet.expect(
                w.opened && w.records == complete,
                "cut at " + std::to_string(cut) + ": " + std::to_string(w.records) + " records");
        }
        expectNone(quiet.release());
    }
}

// A header record cut anywhere cannot be read: no record refers to anything.
TEST_F(KrxCorruptTest, HeaderFileTruncatedAtEveryByte) {
    for (const RichPair& p : {richPair(), packedPair()}) {
        Quiet quiet;
        for (std::size_t cut = 0; cut <= p.headers.size(); ++cut) {
            const Walk w = walkBytes(p.data, krxwriter::truncated(p.headers, cut));
            const bool whole = cut >= p.headerRecordBytes;
            quiet.expect(
                w.timeSet == whole &&
                    w.records == (whole ? static_cast<int>(p.recordEnds.size()) : 0),
                "cut at " + std::to_string(cut) + ": " + std::to_string(w.records) + " records");
        }
        expectNone(quiet.release());
    }
}

// The second record's length: past the end, or too short for its own header.
TEST_F(KrxCorruptTest, BadLengthsEndTheData) {
    const RichPair p = richPair();
    const std::size_t second = p.recordEnds[0];
    const std::int32_t lengths[] = {static_cast<std::int32_t>(p.data.size() - second + 1),
                                    1000000,
                                    INT32_MAX,
                                    0,
                                    -1,
                                    -28,
                                    1,
                                    27};
    for (std::int32_t length : lengths) {
        Bytes data = p.data;
        krxwriter::putI32(data, second + 2, length);
        Quiet quiet;
        const Walk w = walkBytes(data, p.headers);
        quiet.release();
        EXPECT_EQ(w.records, 1) << length;
        // Positioning after all records lands on the last usable one.
        krx_reset_state();
        ASSERT_EQ(krx_set_file(pathOf("d04126a.mom").c_str(), 0), 1);
        std::int16_t changed = 0;
        const std::int16_t loaded = krx_set_time(2004, 126, 23, 0, 0, &changed);
        EXPECT_EQ(loaded, 1) << length;
        EXPECT_EQ(currentTime(), at(0, 10)) << length;
        EXPECT_EQ(krx_next_record(&changed), 0);
        EXPECT_EQ(krx_next_record(&changed), 0);
    }
}

// Trailing lengths are only used to step back; damaged ones must not send
// the backward walk anywhere outside the file or round in circles.
TEST_F(KrxCorruptTest, BadTrailingLengths) {
    const std::int32_t trailing[] = {0, -1, 5, 27, 29, 1000000, INT32_MIN};
    for (const RichPair& base : {richPair(), packedPair()}) {
        for (std::int32_t value : trailing) {
            Bytes data = base.data;
            for (std::size_t end : base.recordEnds) {
                if (base.wideLengths) {
                    krxwriter::putI32(data, end - 4, value);
                } else {
                    krxwriter::putI16(data, end - 2, static_cast<std::int16_t>(value));
                }
            }
            Quiet quiet;
            const Walk w = walkBytes(data, base.headers);
            quiet.release();
            EXPECT_EQ(w.records, static_cast<int>(base.recordEnds.size())) << value;
        }
    }
}

struct HeaderDamage {
    const char* what;
    std::function<void(HeaderRecord&)> apply;
};

TEST_F(KrxCorruptTest, AbsurdHeaderValues) {
    const HeaderDamage damages[] = {
        {"huge gate and receiver counts",
         [](HeaderRecord& h) {
             h.modes[0].gate_count = 32767;
             h.receiver_count = 32767;
         }},
        {"negative gate count", [](HeaderRecord& h) { h.modes[0].gate_count = -5; }},
        {"negative spectrum points", [](HeaderRecord& h) { h.modes[0].spectrum_points = -3; }},
        {"huge spectrum points", [](HeaderRecord& h) { h.modes[0].spectrum_points = 32767; }},
        {"zero spectrum points", [](HeaderRecord& h) { h.modes[0].spectrum_points = 0; }},
        {"huge windows",
         [](HeaderRecord& h) {
             h.window1_length = 32767;
             h.window2_length = 32767;
         }},
        {"window starts far out",
         [](HeaderRecord& h) {
             h.window1_start = -32768;
             h.window2_start = 32767;
         }},
        {"window 1 far behind", [](HeaderRecord& h) { h.window1_start = 32767; }},
        {"beam count 200", [](HeaderRecord& h) { h.beam_count = 200; }},
        {"beam count -1", [](HeaderRecord& h) { h.beam_count = -1; }},
        {"beam entries outside the tables",
         [](HeaderRecord& h) {
             h.beams = {{-3, 9}, {40, -2}};
         }},
        {"no receivers", [](HeaderRecord& h) { h.receiver_count = 0; }},
        {"zero ipp, frequency and integrations",
         [](HeaderRecord& h) {
             h.modes[0].ipp = 0;
             h.frequency = 0;
             h.modes[0].coherent_integrations = 0;
         }},
        {"met count -1", [](HeaderRecord& h) { h.met_count = -1; }},
        {"met count 32767", [](HeaderRecord& h) { h.met_count = 32767; }},
        {"extreme delays",
         [](HeaderRecord& h) {
             h.modes[0].first_gate_delay = INT32_MIN;
             h.modes[0].system_delay = 32767;
             h.directions[0].elevation = 32767;
         }},
    };
    const RichPair base = richPair();
    for (const HeaderDamage& d : damages) {
        HeaderRecord h = standardHeader();
        h.modes[0].gate_count = 2;
        h.modes[0].spectrum_points = 4;
        h.window1_start = 3;
        h.window1_length = 2;
        h.window2_length = 2;
        h.met_codes = {7, 8};
        d.apply(h);
        Quiet quiet;
        const Walk w = walkBytes(base.data, h.bytes());
        quiet.release();
        EXPECT_TRUE(w.opened) << d.what;
        EXPECT_LE(w.records, static_cast<int>(base.recordEnds.size())) << d.what;
    }
}

struct RecordDamage {
    const char* what;
    std::function<void(DataRecord&)> apply;
};

TEST_F(KrxCorruptTest, AbsurdRecordFields) {
    const RecordDamage damages[] = {
        {"header offset -1", [](DataRecord& r) { r.header_offset = -1; }},
        {"header offset far out", [](DataRecord& r) { r.header_offset = INT32_MAX; }},
        {"header offset mid-record", [](DataRecord& r) { r.header_offset = 3; }},
        {"format code -216", [](DataRecord& r) { r.format_code = -216; }},
        {"format code 32767", [](DataRecord& r) { r.format_code = 32767; }},
        {"flags word -1", [](DataRecord& r) { r.flags = -1; }},
        {"radar index 5", [](DataRecord& r) { r.radar_index = 5; }},
        {"beam index -7", [](DataRecord& r) { r.beam_index = -7; }},
        {"time extremes", [](DataRecord& r) { r.time = INT32_MIN; }},
        {"no entries",
         [](DataRecord& r) {
             r.window1.clear();
             r.window2.clear();
         }},
        {"spectra missing",
         [](DataRecord& r) {
             r.spectra.clear();
             r.raw.clear();
         }},
        {"garbage body", [](DataRecord& r) { r.padding = Bytes(300, 0xff); }},
    };
    for (const RecordDamage& d : damages) {
        HeaderRecord h = standardHeader();
        h.modes[0].gate_count = 2;
        h.modes[0].spectrum_points = 4;
        h.window1_start = 3;
        h.window1_length = 2;
        h.window2_length = 2;
        HeaderFile headers;
        const std::int32_t at0 = headers.add(h);
        DataFile data;
        for (int i = 0; i < 3; ++i) {
            DataRecord r;
            r.format_code = 3016;
            r.flags = 5;
            r.header_offset = at0;
            r.time = at(0, 10 * (i + 1));
            r.coherent_integrations = kCoherent;
            r.window1 = {{.velocity = 1}, {.velocity = 2}};
            r.window2 = {{}, {}};
            r.spectra = std::vector<float>(8, 1.0f);
            r.raw = std::vector<float>(16, 2.0f);
            if (i == 1) d.apply(r);
            data.add(r);
        }
        Quiet quiet;
        const Walk w = walkBytes(data.bytes(), headers.bytes());
        quiet.release();
        EXPECT_TRUE(w.opened) << d.what;
        EXPECT_LE(w.records, 3) << d.what;
    }
}

// Random damage to a few bytes of either file, seeded for repeatable runs.
TEST_F(KrxCorruptTest, RandomDamage) {
    std::mt19937 random(20040505);
    const RichPair pairs[] = {richPair(), packedPair()};
    Quiet quiet;
    for (int round = 0; round < 400; ++round) {
        const RichPair& p = pairs[round % 2];
        Bytes data = p.data;
        Bytes headers = p.headers;
        const int flips = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < flips; ++i) {
            Bytes& target = random() % 3 == 0 ? headers : data;
            const std::size_t at = random() % target.size();
            target[at] = static_cast<std::uint8_t>(
                random() % 2 == 0 ? random() : target[at] ^ (1u << (random() % 8)));
        }
        if (random() % 4 == 0) data = krxwriter::truncated(data, random() % (data.size() + 1));
        const Walk w = walkBytes(data, headers);
        quiet.expect(w.records < kRecordCap, "round " + std::to_string(round));
    }
    expectNone(quiet.release());
}

}  // namespace
}  // namespace krxtest
