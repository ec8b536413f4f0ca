// The names of a day's moment files: one rule for the readers that open
// them and for the follower that watches them grow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/host.h"
#include "core/time.h"

namespace qv {

// "<site><yy><ddd>.raw" (winds) or ".rat" (temperature).
std::string asciiMomentFileName(const std::string& site, const CalendarTime& day, OutputKind kind);

// "d<yy><ddd>a.<extension>": the data file of a binary pair ("mom" or "spc").
std::string binaryDataFileName(const CalendarTime& day, const char* extension);

// The names that hold a day's moments for an input type and output kind,
// in the order the reader tries them (the binary header files not
// included: they are named after their data file).
std::vector<std::string> dayInputNames(InputType type, OutputKind kind, const std::string& site,
                                       const CalendarTime& day);

// The day a file name (no folder) stands for, as a civil day number, when
// it is one of the names above, compared without regard to ASCII letter
// case. The two-digit year is taken in the century that puts it nearest to
// `nearYear`.
std::optional<std::int64_t> inputNameDay(const std::string& name, InputType type, OutputKind kind,
                                         const std::string& site, int nearYear);

}  // namespace qv
