// Strict number reading for command-line values and CSV fields: the whole
// text must be the number (an optional leading '+' is allowed).
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace qv {

inline bool parseWholeInteger(std::string_view text, std::int64_t& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) return false;
    out = value;
    return true;
}

// A finite decimal number, read to the nearest float (as "%f" does).
inline bool parseWholeFloat(std::string_view text, float& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    float value = 0.0f;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                           std::chars_format::general);
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value)) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace qv
