#include "app/engine/engine.h"

#include "consensus/temperature_consensus.h"
#include "consensus/wind_consensus.h"
#include "input/ascii_moments.h"
#include "input/binary_moments.h"

namespace qv {

ProcessingSteps standardSteps() {
    ProcessingSteps steps;
    steps.readAscii = GetAsciiMoments;
    steps.readBinary = GetBinaryMoments;
    steps.windConsensus = runWindConsensus;
    steps.temperatureConsensus = runTemperatureConsensus;
    return steps;
}

}  // namespace qv
