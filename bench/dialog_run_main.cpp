// quorvane-dialog-bench: the real main dialog, driven as a user would drive
// it, over the days of a benchmark: fields filled in, Process pressed, the
// consensus settings review answered as it appears, until "Done.". Prints
// the time from Process to the end of the run, for comparison with
// quorvane-batch over the same days. Runs on any Qt platform; the benchmark
// script uses the offscreen one.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/batch/batch.h"
#include "app/engine/engine.h"
#include "output/netcdf_api.h"
#include "ui/main_dialog.h"

namespace {

constexpr int kPollMs = 5;  // how often the review's dialogs are looked for

const char* kUsage =
    "Usage: quorvane-dialog-bench --begin YYYY-MM-DD --end YYYY-MM-DD --input DIR --output DIR\n"
    "         --input-type ascii|binary [--site SSS] --kind winds|temperature --minutes N\n"
    "         --window W --threshold P [--rass-window W] [--rass-threshold P]\n";

struct Date {
    int year = 0, month = 0, day = 0;
};

bool parseDate(const std::string& text, Date& d) {
    char tail = 0;
    return std::sscanf(text.c_str(), "%d-%d-%d%c", &d.year, &d.month, &d.day, &tail) == 3 &&
           d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "quorvane-dialog-bench: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// Sets one date's three lists; false when the year is not offered.
bool setDate(qv::MainDialog& dialog, const char* prefix, const Date& d) {
    auto list = [&](const char* part) {
        return dialog.findChild<QComboBox*>(QString::fromLatin1(prefix) + QLatin1String(part));
    };
    QComboBox* year = list("Year");
    const int yearIndex = year ? year->findText(QString::number(d.year)) : -1;
    if (yearIndex < 0 || !list("Month") || !list("Day")) return false;
    year->setCurrentIndex(yearIndex);
    list("Month")->setCurrentIndex(d.month - 1);
    list("Day")->setCurrentIndex(d.day - 1);
    return true;
}

// Answers the settings review: every forced edit gets the radar or RASS
// values (told apart by the window's unit), and the list is closed with OK.
// Any other modal dialog (a stop message) is recorded and closed.
class ReviewAnswerer {
public:
    ReviewAnswerer(QString radarWindow, QString radarThreshold, QString rassWindow,
                   QString rassThreshold)
        : radar_{std::move(radarWindow), std::move(radarThreshold)},
          rass_{std::move(rassWindow), std::move(rassThreshold)} {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start(kPollMs);
        // A dialog is answered as soon as it is shown; the timer is the fallback.
        shown_.onShow = [this] { QTimer::singleShot(0, [this] { answer(); }); };
        qApp->installEventFilter(&shown_);
    }
    std::vector<std::string> messages;

private:
    struct Values {
        QString window, threshold;
    };

    void answer() {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible() || modal == last_) return;
        last_ = modal;
        const QString title = modal->windowTitle();
        if (title == QLatin1String("Edit Consensus Parameters")) {
            const auto* unit = modal->findChild<QLabel*>(QStringLiteral("windowUnitLabel"));
            const Values& v = unit && unit->text() == QLatin1String("C") ? rass_ : radar_;
            modal->findChild<QLineEdit*>(QStringLiteral("consensusWindowEdit"))->setText(v.window);
            modal->findChild<QLineEdit*>(QStringLiteral("consensusThresholdEdit"))
                ->setText(v.threshold);
            modal->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        } else if (title == QLatin1String("Consensus Settings")) {
            modal->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            timer_.stop();  // the review comes once per run
        } else {
            messages.push_back(title.toStdString());
            modal->reject();
        }
    }

    // Reports every dialog that is shown.
    class ShowFilter : public QObject {
    public:
        std::function<void()> onShow;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Show && qobject_cast<QDialog*>(watched) && onShow)
                onShow();
            return QObject::eventFilter(watched, event);
        }
    };

    QTimer timer_;
    ShowFilter shown_;
    QPointer<QDialog> last_;  // null once that dialog is gone
    Values radar_, rass_;
};

// Calls back on every enabled-state change of the watched widget.
class RunEndFilter : public QObject {
public:
    explicit RunEndFilter(std::function<void()> changed) : changed_(std::move(changed)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) changed_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> changed_;
};

}  // namespace

int main(int argc, char** argv) {
    qv::nc::keepHeapForManyFiles();  // as the dialog program does
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    std::map<std::string, std::string> o;
    for (int i = 1; i + 1 < argc; i += 2) o[argv[i]] = argv[i + 1];
    if (argc % 2 == 0) return fail("every option takes a value");
    for (const char* required : {"--begin", "--end", "--input", "--output", "--input-type",
                                 "--kind", "--minutes", "--window", "--threshold"}) {
        if (!o.count(required)) return fail(std::string(required) + " is required");
    }
    Date begin, end;
    if (!parseDate(o["--begin"], begin) || !parseDate(o["--end"], end)) return fail("invalid date");
    const bool ascii = o["--input-type"] == "ascii";
    const bool winds = o["--kind"] == "winds";
    const QString rassWindow = QString::fromStdString(o.count("--rass-window") ? o["--rass-window"]
                                                                                : o["--window"]);
    const QString rassThreshold = QString::fromStdString(
        o.count("--rass-threshold") ? o["--rass-threshold"] : o["--threshold"]);

    std::vector<std::string> stopMessages;
    QString nextFolder;
    qv::MainDialogHooks hooks;
    hooks.steps = [](const qv::RunOutputs& outputs) { return qv::standardSteps(outputs); };
    hooks.stopMessage = [&](QWidget*, const QString& text) {
        stopMessages.push_back(text.toStdString());
    };
    hooks.pickFolder = [&](QWidget*, const QString&) { return nextFolder; };
    // The "Created on" stamp from SOURCE_DATE_EPOCH, as the batch tool takes
    // it, so that the two programs' files can be compared byte for byte.
    qv::CalendarTime stamp;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        if (!qv::batch::sourceDateEpochTime(epoch, stamp)) return fail("invalid SOURCE_DATE_EPOCH");
        hooks.clock = [stamp] { return stamp; };
    }
    qv::MainDialog dialog(hooks);
    dialog.show();

    if (!setDate(dialog, "begin", begin) || !setDate(dialog, "end", end)) {
        return fail("a date's year is not in the dialog's lists");
    }
    nextFolder = QString::fromStdString(o["--input"]);
    dialog.findChild<QPushButton*>(QStringLiteral("inputBrowse"))->click();
    nextFolder = QString::fromStdString(o["--output"]);
    dialog.findChild<QPushButton*>(QStringLiteral("outputBrowse"))->click();
    dialog.findChild<QRadioButton*>(ascii ? QStringLiteral("asciiRadio")
                                          : QStringLiteral("binaryRadio"))
        ->click();
    if (o.count("--site")) {
        dialog.findChild<QLineEdit*>(QStringLiteral("siteId"))
            ->setText(QString::fromStdString(o["--site"]));
    }
    dialog.findChild<QRadioButton*>(winds ? QStringLiteral("windsRadio")
                                          : QStringLiteral("temperatureRadio"))
        ->click();
    dialog.findChild<QLineEdit*>(QStringLiteral("averagingPeriod"))
        ->setText(QString::fromStdString(o["--minutes"]));

    ReviewAnswerer answerer(QString::fromStdString(o["--window"]),
                            QString::fromStdString(o["--threshold"]), rassWindow, rassThreshold);
    auto* statusMain = dialog.findChild<QLabel*>(QStringLiteral("statusMain"));

    // The run ends when the dialog enables Process again: its enabled-change
    // event stops the clock, without polling the dialog's thread.
    QElapsedTimer clock;
    bool started = false;
    double seconds = 0.0;
    auto* process = dialog.findChild<QPushButton*>(QStringLiteral("processButton"));
    // The button is enabled just before the dialog ends the run: look right
    // after the dialog has handled the update. The end can come with a later
    // update than the button's (no further enabled change then): while the
    // button is enabled and the run not yet over, look again a millisecond on.
    std::function<void()> checkEnd = [&] {
        if (!started || seconds > 0.0) return;
        if (dialog.runActive()) {
            if (process->isEnabled()) QTimer::singleShot(1, &app, checkEnd);
            return;
        }
        seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
        app.quit();
    };
    RunEndFilter filter([&] { QTimer::singleShot(0, &app, checkEnd); });
    process->installEventFilter(&filter);
    QTimer::singleShot(0, [&] {
        clock.start();
        process->click();
        started = dialog.runActive();
        if (!started) app.quit();
    });
    app.exec();

    const std::string status = statusMain->text().toStdString();
    for (const std::string& m : stopMessages) std::fprintf(stderr, "message: %s\n", m.c_str());
    for (const std::string& m : answerer.messages) std::fprintf(stderr, "dialog: %s\n", m.c_str());
    if (!started || status != "Done." || !stopMessages.empty()) {
        std::fprintf(stderr, "quorvane-dialog-bench: the run did not end with Done. (%s)\n",
                     status.c_str());
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
