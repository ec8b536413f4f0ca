#include "ui/edit_parameters_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/settings_logic.h"

namespace qv {
namespace {

QLineEdit* addRow(QGridLayout* grid, int line, const char* label, const std::string& text,
                  const QString& unit, bool readOnly, const char* name) {
    auto* field = new QLineEdit(QString::fromStdString(text));
    field->setObjectName(QString::fromLatin1(name));
    field->setReadOnly(readOnly);
    field->setMaxLength(static_cast<int>(kMaxFieldChars));
    auto* caption = new QLabel(QString::fromLatin1(label));
    caption->setBuddy(field);
    auto* unitLabel = new QLabel(unit);
    grid->addWidget(caption, line, 0);
    grid->addWidget(field, line, 1);
    grid->addWidget(unitLabel, line, 2);
    return field;
}

}  // namespace

EditConsensusParametersDialog::EditConsensusParametersDialog(BeamSetting& row, StopMessage message,
                                                             QWidget* parent)
    : QDialog(parent), row_(row), message_(stopMessageOrDefault(std::move(message))) {
    setWindowTitle(QStringLiteral("Edit Consensus Parameters"));
    // A caption without a system menu: no close box, Escape still closes.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    const EditFieldTexts texts = editFieldTexts(row_);
    auto* grid = new QGridLayout;
    QLineEdit* azimuth =
        addRow(grid, 0, "Azimuth:", texts.azimuth, QStringLiteral("degrees"), true, "azimuthEdit");
    QLineEdit* elevation = addRow(grid, 1, "Elevation:", texts.elevation, QStringLiteral("degrees"),
                                  true, "elevationEdit");
    QLineEdit* pulseWidth = addRow(grid, 2, "Pulse Width:", texts.pulseWidth,
                                   QStringLiteral("nanoseconds"), true, "pulseWidthEdit");
    window_ = addRow(grid, 3, "Consensus Window:", texts.window,
                     QString::fromStdString(texts.windowUnit), false, "consensusWindowEdit");
    threshold_ = addRow(grid, 4, "Consensus Threshold:", texts.threshold, QStringLiteral("%"),
                        false, "consensusThresholdEdit");
    grid->itemAtPosition(3, 2)->widget()->setObjectName(QStringLiteral("windowUnitLabel"));

    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    // Tab order: the two editable fields first, then the identity, then OK.
    setTabOrder(window_, threshold_);
    setTabOrder(threshold_, azimuth);
    setTabOrder(azimuth, elevation);
    setTabOrder(elevation, pulseWidth);
    setTabOrder(pulseWidth, ok);

    window_->setFocus(Qt::TabFocusReason);
    window_->selectAll();
}

void EditConsensusParametersDialog::accept() {
    const std::string message =
        storeAndValidateEdit(row_, window_->text().toStdString(), threshold_->text().toStdString());
    if (!message.empty()) {
        message_(this, QString::fromStdString(message));
        // The window is judged first: while it is out of range it is the
        // field at fault.
        QLineEdit* fault = windowInRange(row_.consensusWindow) ? threshold_ : window_;
        fault->setFocus(Qt::OtherFocusReason);
        fault->selectAll();
        return;
    }
    QDialog::accept();
}

}  // namespace qv
