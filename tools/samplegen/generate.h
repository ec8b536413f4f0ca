// Synthetic moment files from a known atmosphere (field.h): radial
// velocities and RASS acoustic speeds with noise, outliers and missing
// gates, one file per day, plus a truth table per day.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/time.h"
#include "tools/samplegen/field.h"

namespace qv::samplegen {

enum class FileFormat { Ascii, Binary };

struct GenerateOptions {
    std::string outDir;
    CalendarTime firstDay{2004, 6, 0, 15, 0, 0, 0, 0};
    int days = 2;
    int fromMinute = 21 * 60;  // data of each day from this minute...
    int toMinute = 24 * 60;    // ...to this one (exclusive)
    bool winds = true;         // .raw files
    bool temperature = true;   // .rat files
    std::string site = "qvs";  // file names
    std::string station = "QVS";
    int latitudeCenti = 4001;
    int longitudeCenti = -10525;
    int siteElevation = 1611;
    std::uint64_t seed = 1;
    // The last minutes of each day go into the next day's file (as a
    // profiler writes its files); the day after the last gets a file with
    // only those dwells.
    int spillMinutes = 6;
    FileFormat format = FileFormat::Ascii;
    // Gates of every beam; 0 keeps the beams' own counts (20, RASS 14).
    int gates = 0;
    // Seconds from one beam's dwell to the next: the cycle of five wind
    // beams, and of the vertical and RASS dwells, then lasts five of these.
    // 0 keeps the standard 180-s cycle.
    int dwellSeconds = 0;

    // Contamination of the oblique wind beams, drawn from a random stream of
    // its own (the clean values stay those of the same seed without it);
    // all off by default. Each fraction is the expected share of oblique
    // dwells that carry that kind of contamination.
    //
    // Ground clutter: one beam at a time sees a fixed target at its lowest
    // 1 to 3 gates: radial velocity near zero (spread 0.1 m/s) and a strong
    // echo (SNR +10 dB), in every dwell of that beam for 10 to 30 minutes.
    double clutterFraction = 0.0;
    // Birds: migrating birds over the site, seen by every oblique beam, in
    // a band of 1 to 5 gates whose lowest gate lies 200 to 1200 m above the
    // site, for 10 to 30 minutes: the radial velocity is that of the birds
    // (the wind plus an own airspeed of 8 to 14 m/s in one heading per
    // episode), so it is biased by up to about 5.6 m/s along the beam.
    double birdFraction = 0.0;
    // Chance of a random outlier per radar gate (oblique: uniform in
    // +-12 m/s, vertical: +-6 m/s); negative keeps 0.06 oblique, 0.05
    // vertical.
    double outlierFraction = -1.0;

    // What real days have beyond that; all off by default (the files are
    // then those of the plain generator, byte for byte).
    //
    // 2: a second pulse-width mode, 400 ns beams (gates 60 m apart along
    // the beam, the first 120 m above the site, 5 dB weaker echoes) in the
    // same five directions, dwelling after the 700 ns beams: a cycle of ten
    // wind dwells (with --dwell-seconds S it lasts 10 x S seconds).
    int modes = 1;
    // Weak echoes: where a radar gate's mean SNR nears 0 dB a dwell's
    // spectral peak is often a noise peak and the echo's velocity scatters
    // (by up to 2.5 m/s more), so that the consensus of those gates is won
    // by a bare majority or fails; such gates are noisy instead of missing
    // aloft.
    bool weakEchoes = false;
    // Ground clutter episodes of about this many hours (half to one and a
    // half times it) instead of 10 to 30 minutes: the same low gates of a
    // beam for hours.
    double clutterHours = 0.0;
    // Share of the nights with bird migration: from 20:00 to 04:00 birds
    // fill a layer from 200 m to 800 to 1500 m above the site; at each
    // oblique gate a dwell sees them instead of the air with a chance that
    // rises to 0.3 to 0.7 and falls again, flying 8 to 14 m/s in one
    // heading per night (each bird scattered by 2 m/s about it).
    double migrationNights = 0.0;
    // Fronts and jets, or a fast-changing day (field.h); the truth table
    // follows them.
    Weather weather = Weather::Smooth;
};

// True when any of the options of real days above is on: the truth table
// then has a finer grid (5 minutes, 50 m) up to the highest gate.
bool realDayOptions(const GenerateOptions& options);

// One gate of a dwell as written: first moment (m/s) and SNR (dB).
struct GateValue {
    double velocity = 0.0;
    double snr = 0.0;
};

// One dwell of one beam.
struct Dwell {
    CalendarTime time;
    int beamNumber = 0;
    int azimuth = 0;
    const char* elevationText = "90.0";  // as written; the reader makes the float
    int pulseWidth = 700;
    int firstGateHeight = 150;
    int rassFlag = 0;
    std::vector<GateValue> gates;
};

// The dwells of one file, in the order they are written.
struct DayFile {
    CalendarTime date;  // the day the file is named after
    std::vector<Dwell> dwells;
};

// The value written for a gate that holds no measurement.
inline constexpr double kMissingValue = -999.0;

// Where a record of a moment file starts in the file's bytes, and the data
// time of its dwell (seconds on the time library's scale, see secondsOf).
struct RecordStart {
    std::int64_t seconds = 0;
    std::size_t offset = 0;
};

// A file as the generator writes it. A moment file lists its records, in
// the order a data system appends them: the bytes before the first record
// (the header line of an ASCII file) come when the file is created. A file
// without records (truth table, twin) is simply written. The data file of a
// data-acquisition pair names its header file, whose records its data
// records point into.
struct OutputFile {
    std::string path;
    std::string bytes;
    std::vector<RecordStart> records;
    std::string headerPath;  // data file of a pair: its header file
    std::string headerBytes;
};

// Seconds of a calendar time on the time library's scale.
std::int64_t secondsOf(const CalendarTime& time);

// Builds the dwells of every file of one kind (winds or temperature).
std::vector<DayFile> makeDayFiles(const GenerateOptions& options, bool temperature);

// The ASCII moment file text of one day file (header line, then records);
// with `records`, where each record starts.
std::string asciiFileText(const GenerateOptions& options, const DayFile& file, bool temperature,
                          std::vector<RecordStart>* records = nullptr);

// The truth table of one processing day: CSV time,height_m_msl,u,v,w,tv_c
// every 15 minutes and every 100 m.
std::string truthText(const GenerateOptions& options, int dayIndex);

// Every file of a generated set, in the order `generate` writes them.
std::vector<OutputFile> outputFiles(const GenerateOptions& options);

// Writes all files; returns the exit status (0 done, 1 a file could not be
// written, 2 an option this build cannot serve) with messages on err.
int generate(const GenerateOptions& options, std::ostream& out, std::ostream& err);

// Writes `text` to `path` (making its folder when needed) and lists the
// path on `out`; false (with the
// reason on `err`) when the file cannot be written.
bool writeFile(const std::string& path, const std::string& text, std::ostream& out,
               std::ostream& err);

}  // namespace qv::samplegen
