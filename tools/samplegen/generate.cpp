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
constexpr int kShortPulseWidth = 400;  // ns, the second mode: gates 60 m apart
constexpr int kShortFirstGate = 120;
constexpr double kShortPulseSnr = -5.0;  // dB, its weaker echoes
constexpr int kShortBeamOffset = 10;     // its beam numbers: the first mode's + 10
constexpr int kTruthStepMinutes = 15;
constexpr int kTruthStepMetres = 100;
constexpr int kTruthTopMetres = 2500;
// The truth table's grid with the options of real days.
constexpr int kFineTruthStepMinutes = 5;
constexpr int kFineTruthStepMetres = 50;

enum class Role { Oblique, Vertical, Rass };

struct BeamPlan {
    int number;
    int azimuth;
    const char* elevationText;
    double elevation;
    Role role;
    int gates;
    int offsetSeconds;  // start of the dwell within the cycle
    int pulseWidth;     // ns
    int firstGate;      // m above the site
    double snrOffset;   // dB added to the echo's SNR
};

// Winds: four oblique beams in opposite pairs and a vertical beam.
const std::vector<BeamPlan>& windBeams() {
    static const std::vector<BeamPlan> beams = {
        {1, 0, "66.4", 66.4, Role::Oblique, 20, 6, kPulseWidth, kFirstGate, 0.0},
        {2, 90, "66.4", 66.4, Role::Oblique, 20, 42, kPulseWidth, kFirstGate, 0.0},
        {3, 180, "66.4", 66.4, Role::Oblique, 20, 78, kPulseWidth, kFirstGate, 0.0},
        {4, 270, "66.4", 66.4, Role::Oblique, 20, 114, kPulseWidth, kFirstGate, 0.0},
        {5, 0, "90.0", 90.0, Role::Vertical, 20, 150, kPulseWidth, kFirstGate, 0.0},
    };
    return beams;
}

// Temperature: a vertical radar beam for the vertical correction and a
// vertical RASS beam.
const std::vector<BeamPlan>& temperatureBeams() {
    static const std::vector<BeamPlan> beams = {
        {5, 0, "90.0", 90.0, Role::Vertical, 20, 6, kPulseWidth, kFirstGate, 0.0},
        {6, 0, "90.0", 90.0, Role::Rass, 14, 66, kPulseWidth, kFirstGate, 0.0},
    };
    return beams;
}

// The second mode's wind beams: the first mode's directions with the short
// pulse, each dwelling 18 s after the first mode's beam of the same place.
std::vector<BeamPlan> shortPulseBeams() {
    std::vector<BeamPlan> beams = windBeams();
    for (BeamPlan& b : beams) {
        b.number += kShortBeamOffset;
        b.offsetSeconds += 18;
        b.pulseWidth = kShortPulseWidth;
        b.firstGate = kShortFirstGate;
        b.snrOffset = kShortPulseSnr;
    }
    return beams;
}

// The beams of one kind as the options lay them out: the standard plan, or
// with every beam's gate count replaced, or with the dwells a fixed time
// apart: the wind beams in the cycle's five slots (ten with two modes), the
// vertical radar dwell of the temperature in the first slot and its RASS
// dwell half a cycle later.
std::vector<BeamPlan> plannedBeams(const GenerateOptions& options, bool temperature,
                                   int& cycleSeconds) {
    std::vector<BeamPlan> beams = temperature ? temperatureBeams() : windBeams();
    if (!temperature && options.modes == 2) {
        const std::vector<BeamPlan> second = shortPulseBeams();
        beams.insert(beams.end(), second.begin(), second.end());
    }
    cycleSeconds = kCycleSeconds;
    if (options.dwellSeconds > 0) {
        const int slot = options.dwellSeconds;
        cycleSeconds = (temperature ? kDwellSlots : kDwellSlots * options.modes) * slot;
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
    const double spacing = beam.pulseWidth * 0.3 * 0.5;
    return beam.firstGate + gate * spacing * std::sin(beam.elevation * kPi / 180.0);
}

// The mean SNR of a radar beam's echo at a height (dB).
double meanSnr(const BeamPlan& beam, double z) {
    return (beam.role == Role::Vertical ? 24.0 : 22.0) - 11.0 * z / 1000.0 + beam.snrOffset;
}

// Weak echoes (GenerateOptions::weakEchoes): at a mean SNR near 0 dB a
// dwell's spectral peak is the echo only by chance (0.88 at 0 dB, 0.5 at
// -3 dB, 0.12 at -6 dB), else a noise peak anywhere within +-10 m/s; the
// echo's own velocity scatters by up to 2.5 m/s more (1.6 m/s at 0 dB).
// Weak gates are not made missing aloft: their peaks are noise instead.
struct WeakEcho {
    bool noisePeak = false;
    double velocity = 0.0;  // the noise peak's, or the echo's extra scatter
};

WeakEcho weakEcho(double snr, Random& random) {
    WeakEcho w;
    const double echoChance = 1.0 / (1.0 + std::exp(-(snr + 3.0) / 1.5));
    w.noisePeak = !random.chance(echoChance);
    w.velocity = w.noisePeak ? random.uniform(-10.0, 10.0)
                             : random.normal(2.5 / (1.0 + std::exp((snr - 1.0) / 1.5)));
    return w;
}

// What a gate's measurement is made of: the atmosphere, the outlier
// chance, and the stream of the weak echoes (null when off: the other
// numbers are drawn alike with and without it).
struct Conditions {
    const Atmosphere* atmosphere = nullptr;
    double outlierChance = -1.0;
    Random* weak = nullptr;
};

// The measured value of one gate: the beam's view of the field, plus noise,
// an occasional outlier, and missing gates that grow more frequent aloft.
GateValue measure(const BeamPlan& beam, double z, double hours, const Conditions& c,
                  Random& random) {
    const FieldValue f = c.atmosphere->at(z, hours);
    const bool weakEchoes = c.weak != nullptr && beam.role != Role::Rass;
    const double aloft = weakEchoes ? 0.0 : std::max(0.0, (z - 1400.0) / 1000.0);
    const double outlierChance = c.outlierChance;
    const WeakEcho echo = weakEchoes ? weakEcho(meanSnr(beam, z), *c.weak) : WeakEcho{};
    const double weak = echo.noisePeak ? 0.0 : echo.velocity;
    GateValue g;
    switch (beam.role) {
    case Role::Oblique: {
        const double a = beam.azimuth * kPi / 180.0;
        const double e = beam.elevation * kPi / 180.0;
        // Positive toward the antenna for the horizontal part, upward for w,
        // as the wind solution takes it.
        g.velocity = -(f.u * std::sin(a) + f.v * std::cos(a)) * std::cos(e) + f.w * std::sin(e) +
                     random.normal(0.3 + 0.1 * z / 1000.0) + weak;
        g.snr = meanSnr(beam, z) + random.normal(1.5);
        if (random.chance(outlierChance < 0.0 ? 0.06 : outlierChance)) {
            g.velocity = random.uniform(-12.0, 12.0);
        }
        if (echo.noisePeak) g.velocity = echo.velocity;
        if (random.chance(0.01 + 0.6 * aloft)) g.velocity = kMissingValue;
        break;
    }
    case Role::Vertical:
        g.velocity = f.w + random.normal(0.15) + weak;
        g.snr = meanSnr(beam, z) + random.normal(1.5);
        if (random.chance(outlierChance < 0.0 ? 0.05 : outlierChance)) {
            g.velocity = random.uniform(-6.0, 6.0);
        }
        if (echo.noisePeak) g.velocity = echo.velocity;
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
double obliqueRadial(const BeamPlan& beam, const Atmosphere& atmosphere, double z, double hours,
                     double du, double dv, Random& random) {
    const FieldValue f = atmosphere.at(z, hours);
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
    Contamination(const GenerateOptions& options, const Atmosphere& atmosphere, bool temperature,
                  int cycleSeconds)
        : atmosphere_(atmosphere),
          cycleSeconds_(cycleSeconds),
          clutterHours_(options.clutterHours),
          random_(options.seed * 2 + (temperature ? 1 : 0) + 0x9e3779b97f4a7c15ULL),
          on_(!temperature && (options.clutterFraction > 0.0 || options.birdFraction > 0.0)) {
        // Mean episode lengths in tries: clutter 10 to 30 minutes (or
        // about clutterHours; each beam dwells once a cycle), birds 10 to 30
        // minutes.
        const double clutterMinutes = clutterHours_ > 0.0 ? clutterHours_ * 60.0 : 20.0;
        clutterStart_ = startChance(options.clutterFraction, clutterMinutes * 60.0 / cycleSeconds);
        birdStart_ = startChance(options.birdFraction, 20.0 * 60.0 / cycleSeconds);
    }

    bool on() const { return on_; }

    // Contaminates one oblique dwell at `seconds` since the first day's
    // midnight (its gates as measured without contamination).
    void apply(const BeamPlan& beam, std::int64_t seconds, Dwell& dwell) {
        const double hours = static_cast<double>(seconds) / 3600.0;
        // Birds: one episode for all beams, decided at each cycle's first
        // dwell, in a band of the first mode's gates (of the gates at those
        // heights in the second mode).
        if (beam.number == 1 && seconds >= birdEnd_ && random_.chance(birdStart_)) {
            startBirds(beam, seconds, static_cast<int>(dwell.gates.size()));
        }
        if (seconds < birdEnd_) {
            for (std::size_t g = 0; g < dwell.gates.size(); ++g) {
                const double z = gateHeight(beam, static_cast<int>(g));
                if (z < birdBottom_ || z > birdTop_) continue;
                dwell.gates[g].velocity =
                    obliqueRadial(beam, atmosphere_, z, hours, birdU_, birdV_, random_);
                dwell.gates[g].snr = meanSnr(beam, z) + 6.0;
            }
        }
        // Clutter: an episode per beam, counted in that beam's dwells.
        const std::size_t b = static_cast<std::size_t>(beam.number);
        if (b >= clutterLeft_.size()) {
            clutterLeft_.resize(b + 1, 0);
            clutterGates_.resize(b + 1, 0);
        }
        if (clutterLeft_[b] == 0 && random_.chance(clutterStart_)) {
            const double minutes = clutterHours_ > 0.0
                                       ? random_.uniform(0.5, 1.5) * clutterHours_ * 60.0
                                       : random_.uniform(10.0, 30.0);
            clutterLeft_[b] = std::max(1, static_cast<int>(std::lround(minutes * 60.0 / cycle())));
            clutterGates_[b] = 1 + static_cast<int>(random_.uniform() * 3.0);
        }
        if (clutterLeft_[b] > 0) {
            --clutterLeft_[b];
            for (int g = 0; g < clutterGates_[b] && g < static_cast<int>(dwell.gates.size()); ++g) {
                GateValue& v = dwell.gates[static_cast<std::size_t>(g)];
                v.velocity = random_.normal(0.1);
                v.snr = meanSnr(beam, gateHeight(beam, g)) + 10.0;
            }
        }
    }

private:
    void startBirds(const BeamPlan& beam, std::int64_t seconds, int gates) {
        birdEnd_ = seconds + static_cast<std::int64_t>(random_.uniform(10.0, 30.0) * 60.0);
        int lowest = 0;
        while (lowest < gates && gateHeight(beam, lowest) < 200.0) ++lowest;
        int highest = lowest;
        while (highest + 1 < gates && gateHeight(beam, highest + 1) <= 1200.0) ++highest;
        const int low = lowest + static_cast<int>(random_.uniform() * (highest - lowest + 1));
        const int count = 1 + static_cast<int>(random_.uniform() * 5.0);
        // Half a gate of the first mode beyond its band's gates.
        const double half = 0.5 * (gateHeight(beam, 1) - gateHeight(beam, 0));
        birdBottom_ = gateHeight(beam, low) - half;
        birdTop_ = gateHeight(beam, low + count - 1) + half;
        const double airspeed = random_.uniform(8.0, 14.0);
        const double heading = random_.uniform(0.0, 2.0 * kPi);
        birdU_ = airspeed * std::sin(heading);
        birdV_ = airspeed * std::cos(heading);
    }

    // Chance per try that gives a share f of contaminated tries with
    // episodes of mean length n tries.
    static double startChance(double f, double n) {
        if (f <= 0.0) return 0.0;
        if (f >= 1.0) return 1.0;
        return std::min(1.0, f / (n * (1.0 - f)));
    }
    double cycle() const { return cycleSeconds_; }

    const Atmosphere& atmosphere_;
    int cycleSeconds_;
    double clutterHours_;
    Random random_;
    bool on_ = false;
    double clutterStart_ = 0.0;
    double birdStart_ = 0.0;
    std::vector<int> clutterLeft_;
    std::vector<int> clutterGates_;
    std::int64_t birdEnd_ = -1;
    double birdBottom_ = 0.0;
    double birdTop_ = -1.0;
    double birdU_ = 0.0;
    double birdV_ = 0.0;
};

// Nights of bird migration (GenerateOptions::migrationNights), drawn from a
// stream of their own: which nights, and each night's layer, density and
// flight.
class Migration {
public:
    Migration(const GenerateOptions& options, bool temperature) {
        if (temperature || options.migrationNights <= 0.0) return;
        Random draw(options.seed * 0x9e3779b97f4a7c15ULL + 0x5bd1e995ULL);
        random_ = Random(options.seed * 0xd1b54a32d192ed03ULL + 0x68e31da4ULL);
        // Night k runs from 20:00 of day k - 1 to 04:00 of day k.
        for (int k = 0; k <= options.days; ++k) {
            Night n;
            n.start = 24.0 * k - 4.0;
            n.end = 24.0 * k + 4.0;
            n.top = draw.uniform(800.0, 1500.0);
            n.density = draw.uniform(0.3, 0.7);
            n.airspeed = draw.uniform(8.0, 14.0);
            n.heading = draw.uniform(0.0, 2.0 * kPi);
            if (draw.chance(options.migrationNights)) nights_.push_back(n);
        }
    }

    bool on() const { return !nights_.empty(); }

    // Puts birds into the gates of one oblique dwell where they win it.
    void apply(const BeamPlan& beam, const Atmosphere& atmosphere, double hours, Dwell& dwell) {
        for (const Night& n : nights_) {
            if (hours <= n.start || hours >= n.end) continue;
            // Numbers grow over the first hour and a half and fall over the last.
            const double rise = std::min({1.0, (hours - n.start) / 1.5, (n.end - hours) / 1.5});
            for (std::size_t g = 0; g < dwell.gates.size(); ++g) {
                const double z = gateHeight(beam, static_cast<int>(g));
                // Full between 300 m and the top, thinning over 200 m above
                // and below.
                const double layer =
                    std::clamp(std::min((z - 100.0) / 200.0, (n.top + 200.0 - z) / 200.0), 0.0, 1.0);
                if (!random_.chance(n.density * rise * layer)) continue;
                const double speed = n.airspeed + random_.normal(2.0);
                const double heading = n.heading + random_.normal(2.0 / n.airspeed);
                dwell.gates[g].velocity =
                    obliqueRadial(beam, atmosphere, z, hours, speed * std::sin(heading),
                                  speed * std::cos(heading), random_);
                dwell.gates[g].snr = meanSnr(beam, z) + 6.0;
            }
        }
    }

private:
    struct Night {
        double start = 0.0, end = 0.0;  // hours since the first day's midnight
        double top = 1000.0;            // m above the site
        double density = 0.0;           // chance at the height of the night
        double airspeed = 10.0;         // m/s
        double heading = 0.0;           // radians, toward
    };
    std::vector<Night> nights_;
    Random random_{0};
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
    const Atmosphere atmosphere(options.weather, options.seed, options.days);
    Contamination contamination(options, atmosphere, temperature, cycleSeconds);
    Migration migration(options, temperature);
    Random weak(options.seed * 0xbf58476d1ce4e5b9ULL + (temperature ? 3 : 2));
    Conditions conditions;
    conditions.atmosphere = &atmosphere;
    conditions.outlierChance = options.outlierFraction;
    conditions.weak = options.weakEchoes ? &weak : nullptr;

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
                dwell.pulseWidth = beam.pulseWidth;
                dwell.firstGateHeight = beam.firstGate;
                dwell.rassFlag = beam.role == Role::Rass ? 1 : 0;
                const double hours = k * 24.0 + second / 3600.0;
                for (int g = 0; g < beam.gates; ++g) {
                    dwell.gates.push_back(measure(beam, gateHeight(beam, g), hours, conditions, random));
                }
                if (contamination.on() && beam.role == Role::Oblique) {
                    contamination.apply(beam, static_cast<std::int64_t>(k) * 86400 + second,
                                        dwell);
                }
                if (migration.on() && beam.role == Role::Oblique) {
                    migration.apply(beam, atmosphere, hours, dwell);
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

bool realDayOptions(const GenerateOptions& options) {
    return options.modes != 1 || options.weakEchoes || options.clutterHours > 0.0 ||
           options.migrationNights > 0.0 || options.weather != Weather::Smooth;
}

std::string truthText(const GenerateOptions& options, int dayIndex) {
    std::string text = "time,height_m_msl,u,v,w,tv_c\n";
    const CalendarTime day = addMinutes(options.firstDay, dayIndex * 24 * 60);
    const Atmosphere atmosphere(options.weather, options.seed, options.days);
    const bool fine = realDayOptions(options);
    const int stepMinutes = fine ? kFineTruthStepMinutes : kTruthStepMinutes;
    const int stepMetres = fine ? kFineTruthStepMetres : kTruthStepMetres;
    int top = kTruthTopMetres;
    if (fine) {
        // Up to the highest gate of any beam.
        int cycleSeconds = 0;
        for (const BeamPlan& beam : plannedBeams(options, false, cycleSeconds)) {
            const double highest = gateHeight(beam, beam.gates - 1);
            while (top < highest) top += stepMetres;
        }
    }
    for (int minute = options.fromMinute; minute <= options.toMinute; minute += stepMinutes) {
        const CalendarTime t = addMinutes(day, minute);
        const double hours = dayIndex * 24.0 + minute / 60.0;
        for (int z = 0; z <= top; z += stepMetres) {
            const FieldValue f = atmosphere.at(z, hours);
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
