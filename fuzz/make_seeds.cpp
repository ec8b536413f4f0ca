// qv-fuzz-seeds OUTDIR: writes small seed inputs for the fuzz targets into
// OUTDIR/ascii, OUTDIR/binary and OUTDIR/settings_csv. The binary pairs
// come from the KRX file writer; the ASCII days are a few dwells of three
// beams, with a next-day file that holds the processing day's last dwells.
// (scripts/fuzz.sh adds ASCII days from the sample generator and the
// bundled settings file.)
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tools/krxwriter/krx_writer.h"

namespace {

namespace fs = std::filesystem;
using qv::fuzz::kFileSeparator;

// Options bytes (see decodeChoice): winds or temperature, each policy, a
// few averaging periods, .mom or .spc, reviewed or not.
constexpr std::uint8_t kWindsHour = 0x32;        // winds, WhenAvailable, 60 min
constexpr std::uint8_t kTemperatureHour = 0x33;  // temperature, WhenAvailable, 60 min
constexpr std::uint8_t kWindsRequired15 = 0x24;  // winds, Required, 15 min
constexpr std::uint8_t kWindsUnreviewed = 0xb0;  // winds, NotUsed, 60 min, not reviewed
constexpr std::uint8_t kTemperatureSpc = 0x73;   // temperature, 60 min, .spc

void writeSeed(const fs::path& path, std::uint8_t options, const std::vector<std::string>& files) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(options));
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i > 0) out << kFileSeparator;
        out << files[i];
    }
}

std::string bytesText(const krxwriter::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// ---- ASCII days ----

struct AsciiBeam {
    const char* elevation;
    int azimuth;
    float velocity;
};

// Dwells of three beams every `step` minutes from `fromMinute` to before
// `toMinute` of day `dayOfYear` of 2004, `gates` gates each; RASS dwells
// (flag 1, acoustic speeds) follow each radar dwell in ".rat" files.
std::string asciiDay(int dayOfYear, int fromMinute, int toMinute, int step, int gates, bool rat) {
    static const AsciiBeam kBeams[] = {{"90.0", 0, 0.1f}, {"66.4", 45, 3.5f}, {"66.4", 135, -2.0f}};
    std::string text;
    int n = 0;
    for (int minute = fromMinute; minute < toMinute; minute += step, ++n) {
        const AsciiBeam& b = kBeams[n % 3];
        char line[160];
        std::snprintf(line, sizeof line, "%d %s %d 4 %d %d %d 30\n0 700 105 0 %d\n", rat ? 0 : 1,
                      b.elevation, b.azimuth, dayOfYear, minute / 60, minute % 60, gates);
        text += line;
        for (int g = 0; g < gates; ++g) {
            std::snprintf(line, sizeof line, "%.2f %.1f\n",
                          static_cast<double>(b.velocity) + 0.25 * g, 12.0 - g);
            text += line;
        }
        if (rat && n % 3 == 0) {
            std::snprintf(line, sizeof line, "1 90.0 0 4 %d %d %d 45\n0 700 105 0 %d\n", dayOfYear,
                          minute / 60, minute % 60, gates);
            text += line;
            for (int g = 0; g < gates; ++g) {
                std::snprintf(line, sizeof line, "%.2f %.1f\n", 347.0 - 0.4 * g, 20.0 - g);
                text += line;
            }
        }
    }
    return text;
}

void asciiSeeds(const fs::path& dir) {
    const std::string header = " STN 4001 10525 1600\n";
    for (const bool rat : {false, true}) {
        const std::uint8_t options = rat ? kTemperatureHour : kWindsHour;
        const std::string suffix = rat ? "rat" : "raw";
        // Two hours of the day and its last minutes spilled into the next file.
        const std::string today = header + asciiDay(167, 0, 120, 2, 4, rat) +
                                  asciiDay(167, 23 * 60 + 50, 24 * 60, 2, 4, rat);
        const std::string tomorrow = header + asciiDay(167, 23 * 60 + 56, 24 * 60, 2, 4, rat) +
                                     asciiDay(168, 0, 10, 2, 4, rat);
        writeSeed(dir / ("two_files." + suffix), options, {today, tomorrow});
        writeSeed(dir / ("no_next_day." + suffix), options, {today});
        writeSeed(dir / ("short_periods." + suffix), rat ? kTemperatureHour : kWindsRequired15,
                  {header + asciiDay(167, 0, 60, 1, 3, rat), header});
    }
    // A record cut after its first line, a gate count beyond the store, a
    // negative gate count, and a header only.
    writeSeed(dir / "cut_record.raw", kWindsHour,
              {header + asciiDay(167, 0, 20, 2, 2, false) + "1 90.0 0 4 167 1 0 0\n", header});
    writeSeed(dir / "many_gates.raw", kWindsUnreviewed,
              {header + "1 90.0 0 4 167 0 10 0\n0 700 105 0 102\n1.0 5.0\n2.0 6.0\n", header});
    writeSeed(dir / "negative_gates.raw", kWindsHour,
              {header + "1 90.0 0 4 167 0 10 0\n0 700 105 0 -3\n1.0 5.0\n", header});
    writeSeed(dir / "header_only.raw", kWindsHour, {header, header});
}

// ---- Binary pairs ----

constexpr std::int16_t kGates = 4;
constexpr std::int16_t kPoints = 8;

krxwriter::HeaderRecord binaryHeader(const char* direction, std::int16_t azimuth,
                                     std::int16_t elevation, bool rass) {
    krxwriter::HeaderRecord h;
    h.site_name = "ABC";
    h.latitude = 4012;
    h.longitude = -10525;
    h.altitude = 1600;
    h.frequency = 91500;
    h.modes[0] = {.ipp = 40000, .pulse_width = 700, .first_gate_delay = 3000, .gate_spacing = 700,
                  .gate_count = kGates, .coherent_integrations = 100, .spectral_averages = 20,
                  .spectrum_points = kPoints, .system_delay = 200};
    h.beams = {{.direction = 0, .mode = 0}};
    h.directions = {{.name = direction, .azimuth = azimuth, .elevation = elevation}};
    h.window1_start = 1;
    h.window1_length = kPoints;
    if (rass) {
        h.window2_start = 1;
        h.window2_length = kPoints;
        h.rass_flag = 1;
    }
    return h;
}

// One record of beam entry 0 of the header at `offset`; format 16 is
// packed, 116 and 3016 carry 16-bit codes (3016 also its flags word).
krxwriter::DataRecord binaryRecord(std::int32_t offset, std::int32_t time, std::int16_t format,
                                   std::int16_t base, bool rass) {
    krxwriter::DataRecord r;
    r.format_code = format;
    r.header_offset = offset;
    r.time = time;
    r.carry_counts = format >= 100;
    r.coherent_integrations = 100;
    r.spectral_averages = 20;
    for (int i = 0; i < kGates; ++i) {
        r.window1.push_back({.velocity = static_cast<std::int16_t>(base + 50 * i), .width = 10,
                             .snr = static_cast<std::int16_t>(format >= 100 ? 500 - 100 * i : 5 - i),
                             .noise = 0});
        if (rass) {
            r.window2.push_back({.velocity = static_cast<std::int16_t>(3000 - 20 * i), .width = 8,
                                 .snr = static_cast<std::int16_t>(format >= 100 ? 800 : 8),
                                 .tenths = 0});
        }
    }
    return r;
}

// The pair of day `dayOfYear` of 2004: three radar beams (and a RASS
// dwell on the vertical) every two minutes over `minutes` minutes from
// `fromMinute`.
std::vector<std::string> binaryDay(int dayOfYear, int fromMinute, int minutes, std::int16_t format,
                                   bool withRass) {
    krxwriter::HeaderFile headers;
    const std::int32_t vertical = headers.add(binaryHeader("VERTICAL", 0, 90, false));
    const std::int32_t north = headers.add(binaryHeader("NORTH", 15, 7500, false));
    const std::int32_t east = headers.add(binaryHeader("EAST", 105, 7500, false));
    const std::int32_t rass = headers.add(binaryHeader("RASS", 0, 90, true));
    const std::int32_t offsets[3] = {vertical, north, east};
    krxwriter::DataFile data;
    for (int m = 0, n = 0; m < minutes; m += 2, ++n) {
        const int minute = fromMinute + m;
        const std::int32_t time =
            krxwriter::epoch_seconds_doy(2004, dayOfYear, minute / 60, minute % 60, 0);
        data.add(binaryRecord(offsets[n % 3], time, format, static_cast<std::int16_t>(100 * (n % 3)),
                              false));
        if (withRass && n % 3 == 0) data.add(binaryRecord(rass, time + 30, format, 20, true));
    }
    return {bytesText(data.bytes()), bytesText(headers.bytes())};
}

void binarySeeds(const fs::path& dir) {
    for (const std::int16_t format : {std::int16_t{16}, std::int16_t{116}, std::int16_t{3016}}) {
        const std::string name = std::to_string(format);
        std::vector<std::string> files = binaryDay(126, 0, 40, format, true);
        const std::vector<std::string> next = binaryDay(126, 23 * 60 + 56, 4, format, true);
        const std::vector<std::string> nextOwn = binaryDay(127, 0, 6, format, false);
        writeSeed(dir / ("winds_" + name), kWindsHour, files);
        writeSeed(dir / ("temperature_" + name), kTemperatureHour, files);
        files.insert(files.end(), next.begin(), next.end());
        writeSeed(dir / ("two_pairs_" + name), kWindsRequired15, files);
        writeSeed(dir / ("next_day_own_" + name), kTemperatureSpc,
                  {files[0], files[1], nextOwn[0], nextOwn[1]});
    }
    // A data file cut inside its second record, and a header file cut inside
    // its block.
    const std::vector<std::string> whole = binaryDay(126, 0, 10, 116, false);
    writeSeed(dir / "cut_data", kWindsUnreviewed, {whole[0].substr(0, whole[0].size() / 2 + 7), whole[1]});
    writeSeed(dir / "cut_header", kWindsHour, {whole[0], whole[1].substr(0, 300)});
}

// ---- Settings files ----

void settingsSeeds(const fs::path& dir) {
    auto write = [&](const char* name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary | std::ios::trunc) << text;
    };
    write("full.csv",
          "azimuth,elevation,pulse_width,rass,window,threshold\n"
          "0,90,700,0,2,50\n45,66.4,700,OFF,2.5,60\n135,66.4,700,0,,\n0,90,700,ON,1.5,40\n");
    write("comments.csv", "# beams of site abc\n\n0,90,700,1,1.5,50\r\n  15 , 75 , 1400 , off , 3 , 70 \n");
    write("exact_floats.csv", "0,66.40000153,700,0,0.1,1\n90,1e-45,-700,1,3.4028235e38,2147483647\n");
    write("bad_field.csv", "0,90,700,maybe,2,50\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    for (const char* sub : {"ascii", "binary", "settings_csv"}) fs::create_directories(out / sub);
    asciiSeeds(out / "ascii");
    binarySeeds(out / "binary");
    settingsSeeds(out / "settings_csv");
    return 0;
}
