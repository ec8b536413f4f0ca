// Painting a drawing model with cairo: onto any cairo context, into PNG,
// SVG or PDF bytes, or into a pixel buffer. No screen is needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <cairo.h>

#include "plot/drawing_model.h"

namespace qv::plot {

enum class PlotFormat { Png, Svg, Pdf };

// An image in memory: `width` x `height` pixels, rows top to bottom, each
// pixel one 32-bit value 0xAARRGGBB in the machine's byte order (cairo's
// ARGB32; the plots are opaque, so alpha is 0xFF and the colours are not
// premultiplied in effect).
struct PlotImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// Paints the whole drawing onto `cr` (page units = the context's user units).
void paintDrawing(cairo_t* cr, const Drawing& drawing);

// The drawing as the bytes of a PNG, SVG or PDF file.
bool paintToBytes(const Drawing& drawing, PlotFormat format, std::string& bytes,
                  std::string& error);

// The drawing in pixels (1 page unit = 1 pixel).
bool paintToImage(const Drawing& drawing, PlotImage& image, std::string& error);

}  // namespace qv::plot
