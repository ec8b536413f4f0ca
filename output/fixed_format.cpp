#include "output/fixed_format.h"

#include <cmath>
#include <cstring>

namespace qv {
namespace {

using Wide = unsigned __int128;

constexpr std::uint64_t kPowersOfTen[] = {1, 10, 100, 1000};
constexpr int kMostDecimals = 3;
constexpr int kWidestField = 16;

// round(mantissa x 2^exponent x 10^decimals), ties to even, for a mantissa
// below 2^64 and 0 to 3 decimals. False when the result reaches 2^63.
bool roundedScaled(std::uint64_t mantissa, int exponent, int decimals, std::uint64_t& result) {
    const Wide scaled = static_cast<Wide>(mantissa) * kPowersOfTen[decimals];  // < 2^74
    if (exponent >= 0) {
        if (exponent > 62 || (scaled >> (63 - exponent)) != 0) return false;
        result = static_cast<std::uint64_t>(scaled << exponent);
        return true;
    }
    const int shift = -exponent;
    if (shift >= 120) {  // below 2^74 x 2^-120: far under one half
        result = 0;
        return true;
    }
    const Wide whole = scaled >> shift;
    const Wide rest = scaled - (whole << shift);
    const Wide half = static_cast<Wide>(1) << (shift - 1);
    Wide rounded = whole;
    if (rest > half || (rest == half && (whole & 1) != 0)) ++rounded;
    if ((rounded >> 63) != 0) return false;
    result = static_cast<std::uint64_t>(rounded);
    return true;
}

// The digits of n with `decimals` of them after a point, the sign in front,
// right-justified in width.
char* putDigits(char* out, bool negative, std::uint64_t n, int decimals, int width) {
    char text[kFixedFieldRoom];
    char* end = text + sizeof text;
    char* p = end;
    for (int i = 0; i < decimals; ++i, n /= 10) *--p = static_cast<char>('0' + n % 10);
    if (decimals > 0) *--p = '.';
    do {
        *--p = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0);
    if (negative) *--p = '-';
    const int length = static_cast<int>(end - p);
    for (int i = length; i < width; ++i) *out++ = ' ';
    std::memcpy(out, p, static_cast<std::size_t>(length));
    return out + length;
}

}  // namespace

char* putFixed(char* out, double value, int width, int decimals) {
    if (!std::isfinite(value) || decimals < 0 || decimals > kMostDecimals || width > kWidestField) {
        return nullptr;
    }
    const double magnitude = std::fabs(value);
    if (magnitude >= 0x1p52) return nullptr;
    int exponent = 0;
    const double fraction = std::frexp(magnitude, &exponent);  // magnitude = fraction x 2^exponent
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));  // exact
    std::uint64_t n = 0;
    if (!roundedScaled(mantissa, exponent - 53, decimals, n)) return nullptr;
    return putDigits(out, std::signbit(value), n, decimals, width);
}

char* putFixedLong(char* out, long double value, int width) {
    if (!std::isfinite(value) || width > kWidestField) return nullptr;
    const long double magnitude = std::fabs(value);
    if (magnitude >= 0x1p52L) return nullptr;
    int exponent = 0;
    const long double fraction = std::frexp(magnitude, &exponent);
    // The extended mantissa has 64 bits; a narrower long double has fewer,
    // and the product is exact either way.
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    std::uint64_t n = 0;
    if (!roundedScaled(mantissa, exponent - 64, 0, n)) return nullptr;
    return putDigits(out, std::signbit(value), n, 0, width);
}

char* putInt(char* out, std::int64_t value, int width) {
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? static_cast<std::uint64_t>(0) - static_cast<std::uint64_t>(value)
                 : static_cast<std::uint64_t>(value);
    return putDigits(out, negative, magnitude, 0, width > kWidestField ? kWidestField : width);
}

}  // namespace qv
