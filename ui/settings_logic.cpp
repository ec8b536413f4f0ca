#include "ui/settings_logic.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "core/settings_csv.h"
#include "core/text.h"

namespace qv {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view limitField(std::string_view text) {
    return text.substr(0, std::min(text.size(), kMaxFieldChars));
}

std::string_view skipBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    return text.substr(i);
}

bool startsWithNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != word[i]) return false;
    }
    return true;
}

// Parses an unsigned number at the start of `text` (the sign is already
// taken off). from_chars is used because it never depends on the locale.
bool parseUnsignedFloat(std::string_view text, float& out) {
    const char* const begin = text.data();
    const char* const end = text.data() + text.size();

    // Hexadecimal: "0x" followed by at least one hex digit or a point and one.
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        float v = 0.0f;
        const auto r = std::from_chars(begin + 2, end, v, std::chars_format::hex);
        if (r.ec == std::errc()) {
            out = v;
            return true;
        }
        if (r.ec == std::errc::result_out_of_range) {
            // from_chars leaves the value alone: decide by the exponent's sign.
            out = std::numeric_limits<float>::infinity();
            for (const char* p = begin + 2; p < r.ptr; ++p) {
                if ((*p == 'p' || *p == 'P') && p + 1 < r.ptr && p[1] == '-') out = 0.0f;
            }
            return true;
        }
        // "0x" without hex digits: the number is the leading 0.
    }

    float v = 0.0f;
    const auto r = std::from_chars(begin, end, v, std::chars_format::general);
    if (r.ec == std::errc()) {
        out = v;
        return true;
    }
    if (r.ec == std::errc::result_out_of_range) {
        out = std::numeric_limits<float>::infinity();
        for (const char* p = begin; p < r.ptr; ++p) {
            if ((*p == 'e' || *p == 'E') && p + 1 < r.ptr && p[1] == '-') out = 0.0f;
        }
        return true;
    }
    return false;
}

}  // namespace

double displayElevation(float elevation) {
    if (elevation > 90.0f) return static_cast<double>(elevation) * static_cast<double>(0.01f);
    return static_cast<double>(elevation);
}

std::array<std::string, 6> settingsRowTexts(const BeamSetting& row) {
    return {
        formatText("%d", row.azimuth),
        formatText("%.2f", displayElevation(row.elevation)),
        formatText("%ld", static_cast<long>(row.pulseWidth)),
        row.consensusWindow > 0.0f ? formatText("%.2f", static_cast<double>(row.consensusWindow))
                                   : std::string(),
        row.consensusPercent != 0 ? formatText("%d", row.consensusPercent) : std::string(),
        row.rassFlag != 0 ? std::string("ON") : std::string("OFF"),
    };
}

bool needsForcedEdit(const BeamSetting& row) {
    return !(windowInRange(row.consensusWindow) && thresholdInRange(row.consensusPercent));
}

bool windowInRange(float window) { return window > 0.0f && std::isfinite(window); }

bool thresholdInRange(std::int32_t percent) {
    return percent >= kMinConsensusPercent && percent <= kMaxConsensusPercent;
}

EditFieldTexts editFieldTexts(const BeamSetting& row) {
    EditFieldTexts t;
    t.window = formatText("%.2f", static_cast<double>(row.consensusWindow));
    t.threshold = formatText("%d", row.consensusPercent);
    t.azimuth = formatText("%d", row.azimuth);
    t.elevation = formatText("%f", displayElevation(row.elevation));
    t.pulseWidth = formatText("%ld", static_cast<long>(row.pulseWidth));
    t.windowUnit = row.rassFlag != 0 ? "C" : "m/s";
    return t;
}

bool parseFloatField(std::string_view text, float& value) {
    std::string_view s = skipBlanks(limitField(text));
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    // from_chars takes "inf"/"nan" too, but spell them out so that the
    // accepted words do not depend on the library's choice.
    if (startsWithNoCase(s, "inf")) {
        value = negative ? -std::numeric_limits<float>::infinity()
                         : std::numeric_limits<float>::infinity();
        return true;
    }
    if (startsWithNoCase(s, "nan")) {
        value = std::numeric_limits<float>::quiet_NaN();
        return true;
    }
    if (s.empty() || s[0] == '+' || s[0] == '-') return false;
    float v = 0.0f;
    if (!parseUnsignedFloat(s, v)) return false;
    value = negative ? -v : v;
    return true;
}

bool parseIntField(std::string_view text, std::int32_t& value) {
    std::string_view s = skipBlanks(limitField(text));
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    std::size_t digits = 0;
    std::int64_t magnitude = 0;
    constexpr std::int64_t kCap = std::int64_t{1} << 32;  // beyond every int32
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') {
        if (magnitude < kCap) magnitude = magnitude * 10 + (s[digits] - '0');
        ++digits;
    }
    if (digits == 0) return false;
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max()) {
        value = std::numeric_limits<std::int32_t>::max();
    } else if (signedValue < std::numeric_limits<std::int32_t>::min()) {
        value = std::numeric_limits<std::int32_t>::min();
    } else {
        value = static_cast<std::int32_t>(signedValue);
    }
    return true;
}

std::string storeAndValidateEdit(BeamSetting& row, std::string_view windowText,
                                 std::string_view thresholdText) {
    parseFloatField(windowText, row.consensusWindow);
    parseIntField(thresholdText, row.consensusPercent);
    if (!(row.consensusWindow > 0.0f)) return kWindowNotPositive;
    if (!windowInRange(row.consensusWindow)) return kWindowNotFinite;
    if (!thresholdInRange(row.consensusPercent)) return kThresholdOutOfRange;
    return {};
}

}  // namespace qv
