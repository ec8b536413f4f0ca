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

#include "output/netcdf_file.h"
#include "plot/axes.h"
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

// Consensus data file names end in ".w" or ".t", a mode digit and a letter
// (".w1a", ".t2a").
bool isConsensusFileName(const std::string& path) {
    const std::string extension = fs::path(path).extension().string();
    return extension.size() >= 3 && (extension[1] == 'w' || extension[1] == 't') &&
           extension[2] >= '0' && extension[2] <= '9';
}

bool isNetcdfFileName(const std::string& path) {
    return fs::path(path).extension().string() == ".nc";
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

bool readDayFile(const std::string& path, ConsensusFileContents& contents, std::string& error) {
    if (isNetcdfFileName(path)) return readNetcdfDay(path, contents, error);
    ConsensusFileRead read = readConsensusFile(path);
    if (!read.ok) {
        error = read.error;
        return false;
    }
    contents = std::move(read.contents);
    return true;
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
        if (isConsensusFileName(path)) files.push_back(path);
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
    // Files read later replace the days of files read earlier: a run's
    // files still pending go first.
    while (reading()) readSlice();
    addFiles(paths, true);
}

void ResultsWindow::readSlice() {
    QElapsedTimer clock;
    clock.start();
    const bool firstSlice = pending_.size() == static_cast<std::size_t>(pendingTotal_);
    for (int inSlice = 0; !pending_.empty() && (inSlice == 0 || clock.elapsed() < hooks_.readSliceMilliseconds);
         ++inSlice) {
        const std::string path = std::move(pending_.front());
        pending_.pop_front();
        readFile(path, pendingTally_);
    }
    if (pending_.empty()) {
        readTimer_.stop();
        if (userChosePlot_) pendingTally_.firstKeySet = false;  // keep the user's plot
        finishReading(pendingTally_);
        return;
    }
    // The days of the first slice are listed (and the first of them drawn)
    // at once; the list is made again, and the plot drawn again, only when
    // every file is read.
    if (firstSlice && pendingTally_.firstKeySet) {
        Entry select;
        select.key = pendingTally_.firstKey;
        select.winds = pendingTally_.firstWinds;
        select.mode = -1;
        rebuildList(&select);
    }
    setStatus(QStringLiteral("Reading files: %1 of %2...")
                  .arg(pendingTotal_ - static_cast<int>(pending_.size()))
                  .arg(pendingTotal_));
    readTimer_.start();
}

bool ResultsWindow::addContents(const ConsensusFileContents& contents, plot::DayKey& key,
                                std::string& error) {
    // The day's key and a check of the contents, on a store of its own.
    plot::CollectedDays alone;
    if (!plot::addDayContents(contents, alone, error)) return false;
    if (!alone.winds.empty()) {
        key = alone.winds.begin()->first;
        // A file of a mode already held replaces it.
        auto found = days_.winds.find(key);
        if (found != days_.winds.end()) {
            std::vector<WindDay>& modes = found->second;
            const int mode = contents.winds.header.variant;
            modes.erase(
                std::remove_if(modes.begin(), modes.end(),
                               [mode](const WindDay& d) { return d.header.variant == mode; }),
                modes.end());
        }
    } else {
        key = alone.temperature.begin()->first;
        auto found = days_.temperature.find(key);
        if (found != days_.temperature.end()) {
            // The header's digit of a collected temperature day says what it
            // holds: 1 Tv, 2 TvC, 3 both.
            TemperatureDay& day = found->second;
            const int adding = contents.temperatureDigit == 0 ? 3 : contents.temperatureDigit;
            const int kept = day.header.variant & ~adding;
            if (kept == 0) {
                days_.temperature.erase(found);
            } else if (kept != day.header.variant) {
                // Only the other temperature stays; the one read again is
                // taken from the new file alone.
                for (TemperaturePeriod& period : day.periods) {
                    for (TemperatureGate& gate : period.gates) {
                        if (adding & 1) gate.tv = kMissingCode;
                        if (adding & 2) gate.tvc = kMissingCode;
                    }
                }
                day.header.variant = static_cast<std::int16_t>(kept);
            }
        }
    }
    return plot::addDayContents(contents, days_, error);
}

void ResultsWindow::addFiles(const std::vector<std::string>& paths, bool netcdfToo) {
    ReadTally tally;
    tally.netcdfToo = netcdfToo;
    for (const std::string& path : paths) {
        if (netcdfToo || isConsensusFileName(path)) readFile(path, tally);
    }
    finishReading(tally);
}

void ResultsWindow::readFile(const std::string& path, ReadTally& tally) {
    ConsensusFileContents contents;
    std::string error;
    if (!readDayFile(path, contents, error)) {
        tally.errors << fromLocal(error);
        return;
    }
    plot::DayKey key;
    if (!addContents(contents, key, error)) {
        tally.errors << fromLocal(path + ": " + error);
        return;
    }
    ++tally.read;
    folderOf_[key] = folderOfFile(path);
    lastFolder_ = folderOfFile(path);
    const bool winds = contents.kind == OutputKind::Winds;
    // The plot shown: the earliest day read, winds before temperature.
    if (!tally.firstKeySet || key < tally.firstKey ||
        (!(tally.firstKey < key) && winds && !tally.firstWinds)) {
        tally.firstKey = key;
        tally.firstWinds = winds;
        tally.firstKeySet = true;
    }
}

void ResultsWindow::finishReading(ReadTally& tally) {
    Entry select;
    select.key = tally.firstKey;
    select.winds = tally.firstWinds;
    select.mode = -1;
    imageEntry_ = -1;  // the days may have changed under the image
    rebuildList(tally.firstKeySet ? &select : nullptr);

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

    entries_.clear();
    QStringList texts;
    auto dayText = [](const plot::DayKey& key, const DayHeader& header) {
        return QString::fromStdString(key.station) + QLatin1Char(' ') +
               QString::fromStdString(plot::isoDate(header.day));
    };
    // Station and day order: the winds of a day, then its temperature.
    auto windsAt = days_.winds.begin();
    auto temperatureAt = days_.temperature.begin();
    while (windsAt != days_.winds.end() || temperatureAt != days_.temperature.end()) {
        const bool windsNext =
            windsAt != days_.winds.end() &&
            (temperatureAt == days_.temperature.end() || !(temperatureAt->first < windsAt->first));
        if (windsNext) {
            const std::vector<WindDay>& modes = windsAt->second;
            QStringList numbers;
            for (const WindDay& d : modes) numbers << QString::number(d.header.variant);
            if (!modes.empty()) {
                entries_.push_back({windsAt->first, true, -1});
                texts << dayText(windsAt->first, modes.front().header) +
                             (modes.size() == 1
                                  ? QStringLiteral("  Winds, mode %1").arg(numbers.front())
                                  : QStringLiteral("  Winds, modes ") +
                                        numbers.join(QStringLiteral(", ")));
            }
            if (modes.size() > 1) {
                for (const WindDay& d : modes) {
                    entries_.push_back({windsAt->first, true, d.header.variant});
                    texts << dayText(windsAt->first, d.header) +
                                 QStringLiteral("  Winds, mode %1").arg(d.header.variant);
                }
            }
            ++windsAt;
        } else {
            const int held = temperatureAt->second.header.variant;
            entries_.push_back({temperatureAt->first, false, -1});
            texts << dayText(temperatureAt->first, temperatureAt->second.header) +
                         (held == 1   ? QStringLiteral("  Temperature, Tv")
                          : held == 2 ? QStringLiteral("  Temperature, TvC")
                                      : QStringLiteral("  Temperature, Tv and TvC"));
            ++temperatureAt;
        }
    }

    int row = entries_.empty() ? -1 : 0;
    if (keepSet) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const Entry& e = entries_[i];
            if (!(e.key < keep.key) && !(keep.key < e.key) && e.winds == keep.winds &&
                e.mode == keep.mode) {
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

void ResultsWindow::setStatus(const QString& text) { status_->setText(text); }

void ResultsWindow::showCurrent() {
    save_->setEnabled(currentPlot() >= 0);
    if (currentPlot() != imageEntry_) renderCurrent();
}

const std::vector<WindDay>& ResultsWindow::plottedWinds(const Entry& entry,
                                                        std::vector<WindDay>& one) const {
    const std::vector<WindDay>& modes = days_.winds.at(entry.key);
    if (entry.mode < 0) return modes;
    for (const WindDay& d : modes) {
        if (d.header.variant == entry.mode) one.push_back(d);
    }
    return one;
}

void ResultsWindow::renderCurrent() {
    const int index = currentPlot();
    if (index < 0) {
        image_ = QImage();
        imageEntry_ = -1;
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
    plot::PlotImage plotted;
    std::string error;
    bool ok = false;
    if (entry.winds) {
        std::vector<WindDay> one;
        ok = plot::renderWindImage(plottedWinds(entry, one), plotted, error, options);
    } else {
        ok = plot::renderTemperatureImage({days_.temperature.at(entry.key)}, plotted, error,
                                          options);
    }
    imageEntry_ = index;
    if (!ok) {
        image_ = QImage();
        const QString text = QStringLiteral("The plot could not be drawn: ") + fromLocal(error);
        view_->setImage(image_, text);
        setStatus(text);
        return;
    }
    image_ = toImage(plotted);
    view_->setImage(image_, QString());
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
    const std::string target = toLocal(path);
    std::string error;
    bool ok = false;
    if (entry.winds) {
        std::vector<WindDay> one;
        ok = plot::renderWindPlot(plottedWinds(entry, one), format, target, error);
    } else {
        ok = plot::renderTemperaturePlot({days_.temperature.at(entry.key)}, format, target, error);
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
    CalendarTime date;
    if (entry.winds) {
        date = days_.winds.at(entry.key).front().header.day;
    } else {
        date = days_.temperature.at(entry.key).header.day;
    }
    std::string name =
        plot::plotFileName(entry.key.station, date, date, entry.winds, plot::PlotFormat::Png);
    if (entry.winds && entry.mode >= 0) {
        name.insert(name.size() - 4, "_m" + std::to_string(entry.mode));
    }
    auto folder = folderOf_.find(entry.key);
    const std::string suggested =
        folder == folderOf_.end() ? name : (fs::path(folder->second) / name).string();
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
