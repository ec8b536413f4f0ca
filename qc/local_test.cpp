#include "qc/local_test.h"

#include <algorithm>
#include <cmath>

namespace qv::qc {
namespace {

// The interquartile range of a normal scatter in units of its spread.
constexpr float kQuartileRange = 1.3489795f;

// The columns whose gates are neighbours of column c's: those up to
// spanPeriods periods away whose gates lie at the same heights (c too).
std::vector<std::size_t> neighbourColumns(const TimeHeightField& f, std::size_t c, int span) {
    std::vector<std::size_t> out;
    const std::size_t n = f.columns().size();
    std::size_t first = c;
    while (first > 0 && f.periodsBetween(first - 1, c) <= span + 1e-6) --first;
    for (std::size_t k = first; k < n && f.periodsBetween(c, k) <= span + 1e-6; ++k) {
        if (k == c || f.sameGates(c, k)) out.push_back(k);
    }
    return out;
}

// Sorts the first n values of x: by insertion (a neighbourhood holds a few
// dozen values at most, where that is quickest), else std::sort.
void sortFirst(std::vector<float>& x, std::size_t n) {
    if (n > 64) {
        std::sort(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
        return;
    }
    for (std::size_t i = 1; i < n; ++i) {
        const float value = x[i];
        std::size_t j = i;
        for (; j > 0 && x[j - 1] > value; --j) x[j] = x[j - 1];
        x[j] = value;
    }
}

// The median and the quartiles (the values of rank round(n/4 - 1/4) and
// round(3n/4 - 3/4)) of the first n values of x (n > 0), sorted in `work`.
struct Order {
    float median = 0.0f;
    float lower = 0.0f;
    float upper = 0.0f;
};

Order order(const std::vector<float>& x, std::size_t n, std::vector<float>& work) {
    if (work.size() < n) work.resize(n);
    std::copy(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n), work.begin());
    sortFirst(work, n);
    Order o;
    o.median = n % 2 == 1 ? work[n / 2] : 0.5f * (work[n / 2 - 1] + work[n / 2]);
    const float last = static_cast<float>(n - 1);
    o.lower = work[static_cast<std::size_t>(std::lround(0.25f * last))];
    o.upper = work[static_cast<std::size_t>(std::lround(0.75f * last))];
    return o;
}

// The median of the first m values of x (m > 0), reordering them.
float medianInPlace(std::vector<float>& x, std::size_t m) {
    sortFirst(x, m);
    return m % 2 == 1 ? x[m / 2] : 0.5f * (x[m / 2 - 1] + x[m / 2]);
}

// The valid gates around gate g of column c (itself left out) into the
// scratch, with their offsets from it in periods and gates; their number.
std::size_t gather(const TimeHeightField& f, const ContinuityLimits& limits, std::size_t c,
                   std::size_t g, const std::vector<std::size_t>& columns, LocalScratch& s) {
    const std::size_t span = static_cast<std::size_t>(std::max(0, limits.spanGates));
    const std::size_t most = columns.size() * (2 * span + 1);
    if (s.u.size() < most) {
        for (std::vector<float>* x : {&s.u, &s.v, &s.dt, &s.dz, &s.ru, &s.rv}) x->resize(most);
    }
    std::size_t n = 0;
    for (const std::size_t k : columns) {
        const std::size_t lo = g > span ? g - span : 0;
        const std::size_t hi = std::min(f.gateCount(k), g + span + 1);
        const float dt = static_cast<float>(f.periodsBetween(c, k));
        for (std::size_t a = lo; a < hi; ++a) {
            const std::uint32_t id = f.id(k, a);
            if (!f.valid(id) || (k == c && a == g)) continue;
            s.u[n] = f.u(id);
            s.v[n] = f.v(id);
            s.dt[n] = dt;
            s.dz[n] = static_cast<float>(a) - static_cast<float>(g);
            ++n;
        }
    }
    return n;
}

// The valid neighbours of a gate, and how many of them lie within a
// distance of it in u and in v.
struct Screen {
    std::size_t neighbours = 0;
    std::size_t nearU = 0;
    std::size_t nearV = 0;
};

// Counts the valid gates around gate g of column c (itself left out) and
// those within `near` of its u and of its v, straight from the field.
Screen screen(const TimeHeightField& f, const ContinuityLimits& limits, std::size_t c,
              std::size_t g, const std::vector<std::size_t>& columns, float near) {
    const std::size_t span = static_cast<std::size_t>(std::max(0, limits.spanGates));
    const std::uint8_t* valid = f.validData();
    const float* us = f.uData();
    const float* vs = f.vData();
    const std::uint32_t self = f.id(c, g);
    const float u = us[self], v = vs[self];
    std::size_t n = 0, nearU = 0, nearV = 0;
    for (const std::size_t k : columns) {
        const std::size_t lo = g > span ? g - span : 0;
        const std::size_t hi = std::min(f.gateCount(k), g + span + 1);
        const std::uint32_t base = f.id(k, 0);
        for (std::size_t a = base + lo; a < base + hi; ++a) {
            const std::size_t in = valid[a];
            n += in;
            nearU += in & static_cast<std::size_t>(std::fabs(us[a] - u) <= near);
            nearV += in & static_cast<std::size_t>(std::fabs(vs[a] - v) <= near);
        }
    }
    // The gate itself was counted, within any distance of itself.
    return Screen{n - 1, nearU - 1, nearV - 1};
}

// True when more than half of the neighbours lie within limit / sqrt 2 of
// the wind in u and more than half in v: then both medians do, the
// departure from them is within the limit, and the wind passes.
bool surelyPasses(const Screen& s) {
    return 2 * s.nearU > s.neighbours && 2 * s.nearV > s.neighbours;
}

// True when the neighbours lie mostly on one side of the gate, in height or
// in time: their mean offset is more than half a gate (half a period).
bool lopsided(const LocalScratch& s, std::size_t n) {
    float z = 0.0f, t = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        z += s.dz[i];
        t += s.dt[i];
    }
    const float half = 0.5f * static_cast<float>(n);
    return std::fabs(z) > half || std::fabs(t) > half;
}

// The median of the first n values of x (n > 0), using `work`.
float median(const std::vector<float>& x, std::size_t n, std::vector<float>& work) {
    if (work.size() < n) work.resize(n);
    std::copy(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n), work.begin());
    return medianInPlace(work, n);
}

// The estimate from the neighbours' values x, y (moved to the wind's place
// along the estimate's slopes): their medians, the wind's departure from
// them, and the limit there: `departure` at a weak gate, else at least the
// spread factor times the neighbours' spread (per component their
// interquartile range over 1.349, that of a normal scatter).
LocalEstimate judge(float u, float v, float snr, const ContinuityLimits& limits,
                    const std::vector<float>& x, const std::vector<float>& y, LocalScratch& s,
                    std::size_t n) {
    LocalEstimate e;
    e.neighbours = static_cast<int>(n);
    e.known = true;
    e.limit = limits.departure;
    if (snr <= limits.weakSnr) {
        e.u = median(x, n, s.work);
        e.v = median(y, n, s.work);
    } else {
        const Order ou = order(x, n, s.work);
        const Order ov = order(y, n, s.work);
        e.u = ou.median;
        e.v = ov.median;
        const float su = (ou.upper - ou.lower) / kQuartileRange;
        const float sv = (ov.upper - ov.lower) / kQuartileRange;
        const float spread = std::sqrt(0.5f * (su * su + sv * sv));
        e.limit = std::max(limits.departure, limits.spreadFactor * spread);
    }
    e.departure = std::hypot(u - e.u, v - e.v);
    e.fails = e.departure > e.limit;
    return e;
}

// Robust slopes of u and v: the medians of the slopes between pairs of
// neighbours in one period (per gate) and at one gate (per period); 0
// without such pairs.
struct Slopes {
    float uz = 0.0f, vz = 0.0f, ut = 0.0f, vt = 0.0f;
};

Slopes medianSlopes(LocalScratch& s, std::size_t n) {
    std::vector<float>* pairs[4] = {&s.ru, &s.rv, &s.su, &s.sv};
    std::size_t height = 0, time = 0;
    const std::size_t most = n * (n - 1) / 2;
    for (std::vector<float>* p : pairs) {
        if (p->size() < most) p->resize(most);
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            if (s.dt[i] == s.dt[j] && s.dz[i] != s.dz[j]) {
                const float step = s.dz[j] - s.dz[i];
                s.ru[height] = (s.u[j] - s.u[i]) / step;
                s.rv[height++] = (s.v[j] - s.v[i]) / step;
            } else if (s.dz[i] == s.dz[j] && s.dt[i] != s.dt[j]) {
                const float step = s.dt[j] - s.dt[i];
                s.su[time] = (s.u[j] - s.u[i]) / step;
                s.sv[time++] = (s.v[j] - s.v[i]) / step;
            }
        }
    }
    Slopes out;
    if (height > 0) {
        out.uz = medianInPlace(s.ru, height);
        out.vz = medianInPlace(s.rv, height);
    }
    if (time > 0) {
        out.ut = medianInPlace(s.su, time);
        out.vt = medianInPlace(s.sv, time);
    }
    return out;
}

// The estimate from a plane through the neighbours: robust slopes along
// height and time, then the median of the neighbours moved along them to
// the wind's place.
LocalEstimate planeEstimate(float u, float v, float snr, const ContinuityLimits& limits,
                            LocalScratch& s, std::size_t n) {
    const Slopes slopes = medianSlopes(s, n);
    for (std::size_t i = 0; i < n; ++i) {
        s.ru[i] = s.u[i] - slopes.uz * s.dz[i] - slopes.ut * s.dt[i];
        s.rv[i] = s.v[i] - slopes.vz * s.dz[i] - slopes.vt * s.dt[i];
    }
    return judge(u, v, snr, limits, s.ru, s.rv, s, n);
}

// The estimate from the n gathered neighbours: their median, or where the
// wind departs from it and they lie mostly on one side, the plane through
// them when the wind fits that.
LocalEstimate estimate(float u, float v, float snr, const ContinuityLimits& limits,
                       LocalScratch& s, std::size_t n) {
    if (n == 0 || static_cast<int>(n) < limits.minNeighbours) {
        LocalEstimate none;
        none.neighbours = static_cast<int>(n);
        return none;
    }
    const LocalEstimate e = judge(u, v, snr, limits, s.u, s.v, s, n);
    if (!e.fails || !limits.plane || !lopsided(s, n)) return e;
    const LocalEstimate p = planeEstimate(u, v, snr, limits, s, n);
    return p.fails ? e : p;
}

}  // namespace

LocalEstimate localEstimate(const TimeHeightField& f, const ContinuityLimits& limits,
                            std::size_t column, std::size_t gate, LocalScratch& scratch) {
    const std::vector<std::size_t> columns = neighbourColumns(f, column, limits.spanPeriods);
    const std::size_t n = gather(f, limits, column, gate, columns, scratch);
    const std::uint32_t id = f.id(column, gate);
    return estimate(f.u(id), f.v(id), f.snr(id), limits, scratch, n);
}

const LocalEstimate* LocalFailures::find(std::uint32_t id) const {
    const auto it = std::lower_bound(ids.begin(), ids.end(), id);
    if (it == ids.end() || *it != id) return nullptr;
    return &estimates[static_cast<std::size_t>(it - ids.begin())];
}

LocalFailures localTest(const TimeHeightField& f, const ContinuityLimits& limits) {
    LocalFailures out;
    LocalScratch scratch;
    const float near = limits.departure * 0.70710678f;
    for (std::size_t c = 0; c < f.columns().size(); ++c) {
        if (f.columns()[c].own == nullptr) continue;
        const std::vector<std::size_t> columns = neighbourColumns(f, c, limits.spanPeriods);
        for (std::size_t g = 0; g < f.gateCount(c); ++g) {
            const std::uint32_t id = f.id(c, g);
            if (!f.valid(id)) continue;
            const Screen counted = screen(f, limits, c, g, columns, near);
            if (static_cast<int>(counted.neighbours) < limits.minNeighbours) continue;
            if (surelyPasses(counted)) continue;
            const std::size_t n = gather(f, limits, c, g, columns, scratch);
            const LocalEstimate e = estimate(f.u(id), f.v(id), f.snr(id), limits, scratch, n);
            if (!e.fails) continue;
            out.ids.push_back(id);
            out.estimates.push_back(e);
        }
    }
    return out;
}

}  // namespace qv::qc
