// Data arrays of the KRX library and the reading of a record's body.
//
// Body sections, in order, each under its condition:
//   1. first-window moments, E entries (always)
//   2. second-window moments, E entries (second window, last two digits 16,
//      or 16/17 when not packed)
//   3. met values (format code 3000 or more, met instruments in the header)
//   4. spectra (flags bit 0)
//   5. raw samples (flags bit 2)
// E = gate_count of the record's mode x receiver_count. "Packed" means
// hundreds digit 0 of the format code.
//
// The body is read into memory once per record, bounded by the record's own
// length: no section ever reads the next record's bytes, and every array is
// sized for (or written only within) what the record can hold.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "input/krx/file_io.h"
#include "input/krx/krx.h"
#include "input/krx/krx_state.h"
#include "input/krx/memtrack.h"

namespace {

KrxDataArrays g_arrays;
std::vector<unsigned char> g_body;  // the current record's body; reused

constexpr std::int64_t kMetValues = krx_layout::kMaxMetInstruments;

float* allocateFloats(std::int64_t count, bool zeroed, const char* label) {
    const std::int64_t bytes = count * static_cast<std::int64_t>(sizeof(float));
    if (count < 0 || bytes > static_cast<std::int64_t>(UINT32_MAX)) {
        log_allocation(nullptr, static_cast<long>(bytes), label);
        return nullptr;
    }
    void* block = zeroed ? tracked_calloc(static_cast<std::uint32_t>(count), sizeof(float), label)
                         : tracked_alloc(static_cast<std::uint32_t>(bytes), label);
    return static_cast<float*>(block);
}

// Makes `array` hold at least `wanted` zeroed floats. On failure an existing
// smaller array is kept.
bool ensureFloats(float*& array, std::int64_t& capacity, std::int64_t wanted, const char* label) {
    if (array != nullptr && capacity >= wanted) return true;
    float* fresh = allocateFloats(wanted, true, label);
    if (fresh == nullptr) return false;
    tracked_free(array);
    array = fresh;
    capacity = wanted;
    return true;
}

void bindMomentBlock(float* block, std::int64_t entries) {
    KrxDataArrays& a = g_arrays;
    float** arrays[kMomentArrays] = {&a.velocity1, &a.power1, &a.noise1, &a.snr1,   &a.width1,
                                     &a.velocity2, &a.power2, &a.snr2,   &a.width2, &a.tenths2};
    for (int i = 0; i < kMomentArrays; ++i) *arrays[i] = block + i * entries;
    a.met = block + kMomentArrays * entries;
    a.block = block;
    a.entries = entries;
}

// Sizes that the current record needs, bounded by what its length can hold.
struct RecordNeeds {
    std::int64_t entries = 0;     // E as the record's mode gives it
    std::int64_t entriesFit = 0;  // entries whose first-window moments fit the body
    std::int64_t bodyBytes = 0;
    std::int64_t spectraFloats = 0;
    std::int64_t rawFloats = 0;
};

int sectionOneEntryBytes(const KrxRecordHeader& r) {
    if (r.packed()) return 5;
    return r.hasDcPower() ? 10 : 8;
}

RecordNeeds recordNeeds() {
    const KrxFile& f = krx_file();
    const KrxRecordHeader& r = f.record;
    const KrxRadar& radar = f.hdr.radar;
    RecordNeeds n;
    n.entries = current_entry_count();
    std::int64_t end = r.start + r.length - r.trailingBytes();
    if (end > f.data_length) end = f.data_length;
    n.bodyBytes = end - (r.start + r.header_bytes);
    if (n.bodyBytes < 0) n.bodyBytes = 0;
    n.entriesFit = std::min(n.entries, n.bodyBytes / sectionOneEntryBytes(r));
    const std::int64_t floatsInBody = n.bodyBytes / 4;
    if (radar.window1_length >= 0 && radar.window2_length >= 0) {
        const std::int64_t row =
            static_cast<std::int64_t>(radar.window1_length) + radar.window2_length;
        n.spectraFloats = std::min(n.entriesFit * row, floatsInBody);
    }
    const KrxMode* mode = current_mode();
    if (mode != nullptr && mode->spectrum_points > 0) {
        n.rawFloats = std::min(n.entriesFit * 2 * mode->spectrum_points, floatsInBody);
    }
    return n;
}

// Reads the record body from memory; a read beyond its end fails and leaves
// the reader at the end.
class BodyReader {
  public:
    BodyReader(const unsigned char* data, std::int64_t size) : data_(data), size_(size) {}

    const unsigned char* take(std::int64_t n) {
        if (n < 0 || pos_ < 0 || pos_ > size_ || n > size_ - pos_) {
            pos_ = size_;
            return nullptr;
        }
        const unsigned char* p = data_ + pos_;
        pos_ += n;
        return p;
    }

    // Reads n floats into dest (or passes over them when dest is nullptr).
    bool floats(float* dest, std::int64_t n) {
        const unsigned char* p = take(n * 4);
        if (p == nullptr) return false;
        if (dest != nullptr) {
            for (std::int64_t i = 0; i < n; ++i) dest[i] = krx_le::f32(p + 4 * i);
        }
        return true;
    }

    // Relative move by n floats (backwards when negative).
    void moveFloats(std::int64_t n) { pos_ += n * 4; }

  private:
    const unsigned char* data_;
    std::int64_t size_;
    std::int64_t pos_ = 0;
};

// Stores a double as single precision; values beyond the float range become
// infinities (as IEEE rounding gives them) rather than an undefined cast.
float toFloat(double value) {
    if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

// Powers of ten whose exponent is a function of a 16-bit code of the record
// (a signal-to-noise ratio in hundredths of a dB or in whole dB, a noise
// exponent): each code's value is computed by pow the first time the code
// occurs and kept, since the same few thousand codes recur record after
// record. The exponent is formed from the code exactly as before.
class PowersOfTenByCode {
  public:
    using Exponent = double (*)(int code);
    explicit PowersOfTenByCode(Exponent exponent) : exponent_(exponent) {}

    double operator()(int code) {  // code in -32768..32767
        const auto i = static_cast<std::size_t>(code + 32768);
        if (!known_[i]) {
            values_[i] = std::pow(10.0, exponent_(code));
            known_[i] = 1;
        }
        return values_[i];
    }

  private:
    Exponent exponent_;
    std::vector<double> values_ = std::vector<double>(65536);
    std::vector<unsigned char> known_ = std::vector<unsigned char>(65536);
};

// The four kinds of code: noise (and DC power) exponents in thousandths or,
// packed, tenths; SNR in hundredths of a dB or, packed, whole dB, whose
// power is taken from the SNR as stored in single precision.
double noiseExponent(int code) { return code * 0.001; }
double packedNoiseExponent(int code) { return code * 0.1; }
double snrExponent(int code) { return toFloat(code * 0.01) * 0.1; }
double packedSnrExponent(int code) { return toFloat(static_cast<double>(code)) * 0.1; }

double tenToNoise(int code, bool packed) {
    static PowersOfTenByCode unpackedCodes(noiseExponent), packedCodes(packedNoiseExponent);
    return packed ? packedCodes(code) : unpackedCodes(code);
}

double tenToSnr(int code, bool packed) {
    static PowersOfTenByCode unpackedCodes(snrExponent), packedCodes(packedSnrExponent);
    return packed ? packedCodes(code) : unpackedCodes(code);
}

// The fields both windows' entries begin with: velocity, spectral width and
// signal-to-noise codes, packed in bytes or unpacked in 16-bit words.
struct EntryHead {
    double velocityCode;
    double widthCode;
    int snrCode;
    double snr;  // dB: the code itself when packed, hundredths of it otherwise
};

EntryHead entryHead(const unsigned char* p, bool packed) {
    EntryHead h;
    h.velocityCode = krx_le::i16(p);
    if (packed) {
        h.widthCode = p[2];
        h.snrCode = static_cast<std::int8_t>(p[3]);
        h.snr = h.snrCode;
    } else {
        h.widthCode = krx_le::u16(p + 2);
        h.snrCode = krx_le::i16(p + 4);
        h.snr = h.snrCode * 0.01;
    }
    return h;
}

float entryVelocity(const EntryHead& h, double scale) {
    return toFloat(h.velocityCode * scale * 0.0001);
}

float entryWidth(const EntryHead& h, double scale, bool packed) {
    return toFloat(h.widthCode * scale * (packed ? 0.01 : 0.0001));
}

// The field after the head: the noise code of a first-window entry, the
// tenths code of a second-window entry.
int firstWindowNoiseCode(const unsigned char* p, bool packed) {
    return packed ? static_cast<std::int8_t>(p[4]) : krx_le::i16(p + 6);
}

double secondWindowTenthsCode(const unsigned char* p, bool packed) {
    return packed ? krx_le::i16(p + 4) : krx_le::i16(p + 6);
}

void readFirstWindow(BodyReader& body, const KrxRecordHeader& r, const RecordNeeds& n, double scale,
                     double points) {
    KrxDataArrays& a = g_arrays;
    const bool packed = r.packed();
    const bool dc = r.hasDcPower();
    const int entryBytes = sectionOneEntryBytes(r);
    for (std::int64_t i = 0; i < n.entries; ++i) {
        const unsigned char* p = body.take(entryBytes);
        if (p == nullptr) {
            // Once per pair: a header that does not fit its data file makes
            // every record short, and the client reports the records.
            KrxFile& f = krx_file();
            if (!f.read_error_reported) std::fprintf(stderr, "\aRead error %d\n", 0);
            f.read_error_reported = true;
            return;
        }
        if (i >= a.entries) continue;
        const EntryHead h = entryHead(p, packed);
        a.velocity1[i] = entryVelocity(h, scale);
        a.width1[i] = entryWidth(h, scale, packed);
        a.snr1[i] = toFloat(h.snr);
        // noise 10^(noise exponent); power 10^(snr1 / 10) x points x noise
        a.noise1[i] = toFloat(tenToNoise(firstWindowNoiseCode(p, packed), packed));
        a.power1[i] = toFloat(tenToSnr(h.snrCode, packed) * points * a.noise1[i]);
        if (dc && a.dc_power != nullptr && i < a.dc_power_floats) {
            a.dc_power[i] = toFloat(tenToNoise(krx_le::i16(p + 8), false));
        }
    }
}

bool hasSecondWindow(const KrxRecordHeader& r, const KrxRadar& radar) {
    if (radar.window2_length <= 1) return false;
    const int digits = r.lastTwoDigits();
    return r.packed() ? digits == 16 : digits == 16 || digits == 17;
}

void readSecondWindow(BodyReader& body, const KrxRecordHeader& r, const RecordNeeds& n,
                      double scale, double points) {
    KrxDataArrays& a = g_arrays;
    const bool packed = r.packed();
    for (std::int64_t i = 0; i < n.entriesFit && i < a.entries; ++i) {
        const unsigned char* p = body.take(packed ? 6 : 8);
        if (p == nullptr) return;
        const EntryHead h = entryHead(p, packed);
        a.velocity2[i] = entryVelocity(h, scale);
        a.width2[i] = entryWidth(h, scale, packed);
        a.snr2[i] = toFloat(h.snr);
        a.power2[i] = toFloat(tenToSnr(h.snrCode, packed) * points * a.noise1[i]);
        a.tenths2[i] = toFloat(secondWindowTenthsCode(p, packed) * 0.1);
    }
}

void clearSecondWindow(const RecordNeeds& n) {
    KrxDataArrays& a = g_arrays;
    const std::int64_t count = std::min(n.entries, a.entries);
    for (float* array : {a.velocity2, a.power2, a.snr2, a.width2, a.tenths2}) {
        std::fill(array, array + count, 0.0f);
    }
}

// Spectra rows hold the window-2 points first, then the window-1 points.
void readSpectra(BodyReader& body, const KrxRecordHeader& r, const KrxRadar& radar,
                 const KrxMode& mode, const RecordNeeds& n) {
    KrxDataArrays& a = g_arrays;
    const std::int64_t w1Start = radar.window1_start, w1 = radar.window1_length;
    const std::int64_t w2Start = radar.window2_start, w2 = radar.window2_length;
    if (w1 < 0 || w2 < 0) return;
    const std::int64_t row = w1 + w2;
    const bool windowsStored = r.lastTwoDigits() == 17;
    for (std::int64_t i = 0; i < n.entriesFit; ++i) {
        // Rows beyond the array are passed over, not stored.
        float* dest = a.spectra != nullptr && (i + 1) * row <= a.spectra_floats
                          ? a.spectra + i * row
                          : nullptr;
        float* window2 = dest;
        float* window1 = dest != nullptr ? dest + w2 : nullptr;
        if (windowsStored) {
            if (!body.floats(window1, w1)) return;
            if (w2 > 0 && !body.floats(window2, w2)) return;
            continue;
        }
        // The whole spectrum is stored: pick the windows out of it and land
        // on the next entry's spectrum.
        if (w2 > 1) {
            body.moveFloats(w2Start - 1);
            if (!body.floats(window2, w2)) return;
            body.moveFloats(w1Start - w2Start - w2);
        }
        if (!body.floats(window1, w1)) return;
        body.moveFloats(mode.spectrum_points - w1Start - w1 + 1);
    }
}

void readRawSamples(BodyReader& body, const KrxMode& mode, const RecordNeeds& n) {
    KrxDataArrays& a = g_arrays;
    const std::int64_t row = 2 * static_cast<std::int64_t>(mode.spectrum_points);
    if (row <= 0) return;
    for (std::int64_t i = 0; i < n.entriesFit; ++i) {
        float* dest = (i + 1) * row <= a.raw_floats ? a.raw + i * row : nullptr;
        if (!body.floats(dest, row)) return;
    }
}

// How the current record's body is decoded, and whether the decoding can
// wait until the record's values are asked for. A reader walking a day
// loads many records whose values it never asks for (the next day's file,
// the dwells of the other output kind); their decoding is left out, with
// results that cannot differ from decoding each record as it is loaded:
// a body waits only when it lies complete in memory, holds no spectra, raw
// samples or DC powers, and so decodes without any diagnostic; a waiting
// body is decoded before anything can see the arrays (every getter, the
// arrays themselves, a record decoded at once, another file's bytes taking
// its place), and it is dropped only for a later record that writes every
// array entry it would have written.
struct BodyPlan {
    KrxRecordHeader record;
    RecordNeeds needs;
    const unsigned char* bytes = nullptr;
    std::int64_t size = 0;
    double scale = 0.0;
    double points = 0.0;
    bool secondWindow = false;
    std::int64_t metValues = 0;
    bool canWait = false;
};

BodyPlan g_waiting;  // the body still to decode when g_bodyWaits
bool g_bodyWaits = false;

// The plan of the current record (mode known); `bytes` is set only when the
// data file is in memory.
BodyPlan planBody() {
    const KrxFile& f = krx_file();
    const KrxRadar& radar = f.hdr.radar;
    const KrxMode& mode = *current_mode();
    BodyPlan p;
    p.record = f.record;
    p.needs = recordNeeds();
    // Nyquist velocity of the record's sampling: half the wavelength
    // (149.9 / MHz) over the sampling period, stored in single precision.
    const double scaleDouble = (149.9 / (radar.frequency * 0.01)) * 500000000.0 / mode.ipp /
                               mode.coherent_integrations / radar.receiver_count;
    p.scale = toFloat(scaleDouble);
    p.points = mode.spectrum_points;
    p.secondWindow = hasSecondWindow(p.record, radar);
    p.metValues = p.record.format_code >= 3000 && f.met_count > 0
                      ? std::min<std::int64_t>(f.met_count, kMetValues)
                      : 0;
    if (f.data.inMemory()) {
        const std::int64_t from = p.record.start + p.record.header_bytes;
        if (from >= 0 && from <= f.data.size) {
            p.bytes = reinterpret_cast<const unsigned char*>(f.data.bytes) + from;
            p.size = std::min(p.needs.bodyBytes, f.data.size - from);
        }
        const std::int64_t entries = p.needs.entries;
        const std::int64_t needed =
            entries * sectionOneEntryBytes(p.record) +
            (p.secondWindow ? entries * (p.record.packed() ? 6 : 8) : 0) + p.metValues * 4;
        p.canWait = f.flags == 0 && !p.record.hasDcPower() && p.bytes != nullptr &&
                    p.size >= needed;
    }
    return p;
}

// The current record's plan, worked out once per record: loading a record
// asks for it three times (preparing, sizing and reading the arrays).
const BodyPlan& currentPlan() {
    static BodyPlan plan;
    static std::uint64_t planned = 0;
    static bool valid = false;
    const std::uint64_t generation = current_record_generation();
    if (!valid || planned != generation) {
        plan = planBody();
        planned = generation;
        valid = true;
    }
    return plan;
}

// The moment sections of a body: first window, second window (or its
// arrays cleared), met values.
void decodeMoments(const BodyPlan& p, BodyReader& body) {
    readFirstWindow(body, p.record, p.needs, p.scale, p.points);
    if (p.secondWindow) {
        readSecondWindow(body, p.record, p.needs, p.scale, p.points);
    } else {
        clearSecondWindow(p.needs);
    }
    if (p.metValues > 0) body.floats(g_arrays.met, p.metValues);
}

// A waiting body is complete, so its sections lie at fixed places: the
// first window's E entries, the second window's entries, the met values.
// It is decoded in two steps: the velocities and signal-to-noise ratios that
// the getters hand out, then the other arrays (widths, noise, powers, tenths,
// met values) when the arrays themselves are asked for. Each value is formed
// exactly as readFirstWindow and readSecondWindow form it.
bool g_gettersDecoded = false;  // the first step of the waiting body is done

std::int64_t firstWindowBytes(const BodyPlan& p) {
    return p.needs.entries * sectionOneEntryBytes(p.record);
}

int secondEntryBytes(const BodyPlan& p) { return p.record.packed() ? 6 : 8; }

void decodeGetterMoments(const BodyPlan& p) {
    KrxDataArrays& a = g_arrays;
    const bool packed = p.record.packed();
    const int entryBytes = sectionOneEntryBytes(p.record);
    const std::int64_t count = std::min(p.needs.entries, a.entries);
    for (std::int64_t i = 0; i < count; ++i) {
        const EntryHead h = entryHead(p.bytes + i * entryBytes, packed);
        a.velocity1[i] = entryVelocity(h, p.scale);
        a.snr1[i] = toFloat(h.snr);
    }
    if (!p.secondWindow) {
        std::fill(a.velocity2, a.velocity2 + count, 0.0f);
        std::fill(a.snr2, a.snr2 + count, 0.0f);
        return;
    }
    const unsigned char* second = p.bytes + firstWindowBytes(p);
    for (std::int64_t i = 0; i < count; ++i) {
        const EntryHead h = entryHead(second + i * secondEntryBytes(p), packed);
        a.velocity2[i] = entryVelocity(h, p.scale);
        a.snr2[i] = toFloat(h.snr);
    }
}

void decodeOtherMoments(const BodyPlan& p) {
    KrxDataArrays& a = g_arrays;
    const bool packed = p.record.packed();
    const int entryBytes = sectionOneEntryBytes(p.record);
    const std::int64_t count = std::min(p.needs.entries, a.entries);
    for (std::int64_t i = 0; i < count; ++i) {
        const unsigned char* e = p.bytes + i * entryBytes;
        const EntryHead h = entryHead(e, packed);
        a.width1[i] = entryWidth(h, p.scale, packed);
        a.noise1[i] = toFloat(tenToNoise(firstWindowNoiseCode(e, packed), packed));
        a.power1[i] = toFloat(tenToSnr(h.snrCode, packed) * p.points * a.noise1[i]);
    }
    std::int64_t metAt = firstWindowBytes(p);
    if (!p.secondWindow) {
        for (float* array : {a.power2, a.width2, a.tenths2}) std::fill(array, array + count, 0.0f);
    } else {
        const unsigned char* second = p.bytes + metAt;
        for (std::int64_t i = 0; i < count; ++i) {
            const unsigned char* e = second + i * secondEntryBytes(p);
            const EntryHead h = entryHead(e, packed);
            a.width2[i] = entryWidth(h, p.scale, packed);
            a.power2[i] = toFloat(tenToSnr(h.snrCode, packed) * p.points * a.noise1[i]);
            a.tenths2[i] = toFloat(secondWindowTenthsCode(e, packed) * 0.1);
        }
        metAt += count * secondEntryBytes(p);
    }
    for (std::int64_t i = 0; i < p.metValues; ++i) a.met[i] = krx_le::f32(p.bytes + metAt + 4 * i);
}

// Decodes the waiting body: only what the getters hand out, or all of it.
void decodeWaitingBody(bool whole = true) {
    if (!g_bodyWaits) return;
    if (!g_gettersDecoded) {
        decodeGetterMoments(g_waiting);
        g_gettersDecoded = true;
    }
    if (!whole) return;
    decodeOtherMoments(g_waiting);
    g_bodyWaits = false;
}

}  // namespace

const KrxDataArrays& krx_data_arrays() {
    decodeWaitingBody();
    return g_arrays;
}

const KrxDataArrays& krx_getter_arrays() {
    decodeWaitingBody(false);
    return g_arrays;
}

void settle_krx_arrays() { decodeWaitingBody(); }

void prepare_krx_arrays() {
    if (!g_bodyWaits) return;
    const KrxDataArrays& a = g_arrays;
    if (current_mode() != nullptr) {
        const BodyPlan& next = currentPlan();
        // The next record's decoding writes entries 0 to E-1 of every moment
        // array and as many met values, into the arrays as they are.
        const bool overwrites = next.canWait && a.block != nullptr &&
                                a.entries >= next.needs.entriesFit &&
                                next.needs.entries >= g_waiting.needs.entries &&
                                next.metValues >= g_waiting.metValues;
        if (overwrites) {
            g_bodyWaits = false;
            return;
        }
    }
    decodeWaitingBody();
}

void release_krx_arrays() {
    g_bodyWaits = false;
    KrxDataArrays& a = g_arrays;
    tracked_free(a.block);
    tracked_free(a.spectra);
    tracked_free(a.raw);
    tracked_free(a.dc_power);
    a = KrxDataArrays{};
}

int set_krx_arrays() {
    KrxDataArrays& a = g_arrays;
    const KrxFile& f = krx_file();
    const KrxRecordHeader& r = f.record;
    const KrxRadar& radar = f.hdr.radar;
    const KrxMode* mode = current_mode();
    if (mode == nullptr) return 1;
    const RecordNeeds n = currentPlan().needs;

    if ((f.flags & kFlagSpectra) != 0 &&
        !ensureFloats(a.spectra, a.spectra_floats, std::max(kDefaultSpectraFloats, n.spectraFloats),
                      "disk: spec")) {
        std::fprintf(stderr, "\aCannot allocate spectral array in disk (set_krx_arrays())\n");
    }
    if ((f.flags & kFlagRawSamples) != 0 &&
        !ensureFloats(a.raw, a.raw_floats, std::max(kDefaultRawFloats, n.rawFloats), "disk: raw")) {
        std::fprintf(stderr, "\aCannot allocate raw data array in disk (set_krx_arrays())\n");
        std::fprintf(stderr, "nhts = %d, pts = %d, nrx = %d\n", mode->gate_count,
                     mode->spectrum_points, radar.receiver_count);
    }
    if (r.hasDcPower()) {
        tracked_free(a.dc_power);
        a.dc_power = allocateFloats(n.entriesFit, false, "disk: dcpow");
        a.dc_power_floats = a.dc_power != nullptr ? n.entriesFit : 0;
        if (a.dc_power != nullptr) std::fill(a.dc_power, a.dc_power + n.entriesFit, 0.0f);
    }
    if (a.block != nullptr && a.entries >= n.entriesFit) return 0;

    const std::int64_t entries = std::max(kDefaultEntries, n.entriesFit);
    const std::int64_t floats = kMomentArrays * entries + kMetValues;
    float* block = allocateFloats(floats, false, "disk: hdr");
    if (block == nullptr || ((f.flags & kFlagSpectra) != 0 && a.spectra == nullptr)) {
        std::fprintf(stderr, "\aCannot allocate memory for data arrays\n");
        std::fprintf(stderr, "nhts = %d, pts = %d + %d , nrx = %d \n", mode->gate_count,
                     radar.window1_length, radar.window2_length, radar.receiver_count);
        tracked_free(block);
        return 1;
    }
    // Defined contents before the first record fills them.
    std::fill(block, block + floats, 0.0f);
    tracked_free(a.block);
    bindMomentBlock(block, entries);
    return 0;
}

void read_record_data() {
    KrxFile& f = krx_file();
    const KrxRecordHeader r = f.record;
    const KrxRadar& radar = f.hdr.radar;
    const KrxMode* mode = current_mode();

    if (mode != nullptr && g_arrays.block != nullptr) {
        BodyPlan plan = currentPlan();
        if (plan.canWait) {
            g_waiting = plan;
            g_bodyWaits = true;
            g_gettersDecoded = false;
        } else {
            decodeWaitingBody();
            if (!f.data.inMemory()) {
                g_body.resize(static_cast<std::size_t>(plan.needs.bodyBytes));
                plan.size = 0;
                if (krx_io::seekTo(f.data, r.start + r.header_bytes) == 0) {
                    plan.size = static_cast<std::int64_t>(
                        krx_io::readSome(f.data, g_body.data(), g_body.size()));
                }
                plan.bytes = g_body.data();
            }
            BodyReader body(plan.bytes, plan.size);
            decodeMoments(plan, body);
            if ((f.flags & kFlagSpectra) != 0) readSpectra(body, r, radar, *mode, plan.needs);
            if ((f.flags & kFlagRawSamples) != 0 && g_arrays.raw != nullptr)
                readRawSamples(body, *mode, plan.needs);
        }
    }

    f.current_offset = r.start + r.length;
    krx_io::seekTo(f.data, f.current_offset);
}

std::int16_t krx_check_record(KrxRecordCheck* check) {
    const KrxFile& f = krx_file();
    const KrxRecordHeader& r = f.record;
    const KrxRadar& radar = f.hdr.radar;
    const KrxMode* mode = current_mode();
    KrxRecordCheck c;
    c.start = r.start;
    c.time = r.time;
    c.length = r.length;
    c.header_offset = r.header_offset;
    c.receivers = radar.receiver_count;
    c.header_read = f.data.isOpen() && r.header_offset == f.last_header_offset;
    if (!c.header_read && r.header_offset == f.failed_header_offset) {
        c.header_error = f.failed_header_code;
        c.header_version = f.failed_header_version;
    }
    if (mode != nullptr) {
        c.gate_count = mode->gate_count;
        // The sections the record must hold, as read_record_data reads them.
        const std::int64_t entries = current_entry_count();
        std::int64_t body = entries * sectionOneEntryBytes(r);
        if (hasSecondWindow(r, radar)) body += entries * (r.packed() ? 6 : 8);
        if (r.format_code >= 3000 && f.met_count > 0)
            body += 4 * std::min<std::int64_t>(f.met_count, kMetValues);
        if ((f.flags & kFlagSpectra) != 0) {
            const std::int64_t w2 = radar.window2_length > 0 ? radar.window2_length : 0;
            const std::int64_t row = r.lastTwoDigits() == 17
                                         ? std::max<std::int64_t>(radar.window1_length, 0) + w2
                                         : std::max<std::int64_t>(mode->spectrum_points, 0);
            body += 4 * entries * row;
        }
        if ((f.flags & kFlagRawSamples) != 0)
            body += 4 * entries * 2 * std::max<std::int64_t>(mode->spectrum_points, 0);
        c.expected = r.header_bytes + body + r.trailingBytes();
    }
    if (check != nullptr) *check = c;
    return c.header_read && mode != nullptr && c.expected == r.length ? 1 : 0;
}

std::int64_t krx_unreferenced_records() { return krx_file().unreferenced_records; }
