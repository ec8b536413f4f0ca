// The consensus data file reader over any text. A refused file must say
// why with the file and a line of the text; a file that reads, printed
// again in the format's conversions and read again, must print the same
// (values read at other precisions settle after one printing).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "output/consensus_file_reader.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "consensus_file_fuzzer: %s: %s\n", what, detail.c_str());
    std::abort();
}

// The period blocks in the format's printf conversions.
std::string printed(const qv::ConsensusFileContents& c) {
    std::string out;
    char line[4096];
    if (c.kind == qv::OutputKind::Winds) {
        for (const qv::WindPeriod& p : c.winds.periods) {
            std::snprintf(line, sizeof line, "%s%7d%10d\n", p.key,
                          static_cast<int>(std::min<std::size_t>(p.gates.size(), 2147483647)), 0);
            out += line;
            for (const qv::WindGate& g : p.gates) {
                std::snprintf(line, sizeof line,
                              "%2d%7.0Lf%9.1f%6d.%8.2f%8.2f%8.2f%4u%4u%4u%5d%5d%5d\n", g.qcCode,
                              g.height, static_cast<double>(g.speed), g.direction,
                              static_cast<double>(g.u), static_cast<double>(g.v),
                              static_cast<double>(g.w), g.countU, g.countV, g.countW, g.snrU,
                              g.snrV, g.snrW);
                out += line;
            }
        }
    } else {
        for (const qv::TemperaturePeriod& p : c.temperature.periods) {
            std::snprintf(line, sizeof line, "%s%7d%10d\n", p.key,
                          static_cast<int>(std::min<std::size_t>(p.gates.size(), 2147483647)), 0);
            out += line;
            for (const qv::TemperatureGate& g : p.gates) {
                const float value = c.temperatureDigit == 1 ? g.tv : g.tvc;
                std::snprintf(line, sizeof line, "%2d%7.0f%9.1f%6d%6d\n", g.qcCode, g.height,
                              static_cast<double>(value), g.count, g.snr);
                out += line;
            }
        }
    }
    return out;
}

std::string minimalHeader(const qv::ConsensusFileContents& c) {
    const bool winds = c.kind == qv::OutputKind::Winds;
    return std::string("CDF Type:  ") + (winds ? "Wind" : "Temp") +
           "\nStation:            X\nDate:               06/15/04\n"
           "Filename:           X04167." +
           (winds ? "w1a" : (c.temperatureDigit == 1 ? "t1a" : "t2a")) +
           "\nAvg. Int. (min):    30\nHHMM    NNN         N\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string name = "fuzz.w1a";
    const qv::ConsensusFileRead read = qv::parseConsensusFile(text, name);
    if (!read.ok) {
        const std::string prefix = name + ", line ";
        if (read.error.rfind(prefix, 0) != 0) fail("a refusal names no line", read.error);
        const std::size_t line = std::strtoull(read.error.c_str() + prefix.size(), nullptr, 10);
        const std::size_t lines =
            static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        if (line < 1 || line > lines + 1) fail("a refusal names a line the text lacks", read.error);
        return 0;
    }
    const std::string once = printed(read.contents);
    const qv::ConsensusFileRead again =
        qv::parseConsensusFile(minimalHeader(read.contents) + once, name);
    if (!again.ok) fail("printed values do not read again", again.error);
    const std::string twice = printed(again.contents);
    const qv::ConsensusFileRead third =
        qv::parseConsensusFile(minimalHeader(read.contents) + twice, name);
    if (!third.ok) fail("printed values do not read again", third.error);
    if (printed(third.contents) != twice) fail("printing does not settle", twice);
    return 0;
}
