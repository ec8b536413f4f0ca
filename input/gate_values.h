// What a reader may store for one gate of a dwell: a velocity (radial, or
// the acoustic speed of a RASS dwell) and a signal-to-noise ratio.
#pragma once

#include <cmath>

#include "core/numeric.h"

namespace qv {

// Velocities at or above this are no measurement (acoustic speeds in air
// stay below 400 m/s, radial velocities far below that), m/s.
inline constexpr float kFastestGateSpeed = 1000.0f;
// Signal-to-noise ratios beyond this are no measurement (the 16-bit code of
// the binary files reaches 327.67 dB), dB. Larger ones would also overflow
// the linear power sums of the consensus.
inline constexpr float kLargestGateSnr = 330.0f;

// Acoustic speeds of air between -100 and 60 degrees C of virtual
// temperature (Tv = (v / 20.047)^2 - 273.15), m/s: a RASS gate outside
// them is no echo of the atmosphere.
inline constexpr float kSlowestSound = 263.8f;
inline constexpr float kFastestSound = 365.9f;

// True when the velocity is the missing mark of the files (it truncates
// toward zero to -99 or less; -999 is usual) or an unwritten slot.
inline bool isMissingVelocity(float velocity) { return truncToInt(velocity) <= -99; }

// Makes a gate's values storable. A value that is not a finite number (NaN,
// an infinity) or a measurement outside the bounds above makes the gate
// missing (both values kMissingSample); the missing mark itself stays as
// written. Returns true when the gate was damaged and is now missing.
inline bool sanitizeGate(float& velocity, float& snr) {
    const bool finite = std::isfinite(velocity) && std::isfinite(snr);
    if (finite && isMissingVelocity(velocity)) return false;
    if (finite && velocity < kFastestGateSpeed && std::fabs(snr) <= kLargestGateSnr) return false;
    velocity = kMissingSample;
    snr = kMissingSample;
    return true;
}

// sanitizeGate for the acoustic moments of a RASS dwell: also an acoustic
// speed outside kSlowestSound..kFastestSound makes the gate missing.
inline bool sanitizeAcousticGate(float& speed, float& snr) {
    if (sanitizeGate(speed, snr)) return true;
    if (isMissingVelocity(speed) || (speed >= kSlowestSound && speed <= kFastestSound))
        return false;
    speed = kMissingSample;
    snr = kMissingSample;
    return true;
}

}  // namespace qv
