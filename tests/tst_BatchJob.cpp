#include "home/BatchJob.h"
#include "home/HomeState.h"
#include "support/StdoutCapture.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;

namespace {

QList<QUrl> urls(const QString& folder, const QStringList& names)
{
    QList<QUrl> result;
    for (const QString& name : names)
        result.append(QUrl::fromLocalFile(QDir(folder).filePath(name)));
    return result;
}

} // namespace

class TestBatchJob : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        const auto folders = testFolders(m_dir);
        m_in = folders.in;
        m_out = folders.out;
    }

    void cleanup() { BatchJob::stopAllAndWait(); }

    // Extensions are lower-cased before routing; unrouted files are skipped and not counted.
    void routesByExtensionAndCountsRoutedFiles()
    {
        const QStringList names{QStringLiteral("a.pdf"),  QStringLiteral("B.PDF"),
                                QStringLiteral("c.Png"),  QStringLiteral("d.tif"),
                                QStringLiteral("e.txt"),  QStringLiteral("noextension"),
                                QStringLiteral("f.JPEG"), QStringLiteral("g.Tiff")};
        for (const QString& name : names)
            QFile(QDir(m_in).filePath(name)).open(QIODevice::WriteOnly);
        writePdf(QDir(m_in).filePath(QStringLiteral("a.pdf")), {Page{}});
        writeSolidPicture(QDir(m_in).filePath(QStringLiteral("c.Png")), QSize(20, 20), Qt::white);

        QStringList events;
        std::atomic<bool> stop = false;
        StdoutCapture quiet;
        BatchJob::watermarkFiles(
            urls(m_in, names), redText(QStringLiteral("X")), m_out, stop,
            [&] { events << QStringLiteral("count"); }, [&] { events << QStringLiteral("done"); });
        quiet.finish();
        // a, B, c, f and g are routed (B, f and g hold nothing readable, and still count).
        QCOMPARE(events, QStringList({"count", "count", "count", "count", "count", "done"}));
        QCOMPARE(QDir(m_out).entryList(QDir::Files), QStringList({"a.pdf", "c.Png"}));
    }

    // A stop seen before a file ends the run there; the file being stamped when it came finishes.
    void stopTakesEffectBetweenFiles()
    {
        QStringList names;
        for (int i = 1; i <= 10; ++i)
            names << QStringLiteral("%1.pdf").arg(i);
        std::atomic<bool> stop = false;
        QStringList stamped;
        qint64 counted = 0;
        int finished = 0;
        BatchJob::watermarkFiles(
            urls(m_in, names), redText(QStringLiteral("X")), m_out, stop, [&] { ++counted; },
            [&] { ++finished; },
            [&](const QString& path, const WatermarkSnapshot&, const QString&) {
                stamped << QFileInfo(path).fileName();
                if (stamped.size() == 3)
                    stop = true; // "Stop" pressed while the third file is being written
                return true;
            });
        QCOMPARE(stamped, QStringList({"1.pdf", "2.pdf", "3.pdf"}));
        QCOMPARE(counted, 3);
        QCOMPARE(finished, 1);

        stop = true;
        BatchJob::watermarkFiles(
            {}, redText(QStringLiteral("X")), m_out, stop, [&] { ++counted; }, [&] { ++finished; });
        QCOMPARE(finished, 2);
    }

    void startNeedsFilesFolderAndDesign()
    {
        HomeState state;
        loadOneDesign(state);
        QVERIFY(!state.canStartWatermarking());
        state.appendFile(QUrl::fromLocalFile(QDir(m_in).filePath(QStringLiteral("x.pdf"))));
        state.setOutputDirectory(QUrl::fromLocalFile(m_out));
        QVERIFY2(!state.canStartWatermarking(), "no design is chosen on a new screen");
        state.setSelectedWatermarkID(state.watermarks().front()->id());
        QVERIFY(state.canStartWatermarking());
        state.setOutputDirectory(std::nullopt);
        QVERIFY(!state.canStartWatermarking());
    }

    void fileListKeepsOneEntryPerLocation()
    {
        HomeState state;
        const auto files = urls(m_in, {"a.pdf", "b.png", "c.jpg"});
        for (const QUrl& file : files + files)
            state.appendFile(file);
        QCOMPARE(state.draggedFiles(), files);
        state.deleteFiles({2, 0, 2});
        QCOMPARE(state.draggedFiles(), QList<QUrl>{files[1]});
        state.removeFile(files[1]);
        QVERIFY(state.draggedFiles().isEmpty());
    }

    // Counts arrive in order, each applied before the completion; a new run starts afresh.
    void runReportsEveryFileThenCompletes()
    {
        HomeState state;
        prepareRun(state, 4);
        QList<qint64> counts;
        connect(&state, &HomeState::changed, this, [&] {
            if (counts.isEmpty() || counts.last() != state.watermarkedCount())
                counts << state.watermarkedCount();
        });
        StdoutCapture capture;
        state.startWatermarking();
        QVERIFY(state.isWatermarking());
        QTRY_VERIFY_WITH_TIMEOUT(state.isWatermarkingComplete(), 60000);
        const QByteArray printed = capture.finish();
        QVERIFY(printed.startsWith("Watermarking files...\n"));
        QCOMPARE(counts, QList<qint64>({0, 1, 2, 3, 4}));
        QVERIFY(!state.isWatermarking());
        QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), 4);

        state.stopWatermarking();
        StdoutCapture again;
        state.startWatermarking();
        again.finish();
        QCOMPARE(state.watermarkedCount(), 0);
        QVERIFY(!state.isWatermarkingComplete());
        QVERIFY(!state.isWatermarkingCancelled());
        QTRY_VERIFY_WITH_TIMEOUT(state.isWatermarkingComplete(), 60000);
        QCOMPARE(state.watermarkedCount(), 4);
    }

    // The screen may go while its batch runs: the batch writes every output, and its posts
    // to the vanished state are dropped.
    void batchOutlivesItsScreen()
    {
        auto state = std::make_unique<HomeState>();
        prepareRun(*state, 6);
        StdoutCapture quiet;
        state->startWatermarking();
        state.reset();
        QTRY_COMPARE_WITH_TIMEOUT(QDir(m_out).entryList(QDir::Files).size(), 6, 60000);
        QTest::qWait(50);
        quiet.finish();
    }

    // Quitting stops a run after the file being stamped, which is completed: no partial or
    // temporary file is left in the output folder.
    void quittingFinishesTheCurrentFile()
    {
        HomeState state;
        prepareRun(state, 8);
        StdoutCapture quiet;
        state.startWatermarking();
        QTest::qWait(10); // into the first files
        BatchJob::stopAllAndWait();
        quiet.finish();
        const QStringList written = QDir(m_out).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(written.size() < 8);
        for (const QString& name : written) {
            QVERIFY2(name.startsWith(QLatin1String("doc")) && name.endsWith(QLatin1String(".pdf")),
                     qPrintable(name));
            QCOMPARE(pageCount(QDir(m_out).filePath(name)), 20);
        }
    }

private:
    void loadOneDesign(HomeState& state)
    {
        const QString store = m_dir.filePath(QStringLiteral("designs.ini"));
        auto design = WatermarkSettings::fromSnapshot(redText(QStringLiteral("STAMP")));
        StdoutCapture quiet;
        SavedDesigns(store).storeWatermarks({design});
        state.loadWatermarks(SavedDesigns(store));
        quiet.finish();
    }

    void prepareRun(HomeState& state, int files)
    {
        loadOneDesign(state);
        state.setSelectedWatermarkID(state.watermarks().front()->id());
        state.setOutputDirectory(QUrl::fromLocalFile(m_out));
        for (int i = 1; i <= files; ++i) {
            const QString path = QDir(m_in).filePath(QStringLiteral("doc%1.pdf").arg(i));
            writePdf(path,
                     std::vector<Page>(20, Page{.content = textContent(QStringLiteral("Body"), 72, 72)}));
            state.appendFile(QUrl::fromLocalFile(path));
        }
    }

    QTemporaryDir m_dir;
    QString m_in;
    QString m_out;
};

QTEST_MAIN(TestBatchJob)
#include "tst_BatchJob.moc"
