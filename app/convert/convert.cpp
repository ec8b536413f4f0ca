#include "app/convert/convert.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <set>

#include "core/version.h"
#include "output/bufr_output.h"
#include "output/consensus_file_sink.h"
#include "output/day_files.h"
#include "output/folder_lock.h"
#include "output/netcdf_output.h"

namespace qv {
namespace fs = std::filesystem;

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFileFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFolderInUse = 6;

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Consensus data files only: a netCDF file named on the command line is
// refused (converting it would write over itself), one in a folder is
// passed over.
std::vector<std::string> consensusFilesIn(const std::vector<std::string>& inputs,
                                          std::vector<std::string>& errors) {
    std::vector<std::string> files;
    for (const std::string& input : inputs) {
        std::error_code ec;
        const bool folder = fs::is_directory(input, ec);
        if (!folder && dayFileKind(input) == DayFileKind::Netcdf) {
            errors.push_back(input + ": a netCDF file, not a consensus data file; not converted");
            continue;
        }
        std::size_t found = 0;
        const std::size_t errorsBefore = errors.size();
        for (std::string& path : dayFilesIn({input}, errors)) {
            if (dayFileKind(path) == DayFileKind::Netcdf) continue;
            files.push_back(std::move(path));
            ++found;
        }
        if (folder && found == 0 && errors.size() == errorsBefore) {
            errors.push_back(input + ": no consensus data files (.w?a, .t?a) in the folder");
        }
    }
    return files;
}

// Files of a day written whole; a file another input has made already is
// refused.
void writeConverted(const std::vector<OutputFile>& files, const char* format,
                    const std::string& sources, std::set<std::string>& targets,
                    ConvertOutcome& outcome) {
    for (const OutputFile& file : files) {
        if (!targets.insert(file.path).second) {
            outcome.errors.push_back(sources + ": the same " + format +
                                     " file as another input (" + file.path + "); not converted");
            continue;
        }
        FileReport report;
        writeOutputFiles({file}, report);
        for (const std::string& path : report.written) outcome.written.push_back(path);
        for (const UnwrittenFile& lost : report.unwritten) {
            outcome.errors.push_back(sources + ": " + lost.path + ": " + lost.reason);
        }
    }
}

// A day converted: its netCDF file (and BUFR file) made and written whole.
void convertDay(DayProducts products, const std::string& sources, const std::string& folder,
                const ConvertOptions& options, std::set<std::string>& targets,
                ConvertOutcome& outcome) {
    OutputContext context;
    context.folder = folder;
    context.created = options.created;
    context.history = options.history;
    context.version = options.version;
    writeConverted(netcdfFiles(products, context), "netCDF", sources, targets, outcome);
    if (options.bufr) {
        writeConverted(bufrFiles(options.bufrSettings)(products, context), "BUFR", sources,
                       targets, outcome);
    }
}

}  // namespace

ConvertOutcome convertConsensusFiles(const std::vector<std::string>& inputs,
                                     const ConvertOptions& options) {
    ConvertOutcome outcome;
    const DayFileIndex index = indexDayFiles(consensusFilesIn(inputs, outcome.errors));
    outcome.errors.insert(outcome.errors.end(), index.errors.begin(), index.errors.end());
    auto folderFor = [&](const std::string& source) {
        return options.outputFolder.empty() ? folderOf(source) : options.outputFolder;
    };
    std::set<std::string> targets;
    for (const DayFileSet& set : index.days) {
        for (const DayFileEntry& entry : set.files) {
            if (entry.kind != OutputKind::Winds) continue;
            DayFileSet one = set;
            one.files = {entry};
            DayProducts products;
            if (!loadWindDays(one, products.winds, outcome.errors)) continue;
            if (options.continuity) {
                // The days of an archive are checked one by one (no neighbours).
                const ContinuityResult result =
                    checkContinuity(products.winds.front(), *options.continuity);
                outcome.flaggedGates += static_cast<int>(result.flagged.size());
            }
            convertDay(std::move(products), entry.path, folderFor(entry.path), options, targets,
                       outcome);
        }
        if (!set.hasTemperature()) continue;
        DayProducts products;
        TemperatureDay day;
        if (!loadTemperatureDay(set, day, outcome.errors)) continue;
        std::string first, sources;
        for (const DayFileEntry& entry : set.files) {
            if (entry.kind != OutputKind::Temperature) continue;
            if (first.empty()) first = entry.path;
            sources += (sources.empty() ? "" : " and ") + entry.path;
        }
        products.temperature.push_back(std::move(day));
        convertDay(std::move(products), sources, folderFor(first), options, targets, outcome);
    }
    return outcome;
}

std::string convertUsage() {
    return R"(Usage: quorvane-convert FILE... [--out DIR] [--continuity] [--bufr]

Converts consensus data files into netCDF-CF day files (CF-1.10, netCDF-4
classic model). A wind file (.w1a, .w2a, ...) becomes
<station>_<YYYYMMDD>_winds_m<mode>.nc; the Tv (.t1a) and TvC (.t2a) files
of a station and day become one <station>_<YYYYMMDD>_temperature.nc (a file
given without its partner leaves the other temperature missing). A folder
argument converts every consensus data file in it. With --bufr each day also
becomes a WMO BUFR file of the same name ending in .bufr, the same bytes as
quorvane-batch --bufr writes.

  --out DIR   folder for the netCDF files (default: the folder of each file)
  --continuity
              flag the winds of each day that are not continuous in time and
              height (QC 8, data code -940 "failed_qc" in the qc_ variables)
  --continuity-limits L
              the check's limits, e.g. period=2,gate=2.5,min=8,gap=2,thin=1
              (implies --continuity)
  --bufr      also write WMO BUFR files (a message per averaging period)
  --wmo-id BBSSS
              WMO block and station number of the BUFR reports (default:
              missing)
  --bufr-centre N
              originating centre of the BUFR reports, 0 to 65534 (default:
              missing)
  --bufr-temperature tv|tvc
              virtual temperature of the RASS reports (default tvc)
  --help      this text
  --version   the program's version

A file that cannot be read or written is named with the reason (and the line
of the consensus data file); the other files are still converted.

SOURCE_DATE_EPOCH (seconds since 1970 UTC), when set, replaces the clock in
the history attribute, so that two runs give identical files.

The output folders are locked for the run, as the batch tool locks its own.

Exit status: 0 every file converted, 1 a file could not be read or written,
2 invalid arguments, 6 an output folder in use by another Quorvane run.
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

CalendarTime utcTime(std::time_t when) {
    std::tm tm{};
    gmtime_r(&when, &tm);
    CalendarTime t;
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    t.second = static_cast<std::uint16_t>(tm.tm_sec);
    return t;
}

}  // namespace

int runConvert(const std::vector<std::string>& args, const ConvertEnvironment& environment) {
    std::ostream& err = *environment.err;
    ConvertOptions options;
    std::vector<std::string> inputs;
    std::time_t when = environment.now;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            *environment.out << convertUsage();
            return kExitDone;
        }
        if (arg == "--version") {
            *environment.out << versionLine("quorvane-convert");
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
        if (arg == "--bufr") {
            options.bufr = true;
            continue;
        }
        if (arg == "--wmo-id" || arg == "--bufr-centre" || arg == "--bufr-temperature") {
            const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
            WmoStation station;
            int centre = 0;
            BufrSettings& bufr = options.bufrSettings;
            const bool read =
                i + 1 < args.size() &&
                (arg == "--wmo-id"        ? parseWmoStation(value, station)
                 : arg == "--bufr-centre" ? parseBufrCentre(value, centre)
                                          : parseBufrTemperature(value, bufr.temperature));
            if (!read) {
                err << "Invalid value for " << arg
                    << (i + 1 < args.size() ? ": '" + value + "'" : std::string()) << " ("
                    << (arg == "--wmo-id"        ? "five digits BBSSS, block 01 to 99"
                        : arg == "--bufr-centre" ? "a whole number from 0 to 65534"
                                                 : "tv or tvc")
                    << ").\n";
                return kExitUsage;
            }
            if (arg == "--wmo-id") bufr.station = station;
            if (arg == "--bufr-centre") bufr.centre = centre;
            ++i;
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
    if (!options.bufr && options.bufrSettings != BufrSettings{}) {
        err << "--wmo-id, --bufr-centre and --bufr-temperature are used with --bufr only.\n";
        return kExitUsage;
    }
    std::error_code ec;
    if (std::string why; !options.outputFolder.empty() && !makeOutputFolder(options.outputFolder, why)) {
        err << why << "\n";
        return kExitUsage;
    }
    if (!options.outputFolder.empty() && !fs::is_directory(options.outputFolder, ec)) {
        err << "The output folder '" << options.outputFolder << "' is not a folder.\n";
        return kExitUsage;
    }
    if (environment.sourceDateEpoch && !epochSeconds(*environment.sourceDateEpoch, when)) {
        err << "Invalid SOURCE_DATE_EPOCH '" << *environment.sourceDateEpoch
            << "' (seconds since 1970-01-01 00:00:00 UTC are expected).\n";
        return kExitUsage;
    }
    options.history = "quorvane-convert";
    for (const std::string& arg : args) options.history += " " + arg;
    options.version = environment.version;
    options.created = utcTime(when);

    // The folders written into, locked for the run as the batch tool locks
    // its own: two converters never share a temporary file.
    std::set<std::string> folders;
    if (!options.outputFolder.empty()) {
        folders.insert(options.outputFolder);
    } else {
        std::vector<std::string> ignored;
        for (const std::string& path : dayFilesIn(inputs, ignored)) folders.insert(folderOf(path));
    }
    std::vector<std::unique_ptr<OutputFolderLock>> locks;
    for (const std::string& folder : folders) {
        std::unique_ptr<OutputFolderLock> lock;
        std::string message;
        const LockResult locked = OutputFolderLock::acquire(folder, lock, message);
        if (locked == LockResult::InUse) {
            err << message << "\n";
            return kExitFolderInUse;
        }
        if (locked == LockResult::CannotLock) err << message << "\n";
        locks.push_back(std::move(lock));
    }

    const ConvertOutcome outcome = convertConsensusFiles(inputs, options);
    for (const std::string& path : outcome.written) *environment.out << path << "\n";
    for (const std::string& error : outcome.errors) err << error << "\n";
    return outcome.ok() ? kExitDone : kExitFileFailed;
}

}  // namespace qv
