// "Quorvane": the program's one window. It collects and validates the run's
// parameters, starts the processing worker, shows the two status lines,
// serves the worker's settings review, and lets the user cancel or close at
// any moment.
//
// The dialog is the worker's host. Every host call comes from the worker
// thread and is marshalled onto the dialog's thread:
// - status texts, button states and the list of unwritten files go into one
//   mutex-protected pending update; at most one queued call applies it, so
//   updates coalesce and the worker never waits for the dialog; the detail
//   text of every dwell read is applied at most every kDetailRefreshMs, so
//   the dialog's thread does not redraw the line thousands of times a second;
// - the radio choices are mirrored into atomics by the buttons' signals, so
//   the worker reads them live without touching a widget;
// - the settings review is the one blocking request: the worker posts it and
//   waits on a condition that the review's end or a close releases, so that
//   closing can never deadlock against a worker waiting for the dialog.
#pragma once

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/run_outputs.h"
#include "core/host.h"
#include "core/job.h"
#include "core/settings_csv.h"
#include "ui/main_validation.h"
#include "ui/profile.h"
#include "ui/stop_message.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;

namespace qv {

class ConsensusSettingsDialog;
class OutputFolderLock;
class ResultsWindow;

// Returns the chosen folder, or an empty text when none was chosen.
using FolderPicker = std::function<QString(QWidget* parent, const QString& title)>;
// Returns the file chosen, or an empty text; the chooser opens in `folder`.
using FilePicker =
    std::function<QString(QWidget* parent, const QString& title, const QString& folder)>;

// What the dialog takes from outside; every empty member has a default.
struct MainDialogHooks {
    UtcClock clock;                          // today (UTC) for the date lists and the run
    StopMessage stopMessage;                 // the stop-icon message box
    FolderPicker pickFolder;                 // the toolkit's folder chooser
    FilePicker pickSettingsFile;             // the file choosers: settings file,
    FilePicker pickProfileToOpen;            // profile to open and profile to save
    FilePicker pickProfileToSave;
    // The readers, consensus kinds and outputs of a run; the program's main
    // passes the standard ones in (a dialog without them processes nothing).
    std::function<ProcessingSteps(const RunOutputs&)> steps;
};

class MainDialog : public QDialog, public ProcessingHost {
public:
    explicit MainDialog(MainDialogHooks hooks = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    // Exit, the close box and Escape end here. During a run the close is
    // deferred: the run is cancelled (an open review is closed without
    // storing more), and the dialog closes when the worker has ended.
    void done(int result) override;

    bool runActive() const { return running_; }

    // The dialog's fields as a profile, and a profile put into them (keys
    // the profile leaves out keep their fields). Not during a run.
    DialogProfile profile() const;
    void applyProfile(const DialogProfile& profile);
    ConsensusJob& job() { return job_; }

    // ProcessingHost, called from the worker thread.
    void setStatusMain(const std::string& text) override;
    void setStatusDetail(const std::string& text) override;
    void setProcessEnabled(bool enabled) override;
    void runEnded() override;
    void setCancelEnabled(bool enabled) override;
    InputType inputType() override;
    OutputKind outputKind() override;
    VerticalPolicy verticalPolicy() override;
    void reviewSettings(ConsensusJob& job) override;
    void reportError(const std::string& text) override;
    void reportOutcome(const RunOutcome& outcome) override;

private:
    struct PendingUpdate {
        std::optional<std::string> main;
        std::optional<std::string> detail;
        std::optional<bool> processEnabled;
        std::optional<bool> cancelEnabled;
        std::optional<RunOutcome> outcome;
        std::optional<CalendarTime> dayStarted;  // the day a reader began
        bool runEnded = false;
    };

    void buildControls();
    void setDefaults();
    DialogFields readFields() const;
    void onProcess();
    void onCancel();
    void onBrowseInput();
    void onBrowseOutput();
    void onDateChanged();
    void onBrowseSettings();
    void onOpenProfile();
    void onSaveProfile();
    // Results...: the plots of a folder of day files, without a run.
    void onResults();
    // The Results window, made at its first use; not modal.
    ResultsWindow& resultsWindow();
    bool loadSettingsFile(const QString& path);
    void showDayStarted(const CalendarTime& day);
    QString runSummary(const RunOutcome& outcome) const;
    void applySettingsFile();
    void updateRadioMirrors();
    void setRunLocks(bool running);

    void post(const std::function<void(PendingUpdate&)>& change, bool detailOnly = false);
    void applyPending();
    void refresh();
    void endRun();
    void showOutcome(const RunOutcome& outcome);
    void runReview();
    void releaseWorker();
    void maybeFinishClose();

    MainDialogHooks hooks_;
    ConsensusJob job_;
    // The output folder's lock, held while a run writes into it.
    std::unique_ptr<OutputFolderLock> folderLock_;
    // The plots of the files written, shown after each run that wrote some,
    // or of a folder chosen with Results....
    QPointer<ResultsWindow> results_;
    std::thread worker_;
    bool running_ = false;

    // Deferred close (dialog thread only).
    bool closePending_ = false;
    int closeResult_ = QDialog::Rejected;
    bool reviewActive_ = false;
    QPointer<ConsensusSettingsDialog> activeReview_;
    std::optional<RunOutcome> outcome_;

    // The rows of the settings file chosen in the dialog, read at Process:
    // the review gives them to their beams before asking for the others.
    std::vector<SettingsRow> settingsRows_;
    bool settingsFileApplied_ = false;  // by a review of this run

    // The days of the run as its readers begin them (dialog thread only).
    CalendarTime firstDay_;
    CalendarTime lastDay_;
    int totalDays_ = 0;
    std::optional<CalendarTime> dayStarted_;

    // Pending update from the worker.
    static constexpr int kDetailRefreshMs = 50;
    std::mutex pendingMutex_;
    PendingUpdate pending_;
    bool updatePosted_ = false;   // an apply is queued
    bool refreshPosted_ = false;  // a refresh for a detail text is queued or timed

    // The blocking review request.
    std::mutex reviewMutex_;
    std::condition_variable reviewChanged_;
    bool reviewDone_ = false;
    bool closing_ = false;

    // The radio choices as the worker reads them.
    std::atomic<InputType> inputType_{InputType::Binary};
    std::atomic<OutputKind> outputKind_{OutputKind::Winds};
    std::atomic<VerticalPolicy> verticalPolicy_{VerticalPolicy::WhenAvailable};

    QComboBox* beginMonth_ = nullptr;
    QComboBox* beginDay_ = nullptr;
    QComboBox* beginYear_ = nullptr;
    QComboBox* endMonth_ = nullptr;
    QComboBox* endDay_ = nullptr;
    QComboBox* endYear_ = nullptr;
    QLineEdit* inputPath_ = nullptr;
    QPushButton* inputBrowse_ = nullptr;
    QLineEdit* outputPath_ = nullptr;
    QPushButton* outputBrowse_ = nullptr;
    QRadioButton* binary_ = nullptr;
    QRadioButton* ascii_ = nullptr;
    QLineEdit* siteId_ = nullptr;
    QComboBox* dataSource_ = nullptr;
    QRadioButton* verticalNotUsed_ = nullptr;
    QRadioButton* verticalWhenAvailable_ = nullptr;
    QRadioButton* verticalRequired_ = nullptr;
    QLineEdit* averaging_ = nullptr;
    QRadioButton* winds_ = nullptr;
    QRadioButton* temperature_ = nullptr;
    QCheckBox* netcdf_ = nullptr;
    QCheckBox* bufr_ = nullptr;
    QCheckBox* continuity_ = nullptr;
    QCheckBox* correctedWinds_ = nullptr;
    QLabel* statusMain_ = nullptr;
    QLabel* statusDetail_ = nullptr;
    QScrollArea* options_ = nullptr;
    QProgressBar* dayBar_ = nullptr;
    QLabel* dayText_ = nullptr;
    QLineEdit* settingsPath_ = nullptr;
    QPushButton* settingsBrowse_ = nullptr;
    QPushButton* openProfile_ = nullptr;
    QPushButton* saveProfile_ = nullptr;
    QPushButton* process_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* showResults_ = nullptr;
    QPushButton* exit_ = nullptr;
};

}  // namespace qv
