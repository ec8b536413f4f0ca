// The main dialog's events, the run it starts and the host calls it serves.
#include "ui/main_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "core/worker.h"
#include "output/folder_lock.h"
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

}  // namespace

MainDialog::MainDialog(MainDialogHooks hooks, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)) {
    if (!hooks_.clock) hooks_.clock = systemUtcNow;
    hooks_.stopMessage = stopMessageOrDefault(std::move(hooks_.stopMessage));
    if (!hooks_.pickFolder) hooks_.pickFolder = chooseFolder;

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
    connect(process_, &QPushButton::clicked, this, [this] { onProcess(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { onCancel(); });
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
    // One run at a time writes into a folder: two would interleave periods.
    std::string lockMessage;
    if (OutputFolderLock::acquire(v.params.outputPath, folderLock_, lockMessage) ==
        LockResult::InUse) {
        hooks_.stopMessage(this, fromLocal(lockMessage));
        return;
    }
    job_.params = v.params;
    job_.steps = hooks_.steps ? hooks_.steps(v.outputs) : ProcessingSteps{};
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
        // Not modal: the dialog stays usable beside it. It has the dialog as
        // its parent, so that the dialog's modality does not block it.
        if (!results_) results_ = new ResultsWindow({}, this);
        results_->showFiles(outcome.written);
        results_->show();
        results_->raise();
    }
    if (!text.isEmpty()) hooks_.stopMessage(this, text);
}

void MainDialog::runReview() {
    {
        std::lock_guard<std::mutex> lock(reviewMutex_);
        if (closing_) return;  // the worker has been released already
    }
    reviewActive_ = true;
    {
        ConsensusSettingsDialog dialog(job_.beamSettings, hooks_.stopMessage, this);
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
