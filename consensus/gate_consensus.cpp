#include "consensus/gate_consensus.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/numeric.h"

namespace qv {
namespace {

// Float expressions must be evaluated in their own type (no x87 excess
// precision): the rounding points of the consensus are part of the output.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must not carry excess precision");

constexpr float kHalfWindow = 0.5f;
constexpr std::int32_t kMissingBound = -99;  // truncated velocities at or below are missing
constexpr float kDbToExponent = 0.1f;
constexpr float kDbScale = 10.0f;

// 10^(dB / 10) of an SNR sample. The same few thousand sample values recur
// gate after gate, so each thread keeps results in a direct-mapped table
// keyed by the sample's bits: a hit returns what pow gave for exactly that
// sample. Every slot starts as the entry of +0 dB, whose power is exactly 1.
double linearPower(float db) {
    struct Slot {
        std::uint32_t key;
        double value;
    };
    constexpr int kSlotBits = 13;
    thread_local std::unique_ptr<Slot[]> table;
    if (!table) {
        table.reset(new Slot[std::size_t{1} << kSlotBits]);
        std::fill_n(table.get(), std::size_t{1} << kSlotBits, Slot{0, 1.0});
    }
    std::uint32_t key = 0;
    std::memcpy(&key, &db, sizeof key);
    Slot& slot = table[(key * 2654435761u) >> (32 - kSlotBits)];
    if (slot.key != key) {
        slot = Slot{key, std::pow(10.0, static_cast<double>(db) * static_cast<double>(kDbToExponent))};
    }
    return slot.value;
}

float decibels(float linearSum, std::uint32_t n) {
    return static_cast<float>(static_cast<double>(kDbScale) *
                              std::log10(static_cast<double>(linearSum) / static_cast<double>(n)));
}

float mean(float sum, std::uint32_t n) {
    return static_cast<float>(static_cast<double>(sum) / static_cast<double>(n));
}

bool radarMember(float v) { return truncToInt(v) > kMissingBound; }

// The radar window of a centre, as the scan forms it.
void radarBounds(float x, float window, float& lo, float& hi) {
    const float h = window * kHalfWindow;
    lo = x - h;
    hi = x + h;
}

// The RASS window of a centre, as the scan forms it.
void rassBounds(float x, float window, float& lo, float& hi) {
    const double halfWindow = static_cast<double>(window) * static_cast<double>(kHalfWindow);
    lo = static_cast<float>(static_cast<double>(x) - halfWindow);
    hi = static_cast<float>(static_cast<double>(x) + halfWindow);
}

// The values that may be members (sorted when many); reused between gates
// so that the consensus allocates only when a gate holds more samples than
// any before it.
std::vector<float>& scratch() {
    thread_local std::vector<float> values;
    return values;
}

// Up to this many members, every window is counted by comparing it with
// each member (a loop the compiler vectorises) instead of sorting them and
// searching; the counts are the same either way.
constexpr std::size_t kDirectCountLimit = 64;

// Sorts the members when there are too many to count directly.
void orderMembers(std::vector<float>& members) {
    if (members.size() > kDirectCountLimit) std::sort(members.begin(), members.end());
}

// Number of members v with lo <= v <= hi (the members sorted when there are
// more than kDirectCountLimit). NaN bounds hold nothing (every comparison
// with them is false), and neither does an empty window.
std::uint32_t countInWindow(const std::vector<float>& members, float lo, float hi) {
    if (members.size() <= kDirectCountLimit) {
        std::uint32_t n = 0;
        for (const float v : members) n += static_cast<std::uint32_t>((lo <= v) & (v <= hi));
        return n;
    }
    if (std::isnan(lo) || std::isnan(hi) || !(lo <= hi)) return 0;
    const auto first = std::lower_bound(members.begin(), members.end(), lo);
    const auto last = std::upper_bound(first, members.end(), hi);
    return static_cast<std::uint32_t>(last - first);
}

// The centre whose group the scan would keep last: the first centre of the
// largest group, when that group is larger than `count`. -1 when none is.
template <typename Bounds>
int winningCentre(const float* centres, int sampleCount, const std::vector<float>& members,
                  float window, std::uint32_t count, Bounds bounds) {
    int winner = -1;
    for (int j = 0; j < sampleCount; ++j) {
        float lo, hi;
        bounds(centres[j], window, lo, hi);
        const std::uint32_t n = countInWindow(members, lo, hi);
        if (n > count) {
            count = n;
            winner = j;
        }
    }
    return winner;
}

// Sums of the radar group of one window, in sample order: velocities in
// single precision, linear SNR powers rounded to single after every addition.
void radarSums(const float* velocity, const float* snr, int sampleCount, float lo, float hi,
               std::uint32_t& n, float& sum, float& linearSum) {
    n = 0;
    sum = linearSum = 0.0f;
    for (int k = 0; k < sampleCount; ++k) {
        const float v = velocity[k];
        if (!radarMember(v) || !(lo <= v && v <= hi)) continue;
        sum = sum + v;
        linearSum = static_cast<float>(static_cast<double>(linearSum) + linearPower(snr[k]));
        ++n;
    }
}

// A gate of at most this many samples (the usual case: a sample a minute
// or fewer over the period) is counted from its members on the stack.
constexpr int kSmallGate = 64;
constexpr std::size_t kLanes = 8;  // member counts are formed this many at a time

// The centre whose window holds the most members, for a gate of at most
// kSmallGate samples: winningCentre's result, with the members padded with
// NaN (inside no window) to whole lanes so that the count has no remainder.
int smallRadarWinner(const float* velocity, int sampleCount, float window, std::uint32_t& count) {
    alignas(32) float members[kSmallGate + kLanes];
    std::size_t m = 0;
    for (int k = 0; k < sampleCount; ++k) {
        if (radarMember(velocity[k])) members[m++] = velocity[k];
    }
    const std::size_t padded = (m + kLanes - 1) / kLanes * kLanes;
    for (std::size_t i = m; i < padded; ++i) members[i] = kMissingSample;

    int winner = -1;
    for (int j = 0; j < sampleCount; ++j) {
        float lo, hi;
        radarBounds(velocity[j], window, lo, hi);
        std::uint32_t n = 0;
        for (std::size_t i = 0; i < padded; ++i) {
            n += static_cast<std::uint32_t>((lo <= members[i]) & (members[i] <= hi));
        }
        if (n > count) {
            count = n;
            winner = j;
        }
    }
    return winner;
}

}  // namespace

// Counting each centre's group needs only the member values; the sums
// (whose rounding depends on the order of addition) are formed once, in
// sample order, for the winning centre alone.
void radarGateConsensus(const float* velocity, const float* snr, int sampleCount, float window,
                        std::uint32_t& count, float& meanVelocity, float& meanSnr) {
    int j = -1;
    if (sampleCount <= kSmallGate) {
        j = smallRadarWinner(velocity, sampleCount, window, count);
    } else {
        std::vector<float>& sorted = scratch();
        sorted.clear();
        for (int k = 0; k < sampleCount; ++k) {
            if (radarMember(velocity[k])) sorted.push_back(velocity[k]);
        }
        orderMembers(sorted);
        j = winningCentre(velocity, sampleCount, sorted, window, count, radarBounds);
    }
    if (j < 0) return;
    float lo, hi;
    radarBounds(velocity[j], window, lo, hi);
    std::uint32_t n;
    float sum, linearSum;
    radarSums(velocity, snr, sampleCount, lo, hi, n, sum, linearSum);
    count = n;
    meanVelocity = mean(sum, n);
    meanSnr = decibels(linearSum, n);
}

void radarGateConsensusScan(const float* velocity, const float* snr, int sampleCount,
                            float window, std::uint32_t& count, float& meanVelocity,
                            float& meanSnr) {
    for (int j = 0; j < sampleCount; ++j) {
        float lo, hi;
        radarBounds(velocity[j], window, lo, hi);
        std::uint32_t n;
        float sum, linearSum;
        radarSums(velocity, snr, sampleCount, lo, hi, n, sum, linearSum);
        if (n > count) {
            count = n;
            meanVelocity = mean(sum, n);
            meanSnr = decibels(linearSum, n);
        }
    }
}

namespace {

// A RASS sample whose acoustic speed is missing (it truncates toward zero
// to -99 or less, or is the NaN of an unwritten slot) has no temperature:
// the one derived from -999 m/s, about 2210 degrees C, would otherwise form
// groups of its own. Such a sample is neither a member nor a centre.
bool acousticMember(float v) { return truncToInt(v) > kMissingBound; }

// The RASS window of a centre, or an empty window (NaN bounds, which hold
// nothing) when the centre's acoustic speed is missing.
void rassCentreBounds(const float* velocity, const float* temperature, int c, float window,
                      float& lo, float& hi) {
    if (!acousticMember(velocity[c])) {
        lo = hi = kMissingSample;
        return;
    }
    rassBounds(temperature[c], window, lo, hi);
}

// RASS sums of the group of one window, in sample order, each rounded to
// single precision after every addition.
void rassSums(const float* velocity, const float* temperature, const float* snr,
              int sampleCount, float lo, float hi, std::uint32_t& n, float& sumV, float& sumT,
              float& sumL) {
    n = 0;
    sumV = sumT = sumL = 0.0f;
    for (int s = 0; s < sampleCount; ++s) {
        const float t = temperature[s];
        if (!acousticMember(velocity[s]) || !(lo <= t && t <= hi)) continue;
        ++n;
        sumV = static_cast<float>(static_cast<double>(sumV) + static_cast<double>(velocity[s]));
        sumT = static_cast<float>(static_cast<double>(sumT) + static_cast<double>(t));
        sumL = static_cast<float>(static_cast<double>(sumL) + linearPower(snr[s]));
    }
}

void storeRass(RassGateMeans out, std::uint32_t n, float sumV, float sumT, float sumL) {
    out.count = n;
    out.meanVelocity = mean(sumV, n);
    out.meanTemperature = mean(sumT, n);
    out.meanSnr = decibels(sumL, n);
}

}  // namespace

void rassGateConsensus(const float* velocity, const float* temperature, const float* snr,
                       int sampleCount, float window, RassGateMeans out) {
    std::vector<float>& sorted = scratch();
    sorted.clear();
    for (int s = 0; s < sampleCount; ++s) {
        if (acousticMember(velocity[s]) && !std::isnan(temperature[s]))
            sorted.push_back(temperature[s]);
    }
    orderMembers(sorted);

    // The centres' windows as the scan forms them; a missing centre's window
    // holds nothing.
    int c = -1;
    std::uint32_t best = out.count;
    for (int j = 0; j < sampleCount; ++j) {
        float lo, hi;
        rassCentreBounds(velocity, temperature, j, window, lo, hi);
        const std::uint32_t n = countInWindow(sorted, lo, hi);
        if (n > best) {
            best = n;
            c = j;
        }
    }
    if (c < 0) return;
    float lo, hi;
    rassBounds(temperature[c], window, lo, hi);
    std::uint32_t n;
    float sumV, sumT, sumL;
    rassSums(velocity, temperature, snr, sampleCount, lo, hi, n, sumV, sumT, sumL);
    storeRass(out, n, sumV, sumT, sumL);
}

void rassGateConsensusScan(const float* velocity, const float* temperature, const float* snr,
                           int sampleCount, float window, RassGateMeans out) {
    for (int c = 0; c < sampleCount; ++c) {
        float lo, hi;
        rassCentreBounds(velocity, temperature, c, window, lo, hi);
        std::uint32_t n;
        float sumV, sumT, sumL;
        rassSums(velocity, temperature, snr, sampleCount, lo, hi, n, sumV, sumT, sumL);
        if (n > out.count) storeRass(out, n, sumV, sumT, sumL);
    }
}

}  // namespace qv
