#include "qc/pattern_test.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace qv::qc {
namespace {

// Union-find over the gates of the days checked together, with union by
// size and path halving; the size of each root is its pattern's size.
class Patterns {
public:
    explicit Patterns(std::size_t n) : parent_(n), size_(n, 1) {
        for (std::size_t i = 0; i < n; ++i) parent_[i] = static_cast<std::uint32_t>(i);
    }

    std::uint32_t root(std::uint32_t i) {
        while (parent_[i] != i) {
            parent_[i] = parent_[parent_[i]];
            i = parent_[i];
        }
        return i;
    }

    void join(std::uint32_t a, std::uint32_t b) {
        a = root(a);
        b = root(b);
        if (a == b) return;
        if (size_[a] < size_[b]) std::swap(a, b);
        parent_[b] = a;
        size_[a] += size_[b];
    }

    int sizeOf(std::uint32_t i) { return static_cast<int>(size_[root(i)]); }

private:
    std::vector<std::uint32_t> parent_;
    std::vector<std::uint32_t> size_;
};

constexpr std::uint8_t kTimeNeighbour = 1;
constexpr std::uint8_t kHeightNeighbour = 2;

bool withinLimit(const TimeHeightField& f, std::uint32_t a, std::uint32_t b, float limit) {
    return std::fabs(f.u(a) - f.u(b)) <= limit && std::fabs(f.v(a) - f.v(b)) <= limit;
}

// Links each valid gate with the valid gates above it and in later
// periods, nearest first, up to maxGap away, until one links; every gate
// notes whether it had a valid neighbour along time and along height at
// all (for the thin-pattern rule).
void link(const TimeHeightField& f, const ContinuityLimits& limits, Patterns& patterns,
          std::vector<std::uint8_t>& neighbours) {
    const int maxGap = std::max(1, limits.maxGap);
    const std::vector<Column>& columns = f.columns();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::size_t gates = f.gateCount(c);
        for (std::size_t g = 0; g < gates; ++g) {
            const std::uint32_t id = f.id(c, g);
            if (!f.valid(id)) continue;
            int passed = 0;  // valid gates passed over that did not link
            for (std::size_t a = g + 1; a < gates && a - g <= static_cast<std::size_t>(maxGap); ++a) {
                const std::uint32_t other = f.id(c, a);
                if (!f.valid(other)) continue;
                neighbours[id] |= kHeightNeighbour;
                neighbours[other] |= kHeightNeighbour;
                const float scale = static_cast<float>(static_cast<int>(a - g) - passed);
                if (withinLimit(f, id, other, limits.perGate * scale)) {
                    patterns.join(id, other);
                    break;
                }
                ++passed;
            }
            passed = 0;
            for (std::size_t n = c + 1; n < columns.size(); ++n) {
                const double periods = f.periodsBetween(c, n);
                if (periods > maxGap + 1e-6) break;
                if (g >= f.gateCount(n) || !f.valid(f.id(n, g)) || !f.sameHeight(c, n, g)) continue;
                const std::uint32_t other = f.id(n, g);
                neighbours[id] |= kTimeNeighbour;
                neighbours[other] |= kTimeNeighbour;
                const double scale = std::max(1.0, periods - passed);
                if (withinLimit(f, id, other, limits.perPeriod * static_cast<float>(scale))) {
                    patterns.join(id, other);
                    break;
                }
                ++passed;
            }
        }
    }
}

// The extent of a pattern in periods and gates, and how many of its gates
// had a neighbour across it that did not link.
struct Extent {
    std::uint32_t firstColumn = UINT32_MAX, lastColumn = 0;
    std::uint32_t lowestGate = UINT32_MAX, highestGate = 0;
    std::uint32_t timeNeighbours = 0, heightNeighbours = 0;
};

std::vector<Extent> extents(const TimeHeightField& f, Patterns& patterns,
                            const std::vector<std::uint8_t>& neighbours) {
    std::vector<Extent> out(f.size());
    for (std::size_t c = 0; c < f.columns().size(); ++c) {
        for (std::size_t g = 0; g < f.gateCount(c); ++g) {
            const std::uint32_t id = f.id(c, g);
            if (!f.valid(id)) continue;
            Extent& e = out[patterns.root(id)];
            const auto col = static_cast<std::uint32_t>(c);
            const auto gate = static_cast<std::uint32_t>(g);
            e.firstColumn = std::min(e.firstColumn, col);
            e.lastColumn = std::max(e.lastColumn, col);
            e.lowestGate = std::min(e.lowestGate, gate);
            e.highestGate = std::max(e.highestGate, gate);
            if (neighbours[id] & kTimeNeighbour) ++e.timeNeighbours;
            if (neighbours[id] & kHeightNeighbour) ++e.heightNeighbours;
        }
    }
    return out;
}

// A pattern within one period although at least half of its gates had a
// valid gate before or after that did not link (a burst over heights), or
// within one gate although at least half had one below or above (a streak).
bool thin(const Extent& e, int size) {
    const auto half = static_cast<std::uint32_t>(size);
    if (e.firstColumn == e.lastColumn && 2 * e.timeNeighbours >= half) return true;
    if (e.lowestGate == e.highestGate && 2 * e.heightNeighbours >= half) return true;
    return false;
}

}  // namespace

PatternVerdicts patternTest(const TimeHeightField& f, const ContinuityLimits& limits) {
    Patterns patterns(f.size());
    std::vector<std::uint8_t> neighbours(f.size(), 0);
    link(f, limits, patterns, neighbours);
    std::vector<Extent> extent;
    if (limits.flagThinPatterns) extent = extents(f, patterns, neighbours);

    PatternVerdicts out;
    out.size.assign(f.size(), 0);
    out.fails.assign(f.size(), 0);
    for (std::uint32_t id = 0; id < f.size(); ++id) {
        if (!f.valid(id)) continue;
        const int size = patterns.sizeOf(id);
        out.size[id] = size;
        const bool isThin = limits.flagThinPatterns && thin(extent[patterns.root(id)], size);
        out.fails[id] = size < limits.minPatternSize || isThin ? 1 : 0;
    }
    return out;
}

}  // namespace qv::qc
