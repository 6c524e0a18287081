#include "app/UpdatePreferences.h"

#include "model/openPreferences.h"

namespace {

const QString automaticChecksKey = QStringLiteral("SUEnableAutomaticChecks");
const QString skippedVersionKey = QStringLiteral("SUSkippedVersion");
const QString lastCheckTimeKey = QStringLiteral("SULastCheckTime");

} // namespace

UpdatePreferences::UpdatePreferences(QString file) : m_file(std::move(file)) {}

// Opened for each use, as the saved designs open it, so neither works from a stale copy.
std::unique_ptr<QSettings> UpdatePreferences::open() const
{
    return openPreferences(m_file);
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
