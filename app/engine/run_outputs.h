// The outputs and stages a run is asked for, as typed values: a bad value
// is refused where it is given (the batch tool's options, the dialog), so
// the engine never meets a text to parse. All off by default; with all off
// every consensus file byte is what the consensus alone gives.
#pragma once

#include <optional>
#include <string>

#include "core/time.h"
#include "output/bufr_settings.h"
#include "plot/cairo_painter.h"
#include "plot/layout.h"
#include "plot/web_site.h"
#include "qc/continuity.h"

namespace qv {

struct RunOutputs {
    bool netcdf = false;                         // netCDF-CF day files
    std::string netcdfFolder;                    // empty: the output folder
    std::optional<plot::PlotFormat> plotFormat;  // time-height plots
    std::optional<ContinuityLimits> continuity;  // the continuity check, with its limits
    std::string continuityReportPath;            // the gates it flagged; empty: none
    bool bufr = false;                           // WMO BUFR day files
    BufrSettings bufrSettings;                   // station, centre, temperature of BUFR
    std::string bufrOutboxFolder;                // a BUFR file per period; empty: none
    TimeValue bufrOutboxAfter = 0;               // periods ending after this data time; 0: all
    std::optional<plot::WebOptions> web;         // the station's web site
    // One colour scale for every plot of the run (plot files and web site).
    double windScaleMax = plot::kDefaultWindScaleMax;
    plot::TemperatureRange temperatureScale = plot::kDefaultTemperatureScale;
    // How the run was asked for (the command line or the dialog's
    // settings), for the netCDF files' history.
    std::string history;
};

}  // namespace qv
