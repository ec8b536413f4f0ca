#include "tools/samplegen/compare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "core/text.h"
#include "core/time.h"

namespace qv::samplegen {
namespace {

namespace fs = std::filesystem;

struct TruthValue {
    double u = 0.0, v = 0.0, w = 0.0, tv = 0.0;
};

TruthValue blend(const TruthValue& a, const TruthValue& b, double f) {
    return {a.u + (b.u - a.u) * f, a.v + (b.v - a.v) * f, a.w + (b.w - a.w) * f,
            a.tv + (b.tv - a.tv) * f};
}

// Seconds since 1601-01-01 of a calendar time; false for an impossible one.
bool toSeconds(int year, int month, int day, int hour, int minute, int second,
               std::int64_t& out) {
    if (year < 1601 || year > 9999 || hour < 0 || minute < 0 || second < 0) return false;
    CalendarTime c;
    c.year = static_cast<std::uint16_t>(year);
    c.month = static_cast<std::uint16_t>(std::clamp(month, 0, 13));
    c.day = static_cast<std::uint16_t>(std::clamp(day, 0, 32));
    c.hour = static_cast<std::uint16_t>(std::min(hour, 24));
    c.minute = static_cast<std::uint16_t>(std::min(minute, 60));
    c.second = static_cast<std::uint16_t>(std::min(second, 60));
    TimeValue value = 0;
    if (!calendarToTimeValue(c, value)) return false;
    out = static_cast<std::int64_t>(value / static_cast<TimeValue>(TimeUnits::second));
    return true;
}

// The truth on its grid of times and heights, linearly interpolated.
class Truth {
public:
    bool load(const fs::path& file, std::ostream& err) {
        std::ifstream in(file);
        if (!in) {
            err << "quorvane-samplegen: cannot read " << file.string() << '\n';
            return false;
        }
        std::string line;
        while (std::getline(in, line)) {
            int y, mo, d, h, mi, s;
            double height;
            TruthValue t;
            if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d,%lf,%lf,%lf,%lf,%lf", &y, &mo, &d, &h,
                            &mi, &s, &height, &t.u, &t.v, &t.w, &t.tv) != 11) {
                continue;  // the heading line
            }
            std::int64_t seconds = 0;
            if (toSeconds(y, mo, d, h, mi, s, seconds)) grid_[seconds][height] = t;
        }
        return true;
    }

    bool empty() const { return grid_.empty(); }

    std::optional<TruthValue> at(std::int64_t seconds, double height) const {
        auto hi = grid_.lower_bound(seconds);
        if (hi == grid_.end()) return std::nullopt;
        if (hi->first == seconds) return atHeight(hi->second, height);
        if (hi == grid_.begin()) return std::nullopt;
        auto lo = std::prev(hi);
        const auto a = atHeight(lo->second, height);
        const auto b = atHeight(hi->second, height);
        if (!a || !b) return std::nullopt;
        const double f = static_cast<double>(seconds - lo->first) /
                         static_cast<double>(hi->first - lo->first);
        return blend(*a, *b, f);
    }

private:
    static std::optional<TruthValue> atHeight(const std::map<double, TruthValue>& column,
                                              double height) {
        auto hi = column.lower_bound(height);
        if (hi == column.end()) return std::nullopt;
        if (hi->first == height) return hi->second;
        if (hi == column.begin()) return std::nullopt;
        auto lo = std::prev(hi);
        return blend(lo->second, hi->second, (height - lo->first) / (hi->first - lo->first));
    }

    std::map<std::int64_t, std::map<double, TruthValue>> grid_;
};

struct Tally {
    int gates = 0;     // gate lines read
    int valid = 0;     // with QC 0
    int compared = 0;  // valid and inside the truth
    int off3 = 0;      // winds: ... with a vector difference above 3 m/s
    int within1 = 0;   // winds: ... of at most 1 m/s
    double sumSquares = 0.0;
    double rms() const { return compared > 0 ? std::sqrt(sumSquares / compared) : 0.0; }
};

enum class FileKind { None, Wind, Tv, TvC };

FileKind kindOf(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() < dot + 4 || name.back() != 'a') return FileKind::None;
    const std::string ext = name.substr(dot + 1);
    if (ext == "t1a") return FileKind::Tv;
    if (ext == "t2a") return FileKind::TvC;
    if (ext[0] != 'w') return FileKind::None;
    for (std::size_t i = 1; i + 1 < ext.size(); ++i) {
        if (ext[i] < '0' || ext[i] > '9') return FileKind::None;
    }
    return FileKind::Wind;
}

// Reads one consensus data file and adds its valid gates to the tally.
void tallyFile(const fs::path& path, FileKind kind, const Truth& truth, Tally& tally) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);

    int month = 0, day = 0, year = 0, minutes = 0;
    std::size_t data = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::sscanf(lines[i].c_str(), "Date: %d/%d/%d", &month, &day, &year);
        std::sscanf(lines[i].c_str(), "Avg. Int. (min): %d", &minutes);
        if (lines[i].rfind("Code (m msl)", 0) == 0) {
            data = i + 1;
            break;
        }
    }
    year += year < 70 ? 2000 : 1900;

    std::size_t i = data;
    while (i < lines.size()) {
        char key[5] = {};
        int count = 0;
        if (std::sscanf(lines[i].c_str(), "%4[0-9]%d", key, &count) != 2 || count < 0) break;
        ++i;
        std::int64_t midPeriod = 0;
        const bool timed = toSeconds(year, month, day, (key[0] - '0') * 10 + (key[1] - '0'),
                                     (key[2] - '0') * 10 + (key[3] - '0'), 0, midPeriod);
        midPeriod += static_cast<std::int64_t>(minutes) * 30;  // half the period
        for (int g = 0; g < count && i < lines.size(); ++g, ++i) {
            int qc = -1, direction = 0;
            double height = 0, first = 0, u = 0, v = 0, w = 0;
            bool ok = false;
            if (kind == FileKind::Wind) {
                ok = std::sscanf(lines[i].c_str(), "%d %lf %lf %d.%lf %lf %lf", &qc, &height, &first,
                                 &direction, &u, &v, &w) == 7;
            } else {
                ok = std::sscanf(lines[i].c_str(), "%d %lf %lf", &qc, &height, &first) == 3;
            }
            if (!ok) continue;
            ++tally.gates;
            if (qc != 0) continue;
            ++tally.valid;
            const auto t = timed ? truth.at(midPeriod, height) : std::nullopt;
            if (!t) continue;
            ++tally.compared;
            if (kind == FileKind::Wind) {
                const double squared = (u - t->u) * (u - t->u) + (v - t->v) * (v - t->v);
                tally.sumSquares += squared;
                if (squared > 9.0) ++tally.off3;
                if (squared <= 1.0) ++tally.within1;
            } else {
                tally.sumSquares += (first - t->tv) * (first - t->tv);
            }
        }
    }
}

std::vector<fs::path> filesIn(const std::string& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file()) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int compare(const CompareOptions& options, std::ostream& out, std::ostream& err) {
    Truth truth;
    for (const std::string& p : options.truthPaths) {
        if (fs::is_directory(p)) {
            for (const fs::path& f : filesIn(p)) {
                const std::string name = f.filename().string();
                if (name.size() > 10 && name.substr(name.size() - 10) == "_truth.csv" &&
                    !truth.load(f, err)) {
                    return 2;
                }
            }
        } else if (!truth.load(p, err)) {
            return 2;
        }
    }
    if (truth.empty()) {
        err << "quorvane-samplegen: no truth found\n";
        return 2;
    }

    Tally wind, tv, tvc;
    if (!options.windsDir.empty()) {
        for (const fs::path& f : filesIn(options.windsDir)) {
            if (kindOf(f.filename().string()) == FileKind::Wind) tallyFile(f, FileKind::Wind, truth, wind);
        }
    }
    if (!options.temperatureDir.empty()) {
        for (const fs::path& f : filesIn(options.temperatureDir)) {
            const FileKind kind = kindOf(f.filename().string());
            if (kind == FileKind::Tv) tallyFile(f, kind, truth, tv);
            if (kind == FileKind::TvC) tallyFile(f, kind, truth, tvc);
        }
    }

    std::vector<std::string> parts;
    if (!options.windsDir.empty()) {
        parts.push_back(formatText("winds %d of %d gates valid, RMS vector difference %.2f m/s, "
                                   "%d of %d compared more than 3 m/s off, %d within 1 m/s",
                                   wind.valid, wind.gates, wind.rms(), wind.off3, wind.compared,
                                   wind.within1));
    }
    if (!options.temperatureDir.empty()) {
        parts.push_back(formatText("temperature %d of %d gates valid, RMS difference TvC %.2f C, "
                                   "Tv %.2f C",
                                   tvc.valid, tvc.gates, tvc.rms(), tv.rms()));
    }
    std::string line = "Compared with the truth: ";
    for (std::size_t i = 0; i < parts.size(); ++i) line += (i ? "; " : "") + parts[i];
    out << line << '\n';

    int status = 0;
    if (!options.windsDir.empty() && wind.compared == 0) {
        err << "quorvane-samplegen: no valid wind gate to compare\n";
        status = 1;
    }
    if (!options.temperatureDir.empty() && tvc.compared == 0) {
        err << "quorvane-samplegen: no valid temperature gate to compare\n";
        status = 1;
    }
    if (options.maxWindRms && wind.rms() > *options.maxWindRms) {
        err << formatText("quorvane-samplegen: wind RMS %.2f m/s is above %.2f m/s\n", wind.rms(),
                          *options.maxWindRms);
        status = 1;
    }
    if (options.maxTemperatureRms && tvc.rms() > *options.maxTemperatureRms) {
        err << formatText("quorvane-samplegen: TvC RMS %.2f C is above %.2f C\n", tvc.rms(),
                          *options.maxTemperatureRms);
        status = 1;
    }
    return status;
}

}  // namespace qv::samplegen
