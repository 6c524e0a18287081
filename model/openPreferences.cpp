#include "model/openPreferences.h"

std::unique_ptr<QSettings> openPreferences(const QString& path)
{
    if (path.isEmpty())
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                           QStringLiteral("DadorAduravuzo"),
                                           QStringLiteral("DadorAduravuzo"));
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}
