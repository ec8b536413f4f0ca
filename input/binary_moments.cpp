#include "input/binary_moments.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "core/numeric.h"
#include "core/store.h"
#include "core/text.h"
#include "input/file_lookup.h"
#include "input/input_names.h"
#include "input/gate_values.h"
#include "input/krx/krx.h"

namespace qv {
namespace {

// The name that closes the library's pair: no such file is expected, so the
// open fails and nothing stays open.
constexpr const char* kNoFile = "__NO_FILE__";

// Records of format codes below 3000 are read with the flags word 0: no
// spectra, no raw samples, 16-bit record lengths.
constexpr std::int16_t kInitialFlags = 0;

// The header's radar block is the only one; beam entry 0 gives every
// dwell's geometry and mode, whatever beam index the record names.
constexpr std::int16_t kRadarIndex = 0;
constexpr std::int16_t kAnyBeam = -1;
constexpr std::int16_t kGeometryBeam = 0;

// Single-precision factors of the gate spacing: metres per nanosecond of
// pulse width (speed of light) and the two-way halving.
constexpr float kMetresPerNanosecond = 0.29999998f;
constexpr float kTwoWay = 0.5f;

// Stored elevations above 90 are hundredths of a degree; 90 and less are
// already degrees.
constexpr std::int16_t kLargestDegreeValue = 90;
constexpr float kHundredths = 0.01f;

constexpr std::size_t kSiteNameBuffer = 33;  // 32 characters and the terminator

constexpr int kFirstDayOfYear = 1;
constexpr int kLastDayOfYear = 366;

// Closes the library's pair when the reading of one file ends, whichever way.
class PairCloser {
public:
    PairCloser() = default;
    PairCloser(const PairCloser&) = delete;
    PairCloser& operator=(const PairCloser&) = delete;
    ~PairCloser() { krx_set_file(kNoFile, kInitialFlags); }
};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The folder and the file name: '/' between them unless the folder already
// ends in one; no separator at all for an empty folder.
std::string inputFilePath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return joinInputPath(folder, name);
}

// Opens the data file at `path` (or the file whose name matches it without
// regard to case) with its header file, found the same way. The path opened,
// or the path asked for when there is none, goes to inputFileName.
bool openPair(ConsensusJob& job, const std::string& path) {
    job.inputFileName = path;
    const std::optional<std::string> data = findInputFile(path);
    if (!data) return false;
    job.inputFileName = *data;
    const std::string headerPath = krx_header_path(data->c_str());
    const std::string header = findInputFile(headerPath).value_or(headerPath);
    return krx_set_file_pair(data->c_str(), header.c_str(), kInitialFlags) == 1;
}

// A calendar field from a library value; negative values become 65535,
// which every calendar conversion rejects.
std::uint16_t calendarField(int value) {
    if (value < 0 || value > 65535) return 65535;
    return static_cast<std::uint16_t>(value);
}

// Degrees of a stored elevation, rounded to single precision.
float elevationDegrees(std::int16_t stored) {
    if (stored <= kLargestDegreeValue) return static_cast<float>(stored);
    return static_cast<float>(static_cast<double>(stored) * static_cast<double>(kHundredths));
}

void takeSiteFields(MomentRecord& r) {
    char name[kSiteNameBuffer] = {};
    krx_get_site_name(name);
    r.stationName = name;
    for (char& c : r.stationName) c = lowerAscii(c);
    krx_get_location(&r.latitudeCenti, &r.longitudeCenti);
    r.siteElevation = krx_get_altitude();
}

// The current record's time: years since 1900 become the calendar year, and
// month and day follow from the day of year.
void takeRecordTime(MomentRecord& r) {
    std::int16_t years = 0, day = 0, hour = 0, minute = 0, second = 0;
    krx_get_time(&years, &day, &hour, &minute, &second);
    const int year = years + 1900;
    r.recordDayOfYear = day;
    r.recordTime.year = calendarField(year);
    r.recordTime.hour = calendarField(hour);
    r.recordTime.minute = calendarField(minute);
    r.recordTime.second = calendarField(second);
    r.recordTime.milliseconds = 0;
    std::int16_t month = 0;
    std::int16_t dayOfMonth = 0;
    if (day >= kFirstDayOfYear && day <= kLastDayOfYear) {
        monthDayFromDayOfYear(year, day, month, dayOfMonth);
    }
    r.recordTime.month = calendarField(month);
    r.recordTime.day = calendarField(dayOfMonth);
}

using MomentGetter = std::int16_t (*)(float*, int);

// What went wrong in one data file pair, gathered while it is read and
// reported once, when the pair is done with.
struct PairDamage {
    long recordsSeen = 0;      // records of the processing day the output kind takes
    long recordsRejected = 0;  // of those, records that do not agree with their header
    long firstRejected = 0;    // its number among the records read (from 1)
    KrxRecordCheck firstCheck;
    long badGates = 0;  // gate values that are no numbers or out of bounds
    long firstBadGateRecord = 0;
    long recordsRead = 0;  // records the dwell loop worked on
    std::int64_t unreadBytes = 0;  // bytes at the end that hold no whole record
    std::int64_t unreadFrom = 0;
};

// Fills the dwell's gates from one window of the current record. Gates the
// record does not supply (fewer entries than gateCount) stay missing, and
// so do gates whose values are not finite numbers within bounds (a header
// whose frequency or inter-pulse period is 0 or absurd makes the velocity
// scale infinite or huge).
void takeGates(MomentRecord& r, MomentGetter velocity, MomentGetter snr, PairDamage& damage) {
    r.gateVelocity.fill(kMissingSample);
    r.gateSnr.fill(kMissingSample);
    velocity(r.gateVelocity.data(), r.gateCount);
    snr(r.gateSnr.data(), r.gateCount);
    KrxRecordCheck check;
    krx_check_record(&check);
    const long supplied = check.gate_count > 0 && check.receivers > 0
                              ? static_cast<long>(check.gate_count) * check.receivers
                              : 0;
    const long gates = std::min<long>(supplied, r.gateCount);
    for (long g = 0; g < gates; ++g) {
        const auto i = static_cast<std::size_t>(g);
        const bool damaged = r.rassFlag == 1 ? sanitizeAcousticGate(r.gateVelocity[i], r.gateSnr[i])
                                             : sanitizeGate(r.gateVelocity[i], r.gateSnr[i]);
        if (damaged && damage.badGates++ == 0) {
            damage.firstBadGateRecord = damage.recordsRead;
        }
    }
}

void passDwell(ConsensusJob& job, const CalendarTime& fileDay, MomentGetter velocity,
               MomentGetter snr, PairDamage& damage) {
    MomentRecord& r = job.record;
    takeRecordTime(r);
    // A dwell of another day is only shown by the store, never kept: its
    // gate values are not asked for (nor decoded by the library).
    if (r.recordDayOfYear == r.processDayOfYear) takeGates(r, velocity, snr, damage);
    AccumulateRecord(job, fileDay);
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "dd/mm/yyyy hh:mm:ss" (UTC) of seconds since 1970.
std::string recordTimeText(std::int32_t seconds) {
    TimeValue t = 0;
    CalendarTime epoch;
    epoch.year = 1970;
    epoch.month = 1;
    epoch.day = 1;
    CalendarTime c;
    if (!calendarToTimeValue(epoch, t)) return "?";
    const long long units = static_cast<long long>(seconds) * static_cast<long long>(TimeUnits::second);
    if (units < 0 && static_cast<unsigned long long>(-units) > t) return "before 1970";
    t = static_cast<TimeValue>(static_cast<long long>(t) + units);
    if (!timeValueToCalendar(t, c)) return "?";
    return formatText("%02d/%02d/%04d %02d:%02d:%02d", c.day, c.month, c.year, c.hour, c.minute,
                      c.second);
}

// Why a record does not agree with its header record, in the user's terms.
std::string rejectionText(const KrxRecordCheck& c, const std::string& headerName) {
    if (!c.header_read) {
        if (c.header_error == -10)
            return formatText("its header record at byte %d of %s has version %d (100 to 999 "
                              "expected)",
                              c.header_offset, headerName.c_str(), c.header_version);
        if (c.header_error == 1 || c.header_error == -1)
            return formatText("its header record at byte %d lies beyond the end of %s",
                              c.header_offset, headerName.c_str());
        return formatText("its header record at byte %d of %s could not be read", c.header_offset,
                          headerName.c_str());
    }
    return formatText("%d bytes long, but its header record at byte %d of %s gives %d gates x %d "
                      "receivers, %lld bytes",
                      c.length, c.header_offset, headerName.c_str(), c.gate_count, c.receivers,
                      static_cast<long long>(c.expected));
}

std::string pairDamageText(const std::string& dataPath, const std::string& headerPath,
                           const PairDamage& d, long unreferenced) {
    std::string text = baseName(dataPath) + ":";
    bool first = true;
    auto add = [&](const std::string& part) {
        text += (first ? " " : "; ") + part;
        first = false;
    };
    if (d.recordsRejected > 0) {
        add(formatText("%ld of %ld records do not agree with their header records (first: record "
                       "%ld at byte %lld, %s, %s); those records were not used",
                       d.recordsRejected, d.recordsSeen, d.firstRejected,
                       static_cast<long long>(d.firstCheck.start),
                       recordTimeText(d.firstCheck.time).c_str(),
                       rejectionText(d.firstCheck, baseName(headerPath)).c_str()));
    }
    if (d.unreadBytes > 0)
        add(formatText("file cut short or damaged at byte %lld (the %lld bytes from there hold no "
                       "whole record; the records after it, if any, are lost)",
                       static_cast<long long>(d.unreadFrom),
                       static_cast<long long>(d.unreadBytes)));
    if (unreferenced > 0)
        add(formatText("%ld records name a beam or radar their header record does not have; not "
                       "used",
                       unreferenced));
    if (d.badGates > 0)
        add(formatText("%ld gate values are not numbers or out of bounds (first in record %ld); "
                       "those gates left missing",
                       d.badGates, d.firstBadGateRecord));
    add(formatText("%ld records used", d.recordsSeen - d.recordsRejected));
    return text + ".";
}

// Hands the current record to the store as the output kind asks.
// `beamErrorShown` makes the host see the beam-information failure once per
// file rather than once per record.
void handleDwell(ConsensusJob& job, const CalendarTime& fileDay, bool& beamErrorShown,
                 PairDamage& damage) {
    MomentRecord& r = job.record;
    ++damage.recordsRead;
    std::int16_t azimuth = 0, storedElevation = 0, gateCount = 0;
    std::int32_t pulseWidth = 0, firstGateHeight = 0;
    if (krx_get_beam_info(kGeometryBeam, &azimuth, &storedElevation, nullptr, nullptr, &pulseWidth,
                          &firstGateHeight, nullptr, &gateCount, nullptr, nullptr,
                          nullptr) != 1) {
        const std::string text =
            "GetBinaryMoments Error: KRX can not get beam information. Moving to next record";
        if (beamErrorShown) {
            job.statusText = text;
        } else {
            job.reportReaderError(text);
            beamErrorShown = true;
        }
        return;
    }
    r.azimuth = azimuth;
    r.elevation = elevationDegrees(storedElevation);
    r.pulseWidth = pulseWidth;
    r.firstGateHeight = firstGateHeight;
    r.gateSpacing = static_cast<float>(static_cast<double>(pulseWidth) *
                                       static_cast<double>(kMetresPerNanosecond) *
                                       static_cast<double>(kTwoWay));
    // A negative gate count describes no profile; more gates than the store
    // holds are cut.
    if (gateCount < 0) return;
    r.gateCount = gateCount > kMaxGates ? static_cast<std::int16_t>(kMaxGates) : gateCount;

    const std::int16_t rass = krx_get_spectral_windows(nullptr, nullptr, nullptr, nullptr, nullptr,
                                                       nullptr, nullptr, nullptr, nullptr);
    const OutputKind kind = job.outputKind();
    const bool wanted = kind == OutputKind::Winds ? rass == 0
                                                  : kind == OutputKind::Temperature && rass != 0;
    if (!wanted) return;

    // A record read with a header record that is not its own, or whose
    // length does not fit its header's layout, would give wrong values:
    // it is not used (a record of another day is dropped by the store).
    std::int16_t recordDay = 0;
    krx_get_time(nullptr, &recordDay, nullptr, nullptr, nullptr);
    if (recordDay == r.processDayOfYear) {
        ++damage.recordsSeen;
        KrxRecordCheck check;
        if (krx_check_record(&check) != 1) {
            if (damage.recordsRejected++ == 0) {
                damage.firstRejected = damage.recordsRead;
                damage.firstCheck = check;
            }
            return;
        }
    }
    if (kind == OutputKind::Winds) {
        passDwell(job, fileDay, krx_get_velocity, krx_get_snr, damage);
        return;
    }
    r.rassFlag = 0;
    passDwell(job, fileDay, krx_get_velocity, krx_get_snr, damage);
    r.rassFlag = 1;
    passDwell(job, fileDay, krx_get_rass_velocity, krx_get_rass_snr, damage);
}

// Reads one day's pair from the processing day's start on. False when an
// error stopped it (the text is in statusText and went to the host).
bool readFilePair(ConsensusJob& job, const CalendarTime& fileDay, const CalendarTime& processDay) {
    MomentRecord& r = job.record;
    auto dataPath = [&](const char* extension) {
        return inputFilePath(job.params.inputPath, binaryDataFileName(fileDay, extension));
    };

    PairCloser closer;
    bool opened = false;
    try {
        opened = openPair(job, dataPath("mom")) || openPair(job, dataPath("spc"));
    } catch (...) {
        krx_set_file(kNoFile, kInitialFlags);
        job.reportReaderError("GetBinaryMoments Error: KRX set file exception.");
        return false;
    }
    if (!opened) {
        job.reportReaderError(formatText("GetBinaryMoments Error: KRX can not open input file %s",
                                         job.inputFileName.c_str()));
        return false;
    }

    takeSiteFields(r);
    if (krx_set_radar_index(kRadarIndex) != 1) {
        job.reportReaderError("GetBinaryMoments Error: KRX can not set radar index zero.");
        return false;
    }

    // Both days' files are positioned at the processing day's start: the
    // next day's file then delivers the processing day's dwells it holds,
    // and its own day's dwells are dropped by the store's day-of-year test.
    const int year = processDay.year;
    const int day = r.processDayOfYear;
    std::int16_t headerChanged = 0;
    if (krx_set_time(static_cast<std::int16_t>(year), static_cast<std::int16_t>(day), 0, 0, 0,
                     &headerChanged) != 1) {
        KrxRecordCheck check;
        krx_check_record(&check);
        if (!check.header_read && check.header_error != 0) {
            job.reportIncompleteDay(formatText(
                "%s: no record could be read (%s); nothing read.",
                baseName(job.inputFileName).c_str(),
                rejectionText(check, baseName(krx_header_path(job.inputFileName.c_str())))
                    .c_str()));
        }
        job.reportReaderError(formatText("GetBinaryMoments Error: KRX cannot set time %02d%03d %d:%d:%d.",
                                         year % 100, day, 0, 0, 0));
        return false;
    }
    if (krx_set_beam(kAnyBeam) != 1) {
        job.reportReaderError("GetBinaryMoments Error: KRX can not set any beam.");
        return false;
    }

    bool beamErrorShown = false;
    PairDamage damage;
    do {
        handleDwell(job, fileDay, beamErrorShown, damage);
        if (job.cancelEvent.poll()) break;
    } while (krx_next_record(&headerChanged) != 0);
    const long unreferenced = static_cast<long>(krx_unreferenced_records());
    const bool cancelled = job.cancelEvent.poll();
    damage.unreadBytes = cancelled ? 0 : krx_unread_bytes();
    damage.unreadFrom = krx_file_length() - damage.unreadBytes;
    if (damage.recordsRejected > 0 || damage.badGates > 0 || unreferenced > 0 ||
        damage.unreadBytes > 0) {
        job.reportIncompleteDay(pairDamageText(job.inputFileName,
                                               krx_header_path(job.inputFileName.c_str()), damage,
                                               unreferenced));
    }
    return true;
}

}  // namespace

int GetBinaryMoments(ConsensusJob& job, const CalendarTime& day) {
    MomentRecord& r = job.record;
    r.rassFlag = 0;
    job.statusText = "Unpacking binary moments.";
    job.showMain(job.statusText);

    CalendarTime processDay = day;
    processDay.hour = processDay.minute = processDay.second = processDay.milliseconds = 0;
    TimeValue fileTime = 0;
    if (!calendarToTimeValue(processDay, fileTime)) return 0;

    r.processDayOfYear = dayOfYear(processDay.year, processDay.month, processDay.day);
    r.gateCount = 0;
    r.gateVelocity.fill(kMissingSample);
    r.gateSnr.fill(kMissingSample);

    TimeValue lastTime = fileTime;
    addTime(lastTime, TimeUnits::day);
    // The processing day's pair, then the next day's, which holds the
    // processing day's last dwells.
    while (compareTimeValues(fileTime, lastTime) <= 0) {
        CalendarTime fileDay;
        if (!timeValueToCalendar(fileTime, fileDay)) return 0;
        if (!readFilePair(job, fileDay, processDay)) return 0;
        addTime(fileTime, TimeUnits::day);
    }
    return 1;
}

}  // namespace qv
