// Wires the readers, the consensus kinds and the outputs into the worker's
// steps. The engine only schedules: it makes each day's files with the
// outputs the run asks for, writes them whole and reports them in day
// order; it never knows what a format is.
#pragma once

#include <functional>
#include <vector>

#include "app/engine/run_outputs.h"
#include "core/job.h"
#include "output/day_output.h"

namespace qv {

// The consensus kinds of a run; tests may script their own.
struct ConsensusSteps {
    std::function<DayProducts(ConsensusJob&)> winds;
    std::function<DayProducts(ConsensusJob&)> temperature;
};
ConsensusSteps standardConsensus();

// An output the run asks for and the folder it writes into.
struct ChosenOutput {
    DayOutput make;
    std::string folder;
    // Files over all the run's days, made once its days are written (the
    // web site's index): empty for most outputs.
    std::function<std::vector<OutputFile>(const OutputContext&)> finish = {};
};
// The consensus data files always, then netCDF files, plots, BUFR day files
// and the BUFR outbox as asked.
std::vector<ChosenOutput> chosenOutputs(const std::string& outputFolder, const RunOutputs& outputs);

// The standard readers (binary pairs, ASCII files), consensus kinds and the
// outputs `outputs` asks for. With BUFR outputs it checks ecCodes at once
// (prepareBufr): call it before the run's threads start.
ProcessingSteps standardSteps(const RunOutputs& outputs = {});
// The same with other consensus kinds.
ProcessingSteps standardSteps(const RunOutputs& outputs, ConsensusSteps consensus);

}  // namespace qv
