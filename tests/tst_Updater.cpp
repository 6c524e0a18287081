#include "app/ApplicationMenuButton.h"
#include "app/BoundedDownload.h"
#include "app/CheckForUpdatesView.h"
#include "app/CheckForUpdatesViewModel.h"
#include "app/CustomHeaderView.h"
#include "app/DadorAduravuzoApp.h"
#include "app/UpdatePreferences.h"
#include "widgets/Dialogs.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <map>

using Kind = Dialogs::UpdateAlert::Kind;
using Choice = Dialogs::UpdateAlertAnswer::Choice;

namespace {

// A web server on the loopback that answers each path with fixed bytes, or never when it has
// none for it, and counts the requests it receives.
class FeedServer : public QTcpServer
{
public:
    FeedServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }

    std::map<QByteArray, QByteArray> responses;
    int requests = 0;

private:
    void serve(QTcpSocket* socket)
    {
        if (!socket->canReadLine())
            return;
        const QByteArray path = socket->readLine().split(' ').value(1);
        disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        ++requests;
        if (const auto response = responses.find(path); response != responses.end()) {
            socket->write(response->second);
            socket->disconnectFromHost();
        }
    }
};

QByteArray http(const QByteArray& status, const QByteArray& body, bool withLength = true)
{
    const QByteArray length = withLength ? "Content-Length: " + QByteArray::number(body.size()) + "\r\n" : "";
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/rss+xml\r\n" + length +
           "Connection: close\r\n\r\n" + body;
}

QByteArray appcast(const QList<QByteArray>& versions)
{
    QByteArray items;
    for (const QByteArray& version : versions)
        items += "<item><title>Version " + version + "</title><sparkle:version>" + version +
                 "</sparkle:version><pubDate>Mon, 03 Jun 2024 10:00:00 +0000</pubDate>"
                 "<enclosure url=\"https://example.org/dador-aduravuzo-" +
                 version + ".deb\" length=\"1000\" type=\"application/vnd.debian.binary-package\"/></item>";
    return http("200 OK", "<?xml version=\"1.0\"?><rss version=\"2.0\" "
                          "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>" +
                              items + "</channel></rss>");
}

} // namespace

class tst_Updater : public QObject
{
    Q_OBJECT

private:
    FeedServer m_server;
    QTemporaryDir m_folder;
    std::vector<Dialogs::UpdateAlert> m_alerts;
    std::vector<Dialogs::UpdateAlertAnswer> m_answers; // given in turn; dismissing once they run out

    UpdaterConfiguration configuration(const QString& runningVersion = QStringLiteral("0.1.0"))
    {
        return {m_server.url(QStringLiteral("/feed")),
                runningVersion,
                {std::chrono::milliseconds(1500), 1024 * 1024},
                m_folder.filePath(QStringLiteral("preferences.ini"))};
    }

    // Runs a check to its end, windows answered; false when it never ended.
    static bool check(Updater& updater, QAction* item = nullptr)
    {
        item ? item->trigger() : updater.checkForUpdates();
        return QTest::qWaitFor([&] { return updater.canCheckForUpdates(); });
    }

private Q_SLOTS:
    void init()
    {
        QFile::remove(m_folder.filePath(QStringLiteral("preferences.ini")));
        m_server.requests = 0;
        m_alerts.clear();
        Dialogs::setUpdateAlertAnswer([this](const Dialogs::UpdateAlert& alert) {
            m_alerts.push_back(alert);
            Dialogs::UpdateAlertAnswer answer;
            if (m_alerts.size() <= m_answers.size())
                answer = m_answers[m_alerts.size() - 1];
            return answer;
        });
    }

    // The application's updater runs from start-up. A model made before its updater started holds
    // false, then follows every flip, false during a whole check, windows included. (The header's
    // menu item shows a model made after.)
    void modelsFollowTheUpdater()
    {
        QVERIFY(DadorAduravuzoApp::current()->updaterController().updater().canCheckForUpdates());
        m_server.responses = {{"/feed", appcast({"0.1.0"})}};
        UpdaterController controller(false, configuration());
        Updater& updater = controller.updater();
        CheckForUpdatesViewModel before(updater);
        QSignalSpy flips(&before, &CheckForUpdatesViewModel::canCheckForUpdatesChanged);
        updater.checkForUpdates(); // not started: ignored
        QCOMPARE(before.canCheckForUpdates(), false);
        updater.start();
        std::optional<bool> duringWindow;
        Dialogs::setUpdateAlertAnswer([&](const Dialogs::UpdateAlert&) {
            duringWindow = before.canCheckForUpdates();
            return Dialogs::UpdateAlertAnswer();
        });
        QVERIFY(check(updater));
        QCOMPARE(duringWindow, false);
        QCOMPARE(m_server.requests, 1);
        using Flips = QList<QList<QVariant>>;
        QCOMPARE(Flips(flips), (Flips{{true}, {false}, {true}}));
    }

    void checkAnswers_data()
    {
        QTest::addColumn<QByteArray>("response"); // empty: the server never answers
        QTest::addColumn<QString>("runningVersion");
        QTest::addColumn<QString>("skippedVersion");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("saying");

        const QString available = QStringLiteral("Dador Aduravuzo %1 is available; you have %2.");
        const QString upToDate = QStringLiteral("Dador Aduravuzo %1 is the newest version available.");
        QTest::newRow("newer") << appcast({"0.0.9", "0.2.0", "0.1.5"}) << "0.1.0"
                               << "" << Kind::updateAvailable << available.arg("0.2.0", "0.1.0");
        QTest::newRow("same") << appcast({"0.1.0"}) << "0.1.0"
                              << "" << Kind::upToDate << upToDate.arg("0.1.0");
        QTest::newRow("older") << appcast({"0.0.9"}) << "0.1.0"
                               << "" << Kind::upToDate << upToDate.arg("0.1.0");
        QTest::newRow("1.10 after 1.9") << appcast({"1.9", "1.10"}) << "1.9"
                                        << "" << Kind::updateAvailable << available.arg("1.10", "1.9");
        // The user asked: a skipped version is only passed over by the checks of its own accord.
        QTest::newRow("skipped") << appcast({"0.2.0"}) << "0.1.0"
                                 << "0.2.0" << Kind::updateAvailable << available.arg("0.2.0", "0.1.0");
        QTest::newRow("malformed") << http("200 OK", "<rss version=\"2.0\"><channel><item>") << "0.1.0"
                                   << "" << Kind::failed << "cannot be read: it is damaged at line 1 (";
        QTest::newRow("web page") << http("200 OK", "<html><body>Sign in</body></html>") << "0.1.0"
                                  << "" << Kind::failed << "cannot be read: it is not an update feed";
        QTest::newRow("404") << http("404 Not Found", "gone") << "0.1.0"
                             << "" << Kind::failed << "answered with an error: 404 Not Found";
        QTest::newRow("no answer") << QByteArray() << "0.1.0"
                                   << "" << Kind::failed << "did not answer within 1.5 seconds";
        QTest::newRow("redirect to http")
            << "HTTP/1.1 302 Found\r\nLocation: " + m_server.url(QStringLiteral("/other")).toEncoded() +
                   "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
            << "0.1.0"
            << "" << Kind::failed << "which is not a secure address";
        QTest::newRow("too large") << http("200 OK", QByteArray(1024 * 1024 + 1, ' '), false) << "0.1.0"
                                   << "" << Kind::failed << "larger than 1 MB";
    }

    // One request, one window saying what the check found.
    void checkAnswers()
    {
        QFETCH(QByteArray, response);
        QFETCH(QString, runningVersion);
        QFETCH(QString, skippedVersion);
        m_server.responses.clear();
        if (!response.isEmpty())
            m_server.responses = {{"/feed", response}};
        UpdaterController controller(true, configuration(runningVersion));
        UpdatePreferences(configuration().preferencesFile).setSkippedVersion(skippedVersion);
        QVERIFY(check(controller.updater()));
        QCOMPARE(m_server.requests, 1);
        QFETCH(Kind, kind);
        QFETCH(QString, saying);
        QCOMPARE(m_alerts.size(), size_t(1));
        QCOMPARE(m_alerts[0].kind, kind);
        QVERIFY2(m_alerts[0].text.contains(saying) && !m_alerts[0].text.contains(QLatin1String(".).")),
                 qPrintable(m_alerts[0].text));
    }

    // Only https leaves this computer; plain http reaches nothing but the loopback.
    void onlySecureAddresses()
    {
        for (const char* url :
             {"https://example.org/feed", "http://127.0.0.1:8080/feed", "http://[::1]/feed"})
            QVERIFY2(BoundedDownload::isAllowed(QUrl(QString::fromLatin1(url))), url);
        for (const char* url :
             {"http://example.org/feed", "http://127.0.0.1.example.org/", "ftp://127.0.0.1/"})
            QVERIFY2(!BoundedDownload::isAllowed(QUrl(QString::fromLatin1(url))), url);
    }

    // The header's menu, opened from the keyboard too: the application's information, "Check for
    // Updates…" directly after it, greyed out while its check runs and back at once in the open
    // menu; one request per choice. "Download" hands the enclosure to the desktop; a version
    // skipped is still shown to the user who asks, and the automatic-checks box is kept.
    void headerMenu()
    {
        Updater& updater = DadorAduravuzoApp::current()->updaterController().updater();
        updater.setConfiguration(configuration());
        m_server.responses = {{"/feed", appcast({"0.2.0"})}};
        CustomHeaderView header(QStringLiteral("Home"));
        QMenu* menu = header.findChild<ApplicationMenuButton*>()->menu();
        QCOMPARE(header.findChild<ApplicationMenuButton*>()->accessibleName(),
                 QStringLiteral("Application Menu"));
        header.show();
        QVERIFY(QTest::qWaitForWindowActive(&header));
        bool openedByKey = false;
        QTimer::singleShot(0, menu, [&] {
            openedByKey = menu->isVisible();
            menu->close();
        });
        QTest::keyClick(&header, Qt::Key_F10); // returns once the menu has closed
        QVERIFY(openedByKey);
        QStringList titles;
        for (const QAction* action : menu->actions())
            titles << action->text();
        QCOMPARE(titles, (QStringList{"About Dador Aduravuzo", QStringLiteral("Check for Updates\u2026"), "",
                                      "Quit"}));
        QCOMPARE(menu->actions().last()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QString about;
        Dialogs::setInformationAnswer([&](const QString&, const QString& text) { about = text; });
        menu->actions().first()->trigger();
        const QStringList facts{QCoreApplication::applicationVersion(), "LGPL-3.0", "Apache-2.0",
                                "GPL-3.0-or-later"};
        for (const QString& fact : facts)
            QVERIFY2(about.contains(fact), qPrintable(fact));

        QList<QUrl> opened;
        Dialogs::setOpenLinkAnswer([&](const QUrl& link) {
            opened.append(link);
            return true;
        });
        m_answers = {{Choice::download, true}, {Choice::skipThisVersion, true}};
        auto* item = qobject_cast<CheckForUpdatesView*>(menu->actions().at(1));
        menu->popup({0, 0});
        item->trigger();
        QVERIFY(!item->isEnabled());
        item->trigger();
        QVERIFY(QTest::qWaitFor([&] { return item->isEnabled(); }));
        QVERIFY(menu->isVisible());
        QCOMPARE(m_server.requests, 1);
        QCOMPARE(opened, QList<QUrl>{QUrl("https://example.org/dador-aduravuzo-0.2.0.deb")});
        QVERIFY(check(updater, item));
        QVERIFY(check(updater, item));
        QCOMPARE(m_server.requests, 3);
        QCOMPARE(m_alerts.back().kind, Kind::updateAvailable);
        QCOMPARE(m_alerts.back().checksAutomatically, true);
        Dialogs::setOpenLinkAnswer({});
        Dialogs::setInformationAnswer({});
        m_answers.clear();
    }
};

int main(int argc, char** argv)
{
    DadorAduravuzoApp app(argc, argv);
    tst_Updater test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Updater.moc"
