#include "consensus/temperature_consensus.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "consensus/day_header.h"
#include "consensus/gate_consensus.h"
#include "core/numeric.h"
#include "core/parallel.h"

namespace qv {
namespace {

// Constants of the model, all single precision.
constexpr float kInverseSoundFactor = -0.049882773f;  // -1 / 20.047 (c = 20.047 sqrt(Tv))
constexpr float kKelvinOffset = 273.15f;
constexpr float kInverse180 = 0.0055555557f;  // 1 / 180
constexpr float kFailedConsensus = -950.0f;
constexpr std::int16_t kQcValid = 0;
constexpr std::int16_t kQcInvalid = 8;

// Gates of an accumulator that its per-gate tables hold.
int tableGates(const BeamAccumulator& a) { return std::clamp<int>(a.maxGateCount, 0, kMaxGates); }

// Gates of an accumulator whose per-gate tables and sample arrays exist.
int usableGates(const BeamAccumulator& a) {
    int gates = tableGates(a);
    if (a.sampleCapacity > 0) {
        const std::size_t perGate = static_cast<std::size_t>(a.sampleCapacity);
        const std::size_t stored =
            std::min({a.velocityData.size(), a.temperatureData.size(), a.snrData.size()});
        gates = std::min<int>(gates, static_cast<int>(stored / perGate));
    } else {
        gates = 0;
    }
    return gates;
}

// Samples per gate that the arrays really hold.
int usableSamples(const BeamAccumulator& a) {
    return std::clamp<int>(a.sampleCount, 0, std::max<int>(a.sampleCapacity, 0));
}

const BeamSetting* findSetting(ConsensusJob& job, const BeamAccumulator& a) {
    for (const BeamSetting* s : job.beamSettings) {
        if (s->azimuth == static_cast<std::int32_t>(a.azimuth) && s->elevation == a.elevation &&
            s->pulseWidth == a.pulseWidth && s->rassFlag == a.rassFlag) {
            return s;
        }
    }
    return nullptr;
}

// Largest group of samples of a RASS gate whose virtual temperatures fit a
// window of width W (degrees Celsius) centred on one of the gate's own
// samples; the earliest centre wins a tie. There is no missing-value test
// on this branch: unwritten slots hold NaN, which fails the window test.
void averageRassGate(BeamAccumulator& a, int gate, int samples) {
    const std::size_t g = static_cast<std::size_t>(gate);
    rassGateConsensus(a.velocitySamples(gate), a.temperatureSamples(gate), a.snrSamples(gate),
                      samples, a.consensusWindow,
                      {a.consensusCount[g], a.meanVelocity[g], a.meanTemperature[g], a.meanSnr[g]});
}

// Radar gates are grouped on radial velocity exactly as for winds, leaving
// out missing velocities; their mean temperature stays 0.
void averageGate(BeamAccumulator& a, int gate, int samples) {
    if (a.rassFlag != 0) {
        averageRassGate(a, gate, samples);
        return;
    }
    const std::size_t g = static_cast<std::size_t>(gate);
    radarGateConsensus(a.velocitySamples(gate), a.snrSamples(gate), samples, a.consensusWindow,
                       a.consensusCount[g], a.meanVelocity[g], a.meanSnr[g]);
}

// Consensus pass over every accumulator of every period; the accumulators
// are independent of one another, so they are shared out between two threads.
void averageAllBeams(ConsensusJob& job) {
    std::vector<BeamAccumulator*> averaged;
    for (AveragingPeriod* period : job.periods) {
        for (BeamAccumulator* a : period->beams) {
            const BeamSetting* setting = findSetting(job, *a);
            if (!setting) continue;  // no window or threshold to average with
            a->consensusWindow = setting->consensusWindow;
            a->consensusPercent = setting->consensusPercent;
            averaged.push_back(a);
        }
    }
    forEachInParallel(averaged.size(), [&averaged](std::size_t k) {
        BeamAccumulator& a = *averaged[k];
        const int gates = usableGates(a);
        const int samples = usableSamples(a);
        for (int g = 0; g < gates; ++g) averageGate(a, g, samples);
    });
}

// A beam passes at a gate when its threshold is at most the share of its
// samples in the gate's consensus, in percent (division first, in double).
// A gate without a sample in its consensus never passes.
bool passes(const BeamAccumulator* beam, int gate) {
    if (!beam) return false;
    const std::uint32_t inConsensus = beam->consensusCount[static_cast<std::size_t>(gate)];
    if (inConsensus == 0) return false;
    const double count = static_cast<double>(inConsensus);
    const double p = count / static_cast<double>(beam->sampleCount) * 100.0;
    return static_cast<double>(beam->consensusPercent) <= p;
}

// Height of a RASS gate above mean sea level, metres.
double gateHeight(const BeamAccumulator& rass, int gate, std::int32_t siteElevation) {
    const float degToRad =
        static_cast<float>(4.0 * std::atan(1.0) * static_cast<double>(kInverse180));
    const double slant =
        std::sin(static_cast<double>(degToRad) * static_cast<double>(rass.elevation));
    return slant * static_cast<double>(rass.gateSpacing) *
               static_cast<double>(static_cast<float>(gate)) +
           static_cast<double>(rass.firstGateHeight) + static_cast<double>(siteElevation);
}

// The last RASS beam (flag 1) and the last radar beam (flag 0) of a period.
void chooseBeams(ConsensusJob& job, AveragingPeriod& period) {
    job.rassBeam = nullptr;
    job.radarBeam = nullptr;
    for (BeamAccumulator* a : period.beams) {
        if (a->rassFlag == 1) {
            job.rassBeam = a;
        } else if (a->rassFlag == 0) {
            job.radarBeam = a;
        }
    }
}

// The day's header, formed at its first period holding a RASS beam: pulse
// length from that period's radar beam, gate spacing and the beam entry
// from its RASS beam.
DayHeader dayHeader(ConsensusJob& job) {
    const BeamAccumulator& rass = *job.rassBeam;
    DayHeader header = jobDayHeader(job);
    header.variant = 1;
    header.pulseWidth = job.radarBeam ? job.radarBeam->pulseWidth : 0;
    header.gateSpacing = rass.gateSpacing;
    header.beams.push_back(headerBeam(rass));
    return header;
}

// One period's block: Tv and TvC of every gate of its RASS beam.
TemperaturePeriod computePeriod(ConsensusJob& job, const AveragingPeriod& period) {
    BeamAccumulator& rass = *job.rassBeam;
    const int gates = tableGates(rass);
    TemperaturePeriod block;
    std::copy(std::begin(period.key), std::end(period.key), std::begin(block.key));
    block.gates.resize(static_cast<std::size_t>(gates));
    for (int g = 0; g < gates; ++g) {
        evaluateTemperatureGate(job, g);
        const std::size_t i = static_cast<std::size_t>(g);
        TemperatureGate& line = block.gates[i];
        line.qcCode = job.qcCode;
        line.height = gateHeight(rass, g, job.record.siteElevation);
        line.tv = job.tvOut;
        line.tvc = job.tvcOut;
        line.count =
            static_cast<int>(std::min<std::uint32_t>(rass.consensusCount[i], 2147483647u));
        line.snr = truncToInt(rass.meanSnr[i]);
    }
    return block;
}

}  // namespace

void evaluateTemperatureGate(ConsensusJob& job, int gate) {
    BeamAccumulator* rass = job.rassBeam;
    if (!rass || gate < 0 || gate >= kMaxGates) {
        job.verticalCorrection = 0.0f;
        job.qcCode = kQcInvalid;
        job.tvOut = job.tvcOut = kFailedConsensus;
        return;
    }
    const std::size_t g = static_cast<std::size_t>(gate);

    const bool radarPasses = passes(job.radarBeam, gate);
    job.verticalCorrection = radarPasses ? job.radarBeam->meanVelocity[g] : 0.0f;
    // The correction is applied whatever the policy; TvC always uses it.
    rass->meanVelocity[g] = static_cast<float>(static_cast<double>(rass->meanVelocity[g]) -
                                               static_cast<double>(job.verticalCorrection));

    const VerticalPolicy policy = job.verticalPolicy();
    const bool radarRequired =
        policy != VerticalPolicy::NotUsed && policy != VerticalPolicy::WhenAvailable;
    if (!passes(rass, gate) || (radarRequired && !radarPasses)) {
        job.qcCode = kQcInvalid;
        job.tvOut = job.tvcOut = kFailedConsensus;
        return;
    }

    job.tvOut = rass->meanTemperature[g];
    const double c =
        static_cast<double>(rass->meanVelocity[g]) * static_cast<double>(kInverseSoundFactor);
    job.tvcOut = static_cast<float>(c * c - static_cast<double>(kKelvinOffset));
    job.qcCode = kQcValid;
}

DayProducts runTemperatureConsensus(ConsensusJob& job) {
    job.headerPending = 1;
    job.statusText = "Calculating temperatures...";
    job.showMain(job.statusText);
    job.showDetail("");

    averageAllBeams(job);

    TemperatureDay day;
    for (AveragingPeriod* period : job.periods) {
        chooseBeams(job, *period);
        // Without a RASS beam there is nothing to write for the period, and
        // the day's files are not created for it.
        if (!job.rassBeam) continue;
        if (job.headerPending == 1) {
            day.header = dayHeader(job);
            job.headerPending = 0;
        }
        day.periods.push_back(computePeriod(job, *period));
    }
    DayProducts products;
    if (!day.periods.empty()) products.temperature.push_back(std::move(day));
    return products;
}

}  // namespace qv
