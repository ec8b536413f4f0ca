#include "app/engine/engine.h"

#include <optional>

#include "consensus/temperature_consensus.h"
#include "consensus/wind_consensus.h"
#include "core/text.h"
#include "input/ascii_moments.h"
#include "input/binary_moments.h"
#include "output/consensus_file_sink.h"
#include "output/netcdf_file.h"
#include "output/whole_file.h"
#include "plot/plot.h"
#include "plot/plot_tool.h"
#include "qc/continuity.h"

#ifndef QUORVANE_VERSION
#define QUORVANE_VERSION "1.0.0"
#endif

namespace qv {
namespace {

std::string isoStamp(const CalendarTime& t) {
    return formatText("%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                      t.second);
}

// The calendar day of a day's products (all its days share it).
std::optional<CalendarTime> productsDay(const DayProducts& products) {
    if (!products.winds.empty()) return products.winds.front().header.day;
    if (!products.temperature.empty()) return products.temperature.front().header.day;
    return std::nullopt;
}

// True when `later` is the calendar day after `earlier`.
bool consecutive(const DayProducts& earlier, const DayProducts& later) {
    const auto a = productsDay(earlier);
    const auto b = productsDay(later);
    if (!a || !b) return false;
    CalendarTime da = *a, db = *b;
    da.hour = da.minute = da.second = da.milliseconds = 0;
    db.hour = db.minute = db.second = db.milliseconds = 0;
    TimeValue ta = 0, tb = 0;
    if (!calendarToTimeValue(da, ta) || !calendarToTimeValue(db, tb)) return false;
    addTime(ta, TimeUnits::day);
    return ta == tb;
}

// The outputs of a run: the consensus data files always; netCDF files,
// plots and the continuity stage when the run's options ask for them.
// With the continuity stage a day is held back until the next day of the
// run arrives (or the run ends), so that both neighbours take part.
class StandardOutputs : public DayOutputs {
public:
    explicit StandardOutputs(OutputRequest request) : request_(std::move(request)) {
        const OutputOptions& o = request_.options;
        if (o.continuity && !o.continuityLimits.empty()) {
            std::string error;
            // The hosts check the text before a run; a text that fails here
            // leaves the documented defaults.
            parseContinuityLimits(o.continuityLimits, limits_, error);
        }
        if (!o.plotFormat.empty()) {
            plotFormat_ = plot::PlotFormat{};
            if (!plot::plotFormatFromText(o.plotFormat, *plotFormat_)) plotFormat_.reset();
        }
    }

    void takeDay(DayProducts products, OutputReport& report) override {
        if (!request_.options.continuity) {
            writeDay(products, report);
            return;
        }
        if (held_) {
            const DayProducts* after = consecutive(*held_, products) ? &products : nullptr;
            checkHeld(after);
            writeDay(*held_, report);
            before_ = std::move(held_);
        }
        held_ = std::move(products);
    }

    void finish(OutputReport& report) override {
        if (held_) {
            checkHeld(nullptr);
            writeDay(*held_, report);
            held_.reset();
        }
        const std::string& reportPath = request_.options.continuityReportPath;
        if (request_.options.continuity && !reportPath.empty()) {
            std::string error;
            if (writeWholeFile(reportPath, continuityReport_, error)) {
                report.written.push_back(reportPath);
            } else {
                report.unwritten.push_back(reportPath);
            }
        }
    }

private:
    void checkHeld(const DayProducts* after) {
        const DayProducts* before =
            before_ && consecutive(*before_, *held_) ? &*before_ : nullptr;
        const ContinuityResult result = checkContinuity(*held_, limits_, before, after);
        if (held_->winds.empty()) return;
        std::string text = continuityReportText(held_->winds.front().header, result.flagged);
        if (!continuityReport_.empty()) {
            // One header line for the whole report.
            const std::size_t firstLineEnd = text.find('\n');
            text = firstLineEnd == std::string::npos ? std::string() : text.substr(firstLineEnd + 1);
        }
        continuityReport_ += text;
    }

    void writeDay(const DayProducts& products, OutputReport& report) {
        const CalendarTime created = request_.clock();
        writeConsensusFiles(products, request_.outputPath, created, report);
        if (request_.options.netcdf) writeNetcdf(products, created, report);
        if (plotFormat_) writePlots(products, report);
    }

    void writeNetcdf(const DayProducts& products, const CalendarTime& created,
                     OutputReport& report) {
        const std::string& folder = request_.options.netcdfFolder.empty()
                                        ? request_.outputPath
                                        : request_.options.netcdfFolder;
        NetcdfContext context;
        context.version = QUORVANE_VERSION;
        context.history = isoStamp(created) + " " + request_.options.history;
        auto done = [&report](bool ok, const std::string& path, const std::string& error) {
            if (ok) {
                report.written.push_back(path);
            } else {
                report.unwritten.push_back(path);
                report.notes.push_back(error);
            }
        };
        for (const WindDay& day : products.winds) {
            const std::string path = folder + "/" + windNetcdfName(day);
            std::string error;
            done(writeWindNetcdf(day, context, path, error), path, error);
        }
        for (const TemperatureDay& day : products.temperature) {
            const std::string path = folder + "/" + temperatureNetcdfName(day);
            std::string error;
            done(writeTemperatureNetcdf(day, context, path, error), path, error);
        }
    }

    void writePlots(const DayProducts& products, OutputReport& report) {
        auto done = [&report](bool ok, const std::string& path, const std::string& error) {
            if (ok) {
                report.written.push_back(path);
            } else {
                report.unwritten.push_back(path);
                report.notes.push_back(error);
            }
        };
        if (!products.winds.empty()) {
            const DayHeader& h = products.winds.front().header;
            const std::string path = request_.outputPath + "/" +
                                     plot::plotFileName(h.stationName, h.day, h.day, true,
                                                        *plotFormat_);
            std::string error;
            done(plot::renderWindPlot(products.winds, *plotFormat_, path, error), path, error);
        }
        for (const TemperatureDay& day : products.temperature) {
            const DayHeader& h = day.header;
            const std::string path = request_.outputPath + "/" +
                                     plot::plotFileName(h.stationName, h.day, h.day, false,
                                                        *plotFormat_);
            std::string error;
            done(plot::renderTemperaturePlot({day}, *plotFormat_, path, error), path, error);
        }
    }

    OutputRequest request_;
    ContinuityLimits limits_;
    std::optional<plot::PlotFormat> plotFormat_;
    std::optional<DayProducts> before_;
    std::optional<DayProducts> held_;
    std::string continuityReport_;
};

}  // namespace

std::unique_ptr<DayOutputs> standardOutputs(const OutputRequest& request) {
    return std::make_unique<StandardOutputs>(request);
}

ProcessingSteps standardSteps() {
    ProcessingSteps steps;
    steps.readAscii = GetAsciiMoments;
    steps.readBinary = GetBinaryMoments;
    steps.windConsensus = runWindConsensus;
    steps.temperatureConsensus = runTemperatureConsensus;
    steps.outputs = standardOutputs;
    return steps;
}

}  // namespace qv
