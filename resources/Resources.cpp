#include "resources/Resources.h"

#include <QSize>
#include <QString>
#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE must stand outside any namespace.
static void initVarnholtResources() {
    Q_INIT_RESOURCE(varnholt);
    Q_INIT_RESOURCE(window_icons);
}

namespace resources {

void init() {
    static const bool done = (initVarnholtResources(), true);
    (void)done;
}

QIcon windowIcon(const QPixmap& drawn) {
    init();
    QIcon icon(drawn);
    for (const int size : {16, 32, 48, 256})
        if (size != drawn.width())
            icon.addFile(QStringLiteral(":/icons/app-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace resources
