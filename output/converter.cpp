#include "output/converter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>

#include "output/netcdf_file.h"

namespace qv {
namespace fs = std::filesystem;

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFileFailed = 1;
constexpr int kExitUsage = 2;

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).string();
}

struct Loaded {
    std::string path;
    ConsensusFileContents contents;
};

// The consensus files of the inputs, in order (a folder's sorted by name).
void gather(const std::vector<std::string>& inputs, std::vector<std::string>& files,
            std::vector<std::string>& errors) {
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (fs::is_directory(input, ec)) {
            std::vector<std::string> found;
            for (fs::directory_iterator it(input, ec), end; !ec && it != end; it.increment(ec)) {
                std::error_code typeError;
                if (it->is_regular_file(typeError) &&
                    isConsensusFileName(it->path().filename().string())) {
                    found.push_back(it->path().string());
                }
            }
            if (ec) {
                errors.push_back(input + ": the folder cannot be read: " + ec.message());
                continue;
            }
            if (found.empty()) {
                errors.push_back(input + ": no consensus data files (.w?a, .t?a) in the folder");
            }
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.push_back(input);
        }
    }
}

bool sameGateBesidesTemperature(const TemperatureGate& a, const TemperatureGate& b) {
    return a.qcCode == b.qcCode && a.height == b.height && a.count == b.count && a.snr == b.snr;
}

}  // namespace

bool isConsensusFileName(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || name.size() - dot < 4) return false;
    const char letter = name[dot + 1];
    const char last = name.back();
    if (letter != 'w' && letter != 'W' && letter != 't' && letter != 'T') return false;
    if (last != 'a' && last != 'A') return false;
    for (std::size_t i = dot + 2; i + 1 < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
}

bool joinTemperature(const ConsensusFileContents* tv, const ConsensusFileContents* tvc,
                     TemperatureDay& out, std::string& error) {
    const ConsensusFileContents* first = tv ? tv : tvc;
    if (!first) {
        error = "no temperature file";
        return false;
    }
    out = TemperatureDay{};
    out.header = first->temperature.header;
    out.header.variant = 0;
    if (tv && tvc) {
        const DayHeader& a = tv->temperature.header;
        const DayHeader& b = tvc->temperature.header;
        if (a.stationName != b.stationName || a.day.year != b.day.year ||
            a.day.month != b.day.month || a.day.day != b.day.day) {
            error = "the Tv and TvC files are of different stations or days";
            return false;
        }
        if (a.averagingMinutes != b.averagingMinutes) {
            error = "the Tv and TvC files have different averaging intervals";
            return false;
        }
    }
    // Periods in the order they first appear, joined by their time.
    std::map<std::string, std::size_t> index;
    auto add = [&](const TemperatureDay& day, bool isTv) {
        for (const TemperaturePeriod& period : day.periods) {
            const std::string key(period.key, 4);
            auto [it, fresh] = index.emplace(key, out.periods.size());
            if (fresh) {
                out.periods.push_back(period);
                for (TemperatureGate& g : out.periods.back().gates) {
                    (isTv ? g.tvc : g.tv) = kMissingCode;
                }
                continue;
            }
            TemperaturePeriod& joined = out.periods[it->second];
            if (joined.gates.size() != period.gates.size()) {
                error = "period " + key + " has " + std::to_string(joined.gates.size()) +
                        " gates in the Tv file and " + std::to_string(period.gates.size()) +
                        " in the TvC file";
                return false;
            }
            for (std::size_t g = 0; g < period.gates.size(); ++g) {
                if (!sameGateBesidesTemperature(joined.gates[g], period.gates[g])) {
                    error = "period " + key + ", gate " + std::to_string(g) +
                            ": the Tv and TvC files differ in QC code, height, count or SNR";
                    return false;
                }
                joined.gates[g].tvc = period.gates[g].tvc;
            }
        }
        return true;
    };
    if (tv && !add(tv->temperature, true)) return false;
    if (tvc && !add(tvc->temperature, false)) return false;
    return true;
}

ConvertOutcome convertConsensusFiles(const std::vector<std::string>& inputs,
                                     const ConvertOptions& options) {
    ConvertOutcome outcome;
    std::vector<std::string> files;
    gather(inputs, files, outcome.errors);

    std::vector<Loaded> winds;
    // Temperature files by station and day: [0] Tv, [1] TvC.
    std::map<std::string, std::array<const Loaded*, 2>> days;
    std::vector<std::string> dayOrder;
    std::vector<Loaded> temperature;
    temperature.reserve(files.size());
    for (const std::string& path : files) {
        ConsensusFileRead read = readConsensusFile(path);
        if (!read.ok) {
            outcome.errors.push_back(read.error);
            continue;
        }
        Loaded loaded{path, std::move(read.contents)};
        if (loaded.contents.kind == OutputKind::Winds) {
            winds.push_back(std::move(loaded));
            continue;
        }
        temperature.push_back(std::move(loaded));
        const Loaded& t = temperature.back();
        const DayHeader& h = t.contents.temperature.header;
        const std::string key = h.stationName + "|" + std::to_string(h.day.year) + "-" +
                                std::to_string(h.day.month) + "-" + std::to_string(h.day.day);
        auto [it, fresh] = days.try_emplace(key, std::array<const Loaded*, 2>{nullptr, nullptr});
        if (fresh) dayOrder.push_back(key);
        const Loaded*& slot = it->second[t.contents.temperatureDigit == 1 ? 0 : 1];
        if (slot) {
            outcome.errors.push_back(path + ": a second " +
                                     (t.contents.temperatureDigit == 1 ? "Tv" : "TvC") +
                                     " file of the same station and day as " + slot->path +
                                     "; not converted");
            continue;
        }
        slot = &t;
    }

    std::map<std::string, std::string> targets;  // netCDF path -> its source
    auto claim = [&](const std::string& target, const std::string& source) {
        auto [it, fresh] = targets.emplace(target, source);
        if (fresh) return true;
        outcome.errors.push_back(source + ": the same netCDF file as " + it->second + " (" +
                                 target + "); not converted");
        return false;
    };
    auto folderFor = [&](const std::string& source) {
        return options.outputFolder.empty() ? folderOf(source) : options.outputFolder;
    };

    for (const Loaded& w : winds) {
        const std::string target = joinPath(folderFor(w.path), windNetcdfName(w.contents.winds));
        if (!claim(target, w.path)) continue;
        WindDay day = w.contents.winds;
        if (options.continuity) {
            // The days of an archive are checked one by one (no neighbours).
            const ContinuityResult result = checkContinuity(day, *options.continuity);
            outcome.flaggedGates += static_cast<int>(result.flagged.size());
        }
        std::string error;
        if (writeWindNetcdf(day, options.context, target, error)) {
            outcome.written.push_back(target);
        } else {
            outcome.errors.push_back(w.path + ": " + error);
        }
    }
    for (const std::string& key : dayOrder) {
        const auto& pair = days[key];
        const Loaded* first = pair[0] ? pair[0] : pair[1];
        std::string sources = first->path;
        if (pair[0] && pair[1]) sources += " and " + pair[1]->path;
        TemperatureDay day;
        std::string error;
        if (!joinTemperature(pair[0] ? &pair[0]->contents : nullptr,
                             pair[1] ? &pair[1]->contents : nullptr, day, error)) {
            outcome.errors.push_back(sources + ": " + error);
            continue;
        }
        const std::string target = joinPath(folderFor(first->path), temperatureNetcdfName(day));
        if (!claim(target, sources)) continue;
        if (writeTemperatureNetcdf(day, options.context, target, error)) {
            outcome.written.push_back(target);
        } else {
            outcome.errors.push_back(sources + ": " + error);
        }
    }
    return outcome;
}

std::string convertUsage() {
    return R"(Usage: quorvane-convert FILE... [--out DIR] [--continuity]

Converts consensus data files into netCDF-CF day files (CF-1.10, netCDF-4
classic model). A wind file (.w1a, .w2a, ...) becomes
<station>_<YYYYMMDD>_winds_m<mode>.nc; the Tv (.t1a) and TvC (.t2a) files
of a station and day become one <station>_<YYYYMMDD>_temperature.nc (a file
given without its partner leaves the other temperature missing). A folder
argument converts every consensus data file in it.

  --out DIR   folder for the netCDF files (default: the folder of each file)
  --continuity
              flag the winds of each day that are not continuous in time and
              height (QC 8, status -940 "failed_qc")
  --continuity-limits L
              the check's limits, e.g. period=2,gate=2.5,min=8,gap=2,thin=1
              (implies --continuity)
  --help      this text

A file that cannot be read or written is named with the reason (and the line
of the consensus data file); the other files are still converted.

SOURCE_DATE_EPOCH (seconds since 1970 UTC), when set, replaces the clock in
the history attribute, so that two runs give identical files.

Exit status: 0 every file converted, 1 a file could not be read or written,
2 invalid arguments.
)";
}

namespace {

bool epochSeconds(const std::string& text, std::time_t& out) {
    if (text.empty() || text.size() > 12) return false;
    long long seconds = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        seconds = seconds * 10 + (c - '0');
    }
    if (seconds > 253402300799LL) return false;  // 9999-12-31 23:59:59
    out = static_cast<std::time_t>(seconds);
    return true;
}

std::string utcStamp(std::time_t when) {
    std::tm tm{};
    gmtime_r(&when, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

}  // namespace

int runConvert(const std::vector<std::string>& args, const ConvertEnvironment& environment) {
    std::ostream& err = *environment.err;
    ConvertOptions options;
    std::vector<std::string> inputs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            *environment.out << convertUsage();
            return kExitDone;
        }
        if (arg == "--continuity") {
            if (!options.continuity) options.continuity = ContinuityLimits{};
            continue;
        }
        if (arg == "--continuity-limits") {
            ContinuityLimits limits;
            std::string why;
            if (i + 1 >= args.size() || !parseContinuityLimits(args[i + 1], limits, why)) {
                err << "Invalid value for --continuity-limits"
                    << (i + 1 < args.size() ? ": '" + args[i + 1] + "' (" + why + ")" : "")
                    << ".\n";
                return kExitUsage;
            }
            ++i;
            options.continuity = limits;
            continue;
        }
        if (arg == "--out") {
            if (i + 1 >= args.size()) {
                err << "--out needs a folder.\n";
                return kExitUsage;
            }
            options.outputFolder = args[++i];
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            err << "Unknown option '" << arg << "' (quorvane-convert --help lists them).\n";
            return kExitUsage;
        }
        inputs.push_back(arg);
    }
    if (inputs.empty()) {
        err << "No consensus data files given.\n" << convertUsage();
        return kExitUsage;
    }
    std::error_code ec;
    if (!options.outputFolder.empty() && !fs::is_directory(options.outputFolder, ec)) {
        err << "The output folder '" << options.outputFolder << "' is not a folder.\n";
        return kExitUsage;
    }
    std::time_t when = environment.now;
    if (environment.sourceDateEpoch && !epochSeconds(*environment.sourceDateEpoch, when)) {
        err << "Invalid SOURCE_DATE_EPOCH '" << *environment.sourceDateEpoch
            << "' (seconds since 1970-01-01 00:00:00 UTC are expected).\n";
        return kExitUsage;
    }
    std::string command = "quorvane-convert";
    for (const std::string& arg : args) command += " " + arg;
    options.context.version = environment.version;
    options.context.history = utcStamp(when) + " " + command;

    const ConvertOutcome outcome = convertConsensusFiles(inputs, options);
    for (const std::string& path : outcome.written) *environment.out << path << "\n";
    for (const std::string& error : outcome.errors) err << error << "\n";
    return outcome.ok() ? kExitDone : kExitFileFailed;
}

}  // namespace qv
