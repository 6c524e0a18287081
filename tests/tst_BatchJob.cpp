#include "home/BatchJob.h"
#include "home/HomeState.h"
#include "support/HomeRun.h"
#include "support/StdoutCapture.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;

class TestBatchJob : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_folder = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
        m_out = m_folder + QStringLiteral("/out");
        QVERIFY(QDir().mkpath(m_out));
    }

    void cleanup() { BatchJob::stopAllAndWait(); }

    // Extensions are lower-cased before routing; unrouted files are skipped and not counted.
    void routesByExtensionAndCountsRoutedFiles()
    {
        const QList<QUrl> files =
            in({"a.pdf", "B.PDF", "c.Png", "d.tif", "e.txt", "noextension", "f.JPEG", "g.Tiff"});
        for (const QUrl& file : files)
            writeFile(file.toLocalFile(), {});
        writePdf(files[0].toLocalFile(), {Page{}});
        writeSolidPicture(files[2].toLocalFile(), QSize(20, 20), Qt::white);

        QStringList events;
        std::atomic<bool> stop = false;
        StdoutCapture quiet;
        BatchJob::watermarkFiles(
            files, redText(QStringLiteral("X")), m_out, stop, [&] { events << QStringLiteral("count"); },
            [&] { events << QStringLiteral("done"); });
        quiet.finish();
        // a, B, c, f and g are routed (B, f and g hold nothing readable, and still count).
        QCOMPARE(events, QStringList({"count", "count", "count", "count", "count", "done"}));
        QCOMPARE(QDir(m_out).entryList(QDir::Files), QStringList({"a.pdf", "c.Png"}));
    }

    // The stop is read before each file: the file being stamped when it came finishes and
    // counts, and a run that starts stopped touches no file. Every run ends with one finish.
    void stopTakesEffectBetweenFiles()
    {
        QStringList names;
        for (int i = 1; i <= 10; ++i)
            names << QStringLiteral("%1.pdf").arg(i);
        std::atomic<bool> stop = false;
        QStringList stamped;
        int counted = 0;
        int finished = 0;
        const auto run = [&] {
            BatchJob::watermarkFiles(
                in(names), redText(QStringLiteral("X")), m_out, stop, [&] { ++counted; }, [&] { ++finished; },
                [&](const QString& path, const WatermarkSnapshot&, const QString&) {
                    stamped << QFileInfo(path).fileName();
                    stop = stamped.size() == 3; // "Stop" pressed while the third file is being written
                    return true;
                });
        };
        run();
        QCOMPARE(stamped, QStringList({"1.pdf", "2.pdf", "3.pdf"}));
        QCOMPARE(counted, 3);
        QCOMPARE(finished, 1);
        run();
        QCOMPARE(stamped.size(), 3);
        QCOMPARE(finished, 2);
    }

    // A run needs files, a folder and a chosen design, and the list holds one entry per
    // location. Counts arrive in order, each applied before the completion; a new run starts afresh.
    void runNeedsReportsAndStartsAfresh()
    {
        HomeState state;
        const QList<QUrl> files = documents(4);
        HomeRun::prepare(state, m_folder, files + files);
        QCOMPARE(state.draggedFiles(), files);
        state.setOutputDirectory(std::nullopt);
        QVERIFY(!state.canStartWatermarking());
        state.setOutputDirectory(QUrl::fromLocalFile(m_out));
        state.setSelectedWatermarkID(QUuid::createUuid());
        QVERIFY(!state.canStartWatermarking());
        state.setSelectedWatermarkID(state.watermarks().front()->id());
        QList<qint64> counts;
        connect(&state, &HomeState::changed, this, [&] {
            if (counts.isEmpty() || counts.last() != state.watermarkedCount())
                counts << state.watermarkedCount();
        });
        StdoutCapture capture;
        state.startWatermarking();
        QTRY_VERIFY_WITH_TIMEOUT(state.isWatermarkingComplete(), 60000);
        QVERIFY(capture.finish().startsWith("Watermarking files...\n"));
        QCOMPARE(counts, QList<qint64>({0, 1, 2, 3, 4}));
        QVERIFY(!state.isWatermarking());
        QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), 4);

        state.stopWatermarking();
        StdoutCapture again;
        state.startWatermarking();
        again.finish();
        QTRY_VERIFY_WITH_TIMEOUT(state.isWatermarkingComplete(), 60000);
        QCOMPARE(state.watermarkedCount(), 4);

        state.deleteFiles({0, 2, 0});
        QCOMPARE(state.draggedFiles(), (QList<QUrl>{files[1], files[3]}));
        QVERIFY(state.canStartWatermarking());
        for (const QUrl& file : files)
            state.removeFile(file);
        QVERIFY(state.draggedFiles().isEmpty() && !state.canStartWatermarking());
    }

    // The screen may go while its batch runs: the batch writes every output, and its posts
    // to the vanished state are dropped.
    void batchOutlivesItsScreen()
    {
        auto state = std::make_unique<HomeState>();
        HomeRun::prepare(*state, m_folder, documents(6));
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
        HomeRun::prepare(state, m_folder, documents(8));
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
    QList<QUrl> in(const QStringList& names) const
    {
        QList<QUrl> result;
        for (const QString& name : names)
            result.append(QUrl::fromLocalFile(QDir(m_folder).filePath(name)));
        return result;
    }

    // Documents of 20 pages, doc1.pdf and on, long enough to stop a run in the middle.
    QList<QUrl> documents(int count) const
    {
        QList<QUrl> files;
        for (int i = 1; i <= count; ++i) {
            files += in({QStringLiteral("doc%1.pdf").arg(i)});
            writePdf(files.last().toLocalFile(),
                     std::vector<Page>(20, Page{.content = textContent(QStringLiteral("Body"), 72, 72)}));
        }
        return files;
    }

    QTemporaryDir m_dir;
    QString m_folder;
    QString m_out;
};

QTEST_MAIN(TestBatchJob)
#include "tst_BatchJob.moc"
