// The ASCII reader's numbers and line ends, checked against the C library:
// every gate value a moment file spells must be stored as the correctly
// rounded single-precision value that strtof gives for the same text, and
// lines must end at the same places wherever the reader's buffer boundaries
// fall.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/job.h"
#include "input/ascii_moments.h"
#include "input/gate_values.h"
#include "support/scripted_host.h"
#include "support/test_folder.h"

namespace {

namespace fs = std::filesystem;
using qv::BeamAccumulator;
using qv::CalendarTime;

constexpr int kGates = 100;
const CalendarTime kDay{2004, 6, 0, 15, 0, 0, 0, 0};  // day 167

class AsciiReadingExactness : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = qv::test::freshTestFolder("qv_ascii_exact");
        job_.host = &host_;
        job_.params.inputPath = dir_.string();
        job_.params.siteId = "abc";
        job_.params.averagingMinutes = 1440;  // every dwell of the day in one period
        host_.output = qv::OutputKind::Winds;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Writes the day's file (and an empty next day) and reads them; the one
    // accumulator of the day, or null.
    const BeamAccumulator* read(const std::string& dayText) {
        std::ofstream(dir_ / "abc04167.raw", std::ios::binary) << dayText;
        std::ofstream(dir_ / "abc04168.raw", std::ios::binary) << " STN 4001 10525 1600\n";
        if (qv::GetAsciiMoments(job_, kDay) != 1) return nullptr;
        if (job_.periods.count() != 1) return nullptr;
        const qv::AveragingPeriod* p = job_.periods.findByPosition(std::size_t{0});
        return p->beams.count() == 1 ? p->beams.findByPosition(std::size_t{0}) : nullptr;
    }

    fs::path dir_;
    qv::test::ScriptedHost host_;
    qv::ConsensusJob job_;
};

// Record line 1 of dwell n (one dwell a minute from 00:01 on), record line 2.
std::string recordLines(int n, int gates, const char* end = "\n") {
    const int minute = n + 1;
    return "1 66.4 45 4 167 " + std::to_string(minute / 60) + " " + std::to_string(minute % 60) +
           " 0" + end + "0 700 105 0 " + std::to_string(gates) + end;
}

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

float libraryValue(const std::string& text) { return std::strtof(text.c_str(), nullptr); }

// A number text that strtof reads in full: signs, leading zeros, points
// with and without digits on either side, long digit strings, exponents,
// hexadecimal, infinities and NaN, values at the edges of the float range.
std::string numberText(std::mt19937& rng) {
    static const char* const kSpecial[] = {
        "inf",      "-inf",          "nan",         "-nan",       "INFINITY",   "0x1.8p1",
        "-0x10",    "1e40",          "-1e40",       "1e-50",      "1.4e-45",    "3.4028235e38",
        "3.4028236e38", "16777216",  "16777217",    "16777218",   "-16777217",  "0.1",
        "-0.0",     "0",             "-0",          "+7",         "5.",         ".5",
        "-.25",     "0.00000000001", "1.0000000001", "99999999.5", "2.5e0",     "1E+2",
        "0.30000001192092896", "-999.00", "-999.0", "123456.78", "0.000000596046448",
    };
    std::uniform_int_distribution<int> pick(0, 99);
    if (pick(rng) < 8) {
        std::uniform_int_distribution<std::size_t> which(0, std::size(kSpecial) - 1);
        return kSpecial[which(rng)];
    }
    std::string text;
    const int sign = pick(rng) % 5;
    if (sign == 0) text += '-';
    if (sign == 1) text += '+';
    if (sign == 2) text += '-';
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> length(0, 9);
    const int whole = length(rng);
    const int fraction = pick(rng) < 85 ? length(rng) + (pick(rng) < 20 ? 4 : 0) : -1;
    for (int i = 0; i < whole; ++i) text += static_cast<char>('0' + digit(rng));
    if (fraction >= 0) {
        text += '.';
        for (int i = 0; i < fraction; ++i) text += static_cast<char>('0' + digit(rng));
    }
    if (whole == 0 && fraction <= 0) text += '7';  // at least one digit
    if (pick(rng) < 5) text += pick(rng) % 2 ? "e-7" : "E12";
    return text;
}

TEST_F(AsciiReadingExactness, GateValuesAreTheCorrectlyRoundedFloatsOfTheirText) {
    std::mt19937 rng(20040615);
    const int records = 120;
    std::string file = " STN 4001 10525 1600\n";
    std::vector<std::vector<std::string>> velocities(records), snrs(records);
    for (int n = 0; n < records; ++n) {
        file += recordLines(n, kGates);
        for (int g = 0; g < kGates; ++g) {
            velocities[n].push_back(numberText(rng));
            snrs[n].push_back(numberText(rng));
            file += velocities[n].back() + " " + snrs[n].back() + "\n";
        }
    }
    const BeamAccumulator* beam = read(file);
    ASSERT_NE(beam, nullptr);
    ASSERT_EQ(beam->sampleCount, records);
    int mismatches = 0;
    for (int n = 0; n < records; ++n) {
        for (int g = 0; g < kGates; ++g) {
            const auto i = static_cast<std::size_t>(g);
            const auto k = static_cast<std::size_t>(n);
            const float v = beam->velocitySamples(g)[k];
            const float s = beam->snrSamples(g)[k];
            // Conversion first, then the reader's bounds: a pair outside what
            // an instrument measures is stored as a missing gate.
            float expectV = libraryValue(velocities[k][i]);
            float expectS = libraryValue(snrs[k][i]);
            qv::sanitizeGate(expectV, expectS);
            if (bits(v) != bits(expectV) || bits(s) != bits(expectS)) {
                if (++mismatches <= 10) {
                    ADD_FAILURE() << "record " << n << " gate " << g << ": \"" << velocities[k][i]
                                  << "\" \"" << snrs[k][i] << "\" stored as " << v << " " << s;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Gate lines padded to random lengths (all below the 498-character piece),
// ended by "\n" or "\r\n", some with a lone carriage return between the two
// numbers (white space, not a line end): line ends fall on every side of the
// reader's 64 KiB buffer boundaries, and every value is read.
TEST_F(AsciiReadingExactness, LineEndsAcrossBufferBoundaries) {
    std::mt19937 rng(167);
    std::uniform_int_distribution<int> pad(0, 480);
    std::uniform_int_distribution<int> coin(0, 3);
    const int records = 40;
    std::string file = " STN 4001 10525 1600\n";
    for (int n = 0; n < records; ++n) {
        file += recordLines(n, kGates, coin(rng) == 0 ? "\r\n" : "\n");
        for (int g = 0; g < kGates; ++g) {
            std::string line(static_cast<std::size_t>(pad(rng)), ' ');
            line += std::to_string(n) + "." + std::to_string(g % 10);
            line += coin(rng) == 0 ? "\r" : " ";
            line += std::to_string(g) + ".5";
            file += line + (coin(rng) < 2 ? "\r\n" : "\n");
        }
    }
    ASSERT_GT(file.size(), 4u * 65536u);
    const BeamAccumulator* beam = read(file);
    ASSERT_NE(beam, nullptr);
    ASSERT_EQ(beam->sampleCount, records);
    for (int n = 0; n < records; ++n) {
        for (int g = 0; g < kGates; ++g) {
            const auto k = static_cast<std::size_t>(n);
            const std::string velocity = std::to_string(n) + "." + std::to_string(g % 10);
            ASSERT_EQ(bits(beam->velocitySamples(g)[k]), bits(libraryValue(velocity)))
                << "record " << n << " gate " << g;
            ASSERT_EQ(beam->snrSamples(g)[k], static_cast<float>(g) + 0.5f)
                << "record " << n << " gate " << g;
        }
    }
}

}  // namespace
