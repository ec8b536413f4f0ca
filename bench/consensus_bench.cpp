// One gate's consensus: the fast form against the every-candidate scan.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "consensus/gate_consensus.h"

namespace {

struct GateData {
    std::vector<float> velocity;
    std::vector<float> snr;
};

GateData makeGate(int n) {
    std::mt19937 rng(42);
    std::normal_distribution<float> wind(5.0f, 1.5f);
    std::uniform_real_distribution<float> outlier(-20.0f, 20.0f);
    std::normal_distribution<float> snr(5.0f, 4.0f);
    GateData d;
    for (int i = 0; i < n; ++i) {
        const int kind = static_cast<int>(rng() % 10);
        d.velocity.push_back(kind == 0 ? -999.0f : kind == 1 ? outlier(rng) : wind(rng));
        d.snr.push_back(snr(rng));
    }
    return d;
}

void BM_GateConsensus(benchmark::State& state) {
    const GateData d = makeGate(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::uint32_t count = 0;
        float mean = 0.0f, meanSnr = 0.0f;
        qv::radarGateConsensus(d.velocity.data(), d.snr.data(), static_cast<int>(d.velocity.size()),
                               1.0f, count, mean, meanSnr);
        benchmark::DoNotOptimize(mean);
    }
}

void BM_GateConsensusScan(benchmark::State& state) {
    const GateData d = makeGate(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::uint32_t count = 0;
        float mean = 0.0f, meanSnr = 0.0f;
        qv::radarGateConsensusScan(d.velocity.data(), d.snr.data(),
                                   static_cast<int>(d.velocity.size()), 1.0f, count, mean, meanSnr);
        benchmark::DoNotOptimize(mean);
    }
}

BENCHMARK(BM_GateConsensus)->Arg(10)->Arg(30)->Arg(60)->Arg(240)->Arg(1000);
BENCHMARK(BM_GateConsensusScan)->Arg(10)->Arg(30)->Arg(60)->Arg(240)->Arg(1000);

}  // namespace
