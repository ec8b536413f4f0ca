// Fixed-column number fields of the consensus data files, written exactly
// as the printf conversions that define them ("%7.0Lf", "%9.1f", "%8.2f",
// "%4u", "%5d") print them, without the formatting engine: a site-year
// writes millions of these fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Room that one field of the helpers below can take.
inline constexpr std::size_t kFixedFieldRoom = 32;

// "%*.*f" of `value` with `decimals` from 0 to 3: rounded to nearest, ties
// to even, from the exact binary value; "-" before every negative value,
// negative zero included; right-justified in `width` (at most 16). Returns
// the end of the text written at `out` (no terminator), or nullptr for a
// value this does not write (infinities, NaN, magnitudes of 2^52 and more),
// which the caller then hands to printf itself.
char* putFixed(char* out, double value, int width, int decimals);

// "%*.0Lf" of a long double; nullptr as above.
char* putFixedLong(char* out, long double value, int width);

// "%*d" or "%*u" of any 32-bit value (width at most 16).
char* putInt(char* out, std::int64_t value, int width);

}  // namespace qv
