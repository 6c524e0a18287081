#include "home/BatchJob.h"
#include "home/FileDropAreaView.h"
#include "home/FileIntake.h"
#include "home/GenerateButton.h"
#include "home/HomeView.h"
#include "support/TestFiles.h"
#include "widgets/Dialogs.h"
#include "widgets/Icons.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <random>

using namespace TestFiles;

namespace {

QPushButton* button(QWidget& root, const char* name)
{
    return root.findChild<QPushButton*>(QLatin1String(name));
}

// Drops the files onto target as a file manager would; true when the drop was taken.
bool drop(QWidget* target, const QStringList& paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPoint centre = target->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent dropped(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
    FileIntake::waitForJudgements();
    QCoreApplication::processEvents();
    return dropped.isAccepted();
}

FileDropAreaView* zone(HomeView& view)
{
    return view.findChild<FileDropAreaView*>();
}

bool looksLike(const QPixmap& shown, const QString& icon)
{
    return !shown.isNull() && shown.toImage() == Icons::icon(icon).pixmap(shown.size()).toImage();
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
        SavedDesigns().storeWatermarks({WatermarkSettings::fromSnapshot(redText(QStringLiteral("FIRST"))),
                                        WatermarkSettings::fromSnapshot(redText(QStringLiteral("SECOND")))});
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

        // A TIFF named b.dat is taken by its content and skipped by its name.
        const QStringList files{
            m_dir.filePath(QStringLiteral("Report.pdf")), m_dir.filePath(QStringLiteral("b.dat")),
            m_dir.filePath(QStringLiteral("photo.png")), m_dir.filePath(QStringLiteral("locked.pdf"))};
        const QString& locked = files[3];
        const Page page{.content = textContent(QStringLiteral("Quarterly figures"), 72, 700)};
        writePdf(files[0], {page});
        writeSolidPicture(files[1], QSize(10, 10), Qt::white, "tiff");
        writeSolidPicture(files[2], QSize(300, 200), Qt::white);
        writePdf(locked, {page});
        rewritePdf(
            locked, [](QPDF&) {},
            [](QPDFWriter& writer) {
                writer.setR6EncryptionParameters("user", "owner", true, true, true, true, true, true,
                                                 qpdf_r3p_full, true);
            });
        QVERIFY(drop(zone(view), files));
        QCOMPARE(view.fileList()->count(), 4);
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
        QCOMPARE(view.state().watermarkedCount(), 3);
        QVERIFY2(captions.contains(QStringLiteral("Processing 2 of 4 files")),
                 qPrintable(captions.join(", ")));
        QVERIFY(pageText(m_out + QStringLiteral("/Report.pdf"), 0).contains(QStringLiteral("SECOND")));

        QCOMPARE(batch->result(), QStringLiteral("Done, 1 of 3 files not watermarked"));
        QVERIFY(looksLike(batch->findChild<QLabel*>(QStringLiteral("resultSeal"))->pixmap(),
                          QStringLiteral("exclamationmark.seal.fill")));
        const QString reason = view.state().fileReports().value(QUrl::fromLocalFile(locked)).reason;
        QVERIFY(!reason.isEmpty());
        const QListWidget* rows = view.fileList();
        QVERIFY(looksLike(rows->item(0)->icon().pixmap(16), QStringLiteral("checkmark.circle.fill")));
        QVERIFY(looksLike(rows->item(1)->icon().pixmap(16), QStringLiteral("minus.circle")));
        QVERIFY(looksLike(rows->item(3)->icon().pixmap(16), QStringLiteral("xmark.circle.fill")));
        QCOMPARE(rows->item(3)->toolTip(), locked + QStringLiteral("\nNot watermarked: ") + reason);
        QVERIFY(!view.outcomeLine()->isVisible());
        view.fileList()->setCurrentRow(3);
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("Not watermarked: ") + reason);
        QVERIFY(view.outcomeLine()->isVisible());

        QUrl shown;
        Dialogs::setShowFolderAnswer([&](const QUrl& folder) { return (shown = folder).isValid(); });
        QTest::mouseClick(button(view, "showInFolderButton"), Qt::LeftButton);
        QCOMPARE(shown, QUrl::fromLocalFile(m_out));

        QTest::keyClick(view.fileList(), Qt::Key_Delete);
        QCOMPARE(view.fileList()->count(), 3);
        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        QCOMPARE(batch->result(), QStringLiteral("Done"));
        QVERIFY(looksLike(batch->findChild<QLabel*>(QStringLiteral("resultSeal"))->pixmap(),
                          QStringLiteral("checkmark.seal.fill")));
        QTest::mouseClick(button(view, "clearSelectionButton"), Qt::LeftButton);
        QCOMPARE(view.fileList()->count(), 0);
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
        view.fileList()->setCurrentRow(0);
        QTest::keyClick(view.fileList(), Qt::Key_Delete);
        const QString late = m_dir.filePath(QStringLiteral("late.png"));
        writeSolidPicture(late, {16, 16}, Qt::white);
        QVERIFY(!drop(zone(view), {late}));
        QVERIFY(!drop(view.fileList()->viewport(), {late}));
        QCOMPARE(view.fileList()->count(), 12);

        QTRY_VERIFY_WITH_TIMEOUT(view.state().watermarkedCount() >= 1, 60000);
        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        const qint64 count = view.state().watermarkedCount();
        QVERIFY2(count < 12, "the run went on after Stop");
        QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), count);
        QCOMPARE(view.findChild<GenerateButton*>()->result(),
                 QStringLiteral("Stopped after %1 of 12 files").arg(count));
        QVERIFY(view.designPicker()->isEnabled() && button(view, "openFolderButton")->isEnabled());

        QVERIFY(drop(zone(view), {late}));
        QCOMPARE(view.fileList()->count(), 13);
        QVERIFY(view.state().isWatermarkingComplete());
        QTest::mouseClick(button(view, "clearSelectionButton"), Qt::LeftButton);
        QVERIFY(!view.state().isWatermarkingComplete() && view.fileList()->count() == 0);
    }

    // Dropped files are listed in the order the drop listed them, on the zone and on the list
    // alike; files that share a name show their folders.
    void dropsKeepTheirOrder()
    {
        HomeView view;
        view.show();
        QStringList files;
        for (const QString& folder : {QStringLiteral("/a/"), QStringLiteral("/b/")}) {
            QVERIFY(QDir(m_out).mkdir(folder.mid(1)));
            for (const QString& name :
                 {QStringLiteral("report.png"), QStringLiteral("photo.png"), QStringLiteral("scan.png")}) {
                files << m_out + folder + name;
                writeSolidPicture(files.last(), {16, 16}, Qt::white);
            }
        }
        std::mt19937 shuffler(7);
        for (int round = 0; round < 6; ++round) {
            std::shuffle(files.begin(), files.end(), shuffler);
            QVERIFY(drop(round % 2 ? view.fileList()->viewport() : static_cast<QWidget*>(zone(view)), files));
            QStringList listed;
            for (const QUrl& file : view.state().draggedFiles())
                listed << file.toLocalFile();
            QCOMPARE(listed, files);
            if (round < 5)
                view.state().clearSelection();
        }
        const QString folder = QFileInfo(files[0]).path();
        QCOMPARE(view.fileList()->item(0)->text(),
                 QFileInfo(files[0]).fileName() + QStringLiteral(" — ") + folder);
        QCOMPARE(view.fileList()->item(0)->toolTip(), files[0]);
    }

private:
    QTemporaryDir m_dir;
    QString m_out;
};

QTEST_MAIN(TestHomeView)
#include "tst_HomeView.moc"
