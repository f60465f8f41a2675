#include "resources/Resources.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE must stand outside any namespace.
static void initVarnholtResources() {
    Q_INIT_RESOURCE(varnholt);
}

namespace resources {

void init() {
    static const bool done = (initVarnholtResources(), true);
    (void)done;
}

} // namespace resources
