#include "plot/wind_barb.h"

#include <cmath>
#include <numbers>

#include "core/numeric.h"

namespace qv::plot {

BarbFeathers barbFeathers(double speedMetresPerSecond) {
    BarbFeathers feathers;
    if (!std::isfinite(speedMetresPerSecond) || speedMetresPerSecond <= 0.0) return feathers;
    const double knots = std::fmin(speedMetresPerSecond * kKnotsPerMetrePerSecond, 1000.0);
    // Nearest 5 kt, halves rounded up (2.5 kt is drawn as a half barb).
    const int fives = truncToInt(std::floor(knots / 5.0 + 0.5));
    feathers.knots = fives * 5;
    feathers.pennants = fives / 10;
    feathers.fullBarbs = (fives % 10) / 2;
    feathers.halfBarbs = fives % 2;
    return feathers;
}

Vec2 staffDirection(double directionFrom) {
    const double radians = directionFrom * std::numbers::pi / 180.0;
    // North is up (negative y), east is right.
    return {std::sin(radians), -std::cos(radians)};
}

Vec2 featherSide(Vec2 staff, bool southernHemisphere) {
    // A quarter turn clockwise on the map is (x, y) -> (-y, x) on the page.
    const Vec2 clockwise{-staff.y, staff.x};
    return southernHemisphere ? Vec2{-clockwise.x, -clockwise.y} : clockwise;
}

}  // namespace qv::plot
