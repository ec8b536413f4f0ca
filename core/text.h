// printf-style composition into std::string. The file formats and status
// texts are defined by printf conversions, so they are produced by them.
#pragma once

#include <string>
#include <string_view>

namespace qv {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string formatText(const char* format, ...);

// Appends to `out`; same conversions as formatText.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void appendText(std::string& out, const char* format, ...);

// Bytes from an input file (a station name, a data source) as UTF-8 text to
// show a user. Valid UTF-8 is kept; any other text is taken as Latin-1, each
// byte 0x80..0xFF its own character. Control characters (below 0x20, 0x7F)
// become '?'. Never fails; the result is valid UTF-8.
std::string displayText(std::string_view bytes);

// `text` as a JSON string, quotes included: quotes, backslashes and control
// bytes escaped, other bytes as they are (give it UTF-8, e.g. displayText).
std::string jsonQuoted(std::string_view text);

}  // namespace qv
