#include "output/consensus_file_sink.h"

#include "output/consensus_file.h"
#include "output/whole_file.h"

namespace qv {

std::string consensusFilePath(const std::string& folder, const DayHeader& header, int variant) {
    return folder + "/" + consensusFileName(header, variant);
}

std::vector<OutputFile> consensusFiles(const DayProducts& products, const OutputContext& context) {
    std::vector<OutputFile> files;
    for (const WindDay& day : products.winds) {
        const std::string path = consensusFilePath(context.folder, day.header, day.header.variant);
        files.push_back(makeOutputFile(path, [&](std::string& bytes, std::string&) {
            bytes = windFileText(day, context.created);
            return true;
        }));
    }
    for (const TemperatureDay& day : products.temperature) {
        for (const int digit : {1, 2}) {
            const std::string path = consensusFilePath(context.folder, day.header, digit);
            files.push_back(makeOutputFile(path, [&](std::string& bytes, std::string&) {
                bytes = temperatureFileText(day, digit, context.created);
                return true;
            }));
        }
    }
    return files;
}

void writeOutputFiles(const std::vector<OutputFile>& files, FileReport& report) {
    for (const OutputFile& file : files) {
        std::string error = file.error;
        if (file.made() &&
            writeWholeFile(file.path, file.bytes, error,
                           file.flush ? Durability::Flushed : Durability::RenamedOnly)) {
            report.written.push_back(file.path);
        } else {
            report.lost(file.path, error);
        }
    }
}

void writeConsensusFiles(const DayProducts& products, const std::string& folder,
                         const CalendarTime& created, FileReport& report) {
    OutputContext context;
    context.folder = folder;
    context.created = created;
    writeOutputFiles(consensusFiles(products, context), report);
}

}  // namespace qv
