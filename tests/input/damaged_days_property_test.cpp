// Property: over many damaged copies of the bundled sample days (cut short,
// bytes overwritten, header lines or header files damaged or swapped, nan
// and inf text), the readers store no sample that is not the missing mark or
// a finite measurement within bounds, and every damage that can be told
// from sound data leaves a report of the day (not processed in full, or a
// reader error).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/job.h"
#include "input/ascii_moments.h"
#include "input/binary_moments.h"
#include "input/gate_values.h"
#include "input/krx/krx.h"
#include "support/dates.h"
#include "support/scripted_host.h"
#include "support/test_folder.h"

namespace {

namespace fs = std::filesystem;
using qv::OutputKind;

const fs::path kSamples = fs::path(QUORVANE_SOURCE_DIR) / "samples";
const qv::CalendarTime kDay = qv::test::date(2004, 6, 15);
constexpr int kTrials = 240;  // per file kind; a few seconds in all

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

// The first offending sample, or "" when every stored sample is sound.
std::string firstUnsoundSample(const qv::ConsensusJob& job) {
    for (const qv::AveragingPeriod* p : job.periods) {
        for (const qv::BeamAccumulator* b : p->beams) {
            if (b->maxGateCount < 0 || b->maxGateCount > qv::kMaxGates) return "gate count";
            if (!std::isfinite(b->elevation)) return "elevation";
            for (int g = 0; g < b->maxGateCount; ++g) {
                for (int s = 0; s < b->sampleCount; ++s) {
                    const float v = b->velocitySamples(g)[s];
                    const float snr = b->snrSamples(g)[s];
                    if (std::isnan(v)) continue;
                    std::ostringstream where;
                    where << "period " << p->key << " gate " << g << " sample " << s << ": " << v
                          << " " << snr;
                    if (!std::isfinite(v)) return where.str();
                    if (qv::isMissingVelocity(v)) continue;
                    if (!(v < qv::kFastestGateSpeed) || !std::isfinite(snr) ||
                        std::fabs(snr) > qv::kLargestGateSnr ||
                        !std::isfinite(b->temperatureSamples(g)[s]))
                        return where.str();
                    if (b->rassFlag == 1 && !(v >= qv::kSlowestSound && v <= qv::kFastestSound))
                        return where.str() + " (acoustic speed)";
                }
            }
        }
    }
    return "";
}

// Lines of a text, each with its line end.
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, next - at));
        at = next;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count && i < lines.size(); ++i) out += lines[i];
    return out;
}

// What each line of a sound moment file is.
enum class Role { Header, First, Second, Gate, LastGate };

std::vector<Role> roles(const std::vector<std::string>& lines) {
    std::vector<Role> r(lines.size(), Role::Gate);
    r[0] = Role::Header;
    std::size_t i = 1;
    while (i + 1 < lines.size()) {
        r[i] = Role::First;
        r[i + 1] = Role::Second;
        std::istringstream second(lines[i + 1]);
        long field = 0, gates = 0;
        for (int k = 0; k < 5 && second >> field; ++k) gates = field;
        for (long g = 0; g < gates && i + 2 + g < lines.size(); ++g)
            r[i + 2 + g] = g + 1 == gates ? Role::LastGate : Role::Gate;
        i += 2 + static_cast<std::size_t>(gates);
    }
    return r;
}

class DamagedDaysProperty : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = qv::test::freshTestFolder("qv_damage_property"); }
    void TearDown() override {
        krx_reset_state();
        fs::remove_all(dir_);
    }

    // Runs the reader over the day in a fresh folder holding `files`.
    struct Result {
        std::string unsound;
        bool reported = false;
        std::size_t samples = 0;
    };
    Result run(bool ascii, OutputKind kind,
               const std::vector<std::pair<std::string, std::string>>& files) {
        const fs::path folder = dir_ / std::to_string(runs_++);
        fs::create_directories(folder);
        for (const auto& [name, bytes] : files) writeFile(folder / name, bytes);
        qv::test::ScriptedHost host;
        host.output = kind;
        qv::ConsensusJob job;
        job.host = &host;
        job.params.inputPath = folder.string();
        job.params.siteId = "qvs";
        job.params.averagingMinutes = 30;
        krx_reset_state();
        if (ascii) {
            qv::GetAsciiMoments(job, kDay);
        } else {
            qv::GetBinaryMoments(job, kDay);
        }
        Result r;
        r.unsound = firstUnsoundSample(job);
        r.reported = !job.incompleteDays.empty() || !job.dayError.empty();
        for (const qv::AveragingPeriod* p : job.periods) {
            for (const qv::BeamAccumulator* b : p->beams)
                r.samples += static_cast<std::size_t>(b->sampleCount);
        }
        fs::remove_all(folder);
        return r;
    }

    fs::path dir_;
    int runs_ = 0;
};

TEST_F(DamagedDaysProperty, DamagedAsciiDaysStoreOnlySoundSamplesAndAreReported) {
    std::mt19937 rng(167);
    const char* notNumbers[] = {"nan", "-NaN", "inf", "+Infinity", "-inf", "NAN(1)", "1e40",
                                "3e38", "-1e39", "1500", "150"};
    int checked = 0;
    for (const char* ext : {"raw", "rat"}) {
        const OutputKind kind = std::string(ext) == "raw" ? OutputKind::Winds
                                                          : OutputKind::Temperature;
        const std::string today = "qvs04167." + std::string(ext);
        const std::string tomorrow = "qvs04168." + std::string(ext);
        const std::string sound = readFile(kSamples / today);
        const std::string next = readFile(kSamples / tomorrow);
        ASSERT_FALSE(sound.empty());
        const std::vector<std::string> lines = splitLines(sound);
        const std::vector<Role> role = roles(lines);
        auto pick = [&](std::initializer_list<Role> wanted) {
            for (;;) {
                const std::size_t i = rng() % lines.size();
                for (Role w : wanted) {
                    if (role[i] == w) return i;
                }
            }
        };

        const Result clean = run(true, kind, {{today, sound}, {tomorrow, next}});
        ASSERT_EQ(clean.unsound, "");
        ASSERT_FALSE(clean.reported);
        ASSERT_GT(clean.samples, 0u);

        for (int trial = 0; trial < kTrials; ++trial) {
            std::string damaged;
            bool detectable = true;
            std::string what;
            std::vector<std::string> copy = lines;
            switch (trial % 6) {
                case 0: {  // cut short inside a record
                    const std::size_t i = pick({Role::First, Role::Second, Role::Gate});
                    damaged = joinLines(lines, i + 1);
                    what = "cut after line " + std::to_string(i + 1);
                    break;
                }
                case 1:  // header line lost
                    damaged = joinLines(std::vector<std::string>(lines.begin() + 1, lines.end()),
                                        lines.size());
                    what = "no header line";
                    break;
                case 2: {  // nan or inf text in a gate line
                    const std::size_t i = pick({Role::Gate, Role::LastGate});
                    const char* text = notNumbers[rng() % std::size(notNumbers)];
                    std::istringstream in(copy[i]);
                    std::string v, s;
                    in >> v >> s;
                    const bool intoVelocity = rng() % 2 == 0;
                    copy[i] = (intoVelocity ? std::string(text) + " " + s : v + " " + text) + "\n";
                    // A large but finite SNR beside the missing mark changes nothing:
                    // the gate is missing either way.
                    const float value = std::strtof(text, nullptr);
                    if (!intoVelocity && std::strtof(v.c_str(), nullptr) <= -99.0f &&
                        std::isfinite(value))
                        detectable = false;
                    // 150 m/s is a possible radial velocity, and 150 dB a possible SNR.
                    if (std::isfinite(value) && std::fabs(value) < 200.0f &&
                        (!intoVelocity || role[i - 0] == Role::Header))
                        detectable = false;
                    if (std::isfinite(value) && std::fabs(value) < 200.0f && intoVelocity &&
                        std::string(ext) == "raw")
                        detectable = false;
                    damaged = joinLines(copy, copy.size());
                    what = "line " + std::to_string(i + 1) + " " + copy[i];
                    break;
                }
                case 3: {  // a letter where a gate line's first number begins
                    const std::size_t i = pick({Role::Gate, Role::LastGate});
                    copy[i][0] = 'x';
                    damaged = joinLines(copy, copy.size());
                    what = "line " + std::to_string(i + 1) + " " + copy[i];
                    break;
                }
                default: {  // bytes overwritten anywhere: not always detectable
                    damaged = sound;
                    for (int k = 0; k < 1 + trial % 7; ++k) {
                        damaged[rng() % damaged.size()] = static_cast<char>(rng() % 256);
                    }
                    detectable = false;
                    what = "bytes overwritten";
                    break;
                }
            }
            SCOPED_TRACE(std::string(ext) + " trial " + std::to_string(trial) + ": " + what);
            const Result r = run(true, kind, {{today, damaged}, {tomorrow, next}});
            EXPECT_EQ(r.unsound, "");
            if (detectable) {
                EXPECT_TRUE(r.reported);
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 2 * kTrials);
}

// Little-endian fields of the sample pair.
std::int16_t i16(const std::string& b, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint8_t>(b[at]) |
                                     (static_cast<std::uint8_t>(b[at + 1]) << 8));
}
void put16(std::string& b, std::size_t at, std::int16_t v) {
    b[at] = static_cast<char>(v & 0xff);
    b[at + 1] = static_cast<char>((v >> 8) & 0xff);
}

// Offsets of the data records (format codes below 3000: 16-bit lengths).
std::vector<std::size_t> recordStarts(const std::string& data) {
    std::vector<std::size_t> starts;
    std::size_t at = 0;
    while (at + 4 <= data.size()) {
        starts.push_back(at);
        const std::int16_t code = i16(data, at);
        std::int32_t length = i16(data, at + 2);
        if (code >= 3000) std::memcpy(&length, data.data() + at + 2, 4);
        if (length <= 0) break;
        at += static_cast<std::size_t>(length);
    }
    return starts;
}

// Offsets of the header records of a header file.
std::vector<std::size_t> headerStarts(const std::string& header) {
    std::vector<std::size_t> starts;
    std::size_t at = 0;
    while (at + 6 <= header.size()) {
        starts.push_back(at);
        const std::int16_t version = i16(header, at);
        const std::int16_t met = version >= 103 ? i16(header, at + 4) : 0;
        at += version >= 103 ? 580 + 2 * static_cast<std::size_t>(met) : 568;
    }
    return starts;
}

TEST_F(DamagedDaysProperty, DamagedKrxPairsStoreOnlySoundSamplesAndAreReported) {
    std::mt19937 rng(4167);
    const fs::path binary = kSamples / "binary";
    const std::string data = readFile(binary / "d04167a.mom");
    const std::string header = readFile(binary / "h04167a.mom");
    const std::string otherHeader = readFile(binary / "h04168a.mom");
    const std::string nextData = readFile(binary / "d04168a.mom");
    const std::string nextHeader = readFile(binary / "h04168a.mom");
    ASSERT_FALSE(data.empty());
    const std::vector<std::size_t> records = recordStarts(data);
    const std::vector<std::size_t> headers = headerStarts(header);
    ASSERT_GT(records.size(), 10u);
    ASSERT_EQ(headers.size(), 6u);
    constexpr std::size_t kModeGateCount = 16 + 42 + 52 + 16;  // of mode 0, version 103

    int checked = 0;
    for (OutputKind kind : {OutputKind::Winds, OutputKind::Temperature}) {
        const Result clean = run(false, kind,
                                 {{"d04167a.mom", data}, {"h04167a.mom", header},
                                  {"d04168a.mom", nextData}, {"h04168a.mom", nextHeader}});
        ASSERT_EQ(clean.unsound, "");
        ASSERT_FALSE(clean.reported);
        ASSERT_GT(clean.samples, 0u);

        for (int trial = 0; trial < kTrials; ++trial) {
            std::string d = data;
            std::string h = header;
            bool detectable = true;
            std::string what;
            switch (trial % 6) {
                case 0: {  // cut inside a record
                    const std::size_t k = 1 + rng() % (records.size() - 1);
                    const std::size_t end = k + 1 < records.size() ? records[k + 1] : data.size();
                    d.resize(records[k] + 1 + rng() % (end - records[k] - 1));
                    what = "cut at byte " + std::to_string(d.size());
                    break;
                }
                case 1: {  // header records made for other gate counts
                    const int delta = static_cast<int>(rng() % 20) - 10;
                    for (std::size_t at : headers) {
                        put16(h, at + kModeGateCount,
                              static_cast<std::int16_t>(i16(h, at + kModeGateCount) +
                                                        (delta == 0 ? 10 : delta)));
                    }
                    what = "gate counts moved by " + std::to_string(delta);
                    break;
                }
                case 2: {  // header records of an unexpected version
                    const std::int16_t versions[] = {0, 99, 1000, -103, 32767};
                    for (std::size_t at : headers) put16(h, at, versions[rng() % std::size(versions)]);
                    what = "versions damaged";
                    break;
                }
                case 3:  // the next day's header file beside this day's data
                    h = otherHeader;
                    detectable = false;  // the same layout: the values still fit
                    what = "header file swapped";
                    break;
                case 4: {  // a header file cut short
                    h.resize(rng() % headers[1]);
                    what = "header cut at byte " + std::to_string(h.size());
                    break;
                }
                default: {  // bytes overwritten in either file
                    std::string& target = rng() % 3 == 0 ? h : d;
                    for (int k = 0; k < 1 + trial % 9; ++k) {
                        target[rng() % target.size()] = static_cast<char>(rng() % 256);
                    }
                    detectable = false;
                    what = "bytes overwritten";
                    break;
                }
            }
            SCOPED_TRACE("trial " + std::to_string(trial) + ": " + what);
            const Result r = run(false, kind,
                                 {{"d04167a.mom", d}, {"h04167a.mom", h},
                                  {"d04168a.mom", nextData}, {"h04168a.mom", nextHeader}});
            EXPECT_EQ(r.unsound, "");
            if (detectable) {
                EXPECT_TRUE(r.reported);
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 2 * kTrials);
}

}  // namespace
