// Reading Quorvane's own netCDF day files back into day values. The
// library runs in a child process (output/netcdf_isolated.h): this process
// never calls it to read.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "core/numeric.h"
#include "output/netcdf_api.h"
#include "output/netcdf_file.h"
#include "output/netcdf_isolated.h"
#include "output/netcdf_layout.h"

namespace qv {
namespace {

constexpr float kPercentFactor = 0.01f;

// Runs in the child: the library reads the file into `out`. With
// `periods` false only the kind and the header are read.
class DayReader {
public:
    DayReader(const std::string& path, ConsensusFileContents& out, bool periods)
        : path_(path), out_(out), periods_(periods) {}

    bool run(std::string& error) {
        const bool ok = read();
        if (!ok) error = error_.empty() ? file_.error() : error_;
        file_.close();
        return ok;
    }

private:
    bool fail(const std::string& reason) {
        if (error_.empty()) error_ = path_ + ": " + reason;
        return false;
    }

    bool read() {
        if (!file_.open(path_)) return false;
        const bool winds = file_.findVariable("wind_speed") >= 0;
        const bool temperature = file_.findVariable("virtual_temperature") >= 0;
        if (winds == temperature) {
            return fail("not a Quorvane day file (neither wind_speed nor virtual_temperature)");
        }
        out_ = ConsensusFileContents{};
        out_.kind = winds ? OutputKind::Winds : OutputKind::Temperature;
        DayHeader& h = winds ? out_.winds.header : out_.temperature.header;
        if (!file_.dimensionLength("time", times_) || !file_.dimensionLength("gate", gates_)) {
            return false;
        }
        if (gates_ != 0 && times_ > (std::size_t{1} << 26) / gates_) {
            return fail("the time and gate dimensions are too large");
        }
        cells_ = times_ * gates_;
        if (!readHeader(h, winds)) return false;
        if (!periods_) return true;
        if (!readTimes(h)) return false;
        return winds ? readWinds() : readTemperature();
    }

    bool number(const char* name, double& out, bool required = true) {
        std::vector<double> values;
        if (!file_.getNumbers(nc::kGlobal, name, values) || values.size() != 1) {
            return required ? fail(std::string("no global attribute ") + name) : false;
        }
        out = values[0];
        return true;
    }

    bool scalar(const char* name, float& out) {
        std::vector<float> values;
        const int id = file_.findVariable(name);
        if (id < 0) return fail(std::string("no variable ") + name);
        if (!file_.read(id, 1, values)) return false;
        out = values[0];
        return true;
    }

    static std::int32_t int32Of(double value) { return truncToInt(value); }

    bool readHeader(DayHeader& h, bool winds) {
        h.fileKind = winds ? OutputKind::Winds : OutputKind::Temperature;
        h.outputKindText = winds ? "Winds" : "Temperature";
        std::string text;
        if (file_.getText(nc::kGlobal, "data_source", text)) h.dataSourceText = text;
        if (file_.getText(nc::kGlobal, "wind_solution", text)) {
            h.correctedWinds = text.rfind("corrected", 0) == 0;
        }
        if (file_.getText(nc::kGlobal, "quality_control", text)) {
            h.continuityChecked = text.find("continuity") != std::string::npos;
        }
        if (file_.getText(nc::kGlobal, "vertical_velocity_policy", text)) {
            h.verticalPolicy = ncdf::policyOfText(text);
        }
        if (!file_.getText(nc::kGlobal, "processing_date", text)) {
            return fail("no global attribute processing_date");
        }
        int year = 0, month = 0, day = 0;
        char extra = 0;
        if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &extra) != 3) {
            return fail("processing_date is not YYYY-MM-DD");
        }
        h.day.year = static_cast<std::uint16_t>(std::clamp(year, 0, 9999));
        h.day.month = static_cast<std::uint16_t>(std::clamp(month, 0, 99));
        h.day.day = static_cast<std::uint16_t>(std::clamp(day, 0, 99));
        if (!ncdf::dayStartSeconds(h.day, dayStart_)) {
            return fail("processing_date is not a calendar date");
        }
        double value = 0.0;
        if (!number("averaging_minutes", value)) return false;
        if (!(value >= 1.0 && value <= 1440.0)) return fail("averaging_minutes out of range");
        h.averagingMinutes = int32Of(value);
        if (number("pulse_width_ns", value, false)) h.pulseWidth = int32Of(value);
        if (number("gate_spacing_m", value, false)) h.gateSpacing = static_cast<float>(value);
        if (winds) {
            if (!number("pulse_width_mode", value)) return false;
            h.variant = saturateInt16(int32Of(value));
        }

        float lat = 0.0f, lon = 0.0f, elevation = 0.0f;
        if (!scalar("lat", lat) || !scalar("lon", lon) || !scalar("station_altitude", elevation)) {
            return false;
        }
        if (!(std::fabs(lat) <= 90.0f) || !(std::fabs(lon) <= 327.67f) ||
            !std::isfinite(elevation)) {
            return fail("the station position is out of range");
        }
        h.latitudeCenti = static_cast<std::int16_t>(std::lround(lat * 100.0));
        h.longitudeCenti = static_cast<std::int16_t>(std::lround(lon * 100.0));
        h.siteElevation = truncToInt(elevation);
        const int name = file_.findVariable("station_name");
        std::size_t length = 0;
        if (name < 0) return fail("no variable station_name");
        if (!file_.dimensionLength("name_strlen", length) ||
            !file_.readText(name, length, h.stationName)) {
            return false;
        }
        return readBeams(h);
    }

    bool readBeams(DayHeader& h) {
        std::vector<double> azimuth, elevation, maxSamples, reqSamples, window, percent;
        file_.getNumbers(nc::kGlobal, "beam_azimuth", azimuth);
        file_.getNumbers(nc::kGlobal, "beam_elevation", elevation);
        file_.getNumbers(nc::kGlobal, "beam_max_samples", maxSamples);
        file_.getNumbers(nc::kGlobal, "beam_req_samples", reqSamples);
        const bool settings = file_.getNumbers(nc::kGlobal, "consensus_window", window) &&
                              file_.getNumbers(nc::kGlobal, "consensus_threshold_percent",
                                               percent);
        if (!file_.error().empty()) return false;
        const std::size_t n = azimuth.size();
        if (elevation.size() != n || maxSamples.size() != n || reqSamples.size() != n ||
            (settings && (window.size() != n || percent.size() != n))) {
            return fail("the beam attributes differ in length");
        }
        for (std::size_t i = 0; i < n; ++i) {
            HeaderBeam b;
            b.azimuth = saturateInt16(int32Of(azimuth[i]));
            b.elevation = static_cast<float>(elevation[i]);
            b.sampleCount = int32Of(maxSamples[i]);
            if (settings) {
                b.consensusWindow = static_cast<float>(window[i]);
                b.consensusPercent = int32Of(percent[i]);
            } else {
                // As a consensus data file: the largest percent that gives
                // the required samples again.
                for (std::int32_t p = 1000; p >= 0; --p) {
                    if (truncToInt(static_cast<double>(b.sampleCount) * p *
                                   static_cast<double>(kPercentFactor)) ==
                        int32Of(reqSamples[i])) {
                        b.consensusPercent = p;
                        break;
                    }
                }
            }
            h.beams.push_back(b);
        }
        return true;
    }

    bool readTimes(const DayHeader&) {
        const int id = file_.findVariable("time");
        if (id < 0) return fail("no variable time");
        if (!file_.read(id, times_, time_)) return false;
        for (const double t : time_) {
            const double minutes = (t - dayStart_) / 60.0;
            if (!(minutes >= 0.0 && minutes < 1440.0) || minutes != std::floor(minutes)) {
                return fail("a time is not a whole minute of the processing date");
            }
            const int m = static_cast<int>(minutes);
            const int hours = m / 60, rest = m % 60;
            const std::array<char, 5> key = {static_cast<char>('0' + hours / 10),
                                             static_cast<char>('0' + hours % 10),
                                             static_cast<char>('0' + rest / 10),
                                             static_cast<char>('0' + rest % 10), '\0'};
            keys_.push_back(key);
        }
        return true;
    }

    template <typename T>
    bool grid(const char* name, std::vector<T>& out) {
        const int id = file_.findVariable(name);
        if (id < 0) return fail(std::string("no variable ") + name);
        return file_.read(id, cells_, out);
    }

    // A value with its data codes (qc_<name>, or status_<name> in a file of
    // an earlier version): the code where there is one.
    bool coded(const char* name, std::vector<float>& out) {
        std::vector<std::int16_t> status;
        std::string codes = ncdf::kCodesPrefix + std::string(name);
        const std::string earlier = ncdf::kEarlierCodesPrefix + std::string(name);
        if (file_.findVariable(codes.c_str()) < 0 && file_.findVariable(earlier.c_str()) >= 0) {
            codes = earlier;
        }
        if (!grid(name, out) || !grid(codes.c_str(), status)) return false;
        for (std::size_t i = 0; i < cells_; ++i) {
            if (status[i] != ncdf::kStatusOk) out[i] = static_cast<float>(status[i]);
        }
        return true;
    }

    // Gates of period t: up to the last gate with a QC code.
    std::size_t gatesOf(std::size_t t) const {
        std::size_t n = gates_;
        while (n > 0 && qc_[t * gates_ + n - 1] == ncdf::kQcFill) --n;
        return n;
    }

    bool readWinds() {
        std::vector<float> altitude, speed, direction, u, v, w, snrU, snrV, snrW;
        std::vector<std::int32_t> nU, nV, nW;
        if (!grid("qc_wind", qc_) || !grid("altitude", altitude) ||
            !coded("wind_speed", speed) || !coded("wind_from_direction", direction) ||
            !coded("eastward_wind", u) || !coded("northward_wind", v) ||
            !coded("upward_air_velocity", w) || !grid("snr_u", snrU) || !grid("snr_v", snrV) ||
            !grid("snr_w", snrW) || !grid("n_samples_u", nU) || !grid("n_samples_v", nV) ||
            !grid("n_samples_w", nW)) {
            return false;
        }
        auto count = [](std::int32_t n) { return static_cast<std::uint32_t>(std::max(n, 0)); };
        for (std::size_t t = 0; t < times_; ++t) {
            WindPeriod period;
            std::memcpy(period.key, keys_[t].data(), 5);
            for (std::size_t g = 0, n = gatesOf(t); g < n; ++g) {
                const std::size_t c = t * gates_ + g;
                WindGate gate;
                gate.qcCode = qc_[c];
                gate.height = altitude[c];
                gate.speed = speed[c];
                gate.direction = truncToInt(direction[c]);
                gate.u = u[c];
                gate.v = v[c];
                gate.w = w[c];
                gate.countU = count(nU[c]);
                gate.countV = count(nV[c]);
                gate.countW = count(nW[c]);
                gate.snrU = truncToInt(snrU[c]);
                gate.snrV = truncToInt(snrV[c]);
                gate.snrW = truncToInt(snrW[c]);
                period.gates.push_back(gate);
            }
            out_.winds.periods.push_back(std::move(period));
        }
        return true;
    }

    static float celsius(float kelvin) {
        if (isDataCode(kelvin)) return kelvin;
        return ncdf::printedBack(static_cast<double>(kelvin) - ncdf::kKelvinOffset, 1);
    }

    bool readTemperature() {
        std::vector<float> altitude, tv, tvc, snr;
        std::vector<std::int32_t> n;
        if (!grid("qc_temperature", qc_) || !grid("altitude", altitude) ||
            !coded("virtual_temperature", tv) || !coded("virtual_temperature_corrected", tvc) ||
            !grid("snr", snr) || !grid("n_samples", n)) {
            return false;
        }
        for (std::size_t t = 0; t < times_; ++t) {
            TemperaturePeriod period;
            std::memcpy(period.key, keys_[t].data(), 5);
            for (std::size_t g = 0, count = gatesOf(t); g < count; ++g) {
                const std::size_t c = t * gates_ + g;
                TemperatureGate gate;
                gate.qcCode = qc_[c];
                gate.height = altitude[c];
                gate.tv = celsius(tv[c]);
                gate.tvc = celsius(tvc[c]);
                gate.count = n[c];
                gate.snr = truncToInt(snr[c]);
                period.gates.push_back(gate);
            }
            out_.temperature.periods.push_back(std::move(period));
        }
        return true;
    }

    const std::string& path_;
    ConsensusFileContents& out_;
    const bool periods_;
    nc::File file_;
    std::string error_;
    std::size_t times_ = 0, gates_ = 0, cells_ = 0;
    double dayStart_ = 0.0;
    std::vector<double> time_;
    std::vector<std::array<char, 5>> keys_;
    std::vector<std::int8_t> qc_;
};

// A FIFO would block the reader in open, a device or a folder is no day
// file: only regular files reach the library.
bool isRegularFile(const std::string& path, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = path + ": " + std::generic_category().message(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    return true;
}

bool readDayFile(const std::string& path, bool periods, ConsensusFileContents& out,
                 std::string& error) {
    if (!isRegularFile(path, error)) return false;
    return ncdf::readInChild(
        path,
        [&path, periods](ConsensusFileContents& contents, std::string& why) {
            return DayReader(path, contents, periods).run(why);
        },
        out, error);
}

}  // namespace

bool readNetcdfDay(const std::string& path, ConsensusFileContents& out, std::string& error) {
    return readDayFile(path, true, out, error);
}

bool readNetcdfDayHeader(const std::string& path, ConsensusFileContents& out,
                         std::string& error) {
    return readDayFile(path, false, out, error);
}

}  // namespace qv
