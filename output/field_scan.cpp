#include "output/field_scan.h"

#include <algorithm>
#include <charconv>

namespace qv {
namespace {

constexpr std::size_t kNoMatch = std::string_view::npos;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t digitsFrom(std::string_view text, std::size_t p) {
    while (p < text.size() && isDigit(text[p])) ++p;
    return p;
}

// "nan" or "inf" (printf's spellings of a float that is not a number) at p.
bool nanOrInfAt(std::string_view text, std::size_t p) {
    const std::string_view rest = text.substr(p < text.size() ? p : text.size());
    return rest.starts_with("nan") || rest.starts_with("inf");
}

// The end of a number as printf prints it for `format`, starting at p: an
// optional '-', digits, and for "%.nf" a point and exactly n digits.
std::size_t printedNumberEnd(std::string_view text, std::size_t p, const FieldFormat& format) {
    if (p < text.size() && text[p] == '-') ++p;
    if (format.decimals >= 0 && nanOrInfAt(text, p)) return p + 3;
    const std::size_t end = digitsFrom(text, p);
    if (end == p) return kNoMatch;
    if (format.decimals <= 0) return end;
    if (end >= text.size() || text[end] != '.') return kNoMatch;
    const std::size_t fraction = end + 1;
    const std::size_t wanted = fraction + static_cast<std::size_t>(format.decimals);
    if (digitsFrom(text, fraction) < wanted) return kNoMatch;
    return wanted;
}

// One field in the writer's columns; returns the end of the field
// (after its literal point) or kNoMatch.
std::size_t columnField(std::string_view text, std::size_t pos, const FieldFormat& format,
                        std::string_view& number) {
    if (pos >= text.size()) return kNoMatch;
    const std::size_t width = static_cast<std::size_t>(format.width);
    std::size_t start = pos;
    std::size_t end = kNoMatch;
    if (isBlank(text[pos])) {
        // Padded: the value is shorter than the field and ends at its edge.
        const std::size_t edge = pos + width;
        if (edge > text.size()) return kNoMatch;
        while (start < edge && isBlank(text[start])) ++start;
        if (start == edge) return kNoMatch;
        // Digits of the next field may touch the edge: the number is read
        // up to the edge only.
        end = printedNumberEnd(text.substr(0, edge), start, format);
        if (end != edge) return kNoMatch;
    } else {
        // Filled or widened: no padding, the number decides where it ends.
        end = printedNumberEnd(text, start, format);
        if (end == kNoMatch || end - start < width) return kNoMatch;
    }
    number = text.substr(start, end - start);
    if (format.pointAfter) {
        if (end >= text.size() || text[end] != '.') return kNoMatch;
        ++end;
    }
    return end;
}

// One field among blanks, in the number shape of the field.
std::size_t looseField(std::string_view text, std::size_t pos, const FieldFormat& format,
                       std::string_view& number) {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    const std::size_t start = pos;
    std::size_t p = pos;
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) ++p;
    std::size_t end = kNoMatch;
    if (format.decimals >= 0 && nanOrInfAt(text, p)) {
        end = p + 3;
    } else {
        const std::size_t whole = digitsFrom(text, p);
        end = whole;
        bool anyDigit = whole > p;
        if (format.decimals >= 0 && whole < text.size() && text[whole] == '.') {
            const std::size_t fraction = whole + 1;
            std::size_t fractionEnd = digitsFrom(text, fraction);
            // Another number glued on after the decimals ("12.3412345.67"):
            // the field keeps the decimals of its format.
            const std::size_t wanted = fraction + static_cast<std::size_t>(format.decimals);
            if (format.decimals > 0 && fractionEnd > wanted && fractionEnd < text.size() &&
                text[fractionEnd] == '.') {
                fractionEnd = wanted;
            }
            anyDigit = anyDigit || fractionEnd > fraction;
            end = fractionEnd;
        }
        if (!anyDigit) return kNoMatch;
    }
    number = text.substr(start, end - start);
    if (format.pointAfter && end < text.size() && text[end] == '.') ++end;
    // A number must end at a blank, the end, or where another begins.
    if (end < text.size() && !isBlank(text[end]) && text[end] != '-' && text[end] != '+' &&
        !isDigit(text[end]) && text[end] != '.') {
        return kNoMatch;
    }
    return end;
}

std::size_t oneField(std::string_view text, std::size_t pos, const FieldFormat& format,
                     ScanMode mode, std::string_view& number) {
    return mode == ScanMode::Columns ? columnField(text, pos, format, number)
                                     : looseField(text, pos, format, number);
}

bool restBlank(std::string_view text, std::size_t pos) {
    for (; pos < text.size(); ++pos) {
        if (!isBlank(text[pos])) return false;
    }
    return true;
}

}  // namespace

namespace {

// Longest text of one integer field that can still be a 64-bit number
// ("%.0f" fields print any double and are not bounded).
constexpr std::size_t kMaxIntegerText = 20;

// The writer's columns with a choice where integers that filled their
// fields touch ("99999999" for two "%4d"): the shortest reading that lets
// the rest of the line be read wins (a value filling its field is more
// common than one overflowing it). Failed (field, position) pairs are
// remembered, so a line is scanned in time proportional to its length.
class ColumnScan {
public:
    ColumnScan(std::string_view text, std::span<const FieldFormat> formats)
        : text_(text), formats_(formats), dead_(formats.size() * (text.size() + 1), false) {}

    bool run(std::vector<std::string_view>& out, std::size_t& failedField) {
        out.assign(formats_.size(), std::string_view());
        deepest_ = 0;
        if (from(0, 0, out)) return true;
        failedField = deepest_;
        return false;
    }

private:
    bool from(std::size_t i, std::size_t pos, std::vector<std::string_view>& out) {
        if (i == formats_.size()) {
            if (restBlank(text_, pos)) return true;
            deepest_ = i;  // text left over
            return false;
        }
        const std::size_t memo = i * (text_.size() + 1) + pos;
        if (pos > text_.size() || dead_[memo]) return false;
        deepest_ = std::max(deepest_, i);
        const FieldFormat& format = formats_[i];
        std::string_view number;
        const std::size_t end = columnField(text_, pos, format, number);
        if (end != kNoMatch) {
            const bool choice = format.decimals <= 0 && !isBlank(text_[pos]);
            if (!choice) {
                out[i] = number;
                if (from(i + 1, end, out)) return true;
            } else {
                // The number could end anywhere from the field's width on.
                const std::size_t start = pos;
                const std::size_t point = format.pointAfter ? 1 : 0;
                const std::size_t longest = end - point;
                const std::size_t sign = text_[start] == '-' ? 1 : 0;
                const std::size_t shortest =
                    std::max(start + static_cast<std::size_t>(format.width), start + sign + 1);
                for (std::size_t stop = shortest; stop <= longest; ++stop) {
                    if (format.decimals < 0 && stop - start > kMaxIntegerText) break;
                    if (format.pointAfter && (stop >= text_.size() || text_[stop] != '.')) continue;
                    out[i] = text_.substr(start, stop - start);
                    if (from(i + 1, stop + point, out)) return true;
                }
            }
        }
        dead_[memo] = true;
        return false;
    }

    std::string_view text_;
    std::span<const FieldFormat> formats_;
    std::vector<bool> dead_;
    std::size_t deepest_ = 0;
};

}  // namespace

bool scanFields(std::string_view text, std::span<const FieldFormat> formats, ScanMode mode,
                std::vector<std::string_view>& out, std::size_t& failedField) {
    if (mode == ScanMode::Columns) return ColumnScan(text, formats).run(out, failedField);
    out.clear();
    std::size_t pos = 0;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        std::string_view number;
        const std::size_t end = oneField(text, pos, formats[i], mode, number);
        if (end == kNoMatch) {
            failedField = i;
            return false;
        }
        out.push_back(number);
        pos = end;
    }
    if (!restBlank(text, pos)) {
        failedField = formats.size();
        return false;
    }
    return true;
}

bool scanRepeated(std::string_view text, const FieldFormat& format, ScanMode mode,
                  std::vector<std::string_view>& out) {
    out.clear();
    std::size_t pos = 0;
    while (!restBlank(text, pos)) {
        std::string_view number;
        const std::size_t end = oneField(text, pos, format, mode, number);
        if (end == kNoMatch || end <= pos) return false;
        out.push_back(number);
        pos = end;
    }
    return true;
}

bool parseInt64(std::string_view text, std::int64_t& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseFloat(std::string_view text, float& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out,
                                           std::chars_format::fixed);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseDouble(std::string_view text, double& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out,
                                           std::chars_format::fixed);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace qv
