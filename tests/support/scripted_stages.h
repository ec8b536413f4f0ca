// Day stages scripted by a test: the worker's consensus and outputs as
// plain callbacks, for tests of the worker and its hosts.
#pragma once

#include <functional>
#include <memory>

#include "core/job.h"

namespace qv::test {

struct StageScript {
    // The consensus of a day: true when it made a product.
    std::function<bool(ConsensusJob&)> winds;
    std::function<bool(ConsensusJob&)> temperature;
    // What the day's outputs wrote, or could not.
    std::function<void(FileReport&)> outputs;
};

class ScriptedStages : public DayStages {
public:
    explicit ScriptedStages(StageScript script) : script_(std::move(script)) {}
    bool processDay(ConsensusJob& job, OutputKind kind, FileReport& report) override {
        bool made = false;
        if (kind == OutputKind::Winds && script_.winds) made = script_.winds(job);
        if (kind == OutputKind::Temperature && script_.temperature) made = script_.temperature(job);
        if (script_.outputs) script_.outputs(report);
        return made;
    }

private:
    StageScript script_;
};

inline std::function<std::unique_ptr<DayStages>(const ConsensusJob&)> scriptedStages(
    StageScript script) {
    return [script](const ConsensusJob&) { return std::make_unique<ScriptedStages>(script); };
}

}  // namespace qv::test
