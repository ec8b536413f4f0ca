// netCDF-CF files of day products: one per day and pulse-width mode for
// winds, one per day for temperature (Tv and TvC together). netCDF-4
// classic model, deflate level 4 with shuffle, chunked by day; written
// whole (temporary file, then renamed).
//
// Values are the consensus data file's printed values read back: each
// value is formatted with the file's precision and parsed again, so that a
// file converted from a consensus data file and one written from the run
// hold the same numbers. A value the file carries as a data code is NaN,
// its code in qc_<variable>. On a gate whose QC code does not keep its
// values (8, or a code the format does not define) every value that is not
// already a code is masked the same way (NaN, -950; -940 on a gate the
// continuity check flagged, -940 in u or v) and the QC byte (qc_wind,
// qc_temperature) is 8, so that no failed value reaches a user as valid and
// every qc_ variable holds only its flag values. Gates beyond a period's
// last gate (periods with fewer gates than the day's longest) are NaN with
// code -999 and the QC fill value.
//
// For tools that plot a variable against a 1-D vertical coordinate (ARM's
// ACT, xarray): height(gate), metres above the station, each gate's height
// in most of the day's periods; its comment says when a period had other
// heights (altitude(time, gate) keeps every period's own). Every qc_
// variable carries flag_values, flag_meanings and flag_assessments, and the
// global attribute datastream names the station and product
// ("qvs.winds_m1").
//
// Settings the run knew but a consensus data file does not keep: when every
// beam has a positive consensus window (a day from the run), the global
// attributes consensus_window and consensus_threshold_percent list them per
// beam; otherwise (a converted file) both are left out.
// vertical_velocity_policy is "unknown" when the policy is not known.
#pragma once

#include <string>

#include "output/consensus_file_reader.h"
#include "products/day_product.h"

namespace qv {

struct NetcdfContext {
    std::string history;  // creation time (UTC) and the command or dialog settings
    std::string version;  // Quorvane's version, for the source attribute
};

// "<station>_<YYYYMMDD>_winds_m<mode>.nc"; the station part as in the
// consensus file name (stationFileKey, output/day_files.h).
std::string windNetcdfName(const WindDay& day);
// "<station>_<YYYYMMDD>_temperature.nc".
std::string temperatureNetcdfName(const TemperatureDay& day);

// Write the day's file at `path`. False with `error` set (the path and the
// reason) when the day cannot be written (no periods, an invalid date) or
// the file cannot be made; the final name then keeps what it held.
bool writeWindNetcdf(const WindDay& day, const NetcdfContext& context, const std::string& path,
                     std::string& error);
bool writeTemperatureNetcdf(const TemperatureDay& day, const NetcdfContext& context,
                            const std::string& path, std::string& error);

// The same files' bytes, made in memory and not written (`path` names the
// file in messages), for a caller that writes them whole later, elsewhere.
bool makeWindNetcdf(const WindDay& day, const NetcdfContext& context, const std::string& path,
                    std::string& bytes, std::string& error);
bool makeTemperatureNetcdf(const TemperatureDay& day, const NetcdfContext& context,
                           const std::string& path, std::string& bytes, std::string& error);

// Reads a file written by the two functions above back into day values:
// kind Winds with `winds` filled, or Temperature with both Tv and TvC
// (temperatureDigit 0). Masked values come back as their status codes (so
// the u, v and w of a QC 8 gate read -950). False with a message naming
// the file for any other file: "PATH: not a regular file" (FIFOs, devices
// and folders are never opened), the library's reason, or "PATH: the
// netCDF library failed on this file (...)" when the library crashed or
// hung on it. The library runs in a child process; safe to call from any
// thread. `out` is left as it was on failure.
bool readNetcdfDay(const std::string& path, ConsensusFileContents& out, std::string& error);

// The kind and the header alone (no periods), for indexing many files: the
// same header readNetcdfDay gives, read the same way.
bool readNetcdfDayHeader(const std::string& path, ConsensusFileContents& out,
                         std::string& error);

}  // namespace qv
