// The plain rules behind the two consensus settings dialogs: what the list
// and the edit fields show, which rows must be edited before the list
// appears, how typed text is read, and how an edit is stored and judged.
// No toolkit code here, so that every rule can be checked without a window.
//
// Number texts are produced by printf conversions; the program runs with the
// "C" numeric locale so that the decimal point is always '.'.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/store.h"

namespace qv {

// One column of the settings list: heading and width in pixels.
struct SettingsColumn {
    const char* heading;
    int width;
};
inline constexpr std::array<SettingsColumn, 6> kSettingsColumns{{
    {"Azimuth", 60},
    {"Elevation", 60},
    {"PulseWidth", 70},
    {"CnsWindow", 70},
    {"CnsPercent", 70},
    {"RASS", 76},
}};

// A stored elevation above 90 is hundredths of a degree: it is multiplied by
// the single-precision 0.01 (0.0099999998) in double precision, so a stored
// 9000 shows as 89.999998. 90 and below are shown as stored.
double displayElevation(float elevation);

// The six texts of a row of the settings list, left to right.
std::array<std::string, 6> settingsRowTexts(const BeamSetting& row);

// A row is offered for editing before the list appears unless its window
// and its threshold are both in range.
bool needsForcedEdit(const BeamSetting& row);

// The ranges of the two edit fields: a window is a finite number greater
// than 0 (m/s, degrees C for RASS beams), a threshold a whole number of
// percent from 1 to 100.
bool windowInRange(float window);
bool thresholdInRange(std::int32_t percent);

// The texts of the edit dialog's fields for a row.
struct EditFieldTexts {
    std::string window;      // "%.2f"
    std::string threshold;   // "%d"
    std::string azimuth;     // "%d"
    std::string elevation;   // "%f" of the displayed elevation
    std::string pulseWidth;  // "%ld"
    std::string windowUnit;  // "C" for a RASS beam, "m/s" for a radar beam
};
EditFieldTexts editFieldTexts(const BeamSetting& row);

// At most this many characters of an edit field are read.
inline constexpr std::size_t kMaxFieldChars = 299;

// Reads a decimal floating-point number as the "%f" conversion does: leading
// white space skipped, an optional sign, then the longest prefix that forms
// a number (digits with an optional point and exponent, "inf", "nan",
// hexadecimal). Returns false, leaving `value` untouched, when no number
// starts the text. Values beyond the float range become infinities.
bool parseFloatField(std::string_view text, float& value);

// Reads a decimal integer as the "%d" conversion does: leading white space,
// an optional sign, the decimal digits up to the first other character.
// Returns false, leaving `value` untouched, when there are no digits.
// Values beyond the 32-bit range saturate.
bool parseIntField(std::string_view text, std::int32_t& value);

inline constexpr const char* kWindowNotPositive = "The consensus window must be greater than zero.";
inline constexpr const char* kWindowNotFinite =
    "The consensus window must be a finite number greater than zero.";
inline constexpr const char* kThresholdOutOfRange =
    "The consensus threshold must be a whole number from 1 to 100 %.";

// OK in the edit dialog: stores whatever number each text holds into the row
// (a text without a number leaves its field as it was), then judges the
// stored values, the window first. Returns the message to show, or an empty
// text when both are in range and the dialog may close. A value that fails
// stays stored.
std::string storeAndValidateEdit(BeamSetting& row, std::string_view windowText,
                                 std::string_view thresholdText);

}  // namespace qv
