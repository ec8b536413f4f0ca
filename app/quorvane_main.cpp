// The dialog program: shows the main window modally and ends when it closes.
// It keeps no settings; its command line is --version and --help alone.
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "app/engine/engine.h"
#include "core/version.h"
#include "output/netcdf_api.h"
#include "ui/main_dialog.h"
#include "ui/program_icon.h"

int main(int argc, char** argv) {
    // Answered before any window system is needed.
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs(qv::versionLine("quorvane").c_str(), stdout);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs("Usage: quorvane [--version] [--help]\n\n"
                   "Opens the Quorvane dialog: radar wind-profiler moments into consensus winds\n"
                   "and RASS virtual temperatures. quorvane-batch does the same without a screen.\n",
                   stdout);
        return 0;
    }
    qv::nc::keepHeapForManyFiles();
    QApplication app(argc, argv);
    // Qt adopts the user's locale; the output files and the dialogs' number
    // texts are printf conversions and need the '.' decimal point.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setDesktopFileName(QStringLiteral("quorvane"));
    QApplication::setWindowIcon(qv::programIcon());

    qv::MainDialogHooks hooks;
    hooks.steps = [](const qv::RunOutputs& outputs) { return qv::standardSteps(outputs); };
    qv::MainDialog dialog(std::move(hooks));
    dialog.exec();
    return 0;
}
