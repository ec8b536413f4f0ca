#include "core/settings_csv.h"

#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "core/numbers.h"
#include "core/text.h"

namespace qv {
namespace {

constexpr std::size_t kFieldCount = 6;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// How much of an existing file is looked at to tell a settings file.
constexpr std::size_t kSniffBytes = 64 * 1024;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(trim(line.substr(start)));
            break;
        }
        fields.push_back(trim(line.substr(start, comma - start)));
        start = comma + 1;
    }
    return fields;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool parseInt32(std::string_view text, std::int32_t& out) {
    std::int64_t v = 0;
    if (!parseWholeInteger(text, v) || v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    out = static_cast<std::int32_t>(v);
    return true;
}

bool sameIdentity(const SettingsRow& row, const BeamSetting& s) {
    return row.azimuth == s.azimuth && row.elevation == s.elevation &&
           row.pulseWidth == s.pulseWidth && row.rassFlag == s.rassFlag;
}

bool sameIdentity(const SettingsRow& a, const SettingsRow& b) {
    return a.azimuth == b.azimuth && a.elevation == b.elevation && a.pulseWidth == b.pulseWidth &&
           a.rassFlag == b.rassFlag;
}

// A printable, bounded quote of a field for error texts.
std::string quoted(std::string_view field) {
    std::string out = "'";
    for (std::size_t i = 0; i < field.size() && i < 40; ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    }
    if (field.size() > 40) out += "...";
    return out + "'";
}

// Parses the six fields of one data line; returns the error or an empty text.
std::string parseRow(const std::vector<std::string_view>& f, SettingsRow& row) {
    if (f.size() != kFieldCount) {
        return formatText("expected %d fields (%s), found %d.", static_cast<int>(kFieldCount),
                          kSettingsHeader, static_cast<int>(f.size()));
    }
    if (!parseInt32(f[0], row.azimuth)) return "azimuth " + quoted(f[0]) + " is not a whole number.";
    if (!parseWholeFloat(f[1], row.elevation)) return "elevation " + quoted(f[1]) + " is not a number.";
    if (!parseInt32(f[2], row.pulseWidth)) {
        return "pulse_width " + quoted(f[2]) + " is not a whole number.";
    }
    if (f[3] == "0" || equalsIgnoringCase(f[3], "OFF")) {
        row.rassFlag = 0;
    } else if (f[3] == "1" || equalsIgnoringCase(f[3], "ON")) {
        row.rassFlag = 1;
    } else if (!parseInt32(f[3], row.rassFlag)) {
        return "rass " + quoted(f[3]) + " must be 0, 1, OFF or ON.";
    }
    if (!f[4].empty()) {
        float w = 0.0f;
        if (!parseWholeFloat(f[4], w)) return "window " + quoted(f[4]) + " is not a number.";
        if (!(w > 0.0f)) return "window " + quoted(f[4]) + " is out of range (greater than 0).";
        row.window = w;
    }
    if (!f[5].empty()) {
        std::int32_t p = 0;
        if (!parseInt32(f[5], p)) return "threshold " + quoted(f[5]) + " is not a whole number.";
        if (p < kMinConsensusPercent || p > kMaxConsensusPercent) {
            return formatText("threshold %s is out of range (%d to %d %%).", quoted(f[5]).c_str(),
                              kMinConsensusPercent, kMaxConsensusPercent);
        }
        row.threshold = p;
    }
    return {};
}

float displayElevation(float elevation) {
    return elevation > 90.0f ? elevation * 0.01f : elevation;
}

// 0 is OFF and 1 is ON; other flags (which match only the same flag) as
// their number.
std::string rassText(std::int32_t flag) {
    if (flag == 0) return "OFF";
    if (flag == 1) return "ON";
    return formatText("%d", static_cast<int>(flag));
}

bool sameButElevation(const SettingsRow& row, const BeamSetting& s) {
    return row.azimuth == s.azimuth && row.pulseWidth == s.pulseWidth && row.rassFlag == s.rassFlag;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether one meaningful line (not blank, not a comment) is a heading or a
// valid settings row.
bool isSettingsLine(std::string_view text) {
    const std::vector<std::string_view> fields = splitFields(text);
    if (equalsIgnoringCase(fields.front(), "azimuth")) return true;
    SettingsRow row;
    return parseRow(fields, row).empty();
}

}  // namespace

std::string shortestFloatText(float value) {
    std::array<char, 64> buffer{};
    const auto [ptr, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (ec != std::errc()) return formatText("%.9g", static_cast<double>(value));
    return std::string(buffer.data(), ptr);
}

bool readSettingsCsv(std::istream& in, const std::string& sourceName,
                     std::vector<SettingsRow>& rows, std::string& error) {
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::string_view text = line;
        if (number == 1 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
            text.remove_prefix(kByteOrderMark.size());  // written by some spreadsheet programs
        }
        text = trim(text);
        if (text.empty() || text.front() == '#') continue;
        const std::vector<std::string_view> fields = splitFields(text);
        if (equalsIgnoringCase(fields.front(), "azimuth")) continue;  // heading row
        SettingsRow row;
        row.line = number;
        const std::string failure = parseRow(fields, row);
        if (!failure.empty()) {
            error = formatText("%s:%d: ", sourceName.c_str(), number) + failure;
            return false;
        }
        for (const SettingsRow& earlier : rows) {
            if (sameIdentity(earlier, row)) {
                error = formatText("%s:%d: the same beam as line %d.", sourceName.c_str(), number,
                                   earlier.line);
                return false;
            }
        }
        rows.push_back(row);
    }
    if (in.bad()) {
        error = sourceName + ": the file could not be read.";
        return false;
    }
    return true;
}

void writeSettingsCsv(std::ostream& out, const RecordList<BeamSetting>& table) {
    out << kSettingsHeader << '\n';
    for (const BeamSetting* s : table) {
        out << s->azimuth << ',' << shortestFloatText(s->elevation) << ',' << s->pulseWidth << ','
            << s->rassFlag << ',';
        if (s->consensusWindow > 0.0f) out << shortestFloatText(s->consensusWindow);
        out << ',';
        if (s->consensusPercent > 0) out << s->consensusPercent;
        out << '\n';
    }
}

std::vector<const BeamSetting*> reviewTable(RecordList<BeamSetting>& table,
                                            const std::vector<SettingsRow>& rows,
                                            const ReviewDefaults& defaults) {
    std::vector<const BeamSetting*> missing;
    for (BeamSetting* s : table) {
        for (const SettingsRow& row : rows) {
            if (!sameIdentity(row, *s)) continue;
            if (row.window) s->consensusWindow = *row.window;
            if (row.threshold) s->consensusPercent = *row.threshold;
            break;
        }
        const bool rass = s->rassFlag != 0;
        const std::optional<float> window =
            rass && defaults.rassWindow ? defaults.rassWindow : defaults.window;
        const std::optional<std::int32_t> threshold =
            rass && defaults.rassThreshold ? defaults.rassThreshold : defaults.threshold;
        if (!hasWindowSetting(*s) && window) s->consensusWindow = *window;
        if (!hasThresholdSetting(*s) && threshold) s->consensusPercent = *threshold;
        if (!hasConsensusSettings(*s)) missing.push_back(s);
    }
    return missing;
}

std::string describeMissingBeam(const BeamSetting& beam) {
    std::string text = formatText("azimuth %d, elevation %s, pulse width %d ns, RASS %s",
                                  static_cast<int>(beam.azimuth),
                                  shortestFloatText(beam.elevation).c_str(),
                                  static_cast<int>(beam.pulseWidth),
                                  beam.rassFlag != 0 ? "ON" : "OFF");
    const bool noWindow = !hasWindowSetting(beam);
    const bool noThreshold = !hasThresholdSetting(beam);
    if (noWindow && noThreshold) return text + ": no window, no threshold";
    if (noWindow) return text + ": no window";
    if (noThreshold) return text + ": no threshold";
    return text;
}

std::vector<std::string> unmatchedSettingsRows(const RecordList<BeamSetting>& table,
                                               const std::vector<SettingsRow>& rows,
                                               const std::string& sourceName) {
    std::vector<std::string> texts;
    for (const SettingsRow& row : rows) {
        bool matched = false;
        const BeamSetting* nearest = nullptr;
        double nearestDistance = 0.0;
        for (const BeamSetting* s : table) {
            if (sameIdentity(row, *s)) {
                matched = true;
                break;
            }
            if (!sameButElevation(row, *s)) continue;
            // Compared as shown: elevations above 90 are in hundredths.
            const double distance = std::fabs(static_cast<double>(displayElevation(s->elevation)) -
                                              static_cast<double>(displayElevation(row.elevation)));
            if (nearest == nullptr || distance < nearestDistance) {
                nearest = s;
                nearestDistance = distance;
            }
        }
        if (matched) continue;
        std::string text = sourceName;
        if (row.line > 0) appendText(text, ", line %d", row.line);
        appendText(text, ": azimuth %d, elevation %s, pulse width %d ns, RASS %s matches no beam",
                   static_cast<int>(row.azimuth), shortestFloatText(row.elevation).c_str(),
                   static_cast<int>(row.pulseWidth), rassText(row.rassFlag).c_str());
        if (nearest != nullptr) {
            text += " (nearest: elevation " + shortestFloatText(nearest->elevation) + ")";
        }
        texts.push_back(std::move(text));
    }
    return texts;
}

bool looksLikeMomentFile(const std::string& path) {
    static constexpr std::string_view kMomentExtensions[] = {".raw", ".rat", ".mom", ".spc"};
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        std::string extension = name.substr(dot);
        for (char& c : extension) c = lowerAscii(c);
        for (const std::string_view e : kMomentExtensions) {
            if (extension == e) return true;
        }
    }

    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(fs::path(path), ec);
    if (ec || !fs::exists(status) || !fs::is_regular_file(status)) return false;

    std::ifstream in(path, std::ios::binary);
    if (!in) return true;  // cannot tell: not overwritten
    std::string head(kSniffBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const bool whole = head.size() < kSniffBytes;

    std::string_view rest = head;
    if (rest.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        rest.remove_prefix(kByteOrderMark.size());
    }
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos && !whole) return true;  // a line too long for a row
        const std::string_view text = trim(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (text.empty() || text.front() == '#') continue;
        return !isSettingsLine(text);
    }
    // Empty, or comments only (within the part looked at when longer).
    return !whole;
}

std::vector<std::string> settingsTableLines(const RecordList<BeamSetting>& table) {
    std::vector<std::string> lines;
    lines.push_back(formatText("%-9s%-11s%-12s%-11s%-12s%s", "Azimuth", "Elevation", "PulseWidth",
                               "CnsWindow", "CnsPercent", "RASS"));
    for (const BeamSetting* s : table) {
        const std::string window =
            s->consensusWindow > 0.0f ? formatText("%.2f", static_cast<double>(s->consensusWindow))
                                      : std::string();
        const std::string percent =
            s->consensusPercent != 0 ? formatText("%d", static_cast<int>(s->consensusPercent))
                                     : std::string();
        lines.push_back(formatText(
            "%-9d%-11.2f%-12d%-11s%-12s%s", static_cast<int>(s->azimuth),
            static_cast<double>(displayElevation(s->elevation)), static_cast<int>(s->pulseWidth),
            window.c_str(), percent.c_str(), s->rassFlag != 0 ? "ON" : "OFF"));
    }
    return lines;
}

}  // namespace qv
