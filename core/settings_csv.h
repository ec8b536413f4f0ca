// Per-beam consensus settings as CSV, and the settings review of the batch
// tool.
//
// One row per beam: azimuth,elevation,pulse_width,rass,window,threshold.
// The first four fields are the beam's identity (azimuth and pulse width as
// integers, elevation as the exact single-precision value, rass 0 or 1, or
// OFF/ON); window and threshold may be left empty for "no value". A header
// row beginning with "azimuth", blank lines and lines starting with '#' are
// skipped.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/record_list.h"
#include "core/store.h"

namespace qv {

struct SettingsRow {
    std::int32_t azimuth = 0;
    float elevation = 0.0f;
    std::int32_t pulseWidth = 0;
    std::int32_t rassFlag = 0;
    std::optional<float> window;             // positive when present
    std::optional<std::int32_t> threshold;   // positive when present
    int line = 0;                            // line number in the file
};

inline constexpr const char* kSettingsHeader = "azimuth,elevation,pulse_width,rass,window,threshold";

// Reads a settings file. On a malformed line returns false with `error`
// naming the source, the line number and what is wrong; never throws.
bool readSettingsCsv(std::istream& in, const std::string& sourceName,
                     std::vector<SettingsRow>& rows, std::string& error);

// Writes the table in its order, header first. Window and threshold that
// are not positive are written as empty fields. Elevation and window are
// written as the shortest text that reads back to the same float.
void writeSettingsCsv(std::ostream& out, const RecordList<BeamSetting>& table);

// The shortest decimal text that reads back to exactly `value`.
std::string shortestFloatText(float value);

// Defaults of the review for rows still lacking a positive value.
struct ReviewDefaults {
    std::optional<float> window;
    std::optional<std::int32_t> threshold;
    std::optional<float> rassWindow;          // RASS rows; the radar value when absent
    std::optional<std::int32_t> rassThreshold;
};

// The review: each row of the table takes the window and threshold of the
// settings row with its identity, then rows still lacking a positive window
// or threshold take the defaults (RASS defaults for rows whose RASS flag is
// not 0). Returns the rows that still lack one, in table order.
std::vector<const BeamSetting*> reviewTable(RecordList<BeamSetting>& table,
                                            const std::vector<SettingsRow>& rows,
                                            const ReviewDefaults& defaults);

// "azimuth 90, elevation 66.4, pulse width 700 ns, RASS OFF" and what it
// lacks: ": no window", ": no threshold" or ": no window, no threshold".
std::string describeMissingBeam(const BeamSetting& beam);

// The settings table as the review list shows it, one text line per row
// under a heading line (Azimuth, Elevation, PulseWidth, CnsWindow,
// CnsPercent, RASS).
std::vector<std::string> settingsTableLines(const RecordList<BeamSetting>& table);

}  // namespace qv
