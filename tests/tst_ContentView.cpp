#include "app/CommandLine.h"
#include "app/ContentView.h"
#include "app/CustomHeaderView.h"
#include "app/MainWindow.h"
#include "app/WindowControlButton.h"
#include "designs/WatermarksView.h"
#include "home/FileIntake.h"
#include "home/HomeView.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;

class tst_ContentView : public QObject
{
    Q_OBJECT

private:
    // Clicks a sidebar row the way a person does; with Ctrl a selected row is deselected.
    static void clickRow(ContentView& content, int row, Qt::KeyboardModifiers modifiers = {})
    {
        auto* list = content.findChild<QListWidget*>(QStringLiteral("sidebar"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualItemRect(list->item(row)).center());
    }

    static void dragHandle(QSplitter& splitter, int distance)
    {
        QSplitterHandle* handle = splitter.handle(1);
        const QPoint start = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, start);
        QTest::mouseMove(handle, start + QPoint(distance, 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, start + QPoint(distance, 0));
    }

private Q_SLOTS:
    // The sidebar picks the screen: Home at launch, a row's screen on a click, a placeholder when
    // none is chosen. A screen that is left is gone with all it held.
    void sidebarPicksTheScreen()
    {
        ContentView content;
        content.resize(1000, 440);
        content.show();
        QVERIFY(QTest::qWaitForWindowExposed(&content));
        QCOMPARE(content.selectedTab(), Tab::home);
        QCOMPARE(content.findChild<QListWidget*>(QStringLiteral("sidebar"))->selectedItems().first()->text(),
                 QStringLiteral("Home"));
        QPointer<HomeView> first = qobject_cast<HomeView*>(content.detailWidget());
        QVERIFY(first);
        first->state().appendFile(QUrl::fromLocalFile(QStringLiteral("/tmp/a.pdf")));

        auto* header = content.findChild<CustomHeaderView*>();
        clickRow(content, 1);
        QCOMPARE(content.selectedTab(), Tab::watermarks);
        QVERIFY(qobject_cast<WatermarksView*>(content.detailWidget()));
        QCOMPARE(header->title(), QStringLiteral("Your Designs"));
        QVERIFY(first.isNull());

        clickRow(content, 1, Qt::ControlModifier);
        QCOMPARE(content.selectedTab(), std::nullopt);
        auto* placeholder = content.detailWidget()->findChild<QLabel*>();
        QVERIFY(placeholder);
        QCOMPARE(placeholder->text(), QStringLiteral("Select a section"));
        QCOMPARE(placeholder->width(), content.detailWidget()->width());
        QVERIFY2(header->isVisible(), "the window's controls must stay within reach");
        QCOMPARE(header->title(), QString());

        clickRow(content, 0);
        auto* second = qobject_cast<HomeView*>(content.detailWidget());
        QVERIFY(second);
        QVERIFY(second->state().draggedFiles().isEmpty());
        // Leaving no section chosen from code leaves no row chosen either, so the row can be clicked again.
        content.setSelectedTab(std::nullopt);
        clickRow(content, 0);
        QVERIFY(qobject_cast<HomeView*>(content.detailWidget()));
    }

    // The window refuses to shrink below its minimum; the sidebar starts at 250 and stays between
    // 200 and 300 when dragged, however long the title. The header bar stays one bar tall with the
    // window's controls at its end, within the window, and they work the window; the maximise
    // button is named for what it does now.
    void windowSidebarAndHeader()
    {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Dador Aduravuzo"));
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* header = window.findChild<CustomHeaderView*>();
        header->setTitle(QStringLiteral("A title far too long for the bar ").repeated(8));
        QCoreApplication::processEvents(); // lets the layouts take the title in
        auto* splitter = window.findChild<QSplitter*>();
        QCOMPARE(splitter->sizes().first(), 250);
        dragHandle(*splitter, -200);
        QCOMPARE(splitter->sizes().first(), 200);
        dragHandle(*splitter, 400);
        QCOMPARE(splitter->sizes().first(), 300);
        window.resize(500, 200);
        QCOMPARE(window.size(), QSize(1000, 440));
        QCOMPARE(header->height(), CustomHeaderView::barHeight);
        const auto buttons = header->findChildren<WindowControlButton*>();
        const int end = buttons.at(2)->mapTo(&window, buttons.at(2)->rect().topRight()).x();
        QVERIFY2(end < window.width() && end > window.width() - 20,
                 "the controls end the bar, within the window");
        QCOMPARE(buttons.at(1)->toolTip(), QStringLiteral("Maximise"));
        QTest::mouseClick(buttons.at(1), Qt::LeftButton);
        QVERIFY(window.isMaximized());
        QCOMPARE(buttons.at(1)->toolTip(), QStringLiteral("Restore"));
        QTest::mouseClick(buttons.at(1), Qt::LeftButton);
        QVERIFY(!window.isMaximized());
        QCOMPARE(buttons.at(1)->toolTip(), QStringLiteral("Maximise"));
        QTest::mouseClick(buttons.at(2), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }

    // Files named on the command line, as "Open With" in a file manager passes them, reach the
    // Home list through the drop's intake: judged by content, listed once, in their order.
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

    // The real program, started as a person would, stays up.
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

QTEST_MAIN(tst_ContentView)
#include "tst_ContentView.moc"
