#include "core/text.h"

#include <cstdarg>
#include <cstdio>

namespace qv {
namespace {

void appendV(std::string& out, const char* format, std::va_list args) {
    char small[256];
    std::va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
        return;
    }
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(n) + 1);
    std::vsnprintf(&out[old], static_cast<std::size_t>(n) + 1, format, args);
    out.resize(old + static_cast<std::size_t>(n));
}

// Length of the well-formed UTF-8 sequence at `at`, 0 if there is none:
// no overlong forms, no surrogates (U+D800..U+DFFF), nothing above U+10FFFF.
std::size_t utf8Length(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;  // range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;  // a continuation byte, C0, C1 or F5..FF
    }
    if (s.size() - at < length) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

bool isUtf8(std::string_view s) {
    for (std::size_t at = 0; at < s.size();) {
        const std::size_t length = utf8Length(s, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

}  // namespace

std::string formatText(const char* format, ...) {
    std::string out;
    std::va_list args;
    va_start(args, format);
    appendV(out, format, args);
    va_end(args);
    return out;
}

void appendText(std::string& out, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    appendV(out, format, args);
    va_end(args);
}

std::string displayText(std::string_view bytes) {
    const bool utf8 = isUtf8(bytes);
    std::string out;
    out.reserve(bytes.size() * (utf8 ? 1 : 2));
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            out += '?';
        } else if (b < 0x80 || utf8) {
            out += c;
        } else {
            // Latin-1 is the first 256 code points: two bytes of UTF-8.
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string jsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace qv
