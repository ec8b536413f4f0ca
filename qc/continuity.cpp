#include "qc/continuity.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/text.h"

namespace qv {
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

// One period of the time axis: the checked day's or a neighbour's.
struct Column {
    int minutes = 0;  // since the checked day's midnight (negative: the day before)
    const WindPeriod* period = nullptr;
    WindPeriod* own = nullptr;  // the checked day's period, null for a neighbour's
    std::uint32_t base = 0;     // index of its first gate in the union-find
};

bool takesPart(const WindGate& g) {
    return g.qcCode == kQcValidCode && std::isfinite(g.u) && std::isfinite(g.v) &&
           !isDataCode(g.u) && !isDataCode(g.v);
}

bool sameMode(const WindDay& a, const WindDay& b) {
    return a.header.variant == b.header.variant &&
           a.header.averagingMinutes == b.header.averagingMinutes;
}

void addColumns(std::vector<Column>& columns, const WindDay& day, int offsetMinutes,
                WindDay* own) {
    for (std::size_t p = 0; p < day.periods.size(); ++p) {
        const int minutes = periodKeyMinutes(day.periods[p].key);
        if (minutes < 0) continue;  // not a time of day: left out of the check
        Column c;
        c.minutes = minutes + offsetMinutes;
        c.period = &day.periods[p];
        c.own = own != nullptr ? &own->periods[p] : nullptr;
        columns.push_back(c);
    }
}

// The length of one averaging period in minutes: the header's, or else the
// smallest step between the periods.
double periodMinutes(const WindDay& day, const std::vector<Column>& columns) {
    if (day.header.averagingMinutes > 0) return day.header.averagingMinutes;
    int step = 0;
    for (std::size_t i = 1; i < columns.size(); ++i) {
        const int d = columns[i].minutes - columns[i - 1].minutes;
        if (d > 0 && (step == 0 || d < step)) step = d;
    }
    return step > 0 ? step : 1.0;
}

bool withinLimit(const WindGate& a, const WindGate& b, float limit) {
    return std::fabs(a.u - b.u) <= limit && std::fabs(a.v - b.v) <= limit;
}

void flagGate(WindGate& g) {
    g.qcCode = kQcInvalidCode;
    g.speed = kFailedQcCode;
    g.direction = static_cast<std::int32_t>(kFailedQcCode);
    g.u = kFailedQcCode;
    g.v = kFailedQcCode;
}

bool parseDecimal(std::string_view text, double lo, double hi, double& out) {
    if (text.empty() || text.size() > 32) return false;
    // Plain decimal notation only: no sign, blank, hexadecimal or exponent.
    for (const char ch : text) {
        if ((ch < '0' || ch > '9') && ch != '.') return false;
    }
    char buffer[33];
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    char* end = nullptr;
    const double v = std::strtod(buffer, &end);
    if (end != buffer + text.size() || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

}  // namespace

bool parseContinuityLimits(std::string_view text, ContinuityLimits& limits, std::string& error) {
    ContinuityLimits out = limits;
    constexpr int kKeyCount = 5;
    bool seen[kKeyCount] = {false, false, false, false, false};
    static constexpr const char* kKeys[kKeyCount] = {"period", "gate", "min", "gap", "thin"};
    if (text.empty()) {
        error = "empty continuity limits (expected e.g. period=2,gate=2.5,min=8)";
        return false;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        const std::string_view item = text.substr(start, comma - start);
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            error = "continuity limit item '" + std::string(item) + "' is not KEY=VALUE";
            return false;
        }
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = item.substr(eq + 1);
        int k = 0;
        while (k < kKeyCount && key != kKeys[k]) ++k;
        if (k == kKeyCount) {
            error = "unknown continuity limit '" + std::string(key) +
                    "' (keys: period, gate, min, gap, thin)";
            return false;
        }
        if (seen[k]) {
            error = "continuity limit '" + std::string(key) + "' given twice";
            return false;
        }
        seen[k] = true;
        double v = 0.0;
        const bool integer = k >= 2;
        const double lo = k == 4 ? 0.0 : integer ? 1.0 : 0.0;
        const double hi = k == 2 ? 100000.0 : k == 3 ? 100.0 : k == 4 ? 1.0 : 1000.0;
        bool ok = parseDecimal(value, lo, hi, v);
        if (ok && integer && v != std::floor(v)) ok = false;
        if (ok && !integer && !(v > 0.0)) ok = false;
        if (!ok) {
            error = "invalid continuity limit " + std::string(item) +
                    (k == 0   ? " (m/s per period, above 0)"
                     : k == 1 ? " (m/s per gate, above 0)"
                     : k == 2 ? " (gates, 1 to 100000)"
                     : k == 3 ? " (1 to 100)"
                              : " (0 or 1)");
            return false;
        }
        switch (k) {
        case 0: out.perPeriod = static_cast<float>(v); break;
        case 1: out.perGate = static_cast<float>(v); break;
        case 2: out.minPatternSize = static_cast<int>(v); break;
        case 3: out.maxGap = static_cast<int>(v); break;
        default: out.flagThinPatterns = v != 0.0; break;
        }
        if (comma == text.size()) break;
        start = comma + 1;
        if (start == text.size()) {
            error = "continuity limits end with ','";
            return false;
        }
    }
    limits = out;
    return true;
}

std::string formatContinuityLimits(const ContinuityLimits& limits) {
    return formatText("period=%g,gate=%g,min=%d,gap=%d,thin=%d",
                      static_cast<double>(limits.perPeriod), static_cast<double>(limits.perGate),
                      limits.minPatternSize, limits.maxGap, limits.flagThinPatterns ? 1 : 0);
}

ContinuityResult checkContinuity(WindDay& day, const ContinuityLimits& limits,
                                 const WindDay* dayBefore, const WindDay* dayAfter) {
    ContinuityResult result;
    day.header.continuityChecked = true;

    std::vector<Column> columns;
    if (dayBefore != nullptr && dayBefore != &day && sameMode(day, *dayBefore)) {
        addColumns(columns, *dayBefore, -24 * 60, nullptr);
    }
    addColumns(columns, day, 0, &day);
    if (dayAfter != nullptr && dayAfter != &day && sameMode(day, *dayAfter)) {
        addColumns(columns, *dayAfter, 24 * 60, nullptr);
    }
    std::stable_sort(columns.begin(), columns.end(),
                     [](const Column& a, const Column& b) { return a.minutes < b.minutes; });

    std::uint32_t total = 0;
    for (Column& c : columns) {
        c.base = total;
        total += static_cast<std::uint32_t>(c.period->gates.size());
    }
    Patterns patterns(total);

    const double step = periodMinutes(day, columns);
    const int maxGap = std::max(1, limits.maxGap);
    // Gates of two periods are the same gate when their heights agree to a
    // quarter of the spacing (at least 1 m).
    const long double heightTolerance =
        std::max(1.0L, 0.25L * static_cast<long double>(day.header.gateSpacing));

    // Links. Each valid gate is tried against the valid gates above it and
    // in later periods, nearest first, up to maxGap away, until one links;
    // every gate notes whether it had a valid neighbour along time and
    // along height at all (for the thin-pattern check).
    std::vector<std::uint8_t> neighbours(total, 0);
    constexpr std::uint8_t kTimeNeighbour = 1;
    constexpr std::uint8_t kHeightNeighbour = 2;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::vector<WindGate>& gates = columns[c].period->gates;
        for (std::size_t g = 0; g < gates.size(); ++g) {
            const WindGate& here = gates[g];
            if (!takesPart(here)) continue;
            const std::uint32_t id = columns[c].base + static_cast<std::uint32_t>(g);
            int passed = 0;  // valid gates passed over that did not link
            for (std::size_t a = g + 1; a < gates.size() && a - g <= static_cast<std::size_t>(maxGap);
                 ++a) {
                if (!takesPart(gates[a])) continue;
                const std::uint32_t other = columns[c].base + static_cast<std::uint32_t>(a);
                neighbours[id] |= kHeightNeighbour;
                neighbours[other] |= kHeightNeighbour;
                const float scale = static_cast<float>(static_cast<int>(a - g) - passed);
                if (withinLimit(here, gates[a], limits.perGate * scale)) {
                    patterns.join(id, other);
                    break;
                }
                ++passed;
            }
            passed = 0;
            for (std::size_t n = c + 1; n < columns.size(); ++n) {
                const double periods = (columns[n].minutes - columns[c].minutes) / step;
                if (periods > maxGap + 1e-6) break;
                const std::vector<WindGate>& later = columns[n].period->gates;
                if (g >= later.size() || !takesPart(later[g]) ||
                    std::fabs(later[g].height - here.height) > heightTolerance) {
                    continue;
                }
                const std::uint32_t other = columns[n].base + static_cast<std::uint32_t>(g);
                neighbours[id] |= kTimeNeighbour;
                neighbours[other] |= kTimeNeighbour;
                const double scale = std::max(1.0, periods - passed);
                if (withinLimit(here, later[g], limits.perPeriod * static_cast<float>(scale))) {
                    patterns.join(id, other);
                    break;
                }
                ++passed;
            }
        }
    }

    // Thin patterns: the extent of each pattern in periods and gates, and
    // how many of its gates had a neighbour across it that did not link.
    struct Extent {
        std::uint32_t firstColumn = UINT32_MAX, lastColumn = 0;
        std::uint32_t lowestGate = UINT32_MAX, highestGate = 0;
        std::uint32_t timeNeighbours = 0, heightNeighbours = 0;
    };
    std::vector<Extent> extents;
    if (limits.flagThinPatterns) {
        extents.resize(total);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::vector<WindGate>& gates = columns[c].period->gates;
            for (std::size_t g = 0; g < gates.size(); ++g) {
                if (!takesPart(gates[g])) continue;
                const std::uint32_t id = columns[c].base + static_cast<std::uint32_t>(g);
                Extent& e = extents[patterns.root(id)];
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
    }
    auto failsThin = [&](std::uint32_t id, int size) {
        if (!limits.flagThinPatterns) return false;
        const Extent& e = extents[patterns.root(id)];
        const auto half = static_cast<std::uint32_t>(size);
        if (e.firstColumn == e.lastColumn && 2 * e.timeNeighbours >= half) return true;
        if (e.lowestGate == e.highestGate && 2 * e.heightNeighbours >= half) return true;
        return false;
    };

    // Flags, in the day's period order.
    std::vector<const Column*> own;
    for (const Column& c : columns) {
        if (c.own != nullptr) own.push_back(&c);
    }
    std::sort(own.begin(), own.end(),
              [](const Column* a, const Column* b) { return a->own < b->own; });
    for (const Column* c : own) {
        std::vector<WindGate>& gates = c->own->gates;
        for (std::size_t g = 0; g < gates.size(); ++g) {
            WindGate& gate = gates[g];
            if (!takesPart(gate)) continue;
            ++result.checkedGates;
            const std::uint32_t id = c->base + static_cast<std::uint32_t>(g);
            const int size = patterns.sizeOf(id);
            if (size >= limits.minPatternSize && !failsThin(id, size)) continue;
            FlaggedGate f;
            f.mode = day.header.variant;
            std::memcpy(f.periodKey, c->own->key, sizeof f.periodKey);
            f.periodKey[4] = '\0';
            f.gateIndex = static_cast<int>(g);
            f.height = gate.height;
            f.speed = gate.speed;
            f.direction = gate.direction;
            f.u = gate.u;
            f.v = gate.v;
            f.patternSize = size;
            result.flagged.push_back(f);
            flagGate(gate);
        }
    }
    return result;
}

ContinuityResult checkContinuity(DayProducts& day, const ContinuityLimits& limits,
                                 const DayProducts* dayBefore, const DayProducts* dayAfter) {
    auto find = [](const DayProducts* products, std::int16_t variant) -> const WindDay* {
        if (products == nullptr) return nullptr;
        for (const WindDay& w : products->winds) {
            if (w.header.variant == variant) return &w;
        }
        return nullptr;
    };
    ContinuityResult all;
    for (WindDay& w : day.winds) {
        ContinuityResult r = checkContinuity(w, limits, find(dayBefore, w.header.variant),
                                             find(dayAfter, w.header.variant));
        all.checkedGates += r.checkedGates;
        all.flagged.insert(all.flagged.end(), r.flagged.begin(), r.flagged.end());
    }
    return all;
}

std::string continuityReportText(const DayHeader& header, const std::vector<FlaggedGate>& flagged) {
    std::string text =
        "date,mode,period,gate,height_m_msl,speed_m_s,direction_deg,u_m_s,v_m_s,pattern_size\n";
    for (const FlaggedGate& f : flagged) {
        appendText(text, "%04u-%02u-%02u,%d,%.4s,%d,%.1f,%.2f,%d,%.2f,%.2f,%d\n",
                   static_cast<unsigned>(header.day.year), static_cast<unsigned>(header.day.month),
                   static_cast<unsigned>(header.day.day), static_cast<int>(f.mode), f.periodKey,
                   f.gateIndex, static_cast<double>(f.height), static_cast<double>(f.speed),
                   static_cast<int>(f.direction), static_cast<double>(f.u),
                   static_cast<double>(f.v), f.patternSize);
    }
    return text;
}

}  // namespace qv
