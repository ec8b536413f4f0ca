// The period store: one day of dwells grouped into averaging periods and
// per-beam accumulators, and the beam settings table that outlives days.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/record_list.h"
#include "core/time.h"

namespace qv {

inline constexpr int kMaxGates = 100;

// The dwell a reader has just read (one beam, one time, a profile of gates).
struct MomentRecord {
    CalendarTime recordTime;
    std::int16_t recordDayOfYear = 0;
    std::int16_t processDayOfYear = 0;
    std::int16_t azimuth = 0;
    float elevation = 0.0f;
    std::int32_t pulseWidth = 0;
    std::int32_t firstGateHeight = 0;
    float gateSpacing = 0.0f;
    std::int16_t gateCount = 0;  // 0..kMaxGates; readers cut longer dwells
    // Gate values; gates the input did not supply hold kMissingSample.
    std::array<float, kMaxGates> gateVelocity{};
    std::array<float, kMaxGates> gateSnr{};
    std::int32_t rassFlag = 0;
    TimeValue recordFileTime = 0;

    // Site fields, set per file by the readers.
    std::string stationName;  // at most 49 characters
    std::int16_t latitudeCenti = 0;
    std::int16_t longitudeCenti = 0;
    std::int32_t siteElevation = 0;
};

// One beam's dwells within one averaging period.
struct BeamAccumulator {
    std::int16_t azimuth = 0;
    std::int32_t consensusPercent = 0;
    std::int32_t pulseWidth = 0;
    std::int32_t firstGateHeight = 0;
    float gateSpacing = 0.0f;
    float elevation = 0.0f;
    float consensusWindow = 0.0f;
    std::array<float, kMaxGates> meanVelocity{};
    std::array<float, kMaxGates> meanTemperature{};
    std::array<float, kMaxGates> meanSnr{};
    std::int32_t rassFlag = 0;
    std::array<std::int32_t, kMaxGates> pairedFlag{};
    std::int32_t maxGateCount = 0;
    std::int32_t sampleCount = 0;
    std::int32_t gateCapacity = kMaxGates;
    std::int32_t sampleCapacity = 0;
    std::array<std::uint32_t, kMaxGates> consensusCount{};

    // Sample arrays, gate-major: gate g's samples start at g * sampleCapacity.
    // Of the first maxGateCount gates and sampleCount samples, the slots a
    // dwell did not write hold kMissingSample; slots outside are not in use
    // and hold anything.
    std::vector<float> velocityData;
    std::vector<float> temperatureData;
    std::vector<float> snrData;

    const float* velocitySamples(int gate) const { return &velocityData[offset(gate)]; }
    const float* temperatureSamples(int gate) const { return &temperatureData[offset(gate)]; }
    const float* snrSamples(int gate) const { return &snrData[offset(gate)]; }

private:
    std::size_t offset(int gate) const {
        return static_cast<std::size_t>(gate) * static_cast<std::size_t>(sampleCapacity);
    }
};

// A period of `averagingMinutes`, named by the "HHMM" of its start.
struct AveragingPeriod {
    char key[5] = {0, 0, 0, 0, 0};
    RecordList<BeamAccumulator> beams;
};

// One row of the consensus settings table.
struct BeamSetting {
    std::int32_t azimuth = 0;
    std::int32_t consensusPercent = 0;
    std::int32_t pulseWidth = 0;
    float elevation = 0.0f;
    float consensusWindow = 0.0f;
    std::int32_t rassFlag = 0;
};

struct ConsensusJob;

// Puts the job's current MomentRecord into the store; the anchor date is the
// date of the file being read. Dwells of another day of year, or with a time
// the calendar rejects, are shown in the detail status line and dropped.
void AccumulateRecord(ConsensusJob& job, const CalendarTime& anchorDate);

// Frees every accumulator and period of the day.
void ClearPeriodStore(ConsensusJob& job);

// Takes the periods for which `drop` holds out of the store (their
// accumulators kept for reuse, as ClearPeriodStore does); the others stay
// in their order.
void DropPeriods(ConsensusJob& job, const std::function<bool(const AveragingPeriod&)>& drop);

// Frees every beam setting and empties the pulse-width mode list.
void ClearBeamSettings(ConsensusJob& job);

}  // namespace qv
