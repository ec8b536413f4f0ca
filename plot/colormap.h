// The colour scale of the plots: a perceptually uniform sequential scale
// (the "viridis" scale, dark blue-violet through teal and green to yellow).
// Its lightness rises steadily from one end to the other, so it reads in
// grey print, and its hues stay apart for readers with red-green colour
// vision deficiency.
#pragma once

namespace qv::plot {

struct Colour {
    double r = 0.0;  // 0..1
    double g = 0.0;
    double b = 0.0;
};

// Colour at position `t` of the scale, 0 (low end) to 1 (high end); values
// outside are clamped, NaN gives the low end.
Colour scaleColour(double t);

// Relative luminance (0 dark .. 1 light) of a colour, for tests and for
// choosing outline colours.
double luminance(const Colour& colour);

}  // namespace qv::plot
