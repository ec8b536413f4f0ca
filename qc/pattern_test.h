// The pattern test of the continuity check, after the outline of Weber and
// Wuertz (1993): winds linked to their nearest consistent neighbours form
// patterns; a wind whose pattern is small, or thin while its neighbours
// across it do not link, fails (see qc/continuity.h).
#pragma once

#include <cstdint>
#include <vector>

#include "qc/continuity.h"
#include "qc/time_height.h"

namespace qv::qc {

struct PatternVerdicts {
    std::vector<int> size;            // per gate number: its pattern's gates (valid gates)
    std::vector<std::uint8_t> fails;  // per gate number: 1 when the gate fails the test
};

PatternVerdicts patternTest(const TimeHeightField& field, const ContinuityLimits& limits);

}  // namespace qv::qc
