// Conversions from floating point to integers that are defined for every
// input. The model truncates toward zero wherever a value becomes an
// integer; a bare cast is undefined for NaN, infinities and values beyond
// the integer's range, so every such conversion goes through here.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace qv {

// Truncation toward zero, saturated to the int32 range; NaN gives INT32_MIN,
// which every "missing" test (-99 or less) classifies as missing.
inline std::int32_t truncToInt(double value) {
    if (std::isnan(value)) return std::numeric_limits<std::int32_t>::min();
    if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

inline std::int32_t truncToInt(long double value) {
    if (std::isnan(value)) return std::numeric_limits<std::int32_t>::min();
    if (value >= 2147483647.0L) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0L) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

inline std::int32_t truncToInt(float value) { return truncToInt(static_cast<double>(value)); }

// Narrowing of an int32 to int16 with saturation (file fields are 16-bit).
inline std::int16_t saturateInt16(long value) {
    if (value > 32767) return 32767;
    if (value < -32768) return -32768;
    return static_cast<std::int16_t>(value);
}

// The mark written into sample slots that carry no value (gates beyond a
// shorter dwell, gate lines a reader could not read). NaN fails every window
// test, radar and RASS alike, and its derived temperature is NaN too.
inline constexpr float kMissingSample = std::numeric_limits<float>::quiet_NaN();

}  // namespace qv
