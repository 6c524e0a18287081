#include "app/UpdaterController.h"

UpdaterController::UpdaterController(bool startingUpdater, UpdaterConfiguration configuration,
                                     QObject* parent)
    : QObject(parent), m_updater(std::move(configuration))
{
    if (startingUpdater)
        m_updater.start();
}
