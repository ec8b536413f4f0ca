#include "ui/results_window.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <tuple>

#include "core/time.h"
#include "plot/plot.h"

namespace qv {

// The plot, scaled into the widget with its proportions kept and centred.
class ResultsPlotView : public QWidget {
public:
    explicit ResultsPlotView(QWidget* parent = nullptr) : QWidget(parent) {
        setObjectName(QStringLiteral("plotView"));
        setMinimumSize(320, 200);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

    void setImage(const QImage& image, const QString& note) {
        image_ = image;
        note_ = note;
        update();
    }

    std::function<void()> resized;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window));
        if (image_.isNull()) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, note_);
            return;
        }
        QSize size = image_.size();
        size.scale(this->size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2),
                           size);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image_);
    }

    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (resized) resized();
    }

private:
    QImage image_;
    QString note_;
};

namespace {

namespace fs = std::filesystem;

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toLocal(const QString& text) {
    const QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string folderOfFile(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

QImage toImage(const plot::PlotImage& plotted) {
    // The plot's pixels are cairo's ARGB32: 0xAARRGGBB words, premultiplied.
    QImage image(plotted.width, plotted.height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    const std::size_t rowBytes = static_cast<std::size_t>(plotted.width) * 4;
    for (int y = 0; y < plotted.height; ++y) {
        std::memcpy(image.scanLine(y),
                    plotted.pixels.data() +
                        static_cast<std::size_t>(y) * static_cast<std::size_t>(plotted.width),
                    rowBytes);
    }
    return image;
}

// The list is as wide as its longest text, within these bounds.
constexpr int kListMinWidth = 220;
constexpr int kListMaxWidth = 420;

// How many lines of errors the status line shows; the rest are counted.
constexpr int kShownErrors = 3;
// A run's files are read at once up to this many; more are read in slices
// (ResultsHooks::readSliceMilliseconds) between the program's events.
constexpr std::size_t kReadAtOnce = 8;

QString savePlotDialog(QWidget* parent, const QString& suggestedPath) {
    const QString png = QStringLiteral("PNG image (*.png)");
    const QString svg = QStringLiteral("SVG drawing (*.svg)");
    const QString pdf = QStringLiteral("PDF document (*.pdf)");
    const QString suffix = QFileInfo(suggestedPath).suffix().toLower();
    QString selected = suffix == QLatin1String("svg")   ? svg
                       : suffix == QLatin1String("pdf") ? pdf
                                                        : png;
    QString path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Save Plot"), suggestedPath,
        png + QStringLiteral(";;") + svg + QStringLiteral(";;") + pdf, &selected);
    // A name typed without an extension takes the one of the chosen type.
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
        path += selected == svg   ? QStringLiteral(".svg")
                : selected == pdf ? QStringLiteral(".pdf")
                                  : QStringLiteral(".png");
    }
    return path;
}

QStringList openFilesDialog(QWidget* parent, const QString& folder) {
    return QFileDialog::getOpenFileNames(
        parent, QStringLiteral("Open Consensus Files"), folder,
        QStringLiteral("Consensus data and netCDF day files (*.w* *.t* *.nc);;All files (*)"));
}

// "QVS 2004-06-15": a day as the list names it.
QString dayText(const DayFileSet& set) {
    return QString::fromLatin1(set.station.data(), static_cast<qsizetype>(set.station.size())) +
           QLatin1Char(' ') + QString::fromStdString(isoDate(set.date));
}

// The pulse-width modes of a day's wind files, ascending, each once (a
// mode's consensus file and netCDF file are the same data).
std::vector<int> windModes(const DayFileSet& set) {
    std::vector<int> modes;
    for (const DayFileEntry& file : set.files) {
        if (file.kind == OutputKind::Winds) modes.push_back(file.digit);
    }
    std::sort(modes.begin(), modes.end());
    modes.erase(std::unique(modes.begin(), modes.end()), modes.end());
    return modes;
}

// What a day's temperature plot holds: 1 Tv, 2 TvC, 3 both, 0 nothing. The
// day's consensus files where it has any (the load then passes a netCDF day
// over), else its netCDF day: both.
int temperatureHeld(const DayFileSet& set) {
    int consensus = 0;
    bool netcdf = false;
    for (const DayFileEntry& file : set.files) {
        if (file.kind != OutputKind::Temperature) continue;
        if (file.digit == 0) {
            netcdf = true;
        } else if (file.digit == 1 || file.digit == 2) {
            consensus |= file.digit;
        }
    }
    return consensus != 0 ? consensus : netcdf ? 3 : 0;
}

QString joinedErrors(const std::vector<std::string>& errors) {
    QStringList lines;
    for (const std::string& error : errors) lines << fromLocal(error);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

ResultsWindow::ResultsWindow(ResultsHooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window), hooks_(std::move(hooks)) {
    if (!hooks_.pickSavePath) hooks_.pickSavePath = savePlotDialog;
    if (!hooks_.pickOpenFiles) hooks_.pickOpenFiles = openFilesDialog;
    setObjectName(QStringLiteral("resultsWindow"));
    setWindowTitle(QStringLiteral("Results"));
    setWindowModality(Qt::NonModal);

    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("plotList"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setFixedWidth(kListMinWidth);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int) {
        if (reading()) userChosePlot_ = true;
        showCurrent();
    });

    view_ = new ResultsPlotView;
    view_->setImage(QImage(), QStringLiteral("No plots yet: Open... reads consensus data files."));
    resizeTimer_.setSingleShot(true);
    resizeTimer_.setInterval(120);
    connect(&resizeTimer_, &QTimer::timeout, this, [this] { renderCurrent(); });
    view_->resized = [this] { resizeTimer_.start(); };

    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("statusLabel"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    open_ = new QPushButton(QStringLiteral("Open..."));
    open_->setObjectName(QStringLiteral("openButton"));
    connect(open_, &QPushButton::clicked, this, [this] { onOpen(); });
    save_ = new QPushButton(QStringLiteral("Save..."));
    save_->setObjectName(QStringLiteral("saveButton"));
    save_->setEnabled(false);
    connect(save_, &QPushButton::clicked, this, [this] { onSave(); });

    auto* top = new QHBoxLayout;
    top->addWidget(list_);
    top->addWidget(view_, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(open_);
    bottom->addWidget(save_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);

    readTimer_.setInterval(0);
    connect(&readTimer_, &QTimer::timeout, this, [this] { readSlice(); });

    resize(1120, 640);
}

ResultsWindow::~ResultsWindow() = default;

void ResultsWindow::showFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        const DayFileKind kind = dayFileKind(path);
        if (kind == DayFileKind::Winds || kind == DayFileKind::Temperature) files.push_back(path);
    }
    if (!reading() && files.size() <= kReadAtOnce) {
        addFiles(files, false);
        return;
    }
    if (!reading()) {
        pendingTally_ = ReadTally{};
        pendingTotal_ = 0;
        userChosePlot_ = false;
    }
    pending_.insert(pending_.end(), files.begin(), files.end());
    pendingTotal_ += static_cast<int>(files.size());
    readSlice();
}

void ResultsWindow::openFiles(const std::vector<std::string>& paths) {
    // Files read later replace the files of a day read earlier: a run's
    // files still pending go first.
    while (reading()) readSlice();
    std::vector<std::string> errors;
    const std::vector<std::string> files = dayFilesIn(paths, errors);
    QStringList folderErrors;
    for (const std::string& error : errors) folderErrors << fromLocal(error);
    addFiles(files, true, folderErrors);
}

void ResultsWindow::readSlice() {
    QElapsedTimer clock;
    clock.start();
    const bool firstSlice = pending_.size() == static_cast<std::size_t>(pendingTotal_);
    for (int inSlice = 0;
         !pending_.empty() && (inSlice == 0 || clock.elapsed() < hooks_.readSliceMilliseconds);
         ++inSlice) {
        const std::string path = std::move(pending_.front());
        pending_.pop_front();
        indexFile(path, pendingTally_);
    }
    if (pending_.empty()) {
        readTimer_.stop();
        if (userChosePlot_) pendingTally_.firstSet = false;  // keep the user's plot
        finishReading(pendingTally_);
        return;
    }
    // The days of the first slice are listed (and the first of them drawn)
    // at once; the list is made again, and the plot drawn again, only when
    // every file is read.
    setStatus(QStringLiteral("Reading files: %1 of %2...")
                  .arg(pendingTotal_ - static_cast<int>(pending_.size()))
                  .arg(pendingTotal_));
    if (firstSlice && pendingTally_.firstSet) rebuildList(&pendingTally_.first);
    readTimer_.start();
}

void ResultsWindow::addFiles(const std::vector<std::string>& paths, bool netcdfToo,
                             const QStringList& earlierErrors) {
    ReadTally tally;
    tally.netcdfToo = netcdfToo;
    tally.errors = earlierErrors;
    for (const std::string& path : paths) indexFile(path, tally);
    finishReading(tally);
}

void ResultsWindow::indexFile(const std::string& path, ReadTally& tally) {
    std::string error;
    if (!addToIndex(index_, path, /*replace=*/true, error)) {
        tally.errors << fromLocal(error);
        return;
    }
    ++tally.read;
    lastFolder_ = folderOfFile(path);
    // The day held may be the one this file belongs to.
    loaded_ = LoadedDay{};
    // The file is the last of its day's set.
    for (const DayFileSet& set : index_.days) {
        if (set.files.empty() || set.files.back().path != path) continue;
        Entry day;
        day.station = set.station;
        day.dayNumber = set.dayNumber;
        day.winds = set.files.back().kind == OutputKind::Winds;
        // The plot shown: the earliest day read, winds before temperature.
        const Entry& first = tally.first;
        if (!tally.firstSet ||
            std::tie(day.station, day.dayNumber) < std::tie(first.station, first.dayNumber) ||
            (day.station == first.station && day.dayNumber == first.dayNumber && day.winds &&
             !first.winds)) {
            tally.first = day;
            tally.firstSet = true;
        }
        break;
    }
}

void ResultsWindow::finishReading(ReadTally& tally) {
    QString text;
    if (tally.read == 0 && tally.errors.isEmpty()) {
        text = tally.netcdfToo ? QStringLiteral("No files were read.")
                               : QStringLiteral("No consensus data files among the files written.");
    } else {
        text = QStringLiteral("%1 %2 read.")
                   .arg(tally.read)
                   .arg(tally.read == 1 ? QStringLiteral("file") : QStringLiteral("files"));
    }
    for (int i = 0; i < tally.errors.size() && i < kShownErrors; ++i) {
        text += QLatin1Char('\n') + tally.errors[i];
    }
    if (tally.errors.size() > kShownErrors) {
        text += QStringLiteral("\n... and %1 more files not read.")
                    .arg(tally.errors.size() - kShownErrors);
    }
    status_->setToolTip(tally.errors.join(QLatin1Char('\n')));
    setStatus(text);
    imageEntry_ = -1;  // the day's files may have changed under the image
    rebuildList(tally.firstSet ? &tally.first : nullptr);
}

void ResultsWindow::rebuildList(const Entry* select) {
    // Keep the plot shown unless another is asked for.
    Entry keep;
    bool keepSet = false;
    if (select) {
        keep = *select;
        keepSet = true;
    } else if (currentPlot() >= 0) {
        keep = entries_[static_cast<std::size_t>(currentPlot())];
        keepSet = true;
    }

    // Station and day order: the winds of a day, then its temperature.
    entries_.clear();
    QStringList texts;
    for (const DayFileSet& set : index_.days) {
        const QString day = dayText(set);
        Entry entry;
        entry.station = set.station;
        entry.dayNumber = set.dayNumber;
        const std::vector<int> modes = windModes(set);
        if (!modes.empty()) {
            QStringList numbers;
            for (int mode : modes) numbers << QString::number(mode);
            entries_.push_back(entry);
            texts << day + (modes.size() == 1
                                ? QStringLiteral("  Winds, mode %1").arg(numbers.front())
                                : QStringLiteral("  Winds, modes ") +
                                      numbers.join(QStringLiteral(", ")));
            if (modes.size() > 1) {
                for (int mode : modes) {
                    entry.mode = mode;
                    entries_.push_back(entry);
                    texts << day + QStringLiteral("  Winds, mode %1").arg(mode);
                }
                entry.mode = -1;
            }
        }
        const int held = temperatureHeld(set);
        if (held != 0) {
            entry.winds = false;
            entries_.push_back(entry);
            texts << day + (held == 1   ? QStringLiteral("  Temperature, Tv")
                            : held == 2 ? QStringLiteral("  Temperature, TvC")
                                        : QStringLiteral("  Temperature, Tv and TvC"));
        }
    }

    int row = entries_.empty() ? -1 : 0;
    if (keepSet) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].sameDayAs(keep) && entries_[i].mode == keep.mode) {
                row = static_cast<int>(i);
                break;
            }
        }
    }
    {
        const QSignalBlocker blocker(list_);
        list_->clear();
        list_->addItems(texts);
        list_->setCurrentRow(row);
    }
    int widest = 0;
    const QFontMetrics metrics(list_->font());
    for (const QString& text : texts) widest = std::max(widest, metrics.horizontalAdvance(text));
    list_->setFixedWidth(std::clamp(
        widest + 2 * list_->frameWidth() + list_->verticalScrollBar()->sizeHint().width() + 12,
        kListMinWidth, kListMaxWidth));
    // The view takes its new size before the plot is drawn for it.
    if (layout()) layout()->activate();
    imageEntry_ = -1;
    showCurrent();
}

QStringList ResultsWindow::plotNames() const {
    QStringList names;
    for (int i = 0; i < list_->count(); ++i) names << list_->item(i)->text();
    return names;
}

int ResultsWindow::currentPlot() const {
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(entries_.size()) ? row : -1;
}

void ResultsWindow::selectPlot(int index) {
    if (index < 0 || index >= list_->count()) return;
    list_->setCurrentRow(index);
}

QString ResultsWindow::statusText() const { return status_->text(); }

QImage ResultsWindow::shownImage() const {
    return imageEntry_ >= 0 && imageEntry_ == currentPlot() ? image_ : QImage();
}

void ResultsWindow::setStatus(const QString& text) {
    message_ = text;
    status_->setText(plotProblem_.isEmpty() ? message_
                     : message_.isEmpty()   ? plotProblem_
                                            : message_ + QLatin1Char('\n') + plotProblem_);
}

void ResultsWindow::setPlotProblem(const QString& text) {
    plotProblem_ = text;
    setStatus(message_);
}

void ResultsWindow::showCurrent() {
    save_->setEnabled(currentPlot() >= 0);
    if (currentPlot() != imageEntry_) renderCurrent();
}

const DayFileSet* ResultsWindow::setOf(const Entry& entry) const {
    for (const DayFileSet& set : index_.days) {
        if (set.station == entry.station && set.dayNumber == entry.dayNumber) return &set;
    }
    return nullptr;
}

bool ResultsWindow::loadDay(const Entry& entry) {
    if (loaded_.held && loaded_.day.sameDayAs(entry)) return loaded_.ok;
    // The day held goes before the next is read.
    loaded_ = LoadedDay{};
    loaded_.held = true;
    loaded_.day = entry;
    loaded_.day.mode = -1;
    std::vector<std::string> errors;
    const DayFileSet* set = setOf(entry);
    if (set && entry.winds) {
        loaded_.ok = loadWindDays(*set, loaded_.winds, errors);
    } else if (set) {
        loaded_.ok = loadTemperatureDay(*set, loaded_.temperature, errors);
    }
    if (!loaded_.ok && errors.empty()) errors.push_back("no file of the day could be read");
    loaded_.problem = joinedErrors(errors);
    return loaded_.ok;
}

const std::vector<WindDay>& ResultsWindow::plottedWinds(const Entry& entry,
                                                        std::vector<WindDay>& one) const {
    if (entry.mode < 0) return loaded_.winds;
    for (const WindDay& d : loaded_.winds) {
        if (d.header.variant == entry.mode) one.push_back(d);
    }
    return one;
}

void ResultsWindow::renderCurrent() {
    const int index = currentPlot();
    if (index < 0) {
        image_ = QImage();
        imageEntry_ = -1;
        loaded_ = LoadedDay{};
        setPlotProblem(QString());
        view_->setImage(image_,
                        entries_.empty()
                            ? QStringLiteral("No plots yet: Open... reads consensus data files.")
                            : QString());
        return;
    }
    plot::PlotOptions options;
    options.width = std::clamp(view_->width(), plot::kMinPlotWidth, plot::kMaxPlotSide);
    options.height = std::clamp(view_->height(), plot::kMinPlotHeight, plot::kMaxPlotSide);
    if (index == imageEntry_ && image_.width() == options.width &&
        image_.height() == options.height) {
        return;
    }
    const Entry& entry = entries_[static_cast<std::size_t>(index)];
    imageEntry_ = index;
    image_ = QImage();
    QString problem;
    if (loadDay(entry)) {
        plot::PlotImage plotted;
        std::string error;
        bool drawn = false;
        if (entry.winds) {
            std::vector<WindDay> one;
            const std::vector<WindDay>& winds = plottedWinds(entry, one);
            drawn = !winds.empty() && plot::renderWindImage(winds, plotted, error, options);
        } else {
            drawn = plot::renderTemperatureImage({loaded_.temperature}, plotted, error, options);
        }
        if (drawn) {
            image_ = toImage(plotted);
            if (!loaded_.problem.isEmpty()) {
                problem = QStringLiteral("Left out of the plot: ") + loaded_.problem;
            }
        } else {
            problem = QStringLiteral("The plot could not be drawn: ") +
                      (error.empty() ? loaded_.problem : fromLocal(error));
        }
    } else {
        problem = QStringLiteral("The plot could not be drawn: ") + loaded_.problem;
    }
    setPlotProblem(problem);
    view_->setImage(image_, image_.isNull() ? problem : QString());
}

bool ResultsWindow::savePlot(const QString& chosen) {
    const int index = currentPlot();
    if (index < 0 || chosen.isEmpty()) return false;
    QString path = chosen;
    QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix.isEmpty()) {
        path += QStringLiteral(".png");
        suffix = QStringLiteral("png");
    }
    plot::PlotFormat format = plot::PlotFormat::Png;
    if (!plot::plotFormatFromText(suffix.toStdString(), format)) {
        setStatus(QStringLiteral("Plots are saved as .png, .svg or .pdf files, not as ") +
                  QFileInfo(path).fileName() + QLatin1Char('.'));
        return false;
    }
    const Entry& entry = entries_[static_cast<std::size_t>(index)];
    if (!loadDay(entry)) {
        setStatus(QStringLiteral("The plot was not saved: ") + loaded_.problem);
        return false;
    }
    const std::string target = toLocal(path);
    std::string error;
    bool ok = false;
    if (entry.winds) {
        std::vector<WindDay> one;
        const std::vector<WindDay>& winds = plottedWinds(entry, one);
        ok = !winds.empty() && plot::renderWindPlot(winds, format, target, error);
        if (winds.empty()) error = "mode " + std::to_string(entry.mode) + " was not read";
    } else {
        ok = plot::renderTemperaturePlot({loaded_.temperature}, format, target, error);
    }
    if (!ok) {
        setStatus(QStringLiteral("The plot was not saved: ") + fromLocal(error));
        return false;
    }
    setStatus(QStringLiteral("Saved ") + path);
    return true;
}

void ResultsWindow::onSave() {
    const int index = currentPlot();
    if (index < 0) return;
    const Entry& entry = entries_[static_cast<std::size_t>(index)];
    const DayFileSet* set = setOf(entry);
    if (!set) return;
    std::string name =
        plot::plotFileName(set->station, set->date, set->date, entry.winds, plot::PlotFormat::Png);
    if (entry.winds && entry.mode >= 0) {
        name.insert(name.size() - 4, "_m" + std::to_string(entry.mode));
    }
    // Beside the day's file read last.
    const std::string suggested =
        set->files.empty() ? name
                           : (fs::path(folderOfFile(set->files.back().path)) / name).string();
    const QString path = hooks_.pickSavePath(this, fromLocal(suggested));
    if (path.isEmpty()) return;
    savePlot(path);
}

void ResultsWindow::onOpen() {
    const QStringList chosen = hooks_.pickOpenFiles(this, fromLocal(lastFolder_));
    if (chosen.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& path : chosen) paths.push_back(toLocal(path));
    openFiles(paths);
}

}  // namespace qv
