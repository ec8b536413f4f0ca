// The main dialog's controls, their layout and their initial state.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "ui/main_dialog.h"
#include "ui/program_icon.h"

namespace qv {
namespace {

// The site field turns what is typed into lower case.
class LowerCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toLower();
        return Acceptable;
    }
};

QComboBox* makeList(const std::vector<std::string>& entries, const char* name) {
    auto* list = new QComboBox;
    list->setObjectName(QString::fromLatin1(name));
    for (const std::string& e : entries) list->addItem(QString::fromStdString(e));
    return list;
}

QGroupBox* makeDateGroup(const char* title, QComboBox* month, QComboBox* day, QComboBox* year) {
    auto* group = new QGroupBox(QString::fromLatin1(title));
    auto* row = new QHBoxLayout(group);
    const std::pair<const char*, QComboBox*> fields[] = {
        {"Month:", month}, {"Day:", day}, {"Year:", year}};
    for (const auto& [label, list] : fields) {
        auto* caption = new QLabel(QString::fromLatin1(label));
        caption->setBuddy(list);
        row->addWidget(caption);
        row->addWidget(list, list == month ? 2 : 1);
    }
    return group;
}

QGroupBox* makePathGroup(const char* title, QLineEdit* path, QPushButton* browse) {
    auto* group = new QGroupBox(QString::fromLatin1(title));
    auto* row = new QHBoxLayout(group);
    path->setReadOnly(true);
    row->addWidget(path, 1);
    row->addWidget(browse);
    return group;
}

QRadioButton* makeRadio(const char* text, const char* name) {
    auto* radio = new QRadioButton(QString::fromLatin1(text));
    radio->setObjectName(QString::fromLatin1(name));
    return radio;
}

QPushButton* makeButton(const char* text, const char* name) {
    auto* button = new QPushButton(QString::fromLatin1(text));
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

void MainDialog::buildControls() {
    setWindowTitle(QStringLiteral("Quorvane"));
    setWindowIcon(programIcon());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    beginMonth_ = makeList(monthEntries(), "beginMonth");
    beginDay_ = makeList(dayEntries(), "beginDay");
    endMonth_ = makeList(monthEntries(), "endMonth");
    endDay_ = makeList(dayEntries(), "endDay");
    const int currentYear = hooks_.clock().year;
    beginYear_ = makeList(yearEntries(currentYear), "beginYear");
    endYear_ = makeList(yearEntries(currentYear), "endYear");

    inputPath_ = new QLineEdit;
    inputPath_->setObjectName(QStringLiteral("inputPath"));
    inputBrowse_ = makeButton("Browse", "inputBrowse");
    outputPath_ = new QLineEdit;
    outputPath_->setObjectName(QStringLiteral("outputPath"));
    outputBrowse_ = makeButton("Browse", "outputBrowse");

    binary_ = makeRadio("Binary", "binaryRadio");
    ascii_ = makeRadio("ASCII", "asciiRadio");
    siteId_ = new QLineEdit;
    siteId_->setObjectName(QStringLiteral("siteId"));
    siteId_->setMaxLength(kSiteIdMaxChars);
    siteId_->setValidator(new LowerCaseValidator(siteId_));
    siteId_->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("WWWW")) + 12);
    auto* inputType = new QGroupBox(QStringLiteral("Data Input Type"));
    {
        auto* grid = new QGridLayout(inputType);
        grid->addWidget(binary_, 0, 0);
        grid->addWidget(ascii_, 1, 0);
        auto* caption = new QLabel(QStringLiteral("SiteID:"));
        caption->setBuddy(siteId_);
        grid->addWidget(caption, 1, 1, Qt::AlignRight);
        grid->addWidget(siteId_, 1, 2);
    }

    dataSource_ = makeList(dataSourceEntries(), "dataSource");
    auto* source = new QGroupBox(QStringLiteral("Data Input Source"));
    {
        auto* box = new QVBoxLayout(source);
        box->addWidget(dataSource_);
        box->addStretch();
    }

    verticalNotUsed_ =
        makeRadio("Do not use consensed vertical radial velocites", "verticalNotUsed");
    verticalWhenAvailable_ = makeRadio("Use consensed vertical radial velocities when available",
                                       "verticalWhenAvailable");
    verticalRequired_ =
        makeRadio("Require a consensed vertical radial velocity", "verticalRequired");
    auto* criteria = new QGroupBox(QStringLiteral("Consensus Criteria"));
    {
        auto* box = new QVBoxLayout(criteria);
        box->addWidget(verticalNotUsed_);
        box->addWidget(verticalWhenAvailable_);
        box->addWidget(verticalRequired_);
    }

    averaging_ = new QLineEdit;
    averaging_->setObjectName(QStringLiteral("averagingPeriod"));
    auto* averaging = new QGroupBox(QStringLiteral("Consensus Averaging Period"));
    {
        auto* row = new QHBoxLayout(averaging);
        row->addWidget(averaging_, 1);
        row->addWidget(new QLabel(QStringLiteral("minutes")));
    }

    winds_ = makeRadio("Winds", "windsRadio");
    temperature_ = makeRadio("Temperature", "temperatureRadio");
    auto* output = new QGroupBox(QStringLiteral("Consensus Data Output"));
    {
        auto* box = new QVBoxLayout(output);
        box->addWidget(winds_);
        box->addWidget(temperature_);
        // Optional outputs and stages, all off by default: with them off
        // the consensus files are what the consensus alone gives.
        netcdf_ = new QCheckBox(QStringLiteral("Also write netCDF files"));
        netcdf_->setObjectName(QStringLiteral("netcdfCheck"));
        bufr_ = new QCheckBox(QStringLiteral("Also write BUFR files"));
        bufr_->setObjectName(QStringLiteral("bufrCheck"));
        bufr_->setToolTip(QStringLiteral(
            "WMO BUFR reports, a message per averaging period (station number and centre "
            "missing; quorvane-batch --wmo-id and --bufr-centre set them)."));
        continuity_ = new QCheckBox(QStringLiteral("Continuity quality control"));
        continuity_->setObjectName(QStringLiteral("continuityCheck"));
        continuity_->setToolTip(QStringLiteral(
            "Flags winds that are not continuous in time and height (QC 8, -940 Failed QC)."));
        correctedWinds_ = new QCheckBox(QStringLiteral("Corrected wind solution"));
        correctedWinds_->setObjectName(QStringLiteral("correctedWindsCheck"));
        correctedWinds_->setToolTip(QStringLiteral(
            "Folds only beams of the same pulse width and gate heights, and corrects a beam "
            "taken from its opposite beam with the sign that cancels vertical motion."));
        box->addWidget(netcdf_);
        box->addWidget(bufr_);
        box->addWidget(continuity_);
        box->addWidget(correctedWinds_);
    }

    statusMain_ = new QLabel;
    statusMain_->setObjectName(QStringLiteral("statusMain"));
    statusDetail_ = new QLabel;
    statusDetail_->setObjectName(QStringLiteral("statusDetail"));
    for (QLabel* line : {statusMain_, statusDetail_}) {
        line->setTextFormat(Qt::PlainText);
        line->setMinimumWidth(fontMetrics().horizontalAdvance(
            QStringLiteral("Reading data record 00/00/0000 00:00:00")));
    }
    // The days of a run: "Day 3 of 30" while it reads, which days were
    // written when it has ended.
    dayBar_ = new QProgressBar;
    dayBar_->setObjectName(QStringLiteral("dayBar"));
    dayBar_->setTextVisible(false);
    dayBar_->setRange(0, 1);
    dayBar_->setValue(0);
    dayBar_->setMaximumHeight(fontMetrics().height());
    dayText_ = new QLabel;
    dayText_->setObjectName(QStringLiteral("dayText"));
    dayText_->setTextFormat(Qt::PlainText);
    dayText_->setWordWrap(true);
    auto* status = new QGroupBox(QStringLiteral("Status"));
    {
        auto* box = new QVBoxLayout(status);
        box->addWidget(statusMain_);
        box->addWidget(statusDetail_);
        box->addWidget(dayBar_);
        box->addWidget(dayText_);
    }

    // A settings file of the site (the batch tool's CSV): its beams need no
    // typing in the review.
    settingsPath_ = new QLineEdit;
    settingsPath_->setObjectName(QStringLiteral("settingsPath"));
    settingsPath_->setClearButtonEnabled(true);
    settingsPath_->setPlaceholderText(QStringLiteral("none: every beam is asked for"));
    settingsBrowse_ = makeButton("Browse...", "settingsBrowse");
    auto* settingsFile = new QGroupBox(QStringLiteral("Consensus Settings File"));
    {
        auto* row = new QHBoxLayout(settingsFile);
        row->addWidget(settingsPath_, 1);
        row->addWidget(settingsBrowse_);
    }
    openProfile_ = makeButton("Open profile...", "openProfileButton");
    openProfile_->setToolTip(QStringLiteral("Fill every field from a profile file"));
    saveProfile_ = makeButton("Save profile...", "saveProfileButton");
    saveProfile_->setToolTip(QStringLiteral("Write every field to a profile file"));

    process_ = makeButton("Process", "processButton");
    cancel_ = makeButton("Cancel", "cancelButton");
    showResults_ = makeButton("Results...", "resultsButton");
    showResults_->setToolTip(
        QStringLiteral("Plots of a folder of consensus data or netCDF day files"));
    exit_ = makeButton("Exit", "exitButton");
    exit_->setAutoDefault(true);
    exit_->setDefault(true);

    // Each set of radio buttons excludes its own members only.
    for (auto set :
         {std::vector<QRadioButton*>{binary_, ascii_},
          std::vector<QRadioButton*>{verticalNotUsed_, verticalWhenAvailable_, verticalRequired_},
          std::vector<QRadioButton*>{winds_, temperature_}}) {
        auto* group = new QButtonGroup(this);
        group->setExclusive(true);
        for (QRadioButton* r : set) group->addButton(r);
    }

    // The option groups scroll; the status and the buttons stay in view
    // whatever the window's height, so that a small screen keeps Process,
    // Cancel and Exit within reach.
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("optionsPage"));
    auto* fields = new QVBoxLayout(page);
    fields->setContentsMargins(0, 0, 0, 0);
    fields->addWidget(makeDateGroup("Begin Date", beginMonth_, beginDay_, beginYear_));
    fields->addWidget(makeDateGroup("End Date", endMonth_, endDay_, endYear_));
    fields->addWidget(makePathGroup("Data Input Path", inputPath_, inputBrowse_));
    fields->addWidget(makePathGroup("Data Output Path", outputPath_, outputBrowse_));
    {
        auto* row = new QHBoxLayout;
        row->addWidget(inputType, 1);
        row->addWidget(source, 1);
        fields->addLayout(row);
    }
    fields->addWidget(criteria);
    {
        auto* row = new QHBoxLayout;
        row->addWidget(averaging, 1);
        row->addWidget(output, 1);
        fields->addLayout(row);
    }
    fields->addWidget(settingsFile);
    fields->addStretch();
    options_ = new QScrollArea;
    options_->setObjectName(QStringLiteral("optionsArea"));
    options_->setWidgetResizable(true);
    options_->setFrameShape(QFrame::NoFrame);
    options_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    options_->setWidget(page);
    options_->setMinimumHeight(4 * fontMetrics().height());
    options_->setFocusPolicy(Qt::NoFocus);  // the keyboard goes to the fields it holds

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(options_, 1);
    layout->addWidget(status);
    {
        auto* row = new QHBoxLayout;
        row->addWidget(process_);
        row->addWidget(cancel_);
        row->addWidget(showResults_);
        row->addStretch();
        row->addWidget(openProfile_);
        row->addWidget(saveProfile_);
        row->addWidget(exit_);
        layout->addLayout(row);
    }

    // Opens showing every group when the screen has room, and otherwise as
    // tall as the screen leaves for it beside the window frame; it can then
    // be made larger or smaller.
    const QSize pageSize = page->sizeHint();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int fullHeight = layout->sizeHint().height() - options_->sizeHint().height() +
                           pageSize.height();
    int height = fullHeight;
    if (const QScreen* s = screen()) {
        height = std::min(height, s->availableGeometry().height() - 60);
    }
    resize(std::max(layout->sizeHint().width(), pageSize.width() + scrollBar +
                                                    layout->contentsMargins().left() +
                                                    layout->contentsMargins().right()),
           height);

    // Keyboard order: top to bottom, left to right, as the controls stand.
    QWidget* order[] = {beginMonth_,
                        beginDay_,
                        beginYear_,
                        endMonth_,
                        endDay_,
                        endYear_,
                        inputPath_,
                        inputBrowse_,
                        outputPath_,
                        outputBrowse_,
                        binary_,
                        ascii_,
                        siteId_,
                        dataSource_,
                        verticalNotUsed_,
                        verticalWhenAvailable_,
                        verticalRequired_,
                        averaging_,
                        winds_,
                        temperature_,
                        netcdf_,
                        bufr_,
                        continuity_,
                        correctedWinds_,
                        settingsPath_,
                        settingsBrowse_,
                        process_,
                        cancel_,
                        showResults_,
                        openProfile_,
                        saveProfile_,
                        exit_};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void MainDialog::setDefaults() {
    const DateIndices today = dateIndicesFor(hooks_.clock());
    for (auto [month, day, year] : {std::tuple{beginMonth_, beginDay_, beginYear_},
                                    std::tuple{endMonth_, endDay_, endYear_}}) {
        month->setCurrentIndex(today.month);
        day->setCurrentIndex(today.day);
        year->setCurrentIndex(today.year < year->count() ? today.year : -1);
    }
    inputPath_->clear();
    outputPath_->clear();
    binary_->setChecked(true);
    siteId_->clear();
    siteId_->setEnabled(false);
    dataSource_->setCurrentIndex(0);
    verticalWhenAvailable_->setChecked(true);
    averaging_->clear();
    winds_->setChecked(true);
    netcdf_->setChecked(false);
    bufr_->setChecked(false);
    continuity_->setChecked(false);
    correctedWinds_->setChecked(false);
    statusMain_->setText(QStringLiteral("Waiting for user input."));
    statusDetail_->clear();
    settingsPath_->clear();
    dayText_->clear();
    process_->setEnabled(true);
    cancel_->setEnabled(false);
    exit_->setEnabled(true);
    updateRadioMirrors();
}

DialogFields MainDialog::readFields() const {
    DialogFields f;
    f.begin = {beginMonth_->currentIndex(), beginDay_->currentIndex(), beginYear_->currentIndex()};
    f.end = {endMonth_->currentIndex(), endDay_->currentIndex(), endYear_->currentIndex()};
    f.inputPath = inputPath_->text().toLocal8Bit().toStdString();
    f.outputPath = outputPath_->text().toLocal8Bit().toStdString();
    f.ascii = ascii_->isChecked();
    f.siteId = siteId_->text().toLocal8Bit().toStdString();
    f.dataSourceIndex = dataSource_->currentIndex();
    f.dataSourceText = dataSource_->currentText().toStdString();
    f.averagingText = averaging_->text().toStdString();
    f.winds = winds_->isChecked();
    f.temperature = temperature_->isChecked();
    f.netcdf = netcdf_->isChecked();
    f.bufr = bufr_->isChecked();
    f.continuity = continuity_->isChecked();
    f.correctedWinds = correctedWinds_->isChecked();
    return f;
}

void MainDialog::updateRadioMirrors() {
    inputType_ = binary_->isChecked()  ? InputType::Binary
                 : ascii_->isChecked() ? InputType::Ascii
                                       : InputType::None;
    outputKind_ = winds_->isChecked()         ? OutputKind::Winds
                  : temperature_->isChecked() ? OutputKind::Temperature
                                              : OutputKind::None;
    verticalPolicy_ = verticalNotUsed_->isChecked()         ? VerticalPolicy::NotUsed
                      : verticalWhenAvailable_->isChecked() ? VerticalPolicy::WhenAvailable
                      : verticalRequired_->isChecked()      ? VerticalPolicy::Required
                                                            : VerticalPolicy::None;
    siteId_->setEnabled(ascii_->isChecked());
}

DialogProfile MainDialog::profile() const {
    const DialogFields f = readFields();
    DialogProfile p;
    p.inputPath = f.inputPath;
    p.outputPath = f.outputPath;
    p.ascii = f.ascii;
    p.siteId = f.siteId;
    p.dataSourceIndex = f.dataSourceIndex;
    p.begin = f.begin;
    p.end = f.end;
    p.averagingText = f.averagingText;
    p.kind = outputKind_.load();
    p.vertical = verticalPolicy_.load();
    p.netcdf = f.netcdf;
    p.bufr = f.bufr;
    p.continuity = f.continuity;
    p.correctedWinds = f.correctedWinds;
    p.settingsPath = settingsPath_->text().toLocal8Bit().toStdString();
    return p;
}

void MainDialog::applyProfile(const DialogProfile& p) {
    if (running_) return;
    auto text = [](const std::string& s) {
        return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
    };
    // A date list change or a new input folder empties the beam settings
    // table through the lists' own signals, as a user's change would.
    auto setDate = [](const DateIndices& d, QComboBox* month, QComboBox* day, QComboBox* year) {
        month->setCurrentIndex(d.month);
        day->setCurrentIndex(d.day);
        year->setCurrentIndex(d.year < year->count() ? d.year : -1);
    };
    if (p.begin) setDate(*p.begin, beginMonth_, beginDay_, beginYear_);
    if (p.end) setDate(*p.end, endMonth_, endDay_, endYear_);
    if (p.inputPath && text(*p.inputPath) != inputPath_->text()) {
        inputPath_->setText(text(*p.inputPath));
        ClearBeamSettings(job_);
    }
    if (p.outputPath) outputPath_->setText(text(*p.outputPath));
    if (p.ascii) (*p.ascii ? ascii_ : binary_)->setChecked(true);
    if (p.siteId) siteId_->setText(text(*p.siteId));
    if (p.dataSourceIndex) dataSource_->setCurrentIndex(*p.dataSourceIndex);
    if (p.averagingText) averaging_->setText(QString::fromStdString(*p.averagingText));
    if (p.kind) (*p.kind == OutputKind::Temperature ? temperature_ : winds_)->setChecked(true);
    if (p.vertical) {
        (*p.vertical == VerticalPolicy::NotUsed    ? verticalNotUsed_
         : *p.vertical == VerticalPolicy::Required ? verticalRequired_
                                                   : verticalWhenAvailable_)
            ->setChecked(true);
    }
    if (p.netcdf) netcdf_->setChecked(*p.netcdf);
    if (p.bufr) bufr_->setChecked(*p.bufr);
    if (p.continuity) continuity_->setChecked(*p.continuity);
    if (p.correctedWinds) correctedWinds_->setChecked(*p.correctedWinds);
    if (p.settingsPath) settingsPath_->setText(text(*p.settingsPath));
    updateRadioMirrors();
}

}  // namespace qv
