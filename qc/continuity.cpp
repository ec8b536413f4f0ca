#include "qc/continuity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/text.h"
#include "qc/local_test.h"
#include "qc/pattern_test.h"
#include "qc/time_height.h"

namespace qv {
namespace {

// One key of the limits text: its name, its range, and what it sets.
struct LimitKey {
    const char* name;
    double lo, hi;
    bool integer;
    bool aboveLo;      // the value must exceed lo
    const char* unit;  // in the error message
    void (*set)(ContinuityLimits&, double);
};

float single(double v) { return static_cast<float>(v); }
int whole(double v) { return static_cast<int>(v); }  // an integer in range, read as such

constexpr LimitKey kLimitKeys[] = {
    {"period", 0.0, 1000.0, false, true, "m/s per period, above 0",
     [](ContinuityLimits& l, double v) { l.perPeriod = single(v); }},
    {"gate", 0.0, 1000.0, false, true, "m/s per gate, above 0",
     [](ContinuityLimits& l, double v) { l.perGate = single(v); }},
    {"min", 1.0, 100000.0, true, false, "gates, 1 to 100000",
     [](ContinuityLimits& l, double v) { l.minPatternSize = whole(v); }},
    {"gap", 1.0, 100.0, true, false, "1 to 100",
     [](ContinuityLimits& l, double v) { l.maxGap = whole(v); }},
    {"thin", 0.0, 1.0, true, false, "0 or 1",
     [](ContinuityLimits& l, double v) { l.flagThinPatterns = v != 0.0; }},
    {"pattern", 0.0, 1.0, true, false, "0 or 1",
     [](ContinuityLimits& l, double v) { l.patternTest = v != 0.0; }},
    {"local", 0.0, 1.0, true, false, "0 or 1",
     [](ContinuityLimits& l, double v) { l.localTest = v != 0.0; }},
    {"tspan", 0.0, 10.0, true, false, "periods, 0 to 10",
     [](ContinuityLimits& l, double v) { l.spanPeriods = whole(v); }},
    {"zspan", 0.0, 10.0, true, false, "gates, 0 to 10",
     [](ContinuityLimits& l, double v) { l.spanGates = whole(v); }},
    {"neighbours", 1.0, 200.0, true, false, "gates, 1 to 200",
     [](ContinuityLimits& l, double v) { l.minNeighbours = whole(v); }},
    {"depart", 0.0, 1000.0, false, true, "m/s, above 0",
     [](ContinuityLimits& l, double v) { l.departure = single(v); }},
    {"spread", 0.0, 100.0, false, false, "0 to 100",
     [](ContinuityLimits& l, double v) { l.spreadFactor = single(v); }},
    {"weak", -50.0, 50.0, false, false, "dB, -50 to 50",
     [](ContinuityLimits& l, double v) { l.weakSnr = single(v); }},
    {"plane", 0.0, 1.0, true, false, "0 or 1",
     [](ContinuityLimits& l, double v) { l.plane = v != 0.0; }},
};
constexpr int kKeyCount = static_cast<int>(sizeof kLimitKeys / sizeof kLimitKeys[0]);

// Plain decimal notation only: no blank, hexadecimal or exponent, and a
// sign (a leading minus) only where negative values are allowed.
bool parseDecimal(std::string_view text, double lo, double hi, double& out) {
    if (text.empty() || text.size() > 32) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        const bool sign = i == 0 && ch == '-' && lo < 0.0 && text.size() > 1;
        if ((ch < '0' || ch > '9') && ch != '.' && !sign) return false;
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

bool parseValue(const LimitKey& key, std::string_view text, double& v) {
    if (!parseDecimal(text, key.lo, key.hi, v)) return false;
    if (key.integer && v != std::floor(v)) return false;
    return !(key.aboveLo && !(v > key.lo));
}

void flagGate(WindGate& g) {
    g.qcCode = kQcInvalidCode;
    g.speed = kFailedQcCode;
    g.direction = static_cast<std::int32_t>(kFailedQcCode);
    g.u = kFailedQcCode;
    g.v = kFailedQcCode;
}

// The record of a gate about to be flagged, with its values as they are.
FlaggedGate flaggedGate(const WindDay& day, const qc::Column& column, std::size_t g,
                        unsigned failed, int patternSize, const qc::LocalEstimate& local) {
    const WindGate& gate = column.own->gates[g];
    FlaggedGate f;
    f.mode = day.header.variant;
    std::memcpy(f.periodKey, column.own->key, sizeof f.periodKey);
    f.periodKey[4] = '\0';
    f.gateIndex = static_cast<int>(g);
    f.height = gate.height;
    f.speed = gate.speed;
    f.direction = gate.direction;
    f.u = gate.u;
    f.v = gate.v;
    f.failed = failed;
    f.patternSize = patternSize;
    f.estimated = local.known;
    f.medianU = local.u;
    f.medianV = local.v;
    f.departure = local.departure;
    f.limit = local.limit;
    f.neighbours = local.neighbours;
    return f;
}

}  // namespace

bool parseContinuityLimits(std::string_view text, ContinuityLimits& limits, std::string& error) {
    ContinuityLimits out = limits;
    bool seen[kKeyCount] = {};
    if (text.empty()) {
        error = "empty continuity limits (expected e.g. depart=3,period=3,gate=3)";
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
        int k = 0;
        while (k < kKeyCount && key != kLimitKeys[k].name) ++k;
        if (k == kKeyCount) {
            error = "unknown continuity limit '" + std::string(key) +
                    "' (keys: local, tspan, zspan, neighbours, depart, spread, weak, plane, "
                    "pattern, period, gate, min, gap, thin)";
            return false;
        }
        if (seen[k]) {
            error = "continuity limit '" + std::string(key) + "' given twice";
            return false;
        }
        seen[k] = true;
        double v = 0.0;
        if (!parseValue(kLimitKeys[k], item.substr(eq + 1), v)) {
            error = "invalid continuity limit " + std::string(item) + " (" + kLimitKeys[k].unit + ")";
            return false;
        }
        kLimitKeys[k].set(out, v);
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

std::string formatContinuityLimits(const ContinuityLimits& l) {
    return formatText(
        "local=%d,tspan=%d,zspan=%d,neighbours=%d,depart=%g,spread=%g,weak=%g,plane=%d,"
        "pattern=%d,period=%g,gate=%g,min=%d,gap=%d,thin=%d",
        l.localTest ? 1 : 0, l.spanPeriods, l.spanGates, l.minNeighbours,
        static_cast<double>(l.departure), static_cast<double>(l.spreadFactor),
        static_cast<double>(l.weakSnr), l.plane ? 1 : 0,
        l.patternTest ? 1 : 0, static_cast<double>(l.perPeriod), static_cast<double>(l.perGate),
        l.minPatternSize, l.maxGap, l.flagThinPatterns ? 1 : 0);
}

ContinuityResult checkContinuity(WindDay& day, const ContinuityLimits& limits,
                                 const WindDay* dayBefore, const WindDay* dayAfter) {
    ContinuityResult result;
    day.header.continuityChecked = true;
    const qc::TimeHeightField field(day, dayBefore, dayAfter);
    // Both tests see the winds as they were; the flags come after.
    qc::LocalFailures local;
    if (limits.localTest) local = qc::localTest(field, limits);
    qc::PatternVerdicts pattern;
    if (limits.patternTest) pattern = qc::patternTest(field, limits);

    // In the day's period order.
    std::vector<std::size_t> own;
    for (std::size_t c = 0; c < field.columns().size(); ++c) {
        if (field.columns()[c].own != nullptr) own.push_back(c);
    }
    std::sort(own.begin(), own.end(), [&field](std::size_t a, std::size_t b) {
        return field.columns()[a].own < field.columns()[b].own;
    });
    // The field holds the winds as they were: a gate flagged here does not
    // change the estimates of the gates after it.
    qc::LocalScratch scratch;
    for (const std::size_t c : own) {
        const qc::Column& column = field.columns()[c];
        for (std::size_t g = 0; g < column.own->gates.size(); ++g) {
            const std::uint32_t id = field.id(c, g);
            if (!field.valid(id)) continue;
            ++result.checkedGates;
            const qc::LocalEstimate* failedLocal = local.find(id);
            unsigned failed = failedLocal != nullptr ? kFailedLocalTest : 0;
            if (limits.patternTest && pattern.fails[id] != 0) failed |= kFailedPatternTest;
            if (failed == 0) continue;
            const qc::LocalEstimate estimate =
                failedLocal != nullptr ? *failedLocal : qc::localEstimate(field, limits, c, g, scratch);
            result.flagged.push_back(flaggedGate(day, column, g, failed,
                                                 limits.patternTest ? pattern.size[id] : 0,
                                                 estimate));
            flagGate(column.own->gates[g]);
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

namespace {

const char* testName(unsigned failed) {
    if (failed == (kFailedLocalTest | kFailedPatternTest)) return "local+pattern";
    return failed == kFailedLocalTest ? "local" : "pattern";
}

}  // namespace

std::string continuityReportText(const DayHeader& header, const std::vector<FlaggedGate>& flagged) {
    std::string text =
        "date,mode,period,gate,height_m_msl,speed_m_s,direction_deg,u_m_s,v_m_s,pattern_size,"
        "test,median_u_m_s,median_v_m_s,departure_m_s,limit_m_s,neighbours\n";
    for (const FlaggedGate& f : flagged) {
        appendText(text, "%04u-%02u-%02u,%d,%.4s,%d,%.1f,%.2f,%d,%.2f,%.2f,",
                   static_cast<unsigned>(header.day.year), static_cast<unsigned>(header.day.month),
                   static_cast<unsigned>(header.day.day), static_cast<int>(f.mode), f.periodKey,
                   f.gateIndex, static_cast<double>(f.height), static_cast<double>(f.speed),
                   static_cast<int>(f.direction), static_cast<double>(f.u),
                   static_cast<double>(f.v));
        if (f.patternSize > 0) appendText(text, "%d", f.patternSize);
        appendText(text, ",%s,", testName(f.failed));
        if (f.estimated) {
            appendText(text, "%.2f,%.2f,%.2f,%.2f", static_cast<double>(f.medianU),
                       static_cast<double>(f.medianV), static_cast<double>(f.departure),
                       static_cast<double>(f.limit));
        } else {
            text += ",,,";
        }
        appendText(text, ",%d\n", f.neighbours);
    }
    return text;
}

}  // namespace qv
