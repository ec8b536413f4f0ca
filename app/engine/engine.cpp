#include "app/engine/engine.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <optional>

#include "app/engine/writer_thread.h"
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

// Appends `from` to `to`, in order.
void appendReport(OutputReport& to, OutputReport&& from) {
    auto move = [](std::vector<std::string>& a, std::vector<std::string>& b) {
        a.insert(a.end(), std::make_move_iterator(b.begin()), std::make_move_iterator(b.end()));
    };
    move(to.written, from.written);
    move(to.unwritten, from.unwritten);
    move(to.notes, from.notes);
}

// Records one optional file's result; a writer that throws (out of memory)
// leaves the file unwritten with the reason, and the run goes on.
template <typename Write>
void writeOptional(const std::string& path, OutputReport& report, Write&& write) {
    std::string error;
    bool ok = false;
    try {
        ok = write(error);
    } catch (const std::exception& e) {
        error = path + ": could not be written (" + e.what() + ")";
    }
    if (ok) {
        report.written.push_back(path);
    } else {
        report.unwritten.push_back(path);
        report.notes.push_back(error.empty() ? path + ": could not be written" : error);
    }
}

// The outputs of a run: the consensus data files always; netCDF files,
// plots and the continuity stage when the run's options ask for them.
// With the continuity stage a day is held back until the next day of the
// run arrives (or the run ends), so that both neighbours take part.
//
// A day's files are made on writer threads while the worker reads and
// averages the next days: its consensus data files on one (formatting them
// and flushing them to the disk is a tenth of a binary run, and a disk slow
// to flush no longer holds the worker up), its netCDF files and plots on
// the other (a few milliseconds each, mostly the libraries' own work). At
// most two days are in flight, so a slow disk holds the worker back rather
// than piling up days in memory. What a day wrote, or could not write, is
// reported once all of its files are done and in the run's day order, the
// consensus files first: the written and unwritten lists come out as if
// every file had been written in turn, nothing is reported before it is
// whole, and the run's end (done or cancelled) waits for every day handed
// over.
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
        auto day = std::make_shared<DayProducts>(std::move(products));
        if (!request_.options.continuity) {
            writeDay(std::move(day), report);
        } else {
            if (held_) {
                const DayProducts* after = consecutive(*held_, *day) ? day.get() : nullptr;
                checkHeld(after);
                writeDay(held_, report);
                before_ = std::move(held_);
            }
            held_ = std::move(day);
        }
        release(report, false);
    }

    void finish(OutputReport& report) override {
        if (held_) {
            checkHeld(nullptr);
            writeDay(held_, report);
            held_.reset();
        }
        release(report, true);
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
            before_ && consecutive(*before_, *held_) ? before_.get() : nullptr;
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

    static constexpr std::size_t kDaysInFlight = 2;

    // A day handed over. Its consensus files are formatted and written on
    // the file writer. Its netCDF files and plots are made in memory on the
    // product writer, which hands each file to the file writer to be
    // written whole: the product writer only computes, the file writer
    // waits for the disk.
    using FileReports = std::vector<std::future<OutputReport>>;
    struct DayInFlight {
        std::future<OutputReport> consensus;
        std::future<FileReports> products;  // none without netCDF and plots
        FileReports files;                  // taken from `products` once made

        static bool ready(const std::future<OutputReport>& f) {
            return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        }
        bool done() {
            if (!ready(consensus)) return false;
            if (products.valid()) {
                if (products.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                    return false;
                }
                files = products.get();
            }
            return std::all_of(files.begin(), files.end(), ready);
        }
    };

    // Hands over the report of the oldest day in flight, once its files
    // are all done.
    void releaseOldest(OutputReport& report) {
        DayInFlight& day = inFlight_.front();
        appendReport(report, day.consensus.get());
        if (day.products.valid()) day.files = day.products.get();
        for (std::future<OutputReport>& file : day.files) appendReport(report, file.get());
        inFlight_.pop_front();
    }

    // Hands over the days at the front whose files are all done; with
    // `all`, every day, waiting for them.
    void release(OutputReport& report, bool all) {
        while (!inFlight_.empty() && (all || inFlight_.front().done())) releaseOldest(report);
    }

    void writeDay(std::shared_ptr<const DayProducts> products, OutputReport& report) {
        while (inFlight_.size() >= kDaysInFlight) releaseOldest(report);
        const CalendarTime created = request_.clock();
        DayInFlight& day = inFlight_.emplace_back();
        day.consensus = fileWriter_.post([this, products, created] {
            OutputReport written;
            writeConsensusFiles(*products, request_.outputPath, created, written);
            return written;
        });
        if (!request_.options.netcdf && !plotFormat_) return;
        day.products = productWriter_.post([this, products, created] {
            FileReports files;
            if (request_.options.netcdf) makeNetcdf(*products, created, files);
            if (plotFormat_) makePlots(*products, files);
            return files;
        });
    }

    // One file made in memory: handed to the file writer to be written
    // whole, or, when it could not be made, its failure at once.
    void handOver(const std::string& path, bool made, std::string bytes, std::string error,
                  FileReports& files) {
        if (!made) {
            OutputReport report;
            report.unwritten.push_back(path);
            // The reason names the file (a plot's reasons do not).
            report.notes.push_back(error.empty()                ? path + ": could not be made"
                                   : error.rfind(path, 0) == 0 ? error
                                                               : path + ": " + error);
            std::promise<OutputReport> failed;
            failed.set_value(std::move(report));
            files.push_back(failed.get_future());
            return;
        }
        files.push_back(fileWriter_.post([path, bytes = std::move(bytes)] {
            OutputReport report;
            writeOptional(path, report, [&](std::string& why) {
                return writeWholeFile(path, bytes, why);
            });
            return report;
        }));
    }

    // Makes a file's bytes with `make`, which may throw (out of memory).
    template <typename Make>
    void makeFile(const std::string& path, FileReports& files, Make&& make) {
        std::string bytes, error;
        bool made = false;
        try {
            made = make(bytes, error);
        } catch (const std::exception& e) {
            error = path + ": could not be made (" + e.what() + ")";
        }
        handOver(path, made, std::move(bytes), std::move(error), files);
    }

    void makeNetcdf(const DayProducts& products, const CalendarTime& created,
                    FileReports& files) {
        const std::string& folder = request_.options.netcdfFolder.empty()
                                        ? request_.outputPath
                                        : request_.options.netcdfFolder;
        NetcdfContext context;
        context.version = QUORVANE_VERSION;
        context.history = isoStamp(created) + " " + request_.options.history;
        for (const WindDay& day : products.winds) {
            const std::string path = folder + "/" + windNetcdfName(day);
            makeFile(path, files, [&](std::string& bytes, std::string& error) {
                return makeWindNetcdf(day, context, path, bytes, error);
            });
        }
        for (const TemperatureDay& day : products.temperature) {
            const std::string path = folder + "/" + temperatureNetcdfName(day);
            makeFile(path, files, [&](std::string& bytes, std::string& error) {
                return makeTemperatureNetcdf(day, context, path, bytes, error);
            });
        }
    }

    void makePlots(const DayProducts& products, FileReports& files) {
        if (!products.winds.empty()) {
            const DayHeader& h = products.winds.front().header;
            const std::string path = request_.outputPath + "/" +
                                     plot::plotFileName(h.stationName, h.day, h.day, true,
                                                        *plotFormat_);
            makeFile(path, files, [&](std::string& bytes, std::string& error) {
                return plot::renderWindBytes(products.winds, *plotFormat_, bytes, error);
            });
        }
        for (const TemperatureDay& day : products.temperature) {
            const DayHeader& h = day.header;
            const std::string path = request_.outputPath + "/" +
                                     plot::plotFileName(h.stationName, h.day, h.day, false,
                                                        *plotFormat_);
            makeFile(path, files, [&](std::string& bytes, std::string& error) {
                return plot::renderTemperatureBytes({day}, *plotFormat_, bytes, error);
            });
        }
    }

    OutputRequest request_;
    ContinuityLimits limits_;
    std::optional<plot::PlotFormat> plotFormat_;
    std::shared_ptr<DayProducts> before_;
    std::shared_ptr<DayProducts> held_;
    std::string continuityReport_;
    // The days handed to the writers, oldest first.
    std::deque<DayInFlight> inFlight_;
    // Last, so that they end (their tasks done) before what those use goes;
    // the product writer ends first, since it hands files to the file writer.
    WriterThread fileWriter_;
    WriterThread productWriter_;
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
