// The consensus data file: name, header, period lines and gate lines, made
// from a finished day product. A day's file is composed whole in memory and
// written whole (output/whole_file.h).
#pragma once

#include <cstdint>
#include <string>

#include "core/time.h"
#include "products/day_product.h"

namespace qv {

// The file name without folder: "%.3s%02d%03d.w%da" for winds,
// "%.3s%02d%03d.t%da" for temperature (from the header's station name, day
// and file kind, with mode digit `variant`); empty when the header has no
// output kind. The station's characters are made safe for a file name
// (stationFileKey, output/day_files.h).
std::string consensusFileName(const DayHeader& header, int variant);

// Header lines 1 to 23 for mode digit `variant`; `created` is the "Created
// on" stamp (UTC).
std::string consensusHeaderText(const DayHeader& header, int variant,
                                const CalendarTime& created);

// "%s%7d%10d\n": period key, number of gate lines, 0.
std::string formatPeriodLine(const char* key, int gateCount);

// One wind gate line, "%2d%7.0f%9.1f%6d.%8.2f%8.2f%8.2f%4d%4d%4d%5d%5d%5d\n",
// appended to `out`; the height is printed from its extended-precision value.
void appendWindGateLine(std::string& out, const WindGate& gate);
std::string formatWindGateLine(const WindGate& gate);

// One temperature gate line, "%2d%7.0f%9.1f%6d%6d\n" (QC code, height,
// temperature, number in the consensus, SNR), appended to `out`.
void appendTemperatureGateLine(std::string& out, int qcCode, double height, double value,
                               int count, int snr);

// The whole text of a wind day's file.
std::string windFileText(const WindDay& day, const CalendarTime& created);

// The whole text of a temperature day's Tv file (digit 1) or TvC file
// (digit 2).
std::string temperatureFileText(const TemperatureDay& day, int digit,
                                const CalendarTime& created);

}  // namespace qv
