// "Edit Consensus Parameters": the consensus window and threshold of one
// beam settings row, with the beam's identity shown read-only.
#pragma once

#include <QDialog>

#include "core/store.h"
#include "ui/stop_message.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

class EditConsensusParametersDialog : public QDialog {
public:
    // Works on `row` in place; the row must outlive the dialog.
    EditConsensusParametersDialog(BeamSetting& row, StopMessage message, QWidget* parent = nullptr);

    // OK and Enter: stores what the fields hold, then closes only when the
    // window and the threshold are both in range; otherwise the message is
    // shown and the field at fault takes the focus, its text selected.
    // Escape closes without storing.
    void accept() override;

private:
    BeamSetting& row_;
    StopMessage message_;
    QLineEdit* window_ = nullptr;
    QLineEdit* threshold_ = nullptr;
};

}  // namespace qv
