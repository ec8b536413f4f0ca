// "Consensus Settings": the review of the beam settings table. Before the
// list appears, every row without a positive window and threshold is opened
// in the edit dialog; then the list shows every row, and a row can be
// picked and edited again.
#pragma once

#include <QDialog>
#include <QPointer>

#include "core/record_list.h"
#include "core/store.h"
#include "ui/stop_message.h"

class QPushButton;
class QTreeWidget;

namespace qv {

class EditConsensusParametersDialog;

class ConsensusSettingsDialog : public QDialog {
public:
    // Works on `table` in place; it neither owns nor copies it. The table
    // must not change while the dialog runs.
    ConsensusSettingsDialog(RecordList<BeamSetting>& table, StopMessage message,
                            QWidget* parent = nullptr);

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

    RecordList<BeamSetting>& table_;
    StopMessage message_;
    QTreeWidget* list_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPointer<EditConsensusParametersDialog> activeEdit_;
    int selectionMark_ = -1;
    bool aborted_ = false;
    bool ignoreRelease_ = false;
};

}  // namespace qv
