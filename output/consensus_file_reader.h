// Reader of consensus data files (".w" wind files, ".t" Tv and TvC files),
// written by Quorvane or by any other program that writes the format: the
// header, the period lines, the gate lines with their data codes, values
// wider than their fields, CR LF or LF line ends.
//
// A gate field of stars (a value too wide for a Fortran-style writer's
// field) is a missing value of that field only: values and SNRs read as
// the missing code, counts as 0, the QC code as 8 (invalid). A gate whose
// height is stars (or "nan") is kept with a NaN height, every value
// missing and the QC code 8. A file with two blocks of one period is
// refused.
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

// Reads a whole file from disk. Only a regular file is read ("PATH: not a
// regular file" for a FIFO, a device, a folder or a socket, at once);
// files over 256 MiB are refused.
ConsensusFileRead readConsensusFile(const std::string& path);

// Reads the header and the column heads of a file only, none of its
// periods, for indexing many files cheaply: the contents hold what the
// header tells (kind, temperatureDigit, the header with its mode digit,
// station and day) and no periods. The file is read only as far as the
// heads, with the same checks of the file as readConsensusFile; for a file
// both read, the header is the same.
ConsensusFileRead readConsensusFileHeader(const std::string& path);

// Reads the text of a file; `name` is used in messages.
ConsensusFileRead parseConsensusFile(const std::string& text, const std::string& name);

}  // namespace qv
