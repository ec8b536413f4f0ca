// A profile: every choice of the main dialog in one small text file the
// user names, so that a site's run is set up by opening it rather than by
// retyping it. The program itself stores nothing; a profile is written and
// read only when the user asks.
//
// One "key=value" line per field; blank lines and lines starting with '#'
// are skipped, blanks around key and value are ignored. A key that is not
// one of these, a key given twice or a value the dialog cannot show is
// refused with its line:
//   input-folder=PATH           output-folder=PATH
//   input-type=binary|ascii     site=abc (at most three characters)
//   source=QAV|KOR Fuzzy Logic|Halvik MPP
//   begin=YYYY-MM-DD            end=YYYY-MM-DD (1995 up to this year)
//   averaging-minutes=1..1440
//   kind=winds|temperature
//   vertical=not-used|when-available|required
//   netcdf=yes|no  bufr=yes|no  continuity=yes|no  corrected-winds=yes|no
//   settings-file=PATH          (empty: none)
// Keys left out leave the dialog's field as it is.
#pragma once

#include <optional>
#include <string>

#include "core/host.h"
#include "ui/main_validation.h"

namespace qv {

struct DialogProfile {
    std::optional<std::string> inputPath;
    std::optional<std::string> outputPath;
    std::optional<bool> ascii;
    std::optional<std::string> siteId;
    std::optional<int> dataSourceIndex;
    std::optional<DateIndices> begin;
    std::optional<DateIndices> end;
    std::optional<std::string> averagingText;
    std::optional<OutputKind> kind;
    std::optional<VerticalPolicy> vertical;
    std::optional<bool> netcdf;
    std::optional<bool> bufr;
    std::optional<bool> continuity;
    std::optional<bool> correctedWinds;
    std::optional<std::string> settingsPath;
    bool operator==(const DialogProfile&) const = default;
};

// The profile's text, every field present, in the order above.
std::string writeProfile(const DialogProfile& profile);

// Reads a profile. On a line it cannot take returns false with `error`
// naming `sourceName`, the line number and what is wrong.
bool readProfile(const std::string& text, const std::string& sourceName, int currentYear,
                 DialogProfile& profile, std::string& error);

}  // namespace qv
