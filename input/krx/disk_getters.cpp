// Values of the header block and the current record, handed to the client.
#include <cmath>
#include <cstring>

#include "input/krx/krx.h"
#include "input/krx/krx_state.h"

namespace L = krx_layout;

namespace {

template <typename T>
void put(T* out, T value) {
    if (out != nullptr) *out = value;
}

// Round half up by adding 0.5 and truncating toward zero, saturated to the
// int32 range (and NaN to 0) so that no header value can make it undefined.
std::int32_t roundHalfUp(double value) {
    const double shifted = value + 0.5;
    if (std::isnan(shifted)) return 0;
    if (shifted >= 2147483647.0) return INT32_MAX;
    if (shifted <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(shifted);
}

// sin of the direction's elevation (its cosine to the vertical range); 1 for
// an elevation of 0 or less. 0.01745328888888889 is 3.141592 / 180.
// The records of a file name the same few directions over and over, so the
// last elevation's factor is kept.
double elevationFactor(std::int16_t stored) {
    static std::int16_t lastStored = 0;
    static double lastFactor = 1.0;  // the factor of 0
    if (stored == lastStored) return lastFactor;
    double factor = 1.0;
    if (stored > 0) {
        const double degrees = stored <= 90 ? static_cast<double>(stored) : stored * 0.01;
        factor = std::sin(degrees * 0.01745328888888889);
    }
    lastStored = stored;
    lastFactor = factor;
    return factor;
}

// Copies the current record's entries of one moment array.
std::int16_t copyEntries(const float* source, float* values, int capacity) {
    const KrxDataArrays& a = krx_getter_arrays();
    if (source == nullptr) return 0;
    std::int64_t count = current_entry_count();
    if (count > a.entries) count = a.entries;
    if (count > capacity) count = capacity;
    if (count > 0 && values != nullptr) {
        std::memcpy(values, source, static_cast<std::size_t>(count) * sizeof(float));
    }
    return 1;
}

}  // namespace

std::int32_t krx_get_time(std::int16_t* year, std::int16_t* day, std::int16_t* hour,
                          std::int16_t* minute, std::int16_t* second) {
    const KrxRecordHeader& r = krx_file().record;
    put(year, r.key.year);
    put(day, r.key.day);
    put(hour, r.key.hour);
    put(minute, r.key.minute);
    put(second, r.key.second);
    return r.time;
}

std::int16_t krx_get_beam_info(std::int16_t beam, std::int16_t* azimuth, std::int16_t* elevation,
                               char* name, std::int32_t* ipp, std::int32_t* pulse_width,
                               std::int32_t* first_gate_height, std::int32_t* gate_spacing,
                               std::int16_t* gate_count, std::int16_t* coherent_integrations,
                               std::int16_t* spectral_averages, std::int16_t* spectrum_points) {
    const KrxFile& f = krx_file();
    const KrxRadar& radar = f.hdr.radar;
    if (beam < 0 || beam >= radar.beam_count || beam >= L::kBeamRoom) return 0;
    if (f.selected_radar < 0 || f.selected_radar >= f.hdr.radar_count) return 0;
    const KrxBeam& entry = radar.beams[beam];
    // Nothing outside the mode and direction tables is ever read.
    if (entry.direction_index < 0 || entry.direction_index >= L::kDirectionRoom) return 0;
    if (entry.mode_index < 0 || entry.mode_index >= L::kModeRoom) return 0;
    const KrxDirection& direction = radar.directions[entry.direction_index];
    const KrxMode& mode = radar.modes[entry.mode_index];

    put(azimuth, direction.azimuth);
    put(elevation, direction.elevation);
    if (name != nullptr) {
        std::size_t n = 0;
        while (n < L::kDirectionNameBytes && direction.name[n] != '\0') ++n;
        std::memcpy(name, direction.name, n);
        name[n] = '\0';
    }
    const double factor = elevationFactor(direction.elevation);
    const double delay =
        static_cast<double>(static_cast<std::int64_t>(mode.first_gate_delay) - mode.system_delay);
    put(first_gate_height, roundHalfUp(factor * delay * 0.15));
    put(gate_spacing, roundHalfUp(factor * mode.gate_spacing * 0.15));
    put(ipp, mode.ipp);
    put(pulse_width, mode.pulse_width);
    put(gate_count, mode.gate_count);
    put(coherent_integrations, mode.coherent_integrations);
    put(spectral_averages, mode.spectral_averages);
    put(spectrum_points, mode.spectrum_points);
    return 1;
}

std::int16_t krx_get_spectral_windows(std::int16_t* window1_start, std::int16_t* window1_length,
                                      std::int16_t* window2_start, std::int16_t* window2_length,
                                      std::int16_t* param1, std::int16_t* param2,
                                      std::int16_t* param3, std::int16_t* param4,
                                      std::int16_t* param5) {
    const KrxRadar& r = krx_file().hdr.radar;
    put(window1_start, r.window1_start);
    put(window1_length, r.window1_length);
    put(window2_start, r.window2_start);
    put(window2_length, r.window2_length);
    put(param1, r.spectral_params[0]);
    put(param2, r.spectral_params[1]);
    put(param3, r.spectral_params[2]);
    put(param4, r.spectral_params[3]);
    put(param5, r.spectral_param5);
    return r.rass_flag;
}

std::int16_t krx_get_site_name(char* name) {
    const KrxHeader& h = krx_file().hdr;
    std::size_t n = 0;
    while (n < L::kSiteNameBytes && h.site_name[n] != '\0') ++n;
    if (name != nullptr) {
        std::memcpy(name, h.site_name, n);
        name[n] = '\0';
    }
    return static_cast<std::int16_t>(n + 1);
}

void krx_get_location(std::int16_t* latitude, std::int16_t* longitude) {
    put(latitude, krx_file().hdr.latitude);
    put(longitude, krx_file().hdr.longitude);
}

std::int16_t krx_get_altitude() { return krx_file().hdr.altitude; }

std::int16_t krx_get_velocity(float* values, int capacity) {
    return copyEntries(krx_getter_arrays().velocity1, values, capacity);
}

std::int16_t krx_get_snr(float* values, int capacity) {
    return copyEntries(krx_getter_arrays().snr1, values, capacity);
}

std::int16_t krx_get_rass_velocity(float* values, int capacity) {
    return copyEntries(krx_getter_arrays().velocity2, values, capacity);
}

std::int16_t krx_get_rass_snr(float* values, int capacity) {
    return copyEntries(krx_getter_arrays().snr2, values, capacity);
}
