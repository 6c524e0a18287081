#include "app/ContentView.h"
#include "app/CustomHeaderView.h"
#include "app/MainWindow.h"
#include "app/WindowControlButton.h"
#include "designs/WatermarksView.h"
#include "home/HomeView.h"

#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QSplitter>
#include <QTest>

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
};

QTEST_MAIN(tst_ContentView)
#include "tst_ContentView.moc"
