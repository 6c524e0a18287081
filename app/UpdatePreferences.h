#pragma once

#include <QDateTime>
#include <QSettings>
#include <QString>

#include <memory>

// What the updater remembers, in the same preferences file as the saved designs, under Sparkle's
// key names. Used on the main thread only.
class UpdatePreferences
{
public:
    // The file at that path; an empty path means the user's own preferences.
    explicit UpdatePreferences(QString file);

    // Off unless the user turned it on: the application does not reach the network unasked.
    bool automaticallyChecks() const;
    void setAutomaticallyChecks(bool on) const;

    // The version the user chose not to be offered again; empty when none.
    QString skippedVersion() const;
    void setSkippedVersion(const QString& version) const;

    // When the last check began; invalid before the first.
    QDateTime lastCheckTime() const;
    void setLastCheckTime(const QDateTime& time) const;

private:
    std::unique_ptr<QSettings> open() const;
    // Written whole or not at all; a failure is printed.
    void store(const QString& key, const QVariant& value) const;

    QString m_file;
};
