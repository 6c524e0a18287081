#pragma once

#include "render/FileOutcome.h"

#include <QSettings>
#include <QString>

#include <functional>

// Applies change to the preferences file at path (the user's own with an empty path) and writes
// the file whole or not at all: the path written, or why nothing was ("the disk is full"). The
// file QSettings will read back is first read back here and must hold exactly what was set;
// only then are its bytes written through a checked write, flushed to the disk and renamed over
// the file, so a write cut short leaves the earlier preferences as they were.
FileOutcome writePreferences(const QString& path, const std::function<void(QSettings&)>& change);
