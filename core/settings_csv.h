// Per-beam consensus settings as CSV, and the settings review of the batch
// tool.
//
// One row per beam: azimuth,elevation,pulse_width,rass,window,threshold.
// The first four fields are the beam's identity (azimuth and pulse width as
// integers, elevation as the exact single-precision value, rass 0 or 1, or
// OFF/ON); window and threshold may be left empty for "no value". A window
// is a finite number greater than 0 (m/s, degrees C for RASS beams), a
// threshold a whole number of percent from 1 to 100. A header
// row beginning with "azimuth", blank lines and lines starting with '#' are
// skipped. A UTF-8 byte-order mark at the very start of the file is skipped.
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
    std::optional<float> window;             // finite and greater than 0 when present
    std::optional<std::int32_t> threshold;   // 1 to 100 when present
    int line = 0;                            // line number in the file
};

// The thresholds a beam may have, percent of its samples.
inline constexpr std::int32_t kMinConsensusPercent = 1;
inline constexpr std::int32_t kMaxConsensusPercent = 100;

// True when a beam has a window and a threshold it may be averaged with: a
// finite window greater than 0 and a threshold of 1 to 100 %. The one rule
// the settings review, the run and the missing-beam texts share.
inline bool hasWindowSetting(const BeamSetting& beam) {
    return beam.consensusWindow > 0.0f && beam.consensusWindow <= 3.4e38f;
}
inline bool hasThresholdSetting(const BeamSetting& beam) {
    return beam.consensusPercent >= kMinConsensusPercent &&
           beam.consensusPercent <= kMaxConsensusPercent;
}
inline bool hasConsensusSettings(const BeamSetting& beam) {
    return hasWindowSetting(beam) && hasThresholdSetting(beam);
}

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

// The settings rows whose identity (azimuth, elevation, pulse width, RASS
// flag, compared exactly as the review does) matches no beam of the table,
// in row order, one text each:
//   "settings.csv, line 3: azimuth 90, elevation 66.5, pulse width 700 ns,
//    RASS OFF matches no beam (nearest: elevation 66.4)"
// The nearest part names the beam of the same azimuth, pulse width and RASS
// flag whose elevation is closest (elevations above 90 compared as
// hundredths of a degree, as shown in the review list; the first in table
// order on a tie) and is left out when there is none. RASS is OFF for 0, ON
// for 1, and the number for other flags. A row without a line number (0)
// gives "settings.csv: azimuth ...".
std::vector<std::string> unmatchedSettingsRows(const RecordList<BeamSetting>& table,
                                               const std::vector<SettingsRow>& rows,
                                               const std::string& sourceName);

// Whether `path` must not be overwritten by a settings file because it is,
// or may be, something else (a moment file given by mistake):
//  - its name ends in .raw, .rat, .mom or .spc (any letter case), whether it
//    exists or not;
//  - or it is an existing regular file whose first line that is not blank
//    and not a comment (after a byte-order mark) is neither a heading row
//    ("azimuth,...") nor a valid settings row; a file that cannot be read,
//    or whose first 64 KiB hold no complete such line, counts as well.
// A path that does not exist, an empty file, a file of comments only, or
// something that is not a regular file (writing it fails and is reported
// anyway) is not refused.
bool looksLikeMomentFile(const std::string& path);

// The settings table as the review list shows it, one text line per row
// under a heading line (Azimuth, Elevation, PulseWidth, CnsWindow,
// CnsPercent, RASS).
std::vector<std::string> settingsTableLines(const RecordList<BeamSetting>& table);

}  // namespace qv
