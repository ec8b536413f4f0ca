// The same dwells written as binary data-acquisition pairs and as ASCII
// moment files give the same consensus files, for winds and temperature.
//
// The values are chosen so that both encodings hold them exactly: binary
// velocity codes in hundredths (radar headers) or tenths (RASS headers) of a
// metre per second, signal-to-noise codes in hundredths of a dB, and the
// ASCII twin prints the same decimals. A RASS dwell of the binary pair
// becomes two ASCII records of the same time: its radar moments with flag 0,
// then its acoustic moments with flag 1.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/engine.h"
#include "core/text.h"
#include "core/worker.h"
#include "support/scripted_host.h"
#include "tests/app/batch_test_support.h"
#include "tools/krxwriter/krx_writer.h"

namespace qv::test {
namespace {

// 149.90 MHz and a 50 us inter-pulse period: 100 coherent integrations make
// a velocity scale of 100 m/s (codes in hundredths of m/s), 10 make 1000 m/s
// (codes in tenths), enough for the speed of sound.
constexpr std::int32_t kFrequency = 14990;
constexpr std::int32_t kIpp = 50000;
constexpr std::int16_t kRadarCoherent = 100;
constexpr std::int16_t kRassCoherent = 10;
constexpr std::int16_t kPoints = 64;
constexpr std::int32_t kPulseWidth = 700;
constexpr std::int32_t kGateDelay = 1000;  // ns: 150 m along the vertical
constexpr std::int16_t kMissingCode = -32768;

constexpr int kCycleSeconds = 180;
constexpr int kFirstSecond = 21 * 3600;
constexpr int kSpillSeconds = 6 * 60;  // the day's last minutes go to the next day's file

struct Beam {
    std::int16_t azimuth;
    std::int16_t storedElevation;  // degrees up to 90, hundredths above
    const char* elevationText;     // the same elevation in the ASCII twin
    int firstGateHeight;           // what the library makes of kGateDelay at this elevation
    int gates;
    bool rass;
    int offsetSeconds;  // within the cycle
};

const Beam kBeams[] = {
    {0, 6640, "66.4", 137, 12, false, 6},    {90, 6640, "66.4", 137, 12, false, 42},
    {180, 6640, "66.4", 137, 12, false, 78}, {270, 6640, "66.4", 137, 12, false, 114},
    {0, 90, "90.0", 150, 12, false, 150},    {0, 90, "90.0", 150, 8, true, 66},
};

struct Dwell {
    CalendarTime time;
    const Beam* beam;
    std::vector<int> velocity, snr;  // window 1 codes
    std::vector<int> acoustic, acousticSnr;  // window 2 codes (RASS only)
};

struct DayFile {
    CalendarTime date;
    std::vector<Dwell> dwells;
};

CalendarTime plusDays(const CalendarTime& day, int days) {
    TimeValue v = 0;
    calendarToTimeValue(day, v);
    addTime(v, days * TimeUnits::day);
    CalendarTime out;
    timeValueToCalendar(v, out);
    out.dayOfWeek = 0;
    return out;
}

// Two processing days of dwells from 21:00 to midnight, with the last six
// minutes of each day in the next day's file.
std::vector<DayFile> makeDays(const CalendarTime& first) {
    std::mt19937 random(20040615);
    auto between = [&](int lo, int hi) { return lo + static_cast<int>(random() % static_cast<unsigned>(hi - lo + 1)); };
    std::vector<DayFile> files = {{first, {}}, {plusDays(first, 1), {}}, {plusDays(first, 2), {}}};
    for (int day = 0; day < 2; ++day) {
        for (int cycle = kFirstSecond; cycle < 24 * 3600; cycle += kCycleSeconds) {
            for (const Beam& beam : kBeams) {
                const int second = cycle + beam.offsetSeconds;
                Dwell d;
                d.time = plusDays(first, day);
                d.time.hour = static_cast<std::uint16_t>(second / 3600);
                d.time.minute = static_cast<std::uint16_t>(second / 60 % 60);
                d.time.second = static_cast<std::uint16_t>(second % 60);
                d.beam = &beam;
                for (int g = 0; g < beam.gates; ++g) {
                    const bool missing = between(0, 99) < 4;
                    if (beam.rass) {
                        // Radar moments in tenths, acoustic speeds near 344 m/s.
                        d.velocity.push_back(missing ? kMissingCode : between(-8, 8));
                        d.acoustic.push_back(missing ? kMissingCode : 3440 - 3 * g + between(-4, 4));
                        d.acousticSnr.push_back(missing ? kMissingCode : 1500 - 90 * g + between(0, 150));
                    } else {
                        // Oblique beams see a wind from the west; the vertical beam a weak updraft.
                        const int drift =
                            beam.storedElevation > 90 ? (beam.azimuth < 180 ? 250 : -250) : 10;
                        d.velocity.push_back(missing ? kMissingCode
                                                     : drift + 15 * g + between(-35, 35) +
                                                           (between(0, 99) < 5 ? between(-900, 900) : 0));
                    }
                    d.snr.push_back(missing ? kMissingCode : 2200 - 110 * g + between(-150, 150));
                }
                const bool spills = second >= 24 * 3600 - kSpillSeconds;
                files[static_cast<std::size_t>(spills ? day + 1 : day)].dwells.push_back(std::move(d));
            }
        }
    }
    return files;
}

// --- Binary pairs ----------------------------------------------------------------

krxwriter::HeaderRecord beamHeader(const Beam& beam) {
    krxwriter::HeaderRecord h;
    h.site_name = "QVS";
    h.latitude = 4001;
    h.longitude = -10525;
    h.altitude = 1611;
    h.frequency = kFrequency;
    h.modes[0] = {.ipp = kIpp, .pulse_width = kPulseWidth, .first_gate_delay = kGateDelay,
                  .gate_spacing = kPulseWidth, .gate_count = static_cast<std::int16_t>(beam.gates),
                  .coherent_integrations = beam.rass ? kRassCoherent : kRadarCoherent,
                  .spectral_averages = 1, .spectrum_points = kPoints, .system_delay = 0};
    h.beams = {{.direction = 0, .mode = 0}};
    h.directions = {{.name = "B", .azimuth = beam.azimuth, .elevation = beam.storedElevation}};
    h.window1_start = 1;
    h.window1_length = beam.rass ? kPoints / 2 : kPoints;
    h.window2_start = kPoints / 2 + 1;
    h.window2_length = beam.rass ? kPoints / 2 : 0;
    h.rass_flag = beam.rass ? 1 : 0;
    return h;
}

void writeBinary(const fs::path& folder, const DayFile& file) {
    krxwriter::HeaderFile headers;
    std::vector<std::int32_t> offsets;
    for (const Beam& beam : kBeams) offsets.push_back(headers.add(beamHeader(beam)));
    krxwriter::DataFile data;
    for (const Dwell& d : file.dwells) {
        krxwriter::DataRecord r;
        r.format_code = 116;
        r.header_offset = offsets[static_cast<std::size_t>(d.beam - kBeams)];
        r.time = krxwriter::epoch_seconds(d.time.year, d.time.month, d.time.day, d.time.hour,
                                          d.time.minute, d.time.second);
        r.coherent_integrations = d.beam->rass ? kRassCoherent : kRadarCoherent;
        r.spectral_averages = 1;
        for (std::size_t g = 0; g < d.velocity.size(); ++g) {
            r.window1.push_back({.velocity = static_cast<std::int16_t>(d.velocity[g]), .width = 20,
                                 .snr = static_cast<std::int16_t>(d.snr[g]), .noise = 0});
        }
        for (std::size_t g = 0; g < d.acoustic.size(); ++g) {
            r.window2.push_back({.velocity = static_cast<std::int16_t>(d.acoustic[g]), .width = 20,
                                 .snr = static_cast<std::int16_t>(d.acousticSnr[g]), .tenths = 0});
        }
        data.add(r);
    }
    const std::string name = formatText("d%02d%03da.mom", file.date.year % 100,
                                        dayOfYear(file.date.year, file.date.month, file.date.day));
    ASSERT_TRUE(krxwriter::writePair((folder / name).string(), data, headers));
}

// --- ASCII twins -------------------------------------------------------------------

// A code as the decimal number the binary reader makes of it.
std::string decimal(int code, bool tenths) {
    return tenths ? formatText("%.1f", code / 10.0) : formatText("%.2f", code / 100.0);
}

void appendRecord(std::string& text, const Dwell& d, int flag, const std::vector<int>& velocity,
                  const std::vector<int>& snr) {
    appendText(text, "%d %s %d %d %d %d %d %d\n", flag, d.beam->elevationText, d.beam->azimuth,
               d.time.year - 2000, dayOfYear(d.time.year, d.time.month, d.time.day), d.time.hour,
               d.time.minute, d.time.second);
    appendText(text, "40 %d %d 64 %d\n", kPulseWidth, d.beam->firstGateHeight,
               static_cast<int>(velocity.size()));
    for (std::size_t g = 0; g < velocity.size(); ++g) {
        text += decimal(velocity[g], d.beam->rass) + " " + decimal(snr[g], false) + "\n";
    }
}

void writeAscii(const fs::path& folder, const DayFile& file) {
    // The binary reader lower-cases the station name; the output file names
    // begin with it.
    const std::string header = " qvs 4001 -10525 1611\n";
    std::string raw = header;
    std::string rat = header;
    for (const Dwell& d : file.dwells) {
        if (d.beam->rass) {
            appendRecord(rat, d, 0, d.velocity, d.snr);
            appendRecord(rat, d, 1, d.acoustic, d.acousticSnr);
        } else {
            appendRecord(raw, d, 1, d.velocity, d.snr);
        }
    }
    const std::string stem = formatText("qvt%02d%03d", file.date.year % 100,
                                        dayOfYear(file.date.year, file.date.month, file.date.day));
    writeFile(folder / (stem + ".raw"), raw);
    writeFile(folder / (stem + ".rat"), rat);
}

// --- Runs ----------------------------------------------------------------------------

void runWorker(InputType input, OutputKind kind, const fs::path& in, const fs::path& out,
               const CalendarTime& first) {
    ScriptedHost host;
    host.input = input;
    host.output = kind;
    ConsensusJob job;
    job.host = &host;
    job.steps = standardSteps();
    job.clock = [] { return CalendarTime{2004, 6, 3, 17, 12, 34, 56, 0}; };
    job.noMomentsPause = std::chrono::milliseconds(0);
    ASSERT_TRUE(calendarToTimeValue(first, job.params.beginTime));
    ASSERT_TRUE(calendarToTimeValue(plusDays(first, 1), job.params.endTime));
    job.params.inputPath = in.string();
    job.params.outputPath = out.string();
    job.params.siteId = "qvt";
    job.params.dataSourceText = "QAV";
    job.params.outputKindText = kind == OutputKind::Winds ? "Winds" : "Temperature";
    job.params.averagingMinutes = 30;
    std::thread worker = startProcessing(job);
    worker.join();
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();
    ASSERT_FALSE(host.mainLines.empty());
    EXPECT_EQ(host.mainLines.back(), "Done.");
    EXPECT_EQ(host.reviews, 1);
}

class BinaryAsciiEquivalence : public TempFolderTest {};

TEST_F(BinaryAsciiEquivalence, SameDwellsGiveTheSameConsensusFiles) {
    const CalendarTime first{2004, 6, 0, 15, 0, 0, 0, 0};
    const fs::path binaryIn = dir_ / "binary";
    const fs::path asciiIn = dir_ / "ascii";
    fs::create_directories(binaryIn);
    fs::create_directories(asciiIn);
    for (const DayFile& file : makeDays(first)) {
        writeBinary(binaryIn, file);
        writeAscii(asciiIn, file);
    }

    struct Case {
        OutputKind kind;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {OutputKind::Winds, {"qvs04167.w1a", "qvs04168.w1a"}},
        {OutputKind::Temperature, {"qvs04167.t1a", "qvs04167.t2a", "qvs04168.t1a", "qvs04168.t2a"}},
    };
    for (const Case& c : cases) {
        const std::string kind = c.kind == OutputKind::Winds ? "winds" : "temperature";
        SCOPED_TRACE(kind);
        const fs::path fromBinary = dir_ / ("out-binary-" + kind);
        const fs::path fromAscii = dir_ / ("out-ascii-" + kind);
        fs::create_directories(fromBinary);
        fs::create_directories(fromAscii);
        runWorker(InputType::Binary, c.kind, binaryIn, fromBinary, first);
        runWorker(InputType::Ascii, c.kind, asciiIn, fromAscii, first);

        EXPECT_EQ(listFolder(fromBinary), c.files);
        EXPECT_EQ(listFolder(fromAscii), c.files);
        for (const std::string& name : c.files) {
            const std::string binaryText = readFile(fromBinary / name);
            // Six periods from 21:00, the last one with the next day's dwells.
            EXPECT_NE(binaryText.find("\n2330"), std::string::npos) << name;
            EXPECT_EQ(binaryText, readFile(fromAscii / name)) << name;
        }
    }
}

}  // namespace
}  // namespace qv::test
