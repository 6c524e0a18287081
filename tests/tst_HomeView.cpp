#include "home/FileDropAreaView.h"
#include "home/GenerateButton.h"
#include "home/HomeView.h"
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

void press(QWidget& root, const char* name)
{
    QTest::mouseClick(root.findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
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
        SavedDesigns().storeWatermarks({WatermarkSettings::fromSnapshot(redText(QStringLiteral("FIRST"))),
                                        WatermarkSettings::fromSnapshot(redText(QStringLiteral("SECOND")))});
    }

    void init()
    {
        QVERIFY(m_dir.isValid());
        m_out = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
        QVERIFY(QDir().mkpath(m_out));
        Dialogs::setFolderAnswer([this] { return Dialogs::Choice{true, QUrl::fromLocalFile(m_out)}; });
    }

    void cleanup() { Dialogs::setFolderAnswer({}); }

    // Files dropped, a folder and a design chosen, "Watermark" pressed: every file stamped with
    // that design, but for one of an extension that routes nowhere, so the count stops short.
    void wholeRoad()
    {
        HomeView view;
        view.show();
        QCOMPARE(view.designPicker()->currentIndex(), -1);
        auto* row = view.findChild<GenerateButton*>();
        auto* generate = row->button();

        const QStringList files{m_dir.filePath(QStringLiteral("Report.pdf")),
                                m_dir.filePath(QStringLiteral("b.tif")),
                                m_dir.filePath(QStringLiteral("photo.png"))};
        writePdf(files[0], {Page{.content = textContent(QStringLiteral("Quarterly figures"), 72, 700)}});
        writeSolidPicture(files[1], QSize(10, 10), Qt::white, "tiff");
        writeSolidPicture(files[2], QSize(300, 200), Qt::white);
        QVERIFY(drop(view, files));
        QTRY_COMPARE(view.fileList()->count(), 3);
        press(view, "openFolderButton");
        QVERIFY2(!generate->isEnabled(), "no design chosen yet");
        Q_EMIT view.designPicker()->activated(1);
        QVERIFY(generate->isEnabled());

        QStringList captions;
        connect(&view.state(), &HomeState::changed, this, [&] { captions << row->caption(); });
        QTest::mouseClick(generate, Qt::LeftButton);
        QCOMPARE(generate->text(), QStringLiteral("Stop"));
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        QCOMPARE(generate->text(), QStringLiteral("Watermark"));
        QCOMPARE(view.state().watermarkedCount(), 2);
        QVERIFY2(captions.contains(QStringLiteral("Processing 2 of 3 files")),
                 qPrintable(captions.join(", ")));
        QVERIFY(pageText(m_out + QStringLiteral("/Report.pdf"), 0).contains(QStringLiteral("SECOND")));
        press(view, "clearSelectionButton");
        QCOMPARE(view.fileList()->count(), 0);
    }

    // While a run is in progress the design cannot change and the list's delete key does
    // nothing; "Stop" ends the run after the file being stamped.
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
        view.fileList()->setCurrentRow(0);
        QTest::keyClick(view.fileList(), Qt::Key_Delete);
        QCOMPARE(view.fileList()->count(), 12);

        QTRY_VERIFY_WITH_TIMEOUT(view.state().watermarkedCount() >= 1, 60000);
        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view.state().isWatermarkingComplete(), 60000);
        const qint64 count = view.state().watermarkedCount();
        QVERIFY2(count < 12, "the run went on after Stop");
        QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), count);
        QVERIFY(view.designPicker()->isEnabled());
    }

private:
    QTemporaryDir m_dir;
    QString m_out;
};

QTEST_MAIN(TestHomeView)
#include "tst_HomeView.moc"
