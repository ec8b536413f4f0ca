// Quorvane's version, from the project's one definition (CMake), and the
// line every program prints for --version.
#pragma once

#include <string>

namespace qv {

inline constexpr const char* kVersion = QUORVANE_VERSION;

// "PROGRAM VERSION\n", as help2man and package tools read it.
inline std::string versionLine(const std::string& program) {
    return program + " " + kVersion + "\n";
}

}  // namespace qv
