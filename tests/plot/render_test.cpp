// Plot files: PNG of the bundled sample day, SVG and PDF, pixel buffers,
// and the days that must draw without error.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "output/consensus_file_reader.h"
#include "plot/plot.h"
#include "plot_test_support.h"
#include "support/test_folder.h"

namespace qv::plot {
namespace {

const std::string kData = std::string(QUORVANE_SOURCE_DIR) + "/tests/plot/data/";

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

WindDay sampleWinds() {
    const ConsensusFileRead read = readConsensusFile(kData + "QVS04167.w1a");
    EXPECT_TRUE(read.ok) << read.error;
    return read.contents.winds;
}

bool isWhite(std::uint32_t pixel) { return (pixel & 0xffffffu) == 0xffffffu; }

// Barb ink: darker in some channel than the light grey of the grid lines.
bool isInk(std::uint32_t pixel) {
    return ((pixel >> 16) & 0xffu) < 200 || ((pixel >> 8) & 0xffu) < 200 || (pixel & 0xffu) < 200;
}

// Barb ink within `radius` of a point.
bool inkNear(const PlotImage& image, double x, double y, int radius) {
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const int px = static_cast<int>(x) + dx;
            const int py = static_cast<int>(y) + dy;
            if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
            if (isInk(image.at(px, py))) return true;
        }
    }
    return false;
}

// Reads a PNG back through cairo.
PlotImage decodePng(const std::string& path) {
    PlotImage image;
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        image.width = cairo_image_surface_get_width(surface);
        image.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < image.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
            image.pixels.insert(image.pixels.end(), row, row + image.width);
        }
    }
    cairo_surface_destroy(surface);
    return image;
}

// Checks that a text is well-formed XML: every tag closed in order,
// attributes quoted, comments, declarations and CDATA closed.
bool wellFormedXml(const std::string& text, std::string& why) {
    std::vector<std::string> open;
    std::size_t i = 0;
    bool root = false;
    while ((i = text.find('<', i)) != std::string::npos) {
        auto skipTo = [&](const char* end) {
            const std::size_t at = text.find(end, i);
            if (at == std::string::npos) return false;
            i = at + std::strlen(end);
            return true;
        };
        if (text.compare(i, 4, "<!--") == 0) {
            if (!skipTo("-->")) return why = "open comment", false;
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            if (!skipTo("]]>")) return why = "open CDATA", false;
        } else if (text.compare(i, 2, "<?") == 0) {
            if (!skipTo("?>")) return why = "open declaration", false;
        } else if (text.compare(i, 2, "<!") == 0) {
            if (!skipTo(">")) return why = "open doctype", false;
        } else {
            // A tag: find its end outside quoted attribute values.
            std::size_t j = i + 1;
            char quote = 0;
            for (; j < text.size(); ++j) {
                const char c = text[j];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                } else if (c == '<') {
                    return why = "'<' inside a tag", false;
                }
            }
            if (j >= text.size()) return why = "unclosed tag", false;
            const std::string tag = text.substr(i + 1, j - i - 1);
            const bool closing = !tag.empty() && tag[0] == '/';
            const bool empty = !tag.empty() && tag.back() == '/';
            const std::string name =
                tag.substr(closing ? 1 : 0, tag.find_first_of(" \t\r\n/", closing ? 1 : 0) -
                                                (closing ? 1 : 0));
            if (name.empty()) return why = "tag without a name", false;
            if (closing) {
                if (open.empty() || open.back() != name) return why = "mismatched </" + name + ">", false;
                open.pop_back();
            } else if (!empty) {
                if (open.empty() && root) return why = "second root element", false;
                open.push_back(name);
                root = true;
            }
            i = j + 1;
        }
    }
    if (!open.empty()) return why = "<" + open.back() + "> not closed", false;
    if (!root) return why = "no element", false;
    return true;
}

class PlotFiles : public ::testing::Test {
protected:
    void SetUp() override { folder_ = test::freshTestFolder("quorvane_plot"); }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path folder_;
};

TEST_F(PlotFiles, SampleDayPngHasItsSizeAndInkWhereBarbsAre) {
    const WindDay day = sampleWinds();
    const std::string path = (folder_ / "sample.png").string();
    std::string error;
    ASSERT_TRUE(renderWindPlot({day}, PlotFormat::Png, path, error)) << error;

    const std::string bytes = readFile(path);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) |
               (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) |
               static_cast<unsigned char>(bytes[at + 3]);
    };
    EXPECT_EQ(be32(16), 1600u);
    EXPECT_EQ(be32(20), 900u);

    const PlotImage image = decodePng(path);
    ASSERT_EQ(image.width, 1600);
    ASSERT_EQ(image.height, 900);
    Drawing drawing;
    ASSERT_TRUE(layoutWindPlot({day}, PlotOptions{}, drawing, error)) << error;
    const Panel& panel = drawing.panels[0];
    ASSERT_GT(panel.barbs.size(), 50u);
    // The station point of some barbs (first, middle, last) and a point
    // along each staff carry ink.
    for (const std::size_t i : {std::size_t{0}, panel.barbs.size() / 2, panel.barbs.size() - 1}) {
        const Barb& barb = panel.barbs[i];
        SCOPED_TRACE(i);
        EXPECT_TRUE(inkNear(image, barb.origin.x, barb.origin.y, 1));
        EXPECT_TRUE(inkNear(image, barb.origin.x + barb.staff.x * barb.length * 0.5,
                            barb.origin.y + barb.staff.y * barb.length * 0.5, 1));
    }
    // The sample has data from 21:00 only: the morning is empty.
    const double y = (panel.frame.y + panel.frame.bottom()) / 2.0;
    for (const double minute : {200.0, 400.0, 700.0}) {
        const double x = panel.time.x(minute);
        EXPECT_TRUE(isWhite(image.at(static_cast<int>(x) + 3, static_cast<int>(y) + 3)))
            << minute;
    }
    EXPECT_FALSE(std::filesystem::exists(folder_ / ".sample.png.part"));
}

TEST_F(PlotFiles, AWindFromTheNorthInksAboveItsGateNotBelow) {
    const WindDay day = test::windDay(1, 1, 60, 720, 15.0f, 0);
    PlotImage image;
    std::string error;
    ASSERT_TRUE(renderWindImage({day}, image, error)) << error;
    Drawing drawing;
    ASSERT_TRUE(layoutWindPlot({day}, PlotOptions{}, drawing, error));
    const Barb& barb = drawing.panels[0].barbs.at(0);
    EXPECT_TRUE(inkNear(image, barb.origin.x, barb.origin.y - barb.length * 0.6, 1));
    EXPECT_FALSE(inkNear(image, barb.origin.x, barb.origin.y + barb.length * 0.6, 2));
    // Feathers on the east side of the staff's far end, none on the west.
    EXPECT_TRUE(inkNear(image, barb.origin.x + barb.length * 0.3,
                        barb.origin.y - barb.length * 0.95, 3));
    EXPECT_FALSE(inkNear(image, barb.origin.x - barb.length * 0.35,
                         barb.origin.y - barb.length * 0.95, 2));
}

TEST_F(PlotFiles, SvgIsWellFormedXmlAndPdfIsAPdf) {
    const WindDay day = sampleWinds();
    std::string error;
    const std::string svg = (folder_ / "sample.svg").string();
    const std::string pdf = (folder_ / "sample.pdf").string();
    ASSERT_TRUE(renderWindPlot({day}, PlotFormat::Svg, svg, error)) << error;
    ASSERT_TRUE(renderWindPlot({day}, PlotFormat::Pdf, pdf, error)) << error;
    const std::string svgText = readFile(svg);
    std::string why;
    EXPECT_TRUE(wellFormedXml(svgText, why)) << why;
    EXPECT_NE(svgText.find("<svg"), std::string::npos);
    EXPECT_NE(svgText.find("width=\"1600"), std::string::npos);
    if (std::filesystem::exists("/usr/bin/python3")) {
        const std::string command = "/usr/bin/python3 -c \"import sys, xml.dom.minidom; "
                                    "xml.dom.minidom.parse(sys.argv[1])\" '" + svg + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    const std::string pdfText = readFile(pdf);
    ASSERT_GT(pdfText.size(), 100u);
    EXPECT_EQ(pdfText.substr(0, 5), "%PDF-");
    EXPECT_NE(pdfText.find("%%EOF", pdfText.size() - 16), std::string::npos);
}

TEST_F(PlotFiles, XmlCheckCatchesBrokenDocuments) {
    std::string why;
    EXPECT_TRUE(wellFormedXml("<?xml version=\"1.0\"?><svg a=\"1>2\"><g/></svg>", why)) << why;
    EXPECT_FALSE(wellFormedXml("<svg><g></svg>", why));
    EXPECT_FALSE(wellFormedXml("<svg><g>", why));
    EXPECT_FALSE(wellFormedXml("<svg></svg><svg></svg>", why));
}

TEST_F(PlotFiles, SampleTemperatureDayDrawsBothPanels) {
    const ConsensusFileRead tv = readConsensusFile(kData + "QVS04167.t1a");
    ASSERT_TRUE(tv.ok) << tv.error;
    TemperatureDay day = tv.contents.temperature;
    const ConsensusFileRead tvc = readConsensusFile(kData + "QVS04167.t2a");
    ASSERT_TRUE(tvc.ok) << tvc.error;
    // The two files list the same periods and gates.
    ASSERT_EQ(day.periods.size(), tvc.contents.temperature.periods.size());
    for (std::size_t p = 0; p < day.periods.size(); ++p) {
        for (std::size_t g = 0; g < day.periods[p].gates.size(); ++g) {
            day.periods[p].gates[g].tvc = tvc.contents.temperature.periods[p].gates[g].tvc;
        }
    }
    PlotImage image;
    std::string error;
    ASSERT_TRUE(renderTemperatureImage({day}, image, error)) << error;
    Drawing drawing;
    ASSERT_TRUE(layoutTemperaturePlot({day}, PlotOptions{}, drawing, error));
    for (const Panel& panel : drawing.panels) {
        ASSERT_FALSE(panel.cells.empty());
        const Cell& cell = panel.cells[panel.cells.size() / 2];
        const std::uint32_t pixel = image.at(static_cast<int>(cell.rect.x + cell.rect.width / 2),
                                             static_cast<int>(cell.rect.y + cell.rect.height / 2));
        // The cell's own colour (within rounding).
        const double r = ((pixel >> 16) & 0xffu) / 255.0;
        const double g = ((pixel >> 8) & 0xffu) / 255.0;
        EXPECT_NEAR(r, cell.colour.r, 0.01);
        EXPECT_NEAR(g, cell.colour.g, 0.01);
    }
}

TEST_F(PlotFiles, UnusualDaysDrawWithoutError) {
    WindDay none = test::windDay(10, 10);
    for (WindPeriod& period : none.periods) {
        for (WindGate& gate : period.gates) gate.speed = kFailedConsensusCode;
    }
    WindDay noPeriods = test::windDay(0, 0);
    const WindDay one = test::windDay(1, 20, 30, 0);
    const WindDay full = test::windDay(1440, 100, 1, 0, 20.0f, 135);
    std::vector<WindDay> modes;
    for (int mode = 1; mode <= 3; ++mode) {
        WindDay day = test::windDay(24, 30 + 10 * mode, 60, 0, 5.0f * mode, 90 * mode);
        day.header.variant = static_cast<std::int16_t>(mode);
        modes.push_back(day);
    }
    TemperatureDay noTemperature = test::temperatureDay(3, 3);
    for (TemperaturePeriod& period : noTemperature.periods) {
        for (TemperatureGate& gate : period.gates) gate.tv = gate.tvc = kMissingCode;
    }
    const std::vector<std::pair<const char*, std::vector<WindDay>>> windCases = {
        {"no valid gates", {none}}, {"no periods", {noPeriods}}, {"one period", {one}},
        {"1440 periods", {full}},   {"three modes", modes}};
    for (const auto& [name, days] : windCases) {
        SCOPED_TRACE(name);
        for (const PlotFormat format : {PlotFormat::Png, PlotFormat::Svg, PlotFormat::Pdf}) {
            std::string bytes;
            std::string error;
            EXPECT_TRUE(renderWindBytes(days, format, bytes, error)) << error;
            EXPECT_GT(bytes.size(), 1000u);
        }
    }
    for (const TemperatureDay& day :
         {noTemperature, test::temperatureDay(1, 1), test::temperatureDay(1440, 100, 1)}) {
        std::string bytes;
        std::string error;
        EXPECT_TRUE(renderTemperatureBytes({day}, PlotFormat::Png, bytes, error)) << error;
    }
}

TEST_F(PlotFiles, StationNamesInAnyEncodingDrawAsTheirShownText) {
    // Each name draws exactly as its shown text. Cairo draws SVG text as glyph
    // outlines, so whole files are compared, less the surface numbers cairo
    // counts over the process.
    const struct {
        const char* station;
        const char* drawnAs;
        const char* notAs;
    } cases[] = {
        {"M\xDCNCHEN", "M\u00dcNCHEN", "M?NCHEN"},     // Latin-1
        {"QVS \xEF\xBF\xBF", "QVS ?", "QVS"},         // U+FFFF: cairo refuses it
    };
    for (const auto& c : cases) {
        for (const PlotFormat format : {PlotFormat::Png, PlotFormat::Svg}) {
            std::string bytes[3];
            for (int i = 0; i < 3; ++i) {
                WindDay day = test::windDay(4, 6);
                day.header.stationName = i == 0 ? c.station : i == 1 ? c.drawnAs : c.notAs;
                std::string error;
                ASSERT_TRUE(renderWindBytes({day}, format, bytes[i], error)) << error;
                bytes[i] = std::regex_replace(bytes[i], std::regex("surface[0-9]+"), "surface");
            }
            EXPECT_TRUE(bytes[0] == bytes[1]) << c.drawnAs;
            EXPECT_FALSE(bytes[0] == bytes[2]) << c.drawnAs;
            std::string why;
            EXPECT_TRUE(format != PlotFormat::Svg || wellFormedXml(bytes[0], why)) << why;
        }
    }
}

TEST_F(PlotFiles, TextCairoRefusesIsDrawnWithQuestionMarksNotFailed) {
    const std::pair<const char*, const char*> cases[] = {
        {"M\xDCNCHEN", "M?NCHEN"},  {"\xC3\x9C\xDC", "\xC3\x9C?"},  // Latin-1
        {"A\xC0\xAF" "B", "A??B"},   {"\xED\xA0\x80", "???"},      // overlong, surrogate
        {"A\xE2\x82", "A??"},       {"\xF4\x90\x80\x80", "????"},  // cut short, > U+10FFFF
        {"\xEF\xBF\xBF|\xEF\xB7\x90|\xF4\x8F\xBF\xBE", "?|?|?"},  // noncharacters
    };
    for (const auto& [text, drawnAs] : cases) {
        std::string bytes[2];
        for (int i = 0; i < 2; ++i) {
            Drawing drawing;
            drawing.width = 400;
            drawing.height = 120;
            drawing.title = i == 0 ? text : drawnAs;
            drawing.legendLines = {drawing.title};
            std::string error;
            ASSERT_TRUE(paintToBytes(drawing, PlotFormat::Png, bytes[i], error)) << error;
        }
        EXPECT_TRUE(bytes[0] == bytes[1]) << drawnAs;
    }
}

TEST_F(PlotFiles, ImageBufferHasTheRequestedSizeAndOpaquePixels) {
    PlotOptions options;
    options.width = 800;
    options.height = 450;
    PlotImage image;
    std::string error;
    ASSERT_TRUE(renderWindImage({test::windDay(48, 20)}, image, error, options)) << error;
    EXPECT_EQ(image.width, 800);
    EXPECT_EQ(image.height, 450);
    ASSERT_EQ(image.pixels.size(), 800u * 450u);
    EXPECT_EQ(image.at(0, 0), 0xffffffffu);
    for (const std::uint32_t pixel : image.pixels) ASSERT_EQ(pixel >> 24, 0xffu);
}

TEST_F(PlotFiles, APlotThatCannotBeWrittenIsReportedAndLeavesNothing) {
    const std::string path = (folder_ / "missing" / "plot.png").string();
    std::string error;
    EXPECT_FALSE(renderWindPlot({test::windDay(2, 2)}, PlotFormat::Png, path, error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_FALSE(renderWindPlot({}, PlotFormat::Png, (folder_ / "x.png").string(), error));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "x.png"));
}

}  // namespace
}  // namespace qv::plot
