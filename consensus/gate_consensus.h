// Consensus averaging of one radar gate: the largest group of samples that
// fits in the beam's consensus window.
#pragma once

#include <cstdint>

namespace qv {

// Scans every sample as a window centre and every sample as a member.
// A sample whose velocity truncates toward zero to -99 or less (missing
// marks included) is never a member; bounds are inclusive. A group larger
// than `count` (strictly) replaces count, mean velocity and mean SNR, so on
// equal sizes the lowest centre wins and a gate without members keeps its
// values. The window edges, sums and means are single precision; the dB to
// linear power and back is taken in double precision.
void radarGateConsensus(const float* velocity, const float* snr, int sampleCount, float window,
                        std::uint32_t& count, float& meanVelocity, float& meanSnr);

}  // namespace qv
