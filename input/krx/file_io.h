// Small portable layer for reading the data-acquisition files: exact reads
// of little-endian fields and absolute seeks, from a file's bytes in memory
// or through its stdio stream.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "input/krx/le_fields.h"

namespace krx_io {

// One open file of the pair. When the whole file could be read at open, it
// is read from its bytes in memory: a walk through the records seeks several
// times per record, and the C library makes a system call on every fseek
// (and refills its buffer after every seek out of it). Otherwise it is read
// through the stream. Either way reads and seeks behave as on the file: any
// position from 0 on can be sought, also past the end, where reads give
// nothing, and a read past the end takes what is there.
struct Source {
    std::FILE* file = nullptr;    // open while the pair is open
    const char* bytes = nullptr;  // the file's bytes, when in memory
    std::int64_t size = -1;       // their number; -1 when read through the stream
    std::int64_t position = 0;    // the reading position, when in memory

    bool isOpen() const { return file != nullptr; }
    bool inMemory() const { return size >= 0; }
};

// Up to n bytes at the position into out; the number read.
inline std::size_t readSome(Source& s, void* out, std::size_t n) {
    if (s.file == nullptr) return 0;
    if (!s.inMemory()) return std::fread(out, 1, n, s.file);
    const std::int64_t left = s.position < s.size ? s.size - s.position : 0;
    const std::size_t count =
        static_cast<std::int64_t>(n) < left ? n : static_cast<std::size_t>(left);
    if (count > 0) std::memcpy(out, s.bytes + s.position, count);
    s.position += static_cast<std::int64_t>(count);
    return count;
}

// True when all n bytes were read.
inline bool readExact(Source& s, void* out, std::size_t n) { return readSome(s, out, n) == n; }

inline bool readI16(Source& s, std::int16_t& value) {
    unsigned char b[2];
    if (!readExact(s, b, sizeof b)) return false;
    value = krx_le::i16(b);
    return true;
}

inline bool readI32(Source& s, std::int32_t& value) {
    unsigned char b[4];
    if (!readExact(s, b, sizeof b)) return false;
    value = krx_le::i32(b);
    return true;
}

// Seek from the start of the file: 0 on success, -1 for a negative or
// unrepresentable offset or a failed seek.
inline int seekTo(Source& s, std::int64_t offset) {
    if (s.file == nullptr || offset < 0 || offset > LONG_MAX) return -1;
    if (s.inMemory()) {
        s.position = offset;
        return 0;
    }
    return std::fseek(s.file, static_cast<long>(offset), SEEK_SET) == 0 ? 0 : -1;
}

// The file's length in bytes (the position is left at the start); -1 when
// unknown.
inline std::int64_t fileLength(Source& s) {
    if (s.inMemory()) {
        s.position = 0;
        return s.size;
    }
    if (s.file == nullptr || std::fseek(s.file, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(s.file);
    std::fseek(s.file, 0, SEEK_SET);
    return length;
}

}  // namespace krx_io
