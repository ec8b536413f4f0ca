#include "output/consensus_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "core/numeric.h"
#include "core/time.h"
#include "output/field_scan.h"

namespace qv {
namespace {

constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;
constexpr std::size_t kChunkBytes = std::size_t{64} << 10;

// The gate lines as the writer prints them.
constexpr FieldFormat kWindFields[] = {
    {2, -1, false, "QC code"},  {7, 0, false, "height"},   {9, 1, false, "speed"},
    {6, -1, true, "direction"}, {8, 2, false, "u"},        {8, 2, false, "v"},
    {8, 2, false, "w"},         {4, -1, false, "u count"}, {4, -1, false, "v count"},
    {4, -1, false, "w count"},  {5, -1, false, "u SNR"},   {5, -1, false, "v SNR"},
    {5, -1, false, "w SNR"},
};
constexpr FieldFormat kTemperatureFields[] = {
    {2, -1, false, "QC code"}, {7, 0, false, "height"}, {9, 1, false, "temperature"},
    {6, -1, false, "count"},   {6, -1, false, "SNR"},
};

// The header's per-beam entries ("%4d" and "%5.1f"), and where the writer
// puts the text after each label.
constexpr FieldFormat kBeamIntField{4, -1, false, "entry"};
constexpr FieldFormat kBeamElevationField{5, 1, false, "elevation"};
constexpr std::string_view kMaxLabel = "Max. Samples:";
constexpr std::string_view kReqLabel = "Req. Samples:";
constexpr std::string_view kAzimuthLabel = "Ant. Azimuth (deg):";
constexpr std::string_view kElevationLabel = "Ant. Elev. (deg):";
constexpr std::size_t kMaxTextColumn = 19;      // "Max. Samples:      "
constexpr std::size_t kReqTextOffset = 18;      // "Req. Samples:     "
constexpr std::size_t kAzimuthTextColumn = 19;  // "Ant. Azimuth (deg):"
constexpr std::size_t kElevationTextOffset = 18;  // "Ant. Elev. (deg): "

// What a gate field of stars (a value too wide for a Fortran-style
// writer's field) reads as: the QC code invalid, a value or SNR missing, a
// count of no samples.
constexpr std::int16_t kStarsQc = kQcInvalidCode;
constexpr std::int32_t kStarsValue = static_cast<std::int32_t>(kMissingCode);
constexpr std::uint32_t kStarsCount = 0;

// A gate whose height the line does not tell keeps its place in the period
// with every value missing and its QC code invalid: nothing can be drawn or
// checked at no height.
void clearGate(WindGate& g) {
    g.qcCode = kStarsQc;
    g.speed = g.u = g.v = g.w = kMissingCode;
    g.direction = kStarsValue;
    g.countU = g.countV = g.countW = kStarsCount;
    g.snrU = g.snrV = g.snrW = kStarsValue;
}

void clearGate(TemperatureGate& g) {
    g.qcCode = kStarsQc;
    g.tv = g.tvc = kMissingCode;
    g.count = static_cast<std::int32_t>(kStarsCount);
    g.snr = kStarsValue;
}

constexpr float kPulseLengthFactor = 0.3f;  // as the header writer multiplies
constexpr float kPercentFactor = 0.01f;

struct Line {
    std::string_view text;
    std::size_t number = 0;
};

// Lines of a text with LF or CR LF ends; the last line may lack its end.
// The text may be the start of a file only (`whole` false): then a line
// without its end is not given out, and `starved` tells that more text
// was wanted.
class LineSource {
public:
    LineSource(std::string_view text, bool whole) : text_(text), whole_(whole) {}

    bool peek(Line& line) {
        const std::size_t end =
            pos_ < text_.size() ? text_.find('\n', pos_) : std::string_view::npos;
        if (!whole_ && end == std::string_view::npos) {
            starved_ = true;
            return false;
        }
        if (pos_ >= text_.size()) return false;
        const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
        std::string_view body = text_.substr(pos_, stop - pos_);
        if (!body.empty() && body.back() == '\r') body.remove_suffix(1);
        line.text = body;
        line.number = number_ + 1;
        next_ = end == std::string_view::npos ? text_.size() : end + 1;
        return true;
    }
    void advance() {
        pos_ = next_;
        ++number_;
    }
    bool next(Line& line) {
        if (!peek(line)) return false;
        advance();
        return true;
    }
    // The number a line after the last one read would have.
    std::size_t following() const { return number_ + 1; }
    bool starved() const { return starved_; }

private:
    std::string_view text_;
    bool whole_ = true;
    bool starved_ = false;
    std::size_t pos_ = 0;
    std::size_t next_ = 0;
    std::size_t number_ = 0;
};

bool isBlankLine(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string_view firstToken(std::string_view text) {
    text = trim(text);
    const std::size_t blank = text.find_first_of(" \t");
    return blank == std::string_view::npos ? text : text.substr(0, blank);
}

// The first `most` words of a text.
std::vector<std::string_view> tokens(std::string_view text, std::size_t most) {
    std::vector<std::string_view> out;
    std::size_t p = 0;
    while (out.size() < most) {
        p = text.find_first_not_of(" \t", p);
        if (p == std::string_view::npos) break;
        const std::size_t end = std::min(text.find_first_of(" \t", p), text.size());
        out.push_back(text.substr(p, end - p));
        p = end;
    }
    return out;
}

// Printable form of a piece of a damaged line for a message.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text.substr(0, 40)) {
        out += (c >= 32 && c < 127) ? c : '?';
    }
    if (text.size() > 40) out += "...";
    return out + "\"";
}

bool digitsOnly(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// The mode digit of a consensus file name ("abc04033.w1a": 1); -1 if the
// name does not end that way.
int modeDigitOfName(std::string_view name) {
    const std::size_t slash = name.find_last_of('/');
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return -1;
    std::string_view ext = name.substr(dot + 1);
    if (ext.size() < 3) return -1;
    const char letter = ext.front();
    if (letter != 'w' && letter != 'W' && letter != 't' && letter != 'T') return -1;
    if (ext.back() != 'a' && ext.back() != 'A') return -1;
    ext = ext.substr(1, ext.size() - 2);
    std::int64_t digit = 0;
    if (!digitsOnly(ext) || !parseInt64(ext, digit) || digit > 32767) return -1;
    return static_cast<int>(digit);
}

// The largest whole percent, 0 to 1000, whose share of `maxSamples` (both
// not negative) the writer prints as `reqSamples`, or -1. The printed
// share does not fall as the percent grows, so halving finds it.
std::int32_t consensusPercentOf(std::int64_t maxSamples, std::int64_t reqSamples) {
    const auto printed = [maxSamples](std::int32_t percent) {
        return truncToInt(static_cast<double>(maxSamples) * static_cast<double>(percent) *
                          static_cast<double>(kPercentFactor));
    };
    std::int32_t low = 0;  // printed(low) <= reqSamples throughout
    std::int32_t high = 1000;
    while (low < high) {
        const std::int32_t middle = (low + high + 1) / 2;
        if (printed(middle) <= reqSamples) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return printed(low) == reqSamples ? low : -1;
}

class Parser {
public:
    // `whole`: the text is the whole file, not only its start.
    Parser(std::string_view text, const std::string& name, bool whole = true)
        : lines_(text, whole), name_(name) {}

    ConsensusFileRead run() { return result(parseHeader() && parseBody()); }

    // The header and the column heads, none of the periods.
    ConsensusFileRead runHeader() { return result(parseHeader()); }

    // True when the text ended before the header and the column heads
    // did: the start of a file was too short to tell.
    bool starved() const { return lines_.starved(); }

private:
    ConsensusFileRead result(bool ok) {
        ConsensusFileRead read;
        read.ok = ok;
        if (ok) {
            read.contents = std::move(contents_);
        } else {
            read.error = error_;
        }
        return read;
    }

    bool fail(std::size_t line, const std::string& reason) {
        error_ = name_ + ", line " + std::to_string(line) + ": " + reason;
        return false;
    }

    DayHeader& header() {
        return contents_.kind == OutputKind::Winds ? contents_.winds.header
                                                   : contents_.temperature.header;
    }

    // ---- Header ----

    bool parseHeader() {
        Line line;
        if (!lines_.next(line)) return fail(1, "empty file, not a consensus data file");
        if (!line.text.starts_with("CDF Type:")) {
            return fail(line.number, "not a consensus data file (it does not begin with "
                                     "\"CDF Type:\")");
        }
        const std::string_view type = firstToken(line.text.substr(9));
        if (type == "Wind") {
            contents_.kind = OutputKind::Winds;
        } else if (type == "Temp") {
            contents_.kind = OutputKind::Temperature;
        } else {
            return fail(line.number, "CDF Type " + quoted(type) + " is neither Wind nor Temp");
        }
        header().fileKind = contents_.kind;

        while (lines_.next(line)) {
            if (line.number == 2) readTitle(line.text);
            if (line.text.starts_with("HHMM")) return finishHeader(line.number);
            if (!headerLine(line)) return false;
        }
        return fail(lines_.following(),
                    "the file ends inside the header (no \"HHMM    NNN         N\" line)");
    }

    // "VESK/KOR Quorvane Winds (QAV)": the output kind and the data source.
    void readTitle(std::string_view text) {
        text = trim(text);
        const std::size_t open = text.rfind(" (");
        if (open == std::string_view::npos || !text.ends_with(")")) return;
        header().dataSourceText = std::string(text.substr(open + 2, text.size() - open - 3));
        // The corrected wind solution says so after the data source.
        const std::string corrected = ", corrected winds";
        const std::string& source = header().dataSourceText;
        header().correctedWinds = source.size() >= corrected.size() &&
                                  source.compare(source.size() - corrected.size(),
                                                 corrected.size(), corrected) == 0;
        const std::string_view before = trim(text.substr(0, open));
        const std::size_t blank = before.find_last_of(" \t");
        header().outputKindText =
            std::string(blank == std::string_view::npos ? before : before.substr(blank + 1));
    }

    bool headerLine(const Line& line) {
        const std::string_view t = line.text;
        if (t.starts_with("Station:")) {
            const std::string_view station = trim(t.substr(8));
            if (station.empty()) return fail(line.number, "the station name is empty");
            header().stationName = std::string(station);
            return true;
        }
        if (t.starts_with("Date:")) return readDate(line);
        if (t.starts_with("Filename:")) {
            fileNameDigit_ = modeDigitOfName(firstToken(t.substr(9)));
            return true;
        }
        if (t.starts_with("Elev. (m msl):")) {
            std::int64_t elevation = 0;
            if (!parseInt64(firstToken(t.substr(14)), elevation) ||
                elevation < std::numeric_limits<std::int32_t>::min() ||
                elevation > std::numeric_limits<std::int32_t>::max()) {
                return fail(line.number, "the site elevation is not a whole number of metres");
            }
            header().siteElevation = static_cast<std::int32_t>(elevation);
            return true;
        }
        if (t.starts_with("Lat (dec deg):")) return readPosition(line);
        if (t.starts_with("Avg. Int. (min):")) {
            std::int64_t minutes = 0;
            if (!parseInt64(firstToken(t.substr(16)), minutes) || minutes < 1 ||
                minutes > 1440) {
                return fail(line.number, "the averaging interval is not 1 to 1440 minutes");
            }
            header().averagingMinutes = static_cast<std::int32_t>(minutes);
            return true;
        }
        if (t.starts_with("Pulse Len. (m):")) return readPulse(line);
        if (t.starts_with(kMaxLabel)) {
            return readBeamPair(line, kMaxLabel, kMaxTextColumn, kReqLabel, kReqTextOffset,
                                kBeamIntField, maxTexts_, reqTexts_, "Max. Samples",
                                "Req. Samples");
        }
        if (t.starts_with(kAzimuthLabel)) {
            return readBeamPair(line, kAzimuthLabel, kAzimuthTextColumn, kElevationLabel,
                                kElevationTextOffset, kBeamElevationField, azimuthTexts_,
                                elevationTexts_, "Ant. Azimuth", "Ant. Elev.");
        }
        return true;  // fixed texts and lines of other writers
    }

    bool readDate(const Line& line) {
        const std::string_view t = line.text;
        const std::string_view date = firstToken(t.substr(5));
        const std::size_t slash1 = date.find('/');
        const std::size_t slash2 =
            slash1 == std::string_view::npos ? slash1 : date.find('/', slash1 + 1);
        std::int64_t month = 0, day = 0, year = 0;
        if (slash2 == std::string_view::npos || !digitsOnly(date.substr(0, slash1)) ||
            !digitsOnly(date.substr(slash1 + 1, slash2 - slash1 - 1)) ||
            !digitsOnly(date.substr(slash2 + 1)) || date.size() > 10 ||
            !parseInt64(date.substr(0, slash1), month) ||
            !parseInt64(date.substr(slash1 + 1, slash2 - slash1 - 1), day) ||
            !parseInt64(date.substr(slash2 + 1), year) || year > 99) {
            return fail(line.number, "the date " + quoted(date) + " is not MM/DD/YY");
        }
        const int fullYear = static_cast<int>(year >= 70 ? 1900 + year : 2000 + year);
        if (month < 1 || month > 12 || day < 1 || day > 31) {
            return fail(line.number, "the date " + quoted(date) + " is not a calendar date");
        }
        const int doy = dayOfYear(fullYear, static_cast<int>(month), static_cast<int>(day));
        std::int16_t checkMonth = 0, checkDay = 0;
        monthDayFromDayOfYear(fullYear, doy, checkMonth, checkDay);
        if (checkMonth != month || checkDay != day) {
            return fail(line.number, "the date " + quoted(date) + " is not a calendar date");
        }
        const std::size_t julian = t.find("Julian Day:");
        if (julian != std::string_view::npos) {
            std::int64_t stated = 0;
            if (!parseInt64(firstToken(t.substr(julian + 11)), stated)) {
                return fail(line.number, "the Julian day is not a number");
            }
            if (stated != doy) {
                return fail(line.number, "Julian Day " + std::to_string(stated) +
                                             " is not the day of year of " +
                                             std::string(date) + " (" + std::to_string(doy) +
                                             ")");
            }
        }
        CalendarTime& d = header().day;
        d.year = static_cast<std::uint16_t>(fullYear);
        d.month = static_cast<std::uint16_t>(month);
        d.day = static_cast<std::uint16_t>(day);
        haveDate_ = true;
        return true;
    }

    static bool centiDegrees(std::string_view text, double limit, std::int16_t& out) {
        double degrees = 0.0;
        if (!parseDouble(text, degrees) || !(std::fabs(degrees) <= limit)) return false;
        out = static_cast<std::int16_t>(std::lround(degrees * 100.0));
        return true;
    }

    bool readPosition(const Line& line) {
        const std::string_view t = line.text;
        if (!centiDegrees(firstToken(t.substr(14)), 90.0, header().latitudeCenti)) {
            return fail(line.number, "the latitude is not a number of degrees from -90 to 90");
        }
        const std::size_t lon = t.find("Long (dec deg):");
        if (lon != std::string_view::npos &&
            !centiDegrees(firstToken(t.substr(lon + 15)), 327.67, header().longitudeCenti)) {
            return fail(line.number, "the longitude is not a number of degrees from -327.67 "
                                     "to 327.67");
        }
        return true;
    }

    bool readPulse(const Line& line) {
        const std::string_view t = line.text;
        double length = 0.0;
        if (!parseDouble(firstToken(t.substr(15)), length) || !(length >= 0.0) ||
            length > 1.0e6) {
            return fail(line.number, "the pulse length is not a number of metres");
        }
        header().pulseWidth = pulseWidthOfLength(length);
        const std::size_t spacing = t.find("Spacing (m):");
        if (spacing != std::string_view::npos) {
            float metres = 0.0f;
            if (!parseFloat(firstToken(t.substr(spacing + 12)), metres) ||
                !std::isfinite(metres)) {
                return fail(line.number, "the gate spacing is not a number of metres");
            }
            header().gateSpacing = metres;
        }
        return true;
    }

    // The whole nanoseconds nearest to length / 0.15 that print as the same
    // pulse length ("%.0f" of width x 0.29999998 x 0.5).
    static std::int32_t pulseWidthOfLength(double length) {
        const double factor = static_cast<double>(kPulseLengthFactor) * 0.5;
        char printed[64];
        std::snprintf(printed, sizeof printed, "%.0f", length);
        const std::int32_t centre = truncToInt(std::floor(length / factor + 0.5));
        for (std::int32_t step = 0; step <= 16; ++step) {
            for (const std::int32_t candidate : {centre - step, centre + step}) {
                if (candidate < 0) continue;
                char again[64];
                std::snprintf(again, sizeof again, "%.0f", candidate * factor);
                if (std::strcmp(printed, again) == 0) return candidate;
            }
        }
        return centre;
    }

    // "LABEL1  entries LABEL2  entries" lines (Max./Req. Samples, Ant.
    // Azimuth/Elev.): the two lists of texts.
    bool readBeamPair(const Line& line, std::string_view label1, std::size_t column1,
                      std::string_view label2, std::size_t offset2, const FieldFormat& format2,
                      std::vector<std::string_view>& out1, std::vector<std::string_view>& out2,
                      const char* name1, const char* name2) {
        const std::string_view t = line.text;
        const std::size_t at2 = t.find(label2, label1.size());
        if (at2 == std::string_view::npos) {
            return fail(line.number, std::string("no \"") + std::string(label2) +
                                         "\" after \"" + std::string(label1) + "\"");
        }
        if (!scanList(t, label1.size(), column1, at2, kBeamIntField, out1)) {
            return fail(line.number, std::string("the ") + name1 + " entries " +
                                         quoted(trim(t.substr(label1.size(),
                                                              at2 - label1.size()))) +
                                         " are not whole numbers");
        }
        if (!scanList(t, at2 + label2.size(), at2 + offset2, t.size(), format2, out2)) {
            return fail(line.number, std::string("the ") + name2 + " entries " +
                                         quoted(trim(t.substr(at2 + label2.size()))) +
                                         " are not numbers");
        }
        (label1 == kMaxLabel ? samplesLine_ : directionsLine_) = line.number;
        return true;
    }

    // The entries between `from` and `to`: in the writer's columns from
    // `column`, else loosely.
    static bool scanList(std::string_view t, std::size_t from, std::size_t column,
                         std::size_t to, const FieldFormat& format,
                         std::vector<std::string_view>& out) {
        if (column <= to && column >= from &&
            isBlankLine(t.substr(from, column - from)) &&
            scanRepeated(t.substr(column, to - column), format, ScanMode::Columns, out)) {
            return true;
        }
        return scanRepeated(t.substr(from, to - from), format, ScanMode::Loose, out);
    }

    bool makeBeams() {
        const std::size_t n = maxTexts_.size();
        // The line at fault: the samples line when its two lists differ,
        // else the directions line (either may be missing).
        std::size_t beamLine = reqTexts_.size() != n ? samplesLine_ : directionsLine_;
        if (beamLine == 0) beamLine = std::max(samplesLine_, directionsLine_);
        if (reqTexts_.size() != n || azimuthTexts_.size() != n || elevationTexts_.size() != n) {
            return fail(beamLine, "the beam lists differ in length (" +
                                       std::to_string(maxTexts_.size()) + " Max. Samples, " +
                                       std::to_string(reqTexts_.size()) + " Req. Samples, " +
                                       std::to_string(azimuthTexts_.size()) + " azimuths, " +
                                       std::to_string(elevationTexts_.size()) + " elevations)");
        }
        for (std::size_t i = 0; i < n; ++i) {
            HeaderBeam beam;
            std::int64_t azimuth = 0, maxSamples = 0, reqSamples = 0;
            float elevation = 0.0f;
            if (!parseInt64(azimuthTexts_[i], azimuth) || azimuth < -32768 || azimuth > 32767 ||
                !parseFloat(elevationTexts_[i], elevation) || !std::isfinite(elevation) ||
                !parseInt64(maxTexts_[i], maxSamples) || maxSamples < 0 ||
                maxSamples > std::numeric_limits<std::int32_t>::max() ||
                !parseInt64(reqTexts_[i], reqSamples) || reqSamples < 0) {
                return fail(beamLine, "the entries of beam " + std::to_string(i + 1) +
                                           " are out of range");
            }
            beam.azimuth = static_cast<std::int16_t>(azimuth);
            beam.elevation = elevation;
            beam.sampleCount = static_cast<std::int32_t>(maxSamples);
            beam.consensusPercent = consensusPercentOf(maxSamples, reqSamples);
            if (beam.consensusPercent < 0) {
                return fail(samplesLine_, "Req. Samples " + std::to_string(reqSamples) +
                                           " of beam " + std::to_string(i + 1) +
                                           " is no share of its Max. Samples " +
                                           std::to_string(maxSamples));
            }
            header().beams.push_back(beam);
        }
        return true;
    }

    bool finishHeader(std::size_t tableLine) {
        if (header().stationName.empty()) return fail(tableLine, "the header has no station");
        if (!haveDate_) return fail(tableLine, "the header has no date");
        if (header().averagingMinutes == 0) {
            return fail(tableLine, "the header has no averaging interval");
        }
        if (!makeBeams()) return false;

        // Column heads (and blank lines) before the first period.
        int headsDigit = -1;
        Line line;
        while (lines_.peek(line)) {
            if (line.text.starts_with("QC ")) {
                const auto words = tokens(line.text, 3);
                if (words.size() > 2 && words[2] == "Tv") headsDigit = 1;
                if (words.size() > 2 && words[2] == "TvC") headsDigit = 2;
            } else if (!line.text.starts_with("Code ") && !isBlankLine(line.text)) {
                break;
            }
            lines_.advance();
        }

        int digit = fileNameDigit_ >= 0 ? fileNameDigit_ : modeDigitOfName(name_);
        if (contents_.kind == OutputKind::Temperature) {
            if (headsDigit > 0) digit = headsDigit;
            if (digit != 1 && digit != 2) {
                return fail(tableLine, "cannot tell Tv from TvC: no Tv or TvC column heads "
                                       "and no digit 1 or 2 in the file name");
            }
            contents_.temperatureDigit = digit;
        } else if (digit < 0) {
            return fail(tableLine, "no mode digit in the Filename field or the file name");
        }
        header().variant = static_cast<std::int16_t>(digit);
        return true;
    }

    // ---- Periods ----

    bool parseBody() {
        Line line;
        while (lines_.next(line)) {
            if (isBlankLine(line.text)) continue;
            char key[5] = {};
            std::int64_t gates = 0;
            if (!readPeriodLine(line, key, gates)) return false;
            if (contents_.kind == OutputKind::Winds) {
                contents_.winds.periods.emplace_back();
                std::memcpy(contents_.winds.periods.back().key, key, 5);
            } else {
                contents_.temperature.periods.emplace_back();
                std::memcpy(contents_.temperature.periods.back().key, key, 5);
            }
            for (std::int64_t i = 0; i < gates; ++i) {
                Line gate;
                const std::string where = " of " + std::to_string(gates) + " of period " + key;
                if (!lines_.next(gate)) {
                    return fail(lines_.following(), "the file ends before gate line " +
                                                        std::to_string(i + 1) + where);
                }
                if (isBlankLine(gate.text)) {
                    return fail(gate.number, "blank line instead of gate line " +
                                                 std::to_string(i + 1) + where);
                }
                const bool ok = contents_.kind == OutputKind::Winds ? readWindGate(gate)
                                                                    : readTemperatureGate(gate);
                if (!ok) return false;
            }
        }
        return true;
    }

    bool readPeriodLine(const Line& line, char (&key)[5], std::int64_t& gates) {
        auto words = tokens(line.text, 4);
        // A gate count wider than its field touches the key.
        if (words.size() == 2 && words[0].size() > 4 && digitsOnly(words[0])) {
            words.insert(words.begin() + 1, words[0].substr(4));
            words[0] = words[0].substr(0, 4);
        }
        std::int64_t changes = 0;
        if (words.size() != 3 || words[0].size() != 4 || !digitsOnly(words[1]) ||
            !parseInt64(words[1], gates) || !parseInt64(words[2], changes)) {
            return fail(line.number, "expected a period line (HHMM, number of gates, 0), "
                                     "found " + quoted(line.text));
        }
        std::memcpy(key, words[0].data(), 4);
        key[4] = '\0';
        const int minute = periodKeyMinutes(key);
        if (minute < 0) {
            return fail(line.number, "the period time " + quoted(words[0]) +
                                         " is not a time of day (HHMM)");
        }
        // A day holds each period once: what reads a day tells its periods
        // by their start times, so a second block of one time is refused.
        if (periodLines_.empty()) periodLines_.assign(24 * 60, 0);
        std::size_t& first = periodLines_[static_cast<std::size_t>(minute)];
        if (first != 0) {
            return fail(line.number, std::string("period ") + key +
                                         " appears twice (first at line " +
                                         std::to_string(first) + ")");
        }
        first = line.number;
        return true;
    }

    bool scanGate(const Line& line, std::span<const FieldFormat> formats, const char* what) {
        std::size_t failed = 0, looseFailed = 0;
        if (scanFields(line.text, formats, ScanMode::Columns, fields_, failed)) return true;
        if (scanFields(line.text, formats, ScanMode::Loose, fields_, looseFailed)) return true;
        failed = std::max(failed, looseFailed);
        const std::string field =
            failed < formats.size() ? std::string("the ") + formats[failed].name + " field"
                                  : std::string("text after the last field");
        return fail(line.number, std::string("unreadable ") + what + " gate line (" + field +
                                     "): " + quoted(line.text));
    }

    // Gate fields: a field of stars reads as `missing` (kMissingCode for
    // the float values).
    bool intField(const Line& line, std::size_t i, std::span<const FieldFormat> formats,
                  std::int64_t low, std::int64_t high, std::int64_t missing, std::int64_t& out) {
        if (isStarField(fields_[i])) {
            out = missing;
            return true;
        }
        if (!parseInt64(fields_[i], out) || out < low || out > high) {
            return fail(line.number, std::string("the ") + formats[i].name + " " +
                                         quoted(fields_[i]) + " is out of range");
        }
        return true;
    }

    bool floatField(const Line& line, std::size_t i, std::span<const FieldFormat> formats,
                    float& out) {
        if (isStarField(fields_[i])) {
            out = kMissingCode;
            return true;
        }
        if (!parseFloat(fields_[i], out)) {
            return fail(line.number, std::string("the ") + formats[i].name + " " +
                                         quoted(fields_[i]) + " is out of range");
        }
        return true;
    }

    // NaN where the line does not tell the height: stars, or a NaN as
    // printf prints it.
    bool heightField(const Line& line, std::size_t i, std::span<const FieldFormat> formats,
                     double& out) {
        if (isStarField(fields_[i])) {
            out = std::numeric_limits<double>::quiet_NaN();
            return true;
        }
        if (!parseDouble(fields_[i], out) || std::isinf(out)) {
            return fail(line.number, std::string("the ") + formats[i].name + " " +
                                         quoted(fields_[i]) + " is not a number");
        }
        return true;
    }

    bool readWindGate(const Line& line) {
        const std::span<const FieldFormat> formats(kWindFields);
        if (!scanGate(line, formats, "wind")) return false;
        constexpr std::int64_t i32min = std::numeric_limits<std::int32_t>::min();
        constexpr std::int64_t i32max = std::numeric_limits<std::int32_t>::max();
        constexpr std::int64_t u32max = std::numeric_limits<std::uint32_t>::max();
        WindGate g;
        std::int64_t qc = 0, direction = 0, counts[3] = {}, snrs[3] = {};
        double height = 0.0;
        if (!intField(line, 0, formats, -32768, 32767, kStarsQc, qc) ||
            !heightField(line, 1, formats, height) || !floatField(line, 2, formats, g.speed) ||
            !intField(line, 3, formats, i32min, i32max, kStarsValue, direction) ||
            !floatField(line, 4, formats, g.u) || !floatField(line, 5, formats, g.v) ||
            !floatField(line, 6, formats, g.w)) {
            return false;
        }
        for (std::size_t k = 0; k < 3; ++k) {
            if (!intField(line, 7 + k, formats, 0, u32max, kStarsCount, counts[k]) ||
                !intField(line, 10 + k, formats, i32min, i32max, kStarsValue, snrs[k])) {
                return false;
            }
        }
        g.qcCode = static_cast<std::int16_t>(qc);
        g.height = static_cast<long double>(height);
        g.direction = static_cast<std::int32_t>(direction);
        g.countU = static_cast<std::uint32_t>(counts[0]);
        g.countV = static_cast<std::uint32_t>(counts[1]);
        g.countW = static_cast<std::uint32_t>(counts[2]);
        g.snrU = static_cast<std::int32_t>(snrs[0]);
        g.snrV = static_cast<std::int32_t>(snrs[1]);
        g.snrW = static_cast<std::int32_t>(snrs[2]);
        if (std::isnan(height)) clearGate(g);
        contents_.winds.periods.back().gates.push_back(g);
        return true;
    }

    bool readTemperatureGate(const Line& line) {
        const std::span<const FieldFormat> formats(kTemperatureFields);
        if (!scanGate(line, formats, "temperature")) return false;
        constexpr std::int64_t i32min = std::numeric_limits<std::int32_t>::min();
        constexpr std::int64_t i32max = std::numeric_limits<std::int32_t>::max();
        TemperatureGate g;
        std::int64_t qc = 0, count = 0, snr = 0;
        float value = 0.0f;
        if (!intField(line, 0, formats, -32768, 32767, kStarsQc, qc) ||
            !heightField(line, 1, formats, g.height) || !floatField(line, 2, formats, value) ||
            !intField(line, 3, formats, i32min, i32max, kStarsCount, count) ||
            !intField(line, 4, formats, i32min, i32max, kStarsValue, snr)) {
            return false;
        }
        g.qcCode = static_cast<std::int16_t>(qc);
        g.tv = contents_.temperatureDigit == 1 ? value : kMissingCode;
        g.tvc = contents_.temperatureDigit == 2 ? value : kMissingCode;
        g.count = static_cast<std::int32_t>(count);
        g.snr = static_cast<std::int32_t>(snr);
        if (std::isnan(g.height)) clearGate(g);
        contents_.temperature.periods.back().gates.push_back(g);
        return true;
    }

    LineSource lines_;
    const std::string& name_;
    std::string error_;
    ConsensusFileContents contents_;
    bool haveDate_ = false;
    int fileNameDigit_ = -1;
    std::size_t samplesLine_ = 0;
    std::size_t directionsLine_ = 0;
    std::vector<std::string_view> maxTexts_, reqTexts_, azimuthTexts_, elevationTexts_;
    std::vector<std::string_view> fields_;
    std::vector<std::size_t> periodLines_;  // by minute of day: the line of its period, or 0
};

// A file opened for reading only if it is a regular file. A FIFO, a
// device, a folder or a socket is refused at once: the open does not wait
// for a writer (O_NONBLOCK), and nothing but a regular file is read.
class RegularFile {
public:
    explicit RegularFile(const std::string& path) : path_(path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) {
            // A socket cannot be opened (ENXIO), nor a device without its
            // hardware.
            error_ = errno == ENXIO ? notRegular()
                                    : path + ": cannot be opened: " + std::strerror(errno);
            return;
        }
        struct stat status {};
        if (::fstat(fd_, &status) != 0) {
            error_ = path + ": cannot be opened: " + std::strerror(errno);
        } else if (!S_ISREG(status.st_mode)) {
            error_ = notRegular();
        } else if (static_cast<std::uintmax_t>(status.st_size) > kMaxFileBytes) {
            error_ = tooLarge();
        } else {
            size_ = static_cast<std::size_t>(status.st_size);
        }
    }
    ~RegularFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // "PATH: what is wrong", or empty.
    const std::string& error() const { return error_; }
    // Bytes the file had when it was opened.
    std::size_t size() const { return size_; }

    // Appends the next piece of the file (up to 64 KiB) to `text`. False at
    // the end of the file, or on an error (then error() says which).
    bool readMore(std::string& text) {
        if (!error_.empty()) return false;
        const std::size_t old = text.size();
        text.resize(old + kChunkBytes);
        ssize_t got = 0;
        do {
            got = ::read(fd_, text.data() + old, kChunkBytes);
        } while (got < 0 && errno == EINTR);
        text.resize(old + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got < 0) {
            error_ = path_ + ": could not be read: " + std::strerror(errno);
        } else if (text.size() > kMaxFileBytes) {
            error_ = tooLarge();  // it grew since it was opened
        }
        return got > 0 && error_.empty();
    }

private:
    std::string notRegular() const { return path_ + ": not a regular file"; }
    std::string tooLarge() const {
        return path_ + ": larger than 256 MiB, not a consensus data file";
    }

    const std::string& path_;
    int fd_ = -1;
    std::size_t size_ = 0;
    std::string error_;
};

ConsensusFileRead refusal(const std::string& error) {
    ConsensusFileRead read;
    read.error = error;
    return read;
}

}  // namespace

ConsensusFileRead parseConsensusFile(const std::string& text, const std::string& name) {
    return Parser(text, name).run();
}

ConsensusFileRead readConsensusFile(const std::string& path) {
    RegularFile file(path);
    std::string text;
    text.reserve(file.size() + kChunkBytes);
    while (file.readMore(text)) {
    }
    if (!file.error().empty()) return refusal(file.error());
    return parseConsensusFile(text, path);
}

ConsensusFileRead readConsensusFileHeader(const std::string& path) {
    RegularFile file(path);
    std::string text;
    std::size_t parsedSize = 0;
    for (;;) {
        const bool more = file.readMore(text);
        if (!file.error().empty()) return refusal(file.error());
        // Parsed again only when the text has doubled: a long header costs
        // time in proportion to its length.
        if (more && text.size() < 2 * parsedSize) continue;
        parsedSize = text.size();
        Parser parser(text, path, !more);
        ConsensusFileRead read = parser.runHeader();
        if (!parser.starved()) return read;
    }
}

}  // namespace qv
