// "Results": the plots of the days a run wrote, or of any consensus data
// files (".w" winds, ".t" Tv and TvC) and Quorvane netCDF day files the user
// opens, a run or not (an archive folder). A list on the left holds one
// entry per plot: per station and span the winds (every pulse-width mode
// stacked in one plot, and each mode on its own when the span has several)
// and the temperature (Tv and TvC of the days' files together). The span is
// chosen above the list, by the rules quorvane-plot cuts days with
// (plot/plot_span.h): one day, the last 24 hours of each station (across
// midnight), or weeks counted back from each station's newest day. The
// chosen plot fills the rest of the window, rendered at the size it is
// shown; Save writes it as PNG, SVG or PDF.
//
// Every plot shown or saved has the one colour scale set above the list
// (by default plot::kDefaultWindScaleMax and kDefaultTemperatureScale), so
// that plots of different days compare.
//
// The window holds an index of the files (output/day_files.h: station, day
// and mode from each file's header), not their days: the days of the plot
// shown are read when it is shown or saved, and only those are kept.
//
// The window is not modal. Given the main dialog as parent it is a window
// of its own that stays usable while the main dialog runs modally, and the
// main dialog stays usable while it is open.
//
// Files are untrusted: a file that cannot be read is named in the status
// line under the buttons and left out, never a crash.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "output/day_files.h"
#include "plot/plot.h"
#include "plot/plot_span.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace qv {

// Returns the path to save a plot at, or an empty text when none was
// chosen. `suggestedPath` is the folder of the day's file with a name such
// as "QVS_20040615_winds.png". The extension of the returned path decides
// the format (.png, .svg, .pdf; none means PNG).
using PlotSavePicker = std::function<QString(QWidget* parent, const QString& suggestedPath)>;
// Returns the day files chosen, none when the user cancelled. `folder` is
// where the last file read lies (empty at first).
using DayFilesPicker = std::function<QStringList(QWidget* parent, const QString& folder)>;

// What the window takes from outside; an empty member takes the toolkit's
// file dialog.
struct ResultsHooks {
    PlotSavePicker pickSavePath;
    DayFilesPicker pickOpenFiles;
    // How long one slice of a long run's files is read before the
    // program's events are let through (0: one file a slice).
    int readSliceMilliseconds = 20;
};

class ResultsPlotView;

class ResultsWindow : public QWidget {
public:
    // With a parent the window is still a separate, non-modal window.
    explicit ResultsWindow(ResultsHooks hooks = {}, QWidget* parent = nullptr);
    ~ResultsWindow() override;

    // Adds the days of the files a run wrote (RunOutcome::written): the
    // consensus data files among them are indexed, every other path (netCDF
    // files, plots, ...) is ignored, since the run's consensus files carry
    // the same days. The first plot of the days read is shown. A few files
    // are read at once; more (a long run's) are read a slice at a time
    // between the events of the program, so that the windows stay usable
    // while the list fills ("Reading files: 120 of 365...").
    void showFiles(const std::vector<std::string>& paths);
    // True while files given to showFiles are still being read.
    bool reading() const { return !pending_.empty(); }

    // Adds the days of the files named, netCDF day files included (a
    // folder named: its day files): what Open... does with the files
    // chosen. The first plot of the days read is shown.
    void openFiles(const std::vector<std::string>& paths);

    // A file of a station, day and mode already listed (for temperature:
    // the same Tv or TvC; a netCDF day file both) replaces the file listed,
    // so that the plots of a day processed again show the new files.

    // The plots listed, as the list shows them, in list order.
    QStringList plotNames() const;
    // The index of the plot shown, -1 when none.
    int currentPlot() const;
    void selectPlot(int index);

    // What each plot of the list covers: Day (as after a run), Last24Hours
    // or Week; the list is made again, showing the plot of the same station
    // and kind that holds the day shown before.
    void setSpan(plot::PlotSpan span);
    plot::PlotSpan span() const { return span_; }
    // The colour scale of every plot (whole m/s and degrees C; values out
    // of plot/layout.h's ranges are brought into them).
    void setColourScale(int windMax, int temperatureLow, int temperatureHigh);
    double windScaleMax() const;
    plot::TemperatureRange temperatureScale() const;

    // Writes the plot shown at `path` (format from the extension, as the
    // save picker's path) at 1600 x 900; the outcome goes to the status
    // line. False when nothing is shown or the file was not written.
    bool savePlot(const QString& path);

    // The status line under the buttons.
    QString statusText() const;
    // The image of the plot shown, at the size it was rendered (the view's
    // size, at least 320 x 200); a null image when none is shown.
    QImage shownImage() const;

private:
    // One plot of the list: a station's days, their winds (every mode, or
    // one) or their temperature.
    struct Entry {
        std::string station;
        std::vector<std::int64_t> days;  // day numbers, in order; never empty
        bool winds = true;
        int mode = -1;  // winds: -1 for every mode of the days, else the one mode
        bool sameDaysAs(const Entry& other) const {
            return station == other.station && days == other.days && winds == other.winds;
        }
    };

    // What one call's files gave, for the status line and the plot shown.
    struct ReadTally {
        int read = 0;
        QStringList errors;
        bool firstSet = false;
        Entry first;  // the earliest day indexed, winds before temperature
        bool netcdfToo = false;
    };

    // The days of the plot shown (winds: every mode), read from their
    // files; released when other days are shown or the index changes.
    struct LoadedDays {
        bool held = false;
        Entry plot;
        bool ok = false;
        std::vector<WindDay> winds;
        std::vector<TemperatureDay> temperature;
        QString problem;  // the files not read, the reason nothing is drawn
    };

    void addFiles(const std::vector<std::string>& paths, bool netcdfToo,
                  const QStringList& earlierErrors = {});
    void indexFile(const std::string& path, ReadTally& tally);
    void finishReading(ReadTally& tally);
    void readSlice();
    void rebuildList(const Entry* select);
    // The list's entries of one station's days, and their texts.
    void addStationEntries(const std::vector<const DayFileSet*>& sets, QStringList& texts);
    const DayFileSet* setOf(const std::string& station, std::int64_t dayNumber) const;
    // Reads the days of `entry` unless they are the ones held; false (the
    // reason in loaded_.problem) when nothing of them can be plotted.
    bool loadDays(const Entry& entry);
    // The wind days an entry plots: every mode of its days, or (copied into
    // `one`) its one mode. The days must be loaded.
    const std::vector<WindDay>& plottedWinds(const Entry& entry, std::vector<WindDay>& one) const;
    // The options a loaded entry is drawn with: the colour scale, and for
    // the last 24 hours the window ending with the newest period.
    plot::PlotOptions plotOptionsFor(const Entry& entry, const std::vector<WindDay>& winds,
                                     int width, int height) const;
    // Draws a loaded entry in pixels, or into a file; false with `error` set.
    bool drawImage(const Entry& entry, int width, int height, plot::PlotImage& image,
                   std::string& error) const;
    bool drawFile(const Entry& entry, plot::PlotFormat format, const std::string& path,
                  std::string& error) const;
    void showCurrent();
    void renderCurrent();
    void onSave();
    void onOpen();
    // The status line: the last message (files read, plot saved), then what
    // keeps the plot shown from being drawn whole.
    void setStatus(const QString& text);
    void setPlotProblem(const QString& text);

    ResultsHooks hooks_;
    DayFileIndex index_;
    LoadedDays loaded_;
    plot::PlotSpan span_ = plot::PlotSpan::Day;
    std::string lastFolder_;
    std::vector<Entry> entries_;
    QImage image_;
    int imageEntry_ = -1;  // the entry `image_` shows
    QString message_;
    QString plotProblem_;

    QListWidget* list_ = nullptr;
    ResultsPlotView* view_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* save_ = nullptr;
    QComboBox* spanBox_ = nullptr;
    QSpinBox* windScale_ = nullptr;
    QSpinBox* temperatureLow_ = nullptr;
    QSpinBox* temperatureHigh_ = nullptr;
    QTimer resizeTimer_;

    // Files of a run still to be read, and what those read so far gave.
    std::deque<std::string> pending_;
    int pendingTotal_ = 0;
    ReadTally pendingTally_;
    bool userChosePlot_ = false;  // a plot picked while the files are read
    QTimer readTimer_;
};

}  // namespace qv
