// The dialog and its worker under a restless user: runs back to back with
// Cancel pressed at random moments (while a day is read, while the review is
// open, during the consensus, in the pause after a day without moments),
// radio buttons changed while a run is active, and the dialog closed at
// random moments. Every run must end in "Done." or "Operation canceled."
// with Process enabled; nothing may hang. Meant to be run in the
// ThreadSanitizer build too (make tsan).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "../support/scripted_stages.h"
#include "ui/main_dialog.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

constexpr int kWaitMs = 60000;

CalendarTime fixedToday() {
    CalendarTime t;
    t.year = 2024;
    t.month = 3;
    t.day = 15;
    return t;
}

// Answers the settings review with OK whenever it appears, or closes the
// main dialog from inside it when asked to. Runs on the dialog's thread.
class ReviewAnswerer {
public:
    explicit ReviewAnswerer(MainDialog*& dialog) : dialog_(dialog) {
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start();
    }

    std::atomic<bool> closeInReview{false};
    int reviews = 0;
    int unexpected = 0;

private:
    void tick() {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible() || modal == last_) return;
        last_ = modal;
        if (modal->windowTitle() != QLatin1String("Consensus Settings")) {
            ++unexpected;
            modal->reject();
            return;
        }
        ++reviews;
        if (closeInReview.load() && dialog_) {
            dialog_->close();
            return;
        }
        if (auto* ok = modal->findChild<QPushButton*>(QStringLiteral("okButton"))) ok->click();
    }

    MainDialog*& dialog_;
    QTimer timer_;
    QPointer<QDialog> last_;
};

class MainDialogStress : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        QDir(temp_.path()).mkdir("in");
        QDir(temp_.path()).mkdir("out");
    }

    // Scripted readers: `dwells` dwells of one beam per day, a short pause
    // between dwells in which the cancel is polled; every third day (when
    // asked) has none. The consensus takes a few milliseconds.
    ProcessingSteps steps() {
        ProcessingSteps s;
        s.readAscii = [this](ConsensusJob& job, const CalendarTime& day) {
            if (emptyThirdDays_.load() && day.day % 3 == 0) return 0;
            MomentRecord& r = job.record;
            r.processDayOfYear = dayOfYear(day.year, day.month, day.day);
            for (int n = 0; n < 8; ++n) {
                r.recordTime = day;
                r.recordTime.hour = static_cast<std::uint16_t>(3 * n);
                r.recordDayOfYear = r.processDayOfYear;
                r.azimuth = 45;
                r.elevation = 66.4f;
                r.pulseWidth = 700;
                r.gateCount = 2;
                r.gateVelocity[0] = 1.0f;
                r.gateVelocity[1] = 2.0f;
                r.rassFlag = 0;
                AccumulateRecord(job, day);
                std::this_thread::sleep_for(200us);
                if (job.cancelEvent.poll()) break;
            }
            return 1;
        };
        s.readBinary = s.readAscii;
        auto consensus = [this](ConsensusJob& job) {
            ++consensusRuns_;
            float sum = 0.0f;
            for (BeamSetting* b : job.beamSettings) sum += b->consensusWindow;
            (void)sum;
            std::this_thread::sleep_for(1ms);
            return false;
        };
        s.stages = test::scriptedStages({consensus, consensus, {}});
        return s;
    }

    std::unique_ptr<MainDialog> open() {
        MainDialogHooks hooks;
        hooks.clock = fixedToday;
        // The scripted consensus writes no file: every finished run ends
        // with the box that says so, and no other box is shown.
        hooks.stopMessage = [this](QWidget*, const QString& text) {
            ++(text.startsWith(QStringLiteral("Nothing was written.")) ? nothingWritten_
                                                                       : messages_);
        };
        hooks.pickFolder = [this](QWidget*, const QString&) { return nextFolder_; };
        hooks.steps = [this](const RunOutputs&) { return steps(); };
        auto dialog = std::make_unique<MainDialog>(hooks);
        dialog->job().noMomentsPause = 5ms;
        dialog->show();

        // 10 to 15 March 2024, ASCII input "abc", 60 minutes.
        auto* beginDay = dialog->findChild<QComboBox*>("beginDay");
        auto* endDay = dialog->findChild<QComboBox*>("endDay");
        beginDay->setCurrentIndex(9);
        endDay->setCurrentIndex(14);
        nextFolder_ = temp_.filePath("in");
        dialog->findChild<QPushButton*>("inputBrowse")->click();
        nextFolder_ = temp_.filePath("out");
        dialog->findChild<QPushButton*>("outputBrowse")->click();
        dialog->findChild<QRadioButton*>("asciiRadio")->click();
        dialog->findChild<QLineEdit*>("siteId")->setText("abc");
        dialog->findChild<QLineEdit*>("averagingPeriod")->setText("60");

        // The one beam the readers find already has its settings, so the
        // review needs only OK.
        auto* s = new BeamSetting;  // freed by ClearBeamSettings
        s->azimuth = 45;
        s->elevation = 66.4f;
        s->pulseWidth = 700;
        s->consensusWindow = 2.0f;
        s->consensusPercent = 50;
        dialog->job().beamSettings.append(s);
        return dialog;
    }

    static QPushButton* push(MainDialog& d, const char* name) {
        return d.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static QString statusMain(MainDialog& d) {
        return d.findChild<QLabel*>("statusMain")->text();
    }

    // Clicks one of the radio buttons at random, as a user might mid-run.
    static void clickRandomRadio(MainDialog& d, std::mt19937& random) {
        static const char* const kRadios[] = {"binaryRadio",     "asciiRadio",
                                              "windsRadio",      "temperatureRadio",
                                              "verticalNotUsed", "verticalWhenAvailable",
                                              "verticalRequired"};
        d.findChild<QRadioButton*>(kRadios[random() % 7])->click();
    }

    QTemporaryDir temp_;
    QString nextFolder_;
    int messages_ = 0;
    int nothingWritten_ = 0;
    std::atomic<int> consensusRuns_{0};
    std::atomic<bool> emptyThirdDays_{false};
};

TEST_F(MainDialogStress, RunsBackToBackWithCancelsAndRadioChangesAtRandomMoments) {
    std::unique_ptr<MainDialog> owner = open();
    MainDialog* dialog = owner.get();
    ReviewAnswerer answerer(dialog);
    std::mt19937 random(20240315);
    int done = 0;
    int canceled = 0;
    constexpr int kRuns = 40;
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        emptyThirdDays_ = random() % 2 == 0;
        ASSERT_TRUE(push(*dialog, "processButton")->isEnabled());
        push(*dialog, "processButton")->click();
        ASSERT_TRUE(dialog->runActive());

        // Radio changes and perhaps a Cancel, at random moments of the run.
        const bool cancel = random() % 3 != 0;
        const int cancelAfterMs = static_cast<int>(random() % 40);
        for (int ms = 0; dialog->runActive() && ms < 60; ms += 2) {
            if (random() % 4 == 0) clickRandomRadio(*dialog, random);
            if (cancel && ms >= cancelAfterMs && push(*dialog, "cancelButton")->isEnabled()) {
                push(*dialog, "cancelButton")->click();
            }
            QTest::qWait(2);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->runActive(); }, kWaitMs));
        const QString main = statusMain(*dialog);
        EXPECT_TRUE(main == "Done." || main == "Operation canceled.") << main.toStdString();
        (main == "Done." ? done : canceled)++;
        EXPECT_TRUE(push(*dialog, "processButton")->isEnabled());
        EXPECT_FALSE(push(*dialog, "cancelButton")->isEnabled());
        EXPECT_FALSE(dialog->job().cancelEvent.poll());
        // The next run reads ASCII again (a radio change may have left Binary:
        // both readers are the same script here).
        dialog->findChild<QRadioButton*>("asciiRadio")->click();
    }
    EXPECT_EQ(done + canceled, kRuns);
    EXPECT_GT(done, 0);
    EXPECT_GT(canceled, 0);
    EXPECT_EQ(answerer.unexpected, 0);
    EXPECT_EQ(messages_, 0);
    EXPECT_EQ(nothingWritten_, done);
}

TEST_F(MainDialogStress, ClosingAtRandomMomentsAlwaysEndsTheRunAndCloses) {
    std::mt19937 random(1995);
    constexpr int kCloses = 24;
    for (int i = 0; i < kCloses; ++i) {
        SCOPED_TRACE("close " + std::to_string(i));
        std::unique_ptr<MainDialog> owner = open();
        MainDialog* dialog = owner.get();
        ReviewAnswerer answerer(dialog);
        // One run in four closes from inside the settings review.
        answerer.closeInReview = i % 4 == 0;
        emptyThirdDays_ = i % 2 == 0;
        push(*dialog, "processButton")->click();
        const int closeAfterMs = static_cast<int>(random() % 30);
        for (int ms = 0; ms < closeAfterMs && dialog->runActive(); ms += 2) {
            if (random() % 3 == 0) clickRandomRadio(*dialog, random);
            QTest::qWait(2);
        }
        if (random() % 2 == 0) push(*dialog, "cancelButton")->click();
        dialog->close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, kWaitMs));
        EXPECT_FALSE(dialog->runActive());
        const QString main = statusMain(*dialog);
        EXPECT_TRUE(main == "Done." || main == "Operation canceled.") << main.toStdString();
        EXPECT_TRUE(push(*dialog, "processButton")->isEnabled());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(answerer.unexpected, 0);
        dialog = nullptr;
        owner.reset();
    }
}

TEST_F(MainDialogStress, DestroyingTheDialogAtRandomMomentsOfARun) {
    std::mt19937 random(2004);
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE("destroy " + std::to_string(i));
        std::unique_ptr<MainDialog> owner = open();
        MainDialog* dialog = owner.get();
        ReviewAnswerer answerer(dialog);
        push(*dialog, "processButton")->click();
        QTest::qWait(static_cast<int>(random() % 20));
        const auto start = std::chrono::steady_clock::now();
        dialog = nullptr;
        owner.reset();  // the worker is released and joined, never waited on forever
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        // Queued updates of the destroyed dialog must not run.
        QTest::qWait(5);
    }
}

}  // namespace
}  // namespace qv
