// quorvane-convert: consensus data files into netCDF-CF day files (the
// logic is in app/convert/convert.h).
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "app/convert/convert.h"
#include "core/version.h"
#include "output/netcdf_api.h"


int main(int argc, char** argv) {
    qv::nc::keepHeapForManyFiles();
    qv::ConvertEnvironment environment;
    environment.out = &std::cout;
    environment.err = &std::cerr;
    environment.version = qv::kVersion;
    environment.now = std::time(nullptr);
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) environment.sourceDateEpoch = epoch;
    return qv::runConvert(std::vector<std::string>(argv + 1, argv + argc), environment);
}
