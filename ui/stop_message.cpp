#include "ui/stop_message.h"

#include <QMessageBox>
#include <QWidget>

namespace qv {

void showStopMessage(QWidget* parent, const QString& text) {
    const QString title = parent ? parent->window()->windowTitle() : QStringLiteral("Quorvane");
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.exec();
}

StopMessage stopMessageOrDefault(StopMessage message) {
    if (message) return message;
    return showStopMessage;
}

}  // namespace qv
