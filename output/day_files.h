// Day files, for the programs that read them back (quorvane-convert,
// quorvane-plot, the Results window): what a day file is, the station part
// of every output file's name, one reader for any day file, and the one
// checked join of a day's Tv and TvC files. Every rule about day files
// lives here once, for writers and readers alike.
//
// The files are untrusted: a name taken from a file cannot leave a folder,
// only regular files are opened, and a damaged file is refused with its
// name and the reason, never a crash.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "output/consensus_file_reader.h"

namespace qv {

// ---- Names ----

// A day file by its name (either case): a consensus data file ".w<digits>a"
// (winds) or ".t<digits>a" (Tv, TvC), or a netCDF day file ".nc".
enum class DayFileKind { None, Winds, Temperature, Netcdf };
DayFileKind dayFileKind(std::string_view path);

// The station part of an output file's name: the first three bytes of the
// station name, with every byte that could take the file out of its folder,
// hide it or break a file system's name ('/', '\\', a control character, a
// byte beyond ASCII, a leading '.') replaced by '_'. Other characters stay
// as the consensus file name has always had them.
std::string stationFileKey(std::string_view stationName);

// The name of an output file in the formats other than the consensus data
// file's, without its extension: "<station>_<time>_winds_m<mode>" for a wind
// day, "<station>_<time>_temperature" for a temperature day; the station part
// by stationFileKey, `time` the digits of the day or of a single period's
// end (fileTimeDigits).
std::string windFileStem(std::string_view stationName, std::string_view time, int mode);
std::string temperatureFileStem(std::string_view stationName, std::string_view time);
// "YYYYMMDD" of a date, or "YYYYMMDDHHMM" of a time `withMinutes`.
std::string fileTimeDigits(const CalendarTime& time, bool withMinutes);

// ---- Reading ----

// Reads a consensus data file or a netCDF day file (by its name); anything
// but a regular file (a FIFO, a device, a folder) is refused at once.
ConsensusFileRead readDayFile(const std::string& path);
// The same, header only (no periods): cheap enough to index many files.
ConsensusFileRead readDayFileHeader(const std::string& path);

// The day files of the inputs, in order: a file as named (whatever its
// name), a folder's day files sorted by name (not its subfolders). A folder
// that cannot be read or holds no day file is named in `errors`.
std::vector<std::string> dayFilesIn(const std::vector<std::string>& inputs,
                                    std::vector<std::string>& errors);

// One file of a station's day, as its header tells.
struct DayFileEntry {
    std::string path;
    OutputKind kind = OutputKind::None;
    // Winds: the pulse-width mode digit. Temperature: 1 Tv, 2 TvC, 0 both
    // (a netCDF file).
    int digit = 0;
};

// The files of one station and day.
struct DayFileSet {
    std::string station;        // stationFileKey of the header's station
    std::int64_t dayNumber = 0; // days since 1970-01-01
    CalendarTime date;
    std::vector<DayFileEntry> files;  // in the order given
    bool hasWinds() const;
    bool hasTemperature() const;
};

// Files grouped by station and day, sorted by station and day. A file whose
// header cannot be read, or whose date is not a calendar date, is named in
// `errors` and left out.
struct DayFileIndex {
    std::vector<DayFileSet> days;
    std::vector<std::string> errors;
};
DayFileIndex indexDayFiles(const std::vector<std::string>& files);
// Adds one file; false with `error` set when it cannot be indexed. With
// `replace`, a file of a station, day and mode (or temperature digit)
// already indexed takes its place; otherwise both are kept and the loads
// below refuse the second.
bool addToIndex(DayFileIndex& index, const std::string& path, bool replace, std::string& error);

// The wind days of a set (one per mode, by mode), read whole. A file that
// cannot be read, or a second file of a mode, is named in `errors` and
// left out; false when no wind day was read.
bool loadWindDays(const DayFileSet& set, std::vector<WindDay>& days,
                  std::vector<std::string>& errors);
// The temperature day of a set: its Tv and TvC files joined by
// joinTemperature, or its netCDF file. False with the reasons in `errors`
// when there is none or the files do not join.
bool loadTemperatureDay(const DayFileSet& set, TemperatureDay& day,
                        std::vector<std::string>& errors);

// One temperature day from a Tv and a TvC file of the same day (either may
// be null, not both): periods joined by time, gates by index. The files
// must agree on station, date, averaging interval and every gate's QC code,
// height, count and SNR; false with the reason otherwise. The temperature a
// file lacks is missing; the day's header variant is 0.
bool joinTemperature(const ConsensusFileContents* tv, const ConsensusFileContents* tvc,
                     TemperatureDay& out, std::string& error);

}  // namespace qv
