// quorvane-plot: time-height plots of consensus data files and netCDF day
// files (see app/plot/plot_tool.h and --help).
#include <iostream>
#include <string>
#include <vector>

#include "app/plot/plot_tool.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return qv::plot::runPlotTool(arguments, std::cout, std::cerr);
}
