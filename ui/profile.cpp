#include "ui/profile.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <utility>

#include "core/run_rules.h"
#include "core/text.h"

namespace qv {
namespace {

constexpr std::array<std::pair<OutputKind, const char*>, 2> kKinds{{
    {OutputKind::Winds, "winds"},
    {OutputKind::Temperature, "temperature"},
}};
constexpr std::array<std::pair<VerticalPolicy, const char*>, 3> kPolicies{{
    {VerticalPolicy::NotUsed, "not-used"},
    {VerticalPolicy::WhenAvailable, "when-available"},
    {VerticalPolicy::Required, "required"},
}};

std::string trimmed(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\r')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r')) --e;
    return std::string(text.substr(b, e - b));
}

std::string dateText(const DateIndices& d) {
    return formatText("%04d-%02d-%02d", kFirstListYear + d.year, d.month + 1, d.day + 1);
}

// "YYYY-MM-DD" with a year the lists hold; the day is checked against the
// lists (1 to 31), as the dialog's own lists allow; the calendar is checked
// when Process is pressed.
bool readDate(const std::string& text, int currentYear, DateIndices& out) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3)
        return false;
    if (y < kFirstListYear || y > std::max(currentYear, kFirstListYear)) return false;
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    out = {m - 1, d - 1, y - kFirstListYear};
    return true;
}

bool readYesNo(const std::string& text, std::optional<bool>& out) {
    if (text == "yes" || text == "no") {
        out = text == "yes";
        return true;
    }
    return false;
}

}  // namespace

std::string writeProfile(const DialogProfile& p) {
    std::ostringstream out;
    out << "# Quorvane profile\n";
    auto line = [&out](const char* key, const std::string& value) {
        out << key << '=' << value << '\n';
    };
    auto yesNo = [](bool b) { return std::string(b ? "yes" : "no"); };
    if (p.inputPath) line("input-folder", *p.inputPath);
    if (p.outputPath) line("output-folder", *p.outputPath);
    if (p.ascii) line("input-type", *p.ascii ? "ascii" : "binary");
    if (p.siteId) line("site", *p.siteId);
    const std::vector<std::string> sources = dataSourceEntries();
    if (p.dataSourceIndex && *p.dataSourceIndex >= 0 &&
        *p.dataSourceIndex < static_cast<int>(sources.size())) {
        line("source", sources[static_cast<std::size_t>(*p.dataSourceIndex)]);
    }
    if (p.begin) line("begin", dateText(*p.begin));
    if (p.end) line("end", dateText(*p.end));
    if (p.averagingText) line("averaging-minutes", *p.averagingText);
    for (const auto& [kind, name] : kKinds)
        if (p.kind == kind) line("kind", name);
    for (const auto& [policy, name] : kPolicies)
        if (p.vertical == policy) line("vertical", name);
    if (p.netcdf) line("netcdf", yesNo(*p.netcdf));
    if (p.bufr) line("bufr", yesNo(*p.bufr));
    if (p.continuity) line("continuity", yesNo(*p.continuity));
    if (p.correctedWinds) line("corrected-winds", yesNo(*p.correctedWinds));
    if (p.settingsPath) line("settings-file", *p.settingsPath);
    return out.str();
}

bool readProfile(const std::string& text, const std::string& sourceName, int currentYear,
                 DialogProfile& profile, std::string& error) {
    DialogProfile p;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    std::vector<std::string> seen;
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        auto fail = [&](const std::string& what) {
            error = formatText("%s, line %d: %s", sourceName.c_str(), number, what.c_str());
            return false;
        };
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) return fail("not a key=value line: '" + line + "'.");
        const std::string key = trimmed(std::string_view(line).substr(0, eq));
        const std::string value = trimmed(std::string_view(line).substr(eq + 1));
        for (const std::string& k : seen)
            if (k == key) return fail("'" + key + "' is given twice.");
        seen.push_back(key);
        auto bad = [&](const char* expected) {
            return fail("'" + value + "' is not a value of " + key + " (" + expected + ").");
        };
        if (key == "input-folder") {
            p.inputPath = value;
        } else if (key == "output-folder") {
            p.outputPath = value;
        } else if (key == "settings-file") {
            p.settingsPath = value;
        } else if (key == "input-type") {
            if (value != "binary" && value != "ascii") return bad("binary or ascii");
            p.ascii = value == "ascii";
        } else if (key == "site") {
            if (!checkSiteLength(value).empty()) return bad("at most three characters");
            for (const char c : value)
                if (c >= 'A' && c <= 'Z') return bad("lower case");
            p.siteId = value;
        } else if (key == "source") {
            const std::vector<std::string> sources = dataSourceEntries();
            for (std::size_t i = 0; i < sources.size(); ++i)
                if (sources[i] == value) p.dataSourceIndex = static_cast<int>(i);
            if (!p.dataSourceIndex) return bad("QAV, KOR Fuzzy Logic or Halvik MPP");
        } else if (key == "begin" || key == "end") {
            DateIndices d;
            if (!readDate(value, currentYear, d))
                return bad(formatText("a date YYYY-MM-DD from 1995 to %d", currentYear).c_str());
            (key == "begin" ? p.begin : p.end) = d;
        } else if (key == "averaging-minutes") {
            const bool digits = !value.empty() && value.size() <= 4 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            if (!digits || !checkAveragingMinutes(std::stoi(value)).empty())
                return bad("1 to 1440");
            p.averagingText = value;
        } else if (key == "kind") {
            for (const auto& [kind, name] : kKinds)
                if (value == name) p.kind = kind;
            if (!p.kind) return bad("winds or temperature");
        } else if (key == "vertical") {
            for (const auto& [policy, name] : kPolicies)
                if (value == name) p.vertical = policy;
            if (!p.vertical) return bad("not-used, when-available or required");
        } else if (key == "netcdf" || key == "bufr" || key == "continuity" ||
                   key == "corrected-winds") {
            std::optional<bool>& flag = key == "netcdf"       ? p.netcdf
                                        : key == "bufr"       ? p.bufr
                                        : key == "continuity" ? p.continuity
                                                              : p.correctedWinds;
            if (!readYesNo(value, flag)) return bad("yes or no");
        } else {
            return fail("unknown key '" + key + "'.");
        }
    }
    profile = std::move(p);
    return true;
}

}  // namespace qv
