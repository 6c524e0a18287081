#include "app/CommandLine.h"
#include "app/ContentView.h"
#include "app/MainWindow.h"
#include "home/FileIntake.h"
#include "home/HomeView.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;

// Files named on the command line, as "Open With" in a file manager passes them, reach the Home
// list through the drop's intake: judged by content, listed once, in their order.
class tst_OpenFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandLineFilesJoinTheHomeList()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString document = dir.filePath(QStringLiteral("report.pdf"));
        writePdf(document, {Page{.content = textContent(QStringLiteral("Report"), 72, 720)}});
        writeSolidPicture(dir.filePath(QStringLiteral("photo.png")), QSize(40, 30), Qt::blue);
        writeFile(dir.filePath(QStringLiteral("x.pdf")), "plain text, not a PDF\n");
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        // Relative names count from the folder the program started in; the last one names the
        // first file again by another path.
        const QList<QUrl> files =
            CommandLine::filesToOpen({QStringLiteral("dador-aduravuzo"), document, QStringLiteral("x.pdf"),
                                      QStringLiteral("photo.png"), QStringLiteral("missing.pdf"),
                                      QStringLiteral("elsewhere/../report.pdf")});
        QDir::setCurrent(previous);

        MainWindow window;
        window.findChild<ContentView*>()->setSelectedTab(Tab::watermarks);
        window.openFiles(files);
        FileIntake::waitForJudgements();
        QCoreApplication::processEvents();

        auto* home = window.findChild<HomeView*>();
        QVERIFY2(home, "the files are shown on the Home screen");
        const QList<QUrl> expected{QUrl::fromLocalFile(document),
                                   QUrl::fromLocalFile(dir.filePath(QStringLiteral("photo.png")))};
        QCOMPARE(home->state().draggedFiles(), expected);
    }
};

QTEST_MAIN(tst_OpenFiles)
#include "tst_OpenFiles.moc"
