#include <QProcess>
#include <QTest>

// Starts the real application, as a person would, and checks that it stays up.
class tst_Smoke : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void applicationKeepsRunning()
    {
        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(APP_EXECUTABLE), {});
        QVERIFY2(app.waitForStarted(), qPrintable(app.errorString()));
        QTest::qWait(3000);
        QCOMPARE(app.state(), QProcess::Running);
        app.kill();
        QVERIFY(app.waitForFinished());
    }
};

QTEST_GUILESS_MAIN(tst_Smoke)
#include "tst_Smoke.moc"
