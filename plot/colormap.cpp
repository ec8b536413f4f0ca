#include "plot/colormap.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace qv::plot {
namespace {

// The scale sampled at 17 evenly spaced points (0, 1/16, ..., 1), as
// 8-bit sRGB; colours in between are interpolated linearly.
constexpr std::array<unsigned, 17> kScale = {
    0x440154, 0x481a6c, 0x472f7d, 0x414487, 0x39568c, 0x31688e, 0x2a788e, 0x23888e, 0x21918c,
    0x1fa088, 0x28ae80, 0x3fbc73, 0x5ec962, 0x84d44b, 0xaddc30, 0xd8e219, 0xfde725,
};

Colour fromHex(unsigned hex) {
    return {((hex >> 16) & 0xffu) / 255.0, ((hex >> 8) & 0xffu) / 255.0, (hex & 0xffu) / 255.0};
}

}  // namespace

Colour scaleColour(double t) {
    if (!(t > 0.0)) return fromHex(kScale.front());  // also NaN
    if (t >= 1.0) return fromHex(kScale.back());
    const double position = t * static_cast<double>(kScale.size() - 1);
    const double lower = std::floor(position);
    // 0 <= lower < 16: the conversion is in range.
    const auto index = static_cast<std::size_t>(lower);
    const double f = position - lower;
    const Colour a = fromHex(kScale[index]);
    const Colour b = fromHex(kScale[index + 1]);
    return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f};
}

double luminance(const Colour& colour) {
    auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.r) + 0.7152 * linear(colour.g) + 0.0722 * linear(colour.b);
}

}  // namespace qv::plot
