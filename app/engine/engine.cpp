#include "app/engine/engine.h"

#include "consensus/temperature_consensus.h"
#include "consensus/wind_consensus.h"
#include "input/ascii_moments.h"
#include "input/binary_moments.h"
#include "output/consensus_file_sink.h"

namespace qv {
namespace {

// Every day's products go to the consensus data files as they arrive.
class StandardOutputs : public DayOutputs {
public:
    explicit StandardOutputs(OutputRequest request) : request_(std::move(request)) {}

    void takeDay(DayProducts products, OutputReport& report) override {
        const CalendarTime created = request_.clock();
        writeConsensusFiles(products, request_.outputPath, created, report);
    }

private:
    OutputRequest request_;
};

}  // namespace

std::unique_ptr<DayOutputs> standardOutputs(const OutputRequest& request) {
    return std::make_unique<StandardOutputs>(request);
}

ProcessingSteps standardSteps() {
    ProcessingSteps steps;
    steps.readAscii = GetAsciiMoments;
    steps.readBinary = GetBinaryMoments;
    steps.windConsensus = runWindConsensus;
    steps.temperatureConsensus = runTemperatureConsensus;
    steps.outputs = standardOutputs;
    return steps;
}

}  // namespace qv
