#include "app/plot/plot_tool.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <system_error>

#include "core/version.h"
#include "plot/axes.h"
#include "output/day_files.h"

namespace qv::plot {
namespace {

namespace fs = std::filesystem;

bool parseSize(const std::string& text, int& width, int& height) {
    int w = 0;
    int h = 0;
    char x = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || x != 'x') return false;
    if (w < kMinPlotWidth || h < kMinPlotHeight || w > kMaxPlotSide || h > kMaxPlotSide) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

// The span an option chooses; false for another option.
bool spanOption(const std::string& option, PlotSpan& span) {
    if (option == "--days") {
        span = PlotSpan::Days;
    } else if (option == "--week") {
        span = PlotSpan::Week;
    } else if (option == "--last-24h") {
        span = PlotSpan::Last24Hours;
    } else {
        return false;
    }
    return true;
}

// Checks a value option's value into `options`; false with `error` set.
bool takeValue(const std::string& option, const std::string& value, PlotToolOptions& options,
               std::string& error) {
    if (option == "--format" && !plotFormatFromText(value, options.format)) {
        error = "unknown format \"" + value + "\" (png, svg or pdf)";
        return false;
    }
    if (option == "--out") {
        if (value.empty()) {
            error = "--out needs a folder";
            return false;
        }
        options.outputFolder = value;
    }
    if (option == "--size" && !parseSize(value, options.width, options.height)) {
        error = "invalid size \"" + value + "\" (WIDTHxHEIGHT, " + std::to_string(kMinPlotWidth) +
                "x" + std::to_string(kMinPlotHeight) + " to " + std::to_string(kMaxPlotSide) +
                "x" + std::to_string(kMaxPlotSide) + ")";
        return false;
    }
    if (option == "--wind-scale" && !parseWindScale(value, options.windScaleMax)) {
        error = "invalid wind scale \"" + value + "\" (a speed of 1 to " +
                valueLabel(kMaxWindScale, 1.0) + " m/s)";
        return false;
    }
    if (option == "--temperature-scale" &&
        !parseTemperatureScale(value, options.temperatureScale)) {
        error = "invalid temperature scale \"" + value +
                "\" (LOW:HIGH in degrees C, low below high, within -" +
                valueLabel(kTemperatureScaleLimit, 1.0) + " to " +
                valueLabel(kTemperatureScaleLimit, 1.0) + ")";
        return false;
    }
    return true;
}

}  // namespace

std::string plotToolUsage() {
    return "Usage: quorvane-plot FILE|FOLDER... [--format png|svg|pdf] [--out DIR]\n"
           "                     [--days | --week | --last-24h] [--wind-scale MAX]\n"
           "                     [--temperature-scale LOW:HIGH] [--size WIDTHxHEIGHT]\n"
           "\n"
           "Time-height plots of consensus data files (.w wind files, .t Tv and TvC files)\n"
           "and of Quorvane's netCDF day files (.nc). A folder stands for the day files in it.\n"
           "Winds: one barb per valid gate and period, coloured by speed, one panel per\n"
           "pulse-width mode. Temperature: Tv and TvC shaded, from the day's .t files.\n"
           "The altitude axis spans the gates that hold valid values.\n"
           "\n"
           "  --format F   png (default), svg or pdf\n"
           "  --out DIR    folder for the plots (default: the current folder; made if missing)\n"
           "  --days       consecutive days side by side in one plot (default: a plot per day)\n"
           "  --week       a plot per week of each station: the newest day and the 6 before it,\n"
           "               the 7 days before those, ...; days missing in a week stay blank\n"
           "  --last-24h   a plot per station of the 24 hours ending with its newest period,\n"
           "               across midnight (reads the newest day and the day before)\n"
           "  --wind-scale MAX\n"
           "               wind colours from 0 to MAX m/s (default " +
           valueLabel(kDefaultWindScaleMax, 1.0) +
           "); faster winds take the\n"
           "               top colour\n"
           "  --temperature-scale LOW:HIGH\n"
           "               temperature colours from LOW to HIGH degrees C (default " +
           valueLabel(kDefaultTemperatureScale.low, 1.0) + ":" +
           valueLabel(kDefaultTemperatureScale.high, 1.0) +
           ");\n"
           "               values beyond take the end colours\n"
           "  --size WxH   page size in pixels (PNG) or points (SVG, PDF); default 1600x900\n"
           "  --help       this text\n"
           "  --version    the program's version\n"
           "\n"
           "Every plot of one invocation has the same colour scales, so that plots compare.\n"
           "Plots are named STATION_YYYYMMDD_winds.EXT, STATION_YYYYMMDD_temperature.EXT\n"
           "(STATION_YYYYMMDD-YYYYMMDD_... for several days, STATION_YYYYMMDD_last24h_...\n"
           "for the 24 hours ending on that day); each path written is printed.\n"
           "\n"
           "Exit status: 0 every file read and every plot written; 1 a file could not be read\n"
           "or a plot not written (the others are still made); 2 invalid arguments.\n";
}

bool parsePlotToolArguments(const std::vector<std::string>& arguments, PlotToolOptions& options,
                            std::string& error) {
    options = PlotToolOptions{};
    std::string spanChosen;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        PlotSpan span = PlotSpan::Day;
        if (a == "--help" || a == "-h") {
            options.help = true;
            return true;
        } else if (a == "--version") {
            options.version = true;
            return true;
        } else if (spanOption(a, span)) {
            if (!spanChosen.empty() && spanChosen != a) {
                error = a + " and " + spanChosen + " exclude each other";
                return false;
            }
            spanChosen = a;
            options.span = span;
        } else if (a == "--format" || a == "--out" || a == "--size" || a == "--wind-scale" ||
                   a == "--temperature-scale") {
            if (i + 1 >= arguments.size()) {
                error = a + " needs a value";
                return false;
            }
            if (!takeValue(a, arguments[++i], options, error)) return false;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            options.inputs.push_back(a);
        }
    }
    if (options.inputs.empty()) {
        error = "no files to plot";
        return false;
    }
    return true;
}

int runPlotTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    PlotToolOptions options;
    std::string error;
    if (!parsePlotToolArguments(arguments, options, error)) {
        err << "quorvane-plot: " << error << "\n" << plotToolUsage();
        return kPlotToolBadArguments;
    }
    if (options.help) {
        out << plotToolUsage();
        return kPlotToolDone;
    }
    if (options.version) {
        out << versionLine("quorvane-plot");
        return kPlotToolDone;
    }
    bool failed = false;
    auto report = [&](const std::vector<std::string>& errors) {
        for (const std::string& e : errors) err << "quorvane-plot: " << e << "\n";
        failed = failed || !errors.empty();
    };
    std::vector<std::string> errors;
    const std::vector<std::string> files = dayFilesIn(options.inputs, errors);
    report(errors);
    const DayFileIndex index = indexDayFiles(files);
    report(index.errors);
    if (index.days.empty()) {
        err << "quorvane-plot: nothing to plot\n";
        return kPlotToolFailures;
    }
    std::error_code ec;
    fs::create_directories(options.outputFolder, ec);
    if (ec) {
        err << "quorvane-plot: cannot make the folder " << options.outputFolder << ": "
            << ec.message() << "\n";
        return kPlotToolFailures;
    }

    PlotOptions plotOptions;
    plotOptions.width = options.width;
    plotOptions.height = options.height;
    plotOptions.windScaleMax = options.windScaleMax;
    plotOptions.temperatureScale = options.temperatureScale;
    // The options of one plot: the span's window of its days.
    auto optionsFor = [&](const auto& days) {
        PlotOptions chosen = plotOptions;
        chosen.window = spanWindow(options.span, days);
        return chosen;
    };
    // The plots of one output kind: per station, its day groups in turn,
    // each read, drawn and released before the next.
    auto plotKind = [&](bool winds, auto&& loadAndRender) {
        std::map<std::string, std::vector<std::int64_t>> stations;
        std::map<std::pair<std::string, std::int64_t>, const DayFileSet*> sets;
        for (const DayFileSet& set : index.days) {
            if (winds ? !set.hasWinds() : !set.hasTemperature()) continue;
            stations[set.station].push_back(set.dayNumber);
            sets[{set.station, set.dayNumber}] = &set;
        }
        for (const auto& [station, numbers] : stations) {
            for (const std::vector<std::int64_t>& group : spanGroups(numbers, options.span)) {
                std::vector<const DayFileSet*> chosen;
                for (const std::int64_t day : group) chosen.push_back(sets.at({station, day}));
                const std::string name =
                    spanPlotFileName(station, group, options.span, winds, options.format);
                const std::string path = (fs::path(options.outputFolder) / name).string();
                std::string plotError;
                bool anything = false;
                if (loadAndRender(chosen, path, plotError, anything)) {
                    out << path << "\n";
                } else if (anything) {
                    err << "quorvane-plot: " << path << ": " << plotError << "\n";
                    failed = true;
                }
            }
        }
    };
    plotKind(true, [&](const std::vector<const DayFileSet*>& sets, const std::string& path,
                       std::string& plotError, bool& anything) {
        std::vector<WindDay> selected;
        for (const DayFileSet* set : sets) {
            std::vector<WindDay> modes;
            errors.clear();
            loadWindDays(*set, modes, errors);
            report(errors);
            std::move(modes.begin(), modes.end(), std::back_inserter(selected));
        }
        anything = !selected.empty();
        return anything &&
               renderWindPlot(selected, options.format, path, plotError, optionsFor(selected));
    });
    plotKind(false, [&](const std::vector<const DayFileSet*>& sets, const std::string& path,
                        std::string& plotError, bool& anything) {
        std::vector<TemperatureDay> selected;
        for (const DayFileSet* set : sets) {
            TemperatureDay day;
            errors.clear();
            if (loadTemperatureDay(*set, day, errors)) selected.push_back(std::move(day));
            report(errors);
        }
        anything = !selected.empty();
        return anything && renderTemperaturePlot(selected, options.format, path, plotError,
                                                 optionsFor(selected));
    });
    return failed ? kPlotToolFailures : kPlotToolDone;
}

}  // namespace qv::plot
