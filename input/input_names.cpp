#include "input/input_names.h"

#include "core/text.h"

namespace qv {
namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string text) {
    for (char& c : text) c = lowerAscii(c);
    return text;
}

bool digits(const std::string& s, std::size_t from, std::size_t count, int& value) {
    if (from + count > s.size()) return false;
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

int dayOfYearOf(const CalendarTime& day) { return dayOfYear(day.year, day.month, day.day); }

}  // namespace

std::string asciiMomentFileName(const std::string& site, const CalendarTime& day, OutputKind kind) {
    return formatText("%s%02d%03d.%s", site.c_str(), day.year % 100, dayOfYearOf(day),
                      kind == OutputKind::Winds ? "raw" : "rat");
}

std::string binaryDataFileName(const CalendarTime& day, const char* extension) {
    return formatText("d%02d%03da.%s", day.year % 100, dayOfYearOf(day), extension);
}

std::vector<std::string> dayInputNames(InputType type, OutputKind kind, const std::string& site,
                                       const CalendarTime& day) {
    if (type == InputType::Binary) {
        return {binaryDataFileName(day, "mom"), binaryDataFileName(day, "spc")};
    }
    if (type == InputType::Ascii && (kind == OutputKind::Winds || kind == OutputKind::Temperature)) {
        return {asciiMomentFileName(site, day, kind)};
    }
    return {};
}

std::optional<std::int64_t> inputNameDay(const std::string& name, InputType type, OutputKind kind,
                                         const std::string& site, int nearYear) {
    const std::string n = lowered(name);
    std::size_t at = 0;
    std::vector<std::string> endings;
    if (type == InputType::Binary) {
        if (n.empty() || n[0] != 'd') return std::nullopt;
        at = 1;
        endings = {"a.mom", "a.spc"};
    } else if (type == InputType::Ascii &&
               (kind == OutputKind::Winds || kind == OutputKind::Temperature)) {
        const std::string prefix = lowered(site);
        if (n.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
        at = prefix.size();
        endings = {kind == OutputKind::Winds ? ".raw" : ".rat"};
    } else {
        return std::nullopt;
    }
    int yy = 0, ddd = 0;
    if (!digits(n, at, 2, yy) || !digits(n, at + 2, 3, ddd)) return std::nullopt;
    const std::string rest = n.substr(at + 5);
    bool known = false;
    for (const std::string& e : endings) known = known || rest == e;
    if (!known) return std::nullopt;

    int year = nearYear - ((nearYear % 100 + 100) % 100) + yy;
    if (year - nearYear > 50) year -= 100;
    if (nearYear - year > 50) year += 100;
    std::int16_t month = 0, day = 0;
    monthDayFromDayOfYear(year, ddd, month, day);
    if (ddd < 1 || !isCalendarDate(year, month, day)) return std::nullopt;
    return civilDayNumber(year, month, day);
}

}  // namespace qv
