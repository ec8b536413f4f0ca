// printf-style composition into std::string. The file formats and status
// texts are defined by printf conversions, so they are produced by them.
#pragma once

#include <string>

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

}  // namespace qv
