#include "ui/main_validation.h"

#include "core/text.h"
#include "ui/settings_logic.h"

namespace qv {
namespace {

constexpr int kMaxDataSourceChars = 49;

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
    if (f.siteId.size() > static_cast<std::size_t>(kSiteIdMaxChars)) {
        return fail(formatText("Please enter no more than %d characters.", kSiteIdMaxChars));
    }

    if (f.begin.year < 0) return fail("Invalid begin year.");
    if (f.begin.month < 0) return fail("Invalid begin month.");
    if (f.begin.day < 0) return fail("Invalid begin day.");
    if (f.end.year < 0) return fail("Invalid end year.");
    if (f.end.month < 0) return fail("Invalid end month.");
    if (f.end.day < 0) return fail("Invalid end day.");
    if (f.inputPath.empty()) return fail("Invalid input path.");
    if (f.outputPath.empty()) return fail("Invalid output path.");
    if (f.ascii && f.siteId.empty()) return fail("Invalid SiteID.");

    RunParameters& p = v.params;
    p.averagingMinutes = parseAveragingMinutes(f.averagingText);
    // The period store needs at least one minute: zero would never end the
    // period search and a negative count would become an enormous period.
    if (p.averagingMinutes <= 0) {
        return fail("Consensus averaging period must be\ngreater than zero.");
    }

    if (f.winds) {
        p.outputKindText = "Winds";
    } else if (f.temperature) {
        p.outputKindText = "Temperature";
    }
    if (f.dataSourceIndex >= 0) p.dataSourceText = f.dataSourceText.substr(0, kMaxDataSourceChars);

    if (!dateFromIndices(f.begin, p.beginTime)) return fail("Invalid begin day.");
    if (!dateFromIndices(f.end, p.endTime)) return fail("Invalid end day.");
    if (compareTimeValues(p.beginTime, p.endTime) > 0) {
        return fail("Begin date must be less than or equal to end date.");
    }

    p.inputPath = f.inputPath;
    p.outputPath = f.outputPath;
    p.siteId = f.siteId;
    return v;
}

}  // namespace qv
