// The Results window without a run: Results... in the main dialog opens a
// folder of day files, shown a day, the last 24 hours or a week at a time,
// every plot on the one colour scale of the window.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "output/day_files.h"
#include "output/netcdf_file.h"
#include "plot/plot.h"
#include "tests/plot/plot_test_support.h"
#include "ui/main_dialog.h"
#include "ui/results_window.h"

namespace qv {
namespace {

// Winds of 7 to 16 June (the last day until 14:00, a few winds beyond
// 30 m/s), the temperature of the last two days, as netCDF day files; the
// days as the reader gives them back, by day of the month.
struct Archive {
    std::map<int, WindDay> winds;
    std::map<int, TemperatureDay> temperature;
};

Archive writeArchive(const std::string& folder) {
    Archive archive;
    for (int d = 7; d <= 16; ++d) {
        WindDay day = test::windDay(d == 16 ? 29 : 48, 12, 30, 0, 2.0f * d - 8.0f, 200 + 5 * d, d);
        for (WindPeriod& period : day.periods) period.gates[11].speed = 31.0f + d;
        const std::string path = folder + "/" + windNetcdfName(day);
        std::string error;
        EXPECT_TRUE(writeWindNetcdf(day, {"test", "0"}, path, error)) << error;
        archive.winds[d] = readDayFile(path).contents.winds;
        if (d < 15) continue;
        const TemperatureDay t = test::temperatureDay(d == 16 ? 29 : 48, 8, 30, 0, d);
        const std::string tPath = folder + "/" + temperatureNetcdfName(t);
        EXPECT_TRUE(writeTemperatureNetcdf(t, {"test", "0"}, tPath, error)) << error;
        archive.temperature[d] = readDayFile(tPath).contents.temperature;
    }
    return archive;
}

template <typename Day>
std::vector<Day> daysOf(const std::map<int, Day>& days, int first, int last) {
    std::vector<Day> out;
    for (int d = first; d <= last; ++d) out.push_back(days.at(d));
    return out;
}

// What the renderer draws of days at a size with a wind scale maximum (the
// temperature scale the default) and a window.
QImage expected(const std::vector<WindDay>& winds, const std::vector<TemperatureDay>& temperature,
                QSize size, double windMax, std::optional<plot::TimeWindow> window = {}) {
    plot::PlotOptions options;
    options.width = size.width();
    options.height = size.height();
    options.windScaleMax = windMax;
    options.temperatureScale = plot::kDefaultTemperatureScale;
    options.window = window;
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

bool samePixels(const QImage& shown, const QImage& drawn) {
    return !shown.isNull() && shown.convertToFormat(QImage::Format_ARGB32) ==
                                  drawn.convertToFormat(QImage::Format_ARGB32);
}

// True when the window shows what the renderer draws of the days.
bool shows(const ResultsWindow& window, const std::vector<WindDay>& winds,
           const std::vector<TemperatureDay>& temperature, double windMax,
           std::optional<plot::TimeWindow> timeWindow = {}) {
    const QImage shown = window.shownImage();
    return samePixels(shown, expected(winds, temperature, shown.size(), windMax, timeWindow));
}

// The Results window that Results... in the main dialog opens on the folder
// its picker gives.
ResultsWindow* openFromDialog(MainDialog& dialog) {
    dialog.findChild<QPushButton*>(QStringLiteral("resultsButton"))->click();
    QWidget* window = dialog.findChild<QWidget*>(QStringLiteral("resultsWindow"));
    return dynamic_cast<ResultsWindow*>(window);
}

TEST(ResultsArchive, AFolderOpensWithoutARunInEachSpanOnOneColourScale) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Archive archive = writeArchive(dir.path().toStdString());
    MainDialogHooks hooks;
    int picks = 0;
    hooks.pickFolder = [&](QWidget*, const QString&) {
        ++picks;
        return dir.path();
    };
    MainDialog dialog(hooks);
    ResultsWindow* window = openFromDialog(dialog);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(picks, 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(dialog.runActive());

    // One day: as after a run, the earliest day's winds first.
    EXPECT_EQ(window->statusText(), "12 files read.");
    const QStringList days = window->plotNames();
    ASSERT_EQ(days.size(), 12);
    EXPECT_EQ(days.front(), "QVS 2004-06-07  Winds, mode 1");
    EXPECT_EQ(days.back(), "QVS 2004-06-16  Temperature, Tv and TvC");
    EXPECT_EQ(window->currentPlot(), 0);
    EXPECT_TRUE(shows(*window, {archive.winds.at(7)}, {}, 40));

    // The last 24 hours: 14:30 on the 15th to 14:30 on the 16th.
    auto* spans = window->findChild<QComboBox*>(QStringLiteral("spanBox"));
    spans->setCurrentIndex(spans->findText(QStringLiteral("Last 24 hours")));
    EXPECT_EQ(window->span(), plot::PlotSpan::Last24Hours);
    EXPECT_EQ(window->plotNames(),
              (QStringList{"QVS last 24 hours to 2004-06-16  Winds, mode 1",
                           "QVS last 24 hours to 2004-06-16  Temperature, Tv and TvC"}));
    const plot::TimeWindow last24{870, 2310};
    EXPECT_TRUE(shows(*window, daysOf(archive.winds, 15, 16), {}, 40, last24));
    window->selectPlot(1);
    EXPECT_TRUE(shows(*window, {}, daysOf(archive.temperature, 15, 16), 40, last24));

    // Weeks back from the newest day; the plot shown holds the day shown.
    window->setSpan(plot::PlotSpan::Week);
    EXPECT_EQ(window->plotNames(),
              (QStringList{"QVS 2004-06-07 to 2004-06-09  Winds, mode 1",
                           "QVS 2004-06-10 to 2004-06-16  Winds, mode 1",
                           "QVS 2004-06-15 to 2004-06-16  Temperature, Tv and TvC"}));
    EXPECT_EQ(window->currentPlot(), 2);
    window->selectPlot(1);
    EXPECT_TRUE(shows(*window, daysOf(archive.winds, 10, 16), {}, 40));

    // Another scale: every plot shown takes it.
    window->findChild<QSpinBox*>(QStringLiteral("windScaleBox"))->setValue(20);
    EXPECT_TRUE(shows(*window, daysOf(archive.winds, 10, 16), {}, 20));
    window->selectPlot(0);
    EXPECT_TRUE(shows(*window, daysOf(archive.winds, 7, 9), {}, 20));
}

// The README's picture of the window on an archive:
// QUORVANE_RESULTS_ARCHIVE_SCREENSHOT names the PNG to write, and
// QUORVANE_RESULTS_ARCHIVE_FOLDER the folder shown (by default the days of
// the test above). The test does nothing without the first.
TEST(ResultsArchive, WritesThePictureWhenAsked) {
    const QString target = qEnvironmentVariable("QUORVANE_RESULTS_ARCHIVE_SCREENSHOT");
    if (target.isEmpty()) GTEST_SKIP() << "QUORVANE_RESULTS_ARCHIVE_SCREENSHOT not set";
    QTemporaryDir dir;
    QString folder = qEnvironmentVariable("QUORVANE_RESULTS_ARCHIVE_FOLDER");
    if (folder.isEmpty()) {
        writeArchive(dir.path().toStdString());
        folder = dir.path();
    }
    MainDialogHooks hooks;
    hooks.pickFolder = [&](QWidget*, const QString&) { return folder; };
    MainDialog dialog(hooks);
    ResultsWindow* window = openFromDialog(dialog);
    ASSERT_NE(window, nullptr);
    window->resize(1180, 660);
    window->setSpan(plot::PlotSpan::Last24Hours);
    QWidget* view = window->findChild<QWidget*>(QStringLiteral("plotView"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->shownImage().size() == view->size(); }));
    ASSERT_TRUE(window->grab().save(target, "PNG"));
}

}  // namespace
}  // namespace qv
