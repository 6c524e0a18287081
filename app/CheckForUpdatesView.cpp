#include "app/CheckForUpdatesView.h"

#include "app/CheckForUpdatesViewModel.h"
#include "app/Updater.h"

CheckForUpdatesView::CheckForUpdatesView(Updater& updater, QObject* parent)
    : QAction(tr("Check for Updates…"), parent), m_updater(updater),
      m_checkForUpdatesViewModel(new CheckForUpdatesViewModel(updater, this))
{
    setEnabled(m_checkForUpdatesViewModel->canCheckForUpdates());
    connect(m_checkForUpdatesViewModel, &CheckForUpdatesViewModel::canCheckForUpdatesChanged, this,
            &QAction::setEnabled);
    connect(this, &QAction::triggered, this, [this] { m_updater.checkForUpdates(); });
}
