#include "qc/time_height.h"

#include <algorithm>
#include <cmath>

namespace qv::qc {
namespace {

bool sameMode(const WindDay& a, const WindDay& b) {
    return a.header.variant == b.header.variant &&
           a.header.averagingMinutes == b.header.averagingMinutes;
}

void addColumns(std::vector<Column>& columns, const WindDay& day, int offsetMinutes, WindDay* own) {
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

}  // namespace

bool takesPart(const WindGate& g) {
    return g.qcCode == kQcValidCode && std::isfinite(g.u) && std::isfinite(g.v) &&
           !isDataCode(g.u) && !isDataCode(g.v);
}

TimeHeightField::TimeHeightField(WindDay& day, const WindDay* before, const WindDay* after) {
    if (before != nullptr && before != &day && sameMode(day, *before)) {
        addColumns(columns_, *before, -24 * 60, nullptr);
    }
    addColumns(columns_, day, 0, &day);
    if (after != nullptr && after != &day && sameMode(day, *after)) {
        addColumns(columns_, *after, 24 * 60, nullptr);
    }
    std::stable_sort(columns_.begin(), columns_.end(),
                     [](const Column& a, const Column& b) { return a.minutes < b.minutes; });

    std::uint32_t total = 0;
    for (Column& c : columns_) {
        c.base = total;
        total += static_cast<std::uint32_t>(c.period->gates.size());
    }
    valid_.assign(total, 0);
    u_.assign(total, 0.0f);
    v_.assign(total, 0.0f);
    snr_.assign(total, 0.0f);
    for (const Column& c : columns_) {
        for (std::size_t g = 0; g < c.period->gates.size(); ++g) {
            const WindGate& gate = c.period->gates[g];
            if (!takesPart(gate)) continue;
            valid_[c.base + g] = 1;
            u_[c.base + g] = gate.u;
            v_[c.base + g] = gate.v;
            snr_[c.base + g] = static_cast<float>(std::min(gate.snrU, gate.snrV));
        }
    }
    step_ = periodMinutes(day, columns_);
    heightTolerance_ = std::max(1.0L, 0.25L * static_cast<long double>(day.header.gateSpacing));
}

bool TimeHeightField::sameHeight(std::size_t a, std::size_t b, std::size_t g) const {
    const std::vector<WindGate>& x = columns_[a].period->gates;
    const std::vector<WindGate>& y = columns_[b].period->gates;
    return g < x.size() && g < y.size() && std::fabs(x[g].height - y[g].height) <= heightTolerance_;
}

bool TimeHeightField::sameGates(std::size_t a, std::size_t b) const {
    const std::size_t common = std::min(gateCount(a), gateCount(b));
    return common > 0 && sameHeight(a, b, 0) && sameHeight(a, b, common - 1);
}

}  // namespace qv::qc
