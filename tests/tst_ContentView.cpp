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
#include <QVBoxLayout>

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

    static QLabel* placeholderText(const ContentView& content)
    {
        return content.detailWidget()->findChild<QLabel*>();
    }

private Q_SLOTS:
    void launchShowsHome()
    {
        ContentView content;
        QCOMPARE(content.selectedTab(), Tab::home);
        QVERIFY(qobject_cast<HomeView*>(content.detailWidget()));
        QCOMPARE(content.findChild<QListWidget*>(QStringLiteral("sidebar"))->selectedItems().first()->text(),
                 QStringLiteral("Home"));
    }

    void emptySelectionShowsPlaceholderUntilARowIsChosen()
    {
        ContentView content;
        content.resize(1000, 440);
        content.show();
        QVERIFY(QTest::qWaitForWindowExposed(&content));

        clickRow(content, 0, Qt::ControlModifier);
        QCOMPARE(content.selectedTab(), std::nullopt);
        QVERIFY(placeholderText(content));
        QCOMPARE(placeholderText(content)->text(), QStringLiteral("Select a section"));
        QCOMPARE(placeholderText(content)->width(), content.detailWidget()->width());
        auto* header = content.findChild<CustomHeaderView*>();
        QVERIFY2(header && header->isVisible(), "the window's controls must stay within reach");
        QCOMPARE(header->title(), QString());

        clickRow(content, 1);
        QCOMPARE(content.selectedTab(), Tab::watermarks);
        QVERIFY(qobject_cast<WatermarksView*>(content.detailWidget()));
        QCOMPARE(header->title(), QStringLiteral("Your Designs"));

        content.setSelectedTab(std::nullopt);
        clickRow(content, 0);
        QVERIFY(qobject_cast<HomeView*>(content.detailWidget()));
    }

    void switchingSectionsDiscardsTheHomeState()
    {
        ContentView content;
        content.resize(1000, 440);
        content.show();
        QVERIFY(QTest::qWaitForWindowExposed(&content));
        QPointer<HomeView> first = qobject_cast<HomeView*>(content.detailWidget());
        first->state().appendFile(QUrl::fromLocalFile(QStringLiteral("/tmp/a.pdf")));

        clickRow(content, 1);
        QVERIFY(first.isNull());
        clickRow(content, 0);
        auto* second = qobject_cast<HomeView*>(content.detailWidget());
        QVERIFY(second);
        QVERIFY(second->state().draggedFiles().isEmpty());
    }

    void windowRefusesToShrinkBelowItsMinimum()
    {
        MainWindow window;
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        window.show();
        window.resize(500, 200);
        QCOMPARE(window.size(), QSize(1000, 440));
    }

    void sidebarStartsAt250AndStaysWithinBounds()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* splitter = window.findChild<QSplitter*>();
        QCOMPARE(splitter->sizes().first(), 250);
        dragHandle(*splitter, -200);
        QCOMPARE(splitter->sizes().first(), 200);
        dragHandle(*splitter, 400);
        QCOMPARE(splitter->sizes().first(), 300);
    }

    void headerStaysOneBarTallAndWorksTheWindow()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* header = new CustomHeaderView(QStringLiteral("A title far too long for the bar ").repeated(8));
        layout->addWidget(header);
        layout->addStretch();
        window.resize(400, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(header->height(), CustomHeaderView::barHeight);
        QCOMPARE(header->width(), window.contentsRect().width() - 2 * layout->contentsMargins().left());
        QCOMPARE(window.width(), 400);

        const auto buttons = header->findChildren<WindowControlButton*>();
        QCOMPARE(buttons.size(), 3);
        QTest::mouseClick(buttons.at(1), Qt::LeftButton);
        QVERIFY(window.isMaximized());
        QTest::mouseClick(buttons.at(1), Qt::LeftButton);
        QVERIFY(!window.isMaximized());
        QTest::mouseClick(buttons.at(2), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(tst_ContentView)
#include "tst_ContentView.moc"
