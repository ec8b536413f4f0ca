// quorvane-batch: the processing run without a screen. See --help.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "app/batch/batch.h"
#include "output/netcdf_api.h"

int main(int argc, char** argv) {
    qv::nc::keepHeapForManyFiles();
    qv::batch::BatchContext context;
    context.out = &std::cout;
    context.err = &std::cerr;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) context.sourceDateEpoch = epoch;
    context.terminal = isatty(STDERR_FILENO) == 1;
    if (context.terminal) {
        winsize size{};
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
            context.terminalWidth = size.ws_col;
        }
    }
    context.interrupted = &qv::batch::installInterruptHandler();

    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return qv::batch::runBatch(args, context);
}
