#include "output/consensus_file_sink.h"

#include "core/text.h"
#include "output/consensus_file.h"
#include "output/whole_file.h"

namespace qv {
namespace {

void writeOne(const std::string& path, const std::string& text, OutputReport& report) {
    std::string error;
    if (writeWholeFile(path, text, error)) {
        report.written.push_back(path);
    } else {
        // Listed with the run's other unwritten files at its end.
        report.unwritten.push_back(path);
    }
}

}  // namespace

std::string consensusFilePath(const std::string& folder, const DayHeader& header, int variant) {
    return formatText("%s/%s", folder.c_str(), consensusFileName(header, variant).c_str());
}

void writeConsensusFiles(const DayProducts& products, const std::string& folder,
                         const CalendarTime& created, OutputReport& report) {
    for (const WindDay& day : products.winds) {
        writeOne(consensusFilePath(folder, day.header, day.header.variant),
                 windFileText(day, created), report);
    }
    for (const TemperatureDay& day : products.temperature) {
        for (const int digit : {1, 2}) {
            writeOne(consensusFilePath(folder, day.header, digit),
                     temperatureFileText(day, digit, created), report);
        }
    }
}

}  // namespace qv
