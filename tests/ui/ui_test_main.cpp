// The dialog tests need a QApplication for their whole run; GoogleTest runs
// inside it. Tests run on the offscreen platform unless another is chosen.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <cstdio>

namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform warns about window features it lacks; those lines
// would bury the test output.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("propagateSizeHints"))) return;
    if (previousHandler) {
        previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    // As in the program: number texts are printf conversions with a '.'.
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
