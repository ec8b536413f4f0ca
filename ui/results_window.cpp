#include "ui/results_window.h"

#include <QComboBox>
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
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
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

// The spans the window offers, in the order of its list of spans.
constexpr plot::PlotSpan kSpans[] = {plot::PlotSpan::Day, plot::PlotSpan::Last24Hours,
                                     plot::PlotSpan::Week};

// "QVS 2004-06-15", "QVS 2004-06-10 to 2004-06-16", "QVS last 24 hours to
// 2004-06-16": the days of a plot as the list names them.
QString spanText(const std::string& station, const std::vector<std::int64_t>& days,
                 plot::PlotSpan span) {
    const QString name =
        QString::fromLatin1(station.data(), static_cast<qsizetype>(station.size()));
    const QString last = QString::fromStdString(isoDate(civilDate(days.back())));
    if (span == plot::PlotSpan::Last24Hours) {
        return name + QStringLiteral(" last 24 hours to ") + last;
    }
    if (days.size() == 1) return name + QLatin1Char(' ') + last;
    return name + QLatin1Char(' ') + QString::fromStdString(isoDate(civilDate(days.front()))) +
           QStringLiteral(" to ") + last;
}

QSpinBox* makeScaleBox(const char* name, int low, int high, const QString& suffix) {
    auto* box = new QSpinBox;
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(low, high);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);  // one drawing per value typed, not per key
    return box;
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

    spanBox_ = new QComboBox;
    spanBox_->setObjectName(QStringLiteral("spanBox"));
    spanBox_->addItems({QStringLiteral("One day"), QStringLiteral("Last 24 hours"),
                        QStringLiteral("Week")});
    spanBox_->setToolTip(QStringLiteral(
        "What each plot covers: a day, the 24 hours ending with a station's newest period, "
        "or weeks counted back from its newest day"));
    connect(spanBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0 || index >= static_cast<int>(std::size(kSpans))) return;
        span_ = kSpans[index];
        rebuildList(nullptr);
    });
    const int windLimit = static_cast<int>(plot::kMaxWindScale);
    const int temperatureLimit = static_cast<int>(plot::kTemperatureScaleLimit);
    windScale_ = makeScaleBox("windScaleBox", 1, windLimit, QStringLiteral(" m/s"));
    temperatureLow_ = makeScaleBox("temperatureLowBox", -temperatureLimit, temperatureLimit - 1,
                                   QStringLiteral(" \u00b0C"));
    temperatureHigh_ = makeScaleBox("temperatureHighBox", -temperatureLimit + 1,
                                    temperatureLimit, QStringLiteral(" \u00b0C"));
    setColourScale(static_cast<int>(plot::kDefaultWindScaleMax),
                   static_cast<int>(plot::kDefaultTemperatureScale.low),
                   static_cast<int>(plot::kDefaultTemperatureScale.high));
    for (QSpinBox* box : {windScale_, temperatureLow_, temperatureHigh_}) {
        connect(box, &QSpinBox::valueChanged, this, [this] {
            setColourScale(windScale_->value(), temperatureLow_->value(),
                           temperatureHigh_->value());
        });
    }

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Plots of:")));
    controls->addWidget(spanBox_);
    controls->addSpacing(18);
    controls->addWidget(new QLabel(QStringLiteral("Wind colours 0 to")));
    controls->addWidget(windScale_);
    controls->addSpacing(18);
    controls->addWidget(new QLabel(QStringLiteral("Temperature colours")));
    controls->addWidget(temperatureLow_);
    controls->addWidget(new QLabel(QStringLiteral("to")));
    controls->addWidget(temperatureHigh_);
    controls->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(list_);
    top->addWidget(view_, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(open_);
    bottom->addWidget(save_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
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
    // The days held may be those this file belongs to.
    loaded_ = LoadedDays{};
    // The file is the last of its day's set.
    for (const DayFileSet& set : index_.days) {
        if (set.files.empty() || set.files.back().path != path) continue;
        Entry day;
        day.station = set.station;
        day.days = {set.dayNumber};
        day.winds = set.files.back().kind == OutputKind::Winds;
        // The plot shown: the earliest day read, winds before temperature.
        const Entry& first = tally.first;
        if (!tally.firstSet ||
            std::tie(day.station, day.days) < std::tie(first.station, first.days) ||
            (day.station == first.station && day.days == first.days && day.winds &&
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

    // Station and day order: the winds of a plot's days, then their
    // temperature. The index is sorted by station and day.
    entries_.clear();
    QStringList texts;
    std::vector<const DayFileSet*> station;
    for (const DayFileSet& set : index_.days) {
        if (!station.empty() && station.front()->station != set.station) {
            addStationEntries(station, texts);
            station.clear();
        }
        station.push_back(&set);
    }
    if (!station.empty()) addStationEntries(station, texts);

    // The plot kept, else the one of its station and kind holding its
    // newest day (the span changed), else the first.
    int row = entries_.empty() ? -1 : 0;
    if (keepSet) {
        auto match = [&](bool exact) {
            for (std::size_t i = 0; i < entries_.size(); ++i) {
                const Entry& e = entries_[i];
                const bool same = exact ? e.sameDaysAs(keep)
                                        : e.station == keep.station && e.winds == keep.winds &&
                                              std::find(e.days.begin(), e.days.end(),
                                                        keep.days.back()) != e.days.end();
                if (same && e.mode == keep.mode) return static_cast<int>(i);
            }
            return -1;
        };
        const int exact = match(true);
        const int holding = exact >= 0 ? exact : match(false);
        if (holding >= 0) row = holding;
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

void ResultsWindow::addStationEntries(const std::vector<const DayFileSet*>& sets,
                                      QStringList& texts) {
    std::map<std::int64_t, const DayFileSet*> byDay;
    std::vector<std::int64_t> windDays;
    std::vector<std::int64_t> temperatureDays;
    for (const DayFileSet* set : sets) {
        byDay[set->dayNumber] = set;
        if (!windModes(*set).empty()) windDays.push_back(set->dayNumber);
        if (temperatureHeld(*set) != 0) temperatureDays.push_back(set->dayNumber);
    }
    std::vector<Entry> plots;
    for (const bool winds : {true, false}) {
        for (std::vector<std::int64_t>& days :
             plot::spanGroups(winds ? windDays : temperatureDays, span_)) {
            Entry entry;
            entry.station = sets.front()->station;
            entry.days = std::move(days);
            entry.winds = winds;
            plots.push_back(std::move(entry));
        }
    }
    std::stable_sort(plots.begin(), plots.end(), [](const Entry& a, const Entry& b) {
        return a.days.front() != b.days.front() ? a.days.front() < b.days.front()
                                                : a.winds && !b.winds;
    });
    for (Entry& entry : plots) {
        const QString name = spanText(entry.station, entry.days, span_);
        std::vector<int> modes;
        int held = 0;
        for (const std::int64_t day : entry.days) {
            const DayFileSet& set = *byDay.at(day);
            const std::vector<int> more = windModes(set);
            modes.insert(modes.end(), more.begin(), more.end());
            held |= temperatureHeld(set);
        }
        std::sort(modes.begin(), modes.end());
        modes.erase(std::unique(modes.begin(), modes.end()), modes.end());
        if (!entry.winds) {
            entries_.push_back(entry);
            texts << name + (held == 1   ? QStringLiteral("  Temperature, Tv")
                             : held == 2 ? QStringLiteral("  Temperature, TvC")
                                         : QStringLiteral("  Temperature, Tv and TvC"));
            continue;
        }
        QStringList numbers;
        for (int mode : modes) numbers << QString::number(mode);
        entries_.push_back(entry);
        texts << name + (modes.size() == 1 ? QStringLiteral("  Winds, mode %1").arg(numbers.front())
                                           : QStringLiteral("  Winds, modes ") +
                                                 numbers.join(QStringLiteral(", ")));
        if (modes.size() < 2) continue;
        for (int mode : modes) {
            entry.mode = mode;
            entries_.push_back(entry);
            texts << name + QStringLiteral("  Winds, mode %1").arg(mode);
        }
    }
}

const DayFileSet* ResultsWindow::setOf(const std::string& station, std::int64_t dayNumber) const {
    for (const DayFileSet& set : index_.days) {
        if (set.station == station && set.dayNumber == dayNumber) return &set;
    }
    return nullptr;
}

bool ResultsWindow::loadDays(const Entry& entry) {
    if (loaded_.held && loaded_.plot.sameDaysAs(entry)) return loaded_.ok;
    // The days held go before the next are read.
    loaded_ = LoadedDays{};
    loaded_.held = true;
    loaded_.plot = entry;
    loaded_.plot.mode = -1;
    std::vector<std::string> errors;
    for (const std::int64_t day : entry.days) {
        const DayFileSet* set = setOf(entry.station, day);
        if (!set) continue;
        if (entry.winds) {
            std::vector<WindDay> modes;
            loadWindDays(*set, modes, errors);
            std::move(modes.begin(), modes.end(), std::back_inserter(loaded_.winds));
        } else {
            TemperatureDay temperature;
            if (loadTemperatureDay(*set, temperature, errors)) {
                loaded_.temperature.push_back(std::move(temperature));
            }
        }
    }
    loaded_.ok = entry.winds ? !loaded_.winds.empty() : !loaded_.temperature.empty();
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

plot::PlotOptions ResultsWindow::plotOptionsFor(const Entry& entry,
                                                const std::vector<WindDay>& winds, int width,
                                                int height) const {
    plot::PlotOptions options;
    options.width = width;
    options.height = height;
    options.windScaleMax = windScaleMax();
    options.temperatureScale = temperatureScale();
    options.window = entry.winds ? plot::spanWindow(span_, winds)
                                 : plot::spanWindow(span_, loaded_.temperature);
    return options;
}

bool ResultsWindow::drawImage(const Entry& entry, int width, int height,
                              plot::PlotImage& image, std::string& error) const {
    if (!entry.winds) {
        return plot::renderTemperatureImage(loaded_.temperature, image, error,
                                            plotOptionsFor(entry, {}, width, height));
    }
    std::vector<WindDay> one;
    const std::vector<WindDay>& winds = plottedWinds(entry, one);
    return !winds.empty() &&
           plot::renderWindImage(winds, image, error, plotOptionsFor(entry, winds, width, height));
}

bool ResultsWindow::drawFile(const Entry& entry, plot::PlotFormat format, const std::string& path,
                             std::string& error) const {
    if (!entry.winds) {
        return plot::renderTemperaturePlot(loaded_.temperature, format, path, error,
                                           plotOptionsFor(entry, {}, 1600, 900));
    }
    std::vector<WindDay> one;
    const std::vector<WindDay>& winds = plottedWinds(entry, one);
    if (winds.empty()) {
        error = "mode " + std::to_string(entry.mode) + " was not read";
        return false;
    }
    return plot::renderWindPlot(winds, format, path, error,
                                plotOptionsFor(entry, winds, 1600, 900));
}

void ResultsWindow::setSpan(plot::PlotSpan span) {
    const auto* at = std::find(std::begin(kSpans), std::end(kSpans), span);
    if (at != std::end(kSpans)) {
        spanBox_->setCurrentIndex(static_cast<int>(at - std::begin(kSpans)));
    }
}

void ResultsWindow::setColourScale(int windMax, int temperatureLow, int temperatureHigh) {
    const int windLimit = static_cast<int>(plot::kMaxWindScale);
    const int temperatureLimit = static_cast<int>(plot::kTemperatureScaleLimit);
    const int low = std::clamp(temperatureLow, -temperatureLimit, temperatureLimit - 1);
    const int high = std::clamp(temperatureHigh, low + 1, temperatureLimit);
    {
        const QSignalBlocker a(windScale_);
        const QSignalBlocker b(temperatureLow_);
        const QSignalBlocker c(temperatureHigh_);
        windScale_->setValue(std::clamp(windMax, 1, windLimit));
        temperatureLow_->setValue(low);
        temperatureHigh_->setValue(high);
    }
    imageEntry_ = -1;  // drawn again on the new scale
    renderCurrent();
}

double ResultsWindow::windScaleMax() const { return windScale_->value(); }

plot::TemperatureRange ResultsWindow::temperatureScale() const {
    return {static_cast<double>(temperatureLow_->value()),
            static_cast<double>(temperatureHigh_->value())};
}

void ResultsWindow::renderCurrent() {
    const int index = currentPlot();
    if (index < 0) {
        image_ = QImage();
        imageEntry_ = -1;
        loaded_ = LoadedDays{};
        setPlotProblem(QString());
        view_->setImage(image_,
                        entries_.empty()
                            ? QStringLiteral("No plots yet: Open... reads consensus data files.")
                            : QString());
        return;
    }
    const int width = std::clamp(view_->width(), plot::kMinPlotWidth, plot::kMaxPlotSide);
    const int height = std::clamp(view_->height(), plot::kMinPlotHeight, plot::kMaxPlotSide);
    if (index == imageEntry_ && image_.width() == width && image_.height() == height) return;
    const Entry& entry = entries_[static_cast<std::size_t>(index)];
    imageEntry_ = index;
    image_ = QImage();
    QString problem;
    if (loadDays(entry)) {
        plot::PlotImage plotted;
        std::string error;
        if (drawImage(entry, width, height, plotted, error)) {
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
    if (!loadDays(entry)) {
        setStatus(QStringLiteral("The plot was not saved: ") + loaded_.problem);
        return false;
    }
    std::string error;
    if (!drawFile(entry, format, toLocal(path), error)) {
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
    const DayFileSet* set = setOf(entry.station, entry.days.back());
    if (!set) return;
    std::string name = plot::spanPlotFileName(set->station, entry.days, span_, entry.winds,
                                              plot::PlotFormat::Png);
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
