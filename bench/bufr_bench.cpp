// WMO BUFR day files: one wind day of the end-to-end site (48 half-hour
// periods of 60 gates) and a full one-minute day (1440 periods of 100
// gates), made in memory as the batch tool makes them (the reports from
// the day's values, then ecCodes). Beside each, ecCodes' floor: the same
// messages with every key's values made beforehand, so that only the
// library's setting and packing is timed. The day file should cost little
// more than its floor.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "output/bufr_api.h"
#include "output/bufr_content.h"
#include "output/bufr_output.h"

namespace {

const qv::BufrSettings kSettings{qv::WmoStation{72, 469}, 98, qv::BufrTemperature::TvC};

void makeDay(benchmark::State& state, const qv::WindDay& day) {
    qv::DayProducts products;
    products.winds.push_back(day);
    qv::OutputContext context;
    const qv::DayOutput output = qv::bufrFiles(kSettings);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<qv::OutputFile> files = output(products, context);
        if (files.size() != 1 || !files.front().made()) {
            state.SkipWithError(files.empty() ? "no file" : files.front().error.c_str());
            break;
        }
        bytes = files.front().bytes.size();
    }
    state.counters["file_bytes"] = static_cast<double>(bytes);
    state.counters["messages"] = static_cast<double>(day.periods.size());
}

// The reports made once; each iteration only sets and packs them.
void encodeOnly(benchmark::State& state, const qv::WindDay& day) {
    std::vector<qv::BufrReport> reports(day.periods.size());
    std::string error;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (!qv::windReport(day, i, kSettings, reports[i], error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    const qv::bufr::LibraryLock lock;
    if (!qv::bufr::libraryReady(qv::bufrTrialLayouts(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::string bytes;
    for (auto _ : state) {
        bytes.clear();
        for (const qv::BufrReport& report : reports) {
            qv::bufr::Template* message = qv::bufr::sharedTemplate(report.layout, error);
            bool ok = message != nullptr;
            for (const auto& [key, value] : report.numbers)
                ok = ok && message->setNumber(key, value);
            for (const auto& [key, values] : report.arrays)
                ok = ok && message->setNumbers(key, values);
            for (const auto& [key, text] : report.texts) ok = ok && message->setText(key, text);
            ok = ok && message->pack(report.time, bytes);
            if (!ok) {
                state.SkipWithError(message ? message->error().c_str() : error.c_str());
                return;
            }
        }
    }
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}

void BM_BufrWindDaySite(benchmark::State& state) {
    static const qv::WindDay day = qv::bench::windDay(48, 60, 30);
    makeDay(state, day);
}
BENCHMARK(BM_BufrWindDaySite)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_BufrWindDaySiteEcCodesFloor(benchmark::State& state) {
    static const qv::WindDay day = qv::bench::windDay(48, 60, 30);
    encodeOnly(state, day);
}
BENCHMARK(BM_BufrWindDaySiteEcCodesFloor)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_BufrWindDayMinutes(benchmark::State& state) {
    static const qv::WindDay day = qv::bench::windDay(1440, 100, 1);
    makeDay(state, day);
}
BENCHMARK(BM_BufrWindDayMinutes)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_BufrWindDayMinutesEcCodesFloor(benchmark::State& state) {
    static const qv::WindDay day = qv::bench::windDay(1440, 100, 1);
    encodeOnly(state, day);
}
BENCHMARK(BM_BufrWindDayMinutesEcCodesFloor)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
