#include "home/WatermarkRouting.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>

#include <sys/resource.h>

using namespace TestFiles;
using namespace Qt::StringLiterals;

namespace {

constexpr char underSizeLimit[] = "--stamp-under-file-size-limit";

// Runs in a child process of the test binary, so that only it is limited: every write past
// 1 KB fails with EFBIG, as writes do on a full disk. Prints the outcome as its last line.
int stampUnderSizeLimit(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QString design = QString::fromLocal8Bit(argv[2]);
    const QString file = QString::fromLocal8Bit(argv[3]);
    std::signal(SIGXFSZ, SIG_IGN); // the write then fails instead of the signal ending the process
    const rlimit limit{1024, 1024};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 2;
    const auto outcome = WatermarkRouting::watermarkFile(file, pictureDesign(design), file);
    const QString said = !outcome ? u"skipped"_s : outcome->ok() ? u"written"_s : outcome->error();
    std::printf("\n%s\n", qPrintable(said));
    return 0;
}

// Random pixels, which no codec compresses below the size limit.
QImage noise()
{
    QImage image(200, 200, QImage::Format_ARGB32);
    auto random = QRandomGenerator(7);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random.generate());
    return image;
}

} // namespace

class TestFileSafety : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { writeSolidPicture(m_dir.filePath("logo.png"), QSize(40, 40), Qt::red); }

    // Writes fail part way through for real, with the output over its own input: the input
    // stays byte for byte, no temporary file is left, and the user learns that the disk is full.
    void failedWritesKeepTheOriginal_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("pdf") << u"report.pdf"_s;
        QTest::newRow("png") << u"photo.png"_s;
        QTest::newRow("tiff") << u"scan.tiff"_s;
    }

    void failedWritesKeepTheOriginal()
    {
        QFETCH(QString, name);
        QTemporaryDir folder;
        const QString path = folder.filePath(name);
        if (name.endsWith(u".pdf"_s)) {
            std::vector<Page> pages;
            for (int i = 0; i < 20; ++i)
                pages.push_back(Page{.content = textContent(u"Page %1 of the report"_s.arg(i), 72, 72)});
            writePdf(path, pages);
        } else if (name.endsWith(u".png"_s)) {
            QVERIFY(noise().save(path));
        } else {
            writeTiff(path, {noise(), noise()});
        }
        const QByteArray original = readFile(path);

        QProcess child;
        // Qt's PNG writer leaks its row buffer when libpng reports a write error; that is Qt's
        // and not the fault under test, so the leak check is off in the child alone.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"ASAN_OPTIONS"_s, environment.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {underSizeLimit, m_dir.filePath("logo.png"), path});
        QVERIFY(child.waitForFinished(-1));
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(readFile(path) == original);
        QCOMPARE(QDir(folder.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{name});
        QCOMPARE(child.readAllStandardOutput().trimmed().split('\n').last(), "the disk is full"_ba);
    }
};

int main(int argc, char* argv[])
{
    if (argc == 4 && qstrcmp(argv[1], underSizeLimit) == 0)
        return stampUnderSizeLimit(argc, argv);
    QGuiApplication app(argc, argv);
    TestFileSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_FileSafety.moc"
