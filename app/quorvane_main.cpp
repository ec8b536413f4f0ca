// The dialog program: shows the main window modally and ends when it closes.
// It keeps no settings and takes no command line of its own.
#include <QApplication>
#include <clocale>

#include "app/engine/engine.h"
#include "output/netcdf_api.h"
#include "ui/main_dialog.h"
#include "ui/program_icon.h"

int main(int argc, char** argv) {
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
