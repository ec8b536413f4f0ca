// The outputs and stages a run is asked for, as typed values: a bad value
// is refused where it is given (the batch tool's options, the dialog), so
// the engine never meets a text to parse. All off by default; with all off
// every consensus file byte is what the consensus alone gives.
#pragma once

#include <optional>
#include <string>

#include "plot/cairo_painter.h"
#include "qc/continuity.h"

namespace qv {

struct RunOutputs {
    bool netcdf = false;                         // netCDF-CF day files
    std::string netcdfFolder;                    // empty: the output folder
    std::optional<plot::PlotFormat> plotFormat;  // time-height plots
    std::optional<ContinuityLimits> continuity;  // the continuity check, with its limits
    std::string continuityReportPath;            // the gates it flagged; empty: none
    // How the run was asked for (the command line or the dialog's
    // settings), for the netCDF files' history.
    std::string history;
};

}  // namespace qv
