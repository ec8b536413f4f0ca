#include "consensus/consensus_file.h"

#include <algorithm>

#include "consensus/fixed_format.h"
#include "core/numeric.h"
#include "core/text.h"
#include "core/time.h"

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
constexpr float kFeetPerMetre = 3.28f;
constexpr float kPulseLengthFactor = 0.3f;  // 0.29999998 in single precision
constexpr float kPercentFactor = 0.01f;

const BeamAccumulator* radarBeamOf(const ConsensusJob& job, bool winds) {
    return winds ? job.verticalBeam : job.radarBeam;
}

const BeamAccumulator* dataBeamOf(const ConsensusJob& job, bool winds) {
    return winds ? job.firstObliqueBeam : job.rassBeam;
}

// Header lines 1 to 21 and the column heads.
void writeHeaderLines(ConsensusJob& job, std::FILE* out, const std::string& name, int doy) {
    const CalendarTime& day = job.currentDay;
    const MomentRecord& site = job.record;

    const bool windsTitle = job.outputKind() == OutputKind::Winds;
    std::fputs(windsTitle
                   ? "CDF Type:  Wind            Program:  VESK/KOR Vintrel        Version:  1.1\n"
                   : "CDF Type:  Temp            Program:  VESK/KOR Vintrel        Version:  1.1\n",
               out);
    std::fprintf(out, "VESK/KOR Quorvane %s (%s)\n\n\n", job.params.outputKindText.c_str(),
                 job.params.dataSourceText.c_str());
    std::fprintf(out, "Station:            %s\n", site.stationName.c_str());
    std::fprintf(out, "Date:               %02d/%02d/%02d            Julian Day:        %03d\n",
                 day.month, day.day, day.year % 100, doy);
    std::fprintf(out, "Filename:           %12s        Validation Level:  0\n", name.c_str());

    const CalendarTime now = job.clock ? job.clock() : systemUtcNow();
    std::fprintf(out,
                 "Created by:         VINTREL      1.0    Created on:        %02d/%02d/%02d  "
                 "%02d%02d\n",
                 now.month, now.day, now.year % 100, now.hour, now.minute);

    const double feet =
        static_cast<double>(site.siteElevation) * static_cast<double>(kFeetPerMetre);
    std::fprintf(out, "Elev. (m msl):      %4d                Elev. (ft msl):    %5d\n",
                 site.siteElevation, truncToInt(feet));
    std::fprintf(out, "Lat (dec deg):      %6.2f              Long (dec deg):    %7.2f\n",
                 site.latitudeCenti * 0.01, site.longitudeCenti * 0.01);
    std::fputs("UTMN (km):           0                  UTME (km):          0     \n", out);
    std::fputs("Time Zone:          UTC                 Diff. to UTC (hr): 0\n", out);
    std::fputs("User Req. Samples:                      Mode Title:                \n\n\n", out);
    std::fprintf(out, "Avg. Int. (min):    %2d                  Time Convention:   Begin\n",
                 job.params.averagingMinutes);

    const BeamAccumulator* radar = radarBeamOf(job, windsTitle);
    const BeamAccumulator* data = dataBeamOf(job, windsTitle);
    const double pulseLength = radar ? static_cast<double>(radar->pulseWidth) *
                                           static_cast<double>(kPulseLengthFactor) * 0.5
                                     : 0.0;
    const double spacing = data ? static_cast<double>(data->gateSpacing) : 0.0;
    std::fprintf(out, "Pulse Len. (m):     %4.0f                Spacing (m):       %3.0f\n",
                 pulseLength, spacing);

    std::fprintf(out, "Max. Samples:      %s", job.maxSamplesText.c_str());
    std::fprintf(out, "Req. Samples:     %s\n", job.reqSamplesText.c_str());
    std::fprintf(out, "Ant. Azimuth (deg):%s", job.azimuthListText.c_str());
    std::fprintf(out, "Ant. Elev. (deg): %s\n\n\n", job.elevationListText.c_str());

    std::fputs(
        "QC Code Definition:    0=Valid,   1=Valid-No Vertical Correction,   3=Valid-Passed "
        "QC/Failed Consensus,   7=Suspect,   8=Invalid\n",
        out);
    std::fputs("Data Code Definition: -940=Failed QC,   -950=Failed Consensus,\n", out);
    std::fputs("                      -960=Exceeded Nyquist Vel., -980=Flagged by Reviewer\n",
               out);
    std::fputs("                      -999=Missing or Not Reported\n\n\n\n\n\n\n", out);
    std::fputs("Time    # of Gates  Radar Parameter Changes\n", out);
    std::fputs("HHMM    NNN         N\n", out);

    const OutputKind heads = job.outputKind();
    if (heads == OutputKind::Winds) {
        std::fputs("QC   Height    WS     WD      u       v       w    No. in Cns      SNR (db)\n",
                   out);
        std::fputs("Code (m msl) (m/s)  (deg)   (m/s)   (m/s)   (m/s)   u   v   w    u    v    w\n",
                   out);
    } else if (heads == OutputKind::Temperature) {
        if (job.outputVariant == 1) {
            std::fputs("QC   Height   Tv   No. Cns  SNR (db)\n", out);
            std::fputs("Code (m msl)  (C)   (Tv)     (Tv)\n", out);
        } else if (job.outputVariant == 2) {
            std::fputs("QC   Height   TvC  No. Cns  SNR (db)\n", out);
            std::fputs("Code (m msl)  (C)   (TvC)    (TvC)\n", out);
        }
    }
}

}  // namespace

std::string consensusFileName(ConsensusJob& job) {
    const CalendarTime& day = job.currentDay;
    const int doy = dayOfYear(day.year, day.month, day.day);
    const OutputKind kind = job.outputKind();
    const char* format = nullptr;
    if (kind == OutputKind::Winds) {
        format = "%.3s%02d%03d.w%da";
    } else if (kind == OutputKind::Temperature) {
        format = "%.3s%02d%03d.t%da";
    } else {
        return std::string();
    }
    // The station name comes from the input file: a '/' in its first three
    // characters would put the file into another folder (".." and "/" make
    // "../"), so it becomes '_'.
    std::string station = job.record.stationName.substr(0, 3);
    std::replace(station.begin(), station.end(), '/', '_');
    return formatText(format, station.c_str(), day.year % 100, doy,
                      static_cast<int>(job.outputVariant));
}

void writeConsensusHeader(ConsensusJob& job) {
    const CalendarTime& day = job.currentDay;
    const int doy = dayOfYear(day.year, day.month, day.day);
    const std::string name = consensusFileName(job);
    job.outputFilePath = formatText("%s/%s", job.params.outputPath.c_str(), name.c_str());

    if (std::FILE* out = std::fopen(job.outputFilePath.c_str(), "w")) {
        padTo(job.azimuthListText, kHeaderColumnWidth);
        padTo(job.maxSamplesText, kHeaderColumnWidth);
        writeHeaderLines(job, out, name, doy);
        const bool failed = std::ferror(out) != 0;
        if (std::fclose(out) != 0 || failed) job.recordUnwritten(job.outputFilePath);
    } else {
        job.recordUnwritten(job.outputFilePath);
    }
    clearHeaderEntries(job);
}

std::string formatPeriodLine(const char* key, int gateCount) {
    return formatText("%s%7d%10d\n", key, gateCount, 0);
}

namespace {

constexpr const char* kWindGateFormat = "%2d%7.0Lf%9.1f%6d.%8.2f%8.2f%8.2f%4u%4u%4u%5d%5d%5d\n";
constexpr const char* kTemperatureGateFormat = "%2d%7.0f%9.1f%6d%6d\n";

// The wind gate line through the fixed-field writers; nullptr when a value
// needs printf itself.
char* windGateFields(char* p, const WindGateValues& g) {
    p = putInt(p, g.qcCode, 2);
    if (!(p = putFixedLong(p, g.height, 7))) return nullptr;
    if (!(p = putFixed(p, static_cast<double>(g.speed), 9, 1))) return nullptr;
    p = putInt(p, g.direction, 6);
    *p++ = '.';
    for (const float value : {g.u, g.v, g.w}) {
        if (!(p = putFixed(p, static_cast<double>(value), 8, 2))) return nullptr;
    }
    for (const std::uint32_t count : {g.countU, g.countV, g.countW}) p = putInt(p, count, 4);
    for (const int snr : {g.snrU, g.snrV, g.snrW}) p = putInt(p, snr, 5);
    *p++ = '\n';
    return p;
}

}  // namespace

void appendWindGateLine(std::string& out, const WindGateValues& g) {
    char line[14 * kFixedFieldRoom];
    if (const char* end = windGateFields(line, g)) {
        out.append(line, static_cast<std::size_t>(end - line));
        return;
    }
    appendText(out, kWindGateFormat, g.qcCode, g.height, static_cast<double>(g.speed), g.direction,
               static_cast<double>(g.u), static_cast<double>(g.v), static_cast<double>(g.w),
               g.countU, g.countV, g.countW, g.snrU, g.snrV, g.snrW);
}

std::string formatWindGateLine(const WindGateValues& g) {
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

namespace {

void appendEntries(ConsensusJob& job, const BeamAccumulator& beam) {
    const double required = static_cast<double>(beam.sampleCount) *
                            static_cast<double>(beam.consensusPercent) *
                            static_cast<double>(kPercentFactor);
    appendText(job.azimuthListText, "%4d", static_cast<int>(beam.azimuth));
    appendText(job.elevationListText, "%5.1f", static_cast<double>(beam.elevation));
    appendText(job.maxSamplesText, "%4d", beam.sampleCount);
    appendText(job.reqSamplesText, "%4d", truncToInt(required));
}

}  // namespace

void appendHeaderEntries(ConsensusJob& job, const BeamAccumulator& beam) {
    appendEntries(job, beam);
}

void setHeaderEntries(ConsensusJob& job, const BeamAccumulator& beam) {
    clearHeaderEntries(job);
    appendEntries(job, beam);
}

void clearHeaderEntries(ConsensusJob& job) {
    job.azimuthListText.clear();
    job.elevationListText.clear();
    job.maxSamplesText.clear();
    job.reqSamplesText.clear();
}

std::FILE* openForAppend(ConsensusJob& job, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (!file) job.recordUnwritten(path);
    return file;
}

void closeAppended(ConsensusJob& job, std::FILE* file, const std::string& path) {
    if (!file) return;
    const bool failed = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || failed) job.recordUnwritten(path);
}

}  // namespace qv
