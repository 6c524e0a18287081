#include "app/CheckForUpdatesViewModel.h"

#include "app/Updater.h"

CheckForUpdatesViewModel::CheckForUpdatesViewModel(const Updater& updater, QObject* parent) : QObject(parent)
{
    updater.observeCanCheckForUpdates(this, [this](bool canCheck) { setCanCheckForUpdates(canCheck); });
}

void CheckForUpdatesViewModel::setCanCheckForUpdates(bool canCheck)
{
    if (canCheck == m_canCheckForUpdates)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}
