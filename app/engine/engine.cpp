#include "app/engine/engine.h"

#if __has_include("input/ascii_moments.h")
#include "input/ascii_moments.h"
#define QV_HAVE_ASCII 1
#endif
#if __has_include("input/binary_moments.h")
#include "input/binary_moments.h"
#define QV_HAVE_BINARY 1
#endif
#if __has_include("consensus/wind_consensus.h")
#include "consensus/wind_consensus.h"
#define QV_HAVE_WIND 1
#endif
#if __has_include("consensus/temperature_consensus.h")
#include "consensus/temperature_consensus.h"
#define QV_HAVE_TEMPERATURE 1
#endif

namespace qv {

ProcessingSteps standardSteps() {
    ProcessingSteps steps;
#ifdef QV_HAVE_ASCII
    steps.readAscii = GetAsciiMoments;
#endif
#ifdef QV_HAVE_BINARY
    steps.readBinary = GetBinaryMoments;
#endif
#ifdef QV_HAVE_WIND
    steps.windConsensus = runWindConsensus;
#endif
#ifdef QV_HAVE_TEMPERATURE
    steps.temperatureConsensus = runTemperatureConsensus;
#endif
    return steps;
}

}  // namespace qv
