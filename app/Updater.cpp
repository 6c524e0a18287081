#include "app/Updater.h"

#include "model/StandardOutput.h"
#include "widgets/Dialogs.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QProgressDialog>
#include <QShortcut>

namespace {

constexpr qint64 secondsPerDay = 24 * 60 * 60;
// A check that answers quickly shows no progress window at all, rather than one that flashes.
constexpr int progressDelayMs = 1000;

using Kind = Dialogs::UpdateAlert::Kind;
using Choice = Dialogs::UpdateAlertAnswer::Choice;

} // namespace

Updater::Updater(UpdaterConfiguration configuration, QObject* parent)
    : QObject(parent), m_configuration(std::move(configuration)),
      m_preferences(m_configuration.preferencesFile), m_network(new QNetworkAccessManager(this))
{}

// The progress window belongs to the window it stands over, which may outlive the updater.
Updater::~Updater()
{
    delete m_progress;
}

void Updater::setConfiguration(UpdaterConfiguration configuration)
{
    m_configuration = std::move(configuration);
    m_preferences = UpdatePreferences(m_configuration.preferencesFile);
}

void Updater::start()
{
    if (m_started)
        return;
    m_started = true;
    setCanCheckForUpdates(true);
    if (automaticCheckIsDue())
        beginCheck(Initiator::automatic);
}

QMetaObject::Connection Updater::observeCanCheckForUpdates(const QObject* context,
                                                           std::function<void(bool)> observer) const
{
    observer(m_canCheckForUpdates);
    return connect(this, &Updater::canCheckForUpdatesChanged, context, std::move(observer));
}

void Updater::checkForUpdates()
{
    if (m_canCheckForUpdates)
        beginCheck(Initiator::user);
}

// A last check in the future means the clock was set back; waiting for that day could take years.
bool Updater::automaticCheckIsDue() const
{
    if (!m_preferences.automaticallyChecks())
        return false;
    const QDateTime last = m_preferences.lastCheckTime();
    const qint64 elapsed = last.secsTo(QDateTime::currentDateTimeUtc());
    return !last.isValid() || elapsed < 0 || elapsed >= secondsPerDay;
}

void Updater::beginCheck(Initiator initiator)
{
    setCanCheckForUpdates(false);
    m_askedFrom = initiator == Initiator::user ? QApplication::activeWindow() : nullptr;
    m_preferences.setLastCheckTime(QDateTime::currentDateTimeUtc());
    // Only a check of its own accord passes over the version the user skipped: one the user asks
    // for says what is there.
    const QString skipped = initiator == Initiator::user ? QString() : m_preferences.skippedVersion();
    m_check = new UpdateCheck(*m_network, m_configuration, skipped, this);
    connect(m_check, &UpdateCheck::finished, this,
            [this, initiator](const CheckOutcome& outcome) { endCheck(outcome, initiator); });
    if (initiator == Initiator::user)
        showProgress();
    m_check->start();
}

void Updater::cancelCheck()
{
    m_check->disconnect(this);
    m_check->deleteLater();
    closeProgress();
    setCanCheckForUpdates(true);
}

// The windows open from the event loop itself, not from within the network reply's signals.
void Updater::endCheck(const CheckOutcome& outcome, Initiator initiator)
{
    m_check->deleteLater();
    closeProgress();
    QMetaObject::invokeMethod(
        this, [this, outcome, initiator] { present(outcome, initiator); }, Qt::QueuedConnection);
}

// A quiet check speaks up only to offer an update; its failures go to the log.
void Updater::present(const CheckOutcome& outcome, Initiator initiator)
{
    const bool userAsked = initiator == Initiator::user;
    if (!outcome && userAsked)
        ask(Kind::failed, tr("Checking for updates failed"), outcome.error());
    else if (!outcome)
        StandardOutput::printLine(QStringLiteral("The automatic update check failed: ") + outcome.error());
    else if (*outcome)
        offer(**outcome);
    else if (userAsked)
        ask(Kind::upToDate, tr("You're up to date"),
            tr("Dador Aduravuzo %1 is the newest version available.").arg(m_configuration.runningVersion));
    setCanCheckForUpdates(true);
}

void Updater::offer(const FoundUpdate& update)
{
    const AppcastItem& item = update.item;
    const QString text = tr("Dador Aduravuzo %1 is available; you have %2. Would you like to download it?")
                             .arg(item.displayVersion(), m_configuration.runningVersion);
    const auto answer =
        ask(Kind::updateAvailable, tr("A new version is available"), text, update.releaseNotes);
    if (answer.choice == Choice::skipThisVersion)
        m_preferences.setSkippedVersion(item.version);
    else if (answer.choice == Choice::download && !Dialogs::openLink(item.downloadUrl()))
        ask(Kind::failed, tr("The download could not be opened"),
            tr("Nothing on this computer could open the download address “%1”.")
                .arg(item.downloadUrl().toDisplayString()));
}

// Every window offers automatic checks as they stand, and keeps what the user left ticked.
Dialogs::UpdateAlertAnswer Updater::ask(Kind kind, const QString& heading, const QString& text,
                                        const QString& releaseNotes)
{
    const Dialogs::UpdateAlert alert{kind, heading, text, releaseNotes, m_preferences.automaticallyChecks()};
    const Dialogs::UpdateAlertAnswer answer = Dialogs::showUpdateAlert(windowsParent(), alert);
    m_preferences.setAutomaticallyChecks(answer.checksAutomatically);
    return answer;
}

void Updater::showProgress()
{
    m_progress = new QProgressDialog(tr("Checking for updates…"), tr("Cancel"), 0, 0, m_askedFrom);
    m_progress->setWindowTitle(tr("Software Update"));
    // Wide enough for its title in a window manager's title bar.
    m_progress->setMinimumWidth(m_progress->fontMetrics().horizontalAdvance(m_progress->windowTitle()) * 3);
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), m_progress);
    connect(quit, &QShortcut::activated, qApp, &QCoreApplication::quit);
    m_progress->setMinimumDuration(progressDelayMs);
    m_progress->setValue(0); // starts the delay after which the window shows itself
    connect(m_progress, &QProgressDialog::canceled, this, &Updater::cancelCheck);
}

void Updater::closeProgress()
{
    if (!m_progress)
        return;
    m_progress->disconnect(this);
    m_progress->hide();
    m_progress->deleteLater();
}

// The windows stand over the window the check was asked from, never over the progress window on
// its way out; a quiet check from start-up takes whichever window is active by then.
QWidget* Updater::windowsParent() const
{
    return m_askedFrom ? m_askedFrom.data() : QApplication::activeWindow();
}

void Updater::setCanCheckForUpdates(bool canCheck)
{
    if (canCheck == m_canCheckForUpdates)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}
