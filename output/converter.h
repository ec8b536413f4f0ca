// Conversion of consensus data files into netCDF-CF day files: the logic
// of quorvane-convert. Wind files become one file each; the Tv (".t1a")
// and TvC (".t2a") files of a station and day become one temperature file
// (a file whose partner is not given has the other temperature missing).
#pragma once

#include <ctime>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "output/consensus_file_reader.h"
#include "output/netcdf_file.h"
#include "qc/continuity.h"

namespace qv {

struct ConvertOptions {
    // Folder of the netCDF files; empty: the folder of each input file
    // (of the Tv file for a pair).
    std::string outputFolder;
    NetcdfContext context;
    // The continuity check over each wind day, with these limits.
    std::optional<ContinuityLimits> continuity;
};

struct ConvertOutcome {
    std::vector<std::string> written;  // paths of the netCDF files written
    std::vector<std::string> errors;   // one message per failure, naming the file
    int flaggedGates = 0;              // gates the continuity check flagged
    bool ok() const { return errors.empty(); }
};

// Consensus data file names: ".w<digits>a" or ".t<digits>a" (either case).
bool isConsensusFileName(const std::string& name);

// Converts files and folders (a folder: every consensus data file in it,
// not its subfolders). A file that fails is reported and the others are
// still converted.
ConvertOutcome convertConsensusFiles(const std::vector<std::string>& inputs,
                                     const ConvertOptions& options);

// One temperature day from a Tv and a TvC file of the same day (either may
// be null, not both): periods joined by time, gates by index. The files
// must agree on station, date and every gate's QC code, height, count and
// SNR; false with the reason otherwise.
bool joinTemperature(const ConsensusFileContents* tv, const ConsensusFileContents* tvc,
                     TemperatureDay& out, std::string& error);

// The command line tool. Exit status: 0 every file converted, 1 a file
// could not be read or written (the others are converted), 2 invalid
// arguments. `sourceDateEpoch`, when given, replaces the clock in the
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
