// The program icon: kept as resources in every installed size, and drawn
// with a transparent outside and an opaque picture.
#include "ui/program_icon.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace qv {
namespace {

TEST(ProgramIcon, ResourcesHoldEverySize) {
    const QIcon icon = programIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : kIconSizes) {
        const QImage image(QStringLiteral(":/quorvane/icons/quorvane-%1.png").arg(size));
        ASSERT_FALSE(image.isNull()) << size;
        EXPECT_EQ(image.size(), QSize(size, size));
    }
    EXPECT_EQ(icon.availableSizes().size(), static_cast<qsizetype>(std::size(kIconSizes)));
}

TEST(ProgramIcon, DrawingIsOpaqueInsideAndTransparentAtTheCorners) {
    for (int size : {16, 256}) {
        const QImage image = drawProgramIcon(size);
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
    }
}

}  // namespace
}  // namespace qv
