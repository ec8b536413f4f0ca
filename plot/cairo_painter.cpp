#include "plot/cairo_painter.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <tuple>

#include "core/numeric.h"

namespace qv::plot {
namespace {

constexpr const char* kFontFamily = "DejaVu Sans";

// Sizes (page units) on a 1600 x 900 page; scaled by Drawing::textScale.
constexpr double kTitleSize = 24.0;
constexpr double kSubtitleSize = 15.0;
constexpr double kPanelTitleSize = 16.0;
constexpr double kAxisTitleSize = 16.0;
constexpr double kTickLabelSize = 14.0;
constexpr double kLegendSize = 14.0;

enum class Align { Left, Centre, Right };

void setColour(cairo_t* cr, const Colour& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void setFont(cairo_t* cr, double size, bool bold = false, bool italic = false) {
    cairo_select_font_face(cr, kFontFamily,
                           italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

// Code point and length in bytes of the well-formed UTF-8 sequence at `at`;
// length 0 where there is none (overlong, surrogate, above U+10FFFF, cut
// short, a stray byte).
struct Utf8Char {
    char32_t code = 0;
    std::size_t length = 0;
};

Utf8Char utf8CharAt(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) -> char32_t { return static_cast<unsigned char>(s[i]); };
    const char32_t lead = byte(at);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || s.size() - at < length) return {};
    char32_t code = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {};
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
    return {code, length};
}

// Cairo refuses malformed UTF-8 and the noncharacters U+FDD0..U+FDEF and
// U+xxFFFE/U+xxFFFF, and a refused text puts the context in error, which
// fails the whole page. The layout gives showable text; this is the last
// guard: `s` itself when cairo takes it, else a copy in `spare` with '?'
// for each refused byte or character.
const std::string& cairoText(const std::string& s, std::string& spare) {
    const auto refused = [](const Utf8Char& c) {
        return c.length == 0 || (c.code >= 0xFDD0 && c.code <= 0xFDEF) ||
               (c.code & 0xFFFE) == 0xFFFE;
    };
    std::size_t at = 0;
    for (Utf8Char c; at < s.size() && !refused(c = utf8CharAt(s, at));) at += c.length;
    if (at == s.size()) return s;
    spare.assign(s, 0, at);
    while (at < s.size()) {
        const Utf8Char c = utf8CharAt(s, at);
        if (refused(c)) {
            spare += '?';
            at += std::max<std::size_t>(c.length, 1);
        } else {
            spare.append(s, at, c.length);
            at += c.length;
        }
    }
    return spare;
}

// Text with its baseline at y; `middle` centres it vertically on y instead.
void text(cairo_t* cr, const std::string& original, double x, double y, Align align,
          bool middle = false) {
    if (original.empty()) return;
    std::string spare;
    const std::string& s = cairoText(original, spare);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, s.c_str(), &extents);
    double left = x;
    if (align == Align::Centre) left = x - extents.x_advance / 2.0;
    if (align == Align::Right) left = x - extents.x_advance;
    const double baseline = middle ? y - (extents.y_bearing + extents.height / 2.0) : y;
    cairo_move_to(cr, left, baseline);
    cairo_show_text(cr, s.c_str());
}

Point along(Point p, Vec2 v, double d) { return {p.x + v.x * d, p.y + v.y * d}; }

// The staff and feathers of one barb as paths; `fill` fills the pennants.
void barbPath(cairo_t* cr, const Barb& barb, bool pennantsOnly) {
    const double l = barb.length;
    const BarbFeathers& f = barb.feathers;
    if (f.calm()) {
        if (!pennantsOnly) {
            cairo_new_sub_path(cr);
            cairo_arc(cr, barb.origin.x, barb.origin.y, 0.17 * l, 0.0, 2.0 * M_PI);
        }
        return;
    }
    const Vec2 inward{-barb.staff.x, -barb.staff.y};
    const Point tip = along(barb.origin, barb.staff, l);
    const double feather = 0.5 * l;      // full barb length
    const double lean = 0.25 * feather;  // barbs lean away from the station point
    const double spacing = 0.19 * l;
    const double pennantBase = 0.24 * l;
    if (!pennantsOnly) {
        cairo_move_to(cr, barb.origin.x, barb.origin.y);
        cairo_line_to(cr, tip.x, tip.y);
    }
    double at = 0.0;  // distance in from the tip
    for (int i = 0; i < f.pennants; ++i) {
        const Point outer = along(tip, inward, at);
        const Point inner = along(tip, inward, at + pennantBase);
        const Point apex = along(outer, barb.side, feather);
        if (pennantsOnly) {
            cairo_move_to(cr, outer.x, outer.y);
            cairo_line_to(cr, apex.x, apex.y);
            cairo_line_to(cr, inner.x, inner.y);
            cairo_close_path(cr);
        }
        at += pennantBase + 0.06 * l;
    }
    if (pennantsOnly) return;
    // A lone half barb stands one spacing in from the tip, so that it is not
    // read as a full barb.
    if (f.pennants == 0 && f.fullBarbs == 0) at = spacing;
    for (int i = 0; i < f.fullBarbs + f.halfBarbs; ++i) {
        const double length = i < f.fullBarbs ? feather : feather * 0.5;
        const Point base = along(tip, inward, at);
        const Point end = along(along(base, barb.side, length), barb.staff, lean * length / feather);
        cairo_move_to(cr, base.x, base.y);
        cairo_line_to(cr, end.x, end.y);
        at += spacing;
    }
}

void paintBarbs(cairo_t* cr, const std::vector<Barb>& barbs, double scale) {
    // The fast antialiasing draws thin strokes nearly as well at half the
    // cost of the default.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_FAST);
    // Plain ends: round ones would cost a third of the painting time.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    // A dark outline under every barb keeps the light end of the scale
    // visible on the white panel.
    cairo_set_source_rgba(cr, 0.12, 0.12, 0.14, 0.85);
    cairo_set_line_width(cr, 3.1 * scale);
    // A few barbs per path: one path of thousands of crossing staffs costs
    // the stroker far more than smaller ones, and each stroke has its cost.
    constexpr std::size_t kBarbsPerStroke = 24;
    for (std::size_t i = 0; i < barbs.size(); ++i) {
        barbPath(cr, barbs[i], false);
        barbPath(cr, barbs[i], true);
        if ((i + 1) % kBarbsPerStroke == 0 || i + 1 == barbs.size()) cairo_stroke(cr);
    }
    // The colours over the outlines, barbs of one colour together.
    std::vector<std::size_t> order(barbs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto key = [&](std::size_t i) {
        const Colour& c = barbs[i].colour;
        return std::make_tuple(c.r, c.g, c.b);
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    cairo_set_line_width(cr, 2.0 * scale);
    for (std::size_t begin = 0; begin < order.size();) {
        std::size_t end = begin + 1;
        while (end < order.size() && end - begin < kBarbsPerStroke &&
               key(order[end]) == key(order[begin])) {
            ++end;
        }
        setColour(cr, barbs[order[begin]].colour);
        for (std::size_t k = begin; k < end; ++k) barbPath(cr, barbs[order[k]], true);
        cairo_fill(cr);
        for (std::size_t k = begin; k < end; ++k) barbPath(cr, barbs[order[k]], false);
        cairo_stroke(cr);
        begin = end;
    }
    // The station point: where the gate is.
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.12);
    for (const Barb& barb : barbs) {
        if (barb.feathers.calm()) continue;
        cairo_new_sub_path(cr);
        cairo_arc(cr, barb.origin.x, barb.origin.y, 1.9 * scale, 0.0, 2.0 * M_PI);
    }
    cairo_fill(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
}

void paintCells(cairo_t* cr, const std::vector<Cell>& cells) {
    // Neighbouring cells meet without hairline seams.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    for (const Cell& cell : cells) {
        setColour(cr, cell.colour);
        cairo_rectangle(cr, cell.rect.x, cell.rect.y, cell.rect.width, cell.rect.height);
        cairo_fill(cr);
    }
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
}

void paintPanel(cairo_t* cr, const Panel& panel, double s) {
    const Rect& f = panel.frame;
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_rectangle(cr, f.x, f.y, f.width, f.height);
    cairo_fill(cr);

    // Grid: light lines at every tick, darker at midnights.
    cairo_set_line_width(cr, 1.0 * s);
    for (const Tick& tick : panel.altitudeTicks) {
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, f.x, tick.position);
        cairo_line_to(cr, f.right(), tick.position);
        cairo_stroke(cr);
    }
    for (const Tick& tick : panel.timeTicks) {
        if (tick.major) {
            cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
        } else {
            cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        }
        cairo_move_to(cr, tick.position, f.y);
        cairo_line_to(cr, tick.position, f.bottom());
        cairo_stroke(cr);
    }

    cairo_save(cr);
    cairo_rectangle(cr, f.x, f.y, f.width, f.height);
    cairo_clip(cr);
    paintCells(cr, panel.cells);
    cairo_restore(cr);
    paintBarbs(cr, panel.barbs, s);

    if (!panel.emptyNote.empty()) {
        cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
        setFont(cr, 20.0 * s, false, true);
        text(cr, panel.emptyNote, f.x + f.width / 2.0, f.y + f.height / 2.0, Align::Centre, true);
    }

    // Frame, ticks and labels.
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1.2 * s);
    cairo_rectangle(cr, f.x, f.y, f.width, f.height);
    cairo_stroke(cr);
    setFont(cr, kTickLabelSize * s);
    for (const Tick& tick : panel.timeTicks) {
        cairo_move_to(cr, tick.position, f.bottom());
        cairo_line_to(cr, tick.position, f.bottom() + (tick.major ? 9.0 : 6.0) * s);
        cairo_stroke(cr);
        text(cr, tick.label, tick.position, f.bottom() + 23.0 * s, Align::Centre);
    }
    for (const Tick& tick : panel.altitudeTicks) {
        cairo_move_to(cr, f.x, tick.position);
        cairo_line_to(cr, f.x - 6.0 * s, tick.position);
        cairo_stroke(cr);
        text(cr, tick.label, f.x - 9.0 * s, tick.position, Align::Right, true);
    }
    setFont(cr, kTickLabelSize * s, true);
    for (const Tick& label : panel.dayLabels) {
        text(cr, label.label, label.position, f.bottom() + 44.0 * s, Align::Centre);
    }
    setFont(cr, kAxisTitleSize * s);
    text(cr, panel.timeTitle, f.x + f.width / 2.0, f.bottom() + 66.0 * s, Align::Centre);
    cairo_save(cr);
    cairo_translate(cr, f.x - 68.0 * s, f.y + f.height / 2.0);
    cairo_rotate(cr, -M_PI / 2.0);
    text(cr, panel.altitudeTitle, 0.0, 0.0, Align::Centre, true);
    cairo_restore(cr);
    setFont(cr, kPanelTitleSize * s, true);
    text(cr, panel.title, f.x, f.y - 8.0 * s, Align::Left);
}

void paintColourBar(cairo_t* cr, const ColourBar& bar, double s) {
    const Rect& f = bar.frame;
    // The scale as a gradient, its low end at the bottom.
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0.0, f.bottom(), 0.0, f.y);
    for (int i = 0; i <= 32; ++i) {
        const double t = i / 32.0;
        const Colour c = scaleColour(t);
        cairo_pattern_add_color_stop_rgb(gradient, t, c.r, c.g, c.b);
    }
    cairo_set_source(cr, gradient);
    cairo_rectangle(cr, f.x, f.y, f.width, f.height);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);

    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1.0 * s);
    cairo_rectangle(cr, f.x, f.y, f.width, f.height);
    cairo_stroke(cr);
    setFont(cr, kTickLabelSize * s);
    for (const Tick& tick : bar.ticks) {
        cairo_move_to(cr, f.right(), tick.position);
        cairo_line_to(cr, f.right() + 6.0 * s, tick.position);
        cairo_stroke(cr);
        text(cr, tick.label, f.right() + 9.0 * s, tick.position, Align::Left, true);
    }
    for (const Tick& tick : bar.secondTicks) {
        cairo_move_to(cr, f.x, tick.position);
        cairo_line_to(cr, f.x - 6.0 * s, tick.position);
        cairo_stroke(cr);
        text(cr, tick.label, f.x - 9.0 * s, tick.position, Align::Right, true);
    }
    text(cr, bar.unit, f.right() + 9.0 * s, f.y - 10.0 * s, Align::Left);
    text(cr, bar.secondUnit, f.x - 9.0 * s, f.y - 10.0 * s, Align::Right);
    setFont(cr, kPanelTitleSize * s, true);
    const double titleX = bar.secondUnit.empty() ? f.x : f.x + f.width / 2.0;
    text(cr, bar.title, titleX, f.y - 32.0 * s, bar.secondUnit.empty() ? Align::Left : Align::Centre);
}

void paintLegend(cairo_t* cr, const Drawing& d, double s) {
    double y = d.legendOrigin.y;
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    setFont(cr, kPanelTitleSize * s, true);
    text(cr, d.legendTitle, d.legendOrigin.x, y, Align::Left);
    for (const LegendBarb& entry : d.legendBarbs) {
        std::vector<Barb> one{entry.barb};
        paintBarbs(cr, one, s);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        setFont(cr, kLegendSize * s);
        text(cr, entry.label, entry.barb.origin.x + 12.0 * s, entry.barb.origin.y, Align::Left,
             true);
        y = std::max(y, entry.barb.origin.y + 10.0 * s);
    }
    y += 20.0 * s;
    setFont(cr, kLegendSize * s);
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    for (const std::string& line : d.legendLines) {
        text(cr, line, d.legendOrigin.x, y, Align::Left);
        y += 19.0 * s;
    }
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

bool checkSurface(cairo_surface_t* surface, std::string& error) {
    const cairo_status_t status = cairo_surface_status(surface);
    if (status == CAIRO_STATUS_SUCCESS) return true;
    error = std::string("cairo: ") + cairo_status_to_string(status);
    return false;
}

// Paints onto a surface, finishes it and reports cairo's errors.
bool paintOnto(cairo_surface_t* surface, const Drawing& drawing, std::string& error) {
    if (!checkSurface(surface, error)) return false;
    cairo_t* cr = cairo_create(surface);
    paintDrawing(cr, drawing);
    const cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = std::string("cairo: ") + cairo_status_to_string(status);
        return false;
    }
    cairo_surface_flush(surface);
    return checkSurface(surface, error);
}

int pixelsOf(double units) { return std::max(1, truncToInt(std::ceil(units))); }

}  // namespace

void paintDrawing(cairo_t* cr, const Drawing& d) {
    const double s = d.textScale;
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    for (const Panel& panel : d.panels) paintPanel(cr, panel, s);
    if (d.hasColourBar) paintColourBar(cr, d.colourBar, s);
    paintLegend(cr, d, s);

    const double left = d.panels.empty() ? 20.0 * s : d.panels.front().frame.x;
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    setFont(cr, kTitleSize * s, true);
    text(cr, d.title, left, 34.0 * s, Align::Left);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    setFont(cr, kSubtitleSize * s);
    text(cr, d.subtitle, left, 58.0 * s, Align::Left);
}

bool paintToBytes(const Drawing& drawing, PlotFormat format, std::string& bytes,
                  std::string& error) {
    bytes.clear();
    cairo_surface_t* surface = nullptr;
    switch (format) {
        case PlotFormat::Png:
            surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelsOf(drawing.width),
                                                 pixelsOf(drawing.height));
            break;
        case PlotFormat::Svg:
            surface = cairo_svg_surface_create_for_stream(appendBytes, &bytes, drawing.width,
                                                          drawing.height);
            break;
        case PlotFormat::Pdf:
            surface = cairo_pdf_surface_create_for_stream(appendBytes, &bytes, drawing.width,
                                                          drawing.height);
            break;
    }
    bool ok = paintOnto(surface, drawing, error);
    if (ok && format == PlotFormat::Png) {
        const cairo_status_t status =
            cairo_surface_write_to_png_stream(surface, appendBytes, &bytes);
        if (status != CAIRO_STATUS_SUCCESS) {
            error = std::string("cairo: ") + cairo_status_to_string(status);
            ok = false;
        }
    }
    // Vector surfaces write their last bytes when finished.
    cairo_surface_finish(surface);
    ok = ok && checkSurface(surface, error);
    cairo_surface_destroy(surface);
    if (!ok) bytes.clear();
    return ok;
}

bool paintToImage(const Drawing& drawing, PlotImage& image, std::string& error) {
    image = PlotImage{};
    const int width = pixelsOf(drawing.width);
    const int height = pixelsOf(drawing.height);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    const bool ok = paintOnto(surface, drawing, error);
    if (ok) {
        image.width = width;
        image.height = height;
        image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < height; ++y) {
            std::memcpy(&image.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)],
                        data + static_cast<std::ptrdiff_t>(y) * stride,
                        static_cast<std::size_t>(width) * sizeof(std::uint32_t));
        }
    }
    cairo_surface_destroy(surface);
    return ok;
}

}  // namespace qv::plot
