// Values as the consensus data file prints them, read back: the one rule
// by which every output (netCDF, WMO BUFR) holds exactly the numbers the
// consensus data file shows, so that a file converted from a consensus data
// file and one written from the run hold the same numbers.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

namespace qv {

// A value as the consensus data file prints it ("%.Nf") and reads back as
// a float; NaN for values printf does not print as numbers. std::to_chars
// with a precision gives printf's text in the C locale, without its cost.
template <typename T>
T printedBackAs(double value, int decimals) {
    if (!std::isfinite(value)) return std::numeric_limits<T>::quiet_NaN();
    char text[400];
    const auto printed =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (printed.ec != std::errc()) return std::numeric_limits<T>::quiet_NaN();
    T out = 0;
    const auto [end, ec] = std::from_chars(text, printed.ptr, out, std::chars_format::fixed);
    if (ec != std::errc() || end != printed.ptr) return std::numeric_limits<T>::quiet_NaN();
    return out;
}

inline float printedBack(double value, int decimals) {
    return printedBackAs<float>(value, decimals);
}

inline double printedBackDouble(double value, int decimals) {
    return printedBackAs<double>(value, decimals);
}

// printedBack and printedBackDouble of a float value, the same numbers
// without making the text, for 0 to 3 decimals. The float times 10^d is
// exact in double (24 + 10 bits), so rint of it is the integer N that
// printf's text holds, rounded as printf rounds (to nearest, ties to even,
// in the default rounding mode). The text reads back as N / 10^d: in double
// that quotient is one correctly rounded division. For a float, rounding
// that double again is the nearest float to N / 10^d unless the double lies
// exactly halfway between two floats (the text then decides) or outside the
// normal range of floats; those few take the text.
inline constexpr double kPrintedScale[] = {1.0, 10.0, 100.0, 1000.0};

// The integer N of that text, in a double ("-1.25" is -125), for a finite
// float and 0 to 3 decimals.
inline double printedDigits(float value, int decimals) {
    return std::rint(static_cast<double>(value) * kPrintedScale[decimals]);
}

template <typename T>
T printedBackOfFloat(float value, int decimals) {
    if (!std::isfinite(value) || decimals < 0 || decimals > 3) {
        return printedBackAs<T>(value, decimals);
    }
    const double quotient = printedDigits(value, decimals) / kPrintedScale[decimals];
    if constexpr (std::is_same_v<T, double>) {
        return quotient;
    } else {
        const double size = std::fabs(quotient);
        if (quotient == 0.0) return static_cast<float>(quotient);  // the sign kept
        std::uint64_t bits = 0;
        std::memcpy(&bits, &quotient, sizeof bits);
        constexpr std::uint64_t kDroppedBits = (std::uint64_t{1} << 29) - 1;
        if (size < 1.2e-38 || size > 3.0e38 || (bits & kDroppedBits) == (kDroppedBits + 1) / 2) {
            return printedBackAs<float>(value, decimals);
        }
        return static_cast<float>(quotient);
    }
}

// "%.0Lf" of a gate height, read back. printf rounds the exact value to
// the nearest integer, ties to even, as rint does in the default rounding
// mode (nearbyint too, at several times the cost: it saves and restores the
// floating-point state); the integer (sign of zero included) then converts
// to the nearest float as from_chars would read its digits. Beyond 2^63 the
// text itself is made.
inline float printedHeight(long double height) {
    if (!std::isfinite(height)) return std::numeric_limits<float>::quiet_NaN();
    if (std::fabs(height) < 9.2e18L) return static_cast<float>(std::rint(height));
    char text[5000];
    const int n = std::snprintf(text, sizeof text, "%.0Lf", height);
    float out = 0.0f;
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof text) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    const auto [end, ec] = std::from_chars(text, text + n, out, std::chars_format::fixed);
    if (ec != std::errc() || end != text + n) return std::numeric_limits<float>::quiet_NaN();
    return out;
}

}  // namespace qv
