#include "core/job.h"

#include <algorithm>

namespace qv {

ConsensusJob::ConsensusJob() = default;

void announceDays(ProcessingSteps& steps, std::function<void(const CalendarTime&)> announce) {
    using ReadStep = std::function<int(ConsensusJob&, const CalendarTime&)>;
    const auto announcing = [&announce](ReadStep inner) -> ReadStep {
        return [announce, inner = std::move(inner)](ConsensusJob& job, const CalendarTime& day) {
            announce(day);
            return inner ? inner(job, day) : 0;
        };
    };
    steps.readAscii = announcing(std::move(steps.readAscii));
    steps.readBinary = announcing(std::move(steps.readBinary));
}

ConsensusJob::~ConsensusJob() {
    ClearBeamSettings(*this);
    ClearPeriodStore(*this);
}

void ConsensusJob::recordUnwritten(const std::string& path, const std::string& reason) {
    const bool known = std::any_of(unwrittenFiles.begin(), unwrittenFiles.end(),
                                   [&](const UnwrittenFile& f) { return f.path == path; });
    if (!known) unwrittenFiles.push_back({path, reason});
}

void ConsensusJob::recordWritten(const std::string& path) {
    if (std::find(writtenPaths.begin(), writtenPaths.end(), path) == writtenPaths.end()) {
        writtenPaths.push_back(path);
    }
}

void ConsensusJob::reportReaderError(const std::string& text) {
    statusText = text;
    dayError = text;
    if (host) host->reportError(text);
}

void ConsensusJob::reportIncompleteDay(const std::string& text) {
    incompleteDays.push_back(text);
    if (host) host->reportError(text);
}

void ConsensusJob::showMain(const std::string& text) {
    if (host) host->setStatusMain(text);
}

void ConsensusJob::showDetail(const std::string& text) {
    if (host) host->setStatusDetail(text);
}

InputType ConsensusJob::inputType() const { return host ? host->inputType() : InputType::None; }

OutputKind ConsensusJob::outputKind() const {
    return host ? host->outputKind() : OutputKind::None;
}

VerticalPolicy ConsensusJob::verticalPolicy() const {
    return host ? host->verticalPolicy() : VerticalPolicy::None;
}

}  // namespace qv
