#include "home/BatchJob.h"
#include "home/FileDropAreaView.h"
#include "home/FileIntake.h"
#include "home/FileListView.h"
#include "home/GenerateButton.h"
#include "home/HomeView.h"
#include "support/TestFiles.h"
#include "widgets/Dialogs.h"
#include "widgets/Icons.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace TestFiles;

namespace {

// Drags data into target at its centre; true when the drag was taken.
bool enter(QWidget* target, const QMimeData& data)
{
    QDragEnterEvent event(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
    return event.isAccepted();
}

// Drops the files onto target as a file manager would; true when the drop was taken. Unless told
// not to settle, returns once every file taken is listed.
bool drop(QWidget* target, const QList<QUrl>& files, bool settle = true)
{
    QMimeData data;
    data.setUrls(files);
    enter(target, data);
    QDropEvent dropped(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
    if (settle) {
        FileIntake::waitForJudgements();
        QCoreApplication::processEvents();
    }
    return dropped.isAccepted();
}

bool looksLike(const QPixmap& shown, const QString& icon)
{
    return !shown.isNull() && shown.toImage() == Icons::icon(icon).pixmap(shown.size()).toImage();
}

QModelIndex row(HomeView& view, int at)
{
    return view.fileList()->model()->index(at, 0);
}

int rows(HomeView& view)
{
    return view.fileList()->model()->rowCount();
}

bool rowLooksLike(HomeView& view, int at, const QString& icon)
{
    return looksLike(row(view, at).data(Qt::DecorationRole).value<QIcon>().pixmap(16), icon);
}

} // namespace

class TestHomeView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The preferences live in this test's own configuration folder, set up by CTest.
        QVERIFY(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")).contains(QLatin1String("tst_HomeView")));
        m_first = WatermarkSettings::fromSnapshot(redText(QStringLiteral("FIRST")));
        SavedDesigns().storeWatermarks(
            {m_first, WatermarkSettings::fromSnapshot(redText(QStringLiteral("SECOND")))});
    }

    void init()
    {
        QVERIFY(m_dir.isValid());
        m_out = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
        QVERIFY(QDir().mkpath(m_out));
        Dialogs::setFolderAnswer([this](const QString&) {
            return Dialogs::Choice{true, QUrl::fromLocalFile(m_out)};
        });
    }

    void cleanup()
    {
        BatchJob::stopAllAndWait();
        Dialogs::setFolderAnswer({});
        Dialogs::setShowFolderAnswer({});
        Dialogs::setQuestionAnswer({});
        Dialogs::setInputFilesAnswer({});
    }

    // Files dropped, a folder and a design chosen, "Watermark" pressed: each row then shows what
    // became of its file, and the result owns up to the file that needs a password. Without it,
    // a second run is plainly "Done"; "Show in Folder" opens the run's folder.
    void wholeRoad()
    {
        HomeView view;
        view.show();
        QCOMPARE(view.designPicker()->currentIndex(), -1);
        auto* batch = view.findChild<GenerateButton*>();
        auto* generate = batch->button();

        // b.dat opens like a TIFF: taken by its content, and stamped as what it holds, failing
        // for what it is (a broken TIFF), not for its name.
        const QString locked = m_dir.filePath(QStringLiteral("locked.pdf"));
        writePdf(locked, {Page{}}, true);
        const QList<QUrl> files{file("Report.pdf"), file("b.dat", QByteArray("II*\0", 4)), file("photo.png"),
                                QUrl::fromLocalFile(locked)};
        QVERIFY(drop(zone(view), files));
        QCOMPARE(rows(view), 4);
        QTest::mouseClick(button(view, "openFolderButton"), Qt::LeftButton);
        QVERIFY2(!generate->isEnabled(), "no design chosen yet");
        Q_EMIT view.designPicker()->activated(1);
        QVERIFY(generate->isEnabled());

        QStringList captions;
        connect(&view.state(), &HomeState::changed, this, [&] { captions << batch->caption(); });
        QTest::mouseClick(generate, Qt::LeftButton);
        QCOMPARE(generate->text(), QStringLiteral("Stop"));
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        QCOMPARE(generate->text(), QStringLiteral("Watermark"));
        QCOMPARE(view.state().watermarkedCount(), 4);
        QVERIFY2(captions.contains(QStringLiteral("Processing 2 of 4 files")),
                 qPrintable(captions.join(", ")));
        QVERIFY(pageText(m_out + QStringLiteral("/Report.pdf"), 0).contains(QStringLiteral("SECOND")));

        QCOMPARE(batch->result(), QStringLiteral("Done, 2 of 4 files not watermarked"));
        // Whole in the half of the window the list has at its usual size.
        view.resize(850, 600);
        const auto* said = batch->findChild<QLabel*>(QStringLiteral("resultLabel"));
        QTRY_VERIFY(said->fontMetrics().boundingRect(said->rect(), Qt::TextWordWrap, said->text()).height() <=
                    said->height());
        QVERIFY(looksLike(batch->findChild<QLabel*>(QStringLiteral("resultSeal"))->pixmap(),
                          QStringLiteral("exclamationmark.seal.fill")));
        const QString reason = view.state().fileReports().value(files[3]).reason;
        QVERIFY(!reason.isEmpty());
        QVERIFY(!view.state().fileReports().value(files[1]).reason.contains(QLatin1String("not a PDF")));
        QVERIFY(rowLooksLike(view, 0, QStringLiteral("checkmark.circle.fill")));
        QVERIFY(rowLooksLike(view, 1, QStringLiteral("xmark.circle.fill")));
        QVERIFY(rowLooksLike(view, 3, QStringLiteral("xmark.circle.fill")));
        QCOMPARE(row(view, 3).data(Qt::ToolTipRole).toString(),
                 locked + QStringLiteral("\nNot watermarked: ") + reason);
        QVERIFY(!view.outcomeLine()->isVisible());
        view.fileList()->setCurrentIndex(row(view, 3));
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("Not watermarked: ") + reason);
        QVERIFY(view.outcomeLine()->isVisible());

        QUrl shown;
        Dialogs::setShowFolderAnswer([&](const QUrl& folder) { return (shown = folder).isValid(); });
        QTest::mouseClick(button(view, "showInFolderButton"), Qt::LeftButton);
        QCOMPARE(shown, QUrl::fromLocalFile(m_out));

        QTest::keyClick(view.fileList(), Qt::Key_Delete);
        view.fileList()->setCurrentIndex(row(view, 1));
        QTest::keyClick(view.fileList(), Qt::Key_Delete);
        QCOMPARE(rows(view), 2);
        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        QCOMPARE(batch->result(), QStringLiteral("Done"));
        QVERIFY(looksLike(batch->findChild<QLabel*>(QStringLiteral("resultSeal"))->pixmap(),
                          QStringLiteral("checkmark.seal.fill")));
        QTest::mouseClick(button(view, "clearSelectionButton"), Qt::LeftButton);
        QCOMPARE(rows(view), 0);
    }

    // While a run is in progress nothing on the screen changes its files, folder or design:
    // drops are refused wherever they land. "Stop" ends the run after the file being stamped and
    // says how far it got; the finished state outlives new files until the list is cleared.
    void runLocksTheScreenAndStops()
    {
        HomeView view;
        view.show();
        for (int i = 1; i <= 12; ++i) {
            const QString file = m_dir.filePath(QStringLiteral("doc%1.pdf").arg(i));
            writePdf(file, std::vector<Page>(150, Page{.content = textContent(QStringLiteral("x"), 9, 9)}));
            view.state().appendFile(QUrl::fromLocalFile(file));
        }
        view.state().setOutputDirectory(QUrl::fromLocalFile(m_out));
        Q_EMIT view.designPicker()->activated(0);
        auto* generate = view.findChild<GenerateButton*>()->button();
        QTest::mouseClick(generate, Qt::LeftButton);
        QVERIFY(view.state().isWatermarking());
        QVERIFY(!view.designPicker()->isEnabled());
        QVERIFY(!button(view, "openFolderButton")->isEnabled());
        QVERIFY(!button(view, "clearSelectionButton")->isEnabled());
        view.fileList()->setCurrentIndex(row(view, 0));
        QTest::keyClick(view.fileList(), Qt::Key_Delete);
        QVERIFY(!button(view, "addFilesButton")->isEnabled());
        const QList<QUrl> late{file("late.png")};
        QMimeData lateData;
        lateData.setUrls(late);
        QVERIFY2(!enter(zone(view), lateData) && !zone(view)->isDragging(),
                 "the zone offers nothing during a run");
        QVERIFY(!drop(zone(view), late));
        QVERIFY(!drop(view.fileList()->viewport(), late));
        QCOMPARE(rows(view), 12);

        QTRY_VERIFY_WITH_TIMEOUT(view.state().watermarkedCount() >= 1, 60000);
        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        const qint64 count = view.state().watermarkedCount();
        QVERIFY2(count < 12, "the run went on after Stop");
        QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), count);
        QCOMPARE(view.findChild<GenerateButton*>()->result(),
                 QStringLiteral("Stopped after %1 of 12 files").arg(count));
        QVERIFY(view.designPicker()->isEnabled() && button(view, "openFolderButton")->isEnabled());

        QVERIFY(drop(zone(view), late));
        QCOMPARE(rows(view), 13);
        QVERIFY(view.state().isWatermarkingComplete());
        QTest::mouseClick(button(view, "clearSelectionButton"), Qt::LeftButton);
        QVERIFY(!view.state().isWatermarkingComplete() && rows(view) == 0);
    }

    // Judged by content: each PDF, PNG, JPEG and TIFF file is taken once, in the order dropped, on
    // the zone and on the list alike; a folder, text named like a PDF, a GIF, a remote file, a FIFO
    // and a link to a device are turned away quietly, without waiting on them. Files that share a
    // name show their folders.
    void takesEachPdfPngJpegAndTiffOnce()
    {
        auto view = std::make_unique<HomeView>();
        view->show();
        auto* count = view->findChild<QLabel*>(QStringLiteral("fileCountLabel"));
        QCOMPARE(count->text(), QStringLiteral("0 file(s) selected"));
        const QList<QUrl> four{file("doc.pdf"), file("photo.png"), file("scan.jpg"), file("page.tiff")};
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.pdf")));
        const QString fifo = m_dir.filePath(QStringLiteral("fifo.pdf"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString zeros = m_dir.filePath(QStringLiteral("zeros.png"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zeros));
        const QByteArray gif = QByteArray::fromHex("47494638396101000100800000ffffff00000021f9040100000000"
                                                   "2c00000000010001000002024401003b");
        QVERIFY(
            drop(zone(*view),
                 four + QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("folder.pdf"))),
                                    file("notes.pdf", "Just some text, not a document.\n"),
                                    file("anim.gif", gif), QUrl(QStringLiteral("https://example.com/a.pdf")),
                                    QUrl::fromLocalFile(fifo), QUrl::fromLocalFile(zeros)}));
        QCOMPARE(view->state().draggedFiles(), four);
        QCOMPARE(count->text(), QStringLiteral("4 file(s) selected"));
        QCOMPARE(zone(*view)->refusedLine(),
                 QStringLiteral("4 files not added: not a PDF, PNG, JPEG or TIFF"));
        QVERIFY(!zone(*view)->isDragging());

        const QUrl jpeg = file("photo.jpeg"), namesake = file("other/photo.png");
        QVERIFY(drop(view->fileList()->viewport(), {jpeg, jpeg, four[1], namesake}));
        QCOMPARE(view->state().draggedFiles(), (four + QList<QUrl>{jpeg, namesake}));
        QCOMPARE(row(*view, 1).data().toString(), QStringLiteral("photo.png — ") + m_dir.path());

        // "Add Files…" and Ctrl+O ask for files, "Add Folder…" for a folder, whose files and
        // folders' files come in name order; all go through the drop's judge.
        const QUrl named = file("picked/scan.pdf");
        Dialogs::setInputFilesAnswer([&] { return QList<QUrl>{named, file("picked/notes.txt", "text")}; });
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        QTest::keySequence(view.get(), QKeySequence::Open);
        FileIntake::waitForJudgements();
        QCoreApplication::processEvents();
        QCOMPARE(view->state().draggedFiles().last(), named);
        const QList<QUrl> inFolder{file("tree/a 2.png"), file("tree/a 10.png"), file("tree/b/c.pdf"),
                                   file("tree/d.jpg")};
        Dialogs::setFolderAnswer([&](const QString&) {
            return Dialogs::Choice{true, QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("tree")))};
        });
        QTest::mouseClick(button(*view, "addFolderButton"), Qt::LeftButton);
        FileIntake::waitForJudgements();
        QCoreApplication::processEvents();
        QCOMPARE(view->state().draggedFiles().mid(7), inFolder);

        // The screen may close while its files are still being judged; their arrival must not touch it.
        QVERIFY(drop(zone(*view), {file("a.pdf"), file("b.tiff")}, false));
        view.reset();
        FileIntake::waitForJudgements();
        QCoreApplication::processEvents();
    }

    // Only local files light the zone up, and only over it; "Clear Selection" waits for files.
    void dragsLightTheZone()
    {
        HomeView view;
        view.show();
        FileDropAreaView* area = zone(view);
        QPushButton* clear = button(view, "clearSelectionButton");
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.com/a.png"))});
        QVERIFY(!enter(area, text) && !enter(area, web) && !area->isDragging());
        QVERIFY(!clear->isEnabled());

        QMimeData picture;
        picture.setUrls({file("picture.png")});
        QVERIFY(enter(area, picture) && area->isDragging());
        QDragMoveEvent overButton(clear->geometry().center(), Qt::CopyAction, &picture, Qt::LeftButton,
                                  Qt::NoModifier);
        QCoreApplication::sendEvent(area, &overButton);
        QVERIFY(!overButton.isAccepted() && !area->isDragging());
        QVERIFY(enter(area, picture));
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(area, &leave);
        QVERIFY(!area->isDragging());
    }

    // Only a confirmed choice of folder counts, a confirmed "none" too. The dialog starts in the
    // home folder, then in the last folder chosen. Enter on the focused button asks too. The
    // screen says when listed files live in the output folder; an unlisted file of the same name
    // elsewhere does not count. Replacing them takes a confirmation, and they leave the list.
    void outputFolderKeepsConfirmedChoicesAndWarns()
    {
        HomeView view;
        view.show();
        const auto* selected = view.findChild<QLabel*>(QStringLiteral("selectedFolderLabel"));
        const auto* replacing = view.findChild<QLabel*>(QStringLiteral("replacementLine"));
        QCOMPARE(selected->text(), QStringLiteral("Selected folder: Not Selected"));
        const QUrl listed = file("listed.png");
        const QUrl elsewhere = file("elsewhere/listed.png");
        view.state().appendFile(listed);
        const QUrl folder = QUrl::fromLocalFile(m_dir.path());
        QCOMPARE(chooseFolder(view, {true, folder}), QDir::homePath());
        QCOMPARE(view.state().outputDirectory(), folder);
        QCOMPARE(selected->text(), QStringLiteral("Selected folder: ") + m_dir.path());
        QVERIFY(replacing->isVisible());
        QCOMPARE(replacing->text(),
                 QStringLiteral("Files in this folder will be replaced by their watermarked copies"));
        chooseFolder(view, {false, std::nullopt});
        QCOMPARE(view.state().outputDirectory(), folder);
        QCOMPARE(chooseFolder(view, {true, std::nullopt}), m_dir.path());
        QCOMPARE(view.state().outputDirectory(), std::nullopt);
        QCOMPARE(selected->text(), QStringLiteral("Selected folder: Not Selected"));

        QString startedIn;
        Dialogs::setFolderAnswer([&](const QString& start) {
            startedIn = start;
            return Dialogs::Choice{true, elsewhere.adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash)};
        });
        button(view, "openFolderButton")->setFocus();
        QTest::keyClick(button(view, "openFolderButton"), Qt::Key_Return);
        QCOMPARE(startedIn, m_dir.path());
        QVERIFY(view.state().outputDirectory().has_value());
        QVERIFY(!replacing->isVisible());

        // A run that would replace originals asks first, and "Cancel" starts nothing. After
        // "Replace" the replaced files leave the list, being outputs now; the others stay.
        const QUrl second = file("second.pdf");
        view.state().appendFiles({second, elsewhere});
        view.state().setOutputDirectory(folder);
        Q_EMIT view.designPicker()->activated(0);
        QList<Dialogs::Question> asked;
        int answer = 1;
        Dialogs::setQuestionAnswer([&](const Dialogs::Question& question) {
            asked.append(question);
            return answer;
        });
        auto* generate = view.findChild<GenerateButton*>()->button();
        QTest::mouseClick(generate, Qt::LeftButton);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text,
                 QStringLiteral("Replace 2 original files with watermarked copies? This cannot be undone."));
        QCOMPARE(asked[0].buttons, (QStringList{"Replace", "Cancel"}));
        QVERIFY(!view.state().isWatermarking());
        answer = 0;
        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        QCOMPARE(view.state().draggedFiles(), QList<QUrl>{elsewhere});
        QVERIFY(pageText(second.toLocalFile(), 0).contains(QStringLiteral("FIRST")));
    }

    // Whom the copies are for is asked only while the chosen design shows it, and reaches the text.
    void recipientAskedOnlyWhenTheDesignShows()
    {
        HomeView view;
        view.show();
        auto addressed = WatermarkSettings::fromSnapshot(redText(QStringLiteral("For {recipient}")));
        SavedDesigns().storeWatermarks({m_first, addressed});
        view.state().loadWatermarks(SavedDesigns());
        Q_EMIT view.designPicker()->activated(0);
        QVERIFY(!view.recipientField()->isVisible());
        Q_EMIT view.designPicker()->activated(1);
        QVERIFY(view.recipientField()->isVisible());
        QTest::keyClicks(view.recipientField(), QStringLiteral("ACME"));
        const QUrl document = file("memo.pdf");
        view.state().appendFile(document);
        view.state().setOutputDirectory(QUrl::fromLocalFile(m_out));
        QTest::mouseClick(view.findChild<GenerateButton*>()->button(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        QVERIFY(pageText(m_out + QStringLiteral("/memo.pdf"), 0).contains(QStringLiteral("For ACME")));
    }

private:
    static QPushButton* button(HomeView& v, const char* name) { return v.findChild<QPushButton*>(name); }
    static FileDropAreaView* zone(HomeView& view) { return view.findChild<FileDropAreaView*>(); }

    // Answers the folder dialog in advance and presses "Open Folder"; gives where the dialog started.
    static QString chooseFolder(HomeView& view, Dialogs::Choice choice)
    {
        QString startedIn;
        Dialogs::setFolderAnswer([&](const QString& start) {
            startedIn = start;
            return choice;
        });
        QTest::mouseClick(button(view, "openFolderButton"), Qt::LeftButton);
        return startedIn;
    }

    // A real file in the test's folder of the type its suffix names, or holding content when given.
    QUrl file(const QString& name, const QByteArray& content = {})
    {
        const QString path = m_dir.filePath(name);
        const QString suffix = QFileInfo(path).suffix();
        QDir().mkpath(QFileInfo(path).path());
        if (!content.isEmpty())
            writeFile(path, content);
        else if (suffix == QLatin1String("pdf"))
            writePdf(path, {Page{}});
        else
            writeSolidPicture(path, {16, 16}, Qt::darkCyan, suffix == "jpg" ? "jpeg" : qPrintable(suffix));
        return QUrl::fromLocalFile(path);
    }

    QTemporaryDir m_dir;
    QString m_out;
    std::shared_ptr<WatermarkSettings> m_first;
};

QTEST_MAIN(TestHomeView)
#include "tst_HomeView.moc"
