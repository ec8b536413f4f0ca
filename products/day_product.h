// Day products: the consensus results of one day as plain values, one per
// output file set. The wind consensus makes one WindDay per pulse-width mode
// that has at least one complete period; the temperature consensus makes one
// TemperatureDay holding Tv and TvC. Every output (the consensus data file,
// netCDF, plots, quality control) takes these values and nothing else.
//
// Every number is held exactly as the consensus computed it and as the
// consensus data file prints it: data codes (-950, -980, ...) stay in the
// value fields where the file carries them, integers are already truncated
// toward zero, and the gate height keeps its extended precision.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/host.h"
#include "core/time.h"

namespace qv {

// Codes of the consensus data file.
inline constexpr std::int16_t kQcValidCode = 0;
inline constexpr std::int16_t kQcInvalidCode = 8;
inline constexpr float kFailedQcCode = -940.0f;
inline constexpr float kFailedConsensusCode = -950.0f;
inline constexpr float kExceededNyquistCode = -960.0f;
inline constexpr float kFlaggedCode = -980.0f;
inline constexpr float kMissingCode = -999.0f;

// QC codes the consensus data file defines: 0 valid, 1 valid without the
// vertical correction, 3 valid although the consensus failed (passed QC),
// 7 suspect, 8 invalid. A gate's values are valid only under 0, 1, 3 or 7;
// any other code (8, or one the format does not define) marks them failed.
inline bool isDefinedQcCode(int code) {
    return code == 0 || code == 1 || code == 3 || code == 7 || code == 8;
}
inline bool qcCodeKeepsValues(int code) { return code == 0 || code == 1 || code == 3 || code == 7; }

// True when a value is one of the five data codes above.
inline bool isDataCode(double value) {
    return value == -940.0 || value == -950.0 || value == -960.0 || value == -980.0 ||
           value == -999.0;
}

// One beam as the header lists it (azimuth, elevation, max. and required
// samples).
struct HeaderBeam {
    std::int16_t azimuth = 0;
    float elevation = 0.0f;
    std::int32_t sampleCount = 0;       // "Max. Samples"
    std::int32_t consensusPercent = 0;  // "Req. Samples" = sampleCount x percent x 0.01f
    float consensusWindow = 0.0f;       // m/s (degrees C for a RASS beam); not in the file
};

// The values of a consensus data file's header.
struct DayHeader {
    // The output kind checked when the header was formed: it names the file
    // (".w" or ".t"), chooses the "CDF Type" line and the column heads.
    OutputKind fileKind = OutputKind::None;
    // Mode digit: the pulse-width mode number for winds; for temperature the
    // sink writes digit 1 (Tv) and 2 (TvC).
    std::int16_t variant = 0;

    std::string outputKindText;  // "Winds" or "Temperature" (title line)
    std::string dataSourceText;  // title line
    std::string stationName;     // whole name; its first 3 characters begin the file name
    CalendarTime day;            // the processing day (year, month, day)
    std::int16_t latitudeCenti = 0;
    std::int16_t longitudeCenti = 0;
    std::int32_t siteElevation = 0;  // m above mean sea level
    std::int32_t averagingMinutes = 0;

    std::int32_t pulseWidth = 0;  // ns, of the radar beam ("Pulse Len." = x 0.29999998 x 0.5)
    float gateSpacing = 0.0f;     // m, of the data beam ("Spacing")
    std::vector<HeaderBeam> beams;  // in the header's listing order

    // How the values were made; not printed in the consensus data file
    // unless said otherwise (netCDF attributes).
    VerticalPolicy verticalPolicy = VerticalPolicy::None;  // checked when the header was formed
    bool correctedWinds = false;     // the corrected wind solution was used
    bool continuityChecked = false;  // the continuity stage has flagged this day's gates
};

// One wind gate line.
struct WindGate {
    std::int16_t qcCode = 0;
    long double height = 0.0L;  // m msl
    float speed = 0.0f;         // m/s, or a data code
    std::int32_t direction = 0; // degrees from, truncated toward zero, or a data code
    float u = 0.0f;
    float v = 0.0f;
    float w = 0.0f;
    std::uint32_t countU = 0;
    std::uint32_t countV = 0;
    std::uint32_t countW = 0;
    std::int32_t snrU = 0;  // dB, truncated toward zero
    std::int32_t snrV = 0;
    std::int32_t snrW = 0;
};

// One averaging period's block: its "HHMM" start and its gate lines.
struct WindPeriod {
    char key[5] = {0, 0, 0, 0, 0};
    std::vector<WindGate> gates;
};

struct WindDay {
    DayHeader header;
    std::vector<WindPeriod> periods;  // in file order
};

// One temperature gate: the same line in the Tv and the TvC file but for
// the temperature.
struct TemperatureGate {
    std::int16_t qcCode = 0;
    double height = 0.0;  // m msl
    float tv = 0.0f;      // degrees C, or a data code
    float tvc = 0.0f;     // degrees C, or a data code
    std::int32_t count = 0;
    std::int32_t snr = 0;  // dB, truncated toward zero
};

struct TemperaturePeriod {
    char key[5] = {0, 0, 0, 0, 0};
    std::vector<TemperatureGate> gates;
};

struct TemperatureDay {
    DayHeader header;
    std::vector<TemperaturePeriod> periods;  // in file order
};

// What one day's consensus produced.
struct DayProducts {
    std::vector<WindDay> winds;
    std::vector<TemperatureDay> temperature;  // at most one
    bool empty() const { return winds.empty() && temperature.empty(); }
};

// Minutes after midnight of an "HHMM" period key; -1 for a key that is not
// four digits of a time of day.
inline int periodKeyMinutes(const char* key) {
    for (int i = 0; i < 4; ++i) {
        if (key[i] < '0' || key[i] > '9') return -1;
    }
    const int hours = (key[0] - '0') * 10 + (key[1] - '0');
    const int minutes = (key[2] - '0') * 10 + (key[3] - '0');
    if (hours > 23 || minutes > 59) return -1;
    return hours * 60 + minutes;
}

}  // namespace qv
