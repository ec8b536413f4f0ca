#include "tools/samplegen/binary_output.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/time.h"
#include "tools/krxwriter/krx_writer.h"

namespace qv::samplegen {
namespace {

// 149.90 MHz and a 50 us inter-pulse period: the velocity scale
// 149.9 / MHz x 500000000 / ipp / coherent integrations is 100 m/s with 100
// integrations (a velocity code counts hundredths of a metre per second)
// and 1000 m/s with 10 (tenths: room for the speed of sound).
constexpr std::int32_t kFrequency = 14990;
constexpr std::int32_t kIpp = 50000;
constexpr std::int16_t kRadarCoherent = 100;
constexpr std::int16_t kRassCoherent = 10;
constexpr int kRadarDecimals = 2;
constexpr int kRassDecimals = 1;
constexpr int kSnrDecimals = 2;  // 16-bit signal-to-noise codes are hundredths of a dB

constexpr std::int16_t kPoints = 64;
constexpr std::int16_t kFormatCode = 116;  // 16-bit moment fields; window 2 when it is set up
constexpr std::int16_t kSmallestCode = -32768;
constexpr std::size_t kSiteNameBytes = 32;

// The library's conversion of a direction's delay to a height: 3.141592 /
// 180 for degrees to radians, 0.15 m per ns of two-way delay.
constexpr double kLibraryRadians = 0.01745328888888889;
constexpr double kMetresPerDelay = 0.15;

// A value as a code of `decimals` decimal places, taken from the same
// printed text the ASCII files hold; a value the 16-bit code cannot hold
// (the missing mark -999 in hundredths) becomes the smallest code.
std::int16_t toCode(double value, int decimals) {
    std::string text = formatText("%.*f", decimals, value);
    text.erase(std::remove(text.begin(), text.end(), '.'), text.end());
    const long code = std::strtol(text.c_str(), nullptr, 10);
    if (code < -32768 || code > 32767) return kSmallestCode;
    return static_cast<std::int16_t>(code);
}

// The decimal number a code stands for, as the ASCII twin prints it.
std::string codeText(int code, int decimals) {
    return decimals == 1 ? formatText("%.1f", code / 10.0) : formatText("%.2f", code / 100.0);
}

// Elevations are stored in whole degrees up to 90, else in hundredths.
std::int16_t storedElevation(const char* text) {
    const double e = std::strtod(text, nullptr);
    if (e >= 0.0 && e <= 90.0 && e == std::floor(e)) return static_cast<std::int16_t>(e);
    return static_cast<std::int16_t>(std::lround(e * 100.0));
}

// The elevation the binary reader makes of a stored value.
float readerElevation(std::int16_t stored) {
    if (stored <= 90) return static_cast<float>(stored);
    return static_cast<float>(static_cast<double>(stored) * static_cast<double>(0.01f));
}

// The first gate height the library computes from a delay.
int libraryHeight(std::int16_t stored, std::int32_t delay) {
    const double degrees = stored <= 90 ? static_cast<double>(stored) : stored * 0.01;
    const double factor = stored <= 0 ? 1.0 : std::sin(degrees * kLibraryRadians);
    return static_cast<int>(factor * delay * kMetresPerDelay + 0.5);
}

// A delay that the library turns into `height` at this elevation.
std::int32_t delayFor(std::int16_t stored, int height) {
    const double degrees = stored <= 90 ? static_cast<double>(stored) : stored * 0.01;
    const double factor = stored <= 0 ? 1.0 : std::sin(degrees * kLibraryRadians);
    const long guess = std::lround(height / (kMetresPerDelay * factor));
    for (long d = guess - 3; d <= guess + 3; ++d) {
        if (libraryHeight(stored, static_cast<std::int32_t>(d)) == height) return static_cast<std::int32_t>(d);
    }
    return static_cast<std::int32_t>(guess);
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

TimeValue timeOf(const CalendarTime& t) {
    TimeValue v = 0;
    calendarToTimeValue(t, v);
    return v;
}

// One record of a pair: a winds dwell, or a RASS dwell with the radar
// moments of the vertical dwell of its cycle (none when the cycle has none).
struct PairDwell {
    const Dwell* geometry = nullptr;  // beam, time and gate count
    const Dwell* radar = nullptr;
    const Dwell* acoustic = nullptr;
};

struct Codes {
    std::vector<std::int16_t> velocity;
    std::vector<std::int16_t> snr;
};

// The codes of `gates` gates of a dwell; gates it lacks are missing.
Codes codesOf(const Dwell* source, std::size_t gates, int decimals) {
    Codes c;
    for (std::size_t g = 0; g < gates; ++g) {
        const bool has = source != nullptr && g < source->gates.size();
        c.velocity.push_back(toCode(has ? source->gates[g].velocity : kMissingValue, decimals));
        c.snr.push_back(toCode(has ? source->gates[g].snr : kMissingValue, kSnrDecimals));
    }
    return c;
}

// A beam's header record: beam entry 0 is the beam, as the reader takes it.
struct BeamHeader {
    int beamNumber = 0;
    bool rass = false;
    std::int16_t storedElevation = 0;
    std::int32_t delay = 0;
    std::int32_t offset = 0;
};

krxwriter::HeaderRecord headerRecord(const GenerateOptions& o, const Dwell& d, const BeamHeader& b) {
    krxwriter::HeaderRecord h;
    h.site_name = o.station.substr(0, kSiteNameBytes);
    h.latitude = static_cast<std::int16_t>(o.latitudeCenti);
    h.longitude = static_cast<std::int16_t>(o.longitudeCenti);
    h.altitude = static_cast<std::int16_t>(o.siteElevation);
    h.frequency = kFrequency;
    h.modes[0] = {.ipp = kIpp, .pulse_width = d.pulseWidth, .first_gate_delay = b.delay,
                  .gate_spacing = d.pulseWidth, .gate_count = static_cast<std::int16_t>(d.gates.size()),
                  .coherent_integrations = b.rass ? kRassCoherent : kRadarCoherent,
                  .spectral_averages = 1, .spectrum_points = kPoints, .system_delay = 0};
    h.beams = {{.direction = 0, .mode = 0}};
    h.directions = {{.name = formatText("BEAM%d", d.beamNumber),
                     .azimuth = static_cast<std::int16_t>(d.azimuth),
                     .elevation = b.storedElevation}};
    h.window1_start = 1;
    h.window1_length = b.rass ? kPoints / 2 : kPoints;
    h.window2_start = kPoints / 2 + 1;
    h.window2_length = b.rass ? kPoints / 2 : 0;
    h.rass_flag = b.rass ? 1 : 0;
    return h;
}

// The dwells of one file day, in time order.
std::vector<PairDwell> pairDwells(const DayFile* winds, const DayFile* temperature) {
    std::vector<PairDwell> out;
    if (winds) {
        for (const Dwell& d : winds->dwells) out.push_back({&d, &d, nullptr});
    }
    if (temperature) {
        const std::vector<Dwell>& t = temperature->dwells;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i].rassFlag == 0) continue;
            const Dwell* radar = nullptr;
            if (i > 0 && t[i - 1].rassFlag == 0) {
                const TimeValue rassTime = timeOf(t[i].time);
                const TimeValue radarTime = timeOf(t[i - 1].time);
                if (radarTime < rassTime && rassTime - radarTime < 3 * TimeUnits::minute) radar = &t[i - 1];
            }
            out.push_back({&t[i], radar, &t[i]});
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const PairDwell& a, const PairDwell& b) {
        return timeOf(a.geometry->time) < timeOf(b.geometry->time);
    });
    return out;
}

BeamHeader& headerFor(std::vector<BeamHeader>& headers, krxwriter::HeaderFile& file,
                      const GenerateOptions& o, const PairDwell& p) {
    const bool rass = p.acoustic != nullptr;
    for (BeamHeader& h : headers) {
        if (h.beamNumber == p.geometry->beamNumber && h.rass == rass) return h;
    }
    BeamHeader h;
    h.beamNumber = p.geometry->beamNumber;
    h.rass = rass;
    h.storedElevation = storedElevation(p.geometry->elevationText);
    h.delay = delayFor(h.storedElevation, p.geometry->firstGateHeight);
    h.offset = file.add(headerRecord(o, *p.geometry, h));
    headers.push_back(h);
    return headers.back();
}

// Record lines and gate lines of one ASCII record.
void appendTwinRecord(std::string& text, int first, const Dwell& d, const BeamHeader& h,
                      const Codes& c, int decimals) {
    // The elevation text the ASCII samples use when it reads as the same
    // single-precision value, else one that does.
    const float elevation = readerElevation(h.storedElevation);
    const std::string elevationText = std::strtof(d.elevationText, nullptr) == elevation
                                          ? std::string(d.elevationText)
                                          : formatText("%.9g", static_cast<double>(elevation));
    appendText(text, "%d %s %d %d %d %d %d %d\n", first, elevationText.c_str(), d.azimuth,
               d.time.year - 2000, dayOfYear(d.time.year, d.time.month, d.time.day), d.time.hour,
               d.time.minute, d.time.second);
    appendText(text, "%d %d %d %d %d\n", 40, d.pulseWidth, libraryHeight(h.storedElevation, h.delay),
               64, static_cast<int>(c.velocity.size()));
    for (std::size_t g = 0; g < c.velocity.size(); ++g) {
        text += codeText(c.velocity[g], decimals) + " " + codeText(c.snr[g], kSnrDecimals) + "\n";
    }
}

const DayFile* fileOf(const std::vector<DayFile>& files, const CalendarTime& date) {
    for (const DayFile& f : files) {
        if (timeOf(f.date) == timeOf(date)) return &f;
    }
    return nullptr;
}

}  // namespace

std::vector<OutputFile> binaryFiles(const GenerateOptions& options) {
    const std::vector<DayFile> winds = options.winds ? makeDayFiles(options, false) : std::vector<DayFile>{};
    const std::vector<DayFile> temperature =
        options.temperature ? makeDayFiles(options, true) : std::vector<DayFile>{};
    // Every day that has a file of either kind, in date order.
    std::vector<CalendarTime> dates;
    for (const std::vector<DayFile>* kind : {&winds, &temperature}) {
        for (const DayFile& f : *kind) {
            const bool seen = std::any_of(dates.begin(), dates.end(), [&](const CalendarTime& d) {
                return timeOf(d) == timeOf(f.date);
            });
            if (!seen) dates.push_back(f.date);
        }
    }
    std::sort(dates.begin(), dates.end(),
              [](const CalendarTime& a, const CalendarTime& b) { return timeOf(a) < timeOf(b); });

    const std::string twinDir = options.outDir + "/twin";
    const std::string station = lowerAscii(options.station.substr(0, kSiteNameBytes));
    const std::string siteLine = formatText(" %s %d %d %d\n", station.c_str(), options.latitudeCenti,
                                            options.longitudeCenti, options.siteElevation);

    std::vector<OutputFile> files;
    for (const CalendarTime& date : dates) {
        const std::vector<PairDwell> dwells = pairDwells(fileOf(winds, date), fileOf(temperature, date));
        if (dwells.empty()) continue;  // a pair without records cannot be positioned in

        krxwriter::HeaderFile headerFile;
        krxwriter::DataFile dataFile;
        std::vector<BeamHeader> headers;
        std::vector<RecordStart> records;
        std::string raw = siteLine;
        std::string rat = siteLine;
        for (const PairDwell& p : dwells) {
            const BeamHeader& h = headerFor(headers, headerFile, options, p);
            const Dwell& d = *p.geometry;
            const std::size_t gates = d.gates.size();
            const int decimals = h.rass ? kRassDecimals : kRadarDecimals;
            const Codes radar = codesOf(p.radar, gates, decimals);

            krxwriter::DataRecord r;
            r.format_code = kFormatCode;
            r.header_offset = h.offset;
            r.time = krxwriter::epoch_seconds(d.time.year, d.time.month, d.time.day, d.time.hour,
                                              d.time.minute, d.time.second);
            r.coherent_integrations = h.rass ? kRassCoherent : kRadarCoherent;
            r.spectral_averages = 1;
            for (std::size_t g = 0; g < gates; ++g) {
                r.window1.push_back({.velocity = radar.velocity[g], .width = 20, .snr = radar.snr[g], .noise = 0});
            }
            if (h.rass) {
                const Codes acoustic = codesOf(p.acoustic, gates, decimals);
                for (std::size_t g = 0; g < gates; ++g) {
                    r.window2.push_back(
                        {.velocity = acoustic.velocity[g], .width = 20, .snr = acoustic.snr[g], .tenths = 0});
                }
                appendTwinRecord(rat, 0, d, h, radar, decimals);
                appendTwinRecord(rat, 1, d, h, acoustic, decimals);
            } else {
                appendTwinRecord(raw, d.beamNumber, d, h, radar, decimals);
            }
            const std::int64_t at = dataFile.add(r);
            records.push_back({secondsOf(d.time), static_cast<std::size_t>(at)});
        }

        const int day = dayOfYear(date.year, date.month, date.day);
        OutputFile data;
        data.path = options.outDir + formatText("/d%02d%03da.mom", date.year % 100, day);
        data.bytes.assign(dataFile.bytes().begin(), dataFile.bytes().end());
        data.records = std::move(records);
        data.headerPath = krxwriter::headerPathFor(data.path);
        data.headerBytes.assign(headerFile.bytes().begin(), headerFile.bytes().end());
        files.push_back(std::move(data));
        const std::string stem = twinDir + formatText("/%s%02d%03d", options.site.c_str(), date.year % 100, day);
        if (options.winds) files.push_back({stem + ".raw", raw, {}, {}, {}});
        if (options.temperature) files.push_back({stem + ".rat", rat, {}, {}, {}});
    }
    return files;
}

}  // namespace qv::samplegen
