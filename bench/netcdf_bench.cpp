// netCDF day files: one wind day of the end-to-end site (48 half-hour
// periods of 60 gates) and a full one-minute day (1440 periods of 100
// gates), made and written whole into a temporary folder. The batch tool
// writes these on a second thread while it reads the next day, so a day's
// file should cost less than reading and averaging that day.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "output/netcdf_api.h"
#include "output/netcdf_file.h"

namespace {

namespace fs = std::filesystem;

qv::WindDay benchWindDay(int periods, int gates, int minutes) {
    qv::WindDay d;
    qv::DayHeader& h = d.header;
    h.fileKind = qv::OutputKind::Winds;
    h.variant = 1;
    h.stationName = "QVS";
    h.dataSourceText = "QAV";
    h.day.year = 2004;
    h.day.month = 6;
    h.day.day = 15;
    h.latitudeCenti = 4001;
    h.longitudeCenti = -10525;
    h.siteElevation = 1611;
    h.averagingMinutes = minutes;
    h.pulseWidth = 700;
    h.gateSpacing = 60.0f;
    qv::HeaderBeam beam;
    beam.elevation = 66.4f;
    beam.sampleCount = 75;
    beam.consensusPercent = 50;
    beam.consensusWindow = 2.0f;
    for (int b = 0; b < 5; ++b) {
        beam.azimuth = (b % 4) * 90;
        if (b == 4) beam.elevation = 90.0f;
        h.beams.push_back(beam);
    }
    for (int p = 0; p < periods; ++p) {
        qv::WindPeriod& period = d.periods.emplace_back();
        const int minute = p * minutes;
        period.key[0] = static_cast<char>('0' + minute / 600 % 10);
        period.key[1] = static_cast<char>('0' + minute / 60 % 10);
        period.key[2] = static_cast<char>('0' + minute % 60 / 10);
        period.key[3] = static_cast<char>('0' + minute % 10);
        for (int g = 0; g < gates; ++g) {
            qv::WindGate& gate = period.gates.emplace_back();
            gate.height = 1761.0L + 60.0L * g;
            gate.speed = static_cast<float>(3.0 + 0.3 * g + 4.0 * std::sin(p / 20.0));
            gate.direction = (200 + g + p) % 360;
            gate.u = gate.speed * 0.6f;
            gate.v = gate.speed * -0.8f;
            gate.w = static_cast<float>(0.01 * ((p + g) % 50 - 25));
            gate.countU = gate.countV = gate.countW = 20 + (p + g) % 30;
            gate.snrU = gate.snrV = gate.snrW = -5 + g % 20;
            if ((p + g) % 17 == 0) gate.qcCode = qv::kQcInvalidCode;
        }
    }
    return d;
}

void writeDay(benchmark::State& state, const qv::WindDay& day) {
    qv::nc::keepHeapForManyFiles();  // as the programs that write them do
    const fs::path folder =
        fs::temp_directory_path() / ("qv-netcdf-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string path = (folder / qv::windNetcdfName(day)).string();
    qv::NetcdfContext context;
    context.history = "2004-06-16T00:00:00Z quorvane-batch";
    context.version = "bench";
    std::string error;
    for (auto _ : state) {
        if (!qv::writeWindNetcdf(day, context, path, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(path));
    fs::remove_all(folder);
}

void BM_NetcdfWindDaySite(benchmark::State& state) {
    static const qv::WindDay day = benchWindDay(48, 60, 30);
    writeDay(state, day);
}
BENCHMARK(BM_NetcdfWindDaySite)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_NetcdfWindDayMinutes(benchmark::State& state) {
    static const qv::WindDay day = benchWindDay(1440, 100, 1);
    writeDay(state, day);
}
BENCHMARK(BM_NetcdfWindDayMinutes)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
