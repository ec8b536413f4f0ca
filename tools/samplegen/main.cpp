// quorvane-samplegen: synthetic moment files with a known truth, and the
// comparison of consensus files with that truth.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "core/version.h"
#include "tools/samplegen/compare.h"
#include "tools/samplegen/feed.h"
#include "tools/samplegen/generate.h"

namespace {

using qv::samplegen::CompareOptions;
using qv::samplegen::FeedOptions;
using qv::samplegen::GenerateOptions;

const char* kUsage = R"(Usage:
  quorvane-samplegen generate --out DIR [--date YYYY-MM-DD] [--days N]
        [--from HH:MM] [--to HH:MM] [--kind winds|temperature|both]
        [--site SSS] [--station NAME] [--seed N] [--spill-minutes M]
        [--format ascii|binary] [--gates N] [--dwell-seconds S]
        [--clutter F] [--birds F] [--outliers F] [--modes 1|2]
        [--weak-echoes 0|1] [--clutter-hours H] [--migration F]
        [--weather smooth|fronts|fast]
      Writes one moment file per day and kind (<site><yy><ddd>.raw for
      winds, .rat for temperature), the next day's file with the last
      minutes of each day, and <site><yy><ddd>_truth.csv per day.
      With --format binary: one data-acquisition pair per day instead
      (d<yy><ddd>a.mom with h<yy><ddd>a.mom, both kinds in one pair) and
      in DIR/twin the ASCII files of exactly the values the pairs hold;
      no truth tables (those of the ASCII files hold).
      --gates N gives every beam N gates (1 to 100); --dwell-seconds S
      puts the dwells S seconds apart, a cycle of five wind dwells (and of
      one vertical and one RASS dwell) every 5 x S seconds.
      --clutter F and --birds F contaminate a share F (0 to 1) of the
      oblique wind dwells: ground clutter (radial velocity near zero at a
      beam's lowest 1 to 3 gates for 10 to 30 minutes) and birds (the
      birds' own 8 to 14 m/s added along every oblique beam in a band of 1
      to 5 gates between 200 and 1200 m above the site for 10 to 30
      minutes); --outliers F is the chance of a random outlier per radar
      gate (default 0.06 oblique, 0.05 vertical).
      Days as real sites have them (all off by default): --modes 2 adds a
      400 ns mode (gates 60 m apart along the beam from 120 m, echoes 5 dB
      weaker) dwelling after the 700 ns beams, ten wind dwells a cycle;
      --weak-echoes 1 makes the gates where the mean SNR nears 0 dB noisy
      (noise peaks, scattered echoes: bare-majority consensus aloft);
      --clutter-hours H makes ground clutter episodes last about H hours
      (0 to 24); --migration F puts birds into a share F of the nights
      (20:00 to 04:00, 200 m to 800 to 1500 m, 8 to 14 m/s of their own);
      --weather fronts adds a front each day and a low-level jet each
      night, --weather fast also strong shear, a turning wind and quick
      swings. With any of them the truth table has a 5-minute, 50-m grid
      up to the highest gate.
      Defaults: 2004-06-15, 2 days, 21:00 to 24:00, both kinds, site qvs,
      station QVS, seed 1, 6 spill minutes, ascii, 20 gates (RASS 14), a
      180-s cycle, no clutter or birds.

  quorvane-samplegen feed --out DIR [generate options] [--speed F]
        [--max-wait S] [--start HH:MM] [--pause-at HH:MM --pause-seconds S]
        [--stop-at HH:MM] [--resume]
      Writes the files of generate with the same options as a data system
      does: truth tables and twins at once, each moment file made at the
      time of its first dwell (the header file of a pair whole, before its
      data file) and grown record by record in data-time order, every
      record in two appends a few milliseconds apart. The clock runs F data
      seconds per wall second (default 1440), waiting at most S seconds
      (default 2) from one record to the next. Times are of the first day:
      --start writes all before it at once; --pause-at stops writing for
      --pause-seconds wall seconds, once; --stop-at ends the run inside the
      record due then. --resume continues files that hold the beginning of
      their content (anything else is refused), writing what was due at
      once. Lists the files created and the records fed.

  quorvane-samplegen compare --truth PATH [--truth PATH...] [--winds DIR]
        [--temperature DIR] [--max-wind-rms X] [--max-temperature-rms Y]
      Compares the valid gates of the consensus files in DIR with the truth
      (files, or folders of *_truth.csv) and prints one summary line (for
      winds also how many of the gates compared, those inside the truth,
      are more than 3 m/s and at most 1 m/s from it). Exit
      status 1 when a limit is exceeded or nothing could be compared.
)";

int usageError(const std::string& message) {
    std::cerr << "quorvane-samplegen: " << message << "\n\n" << kUsage;
    return 2;
}

bool parseNumber(const std::string& text, long long lo, long long hi, long long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parseClock(const std::string& text, int& minutes) {
    int h = 0, m = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d:%d%c", &h, &m, &tail) != 2) return false;
    if (h < 0 || m < 0 || m > 59 || h * 60 + m > 24 * 60) return false;
    minutes = h * 60 + m;
    return true;
}

bool parseDecimal(const std::string& text, double lo, double hi, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

// Takes one option of `generate` (also taken by `feed`): an empty string,
// or the usage error it makes.
std::string takeGenerateOption(const std::string& name, const std::string& value, GenerateOptions& o) {
    long long n = 0;
    if (name == "--out") {
        o.outDir = value;
    } else if (name == "--date") {
        int y = 0, m = 0, d = 0;
        char tail = 0;
        if (std::sscanf(value.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3) return "invalid --date " + value;
        o.firstDay = qv::CalendarTime{static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(m),
                                      0, static_cast<std::uint16_t>(d), 0, 0, 0, 0};
        qv::TimeValue check = 0;
        if (y < 2000 || y > 2099 || !qv::calendarToTimeValue(o.firstDay, check)) {
            return "invalid --date " + value + " (a date of 2000 to 2099)";
        }
    } else if (name == "--days") {
        if (!parseNumber(value, 1, 366, n)) return "invalid --days " + value;
        o.days = static_cast<int>(n);
    } else if (name == "--from") {
        if (!parseClock(value, o.fromMinute)) return "invalid --from " + value;
    } else if (name == "--to") {
        if (!parseClock(value, o.toMinute)) return "invalid --to " + value;
    } else if (name == "--kind") {
        if (value == "winds") o.temperature = false;
        else if (value == "temperature") o.winds = false;
        else if (value != "both") return "invalid --kind " + value;
    } else if (name == "--site") {
        // Part of file names: no folder separator.
        if (value.empty() || value.size() > 3 || value.find('/') != std::string::npos) {
            return "--site takes 1 to 3 characters other than /";
        }
        o.site = value;
    } else if (name == "--station") {
        if (value.empty() || value.size() > 49 || value.find_first_of(" \t") != std::string::npos) {
            return "--station takes one word of at most 49 characters";
        }
        o.station = value;
    } else if (name == "--seed") {
        if (!parseNumber(value, 0, 1LL << 62, n)) return "invalid --seed " + value;
        o.seed = static_cast<std::uint64_t>(n);
    } else if (name == "--spill-minutes") {
        if (!parseNumber(value, 0, 60, n)) return "invalid --spill-minutes " + value;
        o.spillMinutes = static_cast<int>(n);
    } else if (name == "--format") {
        if (value == "ascii") o.format = qv::samplegen::FileFormat::Ascii;
        else if (value == "binary") o.format = qv::samplegen::FileFormat::Binary;
        else return "invalid --format " + value;
    } else if (name == "--gates") {
        if (!parseNumber(value, 1, 100, n)) return "invalid --gates " + value;
        o.gates = static_cast<int>(n);
    } else if (name == "--dwell-seconds") {
        if (!parseNumber(value, 1, 3600, n)) return "invalid --dwell-seconds " + value;
        o.dwellSeconds = static_cast<int>(n);
    } else if (name == "--modes") {
        if (!parseNumber(value, 1, 2, n)) return "invalid --modes " + value + " (1 or 2)";
        o.modes = static_cast<int>(n);
    } else if (name == "--weak-echoes") {
        if (!parseNumber(value, 0, 1, n)) return "invalid --weak-echoes " + value + " (0 or 1)";
        o.weakEchoes = n != 0;
    } else if (name == "--clutter-hours") {
        if (!parseDecimal(value, 0.0, 24.0, o.clutterHours)) {
            return "invalid --clutter-hours " + value + " (0 to 24)";
        }
    } else if (name == "--migration") {
        if (!parseDecimal(value, 0.0, 1.0, o.migrationNights)) {
            return "invalid --migration " + value + " (a fraction of 0 to 1)";
        }
    } else if (name == "--weather") {
        if (value == "smooth") o.weather = qv::samplegen::Weather::Smooth;
        else if (value == "fronts") o.weather = qv::samplegen::Weather::Fronts;
        else if (value == "fast") o.weather = qv::samplegen::Weather::Fast;
        else return "invalid --weather " + value + " (smooth, fronts or fast)";
    } else if (name == "--clutter" || name == "--birds" || name == "--outliers") {
        double& f = name == "--clutter" ? o.clutterFraction
                    : name == "--birds" ? o.birdFraction : o.outlierFraction;
        if (!parseDecimal(value, 0.0, 1.0, f)) return "invalid " + name + " " + value + " (a fraction of 0 to 1)";
    } else {
        return "unknown option " + name;
    }
    return "";
}

// Checks the options of a generated set and makes its folder: -1 when all
// is well, else the exit status.
int prepareOutput(const GenerateOptions& o) {
    if (o.outDir.empty()) return usageError("--out DIR is required");
    if (o.fromMinute >= o.toMinute) return usageError("--from must be earlier than --to");
    // The folder is made, with any folders it needs: generated days are
    // scratch data, asked for by a path that need not exist yet.
    std::error_code made;
    std::filesystem::create_directories(o.outDir, made);
    if (made) {
        std::cerr << "quorvane-samplegen: cannot make the folder " << o.outDir << ": "
                  << made.message() << "\n";
        return 1;
    }
    return -1;
}

int runGenerate(const std::vector<std::string>& args) {
    GenerateOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return usageError("option " + name + " needs a value");
        const std::string problem = takeGenerateOption(name, args[++i], o);
        if (!problem.empty()) return usageError(problem);
    }
    const int status = prepareOutput(o);
    return status >= 0 ? status : qv::samplegen::generate(o, std::cout, std::cerr);
}

int runFeed(const std::vector<std::string>& args) {
    GenerateOptions o;
    FeedOptions f;
    bool pauseSecondsGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--resume") {
            f.resume = true;
            continue;
        }
        if (i + 1 >= args.size()) return usageError("option " + name + " needs a value");
        const std::string value = args[++i];
        bool valid = true;
        if (name == "--speed") valid = parseDecimal(value, 1e-3, 1e9, f.speed);
        else if (name == "--max-wait") valid = parseDecimal(value, 0.0, 3600.0, f.maxWait);
        else if (name == "--pause-seconds") valid = pauseSecondsGiven = parseDecimal(value, 0.0, 86400.0, f.pauseSeconds);
        else if (name == "--start") valid = parseClock(value, f.startMinute);
        else if (name == "--pause-at") valid = parseClock(value, f.pauseMinute);
        else if (name == "--stop-at") valid = parseClock(value, f.stopMinute);
        else {
            const std::string problem = takeGenerateOption(name, value, o);
            if (!problem.empty()) return usageError(problem);
        }
        if (!valid) return usageError("invalid " + name + " " + value);
    }
    if ((f.pauseMinute >= 0) != pauseSecondsGiven) return usageError("--pause-at and --pause-seconds go together");
    const int status = prepareOutput(o);
    return status >= 0 ? status : qv::samplegen::feed(o, f, std::cout, std::cerr);
}

int runCompare(const std::vector<std::string>& args) {
    CompareOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return usageError("option " + name + " needs a value");
        const std::string value = args[++i];
        if (name == "--truth") {
            o.truthPaths.push_back(value);
        } else if (name == "--winds") {
            o.windsDir = value;
        } else if (name == "--temperature") {
            o.temperatureDir = value;
        } else if (name == "--max-wind-rms" || name == "--max-temperature-rms") {
            char* end = nullptr;
            const double limit = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(limit >= 0.0)) {
                return usageError("invalid " + name + " " + value);
            }
            (name == "--max-wind-rms" ? o.maxWindRms : o.maxTemperatureRms) = limit;
        } else {
            return usageError("unknown option " + name);
        }
    }
    if (o.truthPaths.empty()) return usageError("--truth PATH is required");
    if (o.windsDir.empty() && o.temperatureDir.empty()) {
        return usageError("--winds DIR or --temperature DIR is required");
    }
    return qv::samplegen::compare(o, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::cout << qv::versionLine("quorvane-samplegen");
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "generate") return runGenerate(rest);
    if (args[0] == "feed") return runFeed(rest);
    if (args[0] == "compare") return runCompare(rest);
    return usageError("unknown command " + args[0]);
}
