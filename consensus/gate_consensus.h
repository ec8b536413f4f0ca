// Consensus averaging of one gate: the largest group of samples that fits
// in the beam's consensus window, centred on one of the gate's own samples.
//
// Each kind comes twice: the fast form used by the consensus, and the
// straightforward every-candidate scan it must match bit for bit (kept for
// tests and benchmarks).
#pragma once

#include <cstdint>

namespace qv {

// Radar gates (winds, and radar beams of the temperature consensus). A
// sample whose velocity truncates toward zero to -99 or less (missing marks
// included) is never a member; bounds are inclusive. A group larger than
// `count` (strictly) replaces count, mean velocity and mean SNR, so on equal
// sizes the lowest centre wins and a gate without members keeps its values.
// Window edges, sums and means are single precision; dB to linear power and
// back is taken in double precision.
void radarGateConsensus(const float* velocity, const float* snr, int sampleCount, float window,
                        std::uint32_t& count, float& meanVelocity, float& meanSnr);
void radarGateConsensusScan(const float* velocity, const float* snr, int sampleCount,
                            float window, std::uint32_t& count, float& meanVelocity,
                            float& meanSnr);

// RASS gates: grouped on virtual temperature (degrees Celsius). A sample
// whose acoustic speed truncates toward zero to -99 or less (missing marks,
// unwritten NaN slots included) is never a member and never a centre; the
// group's mean acoustic speed, temperature and SNR are kept. A gate without
// members keeps its values (count 0, means 0 for a fresh accumulator).
struct RassGateMeans {
    std::uint32_t& count;
    float& meanVelocity;
    float& meanTemperature;
    float& meanSnr;
};
void rassGateConsensus(const float* velocity, const float* temperature, const float* snr,
                       int sampleCount, float window, RassGateMeans out);
void rassGateConsensusScan(const float* velocity, const float* temperature, const float* snr,
                           int sampleCount, float window, RassGateMeans out);

}  // namespace qv
