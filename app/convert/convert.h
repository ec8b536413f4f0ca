// quorvane-convert: consensus data files into netCDF-CF day files (and WMO
// BUFR files with --bufr). Wind files become one file each; the Tv (".t1a")
// and TvC (".t2a") files of a station and day become one temperature file (a
// file whose partner is not given has the other temperature missing). Files are found and joined by
// the rules of output/day_files.h and converted a day at a time: read,
// convert, release, so that memory stays flat over any number of files.
#pragma once

#include <ctime>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "output/bufr_settings.h"
#include "qc/continuity.h"

namespace qv {

struct ConvertOptions {
    // Folder of the netCDF files; empty: the folder of each input file
    // (of the Tv file for a pair).
    std::string outputFolder;
    std::string history;  // the netCDF files' history after its time stamp
    std::string version;
    CalendarTime created;  // UTC
    // The continuity check over each wind day, with these limits.
    std::optional<ContinuityLimits> continuity;
    // WMO BUFR files too, with these settings.
    bool bufr = false;
    BufrSettings bufrSettings;
};

struct ConvertOutcome {
    std::vector<std::string> written;  // paths of the files written
    std::vector<std::string> errors;   // one message per failure, naming the file
    int flaggedGates = 0;              // gates the continuity check flagged
    bool ok() const { return errors.empty(); }
};

// Converts files and folders (a folder: every consensus data file in it,
// not its subfolders; its netCDF files are passed over). A file that fails
// is reported and the others are still converted. The caller holds the
// output folders' locks.
ConvertOutcome convertConsensusFiles(const std::vector<std::string>& inputs,
                                     const ConvertOptions& options);

// The command line tool. Exit status: 0 every file converted, 1 a file
// could not be read or written (the others are converted), 2 invalid
// arguments, 6 an output folder in use by another Quorvane run (nothing is
// converted). `sourceDateEpoch`, when given, replaces the clock in the
// history attribute (seconds since 1970 UTC).
struct ConvertEnvironment {
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    std::optional<std::string> sourceDateEpoch;
    std::string version;
    std::time_t now = 0;  // the clock when no SOURCE_DATE_EPOCH
};
int runConvert(const std::vector<std::string>& args, const ConvertEnvironment& environment);

// The help text of quorvane-convert.
std::string convertUsage();

}  // namespace qv
