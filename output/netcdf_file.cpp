#include "output/netcdf_file.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <numeric>
#include <string_view>
#include <utility>

#include "core/numeric.h"
#include "output/netcdf_api.h"
#include "output/day_files.h"
#include "output/netcdf_layout.h"
#include "output/period_time.h"
#include "output/whole_file.h"

namespace qv {

// How the winds were solved and checked, as global attributes.
const char* const kStandardSolution =
    "standard: opposite and duplicate beams of any pulse width folded";
const char* const kCorrectedSolution =
    "corrected: only beams of the same pulse width and gate heights folded; a beam taken from "
    "its opposite beam corrected with the sign that cancels vertical motion";
const char* const kConsensusOnly = "consensus averaging only";
const char* const kContinuityChecked =
    "consensus averaging and a time-height continuity check (flagged gates: QC 8, data code "
    "-940)";
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kPercentFactor = 0.01f;  // as the header's Req. Samples is formed

// A float data variable on (time, gate) with its data codes (qc_<name>).
struct FloatColumn {
    const char* name = "";
    const char* standardName = nullptr;
    const char* longName = "";
    const char* units = "";
    bool withStatus = true;
    std::vector<float> values;
    std::vector<std::int16_t> status;
};

struct IntColumn {
    const char* name = "";
    const char* longName = "";
    std::vector<std::int32_t> values;
};

// Everything a day's file holds, laid out as the variables.
struct DaySheet {
    const DayHeader* header = nullptr;
    bool winds = true;
    std::string title;
    std::string datastream;  // "<station>.<product>", ARM's name of the files' series
    std::size_t times = 0;
    std::size_t gates = 0;
    std::vector<double> time, bounds;
    std::vector<float> altitude;
    std::vector<std::int8_t> qc;
    const char* qcName = "qc_wind";
    std::vector<FloatColumn> floats;
    std::vector<IntColumn> ints;
};

std::string dateDigits(const CalendarTime& day, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, static_cast<int>(day.year),
                  static_cast<int>(day.month), static_cast<int>(day.day));
    return text;
}

// The QC byte of a gate: its code when that code keeps the values, else 8
// (invalid), so that the variable holds only its declared flag values.
std::int8_t qcByte(std::int16_t code) {
    return static_cast<std::int8_t>(qcCodeKeepsValues(code) ? code : kQcInvalidCode);
}

// The status that masks a number on a gate whose QC code does not keep its
// values; kStatusOk when the code keeps them. The continuity check flags a
// gate by QC 8 and -940 in u and v (and leaves w's number): its masked
// numbers are failed_qc, those of any other such gate failed_consensus.
std::int16_t maskStatus(std::int16_t code, float u, float v) {
    if (qcCodeKeepsValues(code)) return ncdf::kStatusOk;
    return u == kFailedQcCode || v == kFailedQcCode ? ncdf::kStatusFailedQc
                                                    : ncdf::kStatusFailedConsensus;
}

// Periods in time order (a stable sort keeps the file's order among equals).
bool periodOrder(const DayHeader& header, const std::vector<const char*>& keys,
                 std::vector<std::size_t>& order, std::string& error) {
    if (keys.empty()) {
        error = "the day has no averaging period; nothing to write";
        return false;
    }
    for (const char* key : keys) {
        if (periodKeyMinutes(key) < 0) {
            error = std::string("the period time \"") + std::string(key, 4) +
                    "\" is not a time of day";
            return false;
        }
    }
    if (header.averagingMinutes < 1 || header.averagingMinutes > 1440) {
        error = "the averaging interval is not 1 to 1440 minutes";
        return false;
    }
    order.resize(keys.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) {
        return periodKeyMinutes(keys[a]) < periodKeyMinutes(keys[b]);
    });
    return true;
}

bool startSheet(DaySheet& sheet, const DayHeader& header, const std::vector<const char*>& keys,
                std::size_t maxGates, std::vector<std::size_t>& order, std::string& error) {
    double dayStart = 0.0;
    if (!ncdf::dayStartSeconds(header.day, dayStart)) {
        error = "the day is not a calendar date";
        return false;
    }
    if (!periodOrder(header, keys, order, error)) return false;
    sheet.header = &header;
    sheet.times = keys.size();
    sheet.gates = std::max<std::size_t>(1, maxGates);
    const std::size_t cells = sheet.times * sheet.gates;
    sheet.altitude.assign(cells, kNaN);
    sheet.qc.assign(cells, ncdf::kQcFill);
    for (std::size_t t = 0; t < sheet.times; ++t) {
        PeriodTimes period;
        periodTimes(header, keys[order[t]], period);  // the day, keys and interval checked above
        sheet.time.push_back(static_cast<double>(period.start));
        sheet.bounds.push_back(static_cast<double>(period.start));
        sheet.bounds.push_back(static_cast<double>(period.end));
    }
    for (FloatColumn& column : sheet.floats) {
        column.values.assign(cells, kNaN);
        if (column.withStatus) column.status.assign(cells, ncdf::kStatusMissing);
    }
    for (IntColumn& column : sheet.ints) column.values.assign(cells, ncdf::kCountFill);
    return true;
}

// A printed value into a column: data codes and non-numbers become NaN
// with their code; any other value is masked by `mask` (see maskStatus).
void putValue(FloatColumn& column, std::size_t cell, double printed, float stored,
              std::int16_t mask) {
    std::int16_t status = mask;
    if (std::isnan(printed)) {
        status = ncdf::kStatusMissing;
    } else if (isDataCode(printed)) {
        status = static_cast<std::int16_t>(printed);
    }
    column.values[cell] = status == ncdf::kStatusOk ? stored : kNaN;
    column.status[cell] = status;
}

void putPrinted(FloatColumn& column, std::size_t cell, float value, int decimals,
                std::int16_t mask) {
    const float printed = ncdf::printedBackOfFloat<float>(value, decimals);
    putValue(column, cell, printed, printed, mask);
}

bool defineFloat(nc::File& f, const FloatColumn& c, const DaySheet& s, int dt, int dg,
                 std::vector<int>& ids) {
    const int id = f.defineVariable(c.name, nc::Type::Float, {dt, dg});
    ids.push_back(id);
    if (id < 0) return false;
    const float fill = kNaN;
    const std::string codesName = ncdf::kCodesPrefix + std::string(c.name);
    std::string ancillary = s.qcName;
    if (c.withStatus) ancillary += " " + codesName;
    bool ok = f.compress(id, {s.times, s.gates}) &&
              f.putFloats(id, "_FillValue", std::span(&fill, 1)) &&
              f.putText(id, "long_name", c.longName) && f.putText(id, "units", c.units) &&
              f.putText(id, "coordinates", ncdf::kCoordinates) &&
              f.putText(id, "ancillary_variables", ancillary);
    if (ok && c.standardName) ok = f.putText(id, "standard_name", c.standardName);
    if (!ok || !c.withStatus) return ok;
    const int status = f.defineVariable(codesName.c_str(), nc::Type::Short, {dt, dg});
    ids.push_back(status);
    return status >= 0 && f.compress(status, {s.times, s.gates}) &&
           f.putText(status, "standard_name", "status_flag") &&
           f.putText(status, "long_name", std::string("data code of ") + c.name) &&
           f.putShorts(status, "flag_values", ncdf::kStatusFlags) &&
           f.putText(status, "flag_meanings", ncdf::kStatusMeanings) &&
           f.putText(status, "flag_assessments", ncdf::kStatusAssessments) &&
           f.putText(status, "coordinates", ncdf::kCoordinates);
}

bool defineGlobals(nc::File& f, const DaySheet& s, const NetcdfContext& context) {
    const DayHeader& h = *s.header;
    const std::int32_t minutes = h.averagingMinutes;
    bool ok = f.putText(nc::kGlobal, "Conventions", "CF-1.10") &&
              f.putText(nc::kGlobal, "title", s.title) &&
              f.putText(nc::kGlobal, "datastream", s.datastream) &&
              f.putText(nc::kGlobal, "source",
                        "Quorvane " + context.version + ", radar wind profiler consensus") &&
              f.putText(nc::kGlobal, "history", context.history) &&
              f.putText(nc::kGlobal, "featureType", "timeSeriesProfile") &&
              f.putText(nc::kGlobal, "comment",
                        "Values are those printed in the consensus data file. A data code of "
                        "the file is NaN here with the code in qc_<variable>; on QC 8 "
                        "gates every value is masked (code -950).") &&
              f.putInts(nc::kGlobal, "averaging_minutes", std::span(&minutes, 1)) &&
              f.putText(nc::kGlobal, "vertical_velocity_policy",
                        ncdf::policyText(h.verticalPolicy)) &&
              f.putText(nc::kGlobal, "data_source", h.dataSourceText) &&
              f.putText(nc::kGlobal, "processing_date", dateDigits(h.day, "%04d-%02d-%02d"));
    const std::int32_t pulseWidth = h.pulseWidth;
    const float spacing = h.gateSpacing;
    ok = ok && f.putInts(nc::kGlobal, "pulse_width_ns", std::span(&pulseWidth, 1)) &&
         f.putFloats(nc::kGlobal, "gate_spacing_m", std::span(&spacing, 1));
    if (ok && s.winds) {
        const std::int32_t mode = h.variant;
        ok = f.putInts(nc::kGlobal, "pulse_width_mode", std::span(&mode, 1)) &&
             f.putText(nc::kGlobal, "wind_solution",
                       h.correctedWinds ? kCorrectedSolution : kStandardSolution);
    }
    if (ok) {
        ok = f.putText(nc::kGlobal, "quality_control",
                       h.continuityChecked ? kContinuityChecked : kConsensusOnly);
    }
    if (!ok || h.beams.empty()) return ok;

    std::vector<std::int32_t> azimuth, maxSamples, reqSamples, percent;
    std::vector<float> elevation, window;
    bool settingsKnown = true;
    for (const HeaderBeam& b : h.beams) {
        azimuth.push_back(b.azimuth);
        elevation.push_back(ncdf::printedBack(b.elevation, 1));
        maxSamples.push_back(b.sampleCount);
        reqSamples.push_back(truncToInt(static_cast<double>(b.sampleCount) *
                                        static_cast<double>(b.consensusPercent) *
                                        static_cast<double>(kPercentFactor)));
        percent.push_back(b.consensusPercent);
        window.push_back(b.consensusWindow);
        settingsKnown = settingsKnown && b.consensusWindow > 0.0f;
    }
    ok = f.putInts(nc::kGlobal, "beam_azimuth", azimuth) &&
         f.putFloats(nc::kGlobal, "beam_elevation", elevation) &&
         f.putInts(nc::kGlobal, "beam_max_samples", maxSamples) &&
         f.putInts(nc::kGlobal, "beam_req_samples", reqSamples);
    if (ok && settingsKnown) {
        ok = f.putFloats(nc::kGlobal, "consensus_window", window) &&
             f.putInts(nc::kGlobal, "consensus_threshold_percent", percent);
    }
    return ok;
}

// The heights above the station that plotting tools take for the vertical
// axis, one per gate: each gate's altitude in most of the day's periods (the
// earliest of them on a tie) less the station's elevation. True when a
// period has other heights; altitude keeps every period's own.
bool gateHeightsAboveStation(const DaySheet& s, std::vector<float>& heights) {
    heights.assign(s.gates, kNaN);
    bool vary = false;
    std::vector<std::pair<float, std::size_t>> seen;  // altitude, period
    for (std::size_t g = 0; g < s.gates; ++g) {
        seen.clear();
        for (std::size_t t = 0; t < s.times; ++t) {
            const float a = s.altitude[t * s.gates + g];
            if (!std::isnan(a)) seen.emplace_back(a, t);
        }
        // Most days keep their heights: one height needs no counting.
        std::size_t most = seen.size(), first = 0;
        if (!std::all_of(seen.begin(), seen.end(),
                         [&seen](const auto& a) { return a.first == seen[0].first; })) {
            std::sort(seen.begin(), seen.end());  // by height, then period
            most = 0;
            for (std::size_t i = 0, j = 0; i < seen.size(); i = j) {
                while (j < seen.size() && seen[j].first == seen[i].first) ++j;
                if (j - i > most || (j - i == most && seen[i].second < seen[first].second)) {
                    most = j - i;
                    first = i;
                }
            }
        }
        if (most == 0) continue;
        vary = vary || most < seen.size();
        heights[g] = static_cast<float>(static_cast<double>(seen[first].first) -
                                        static_cast<double>(s.header->siteElevation));
    }
    return vary;
}

// The day's file, made in memory; its bytes in `bytes`.
bool produceSheet(const DaySheet& s, const NetcdfContext& context, const std::string& path,
                  std::string& bytes, std::string& error) {
    // The library is this thread's for the whole file.
    const nc::LibraryLock lock;
    nc::File f;
    const DayHeader& h = *s.header;
    const std::string station = h.stationName.empty() ? std::string(" ") : h.stationName;
    bool ok = f.createInMemory(path, 64 * 1024 + s.times * s.gates * 40);
    const int dt = ok ? f.defineDimension("time", s.times) : -1;
    const int dg = dt >= 0 ? f.defineDimension("gate", s.gates) : -1;
    const int db = dg >= 0 ? f.defineDimension("bnds", 2) : -1;
    const int ds = db >= 0 ? f.defineDimension("name_strlen", station.size()) : -1;
    ok = ok && ds >= 0;

    const int time = ok ? f.defineVariable("time", nc::Type::Double, {dt}) : -1;
    ok = ok && time >= 0 && f.compress(time, {s.times}) &&
         f.putText(time, "standard_name", "time") &&
         f.putText(time, "long_name", "start of the averaging period") &&
         f.putText(time, "units", ncdf::kTimeUnits) && f.putText(time, "calendar", "standard") &&
         f.putText(time, "axis", "T") && f.putText(time, "bounds", "time_bnds");
    const int bounds = ok ? f.defineVariable("time_bnds", nc::Type::Double, {dt, db}) : -1;
    ok = ok && bounds >= 0 && f.compress(bounds, {s.times, 2});
    const int gate = ok ? f.defineVariable("gate", nc::Type::Int, {dg}) : -1;
    ok = ok && gate >= 0 && f.compress(gate, {s.gates}) &&
         f.putText(gate, "long_name", "range gate index");
    const float fill = kNaN;
    const int altitude = ok ? f.defineVariable("altitude", nc::Type::Float, {dt, dg}) : -1;
    ok = ok && altitude >= 0 && f.compress(altitude, {s.times, s.gates}) &&
         f.putFloats(altitude, "_FillValue", std::span(&fill, 1)) &&
         f.putText(altitude, "standard_name", "altitude") &&
         f.putText(altitude, "long_name", "height of the range gate above mean sea level") &&
         f.putText(altitude, "units", "m") && f.putText(altitude, "positive", "up");
    std::vector<float> gateHeights;
    const bool heightsVary = gateHeightsAboveStation(s, gateHeights);
    const int height = ok ? f.defineVariable("height", nc::Type::Float, {dg}) : -1;
    ok = ok && height >= 0 && f.compress(height, {s.gates}) &&
         f.putText(height, "standard_name", "height") &&
         f.putText(height, "long_name", "height of the range gate above the station") &&
         f.putText(height, "units", "m") && f.putText(height, "positive", "up") &&
         f.putText(height, "axis", "Z") &&
         f.putText(height, "comment",
                   std::string("each gate's height in most of the day's periods (the earliest "
                               "of them on a tie); altitude holds every period's own height "
                               "above mean sea level") +
                       (heightsVary ? ". The gate heights changed during this day." : ""));
    const int lat = ok ? f.defineVariable("lat", nc::Type::Float, {}) : -1;
    ok = ok && lat >= 0 && f.putText(lat, "standard_name", "latitude") &&
         f.putText(lat, "long_name", "station latitude") &&
         f.putText(lat, "units", "degrees_north");
    const int lon = ok ? f.defineVariable("lon", nc::Type::Float, {}) : -1;
    ok = ok && lon >= 0 && f.putText(lon, "standard_name", "longitude") &&
         f.putText(lon, "long_name", "station longitude") &&
         f.putText(lon, "units", "degrees_east");
    const int elevation = ok ? f.defineVariable("station_altitude", nc::Type::Float, {}) : -1;
    ok = ok && elevation >= 0 && f.putText(elevation, "standard_name", "surface_altitude") &&
         f.putText(elevation, "long_name", "station elevation above mean sea level") &&
         f.putText(elevation, "units", "m");
    const int name = ok ? f.defineVariable("station_name", nc::Type::Char, {ds}) : -1;
    ok = ok && name >= 0 && f.putText(name, "cf_role", "timeseries_id") &&
         f.putText(name, "long_name", "station name");
    const int qc = ok ? f.defineVariable(s.qcName, nc::Type::Byte, {dt, dg}) : -1;
    const std::int8_t qcFill = ncdf::kQcFill;
    ok = ok && qc >= 0 && f.compress(qc, {s.times, s.gates}) &&
         f.putBytes(qc, "_FillValue", std::span(&qcFill, 1)) &&
         f.putText(qc, "standard_name", "status_flag") &&
         f.putText(qc, "long_name", "quality control code of the gate") &&
         f.putBytes(qc, "flag_values", ncdf::kQcFlags) &&
         f.putText(qc, "flag_meanings", ncdf::kQcMeanings) &&
         f.putText(qc, "flag_assessments", ncdf::kQcAssessments) &&
         f.putText(qc, "coordinates", ncdf::kCoordinates);

    std::vector<int> floatIds;
    for (const FloatColumn& column : s.floats) {
        ok = ok && defineFloat(f, column, s, dt, dg, floatIds);
    }
    std::vector<int> intIds;
    const std::int32_t countFill = ncdf::kCountFill;
    for (const IntColumn& column : s.ints) {
        const int id = ok ? f.defineVariable(column.name, nc::Type::Int, {dt, dg}) : -1;
        intIds.push_back(id);
        ok = ok && id >= 0 && f.compress(id, {s.times, s.gates}) &&
             f.putInts(id, "_FillValue", std::span(&countFill, 1)) &&
             f.putText(id, "long_name", column.longName) && f.putText(id, "units", "1") &&
             f.putText(id, "coordinates", ncdf::kCoordinates) &&
             f.putText(id, "ancillary_variables", s.qcName);
    }
    ok = ok && defineGlobals(f, s, context) && f.endDefinitions();

    std::vector<std::int32_t> gateIndex(s.gates);
    std::iota(gateIndex.begin(), gateIndex.end(), 0);
    const float latitude = ncdf::printedBack(h.latitudeCenti * 0.01, 2);
    const float longitude = ncdf::printedBack(h.longitudeCenti * 0.01, 2);
    const float siteElevation = static_cast<float>(h.siteElevation);
    ok = ok && f.write(time, s.time) && f.write(bounds, s.bounds) && f.write(gate, gateIndex) &&
         f.write(altitude, s.altitude) && f.write(height, gateHeights) &&
         f.write(lat, std::span(&latitude, 1)) &&
         f.write(lon, std::span(&longitude, 1)) &&
         f.write(elevation, std::span(&siteElevation, 1)) && f.writeText(name, station) &&
         f.write(qc, s.qc);
    std::size_t next = 0;
    for (const FloatColumn& column : s.floats) {
        ok = ok && f.write(floatIds[next++], column.values);
        if (column.withStatus) ok = ok && f.write(floatIds[next++], column.status);
    }
    for (std::size_t i = 0; i < s.ints.size(); ++i) ok = ok && f.write(intIds[i], s.ints[i].values);
    ok = f.closeToBytes(bytes) && ok;
    if (!ok) error = f.error().empty() ? path + ": could not be written" : f.error();
    return ok;
}


FloatColumn floatColumn(const char* name, const char* standardName, const char* longName,
                        const char* units, bool withStatus = true) {
    FloatColumn c;
    c.name = name;
    c.standardName = standardName;
    c.longName = longName;
    c.units = units;
    c.withStatus = withStatus;
    return c;
}

IntColumn intColumn(const char* name, const char* longName) {
    IntColumn c;
    c.name = name;
    c.longName = longName;
    return c;
}

// Starts the sheet of a day's periods (their keys and the largest number of
// gates); `order` gives the periods in time order.
template <typename Day>
bool startDaySheet(DaySheet& s, const Day& day, const std::string& path,
                   std::vector<std::size_t>& order, std::string& error) {
    std::vector<const char*> keys;
    std::size_t maxGates = 0;
    for (const auto& p : day.periods) {
        keys.push_back(p.key);
        maxGates = std::max(maxGates, p.gates.size());
    }
    std::string reason;
    if (!startSheet(s, day.header, keys, maxGates, order, reason)) {
        error = path + ": " + reason;
        return false;
    }
    return true;
}

// ARM's datastream name of a station's series of day files,
// "<station>.<product>": the station part of the file names in lower case
// and the product as the file names have it after the time ("qvs.winds_m1",
// "qvs.temperature"); `stem` is a file stem made with an empty time.
std::string datastreamName(std::string_view station, const std::string& stem) {
    std::string key = stationFileKey(station);
    const std::string product = stem.substr(std::min(stem.size(), key.size() + 2));
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key + "." + product;
}

}  // namespace

std::string windNetcdfName(const WindDay& day) {
    return windFileStem(day.header.stationName, fileTimeDigits(day.header.day, false),
                        day.header.variant) +
           ".nc";
}

std::string temperatureNetcdfName(const TemperatureDay& day) {
    return temperatureFileStem(day.header.stationName, fileTimeDigits(day.header.day, false)) +
           ".nc";
}

bool makeWindNetcdf(const WindDay& day, const NetcdfContext& context, const std::string& path,
                    std::string& bytes, std::string& error) {
    enum { kSpeed, kDirection, kU, kV, kW, kSnrU, kSnrV, kSnrW };
    DaySheet s;
    s.winds = true;
    s.qcName = "qc_wind";
    s.datastream = datastreamName(day.header.stationName,
                                  windFileStem(day.header.stationName, "", day.header.variant));
    s.title = "Quorvane consensus winds, station " + day.header.stationName + ", " +
              dateDigits(day.header.day, "%04d-%02d-%02d") + ", pulse-width mode " +
              std::to_string(day.header.variant);
    s.floats = {
        floatColumn("wind_speed", "wind_speed", "wind speed", "m s-1"),
        floatColumn("wind_from_direction", "wind_from_direction",
                    "direction the wind comes from", "degree"),
        floatColumn("eastward_wind", "eastward_wind", "eastward wind component (u)", "m s-1"),
        floatColumn("northward_wind", "northward_wind", "northward wind component (v)",
                    "m s-1"),
        floatColumn("upward_air_velocity", "upward_air_velocity",
                    "vertical air velocity (w), from the vertical beam", "m s-1"),
        floatColumn("snr_u", nullptr, "signal-to-noise ratio of the u beam's consensus", "dB",
                    false),
        floatColumn("snr_v", nullptr, "signal-to-noise ratio of the v beam's consensus", "dB",
                    false),
        floatColumn("snr_w", nullptr, "signal-to-noise ratio of the vertical beam's consensus",
                    "dB", false),
    };
    s.ints = {intColumn("n_samples_u", "number of samples in the u beam's consensus"),
              intColumn("n_samples_v", "number of samples in the v beam's consensus"),
              intColumn("n_samples_w", "number of samples in the vertical beam's consensus")};

    std::vector<std::size_t> order;
    if (!startDaySheet(s, day, path, order, error)) return false;
    for (std::size_t t = 0; t < s.times; ++t) {
        const WindPeriod& period = day.periods[order[t]];
        for (std::size_t g = 0; g < period.gates.size(); ++g) {
            const WindGate& gate = period.gates[g];
            const std::size_t cell = t * s.gates + g;
            const std::int16_t mask = maskStatus(gate.qcCode, gate.u, gate.v);
            s.qc[cell] = qcByte(gate.qcCode);
            s.altitude[cell] = ncdf::printedHeight(gate.height);
            putPrinted(s.floats[kSpeed], cell, gate.speed, 1, mask);
            putValue(s.floats[kDirection], cell, gate.direction,
                     static_cast<float>(gate.direction), mask);
            putPrinted(s.floats[kU], cell, gate.u, 2, mask);
            putPrinted(s.floats[kV], cell, gate.v, 2, mask);
            putPrinted(s.floats[kW], cell, gate.w, 2, mask);
            s.floats[kSnrU].values[cell] = static_cast<float>(gate.snrU);
            s.floats[kSnrV].values[cell] = static_cast<float>(gate.snrV);
            s.floats[kSnrW].values[cell] = static_cast<float>(gate.snrW);
            // Counts beyond the int range (another writer's) saturate.
            s.ints[0].values[cell] = static_cast<std::int32_t>(
                std::min<std::uint32_t>(gate.countU, std::numeric_limits<std::int32_t>::max()));
            s.ints[1].values[cell] = static_cast<std::int32_t>(
                std::min<std::uint32_t>(gate.countV, std::numeric_limits<std::int32_t>::max()));
            s.ints[2].values[cell] = static_cast<std::int32_t>(
                std::min<std::uint32_t>(gate.countW, std::numeric_limits<std::int32_t>::max()));
        }
    }
    return produceSheet(s, context, path, bytes, error);
}

bool makeTemperatureNetcdf(const TemperatureDay& day, const NetcdfContext& context,
                           const std::string& path, std::string& bytes, std::string& error) {
    enum { kTv, kTvc, kSnr };
    DaySheet s;
    s.winds = false;
    s.qcName = "qc_temperature";
    s.datastream = datastreamName(day.header.stationName,
                                  temperatureFileStem(day.header.stationName, ""));
    s.title = "Quorvane consensus virtual temperature, station " + day.header.stationName +
              ", " + dateDigits(day.header.day, "%04d-%02d-%02d");
    s.floats = {
        floatColumn("virtual_temperature", "virtual_temperature", "virtual temperature (Tv)",
                    "K"),
        floatColumn("virtual_temperature_corrected", "virtual_temperature",
                    "virtual temperature corrected for vertical air motion", "K"),
        floatColumn("snr", nullptr, "signal-to-noise ratio of the RASS beam's consensus", "dB",
                    false),
    };
    s.ints = {intColumn("n_samples", "number of samples in the RASS beam's consensus")};

    std::vector<std::size_t> order;
    if (!startDaySheet(s, day, path, order, error)) return false;
    for (std::size_t t = 0; t < s.times; ++t) {
        const TemperaturePeriod& period = day.periods[order[t]];
        for (std::size_t g = 0; g < period.gates.size(); ++g) {
            const TemperatureGate& gate = period.gates[g];
            const std::size_t cell = t * s.gates + g;
            const std::int16_t mask =
                qcCodeKeepsValues(gate.qcCode) ? ncdf::kStatusOk : ncdf::kStatusFailedConsensus;
            s.qc[cell] = qcByte(gate.qcCode);
            s.altitude[cell] = ncdf::printedBack(gate.height, 0);
            const double tv = ncdf::printedBackOfFloat<double>(gate.tv, 1);
            const double tvc = ncdf::printedBackOfFloat<double>(gate.tvc, 1);
            putValue(s.floats[kTv], cell, tv, static_cast<float>(tv + ncdf::kKelvinOffset),
                     mask);
            putValue(s.floats[kTvc], cell, tvc, static_cast<float>(tvc + ncdf::kKelvinOffset),
                     mask);
            s.floats[kSnr].values[cell] = static_cast<float>(gate.snr);
            s.ints[0].values[cell] = gate.count;
        }
    }
    return produceSheet(s, context, path, bytes, error);
}

bool writeWindNetcdf(const WindDay& day, const NetcdfContext& context, const std::string& path,
                     std::string& error) {
    std::string bytes;
    return makeWindNetcdf(day, context, path, bytes, error) && writeWholeFile(path, bytes, error);
}

bool writeTemperatureNetcdf(const TemperatureDay& day, const NetcdfContext& context,
                            const std::string& path, std::string& error) {
    std::string bytes;
    return makeTemperatureNetcdf(day, context, path, bytes, error) &&
           writeWholeFile(path, bytes, error);
}

}  // namespace qv
