// The main dialog's events, the run it starts and the host calls it serves.
#include "ui/main_dialog.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/worker.h"
#include "output/folder_lock.h"
#include "output/whole_file.h"
#include "ui/consensus_settings_dialog.h"
#include "ui/results_window.h"

namespace qv {
namespace {

QString chooseFolder(QWidget* parent, const QString& title) {
    return QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
}

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toLocal(const QString& text) {
    const QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

const QString kProfileFilter = QStringLiteral("Profiles (*.profile);;All files (*)");

QString chooseSettingsFile(QWidget* parent, const QString& title, const QString& folder) {
    return QFileDialog::getOpenFileName(parent, title, folder,
                                        QStringLiteral("Settings files (*.csv);;All files (*)"));
}

QString chooseProfileToOpen(QWidget* parent, const QString& title, const QString& folder) {
    return QFileDialog::getOpenFileName(parent, title, folder, kProfileFilter);
}

QString chooseProfileToSave(QWidget* parent, const QString& title, const QString& folder) {
    QString path = QFileDialog::getSaveFileName(parent, title, folder, kProfileFilter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".profile");
    return path;
}

// "06/15/04", as the status lines write a day.
QString dayText(const CalendarTime& day) {
    return QStringLiteral("%1/%2/%3")
        .arg(day.month, 2, 10, QLatin1Char('0'))
        .arg(day.day, 2, 10, QLatin1Char('0'))
        .arg(day.year % 100, 2, 10, QLatin1Char('0'));
}

// Days from `from` to `to`, both counted; 0 when `to` is before `from`.
int daysBetween(const CalendarTime& from, const CalendarTime& to) {
    TimeValue a = 0, b = 0;
    if (!calendarToTimeValue(from, a) || !calendarToTimeValue(to, b) || b < a) return 0;
    return static_cast<int>((b - a) / static_cast<TimeValue>(TimeUnits::day)) + 1;
}

CalendarTime dayBefore(const CalendarTime& day) {
    TimeValue t = 0;
    calendarToTimeValue(day, t);
    CalendarTime before;
    timeValueToCalendar(t - static_cast<TimeValue>(TimeUnits::day), before);
    return before;
}

}  // namespace

MainDialog::MainDialog(MainDialogHooks hooks, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)) {
    if (!hooks_.clock) hooks_.clock = systemUtcNow;
    hooks_.stopMessage = stopMessageOrDefault(std::move(hooks_.stopMessage));
    if (!hooks_.pickFolder) hooks_.pickFolder = chooseFolder;
    if (!hooks_.pickSettingsFile) hooks_.pickSettingsFile = chooseSettingsFile;
    if (!hooks_.pickProfileToOpen) hooks_.pickProfileToOpen = chooseProfileToOpen;
    if (!hooks_.pickProfileToSave) hooks_.pickProfileToSave = chooseProfileToSave;

    buildControls();
    setDefaults();

    for (QRadioButton* r : {binary_, ascii_, verticalNotUsed_, verticalWhenAvailable_,
                            verticalRequired_, winds_, temperature_}) {
        connect(r, &QRadioButton::toggled, this, [this] { updateRadioMirrors(); });
    }
    for (QComboBox* list : {beginMonth_, beginDay_, beginYear_, endMonth_, endDay_, endYear_}) {
        connect(list, &QComboBox::currentIndexChanged, this, [this] { onDateChanged(); });
    }
    connect(inputBrowse_, &QPushButton::clicked, this, [this] { onBrowseInput(); });
    connect(outputBrowse_, &QPushButton::clicked, this, [this] { onBrowseOutput(); });
    connect(settingsBrowse_, &QPushButton::clicked, this, [this] { onBrowseSettings(); });
    connect(openProfile_, &QPushButton::clicked, this, [this] { onOpenProfile(); });
    connect(saveProfile_, &QPushButton::clicked, this, [this] { onSaveProfile(); });
    connect(process_, &QPushButton::clicked, this, [this] { onProcess(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { onCancel(); });
    connect(showResults_, &QPushButton::clicked, this, [this] { onResults(); });
    connect(exit_, &QPushButton::clicked, this, &QDialog::accept);
}

MainDialog::~MainDialog() {
    // Normally the run has ended before the dialog goes (see done()). If not,
    // stop it here: the worker never waits for this thread once released.
    if (worker_.joinable()) {
        releaseWorker();
        worker_.join();
    }
    job_.host = nullptr;
}

// ---- Events of the dialog's own thread ------------------------------------

void MainDialog::onProcess() {
    if (running_) return;
    const RunValidation v = validateRun(readFields());
    if (!v.ok()) {
        hooks_.stopMessage(this, QString::fromStdString(v.message));
        return;
    }
    // The settings file is read now, so that a file that cannot be read is
    // said before anything is; the review gives its rows to their beams.
    settingsRows_.clear();
    settingsFileApplied_ = false;
    if (!settingsPath_->text().isEmpty() && !loadSettingsFile(settingsPath_->text())) return;
    // A missing output folder is made when the folder it goes in exists;
    // otherwise nothing is read for files that could not be written.
    if (std::string why; !makeOutputFolder(v.params.outputPath, why)) {
        hooks_.stopMessage(this, fromLocal(why));
        return;
    }
    // One run at a time writes into a folder: two would interleave periods.
    std::string lockMessage;
    if (OutputFolderLock::acquire(v.params.outputPath, folderLock_, lockMessage) ==
        LockResult::InUse) {
        hooks_.stopMessage(this, fromLocal(lockMessage));
        return;
    }
    job_.params = v.params;
    job_.steps = hooks_.steps ? hooks_.steps(v.outputs) : ProcessingSteps{};
    // Each reader announces its day first, posted like every host call: the
    // day counter moves without the worker waiting for it.
    announceDays(job_.steps, [this](const CalendarTime& day) {
        post([day](PendingUpdate& u) { u.dayStarted = day; });
    });
    timeValueToCalendar(v.params.beginTime, firstDay_);
    timeValueToCalendar(v.params.endTime, lastDay_);
    totalDays_ = daysBetween(firstDay_, lastDay_);
    dayStarted_.reset();
    dayBar_->setRange(0, std::max(totalDays_, 1));
    dayBar_->setValue(0);
    dayText_->clear();
    job_.host = this;
    job_.clock = hooks_.clock;
    job_.cancelEvent.reset();
    job_.continueEvent.reset();
    {
        std::lock_guard<std::mutex> lock(reviewMutex_);
        closing_ = false;
        reviewDone_ = false;
    }
    outcome_.reset();
    running_ = true;
    setRunLocks(true);
    worker_ = startProcessing(job_);
}

void MainDialog::onCancel() {
    job_.cancelEvent.set();
    cancel_->setEnabled(false);
}

void MainDialog::onBrowseInput() {
    if (running_) return;
    const QString folder = hooks_.pickFolder(
        this, QStringLiteral("Select the drive and path for binary moment file input."));
    if (!folder.isEmpty()) inputPath_->setText(folder);
    // A new folder means new beams: the next run asks for settings again.
    ClearBeamSettings(job_);
}

void MainDialog::onBrowseSettings() {
    const QString path = hooks_.pickSettingsFile(
        this, QStringLiteral("Select the consensus settings file."), inputPath_->text());
    if (!path.isEmpty()) settingsPath_->setText(path);
}

bool MainDialog::loadSettingsFile(const QString& path) {
    const std::string file = toLocal(path);
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        hooks_.stopMessage(this, QStringLiteral("The settings file could not be opened: ") + path);
        return false;
    }
    std::string error;
    if (!readSettingsCsv(in, file, settingsRows_, error)) {
        settingsRows_.clear();
        hooks_.stopMessage(
            this, QStringLiteral("The settings file could not be read: ") + fromLocal(error));
        return false;
    }
    return true;
}

void MainDialog::onOpenProfile() {
    if (running_) return;
    const QString path =
        hooks_.pickProfileToOpen(this, QStringLiteral("Open Profile"), QString());
    if (path.isEmpty()) return;
    std::ifstream in(toLocal(path), std::ios::binary);
    std::ostringstream content;
    if (in) content << in.rdbuf();  // an empty profile is a profile
    if (!in) {
        hooks_.stopMessage(this, QStringLiteral("The profile could not be opened: ") + path);
        return;
    }
    const std::string text = content.str();
    std::string error;
    DialogProfile profile;
    if (!readProfile(text, toLocal(path), hooks_.clock().year, profile, error)) {
        hooks_.stopMessage(this, QStringLiteral("The profile was not opened. ") + fromLocal(error));
        return;
    }
    applyProfile(profile);
}

void MainDialog::onSaveProfile() {
    const QString path =
        hooks_.pickProfileToSave(this, QStringLiteral("Save Profile"), QString());
    if (path.isEmpty()) return;
    std::string error;
    if (!writeWholeFile(toLocal(path), writeProfile(profile()), error)) {
        hooks_.stopMessage(this,
                           QStringLiteral("The profile could not be written: ") + fromLocal(error));
    }
}

ResultsWindow& MainDialog::resultsWindow() {
    // Not modal: the dialog stays usable beside it. It has the dialog as its
    // parent, so that the dialog's modality does not block it.
    if (!results_) results_ = new ResultsWindow({}, this);
    return *results_;
}

void MainDialog::onResults() {
    const QString folder = hooks_.pickFolder(
        this, QStringLiteral("Select a folder of consensus data or netCDF day files to plot."));
    if (folder.isEmpty() && !results_) return;
    ResultsWindow& window = resultsWindow();
    if (!folder.isEmpty()) window.openFiles({toLocal(folder)});
    window.show();
    window.raise();
}

void MainDialog::onBrowseOutput() {
    const QString folder = hooks_.pickFolder(
        this, QStringLiteral("Select the drive and path for ASCII consensus file output."));
    if (!folder.isEmpty()) outputPath_->setText(folder);
}

void MainDialog::onDateChanged() {
    if (running_) return;
    ClearBeamSettings(job_);
}

// The beam settings table and the job are used by the worker during a run:
// the controls that would empty the table are locked until it ends.
void MainDialog::setRunLocks(bool running) {
    inputBrowse_->setEnabled(!running);
    openProfile_->setEnabled(!running);
    for (QComboBox* list : {beginMonth_, beginDay_, beginYear_, endMonth_, endDay_, endYear_}) {
        list->setEnabled(!running);
    }
}

void MainDialog::done(int result) {
    if (running_) {
        closeResult_ = result;
        if (!closePending_) {
            closePending_ = true;
            cancel_->setEnabled(false);
            releaseWorker();
            if (activeReview_) activeReview_->abort();
        }
        return;
    }
    QDialog::done(result);
}

void MainDialog::maybeFinishClose() {
    if (!closePending_ || running_ || reviewActive_) return;
    closePending_ = false;
    QDialog::done(closeResult_);
}

// Cancels the run and frees the worker from a review request, answered or
// not. The cancel is set first, so a released worker sees it at once.
void MainDialog::releaseWorker() {
    job_.cancelEvent.set();
    {
        std::lock_guard<std::mutex> lock(reviewMutex_);
        closing_ = true;
    }
    reviewChanged_.notify_all();
}

// ---- Host calls from the worker thread ------------------------------------

// A change is stored for the dialog's thread to apply. Changes other than
// the detail text are applied at the next turn of the event loop; detail
// texts (one per dwell read) at most every kDetailRefreshMs, the latest one
// winning. Either way the worker only stores and goes on.
void MainDialog::post(const std::function<void(PendingUpdate&)>& change, bool detailOnly) {
    bool applyNow = false;
    bool applyLater = false;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        change(pending_);
        if (detailOnly) {
            applyLater = !refreshPosted_;
            refreshPosted_ = true;
        } else {
            applyNow = !updatePosted_;
            updatePosted_ = true;
        }
    }
    if (applyNow)
        QMetaObject::invokeMethod(
            this, [this] { applyPending(); }, Qt::QueuedConnection);
    if (applyLater)
        QMetaObject::invokeMethod(
            this, [this] { QTimer::singleShot(kDetailRefreshMs, this, [this] { refresh(); }); },
            Qt::QueuedConnection);
}

void MainDialog::refresh() {
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        refreshPosted_ = false;
    }
    applyPending();
}

void MainDialog::setStatusMain(const std::string& text) {
    post([&text](PendingUpdate& u) { u.main = text; });
}

void MainDialog::setStatusDetail(const std::string& text) {
    post([&text](PendingUpdate& u) { u.detail = text; }, true);
}

void MainDialog::setProcessEnabled(bool enabled) {
    post([enabled](PendingUpdate& u) { u.processEnabled = enabled; });
}

void MainDialog::runEnded() {
    // The worker's very last call: the run is over.
    post([](PendingUpdate& u) { u.runEnded = true; });
}

void MainDialog::setCancelEnabled(bool enabled) {
    post([enabled](PendingUpdate& u) { u.cancelEnabled = enabled; });
}

InputType MainDialog::inputType() { return inputType_.load(); }
OutputKind MainDialog::outputKind() { return outputKind_.load(); }
VerticalPolicy MainDialog::verticalPolicy() { return verticalPolicy_.load(); }

void MainDialog::reportError(const std::string&) {
    // A reader's error is kept by the job as the day's error; the worker shows
    // it in the detail line when the day yields no moments.
}

void MainDialog::reportOutcome(const RunOutcome& outcome) {
    post([&outcome](PendingUpdate& u) { u.outcome = outcome; });
}

void MainDialog::reviewSettings(ConsensusJob&) {
    std::unique_lock<std::mutex> lock(reviewMutex_);
    if (closing_) return;
    reviewDone_ = false;
    lock.unlock();
    QMetaObject::invokeMethod(
        this, [this] { runReview(); }, Qt::QueuedConnection);
    lock.lock();
    reviewChanged_.wait(lock, [this] { return reviewDone_ || closing_; });
}

// ---- Applying the worker's requests on the dialog's thread ----------------

void MainDialog::applyPending() {
    PendingUpdate u;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        u = std::move(pending_);
        pending_ = PendingUpdate{};
        updatePosted_ = false;
    }
    if (u.main) statusMain_->setText(fromLocal(*u.main));
    if (u.detail) statusDetail_->setText(fromLocal(*u.detail));
    if (u.processEnabled) process_->setEnabled(*u.processEnabled);
    if (u.cancelEnabled) cancel_->setEnabled(*u.cancelEnabled && !closePending_);
    if (u.outcome) outcome_ = std::move(*u.outcome);
    if (u.dayStarted) showDayStarted(*u.dayStarted);
    if (u.runEnded) endRun();
}

void MainDialog::endRun() {
    // The worker has made its last blocking-free calls; joining is immediate.
    if (worker_.joinable()) worker_.join();
    // What it posted after its last control change (the closing status
    // lines of a cancelled run) is shown now, not at the next refresh.
    applyPending();
    running_ = false;
    folderLock_.reset();
    // A cancel pressed as the run ended must not stop the next run.
    job_.cancelEvent.reset();
    job_.continueEvent.reset();
    setRunLocks(false);
    if (outcome_) dayText_->setText(runSummary(*outcome_));
    if (outcome_ && outcome_->status == RunOutcome::Status::Done) {
        dayBar_->setValue(dayBar_->maximum());
    }
    if (closePending_) {
        maybeFinishClose();
        return;
    }
    if (outcome_) {
        const RunOutcome outcome = std::move(*outcome_);
        outcome_.reset();
        showOutcome(outcome);
    }
}

void MainDialog::showDayStarted(const CalendarTime& day) {
    dayStarted_ = day;
    const int n = daysBetween(firstDay_, day);
    dayBar_->setValue(std::min(n, dayBar_->maximum()));
    dayText_->setText(QStringLiteral("Day %1 of %2").arg(n).arg(totalDays_));
}

// Which days the run went through: all of them when it finished, those
// before the day it was on when it was cancelled or stopped. A run that
// wrote no file says so rather than name days.
QString MainDialog::runSummary(const RunOutcome& outcome) const {
    const bool wroteFiles = !outcome.written.empty();
    auto span = [wroteFiles](const CalendarTime& from, const CalendarTime& to) {
        const QString days = daysBetween(from, to) == 1
                                 ? QStringLiteral("Day %1").arg(dayText(from))
                                 : QStringLiteral("Days %1 to %2").arg(dayText(from), dayText(to));
        return days + (wroteFiles ? QStringLiteral(" written")
                                  : QStringLiteral(" read; nothing written"));
    };
    if (outcome.status == RunOutcome::Status::Done) {
        return span(firstDay_, lastDay_) + QLatin1Char('.');
    }
    if (!dayStarted_) return {};
    const QString how = outcome.status == RunOutcome::Status::Cancelled
                            ? QStringLiteral("cancelled")
                            : QStringLiteral("stopped");
    if (daysBetween(firstDay_, *dayStarted_) <= 1 || !wroteFiles) {
        return QStringLiteral("No day written; %1 during %2.").arg(how, dayText(*dayStarted_));
    }
    return QStringLiteral("%1; %2 during %3.")
        .arg(span(firstDay_, dayBefore(*dayStarted_)), how, dayText(*dayStarted_));
}

// The rows of the chosen settings file given to their beams (same azimuth,
// elevation, pulse width and RASS flag; an empty field gives nothing). The
// first review of a run gives them to every beam, so that a file chosen
// since the last run counts; a later review (a day that brought new beams)
// only to the beams still lacking a value, so that what was typed in the
// list stays.
void MainDialog::applySettingsFile() {
    if (settingsRows_.empty()) return;
    if (!settingsFileApplied_) {
        reviewTable(job_.beamSettings, settingsRows_, ReviewDefaults{});
        settingsFileApplied_ = true;
        return;
    }
    for (BeamSetting* beam : job_.beamSettings) {
        for (const SettingsRow& row : settingsRows_) {
            if (beam->azimuth != row.azimuth || beam->elevation != row.elevation ||
                beam->pulseWidth != row.pulseWidth || beam->rassFlag != row.rassFlag) {
                continue;
            }
            if (row.window && !hasWindowSetting(*beam)) beam->consensusWindow = *row.window;
            if (row.threshold && !hasThresholdSetting(*beam)) {
                beam->consensusPercent = *row.threshold;
            }
        }
    }
}

// The end of a run as the user reads it: a stop box for beams the review
// left without a window or threshold (the run stopped for them), files that
// could not be written, days not processed in full, or a finished run that
// wrote nothing (with the reason); the files written, in the detail line.
void MainDialog::showOutcome(const RunOutcome& outcome) {
    QString text;
    auto addSection = [&text](const QString& heading, const std::vector<std::string>& items) {
        if (items.empty()) return;
        if (!text.isEmpty()) text += QStringLiteral("\n\n");
        text += heading;
        for (const std::string& item : items) text += QLatin1Char('\n') + fromLocal(item);
    };
    if (outcome.status == RunOutcome::Status::SettingsMissing) {
        // The run stopped after the review, before the day's consensus.
        // The worker has been joined: the day it stopped on can be read.
        const CalendarTime& day = job_.currentDay;
        addSection(QStringLiteral("These beams lack a positive consensus window or threshold:"),
                   outcome.missingBeams);
        text += QStringLiteral("\nGive them in the Consensus Settings review; nothing was "
                               "written for %1/%2/%3.")
                    .arg(day.month, 2, 10, QLatin1Char('0'))
                    .arg(day.day, 2, 10, QLatin1Char('0'))
                    .arg(day.year % 100, 2, 10, QLatin1Char('0'));
    }
    std::vector<std::string> unwritten;
    for (const UnwrittenFile& file : outcome.unwritten) {
        unwritten.push_back(file.path + ": " + file.reason);
    }
    addSection(QStringLiteral("These output files could not be written:"), unwritten);
    addSection(QStringLiteral("These days were not processed in full:"), outcome.incompleteDays);
    if (!outcome.nothingWrittenReason.empty()) {
        if (!text.isEmpty()) text += QStringLiteral("\n\n");
        text += QStringLiteral("Nothing was written. ") + fromLocal(outcome.nothingWrittenReason);
    }
    if (outcome.status == RunOutcome::Status::Done && !outcome.written.empty()) {
        statusDetail_->setText(
            QStringLiteral("%1 %2 written to %3.")
                .arg(outcome.written.size())
                .arg(outcome.written.size() == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                .arg(fromLocal(job_.params.outputPath)));
    }
    if (!outcome.written.empty()) {
        ResultsWindow& window = resultsWindow();
        window.showFiles(outcome.written);
        window.show();
        window.raise();
    }
    if (!text.isEmpty()) hooks_.stopMessage(this, text);
}

void MainDialog::runReview() {
    {
        std::lock_guard<std::mutex> lock(reviewMutex_);
        if (closing_) return;  // the worker has been released already
    }
    reviewActive_ = true;
    // The worker waits for the review: the table is this thread's until it
    // is released. Beams the settings file covers take its values and are
    // not asked for; the others are.
    applySettingsFile();
    {
        SettingsFileHooks files;
        files.loadFolder = inputPath_->text();
        ConsensusSettingsDialog dialog(job_.beamSettings, hooks_.stopMessage, this, files);
        activeReview_ = &dialog;
        dialog.exec();
        activeReview_ = nullptr;
    }
    reviewActive_ = false;
    {
        std::lock_guard<std::mutex> lock(reviewMutex_);
        // After a close the worker only has to see its cancel.
        if (!closing_) job_.continueEvent.set();
        reviewDone_ = true;
    }
    reviewChanged_.notify_all();
    maybeFinishClose();
}

}  // namespace qv
