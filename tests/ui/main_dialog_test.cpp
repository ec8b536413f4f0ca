// The main dialog as a user drives it: defaults, validation messages in
// order, the radio sets and the site field, the folder pickers, and whole
// runs from Process to "Done." with the settings review answered, Cancel,
// closing at any moment, and the beam settings kept or cleared across runs.
#include "../support/scripted_stages.h"
#include "ui/main_dialog.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/text.h"
#include "tests/ui/modal_script.h"

namespace qv {
namespace {

using test::button;
using test::enterValues;
using test::field;
using test::kEditTitle;
using test::kSettingsTitle;
using test::ModalScript;
using test::pressOk;

constexpr int kWaitMs = 20000;

CalendarTime fixedToday() {
    CalendarTime t;
    t.year = 2024;
    t.month = 3;
    t.day = 15;
    t.hour = 10;
    return t;
}

// What the scripted readers and consensus did, in order, across threads.
class RunLog {
public:
    void add(std::string entry) {
        std::lock_guard<std::mutex> g(m_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> entries() {
        std::lock_guard<std::mutex> g(m_);
        return entries_;
    }
    void clear() {
        std::lock_guard<std::mutex> g(m_);
        entries_.clear();
    }

private:
    std::mutex m_;
    std::vector<std::string> entries_;
};

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        QDir(temp_.path()).mkdir("in");
        QDir(temp_.path()).mkdir("out");
        inputDir_ = temp_.filePath("in");
        outputDir_ = temp_.filePath("out");
    }

    void TearDown() override { dialog_.reset(); }

    MainDialogHooks hooks() {
        MainDialogHooks h;
        h.clock = fixedToday;
        h.stopMessage = [this](QWidget*, const QString& text) {
            messages_.push_back(text.toStdString());
        };
        h.pickFolder = [this](QWidget*, const QString& title) {
            pickerTitles_.push_back(title.toStdString());
            return nextFolder_;
        };
        h.steps = [this](const RunOutputs&) { return scriptedSteps(); };
        return h;
    }

    void open(MainDialogHooks h) {
        dialog_ = std::make_unique<MainDialog>(std::move(h));
        dialog_->job().noMomentsPause = std::chrono::milliseconds(20);
        dialog_->show();
    }
    void open() { open(hooks()); }

    // A reader that stores one radar dwell at noon of every day not listed
    // in emptyDays_, after waiting for the cancel when blockReading_ is set.
    ProcessingSteps scriptedSteps() {
        ProcessingSteps s;
        s.readAscii = [this](ConsensusJob& job, const CalendarTime& day) {
            log_.add(formatText("read %d", day.day));
            if (blockReading_) {
                readerBlocked_ = true;
                for (int i = 0; i < 1000 && !job.cancelEvent.waitFor(std::chrono::milliseconds(10));
                     ++i) {
                }
            }
            if (emptyDays_.count(day.day)) return 0;
            MomentRecord& r = job.record;
            r.recordTime = day;
            r.recordTime.hour = 12;
            r.processDayOfYear = dayOfYear(day.year, day.month, day.day);
            r.recordDayOfYear = r.processDayOfYear;
            r.azimuth = 45;
            r.elevation = 66.4f;
            r.pulseWidth = 700;
            r.gateCount = 2;
            r.gateVelocity[0] = 1.0f;
            r.gateVelocity[1] = 2.0f;
            r.rassFlag = 0;
            AccumulateRecord(job, day);
            return 1;
        };
        s.readBinary = s.readAscii;
        test::StageScript script;
        script.winds = [this](ConsensusJob& job) {
            log_.add(formatText("wind %d", job.currentDay.day));
            const std::string path =
                formatText("%s/day%02d.w", job.params.outputPath.c_str(), job.currentDay.day);
            if (std::FILE* f = std::fopen(path.c_str(), "w")) {
                std::fputs(job.params.dataSourceText.c_str(), f);
                std::fclose(f);
                job.recordWritten(path);
            } else {
                job.recordUnwritten(path, std::strerror(errno));
            }
            return false;
        };
        script.temperature = [this](ConsensusJob& job) {
            log_.add(formatText("temperature %d", job.currentDay.day));
            return false;
        };
        s.stages = test::scriptedStages(script);
        return s;
    }

    template <typename T>
    T* child(const char* name) {
        T* w = dialog_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QComboBox* list(const char* name) { return child<QComboBox>(name); }
    QRadioButton* radio(const char* name) { return child<QRadioButton>(name); }
    QPushButton* push(const char* name) { return child<QPushButton>(name); }
    QString statusMain() { return child<QLabel>("statusMain")->text(); }
    QString statusDetail() { return child<QLabel>("statusDetail")->text(); }

    void chooseFolders() {
        nextFolder_ = inputDir_;
        push("inputBrowse")->click();
        nextFolder_ = outputDir_;
        push("outputBrowse")->click();
    }

    // 14 to 16 March 2024, ASCII input "abc", 30 minutes.
    void fillValidFields() {
        list("beginDay")->setCurrentIndex(13);
        list("endDay")->setCurrentIndex(15);
        chooseFolders();
        radio("asciiRadio")->click();
        child<QLineEdit>("siteId")->setText("abc");
        child<QLineEdit>("averagingPeriod")->setText("30");
    }

    bool waitForEnd() {
        return QTest::qWaitFor([this] { return !dialog_->runActive(); }, kWaitMs);
    }

    void addSetting(float window, std::int32_t percent) {
        auto* s = new BeamSetting;  // freed by ClearBeamSettings
        s->azimuth = 45;
        s->elevation = 66.4f;
        s->pulseWidth = 700;
        s->consensusWindow = window;
        s->consensusPercent = percent;
        dialog_->job().beamSettings.append(s);
    }

    QTemporaryDir temp_;
    QString inputDir_;
    QString outputDir_;
    QString nextFolder_;
    std::vector<std::string> messages_;
    std::vector<std::string> pickerTitles_;
    RunLog log_;
    std::set<int> emptyDays_;
    std::atomic<bool> blockReading_{false};
    std::atomic<bool> readerBlocked_{false};
    std::unique_ptr<MainDialog> dialog_;
};

// ---- Opening ---------------------------------------------------------------

TEST_F(MainDialogTest, DefaultsOnOpen) {
    open();
    EXPECT_EQ(dialog_->windowTitle(), "Quorvane");
    for (const char* prefix : {"begin", "end"}) {
        const std::string p = prefix;
        QComboBox* month = list((p + "Month").c_str());
        QComboBox* day = list((p + "Day").c_str());
        QComboBox* year = list((p + "Year").c_str());
        ASSERT_EQ(month->count(), 12);
        EXPECT_EQ(month->itemText(0), "January");
        EXPECT_EQ(month->itemText(11), "December");
        EXPECT_EQ(month->currentText(), "March");
        ASSERT_EQ(day->count(), 31);
        EXPECT_EQ(day->itemText(30), "31");
        EXPECT_EQ(day->currentText(), "15");
        ASSERT_EQ(year->count(), 30);
        EXPECT_EQ(year->itemText(0), "1995");
        EXPECT_EQ(year->itemText(29), "2024");
        EXPECT_EQ(year->currentIndex(), 29);
    }
    EXPECT_EQ(child<QLineEdit>("inputPath")->text(), "");
    EXPECT_TRUE(child<QLineEdit>("inputPath")->isReadOnly());
    EXPECT_EQ(child<QLineEdit>("outputPath")->text(), "");
    EXPECT_TRUE(child<QLineEdit>("outputPath")->isReadOnly());
    EXPECT_TRUE(radio("binaryRadio")->isChecked());
    EXPECT_FALSE(radio("asciiRadio")->isChecked());
    EXPECT_EQ(child<QLineEdit>("siteId")->text(), "");
    EXPECT_FALSE(child<QLineEdit>("siteId")->isEnabled());
    QComboBox* source = list("dataSource");
    ASSERT_EQ(source->count(), 3);
    EXPECT_EQ(source->itemText(0), "QAV");
    EXPECT_EQ(source->itemText(1), "KOR Fuzzy Logic");
    EXPECT_EQ(source->itemText(2), "Halvik MPP");
    EXPECT_EQ(source->currentIndex(), 0);
    EXPECT_FALSE(radio("verticalNotUsed")->isChecked());
    EXPECT_TRUE(radio("verticalWhenAvailable")->isChecked());
    EXPECT_FALSE(radio("verticalRequired")->isChecked());
    EXPECT_EQ(radio("verticalNotUsed")->text(), "Do not use consensed vertical radial velocites");
    EXPECT_EQ(radio("verticalWhenAvailable")->text(),
              "Use consensed vertical radial velocities when available");
    EXPECT_EQ(radio("verticalRequired")->text(), "Require a consensed vertical radial velocity");
    EXPECT_EQ(child<QLineEdit>("averagingPeriod")->text(), "");
    EXPECT_TRUE(radio("windsRadio")->isChecked());
    EXPECT_FALSE(radio("temperatureRadio")->isChecked());
    EXPECT_EQ(statusMain(), "Waiting for user input.");
    EXPECT_EQ(statusDetail(), "");
    EXPECT_TRUE(push("processButton")->isEnabled());
    EXPECT_FALSE(push("cancelButton")->isEnabled());
    EXPECT_TRUE(push("exitButton")->isEnabled());
    EXPECT_TRUE(push("exitButton")->isDefault());
    EXPECT_TRUE(dialog_->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog_->windowIcon().isNull());

    std::set<std::string> groups;
    for (QGroupBox* g : dialog_->findChildren<QGroupBox*>())
        groups.insert(g->title().toStdString());
    EXPECT_EQ(groups, (std::set<std::string>{
                          "Begin Date", "End Date", "Data Input Path", "Data Output Path",
                          "Data Input Type", "Data Input Source", "Consensus Criteria",
                          "Consensus Averaging Period", "Consensus Data Output",
                          "Consensus Settings File", "Status"}));

    EXPECT_EQ(dialog_->inputType(), InputType::Binary);
    EXPECT_EQ(dialog_->outputKind(), OutputKind::Winds);
    EXPECT_EQ(dialog_->verticalPolicy(), VerticalPolicy::WhenAvailable);
}

TEST_F(MainDialogTest, TodayOnTheLastDayOfAYearBeyondTheOldLists) {
    MainDialogHooks h = hooks();
    h.clock = [] {
        CalendarTime t;
        t.year = 2031;
        t.month = 12;
        t.day = 31;
        return t;
    };
    open(std::move(h));
    EXPECT_EQ(list("beginYear")->currentText(), "2031");
    EXPECT_EQ(list("endMonth")->currentText(), "December");
    EXPECT_EQ(list("endDay")->currentText(), "31");
}

// ---- Validation --------------------------------------------------------------

TEST_F(MainDialogTest, ValidationFailuresInOrder) {
    open();
    fillValidFields();
    struct Case {
        std::function<void()> breakField;
        const char* message;
    };
    const Case cases[] = {
        {[&] { child<QLineEdit>("averagingPeriod")->setText("abc"); },
         "Consensus averaging period must be\ngreater than zero."},
        {[&] { child<QLineEdit>("siteId")->clear(); }, "Invalid SiteID."},
        {[&] { child<QLineEdit>("outputPath")->clear(); }, "Invalid output path."},
        {[&] { child<QLineEdit>("inputPath")->clear(); }, "Invalid input path."},
        {[&] { list("endDay")->setCurrentIndex(-1); }, "Invalid end day."},
        {[&] { list("endMonth")->setCurrentIndex(-1); }, "Invalid end month."},
        {[&] { list("endYear")->setCurrentIndex(-1); }, "Invalid end year."},
        {[&] { list("beginDay")->setCurrentIndex(-1); }, "Invalid begin day."},
        {[&] { list("beginMonth")->setCurrentIndex(-1); }, "Invalid begin month."},
        {[&] { list("beginYear")->setCurrentIndex(-1); }, "Invalid begin year."},
    };
    for (const auto& c : cases) {
        c.breakField();
        messages_.clear();
        push("processButton")->click();
        EXPECT_EQ(messages_, std::vector<std::string>{c.message});
        EXPECT_FALSE(dialog_->runActive());
    }
    EXPECT_TRUE(log_.entries().empty());
    EXPECT_EQ(statusMain(), "Waiting for user input.");
}

TEST_F(MainDialogTest, DatesAreCheckedAfterTheAveragingPeriod) {
    open();
    fillValidFields();
    list("beginMonth")->setCurrentIndex(1);  // 14 February to 16 March: fine
    list("endMonth")->setCurrentIndex(1);    // 14 to 16 February
    list("endDay")->setCurrentIndex(30);     // 31 February
    push("processButton")->click();
    EXPECT_EQ(messages_, std::vector<std::string>{"Invalid end day."});

    messages_.clear();
    list("beginDay")->setCurrentIndex(29);  // 30 February
    push("processButton")->click();
    EXPECT_EQ(messages_, std::vector<std::string>{"Invalid begin day."});

    messages_.clear();
    list("beginMonth")->setCurrentIndex(3);  // 30 April
    list("endMonth")->setCurrentIndex(2);    // 31 March
    push("processButton")->click();
    EXPECT_EQ(messages_,
              std::vector<std::string>{"Begin date must be less than or equal to end date."});

    messages_.clear();
    child<QLineEdit>("averagingPeriod")->setText("-5");
    push("processButton")->click();
    EXPECT_EQ(messages_,
              std::vector<std::string>{"Consensus averaging period must be\ngreater than zero."});
    EXPECT_FALSE(dialog_->runActive());
}

// ---- Radio sets, site field, folders and date lists --------------------------

TEST_F(MainDialogTest, RadioSetsAreExclusiveAndReadLive) {
    open();
    QLineEdit* site = child<QLineEdit>("siteId");
    radio("asciiRadio")->click();
    EXPECT_FALSE(radio("binaryRadio")->isChecked());
    EXPECT_TRUE(site->isEnabled());
    EXPECT_EQ(dialog_->inputType(), InputType::Ascii);
    radio("binaryRadio")->click();
    EXPECT_FALSE(radio("asciiRadio")->isChecked());
    EXPECT_FALSE(site->isEnabled());
    EXPECT_EQ(dialog_->inputType(), InputType::Binary);

    radio("verticalRequired")->click();
    EXPECT_FALSE(radio("verticalNotUsed")->isChecked());
    EXPECT_FALSE(radio("verticalWhenAvailable")->isChecked());
    EXPECT_EQ(dialog_->verticalPolicy(), VerticalPolicy::Required);
    radio("verticalNotUsed")->click();
    EXPECT_FALSE(radio("verticalRequired")->isChecked());
    EXPECT_EQ(dialog_->verticalPolicy(), VerticalPolicy::NotUsed);

    radio("temperatureRadio")->click();
    EXPECT_FALSE(radio("windsRadio")->isChecked());
    EXPECT_EQ(dialog_->outputKind(), OutputKind::Temperature);
    // The sets do not touch each other.
    EXPECT_TRUE(radio("binaryRadio")->isChecked());
    EXPECT_TRUE(radio("verticalNotUsed")->isChecked());
}

TEST_F(MainDialogTest, SiteFieldTakesThreeLowerCaseCharacters) {
    open();
    radio("asciiRadio")->click();
    QLineEdit* site = child<QLineEdit>("siteId");
    QTest::keyClicks(site, "ABcd");
    EXPECT_EQ(site->text(), "abc");
}

TEST_F(MainDialogTest, InputBrowseClearsTheBeamSettingsOutputBrowseDoesNot) {
    open();
    addSetting(1.0f, 50);
    nextFolder_ = outputDir_;
    push("outputBrowse")->click();
    EXPECT_EQ(child<QLineEdit>("outputPath")->text(), outputDir_);
    EXPECT_EQ(dialog_->job().beamSettings.count(), 1u);

    nextFolder_ = inputDir_;
    push("inputBrowse")->click();
    EXPECT_EQ(child<QLineEdit>("inputPath")->text(), inputDir_);
    EXPECT_EQ(dialog_->job().beamSettings.count(), 0u);

    // A cancelled picker keeps the folder but still clears the table.
    addSetting(1.0f, 50);
    nextFolder_.clear();
    push("inputBrowse")->click();
    EXPECT_EQ(child<QLineEdit>("inputPath")->text(), inputDir_);
    EXPECT_EQ(dialog_->job().beamSettings.count(), 0u);

    EXPECT_EQ(pickerTitles_, (std::vector<std::string>{
                                 "Select the drive and path for ASCII consensus file output.",
                                 "Select the drive and path for binary moment file input.",
                                 "Select the drive and path for binary moment file input."}));
}

TEST_F(MainDialogTest, EveryDateListChangeClearsTheBeamSettings) {
    open();
    for (const char* name :
         {"beginMonth", "beginDay", "beginYear", "endMonth", "endDay", "endYear"}) {
        addSetting(1.0f, 50);
        QComboBox* l = list(name);
        l->setCurrentIndex(l->currentIndex() == 0 ? 1 : 0);
        EXPECT_EQ(dialog_->job().beamSettings.count(), 0u) << name;
    }
}

// ---- Runs ------------------------------------------------------------------------

TEST_F(MainDialogTest, WholeRunWithTheReviewAnswered) {
    open();
    fillValidFields();
    list("dataSource")->setCurrentIndex(2);
    emptyDays_ = {15};

    ModalScript script;
    bool processDuringRun = true, cancelDuringRun = false, datesDuringRun = true,
         browseDuringRun = true, outputBrowseDuringRun = false;
    script.then(kEditTitle, [&](QDialog& d) {
        processDuringRun = push("processButton")->isEnabled();
        cancelDuringRun = push("cancelButton")->isEnabled();
        datesDuringRun = list("beginDay")->isEnabled();
        browseDuringRun = push("inputBrowse")->isEnabled();
        outputBrowseDuringRun = push("outputBrowse")->isEnabled();
        log_.add("review");
        enterValues("2.5", "60")(d);
    });
    script.then(kSettingsTitle, pressOk());
    push("processButton")->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return statusMain() == "Done." && !dialog_->runActive(); }, kWaitMs));

    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(log_.entries(), (std::vector<std::string>{"read 14", "review", "wind 14", "read 15",
                                                        "read 16", "wind 16"}));
    EXPECT_EQ(statusDetail(), QStringLiteral("2 files written to %1.").arg(outputDir_));
    EXPECT_TRUE(push("processButton")->isEnabled());
    EXPECT_FALSE(push("cancelButton")->isEnabled());
    EXPECT_TRUE(list("beginDay")->isEnabled());
    EXPECT_TRUE(push("inputBrowse")->isEnabled());
    EXPECT_FALSE(processDuringRun);
    EXPECT_TRUE(cancelDuringRun);
    EXPECT_FALSE(datesDuringRun);
    EXPECT_FALSE(browseDuringRun);
    EXPECT_TRUE(outputBrowseDuringRun);
    EXPECT_TRUE(messages_.empty());

    const RunParameters& p = dialog_->job().params;
    EXPECT_EQ(p.averagingMinutes, 30);
    EXPECT_EQ(p.siteId, "abc");
    EXPECT_EQ(p.dataSourceText, "Halvik MPP");
    EXPECT_EQ(p.outputKindText, "Winds");
    EXPECT_EQ(QString::fromStdString(p.inputPath), inputDir_);
    ASSERT_EQ(dialog_->job().beamSettings.count(), 1u);
    EXPECT_EQ(dialog_->job().beamSettings.findByPosition(0L)->consensusWindow, 2.5f);
    EXPECT_EQ(dialog_->job().beamSettings.findByPosition(0L)->consensusPercent, 60);
    EXPECT_TRUE(QFile::exists(QDir(outputDir_).filePath("day14.w")));
    EXPECT_FALSE(QFile::exists(QDir(outputDir_).filePath("day15.w")));
    EXPECT_TRUE(QFile::exists(QDir(outputDir_).filePath("day16.w")));
    EXPECT_FALSE(dialog_->job().cancelEvent.poll());
}

TEST_F(MainDialogTest, TableIsKeptAcrossRunsAndClearedByADateChange) {
    open();
    fillValidFields();
    list("endDay")->setCurrentIndex(14);  // 14 and 15 March
    {
        ModalScript script;
        script.then(kEditTitle, enterValues("2", "50")).then(kSettingsTitle, pressOk());
        push("processButton")->click();
        ASSERT_TRUE(waitForEnd());
        EXPECT_TRUE(script.finished());
        EXPECT_TRUE(script.unexpected().empty());
    }

    // Same folder and dates, first day without records: the kept table is
    // reviewed after the first day, and nothing needs a forced edit.
    log_.clear();
    emptyDays_ = {14};
    {
        ModalScript script;
        script.then(kSettingsTitle, [&](QDialog& d) {
            log_.add("review");
            pressOk()(d);
        });
        push("processButton")->click();
        ASSERT_TRUE(waitForEnd());
        EXPECT_TRUE(script.finished());
        EXPECT_TRUE(script.unexpected().empty());
        EXPECT_EQ(log_.entries(),
                  (std::vector<std::string>{"read 14", "review", "read 15", "wind 15"}));
    }
    ASSERT_EQ(dialog_->job().beamSettings.count(), 1u);
    EXPECT_EQ(dialog_->job().beamSettings.findByPosition(0L)->consensusWindow, 2.0f);

    // A date change empties the table: the next review edits the beam again,
    // and only once a day has brought it back.
    list("beginDay")->setCurrentIndex(12);
    list("beginDay")->setCurrentIndex(13);
    EXPECT_EQ(dialog_->job().beamSettings.count(), 0u);
    log_.clear();
    {
        ModalScript script;
        script.then(kEditTitle, [&](QDialog& d) {
            log_.add("review");
            enterValues("3", "40")(d);
        });
        script.then(kSettingsTitle, pressOk());
        push("processButton")->click();
        ASSERT_TRUE(waitForEnd());
        EXPECT_TRUE(script.finished());
        EXPECT_TRUE(script.unexpected().empty());
        EXPECT_EQ(log_.entries(),
                  (std::vector<std::string>{"read 14", "read 15", "review", "wind 15"}));
    }
}

TEST_F(MainDialogTest, CancelEndsTheRunAndTheNextRunStartsClean) {
    open();
    fillValidFields();
    addSetting(1.0f, 50);
    blockReading_ = true;
    ModalScript script;
    script.then(kSettingsTitle, pressOk());  // the second run's review
    push("processButton")->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return readerBlocked_.load() && push("cancelButton")->isEnabled(); }, kWaitMs));
    push("cancelButton")->click();
    EXPECT_FALSE(push("cancelButton")->isEnabled());
    ASSERT_TRUE(waitForEnd());
    ASSERT_TRUE(QTest::qWaitFor([&] { return statusMain() == "Operation canceled."; }, kWaitMs));
    EXPECT_EQ(statusDetail(), "Waiting for user input.");
    EXPECT_TRUE(push("processButton")->isEnabled());
    EXPECT_FALSE(push("cancelButton")->isEnabled());
    EXPECT_EQ(log_.entries(), std::vector<std::string>{"read 14"});
    EXPECT_FALSE(dialog_->job().cancelEvent.poll());

    blockReading_ = false;
    log_.clear();
    push("processButton")->click();
    ASSERT_TRUE(waitForEnd());
    ASSERT_TRUE(QTest::qWaitFor([&] { return statusMain() == "Done."; }, kWaitMs));
    EXPECT_EQ(log_.entries(), (std::vector<std::string>{"read 14", "wind 14", "read 15", "wind 15",
                                                        "read 16", "wind 16"}));
    EXPECT_TRUE(script.finished());
}

TEST_F(MainDialogTest, ClosingDuringReadingCancelsWaitsAndCloses) {
    struct Way {
        const char* name;
        std::function<void(MainDialog&)> close;
    };
    const Way ways[] = {
        {"close box", [](MainDialog& d) { d.close(); }},
        {"Escape", [](MainDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"Exit", [](MainDialog& d) { d.findChild<QPushButton*>("exitButton")->click(); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        log_.clear();
        readerBlocked_ = false;
        open();
        fillValidFields();
        blockReading_ = true;
        push("processButton")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return readerBlocked_.load(); }, kWaitMs));
        way.close(*dialog_);
        // The close waits for the worker without blocking the dialog's thread.
        EXPECT_TRUE(dialog_->isVisible() || !dialog_->runActive());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog_->isVisible(); }, kWaitMs));
        EXPECT_FALSE(dialog_->runActive());
        EXPECT_EQ(log_.entries(), std::vector<std::string>{"read 14"});
        dialog_.reset();
    }
}

TEST_F(MainDialogTest, ClosingWhileTheReviewIsOpen) {
    for (const char* title : {kEditTitle, kSettingsTitle}) {
        SCOPED_TRACE(title);
        log_.clear();
        open();
        fillValidFields();
        const bool forced = std::string(title) == kEditTitle;
        if (!forced) addSetting(1.0f, 50);
        ModalScript script;
        script.then(title, [&](QDialog& d) {
            if (QLineEdit* window = field(d, "consensusWindowEdit")) window->setText("5");
            dialog_->close();
        });
        push("processButton")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog_->isVisible(); }, kWaitMs));
        EXPECT_FALSE(dialog_->runActive());
        EXPECT_TRUE(script.finished());
        EXPECT_TRUE(script.unexpected().empty());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        // The run stopped before any consensus; the edit was not stored.
        EXPECT_EQ(log_.entries(), std::vector<std::string>{"read 14"});
        ASSERT_EQ(dialog_->job().beamSettings.count(), 1u);
        EXPECT_EQ(dialog_->job().beamSettings.findByPosition(0L)->consensusWindow,
                  forced ? 0.0f : 1.0f);
        dialog_.reset();
    }
}

TEST_F(MainDialogTest, DestroyingTheDialogDuringARunStopsTheWorker) {
    open();
    fillValidFields();
    blockReading_ = true;
    push("processButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readerBlocked_.load(); }, kWaitMs));
    const auto start = std::chrono::steady_clock::now();
    dialog_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(MainDialogTest, UnwrittenFilesAreShownAtTheEndOfTheRun) {
    open();
    fillValidFields();
    list("endDay")->setCurrentIndex(13);
    // The day's file name taken by a folder.
    const QString taken = QDir(outputDir_).filePath("day14.w");
    ASSERT_TRUE(QDir().mkpath(taken));
    ModalScript script;
    script.then(kEditTitle, enterValues("2", "50")).then(kSettingsTitle, pressOk());
    push("processButton")->click();
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(messages_.size(), 1u);
    // Each with its reason, as the batch tool lists them.
    EXPECT_EQ(messages_[0],
              "These output files could not be written:\n" + taken.toStdString() + ": Is a directory");
}

// A missing output folder is made when the folder it goes in exists; one
// that cannot be made stops Process with the reason, before anything is read.
TEST_F(MainDialogTest, MissingOutputFolderIsMadeOrRefused) {
    open();
    fillValidFields();
    const QString made = QDir(outputDir_).filePath("new");
    child<QLineEdit>("outputPath")->setText(made);
    ModalScript script;
    script.then(kEditTitle, enterValues("2", "50")).then(kSettingsTitle, pressOk());
    push("processButton")->click();
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(QDir(made).exists());

    const QString deep = QDir(outputDir_).filePath("none/out");
    child<QLineEdit>("outputPath")->setText(deep);
    const std::size_t before = messages_.size();
    push("processButton")->click();
    ASSERT_EQ(messages_.size(), before + 1);
    EXPECT_NE(messages_.back().find("nor does the folder it would go in"), std::string::npos)
        << messages_.back();
    EXPECT_FALSE(QDir(deep).exists());
}

// Escape on the forced edit leaves the beam without a window and threshold;
// OK on the list then stops the run before the day's consensus, as the batch
// tool does, with a stop box naming the beam.
TEST_F(MainDialogTest, ForcedEditEscapedThenOkStopsTheRunNamingTheBeams) {
    open();
    fillValidFields();
    ModalScript script;
    script.then(kEditTitle, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); })
        .then(kSettingsTitle, pressOk());
    push("processButton")->click();
    ASSERT_TRUE(waitForEnd());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages_.empty(); }, kWaitMs));
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(messages_, std::vector<std::string>{
                             "These beams lack a positive consensus window or threshold:\n"
                             "azimuth 45, elevation 66.4, pulse width 700 ns, RASS OFF: no "
                             "window, no threshold\n"
                             "Give them in the Consensus Settings review; nothing was written "
                             "for 03/14/24."});
    EXPECT_EQ(log_.entries(), std::vector<std::string>{"read 14"});
    EXPECT_TRUE(QDir(outputDir_).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(statusMain(), "Operation canceled.");
    EXPECT_TRUE(push("processButton")->isEnabled());
}

// Detail texts are shown at most every refresh interval; with nothing else
// posted after them, the last one still reaches the line.
TEST_F(MainDialogTest, DetailTextsAloneReachTheStatusLineLatestFirst) {
    open();
    std::thread worker([this] {
        for (int i = 0; i < 20000; ++i) {
            dialog_->setStatusDetail(formatText("Reading data record %d", i));
        }
    });
    worker.join();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return statusDetail() == "Reading data record 19999"; }, kWaitMs));
    // A later text replaces it as well.
    dialog_->setStatusDetail("Waiting for user input.");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return statusDetail() == "Waiting for user input."; }, kWaitMs));
}

TEST_F(MainDialogTest, HostCallsFromAnotherThreadReachTheStatusLines) {
    open();
    std::thread worker([this] {
        for (int i = 0; i < 1000; ++i) {
            dialog_->setStatusDetail(formatText("Reading data record %d", i));
        }
        dialog_->setStatusMain("Unpacking ascii moments.");
        dialog_->setCancelEnabled(true);
    });
    worker.join();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return statusDetail() == "Reading data record 999"; }, kWaitMs));
    EXPECT_EQ(statusMain(), "Unpacking ascii moments.");
    EXPECT_TRUE(push("cancelButton")->isEnabled());
}

}  // namespace
}  // namespace qv
