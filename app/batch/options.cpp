#include "app/batch/options.h"

#include <cstdlib>
#include <limits>
#include <map>

#include "core/numbers.h"
#include "core/run_rules.h"
#include "core/settings_csv.h"
#include "core/text.h"
#include "plot/plot.h"
#include "plot/plot_span.h"
#include "qc/continuity.h"

namespace qv::batch {
namespace {

constexpr int kFirstYear = 1995;            // first entry of the dialog's year lists

bool allDigits(const std::string& s, std::size_t from, std::size_t count) {
    if (from + count > s.size()) return false;
    for (std::size_t i = from; i < from + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    return true;
}

// YYYY-MM-DD; months and days of one or two digits are accepted.
bool parseDate(const std::string& text, DateText& out) {
    const std::size_t dash1 = text.find('-');
    if (dash1 != 4 || !allDigits(text, 0, 4)) return false;
    const std::size_t dash2 = text.find('-', dash1 + 1);
    if (dash2 == std::string::npos) return false;
    const std::size_t monthLen = dash2 - dash1 - 1;
    const std::size_t dayLen = text.size() - dash2 - 1;
    if (monthLen < 1 || monthLen > 2 || dayLen < 1 || dayLen > 2) return false;
    if (!allDigits(text, dash1 + 1, monthLen) || !allDigits(text, dash2 + 1, dayLen)) return false;
    out.year = std::atoi(text.substr(0, 4).c_str());
    out.month = std::atoi(text.substr(dash1 + 1, monthLen).c_str());
    out.day = std::atoi(text.substr(dash2 + 1, dayLen).c_str());
    return true;
}

std::string invalidValue(const std::string& option, const std::string& value,
                         const char* expected) {
    return "Invalid value for " + option + ": '" + value + "' (" + expected + ").";
}

bool dateExists(const DateText& d) {
    CalendarTime c = calendarDate(d);
    TimeValue ignored = 0;
    return calendarToTimeValue(c, ignored);
}

// Whether a year, month and day can be chosen in the dialog's lists (the
// day lists hold 1 to 31 for every month); the dialog's texts.
std::string checkDateLists(const std::optional<DateText>& date, const char* which,
                           int currentYear) {
    if (!date || date->year < kFirstYear || date->year > currentYear) {
        return formatText("Invalid %s year.", which);
    }
    if (date->month < 1 || date->month > 12) return formatText("Invalid %s month.", which);
    if (date->day < 1 || date->day > 31) return formatText("Invalid %s day.", which);
    return {};
}

// A consensus default threshold: a whole number of percent of the beam's
// samples from 1 to 100. (A window is finite once read, and
// checkConsensusWindow asks for more than 0.)
std::string checkThresholdRange(std::int64_t percent) {
    if (percent < kMinConsensusPercent || percent > kMaxConsensusPercent) {
        return formatText("The consensus threshold must be a whole number from %d to %d %%.",
                          kMinConsensusPercent, kMaxConsensusPercent);
    }
    return {};
}

TimeValue dateValue(const DateText& d) {
    TimeValue value = 0;
    calendarToTimeValue(calendarDate(d), value);
    return value;
}

enum class Opt {
    Begin, End, Input, Output, Minutes, InputType, Site, Source, Vertical, Kind,
    Window, Threshold, RassWindow, RassThreshold, Settings, SaveSettings,
    NetcdfDir, Plot, ContinuityLimits, ContinuityReport, Poll, Grace, Status, Web, WindScale, TemperatureScale,
    WmoId, BufrCentre, BufrTemperature, BufrOutbox,
};

const std::map<std::string, Opt>& valueOptions() {
    static const std::map<std::string, Opt> table = {
        {"--begin", Opt::Begin},           {"--end", Opt::End},
        {"--input", Opt::Input},           {"--output", Opt::Output},
        {"--minutes", Opt::Minutes},       {"--input-type", Opt::InputType},
        {"--site", Opt::Site},             {"--source", Opt::Source},
        {"--vertical", Opt::Vertical},     {"--kind", Opt::Kind},
        {"--window", Opt::Window},         {"--threshold", Opt::Threshold},
        {"--rass-window", Opt::RassWindow}, {"--rass-threshold", Opt::RassThreshold},
        {"--settings", Opt::Settings},     {"--save-settings", Opt::SaveSettings},
        {"--netcdf-dir", Opt::NetcdfDir},  {"--plot", Opt::Plot},
        {"--continuity-limits", Opt::ContinuityLimits},
        {"--continuity-report", Opt::ContinuityReport},
        {"--poll", Opt::Poll},             {"--grace", Opt::Grace},
        {"--status", Opt::Status},         {"--web", Opt::Web},
        {"--wind-scale", Opt::WindScale},  {"--temperature-scale", Opt::TemperatureScale},
        {"--wmo-id", Opt::WmoId},          {"--bufr-centre", Opt::BufrCentre},
        {"--bufr-temperature", Opt::BufrTemperature},
        {"--bufr-outbox", Opt::BufrOutbox},
    };
    return table;
}

// Stores one option's value; returns the error text or an empty text.
std::string applyValue(Opt opt, const std::string& name, const std::string& value,
                       BatchOptions& o) {
    switch (opt) {
    case Opt::Begin:
    case Opt::End: {
        DateText d;
        if (!parseDate(value, d)) return invalidValue(name, value, "a date YYYY-MM-DD is expected");
        (opt == Opt::Begin ? o.begin : o.end) = d;
        return {};
    }
    case Opt::Input: o.inputPath = trimFolder(value); return {};
    case Opt::Output: o.outputPath = trimFolder(value); return {};
    case Opt::Minutes: {
        std::int64_t n = 0;
        if (!parseWholeInteger(value, n)) {
            return invalidValue(name, value, "a whole number of minutes is expected");
        }
        o.minutes = n;
        return {};
    }
    case Opt::InputType:
        if (value == "binary") o.inputType = InputType::Binary;
        else if (value == "ascii") o.inputType = InputType::Ascii;
        else return invalidValue(name, value, "binary or ascii");
        return {};
    case Opt::Site: o.siteId = value; return {};
    case Opt::Source: o.dataSource = value; return {};
    case Opt::Vertical:
        if (value == "not-used") o.vertical = VerticalPolicy::NotUsed;
        else if (value == "when-available") o.vertical = VerticalPolicy::WhenAvailable;
        else if (value == "required") o.vertical = VerticalPolicy::Required;
        else return invalidValue(name, value, "not-used, when-available or required");
        return {};
    case Opt::Kind:
        if (value == "winds") o.kind = OutputKind::Winds;
        else if (value == "temperature") o.kind = OutputKind::Temperature;
        else return invalidValue(name, value, "winds or temperature");
        return {};
    case Opt::Window:
    case Opt::RassWindow: {
        float w = 0.0f;
        if (!parseWholeFloat(value, w)) return invalidValue(name, value, "a number is expected");
        (opt == Opt::Window ? o.window : o.rassWindow) = w;
        return {};
    }
    case Opt::Threshold:
    case Opt::RassThreshold: {
        std::int64_t p = 0;
        if (!parseWholeInteger(value, p) || p > std::numeric_limits<std::int32_t>::max() ||
            p < std::numeric_limits<std::int32_t>::min()) {
            return invalidValue(name, value, "a whole number of percent is expected");
        }
        (opt == Opt::Threshold ? o.threshold : o.rassThreshold) = p;
        return {};
    }
    case Opt::Settings: o.settingsPath = value; return {};
    case Opt::SaveSettings: o.saveSettingsPath = value; return {};
    case Opt::NetcdfDir:
        o.outputs.netcdf = true;
        o.outputs.netcdfFolder = trimFolder(value);
        return {};
    case Opt::Plot: {
        plot::PlotFormat format{};
        if (!plot::plotFormatFromText(value, format)) {
            return invalidValue(name, value, "png, svg or pdf");
        }
        o.outputs.plotFormat = format;
        return {};
    }
    case Opt::ContinuityLimits: {
        ContinuityLimits limits;
        std::string why;
        if (!parseContinuityLimits(value, limits, why)) return invalidValue(name, value, why.c_str());
        o.outputs.continuity = limits;
        return {};
    }
    case Opt::ContinuityReport:
        if (!o.outputs.continuity) o.outputs.continuity = ContinuityLimits{};
        o.outputs.continuityReportPath = value;
        return {};
    case Opt::Poll:
    case Opt::Grace: {
        // A decimal number above 0 and at most a day.
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        const double most = opt == Opt::Poll ? 86400.0 : 1440.0;
        if (value.empty() || *end != '\0' || !(v > 0.0 && v <= most)) {
            return invalidValue(name, value, opt == Opt::Poll
                                                 ? "seconds above 0, at most 86400, are expected"
                                                 : "minutes above 0, at most 1440, are expected");
        }
        (opt == Opt::Poll ? o.pollSeconds : o.graceMinutes) = v;
        return {};
    }
    case Opt::Status: o.statusPath = value; return {};
    case Opt::WmoId: {
        WmoStation station;
        if (!parseWmoStation(value, station)) {
            return invalidValue(name, value, "five digits BBSSS, block 01 to 99, are expected");
        }
        o.outputs.bufrSettings.station = station;
        return {};
    }
    case Opt::BufrCentre: {
        int centre = 0;
        if (!parseBufrCentre(value, centre)) {
            return invalidValue(name, value, "a whole number from 0 to 65534 is expected");
        }
        o.outputs.bufrSettings.centre = centre;
        return {};
    }
    case Opt::BufrTemperature:
        if (!parseBufrTemperature(value, o.outputs.bufrSettings.temperature)) {
            return invalidValue(name, value, "tv or tvc");
        }
        return {};
    case Opt::BufrOutbox: o.outputs.bufrOutboxFolder = trimFolder(value); return {};
    case Opt::WindScale:
        if (!plot::parseWindScale(value, o.outputs.windScaleMax)) {
            return invalidValue(name, value, "a speed of 1 to 200 m/s is expected");
        }
        return {};
    case Opt::TemperatureScale:
        if (!plot::parseTemperatureScale(value, o.outputs.temperatureScale)) {
            return invalidValue(name, value,
                                "LOW:HIGH in degrees C, low below high, within -100 to 100");
        }
        return {};
    case Opt::Web: {
        plot::WebOptions web;
        web.folder = trimFolder(value);
        o.outputs.web = web;
        return {};
    }
    }
    return {};
}

}  // namespace

CalendarTime calendarDate(const DateText& date) {
    CalendarTime c;
    c.year = static_cast<std::uint16_t>(date.year);
    c.month = static_cast<std::uint16_t>(date.month);
    c.day = static_cast<std::uint16_t>(date.day);
    return c;
}

std::string trimFolder(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

bool parseArguments(const std::vector<std::string>& args, BatchOptions& options,
                    std::string& error) {
    const std::string hint = "\nSee 'quorvane-batch --help'.";
    std::map<std::string, bool> seen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
            continue;
        }
        if (arg == "--netcdf") {
            options.outputs.netcdf = true;
            continue;
        }
        if (arg == "--bufr") {
            options.outputs.bufr = true;
            continue;
        }
        if (arg == "--continuity") {
            if (!options.outputs.continuity) options.outputs.continuity = ContinuityLimits{};
            continue;
        }
        if (arg == "--corrected-winds") {
            options.correctedWinds = true;
            continue;
        }
        if (arg == "--follow") {
            options.follow = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        const std::size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const auto it = valueOptions().find(name);
        if (it == valueOptions().end()) {
            if (arg.rfind("-", 0) == 0 && arg.size() > 1) {
                error = "Unknown option '" + name + "'." + hint;
            } else {
                error = "Unexpected argument '" + arg + "'." + hint;
            }
            return false;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = "Option " + name + " needs a value." + hint;
                return false;
            }
            value = args[++i];
        }
        if (seen[name]) {
            error = "Option " + name + " is given more than once." + hint;
            return false;
        }
        seen[name] = true;
        const std::string failure = applyValue(it->second, name, *value, options);
        if (!failure.empty()) {
            error = failure + hint;
            return false;
        }
    }
    return true;
}

// An option the run cannot do without, said in the user's terms.
std::string missingOption(const char* option, const char* what) {
    return formatText("%s is missing: %s.", option, what);
}

std::string validateConsensusOptions(const BatchOptions& o);

// The folders, the site identifier of ASCII names and the averaging period,
// in the dialog's order, for a run and for a follower alike.
std::string checkFoldersSiteMinutes(const BatchOptions& o) {
    if (o.inputPath.empty()) return missingOption("--input", "the folder of the moment files");
    if (o.outputPath.empty()) {
        return missingOption("--output", "the folder for the consensus data files");
    }
    if (o.inputType == InputType::Ascii && o.siteId.empty()) {
        return missingOption("--site", "the site identifier of the ASCII file names (at most 3 "
                                       "characters), needed with --input-type ascii");
    }
    if (!o.minutes) {
        return missingOption("--minutes", "the consensus averaging period, 1 to 1440 minutes");
    }
    if (auto e = checkAveragingMinutes(*o.minutes); !e.empty()) return e + " (--minutes)";
    return {};
}

// The BUFR reports' settings are of no use without a BUFR output.
std::string checkBufrSettings(const BatchOptions& o) {
    const bool bufr = o.outputs.bufr || !o.outputs.bufrOutboxFolder.empty();
    if (!bufr && o.outputs.bufrSettings != BufrSettings{}) {
        return "--wmo-id, --bufr-centre and --bufr-temperature are used with --bufr or "
               "--bufr-outbox only.";
    }
    return {};
}

// A follower runs until it is stopped, from --begin (when given) on, with
// settings given beforehand: nobody answers a review.
std::string validateFollowOptions(const BatchOptions& o, int currentYear) {
    if (o.end) return "--end is not used with --follow: the follower runs until it is stopped.";
    if (!o.saveSettingsPath.empty()) return "--save-settings is not used with --follow.";
    if (o.begin) {
        if (auto e = checkDateLists(o.begin, "begin", currentYear); !e.empty()) {
            return e + " (--begin)";
        }
        if (!dateExists(*o.begin)) return "Invalid begin day. (--begin)";
    }
    if (auto e = checkFoldersSiteMinutes(o); !e.empty()) return e;
    if (o.settingsPath.empty() && (!o.window || !o.threshold)) {
        return "--follow needs the consensus settings beforehand: --settings FILE, or --window "
               "and --threshold.";
    }
    return validateConsensusOptions(o);
}

std::string validateOptions(const BatchOptions& o, int currentYear) {
    // The dialog's checks in the dialog's order with the dialog's texts,
    // each naming the option it is about; an option not given is named as
    // missing with what it is for.
    const auto named = [](std::string text, const char* option) {
        return text.empty() ? text : text + " (" + option + ")";
    };
    // The dialog refuses an over-long site identifier when it reads its
    // fields, before its checks.
    if (auto e = named(checkSiteLength(o.siteId), "--site"); !e.empty()) return e;
    if (auto e = checkBufrSettings(o); !e.empty()) return e;
    if (o.follow) return validateFollowOptions(o, currentYear);
    if (o.pollSeconds || o.graceMinutes || !o.statusPath.empty()) {
        return "--poll, --grace and --status are used with --follow only.";
    }
    if (!o.outputs.bufrOutboxFolder.empty()) {
        return "--bufr-outbox is used with --follow only: it hands on each period as it is "
               "complete; for finished days use --bufr.";
    }
    if (!o.begin) return missingOption("--begin", "the first day to process, YYYY-MM-DD");
    if (auto e = named(checkDateLists(o.begin, "begin", currentYear), "--begin"); !e.empty()) return e;
    if (!o.end) return missingOption("--end", "the last day to process, YYYY-MM-DD");
    if (auto e = named(checkDateLists(o.end, "end", currentYear), "--end"); !e.empty()) return e;
    if (auto e = checkFoldersSiteMinutes(o); !e.empty()) return e;
    // Dates the calendar does not have (31 April) fail when the dialog
    // converts them, after its field checks.
    if (!dateExists(*o.begin)) return "Invalid begin day. (--begin)";
    if (!dateExists(*o.end)) return "Invalid end day. (--end)";
    if (auto e = named(checkDateOrder(dateValue(*o.begin), dateValue(*o.end)), "--begin, --end");
        !e.empty()) {
        return e;
    }
    return validateConsensusOptions(o);
}

std::string validateConsensusOptions(const BatchOptions& o) {
    if (o.window) {
        if (auto e = checkConsensusWindow(*o.window); !e.empty()) return e + " (--window)";
    }
    if (o.threshold) {
        if (auto e = checkThresholdRange(*o.threshold); !e.empty()) return e + " (--threshold)";
    }
    if (o.rassWindow) {
        if (auto e = checkConsensusWindow(*o.rassWindow); !e.empty()) return e + " (--rass-window)";
    }
    if (o.rassThreshold) {
        if (auto e = checkThresholdRange(*o.rassThreshold); !e.empty()) {
            return e + " (--rass-threshold)";
        }
    }
    const std::string source = checkDataSource(o.dataSource);
    return source.empty() ? source : source + " (--source)";
}

std::string usageText() {
    return R"(Usage: quorvane-batch --begin YYYY-MM-DD --end YYYY-MM-DD --input DIR --output DIR
                      --minutes N [options]

Turns the wind-profiler moment files of a range of days into consensus data
files, exactly as the Quorvane dialog does, without a screen.

  --begin YYYY-MM-DD     first day to process
  --end YYYY-MM-DD       last day to process (inclusive)
  --input DIR            folder of the moment files
  --output DIR           folder for the consensus data files
  --minutes N            consensus averaging period in minutes (1 to 1440)
  --input-type binary|ascii
                         binary data-acquisition files (default) or ASCII
                         moment files
  --site SSS             site identifier of the ASCII file names (required
                         with ascii; at most 3 characters)
  --source TEXT          data-source text of the output title (default "QAV")
  --vertical not-used|when-available|required
                         use of consensed vertical velocities (default
                         when-available)
  --kind winds|temperature
                         output kind (default winds)
  --window W             consensus window of radar beams, m/s (greater than 0)
  --threshold P          consensus threshold of radar beams, percent (1 to 100)
  --rass-window W        consensus window of RASS beams, degrees C (default:
                         the --window value)
  --rass-threshold P     consensus threshold of RASS beams, percent (default:
                         the --threshold value)
  --settings FILE        per-beam values, CSV:
                         azimuth,elevation,pulse_width,rass,window,threshold
  --save-settings FILE   write the beam table as reviewed (same CSV)
  --netcdf               also write netCDF-CF files (one per day and mode)
  --netcdf-dir DIR       folder for the netCDF files (default: --output);
                         implies --netcdf
  --plot png|svg|pdf     also write a time-height plot per day and output
  --bufr                 also write WMO BUFR files (one per day and mode, a
                         message per averaging period)
  --wmo-id BBSSS         WMO block and station number of the BUFR reports
                         (default: missing)
  --bufr-centre N        originating centre of the BUFR reports, 0 to 65534
                         (default: missing)
  --bufr-temperature tv|tvc
                         virtual temperature of the RASS reports (default tvc)
  --bufr-outbox DIR      with --follow: a BUFR file per averaging period in
                         DIR, written as the period is complete
  --continuity           flag winds that are not continuous in time and
                         height (QC 8, data code -940)
  --continuity-limits L  its limits, e.g. period=2,gate=2.5,min=8,gap=2,thin=1
                         (implies --continuity)
  --continuity-report F  list every gate the continuity check flagged, with
                         its original values, in CSV file F (implies
                         --continuity)
  --follow               keep the outputs current while the data system
                         writes today's files (see below); until stopped
  --poll SECONDS         with --follow: how often the input is looked at
                         (default 10)
  --grace MINUTES        with --follow: input that has not grown this long
                         completes its last period (default: --minutes)
  --status FILE          with --follow: JSON status written after every poll
  --wind-scale MAX       one colour scale for every plot and web page of the
                         run: winds from calm to MAX m/s (default 40)
  --temperature-scale LOW:HIGH
                         the same for Tv and TvC, degrees C (default -30:40)
  --web DIR              also write the station's quick-look web site into DIR
                         (static pages: the last 24 hours, a page per day,
                         the archive); with --follow it reloads itself
  --corrected-winds      fold only beams of the same pulse width and gate
                         heights, and correct a beam taken from its opposite
                         beam with the sign that cancels vertical motion
  --quiet                no status lines and no progress bar
  --help                 this text

The settings review takes each beam's window and threshold from --settings
first, then from the defaults above; a beam left without a positive window
or threshold stops the run before anything is written (exit status 3).

Example:
  quorvane-batch --begin 2004-06-15 --end 2004-06-16 --input samples \
      --output out --input-type ascii --site qvs --kind winds --minutes 30 \
      --window 2 --threshold 50

Following (--follow): from --begin (default: yesterday, UTC) every day that
a later day's input shows to be over is processed as above; the newest day
is read again whenever its files grow, and its outputs are rewritten whole
with the averaging periods that are complete (a dwell after the period's end
was read, or the input stopped growing for --grace). One log line per period
written. SIGTERM or SIGINT ends it with status 0 once the file being written
is whole. --end and --save-settings are not used; --settings or --window and
--threshold are required.

Exit status: 0 done, 1 an output file could not be written, 2 invalid
arguments, 3 a beam lacks consensus settings, 4 nothing was written (the
reason is printed), 5 a day was not processed in full (each is listed),
130 interrupted.
When SOURCE_DATE_EPOCH is set, the "Created on" stamp of the output headers
is taken from it instead of the clock.
)";
}

}  // namespace qv::batch
