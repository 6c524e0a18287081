#pragma once

#include "app/UpdateCheck.h"
#include "app/UpdatePreferences.h"
#include "app/UpdaterConfiguration.h"
#include "widgets/Dialogs.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QNetworkAccessManager;
class QProgressDialog;
class QWidget;

// Looks for a newer release in the update feed and offers it. The application never installs
// anything itself: "Download" hands the release's address to the desktop. Network replies arrive
// on the main thread, like everything else here.
class Updater : public QObject
{
    Q_OBJECT

public:
    explicit Updater(UpdaterConfiguration configuration, QObject* parent = nullptr);
    ~Updater() override;

    // Makes checks possible and, when the user turned automatic checks on and none began within
    // the last day, checks quietly: only an update gets a window. Later calls do nothing.
    void start();

    // False until start(), and while a check runs (its windows included).
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    // Tells observer the current value at once, then every change, until context is destroyed.
    QMetaObject::Connection observeCanCheckForUpdates(const QObject* context,
                                                      std::function<void(bool)> observer) const;

    // The user's check: runs at once and answers with a window whatever it finds. Nothing
    // happens while canCheckForUpdates() is false.
    void checkForUpdates();

    const UpdaterConfiguration& configuration() const { return m_configuration; }
    void setConfiguration(UpdaterConfiguration configuration);

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheckForUpdates);

private:
    enum class Initiator
    {
        user,
        automatic,
    };

    bool automaticCheckIsDue() const;
    void beginCheck(Initiator initiator);
    void cancelCheck();
    void endCheck(const CheckOutcome& outcome, Initiator initiator);
    void present(const CheckOutcome& outcome, Initiator initiator);
    void offer(const FoundUpdate& update);
    Dialogs::UpdateAlertAnswer ask(Dialogs::UpdateAlert::Kind kind, const QString& heading,
                                   const QString& text, const QString& releaseNotes = {});
    void showProgress();
    void closeProgress();
    QWidget* windowsParent() const;
    void setCanCheckForUpdates(bool canCheck);

    UpdaterConfiguration m_configuration;
    UpdatePreferences m_preferences;
    QNetworkAccessManager* m_network;
    QPointer<UpdateCheck> m_check;
    QPointer<QProgressDialog> m_progress;
    QPointer<QWidget> m_askedFrom;
    bool m_started = false;
    bool m_canCheckForUpdates = false;
};
