#include "ui/main_validation.h"

#include "core/run_rules.h"
#include "core/text.h"
#include "ui/settings_logic.h"

namespace qv {
namespace {


// Builds the date at 00:00:00.000 from list indices; false for a date the
// calendar does not have (31 February).
bool dateFromIndices(const DateIndices& d, TimeValue& out) {
    CalendarTime c;
    c.year = static_cast<std::uint16_t>(kFirstListYear + d.year);
    c.month = static_cast<std::uint16_t>(d.month + 1);
    c.day = static_cast<std::uint16_t>(d.day + 1);
    return calendarToTimeValue(c, out);
}

}  // namespace

std::vector<std::string> monthEntries() {
    return {"January", "February", "March",     "April",   "May",      "June",
            "July",    "August",   "September", "October", "November", "December"};
}

std::vector<std::string> dayEntries() {
    std::vector<std::string> days;
    for (int d = 1; d <= 31; ++d) days.push_back(std::to_string(d));
    return days;
}

std::vector<std::string> yearEntries(int currentYear) {
    std::vector<std::string> years;
    for (int y = kFirstListYear; y <= currentYear || y == kFirstListYear; ++y) {
        years.push_back(std::to_string(y));
    }
    return years;
}

std::vector<std::string> dataSourceEntries() { return {"QAV", "KOR Fuzzy Logic", "Halvik MPP"}; }

DateIndices dateIndicesFor(const CalendarTime& today) {
    DateIndices d;
    if (today.month >= 1 && today.month <= 12) d.month = today.month - 1;
    if (today.day >= 1 && today.day <= 31) d.day = today.day - 1;
    if (today.year >= kFirstListYear) d.year = today.year - kFirstListYear;
    return d;
}

std::int32_t parseAveragingMinutes(std::string_view text) {
    std::int32_t minutes = 0;
    parseIntField(text, minutes);
    return minutes;
}

RunValidation validateRun(const DialogFields& f) {
    RunValidation v;
    auto fail = [&v](std::string text) {
        v.message = std::move(text);
        return v;
    };

    // The site field holds at most three characters as typed; anything longer
    // can only arrive from elsewhere and is refused when the fields are read.
    if (auto e = checkSiteLength(f.siteId); !e.empty()) return fail(e);

    if (f.begin.year < 0) return fail("Invalid begin year.");
    if (f.begin.month < 0) return fail("Invalid begin month.");
    if (f.begin.day < 0) return fail("Invalid begin day.");
    if (f.end.year < 0) return fail("Invalid end year.");
    if (f.end.month < 0) return fail("Invalid end month.");
    if (f.end.day < 0) return fail("Invalid end day.");
    if (f.inputPath.empty()) return fail("Invalid input path.");
    if (f.outputPath.empty()) return fail("Invalid output path.");
    if (auto e = checkSiteGiven(f.siteId, f.ascii); !e.empty()) return fail(e);

    RunParameters& p = v.params;
    p.averagingMinutes = parseAveragingMinutes(f.averagingText);
    if (auto e = checkAveragingMinutes(p.averagingMinutes); !e.empty()) return fail(e);

    if (f.winds) {
        p.outputKindText = "Winds";
    } else if (f.temperature) {
        p.outputKindText = "Temperature";
    }
    if (f.dataSourceIndex >= 0) p.dataSourceText = f.dataSourceText.substr(0, kMaxDataSourceChars);

    if (!dateFromIndices(f.begin, p.beginTime)) return fail("Invalid begin day.");
    if (!dateFromIndices(f.end, p.endTime)) return fail("Invalid end day.");
    if (auto e = checkDateOrder(p.beginTime, p.endTime); !e.empty()) return fail(e);

    p.inputPath = f.inputPath;
    p.outputPath = f.outputPath;
    p.siteId = f.siteId;
    v.outputs.netcdf = f.netcdf;
    v.outputs.bufr = f.bufr;
    if (f.continuity) v.outputs.continuity = ContinuityLimits{};
    p.correctedWinds = f.correctedWinds;
    v.outputs.history = formatText(
        "Quorvane dialog: input %s (%s%s%s), %d-minute averages, %s (%s)%s%s", p.inputPath.c_str(),
        f.ascii ? "ASCII, site " : "binary", f.ascii ? p.siteId.c_str() : "", "",
        p.averagingMinutes, p.outputKindText.c_str(), p.dataSourceText.c_str(),
        f.continuity ? ", continuity check" : "", f.correctedWinds ? ", corrected winds" : "");
    return v;
}

}  // namespace qv
