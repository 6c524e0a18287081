#include "app/Icons.h"

#include <QFile>

// The resources live in a static library, whose registration the linker would otherwise drop.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Icons {

QIcon icon(const QString& name)
{
    static const bool registered = (registerResources(), true);
    Q_UNUSED(registered);
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace Icons
