#include "output/netcdf_output.h"

#include "core/text.h"
#include "output/netcdf_file.h"

namespace qv {

std::vector<OutputFile> netcdfFiles(const DayProducts& products, const OutputContext& context) {
    NetcdfContext netcdf;
    netcdf.version = context.version;
    const CalendarTime& t = context.created;
    netcdf.history = formatText("%04d-%02d-%02dT%02d:%02d:%02dZ ", t.year, t.month, t.day, t.hour,
                                t.minute, t.second) +
                     context.history;
    std::vector<OutputFile> files;
    for (const WindDay& day : products.winds) {
        const std::string path = pathIn(context.folder, windNetcdfName(day));
        files.push_back(makeOutputFile(path, [&](std::string& bytes, std::string& error) {
            return makeWindNetcdf(day, netcdf, path, bytes, error);
        }));
    }
    for (const TemperatureDay& day : products.temperature) {
        const std::string path = pathIn(context.folder, temperatureNetcdfName(day));
        files.push_back(makeOutputFile(path, [&](std::string& bytes, std::string& error) {
            return makeTemperatureNetcdf(day, netcdf, path, bytes, error);
        }));
    }
    return files;
}

}  // namespace qv
