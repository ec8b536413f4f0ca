// Writes the program icon as PNG files, one per size, into a folder:
//   quorvane-render-icon DIR
// The files under ui/resources/icons are made by it.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/program_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    for (int size : qv::kIconSizes) {
        const QString path = dir.filePath(QStringLiteral("quorvane-%1.png").arg(size));
        if (!qv::drawProgramIcon(size).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
