// AccumulateRecord per dwell: five beams, a dwell every 24 s, 60 gates.
#include <benchmark/benchmark.h>

#include "core/job.h"
#include "core/store.h"

namespace {

class QuietHost : public qv::ProcessingHost {
public:
    void setStatusMain(const std::string&) override {}
    void setStatusDetail(const std::string&) override {}
    void setProcessEnabled(bool) override {}
    void setCancelEnabled(bool) override {}
    qv::InputType inputType() override { return qv::InputType::Ascii; }
    qv::OutputKind outputKind() override { return qv::OutputKind::Winds; }
    qv::VerticalPolicy verticalPolicy() override { return qv::VerticalPolicy::WhenAvailable; }
    void reviewSettings(qv::ConsensusJob&) override {}
    void reportError(const std::string&) override {}
    void reportUnwritten(const std::vector<std::string>&) override {}
};

void BM_AccumulateRecordDay(benchmark::State& state) {
    QuietHost host;
    qv::CalendarTime day;
    day.year = 2004;
    day.month = 6;
    day.day = 15;
    const int dwellsPerDay = 86400 / 24;
    for (auto _ : state) {
        qv::ConsensusJob job;
        job.host = &host;
        job.params.averagingMinutes = static_cast<int>(state.range(0));
        qv::MomentRecord& r = job.record;
        r.processDayOfYear = r.recordDayOfYear = qv::dayOfYear(2004, 6, 15);
        r.gateCount = 60;
        r.pulseWidth = 700;
        for (int g = 0; g < 60; ++g) {
            r.gateVelocity[static_cast<std::size_t>(g)] = 1.0f + static_cast<float>(g) * 0.1f;
            r.gateSnr[static_cast<std::size_t>(g)] = 5.0f;
        }
        for (int i = 0; i < dwellsPerDay; ++i) {
            const int seconds = i * 24;
            r.recordTime = day;
            r.recordTime.hour = static_cast<std::uint16_t>(seconds / 3600);
            r.recordTime.minute = static_cast<std::uint16_t>(seconds / 60 % 60);
            r.recordTime.second = static_cast<std::uint16_t>(seconds % 60);
            const int beam = i % 5;
            r.azimuth = static_cast<std::int16_t>(beam == 4 ? 0 : beam * 90);
            r.elevation = beam == 4 ? 90.0f : 66.4f;
            qv::AccumulateRecord(job, day);
        }
        benchmark::DoNotOptimize(job.periods.count());
    }
    state.SetItemsProcessed(state.iterations() * dwellsPerDay);
    state.SetLabel("items = dwells");
}

BENCHMARK(BM_AccumulateRecordDay)->Arg(1)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);

}  // namespace
