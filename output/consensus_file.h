// The consensus data file: name, header, period line and gate lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/job.h"

namespace qv {

// The day file's name without folder for the output kind checked now:
// "%.3s%02d%03d.w%da" for winds, "%.3s%02d%03d.t%da" for temperature (from
// the station name, job.currentDay and job.outputVariant); empty when no
// output kind is checked. A '/' among the station name's three characters
// becomes '_', so that the file stays in the output folder.
std::string consensusFileName(ConsensusJob& job);

// Creates (truncating) the day file for job.outputVariant and the output
// kind checked now, writes header lines 1 to 23, closes it, leaves its path
// (output folder, '/', name) in job.outputFilePath and empties the four
// header value texts. The pulse length and gate spacing come from
// job.verticalBeam and job.firstObliqueBeam when Winds is checked, from
// job.radarBeam and job.rassBeam otherwise (0 for a beam not set). A file
// that cannot be created, or whose header cannot be written, is recorded
// in job.unwrittenPaths.
void writeConsensusHeader(ConsensusJob& job);

// "%s%7d%10d\n": period key, number of gate lines, 0.
std::string formatPeriodLine(const char* key, int gateCount);

// One wind gate line, "%2d%7.0f%9.1f%6d.%8.2f%8.2f%8.2f%4d%4d%4d%5d%5d%5d\n".
// The direction and the three SNRs are already truncated toward zero; the
// height is printed from its extended-precision value.
struct WindGateValues {
    int qcCode = 0;
    long double height = 0.0L;
    float speed = 0.0f;
    int direction = 0;
    float u = 0.0f;
    float v = 0.0f;
    float w = 0.0f;
    std::uint32_t countU = 0;
    std::uint32_t countV = 0;
    std::uint32_t countW = 0;
    int snrU = 0;
    int snrV = 0;
    int snrW = 0;
};
std::string formatWindGateLine(const WindGateValues& values);
// The same line appended to `out` (whose storage a caller can reuse).
void appendWindGateLine(std::string& out, const WindGateValues& values);

// One temperature gate line, "%2d%7.0f%9.1f%6d%6d\n" (QC code, height,
// temperature, number in the consensus, SNR), appended to `out`.
void appendTemperatureGateLine(std::string& out, int qcCode, double height, double value,
                               int count, int snr);

// Appends one entry of a beam to the four header value texts (winds).
void appendHeaderEntries(ConsensusJob& job, const BeamAccumulator& beam);

// Replaces the four header value texts by one beam's entries (temperature).
void setHeaderEntries(ConsensusJob& job, const BeamAccumulator& beam);

// Empties the four header value texts.
void clearHeaderEntries(ConsensusJob& job);

// Opens a day file for appending ("a"); records the path as unwritten and
// returns null when it cannot be opened.
std::FILE* openForAppend(ConsensusJob& job, const std::string& path);

// Closes an appended file; a failed write or close records the path.
void closeAppended(ConsensusJob& job, std::FILE* file, const std::string& path);

}  // namespace qv
