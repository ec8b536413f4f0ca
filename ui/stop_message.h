// The modal message box with the stop icon that both dialogs use for their
// fixed failure texts. Dialogs take it as a function so that callers (tests)
// can replace the box.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace qv {

using StopMessage = std::function<void(QWidget* parent, const QString& text)>;

// A modal box with the stop icon, the text and an OK button; its title is
// the parent window's title.
void showStopMessage(QWidget* parent, const QString& text);

// `message` when it is set, else showStopMessage.
StopMessage stopMessageOrDefault(StopMessage message);

}  // namespace qv
