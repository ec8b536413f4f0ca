#include "plot/plot.h"

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

}  // namespace qv::plot
