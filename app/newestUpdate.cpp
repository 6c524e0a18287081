#include "app/newestUpdate.h"

#include <QSysInfo>
#include <QVersionNumber>

namespace {

QVersionNumber versionOf(const QString& text)
{
    return QVersionNumber::fromString(text).normalized();
}

// A system whose version is unknown, or an item that names none, is given the benefit of the doubt.
bool systemMeets(const AppcastItem& item)
{
    const QVersionNumber system = versionOf(QSysInfo::productVersion());
    const QVersionNumber minimum = versionOf(item.minimumSystemVersion);
    return system.isNull() || minimum.isNull() || system >= minimum;
}

} // namespace

std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items, const QString& runningVersion,
                                        const QString& skippedVersion)
{
    const AppcastItem* newest = nullptr;
    QVersionNumber newestVersion = versionOf(runningVersion);
    for (const AppcastItem& item : items) {
        const QVersionNumber version = versionOf(item.version);
        if (version > newestVersion && systemMeets(item)) {
            newest = &item;
            newestVersion = version;
        }
    }
    if (!newest || (!skippedVersion.isEmpty() && newestVersion == versionOf(skippedVersion)))
        return std::nullopt;
    return *newest;
}
