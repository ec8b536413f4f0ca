// Reader of consensus data files (".w" wind files, ".t" Tv and TvC files),
// written by Quorvane or by any other program that writes the format: the
// header, the period lines, the gate lines with their data codes, values
// wider than their fields, CR LF or LF line ends.
//
// The files are untrusted input: a truncated, corrupted or foreign file is
// refused with a message naming the file and the line, never a crash.
#pragma once

#include <string>

#include "products/day_product.h"

namespace qv {

// What a file held. A ".t" file holds either Tv (digit 1) or TvC (digit 2):
// its temperatures are in `temperature.periods[..].gates[..].tv` or `.tvc`,
// the other one set to the missing code.
//
// What the header keeps of the run is filled in as far as the file tells:
// - the day from the "Date:" line (a two-digit year of 70 or more is
//   19YY, else 20YY), checked against "Julian Day";
// - the mode digit from the "Filename:" field (the file's own name when
//   that field does not have one); for ".t" files the column heads decide;
// - pulseWidth: the whole nanoseconds nearest to "Pulse Len." / 0.15 that
//   print that pulse length again; gateSpacing: "Spacing";
// - per beam: azimuth, elevation, sampleCount ("Max. Samples") and
//   consensusPercent: the largest whole percent that gives the printed
//   "Req. Samples" again (the file keeps only the product). The consensus
//   window is not in the file: 0, as are verticalPolicy (None) and
//   correctedWinds (false).
struct ConsensusFileContents {
    OutputKind kind = OutputKind::None;  // Winds or Temperature
    // 1 (Tv) or 2 (TvC) for temperature files; 0 for a day that holds both
    // (read from a netCDF file).
    int temperatureDigit = 0;
    WindDay winds;
    TemperatureDay temperature;
};

struct ConsensusFileRead {
    bool ok = false;
    std::string error;  // "FILE, line N: what is wrong" when !ok
    ConsensusFileContents contents;
};

// Reads a whole file from disk (files over 256 MiB are refused).
ConsensusFileRead readConsensusFile(const std::string& path);

// Reads the text of a file; `name` is used in messages.
ConsensusFileRead parseConsensusFile(const std::string& text, const std::string& name);

}  // namespace qv
