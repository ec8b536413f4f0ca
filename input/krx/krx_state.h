// Internal state of the KRX access library: the header block layout, the
// record header, the one process-wide KrxFile and the data arrays. Not for
// clients (they use krx.h); the library's own files and its tests include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "input/krx/file_io.h"

// ---- Header block layout (byte offsets) -------------------------------------

namespace krx_layout {

// Header record, in front of and behind the 560-byte block.
inline constexpr int kFirstMetVersion = 103;  // versions from here on carry met fields
inline constexpr int kMinVersion = 100;
inline constexpr int kMaxVersion = 999;
inline constexpr int kMetSpareWords = 5;  // int16 behind the met count
inline constexpr int kMaxMetInstruments = 210;

// The header block.
inline constexpr std::size_t kBlockBytes = 560;
inline constexpr std::size_t kSiteName = 0;
inline constexpr std::size_t kSiteNameBytes = 32;
inline constexpr std::size_t kLatitude = 32;
inline constexpr std::size_t kLongitude = 34;
inline constexpr std::size_t kAltitude = 38;
inline constexpr std::size_t kRadarCount = 40;
inline constexpr std::size_t kRadar = 42;
inline constexpr std::size_t kRadarBytes = 518;

// The radar block (offsets from its first byte).
inline constexpr std::size_t kFrequency = 34;
inline constexpr std::size_t kBeamCount = 48;
inline constexpr std::size_t kModes = 52;
inline constexpr std::size_t kModeBytes = 32;
inline constexpr int kModeRoom = 4;
inline constexpr std::size_t kBeams = 180;
inline constexpr std::size_t kBeamBytes = 6;
inline constexpr int kBeamRoom = 13;
inline constexpr std::size_t kDirections = 260;
inline constexpr std::size_t kDirectionBytes = 18;
inline constexpr int kDirectionRoom = 10;
inline constexpr std::size_t kWindow1Start = 446;
inline constexpr std::size_t kWindow1Length = 448;
inline constexpr std::size_t kWindow2Start = 450;
inline constexpr std::size_t kWindow2Length = 452;
inline constexpr std::size_t kRassFlag = 454;
inline constexpr std::size_t kSpectralParams = 456;  // four int16
inline constexpr std::size_t kSpectralParam5 = 464;
inline constexpr std::size_t kReceiverCount = 470;

// A mode (offsets from the mode's first byte).
inline constexpr std::size_t kIpp = 0;
inline constexpr std::size_t kPulseWidth = 4;
inline constexpr std::size_t kFirstGateDelay = 8;
inline constexpr std::size_t kGateSpacing = 12;
inline constexpr std::size_t kGateCount = 16;
inline constexpr std::size_t kCoherentIntegrations = 18;
inline constexpr std::size_t kSpectralAverages = 20;
inline constexpr std::size_t kSpectrumPoints = 22;
inline constexpr std::size_t kSystemDelay = 24;

// A beam entry and a direction entry.
inline constexpr std::size_t kBeamDirection = 0;
inline constexpr std::size_t kBeamMode = 2;
inline constexpr std::size_t kDirectionNameBytes = 12;
inline constexpr std::size_t kDirectionAzimuth = 12;
inline constexpr std::size_t kDirectionElevation = 14;

static_assert(kRadar + kRadarBytes == kBlockBytes);
static_assert(kModes + kModeRoom * kModeBytes == kBeams);
static_assert(kBeams + kBeamRoom * kBeamBytes <= kDirections);
static_assert(kDirections + kDirectionRoom * kDirectionBytes <= kWindow1Start);
static_assert(kReceiverCount + 2 <= kRadarBytes);
static_assert(kSystemDelay + 2 <= kModeBytes);

}  // namespace krx_layout

// ---- Header block, decoded ---------------------------------------------------

struct KrxMode {
    std::int32_t ipp = 0;               // inter-pulse period, ns
    std::int32_t pulse_width = 0;       // ns
    std::int32_t first_gate_delay = 0;  // ns
    std::int32_t gate_spacing = 0;      // ns
    std::int16_t gate_count = 0;
    std::int16_t coherent_integrations = 0;  // replaced by records that carry it
    std::int16_t spectral_averages = 0;      // replaced by records that carry it
    std::int16_t spectrum_points = 0;
    std::int16_t system_delay = 0;  // ns
};

struct KrxBeam {
    std::int16_t direction_index = 0;
    std::int16_t mode_index = 0;
};

struct KrxDirection {
    char name[krx_layout::kDirectionNameBytes] = {};  // NUL-terminated unless 12 long
    std::int16_t azimuth = 0;                         // degrees
    std::int16_t elevation = 0;  // degrees up to 90, hundredths of a degree above
};

struct KrxRadar {
    std::int32_t frequency = 0;  // 0.01 MHz
    std::int16_t beam_count = 0;
    KrxMode modes[krx_layout::kModeRoom];
    KrxBeam beams[krx_layout::kBeamRoom];
    KrxDirection directions[krx_layout::kDirectionRoom];
    std::int16_t window1_start = 0;  // spectral points counted from 1
    std::int16_t window1_length = 0;
    std::int16_t window2_start = 0;
    std::int16_t window2_length = 0;
    std::int16_t rass_flag = 0;
    std::int16_t spectral_params[4] = {};  // handed out, not interpreted
    std::int16_t spectral_param5 = 0;
    std::int16_t receiver_count = 0;
};

struct KrxHeader {
    char site_name[krx_layout::kSiteNameBytes] = {};
    std::int16_t latitude = 0;   // hundredths of a degree
    std::int16_t longitude = 0;  // hundredths of a degree
    std::int16_t altitude = 0;   // m above mean sea level
    std::int16_t radar_count = 0;
    KrxRadar radar;
};

// Decodes the 560 bytes of a header block.
KrxHeader decode_header_block(const unsigned char* block);

// ---- Record header -----------------------------------------------------------

// A record's UTC time; compares lexicographically in field order.
struct KrxTimeKey {
    std::int16_t year = 0;  // years since 1900
    std::int16_t day = 0;   // day of year, 1 January is 1
    std::int16_t hour = 0;
    std::int16_t minute = 0;
    std::int16_t second = 0;
};

// 1 when a is later than b, -1 when earlier, 0 when equal.
int compare_time_keys(const KrxTimeKey& a, const KrxTimeKey& b);

// The UTC breakdown of seconds since 1970-01-01 00:00:00.
KrxTimeKey time_key_from_seconds(std::int32_t seconds);

struct KrxRecordHeader {
    std::int64_t start = 0;  // offset of the record's first byte
    std::int16_t format_code = 0;
    std::int32_t length = 0;  // L: first byte to end of trailing length
    std::int32_t header_offset = 0;
    std::int32_t time = 0;  // seconds since 1970
    KrxTimeKey key;
    std::int16_t radar_index = 0;
    std::int16_t beam_index = 0;
    // From the beam entry; -1 when the record refers to nothing in the header
    // (radar index not 0, beam index or its mode/direction outside the tables).
    std::int16_t direction_index = -1;
    std::int16_t mode_index = -1;
    std::int32_t header_bytes = 0;  // bytes of the fields in front of the body
    bool wide_length = false;       // L and trailing length are int32

    bool refersToHeader() const { return mode_index >= 0; }
    int hundredsDigit() const { return (format_code / 100) % 10; }
    int lastTwoDigits() const { return format_code % 100; }
    bool packed() const { return hundredsDigit() == 0; }
    bool hasDcPower() const { return hundredsDigit() == 2; }
    std::int32_t trailingBytes() const { return wide_length ? 4 : 2; }
};

// ---- The process-wide file state --------------------------------------------

inline constexpr std::int16_t kFlagSpectra = 1;     // bit 0: records hold spectra
inline constexpr std::int16_t kFlagRawSamples = 4;  // bit 2: records hold raw samples

// A header record as read_header_record leaves it: the header block, the met
// instrument count and codes.
struct KrxHeaderCopy {
    std::int64_t offset = -1;
    KrxHeader hdr;
    std::int16_t met_count = 0;
    std::int16_t met_codes[krx_layout::kMaxMetInstruments] = {};
};

// Storage for a whole file's bytes, kept from one pair to the next.
// What identifies a file's contents between two opens: the same file (device
// and inode), the same length and the same modification and status-change
// times.
struct KrxFileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t length = -1;
    std::int64_t modified_ns = 0;
    std::int64_t changed_ns = 0;

    bool operator==(const KrxFileIdentity&) const = default;
};

struct KrxImage {
    std::unique_ptr<char[]> bytes;
    std::int64_t capacity = 0;
    // The file whose whole contents the bytes hold, when `held`: a day's
    // pair is opened again the next day (as the day before's next-day pair
    // and then as the processing day's), and is then not read a second time.
    bool held = false;
    KrxFileIdentity identity;
};

struct KrxFile {
    krx_io::Source data;
    krx_io::Source header;
    // Header records already read from a header file held in memory: the
    // records of a day point to a few header records in turn.
    std::vector<KrxHeaderCopy> header_copies;
    // Where the files' bytes are held when they are read from memory.
    KrxImage data_image;
    KrxImage header_image;
    std::string name;        // open data file; empty when none
    std::string headerName;  // its header file
    std::int64_t data_length = 0;
    std::int16_t flags = 0;
    std::int64_t last_header_offset = -1;  // header record last read successfully
    std::int64_t current_offset = 0;       // first byte of the record worked on
    KrxRecordHeader record;                // record header last read
    KrxHeader hdr;                         // header block last read
    std::int16_t met_count = 0;
    std::int16_t met_codes[krx_layout::kMaxMetInstruments] = {};
    std::int16_t selected_radar = 0;  // -1 any
    std::int16_t selected_beam = 0;   // -1 any
    bool header_error_reported = false;

    // What went wrong with the header record that could not be read last
    // (for the client's report): its offset, read_header_record's code (or
    // 1 when the seek failed) and the version field as read (0 when none).
    std::int64_t failed_header_offset = -1;
    std::int16_t failed_header_code = 0;
    std::int16_t failed_header_version = 0;
    // The version field of the header record being read.
    std::int16_t reading_header_version = 0;
    // A short first-window section is reported once per open pair, not once
    // per record.
    bool read_error_reported = false;
    // Records krx_next_record passed over because they refer to nothing in
    // their header record (radar, beam, mode or direction outside its
    // tables), since the pair was opened.
    std::int64_t unreferenced_records = 0;
};

KrxFile& krx_file();

// The mode of the current record, or nullptr when it refers to none.
const KrxMode* current_mode();
// gate_count * receiver_count of the current record (0 when it has no mode).
std::int64_t current_entry_count();
// Changes whenever anything a record's body layout depends on may have
// changed (a record header read, a file pair opened or closed): what is
// worked out from the current record can be kept while it stays the same.
std::uint64_t current_record_generation();

// ---- Internal operations ----------------------------------------------------

// Reads the record header at the current offset. 0 success; 1 end of data
// (format code unreadable, or a length that cannot hold the record's own
// header); -4 a later field unreadable. *header_changed := 1 when a new
// header record was read.
int read_record_header(std::int16_t* header_changed);
// Current offset += L when that stays within the data file: 0; else -1.
int advance_record();
// Reads a header record at the header file's position. 0 success; -1 version
// unreadable; -10 version outside 100..999; -4 the int32 behind the block
// unreadable; -3 met instrument codes too many or short.
int read_header_record();
// n > 1: skip n-1 records forward; n <= 0: step back 1-n records. 0 success,
// -1 forward header read failed, -2 start of file (or an unusable trailing
// length) reached backward.
int skip_records(int n);
// Reads the record at the current offset with its data. 0 success, 1 failure.
int load_record();
// Test support: files up to this many bytes are read into memory (32 MiB
// unless set); 0 reads every file through its stream.
void krx_set_largest_memory_file(std::int64_t bytes);

// ---- Data arrays ------------------------------------------------------------

inline constexpr std::int64_t kDefaultEntries = 256;
inline constexpr std::int64_t kDefaultSpectraFloats = 131072;
inline constexpr std::int64_t kDefaultRawFloats = 262144;
inline constexpr int kMomentArrays = 10;

// Process-wide arrays of the current record; all values single precision.
struct KrxDataArrays {
    float* block = nullptr;    // the moment block, split into the arrays below
    std::int64_t entries = 0;  // capacity of each per-entry array
    float* velocity1 = nullptr;
    float* power1 = nullptr;
    float* noise1 = nullptr;
    float* snr1 = nullptr;
    float* width1 = nullptr;
    float* velocity2 = nullptr;
    float* power2 = nullptr;
    float* snr2 = nullptr;
    float* width2 = nullptr;
    float* tenths2 = nullptr;
    float* met = nullptr;  // kMaxMetInstruments values
    float* spectra = nullptr;
    std::int64_t spectra_floats = 0;
    float* raw = nullptr;
    std::int64_t raw_floats = 0;
    float* dc_power = nullptr;
    std::int64_t dc_power_floats = 0;
};

// The arrays, with the current record's values in them.
const KrxDataArrays& krx_data_arrays();
// The arrays with at least the current record's velocities and
// signal-to-noise ratios of both windows in them (what the getters copy).
const KrxDataArrays& krx_getter_arrays();
void release_krx_arrays();
// A loaded record's body may wait to be decoded until its values are asked
// for (disk_arrays.cpp). prepare_krx_arrays settles a waiting body before
// another record is loaded; settle_krx_arrays decodes it now (before the
// file's bytes in memory are replaced).
void prepare_krx_arrays();
void settle_krx_arrays();

// Makes sure the arrays for the current record exist. 0 ready, 1 not.
int set_krx_arrays();
// Reads the current record's body (the data file stands just behind its
// header fields) and moves the current offset to the following record.
void read_record_data();
