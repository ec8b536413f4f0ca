#include "consensus/wind_consensus.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "consensus/day_header.h"
#include "consensus/gate_consensus.h"
#include "core/numeric.h"
#include "core/parallel.h"

namespace qv {
namespace {

// Float expressions must be evaluated in their own type (no x87 excess
// precision): the rounding points of the consensus are part of the output.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must not carry excess precision");
// The threshold test and the gate height are extended precision.
static_assert(std::numeric_limits<long double>::digits >= 64, "long double must be extended");

constexpr float kVerticalElevation = 90.0f;  // vertical exactly; oblique below
constexpr int kOppositeAzimuth = 180;
constexpr float kPercentScale = 100.0f;
constexpr float kDbToExponent = 0.1f;
constexpr float kDbScale = 10.0f;
constexpr float kHalf = 0.5f;
constexpr float kFailedConsensus = -950.0f;
constexpr float kFlagged = -980.0f;
constexpr std::int32_t kFlaggedSnr = -99;
constexpr std::int16_t kQcValid = 0;
constexpr std::int16_t kQcInvalid = 8;

// Degrees to radians, rounded to single precision as the solution uses it.
float degreesToRadians() {
    static const float k = static_cast<float>(4.0 * std::atan(1.0) *
                                              static_cast<double>(0.0055555557f));
    return k;
}

double radiansToDegrees() { return 180.0 / (4.0 * std::atan(1.0)); }

bool isOblique(const BeamAccumulator& a) { return a.elevation < kVerticalElevation; }
bool isVertical(const BeamAccumulator& a) { return a.elevation == kVerticalElevation; }

int azimuthDifference(const BeamAccumulator& a, const BeamAccumulator& b) {
    return std::abs(static_cast<int>(a.azimuth) - static_cast<int>(b.azimuth));
}

// The first beam setting of the accumulator's azimuth, elevation and pulse
// width; the RASS flag is not compared.
const BeamSetting* findSetting(const ConsensusJob& job, const BeamAccumulator& a) {
    for (const BeamSetting* s : job.beamSettings) {
        if (s->azimuth == static_cast<std::int32_t>(a.azimuth) && s->elevation == a.elevation &&
            s->pulseWidth == a.pulseWidth) {
            return s;
        }
    }
    return nullptr;
}

// Every accumulator with a beam setting takes the setting's window and
// threshold and is averaged gate by gate. The accumulators are independent
// of one another, so they are shared out between two threads.
void consensusPass(ConsensusJob& job) {
    std::vector<BeamAccumulator*> averaged;
    for (AveragingPeriod* period : job.periods) {
        for (BeamAccumulator* a : period->beams) {
            const BeamSetting* s = findSetting(job, *a);
            if (!s) continue;
            a->consensusPercent = s->consensusPercent;
            a->consensusWindow = s->consensusWindow;
            averaged.push_back(a);
        }
    }
    forEachInParallel(averaged.size(), [&averaged](std::size_t k) {
        BeamAccumulator* a = averaged[k];
        const int gates = std::min(a->maxGateCount, kMaxGates);
        for (int g = 0; g < gates; ++g) {
            const auto i = static_cast<std::size_t>(g);
            radarGateConsensus(a->velocitySamples(g), a->snrSamples(g), a->sampleCount,
                               a->consensusWindow, a->consensusCount[i], a->meanVelocity[i],
                               a->meanSnr[i]);
        }
    });
}

void buildModeList(ConsensusJob& job) {
    for (const BeamSetting* s : job.beamSettings) {
        auto& modes = job.pulseWidthModes;
        if (std::find(modes.begin(), modes.end(), s->pulseWidth) == modes.end()) {
            modes.push_back(s->pulseWidth);
        }
    }
    job.outputVariant = 1;
}

// Chooses the period's two oblique beams and its vertical beam of the mode.
// The second oblique beam must not be parallel to the first: an azimuth
// that differs by a multiple of 180 degrees (0 and 360 as well as 0 and
// 180) would leave the solution without a second direction.
void chooseBeams(ConsensusJob& job, const AveragingPeriod& period, std::int32_t mode) {
    job.firstObliqueBeam = job.secondObliqueBeam = job.verticalBeam = nullptr;
    for (BeamAccumulator* a : period.beams) {
        if (a->pulseWidth == mode && isOblique(*a)) {
            job.firstObliqueBeam = a;
            break;
        }
    }
    if (!job.firstObliqueBeam) return;
    const BeamAccumulator& first = *job.firstObliqueBeam;
    for (BeamAccumulator* a : period.beams) {
        const int difference = azimuthDifference(first, *a);
        if (a->pulseWidth == mode && difference % kOppositeAzimuth != 0 && isOblique(*a)) {
            job.secondObliqueBeam = a;
            break;
        }
    }
    for (BeamAccumulator* a : period.beams) {
        if (a->pulseWidth == mode && isVertical(*a)) {
            job.verticalBeam = a;
            break;
        }
    }
}

// How much of the vertical motion's radial part (w sin e) an oblique beam's
// consensus velocity holds, gate by gate, as folding has combined it: 1 for
// the beam's own velocity, 0 for the half-difference with its opposite beam
// (the vertical parts cancel), -1 for the negated velocity of the opposite
// beam taken in place of a failed gate (the opposite beam sees the same w
// sin e, so negating it negates the vertical part too). Kept for the
// current period's two oblique beams by the corrected solution only.
using VerticalShares = std::array<float, kMaxGates>;

// Folds beam `a` into `b` gate by gate: as the beam opposite to b (velocity
// half-difference) or as a duplicate of b (mean). With `shares` (an
// opposite beam under the corrected solution) the vertical share of each
// gate of b follows the velocity it is given; `a` holds its own velocity,
// share 1.
void fold(const BeamAccumulator& a, BeamAccumulator& b, bool opposite,
          VerticalShares* shares = nullptr) {
    const int gates = std::min(a.maxGateCount, kMaxGates);
    for (int g = 0; g < gates; ++g) {
        const auto i = static_cast<std::size_t>(g);
        if (!passesWindThreshold(a, g)) continue;
        if (passesWindThreshold(b, g)) {
            b.consensusCount[i] = b.consensusCount[i] + a.consensusCount[i];
            const double linearA = std::pow(
                10.0, static_cast<double>(a.meanSnr[i]) * static_cast<double>(kDbToExponent));
            const double linearB = std::pow(
                10.0, static_cast<double>(b.meanSnr[i]) * static_cast<double>(kDbToExponent));
            b.meanSnr[i] = static_cast<float>(static_cast<double>(kDbScale) *
                                              std::log10((linearA + linearB) *
                                                         static_cast<double>(kHalf)));
            const double va = static_cast<double>(a.meanVelocity[i]);
            const double vb = static_cast<double>(b.meanVelocity[i]);
            b.meanVelocity[i] =
                static_cast<float>((opposite ? vb - va : vb + va) * static_cast<double>(kHalf));
            if (opposite) b.pairedFlag[i] = 1;
            if (shares) (*shares)[i] = ((*shares)[i] - 1.0f) * kHalf;
        } else {
            b.consensusCount[i] = a.consensusCount[i];
            b.meanSnr[i] = a.meanSnr[i];
            b.meanVelocity[i] = opposite ? -a.meanVelocity[i] : a.meanVelocity[i];
            if (opposite) b.pairedFlag[i] = 0;
            if (shares) (*shares)[i] = -1.0f;
        }
    }
}

// The beams the mode's header lists, gathered while its header is pending.
struct PendingHeader {
    std::vector<HeaderBeam> beams;
};

void appendWhilePending(ConsensusJob& job, PendingHeader& pending, const BeamAccumulator& beam) {
    if (job.headerPending == 1) pending.beams.push_back(headerBeam(beam));
}

// The vertical shares of the current period's two oblique beams under the
// corrected solution; every gate starts with the beam's own velocity.
struct PeriodShares {
    VerticalShares first;
    VerticalShares second;
    void reset() {
        first.fill(1.0f);
        second.fill(1.0f);
    }
};

// True when gate g of `a` lies at the height of gate g of `b`: the same
// pulse width (so the same range resolution), first gate height and gate
// spacing.
bool sameGates(const BeamAccumulator& a, const BeamAccumulator& b) {
    return a.pulseWidth == b.pulseWidth && a.firstGateHeight == b.firstGateHeight &&
           a.gateSpacing == b.gateSpacing;
}

// Folds the beams opposite to the oblique beams and the duplicates of the
// vertical beam, in beam order: of any pulse width and RASS flag, or under
// the corrected solution (`shares` given) only beams whose gates lie at the
// heights of the beam they fold into, keeping the oblique beams' vertical
// shares.
void foldBeams(ConsensusJob& job, PendingHeader& pending, const AveragingPeriod& period,
               PeriodShares* shares) {
    BeamAccumulator& first = *job.firstObliqueBeam;
    BeamAccumulator& second = *job.secondObliqueBeam;
    BeamAccumulator& vertical = *job.verticalBeam;
    const auto fits = [shares](const BeamAccumulator& a, const BeamAccumulator& b) {
        return !shares || sameGates(a, b);
    };
    for (BeamAccumulator* a : period.beams) {
        if (azimuthDifference(first, *a) == kOppositeAzimuth && isOblique(first) &&
            isOblique(*a) && fits(*a, first)) {
            appendWhilePending(job, pending, *a);
            fold(*a, first, true, shares ? &shares->first : nullptr);
        }
        if (azimuthDifference(second, *a) == kOppositeAzimuth && isOblique(second) &&
            isOblique(*a) && fits(*a, second)) {
            appendWhilePending(job, pending, *a);
            fold(*a, second, true, shares ? &shares->second : nullptr);
        }
        if (a->elevation == vertical.elevation && a->azimuth != vertical.azimuth &&
            fits(*a, vertical)) {
            appendWhilePending(job, pending, *a);
            fold(*a, vertical, false);
        }
    }
}

// The sines and cosines a period's gates share: the oblique beams'
// elevations and azimuths are the same at every gate, so each is evaluated
// once per period (the same calls on the same arguments, the same values).
struct ObliqueGeometry {
    double sinElevation = 0.0;
    double cosElevation = 0.0;
    float sinAzimuth = 0.0f;  // rounded to single precision as the solution uses it
    double cosAzimuth = 0.0;
};

ObliqueGeometry obliqueGeometry(const BeamAccumulator& beam) {
    ObliqueGeometry g;
    const double e = static_cast<double>(degreesToRadians()) * static_cast<double>(beam.elevation);
    g.sinElevation = std::sin(e);
    g.cosElevation = std::cos(e);
    const double a = static_cast<double>(degreesToRadians()) * static_cast<double>(beam.azimuth);
    g.sinAzimuth = static_cast<float>(std::sin(a));
    g.cosAzimuth = std::cos(a);
    return g;
}

struct PeriodGeometry {
    ObliqueGeometry first;
    ObliqueGeometry second;
    long double sinFirstElevation = 0.0L;  // for the gate heights
};

PeriodGeometry periodGeometry(const ConsensusJob& job) {
    PeriodGeometry g;
    g.first = obliqueGeometry(*job.firstObliqueBeam);
    g.second = obliqueGeometry(*job.secondObliqueBeam);
    const long double elevation = static_cast<long double>(degreesToRadians()) *
                                  static_cast<long double>(job.firstObliqueBeam->elevation);
    g.sinFirstElevation = std::sin(elevation);
    return g;
}

// Radial wind of an oblique beam at a gate, less the vertical motion's part
// unless the gate already is a half-difference of opposite beams.
double horizontalRadial(const BeamAccumulator& beam, const ObliqueGeometry& geometry, int gate,
                        float verticalCorrection) {
    const auto i = static_cast<std::size_t>(gate);
    const double velocity = static_cast<double>(beam.meanVelocity[i]);
    if (beam.pairedFlag[i]) return velocity / geometry.cosElevation;
    return (velocity - geometry.sinElevation * static_cast<double>(verticalCorrection)) /
           geometry.cosElevation;
}

// The same less the vertical part the gate's velocity holds by its share:
// nothing for a half-difference, w sin e for the beam's own velocity (both
// as above), and w sin e added back for a velocity negated from the
// opposite beam.
double correctedRadial(const BeamAccumulator& beam, const ObliqueGeometry& geometry, int gate,
                       float verticalCorrection, float share) {
    const double velocity = static_cast<double>(beam.meanVelocity[static_cast<std::size_t>(gate)]);
    if (share == 0.0f) return velocity / geometry.cosElevation;
    return (velocity - static_cast<double>(share) * geometry.sinElevation *
                           static_cast<double>(verticalCorrection)) /
           geometry.cosElevation;
}

// u and v satisfying R = -(u sin a + v cos a) for both oblique beams; with
// `shares` the vertical part is taken out by each gate's share.
void solveWind(ConsensusJob& job, const PeriodGeometry& geometry, int gate,
               const PeriodShares* shares) {
    const auto i = static_cast<std::size_t>(gate);
    const double r1 =
        shares ? correctedRadial(*job.firstObliqueBeam, geometry.first, gate,
                                 job.verticalCorrection, shares->first[i])
               : horizontalRadial(*job.firstObliqueBeam, geometry.first, gate,
                                  job.verticalCorrection);
    const double r2 =
        shares ? correctedRadial(*job.secondObliqueBeam, geometry.second, gate,
                                 job.verticalCorrection, shares->second[i])
               : horizontalRadial(*job.secondObliqueBeam, geometry.second, gate,
                                  job.verticalCorrection);
    const float s1 = geometry.first.sinAzimuth;
    const double c1 = geometry.first.cosAzimuth;
    const float s2 = geometry.second.sinAzimuth;
    const double c2 = geometry.second.cosAzimuth;
    const float p1 = static_cast<float>(c2 * static_cast<double>(s1));
    const float q1 = static_cast<float>(c1 * static_cast<double>(s2));
    job.uOut = static_cast<float>(-(r1 * c2 - r2 * c1) /
                                  (static_cast<double>(p1) - static_cast<double>(q1)));
    job.vOut = static_cast<float>(
        -(r1 * static_cast<double>(s2) - r2 * static_cast<double>(s1)) /
        (static_cast<double>(q1) - static_cast<double>(p1)));
}

long double gateHeight(const ConsensusJob& job, const PeriodGeometry& geometry, int gate) {
    const BeamAccumulator& first = *job.firstObliqueBeam;
    return static_cast<long double>(job.record.siteElevation) +
           static_cast<long double>(first.firstGateHeight) +
           static_cast<long double>(gate) * static_cast<long double>(first.gateSpacing) *
               geometry.sinFirstElevation;
}

bool snrFlagged(const BeamAccumulator& beam, int gate) {
    return truncToInt(beam.meanSnr[static_cast<std::size_t>(gate)]) == kFlaggedSnr;
}

// The period's block of the mode's day: one gate line per gate of the
// three beams.
WindPeriod computePeriod(ConsensusJob& job, const AveragingPeriod& period,
                         const PeriodShares* shares) {
    BeamAccumulator& first = *job.firstObliqueBeam;
    BeamAccumulator& second = *job.secondObliqueBeam;
    BeamAccumulator& vertical = *job.verticalBeam;
    const int gates = std::clamp(
        std::min({first.maxGateCount, second.maxGateCount, vertical.maxGateCount}), 0, kMaxGates);

    WindPeriod block;
    std::copy(std::begin(period.key), std::end(period.key), std::begin(block.key));
    block.gates.resize(static_cast<std::size_t>(gates));
    const PeriodGeometry geometry = periodGeometry(job);
    for (int t = 0; t < gates; ++t) {
        const auto i = static_cast<std::size_t>(t);
        selectVerticalCorrection(job, t);
        solveWind(job, geometry, t, shares);
        finishWindGate(job, t);
        if (snrFlagged(first, t) || snrFlagged(second, t) || snrFlagged(vertical, t)) {
            job.qcCode = kQcInvalid;
            job.speedOut = job.directionOut = kFlagged;
            first.consensusCount[i] = second.consensusCount[i] = vertical.consensusCount[i] = 0;
        }
        WindGate& line = block.gates[i];
        line.qcCode = job.qcCode;
        line.height = gateHeight(job, geometry, t);
        line.speed = job.speedOut;
        line.direction = truncToInt(job.directionOut);
        line.u = job.uOut;
        line.v = job.vOut;
        line.w = vertical.meanVelocity[i];
        line.countU = first.consensusCount[i];
        line.countV = second.consensusCount[i];
        line.countW = vertical.consensusCount[i];
        line.snrU = truncToInt(first.meanSnr[i]);
        line.snrV = truncToInt(second.meanSnr[i]);
        line.snrW = truncToInt(vertical.meanSnr[i]);
    }
    return block;
}

// The header of the mode's day, formed at its first complete period.
DayHeader modeHeader(ConsensusJob& job, PendingHeader& pending) {
    DayHeader header = jobDayHeader(job);
    header.variant = job.outputVariant;
    header.pulseWidth = job.verticalBeam->pulseWidth;
    header.gateSpacing = job.firstObliqueBeam->gateSpacing;
    header.beams = std::move(pending.beams);
    header.correctedWinds = job.params.correctedWinds;
    return header;
}

// The mode's day; no periods when no period of the day is complete.
WindDay runMode(ConsensusJob& job, std::int32_t mode) {
    WindDay day;
    PendingHeader pending;
    // The corrected solution's vertical shares, one period at a time.
    PeriodShares periodShares;
    PeriodShares* const shares = job.params.correctedWinds ? &periodShares : nullptr;
    job.headerPending = 1;
    for (AveragingPeriod* period : job.periods) {
        if (job.headerPending == 1) pending.beams.clear();
        chooseBeams(job, *period, mode);
        if (!job.firstObliqueBeam) continue;
        if (job.headerPending == 1) {
            appendWhilePending(job, pending, *job.firstObliqueBeam);
            if (job.secondObliqueBeam) appendWhilePending(job, pending, *job.secondObliqueBeam);
            if (job.verticalBeam) appendWhilePending(job, pending, *job.verticalBeam);
        }
        if (!job.secondObliqueBeam || !job.verticalBeam) continue;
        if (shares) shares->reset();
        foldBeams(job, pending, *period, shares);
        if (job.headerPending == 1) {
            day.header = modeHeader(job, pending);
            job.headerPending = 0;
        }
        day.periods.push_back(computePeriod(job, *period, shares));
    }
    return day;
}

}  // namespace

bool passesWindThreshold(const BeamAccumulator& beam, int gate) {
    // A gate without a sample in its consensus holds no wind, whatever the
    // threshold says.
    const std::uint32_t count = beam.consensusCount[static_cast<std::size_t>(gate)];
    if (count == 0) return false;
    const long double ratio =
        static_cast<long double>(count) /
        static_cast<long double>(beam.sampleCount) * static_cast<long double>(kPercentScale);
    return static_cast<long double>(beam.consensusPercent) <= ratio;
}

void selectVerticalCorrection(ConsensusJob& job, int gate) {
    const BeamAccumulator* vertical = job.verticalBeam;
    const float velocity = vertical ? vertical->meanVelocity[static_cast<std::size_t>(gate)] : 0.0f;
    switch (job.verticalPolicy()) {
        case VerticalPolicy::NotUsed:
            job.verticalCorrection = 0.0f;
            break;
        case VerticalPolicy::WhenAvailable:
            job.verticalCorrection =
                vertical && passesWindThreshold(*vertical, gate) ? velocity : 0.0f;
            break;
        case VerticalPolicy::Required:
            job.verticalCorrection = velocity;
            break;
        case VerticalPolicy::None:
            break;
    }
}

void finishWindGate(ConsensusJob& job, int gate) {
    const VerticalPolicy policy = job.verticalPolicy();
    const bool testVertical =
        policy != VerticalPolicy::NotUsed && policy != VerticalPolicy::WhenAvailable;
    const bool pass = job.firstObliqueBeam && passesWindThreshold(*job.firstObliqueBeam, gate) &&
                      job.secondObliqueBeam &&
                      passesWindThreshold(*job.secondObliqueBeam, gate) &&
                      (!testVertical ||
                       (job.verticalBeam && passesWindThreshold(*job.verticalBeam, gate)));
    if (!pass) {
        job.qcCode = kQcInvalid;
        job.speedOut = job.directionOut = kFailedConsensus;
        return;
    }
    const double u = static_cast<double>(job.uOut);
    const double v = static_cast<double>(job.vOut);
    job.speedOut = static_cast<float>(std::sqrt(u * u + v * v));
    job.directionOut = static_cast<float>(std::atan2(-u, -v) * radiansToDegrees());
    if (job.directionOut < 0.0f) {
        job.directionOut = static_cast<float>(static_cast<double>(job.directionOut) + 360.0);
    }
    job.qcCode = kQcValid;
}

DayProducts runWindConsensus(ConsensusJob& job) {
    job.showMain("Calculating winds...");
    job.showDetail("");
    job.uOut = job.vOut = job.speedOut = job.directionOut = 0.0f;

    DayProducts products;
    consensusPass(job);
    buildModeList(job);
    for (const std::int32_t mode : job.pulseWidthModes) {
        WindDay day = runMode(job, mode);
        if (!day.periods.empty()) products.winds.push_back(std::move(day));
        ++job.outputVariant;
    }
    return products;
}

}  // namespace qv
