#pragma once

#include <QAction>

class CheckForUpdatesViewModel;
class Updater;

// The "Check for Updates…" menu item. Choosing it asks the updater for a check and does nothing
// else; it is greyed out while the updater cannot check, and follows at once when that changes,
// even in a menu that is open.
class CheckForUpdatesView : public QAction
{
    Q_OBJECT

public:
    explicit CheckForUpdatesView(Updater& updater, QObject* parent = nullptr);

private:
    Updater& m_updater;
    CheckForUpdatesViewModel* m_checkForUpdatesViewModel;
};
