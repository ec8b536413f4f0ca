// The local test of the continuity check: each valid wind against the
// median of the valid winds around it in time and height (see
// qc/continuity.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qc/continuity.h"
#include "qc/time_height.h"

namespace qv::qc {

// A wind against its neighbourhood.
struct LocalEstimate {
    int neighbours = 0;       // valid gates in the neighbourhood (itself left out)
    bool known = false;       // enough of them for an estimate
    float u = 0.0f;           // their median u (m/s)
    float v = 0.0f;           // their median v (m/s)
    float departure = 0.0f;   // of the wind from (u, v): vector length (m/s)
    float limit = 0.0f;       // the largest departure allowed here (m/s)
    bool fails = false;       // departure above the limit
};

// Scratch space kept from gate to gate: the neighbours' u and v, their
// offsets in periods and gates, and room for medians.
struct LocalScratch {
    std::vector<float> u, v, dt, dz;
    std::vector<float> ru, rv, su, sv, work;
};

// The estimate of one gate (a valid gate of column `column`).
LocalEstimate localEstimate(const TimeHeightField& field, const ContinuityLimits& limits,
                            std::size_t column, std::size_t gate, LocalScratch& scratch);

// The gates of the checked day's periods that fail the local test, with
// their estimates, in gate-number order.
struct LocalFailures {
    std::vector<std::uint32_t> ids;
    std::vector<LocalEstimate> estimates;

    // The estimate of a gate that failed, or null.
    const LocalEstimate* find(std::uint32_t id) const;
};

LocalFailures localTest(const TimeHeightField& field, const ContinuityLimits& limits);

}  // namespace qv::qc
