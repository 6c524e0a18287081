#pragma once

#include <QObject>

class Updater;

// Whether "Check for Updates…" can be chosen: false until it hears from the updater, which tells
// it the current value as soon as it subscribes, and every change after that.
class CheckForUpdatesViewModel : public QObject
{
    Q_OBJECT

public:
    explicit CheckForUpdatesViewModel(const Updater& updater, QObject* parent = nullptr);

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheckForUpdates);

private:
    void setCanCheckForUpdates(bool canCheck);

    bool m_canCheckForUpdates = false;
};
