// Shared pieces of the output tests: consensus files written by the batch
// tool over the bundled samples, and the writer's own lines for read values.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/batch_test_support.h"
#include <cstdio>
#include "output/consensus_file_reader.h"

namespace qv::test {

// Runs the batch tool over the samples (two days) for "winds" or
// "temperature" into `folder`; returns the files written, sorted.
inline std::vector<fs::path> batchFiles(const fs::path& folder, const std::string& kind) {
    fs::create_directories(folder);
    std::vector<std::string> args = sampleArgs(folder.string(), kind) +
                                    std::vector<std::string>{"--window", "2", "--threshold", "50",
                                                             "--quiet"};
    if (kind == "temperature") args = args + std::vector<std::string>{"--rass-window", "1.5"};
    const BatchRun run = runTool(args);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<fs::path> out;
    for (const std::string& name : listFolder(folder)) out.push_back(folder / name);
    return out;
}

// The lines of a file after its column heads (the period blocks).
inline std::vector<std::string> blockLines(const std::string& text) {
    const std::vector<std::string> all = lines(text);
    std::vector<std::string> out;
    bool body = false;
    for (const std::string& line : all) {
        if (body) out.push_back(line);
        if (line.rfind("Code (m msl)", 0) == 0) body = true;
    }
    return out;
}

// The lines as the format's printf conversions print them.
inline std::string windLine(const WindGate& g) {
    char line[512];
    std::snprintf(line, sizeof line, "%2d%7.0Lf%9.1f%6d.%8.2f%8.2f%8.2f%4u%4u%4u%5d%5d%5d",
                  g.qcCode, g.height, static_cast<double>(g.speed), g.direction,
                  static_cast<double>(g.u), static_cast<double>(g.v), static_cast<double>(g.w),
                  g.countU, g.countV, g.countW, g.snrU, g.snrV, g.snrW);
    return line;
}

inline std::string temperatureLine(const TemperatureGate& g, int digit) {
    char line[512];
    std::snprintf(line, sizeof line, "%2d%7.0f%9.1f%6d%6d", g.qcCode, g.height,
                  static_cast<double>(digit == 1 ? g.tv : g.tvc), g.count, g.snr);
    return line;
}

inline std::string periodLine(const char* key, std::size_t gates) {
    char line[64];
    std::snprintf(line, sizeof line, "%s%7d%10d", key, static_cast<int>(gates), 0);
    return line;
}

// The period blocks of what was read, printed again by the writer.
inline std::vector<std::string> reprinted(const ConsensusFileContents& c) {
    std::vector<std::string> out;
    if (c.kind == OutputKind::Winds) {
        for (const WindPeriod& p : c.winds.periods) {
            out.push_back(periodLine(p.key, p.gates.size()));
            for (const WindGate& g : p.gates) out.push_back(windLine(g));
        }
    } else {
        for (const TemperaturePeriod& p : c.temperature.periods) {
            out.push_back(periodLine(p.key, p.gates.size()));
            for (const TemperatureGate& g : p.gates) {
                out.push_back(temperatureLine(g, c.temperatureDigit));
            }
        }
    }
    return out;
}

}  // namespace qv::test
