#include "tools/samplegen/generate.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "core/text.h"
#include "tools/samplegen/binary_output.h"
#include "tools/samplegen/field.h"

namespace qv::samplegen {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kCycleSeconds = 180;  // every beam dwells once per cycle
constexpr int kDwellSlots = 5;      // dwells of a cycle laid out by --dwell-seconds
constexpr int kPulseWidth = 700;    // ns: gates 105 m apart
constexpr int kFirstGate = 150;     // m above the site
constexpr int kTruthStepMinutes = 15;
constexpr int kTruthStepMetres = 100;
constexpr int kTruthTopMetres = 2500;

enum class Role { Oblique, Vertical, Rass };

struct BeamPlan {
    int number;
    int azimuth;
    const char* elevationText;
    double elevation;
    Role role;
    int gates;
    int offsetSeconds;  // start of the dwell within the cycle
};

// Winds: four oblique beams in opposite pairs and a vertical beam.
const std::vector<BeamPlan>& windBeams() {
    static const std::vector<BeamPlan> beams = {
        {1, 0, "66.4", 66.4, Role::Oblique, 20, 6},
        {2, 90, "66.4", 66.4, Role::Oblique, 20, 42},
        {3, 180, "66.4", 66.4, Role::Oblique, 20, 78},
        {4, 270, "66.4", 66.4, Role::Oblique, 20, 114},
        {5, 0, "90.0", 90.0, Role::Vertical, 20, 150},
    };
    return beams;
}

// Temperature: a vertical radar beam for the vertical correction and a
// vertical RASS beam.
const std::vector<BeamPlan>& temperatureBeams() {
    static const std::vector<BeamPlan> beams = {
        {5, 0, "90.0", 90.0, Role::Vertical, 20, 6},
        {6, 0, "90.0", 90.0, Role::Rass, 14, 66},
    };
    return beams;
}

// The beams of one kind as the options lay them out: the standard plan, or
// with every beam's gate count replaced, or with the dwells a fixed time
// apart: the wind beams in the cycle's five slots, the vertical radar dwell
// of the temperature in the first slot and its RASS dwell half a cycle later.
std::vector<BeamPlan> plannedBeams(const GenerateOptions& options, bool temperature,
                                   int& cycleSeconds) {
    std::vector<BeamPlan> beams = temperature ? temperatureBeams() : windBeams();
    cycleSeconds = kCycleSeconds;
    if (options.dwellSeconds > 0) {
        const int slot = options.dwellSeconds;
        cycleSeconds = kDwellSlots * slot;
        for (std::size_t i = 0; i < beams.size(); ++i) {
            const int step = temperature ? cycleSeconds / 2 : slot;
            beams[i].offsetSeconds = slot / 4 + static_cast<int>(i) * step;
        }
    }
    if (options.gates > 0) {
        for (BeamPlan& beam : beams) beam.gates = options.gates;
    }
    return beams;
}

double gateHeight(const BeamPlan& beam, int gate) {
    const double spacing = kPulseWidth * 0.3 * 0.5;
    return kFirstGate + gate * spacing * std::sin(beam.elevation * kPi / 180.0);
}

// The measured value of one gate: the beam's view of the field, plus noise,
// an occasional outlier, and missing gates that grow more frequent aloft.
GateValue measure(const BeamPlan& beam, double z, double hours, double outlierChance,
                  Random& random) {
    const FieldValue f = truthAt(z, hours);
    const double aloft = std::max(0.0, (z - 1400.0) / 1000.0);
    GateValue g;
    switch (beam.role) {
    case Role::Oblique: {
        const double a = beam.azimuth * kPi / 180.0;
        const double e = beam.elevation * kPi / 180.0;
        // Positive toward the antenna for the horizontal part, upward for w,
        // as the wind solution takes it.
        g.velocity = -(f.u * std::sin(a) + f.v * std::cos(a)) * std::cos(e) + f.w * std::sin(e) +
                     random.normal(0.3 + 0.1 * z / 1000.0);
        g.snr = 22.0 - 11.0 * z / 1000.0 + random.normal(1.5);
        if (random.chance(outlierChance < 0.0 ? 0.06 : outlierChance)) {
            g.velocity = random.uniform(-12.0, 12.0);
        }
        if (random.chance(0.01 + 0.6 * aloft)) g.velocity = kMissingValue;
        break;
    }
    case Role::Vertical:
        g.velocity = f.w + random.normal(0.15);
        g.snr = 24.0 - 11.0 * z / 1000.0 + random.normal(1.5);
        if (random.chance(outlierChance < 0.0 ? 0.05 : outlierChance)) {
            g.velocity = random.uniform(-6.0, 6.0);
        }
        if (random.chance(0.01 + 0.6 * aloft)) g.velocity = kMissingValue;
        break;
    case Role::Rass:
        // The acoustic wave rides on the vertical air motion.
        g.velocity = acousticSpeed(f.tv) + f.w + random.normal(0.12);
        g.snr = 18.0 - 8.0 * z / 1000.0 + random.normal(1.5);
        if (random.chance(0.05)) g.velocity += random.uniform(-10.0, 10.0);
        if (random.chance(0.02)) g.velocity = kMissingValue;
        break;
    }
    if (g.velocity == kMissingValue) g.snr = kMissingValue;
    return g;
}

// The radial velocity an oblique beam measures of targets moving with the
// wind plus (du, dv), with the beam's noise.
double obliqueRadial(const BeamPlan& beam, double z, double hours, double du, double dv,
                     Random& random) {
    const FieldValue f = truthAt(z, hours);
    const double a = beam.azimuth * kPi / 180.0;
    const double e = beam.elevation * kPi / 180.0;
    return -((f.u + du) * std::sin(a) + (f.v + dv) * std::cos(a)) * std::cos(e) +
           f.w * std::sin(e) + random.normal(0.3 + 0.1 * z / 1000.0);
}

// Contamination episodes of the oblique beams (see GenerateOptions): ground
// clutter per beam, birds over the whole site. An episode starts, while none
// of its kind runs, with the chance that makes the expected share of
// contaminated dwells the option's fraction.
class Contamination {
public:
    Contamination(const GenerateOptions& options, bool temperature, int cycleSeconds)
        : cycleSeconds_(cycleSeconds),
          random_(options.seed * 2 + (temperature ? 1 : 0) + 0x9e3779b97f4a7c15ULL),
          on_(!temperature && (options.clutterFraction > 0.0 || options.birdFraction > 0.0)) {
        // Mean episode lengths in tries: clutter 10 to 30 minutes (each
        // beam dwells once a cycle), birds 10 to 30 minutes.
        clutterStart_ = startChance(options.clutterFraction, 20.0 * 60.0 / cycleSeconds);
        birdStart_ = startChance(options.birdFraction, 20.0 * 60.0 / cycleSeconds);
    }

    bool on() const { return on_; }

    // Contaminates one oblique dwell at `seconds` since the first day's
    // midnight (its gates as measured without contamination).
    void apply(const BeamPlan& beam, std::int64_t seconds, Dwell& dwell) {
        const double hours = static_cast<double>(seconds) / 3600.0;
        // Birds: one episode for all beams, decided at each cycle's first dwell.
        if (beam.number == 1 && seconds >= birdEnd_ && random_.chance(birdStart_)) {
            birdEnd_ = seconds + static_cast<std::int64_t>(random_.uniform(10.0, 30.0) * 60.0);
            int lowest = 0;
            while (lowest < static_cast<int>(dwell.gates.size()) &&
                   gateHeight(beam, lowest) < 200.0) {
                ++lowest;
            }
            int highest = lowest;
            while (highest + 1 < static_cast<int>(dwell.gates.size()) &&
                   gateHeight(beam, highest + 1) <= 1200.0) {
                ++highest;
            }
            birdLow_ = lowest + static_cast<int>(random_.uniform() * (highest - lowest + 1));
            birdCount_ = 1 + static_cast<int>(random_.uniform() * 5.0);
            const double airspeed = random_.uniform(8.0, 14.0);
            const double heading = random_.uniform(0.0, 2.0 * kPi);
            birdU_ = airspeed * std::sin(heading);
            birdV_ = airspeed * std::cos(heading);
        }
        if (seconds < birdEnd_) {
            for (int g = birdLow_; g < birdLow_ + birdCount_ && g < static_cast<int>(dwell.gates.size());
                 ++g) {
                const double z = gateHeight(beam, g);
                dwell.gates[static_cast<std::size_t>(g)].velocity =
                    obliqueRadial(beam, z, hours, birdU_, birdV_, random_);
                dwell.gates[static_cast<std::size_t>(g)].snr = 22.0 - 11.0 * z / 1000.0 + 6.0;
            }
        }
        // Clutter: an episode per beam, counted in that beam's dwells.
        const std::size_t b = static_cast<std::size_t>(beam.number);
        if (b >= clutterLeft_.size()) {
            clutterLeft_.resize(b + 1, 0);
            clutterGates_.resize(b + 1, 0);
        }
        if (clutterLeft_[b] == 0 && random_.chance(clutterStart_)) {
            const double minutes = random_.uniform(10.0, 30.0);
            clutterLeft_[b] = std::max(1, static_cast<int>(std::lround(minutes * 60.0 / cycle())));
            clutterGates_[b] = 1 + static_cast<int>(random_.uniform() * 3.0);
        }
        if (clutterLeft_[b] > 0) {
            --clutterLeft_[b];
            for (int g = 0; g < clutterGates_[b] && g < static_cast<int>(dwell.gates.size()); ++g) {
                GateValue& v = dwell.gates[static_cast<std::size_t>(g)];
                v.velocity = random_.normal(0.1);
                v.snr = 22.0 - 11.0 * gateHeight(beam, g) / 1000.0 + 10.0;
            }
        }
    }

private:
    // Chance per try that gives a share f of contaminated tries with
    // episodes of mean length n tries.
    static double startChance(double f, double n) {
        if (f <= 0.0) return 0.0;
        if (f >= 1.0) return 1.0;
        return std::min(1.0, f / (n * (1.0 - f)));
    }
    double cycle() const { return cycleSeconds_; }

    int cycleSeconds_;
    Random random_;
    bool on_ = false;
    double clutterStart_ = 0.0;
    double birdStart_ = 0.0;
    std::vector<int> clutterLeft_;
    std::vector<int> clutterGates_;
    std::int64_t birdEnd_ = -1;
    int birdLow_ = 0;
    int birdCount_ = 0;
    double birdU_ = 0.0;
    double birdV_ = 0.0;
};

CalendarTime addMinutes(const CalendarTime& day, std::int64_t minutes) {
    TimeValue value = 0;
    calendarToTimeValue(day, value);
    addTime(value, minutes * TimeUnits::minute);
    CalendarTime out;
    timeValueToCalendar(value, out);
    return out;
}

std::string fileStem(const GenerateOptions& options, const CalendarTime& date) {
    return formatText("%s%02d%03d", options.site.c_str(), date.year % 100,
                      dayOfYear(date.year, date.month, date.day));
}

}  // namespace

std::int64_t secondsOf(const CalendarTime& time) {
    TimeValue value = 0;
    calendarToTimeValue(time, value);
    return static_cast<std::int64_t>(value / static_cast<TimeValue>(TimeUnits::second));
}

bool writeFile(const std::string& path, const std::string& text, std::ostream& out,
               std::ostream& err) {
    std::error_code ignored;  // a folder that cannot be made fails the open below
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.flush();
    if (!file) {
        err << "quorvane-samplegen: cannot write " << path << '\n';
        return false;
    }
    out << path << '\n';
    return true;
}

std::vector<DayFile> makeDayFiles(const GenerateOptions& options, bool temperature) {
    int cycleSeconds = kCycleSeconds;
    const std::vector<BeamPlan> beams = plannedBeams(options, temperature, cycleSeconds);
    // Separate streams, so that one kind's data do not depend on the other.
    Random random(options.seed * 2 + (temperature ? 1 : 0));
    Contamination contamination(options, temperature, cycleSeconds);

    std::vector<DayFile> files(static_cast<std::size_t>(options.days) + 1);
    for (int k = 0; k <= options.days; ++k) {
        files[static_cast<std::size_t>(k)].date = addMinutes(options.firstDay, k * 24 * 60);
    }
    const int spillStart = 24 * 60 * 60 - options.spillMinutes * 60;
    for (int k = 0; k < options.days; ++k) {
        for (int cycle = options.fromMinute * 60; cycle < options.toMinute * 60;
             cycle += cycleSeconds) {
            for (const BeamPlan& beam : beams) {
                const int second = cycle + beam.offsetSeconds;
                if (second >= options.toMinute * 60 || second >= 24 * 60 * 60) continue;
                Dwell dwell;
                dwell.time = addMinutes(options.firstDay, k * 24 * 60);
                dwell.time.hour = static_cast<std::uint16_t>(second / 3600);
                dwell.time.minute = static_cast<std::uint16_t>(second / 60 % 60);
                dwell.time.second = static_cast<std::uint16_t>(second % 60);
                dwell.beamNumber = beam.number;
                dwell.azimuth = beam.azimuth;
                dwell.elevationText = beam.elevationText;
                dwell.pulseWidth = kPulseWidth;
                dwell.firstGateHeight = kFirstGate;
                dwell.rassFlag = beam.role == Role::Rass ? 1 : 0;
                const double hours = k * 24.0 + second / 3600.0;
                for (int g = 0; g < beam.gates; ++g) {
                    dwell.gates.push_back(measure(beam, gateHeight(beam, g), hours,
                                                  options.outlierFraction, random));
                }
                if (contamination.on() && beam.role == Role::Oblique) {
                    contamination.apply(beam, static_cast<std::int64_t>(k) * 86400 + second,
                                        dwell);
                }
                const bool spills = options.spillMinutes > 0 && second >= spillStart;
                files[static_cast<std::size_t>(spills ? k + 1 : k)].dwells.push_back(
                    std::move(dwell));
            }
        }
    }
    // The file after the last day exists only when it holds spilled dwells.
    if (files.back().dwells.empty()) files.pop_back();
    return files;
}

std::string asciiFileText(const GenerateOptions& options, const DayFile& file, bool temperature,
                          std::vector<RecordStart>* records) {
    // The first character of the header line is a marker, not part of the name.
    std::string text = formatText(" %s %d %d %d\n", options.station.c_str(), options.latitudeCenti,
                                  options.longitudeCenti, options.siteElevation);
    for (const Dwell& d : file.dwells) {
        if (records) records->push_back({secondsOf(d.time), text.size()});
        const int first = temperature ? d.rassFlag : d.beamNumber;
        appendText(text, "%d %s %d %d %d %d %d %d\n", first, d.elevationText, d.azimuth,
                   d.time.year - 2000, dayOfYear(d.time.year, d.time.month, d.time.day),
                   d.time.hour, d.time.minute, d.time.second);
        appendText(text, "%d %d %d %d %d\n", 40, d.pulseWidth, d.firstGateHeight, 64,
                   static_cast<int>(d.gates.size()));
        for (const GateValue& g : d.gates) appendText(text, "%.2f %.1f\n", g.velocity, g.snr);
    }
    return text;
}

std::string truthText(const GenerateOptions& options, int dayIndex) {
    std::string text = "time,height_m_msl,u,v,w,tv_c\n";
    const CalendarTime day = addMinutes(options.firstDay, dayIndex * 24 * 60);
    for (int minute = options.fromMinute; minute <= options.toMinute;
         minute += kTruthStepMinutes) {
        const CalendarTime t = addMinutes(day, minute);
        const double hours = dayIndex * 24.0 + minute / 60.0;
        for (int z = 0; z <= kTruthTopMetres; z += kTruthStepMetres) {
            const FieldValue f = truthAt(z, hours);
            appendText(text, "%04d-%02d-%02d %02d:%02d:00,%d,%.3f,%.3f,%.3f,%.3f\n", t.year,
                       t.month, t.day, t.hour, t.minute, options.siteElevation + z, f.u, f.v, f.w,
                       f.tv);
        }
    }
    return text;
}

std::vector<OutputFile> outputFiles(const GenerateOptions& options) {
    if (options.format == FileFormat::Binary) return binaryFiles(options);
    std::vector<OutputFile> files;
    for (const bool temperature : {false, true}) {
        if (temperature ? !options.temperature : !options.winds) continue;
        for (const DayFile& day : makeDayFiles(options, temperature)) {
            OutputFile f;
            f.path = options.outDir + "/" + fileStem(options, day.date) + (temperature ? ".rat" : ".raw");
            f.bytes = asciiFileText(options, day, temperature, &f.records);
            files.push_back(std::move(f));
        }
    }
    for (int k = 0; k < options.days; ++k) {
        OutputFile f;
        f.path = options.outDir + "/" + fileStem(options, addMinutes(options.firstDay, k * 24 * 60)) +
                 "_truth.csv";
        f.bytes = truthText(options, k);
        files.push_back(std::move(f));
    }
    return files;
}

int generate(const GenerateOptions& options, std::ostream& out, std::ostream& err) {
    bool ok = true;
    for (const OutputFile& f : outputFiles(options)) {
        ok = writeFile(f.path, f.bytes, out, err) && ok;
        if (!f.headerPath.empty()) ok = writeFile(f.headerPath, f.headerBytes, out, err) && ok;
    }
    return ok ? 0 : 1;
}

}  // namespace qv::samplegen
