#include "home/BatchJob.h"
#include "home/BatchPool.h"
#include "home/HomeState.h"
#include "model/SavedDesigns.h"
#include "support/StdoutCapture.h"
#include "support/TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <exiv2/exiv2.hpp>

#include <optional>
#include <vector>

using namespace TestFiles;

// How a test runs its batch: the machine's pool through the batch's own routing by default.
struct Batch
{
    BatchJob::Stamper stamper = BatchJob::routedStamper();
    int workers = BatchPool::machineWorkers();
    const std::atomic<bool>* stop = nullptr;
};

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

    // Files are routed by what they hold, whatever their names; each output keeps its input's
    // name. Three workers stamp three files at once, and every file reached is reported once:
    // written with its output, failed with the reason, or skipped; the batch finishes once.
    void routesByContentAndReportsEachFile()
    {
        const QList<QUrl> files = in({"a.pdf", "c.Png", "photo", "doc.txt", "d.tif", "e.txt"});
        writePdf(files[0].toLocalFile(), {Page{}});
        writeSolidPicture(files[1].toLocalFile(), QSize(20, 20), Qt::white);
        writeSolidPicture(files[2].toLocalFile(), QSize(20, 20), Qt::white, "jpeg");
        writePdf(files[3].toLocalFile(), {Page{}});
        writeFile(files[4].toLocalFile(), {});
        writeFile(files[5].toLocalFile(), "text");

        std::atomic<bool> together = false;
        QCOMPARE(run(files, redText(QStringLiteral("X")), m_out,
                     {.stamper = overlapping(3, together), .workers = 3}),
                 QStringList({"a.pdf -> out/a.pdf", "c.Png -> out/c.Png", "photo -> out/photo",
                              "doc.txt -> out/doc.txt", "skipped d.tif", "skipped e.txt", "done"}));
        QVERIFY(together);
        QCOMPARE(m_reports[4].reason, QStringLiteral("not a PDF, PNG, JPEG or TIFF file"));
        QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), 4);
        QVERIFY(pageText(m_out + QStringLiteral("/doc.txt"), 0).contains(QLatin1Char('X')));
    }

    // "Stop" pressed while three files are in flight: those three finish whole and are
    // reported, no other file starts, and the batch finishes once. A run that starts stopped
    // touches no file and still finishes.
    void stopLetsTheFilesInFlightFinish()
    {
        std::atomic<bool> stop = false;
        const QList<QUrl> files = documents(8);
        const Batch batch{.stamper = overlapping(3, stop), .workers = 3, .stop = &stop};
        const auto design = redText(QStringLiteral("STAMPED"));
        QCOMPARE(run(files, design, m_out, batch),
                 QStringList({"doc1.pdf -> out/doc1.pdf", "doc2.pdf -> out/doc2.pdf",
                              "doc3.pdf -> out/doc3.pdf", "done"}));
        verifyWholeOutputs(3);
        QCOMPARE(run(files.mid(3), design, m_out, batch), QStringList{"done"});
        verifyWholeOutputs(3);
    }

    // Files start in list order, and only while the estimated memory of the files in flight
    // stays within the budget; a file larger than the budget runs alone.
    void memoryBudgetBoundsTheFilesInFlight()
    {
        const std::vector<qint64> costs = {60, 30, 30, 150, 10, 10, 50};
        std::vector<qsizetype> order(costs.size(), -1);
        std::atomic<size_t> started = 0;
        std::atomic<qint64> inFlight = 0;
        std::atomic<bool> overBudget = false;
        const std::atomic<bool> stop = false;
        BatchPool(4, 100).run(
            qsizetype(costs.size()), stop, [&](qsizetype file) { return costs[file]; },
            [&](qsizetype file) {
                order[started++] = file;
                const qint64 now = inFlight += costs[file];
                if (now > 100 && now != costs[file])
                    overBudget = true;
                QThread::msleep(20);
                inFlight -= costs[file];
            });
        QVERIFY(!overBudget);
        QCOMPARE(order, (std::vector<qsizetype>{0, 1, 2, 3, 4, 5, 6}));
    }

    // Two inputs of one name never share an output. An input living in the output folder keeps
    // its name, wherever it stands in the list, so only its own stamped copy replaces it; the
    // others take the next free " (n)", ignoring case.
    void sameNamesTakeTheirOwnOutputs()
    {
        const QList<QUrl> files = in({"b/report.pdf", "a/report.pdf", "a/report (2).pdf", "c/REPORT.pdf"});
        const auto make = [&](int i) {
            QDir().mkpath(QFileInfo(files[i].toLocalFile()).path());
            writePdf(files[i].toLocalFile(),
                     {Page{.content = textContent(QStringLiteral("from %1").arg(i), 72, 72)}});
        };
        make(0);
        make(1);
        const QString a = m_folder + QStringLiteral("/a");
        const auto textOf = [&](const char* name) { return pageText(a + QLatin1Char('/') + name, 0); };

        QCOMPARE(run(files.mid(0, 2), redText(QStringLiteral("STAMPED")), a),
                 QStringList({"report.pdf -> a/report (2).pdf", "report.pdf -> a/report.pdf", "done"}));
        QVERIFY(textOf("report (2).pdf").contains(QStringLiteral("from 0")));
        QVERIFY(textOf("report.pdf").contains(QStringLiteral("from 1")));
        QVERIFY(textOf("report.pdf").contains(QStringLiteral("STAMPED")));

        make(2);
        make(3);
        QCOMPARE(
            run(files, redText(QStringLiteral("X")), a),
            QStringList({"report.pdf -> a/report (3).pdf", "report.pdf -> a/report.pdf",
                         "report (2).pdf -> a/report (2).pdf", "REPORT.pdf -> a/REPORT (4).pdf", "done"}));
        QVERIFY(textOf("report (2).pdf").contains(QStringLiteral("from 2")));

        // Into a folder of their own, alike named inputs from two folders still part.
        const QString out = m_folder + QStringLiteral("/out");
        QDir().mkpath(out);
        QCOMPARE(run({files[1], files[0]}, redText(QStringLiteral("X")), out),
                 QStringList({"report.pdf -> out/report.pdf", "report.pdf -> out/report (2).pdf", "done"}));
        QVERIFY(pageText(out + QStringLiteral("/report (2).pdf"), 0).contains(QStringLiteral("from 0")));
    }

    // An image design whose picture does not decode, or a design that leaves no mark on the page,
    // writes nothing and fails every routed file with the reason; a design without a picture is
    // drawn as text.
    void unreadableDesignPictureWritesNothing()
    {
        const QList<QUrl> files = in({"a.pdf", "b.png", "c.txt"});
        writePdf(files[0].toLocalFile(), {Page{}});
        writeSolidPicture(files[1].toLocalFile(), QSize(20, 20), Qt::white);
        writeFile(files[2].toLocalFile(), "text");
        const QString picture = m_folder + QStringLiteral("/logo.png");
        writeSolidPicture(picture, QSize(20, 20), Qt::red);
        QVERIFY(QFile::resize(picture, 60)); // still a PNG by its signature, but no picture
        WatermarkSnapshot design = pictureDesign(picture);
        for (const char* bytes : {"", "not a picture"}) {
            if (*bytes)
                writeFile(picture, bytes);
            QCOMPARE(run(files, design),
                     QStringList({"failed a.pdf", "failed b.png", "skipped c.txt", "done"}));
            QCOMPARE(m_reports[1].reason, QStringLiteral("the design's picture cannot be read"));
            QVERIFY(QDir(m_out).isEmpty());
        }
        writeSolidPicture(picture, QSize(20, 20), Qt::red);
        for (WatermarkSnapshot invisible :
             {pictureDesign(picture, 100, 0), redText(QStringLiteral(" \n "))}) {
            QCOMPARE(run(files, invisible),
                     QStringList({"failed a.pdf", "failed b.png", "skipped c.txt", "done"}));
            QCOMPARE(m_reports[0].reason, QStringLiteral("the design draws nothing on this page"));
            QVERIFY(QDir(m_out).isEmpty());
        }
        design.imageData.reset();
        design.text = QStringLiteral("LOGO");
        QCOMPARE(run(files.mid(0, 1), design), QStringList({"a.pdf -> out/a.pdf", "done"}));
    }

    // A run needs files, a folder and a chosen design, and the list holds one entry per
    // location. Each file's report arrives with its count (routed files only), in the order the
    // files finish, all before the completion; a new run starts afresh; removing a file drops
    // its report.
    void runNeedsReportsAndStartsAfresh()
    {
        HomeState state;
        const QList<QUrl> files = documents(4);
        QList<QUrl> listed = files;
        listed.insert(2, in({"notes.txt"}).front());
        listed.append(in({"broken.pdf"}));
        writeFile(listed[2].toLocalFile(), "notes");
        writeFile(listed.last().toLocalFile(), "%PDF-1.7\nnot a whole document");
        prepare(state, listed + listed);
        QCOMPARE(state.draggedFiles(), listed);
        state.setOutputDirectory(std::nullopt);
        QVERIFY(!state.canStartWatermarking());
        state.setOutputDirectory(QUrl::fromLocalFile(m_out));
        state.setSelectedWatermarkID(QUuid::createUuid());
        QVERIFY(!state.canStartWatermarking());
        state.setSelectedWatermarkID(state.watermarks().front()->id());
        QList<qint64> counts;
        QList<QUrl> reported;
        connect(&state, &HomeState::changed, this, [&] {
            if (counts.isEmpty() || counts.last() != state.watermarkedCount())
                counts << state.watermarkedCount();
            for (auto report = state.fileReports().cbegin(); report != state.fileReports().cend(); ++report) {
                if (!reported.contains(report.key()))
                    reported << report.key();
            }
            QVERIFY(!state.isWatermarkingComplete() || reported.size() == listed.size());
        });
        StdoutCapture capture;
        state.startWatermarking();
        QTRY_VERIFY_WITH_TIMEOUT(state.isWatermarkingComplete(), 60000);
        QVERIFY(capture.finish().startsWith("Watermarking files...\n"));
        QCOMPARE(counts, QList<qint64>({0, 1, 2, 3, 4, 5}));
        QCOMPARE(QSet<QUrl>(reported.begin(), reported.end()), QSet<QUrl>(listed.begin(), listed.end()));
        QCOMPARE(state.fileReports().value(files[0]).output,
                 QDir(m_out).filePath(QStringLiteral("doc1.pdf")));
        QCOMPARE(state.fileReports().value(listed[2]).status, FileReport::Status::skipped);
        QCOMPARE(state.failedCount(), 1);
        QVERIFY(!state.isWatermarking());
        QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), 4);

        state.stopWatermarking();
        StdoutCapture again;
        state.startWatermarking();
        again.finish();
        QVERIFY(state.fileReports().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(state.isWatermarkingComplete(), 60000);
        QCOMPARE(state.watermarkedCount(), 5);

        state.deleteFiles({0, 2, 0});
        QCOMPARE(state.draggedFiles(), (QList<QUrl>{files[1], files[2], files[3], listed.last()}));
        QVERIFY(!state.fileReports().contains(files[0]) && state.fileReports().size() == 4);
        state.removeFile(listed.last());
        QCOMPARE(state.failedCount(), 0);
        QVERIFY(state.canStartWatermarking());
        state.clearSelection();
        QVERIFY(state.fileReports().isEmpty() && !state.canStartWatermarking());
    }

    // A text's fields are filled in per file: a picture's EXIF date draws exactly as the same text
    // typed, a document's name and place show in its text, braces doubled write one, and a file
    // whose filled text shows nothing fails unwritten.
    void fieldsAreFilledInPerFile()
    {
        const QList<QUrl> files = in({"report.v2.pdf", "notes.txt", "photo.jpg"});
        writePdf(files[0].toLocalFile(), {Page{}});
        writeFile(files[1].toLocalFile(), "notes");
        const QString photo = files[2].toLocalFile();
        writeSolidPicture(photo, QSize(800, 200), Qt::white, "jpeg");
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(photo).toStdString());
        image->readMetadata();
        image->exifData()["Exif.Photo.DateTimeOriginal"] = "2024:06:03 10:00:00";
        image->writeMetadata();

        auto design = redText(
            QStringLiteral("{filename} #{n} {exif:DateTimeOriginal} {{x}} {{page}} {pages}"), 50, 50, 0, 18);
        QCOMPARE(run(files, design).size(), 4);
        QCOMPARE(pageText(m_out + QStringLiteral("/report.v2.pdf"), 0).simplified(),
                 QStringLiteral("report.v2 #1 {x} {page} 1"));
        const QImage filled(m_out + QStringLiteral("/photo.jpg"));
        design.text = QStringLiteral("photo #2 2024:06:03 10:00:00 {x} {{page}} 1");
        QCOMPARE(run(files.mid(2), design).size(), 2);
        QCOMPARE(filled, QImage(m_out + QStringLiteral("/photo.jpg")));

        design.text = QStringLiteral("{exif:Artist}");
        QCOMPARE(run(files, design),
                 QStringList({"failed report.v2.pdf", "skipped notes.txt", "failed photo.jpg", "done"}));
        QCOMPARE(m_reports[0].reason, QStringLiteral("the design draws nothing on this page"));
    }

    // The screen may go while its batch runs: the batch writes every output, and its posts
    // to the vanished state are dropped.
    void batchOutlivesItsScreen()
    {
        auto state = std::make_unique<HomeState>();
        prepare(*state, documents(6));
        StdoutCapture quiet;
        state->startWatermarking();
        state.reset();
        QTRY_COMPARE_WITH_TIMEOUT(QDir(m_out).entryList(QDir::Files).size(), 6, 60000);
        QTest::qWait(50);
        quiet.finish();
    }

    // Quitting stops a run after the files being stamped, which are completed: no partial or
    // temporary file is left in the output folder.
    void quittingFinishesTheCurrentFile()
    {
        HomeState state;
        prepare(state, documents(8));
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
            QVERIFY(pageText(QDir(m_out).filePath(name), 19).contains(QStringLiteral("Body")));
        }
    }

private:
    // Gives the state a saved design, chosen, the output folder and the files: ready to start.
    void prepare(HomeState& state, const QList<QUrl>& files)
    {
        const SavedDesigns store(m_folder + QStringLiteral("/designs.ini"));
        StdoutCapture quiet;
        store.storeWatermarks({WatermarkSettings::makeNew()});
        state.loadWatermarks(store);
        quiet.finish();
        state.setSelectedWatermarkID(state.watermarks().front()->id());
        state.setOutputDirectory(QUrl::fromLocalFile(m_out));
        for (const QUrl& file : files)
            state.appendFile(file);
    }

    // Runs one batch to its end and gives a line per report in list order ("<name> -> <output>"
    // below the test's folder, "failed <name>", "skipped <name>"), then "done" per finish; the
    // reports go to m_reports. Each worker writes only the slot of the file it reports.
    QStringList run(const QList<QUrl>& files, const WatermarkSnapshot& design, QString out = {},
                    const Batch& batch = {})
    {
        std::vector<std::optional<FileReport>> slots(files.size());
        int finished = 0;
        const std::atomic<bool> neverStopped = false;
        StdoutCapture quiet; // the drawing routine's timing lines
        BatchJob::watermarkFiles(
            files, design, out.isEmpty() ? m_out : out, batch.stop ? *batch.stop : neverStopped,
            [&](const FileReport& report) { slots[files.indexOf(report.file)] = report; },
            [&] { ++finished; }, batch.stamper, batch.workers);
        quiet.finish();
        QStringList events;
        m_reports.clear();
        for (const auto& report : slots) {
            if (!report)
                continue;
            m_reports << *report;
            const QString name = QFileInfo(report->file.toLocalFile()).fileName();
            const char* const verbs[] = {"", "failed ", "skipped "};
            events << (report->status == FileReport::Status::written
                           ? name + QStringLiteral(" -> ") + QDir(m_folder).relativeFilePath(report->output)
                           : QLatin1String(verbs[int(report->status)]) + name);
        }
        return events << QStringList(finished, QStringLiteral("done"));
    }

    // The batch's own stamping, each file first waiting (five seconds at most in all) until
    // `together` files are in flight at once, which sets `reached`.
    static BatchJob::Stamper overlapping(int together, std::atomic<bool>& reached)
    {
        const auto inFlight = std::make_shared<std::atomic<int>>(0);
        const QDeadlineTimer deadline(5000);
        return [=, &reached](const QString& input, const WatermarkSnapshot& design, const QString& output) {
            if (++*inFlight == together)
                reached = true;
            while (!reached && !deadline.hasExpired())
                QThread::msleep(1);
            const FileOutcome outcome = BatchJob::routedStamper()(input, design, output);
            --*inFlight;
            return outcome;
        };
    }

    // The output folder holds exactly `count` files, each stamped on its last page: no partial
    // or temporary file.
    void verifyWholeOutputs(int count) const
    {
        const QStringList written = QDir(m_out).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(written.size(), count);
        for (const QString& name : written)
            QVERIFY(pageText(QDir(m_out).filePath(name), 19).contains(QStringLiteral("STAMPED")));
    }

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
    QList<FileReport> m_reports;
    QString m_folder;
    QString m_out;
};

QTEST_MAIN(TestBatchJob)
#include "tst_BatchJob.moc"
