#include "ui/consensus_settings_dialog.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings_csv.h"
#include "output/whole_file.h"
#include "ui/edit_parameters_dialog.h"
#include "ui/settings_logic.h"

namespace qv {
namespace {

const QString kSettingsFilter = QStringLiteral("Settings files (*.csv);;All files (*)");


QString chooseSettingsToSave(QWidget* parent, const QString& title) {
    QString path = QFileDialog::getSaveFileName(parent, title, QString(), kSettingsFilter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
    return path;
}

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toLocal(const QString& text) {
    const QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

ConsensusSettingsDialog::ConsensusSettingsDialog(RecordList<BeamSetting>& table,
                                                 StopMessage message, QWidget* parent,
                                                 SettingsFileHooks files)
    : QDialog(parent),
      table_(table),
      message_(stopMessageOrDefault(std::move(message))),
      files_(std::move(files)) {
    if (!files_.pickLoadPath) {
        files_.pickLoadPath = [folder = files_.loadFolder](QWidget* parent, const QString& title) {
            return QFileDialog::getOpenFileName(parent, title, folder, kSettingsFilter);
        };
    }
    if (!files_.pickSavePath) files_.pickSavePath = chooseSettingsToSave;
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

    load_ = new QPushButton(QStringLiteral("Load..."));
    load_->setObjectName(QStringLiteral("loadButton"));
    load_->setAutoDefault(false);
    load_->setToolTip(
        QStringLiteral("Take the window and threshold of each beam from a settings file"));
    connect(load_, &QPushButton::clicked, this, [this] { loadSettings(); });

    save_ = new QPushButton(QStringLiteral("Save..."));
    save_->setObjectName(QStringLiteral("saveButton"));
    save_->setAutoDefault(false);
    save_->setToolTip(QStringLiteral("Write the beams and their values to a settings file"));
    connect(save_, &QPushButton::clicked, this, [this] { saveSettings(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(edit_);
    buttons->addWidget(load_);
    buttons->addWidget(save_);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);

    setTabOrder(ok_, list_);
    setTabOrder(list_, edit_);
    setTabOrder(edit_, load_);
    setTabOrder(load_, save_);

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

void ConsensusSettingsDialog::loadSettings() {
    const QString path = files_.pickLoadPath(this, QStringLiteral("Load Consensus Settings"));
    if (path.isEmpty()) return;
    const std::string file = toLocal(path);
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        message_(this, QStringLiteral("The settings file could not be opened: ") + path);
        return;
    }
    std::vector<SettingsRow> rows;
    std::string error;
    if (!readSettingsCsv(in, file, rows, error)) {
        message_(this, QStringLiteral("The settings file could not be read: ") + fromLocal(error));
        return;
    }
    // Each beam takes the window and threshold of the file's row with its
    // azimuth, elevation, pulse width and RASS flag (an empty field leaves
    // the value as it was); beams the file lacks keep theirs.
    reviewTable(table_, rows, ReviewDefaults{});
    fillSettingsList();
    edit_->setEnabled(false);
    const bool matched = std::any_of(rows.begin(), rows.end(), [this](const SettingsRow& row) {
        return std::any_of(table_.begin(), table_.end(), [&row](const BeamSetting* beam) {
            return beam->azimuth == row.azimuth && beam->elevation == row.elevation &&
                   beam->pulseWidth == row.pulseWidth && beam->rassFlag == row.rassFlag;
        });
    });
    if (!matched) {
        message_(this,
                 QStringLiteral("No row of the settings file is a beam of this list: ") + path);
    }
}

void ConsensusSettingsDialog::saveSettings() {
    const QString path = files_.pickSavePath(this, QStringLiteral("Save Consensus Settings"));
    if (path.isEmpty()) return;
    std::ostringstream text;
    writeSettingsCsv(text, table_);
    std::string error;
    if (!writeWholeFile(toLocal(path), text.str(), error)) {
        message_(this,
                 QStringLiteral("The settings file could not be written: ") + fromLocal(error));
    }
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
