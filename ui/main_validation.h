// The main dialog's plain rules: the entries of its lists, its defaults, and
// the validation of its fields into the run's parameters. No toolkit code
// here, so that every rule can be checked without a window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/run_outputs.h"
#include "core/job.h"
#include "core/run_rules.h"
#include "core/time.h"

namespace qv {

// The first year of the year lists; year = kFirstListYear + index.
inline constexpr int kFirstListYear = 1995;

// "January" to "December".
std::vector<std::string> monthEntries();
// "1" to "31", for every month.
std::vector<std::string> dayEntries();
// "1995" up to the current year (at least "1995").
std::vector<std::string> yearEntries(int currentYear);
// "QAV", "KOR Fuzzy Logic", "Halvik MPP".
std::vector<std::string> dataSourceEntries();

// List indices that show `today`; -1 where the list has no entry for it.
struct DateIndices {
    int month = -1;
    int day = -1;
    int year = -1;
    bool operator==(const DateIndices&) const = default;
};
DateIndices dateIndicesFor(const CalendarTime& today);

// What the main dialog's controls hold when Process is pressed. List
// indices are -1 when nothing is selected.
struct DialogFields {
    DateIndices begin;
    DateIndices end;
    std::string inputPath;
    std::string outputPath;
    bool ascii = false;
    std::string siteId;
    int dataSourceIndex = 0;
    std::string dataSourceText;
    std::string averagingText;
    bool winds = true;
    bool temperature = false;
    // Optional outputs and stages.
    bool netcdf = false;
    bool bufr = false;
    bool continuity = false;
    bool correctedWinds = false;
};

// The averaging period text read as a decimal integer: leading blanks
// skipped, an optional sign, digits up to the first other character; no
// digits gives 0. Saturates at the 32-bit range.
std::int32_t parseAveragingMinutes(std::string_view text);

// Result of the validation: an empty message means `params` is ready.
struct RunValidation {
    std::string message;
    RunParameters params;
    RunOutputs outputs;
    bool ok() const { return message.empty(); }
};

// Checks the fields in the dialog's order, stopping at the first failure,
// and fills the run's parameters. Messages are shown in a stop-icon box.
RunValidation validateRun(const DialogFields& fields);

}  // namespace qv
