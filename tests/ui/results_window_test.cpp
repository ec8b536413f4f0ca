// The Results window: the days of a run's files listed, the plot shown as
// the renderer draws it, Save as PNG, SVG and PDF, Open of further files
// (netCDF included), damaged files named in the status line, and the window
// usable while a modal dialog runs.
#include "ui/results_window.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "output/consensus_file_reader.h"
#include "output/netcdf_file.h"
#include "plot/plot.h"

namespace qv {
namespace {

const std::string kData = std::string(QUORVANE_SOURCE_DIR) + "/tests/plot/data";
const std::string kWinds = kData + "/QVS04167.w1a";
const std::string kTv = kData + "/QVS04167.t1a";
const std::string kTvc = kData + "/QVS04167.t2a";

const QString kWindsName = QStringLiteral("QVS 2004-06-15  Winds, mode 1");
const QString kTemperatureName = QStringLiteral("QVS 2004-06-15  Temperature, Tv and TvC");

QPushButton* buttonOf(QWidget& w, const char* name) {
    return w.findChild<QPushButton*>(QString::fromLatin1(name));
}

QListWidget* listOf(QWidget& w) { return w.findChild<QListWidget*>(QStringLiteral("plotList")); }

std::string fileStart(const QString& path, int count) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(count).toStdString();
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The renderer's own pixels at a size, for comparison with what is shown:
// the window's one colour scale, by default the plots' default.
QImage rendered(const std::vector<WindDay>& winds, const std::vector<TemperatureDay>& temperature,
                QSize size) {
    plot::PlotOptions options;
    options.windScaleMax = plot::kDefaultWindScaleMax;
    options.temperatureScale = plot::kDefaultTemperatureScale;
    options.width = size.width();
    options.height = size.height();
    plot::PlotImage image;
    std::string error;
    const bool ok = winds.empty() ? plot::renderTemperatureImage(temperature, image, error, options)
                                  : plot::renderWindImage(winds, image, error, options);
    EXPECT_TRUE(ok) << error;
    QImage out(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) out.setPixel(x, y, image.at(x, y));
    }
    return out;
}

// True when both images hold the same colour at every pixel.
bool samePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return false;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
        }
    }
    return true;
}

WindDay sampleWinds() {
    ConsensusFileRead read = readConsensusFile(kWinds);
    EXPECT_TRUE(read.ok) << read.error;
    return read.contents.winds;
}

TemperatureDay sampleTemperature() {
    // The day's Tv and TvC together, as the window shows them.
    ConsensusFileRead tv = readConsensusFile(kTv);
    ConsensusFileRead tvc = readConsensusFile(kTvc);
    EXPECT_TRUE(tv.ok && tvc.ok);
    TemperatureDay day = tv.contents.temperature;
    for (std::size_t p = 0; p < day.periods.size(); ++p) {
        for (std::size_t g = 0; g < day.periods[p].gates.size(); ++g) {
            day.periods[p].gates[g].tvc = tvc.contents.temperature.periods[p].gates[g].tvc;
        }
    }
    return day;
}

class ResultsWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    ResultsHooks hooks() {
        ResultsHooks h;
        h.pickSavePath = [this](QWidget*, const QString& suggested) {
            suggested_.push_back(suggested);
            return savePath_;
        };
        h.pickOpenFiles = [this](QWidget*, const QString& folder) {
            openFolders_.push_back(folder);
            return openPaths_;
        };
        return h;
    }

    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir_;
    QString savePath_;
    QStringList openPaths_;
    std::vector<QString> suggested_;
    std::vector<QString> openFolders_;
};

TEST_F(ResultsWindowTest, ARunsConsensusFilesAreListedAndOtherFilesIgnored) {
    ResultsWindow window(hooks());
    EXPECT_EQ(window.windowTitle(), "Results");
    EXPECT_TRUE(window.isWindow());
    EXPECT_EQ(window.windowModality(), Qt::NonModal);
    EXPECT_FALSE(buttonOf(window, "saveButton")->isEnabled());
    EXPECT_EQ(window.currentPlot(), -1);

    // A run's written paths: the netCDF file and the plot of the same day
    // are left out (neither exists here, so reading them would fail).
    window.showFiles({kWinds, "/no/such/QVS_20040615_winds_m1.nc", kTv, kTvc,
                      "/no/such/QVS_20040615_winds.png"});
    EXPECT_EQ(window.plotNames(), (QStringList{kWindsName, kTemperatureName}));
    EXPECT_EQ(window.statusText(), "3 files read.");
    EXPECT_EQ(window.currentPlot(), 0);
    EXPECT_TRUE(buttonOf(window, "saveButton")->isEnabled());
    EXPECT_FALSE(window.shownImage().isNull());
}

TEST_F(ResultsWindowTest, NoConsensusFilesAmongTheWrittenPathsIsSaid) {
    ResultsWindow window(hooks());
    window.showFiles({"/no/such/QVS_20040615_winds.png"});
    EXPECT_TRUE(window.plotNames().isEmpty());
    EXPECT_EQ(window.statusText(), "No consensus data files among the files written.");
    EXPECT_TRUE(window.shownImage().isNull());
}

TEST_F(ResultsWindowTest, TheShownImageIsTheRenderersPlotAtTheViewsSizeAndSwitchingChangesIt) {
    ResultsWindow window(hooks());
    window.resize(1000, 600);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.showFiles({kTv, kWinds, kTvc});
    ASSERT_EQ(window.plotNames(), (QStringList{kWindsName, kTemperatureName}));

    // The winds come first whatever the order of the files.
    ASSERT_EQ(window.currentPlot(), 0);
    const QImage winds = window.shownImage();
    QWidget* view = window.findChild<QWidget*>(QStringLiteral("plotView"));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(winds.size(), view->size());  // drawn for the view at once, not scaled
    EXPECT_TRUE(samePixels(winds, rendered({sampleWinds()}, {}, winds.size())));

    // A click on the temperature entry shows its plot.
    QListWidget* list = listOf(window);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(window.currentPlot(), 1);
    const QImage temperature = window.shownImage();
    EXPECT_FALSE(samePixels(temperature, winds));
    EXPECT_TRUE(samePixels(temperature, rendered({}, {sampleTemperature()}, temperature.size())));

    // Back to the winds with the keyboard.
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(window.currentPlot(), 0);
    EXPECT_TRUE(samePixels(window.shownImage(), winds));
}

TEST_F(ResultsWindowTest, AResizedViewGetsThePlotDrawnAgainAtItsNewSize) {
    ResultsWindow window(hooks());
    window.resize(900, 560);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.showFiles({kWinds});
    const QSize before = window.shownImage().size();
    window.resize(1200, 760);
    QWidget* view = window.findChild<QWidget*>(QStringLiteral("plotView"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.shownImage().size() == view->size(); }, 3000));
    EXPECT_NE(window.shownImage().size(), before);
    EXPECT_TRUE(
        samePixels(window.shownImage(), rendered({sampleWinds()}, {}, window.shownImage().size())));
}

TEST_F(ResultsWindowTest, SaveWritesPngSvgAndPdfAtTheChosenPath) {
    ResultsWindow window(hooks());
    window.showFiles({kWinds, kTv, kTvc});

    savePath_ = path("winds.png");
    buttonOf(window, "saveButton")->click();
    ASSERT_EQ(suggested_.size(), 1u);
    EXPECT_EQ(suggested_[0], QString::fromStdString(kData + "/QVS_20040615_winds.png"));
    EXPECT_EQ(fileStart(savePath_, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(window.statusText(), QStringLiteral("Saved ") + savePath_);
    // The saved PNG is the plot at 1600 x 900.
    const QImage saved(savePath_);
    EXPECT_EQ(saved.size(), QSize(1600, 900));
    EXPECT_TRUE(samePixels(saved.convertToFormat(QImage::Format_ARGB32),
                           rendered({sampleWinds()}, {}, QSize(1600, 900))));

    window.selectPlot(1);
    savePath_ = path("temperature.svg");
    buttonOf(window, "saveButton")->click();
    ASSERT_EQ(suggested_.size(), 2u);
    EXPECT_EQ(suggested_[1], QString::fromStdString(kData + "/QVS_20040615_temperature.png"));
    const std::string svg = readAll(savePath_.toStdString());
    EXPECT_NE(svg.find("<svg"), std::string::npos);

    savePath_ = path("temperature.PDF");
    buttonOf(window, "saveButton")->click();
    EXPECT_EQ(fileStart(savePath_, 5), "%PDF-");

    // No extension: a PNG with one.
    savePath_ = path("plain");
    buttonOf(window, "saveButton")->click();
    EXPECT_EQ(fileStart(path("plain.png"), 4), "\x89PNG");
}

TEST_F(ResultsWindowTest, SaveRefusesOtherFormatsAndReportsWriteFailures) {
    ResultsWindow window(hooks());
    window.showFiles({kWinds});

    savePath_ = path("winds.jpg");
    buttonOf(window, "saveButton")->click();
    EXPECT_FALSE(QFile::exists(savePath_));
    EXPECT_EQ(window.statusText(),
              "Plots are saved as .png, .svg or .pdf files, not as winds.jpg.");

    savePath_ = path("missing-folder/winds.png");
    buttonOf(window, "saveButton")->click();
    EXPECT_TRUE(window.statusText().startsWith("The plot was not saved: "));
    EXPECT_TRUE(window.statusText().contains("missing-folder"));

    // Cancelled: nothing happens.
    savePath_.clear();
    const QString before = window.statusText();
    buttonOf(window, "saveButton")->click();
    EXPECT_EQ(window.statusText(), before);
}

TEST_F(ResultsWindowTest, OpenAddsANetcdfModeAndTheDayShowsBothModes) {
    // The sample winds as a netCDF file of mode 2.
    WindDay second = sampleWinds();
    second.header.variant = 2;
    const std::string netcdf = path("QVS_20040615_winds_m2.nc").toStdString();
    std::string error;
    ASSERT_TRUE(writeWindNetcdf(second, NetcdfContext{"test", "0"}, netcdf, error)) << error;

    ResultsWindow window(hooks());
    window.showFiles({kWinds});
    openPaths_ = {QString::fromStdString(netcdf)};
    buttonOf(window, "openButton")->click();
    ASSERT_EQ(openFolders_.size(), 1u);
    EXPECT_EQ(openFolders_[0], QString::fromStdString(kData));
    EXPECT_EQ(window.plotNames(),
              (QStringList{"QVS 2004-06-15  Winds, modes 1, 2", "QVS 2004-06-15  Winds, mode 1",
                           "QVS 2004-06-15  Winds, mode 2"}));
    EXPECT_EQ(window.statusText(), "1 file read.");
    // The day opened is shown: both modes stacked, then each alone.
    EXPECT_EQ(window.currentPlot(), 0);
    const QImage both = window.shownImage();
    window.selectPlot(1);
    const QImage first = window.shownImage();
    window.selectPlot(2);
    const QImage alone = window.shownImage();
    EXPECT_FALSE(samePixels(both, first));
    EXPECT_FALSE(samePixels(first, alone));  // the mode number differs in the panel
    EXPECT_TRUE(samePixels(first, rendered({sampleWinds()}, {}, first.size())));

    // The one mode alone is saved under a name with its mode.
    savePath_ = path("m1.png");
    window.selectPlot(1);
    buttonOf(window, "saveButton")->click();
    // Beside the day's file read last.
    ASSERT_EQ(suggested_.size(), 1u);
    EXPECT_EQ(suggested_[0], path("QVS_20040615_winds_m1.png"));
}

TEST_F(ResultsWindowTest, AFileReadAgainReplacesTheDayItHeld) {
    ResultsWindow window(hooks());
    window.showFiles({kWinds, kTv});
    EXPECT_EQ(window.plotNames(), (QStringList{kWindsName, "QVS 2004-06-15  Temperature, Tv"}));
    window.selectPlot(1);
    const QImage tvOnly = window.shownImage();

    // A second run of the same day: no "already read", the same list.
    window.showFiles({kWinds, kTv, kTvc});
    EXPECT_EQ(window.statusText(), "3 files read.");
    EXPECT_EQ(window.plotNames(), (QStringList{kWindsName, kTemperatureName}));
    window.selectPlot(1);
    EXPECT_FALSE(samePixels(window.shownImage(), tvOnly));

    // The TvC file again keeps the Tv it had.
    window.showFiles({kTvc});
    EXPECT_EQ(window.plotNames(), (QStringList{kWindsName, kTemperatureName}));
    window.selectPlot(1);
    EXPECT_TRUE(samePixels(window.shownImage(),
                           rendered({}, {sampleTemperature()}, window.shownImage().size())));
}

// A long run's files are read a slice at a time: the window says how far
// it is, lists what it read so far, ends as if it had read them at once,
// and keeps a plot the user picked meanwhile.
TEST_F(ResultsWindowTest, ALongRunsFilesAreReadInSlicesBetweenEvents) {
    ResultsHooks h = hooks();
    h.readSliceMilliseconds = 0;  // one file a slice
    ResultsWindow window(h);
    window.showFiles({kWinds, kTv, kTvc});  // a short run: read at once
    EXPECT_FALSE(window.reading());
    EXPECT_EQ(window.currentPlot(), 0);

    std::vector<std::string> paths = {"/no/such/QVS04200.w1a"};
    for (int i = 0; i < 4; ++i) paths.insert(paths.end(), {kWinds, kTv, kTvc});
    paths.push_back("/no/such/QVS_20040615_winds_m1.nc");  // not a consensus file: left out
    window.showFiles(paths);
    EXPECT_TRUE(window.reading());
    EXPECT_EQ(window.statusText(), "Reading files: 1 of 13...");
    window.selectPlot(1);  // the temperature, picked while the files are read
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.reading(); }, 10000));
    EXPECT_EQ(window.plotNames(), (QStringList{kWindsName, kTemperatureName}));
    EXPECT_EQ(window.statusText().split('\n').front(), "12 files read.");
    EXPECT_TRUE(window.statusText().contains("QVS04200.w1a"));
    EXPECT_EQ(window.currentPlot(), 1);
    EXPECT_FALSE(window.shownImage().isNull());

    // Open... while a run's files are read reads those first.
    window.showFiles(paths);
    openPaths_ = {QString::fromStdString(kWinds)};
    buttonOf(window, "openButton")->click();
    EXPECT_FALSE(window.reading());
    EXPECT_EQ(window.statusText(), "1 file read.");
}

TEST_F(ResultsWindowTest, UnreadableFilesAreNamedInTheStatusLineAndTheRestIsShown) {
    const QString damaged = path("QVS04168.w1a");
    {
        std::ofstream out(damaged.toStdString(), std::ios::binary);
        out << "not a consensus data file\n";
    }
    ResultsWindow window(hooks());
    openPaths_ = {damaged, path("QVS04169.w1a"), QString::fromStdString(kWinds), path("gone.nc")};
    buttonOf(window, "openButton")->click();
    EXPECT_EQ(window.plotNames(), (QStringList{kWindsName}));
    const QStringList lines = window.statusText().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "1 file read.");
    EXPECT_TRUE(lines[1].contains("QVS04168.w1a")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains("QVS04169.w1a")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].contains("gone.nc")) << lines[3].toStdString();
    EXPECT_EQ(window.currentPlot(), 0);

    // Nothing chosen: nothing changes.
    openPaths_.clear();
    const QString before = window.statusText();
    buttonOf(window, "openButton")->click();
    EXPECT_EQ(window.statusText(), before);
    EXPECT_EQ(window.plotNames(), (QStringList{kWindsName}));
}

TEST_F(ResultsWindowTest, ManyUnreadableFilesAreCounted) {
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i)
        paths.push_back(path("none").toStdString() + std::to_string(i) + ".w1a");
    ResultsWindow window(hooks());
    window.showFiles(paths);
    const QStringList lines = window.statusText().split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], "0 files read.");
    EXPECT_EQ(lines[4], "... and 2 more files not read.");
    EXPECT_TRUE(window.plotNames().isEmpty());
}

void copyFile(const std::string& from, const std::string& to, const std::string& replaced = {},
              const std::string& by = {}) {
    std::string text = readAll(from);
    if (!replaced.empty()) {
        const std::size_t at = text.find(replaced);
        ASSERT_NE(at, std::string::npos) << replaced;
        text.replace(at, replaced.size(), by);
    }
    std::ofstream(to, std::ios::binary) << text;
}

// Files as a user opens them: each day listed once, and what cannot be
// drawn or read refused at once with the file and the reason.
TEST_F(ResultsWindowTest, OpenedDayFilesAreListedOnceOrRefusedWithTheReason) {
    const std::string folder = dir_.path().toStdString();
    struct Case {
        const char* what;
        // Makes the files in `folder`; returns what is opened.
        std::function<std::vector<std::string>()> make;
        QStringList plots;
        QString firstLine;
        std::vector<const char*> statusHolds;
        bool drawn;
    };
    const std::vector<Case> cases = {
        {"a TvC gate height that differs from the Tv file's",
         [&] {
             copyFile(kTv, folder + "/QVS04167.t1a");
             copyFile(kTvc, folder + "/QVS04167.t2a", " 0   1866 ", " 0   1867 ");
             return std::vector<std::string>{folder + "/QVS04167.t1a", folder + "/QVS04167.t2a"};
         },
         {kTemperatureName},
         "2 files read.",
         {"could not be drawn", "QVS04167.t2a", "gate 1", "height"},
         false},
        {"an ordinary run's folder: consensus and netCDF files of the day",
         [&] {
             for (const std::string& file : {kWinds, kTv, kTvc}) {
                 copyFile(file, folder + "/" + std::filesystem::path(file).filename().string());
             }
             std::string error;
             const WindDay winds = sampleWinds();
             const TemperatureDay temperature = sampleTemperature();
             EXPECT_TRUE(writeWindNetcdf(winds, {"test", "0"},
                                         folder + "/" + windNetcdfName(winds), error))
                 << error;
             EXPECT_TRUE(writeTemperatureNetcdf(temperature, {"test", "0"},
                                                folder + "/" + temperatureNetcdfName(temperature),
                                                error))
                 << error;
             return std::vector<std::string>{folder};
         },
         {kWindsName, kTemperatureName},
         "5 files read.",
         {},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& name : QDir(dir_.path()).entryList(QDir::Files | QDir::System)) {
            QFile::remove(dir_.filePath(name));
        }
        const std::vector<std::string> opened = c.make();
        ResultsWindow window(hooks());
        QElapsedTimer clock;
        clock.start();
        window.openFiles(opened);
        EXPECT_LT(clock.elapsed(), 2500);
        EXPECT_EQ(window.plotNames(), c.plots);
        const QStringList lines = window.statusText().split('\n');
        EXPECT_EQ(lines.front(), c.firstLine) << window.statusText().toStdString();
        if (c.statusHolds.empty()) {
            EXPECT_EQ(lines.size(), 1);
        }
        for (const char* text : c.statusHolds) {
            EXPECT_TRUE(window.statusText().contains(QString::fromUtf8(text)))
                << text << " in " << window.statusText().toStdString();
        }
        EXPECT_EQ(!window.shownImage().isNull(), c.drawn);
    }
}

// A day's files are read when its plot is shown: a file gone since it was
// listed is named in the status line, and the other plots still draw.
TEST_F(ResultsWindowTest, AFileGoneSinceItWasListedIsNamedWhenItsPlotIsShown) {
    const std::string folder = dir_.path().toStdString();
    for (const std::string& file : {kWinds, kTv, kTvc}) {
        copyFile(file, folder + "/" + std::filesystem::path(file).filename().string());
    }
    ResultsWindow window(hooks());
    window.openFiles({folder});
    ASSERT_EQ(window.plotNames(), (QStringList{kWindsName, kTemperatureName}));
    ASSERT_FALSE(window.shownImage().isNull());
    ASSERT_TRUE(QFile::remove(path("QVS04167.t2a")));

    window.selectPlot(1);
    EXPECT_TRUE(window.shownImage().isNull());
    EXPECT_TRUE(window.statusText().contains("could not be drawn"))
        << window.statusText().toStdString();
    EXPECT_TRUE(window.statusText().contains("QVS04167.t2a"));
    savePath_ = path("temperature.png");
    buttonOf(window, "saveButton")->click();
    EXPECT_FALSE(QFile::exists(savePath_));
    EXPECT_TRUE(window.statusText().startsWith("The plot was not saved: "));

    window.selectPlot(0);
    EXPECT_FALSE(window.shownImage().isNull());
    EXPECT_FALSE(window.statusText().contains("could not be drawn"));
}

// Clicks a button as the window system would deliver the click, so that
// a window blocked by a modal dialog would not get it.
void systemClick(QPushButton* button) {
    QWindow* handle = button->window()->windowHandle();
    ASSERT_NE(handle, nullptr);
    const QPoint at = button->mapTo(button->window(), button->rect().center());
    QTest::mouseClick(handle, Qt::LeftButton, {}, at);
}

TEST_F(ResultsWindowTest, TheWindowStaysUsableWhileItsParentRunsModally) {
    QDialog main;
    main.setWindowTitle(QStringLiteral("Quorvane"));
    main.resize(300, 200);
    auto* results = new ResultsWindow(hooks(), &main);
    EXPECT_TRUE(results->isWindow());
    openPaths_ = {QString::fromStdString(kWinds)};
    bool clicked = false;
    QTimer::singleShot(0, &main, [&] {
        results->show();
        if (QTest::qWaitForWindowExposed(results)) {
            systemClick(buttonOf(*results, "openButton"));
            clicked = true;
        }
        main.reject();
    });
    main.exec();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(openFolders_.size(), 1u);
    EXPECT_EQ(results->plotNames(), (QStringList{kWindsName}));
}

TEST_F(ResultsWindowTest, AnOpenResultsWindowLeavesItsParentUsable) {
    QDialog main;
    main.resize(300, 200);
    auto* ok = new QPushButton(QStringLiteral("OK"), &main);
    ok->setGeometry(10, 10, 100, 30);
    int presses = 0;
    QObject::connect(ok, &QPushButton::clicked, [&] { ++presses; });
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    auto* results = new ResultsWindow(hooks(), &main);
    results->showFiles({kWinds});
    results->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(results));
    systemClick(ok);
    EXPECT_EQ(presses, 1);
}

// The README's picture of the window: QUORVANE_RESULTS_SCREENSHOT names
// the PNG to write (the test does nothing without it).
TEST(ResultsWindowScreenshot, WritesThePictureWhenAsked) {
    const QString target = qEnvironmentVariable("QUORVANE_RESULTS_SCREENSHOT");
    if (target.isEmpty()) GTEST_SKIP() << "QUORVANE_RESULTS_SCREENSHOT not set";
    ResultsWindow window;
    window.resize(1180, 620);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.showFiles({kWinds, kTv, kTvc});
    QWidget* view = window.findChild<QWidget*>(QStringLiteral("plotView"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.shownImage().size() == view->size(); }));
    ASSERT_TRUE(window.grab().save(target, "PNG"));
}

}  // namespace
}  // namespace qv
