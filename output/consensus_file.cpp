#include "output/consensus_file.h"

#include <algorithm>

#include "core/numeric.h"
#include "core/text.h"
#include "output/day_files.h"
#include "output/fixed_format.h"

namespace qv {
namespace {

// The two-column header lines keep their second label at character 41 only
// when the text before it is at least 21 characters long.
constexpr std::size_t kHeaderColumnWidth = 21;

void padTo(std::string& text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
}

// Single-precision constants of the header arithmetic; the products are
// formed in double precision.
constexpr float kFeetPerMetre = 3.28f;             // 3.2799999713897705
constexpr float kPulseLengthFactor = 0.29999998f;  // metres per nanosecond, two ways
constexpr float kHalf = 0.5f;
constexpr float kPercentFactor = 0.01f;  // 0.0099999998

// The four per-beam header texts.
struct BeamTexts {
    std::string azimuths;
    std::string elevations;
    std::string maxSamples;
    std::string reqSamples;
};

BeamTexts beamTexts(const DayHeader& header) {
    BeamTexts t;
    for (const HeaderBeam& beam : header.beams) {
        const double required = static_cast<double>(beam.sampleCount) *
                                static_cast<double>(beam.consensusPercent) *
                                static_cast<double>(kPercentFactor);
        appendText(t.azimuths, "%4d", static_cast<int>(beam.azimuth));
        appendText(t.elevations, "%5.1f", static_cast<double>(beam.elevation));
        appendText(t.maxSamples, "%4d", beam.sampleCount);
        appendText(t.reqSamples, "%4d", truncToInt(required));
    }
    padTo(t.azimuths, kHeaderColumnWidth);
    padTo(t.maxSamples, kHeaderColumnWidth);
    return t;
}

}  // namespace

std::string consensusFileName(const DayHeader& header, int variant) {
    const CalendarTime& day = header.day;
    const int doy = dayOfYear(day.year, day.month, day.day);
    const char* format = nullptr;
    if (header.fileKind == OutputKind::Winds) {
        format = "%.3s%02d%03d.w%da";
    } else if (header.fileKind == OutputKind::Temperature) {
        format = "%.3s%02d%03d.t%da";
    } else {
        return std::string();
    }
    // The station name comes from the input file: made safe for a file name.
    const std::string station = stationFileKey(header.stationName);
    return formatText(format, station.c_str(), day.year % 100, doy, variant);
}

std::string consensusHeaderText(const DayHeader& header, int variant,
                                const CalendarTime& now) {
    const CalendarTime& day = header.day;
    const int doy = dayOfYear(day.year, day.month, day.day);
    const std::string name = consensusFileName(header, variant);
    const bool winds = header.fileKind == OutputKind::Winds;
    std::string out;
    out.reserve(2048);

    out += winds ? "CDF Type:  Wind            Program:  VESK/KOR Vintrel        Version:  1.1\n"
                 : "CDF Type:  Temp            Program:  VESK/KOR Vintrel        Version:  1.1\n";
    // Winds of the corrected solution (same-height folding, vertical motion
    // cancelled in beams taken from their opposite beam) say so after the
    // data source, inside the parentheses readers take as the source.
    appendText(out, "VESK/KOR Quorvane %s (%s%s)\n\n\n", header.outputKindText.c_str(),
               header.dataSourceText.c_str(), header.correctedWinds ? ", corrected winds" : "");
    appendText(out, "Station:            %s\n", header.stationName.c_str());
    appendText(out, "Date:               %02d/%02d/%02d            Julian Day:        %03d\n",
               day.month, day.day, day.year % 100, doy);
    appendText(out, "Filename:           %12s        Validation Level:  0\n", name.c_str());
    appendText(out,
               "Created by:         VINTREL      1.0    Created on:        %02d/%02d/%02d  "
               "%02d%02d\n",
               now.month, now.day, now.year % 100, now.hour, now.minute);

    const double feet =
        static_cast<double>(header.siteElevation) * static_cast<double>(kFeetPerMetre);
    appendText(out, "Elev. (m msl):      %4d                Elev. (ft msl):    %5d\n",
               header.siteElevation, truncToInt(feet));
    appendText(out, "Lat (dec deg):      %6.2f              Long (dec deg):    %7.2f\n",
               header.latitudeCenti * 0.01, header.longitudeCenti * 0.01);
    out += "UTMN (km):           0                  UTME (km):          0     \n";
    out += "Time Zone:          UTC                 Diff. to UTC (hr): 0\n";
    out += "User Req. Samples:                      Mode Title:                \n\n\n";
    appendText(out, "Avg. Int. (min):    %2d                  Time Convention:   Begin\n",
               header.averagingMinutes);

    const double pulseLength = static_cast<double>(header.pulseWidth) *
                               static_cast<double>(kPulseLengthFactor) *
                               static_cast<double>(kHalf);
    appendText(out, "Pulse Len. (m):     %4.0f                Spacing (m):       %3.0f\n",
               pulseLength, static_cast<double>(header.gateSpacing));

    const BeamTexts texts = beamTexts(header);
    appendText(out, "Max. Samples:      %s", texts.maxSamples.c_str());
    appendText(out, "Req. Samples:     %s\n", texts.reqSamples.c_str());
    appendText(out, "Ant. Azimuth (deg):%s", texts.azimuths.c_str());
    appendText(out, "Ant. Elev. (deg): %s\n\n\n", texts.elevations.c_str());

    out +=
        "QC Code Definition:    0=Valid,   1=Valid-No Vertical Correction,   3=Valid-Passed "
        "QC/Failed Consensus,   7=Suspect,   8=Invalid\n";
    out += "Data Code Definition: -940=Failed QC,   -950=Failed Consensus,\n";
    out += "                      -960=Exceeded Nyquist Vel., -980=Flagged by Reviewer\n";
    out += "                      -999=Missing or Not Reported\n\n\n\n\n\n\n";
    out += "Time    # of Gates  Radar Parameter Changes\n";
    out += "HHMM    NNN         N\n";

    if (winds) {
        out += "QC   Height    WS     WD      u       v       w    No. in Cns      SNR (db)\n";
        out += "Code (m msl) (m/s)  (deg)   (m/s)   (m/s)   (m/s)   u   v   w    u    v    w\n";
    } else if (header.fileKind == OutputKind::Temperature) {
        if (variant == 1) {
            out += "QC   Height   Tv   No. Cns  SNR (db)\n";
            out += "Code (m msl)  (C)   (Tv)     (Tv)\n";
        } else if (variant == 2) {
            out += "QC   Height   TvC  No. Cns  SNR (db)\n";
            out += "Code (m msl)  (C)   (TvC)    (TvC)\n";
        }
    }
    return out;
}

std::string formatPeriodLine(const char* key, int gateCount) {
    return formatText("%s%7d%10d\n", key, gateCount, 0);
}

namespace {

constexpr const char* kWindGateFormat = "%2d%7.0Lf%9.1f%6d.%8.2f%8.2f%8.2f%4u%4u%4u%5d%5d%5d\n";
constexpr const char* kTemperatureGateFormat = "%2d%7.0f%9.1f%6d%6d\n";

// The wind gate line through the fixed-field writers; nullptr when a value
// needs printf itself.
char* windGateFields(char* p, const WindGate& g) {
    p = putInt(p, g.qcCode, 2);
    if (!(p = putFixedLong(p, g.height, 7))) return nullptr;
    if (!(p = putFixed(p, static_cast<double>(g.speed), 9, 1))) return nullptr;
    p = putInt(p, g.direction, 6);
    *p++ = '.';
    for (const float value : {g.u, g.v, g.w}) {
        if (!(p = putFixed(p, static_cast<double>(value), 8, 2))) return nullptr;
    }
    for (const std::uint32_t count : {g.countU, g.countV, g.countW}) p = putInt(p, count, 4);
    for (const std::int32_t snr : {g.snrU, g.snrV, g.snrW}) p = putInt(p, snr, 5);
    *p++ = '\n';
    return p;
}

}  // namespace

void appendWindGateLine(std::string& out, const WindGate& g) {
    char line[14 * kFixedFieldRoom];
    if (const char* end = windGateFields(line, g)) {
        out.append(line, static_cast<std::size_t>(end - line));
        return;
    }
    appendText(out, kWindGateFormat, static_cast<int>(g.qcCode), g.height,
               static_cast<double>(g.speed), static_cast<int>(g.direction),
               static_cast<double>(g.u), static_cast<double>(g.v), static_cast<double>(g.w),
               g.countU, g.countV, g.countW, static_cast<int>(g.snrU), static_cast<int>(g.snrV),
               static_cast<int>(g.snrW));
}

std::string formatWindGateLine(const WindGate& g) {
    std::string line;
    appendWindGateLine(line, g);
    return line;
}

void appendTemperatureGateLine(std::string& out, int qcCode, double height, double value,
                               int count, int snr) {
    char line[6 * kFixedFieldRoom];
    char* p = putInt(line, qcCode, 2);
    if ((p = putFixed(p, height, 7, 0)) && (p = putFixed(p, value, 9, 1))) {
        p = putInt(p, count, 6);
        p = putInt(p, snr, 6);
        *p++ = '\n';
        out.append(line, static_cast<std::size_t>(p - line));
        return;
    }
    appendText(out, kTemperatureGateFormat, qcCode, height, value, count, snr);
}

std::string windFileText(const WindDay& day, const CalendarTime& created) {
    std::string out = consensusHeaderText(day.header, day.header.variant, created);
    std::size_t gates = 0;
    for (const WindPeriod& period : day.periods) gates += period.gates.size();
    out.reserve(out.size() + day.periods.size() * 24 + gates * 80);
    for (const WindPeriod& period : day.periods) {
        out += formatPeriodLine(period.key, static_cast<int>(period.gates.size()));
        for (const WindGate& gate : period.gates) appendWindGateLine(out, gate);
    }
    return out;
}

std::string temperatureFileText(const TemperatureDay& day, int digit,
                                const CalendarTime& created) {
    std::string out = consensusHeaderText(day.header, digit, created);
    std::size_t gates = 0;
    for (const TemperaturePeriod& period : day.periods) gates += period.gates.size();
    out.reserve(out.size() + day.periods.size() * 24 + gates * 32);
    for (const TemperaturePeriod& period : day.periods) {
        out += formatPeriodLine(period.key, static_cast<int>(period.gates.size()));
        for (const TemperatureGate& gate : period.gates) {
            const float value = digit == 1 ? gate.tv : gate.tvc;
            appendTemperatureGateLine(out, gate.qcCode, gate.height, static_cast<double>(value),
                                      gate.count, gate.snr);
        }
    }
    return out;
}

}  // namespace qv
