#include "core/store.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "core/job.h"
#include "core/numeric.h"

namespace qv {
namespace {

constexpr std::int32_t kMinutesPerDay = 1440;

bool sameBeam(const BeamAccumulator& a, const MomentRecord& r) {
    return a.azimuth == r.azimuth && a.elevation == r.elevation && a.pulseWidth == r.pulseWidth &&
           a.rassFlag == r.rassFlag;
}

bool sameBeam(const BeamSetting& s, const MomentRecord& r) {
    return s.azimuth == static_cast<std::int32_t>(r.azimuth) && s.elevation == r.elevation &&
           s.pulseWidth == r.pulseWidth && s.rassFlag == r.rassFlag;
}

// The latest instant dayStart + k * step (k >= 0) strictly before the dwell;
// dayStart - step for a dwell at or before dayStart. Same result as stepping
// from midnight one period at a time, without the walk.
TimeValue periodStart(TimeValue dayStart, TimeValue dwell, std::uint64_t step) {
    if (dwell <= dayStart) return dayStart - step;
    const std::uint64_t k = (dwell - dayStart + step - 1) / step;  // first k reaching the dwell
    return dayStart + (k - 1) * step;
}

// A fresh accumulator, or one of an earlier day with its sample arrays:
// every day creates about the same accumulators, and reusing their arrays
// spares the allocator and the first touch of new memory pages.
BeamAccumulator* newAccumulator(ConsensusJob& job, std::size_t samples) {
    if (job.spareAccumulators.empty()) return new BeamAccumulator;
    BeamAccumulator* a = job.spareAccumulators.back().release();
    job.spareAccumulators.pop_back();
    std::vector<float> velocity = std::move(a->velocityData);
    std::vector<float> temperature = std::move(a->temperatureData);
    std::vector<float> snr = std::move(a->snrData);
    *a = BeamAccumulator{};
    // Arrays far larger than needed (a longer period before) are not kept.
    if (velocity.capacity() <= 2 * samples) {
        a->velocityData = std::move(velocity);
        a->temperatureData = std::move(temperature);
        a->snrData = std::move(snr);
    }
    return a;
}

BeamAccumulator* createAccumulator(ConsensusJob& job, const MomentRecord& r,
                                   std::int32_t capacity) {
    const std::size_t size = static_cast<std::size_t>(kMaxGates) * static_cast<std::size_t>(capacity);
    BeamAccumulator* a = newAccumulator(job, size);
    a->azimuth = r.azimuth;
    a->pulseWidth = r.pulseWidth;
    a->firstGateHeight = r.firstGateHeight;
    a->gateSpacing = r.gateSpacing;
    a->elevation = r.elevation;
    a->rassFlag = r.rassFlag;
    a->sampleCapacity = capacity;
    // No gate and no sample is in use yet: AccumulateRecord marks the slots
    // it brings into use, so the arrays need no filling here (a reused array
    // keeps whatever an earlier day left in it).
    a->velocityData.resize(size);
    a->temperatureData.resize(size);
    a->snrData.resize(size);
    return a;
}

// Marks samples [from, to) of gate g as missing in every array.
void markMissing(BeamAccumulator& a, int g, std::size_t from, std::size_t to) {
    const std::size_t base = static_cast<std::size_t>(g) * static_cast<std::size_t>(a.sampleCapacity);
    for (std::vector<float>* data : {&a.velocityData, &a.temperatureData, &a.snrData}) {
        std::fill(data->begin() + static_cast<std::ptrdiff_t>(base + from),
                  data->begin() + static_cast<std::ptrdiff_t>(base + to), kMissingSample);
    }
}

// Doubles the sample capacity of every gate, keeping the samples stored.
void growSamples(BeamAccumulator& a) {
    const std::size_t oldCap = static_cast<std::size_t>(a.sampleCapacity);
    const std::size_t newCap = oldCap * 2;
    auto regrow = [&](std::vector<float>& data) {
        std::vector<float> grown(static_cast<std::size_t>(kMaxGates) * newCap, kMissingSample);
        for (std::size_t g = 0; g < static_cast<std::size_t>(kMaxGates); ++g) {
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(g * oldCap), oldCap,
                        grown.begin() + static_cast<std::ptrdiff_t>(g * newCap));
        }
        data.swap(grown);
    };
    regrow(a.velocityData);
    regrow(a.temperatureData);
    regrow(a.snrData);
    a.sampleCapacity = static_cast<std::int32_t>(newCap);
}

// Appends `value` as "%02d" does for a value of 0 to 65535: at least two
// digits, with a leading zero below 10.
char* putTwoDigits(char* out, unsigned value) {
    if (value < 100) {
        *out++ = static_cast<char>('0' + value / 10);
        *out++ = static_cast<char>('0' + value % 10);
        return out;
    }
    char reversed[5];
    int n = 0;
    for (; value > 0; value /= 10) reversed[n++] = static_cast<char>('0' + value % 10);
    while (n > 0) *out++ = reversed[--n];
    return out;
}

// "Reading data record %02d/%02d/%02d %02d:%02d:%02d" (month, day, year,
// hour, minute, second) into the job's scratch text. It is composed for
// every dwell, so it is written in place: no formatting engine, and the
// scratch text keeps its storage from one dwell to the next.
void composeReadingText(std::string& out, const CalendarTime& t) {
    static constexpr char kLead[] = "Reading data record ";
    char text[sizeof kLead + 6 * 6];
    char* p = std::copy(kLead, kLead + sizeof kLead - 1, text);
    p = putTwoDigits(p, t.month);
    *p++ = '/';
    p = putTwoDigits(p, t.day);
    *p++ = '/';
    p = putTwoDigits(p, t.year);
    *p++ = ' ';
    p = putTwoDigits(p, t.hour);
    *p++ = ':';
    p = putTwoDigits(p, t.minute);
    *p++ = ':';
    p = putTwoDigits(p, t.second);
    out.assign(text, static_cast<std::size_t>(p - text));
}

// Virtual temperature in degrees Celsius of an acoustic speed in m/s.
float virtualTemperature(float speed) {
    const double c = static_cast<double>(speed) * static_cast<double>(-0.049882773f);
    return static_cast<float>(c * c - static_cast<double>(273.15f));
}

}  // namespace

void AccumulateRecord(ConsensusJob& job, const CalendarTime& anchorDate) {
    MomentRecord& r = job.record;

    CalendarTime anchor = anchorDate;
    anchor.hour = anchor.minute = anchor.second = anchor.milliseconds = 0;
    TimeValue dayStart = 0;
    const bool anchorValid = calendarToTimeValue(anchor, dayStart);

    composeReadingText(job.statusText, r.recordTime);
    job.showDetail(job.statusText);

    // A time the calendar rejects, a day of year outside the tables, a
    // negative gate count or an unusable period length cannot be placed.
    if (!calendarToTimeValue(r.recordTime, r.recordFileTime)) return;
    // Every placeable dwell counts, of whatever day: how far the data have
    // come, for a follower of growing files.
    if (r.recordFileTime > job.lastDwellTime) job.lastDwellTime = r.recordFileTime;
    if (r.recordDayOfYear != r.processDayOfYear) return;
    if (r.recordDayOfYear < 1 || r.recordDayOfYear > 366) return;
    if (!anchorValid || r.gateCount < 0 || job.params.averagingMinutes < 1) return;

    const std::uint64_t step =
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(job.params.averagingMinutes)) *
        static_cast<std::uint64_t>(TimeUnits::minute);
    CalendarTime startCal;
    if (!timeValueToCalendar(periodStart(dayStart, r.recordFileTime, step), startCal)) return;
    char key[5];
    putTwoDigits(putTwoDigits(key, startCal.hour % 100u), startCal.minute % 100u)[0] = '\0';

    // Period keys are unique, so the period last used is checked first.
    AveragingPeriod* period = nullptr;
    if (job.curPeriod && std::strcmp(job.curPeriod->key, key) == 0) {
        period = job.curPeriod;
    } else {
        for (AveragingPeriod* p : job.periods) {
            if (std::strcmp(p->key, key) == 0) {
                period = p;
                break;
            }
        }
    }
    if (!period) {
        period = new AveragingPeriod;
        std::memcpy(period->key, key, sizeof key);
        job.periods.append(period);
    }
    job.curPeriod = period;

    BeamAccumulator* beam = nullptr;
    for (BeamAccumulator* a : period->beams) {
        if (sameBeam(*a, r)) {
            beam = a;
            break;
        }
    }
    if (!beam) {
        // One sample per minute of the period, but never more than a day's
        // worth up front: longer periods grow their arrays as dwells arrive.
        beam = createAccumulator(job, r, std::min(job.params.averagingMinutes, kMinutesPerDay));
        period->beams.append(beam);
    }
    job.curBeam = beam;

    const int gates = std::min<int>(r.gateCount, kMaxGates);
    if (beam->sampleCount >= beam->sampleCapacity) growSamples(*beam);

    const std::size_t n = static_cast<std::size_t>(beam->sampleCount);
    const std::size_t cap = static_cast<std::size_t>(beam->sampleCapacity);
    // Gates this dwell reaches first: the earlier dwells had no value there.
    if (gates > beam->maxGateCount) {
        for (int g = beam->maxGateCount; g < gates; ++g) markMissing(*beam, g, 0, n);
        beam->maxGateCount = gates;
    }
    for (int g = 0; g < gates; ++g) {
        const std::size_t at = static_cast<std::size_t>(g) * cap + n;
        const float v = r.gateVelocity[static_cast<std::size_t>(g)];
        beam->velocityData[at] = v;
        beam->temperatureData[at] = virtualTemperature(v);
        beam->snrData[at] = r.gateSnr[static_cast<std::size_t>(g)];
    }
    // Gates in use that this dwell did not reach.
    for (int g = gates; g < beam->maxGateCount; ++g) markMissing(*beam, g, n, n + 1);
    ++beam->sampleCount;

    BeamSetting* setting = nullptr;
    if (job.curSetting && sameBeam(*job.curSetting, r)) {
        // The table holds one row per identity, so the last row matched is
        // the first match as well.
        setting = job.curSetting;
    } else {
        for (BeamSetting* s : job.beamSettings) {
            if (sameBeam(*s, r)) {
                setting = s;
                break;
            }
        }
    }
    if (!setting) {
        setting = new BeamSetting;
        setting->azimuth = r.azimuth;
        setting->elevation = r.elevation;
        setting->pulseWidth = r.pulseWidth;
        setting->rassFlag = r.rassFlag;
        job.beamSettings.append(setting);
    }
    job.curSetting = setting;
}

void ClearPeriodStore(ConsensusJob& job) {
    for (AveragingPeriod* p = job.periods.first(); p; p = job.periods.next()) {
        for (BeamAccumulator* a = p->beams.first(); a; a = p->beams.next()) {
            job.spareAccumulators.emplace_back(a);
            p->beams.removeCurrent();
        }
        p->beams.clear();
        delete p;
        job.periods.removeCurrent();
    }
    job.periods.clear();
    job.curPeriod = nullptr;
    job.curBeam = nullptr;
    job.firstObliqueBeam = job.secondObliqueBeam = job.verticalBeam = nullptr;
    job.rassBeam = job.radarBeam = nullptr;
}

void DropPeriods(ConsensusJob& job, const std::function<bool(const AveragingPeriod&)>& drop) {
    for (AveragingPeriod* p = job.periods.first(); p; p = job.periods.next()) {
        if (!drop(*p)) continue;
        for (BeamAccumulator* a = p->beams.first(); a; a = p->beams.next()) {
            job.spareAccumulators.emplace_back(a);
            p->beams.removeCurrent();
        }
        delete p;
        job.periods.removeCurrent();
    }
    job.curPeriod = nullptr;
    job.curBeam = nullptr;
}

void ClearBeamSettings(ConsensusJob& job) {
    for (BeamSetting* s = job.beamSettings.first(); s; s = job.beamSettings.next()) {
        delete s;
        job.beamSettings.removeCurrent();
    }
    job.beamSettings.clear();
    job.curSetting = nullptr;
    job.pulseWidthModes.clear();
}

}  // namespace qv
