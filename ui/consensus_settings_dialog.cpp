#include "ui/consensus_settings_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/edit_parameters_dialog.h"
#include "ui/settings_logic.h"

namespace qv {

ConsensusSettingsDialog::ConsensusSettingsDialog(RecordList<BeamSetting>& table,
                                                 StopMessage message, QWidget* parent)
    : QDialog(parent), table_(table), message_(stopMessageOrDefault(std::move(message))) {
    setWindowTitle(QStringLiteral("Consensus Settings"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    ok_ = new QPushButton(QStringLiteral("OK"));
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    list_ = new QTreeWidget;
    list_->setObjectName(QStringLiteral("settingsList"));
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setAllColumnsShowFocus(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionsMovable(false);
    list_->viewport()->installEventFilter(this);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                if (!selected.indexes().isEmpty())
                    selectionMark_ = selected.indexes().first().row();
            });

    edit_ = new QPushButton(QStringLiteral("Edit"));
    edit_->setObjectName(QStringLiteral("editButton"));
    edit_->setAutoDefault(false);
    connect(edit_, &QPushButton::clicked, this, [this] { editSelectedSetting(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(edit_);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);

    setTabOrder(ok_, list_);
    setTabOrder(list_, edit_);

    int width = 0;
    for (const SettingsColumn& c : kSettingsColumns) width += c.width;
    resize(width + 60, 230);
    edit_->setEnabled(false);
}

int ConsensusSettingsDialog::exec() {
    // Rows still lacking a positive window or threshold are edited first,
    // one after another, before the list is shown. A row left with Escape
    // stays incomplete and is not offered again in this review.
    for (BeamSetting* row : table_) {
        if (aborted_) break;
        if (needsForcedEdit(*row)) runEdit(*row, parentWidget());
    }
    if (aborted_) return QDialog::Rejected;
    fillSettingsList();
    edit_->setEnabled(false);
    ok_->setFocus(Qt::OtherFocusReason);
    return QDialog::exec();
}

void ConsensusSettingsDialog::abort() {
    aborted_ = true;
    if (activeEdit_) activeEdit_->reject();
    reject();
}

void ConsensusSettingsDialog::fillSettingsList() {
    list_->clear();
    list_->setColumnCount(static_cast<int>(kSettingsColumns.size()));
    QStringList headings;
    for (const SettingsColumn& c : kSettingsColumns) headings << QString::fromLatin1(c.heading);
    list_->setHeaderLabels(headings);
    for (int c = 0; c < static_cast<int>(kSettingsColumns.size()); ++c) {
        list_->setColumnWidth(c, kSettingsColumns[static_cast<std::size_t>(c)].width);
        list_->headerItem()->setTextAlignment(c, Qt::AlignLeft | Qt::AlignVCenter);
    }
    for (const BeamSetting* row : table_) {
        const auto texts = settingsRowTexts(*row);
        auto* item = new QTreeWidgetItem;
        for (int c = 0; c < static_cast<int>(texts.size()); ++c) {
            item->setText(c, QString::fromStdString(texts[static_cast<std::size_t>(c)]));
            item->setTextAlignment(c, Qt::AlignLeft | Qt::AlignVCenter);
        }
        list_->addTopLevelItem(item);
    }
    // A refilled list has no selection mark.
    selectionMark_ = -1;
}

void ConsensusSettingsDialog::editSelectedSetting() {
    if (selectionMark_ < 0) return;
    BeamSetting* row = table_.findByPosition(static_cast<long>(selectionMark_));
    if (!row) return;
    runEdit(*row, this);
    fillSettingsList();
    edit_->setEnabled(false);
}

void ConsensusSettingsDialog::runEdit(BeamSetting& row, QWidget* parent) {
    EditConsensusParametersDialog dialog(row, message_, parent);
    activeEdit_ = &dialog;
    dialog.exec();
    activeEdit_ = nullptr;
}

bool ConsensusSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                ignoreRelease_ = false;
                break;
            case QEvent::MouseButtonRelease:
                // A click on a row or on empty space makes Edit available.
                if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
                    !ignoreRelease_) {
                    edit_->setEnabled(true);
                }
                ignoreRelease_ = false;
                break;
            case QEvent::MouseButtonDblClick:
                if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                    ignoreRelease_ = true;
                    editSelectedSetting();
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace qv
