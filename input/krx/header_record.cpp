// Header records: the radar configuration that data records point to.
//
// Layout at the offset a data record names: version (int16), a spare int16,
// from version 103 on the met instrument count (int16) and five spare int16,
// the 560-byte header block, a spare int32, and from version 103 on the met
// instrument codes (count x int16).
#include <cstdio>
#include <cstring>

#include "input/krx/file_io.h"
#include "input/krx/krx_state.h"

namespace L = krx_layout;

namespace {

KrxMode decodeMode(const unsigned char* p) {
    KrxMode m;
    m.ipp = krx_le::i32(p + L::kIpp);
    m.pulse_width = krx_le::i32(p + L::kPulseWidth);
    m.first_gate_delay = krx_le::i32(p + L::kFirstGateDelay);
    m.gate_spacing = krx_le::i32(p + L::kGateSpacing);
    m.gate_count = krx_le::i16(p + L::kGateCount);
    m.coherent_integrations = krx_le::i16(p + L::kCoherentIntegrations);
    m.spectral_averages = krx_le::i16(p + L::kSpectralAverages);
    m.spectrum_points = krx_le::i16(p + L::kSpectrumPoints);
    m.system_delay = krx_le::i16(p + L::kSystemDelay);
    return m;
}

KrxRadar decodeRadar(const unsigned char* r) {
    KrxRadar radar;
    radar.frequency = krx_le::i32(r + L::kFrequency);
    radar.beam_count = krx_le::i16(r + L::kBeamCount);
    for (int i = 0; i < L::kModeRoom; ++i)
        radar.modes[i] = decodeMode(r + L::kModes + i * L::kModeBytes);
    for (int i = 0; i < L::kBeamRoom; ++i) {
        const unsigned char* b = r + L::kBeams + i * L::kBeamBytes;
        radar.beams[i].direction_index = krx_le::i16(b + L::kBeamDirection);
        radar.beams[i].mode_index = krx_le::i16(b + L::kBeamMode);
    }
    for (int i = 0; i < L::kDirectionRoom; ++i) {
        const unsigned char* d = r + L::kDirections + i * L::kDirectionBytes;
        std::memcpy(radar.directions[i].name, d, L::kDirectionNameBytes);
        radar.directions[i].azimuth = krx_le::i16(d + L::kDirectionAzimuth);
        radar.directions[i].elevation = krx_le::i16(d + L::kDirectionElevation);
    }
    radar.window1_start = krx_le::i16(r + L::kWindow1Start);
    radar.window1_length = krx_le::i16(r + L::kWindow1Length);
    radar.window2_start = krx_le::i16(r + L::kWindow2Start);
    radar.window2_length = krx_le::i16(r + L::kWindow2Length);
    radar.rass_flag = krx_le::i16(r + L::kRassFlag);
    for (int i = 0; i < 4; ++i)
        radar.spectral_params[i] = krx_le::i16(r + L::kSpectralParams + 2 * i);
    radar.spectral_param5 = krx_le::i16(r + L::kSpectralParam5);
    radar.receiver_count = krx_le::i16(r + L::kReceiverCount);
    return radar;
}

// Makes a freshly read block usable: a second window of one point or less is
// none, a missing first window is the whole spectrum of mode 0, and the
// block describes exactly one radar. (A header record is read from within a
// record header read, before that record's radar and beam indices, which then
// decide its mode; so the radar and mode in use are the record's own.)
void adjustHeaderBlock(KrxFile& f) {
    KrxRadar& r = f.hdr.radar;
    if (r.window2_length <= 1) {
        r.window2_length = 1;
        r.window2_start = 1;
    }
    if (r.window1_length <= 0) {
        r.window1_start = 1;
        r.window1_length = r.modes[0].spectrum_points;
    }
    if (r.receiver_count < 0) r.receiver_count = 1;
    f.hdr.radar_count = 1;
}

}  // namespace

KrxHeader decode_header_block(const unsigned char* block) {
    KrxHeader h;
    std::memcpy(h.site_name, block + L::kSiteName, L::kSiteNameBytes);
    h.latitude = krx_le::i16(block + L::kLatitude);
    h.longitude = krx_le::i16(block + L::kLongitude);
    h.altitude = krx_le::i16(block + L::kAltitude);
    h.radar_count = krx_le::i16(block + L::kRadarCount);
    h.radar = decodeRadar(block + L::kRadar);
    return h;
}

int read_header_record() {
    KrxFile& f = krx_file();
    krx_io::Source& in = f.header;

    std::int16_t version = 0;
    f.reading_header_version = 0;
    if (!krx_io::readI16(in, version)) return -1;
    f.reading_header_version = version;
    if (version < L::kMinVersion || version > L::kMaxVersion) return -10;
    std::int16_t spare16 = 0;
    krx_io::readI16(in, spare16);

    std::int16_t metCount = 0;
    if (version >= L::kFirstMetVersion) {
        if (!krx_io::readI16(in, metCount)) metCount = 0;
        for (int i = 0; i < L::kMetSpareWords; ++i) krx_io::readI16(in, spare16);
    }

    // The block is decoded only when the whole record was read, so that a
    // failed read leaves the header block in use unchanged.
    unsigned char block[L::kBlockBytes];
    const bool haveBlock = krx_io::readExact(in, block, sizeof block);
    std::int32_t spare32 = 0;
    if (!haveBlock || !krx_io::readI32(in, spare32)) return -4;

    std::int16_t codes[L::kMaxMetInstruments] = {};
    if (metCount > L::kMaxMetInstruments) {
        std::printf("\aToo many met inst, modify arrays in met routine  ");
        return -3;
    }
    if (metCount < 0) {  // a negative count announces codes that cannot exist
        std::printf(" cannot read all %d inst\n", metCount);
        return -3;
    }
    if (metCount > 0) {
        unsigned char raw[2 * L::kMaxMetInstruments];
        if (!krx_io::readExact(in, raw, 2 * static_cast<std::size_t>(metCount))) {
            std::printf(" cannot read all %d inst\n", metCount);
            return -3;
        }
        for (int i = 0; i < metCount; ++i) codes[i] = krx_le::i16(raw + 2 * i);
    }

    f.hdr = decode_header_block(block);
    f.met_count = metCount;
    std::memcpy(f.met_codes, codes, sizeof codes);
    adjustHeaderBlock(f);
    return 0;
}
