// Scanning of the number fields of consensus data file lines. The lines
// are printf output: each field is right-aligned in its width, and a value
// wider than its field widens the line (so fields shift and may touch, as
// in "-950." or "1234-950"). Two ways of reading a line:
//
// - Columns: the writer's field widths. A field that begins with a blank
//   is exactly its width; one that begins with a sign or digit is a value
//   that filled or overflowed its field and ends where the number ends.
//   This reads every line the writer can print, overflowing ones included.
// - Loose: the fields in order, separated by any blanks, with the number
//   shapes of the format (a field with decimals takes exactly that many
//   decimals when another number touches it). For files of other writers
//   with other field widths.
//
// Either way a field may be stars ("****", what Fortran-style writers print
// for a value too wide for its field): in the columns exactly its width,
// loosely any run of stars. The scanners return the stars as the field's
// text. A number longer than any value a field can take (a 64-bit integer,
// a double's 309 whole digits) is no field, so reading a line costs time
// in proportion to its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qv {

struct FieldFormat {
    int width = 0;            // printf field width
    int decimals = -1;        // -1: "%d"; 0: "%.0f" (no point); n: "%.nf"
    bool pointAfter = false;  // a literal '.' follows the field ("%6d.")
    const char* name = "";    // for messages
};

enum class ScanMode { Columns, Loose };

// Scans `formats` in order from the start of `text`; the rest of the text
// must be blank. On success `out` holds one number text per field. On
// failure returns false and `failedField` is the index of the first field
// that could not be read (formats.size() when text is left over).
bool scanFields(std::string_view text, std::span<const FieldFormat> formats, ScanMode mode,
                std::vector<std::string_view>& out, std::size_t& failedField);

// Scans `format` repeatedly until only blanks are left (zero fields for a
// blank text). False when a field cannot be read.
bool scanRepeated(std::string_view text, const FieldFormat& format, ScanMode mode,
                  std::vector<std::string_view>& out);

// True for a field of stars: the value is not known.
bool isStarField(std::string_view text);

// Number texts as the scanner returns them. False for text that is not a
// whole number of the type or is out of its range (a float beyond the
// float range included; "nan" and "inf" are accepted by parseFloat).
bool parseInt64(std::string_view text, std::int64_t& out);
bool parseFloat(std::string_view text, float& out);
bool parseDouble(std::string_view text, double& out);

}  // namespace qv
