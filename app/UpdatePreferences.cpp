#include "app/UpdatePreferences.h"

namespace {

const QString automaticChecksKey = QStringLiteral("SUEnableAutomaticChecks");
const QString skippedVersionKey = QStringLiteral("SUSkippedVersion");
const QString lastCheckTimeKey = QStringLiteral("SULastCheckTime");

} // namespace

UpdatePreferences::UpdatePreferences(QString file) : m_file(std::move(file)) {}

// Opened for each use, as the saved designs open it, so neither works from a stale copy.
std::unique_ptr<QSettings> UpdatePreferences::open() const
{
    if (m_file.isEmpty())
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                           QStringLiteral("DadorAduravuzo"),
                                           QStringLiteral("DadorAduravuzo"));
    return std::make_unique<QSettings>(m_file, QSettings::IniFormat);
}

bool UpdatePreferences::automaticallyChecks() const
{
    return open()->value(automaticChecksKey, false).toBool();
}

void UpdatePreferences::setAutomaticallyChecks(bool on) const
{
    open()->setValue(automaticChecksKey, on);
}

QString UpdatePreferences::skippedVersion() const
{
    return open()->value(skippedVersionKey).toString();
}

void UpdatePreferences::setSkippedVersion(const QString& version) const
{
    open()->setValue(skippedVersionKey, version);
}

QDateTime UpdatePreferences::lastCheckTime() const
{
    return open()->value(lastCheckTimeKey).toDateTime();
}

void UpdatePreferences::setLastCheckTime(const QDateTime& time) const
{
    open()->setValue(lastCheckTimeKey, time);
}
