// Small portable layer over std::FILE for the data-acquisition files: exact
// reads of little-endian fields and absolute seeks.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>

#include "input/krx/le_fields.h"

namespace krx_io {

// True when all n bytes were read.
inline bool readExact(std::FILE* f, void* out, std::size_t n) {
    return f != nullptr && std::fread(out, 1, n, f) == n;
}

inline bool readI16(std::FILE* f, std::int16_t& value) {
    unsigned char b[2];
    if (!readExact(f, b, sizeof b)) return false;
    value = krx_le::i16(b);
    return true;
}

inline bool readI32(std::FILE* f, std::int32_t& value) {
    unsigned char b[4];
    if (!readExact(f, b, sizeof b)) return false;
    value = krx_le::i32(b);
    return true;
}

// fseek from the start of the file: 0 on success, -1 for a negative or
// unrepresentable offset or a failed seek.
inline int seekTo(std::FILE* f, std::int64_t offset) {
    if (f == nullptr || offset < 0 || offset > LONG_MAX) return -1;
    return std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0 ? 0 : -1;
}

// The file's length in bytes (the position is left at the start); -1 when
// unknown.
inline std::int64_t fileLength(std::FILE* f) {
    if (f == nullptr || std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    return length;
}

}  // namespace krx_io
