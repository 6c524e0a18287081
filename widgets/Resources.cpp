#include "widgets/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must stand outside any namespace.
static bool registerResources()
{
    Q_INIT_RESOURCE(resources);
    return true;
}

namespace Resources {

void ensureRegistered()
{
    static const bool registered = registerResources();
    Q_UNUSED(registered);
}

} // namespace Resources
