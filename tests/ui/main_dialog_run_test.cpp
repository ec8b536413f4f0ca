// A whole run from the dialog with the program's own readers and consensus:
// two ASCII ".raw" days written here, read, reviewed and turned into ".w"
// files, exactly as a user would drive it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <string>
#include <vector>

#include "app/engine/engine.h"
#include "tests/ui/modal_script.h"
#include "ui/main_dialog.h"
#include "ui/results_window.h"

namespace qv {
namespace {

using test::enterValues;
using test::kEditTitle;
using test::kSettingsTitle;
using test::ModalScript;
using test::pressOk;

// One ".raw" day: three beams (vertical, north and east at 75 degrees), one
// dwell every two minutes from 00:01 to 01:59, five gates each.
void writeRawDay(const QString& folder, int dayOfYear) {
    const QString path = QDir(folder).filePath(
        QStringLiteral("abc04%1.raw").arg(dayOfYear, 3, 10, QLatin1Char('0')));
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, " STN 4001 10525 1600\n");
    struct Beam {
        float elevation;
        int azimuth;
        float velocity;
    };
    const Beam beams[] = {{90.0f, 0, 0.1f}, {75.0f, 0, 2.0f}, {75.0f, 90, -1.0f}};
    int n = 0;
    for (int minute = 1; minute < 120; minute += 2, ++n) {
        const Beam& b = beams[n % 3];
        std::fprintf(f, "1 %.1f %d 4 %d %d %d 0\n", static_cast<double>(b.elevation), b.azimuth,
                     dayOfYear, minute / 60, minute % 60);
        std::fprintf(f, "0 700 105 0 5\n");
        for (int g = 0; g < 5; ++g) {
            std::fprintf(f, "%.2f 10.0\n", static_cast<double>(b.velocity));
        }
    }
    std::fclose(f);
}

// The standard readers, consensus and outputs; stop boxes kept in
// `messages`, the folder picker answering `nextFolder`.
MainDialogHooks runHooks(std::vector<std::string>& messages, QString& nextFolder) {
    MainDialogHooks hooks;
    hooks.steps = [](const RunOutputs& outputs) { return standardSteps(outputs); };
    hooks.clock = [] {
        CalendarTime t;
        t.year = 2024;
        t.month = 1;
        t.day = 2;
        return t;
    };
    hooks.stopMessage = [&messages](QWidget*, const QString& text) {
        messages.push_back(text.toStdString());
    };
    hooks.pickFolder = [&nextFolder](QWidget*, const QString&) { return nextFolder; };
    return hooks;
}

// Fills the dialog for an ASCII run of 60-minute periods from 15 June 2004
// to `lastJuneDay` 2004, folders chosen through the picker.
void chooseAsciiRun(MainDialog& dialog, QString& nextFolder, const QString& in,
                    const QString& out, const char* site, int lastJuneDay) {
    auto list = [&](const char* name) { return dialog.findChild<QComboBox*>(name); };
    for (const char* prefix : {"begin", "end"}) {
        list((std::string(prefix) + "Year").c_str())->setCurrentIndex(2004 - 1995);
        list((std::string(prefix) + "Month").c_str())->setCurrentIndex(5);
    }
    list("beginDay")->setCurrentIndex(14);
    list("endDay")->setCurrentIndex(lastJuneDay - 1);
    nextFolder = in;
    dialog.findChild<QPushButton*>("inputBrowse")->click();
    nextFolder = out;
    dialog.findChild<QPushButton*>("outputBrowse")->click();
    dialog.findChild<QRadioButton*>("asciiRadio")->click();
    dialog.findChild<QLineEdit*>("siteId")->setText(QString::fromLatin1(site));
    dialog.findChild<QLineEdit*>("averagingPeriod")->setText("60");
}

TEST(MainDialogRun, AsciiWindsFromProcessToDone) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    QDir(temp.path()).mkdir("in");
    QDir(temp.path()).mkdir("out");
    const QString in = temp.filePath("in");
    const QString out = temp.filePath("out");
    writeRawDay(in, 167);  // 15 June 2004
    writeRawDay(in, 168);

    std::vector<std::string> messages;
    QString nextFolder;
    MainDialog dialog(runHooks(messages, nextFolder));  // the standard readers and consensus
    dialog.show();
    chooseAsciiRun(dialog, nextFolder, in, out, "abc", 16);

    ModalScript script;
    std::vector<std::string> azimuths;
    auto edit = [&](QDialog& d) {
        azimuths.push_back(test::field(d, "azimuthEdit")->text().toStdString());
        enterValues("3", "50")(d);
    };
    script.then(kEditTitle, edit).then(kEditTitle, edit).then(kEditTitle, edit);
    script.then(kSettingsTitle, pressOk());

    dialog.findChild<QPushButton*>("processButton")->click();
    auto* statusMain = dialog.findChild<QLabel*>("statusMain");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !dialog.runActive() && statusMain->text() == "Done."; }, 30000))
        << statusMain->text().toStdString();

    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(azimuths, (std::vector<std::string>{"0", "0", "90"}));
    // The run says how many files it wrote, and where.
    EXPECT_EQ(dialog.findChild<QLabel*>("statusDetail")->text(),
              QStringLiteral("2 files written to %1.").arg(out));
    EXPECT_TRUE(messages.empty());
    const QStringList day1 = QDir(out).entryList({"STN04167.w*"}, QDir::Files);
    const QStringList day2 = QDir(out).entryList({"STN04168.w*"}, QDir::Files);
    EXPECT_EQ(day1.size(), 1) << day1.join(' ').toStdString();
    EXPECT_EQ(day2.size(), 1) << day2.join(' ').toStdString();
    // The Results window shows the plots of the days written.
    // (The window class has no meta-object of its own: found by its name.)
    auto* results =
        static_cast<ResultsWindow*>(dialog.findChild<QWidget*>(QStringLiteral("resultsWindow")));
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(results->isVisible());
    EXPECT_EQ(results->plotNames().size(), 2);
    ASSERT_EQ(dialog.job().beamSettings.count(), 3u);
    for (const BeamSetting* s : dialog.job().beamSettings) {
        EXPECT_EQ(s->consensusWindow, 3.0f);
        EXPECT_EQ(s->consensusPercent, 50);
    }
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// A run over a folder without moment files (here: a wrong site identifier)
// does not end in a bare "Done.": a stop box says why nothing was written.
TEST(MainDialogRun, RunThatWritesNothingSaysWhy) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    QDir(temp.path()).mkdir("in");
    QDir(temp.path()).mkdir("out");
    const QString in = temp.filePath("in");
    writeRawDay(in, 167);

    std::vector<std::string> messages;
    QString nextFolder;
    MainDialog dialog(runHooks(messages, nextFolder));
    dialog.show();
    chooseAsciiRun(dialog, nextFolder, in, temp.filePath("out"), "xyz", 15);  // the files are abc

    dialog.findChild<QPushButton*>("processButton")->click();
    auto* statusMain = dialog.findChild<QLabel*>("statusMain");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !dialog.runActive() && statusMain->text() == "Done."; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.empty(); }, 5000));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Nothing was written. No moments were found in " +
                                    in.toStdString() + " on 06/15/04.",
                                0),
              0u)
        << messages[0];
    EXPECT_NE(messages[0].find("xyz04167.raw"), std::string::npos) << messages[0];
    EXPECT_EQ(dialog.findChild<QLabel*>("statusDetail")->text(), "Waiting for user input.");
}

}  // namespace
}  // namespace qv
