// Shared pieces of the micro-benchmarks: a host that shows nothing, a
// counter of heap allocations, one synthetic day of moment files and a wind
// day of made-up values.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/host.h"
#include "core/job.h"
#include "products/day_product.h"

namespace qv::bench {

// Answers the worker's questions with fixed choices and drops every status
// text: what is measured is the reading, not a screen.
class QuietHost : public ProcessingHost {
public:
    explicit QuietHost(InputType input = InputType::Ascii, OutputKind kind = OutputKind::Winds)
        : input_(input), kind_(kind) {}
    void setStatusMain(const std::string&) override {}
    void setStatusDetail(const std::string&) override { ++detailTexts; }
    void setProcessEnabled(bool) override {}
    void runEnded() override {}
    void setCancelEnabled(bool) override {}
    InputType inputType() override { return input_; }
    OutputKind outputKind() override { return kind_; }
    VerticalPolicy verticalPolicy() override { return VerticalPolicy::WhenAvailable; }
    void reviewSettings(ConsensusJob&) override {}
    void reportError(const std::string&) override {}
    void reportOutcome(const RunOutcome&) override {}

    long detailTexts = 0;  // one per dwell the store is handed

private:
    InputType input_;
    OutputKind kind_;
};

// Number of operator new calls in this process so far (all threads).
long heapAllocations();

// One processing day of the end-to-end benchmark's site: five wind beams
// and a vertical radar and RASS pair, a dwell every 24 s, 60 gates; the
// day's files and the next day's (its spilled last minutes), as KRX pairs
// and as their ASCII twins. Generated once per process in a temporary
// folder that is removed at exit.
struct SyntheticDay {
    std::filesystem::path folder;  // the pairs
    std::filesystem::path twins;   // the ASCII files, site "qvs"
    CalendarTime day;
    std::uintmax_t rawBytes = 0;     // the two .raw files
    std::uintmax_t ratBytes = 0;     // the two .rat files
    std::uintmax_t binaryBytes = 0;  // the two pairs, data and header files
    bool ok = false;
};
const SyntheticDay& syntheticDay();

// A wind day of made-up values for the outputs: `periods` periods of
// `gates` gates, `minutes` apart, every 17th gate invalid (QC 8).
WindDay windDay(int periods, int gates, int minutes);

}  // namespace qv::bench
