// Little-endian field access for the data-acquisition files. Every
// multi-byte value in both files of a pair is little-endian, whatever the
// host; all reads of such values go through here.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace krx_le {

static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559,
              "file floats are IEEE-754 single precision");

// The fixed-width value whose sizeof(T) bytes start at p.
template <typename T>
T load(const unsigned char* p) {
    static_assert(std::is_arithmetic_v<T> && (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4),
                  "file fields are 8, 16 or 32 bits wide");
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, p, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i) {
            const unsigned char t = bytes[i];
            bytes[i] = bytes[sizeof(T) - 1 - i];
            bytes[sizeof(T) - 1 - i] = t;
        }
    }
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

inline std::int16_t i16(const unsigned char* p) { return load<std::int16_t>(p); }
inline std::uint16_t u16(const unsigned char* p) { return load<std::uint16_t>(p); }
inline std::int32_t i32(const unsigned char* p) { return load<std::int32_t>(p); }
inline float f32(const unsigned char* p) { return load<float>(p); }

}  // namespace krx_le
