#include "app/CommandLine.h"
#include "app/ContentView.h"
#include "app/CustomHeaderView.h"
#include "app/MainWindow.h"
#include "app/WindowControlButton.h"
#include "designs/ControlsSection.h"
#include "designs/WatermarksView.h"
#include "home/BatchJob.h"
#include "home/FileIntake.h"
#include "home/GenerateButton.h"
#include "home/HomeView.h"
#include "model/SavedDesigns.h"
#include "support/TestFiles.h"
#include "widgets/Dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
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
    // The sidebar picks the screen: Home at launch, a row's screen on a click, and always a
    // section: a click beside the rows or on the chosen row with Ctrl keeps it. The Home screen
    // lives as long as the window: a run started there is found on return with its result.
    void sidebarKeepsTheHomeScreenAndItsRun()
    {
        QTemporaryDir dir;
        SavedDesigns().storeWatermarks({WatermarkSettings::makeNew()});
        ContentView content;
        content.resize(1000, 440);
        content.show();
        QVERIFY(QTest::qWaitForWindowExposed(&content));
        QCOMPARE(content.selectedTab(), Tab::home);
        auto* sidebar = content.findChild<QListWidget*>(QStringLiteral("sidebar"));
        QCOMPARE(sidebar->selectedItems().first()->text(), QStringLiteral("Home"));
        QPointer<HomeView> home = qobject_cast<HomeView*>(content.detailWidget());
        QVERIFY(home);
        for (const char* name : {"a.pdf", "b.pdf", "c.pdf"}) {
            writePdf(dir.filePath(name), {Page{}});
            home->state().appendFile(QUrl::fromLocalFile(dir.filePath(name)));
        }
        home->state().setOutputDirectory(QUrl::fromLocalFile(dir.path() + QStringLiteral("/out")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
        Q_EMIT home->designPicker()->activated(0);
        home->state().startWatermarking();

        auto* header = content.findChild<CustomHeaderView*>();
        clickRow(content, 1);
        QCOMPARE(content.selectedTab(), Tab::watermarks);
        QVERIFY(qobject_cast<WatermarksView*>(content.detailWidget()));
        QCOMPARE(header->title(), QStringLiteral("Your Designs"));
        clickRow(content, 1, Qt::ControlModifier);
        QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {},
                          sidebar->viewport()->rect().bottomLeft() + QPoint(5, -5));
        QCOMPARE(content.selectedTab(), Tab::watermarks);
        QCOMPARE(sidebar->selectedItems().size(), 1);

        clickRow(content, 0);
        QCOMPARE(content.detailWidget(), home.data());
        QCOMPARE(header->title(), QStringLiteral("Home"));
        QTRY_VERIFY_WITH_TIMEOUT(home->state().isWatermarkingComplete(), 60000);
        QCOMPARE(home->state().watermarkedCount(), 3);
        QCOMPARE(home->findChild<GenerateButton*>()->result(), QStringLiteral("Done"));
        QCOMPARE(home->state().draggedFiles().size(), 3);
        SavedDesigns().storeWatermarks({});
    }

    // With no design yet, the Home screen says so and why "Watermark" waits; "Create a Design"
    // opens the designs screen with a new design, its name ready for typing. Ctrl+N does the same
    // from anywhere on that screen, the sidebar included.
    void firstRunGuidesToADesign()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* content = window.findChild<ContentView*>();
        HomeView* home = content->homeView();
        QCOMPARE(home->designPicker()->placeholderText(), QStringLiteral("No designs yet"));
        auto* generate = home->findChild<GenerateButton*>()->button();
        QVERIFY(!generate->isEnabled());
        QCOMPARE(generate->toolTip(),
                 QStringLiteral("To watermark, add files, choose an output folder and select a design."));
        auto* create = home->findChild<QPushButton*>(QStringLiteral("createDesignButton"));
        QVERIFY(create->isVisible());
        QTest::mouseClick(create, Qt::LeftButton);
        QCOMPARE(content->selectedTab(), Tab::watermarks);
        auto* designs = qobject_cast<WatermarksView*>(content->detailWidget());
        QVERIFY(designs && designs->selectedWatermark());
        QTRY_COMPARE(QApplication::focusWidget(), designs->controls()->nameField());

        const auto first = designs->selectedWatermark();
        clickRow(*content, 1);
        QTest::keySequence(&window, QKeySequence::New);
        QVERIFY(designs->selectedWatermark() && designs->selectedWatermark() != first);
        QCOMPARE(QApplication::focusWidget(), designs->controls()->nameField());
    }

    // Leaving the designs screen or closing the window with edits not stored asks first: Cancel
    // stays, Save stores them, Discard lets them go. A new design left as it was made asks nothing.
    void unsavedEditsAskBeforeLeaving()
    {
        SavedDesigns().storeWatermarks({});
        QGuiApplication::setQuitOnLastWindowClosed(false);
        MainWindow window;
        window.show();
        auto* content = window.findChild<ContentView*>();
        const auto designs = [content] { return qobject_cast<WatermarksView*>(content->detailWidget()); };
        QStringList asked;
        QList<int> answers{2, 0, 1}; // Cancel, Save, Discard
        Dialogs::setQuestionAnswer([&](const Dialogs::Question& question) {
            asked << question.text;
            return answers.takeFirst();
        });
        content->setSelectedTab(Tab::watermarks);
        designs()->createNewWatermark();
        content->setSelectedTab(Tab::home);
        QVERIFY(asked.isEmpty());

        content->setSelectedTab(Tab::watermarks);
        designs()->createNewWatermark();
        designs()->selectedWatermark()->setWatermarkName(QStringLiteral("Draft"));
        QVERIFY(!window.close());
        QCOMPARE(content->selectedTab(), Tab::watermarks);
        content->setSelectedTab(Tab::home);
        QCOMPARE(content->selectedTab(), Tab::home);
        QCOMPARE(SavedDesigns().loadWatermarks()->front()->watermarkName(), QStringLiteral("Draft"));

        content->setSelectedTab(Tab::watermarks);
        designs()->watermarks().front()->setXPosition(10);
        QVERIFY(window.close());
        QCOMPARE(asked, QStringList(3, QStringLiteral("Save changes to “Draft”?")));
        QCOMPARE(SavedDesigns().loadWatermarks()->front()->xPosition(), 50.0);
        Dialogs::setQuestionAnswer({});
        SavedDesigns().storeWatermarks({});
    }

    // The window opens within the screen and refuses to shrink below its minimum, itself within
    // the screen (offscreen, 800 × 600); the sidebar starts at 250 and stays between 200 and 300
    // when dragged, however long the title. The header bar stays one bar tall with the
    // window's controls at its end, within the window, and they work the window; the maximise
    // button is named for what it does now.
    void windowSidebarAndHeader()
    {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Dador Aduravuzo"));
        const QSize room = window.screen()->availableGeometry().size();
        QVERIFY2(room.width() < 1000, "the test needs a screen smaller than the window's usual size");
        QCOMPARE(window.size(), QSize(1100, 700).boundedTo(room));
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
        QCOMPARE(window.size(), QSize(1000, 440).boundedTo(room));
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
            CommandLine::parse({QStringLiteral("dador-aduravuzo"), document, QStringLiteral("x.pdf"),
                                QStringLiteral("photo.png"), QStringLiteral("missing.pdf"),
                                QStringLiteral("elsewhere/../report.pdf")})
                .files;
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

    // From a shell, without a display: the files and a folder's files go through the window's own
    // batch, with the same outputs byte for byte (page fields on all pages but the first), a line
    // each in list order with one job, and the exit status says whether all were written; a usage
    // error writes nothing.
    void shellRunsTheBatchWithoutAWindow()
    {
        QTemporaryDir dir;
        const QDir in(dir.filePath(QStringLiteral("in")));
        QVERIFY(QDir().mkpath(in.filePath(QStringLiteral("sub"))) && QDir().mkpath(dir.filePath("out")) &&
                QDir().mkpath(dir.filePath("window")));
        writePdf(in.filePath("a.pdf"), std::vector<Page>(2, Page{.content = textContent("Report", 72, 720)}));
        writeFile(in.filePath("c.txt"), "notes");
        writeFile(in.filePath("d.pdf"), "%PDF-1.7\nbroken");
        writeTiff(in.filePath("sub/b.tif"), {busyPicture({300, 200}), busyPicture({300, 200})});
        auto draft =
            WatermarkSettings::fromSnapshot(redText(QStringLiteral("Page {page} of {pages} – {filename}")));
        draft->setWatermarkName(QStringLiteral("Draft"));
        draft->setPages(*PageSelection::parse(QStringLiteral("allButFirst")));
        SavedDesigns().storeWatermarks({draft});
        const auto shell = [&](const QStringList& arguments, QByteArray* printed = nullptr) {
            QProcess run;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
            environment.remove(QStringLiteral("DISPLAY"));
            run.setProcessEnvironment(environment);
            run.start(QStringLiteral(APP_EXECUTABLE), arguments);
            run.waitForFinished(120000);
            if (printed)
                *printed = run.readAllStandardOutput();
            return run.exitCode();
        };
        const QString out = dir.filePath("out");
        QByteArray printed;
        QCOMPARE(shell({"--list-designs"}, &printed), 0);
        QCOMPARE(printed, "Draft\n");
        QCOMPARE(shell({"--design", "Draft", "--output", out, "--jobs", "1", in.path()}, &printed), 1);
        QCOMPARE(printed, "written " + QFile::encodeName(out) + "/a.pdf\nskipped " +
                              QFile::encodeName(in.filePath("c.txt")) +
                              ": not a PDF, PNG, JPEG or TIFF file\nnot watermarked " +
                              QFile::encodeName(in.filePath("d.pdf")) + ": damaged beyond repair\nwritten " +
                              QFile::encodeName(out) + "/b.tif\nDone, 1 of 3 files not watermarked\n");
        const std::atomic<bool> running = false;
        BatchJob::watermarkFiles(
            {QUrl::fromLocalFile(in.filePath("a.pdf")), QUrl::fromLocalFile(in.filePath("sub/b.tif"))},
            draft->snapshot(), dir.filePath("window"), running, [](const FileReport&) {}, [] {});
        for (const char* name : {"a.pdf", "b.tif"})
            QVERIFY2(readFile(out + '/' + name) == readFile(dir.filePath("window/") + name), name);
        QVERIFY(!pageText(out + "/a.pdf", 0).contains("Page"));
        QVERIFY(pageText(out + "/a.pdf", 1).contains(QStringLiteral("Page 2 of 2 – a")));

        QCOMPARE(shell({"--design", "Draft", "--output", out, in.filePath("a.pdf")}), 0);
        QCOMPARE(shell({"--design", "Nobody", "--output", out, in.filePath("a.pdf")}), 2);
        QCOMPARE(shell({"--design", "Draft", "--output", dir.filePath("gone"), in.filePath("a.pdf")}), 2);
        QCOMPARE(QDir(out).entryList(QDir::Files), (QStringList{"a.pdf", "b.tif"}));
        SavedDesigns().storeWatermarks({});
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
