// Command line of the batch tool: what the user chose, how it is read, and
// the checks made before a run starts (in the dialog's order, with the
// dialog's texts).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/engine/run_outputs.h"
#include "core/host.h"
#include "core/time.h"

namespace qv::batch {

// A date as typed: the three numbers of YYYY-MM-DD, checked later.
struct DateText {
    int year = 0;
    int month = 0;
    int day = 0;
};

struct BatchOptions {
    bool help = false;
    bool quiet = false;

    std::optional<DateText> begin;
    std::optional<DateText> end;
    std::string inputPath;
    std::string outputPath;
    std::optional<std::int64_t> minutes;  // as typed; the range is checked later
    InputType inputType = InputType::Binary;
    std::string siteId;
    std::string dataSource = "QAV";
    VerticalPolicy vertical = VerticalPolicy::WhenAvailable;
    OutputKind kind = OutputKind::Winds;

    // Consensus defaults for the settings review.
    std::optional<float> window;
    std::optional<std::int64_t> threshold;
    std::optional<float> rassWindow;
    std::optional<std::int64_t> rassThreshold;

    std::string settingsPath;      // --settings
    std::string saveSettingsPath;  // --save-settings

    // Optional outputs and stages: --netcdf (also set by --netcdf-dir),
    // --netcdf-dir, --plot png|svg|pdf, --continuity (also set by
    // --continuity-limits and --continuity-report, with the defaults or
    // the limits given), --bufr with --wmo-id, --bufr-centre and
    // --bufr-temperature, --bufr-outbox (with --follow only).
    RunOutputs outputs;
    bool correctedWinds = false;      // --corrected-winds

    // Following today's growing files: --follow, --poll SECONDS, --grace
    // MINUTES (as typed; the defaults are 10 s and one averaging period),
    // --status FILE.
    bool follow = false;
    std::optional<double> pollSeconds;
    std::optional<double> graceMinutes;
    std::string statusPath;
};

// Reads the arguments (without the program name). Syntax only: unknown
// options, missing or repeated values, malformed numbers and dates, and
// unknown choices. On failure returns false and sets `error` to the text to
// print (one or more lines, no trailing newline).
bool parseArguments(const std::vector<std::string>& args, BatchOptions& options,
                    std::string& error);

// The checks of the main dialog, in its order and with its texts, then the
// batch tool's own: consensus defaults and the data-source length.
// `currentYear` is the last year the dialog's year lists offer (the
// current UTC year). Returns the first failure's text, or an empty text.
std::string validateOptions(const BatchOptions& options, int currentYear);

// The date at 00:00:00.000 as a calendar time (for a valid date).
CalendarTime calendarDate(const DateText& date);

// Trailing '/' removed (a lone "/" stays), as a folder picker gives folders.
std::string trimFolder(const std::string& path);

// The usage text printed by --help.
std::string usageText();

}  // namespace qv::batch
