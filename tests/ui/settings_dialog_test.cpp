// The consensus settings review on screen: the list, the forced edits before
// it, the edit dialog's fields and messages, Edit, double click and Escape.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/modal_script.h"
#include "ui/consensus_settings_dialog.h"
#include "ui/edit_parameters_dialog.h"

namespace qv {
namespace {

using test::button;
using test::enterValues;
using test::field;
using test::kEditTitle;
using test::kSettingsTitle;
using test::ModalScript;
using test::pressOk;

class SettingsDialogTest : public ::testing::Test {
protected:
    BeamSetting& addRow(std::int32_t azimuth, float elevation, std::int32_t pulseWidth,
                        float window, std::int32_t percent, std::int32_t rass = 0) {
        auto row = std::make_unique<BeamSetting>();
        row->azimuth = azimuth;
        row->elevation = elevation;
        row->pulseWidth = pulseWidth;
        row->consensusWindow = window;
        row->consensusPercent = percent;
        row->rassFlag = rass;
        table_.append(row.get());
        rows_.push_back(std::move(row));
        return *rows_.back();
    }

    StopMessage recorder() {
        return [this](QWidget*, const QString& text) { messages_.push_back(text.toStdString()); };
    }

    static QTreeWidget* list(QDialog& d) { return d.findChild<QTreeWidget*>("settingsList"); }

    static std::vector<std::string> rowTexts(QDialog& d, int row) {
        std::vector<std::string> texts;
        QTreeWidgetItem* item = list(d)->topLevelItem(row);
        for (int c = 0; item && c < 6; ++c) texts.push_back(item->text(c).toStdString());
        return texts;
    }

    static QPoint rowCentre(QDialog& d, int row) {
        QTreeWidget* l = list(d);
        return l->visualItemRect(l->topLevelItem(row)).center();
    }

    std::vector<std::unique_ptr<BeamSetting>> rows_;
    RecordList<BeamSetting> table_;
    std::vector<std::string> messages_;
};

TEST_F(SettingsDialogTest, CompleteRowsOpenStraightIntoTheList) {
    addRow(45, 66.4f, 700, 2.5f, 60);
    addRow(0, 9000.0f, 700, 1.234f, 50);
    addRow(0, 90.0f, 3300, 0.5f, 20, 1);

    ModalScript script;
    std::vector<std::vector<std::string>> shown;
    std::vector<std::string> headings;
    std::vector<int> widths;
    bool editEnabled = true;
    script.then(kSettingsTitle, [&](QDialog& d) {
        QTreeWidget* l = list(d);
        for (int c = 0; c < l->columnCount(); ++c) {
            headings.push_back(l->headerItem()->text(c).toStdString());
            widths.push_back(l->columnWidth(c));
        }
        for (int r = 0; r < l->topLevelItemCount(); ++r) shown.push_back(rowTexts(d, r));
        editEnabled = button(d, "editButton")->isEnabled();
        pressOk()(d);
    });

    ConsensusSettingsDialog dialog(table_, recorder());
    dialog.exec();

    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(script.seen(), std::vector<std::string>{kSettingsTitle});
    EXPECT_EQ(headings, (std::vector<std::string>{"Azimuth", "Elevation", "PulseWidth", "CnsWindow",
                                                  "CnsPercent", "RASS"}));
    EXPECT_EQ(widths, (std::vector<int>{60, 60, 70, 70, 70, 76}));
    using Row = std::vector<std::string>;
    EXPECT_EQ(shown, (std::vector<Row>{{"45", "66.40", "700", "2.50", "60", "OFF"},
                                       {"0", "90.00", "700", "1.23", "50", "OFF"},
                                       {"0", "90.00", "3300", "0.50", "20", "ON"}}));
    EXPECT_FALSE(editEnabled);
}

TEST_F(SettingsDialogTest, ForcedEditsComeFirstInTableOrder) {
    BeamSetting& complete = addRow(45, 66.4f, 700, 2.5f, 60);
    BeamSetting& radar = addRow(135, 66.4f, 700, 0.0f, 0);
    BeamSetting& rass = addRow(0, 90.0f, 3300, 0.0f, 0, 1);

    ConsensusSettingsDialog dialog(table_, recorder());
    ModalScript script;
    std::vector<std::string> azimuths, units, elevations;
    bool listVisibleDuringEdits = false;
    bool windowHasFocus = false;
    auto edit = [&](const char* window, const char* threshold) {
        return [&, window, threshold](QDialog& d) {
            azimuths.push_back(field(d, "azimuthEdit")->text().toStdString());
            elevations.push_back(field(d, "elevationEdit")->text().toStdString());
            units.push_back(d.findChild<QLabel*>("windowUnitLabel")->text().toStdString());
            windowHasFocus = windowHasFocus || d.focusWidget() == field(d, "consensusWindowEdit");
            listVisibleDuringEdits = listVisibleDuringEdits || dialog.isVisible();
            enterValues(window, threshold)(d);
        };
    };
    script.then(kEditTitle, edit("1.5", "70"))
        .then(kEditTitle, edit("2", "55"))
        .then(kSettingsTitle, pressOk());
    dialog.exec();

    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(azimuths, (std::vector<std::string>{"135", "0"}));
    EXPECT_EQ(elevations, (std::vector<std::string>{"66.400002", "90.000000"}));
    EXPECT_EQ(units, (std::vector<std::string>{"m/s", "C"}));
    EXPECT_TRUE(windowHasFocus);
    EXPECT_FALSE(listVisibleDuringEdits);
    EXPECT_EQ(radar.consensusWindow, 1.5f);
    EXPECT_EQ(radar.consensusPercent, 70);
    EXPECT_EQ(rass.consensusWindow, 2.0f);
    EXPECT_EQ(rass.consensusPercent, 55);
    EXPECT_EQ(complete.consensusWindow, 2.5f);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsDialogTest, ThresholdNotPositiveIsAlsoForced) {
    BeamSetting& row = addRow(0, 90.0f, 3300, 0.5f, -5, 1);
    ModalScript script;
    std::string windowShown;
    script.then(kEditTitle, [&](QDialog& d) {
        windowShown = field(d, "consensusWindowEdit")->text().toStdString();
        enterValues("0.5", "40")(d);
    });
    script.then(kSettingsTitle, pressOk());
    ConsensusSettingsDialog dialog(table_, recorder());
    dialog.exec();
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(windowShown, "0.50");
    EXPECT_EQ(row.consensusPercent, 40);
}

TEST_F(SettingsDialogTest, NegativeValuesLeftWithEscapeAreListedAsTheRuleSays) {
    addRow(0, 90.0f, 3300, -1.0f, -5, 1);
    ModalScript script;
    std::vector<std::string> shown;
    script.then(kEditTitle, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    script.then(kSettingsTitle, [&](QDialog& d) {
        shown = rowTexts(d, 0);
        pressOk()(d);
    });
    ConsensusSettingsDialog dialog(table_, recorder());
    dialog.exec();
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(shown, (std::vector<std::string>{"0", "90.00", "3300", "", "-5", "ON"}));
}

TEST_F(SettingsDialogTest, EscapeLeavesTheRowIncompleteAndItIsNotOfferedAgain) {
    BeamSetting& row = addRow(45, 66.4f, 700, 0.0f, 0);
    ModalScript script;
    std::vector<std::string> shown;
    script.then(kEditTitle, [](QDialog& d) {
        field(d, "consensusWindowEdit")->setText("5");
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    script.then(kSettingsTitle, [&](QDialog& d) {
        shown = rowTexts(d, 0);
        pressOk()(d);
    });
    ConsensusSettingsDialog dialog(table_, recorder());
    dialog.exec();

    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(shown, (std::vector<std::string>{"45", "66.40", "700", "", "", "OFF"}));
    EXPECT_EQ(row.consensusWindow, 0.0f);
    EXPECT_EQ(row.consensusPercent, 0);
}

TEST_F(SettingsDialogTest, InvalidOkShowsTheMessageKeepsTheDialogAndStoresTheValue) {
    BeamSetting& row = addRow(45, 66.4f, 700, 3.0f, 0);
    ModalScript script;
    bool openAfterFirstOk = false;
    bool openAfterSecondOk = false;
    script.then(kEditTitle, [&](QDialog& d) {
        enterValues("0", "50")(d);
        openAfterFirstOk = d.isVisible();
    });
    script.thenSame(kEditTitle, [&](QDialog& d) {
        enterValues("4", "0")(d);
        openAfterSecondOk = d.isVisible();
    });
    script.thenSame(kEditTitle, [&](QDialog& d) {
        field(d, "consensusWindowEdit")->setText("0");
        QTest::keyClick(field(d, "consensusThresholdEdit"), Qt::Key_Return);  // Enter is OK
    });
    script.thenSame(kEditTitle, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    std::vector<std::string> shown;
    script.then(kSettingsTitle, [&](QDialog& d) {
        shown = rowTexts(d, 0);
        pressOk()(d);
    });
    ConsensusSettingsDialog dialog(table_, recorder());
    dialog.exec();

    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_TRUE(openAfterFirstOk);
    EXPECT_TRUE(openAfterSecondOk);
    EXPECT_EQ(messages_,
              (std::vector<std::string>{
                  "The consensus window must be greater than zero.",
                  "The consensus threshold must be a whole number from 1 to 100 %.",
                  "The consensus window must be greater than zero."}));
    // Stored before judged: the failed values stay after Escape.
    EXPECT_EQ(row.consensusWindow, 0.0f);
    EXPECT_EQ(row.consensusPercent, 0);
    EXPECT_EQ(shown, (std::vector<std::string>{"45", "66.40", "700", "", "", "OFF"}));
}

// OK with entries in range closes the edit dialog; out of range it stays,
// says what the field allows, and the field at fault (the window first)
// takes the focus with its text selected.
TEST_F(SettingsDialogTest, OkOutOfRangeNamesTheRangeAndFocusesTheField) {
    struct Case {
        const char* window;
        const char* threshold;
        const char* message;   // empty: accepted
        const char* focused;   // the field at fault
    };
    const char* const kWindow = "consensusWindowEdit";
    const char* const kThreshold = "consensusThresholdEdit";
    const Case cases[] = {
        {"0.01", "1", "", ""},
        {"3.4e38", "100", "", ""},
        {"2", "0", "The consensus threshold must be a whole number from 1 to 100 %.", kThreshold},
        {"2", "101", "The consensus threshold must be a whole number from 1 to 100 %.",
         kThreshold},
        {"2", "150", "The consensus threshold must be a whole number from 1 to 100 %.",
         kThreshold},
        {"2", "-5", "The consensus threshold must be a whole number from 1 to 100 %.", kThreshold},
        {"0", "50", "The consensus window must be greater than zero.", kWindow},
        {"-1", "50", "The consensus window must be greater than zero.", kWindow},
        {"nan", "50", "The consensus window must be greater than zero.", kWindow},
        {"inf", "50", "The consensus window must be a finite number greater than zero.", kWindow},
        {"0", "150", "The consensus window must be greater than zero.", kWindow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.window) + " / " + c.threshold);
        messages_.clear();
        BeamSetting row;
        row.consensusWindow = 2.5f;
        row.consensusPercent = 60;
        EditConsensusParametersDialog dialog(row, recorder());
        ModalScript script;
        bool open = false;
        QString focused, selected;
        script.then(kEditTitle, [&](QDialog& d) {
            button(d, "okButton")->setFocus(Qt::OtherFocusReason);
            enterValues(c.window, c.threshold)(d);
            open = d.isVisible();
            if (!open) return;
            focused = d.focusWidget() ? d.focusWidget()->objectName() : QString();
            if (auto* edit = qobject_cast<QLineEdit*>(d.focusWidget())) selected = edit->selectedText();
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        const int result = dialog.exec();
        EXPECT_TRUE(script.finished());
        if (*c.message == '\0') {
            EXPECT_EQ(result, QDialog::Accepted);
            EXPECT_TRUE(messages_.empty());
            continue;
        }
        EXPECT_TRUE(open);
        EXPECT_EQ(messages_, std::vector<std::string>{c.message});
        EXPECT_EQ(focused.toStdString(), c.focused);
        EXPECT_EQ(selected, field(dialog, c.focused)->text());
    }
}

TEST_F(SettingsDialogTest, ClickOnEmptySpaceEnablesEditWhichThenDoesNothing) {
    addRow(45, 66.4f, 700, 2.5f, 60);
    addRow(135, 66.4f, 700, 2.5f, 60);
    ModalScript script;
    bool enabledBefore = true, enabledAfterClick = false;
    int markAfterClick = 0;
    script.then(kSettingsTitle, [&](QDialog& d) {
        auto& settings = static_cast<ConsensusSettingsDialog&>(d);
        enabledBefore = button(d, "editButton")->isEnabled();
        QWidget* viewport = list(d)->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() - 3));
        enabledAfterClick = button(d, "editButton")->isEnabled();
        markAfterClick = settings.selectionMark();
        button(d, "editButton")->click();  // no selection mark: no edit dialog
        pressOk()(d);
    });
    ConsensusSettingsDialog dialog(table_, recorder());
    dialog.exec();

    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_FALSE(enabledBefore);
    EXPECT_TRUE(enabledAfterClick);
    EXPECT_EQ(markAfterClick, -1);
}

TEST_F(SettingsDialogTest, EditButtonEditsTheMarkedRowAndIsDisabledAfterwards) {
    addRow(45, 66.4f, 700, 2.5f, 60);
    BeamSetting& second = addRow(135, 66.4f, 700, 2.5f, 60);
    ModalScript script;
    std::string editedAzimuth;
    std::vector<std::string> shownAfter;
    bool enabledAfterEdit = true;
    int markAfterEdit = 0;
    script.then(kSettingsTitle, [&](QDialog& d) {
        auto& settings = static_cast<ConsensusSettingsDialog&>(d);
        QTest::mouseClick(list(d)->viewport(), Qt::LeftButton, {}, rowCentre(d, 1));
        EXPECT_EQ(settings.selectionMark(), 1);
        EXPECT_TRUE(button(d, "editButton")->isEnabled());
        button(d, "editButton")->click();  // runs the edit dialog below
        shownAfter = rowTexts(d, 1);
        enabledAfterEdit = button(d, "editButton")->isEnabled();
        markAfterEdit = settings.selectionMark();
        pressOk()(d);
    });
    script.then(kEditTitle, [&](QDialog& d) {
        editedAzimuth = field(d, "azimuthEdit")->text().toStdString();
        enterValues("7.126", "33abc")(d);
    });
    ConsensusSettingsDialog dialog(table_, recorder());
    dialog.exec();

    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(editedAzimuth, "135");
    EXPECT_EQ(second.consensusWindow, 7.126f);
    EXPECT_EQ(second.consensusPercent, 33);
    EXPECT_EQ(shownAfter, (std::vector<std::string>{"135", "66.40", "700", "7.13", "33", "OFF"}));
    EXPECT_FALSE(enabledAfterEdit);
    EXPECT_EQ(markAfterEdit, -1);
}

TEST_F(SettingsDialogTest, DoubleClickEditsThatRowEvenWithEditDisabled) {
    addRow(45, 66.4f, 700, 2.5f, 60);
    BeamSetting& second = addRow(135, 9000.0f, 700, 2.5f, 60);
    ModalScript script;
    std::string editedElevation;
    std::vector<std::string> shownAfter;
    script.then(kSettingsTitle, [&](QDialog& d) {
        EXPECT_FALSE(button(d, "editButton")->isEnabled());
        // A double click as the window system delivers it: press, release,
        // double click, release.
        QWidget* viewport = list(d)->viewport();
        const QPoint at = rowCentre(d, 1);
        QTest::mousePress(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        shownAfter = rowTexts(d, 1);
        pressOk()(d);
    });
    script.then(kEditTitle, [&](QDialog& d) {
        editedElevation = field(d, "elevationEdit")->text().toStdString();
        enterValues("abc", "75")(d);
    });
    ConsensusSettingsDialog dialog(table_, recorder());
    dialog.exec();

    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(editedElevation, "89.999998");
    EXPECT_EQ(second.consensusWindow, 2.5f);  // "abc" holds no number
    EXPECT_EQ(second.consensusPercent, 75);
    EXPECT_EQ(shownAfter, (std::vector<std::string>{"135", "90.00", "700", "2.50", "75", "OFF"}));
}

TEST_F(SettingsDialogTest, EscapeClosesTheList) {
    addRow(45, 66.4f, 700, 2.5f, 60);
    ModalScript script;
    script.then(kSettingsTitle, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    ConsensusSettingsDialog dialog(table_, recorder());
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(script.finished());
}

TEST_F(SettingsDialogTest, AbortDuringForcedEditsOffersNoMoreRows) {
    BeamSetting& first = addRow(45, 66.4f, 700, 0.0f, 0);
    addRow(135, 66.4f, 700, 0.0f, 0);
    ConsensusSettingsDialog dialog(table_, recorder());
    ModalScript script;
    script.then(kEditTitle, [&](QDialog& d) {
        field(d, "consensusWindowEdit")->setText("9");
        dialog.abort();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(first.consensusWindow, 0.0f);  // closed without storing
    EXPECT_FALSE(dialog.isVisible());
}

// Load and Save of the settings file from the list.
class SettingsFileTest : public SettingsDialogTest {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    SettingsFileHooks files() {
        SettingsFileHooks hooks;
        hooks.pickLoadPath = [this](QWidget*, const QString& title) {
            titles_.push_back(title.toStdString());
            return loadPath_;
        };
        hooks.pickSavePath = [this](QWidget*, const QString& title) {
            titles_.push_back(title.toStdString());
            return savePath_;
        };
        return hooks;
    }

    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    static void writeText(const QString& path, const std::string& text) {
        std::ofstream out(path.toStdString(), std::ios::binary);
        out << text;
    }

    static std::string readText(const QString& path) {
        std::ifstream in(path.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Runs the list with `act` on it, then OK.
    void runList(const std::function<void(QDialog&)>& act) {
        ModalScript script;
        script.then(kSettingsTitle, [&](QDialog& d) {
            act(d);
            pressOk()(d);
        });
        ConsensusSettingsDialog dialog(table_, recorder(), nullptr, files());
        dialog.exec();
        EXPECT_TRUE(script.finished());
        EXPECT_TRUE(script.unexpected().empty());
    }

    QTemporaryDir dir_;
    QString loadPath_;
    QString savePath_;
    std::vector<std::string> titles_;
};

TEST_F(SettingsFileTest, LoadAppliesTheRowsOfTheSameBeamsAndRefreshesTheList) {
    BeamSetting& oblique = addRow(45, 66.4f, 700, 2.5f, 60);
    BeamSetting& vertical = addRow(0, 90.0f, 700, 1.0f, 50);
    BeamSetting& rass = addRow(0, 90.0f, 3300, 0.5f, 20, 1);
    loadPath_ = path("site.csv");
    writeText(loadPath_,
              "azimuth,elevation,pulse_width,rass,window,threshold\n"
              "# the site's beams\n"
              "45,66.4,700,0,3.25,70\n"
              "0,90,700,0,,45\n"         // window left as it is
              "0,90,3300,0,9,9\n"        // not the RASS beam: RASS flag differs
              "135,66.4,700,0,4,40\n");  // no such beam here
    std::vector<std::string> before, after;
    bool editEnabled = true;
    runList([&](QDialog& d) {
        before = rowTexts(d, 0);
        button(d, "loadButton")->click();
        after = rowTexts(d, 0);
        EXPECT_EQ(rowTexts(d, 1),
                  (std::vector<std::string>{"0", "90.00", "700", "1.00", "45", "OFF"}));
        EXPECT_EQ(rowTexts(d, 2),
                  (std::vector<std::string>{"0", "90.00", "3300", "0.50", "20", "ON"}));
        EXPECT_EQ(list(d)->topLevelItemCount(), 3);
        editEnabled = button(d, "editButton")->isEnabled();
    });
    EXPECT_EQ(titles_, std::vector<std::string>{"Load Consensus Settings"});
    EXPECT_EQ(before, (std::vector<std::string>{"45", "66.40", "700", "2.50", "60", "OFF"}));
    EXPECT_EQ(after, (std::vector<std::string>{"45", "66.40", "700", "3.25", "70", "OFF"}));
    EXPECT_FALSE(editEnabled);
    EXPECT_EQ(oblique.consensusWindow, 3.25f);
    EXPECT_EQ(oblique.consensusPercent, 70);
    EXPECT_EQ(vertical.consensusWindow, 1.0f);
    EXPECT_EQ(vertical.consensusPercent, 45);
    EXPECT_EQ(rass.consensusWindow, 0.5f);
    EXPECT_EQ(rass.consensusPercent, 20);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsFileTest, SavedSettingsLoadBackIntoTheSameBeams) {
    BeamSetting& oblique = addRow(45, 66.4f, 700, 2.75f, 60);
    BeamSetting& tenths = addRow(0, 9000.0f, 700, 0.1f, 50);
    BeamSetting& rass = addRow(0, 90.0f, 3300, 1.5f, 33, 1);
    savePath_ = path("saved.csv");
    runList([&](QDialog& d) { button(d, "saveButton")->click(); });
    EXPECT_EQ(readText(savePath_),
              "azimuth,elevation,pulse_width,rass,window,threshold\n"
              "45,66.4,700,0,2.75,60\n"
              "0,9000,700,0,0.1,50\n"
              "0,90,3300,1,1.5,33\n");

    // Another run of the site: the same beams, no values yet.
    for (BeamSetting* row : table_) {
        row->consensusWindow = 0.0f;
        row->consensusPercent = 0;
    }
    loadPath_ = savePath_;
    ModalScript script;
    script.then(kEditTitle, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); })
        .then(kEditTitle, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); })
        .then(kEditTitle, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); })
        .then(kSettingsTitle, [](QDialog& d) {
            button(d, "loadButton")->click();
            pressOk()(d);
        });
    ConsensusSettingsDialog dialog(table_, recorder(), nullptr, files());
    dialog.exec();
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(script.unexpected().empty());
    EXPECT_EQ(oblique.consensusWindow, 2.75f);
    EXPECT_EQ(oblique.consensusPercent, 60);
    EXPECT_EQ(tenths.consensusWindow, 0.1f);
    EXPECT_EQ(tenths.consensusPercent, 50);
    EXPECT_EQ(rass.consensusWindow, 1.5f);
    EXPECT_EQ(rass.consensusPercent, 33);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsFileTest, AnUnreadableOrDamagedFileIsNamedAndChangesNothing) {
    BeamSetting& row = addRow(45, 66.4f, 700, 2.5f, 60);
    loadPath_ = path("missing.csv");
    runList([&](QDialog& d) { button(d, "loadButton")->click(); });
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], "The settings file could not be opened: " + loadPath_.toStdString());

    loadPath_ = path("damaged.csv");
    writeText(loadPath_, "45,66.4,700,0,3,70\n45,66.4,seven hundred,0,3,70\n");
    runList([&](QDialog& d) { button(d, "loadButton")->click(); });
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].rfind("The settings file could not be read: ", 0), 0u) << messages_[1];
    EXPECT_NE(messages_[1].find("damaged.csv"), std::string::npos) << messages_[1];
    EXPECT_NE(messages_[1].find('2'), std::string::npos) << messages_[1];
    // A damaged file is not applied in part.
    EXPECT_EQ(row.consensusWindow, 2.5f);
    EXPECT_EQ(row.consensusPercent, 60);
}

TEST_F(SettingsFileTest, AFileWithoutABeamOfTheListIsSaid) {
    BeamSetting& row = addRow(45, 66.4f, 700, 2.5f, 60);
    loadPath_ = path("other-site.csv");
    writeText(loadPath_, "90,75,500,0,3,70\n");
    runList([&](QDialog& d) { button(d, "loadButton")->click(); });
    EXPECT_EQ(messages_,
              std::vector<std::string>{"No row of the settings file is a beam of this list: " +
                                       loadPath_.toStdString()});
    EXPECT_EQ(row.consensusWindow, 2.5f);
}

TEST_F(SettingsFileTest, AFailedSaveIsNamedAndACancelledPickDoesNothing) {
    addRow(45, 66.4f, 700, 2.5f, 60);
    savePath_ = path("no-folder/settings.csv");
    runList([&](QDialog& d) { button(d, "saveButton")->click(); });
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].rfind("The settings file could not be written: ", 0), 0u)
        << messages_[0];
    EXPECT_NE(messages_[0].find("no-folder"), std::string::npos) << messages_[0];

    savePath_.clear();
    loadPath_.clear();
    runList([&](QDialog& d) {
        button(d, "saveButton")->click();
        button(d, "loadButton")->click();
    });
    EXPECT_EQ(messages_.size(), 1u);
    EXPECT_EQ(titles_.size(), 3u);
}

TEST(EditDialog, TitleFieldsAndTabOrder) {
    BeamSetting row;
    row.azimuth = 45;
    row.elevation = 66.4f;
    row.pulseWidth = 700;
    row.consensusWindow = 1.234f;
    row.consensusPercent = 50;
    EditConsensusParametersDialog d(row, [](QWidget*, const QString&) {});
    EXPECT_EQ(d.windowTitle(), "Edit Consensus Parameters");
    EXPECT_EQ(field(d, "consensusWindowEdit")->text(), "1.23");
    EXPECT_EQ(field(d, "consensusThresholdEdit")->text(), "50");
    EXPECT_EQ(field(d, "azimuthEdit")->text(), "45");
    EXPECT_EQ(field(d, "elevationEdit")->text(), "66.400002");
    EXPECT_EQ(field(d, "pulseWidthEdit")->text(), "700");
    EXPECT_TRUE(field(d, "azimuthEdit")->isReadOnly());
    EXPECT_TRUE(field(d, "elevationEdit")->isReadOnly());
    EXPECT_TRUE(field(d, "pulseWidthEdit")->isReadOnly());
    EXPECT_FALSE(field(d, "consensusWindowEdit")->isReadOnly());
    EXPECT_EQ(d.findChild<QLabel*>("windowUnitLabel")->text(), "m/s");
    EXPECT_FALSE(d.windowFlags() & Qt::WindowSystemMenuHint);

    std::vector<QString> order;
    QWidget* w = field(d, "consensusWindowEdit");
    for (int i = 0; i < 6; ++i, w = w->nextInFocusChain()) {
        while (!(w->focusPolicy() & Qt::TabFocus)) w = w->nextInFocusChain();
        order.push_back(w->objectName());
    }
    EXPECT_EQ(order,
              (std::vector<QString>{"consensusWindowEdit", "consensusThresholdEdit", "azimuthEdit",
                                    "elevationEdit", "pulseWidthEdit", "okButton"}));
}

}  // namespace
}  // namespace qv
