#include "ui/program_icon.h"

#include <QString>

// The resources live in a static library: referencing them here keeps the
// linker from dropping them.
static void initProgramIconResources() { Q_INIT_RESOURCE(quorvane); }

namespace qv {

QIcon programIcon() {
    initProgramIconResources();
    QIcon icon;
    for (int size : kIconSizes) {
        icon.addFile(QStringLiteral(":/quorvane/icons/quorvane-%1.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

}  // namespace qv
