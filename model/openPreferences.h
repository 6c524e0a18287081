#pragma once

#include <QSettings>
#include <QString>

#include <memory>

// The application's preferences: the file at path, or with an empty path the user's own
// (DadorAduravuzo.conf in the configuration folder). QSettings writes through a temporary file
// and a rename, so an interrupted or failed write leaves the previous values in place. Opened
// for each use, so no reader works from a stale copy.
std::unique_ptr<QSettings> openPreferences(const QString& path);
