// The main dialog on a field laptop's screen, the run's day counter and the
// days it reports written, a site's settings file that spares the review's
// typing, and profiles that keep every field.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../support/scripted_stages.h"
#include "tests/ui/modal_script.h"
#include "ui/main_dialog.h"

namespace qv {
namespace {

using test::enterValues;
using test::kEditTitle;
using test::kSettingsTitle;
using test::ModalScript;
using test::pressOk;

constexpr int kWaitMs = 20000;

class MainDialogFitTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        QDir(temp_.path()).mkdir("in");
        QDir(temp_.path()).mkdir("out");
        inputDir_ = temp_.filePath("in");
        outputDir_ = temp_.filePath("out");
    }

    MainDialogHooks hooks() {
        MainDialogHooks h;
        h.clock = [] {
            CalendarTime t;
            t.year = 2024;
            t.month = 3;
            t.day = 15;
            return t;
        };
        h.stopMessage = [this](QWidget*, const QString& text) {
            messages_.push_back(text.toStdString());
        };
        h.pickFolder = [this](QWidget*, const QString&) { return nextPath_; };
        auto file = [this](QWidget*, const QString&, const QString& folder) {
            pickerFolders_.push_back(folder);
            return nextPath_;
        };
        h.pickSettingsFile = file;
        h.pickProfileToOpen = file;
        h.pickProfileToSave = file;
        h.steps = [this](const RunOutputs&) { return steps(); };
        return h;
    }

    std::unique_ptr<MainDialog> open() {
        auto d = std::make_unique<MainDialog>(hooks());
        d->job().noMomentsPause = std::chrono::milliseconds(0);
        d->show();
        return d;
    }

    // Two radar beams (azimuths 45 and 135) at noon of every day; the read
    // of day `holdDay_` waits for `release_`, that of `cancelDay_` cancels.
    ProcessingSteps steps() {
        ProcessingSteps s;
        s.readAscii = [this](ConsensusJob& job, const CalendarTime& day) {
            while (day.day == holdDay_ && !release_ &&
                   !job.cancelEvent.waitFor(std::chrono::milliseconds(5))) {
            }
            if (day.day == cancelDay_) job.cancelEvent.set();
            for (const std::int32_t azimuth : {45, 135}) {
                MomentRecord& r = job.record;
                r.recordTime = day;
                r.recordTime.hour = 12;
                r.processDayOfYear = dayOfYear(day.year, day.month, day.day);
                r.recordDayOfYear = r.processDayOfYear;
                r.azimuth = azimuth;
                r.elevation = 66.4f;
                r.pulseWidth = 700;
                r.gateCount = 1;
                r.gateVelocity[0] = 1.0f;
                r.rassFlag = 0;
                AccumulateRecord(job, day);
            }
            return 1;
        };
        s.readBinary = s.readAscii;
        test::StageScript script;
        script.winds = [this](ConsensusJob& job) {
            if (!writeFiles_) return false;
            const std::string path =
                QDir(outputDir_)
                    .filePath(QStringLiteral("day%1.w").arg(job.currentDay.day))
                    .toStdString();
            if (std::FILE* f = std::fopen(path.c_str(), "w")) {
                std::fclose(f);
                job.recordWritten(path);
            }
            return true;
        };
        s.stages = test::scriptedStages(script);
        return s;
    }

    // 15 to 17 June 2004, ASCII "abc", 30 minutes.
    void fill(MainDialog& d) {
        for (const char* prefix : {"begin", "end"}) {
            list(d, (std::string(prefix) + "Year").c_str())->setCurrentIndex(2004 - 1995);
            list(d, (std::string(prefix) + "Month").c_str())->setCurrentIndex(5);
        }
        list(d, "beginDay")->setCurrentIndex(14);
        list(d, "endDay")->setCurrentIndex(16);
        nextPath_ = inputDir_;
        push(d, "inputBrowse")->click();
        nextPath_ = outputDir_;
        push(d, "outputBrowse")->click();
        d.findChild<QRadioButton*>("asciiRadio")->click();
        d.findChild<QLineEdit*>("siteId")->setText("abc");
        d.findChild<QLineEdit*>("averagingPeriod")->setText("30");
    }

    QString writeFile(const char* name, const std::string& text) {
        const QString path = temp_.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
        return path;
    }

    static QComboBox* list(MainDialog& d, const char* name) {
        return d.findChild<QComboBox*>(QString::fromLatin1(name));
    }
    static QPushButton* push(MainDialog& d, const char* name) {
        return d.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static QString label(MainDialog& d, const char* name) {
        return d.findChild<QLabel*>(QString::fromLatin1(name))->text();
    }

    QTemporaryDir temp_;
    QString inputDir_, outputDir_, nextPath_;
    std::vector<std::string> messages_;
    std::vector<QString> pickerFolders_;
    std::atomic<int> holdDay_{0};
    std::atomic<int> cancelDay_{0};
    std::atomic<bool> release_{false};
    std::atomic<bool> writeFiles_{true};
};

// On a 1366x768 screen with a window frame around it, and smaller, every
// button can be pressed: Process, Cancel, Results..., the profile buttons
// and Exit stay in view, and those among the option groups are brought into
// view by the scroll area.
TEST_F(MainDialogFitTest, EveryButtonIsWithinA1366x768Screen) {
    const QRect screen(0, 0, 1366, 768);
    const int title = 30, border = 4, panel = 40;  // a frame and a taskbar
    auto dialog = open();
    const QSize minimum = dialog->minimumSizeHint().expandedTo(dialog->minimumSize());
    EXPECT_LE(minimum.width(), screen.width() - 2 * border);
    EXPECT_LE(minimum.height(), screen.height() - title - border - panel);

    const QSize sizes[] = {{1366 - 2 * border, 768 - title - border - panel},
                           {minimum.width(), 768 - title - border - panel},
                           minimum};
    for (const QSize& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        dialog->move(border, title);
        dialog->resize(size);
        QCoreApplication::processEvents();
        ASSERT_EQ(dialog->size(), size);
        auto* area = dialog->findChild<QScrollArea*>("optionsArea");
        const QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
        ASSERT_EQ(buttons.size(), 9);
        for (QPushButton* b : buttons) {
            SCOPED_TRACE(b->objectName().toStdString());
            const bool scrolled = area->widget()->isAncestorOf(b);
            if (scrolled) {
                area->ensureWidgetVisible(b);
                QCoreApplication::processEvents();
                const QRect inView(b->mapTo(area->viewport(), QPoint(0, 0)), b->size());
                EXPECT_TRUE(area->viewport()->rect().contains(inView));
            }
            const QRect onScreen(b->mapTo(dialog.get(), QPoint(0, 0)) + dialog->pos(), b->size());
            EXPECT_TRUE(b->isVisibleTo(dialog.get()));
            if (!scrolled) {
                EXPECT_TRUE(screen.contains(onScreen)) << onScreen.y();
            }
        }
    }
}

// A run of three days: the counter while a day is read, and afterwards the
// days written and the day a cancel stopped.
TEST_F(MainDialogFitTest, DayCounterAndTheDaysWritten) {
    const QString csv = writeFile("site.csv", "45,66.4,700,0,3,50\n135,66.4,700,0,3,50\n");
    struct Case {
        int cancelDay;
        bool reviewed;
        bool writeFiles;
        const char* summary;
    } cases[] = {
        {0, true, true, "Days 06/15/04 to 06/17/04 written."},
        {17, true, true, "Days 06/15/04 to 06/16/04 written; cancelled during 06/17/04."},
        {16, true, true, "Day 06/15/04 written; cancelled during 06/16/04."},
        {15, false, true, "No day written; cancelled during 06/15/04."},
        {0, true, false, "Days 06/15/04 to 06/17/04 read; nothing written."},
        {17, true, false, "No day written; cancelled during 06/17/04."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        auto dialog = open();
        fill(*dialog);
        dialog->findChild<QLineEdit*>("settingsPath")->setText(csv);
        cancelDay_ = c.cancelDay;
        writeFiles_ = c.writeFiles;
        holdDay_ = 16;
        release_ = false;
        ModalScript script;
        if (c.reviewed) script.then(kSettingsTitle, pressOk());
        push(*dialog, "processButton")->click();
        auto* bar = dialog->findChild<QProgressBar*>("dayBar");
        if (c.cancelDay != 15) {
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return label(*dialog, "dayText") == "Day 2 of 3"; }, kWaitMs))
                << label(*dialog, "dayText").toStdString();
            EXPECT_EQ(bar->value(), 2);
            EXPECT_EQ(bar->maximum(), 3);
        }
        release_ = true;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->runActive(); }, kWaitMs));
        EXPECT_EQ(label(*dialog, "dayText"), QString::fromLatin1(c.summary));
        EXPECT_EQ(label(*dialog, "statusMain"), c.cancelDay ? "Operation canceled." : "Done.");
        if (!c.cancelDay) {
            EXPECT_EQ(bar->value(), 3);
        }
        EXPECT_TRUE(script.finished());
        EXPECT_TRUE(script.unexpected().empty());
    }
}

// The review asks only for the beams the chosen settings file lacks; the
// others take the file's values.
TEST_F(MainDialogFitTest, SettingsFileSparesTheBeamsItHas) {
    struct Case {
        const char* file;
        std::vector<std::string> asked;
        float window45;
    } cases[] = {
        {"", {"45", "135"}, 2.0f},
        {"azimuth,elevation,pulse_width,rass,window,threshold\n45,66.4,700,0,4.5,60\n",
         {"135"},
         4.5f},
        {"# both\n45,66.4,700,OFF,4.5,60\n135,66.4,700,OFF,5,70\n", {}, 4.5f},
        {"45,66.4,700,0,,60\n", {"45", "135"}, 2.0f},  // no window: asked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto dialog = open();
        fill(*dialog);
        if (*c.file) {
            nextPath_ = writeFile("site.csv", c.file);
            pickerFolders_.clear();
            push(*dialog, "settingsBrowse")->click();
            EXPECT_EQ(pickerFolders_, std::vector<QString>{inputDir_});
        }
        ModalScript script;
        std::vector<std::string> asked;
        for (std::size_t i = 0; i < c.asked.size(); ++i) {
            script.then(kEditTitle, [&](QDialog& d) {
                asked.push_back(test::field(d, "azimuthEdit")->text().toStdString());
                enterValues("2", "50")(d);
            });
        }
        script.then(kSettingsTitle, pressOk());
        push(*dialog, "processButton")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->runActive(); }, kWaitMs));
        EXPECT_EQ(asked, c.asked);
        EXPECT_TRUE(script.finished());
        EXPECT_TRUE(script.unexpected().empty());
        EXPECT_TRUE(messages_.empty()) << messages_.front();  // no beam left without settings
        EXPECT_EQ(label(*dialog, "statusMain"), "Done.");
        ASSERT_EQ(dialog->job().beamSettings.count(), 2u);
        EXPECT_EQ(dialog->job().beamSettings.findByPosition(0L)->consensusWindow, c.window45);
    }
}

// A settings file that cannot be read stops Process before anything is read.
TEST_F(MainDialogFitTest, UnreadableSettingsFileStopsProcess) {
    auto dialog = open();
    fill(*dialog);
    dialog->findChild<QLineEdit*>("settingsPath")
        ->setText(writeFile("bad.csv", "45,66.4,700,0,-1,50\n"));
    push(*dialog, "processButton")->click();
    EXPECT_FALSE(dialog->runActive());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].rfind("The settings file could not be read: ", 0), 0u) << messages_[0];
    EXPECT_NE(messages_[0].find("bad.csv:1: "), std::string::npos) << messages_[0];
}

// Every field saved and opened into a dialog just started gives the same
// fields; what the user has not saved is never kept by the program.
TEST_F(MainDialogFitTest, ProfileSavedAndOpenedGivesTheSameFields) {
    auto first = open();
    fill(*first);
    first->findChild<QComboBox*>("dataSource")->setCurrentIndex(2);
    first->findChild<QRadioButton*>("verticalRequired")->click();
    first->findChild<QRadioButton*>("temperatureRadio")->click();
    for (const char* box : {"netcdfCheck", "bufrCheck", "continuityCheck", "correctedWindsCheck"})
        first->findChild<QCheckBox*>(box)->setChecked(true);
    first->findChild<QLineEdit*>("settingsPath")->setText(temp_.filePath("site settings.csv"));
    const DialogProfile saved = first->profile();

    auto second = open();
    ASSERT_NE(second->profile(), saved);  // a new dialog starts with its defaults
    nextPath_ = temp_.filePath("site.profile");
    push(*first, "saveProfileButton")->click();
    push(*second, "openProfileButton")->click();
    EXPECT_TRUE(messages_.empty()) << messages_.front();
    EXPECT_EQ(second->profile(), saved);
    EXPECT_TRUE(second->findChild<QLineEdit*>("siteId")->isEnabled());
    EXPECT_EQ(second->inputType(), InputType::Ascii);
    EXPECT_EQ(second->outputKind(), OutputKind::Temperature);
    EXPECT_EQ(second->verticalPolicy(), VerticalPolicy::Required);
}

// A line the dialog cannot take is named, and nothing of the profile is
// put into the fields.
TEST_F(MainDialogFitTest, BadProfileLineIsNamed) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"kind=winds\nsite=abc\ncolour=red\n", "site.profile, line 3: unknown key 'colour'."},
        {"# x\n\nkind=wind\n",
         "site.profile, line 3: 'wind' is not a value of kind (winds or temperature)."},
        {"begin=2004-02-30\nend=2025-01-01\n",
         "site.profile, line 2: '2025-01-01' is not a value of end (a date YYYY-MM-DD from "
         "1995 to 2024)."},
        {"averaging-minutes=0\n",
         "site.profile, line 1: '0' is not a value of averaging-minutes (1 to 1440)."},
        {"netcdf=yes\nnetcdf=no\n", "site.profile, line 2: 'netcdf' is given twice."},
        {"vertical\n", "site.profile, line 1: not a key=value line: 'vertical'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        DialogProfile p;
        std::string error;
        EXPECT_FALSE(readProfile(c.text, "site.profile", 2024, p, error));
        EXPECT_EQ(error, c.error);
    }
    // Through the dialog: the stop box names the line, the fields stay.
    auto dialog = open();
    const DialogProfile before = dialog->profile();
    nextPath_ = writeFile("site.profile", cases[0].text);
    messages_.clear();
    push(*dialog, "openProfileButton")->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("line 3: unknown key 'colour'."), std::string::npos)
        << messages_[0];
    EXPECT_EQ(dialog->profile(), before);
}

}  // namespace
}  // namespace qv
