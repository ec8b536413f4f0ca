#include "consensus/gate_consensus.h"

#include <cfloat>
#include <cmath>

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

}  // namespace

void radarGateConsensus(const float* velocity, const float* snr, int sampleCount, float window,
                        std::uint32_t& count, float& meanVelocity, float& meanSnr) {
    const float h = window * kHalfWindow;
    for (int j = 0; j < sampleCount; ++j) {
        const float x = velocity[j];
        const float lo = x - h;
        const float hi = x + h;
        std::uint32_t n = 0;
        float sum = 0.0f;
        float linearSum = 0.0f;
        for (int k = 0; k < sampleCount; ++k) {
            const float v = velocity[k];
            if (truncToInt(v) <= kMissingBound) continue;
            if (!(lo <= v && v <= hi)) continue;
            sum = sum + v;
            const double linear =
                std::pow(10.0, static_cast<double>(snr[k]) * static_cast<double>(kDbToExponent));
            linearSum = static_cast<float>(static_cast<double>(linearSum) + linear);
            ++n;
        }
        if (n > count) {
            count = n;
            meanVelocity =
                static_cast<float>(static_cast<double>(sum) / static_cast<double>(n));
            meanSnr = static_cast<float>(
                static_cast<double>(kDbScale) *
                std::log10(static_cast<double>(linearSum) / static_cast<double>(n)));
        }
    }
}

}  // namespace qv
