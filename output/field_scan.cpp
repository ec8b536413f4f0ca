#include "output/field_scan.h"

#include <algorithm>
#include <charconv>

namespace qv {
namespace {

constexpr std::size_t kNoMatch = std::string_view::npos;

// Longest texts of one number field: "%d" of a 64-bit integer is at most
// 20 characters with its sign; the whole part of "%.nf" of a double at
// most 309 digits (DBL_MAX). Nothing longer is a value the fields can
// take, so no field is looked for further than this past its start: a
// field costs the same whatever the length of the line.
constexpr std::size_t kMaxIntegerText = 20;
constexpr std::size_t kMaxWholeDigits = 309;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The end of the digits from p, looking at no more than `limit` + 1 of
// them: a run longer than `limit` ends past p + limit.
std::size_t digitsFrom(std::string_view text, std::size_t p, std::size_t limit) {
    const std::size_t stop = std::min(text.size(), p + limit + 1);
    while (p < stop && isDigit(text[p])) ++p;
    return p;
}

// The most digits the whole part of a number of `format` can have after
// a sign of `signLength` characters.
std::size_t wholeDigitLimit(const FieldFormat& format, std::size_t signLength) {
    return format.decimals < 0 ? kMaxIntegerText - signLength : kMaxWholeDigits;
}

// The most characters one field can cover: its width, or its longest
// number with sign, point and decimals; and its literal point.
std::size_t fieldSpan(const FieldFormat& format) {
    std::size_t number = 1 + wholeDigitLimit(format, 1);
    if (format.decimals > 0) number += 1 + static_cast<std::size_t>(format.decimals);
    return std::max(number, static_cast<std::size_t>(format.width)) + (format.pointAfter ? 1 : 0);
}

// The position after the last non-blank character.
std::size_t blankFrom(std::string_view text) {
    const std::size_t last = text.find_last_not_of(" \t");
    return last == std::string_view::npos ? 0 : last + 1;
}

// "nan" or "inf" (printf's spellings of a float that is not a number) at p.
bool nanOrInfAt(std::string_view text, std::size_t p) {
    const std::string_view rest = text.substr(p < text.size() ? p : text.size());
    return rest.starts_with("nan") || rest.starts_with("inf");
}

// The end of a number as printf prints it for `format`, starting at p: an
// optional '-', digits, and for "%.nf" a point and exactly n digits.
std::size_t printedNumberEnd(std::string_view text, std::size_t p, const FieldFormat& format) {
    const std::size_t sign = p < text.size() && text[p] == '-' ? 1 : 0;
    p += sign;
    if (format.decimals >= 0 && nanOrInfAt(text, p)) return p + 3;
    const std::size_t limit = wholeDigitLimit(format, sign);
    const std::size_t end = digitsFrom(text, p, limit);
    if (end == p || end - p > limit) return kNoMatch;
    if (format.decimals <= 0) return end;
    if (end >= text.size() || text[end] != '.') return kNoMatch;
    const std::size_t fraction = end + 1;
    const std::size_t decimals = static_cast<std::size_t>(format.decimals);
    if (digitsFrom(text, fraction, decimals) < fraction + decimals) return kNoMatch;
    return fraction + decimals;
}

// A field of stars in the writer's columns: exactly its width, and its
// literal point or one more star in the point's column (a Fortran-style
// writer's field takes the point in its width).
std::size_t columnStars(std::string_view text, std::size_t pos, const FieldFormat& format,
                        std::string_view& number) {
    const std::size_t width = static_cast<std::size_t>(format.width);
    if (text.size() - pos < width ||
        text.substr(pos, width).find_first_not_of('*') != std::string_view::npos) {
        return kNoMatch;
    }
    number = text.substr(pos, width);
    std::size_t end = pos + width;
    if (format.pointAfter) {
        if (end >= text.size() || (text[end] != '.' && text[end] != '*')) return kNoMatch;
        ++end;
    }
    return end;
}

// One field in the writer's columns; returns the end of the field
// (after its literal point) or kNoMatch.
std::size_t columnField(std::string_view text, std::size_t pos, const FieldFormat& format,
                        std::string_view& number) {
    if (pos >= text.size()) return kNoMatch;
    if (text[pos] == '*') return columnStars(text, pos, format, number);
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

// One field among blanks, in the number shape of the field, or a run of
// stars.
std::size_t looseField(std::string_view text, std::size_t pos, const FieldFormat& format,
                       std::string_view& number) {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    const std::size_t start = pos;
    std::size_t p = pos;
    std::size_t end = kNoMatch;
    if (p < text.size() && text[p] == '*') {
        end = std::min(text.find_first_not_of('*', p), text.size());
    } else {
        const std::size_t sign = p < text.size() && (text[p] == '-' || text[p] == '+') ? 1 : 0;
        p += sign;
        if (format.decimals >= 0 && nanOrInfAt(text, p)) {
            end = p + 3;
        } else {
            const std::size_t limit = wholeDigitLimit(format, sign);
            const std::size_t whole = digitsFrom(text, p, limit);
            if (whole - p > limit) return kNoMatch;
            end = whole;
            bool anyDigit = whole > p;
            if (format.decimals >= 0 && whole < text.size() && text[whole] == '.') {
                // The decimals, and the whole part of a number glued on
                // after them ("12.3412345.67"): the field keeps the
                // decimals of its format.
                const std::size_t fraction = whole + 1;
                const std::size_t decimals = static_cast<std::size_t>(format.decimals);
                const std::size_t fractionLimit = decimals + kMaxWholeDigits;
                std::size_t fractionEnd = digitsFrom(text, fraction, fractionLimit);
                if (fractionEnd - fraction > fractionLimit) return kNoMatch;
                const std::size_t wanted = fraction + decimals;
                if (decimals > 0 && fractionEnd > wanted && fractionEnd < text.size() &&
                    text[fractionEnd] == '.') {
                    fractionEnd = wanted;
                }
                anyDigit = anyDigit || fractionEnd > fraction;
                end = fractionEnd;
            }
            if (!anyDigit) return kNoMatch;
        }
    }
    number = text.substr(start, end - start);
    if (format.pointAfter && end < text.size() && text[end] == '.') ++end;
    // A number must end at a blank, the end, or where another begins.
    if (end < text.size() && !isBlank(text[end]) && text[end] != '-' && text[end] != '+' &&
        !isDigit(text[end]) && text[end] != '.' && text[end] != '*') {
        return kNoMatch;
    }
    return end;
}

std::size_t oneField(std::string_view text, std::size_t pos, const FieldFormat& format,
                     ScanMode mode, std::string_view& number) {
    return mode == ScanMode::Columns ? columnField(text, pos, format, number)
                                     : looseField(text, pos, format, number);
}

// The writer's columns with a choice where integers that filled their
// fields touch ("99999999" for two "%4d"): the shortest reading that lets
// the rest of the line be read wins (a value filling its field is more
// common than one overflowing it). Failed (field, position) pairs are
// remembered, and no field reaches past the sum of the fields' spans, so
// a line is scanned in time bounded by the formats and memory likewise;
// only the blank check of the rest of the line looks at all of it.
class ColumnScan {
public:
    ColumnScan(std::string_view text, std::span<const FieldFormat> formats)
        : text_(reachable(text, formats)),
          formats_(formats),
          blankFrom_(blankFrom(text)),
          dead_(formats.size() * (text_.size() + 1), false) {}

    bool run(std::vector<std::string_view>& out, std::size_t& failedField) {
        out.assign(formats_.size(), std::string_view());
        deepest_ = 0;
        if (from(0, 0, out)) return true;
        failedField = deepest_;
        return false;
    }

private:
    // The part of a line any reading looks at: every field looks no further
    // than its span past its start. (No span is shorter than an integer's
    // text: shorter lines are wholly reachable.)
    static std::string_view reachable(std::string_view text,
                                      std::span<const FieldFormat> formats) {
        if (text.size() <= formats.size() * kMaxIntegerText) return text;
        std::size_t reach = 0;
        for (const FieldFormat& format : formats) reach += fieldSpan(format);
        return text.substr(0, std::min(text.size(), reach + 1));
    }

    bool from(std::size_t i, std::size_t pos, std::vector<std::string_view>& out) {
        if (i == formats_.size()) {
            if (pos >= blankFrom_) return true;
            deepest_ = i;  // text left over
            return false;
        }
        const std::size_t memo = i * (text_.size() + 1) + pos;
        if (pos > text_.size() || dead_[memo]) return false;
        deepest_ = std::max(deepest_, i);
        const bool read =
            mayEndInsideRun(formats_[i], pos) ? anyEnd(i, pos, out) : oneEnd(i, pos, out);
        if (!read) dead_[memo] = true;
        return read;
    }

    // A whole number that fills its field: it may go on into the digits
    // of the next field.
    bool mayEndInsideRun(const FieldFormat& format, std::size_t pos) const {
        return format.decimals <= 0 && pos < text_.size() &&
               (isDigit(text_[pos]) || text_[pos] == '-');
    }

    bool oneEnd(std::size_t i, std::size_t pos, std::vector<std::string_view>& out) {
        std::string_view number;
        const std::size_t end = columnField(text_, pos, formats_[i], number);
        if (end == kNoMatch) return false;
        out[i] = number;
        return from(i + 1, end, out);
    }

    // Each end from the field's width to the end of its digits, shortest
    // first.
    bool anyEnd(std::size_t i, std::size_t pos, std::vector<std::string_view>& out) {
        const FieldFormat& format = formats_[i];
        const std::size_t sign = text_[pos] == '-' ? 1 : 0;
        const std::size_t digits = pos + sign;
        const std::size_t limit = wholeDigitLimit(format, sign);
        const std::size_t longest = std::min(digitsFrom(text_, digits, limit), digits + limit);
        const std::size_t point = format.pointAfter ? 1 : 0;
        const std::size_t shortest =
            std::max(pos + static_cast<std::size_t>(format.width), digits + 1);
        for (std::size_t stop = shortest; stop <= longest; ++stop) {
            if (format.pointAfter && (stop >= text_.size() || text_[stop] != '.')) continue;
            out[i] = text_.substr(pos, stop - pos);
            if (from(i + 1, stop + point, out)) return true;
        }
        return false;
    }

    std::string_view text_;  // the part of the line a reading can reach
    std::span<const FieldFormat> formats_;
    std::size_t blankFrom_;  // of the whole line
    std::vector<bool> dead_;
    std::size_t deepest_ = 0;
};

}  // namespace

bool isStarField(std::string_view text) {
    return !text.empty() && text.find_first_not_of('*') == std::string_view::npos;
}

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
    if (pos < blankFrom(text)) {
        failedField = formats.size();
        return false;
    }
    return true;
}

bool scanRepeated(std::string_view text, const FieldFormat& format, ScanMode mode,
                  std::vector<std::string_view>& out) {
    out.clear();
    const std::size_t last = blankFrom(text);
    std::size_t pos = 0;
    while (pos < last) {
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
