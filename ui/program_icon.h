// The program icon: a profiler antenna under its three beams, with the wind
// they measure. Drawn in code; the drawn images are kept as PNG resources.
#pragma once

#include <QIcon>
#include <QImage>

namespace qv {

// Draws the icon at `size` x `size` pixels on a transparent background.
QImage drawProgramIcon(int size);

// The icon from the program's resources, in every size kept there.
QIcon programIcon();

// The sizes kept as resources and installed with the program.
inline constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};

}  // namespace qv
