#pragma once

#include "app/Updater.h"

#include <QObject>

// The application's one way in to updates, made once at start-up. It owns the updater and, when
// startingUpdater is true, starts it at once, so checks are possible before any window opens.
class UpdaterController : public QObject
{
    Q_OBJECT

public:
    UpdaterController(bool startingUpdater, UpdaterConfiguration configuration, QObject* parent = nullptr);

    Updater& updater() { return m_updater; }

private:
    Updater m_updater;
};
