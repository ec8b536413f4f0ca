#include "plot/plot_tool.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "output/netcdf_file.h"
#include "plot/axes.h"

namespace qv::plot {
namespace {

namespace fs = std::filesystem;

std::string stationKey(const DayHeader& header) {
    std::string key = header.stationName.substr(0, 3);
    for (char& c : key) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!safe) c = '_';
    }
    return key.empty() ? "_" : key;
}

bool dayKeyOf(const DayHeader& header, DayKey& key, std::string& error) {
    const CalendarTime& d = header.day;
    if (!isCalendarDate(d.year, d.month, d.day)) {
        error = "no valid date in the header (" + isoDate(d) + ")";
        return false;
    }
    key.station = stationKey(header);
    key.day = static_cast<long>(civilDayNumber(d.year, d.month, d.day));
    return true;
}

// A period of a temperature day with the given key, made (with missing
// temperatures) when the day lacks it.
TemperaturePeriod& periodFor(TemperatureDay& day, const char* key) {
    for (TemperaturePeriod& period : day.periods) {
        if (std::equal(period.key, period.key + 4, key)) return period;
    }
    TemperaturePeriod& added = day.periods.emplace_back();
    std::copy(key, key + 5, added.key);
    return added;
}

// Copies the Tv (digit 1) or TvC (digit 2) of `from` into `into`, gate by
// gate; a gate `into` lacks is taken whole with the other value missing.
void mergeTemperature(const TemperatureDay& from, int digit, TemperatureDay& into) {
    for (const TemperaturePeriod& period : from.periods) {
        TemperaturePeriod& target = periodFor(into, period.key);
        for (std::size_t g = 0; g < period.gates.size(); ++g) {
            const TemperatureGate& gate = period.gates[g];
            if (g >= target.gates.size()) {
                TemperatureGate added = gate;
                if (digit == 1) added.tvc = kMissingCode;
                if (digit == 2) added.tv = kMissingCode;
                target.gates.push_back(added);
            } else if (digit == 1) {
                target.gates[g].tv = gate.tv;
            } else {
                target.gates[g].tvc = gate.tvc;
            }
        }
    }
    std::sort(into.periods.begin(), into.periods.end(),
              [](const TemperaturePeriod& a, const TemperaturePeriod& b) {
                  return periodKeyMinutes(a.key) < periodKeyMinutes(b.key);
              });
}

// Files named like consensus data files (".w1a", ".t2b", ...) or netCDF.
bool looksLikeDayFile(const fs::path& path) {
    const std::string extension = path.extension().string();
    if (extension == ".nc") return true;
    return extension.size() >= 3 && (extension[1] == 'w' || extension[1] == 't') &&
           extension[2] >= '0' && extension[2] <= '9';
}

// The input files: the files named, and in each folder named the day files
// it holds, sorted by name.
std::vector<std::string> expandInputs(const std::vector<std::string>& inputs, std::ostream& err,
                                      bool& failed) {
    std::vector<std::string> files;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (!fs::is_directory(input, ec)) {
            files.push_back(input);
            continue;
        }
        std::vector<std::string> found;
        for (const fs::directory_entry& entry : fs::directory_iterator(input, ec)) {
            std::error_code typeError;
            if (entry.is_regular_file(typeError) && looksLikeDayFile(entry.path())) {
                found.push_back(entry.path().string());
            }
        }
        if (ec) {
            err << "quorvane-plot: " << input << ": " << ec.message() << "\n";
            failed = true;
        } else if (found.empty()) {
            err << "quorvane-plot: " << input << ": no consensus data files or netCDF files\n";
            failed = true;
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

bool readDayFile(const std::string& path, ConsensusFileContents& contents, std::string& error) {
    if (fs::path(path).extension() == ".nc") {
        return readNetcdfDay(path, contents, error);
    }
    ConsensusFileRead read = readConsensusFile(path);
    if (!read.ok) {
        error = read.error;
        return false;
    }
    contents = std::move(read.contents);
    return true;
}

CalendarTime dateOf(long dayNumber) {
    // Civil from days (H. Hinnant's algorithm).
    const long z = dayNumber + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long day = doy - (153 * mp + 2) / 5 + 1;
    const long month = mp < 10 ? mp + 3 : mp - 9;
    const long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    CalendarTime date;
    date.year = static_cast<std::uint16_t>(year);
    date.month = static_cast<std::uint16_t>(month);
    date.day = static_cast<std::uint16_t>(day);
    return date;
}

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

}  // namespace

std::string plotToolUsage() {
    return "Usage: quorvane-plot FILE|FOLDER... [--format png|svg|pdf] [--out DIR] [--days]\n"
           "                     [--size WIDTHxHEIGHT]\n"
           "\n"
           "Time-height plots of consensus data files (.w wind files, .t Tv and TvC files)\n"
           "and of Quorvane's netCDF day files (.nc). A folder stands for the day files in it.\n"
           "Winds: one barb per valid gate and period, coloured by speed, one panel per\n"
           "pulse-width mode. Temperature: Tv and TvC shaded, from the day's .t files.\n"
           "\n"
           "  --format F   png (default), svg or pdf\n"
           "  --out DIR    folder for the plots (default: the current folder; made if missing)\n"
           "  --days       consecutive days side by side in one plot (default: a plot per day)\n"
           "  --size WxH   page size in pixels (PNG) or points (SVG, PDF); default 1600x900\n"
           "  --help       this text\n"
           "\n"
           "Plots are named STATION_YYYYMMDD_winds.EXT, STATION_YYYYMMDD_temperature.EXT\n"
           "(STATION_YYYYMMDD-YYYYMMDD_... for several days); each path written is printed.\n"
           "\n"
           "Exit status: 0 every file read and every plot written; 1 a file could not be read\n"
           "or a plot not written (the others are still made); 2 invalid arguments.\n";
}

bool parsePlotToolArguments(const std::vector<std::string>& arguments, PlotToolOptions& options,
                            std::string& error) {
    options = PlotToolOptions{};
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (a == "--help" || a == "-h") {
            options.help = true;
            return true;
        } else if (a == "--days") {
            options.joinDays = true;
        } else if (a == "--format" || a == "--out" || a == "--size") {
            if (!hasValue) {
                error = a + " needs a value";
                return false;
            }
            const std::string& value = arguments[++i];
            if (a == "--format" && !plotFormatFromText(value, options.format)) {
                error = "unknown format \"" + value + "\" (png, svg or pdf)";
                return false;
            }
            if (a == "--out") {
                if (value.empty()) {
                    error = "--out needs a folder";
                    return false;
                }
                options.outputFolder = value;
            }
            if (a == "--size" && !parseSize(value, options.width, options.height)) {
                error = "invalid size \"" + value + "\" (WIDTHxHEIGHT, " +
                        std::to_string(kMinPlotWidth) + "x" + std::to_string(kMinPlotHeight) +
                        " to " + std::to_string(kMaxPlotSide) + "x" +
                        std::to_string(kMaxPlotSide) + ")";
                return false;
            }
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

bool addDayContents(const ConsensusFileContents& contents, CollectedDays& days,
                    std::string& error) {
    if (contents.kind == OutputKind::Winds) {
        DayKey key;
        if (!dayKeyOf(contents.winds.header, key, error)) return false;
        std::vector<WindDay>& modes = days.winds[key];
        const int mode = contents.winds.header.variant;
        for (const WindDay& day : modes) {
            if (day.header.variant == mode) {
                error = "mode " + std::to_string(mode) + " of " + key.station + " " +
                        isoDate(contents.winds.header.day) + " already read; file skipped";
                return false;
            }
        }
        modes.push_back(contents.winds);
        std::sort(modes.begin(), modes.end(), [](const WindDay& a, const WindDay& b) {
            return a.header.variant < b.header.variant;
        });
        return true;
    }
    if (contents.kind == OutputKind::Temperature) {
        DayKey key;
        if (!dayKeyOf(contents.temperature.header, key, error)) return false;
        const int digit = contents.temperatureDigit;
        auto found = days.temperature.find(key);
        if (found == days.temperature.end()) {
            TemperatureDay day = contents.temperature;
            // The header's digit records which temperatures the day holds:
            // 1 Tv, 2 TvC, 3 both.
            day.header.variant = static_cast<std::int16_t>(digit == 0 ? 3 : digit);
            days.temperature.emplace(key, std::move(day));
            return true;
        }
        TemperatureDay& day = found->second;
        const int held = day.header.variant;
        const int adding = digit == 0 ? 3 : digit;
        if ((held & adding) != 0) {
            error = std::string(adding == 1 ? "Tv" : adding == 2 ? "TvC" : "Tv and TvC") +
                    " of " + key.station + " " + isoDate(day.header.day) +
                    " already read; file skipped";
            return false;
        }
        if (digit == 0) {
            mergeTemperature(contents.temperature, 1, day);
            mergeTemperature(contents.temperature, 2, day);
        } else {
            mergeTemperature(contents.temperature, digit, day);
        }
        day.header.variant = static_cast<std::int16_t>(held | adding);
        return true;
    }
    error = "neither winds nor temperature";
    return false;
}

std::vector<std::vector<long>> plotGroups(const std::vector<long>& dayNumbers, bool joinDays) {
    std::vector<long> sorted = dayNumbers;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::vector<std::vector<long>> groups;
    for (const long day : sorted) {
        const bool extends = joinDays && !groups.empty() && groups.back().back() + 1 == day &&
                             groups.back().size() < static_cast<std::size_t>(kMaxPlotDays);
        if (extends) {
            groups.back().push_back(day);
        } else {
            groups.push_back({day});
        }
    }
    return groups;
}

std::string plotFileName(const std::string& station, const CalendarTime& first,
                         const CalendarTime& last, bool winds, PlotFormat format) {
    auto compact = [](const CalendarTime& d) {
        char text[16];
        std::snprintf(text, sizeof text, "%04u%02u%02u", unsigned{d.year}, unsigned{d.month},
                      unsigned{d.day});
        return std::string(text);
    };
    std::string dates = compact(first);
    if (first.year != last.year || first.month != last.month || first.day != last.day) {
        dates += "-" + compact(last);
    }
    return station + "_" + dates + (winds ? "_winds" : "_temperature") +
           plotFormatExtension(format);
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
    bool failed = false;
    CollectedDays days;
    for (const std::string& path : expandInputs(options.inputs, err, failed)) {
        ConsensusFileContents contents;
        if (!readDayFile(path, contents, error)) {
            err << "quorvane-plot: " << error << "\n";
            failed = true;
        } else if (!addDayContents(contents, days, error)) {
            err << "quorvane-plot: " << path << ": " << error << "\n";
            failed = true;
        }
    }
    if (days.winds.empty() && days.temperature.empty()) {
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
    // Plots of one output kind: per station, the day groups in turn.
    auto plotKind = [&](const auto& byDay, bool winds, auto&& render) {
        std::map<std::string, std::vector<long>> stations;
        for (const auto& entry : byDay) stations[entry.first.station].push_back(entry.first.day);
        for (const auto& [station, numbers] : stations) {
            for (const std::vector<long>& group : plotGroups(numbers, options.joinDays)) {
                const std::string name = plotFileName(station, dateOf(group.front()),
                                                      dateOf(group.back()), winds, options.format);
                const std::string path = (fs::path(options.outputFolder) / name).string();
                std::string plotError;
                if (render(station, group, path, plotError)) {
                    out << path << "\n";
                } else {
                    err << "quorvane-plot: " << path << ": " << plotError << "\n";
                    failed = true;
                }
            }
        }
    };
    plotKind(days.winds, true,
             [&](const std::string& station, const std::vector<long>& group,
                 const std::string& path, std::string& plotError) {
                 std::vector<WindDay> selected;
                 for (const long day : group) {
                     const std::vector<WindDay>& modes = days.winds.at(DayKey{station, day});
                     selected.insert(selected.end(), modes.begin(), modes.end());
                 }
                 return renderWindPlot(selected, options.format, path, plotError, plotOptions);
             });
    plotKind(days.temperature, false,
             [&](const std::string& station, const std::vector<long>& group,
                 const std::string& path, std::string& plotError) {
                 std::vector<TemperatureDay> selected;
                 for (const long day : group) {
                     selected.push_back(days.temperature.at(DayKey{station, day}));
                 }
                 return renderTemperaturePlot(selected, options.format, path, plotError,
                                              plotOptions);
             });
    return failed ? kPlotToolFailures : kPlotToolDone;
}

}  // namespace qv::plot
