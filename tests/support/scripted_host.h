// A host for tests: records status lines and button states, answers the
// radio questions from plain fields, and runs a scripted settings review.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/host.h"
#include "core/job.h"

namespace qv::test {

class ScriptedHost : public ProcessingHost {
public:
    InputType input = InputType::Ascii;
    OutputKind output = OutputKind::Winds;
    VerticalPolicy policy = VerticalPolicy::WhenAvailable;

    // Called inside the review request; the default gives every row without
    // a positive window or threshold the values below.
    std::function<void(ConsensusJob&)> review;
    float defaultWindow = 1.0f;
    std::int32_t defaultPercent = 50;
    // When false the host does not set continueEvent (a test may cancel).
    bool continueAfterReview = true;

    void setStatusMain(const std::string& text) override {
        std::lock_guard<std::mutex> g(m_);
        mainLines.push_back(text);
    }
    void setStatusDetail(const std::string& text) override {
        std::lock_guard<std::mutex> g(m_);
        detailLines.push_back(text);
    }
    void setProcessEnabled(bool enabled) override {
        std::lock_guard<std::mutex> g(m_);
        processEnabled = enabled;
    }
    void setCancelEnabled(bool enabled) override {
        std::lock_guard<std::mutex> g(m_);
        cancelEnabled = enabled;
    }
    InputType inputType() override { return input; }
    OutputKind outputKind() override { return output; }
    VerticalPolicy verticalPolicy() override { return policy; }

    void reviewSettings(ConsensusJob& job) override {
        ++reviews;
        if (review) {
            review(job);
        } else {
            for (BeamSetting* s : job.beamSettings) {
                if (!(s->consensusWindow > 0.0f)) s->consensusWindow = defaultWindow;
                if (!(s->consensusPercent > 0)) s->consensusPercent = defaultPercent;
            }
        }
        if (continueAfterReview) job.continueEvent.set();
    }
    void reportError(const std::string& text) override {
        std::lock_guard<std::mutex> g(m_);
        errors.push_back(text);
    }
    void runEnded() override {
        std::lock_guard<std::mutex> g(m_);
        ++runsEnded;
    }
    void reportOutcome(const RunOutcome& result) override {
        std::lock_guard<std::mutex> g(m_);
        outcome = result;
        unwritten.clear();
        for (const UnwrittenFile& file : result.unwritten) unwritten.push_back(file.path);
        ++outcomes;
    }

    std::vector<std::string> mainLines;
    std::vector<std::string> detailLines;
    std::vector<std::string> errors;
    std::vector<std::string> unwritten;
    RunOutcome outcome;
    int outcomes = 0;
    int runsEnded = 0;
    bool processEnabled = true;
    bool cancelEnabled = false;
    int reviews = 0;

private:
    std::mutex m_;
};

}  // namespace qv::test
