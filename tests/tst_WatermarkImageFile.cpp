#include "render/ImageResolution.h"
#include "render/WatermarkHelper.h"
#include "support/TestFiles.h"

#include <QColorSpace>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

using namespace TestFiles;

namespace {

constexpr quint16 xResolution = 282, yResolution = 283, resolutionUnit = 296, orientation = 274;

// A picture of one colour that states its resolution through Qt's codecs.
QImage solid(QSize size, QColor color, double dpi, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    image.convertTo(format);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    return image;
}

QByteArray exif(bool bigEndian, const std::vector<TiffEntry>& entries)
{
    return QByteArray("Exif\0\0", 6) + tiffStructure(bigEndian, entries);
}

// Qt's JPEG with its JFIF density unit replaced (0 states only an aspect ratio, 2 is per cm).
QByteArray jpegWithUnit(const QImage& image, char unit, quint16 density)
{
    QByteArray jpeg = encodePicture(image, "jpeg");
    jpeg[13] = unit;
    qToBigEndian(density, jpeg.data() + 14);
    qToBigEndian(density, jpeg.data() + 16);
    return jpeg;
}

QSizeF dpiOf(const QByteArray& bytes, const QString& path)
{
    writeBytes(path, bytes);
    return ImageResolution::dotsPerInch(path).value_or(QSizeF());
}

QPointF centre(const QRect& rect)
{
    return QRectF(rect).center();
}

} // namespace

class TestWatermarkImageFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString folder(const QString& name) const
    {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }

private Q_SLOTS:
    void resolutionFromMetadata_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSizeF>("dpi"); // empty when the file states none
        const QImage small = solid({8, 8}, Qt::blue, 300);
        QImage uneven = small;
        uneven.setDotsPerMeterY(qRound(150 / 0.0254));
        const QByteArray png = encodePicture(uneven, "png");
        QTest::newRow("png pHYs") << png << QSizeF(300, 150);
        QTest::newRow("png without pHYs") << withoutPngChunks(png, "pHYs") << QSizeF();
        QTest::newRow("jfif dpi") << encodePicture(uneven, "jpeg") << QSizeF(300, 150);
        QTest::newRow("jfif per cm") << jpegWithUnit(small, 2, 100) << QSizeF(254, 254);
        QTest::newRow("jfif aspect only") << jpegWithUnit(small, 0, 1) << QSizeF();
        QTest::newRow("exif little endian")
            << withJpegSegment(jpegWithUnit(small, 0, 1), 0xE1,
                               exif(false, {{xResolution, 5, 600, 2}, {yResolution, 5, 72}}))
            << QSizeF(300, 72);
        QTest::newRow("exif big endian cm, y missing")
            << withJpegSegment(jpegWithUnit(small, 0, 1), 0xE1,
                               exif(true, {{xResolution, 5, 100}, {resolutionUnit, 3, 3}}))
            << QSizeF(254, 254);
        QTest::newRow("jfif wins over exif")
            << withJpegSegment(encodePicture(small, "jpeg"), 0xE1, exif(false, {{xResolution, 5, 96}}))
            << QSizeF(300, 300);
        QTest::newRow("tiff from Qt") << encodePicture(uneven, "tiff") << QSizeF(300, 150);
        QTest::newRow("tiff big endian cm")
            << tiffStructure(true, {{xResolution, 5, 100}, {yResolution, 5, 50}, {resolutionUnit, 3, 3}})
            << QSizeF(254, 127);
        QTest::newRow("tiff without unit")
            << tiffStructure(true, {{xResolution, 5, 100}, {resolutionUnit, 3, 1}}) << QSizeF();
        QTest::newRow("zero denominator") << tiffStructure(false, {{xResolution, 5, 100, 0}}) << QSizeF();
        QTest::newRow("directory beyond the end") << QByteArray("II*\0\xF0\xFF\xFF\xFF", 8) << QSizeF();
        QTest::newRow("text") << QByteArray("hello, world") << QSizeF();
    }
    void resolutionFromMetadata()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSizeF, dpi);
        const QSizeF found = dpiOf(bytes, path("resolution"));
        QCOMPARE(found.isEmpty(), dpi.isEmpty());
        QVERIFY2(qAbs(found.width() - dpi.width()) < 0.05 && qAbs(found.height() - dpi.height()) < 0.05,
                 qPrintable(QStringLiteral("%1 x %2").arg(found.width()).arg(found.height())));
    }

    // Every prefix of a file, and files with bytes overwritten at random, either give the
    // intact file's answer or none; under AddressSanitizer this also proves reads stay in bounds.
    void resolutionSurvivesDamagedFiles()
    {
        const QImage small = solid({8, 8}, Qt::blue, 300);
        const QByteArray samples[] = {
            encodePicture(small, "png"),
            withJpegSegment(jpegWithUnit(small, 0, 1), 0xE1, exif(true, {{xResolution, 5, 300}})),
            tiffStructure(false, {{xResolution, 5, 300}, {resolutionUnit, 3, 2}}),
        };
        auto random = QRandomGenerator(42);
        for (const QByteArray& sample : samples) {
            for (qsizetype length = 0; length < sample.size(); ++length) {
                const QSizeF found = dpiOf(sample.left(length), path("truncated"));
                QVERIFY(found.isEmpty() || qAbs(found.width() - 300) < 0.05);
            }
            for (int round = 0; round < 300; ++round) {
                QByteArray damaged = sample.left(300);
                for (int hit = 0; hit < 4; ++hit)
                    damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
                dpiOf(damaged, path("damaged"));
            }
        }
    }

    void routesByExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("inputFormat");
        QTest::addColumn<QByteArray>("outputFormat");
        QTest::addColumn<QRgb>("transparentCorner"); // what the input's transparent area becomes
        QTest::newRow("png") << QStringLiteral("p.png") << QByteArray("png") << QByteArray("png")
                             << qRgba(0, 0, 0, 0);
        QTest::newRow("upper-case png")
            << QStringLiteral("X.PNG") << QByteArray("png") << QByteArray("png") << qRgba(0, 0, 0, 0);
        QTest::newRow("upper-case jpg")
            << QStringLiteral("Y.JPG") << QByteArray("jpeg") << QByteArray("jpeg") << qRgb(0, 0, 0);
        QTest::newRow("tiff") << QStringLiteral("scan.tiff") << QByteArray("tiff") << QByteArray("jpeg")
                              << qRgb(255, 255, 255);
        QTest::newRow("png named jpeg")
            << QStringLiteral("z.jpeg") << QByteArray("png") << QByteArray("jpeg") << qRgb(255, 255, 255);
    }
    void routesByExtension()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, inputFormat);
        QFETCH(QByteArray, outputFormat);
        QFETCH(QRgb, transparentCorner);
        QImage input = solid({300, 300}, Qt::blue, 72);
        for (int y = 0; y < 300; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(input.scanLine(y)), 100, qRgba(0, 0, 0, 0));
        const QString input_ = folder("in") + "/" + name;
        writeBytes(input_, encodePicture(input, inputFormat));

        const auto outcome = WatermarkHelper::watermarkImageFile(input_, redText("W", 50, 90), folder("out"));
        QVERIFY2(outcome.ok(), qPrintable(outcome.error()));
        QCOMPARE(*outcome, folder("out") + "/" + name);
        QCOMPARE(formatOf(*outcome), outputFormat);
        const QImage output = readPicture(*outcome);
        QCOMPARE(output.size(), QSize(300, 300));
        const QPointF ink = centre(inkBounds(output, isRed));
        QVERIFY2(qAbs(ink.x() - 150) < 5 && qAbs(ink.y() - 30) < 8, "yPosition 90 is near the top");
        const QRgb corner = output.pixel(5, 295);
        QCOMPARE(qAlpha(corner), qAlpha(transparentCorner));
        QVERIFY(qAbs(qGray(corner) - qGray(transparentCorner)) < 8);
        const QRgb blue = output.pixel(295, 295); // away from the mark, pixels stay as they were
        QVERIFY(qBlue(blue) > 245 && qRed(blue) < 10 && qGreen(blue) < 10);
    }

    // A 100 pt picture design covers 100 pt of the printed picture, whatever its pixel density.
    void scalesDesignWithResolution_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<double>("dpi"); // 0: the file states none
        QTest::addColumn<int>("side");
        QTest::addColumn<QImage::Format>("pixels"); // grey and palette pictures must take colour
        const auto rgb = QImage::Format_RGB32;
        QTest::newRow("png 72") << QByteArray("png") << 72.0 << 100 << rgb;
        QTest::newRow("png 144") << QByteArray("png") << 144.0 << 200 << rgb;
        QTest::newRow("png 300") << QByteArray("png") << 300.0 << 417 << rgb;
        QTest::newRow("png none") << QByteArray("png") << 0.0 << 100 << rgb;
        QTest::newRow("jpeg 144") << QByteArray("jpeg") << 144.0 << 200 << rgb;
        QTest::newRow("grey jpeg 144") << QByteArray("jpeg") << 144.0 << 200 << QImage::Format_Grayscale8;
        QTest::newRow("palette png 144") << QByteArray("png") << 144.0 << 200 << QImage::Format_Indexed8;
    }
    void scalesDesignWithResolution()
    {
        QFETCH(QByteArray, format);
        QFETCH(double, dpi);
        QFETCH(int, side);
        QFETCH(QImage::Format, pixels);
        writeSolidPicture(path("mark.png"), {100, 100}, Qt::red);
        QByteArray bytes = encodePicture(solid({1000, 1000}, Qt::white, dpi > 0 ? dpi : 96, pixels), format);
        if (dpi == 0)
            bytes = withoutPngChunks(bytes, "pHYs");
        const QString input = folder("scale") + "/picture." + format;
        writeBytes(input, bytes);

        const auto outcome =
            WatermarkHelper::watermarkImageFile(input, pictureDesign(path("mark.png")), folder("out"));
        QVERIFY2(outcome.ok(), qPrintable(outcome.error()));
        const QImage output = readPicture(*outcome);
        QCOMPARE(output.size(), QSize(1000, 1000));
        const QRect red = inkBounds(output, isRed);
        QVERIFY2(qAbs(red.width() - side) <= 3 && qAbs(red.height() - side) <= 3,
                 qPrintable(QStringLiteral("%1 x %2").arg(red.width()).arg(red.height())));
        QVERIFY(qAbs(centre(red).x() - 500) < 2 && qAbs(centre(red).y() - 500) < 2);
        const auto written = ImageResolution::dotsPerInch(*outcome);
        QVERIFY(written && qAbs(written->width() - (dpi > 0 ? dpi : 72)) < 0.05);
    }

    // Stored landscape with 144 x 72 dpi and turned upright by its EXIF tag: the upright picture
    // is 100 x 200 pixels at 72 x 144 dpi, so 100 x 100 pt, and a 20 pt mark covers 20 x 40 pixels.
    void turnsByExifOrientation()
    {
        QImage stored = solid({200, 100}, Qt::white, 144, QImage::Format_RGB32);
        stored.setDotsPerMeterY(qRound(72 / 0.0254));
        for (int y = 0; y < 50; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(stored.scanLine(y)), 200, qRgb(0, 0, 255));
        writeBytes(path("turned.jpg"),
                   withJpegSegment(encodePicture(stored, "jpeg"), 0xE1, exif(false, {{orientation, 3, 6}})));
        writeSolidPicture(path("mark.png"), {20, 20}, Qt::red);

        const auto design = pictureDesign(path("mark.png"), 100, 1, 25, 90);
        const auto outcome = WatermarkHelper::watermarkImageFile(path("turned.jpg"), design, folder("out"));
        QVERIFY2(outcome.ok(), qPrintable(outcome.error()));
        const QImage output = readPicture(*outcome);
        QCOMPARE(output.size(), QSize(100, 200));
        QVERIFY(qBlue(output.pixel(90, 150)) > 200 && qRed(output.pixel(90, 150)) < 50); // top went right
        QVERIFY(qGray(output.pixel(10, 150)) > 240);
        const QRect red = inkBounds(output, isRed);
        QVERIFY2(qAbs(red.width() - 20) <= 2 && qAbs(red.height() - 40) <= 2,
                 qPrintable(QStringLiteral("%1 x %2").arg(red.width()).arg(red.height())));
        QVERIFY(qAbs(centre(red).x() - 25) < 2 && qAbs(centre(red).y() - 20) < 2);
        const auto written = ImageResolution::dotsPerInch(*outcome);
        QVERIFY(written && qAbs(written->width() - 72) < 0.5 && qAbs(written->height() - 144) < 0.5);
    }

    void keepsColourProfile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColorSpace>("colorSpace");
        for (const auto named : {QColorSpace::SRgb, QColorSpace::DisplayP3}) {
            QImage image = solid({64, 48}, Qt::green, 72);
            image.setColorSpace(named);
            const QByteArray tag = named == QColorSpace::SRgb ? "srgb" : "p3";
            QTest::newRow((tag + " png").constData())
                << encodePicture(image, "png") << QStringLiteral("a.png") << image.colorSpace();
            QTest::newRow((tag + " png to jpeg").constData())
                << encodePicture(image, "png") << QStringLiteral("a.jpg") << image.colorSpace();
            QTest::newRow((tag + " turned jpeg").constData())
                << withJpegSegment(encodePicture(image, "jpeg"), 0xE1, exif(true, {{orientation, 3, 8}}))
                << QStringLiteral("a.jpg") << image.colorSpace();
        }
    }
    void keepsColourProfile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(QColorSpace, colorSpace);
        writeBytes(folder("profile") + "/" + name, bytes);
        const auto outcome =
            WatermarkHelper::watermarkImageFile(folder("profile") + "/" + name, redText("P"), folder("out"));
        QVERIFY2(outcome.ok(), qPrintable(outcome.error()));
        QCOMPARE(readPicture(*outcome).colorSpace(), colorSpace);
    }

    // A failed stamp leaves the output folder as it was: no new file, no leftover, and an
    // existing file of the same name intact.
    void writesNothingOnFailure_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no input file at all
        QTest::addColumn<bool>("outputFolderExists");
        QByteArray bomb = QByteArray("\x89PNG\r\n\x1a\n", 8);
        QByteArray header(13, '\0');
        qToBigEndian(quint32(30000), header.data());
        qToBigEndian(quint32(30000), header.data() + 4);
        header[8] = 8; // bits per channel
        header[9] = 6; // RGBA
        bomb += pngChunk("IHDR", header) + pngChunk("IDAT", qCompress(QByteArray(4096, '\0')).mid(4)) +
                pngChunk("IEND", {});
        QTest::newRow("not a picture") << QByteArray("just some text\n") << true;
        QTest::newRow("missing input") << QByteArray() << true;
        QTest::newRow("decompression bomb") << bomb << true;
        QTest::newRow("missing output folder") << encodePicture(solid({8, 8}, Qt::blue, 72), "png") << false;
    }
    void writesNothingOnFailure()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, outputFolderExists);
        const QString input = folder("bad") + "/x.png";
        QFile::remove(input);
        if (!bytes.isEmpty())
            writeBytes(input, bytes);
        QTemporaryDir output;
        writeBytes(output.filePath("x.png"), "previous");
        const QString outputFolder = outputFolderExists ? output.path() : output.filePath("missing");

        const auto outcome = WatermarkHelper::watermarkImageFile(input, redText("W"), outputFolder);
        QVERIFY(!outcome.ok());
        QVERIFY(!outcome.error().isEmpty());
        QCOMPARE(QDir(output.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{"x.png"});
        QCOMPARE(readBytes(output.filePath("x.png")), QByteArray("previous"));
    }

    // An existing output is replaced, also when it is the input itself; the stamps run on a
    // worker thread, as the batch runs them.
    void replacesExistingFiles()
    {
        const QString input = folder("replace") + "/same.png";
        writeBytes(input, encodePicture(solid({200, 200}, Qt::white, 72), "png"));
        writeBytes(folder("elsewhere") + "/same.png", "previous");
        const QStringList outputFolders{folder("elsewhere"), folder("replace")};
        std::vector<FileOutcome> outcomes;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            for (const QString& outputFolder : outputFolders)
                outcomes.push_back(WatermarkHelper::watermarkImageFile(input, redText("W"), outputFolder));
        }));
        worker->start();
        QVERIFY(worker->wait(60000));
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            QVERIFY2(outcomes[i].ok(), qPrintable(outcomes[i].error()));
            QVERIFY(!inkBounds(readPicture(*outcomes[i]), isRed).isEmpty());
            QCOMPARE(QDir(outputFolders[i]).entryList(QDir::Files), QStringList{"same.png"});
        }
        QCOMPARE(outcomes.size(), std::size_t(2));
    }
};

QTEST_MAIN(TestWatermarkImageFile)
#include "tst_WatermarkImageFile.moc"
