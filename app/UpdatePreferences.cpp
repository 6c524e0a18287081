#include "app/UpdatePreferences.h"

#include "model/StandardOutput.h"
#include "model/openPreferences.h"
#include "model/writePreferences.h"

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

// Nothing depends on these values being kept, so a failed write is only reported.
void UpdatePreferences::store(const QString& key, const QVariant& value) const
{
    const FileOutcome written =
        writePreferences(m_file, [&](QSettings& settings) { settings.setValue(key, value); });
    if (!written)
        StandardOutput::printLine(QStringLiteral("Error saving update preferences: ") + written.error());
}

bool UpdatePreferences::automaticallyChecks() const
{
    return open()->value(automaticChecksKey, false).toBool();
}

void UpdatePreferences::setAutomaticallyChecks(bool on) const
{
    store(automaticChecksKey, on);
}

QString UpdatePreferences::skippedVersion() const
{
    return open()->value(skippedVersionKey).toString();
}

void UpdatePreferences::setSkippedVersion(const QString& version) const
{
    store(skippedVersionKey, version);
}

QDateTime UpdatePreferences::lastCheckTime() const
{
    return open()->value(lastCheckTimeKey).toDateTime();
}

void UpdatePreferences::setLastCheckTime(const QDateTime& time) const
{
    store(lastCheckTimeKey, time);
}
