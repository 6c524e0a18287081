#include "designs/copyDesignPicture.h"
#include "home/WatermarkRouting.h"
#include "model/SavedDesigns.h"
#include "render/CheckedSaveFile.h"
#include "render/WatermarkHelper.h"
#include "render/watermarkPDFFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace TestFiles;
using namespace Qt::StringLiterals;

namespace {

constexpr char underSizeLimit[] = "--under-file-size-limit";
const QUuid pictureId(u"0F2B6C1E-5D4A-4C3B-9A8E-7D6F5E4D3C2B"_s);

// What the child does under the limit, and what came of it.
QString act(const QStringList& arguments)
{
    const QString& action = arguments[0];
    FileOutcome outcome = FileOutcome::failure(u"unknown action"_s);
    if (action == u"stamp") {
        const auto routed =
            WatermarkRouting::watermarkFile(arguments[2], pictureDesign(arguments[1]), arguments[2]);
        outcome = routed ? *routed : FileOutcome::failure(u"skipped"_s);
    } else if (action == u"store") {
        WatermarkList list;
        for (int i = 0; i < 20; ++i)
            list.push_back(WatermarkSettings::fromSnapshot(redText(u"Design %1"_s.arg(i))));
        outcome = SavedDesigns(arguments[1]).storeWatermarks(list);
    } else if (action == u"copy") {
        const auto copied = copyDesignPicture(arguments[1], pictureId, arguments[2]);
        outcome = copied ? FileOutcome(copied->toLocalFile()) : FileOutcome::failure(copied.error());
    }
    return outcome ? u"written"_s : outcome.error();
}

// Runs in a child process of the test binary, so that only it is limited: every write past the
// limit fails with EFBIG, as writes do on a full disk. Prints the outcome as its last line.
int actUnderSizeLimit(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    std::signal(SIGXFSZ, SIG_IGN); // the write then fails instead of the signal ending the process
    const rlim_t bytes = std::strtoull(argv[2], nullptr, 10);
    const rlimit limit{bytes, bytes};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 2;
    const QString said = act(app.arguments().mid(3));
    std::printf("\n%s\n", qPrintable(said));
    return 0;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Its disk accepts every byte but will not flush them.
class UnsyncableSaveFile : public CheckedSaveFile
{
public:
    using CheckedSaveFile::CheckedSaveFile;

protected:
    int syncToDisk(int) override { return EIO; }
};

} // namespace

class TestFileSafety : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { writeSolidPicture(m_dir.filePath("logo.png"), QSize(40, 40), Qt::red); }

    // Writes fail part way through for real, over the file they would replace: it stays byte for
    // byte, no temporary file is left, nothing claims success, and the user learns that the disk
    // is full. Outputs over their own input; the saved designs, whatever room is left; the copy
    // of a design's picture over an earlier copy.
    void failedWritesKeepTheEarlierFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("limit");
        QTest::newRow("pdf") << u"report.pdf"_s << u"stamp"_s << 1024;
        QTest::newRow("png") << u"photo.png"_s << u"stamp"_s << 1024;
        QTest::newRow("tiff") << u"scan.tiff"_s << u"stamp"_s << 1024;
        for (int limit : {0, 100, 1024})
            QTest::addRow("designs, %d bytes", limit) << u"designs.conf"_s << u"store"_s << limit;
        QTest::newRow("design picture")
            << pictureId.toString(QUuid::WithoutBraces).toUpper() + u".jpg"_s << u"copy"_s << 1024;
    }

    void failedWritesKeepTheEarlierFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, action);
        QFETCH(int, limit);
        QTemporaryDir folder;
        const QString path = folder.filePath(name);
        QStringList arguments{action};
        if (action == u"store") {
            QVERIFY(SavedDesigns(path)
                        .storeWatermarks({WatermarkSettings::fromSnapshot(redText(u"Kept"_s))})
                        .ok());
            arguments << path;
        } else if (action == u"copy") {
            QVERIFY(copyDesignPicture(m_dir.filePath("logo.png"), pictureId, folder.path()).ok());
            const QString larger = m_dir.filePath("busy.png"); // no codec packs it below the limit
            QVERIFY(busyPicture({200, 200}).save(larger));
            arguments << larger << folder.path();
        } else {
            if (name.endsWith(u".pdf"_s)) {
                std::vector<Page> pages;
                for (int i = 0; i < 20; ++i)
                    pages.push_back(Page{.content = textContent(u"Page %1 of the report"_s.arg(i), 72, 72)});
                writePdf(path, pages);
            } else if (name.endsWith(u".png"_s)) {
                QVERIFY(busyPicture({200, 200}).save(path));
            } else {
                writeTiff(path, {busyPicture({200, 200}), busyPicture({200, 200})});
            }
            arguments << m_dir.filePath("logo.png") << path;
        }
        const QByteArray original = readFile(path);

        QProcess child;
        // Qt's PNG writer leaks its row buffer when libpng reports a write error; that is Qt's
        // and not the fault under test, so the leak check is off in the child alone.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"ASAN_OPTIONS"_s, environment.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    QStringList{underSizeLimit, QString::number(limit)} + arguments);
        QVERIFY(child.waitForFinished(-1));
        QCOMPARE(child.exitCode(), 0);
        const QList<QByteArray> lines = child.readAllStandardOutput().trimmed().split('\n');
        QVERIFY(readFile(path) == original);
        QCOMPARE(entries(folder.path()), QStringList{name});
        QCOMPARE(lines.last(), "the disk is full"_ba);
        QVERIFY(!lines.contains("Saved"));
    }

    // A flush to the disk that fails, or a rename that fails, is a failed write: the file there
    // stays as it was and no temporary file is left.
    void failedCommitKeepsTheEarlierFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(u"kept.pdf"_s);
        writeFile(path, "previous");
        UnsyncableSaveFile unsynced(path);
        QVERIFY(unsynced.create().ok());
        QCOMPARE(unsynced.write("new bytes"), 9);
        QCOMPARE(unsynced.commit().error(), u"input/output error"_s);
        QCOMPARE(readFile(path), "previous"_ba);

        const QString blocked = folder.filePath(u"blocked.pdf"_s);
        CheckedSaveFile renamed(blocked);
        QVERIFY(renamed.create().ok());
        QCOMPARE(renamed.write("new bytes"), 9);
        QVERIFY(QDir(folder.path()).mkpath(u"blocked.pdf/inside"_s)); // a rename cannot replace it
        QVERIFY(!renamed.commit().ok());
        QCOMPARE(entries(folder.path()), (QStringList{u"blocked.pdf"_s, u"kept.pdf"_s}));
    }

    // Whatever reads a document or a picture refuses a FIFO (which would block forever) and a
    // link to a device (which never ends) at once, writing and drawing nothing.
    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reader");
        for (const QString& kind : {u"fifo"_s, u"device"_s})
            for (const QString& reader : {u"pdf"_s, u"picture"_s, u"design drawing"_s, u"design copy"_s})
                QTest::addRow("%s, %s", qPrintable(kind), qPrintable(reader)) << kind << reader;
    }

    void onlyRegularFilesAreRead()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reader);
        QTemporaryDir folder;
        const QString input = folder.filePath(u"input"_s);
        if (kind == u"fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(input).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(u"/dev/zero"_s, input));
        const QString output = folder.filePath(u"output"_s);
        if (reader == u"pdf") {
            QCOMPARE(watermarkPDFFile(input, redText(u"W"_s), output).error(), u"not a regular file"_s);
        } else if (reader == u"picture") {
            const auto outcome = WatermarkHelper::watermarkImageFile(input, redText(u"W"_s), output);
            QCOMPARE(outcome.error(), u"not a regular file"_s);
        } else if (reader == u"design copy") {
            QVERIFY(
                copyDesignPicture(input, pictureId, folder.path()).error().endsWith(u"not a regular file"_s));
        } else {
            QByteArray printed;
            QCOMPARE(inkBounds(drawnOnWhite(pictureDesign(input), {40, 40}, &printed), isInk), QRect());
            QCOMPARE(printed, QByteArray());
        }
        QCOMPARE(entries(folder.path()), QStringList{u"input"_s});
    }
};

int main(int argc, char* argv[])
{
    if (argc >= 4 && qstrcmp(argv[1], underSizeLimit) == 0)
        return actUnderSizeLimit(argc, argv);
    QGuiApplication app(argc, argv);
    TestFileSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_FileSafety.moc"
