// Writer of KRX data-acquisition file pairs, for test fixtures and the sample
// generator.
//
// A pair is a data file (records back to back from offset 0) and a header
// file (header records at the offsets the data records name). Build the
// header file first, keep the offsets that HeaderFile::add returns, and put
// them into the data records:
//
//     krxwriter::HeaderFile headers;
//     krxwriter::HeaderRecord h;               // version 103 by default
//     h.site_name = "ABC";
//     h.modes[0] = {.ipp = 100000, .pulse_width = 700, .gate_count = 3, ...};
//     h.beams = {{.direction = 0, .mode = 0}};
//     h.directions = {{.name = "VERT", .azimuth = 0, .elevation = 90}};
//     const std::int32_t at = headers.add(h);
//
//     krxwriter::DataFile data;
//     krxwriter::DataRecord r;                 // format code 16 by default
//     r.header_offset = at;
//     r.time = krxwriter::epoch_seconds(2004, 5, 5, 12, 0, 0);
//     r.window1 = {{.velocity = 10000, .snr = -5, .noise = 20}, ...};
//     data.add(r);
//     krxwriter::write_pair(folder + "/d04126a.mom", data, headers);
//
// The writer writes exactly what it is given: it does not check that a
// record's entries match its mode's gate count, nor that the sections match
// the header's windows; that is what makes corrupt fixtures possible. The
// overrides (announced counts, lengths) and the byte helpers at the end make
// deliberately inconsistent, damaged or truncated files.
//
// All values are written little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace krxwriter {

using Bytes = std::vector<std::uint8_t>;

// Byte offsets of the header record and its 560-byte block, for tests that
// patch single fields.
namespace layout {
inline constexpr std::size_t kBlockBytes = 560;
inline constexpr std::size_t kSiteName = 0;
inline constexpr std::size_t kLatitude = 32;
inline constexpr std::size_t kLongitude = 34;
inline constexpr std::size_t kAltitude = 38;
inline constexpr std::size_t kRadarCount = 40;
inline constexpr std::size_t kRadar = 42;  // radar block; offsets below are from its start
inline constexpr std::size_t kFrequency = 34;
inline constexpr std::size_t kBeamCount = 48;
inline constexpr std::size_t kModes = 52;
inline constexpr std::size_t kModeBytes = 32;
inline constexpr std::size_t kBeams = 180;
inline constexpr std::size_t kBeamBytes = 6;
inline constexpr std::size_t kDirections = 260;
inline constexpr std::size_t kDirectionBytes = 18;
inline constexpr std::size_t kWindow1Start = 446;
inline constexpr std::size_t kWindow1Length = 448;
inline constexpr std::size_t kWindow2Start = 450;
inline constexpr std::size_t kWindow2Length = 452;
inline constexpr std::size_t kRassFlag = 454;
inline constexpr std::size_t kSpectralParams = 456;
inline constexpr std::size_t kSpectralParam5 = 464;
inline constexpr std::size_t kReceiverCount = 470;
// Within a mode.
inline constexpr std::size_t kGateCount = 16;
inline constexpr std::size_t kCoherentIntegrations = 18;
inline constexpr std::size_t kSpectrumPoints = 22;
inline constexpr int kBeamRoom = 13;
inline constexpr int kDirectionRoom = 10;
// Offset of the block in a header record of the given version.
constexpr std::size_t blockOffset(std::int16_t version) { return version >= 103 ? 16 : 4; }
}  // namespace layout

// A radar mode (KrxMode).
struct Mode {
    std::int32_t ipp = 0;               // inter-pulse period, ns
    std::int32_t pulse_width = 0;       // ns
    std::int32_t first_gate_delay = 0;  // ns
    std::int32_t gate_spacing = 0;      // ns
    std::int16_t gate_count = 0;
    std::int16_t coherent_integrations = 0;
    std::int16_t spectral_averages = 0;
    std::int16_t spectrum_points = 0;
    std::int16_t system_delay = 0;  // ns
};

// A beam entry: indices into the direction and mode tables.
struct Beam {
    std::int16_t direction = 0;
    std::int16_t mode = 0;
};

// A direction entry. The name is written into 12 bytes (longer names are cut,
// a 12-byte name has no NUL).
struct Direction {
    std::string name;
    std::int16_t azimuth = 0;    // degrees
    std::int16_t elevation = 0;  // degrees up to 90, hundredths of a degree above
};

// One header record. Versions from 103 on carry the met instrument count and
// codes; other versions (also invalid ones, for tests) are written without.
struct HeaderRecord {
    std::int16_t version = 103;
    std::vector<std::int16_t> met_codes;
    std::optional<std::int16_t> met_count;  // announced count; default met_codes.size()

    std::string site_name;       // written into 32 bytes
    std::int16_t latitude = 0;   // hundredths of a degree
    std::int16_t longitude = 0;  // hundredths of a degree
    std::int16_t altitude = 0;   // m
    std::int16_t radar_count = 1;

    std::int32_t frequency = 0;              // 0.01 MHz
    std::optional<std::int16_t> beam_count;  // default beams.size()
    std::array<Mode, 4> modes{};
    std::vector<Beam> beams;            // at most 13
    std::vector<Direction> directions;  // at most 10
    std::int16_t window1_start = 1;
    std::int16_t window1_length = 0;
    std::int16_t window2_start = 1;
    std::int16_t window2_length = 0;  // 1 or less: no second window
    std::int16_t rass_flag = 0;
    std::array<std::int16_t, 4> spectral_params{};
    std::int16_t spectral_param5 = 0;
    std::int16_t receiver_count = 1;

    // The 560-byte header block alone.
    Bytes block() const;
    // The whole record: version, spare, [met count, 5 spares], block, spare
    // int32, [met codes]. Throws std::invalid_argument for more than 13 beams
    // or 10 directions.
    Bytes bytes() const;
};

// First-window moments of one entry, as stored codes. Packed records (format
// code hundreds digit 0) store the low byte of width, snr and noise (snr and
// noise in dB); others store all five as 16-bit codes (snr in 0.01 dB, noise
// code c meaning 10^(c/1000), dc power only with hundreds digit 2).
struct FirstWindowEntry {
    std::int16_t velocity = 0;  // in units of Nyquist velocity / 10000
    std::uint16_t width = 0;
    std::int16_t snr = 0;
    std::int16_t noise = 0;
    std::int16_t dc_power = 0;
};

// Second-window moments of one entry; packed records store the low byte of
// width and snr.
struct SecondWindowEntry {
    std::int16_t velocity = 0;
    std::uint16_t width = 0;
    std::int16_t snr = 0;
    std::int16_t tenths = 0;
};

// One data record. Sections are written when their vectors are not empty, in
// the order window1, window2, met, spectra, raw, padding; spectra and raw
// samples are written exactly as given (the caller lays them out).
struct DataRecord {
    std::int16_t format_code = 16;
    // From format code 3000 on: the record's flags word, written. Below 3000:
    // not written; give the flags word the reader passes to krx_set_file,
    // which makes the length fields int32 when it is not 0.
    std::int16_t flags = 0;
    std::int32_t header_offset = 0;
    std::int32_t time = 0;  // seconds since 1970-01-01 UTC
    std::int16_t radar_index = 0;
    std::int16_t beam_index = 0;
    // Below format code 3000 the counts are written only when this is set
    // (the reader expects them exactly when the length exceeds a minimum of
    // the mode; unpacked records always exceed it). From 3000 on always.
    bool carry_counts = true;
    std::int16_t coherent_integrations = 0;
    std::int16_t spectral_averages = 0;

    std::vector<FirstWindowEntry> window1;
    std::vector<SecondWindowEntry> window2;
    std::vector<float> met;
    std::vector<float> spectra;
    std::vector<float> raw;
    Bytes padding;  // extra body bytes behind the sections

    std::optional<std::int32_t> length;           // leading length instead of the true one
    std::optional<std::int32_t> trailing_length;  // trailing length instead of the leading one

    // True when the length fields are int32.
    bool wideLength() const { return format_code >= 3000 || flags != 0; }
    // Bytes in front of the body (window1 starts here).
    std::size_t headerBytes() const;
    Bytes bytes() const;
};

// A header file under construction.
class HeaderFile {
  public:
    // Appends a record; returns its offset for DataRecord::header_offset.
    std::int32_t add(const HeaderRecord& record);
    // Appends arbitrary bytes (gaps, garbage); returns their offset.
    std::int32_t addBytes(const Bytes& bytes);
    const Bytes& bytes() const { return bytes_; }

  private:
    Bytes bytes_;
};

// A data file under construction.
class DataFile {
  public:
    // Appends a record; returns its offset.
    std::int64_t add(const DataRecord& record);
    std::int64_t addBytes(const Bytes& bytes);
    const Bytes& bytes() const { return bytes_; }

  private:
    Bytes bytes_;
};

// The header file path of a data file: first character of the file name
// replaced by 'h' ('/' separates folders).
std::string headerPathFor(const std::string& dataPath);

// Writes bytes as the whole file; false when it cannot be written.
bool writeFile(const std::string& path, const Bytes& bytes);
// Writes the data file at dataPath and the header file beside it.
bool writePair(const std::string& dataPath, const Bytes& data, const Bytes& headers);
bool writePair(const std::string& dataPath, const DataFile& data, const HeaderFile& headers);

// Byte helpers for corrupting fixtures (little-endian; offset must leave room).
void putI16(Bytes& bytes, std::size_t offset, std::int16_t value);
void putI32(Bytes& bytes, std::size_t offset, std::int32_t value);
void putF32(Bytes& bytes, std::size_t offset, float value);
// The first `size` bytes (all when size is larger).
Bytes truncated(const Bytes& bytes, std::size_t size);

// Seconds since 1970-01-01 00:00:00 UTC of a calendar time, and of a day of
// the year counted from 1.
std::int32_t epoch_seconds(int year, int month, int day, int hour, int minute, int second);
std::int32_t epoch_seconds_doy(int year, int dayOfYear, int hour, int minute, int second);

}  // namespace krxwriter
