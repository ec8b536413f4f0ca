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
#include "core/version.h"
#include "consensus/wind_consensus.h"
#include "input/ascii_moments.h"
#include "input/binary_moments.h"
#include "output/bufr_output.h"
#include "output/consensus_file_sink.h"
#include "output/netcdf_output.h"
#include "output/whole_file.h"
#include "plot/plot.h"
#include "plot/web_site.h"


namespace qv {
namespace {

// The calendar day of a day's products (all its days share it).
std::optional<std::int64_t> productsDay(const DayProducts& products) {
    const DayHeader* h = !products.winds.empty()         ? &products.winds.front().header
                         : !products.temperature.empty() ? &products.temperature.front().header
                                                         : nullptr;
    if (!h || !isCalendarDate(h->day.year, h->day.month, h->day.day)) return std::nullopt;
    return civilDayNumber(h->day.year, h->day.month, h->day.day);
}

// True when `later` is the calendar day after `earlier`.
bool consecutive(const DayProducts& earlier, const DayProducts& later) {
    const auto a = productsDay(earlier);
    const auto b = productsDay(later);
    return a && b && *a + 1 == *b;
}

using FileReports = std::vector<std::future<FileReport>>;

// The consensus and the outputs of a run. With the continuity stage a day
// is held back until the next day of the run arrives (or the run ends), so
// that both neighbours take part.
//
// A day's files are made on a maker thread while the worker reads and
// averages the next days, and each file made is written whole on a writer
// thread: the maker only computes, the writer waits for the disk, and a
// disk slow to flush no longer holds the worker up. At most two days are in
// flight, so a slow disk holds the worker back rather than piling up days
// in memory. What a day wrote, or could not write, is reported once all of
// its files are done and in the run's day order, output by output: the
// report comes out as if every file had been written in turn, nothing is
// reported before it is whole, and the run's end (done or cancelled) waits
// for every day handed over.
class StandardStages : public DayStages {
public:
    StandardStages(ConsensusSteps consensus, std::vector<ChosenOutput> outputs, RunOutputs options,
                   UtcClock clock)
        : consensus_(std::move(consensus)),
          outputs_(std::move(outputs)),
          options_(std::move(options)),
          clock_(clock ? std::move(clock) : UtcClock(systemUtcNow)) {}

    bool processDay(ConsensusJob& job, OutputKind kind, FileReport& report) override {
        DayProducts products;
        if (kind == OutputKind::Winds && consensus_.winds) products = consensus_.winds(job);
        if (kind == OutputKind::Temperature && consensus_.temperature) {
            products = consensus_.temperature(job);
        }
        const bool made = !products.empty();
        takeDay(std::make_shared<DayProducts>(std::move(products)), report);
        return made;
    }

    void finish(FileReport& report) override {
        if (held_) {
            checkHeld(nullptr);
            writeDay(held_, report);
            held_.reset();
        }
        release(report, true);
        // Files over all days, once every day's files are whole: each
        // written whole, in the output's order.
        for (const ChosenOutput& output : outputs_) {
            if (!output.finish) continue;
            OutputContext context = makeContext();
            context.folder = output.folder;
            std::vector<OutputFile> files;
            try {
                files = output.finish(context);
            } catch (const std::exception& e) {
                report.lost(output.folder, std::string("could not be made (") + e.what() + ")");
            }
            for (OutputFile& file : files) report.append(write(std::move(file)).get());
        }
        const std::string& reportPath = options_.continuityReportPath;
        if (options_.continuity && !reportPath.empty()) {
            std::string error;
            if (writeWholeFile(reportPath, continuityReport_, error)) {
                report.written.push_back(reportPath);
            } else {
                report.lost(reportPath, error);
            }
        }
    }

private:
    void takeDay(std::shared_ptr<DayProducts> day, FileReport& report) {
        if (!options_.continuity) {
            writeDay(std::move(day), report);
        } else {
            if (held_) {
                checkHeld(consecutive(*held_, *day) ? day.get() : nullptr);
                writeDay(held_, report);
                before_ = std::move(held_);
            }
            held_ = std::move(day);
        }
        release(report, false);
    }

    void checkHeld(const DayProducts* after) {
        const DayProducts* before =
            before_ && consecutive(*before_, *held_) ? before_.get() : nullptr;
        const ContinuityResult result = checkContinuity(*held_, *options_.continuity, before, after);
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

    // A day handed over: its files, once the maker has made them, each
    // with the future of its write.
    struct DayInFlight {
        std::future<FileReports> made;
        FileReports files;

        static bool ready(const std::future<FileReport>& f) {
            return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        }
        bool done() {
            if (made.valid()) {
                if (made.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                    return false;
                }
                files = made.get();
            }
            return std::all_of(files.begin(), files.end(), ready);
        }
    };

    // Hands over the report of the oldest day in flight, waiting for its
    // files.
    void releaseOldest(FileReport& report) {
        DayInFlight& day = inFlight_.front();
        if (day.made.valid()) day.files = day.made.get();
        for (std::future<FileReport>& file : day.files) report.append(file.get());
        inFlight_.pop_front();
    }

    // Hands over the days at the front whose files are all done; with
    // `all`, every day, waiting for them.
    void release(FileReport& report, bool all) {
        while (!inFlight_.empty() && (all || inFlight_.front().done())) releaseOldest(report);
    }

    void writeDay(std::shared_ptr<const DayProducts> products, FileReport& report) {
        while (inFlight_.size() >= kDaysInFlight) releaseOldest(report);
        inFlight_.emplace_back().made = maker_.post([this, products, context = makeContext()]() mutable {
            FileReports files;
            for (const ChosenOutput& output : outputs_) {
                context.folder = output.folder;
                std::vector<OutputFile> made;
                try {
                    made = output.make(*products, context);
                } catch (const std::exception& e) {
                    // Out of memory while making a day's files: the day's
                    // other outputs are still tried.
                    OutputFile lost;
                    lost.path = output.folder;
                    lost.error = std::string("the day's files could not be made (") + e.what() + ")";
                    made.push_back(std::move(lost));
                }
                for (OutputFile& file : made) {
                    if (file.made()) context.dayFiles.push_back(file.path);
                    files.push_back(write(std::move(file)));
                }
            }
            return files;
        });
    }

    OutputContext makeContext() const {
        OutputContext context;
        context.created = clock_();
        context.history = options_.history;
        context.version = kVersion;
        return context;
    }

    // Hands a made file to the writer to be written whole; a file that could
    // not be made is reported at once.
    std::future<FileReport> write(OutputFile file) {
        if (!file.made()) {
            std::promise<FileReport> lost;
            FileReport report;
            report.lost(file.path, file.error);
            lost.set_value(std::move(report));
            return lost.get_future();
        }
        return writer_.post([file = std::move(file)] {
            FileReport report;
            try {
                writeOutputFiles({file}, report);
            } catch (const std::exception& e) {
                report.lost(file.path, std::string("could not be written (") + e.what() + ")");
            }
            return report;
        });
    }

    ConsensusSteps consensus_;
    std::vector<ChosenOutput> outputs_;
    RunOutputs options_;
    UtcClock clock_;
    std::shared_ptr<DayProducts> before_;
    std::shared_ptr<DayProducts> held_;
    std::string continuityReport_;
    // The days handed to the threads, oldest first.
    std::deque<DayInFlight> inFlight_;
    // Last, so that they end (their tasks done) before what those use goes;
    // the maker ends first, since it hands files to the writer.
    WriterThread writer_;
    WriterThread maker_;
};

}  // namespace

ConsensusSteps standardConsensus() {
    return {runWindConsensus, runTemperatureConsensus};
}

std::vector<ChosenOutput> chosenOutputs(const std::string& outputFolder, const RunOutputs& outputs) {
    std::vector<ChosenOutput> chosen;
    chosen.push_back({consensusFiles, outputFolder});
    if (outputs.netcdf) {
        chosen.push_back(
            {netcdfFiles, outputs.netcdfFolder.empty() ? outputFolder : outputs.netcdfFolder});
    }
    plot::PlotOptions plotOptions;
    plotOptions.windScaleMax = outputs.windScaleMax;
    plotOptions.temperatureScale = outputs.temperatureScale;
    if (outputs.plotFormat) {
        chosen.push_back({plot::plotOutput(*outputs.plotFormat, plotOptions), outputFolder});
    }
    if (outputs.bufr) chosen.push_back({bufrFiles(outputs.bufrSettings), outputFolder});
    if (!outputs.bufrOutboxFolder.empty()) {
        chosen.push_back({bufrOutbox(outputs.bufrSettings, outputs.bufrOutboxAfter),
                          outputs.bufrOutboxFolder});
    }
    // The web site last: its day pages link the files the outputs above made.
    if (outputs.web) {
        plot::WebOptions web = *outputs.web;
        web.windScaleMax = outputs.windScaleMax;
        web.temperatureRange = outputs.temperatureScale;
        auto site = std::make_shared<plot::WebSite>(web);
        chosen.push_back({[site](const DayProducts& products, const OutputContext& context) {
                              return site->day(products, context);
                          },
                          outputs.web->folder,
                          [site](const OutputContext& context) { return site->finish(context); }});
    }
    return chosen;
}

ProcessingSteps standardSteps(const RunOutputs& outputs) {
    return standardSteps(outputs, standardConsensus());
}

ProcessingSteps standardSteps(const RunOutputs& outputs, ConsensusSteps consensus) {
    // On the thread that sets the run up, before the run's threads exist.
    if (outputs.bufr || !outputs.bufrOutboxFolder.empty()) prepareBufr();
    ProcessingSteps steps;
    steps.readAscii = GetAsciiMoments;
    steps.readBinary = GetBinaryMoments;
    steps.stages = [outputs, consensus](const ConsensusJob& job) -> std::unique_ptr<DayStages> {
        return std::make_unique<StandardStages>(
            consensus, chosenOutputs(job.params.outputPath, outputs), outputs, job.clock);
    };
    return steps;
}

}  // namespace qv
