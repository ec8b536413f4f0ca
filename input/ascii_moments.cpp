#include "input/ascii_moments.h"

#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/numeric.h"
#include "core/store.h"
#include "core/text.h"
#include "input/file_lookup.h"
#include "input/input_names.h"
#include "input/gate_values.h"

namespace qv {
namespace {

// A line of a moment file is read with room for 498 characters: a longer
// line arrives in pieces of 498 characters, each piece a line of its own.
constexpr std::size_t kPieceLength = 498;
constexpr std::size_t kStationNameLength = 49;

// Single-precision factors of the gate spacing: metres per nanosecond of
// pulse width (speed of light) and the two-way halving.
constexpr float kMetresPerNanosecond = 0.29999998f;
constexpr float kTwoWay = 0.5f;

enum class Variant { Raw, Rat };

// Lines of a moment file as a text-mode reader sees them: "\n" and "\r\n"
// both end a line, a line longer than kPieceLength characters is returned
// in pieces, and the end of the file ends the last line.
class MomentLineReader {
  public:
    explicit MomentLineReader(std::FILE* file) : file_(file) {}

    // The next line without its line end, cut at an embedded NUL (the text
    // parsed stops there); false at the end of the file.
    bool next(std::string& line) {
        line.clear();
        bool any = false;
        while (line.size() < kPieceLength) {
            if (pos_ == len_ && !fill()) break;
            any = true;
            // The run of ordinary characters that fits the piece, copied at
            // once; it ends at a line feed or carriage return.
            const char* start = buffer_ + pos_;
            const std::size_t span = std::min(kPieceLength - line.size(), len_ - pos_);
            const void* feed = std::memchr(start, '\n', span);
            const std::size_t upTo =
                feed ? static_cast<std::size_t>(static_cast<const char*>(feed) - start) : span;
            const void* ret = std::memchr(start, '\r', upTo);
            const std::size_t run =
                ret ? static_cast<std::size_t>(static_cast<const char*>(ret) - start) : upTo;
            line.append(start, run);
            pos_ += run;
            if (run == span) continue;
            const char c = buffer_[pos_++];
            if (c == '\n') break;
            // A carriage return ends the line only together with a line feed.
            if (peek() == '\n') {
                ++pos_;
                break;
            }
            line.push_back('\r');
        }
        if (!any) return false;
        const std::size_t nul = line.find('\0');
        cutAtNul_ = nul != std::string::npos;
        if (cutAtNul_) line.resize(nul);
        return true;
    }

    // True when the line last returned held a NUL byte.
    bool cutAtNul() const { return cutAtNul_; }

  private:
    int peek() {
        if (pos_ == len_ && !fill()) return EOF;
        return static_cast<unsigned char>(buffer_[pos_]);
    }
    int get() {
        const int c = peek();
        if (c != EOF) ++pos_;
        return c;
    }
    bool fill() {
        if (atEnd_) return false;
        len_ = std::fread(buffer_, 1, sizeof buffer_, file_);
        pos_ = 0;
        if (len_ == 0) atEnd_ = true;  // end of file or a read error: nothing more
        return len_ > 0;
    }

    std::FILE* file_;
    char buffer_[1 << 16];
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool atEnd_ = false;
    bool cutAtNul_ = false;
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isBlank(const std::string& line) {
    for (char c : line) {
        if (!isSpace(c)) return false;
    }
    return true;
}

// The "C" locale for number conversion, whatever locale the program runs in
// (a dialog toolkit may switch to the user's locale with a decimal comma).
locale_t numericLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

// A short decimal number ("-1.25", "21.3", "-999.00", "7"): an optional
// sign, digits with at most one decimal point, at most 16777216 as an
// integer without the point and at most ten digits after it, not followed by
// an exponent. Both the digits as an integer and the power of ten are then
// exact in single precision, so one single-precision division rounds the
// value exactly as a correctly rounding conversion does. Returns the
// characters used, or 0 for any other text (left to the C library).
std::size_t shortDecimal(const char* text, float& value) {
    static constexpr float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                             1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    constexpr std::uint32_t kLargestExact = 16777216;  // 2^24
    constexpr int kMostFractionDigits = 10;
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    std::uint32_t digits = 0;
    int count = 0;
    int fraction = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++count) {
        digits = digits * 10 + static_cast<std::uint32_t>(*p - '0');
        if (digits > kLargestExact) return 0;
    }
    if (*p == '.') {
        for (++p; *p >= '0' && *p <= '9'; ++p, ++count, ++fraction) {
            digits = digits * 10 + static_cast<std::uint32_t>(*p - '0');
            if (digits > kLargestExact || fraction == kMostFractionDigits) return 0;
        }
    }
    // No digits, an exponent, or a hexadecimal prefix ("0x"): not short.
    if (count == 0 || *p == 'e' || *p == 'E' || *p == 'x' || *p == 'X') return 0;
    const float magnitude = static_cast<float>(digits) / kPowersOfTen[fraction];
    value = negative ? -magnitude : magnitude;
    return static_cast<std::size_t>(p - text);
}

// Reads white-space separated fields from one line the way formatted input
// does: each conversion skips white space, a conversion that does not match
// ends the scan, and later conversions then fail too. A target is written
// only when its conversion succeeds, so fields that fail keep their values.
class FieldScanner {
  public:
    FieldScanner(const std::string& text, std::size_t start) : text_(text), pos_(start) {
        if (pos_ > text_.size()) pos_ = text_.size();
    }

    // A decimal integer with optional sign ("%d"), saturated to the 32-bit
    // range; a null target reads the field over ("%*d").
    bool integer(long* out) {
        if (!ok_) return false;
        skipSpace();
        std::size_t p = pos_;
        bool negative = false;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) {
            negative = text_[p] == '-';
            ++p;
        }
        constexpr long kLimit = 2147483648L;  // magnitude of the smallest int32
        long magnitude = 0;
        std::size_t digits = 0;
        while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') {
            if (magnitude < kLimit) magnitude = magnitude * 10 + (text_[p] - '0');
            ++p;
            ++digits;
        }
        if (digits == 0) return ok_ = false;
        pos_ = p;
        if (magnitude > kLimit) magnitude = kLimit;
        long value = negative ? -magnitude : magnitude;
        if (value > 2147483647L) value = 2147483647L;
        if (out) *out = value;
        return true;
    }

    // A real number ("%f"): decimal or hexadecimal notation, infinity or
    // NaN, rounded to single precision; values beyond the float range give
    // infinity, values below it zero or a subnormal.
    bool real(float* out) {
        if (!ok_) return false;
        skipSpace();
        const char* begin = text_.c_str() + pos_;
        float value = 0.0f;
        std::size_t used = shortDecimal(begin, value);
        if (used == 0) {
            char* end = nullptr;
            const locale_t c = numericLocale();
            value = c ? strtof_l(begin, &end, c) : std::strtof(begin, &end);
            if (end == begin) return ok_ = false;
            used = static_cast<std::size_t>(end - begin);
        }
        pos_ += used;
        if (out) *out = value;
        return true;
    }

    // A word without white space ("%s"), cut to `limit` characters; the
    // whole word is read over.
    bool word(std::string* out, std::size_t limit) {
        if (!ok_) return false;
        skipSpace();
        const std::size_t begin = pos_;
        while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
        if (pos_ == begin) return ok_ = false;
        if (out) out->assign(text_, begin, std::min(pos_ - begin, limit));
        return true;
    }

  private:
    void skipSpace() {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
    }

    const std::string& text_;
    std::size_t pos_;
    bool ok_ = true;
};

// Integer fields that persist through one call: those of the header and of
// record line 1 and the gate count start at 0, and a field that fails to
// parse keeps the value of the previous line (across both files).
struct CallFields {
    long latitude = 0;
    long longitude = 0;
    long siteElevation = 0;
    long rassFlag = 0;
    long azimuth = 0;
    long yearOffset = 0;  // year minus 2000
    long dayOfYear = 0;
    long hour = 0;
    long minute = 0;
    long second = 0;
    long gateLines = 0;  // N, the gate lines that follow record line 2
};

// A calendar field from a file integer. Values outside the 16-bit unsigned
// range become 65535, which every calendar check rejects, rather than
// wrapping onto a valid value.
std::uint16_t calendarField(long value) {
    if (value < 0 || value > 65535) return 65535;
    return static_cast<std::uint16_t>(value);
}

// What went wrong in one moment file, gathered while it is read and
// reported once, when the file is done with.
struct FileDamage {
    long lines = 0;          // lines read so far
    long recordsStored = 0;  // records handed to the store
    bool noHeader = false;
    bool headerIsRecord = false;  // line 1 is a record's first line
    bool headerIncomplete = false;
    // The record the end of the file cut short: its first line, its time
    // and how many of its gate lines were there (-1: not even record line 2).
    long cutAtLine = 0;
    long cutGateLines = -1;
    long cutGatesAnnounced = 0;
    long cutHour = 0, cutMinute = 0, cutSecond = 0;
    long badGates = 0;  // gate lines without two finite numbers in bounds
    long firstBadGateLine = 0;
    long negativeCounts = 0;  // records with a negative gate count (dropped)
    long firstNegativeLine = 0;
    long badElevations = 0;  // records whose elevation is not a finite number
    long firstBadElevationLine = 0;
    long badTimes = 0;  // records whose time the calendar rejects (dropped)
    long firstBadTimeLine = 0;
    long nulLines = 0;  // lines cut at a NUL byte
    long firstNulLine = 0;

    bool any() const {
        return noHeader || headerIsRecord || headerIncomplete || cutAtLine > 0 || badGates > 0 ||
               negativeCounts > 0 || badElevations > 0 || badTimes > 0 || nulLines > 0;
    }
};

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "<file>: <what was wrong>; ...; <how much was used>."
std::string damageText(const std::string& path, const FileDamage& d) {
    std::string text = baseName(path) + ":";
    auto add = [&text, first = true](const std::string& part) mutable {
        text += (first ? " " : "; ") + part;
        first = false;
    };
    if (d.noHeader) {
        add("no header line (the file is empty); nothing read");
        return text + ".";
    }
    if (d.headerIsRecord) {
        add("no header line (line 1 is the first line of a record); the file was not used");
        return text + ".";
    }
    if (d.headerIncomplete)
        add("header line without station name, latitude, longitude and elevation (missing "
            "values kept from before)");
    if (d.badElevations > 0)
        add(formatText("%ld records whose elevation is not a number (first at line %ld) not used",
                       d.badElevations, d.firstBadElevationLine));
    if (d.badTimes > 0)
        add(formatText("%ld records with an impossible date or time (first at line %ld) not used",
                       d.badTimes, d.firstBadTimeLine));
    if (d.nulLines > 0)
        add(formatText("%ld lines holding NUL bytes, read up to the first (first at line %ld)",
                       d.nulLines, d.firstNulLine));
    if (d.negativeCounts > 0)
        add(formatText("%ld records with a negative gate count (first at line %ld) not used",
                       d.negativeCounts, d.firstNegativeLine));
    if (d.badGates > 0)
        add(formatText("%ld gate lines without two valid numbers (first at line %ld; nan, inf, "
                       "out of range or missing values), those gates left missing",
                       d.badGates, d.firstBadGateLine));
    if (d.cutAtLine > 0) {
        if (d.cutGateLines < 0) {
            add(formatText("file cut short at line %ld (record of %02ld:%02ld:%02ld incomplete: "
                           "no second line; not used)",
                           d.cutAtLine, d.cutHour, d.cutMinute, d.cutSecond));
        } else {
            add(formatText("file cut short at line %ld (record of %02ld:%02ld:%02ld incomplete: "
                           "%ld of %ld gate lines; its other gates left missing)",
                           d.cutAtLine, d.cutHour, d.cutMinute, d.cutSecond, d.cutGateLines,
                           d.cutGatesAnnounced));
        }
    }
    add(formatText("%ld lines read, %ld records used", d.lines, d.recordsStored));
    return text + ".";
}

// True when the line is the first line of a record rather than a header: a
// header holds a name and three integers, a record's first line eight
// numbers.
bool looksLikeRecordLine(const std::string& line) {
    FieldScanner scan(line, 0);
    for (int i = 0; i < 8; ++i) {
        if (!scan.real(nullptr)) return false;
    }
    return true;
}

// Header: its first character is a marker (or a blank), the rest holds the
// station name, latitude and longitude in hundredths of a degree and the
// site elevation. False when a field is missing.
bool parseHeader(const std::string& line, CallFields& f, MomentRecord& r) {
    FieldScanner scan(line, 1);
    std::string name;
    const bool named = scan.word(&name, kStationNameLength);
    if (named) r.stationName = name;
    const bool numbers = scan.integer(&f.latitude) && scan.integer(&f.longitude) &&
                         scan.integer(&f.siteElevation);
    r.latitudeCenti = saturateInt16(f.latitude);
    r.longitudeCenti = saturateInt16(f.longitude);
    r.siteElevation = static_cast<std::int32_t>(f.siteElevation);
    return named && numbers;
}

// Record line 1: RASS flag (".rat"; read over in ".raw"), elevation,
// azimuth, year - 2000, day of year, hour, minute, second.
void parseRecordLine1(const std::string& line, Variant variant, CallFields& f, MomentRecord& r) {
    FieldScanner scan(line, 0);
    (void)(scan.integer(variant == Variant::Rat ? &f.rassFlag : nullptr) &&
           scan.real(&r.elevation) && scan.integer(&f.azimuth) && scan.integer(&f.yearOffset) &&
           scan.integer(&f.dayOfYear) && scan.integer(&f.hour) && scan.integer(&f.minute) &&
           scan.integer(&f.second));

    r.azimuth = saturateInt16(f.azimuth);
    r.recordDayOfYear = saturateInt16(f.dayOfYear);
    r.recordTime.year = calendarField(f.yearOffset + 2000);
    r.recordTime.hour = calendarField(f.hour);
    r.recordTime.minute = calendarField(f.minute);
    r.recordTime.second = calendarField(f.second);
    r.recordTime.milliseconds = 0;
    std::int16_t month = 0;
    std::int16_t dayOfMonth = 0;
    monthDayFromDayOfYear(r.recordTime.year, r.recordDayOfYear, month, dayOfMonth);
    r.recordTime.month = calendarField(month);
    r.recordTime.day = calendarField(dayOfMonth);
    r.rassFlag = variant == Variant::Rat ? static_cast<std::int32_t>(f.rassFlag) : 0;
}

// Record line 2: (not used), pulse width, first gate height, (not used),
// number of gates N.
void parseRecordLine2(const std::string& line, CallFields& f, MomentRecord& r) {
    FieldScanner scan(line, 0);
    long pulseWidth = 0;
    long firstGate = 0;
    if (!scan.integer(nullptr)) return;
    if (!scan.integer(&pulseWidth)) return;
    r.pulseWidth = static_cast<std::int32_t>(pulseWidth);
    if (!scan.integer(&firstGate)) return;
    r.firstGateHeight = static_cast<std::int32_t>(firstGate);
    (void)(scan.integer(nullptr) && scan.integer(&f.gateLines));
}

// Reads one file's header and records into the store, noting what was
// damaged. Returns false when the file has no header line or ends after a
// record's first line.
bool readMomentFile(ConsensusJob& job, std::FILE* file, Variant variant, CallFields& f,
                    const CalendarTime& fileDay, FileDamage& damage) {
    MomentRecord& r = job.record;
    MomentLineReader reader(file);
    std::string line;
    auto next = [&]() {
        if (!reader.next(line)) return false;
        ++damage.lines;
        if (reader.cutAtNul() && damage.nulLines++ == 0) damage.firstNulLine = damage.lines;
        return true;
    };

    if (!next()) {
        damage.noHeader = true;
        return false;
    }
    // A file whose header line was lost would be read out of step, every
    // record's lines taken for other fields: it is not used.
    if (looksLikeRecordLine(line)) {
        damage.headerIsRecord = true;
        return false;
    }
    if (!parseHeader(line, f, r)) damage.headerIncomplete = true;

    while (next()) {
        // A blank line where a record begins (often the last line of a file)
        // holds no record.
        if (isBlank(line)) continue;
        const long firstLine = damage.lines;
        parseRecordLine1(line, variant, f, r);
        // Damage to a record of another day costs the processing day nothing
        // (the store drops such records); a record whose day cannot be told
        // may have been the processing day's.
        const bool counts = r.recordDayOfYear == r.processDayOfYear || r.recordDayOfYear < 1 ||
                            r.recordDayOfYear > 366;

        if (!next()) {
            if (!counts) return false;
            damage.cutAtLine = firstLine;
            damage.cutHour = f.hour;
            damage.cutMinute = f.minute;
            damage.cutSecond = f.second;
            return false;
        }
        parseRecordLine2(line, f, r);
        r.gateSpacing = static_cast<float>(static_cast<double>(r.pulseWidth) *
                                           static_cast<double>(kMetresPerNanosecond) *
                                           static_cast<double>(kTwoWay));

        const long lines = f.gateLines;
        r.gateCount = static_cast<std::int16_t>(lines < 0 ? 0 : std::min<long>(lines, kMaxGates));
        r.gateVelocity.fill(kMissingSample);
        r.gateSnr.fill(kMissingSample);
        // All N gate lines are read, so that the next record starts on its
        // own line; gates beyond kMaxGates are read over. A gate whose line
        // is missing or does not hold two valid numbers stays missing.
        long g = 0;
        for (; g < lines; ++g) {
            if (!next()) break;
            if (g >= kMaxGates) continue;
            FieldScanner scan(line, 0);
            float velocity = 0.0f;
            float snr = 0.0f;
            const bool read = scan.real(&velocity) && scan.real(&snr);
            const bool damaged = r.rassFlag == 1 ? sanitizeAcousticGate(velocity, snr)
                                                 : sanitizeGate(velocity, snr);
            if (read && !damaged) {
                r.gateVelocity[static_cast<std::size_t>(g)] = velocity;
                r.gateSnr[static_cast<std::size_t>(g)] = snr;
            } else if (counts && damage.badGates++ == 0) {
                damage.firstBadGateLine = damage.lines;
            }
        }
        if (g < lines && counts) {
            damage.cutAtLine = firstLine;
            damage.cutGateLines = g;
            damage.cutGatesAnnounced = lines;
            damage.cutHour = f.hour;
            damage.cutMinute = f.minute;
            damage.cutSecond = f.second;
        }

        if (lines < 0) {
            // A negative gate count describes no profile: the record is dropped.
            if (counts && damage.negativeCounts++ == 0) damage.firstNegativeLine = firstLine;
        } else if (!std::isfinite(r.elevation)) {
            // No beam has an elevation that is not a number.
            if (counts && damage.badElevations++ == 0) damage.firstBadElevationLine = firstLine;
        } else {
            // A time the calendar rejects is no dwell; the store shows and
            // drops it.
            TimeValue when = 0;
            if (!calendarToTimeValue(r.recordTime, when) || r.recordDayOfYear < 1 ||
                r.recordDayOfYear > 366) {
                if (counts && damage.badTimes++ == 0) damage.firstBadTimeLine = firstLine;
            } else {
                ++damage.recordsStored;
            }
            AccumulateRecord(job, fileDay);
        }
    }
    return true;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

int GetAsciiMoments(ConsensusJob& job, const CalendarTime& day) {
    job.statusText = "Unpacking ascii moments.";
    job.showMain(job.statusText);

    CalendarTime midnight = day;
    midnight.hour = midnight.minute = midnight.second = midnight.milliseconds = 0;
    TimeValue fileTime = 0;
    if (!calendarToTimeValue(midnight, fileTime)) return 0;

    MomentRecord& r = job.record;
    r.rassFlag = 0;
    r.processDayOfYear = dayOfYear(day.year, day.month, day.day);
    r.gateCount = 0;

    CallFields fields;
    TimeValue lastTime = fileTime;
    addTime(lastTime, TimeUnits::day);

    // The processing day's file, then the next day's, which holds the
    // processing day's last dwells.
    while (compareTimeValues(fileTime, lastTime) <= 0) {
        CalendarTime fileDay;
        if (!timeValueToCalendar(fileTime, fileDay)) return 0;

        const OutputKind kind = job.outputKind();
        if (kind == OutputKind::Winds || kind == OutputKind::Temperature) {
            const Variant variant = kind == OutputKind::Winds ? Variant::Raw : Variant::Rat;
            const std::string name = asciiMomentFileName(job.params.siteId, fileDay, kind);
            job.inputFileName = joinInputPath(job.params.inputPath, name);

            std::unique_ptr<std::FILE, FileCloser> file;
            if (const auto found = findInputFile(job.inputFileName)) {
                job.inputFileName = *found;
                file.reset(std::fopen(job.inputFileName.c_str(), "rb"));
            }
            if (!file) {
                job.reportReaderError(
                    formatText("GetAsciiMoments Error: Can not open input file %s",
                               job.inputFileName.c_str()));
                return 0;
            }
            FileDamage damage;
            const bool complete =
                readMomentFile(job, file.get(), variant, fields, fileDay, damage);
            if (damage.any() && !std::ferror(file.get()))
                job.reportIncompleteDay(damageText(job.inputFileName, damage));
            // A read error (a folder in the file's place, a failing disk) ends
            // the file as its end would; say so, or the day is lost without a
            // reason.
            if (std::ferror(file.get())) {
                job.reportReaderError(formatText("GetAsciiMoments Error: Can not read input file %s",
                                                 job.inputFileName.c_str()));
                return 0;
            }
            if (!complete) return 0;
        }
        addTime(fileTime, TimeUnits::day);
    }
    return 1;
}

}  // namespace qv
