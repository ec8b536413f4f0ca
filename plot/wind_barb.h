// Wind barbs by the meteorological convention: a staff from the station
// point toward the direction the wind comes from, with feathers at its far
// end: a pennant for 50 kt, a full barb for 10 kt, a half barb for 5 kt,
// the speed rounded to the nearest 5 kt. Feathers stand on the clockwise
// side of the staff in the northern hemisphere (toward low pressure) and on
// the other side in the southern.
//
// Page coordinates throughout: x to the right, y down, north up.
#pragma once

namespace qv::plot {

inline constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;

struct Vec2 {
    double x = 0.0;
    double y = 0.0;
};

struct BarbFeathers {
    int knots = 0;  // speed rounded to the nearest 5 kt
    int pennants = 0;
    int fullBarbs = 0;
    int halfBarbs = 0;  // 0 or 1
    bool calm() const { return knots == 0; }
};

// Feathers of a speed in m/s (negative, NaN or infinite speeds are calm;
// speeds beyond 1000 kt are drawn as 1000 kt).
BarbFeathers barbFeathers(double speedMetresPerSecond);

// Unit vector from the station point toward the direction the wind comes
// from, `directionFrom` in degrees clockwise from north.
Vec2 staffDirection(double directionFrom);

// Unit vector toward the side the feathers stand on, for a staff direction.
Vec2 featherSide(Vec2 staff, bool southernHemisphere);

}  // namespace qv::plot
