// netCDF day files: one wind day of the end-to-end site (48 half-hour
// periods of 60 gates) and a full one-minute day (1440 periods of 100
// gates), made and written whole into a temporary folder. The batch tool
// writes these on a second thread while it reads the next day, so a day's
// file should cost less than reading and averaging that day.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "bench/bench_support.h"
#include "output/netcdf_api.h"
#include "output/netcdf_file.h"

namespace {

namespace fs = std::filesystem;

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
    static const qv::WindDay day = qv::bench::windDay(48, 60, 30);
    writeDay(state, day);
}
BENCHMARK(BM_NetcdfWindDaySite)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_NetcdfWindDayMinutes(benchmark::State& state) {
    static const qv::WindDay day = qv::bench::windDay(1440, 100, 1);
    writeDay(state, day);
}
BENCHMARK(BM_NetcdfWindDayMinutes)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
