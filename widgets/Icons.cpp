#include "widgets/Icons.h"

#include "widgets/Resources.h"

#include <QFile>

namespace Icons {

QIcon icon(const QString& name)
{
    Resources::ensureRegistered();
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

QIcon applicationIcon()
{
    return icon(QStringLiteral("application"));
}

} // namespace Icons
