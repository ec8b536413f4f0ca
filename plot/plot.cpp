#include "plot/plot.h"

#include <cstdio>

#include "output/day_files.h"
#include "output/whole_file.h"

namespace qv::plot {
namespace {

bool writeBytes(const std::string& bytes, const std::string& path, std::string& error) {
    return writeWholeFile(path, bytes, error);
}

}  // namespace

bool plotFormatFromText(const std::string& text, PlotFormat& format) {
    if (text == "png") {
        format = PlotFormat::Png;
    } else if (text == "svg") {
        format = PlotFormat::Svg;
    } else if (text == "pdf") {
        format = PlotFormat::Pdf;
    } else {
        return false;
    }
    return true;
}

const char* plotFormatExtension(PlotFormat format) {
    switch (format) {
        case PlotFormat::Png: return ".png";
        case PlotFormat::Svg: return ".svg";
        case PlotFormat::Pdf: return ".pdf";
    }
    return ".png";
}

bool renderWindBytes(const std::vector<WindDay>& days, PlotFormat format, std::string& bytes,
                     std::string& error, const PlotOptions& options) {
    Drawing drawing;
    return layoutWindPlot(days, options, drawing, error) &&
           paintToBytes(drawing, format, bytes, error);
}

bool renderTemperatureBytes(const std::vector<TemperatureDay>& days, PlotFormat format,
                            std::string& bytes, std::string& error, const PlotOptions& options) {
    Drawing drawing;
    return layoutTemperaturePlot(days, options, drawing, error) &&
           paintToBytes(drawing, format, bytes, error);
}

bool renderWindPlot(const std::vector<WindDay>& days, PlotFormat format, const std::string& path,
                    std::string& error, const PlotOptions& options) {
    std::string bytes;
    return renderWindBytes(days, format, bytes, error, options) &&
           writeBytes(bytes, path, error);
}

bool renderTemperaturePlot(const std::vector<TemperatureDay>& days, PlotFormat format,
                           const std::string& path, std::string& error,
                           const PlotOptions& options) {
    std::string bytes;
    return renderTemperatureBytes(days, format, bytes, error, options) &&
           writeBytes(bytes, path, error);
}

bool renderWindImage(const std::vector<WindDay>& days, PlotImage& image, std::string& error,
                     const PlotOptions& options) {
    Drawing drawing;
    return layoutWindPlot(days, options, drawing, error) && paintToImage(drawing, image, error);
}

bool renderTemperatureImage(const std::vector<TemperatureDay>& days, PlotImage& image,
                            std::string& error, const PlotOptions& options) {
    Drawing drawing;
    return layoutTemperaturePlot(days, options, drawing, error) &&
           paintToImage(drawing, image, error);
}

std::string plotFileName(const std::string& stationName, const CalendarTime& first,
                         const CalendarTime& last, bool winds, PlotFormat format,
                         const std::string& label) {
    auto compact = [](const CalendarTime& d) {
        char text[16];
        std::snprintf(text, sizeof text, "%04u%02u%02u", unsigned{d.year}, unsigned{d.month},
                      unsigned{d.day});
        return std::string(text);
    };
    std::string dates = compact(first);
    if (first.year != last.year || first.month != last.month || first.day != last.day) {
        dates += "-" + compact(last);
    }
    if (!label.empty()) dates += "_" + label;
    return stationFileKey(stationName) + "_" + dates + (winds ? "_winds" : "_temperature") +
           plotFormatExtension(format);
}

DayOutput plotOutput(PlotFormat format) { return plotOutput(format, PlotOptions{}); }

DayOutput plotOutput(PlotFormat format, const PlotOptions& options) {
    return [format, options](const DayProducts& products, const OutputContext& context) {
        std::vector<OutputFile> files;
        if (!products.winds.empty()) {
            const DayHeader& h = products.winds.front().header;
            const std::string path =
                pathIn(context.folder, plotFileName(h.stationName, h.day, h.day, true, format));
            files.push_back(makeOutputFile(path, [&](std::string& bytes, std::string& error) {
                return renderWindBytes(products.winds, format, bytes, error, options);
            }));
        }
        for (const TemperatureDay& day : products.temperature) {
            const DayHeader& h = day.header;
            const std::string path =
                pathIn(context.folder, plotFileName(h.stationName, h.day, h.day, false, format));
            files.push_back(makeOutputFile(path, [&](std::string& bytes, std::string& error) {
                return renderTemperatureBytes({day}, format, bytes, error, options);
            }));
        }
        return files;
    };
}

}  // namespace qv::plot
