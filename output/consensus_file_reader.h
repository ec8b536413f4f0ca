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
struct ConsensusFileContents {
    OutputKind kind = OutputKind::None;  // Winds or Temperature
    int temperatureDigit = 0;            // 1 (Tv) or 2 (TvC) for temperature files
    WindDay winds;
    TemperatureDay temperature;
};

struct ConsensusFileRead {
    bool ok = false;
    std::string error;  // "FILE, line N: what is wrong" when !ok
    ConsensusFileContents contents;
};

// Reads a whole file from disk.
ConsensusFileRead readConsensusFile(const std::string& path);

// Reads the text of a file; `name` is used in messages.
ConsensusFileRead parseConsensusFile(const std::string& text, const std::string& name);

}  // namespace qv
