// A record's body is decoded only when its values are asked for, or dropped
// for a later record that overwrites it. Whatever a caller asks, and when,
// the arrays must hold exactly what decoding every record as it is loaded
// gives: a walk that looks at the arrays after every record is compared
// with walks that look only now and then, over records of different gate
// counts, packed and unpacked, with and without a second window or met
// values, complete and cut short, across two files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/krx/krx_fixture.h"

namespace krxtest {
namespace {

// Every array of the moment block, bit for bit, with the getters' copies.
struct Snapshot {
    std::vector<std::uint32_t> block;
    std::vector<float> velocity, snr, rassVelocity, rassSnr;
    std::int32_t time = 0;

    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot() {
    Snapshot s;
    const KrxDataArrays& a = krx_data_arrays();
    const std::int64_t floats = kMomentArrays * a.entries + krx_layout::kMaxMetInstruments;
    s.block.resize(static_cast<std::size_t>(floats));
    if (a.block != nullptr) std::memcpy(s.block.data(), a.block, s.block.size() * sizeof(float));
    using Getter = std::int16_t (*)(float*, int);
    const std::pair<Getter, std::vector<float>*> getters[] = {
        {krx_get_velocity, &s.velocity},
        {krx_get_snr, &s.snr},
        {krx_get_rass_velocity, &s.rassVelocity},
        {krx_get_rass_snr, &s.rassSnr}};
    for (const auto& [getter, out] : getters) {
        out->assign(12, -1.0f);
        getter(out->data(), 12);
    }
    s.time = krx_get_time(nullptr, nullptr, nullptr, nullptr, nullptr);
    return s;
}

class KrxDeferredDecoding : public KrxTest {
  protected:
    // A pair of `count` records of random shapes; the path.
    std::string randomPair(std::mt19937& rng, int count, const std::string& name) {
        HeaderFile headers;
        std::vector<std::int32_t> offsets;
        for (const std::int16_t gates : {4, 6, 2, 9}) {
            HeaderRecord h = standardHeader();
            h.modes[0].gate_count = gates;
            if (gates % 3 == 0) {  // a second window
                h.window1_length = kPoints / 2;
                h.window2_start = kPoints / 2 + 1;
                h.window2_length = kPoints / 2;
                h.rass_flag = 1;
            }
            if (gates == 2) h.receiver_count = 2;  // entries = gates x receivers
            offsets.push_back(headers.add(h));
        }
        std::uniform_int_distribution<int> pick(0, 99);
        std::uniform_int_distribution<int> code(-3000, 3000);
        DataFile data;
        for (int n = 0; n < count; ++n) {
            DataRecord r;
            const int header = pick(rng) % 4;
            r.header_offset = offsets[static_cast<std::size_t>(header)];
            r.time = at(14, n / 60, n % 60);
            r.beam_index = static_cast<std::int16_t>(pick(rng) % 2);
            const int kind = pick(rng) % 4;
            r.format_code = kind == 0 ? 16 : kind == 1 ? 116 : kind == 2 ? 117 : 3116;
            r.carry_counts = true;
            r.coherent_integrations = static_cast<std::int16_t>(kCoherent + pick(rng) % 3);
            r.spectral_averages = 20;
            const int gates = std::vector<int>{4, 6, 4, 9}[static_cast<std::size_t>(header)];
            // Now and then a record cut short by a few entries.
            const int entries = pick(rng) < 12 ? gates - 1 - pick(rng) % 2 : gates;
            for (int i = 0; i < entries; ++i) {
                r.window1.push_back({.velocity = static_cast<std::int16_t>(code(rng)),
                                     .width = static_cast<std::uint16_t>(pick(rng)),
                                     .snr = static_cast<std::int16_t>(code(rng)),
                                     .noise = static_cast<std::int16_t>(code(rng) / 10)});
            }
            if (entries == gates && (header == 1 || header == 3)) {
                for (int i = 0; i < entries; ++i) {
                    r.window2.push_back({.velocity = static_cast<std::int16_t>(code(rng)),
                                         .width = static_cast<std::uint16_t>(pick(rng)),
                                         .snr = static_cast<std::int16_t>(code(rng)),
                                         .tenths = static_cast<std::int16_t>(code(rng))});
                }
            }
            data.add(r);
        }
        return writePair(data, headers, name);
    }

    // Walks the pair from its first record; after record k (0 the first)
    // looks at the arrays when look(k). The snapshots taken, by record.
    template <typename Look>
    static std::vector<std::pair<int, Snapshot>> walk(const std::string& path, Look look) {
        std::vector<std::pair<int, Snapshot>> seen;
        // Records cut short make the library report read errors.
        ::testing::internal::CaptureStderr();
        walkInto(path, look, seen);
        ::testing::internal::GetCapturedStderr();
        return seen;
    }

    template <typename Look>
    static void walkInto(const std::string& path, Look look,
                         std::vector<std::pair<int, Snapshot>>& seen) {
        if (!openAt(path, 14, 0)) return;
        int k = 0;
        std::int16_t changed = 0;
        do {
            if (look(k)) seen.emplace_back(k, snapshot());
            ++k;
        } while (krx_next_record(&changed) == 1);
    }
};

TEST_F(KrxDeferredDecoding, ArraysAreTheSameWhenTheyAreLookedAtSeldom) {
    std::mt19937 rng(126);
    const std::string path = randomPair(rng, 400, "d04126a.mom");

    const auto every = walk(path, [](int) { return true; });
    ASSERT_EQ(every.size(), 400u);
    for (const int stride : {2, 3, 7, 50}) {
        SCOPED_TRACE(stride);
        krx_reset_state();
        const auto some = walk(path, [stride](int k) { return k % stride == stride - 1; });
        ASSERT_EQ(some.size(), 400u / static_cast<std::size_t>(stride));
        for (const auto& [k, s] : some) {
            ASSERT_TRUE(s == every[static_cast<std::size_t>(k)].second) << "record " << k;
        }
    }
}

// The same file read through its stream, where every record is decoded in
// full as it is loaded, and from memory, where decoding waits and comes in
// two steps: the getters first, then everything.
TEST_F(KrxDeferredDecoding, DecodingFromMemoryEqualsDecodingFromTheStream) {
    std::mt19937 rng(128);
    const std::string path = randomPair(rng, 300, "d04126a.mom");
    krx_set_largest_memory_file(0);
    const auto streamed = walk(path, [](int) { return true; });
    krx_reset_state();
    krx_set_largest_memory_file(std::int64_t{32} << 20);
    ASSERT_EQ(streamed.size(), 300u);
    // Getters only, then the arrays: both steps of every waiting body.
    std::vector<std::pair<int, Snapshot>> fromMemory;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(openAt(path, 14, 0));
    std::int16_t changed = 0;
    int k = 0;
    do {
        std::vector<float> v(12, -1.0f);
        krx_get_snr(v.data(), 12);
        Snapshot s = snapshot();
        ASSERT_TRUE(s == streamed[static_cast<std::size_t>(k)].second) << "record " << k;
        EXPECT_EQ(v, s.snr);
        ++k;
    } while (krx_next_record(&changed) == 1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(k, 300);
}

TEST_F(KrxDeferredDecoding, ArraysOfTheLastRecordSurviveTheNextFile) {
    std::mt19937 rng(127);
    const std::string first = randomPair(rng, 40, "d04126a.mom");
    const std::string second = randomPair(rng, 40, "d04127a.mom");

    // Reference: the arrays looked at after every record of the first file.
    const auto every = walk(first, [](int) { return true; });
    ASSERT_FALSE(every.empty());
    krx_reset_state();
    // Not looked at at all, then the next file opened (its bytes take the
    // place of the first file's): the last record's values are still there,
    // until a record of the new file is loaded.
    walk(first, [](int) { return false; });
    ASSERT_EQ(krx_set_file(second.c_str(), 0), 1);
    EXPECT_TRUE(snapshot().block == every.back().second.block);
    krx_set_file("__NO_FILE__", 0);
    EXPECT_TRUE(snapshot().block == every.back().second.block);
}

}  // namespace
}  // namespace krxtest
