// Answers the modal dialogs that appear while a test runs, one scripted step
// after another. Modal dialogs run their own event loops, so the answers
// come from a timer that fires inside those loops. A modal dialog that no
// step expects is closed and reported, so that a test never hangs.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qv::test {

class ModalScript {
public:
    // Acts on the active modal dialog. A step runs only on a dialog other
    // than the one the previous step acted on, unless `sameDialog` is set.
    struct Step {
        std::string expectedTitle;
        std::function<void(QDialog&)> act;
        bool sameDialog = false;
    };

    ModalScript() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start();
    }
    ~ModalScript() { timer_.stop(); }

    ModalScript& then(std::string title, std::function<void(QDialog&)> act) {
        steps_.push_back({std::move(title), std::move(act), false});
        return *this;
    }
    ModalScript& thenSame(std::string title, std::function<void(QDialog&)> act) {
        steps_.push_back({std::move(title), std::move(act), true});
        return *this;
    }

    bool finished() const { return steps_.empty(); }
    // Titles of the dialogs in the order the steps acted on them.
    const std::vector<std::string>& seen() const { return seen_; }
    // Dialogs that appeared with no step for them (closed by the script).
    const std::vector<std::string>& unexpected() const { return unexpected_; }

private:
    void tick() {
        if (busy_) return;
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible()) return;
        // A dialog whose answer is still running (it opened a nested dialog
        // and is waiting for it) is not a new dialog.
        for (const QPointer<QDialog>& d : acting_) {
            if (d == modal) return;
        }
        if (steps_.empty()) {
            unexpected_.push_back(modal->windowTitle().toStdString());
            modal->reject();
            return;
        }
        Step& step = steps_.front();
        if (!step.sameDialog && last_ == modal) return;  // still closing
        if (modal->windowTitle().toStdString() != step.expectedTitle) {
            unexpected_.push_back(modal->windowTitle().toStdString());
            modal->reject();
            return;
        }
        Step current = std::move(step);
        steps_.pop_front();
        last_ = modal;
        seen_.push_back(current.expectedTitle);
        // The answer runs from the event loop, not inside this timer's tick:
        // it may open a further modal dialog that the timer must answer too.
        busy_ = true;
        QPointer<QDialog> target = modal;
        QMetaObject::invokeMethod(
            &timer_,
            [this, target, act = std::move(current.act)] {
                busy_ = false;
                if (!target) return;
                acting_.push_back(target);
                act(*target);
                acting_.pop_back();
            },
            Qt::QueuedConnection);
    }

    QTimer timer_;
    std::deque<Step> steps_;
    QPointer<QDialog> last_;
    bool busy_ = false;
    std::vector<QPointer<QDialog>> acting_;
    std::vector<std::string> seen_;
    std::vector<std::string> unexpected_;
};

inline constexpr const char* kEditTitle = "Edit Consensus Parameters";
inline constexpr const char* kSettingsTitle = "Consensus Settings";

inline QLineEdit* field(QWidget& dialog, const char* name) {
    return dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
}

inline QPushButton* button(QWidget& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
}

// Types a window and a threshold into the edit dialog and presses OK.
inline std::function<void(QDialog&)> enterValues(const char* window, const char* threshold) {
    return [window, threshold](QDialog& d) {
        field(d, "consensusWindowEdit")->setText(QString::fromLatin1(window));
        field(d, "consensusThresholdEdit")->setText(QString::fromLatin1(threshold));
        button(d, "okButton")->click();
    };
}

inline std::function<void(QDialog&)> pressOk() {
    return [](QDialog& d) { button(d, "okButton")->click(); };
}

}  // namespace qv::test
