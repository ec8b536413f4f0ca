// "Consensus Settings": the review of the beam settings table. Before the
// list appears, every row without a positive window and threshold is opened
// in the edit dialog; then the list shows every row, and a row can be
// picked and edited again. Load applies a settings file (CSV, one row per
// beam: azimuth, elevation, pulse width, RASS, window, threshold) to the
// rows with the same beam, so that a site's values are typed once; Save
// writes the table in the same form.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>

#include "core/record_list.h"
#include "core/store.h"
#include "ui/stop_message.h"

class QPushButton;
class QTreeWidget;

namespace qv {

class EditConsensusParametersDialog;

// Returns the settings file chosen, or an empty text when none was chosen.
using SettingsFilePicker = std::function<QString(QWidget* parent, const QString& title)>;

// The file choosers of Load and Save; an empty member takes the toolkit's
// file dialog.
struct SettingsFileHooks {
    SettingsFilePicker pickLoadPath;
    SettingsFilePicker pickSavePath;
    // Where the toolkit's chooser of Load opens (the run's input folder):
    // a site's settings file is usually kept beside its moment files.
    QString loadFolder;
};

class ConsensusSettingsDialog : public QDialog {
public:
    // Works on `table` in place; it neither owns nor copies it. The table
    // must not change while the dialog runs.
    ConsensusSettingsDialog(RecordList<BeamSetting>& table, StopMessage message,
                            QWidget* parent = nullptr, SettingsFileHooks files = {});

    // Runs the forced edits, fills the list with Edit disabled, then runs
    // the list modally until OK, Enter or Escape.
    int exec() override;

    // Ends the review at once: closes an open edit dialog without storing,
    // offers no further forced edit, and closes the list.
    void abort();

    // The index of the row that last received the selection, -1 when none.
    int selectionMark() const { return selectionMark_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillSettingsList();
    void editSelectedSetting();
    void runEdit(BeamSetting& row, QWidget* parent);
    void loadSettings();
    void saveSettings();

    RecordList<BeamSetting>& table_;
    StopMessage message_;
    SettingsFileHooks files_;
    QTreeWidget* list_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* save_ = nullptr;
    QPointer<EditConsensusParametersDialog> activeEdit_;
    int selectionMark_ = -1;
    bool aborted_ = false;
    bool ignoreRelease_ = false;
};

}  // namespace qv
