// One shape for every output of a day: a function from the day's products
// and the run's context to the files it makes, each a final path with its
// bytes or the reason it could not be made. Outputs compute; they never
// write. The engine writes each file whole, in the run's day order, and
// reports every file written and every one not, with its reason.
//
// An output is added as one such function and the option that asks for it
// (app/engine/run_outputs.h).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/time.h"
#include "products/day_product.h"

namespace qv {

// What every output of a run knows besides the day's products.
struct OutputContext {
    std::string folder;     // where the output's files go
    CalendarTime created;   // UTC: the consensus files' "Created on", the netCDF history
    std::string history;    // how the run was asked for (command line or dialog settings)
    std::string version;    // Quorvane's version
    // The files that the run's outputs before this one made for the day, in
    // order (an output that links a day's files, such as the web site,
    // comes last).
    std::vector<std::string> dayFiles;
};

// One file an output made: its final path and its bytes, or (error not
// empty) why it could not be made.
struct OutputFile {
    std::string path;
    std::string bytes;
    std::string error;
    // Flushed to the disk before its rename, as every file users keep; a
    // page that the next write makes again is only renamed into place.
    bool flush = true;
    bool made() const { return error.empty(); }
};

using DayOutput = std::function<std::vector<OutputFile>(const DayProducts&, const OutputContext&)>;

// "FOLDER/NAME" (NAME alone for an empty folder).
std::string pathIn(const std::string& folder, const std::string& name);

// Runs `make` for one file: its bytes, or the reason, made to name the file
// (a `make` that throws, out of memory, is a reason too).
OutputFile makeOutputFile(const std::string& path,
                          const std::function<bool(std::string& bytes, std::string& error)>& make);

}  // namespace qv
