// Measurement of the continuity check against a known atmosphere: consensus
// wind files of generated days read back (a minimal reading of the gate
// lines, enough for files the batch tool wrote), the generator's truth
// tables, and the figures of the valid gates with and without the check.
// Shared by the quality-control tests and bench/qc_bench.cpp.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "products/day_product.h"
#include "qc/continuity.h"

namespace qv::qctest {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
inline long daysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153L * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The truth tables of the generator (time,height_m_msl,u,v,w,tv_c), on their
// grid of minutes and heights, interpolated linearly in time and height.
class WindTruth {
public:
    bool load(const std::filesystem::path& file) {
        std::ifstream in(file);
        if (!in) return false;
        std::string line;
        while (std::getline(in, line)) {
            int y, mo, d, h, mi, s;
            double height, u, v, w, tv;
            if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d,%lf,%lf,%lf,%lf,%lf", &y, &mo, &d, &h,
                            &mi, &s, &height, &u, &v, &w, &tv) != 11) {
                continue;  // the heading line
            }
            const long minute = daysFromCivil(y, mo, d) * 1440 + h * 60 + mi;
            grid_[minute][height] = {u, v};
        }
        return true;
    }

    // Every *_truth.csv of a folder.
    bool loadFolder(const std::filesystem::path& dir) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 10 && name.compare(name.size() - 10, 10, "_truth.csv") == 0 &&
                !load(entry.path())) {
                return false;
            }
        }
        return !grid_.empty();
    }

    struct UV {
        double u = 0.0, v = 0.0;
    };

    // At a time (minutes since 1970, fractions allowed) and height (m msl).
    std::optional<UV> at(double minute, double height) const {
        auto hi = grid_.lower_bound(static_cast<long>(std::ceil(minute)));
        if (hi == grid_.end()) return std::nullopt;
        if (static_cast<double>(hi->first) == minute) return atHeight(hi->second, height);
        if (hi == grid_.begin()) return std::nullopt;
        auto lo = std::prev(hi);
        const auto a = atHeight(lo->second, height);
        const auto b = atHeight(hi->second, height);
        if (!a || !b) return std::nullopt;
        const double f = (minute - lo->first) / static_cast<double>(hi->first - lo->first);
        return UV{a->u + (b->u - a->u) * f, a->v + (b->v - a->v) * f};
    }

private:
    static std::optional<UV> atHeight(const std::map<double, UV>& column, double height) {
        auto hi = column.lower_bound(height);
        if (hi == column.end()) return std::nullopt;
        if (hi->first == height) return hi->second;
        if (hi == column.begin()) return std::nullopt;
        auto lo = std::prev(hi);
        const double f = (height - lo->first) / (hi->first - lo->first);
        return UV{lo->second.u + (hi->second.u - lo->second.u) * f,
                  lo->second.v + (hi->second.v - lo->second.v) * f};
    }

    std::map<long, std::map<double, UV>> grid_;
};

// A wind consensus file as the batch tool writes it: the header's date,
// averaging period and spacing, the mode digit of the file name, the period
// blocks and their gate lines (QC code, height, speed, direction, u, v, w,
// counts and SNRs). Empty periods when the file cannot be read.
inline std::optional<WindDay> readWindFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    WindDay day;
    day.header.fileKind = OutputKind::Winds;
    const std::string name = path.filename().string();
    const std::size_t dot = name.rfind(".w");
    if (dot == std::string::npos || dot + 2 >= name.size()) return std::nullopt;
    day.header.variant = static_cast<std::int16_t>(std::atoi(name.c_str() + dot + 2));
    day.header.stationName = name.substr(0, 3);
    std::size_t i = 0;
    int month = 0, dayOfMonth = 0, year = 0;
    for (; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        std::sscanf(l.c_str(), "Date: %d/%d/%d", &month, &dayOfMonth, &year);
        std::sscanf(l.c_str(), "Avg. Int. (min): %d", &day.header.averagingMinutes);
        const std::size_t s = l.find("Spacing (m):");
        if (s != std::string::npos) day.header.gateSpacing = std::strtof(l.c_str() + s + 12, nullptr);
        if (l.rfind("Code (m msl)", 0) == 0) {
            ++i;
            break;
        }
    }
    day.header.day.year = static_cast<std::uint16_t>(year + (year < 70 ? 2000 : 1900));
    day.header.day.month = static_cast<std::uint16_t>(month);
    day.header.day.day = static_cast<std::uint16_t>(dayOfMonth);
    while (i < lines.size()) {
        char key[5] = {};
        int count = 0;
        if (std::sscanf(lines[i].c_str(), "%4[0-9] %d", key, &count) != 2 || count < 0) break;
        ++i;
        WindPeriod period;
        std::memcpy(period.key, key, 4);
        for (int g = 0; g < count && i < lines.size(); ++g, ++i) {
            int qc = 0, direction = 0;
            double height = 0;
            float speed = 0, u = 0, v = 0, w = 0;
            unsigned cu = 0, cv = 0, cw = 0;
            int su = 0, sv = 0, sw = 0;
            if (std::sscanf(lines[i].c_str(), "%d %lf %f %d. %f %f %f %u %u %u %d %d %d", &qc,
                            &height, &speed, &direction, &u, &v, &w, &cu, &cv, &cw, &su, &sv,
                            &sw) != 13) {
                return std::nullopt;
            }
            WindGate gate;
            gate.qcCode = static_cast<std::int16_t>(qc);
            gate.height = height;
            gate.speed = speed;
            gate.direction = direction;
            gate.u = u;
            gate.v = v;
            gate.w = w;
            gate.countU = cu;
            gate.countV = cv;
            gate.countW = cw;
            gate.snrU = su;
            gate.snrV = sv;
            gate.snrW = sw;
            period.gates.push_back(gate);
        }
        day.periods.push_back(std::move(period));
    }
    return day;
}

// The wind files (".w<digit>a") of a folder, in date order (their names are
// <stn><yy><ddd>).
inline std::vector<WindDay> readWindFolder(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string ext = entry.path().extension().string();
        if (ext.size() >= 3 && ext[1] == 'w') files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<WindDay> days;
    for (const auto& f : files) {
        if (auto d = readWindFile(f)) days.push_back(std::move(*d));
    }
    return days;
}

inline long dayNumber(const WindDay& d) {
    return daysFromCivil(d.header.day.year, d.header.day.month, d.header.day.day);
}

// The checked copies of a run's days, each with the unchecked days before and
// after it when they are the same mode's consecutive days.
inline std::vector<WindDay> checkRun(const std::vector<WindDay>& days,
                                     const ContinuityLimits& limits, int* flagged = nullptr) {
    std::vector<WindDay> out = days;
    int total = 0;
    for (std::size_t i = 0; i < days.size(); ++i) {
        const WindDay* before = nullptr;
        const WindDay* after = nullptr;
        for (const WindDay& d : days) {
            if (d.header.variant != days[i].header.variant) continue;
            if (dayNumber(d) == dayNumber(days[i]) - 1) before = &d;
            if (dayNumber(d) == dayNumber(days[i]) + 1) after = &d;
        }
        total += static_cast<int>(checkContinuity(out[i], limits, before, after).flagged.size());
    }
    if (flagged != nullptr) *flagged = total;
    return out;
}

// Figures of a run's valid gates against the truth (at the period's middle
// time and the gate's height): errors are vector differences of (u, v).
struct QcFigures {
    int valid = 0;         // valid gates without the check (inside the truth)
    int bad = 0;           // ... of them more than 3 m/s from the truth
    int good = 0;          // ... of them within 1 m/s
    int validAfter = 0;    // valid gates after the check
    int badAfter = 0;      // ... more than 3 m/s from the truth
    int goodKept = 0;      // gates within 1 m/s that stay valid
    double rmsU = 0.0, rmsV = 0.0;            // without the check
    double rmsUAfter = 0.0, rmsVAfter = 0.0;  // with it

    double badFraction() const { return valid > 0 ? double(bad) / valid : 0.0; }
    double badFractionAfter() const { return validAfter > 0 ? double(badAfter) / validAfter : 0.0; }
    double goodKeptFraction() const { return good > 0 ? double(goodKept) / good : 1.0; }
    std::string text() const {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer,
                      "valid gates %d -> %d; > 3 m/s off truth %d (%.2f %%) -> %d (%.2f %%); "
                      "within 1 m/s kept %d of %d (%.2f %%); RMS u %.3f -> %.3f, v %.3f -> %.3f "
                      "m/s",
                      valid, validAfter, bad, 100.0 * badFraction(), badAfter,
                      100.0 * badFractionAfter(), goodKept, good, 100.0 * goodKeptFraction(), rmsU,
                      rmsUAfter, rmsV, rmsVAfter);
        return buffer;
    }
};

inline QcFigures measureAgainstTruth(const std::vector<WindDay>& before,
                                     const std::vector<WindDay>& after, const WindTruth& truth) {
    QcFigures f;
    double su = 0, sv = 0, suA = 0, svA = 0;
    for (std::size_t d = 0; d < before.size() && d < after.size(); ++d) {
        const double dayMinute = static_cast<double>(dayNumber(before[d])) * 1440.0;
        const double half = before[d].header.averagingMinutes / 2.0;
        for (std::size_t p = 0; p < before[d].periods.size(); ++p) {
            const WindPeriod& period = before[d].periods[p];
            const double mid = dayMinute + periodKeyMinutes(period.key) + half;
            for (std::size_t g = 0; g < period.gates.size(); ++g) {
                const WindGate& gate = period.gates[g];
                if (gate.qcCode != kQcValidCode) continue;
                const auto t = truth.at(mid, static_cast<double>(gate.height));
                if (!t) continue;
                const double du = gate.u - t->u, dv = gate.v - t->v;
                const double e = std::sqrt(du * du + dv * dv);
                ++f.valid;
                su += du * du;
                sv += dv * dv;
                if (e > 3.0) ++f.bad;
                if (e <= 1.0) ++f.good;
                const WindGate& checked = after[d].periods[p].gates[g];
                if (checked.qcCode != kQcValidCode) continue;
                ++f.validAfter;
                suA += du * du;
                svA += dv * dv;
                if (e > 3.0) ++f.badAfter;
                if (e <= 1.0) ++f.goodKept;
            }
        }
    }
    if (f.valid > 0) f.rmsU = std::sqrt(su / f.valid), f.rmsV = std::sqrt(sv / f.valid);
    if (f.validAfter > 0) {
        f.rmsUAfter = std::sqrt(suA / f.validAfter);
        f.rmsVAfter = std::sqrt(svA / f.validAfter);
    }
    return f;
}

// Runs a command line; its exit status (-1 when it could not run).
inline int runCommand(const std::string& command) {
    const int rc = std::system(command.c_str());
    if (rc == -1 || !WIFEXITED(rc)) return -1;
    return WEXITSTATUS(rc);
}

// Generates `days` whole days (from 2004-06-15) with clutter and birds (and
// the generator options `extra`, e.g. "--modes 2 --weak-echoes 1") and runs
// the batch tool over them at `minutes` (with `batchExtra`, e.g.
// "--corrected-winds"); the wind files end up in <dir>/winds<minutes>.
// Returns an empty string when all went well, else what failed.
inline std::string generateAndProcess(const std::string& samplegen, const std::string& batch,
                                      const std::filesystem::path& dir, int days, int seed,
                                      const std::vector<int>& minutesList, double clutter,
                                      double birds, const std::string& extra = "",
                                      const std::string& batchExtra = "") {
    namespace fs = std::filesystem;
    const fs::path in = dir / "moments";
    fs::create_directories(in);
    // 12 dwells per beam and half hour, of one mode or of each of two.
    const int dwellSeconds = extra.find("--modes 2") == std::string::npos ? 30 : 15;
    std::ostringstream gen;
    gen << '"' << samplegen << "\" generate --out \"" << in.string() << "\" --kind winds --days "
        << days << " --from 00:00 --to 24:00 --dwell-seconds " << dwellSeconds
        << " --seed " << seed << " --clutter " << clutter << " --birds " << birds << ' ' << extra
        << " > /dev/null";
    if (runCommand(gen.str()) != 0) return "generator failed: " + gen.str();
    for (const int minutes : minutesList) {
        const fs::path out = dir / ("winds" + std::to_string(minutes));
        fs::create_directories(out);
        char end[32];
        std::snprintf(end, sizeof end, "2004-06-%02d", 14 + days);
        std::ostringstream run;
        run << '"' << batch << "\" --begin 2004-06-15 --end " << end << " --input \""
            << in.string() << "\" --output \"" << out.string()
            << "\" --input-type ascii --site qvs --kind winds --minutes " << minutes
            << " --window 2 --threshold 50 --quiet " << batchExtra;
        if (runCommand(run.str()) != 0) return "batch tool failed: " + run.str();
    }
    return {};
}

}  // namespace qv::qctest
