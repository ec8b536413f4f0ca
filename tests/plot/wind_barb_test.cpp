// Wind barb geometry: staff direction, feather side and feather counts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plot/colormap.h"
#include "plot/wind_barb.h"

namespace qv::plot {
namespace {

struct DirectionCase {
    double from;
    Vec2 staff;  // page coordinates: x right, y down
    Vec2 side;   // northern hemisphere
    const char* name;
};

TEST(WindBarb_Geometry, StaffPointsTowardWhereTheWindComesFrom) {
    const double r = std::sqrt(0.5);
    const DirectionCase cases[] = {
        {0.0, {0.0, -1.0}, {1.0, 0.0}, "from north: staff up, feathers east"},
        {90.0, {1.0, 0.0}, {0.0, 1.0}, "from east: staff right, feathers south"},
        {180.0, {0.0, 1.0}, {-1.0, 0.0}, "from south: staff down, feathers west"},
        {270.0, {-1.0, 0.0}, {0.0, -1.0}, "from west: staff left, feathers north"},
        {45.0, {r, -r}, {r, r}, "from north-east: staff up and right"},
        {360.0, {0.0, -1.0}, {1.0, 0.0}, "360 is north"},
    };
    for (const DirectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Vec2 staff = staffDirection(c.from);
        EXPECT_NEAR(staff.x, c.staff.x, 1e-12);
        EXPECT_NEAR(staff.y, c.staff.y, 1e-12);
        const Vec2 side = featherSide(staff, false);
        EXPECT_NEAR(side.x, c.side.x, 1e-12);
        EXPECT_NEAR(side.y, c.side.y, 1e-12);
        const Vec2 south = featherSide(staff, true);
        EXPECT_NEAR(south.x, -c.side.x, 1e-12);
        EXPECT_NEAR(south.y, -c.side.y, 1e-12);
    }
}

struct SpeedCase {
    double metresPerSecond;
    int knots;
    int pennants;
    int full;
    int half;
};

TEST(WindBarb_Feathers, SpeedsRoundToTheNearestFiveKnots) {
    const SpeedCase cases[] = {
        {2.0, 5, 0, 0, 1},     // 3.9 kt
        {5.0, 10, 0, 1, 0},    // 9.7 kt
        {12.5, 25, 0, 2, 1},   // 24.3 kt
        {27.0, 50, 1, 0, 0},   // 52.5 kt
        {63.0, 120, 2, 2, 0},  // 122.5 kt
        {0.0, 0, 0, 0, 0},
        {1.28, 0, 0, 0, 0},    // 2.49 kt: calm
        {1.29, 5, 0, 0, 1},    // 2.51 kt
        {25.5, 50, 1, 0, 0},   // 49.6 kt
        {33.4, 65, 1, 1, 1},   // 64.9 kt
    };
    for (const SpeedCase& c : cases) {
        SCOPED_TRACE(c.metresPerSecond);
        const BarbFeathers f = barbFeathers(c.metresPerSecond);
        EXPECT_EQ(f.knots, c.knots);
        EXPECT_EQ(f.pennants, c.pennants);
        EXPECT_EQ(f.fullBarbs, c.full);
        EXPECT_EQ(f.halfBarbs, c.half);
        EXPECT_EQ(f.calm(), c.knots == 0);
    }
}

TEST(WindBarb_Feathers, ValuesThatAreNoSpeedAreCalmAndHugeOnesBounded) {
    EXPECT_TRUE(barbFeathers(std::numeric_limits<double>::quiet_NaN()).calm());
    EXPECT_TRUE(barbFeathers(-5.0).calm());
    EXPECT_TRUE(barbFeathers(-std::numeric_limits<double>::infinity()).calm());
    const BarbFeathers huge = barbFeathers(1e30);
    EXPECT_EQ(huge.knots, 1000);
    EXPECT_EQ(huge.pennants, 20);
    EXPECT_TRUE(barbFeathers(std::numeric_limits<double>::infinity()).calm());
}

TEST(ColourScale, LightnessRisesAlongTheScaleSoItReadsInGrey) {
    double previous = -1.0;
    for (int i = 0; i <= 64; ++i) {
        const double l = luminance(scaleColour(i / 64.0));
        EXPECT_GT(l, previous) << "at " << i << "/64";
        previous = l;
    }
    // The ends are far apart in lightness.
    EXPECT_LT(luminance(scaleColour(0.0)), 0.05);
    EXPECT_GT(luminance(scaleColour(1.0)), 0.7);
}

TEST(ColourScale, OutOfRangeAndNaNAreClampedToTheEnds) {
    const Colour low = scaleColour(0.0);
    const Colour high = scaleColour(1.0);
    const Colour nan = scaleColour(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(scaleColour(-3.0).r, low.r);
    EXPECT_EQ(nan.g, low.g);
    EXPECT_EQ(scaleColour(7.0).b, high.b);
    EXPECT_NEAR(high.r, 0xfd / 255.0, 1e-12);
}

}  // namespace
}  // namespace qv::plot
