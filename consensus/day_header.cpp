#include "consensus/day_header.h"

namespace qv {

DayHeader jobDayHeader(ConsensusJob& job) {
    DayHeader header;
    header.fileKind = job.outputKind();
    header.outputKindText = job.params.outputKindText;
    header.dataSourceText = job.params.dataSourceText;
    header.stationName = job.record.stationName;
    header.day = job.currentDay;
    header.latitudeCenti = job.record.latitudeCenti;
    header.longitudeCenti = job.record.longitudeCenti;
    header.siteElevation = job.record.siteElevation;
    header.averagingMinutes = job.params.averagingMinutes;
    header.verticalPolicy = job.verticalPolicy();
    return header;
}

HeaderBeam headerBeam(const BeamAccumulator& beam) {
    HeaderBeam entry;
    entry.azimuth = beam.azimuth;
    entry.elevation = beam.elevation;
    entry.sampleCount = beam.sampleCount;
    entry.consensusPercent = beam.consensusPercent;
    entry.consensusWindow = beam.consensusWindow;
    return entry;
}

}  // namespace qv
