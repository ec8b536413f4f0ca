#include "tools/krxwriter/krx_writer.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace krxwriter {

namespace {

// Appends little-endian fields.
class Out {
  public:
    explicit Out(Bytes& bytes) : bytes_(bytes) {}
    void u8(std::uint8_t v) { bytes_.push_back(v); }
    void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v & 0xff));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void i32(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(u >> (8 * i)));
    }
    void f32(float v) {
        std::uint32_t u;
        std::memcpy(&u, &v, sizeof u);
        i32(static_cast<std::int32_t>(u));
    }
    void floats(const std::vector<float>& values) {
        for (float v : values) f32(v);
    }
    void append(const Bytes& more) { bytes_.insert(bytes_.end(), more.begin(), more.end()); }

  private:
    Bytes& bytes_;
};

void putText(Bytes& bytes, std::size_t offset, const std::string& text, std::size_t room) {
    const std::size_t n = text.size() < room ? text.size() : room;
    std::memcpy(bytes.data() + offset, text.data(), n);
}

void putMode(Bytes& b, std::size_t at, const Mode& m) {
    putI32(b, at + 0, m.ipp);
    putI32(b, at + 4, m.pulse_width);
    putI32(b, at + 8, m.first_gate_delay);
    putI32(b, at + 12, m.gate_spacing);
    putI16(b, at + 16, m.gate_count);
    putI16(b, at + 18, m.coherent_integrations);
    putI16(b, at + 20, m.spectral_averages);
    putI16(b, at + 22, m.spectrum_points);
    putI16(b, at + 24, m.system_delay);
}

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

Bytes HeaderRecord::block() const {
    namespace L = layout;
    if (beams.size() > static_cast<std::size_t>(L::kBeamRoom) ||
        directions.size() > static_cast<std::size_t>(L::kDirectionRoom)) {
        throw std::invalid_argument("KRX header: more beams or directions than the block holds");
    }
    Bytes b(L::kBlockBytes, 0);
    putText(b, L::kSiteName, site_name, 32);
    putI16(b, L::kLatitude, latitude);
    putI16(b, L::kLongitude, longitude);
    putI16(b, L::kAltitude, altitude);
    putI16(b, L::kRadarCount, radar_count);
    const std::size_t r = L::kRadar;
    putI32(b, r + L::kFrequency, frequency);
    putI16(b, r + L::kBeamCount, beam_count.value_or(static_cast<std::int16_t>(beams.size())));
    for (std::size_t i = 0; i < modes.size(); ++i)
        putMode(b, r + L::kModes + i * L::kModeBytes, modes[i]);
    for (std::size_t i = 0; i < beams.size(); ++i) {
        putI16(b, r + L::kBeams + i * L::kBeamBytes, beams[i].direction);
        putI16(b, r + L::kBeams + i * L::kBeamBytes + 2, beams[i].mode);
    }
    for (std::size_t i = 0; i < directions.size(); ++i) {
        const std::size_t at = r + L::kDirections + i * L::kDirectionBytes;
        putText(b, at, directions[i].name, 12);
        putI16(b, at + 12, directions[i].azimuth);
        putI16(b, at + 14, directions[i].elevation);
    }
    putI16(b, r + L::kWindow1Start, window1_start);
    putI16(b, r + L::kWindow1Length, window1_length);
    putI16(b, r + L::kWindow2Start, window2_start);
    putI16(b, r + L::kWindow2Length, window2_length);
    putI16(b, r + L::kRassFlag, rass_flag);
    for (std::size_t i = 0; i < spectral_params.size(); ++i) {
        putI16(b, r + L::kSpectralParams + 2 * i, spectral_params[i]);
    }
    putI16(b, r + L::kSpectralParam5, spectral_param5);
    putI16(b, r + L::kReceiverCount, receiver_count);
    return b;
}

Bytes HeaderRecord::bytes() const {
    Bytes out;
    Out o(out);
    o.i16(version);
    o.i16(0);
    const bool met = version >= 103;
    if (met) {
        o.i16(met_count.value_or(static_cast<std::int16_t>(met_codes.size())));
        for (int i = 0; i < 5; ++i) o.i16(0);
    }
    o.append(block());
    o.i32(0);
    if (met) {
        for (std::int16_t code : met_codes) o.i16(code);
    }
    return out;
}

std::size_t DataRecord::headerBytes() const {
    const bool ownFlags = format_code >= 3000;
    std::size_t n = 2 + (wideLength() ? 4 : 2) + (ownFlags ? 2 : 0) + 4 + 4 + 2 + 2;
    if (ownFlags || carry_counts) n += 4;
    return n;
}

Bytes DataRecord::bytes() const {
    const bool packed = (format_code / 100) % 10 == 0;
    const bool dc = (format_code / 100) % 10 == 2;
    const bool wide = wideLength();

    Bytes body;
    Out o(body);
    for (const FirstWindowEntry& e : window1) {
        o.i16(e.velocity);
        if (packed) {
            o.u8(static_cast<std::uint8_t>(e.width));
            o.u8(static_cast<std::uint8_t>(e.snr));
            o.u8(static_cast<std::uint8_t>(e.noise));
        } else {
            o.u16(e.width);
            o.i16(e.snr);
            o.i16(e.noise);
            if (dc) o.i16(e.dc_power);
        }
    }
    for (const SecondWindowEntry& e : window2) {
        o.i16(e.velocity);
        if (packed) {
            o.u8(static_cast<std::uint8_t>(e.width));
            o.u8(static_cast<std::uint8_t>(e.snr));
        } else {
            o.u16(e.width);
            o.i16(e.snr);
        }
        o.i16(e.tenths);
    }
    o.floats(met);
    o.floats(spectra);
    o.floats(raw);
    o.append(padding);

    const std::size_t trailing = wide ? 4 : 2;
    const auto trueLength = static_cast<std::int32_t>(headerBytes() + body.size() + trailing);
    const std::int32_t leading = length.value_or(trueLength);
    const std::int32_t behind = trailing_length.value_or(leading);

    Bytes out;
    Out h(out);
    h.i16(format_code);
    if (wide) {
        h.i32(leading);
    } else {
        h.i16(static_cast<std::int16_t>(leading));
    }
    if (format_code >= 3000) h.i16(flags);
    h.i32(header_offset);
    h.i32(time);
    h.i16(radar_index);
    h.i16(beam_index);
    if (format_code >= 3000 || carry_counts) {
        h.i16(coherent_integrations);
        h.i16(spectral_averages);
    }
    h.append(body);
    if (wide) {
        h.i32(behind);
    } else {
        h.i16(static_cast<std::int16_t>(behind));
    }
    return out;
}

std::int32_t HeaderFile::add(const HeaderRecord& record) { return addBytes(record.bytes()); }

std::int32_t HeaderFile::addBytes(const Bytes& bytes) {
    const auto at = static_cast<std::int32_t>(bytes_.size());
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return at;
}

std::int64_t DataFile::add(const DataRecord& record) { return addBytes(record.bytes()); }

std::int64_t DataFile::addBytes(const Bytes& bytes) {
    const auto at = static_cast<std::int64_t>(bytes_.size());
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return at;
}

std::string headerPathFor(const std::string& dataPath) {
    const std::size_t slash = dataPath.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string path = dataPath;
    if (nameStart < path.size() && path[nameStart] != '.') {
        path[nameStart] = 'h';
    } else {
        path.insert(nameStart, "h");
    }
    return path;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool writePair(const std::string& dataPath, const Bytes& data, const Bytes& headers) {
    return writeFile(dataPath, data) && writeFile(headerPathFor(dataPath), headers);
}

bool writePair(const std::string& dataPath, const DataFile& data, const HeaderFile& headers) {
    return writePair(dataPath, data.bytes(), headers.bytes());
}

void putI16(Bytes& bytes, std::size_t offset, std::int16_t value) {
    const auto u = static_cast<std::uint16_t>(value);
    bytes.at(offset) = static_cast<std::uint8_t>(u & 0xff);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(u >> 8);
}

void putI32(Bytes& bytes, std::size_t offset, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(u >> (8 * i));
}

void putF32(Bytes& bytes, std::size_t offset, float value) {
    std::uint32_t u;
    std::memcpy(&u, &value, sizeof u);
    putI32(bytes, offset, static_cast<std::int32_t>(u));
}

Bytes truncated(const Bytes& bytes, std::size_t size) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(
                                                    size < bytes.size() ? size : bytes.size()));
}

std::int32_t epoch_seconds(int year, int month, int day, int hour, int minute, int second) {
    const std::int64_t days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<std::int32_t>(days * 86400 + hour * 3600 + minute * 60 + second);
}

std::int32_t epoch_seconds_doy(int year, int dayOfYear, int hour, int minute, int second) {
    return epoch_seconds(year, 1, 1, 0, 0, 0) + (dayOfYear - 1) * 86400 + hour * 3600 +
           minute * 60 + second;
}

}  // namespace krxwriter
