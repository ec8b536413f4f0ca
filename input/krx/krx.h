// Access to KRX data-acquisition file pairs.
//
// A KRX data set for one day is a data file (one record per dwell) and a
// header file (radar configuration records that the data records point to).
// The header file lies in the same folder; its name is the data file's name
// with the first character replaced by 'h' (d04123a.mom -> h04123a.mom).
//
// The library keeps one process-wide state: one pair open at a time, one
// current record. It is not thread-safe; one thread uses it. Results are 1
// for success and 0 for failure unless noted. Diagnostics are written to
// stdout/stderr by the library itself.
//
// Caller's order: krx_set_file, krx_set_radar_index, krx_set_time,
// krx_set_beam, the getters, then krx_next_record and the getters again
// until krx_next_record returns 0. krx_set_file("__NO_FILE__", 0) closes the
// pair.
//
// Output pointers may be nullptr for values the caller does not want.
#pragma once

#include <cstdint>
#include <string>

// Opens exactly `path` and the header file krx_header_path(path) and stands
// at the first record; `flags` is the flags word used for records with format
// codes below 3000 (bit 0 spectra, bit 2 raw samples). When `path` is the
// pair already open, the files stay open and are rewound. Returns 0 (and no
// pair is open) when either file cannot be opened; "__NO_FILE__" only closes.
std::int16_t krx_set_file(const char* path, std::int16_t flags);

// As krx_set_file, with the header file named explicitly (for callers that
// look the header file up themselves, for instance without regard to case).
std::int16_t krx_set_file_pair(const char* dataPath, const char* headerPath, std::int16_t flags);

// The header file that pairs with a data file: the first character of the
// file name (not of the folder) replaced by 'h'; '/' separates folders.
std::string krx_header_path(const char* dataPath);

// Selects the radar (-1 any, else 0..radar_count-1) or the beam (-1 any,
// else 0..beam_count-1). 0 and no change when out of range.
std::int16_t krx_set_radar_index(std::int16_t radar);
std::int16_t krx_set_beam(std::int16_t beam);

// Loads the first record whose time is not earlier than the given UTC time
// (the last record when all are earlier). `year` from 1900 on is a calendar
// year, below 1900 years since 1900; `day` is the day of year from 1. Selects
// that record's radar and beam. *header_changed := 1 when a new header record
// was read on the way. 0 when no record could be loaded.
std::int16_t krx_set_time(std::int16_t year, std::int16_t day, std::int16_t hour,
                          std::int16_t minute, std::int16_t second, std::int16_t* header_changed);

// Loads the next record of the selected radar and beam. 0 at the end of the
// data or when the record cannot be loaded.
std::int16_t krx_next_record(std::int16_t* header_changed);

// The current record's UTC time: years since 1900, day of year from 1, hour,
// minute, second. Returns the stored seconds since 1970-01-01.
std::int32_t krx_get_time(std::int16_t* year, std::int16_t* day, std::int16_t* hour,
                          std::int16_t* minute, std::int16_t* second);

// Beam entry `beam` of the header: its direction's azimuth and stored
// elevation (degrees up to 90, hundredths above), direction name (buffer of
// at least 13 bytes), and its mode's values; first gate height and gate
// spacing in metres along the vertical. 0 when the beam or the selected radar
// is out of range.
std::int16_t krx_get_beam_info(std::int16_t beam, std::int16_t* azimuth, std::int16_t* elevation,
                               char* name, std::int32_t* ipp, std::int32_t* pulse_width,
                               std::int32_t* first_gate_height, std::int32_t* gate_spacing,
                               std::int16_t* gate_count, std::int16_t* coherent_integrations,
                               std::int16_t* spectral_averages, std::int16_t* spectrum_points);

// The spectral windows (start counted from 1, length in points) and the five
// further window values of the header; returns the RASS flag (not 0: window 2
// holds the acoustic echo).
std::int16_t krx_get_spectral_windows(std::int16_t* window1_start, std::int16_t* window1_length,
                                      std::int16_t* window2_start, std::int16_t* window2_length,
                                      std::int16_t* param1, std::int16_t* param2,
                                      std::int16_t* param3, std::int16_t* param4,
                                      std::int16_t* param5);

// Copies the site name (buffer of at least 33 bytes); returns its length + 1.
std::int16_t krx_get_site_name(char* name);

// Latitude and longitude in hundredths of a degree.
void krx_get_location(std::int16_t* latitude, std::int16_t* longitude);

// Site altitude, metres above mean sea level.
std::int16_t krx_get_altitude();

// Copy the current record's first gate_count * receiver_count values, at
// most `capacity`, of the first-window velocity (m/s) and signal-to-noise
// ratio (dB) and of the second-window (RASS) velocity and signal-to-noise
// ratio. Return 1; 0 (nothing copied) before any record was loaded.
std::int16_t krx_get_velocity(float* values, int capacity);
std::int16_t krx_get_snr(float* values, int capacity);
std::int16_t krx_get_rass_velocity(float* values, int capacity);
std::int16_t krx_get_rass_snr(float* values, int capacity);

// How the current record agrees with the header record it points to.
struct KrxRecordCheck {
    std::int64_t start = 0;          // the record's first byte in the data file
    std::int32_t time = 0;           // seconds since 1970-01-01
    std::int32_t length = 0;         // its length field
    std::int64_t expected = 0;       // the length its header record's layout gives it
    std::int32_t header_offset = 0;  // where its header record is in the header file
    std::int16_t gate_count = 0;     // of its mode in that header record
    std::int16_t receivers = 0;
    // False when the record's own header record could not be read, so that
    // the header in use is an earlier one: then header_error is the reading's
    // code (-1 version unreadable, -10 version outside 100..999, -4 block
    // short, -3 met instrument codes; 1 the offset lies outside the file) and
    // header_version the version field as read.
    bool header_read = true;
    std::int16_t header_error = 0;
    std::int16_t header_version = 0;
};
// 1 when the current record's own header record is in use and the record's
// length is exactly what that header's mode (gates, receivers, windows, met
// instruments, spectra, raw samples) and the record's format code give; 0
// otherwise (a header file that does not belong to its data file, a damaged
// record). Fills *check when not null.
std::int16_t krx_check_record(KrxRecordCheck* check);

// Records krx_next_record passed over since the pair was opened because
// they refer to nothing in their header record.
std::int64_t krx_unreferenced_records();

// Bytes of the data file from the first byte the dwell walk has not worked
// through to the file's end: 0 once krx_next_record has run to the end of
// the data; more when it stopped at a record cut short by the end of the
// file, or at bytes that frame no record.
std::int64_t krx_unread_bytes();
// Length in bytes of the open data file (0 when none is open).
std::int64_t krx_file_length();

// Test support: closes the files and returns the whole state (header block,
// data arrays, the header-error-reported flag) to the state at process start.
void krx_reset_state();
