#include "home/FileDropAreaView.h"
#include "home/GenerateButton.h"
#include "home/HomeView.h"
#include "support/StdoutCapture.h"
#include "support/TestFiles.h"
#include "widgets/Dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;

namespace {

QPushButton* buttonLabelled(QWidget& root, const QString& text)
{
    for (auto* button : root.findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// Drops the files onto the drop zone as a file manager would.
bool drop(HomeView& view, const QStringList& paths)
{
    auto* zone = view.findChild<FileDropAreaView*>();
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPoint centre = zone->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(zone, &enter);
    QDropEvent dropped(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(zone, &dropped);
    return dropped.isAccepted();
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
        StdoutCapture quiet;
        SavedDesigns().storeWatermarks({WatermarkSettings::fromSnapshot(redText(QStringLiteral("FIRST"))),
                                        WatermarkSettings::fromSnapshot(redText(QStringLiteral("SECOND")))});
        quiet.finish();
    }

    void init()
    {
        QVERIFY(m_dir.isValid());
        const auto folders = testFolders(m_dir);
        m_in = folders.in;
        m_out = folders.out;
        Dialogs::setFolderAnswer([this] { return Dialogs::Choice{true, QUrl::fromLocalFile(m_out)}; });
    }

    void cleanup() { Dialogs::setFolderAnswer({}); }

    // Files dropped, a folder and a design chosen, "Watermark" pressed: every file stamped.
    void wholeRoad()
    {
        HomeView view;
        StdoutCapture capture;
        view.show();
        QCOMPARE(view.designPicker()->count(), 2);
        QCOMPARE(view.designPicker()->currentIndex(), -1);
        auto* generate = view.findChild<GenerateButton*>()->button();
        QVERIFY(!generate->isEnabled());

        const QString pdf = m_in + QStringLiteral("/Report.pdf");
        const QString png = m_in + QStringLiteral("/photo.png");
        writePdf(pdf, {Page{.content = textContent(QStringLiteral("Quarterly figures"), 72, 700)}});
        writeSolidPicture(png, QSize(300, 200), Qt::white);
        QVERIFY(drop(view, {pdf, png}));
        QTRY_COMPARE(view.fileList()->count(), 2);
        QTest::mouseClick(buttonLabelled(view, QStringLiteral("Open Folder")), Qt::LeftButton);
        QVERIFY2(!generate->isEnabled(), "no design chosen yet");
        Q_EMIT view.designPicker()->activated(1);
        QVERIFY(generate->isEnabled());

        QTest::mouseClick(generate, Qt::LeftButton);
        QCOMPARE(generate->text(), QStringLiteral("Stop"));
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        capture.finish();
        QCOMPARE(generate->text(), QStringLiteral("Watermark"));
        QCOMPARE(view.state().watermarkedCount(), 2);
        QVERIFY(pageText(m_out + QStringLiteral("/Report.pdf"), 0).contains(QStringLiteral("SECOND")));
        QVERIFY(!inkBounds(QImage(m_out + QStringLiteral("/photo.png")), isRed).isEmpty());
    }

    // While a run is in progress nothing that would change its files, folder or design works;
    // "Stop" ends it after the file being stamped.
    void runLocksTheScreenAndStops()
    {
        HomeView view;
        StdoutCapture capture;
        view.show();
        QStringList files;
        for (int i = 1; i <= 12; ++i) {
            files << QStringLiteral("%1/doc%2.pdf").arg(m_in).arg(i);
            writePdf(files.last(),
                     std::vector<Page>(150, Page{.content = textContent(QStringLiteral("x"), 9, 9)}));
        }
        QVERIFY(drop(view, files));
        QTRY_COMPARE(view.fileList()->count(), 12);
        QTest::mouseClick(buttonLabelled(view, QStringLiteral("Open Folder")), Qt::LeftButton);
        Q_EMIT view.designPicker()->activated(0);
        auto* generate = view.findChild<GenerateButton*>()->button();
        QTest::mouseClick(generate, Qt::LeftButton);
        QVERIFY(view.state().isWatermarking());

        QVERIFY(!view.designPicker()->isEnabled());
        QVERIFY(!buttonLabelled(view, QStringLiteral("Open Folder"))->isEnabled());
        QVERIFY(!buttonLabelled(view, QStringLiteral("Clear Selection"))->isEnabled());
        const QString late = m_in + QStringLiteral("/late.png");
        writeSolidPicture(late, QSize(10, 10), Qt::white);
        QVERIFY(!drop(view, {late}));
        view.fileList()->setCurrentRow(0);
        QTest::keyClick(view.fileList(), Qt::Key_Delete);
        QCOMPARE(view.fileList()->count(), 12);

        QTRY_VERIFY_WITH_TIMEOUT(view.state().watermarkedCount() >= 1, 60000);
        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        capture.finish();
        const qint64 count = view.state().watermarkedCount();
        QVERIFY2(count < 12, "the run went on after Stop");
        QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), count);
        QVERIFY(view.designPicker()->isEnabled());
    }

    // Unrouted extensions are skipped: the count stops short of the list and the run still ends.
    void skippedFilesLeaveTheCountShort()
    {
        HomeView view;
        StdoutCapture capture;
        view.show();
        const QStringList files{m_in + QStringLiteral("/a.pdf"), m_in + QStringLiteral("/b.tif"),
                                m_in + QStringLiteral("/c.png")};
        writePdf(files[0], {Page{}});
        writeSolidPicture(files[1], QSize(10, 10), Qt::white, "tiff");
        writeSolidPicture(files[2], QSize(10, 10), Qt::white);
        QVERIFY(drop(view, files));
        QTRY_COMPARE(view.fileList()->count(), 3);
        QTest::mouseClick(buttonLabelled(view, QStringLiteral("Open Folder")), Qt::LeftButton);
        Q_EMIT view.designPicker()->activated(0);
        auto* row = view.findChild<GenerateButton*>();
        QStringList captions;
        connect(&view.state(), &HomeState::changed, this, [&] { captions << row->caption(); });
        QTest::mouseClick(row->button(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        capture.finish();
        QCOMPARE(view.state().watermarkedCount(), 2);
        QVERIFY(captions.contains(QStringLiteral("Processing 2 of 3 files")));
        QVERIFY(!captions.contains(QStringLiteral("Processing 3 of 3 files")));
        QVERIFY(buttonLabelled(view, QStringLiteral("Clear Selection"))->isEnabled());
        QTest::mouseClick(buttonLabelled(view, QStringLiteral("Clear Selection")), Qt::LeftButton);
        QCOMPARE(view.fileList()->count(), 0);
        QVERIFY(!view.state().isWatermarkingComplete());
    }

private:
    QTemporaryDir m_dir;
    QString m_in;
    QString m_out;
};

QTEST_MAIN(TestHomeView)
#include "tst_HomeView.moc"
