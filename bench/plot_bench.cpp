// Time-height plots of a full day: 1440 one-minute periods of 100 gates,
// laid out and painted into PNG bytes (and into pixels only). Target: under
// 0.2 s for a day's plot.
#include <benchmark/benchmark.h>

#include <cmath>

#include "plot/plot.h"

namespace {

qv::DayHeader benchHeader(qv::OutputKind kind) {
    qv::DayHeader header;
    header.fileKind = kind;
    header.variant = 1;
    header.stationName = "QVS";
    header.dataSourceText = "QAV";
    header.day.year = 2004;
    header.day.month = 6;
    header.day.day = 15;
    header.latitudeCenti = 4001;
    header.siteElevation = 1611;
    header.averagingMinutes = 1;
    header.pulseWidth = 700;
    header.gateSpacing = 60.0f;
    return header;
}

// "HHMM" of a minute of the day.
void setKey(char* key, int minute) {
    const int h = (minute / 60) % 24;
    const int m = minute % 60;
    key[0] = static_cast<char>('0' + h / 10);
    key[1] = static_cast<char>('0' + h % 10);
    key[2] = static_cast<char>('0' + m / 10);
    key[3] = static_cast<char>('0' + m % 10);
    key[4] = 0;
}

// Winds turning and strengthening with height and time; every 17th gate
// invalid.
const qv::WindDay& benchWindDay() {
    static const qv::WindDay day = [] {
        qv::WindDay d;
        d.header = benchHeader(qv::OutputKind::Winds);
        for (int p = 0; p < 1440; ++p) {
            qv::WindPeriod& period = d.periods.emplace_back();
            setKey(period.key, p);
            for (int g = 0; g < 100; ++g) {
                qv::WindGate& gate = period.gates.emplace_back();
                gate.height = 1761.0L + 60.0L * g;
                gate.speed = static_cast<float>(3.0 + 0.3 * g + 4.0 * std::sin(p / 200.0));
                gate.direction = (200 + g + p / 20) % 360;
                if ((p + g) % 17 == 0) gate.qcCode = qv::kQcInvalidCode;
            }
        }
        return d;
    }();
    return day;
}

const qv::TemperatureDay& benchTemperatureDay() {
    static const qv::TemperatureDay day = [] {
        qv::TemperatureDay d;
        d.header = benchHeader(qv::OutputKind::Temperature);
        for (int p = 0; p < 1440; ++p) {
            qv::TemperaturePeriod& period = d.periods.emplace_back();
            setKey(period.key, p);
            for (int g = 0; g < 100; ++g) {
                qv::TemperatureGate& gate = period.gates.emplace_back();
                gate.height = 1761.0 + 60.0 * g;
                gate.tv = static_cast<float>(22.0 - 0.4 * g + 2.0 * std::sin(p / 300.0));
                gate.tvc = gate.tv - 0.3f;
            }
        }
        return d;
    }();
    return day;
}

void BM_WindPlotDayPng(benchmark::State& state) {
    const std::vector<qv::WindDay> days{benchWindDay()};
    std::string bytes;
    std::string error;
    for (auto _ : state) {
        if (!qv::plot::renderWindBytes(days, qv::plot::PlotFormat::Png, bytes, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["png_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_WindPlotDayPng)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_WindPlotDayPixels(benchmark::State& state) {
    const std::vector<qv::WindDay> days{benchWindDay()};
    qv::plot::PlotImage image;
    std::string error;
    for (auto _ : state) {
        if (!qv::plot::renderWindImage(days, image, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.pixels.data());
    }
}
BENCHMARK(BM_WindPlotDayPixels)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_TemperaturePlotDayPng(benchmark::State& state) {
    const std::vector<qv::TemperatureDay> days{benchTemperatureDay()};
    std::string bytes;
    std::string error;
    for (auto _ : state) {
        if (!qv::plot::renderTemperatureBytes(days, qv::plot::PlotFormat::Png, bytes, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_TemperaturePlotDayPng)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
