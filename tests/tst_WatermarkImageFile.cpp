#include "render/ImageResolution.h"
#include "render/WatermarkHelper.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDataStream>
#include <QDir>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <array>
#include <future>

using namespace TestFiles;
using namespace Qt::StringLiterals;

namespace {

constexpr quint32 xRes = 282, yRes = 283, unit = 296, orientation = 274;

QImage solid(QSize size, QColor color, QSizeF dpi)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    image.setDotsPerMeterX(qRound(dpi.width() / 0.0254));
    image.setDotsPerMeterY(qRound(dpi.height() / 0.0254));
    return image;
}

QByteArray encode(const QImage& image, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

// Qt's JPEG with its JFIF density unit replaced: 0 states only an aspect ratio, 2 is per cm.
QByteArray jpegWithUnit(const QImage& image, char densityUnit)
{
    QByteArray jpeg = encode(image, "jpeg");
    jpeg[13] = densityUnit;
    return jpeg;
}

// A TIFF header and one directory, as in TIFF files and EXIF blocks, of {tag, value, denominator}
// entries: RATIONAL value / denominator, or SHORT value when the denominator is 0.
QByteArray tiff(bool bigEndian, const std::vector<std::array<quint32, 3>>& entries)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(bigEndian ? QDataStream::BigEndian : QDataStream::LittleEndian);
    const auto count = quint32(entries.size());
    out << quint16(bigEndian ? 0x4D4D : 0x4949) << quint16(42) << quint32(8) << quint16(count);
    for (quint32 i = 0; i < count; ++i) {
        const auto [tag, value, denominator] = entries[i];
        out << quint16(tag) << quint16(denominator ? 5 : 3) << quint32(1)
            << (denominator ? 14 + 12 * count + 8 * i : value << (bigEndian ? 16 : 0));
    }
    out << quint32(0); // no further directory, then every entry's rational
    for (const auto& entry : entries)
        out << entry[1] << entry[2];
    return bytes;
}

// JPEG bytes from Qt with an EXIF block of such entries inserted after their JFIF segment.
QByteArray withExif(QByteArray jpeg, bool bigEndian, const std::vector<std::array<quint32, 3>>& entries)
{
    QByteArray segment = QByteArray("\xFF\xE1\0\0Exif\0\0", 10) + tiff(bigEndian, entries);
    qToBigEndian(quint16(segment.size() - 2), segment.data() + 2);
    return jpeg.insert(20, segment);
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    file.remove(); // rewriting a file in place waits for the disk on ext4
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// Stamps on a worker thread, as the batch does.
FileOutcome stamp(const QString& input, const WatermarkSnapshot& design, const QString& folder)
{
    return std::async(std::launch::async, WatermarkHelper::watermarkImageFile, input, design, folder).get();
}

} // namespace

class TestWatermarkImageFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::optional<QSizeF> dpiOf(const QByteArray& bytes)
    {
        write(m_dir.filePath("dpi"), bytes);
        return ImageResolution::dotsPerInch(m_dir.filePath("dpi"));
    }

private Q_SLOTS:
    // As the application runs: large camera pictures allowed, absurd headers still refused.
    void initTestCase() { WatermarkHelper::allowLargePictures(); }

    void largeCameraPicture()
    {
        QImage photo(7000, 6000, QImage::Format_RGB32); // 42 megapixels, beyond Qt's default limit
        photo.fill(QColor(30, 60, 90));
        const QString input = m_dir.filePath(QStringLiteral("camera.jpg"));
        QVERIFY(photo.save(input, "jpeg", 50));
        const QString out = m_dir.filePath(QStringLiteral("large"));
        QVERIFY(QDir().mkpath(out));
        const auto outcome =
            WatermarkHelper::watermarkImageFile(input, TestFiles::redText(QStringLiteral("X")), out);
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(QImageReader(*outcome).size(), QSize(7000, 6000));
    }

    void readsResolution_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("dpi"); // QSize() when the file states none
        const QImage even = solid({8, 8}, Qt::blue, {300, 300}), uneven = solid({8, 8}, Qt::blue, {300, 150});
        const QByteArray aspectOnly = jpegWithUnit(even, 0);
        QTest::newRow("png") << encode(uneven, "png") << QSize(300, 150);
        QTest::newRow("jfif") << encode(uneven, "jpeg") << QSize(300, 150);
        QTest::newRow("jfif per cm") << jpegWithUnit(even, 2) << QSize(762, 762);
        QTest::newRow("exif little endian")
            << withExif(aspectOnly, false, {{xRes, 600, 2}, {yRes, 72, 1}}) << QSize(300, 72);
        QTest::newRow("exif big endian, cm, no y")
            << withExif(aspectOnly, true, {{xRes, 100, 1}, {unit, 3, 0}}) << QSize(254, 254);
        QTest::newRow("tiff from Qt") << encode(uneven, "tiff") << QSize(300, 150);
        QTest::newRow("tiff big endian, cm")
            << tiff(true, {{xRes, 100, 1}, {yRes, 50, 1}, {unit, 3, 0}}) << QSize(254, 127);
        QTest::newRow("tiff without unit") << tiff(true, {{xRes, 100, 1}, {unit, 1, 0}}) << QSize();
    }

    // The intact file gives the stated resolution. Every prefix of it, and copies with bytes
    // overwritten at random, give that answer or none; under AddressSanitizer this also proves
    // reads stay in bounds.
    void readsResolution()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, dpi);
        QCOMPARE(dpiOf(bytes).value_or(QSizeF()).toSize(), dpi);
        for (qsizetype length = 0; length < bytes.size(); ++length)
            QCOMPARE(qRound(dpiOf(bytes.left(length)).value_or(QSizeF(dpi)).width()), dpi.width());
        auto random = QRandomGenerator(42);
        for (int round = 0; round < 300; ++round) {
            QByteArray damaged = bytes.left(300);
            for (int hit = 0; hit < 4; ++hit)
                damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
            dpiOf(damaged);
        }
    }

    // The output format follows the extension; transparent areas stay transparent in PNG and
    // lie on white in JPEG; an existing file, the input itself too, is replaced; pixels away
    // from the mark and the colour profile stay as they were.
    void stampsByExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("inPlace"); // output folder = input folder
        QTest::addColumn<QByteArray>("inputFormat");
        QTest::addColumn<bool>("pngOutput"); // else JPEG
        QTest::newRow("png") << u"p.png"_s << false << "png"_ba << true;
        QTest::newRow("upper-case png") << u"X.PNG"_s << true << "png"_ba << true;
        QTest::newRow("upper-case jpg") << u"Y.JPG"_s << false << "jpeg"_ba << false;
        QTest::newRow("tiff") << u"scan.tiff"_s << true << "tiff"_ba << false;
        QTest::newRow("png named jpeg") << u"z.jpeg"_s << false << "png"_ba << false;
    }
    void stampsByExtension()
    {
        QFETCH(QString, name);
        QFETCH(bool, inPlace);
        QFETCH(QByteArray, inputFormat);
        QFETCH(bool, pngOutput);
        QImage input = solid({300, 300}, Qt::transparent, {72, 72});
        QPainter(&input).fillRect(100, 0, 200, 300, Qt::blue);
        input.setColorSpace(QColorSpace::DisplayP3);
        QTemporaryDir in, out;
        const QString folder = inPlace ? in.path() : out.path();
        write(in.filePath(name), encode(input, inputFormat));
        write(out.filePath(name), "previous");

        const auto outcome = stamp(in.filePath(name), redText("W", 50, 90), folder);
        QVERIFY2(outcome.ok(), qPrintable(outcome.error()));
        QCOMPARE(*outcome, QDir(folder).filePath(name));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{name});
        QCOMPARE(QImageReader::imageFormat(*outcome), pngOutput ? "png"_ba : "jpeg"_ba);
        const QImage output(*outcome, pngOutput ? "png" : "jpeg");
        QCOMPARE(output.size(), QSize(300, 300));
        QCOMPARE(output.colorSpace(), input.colorSpace());
        const QPointF ink = QRectF(inkBounds(output, isRed)).center();
        QVERIFY2(qAbs(ink.x() - 150) < 5 && qAbs(ink.y() - 30) < 8, "yPosition 90 lies near the top");
        // The transparent corner: kept in PNG, black as Qt wrote it in a JPEG input, else on white.
        const QRgb transparent = pngOutput ? 0 : inputFormat == "jpeg" ? qRgb(0, 0, 0) : ~0u;
        const QRgb corner = output.pixel(5, 295), blue = output.pixel(295, 295);
        QVERIFY(qAlpha(corner) == qAlpha(transparent) && qAbs(qGray(corner) - qGray(transparent)) < 8);
        QVERIFY(qBlue(blue) > 245 && qRed(blue) < 10 && qGreen(blue) < 10);
    }

    // A 40 pt picture design covers 40 pt of the printed picture, 40 * dpi / 72 pixels, at 25 %
    // across and 10 % down whatever the resolution. The EXIF row is stored at 144 x 72 dpi and
    // turned a quarter clockwise: upright at 72 x 144 dpi, its stored top on the right.
    void scalesAndTurnsDesign_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("dpi");
        QTest::addColumn<QPoint>("top"); // a pixel of the stored top band
        const auto picture = [](QSizeF dpi, QImage::Format format = QImage::Format_RGB32) {
            QImage image = solid({1000, 1000}, Qt::white, dpi);
            QPainter(&image).fillRect(0, 0, 1000, 50, Qt::blue);
            image.setColorSpace(QColorSpace::DisplayP3);
            return image.convertToFormat(format); // grey and palette pictures must take colour
        };
        const QPoint top(500, 10);
        QTest::newRow("png 144") << encode(picture({144, 144}), "png") << QSize(144, 144) << top;
        QTest::newRow("png 300") << encode(picture({300, 300}), "png") << QSize(300, 300) << top;
        QTest::newRow("none stated") << jpegWithUnit(picture({96, 96}), 0) << QSize(72, 72) << top;
        QTest::newRow("grey jpeg") << encode(picture({144, 144}, QImage::Format_Grayscale8), "jpeg")
                                   << QSize(144, 144) << top;
        QTest::newRow("palette png") << encode(picture({144, 144}, QImage::Format_Indexed8), "png")
                                     << QSize(144, 144) << top;
        const QByteArray turned = withExif(encode(picture({144, 72}), "jpeg"), false, {{orientation, 6, 0}});
        QTest::newRow("exif turned") << turned << QSize(72, 144) << QPoint(990, 500);
    }
    void scalesAndTurnsDesign()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, dpi);
        QFETCH(QPoint, top);
        writeSolidPicture(m_dir.filePath("red.png"), {40, 40}, Qt::red);
        write(m_dir.filePath("in.png"), bytes);

        const auto outcome = stamp(m_dir.filePath("in.png"),
                                   pictureDesign(m_dir.filePath("red.png"), 100, 1, 25, 90), m_dir.path());
        QVERIFY2(outcome.ok(), qPrintable(outcome.error()));
        const QImage output(*outcome);
        QCOMPARE(output.size(), QSize(1000, 1000));
        QCOMPARE(output.colorSpace(), QImage::fromData(bytes).colorSpace());
        QVERIFY(isInk(output.pixel(top)));
        const QRectF red = inkBounds(output, isRed);
        const QSizeF side = QSizeF(dpi) * 40 / 72;
        QCOMPARE_LE(qAbs(red.width() - side.width()) + qAbs(red.height() - side.height()), 4);
        QCOMPARE_LE((red.center() - QPointF(250, 100)).manhattanLength(), 3);
        QCOMPARE(ImageResolution::dotsPerInch(*outcome).value_or(QSizeF()).toSize(), dpi);
    }

    // A failed stamp leaves the output folder as it was, with an existing file of that name intact.
    void writesNothingOnFailure_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no input file at all
        QTest::addColumn<bool>("folderExists");
        const QImage image = solid({8, 8}, Qt::blue, {72, 72});
        QByteArray bomb = encode(image, "jpeg"); // its frame header says 30000 x 30000 pixels
        qToBigEndian(quint32(30000 * 0x10001), bomb.data() + bomb.indexOf("\xFF\xC0") + 5);
        QTest::newRow("not a picture") << "just some text\n"_ba << true;
        QTest::newRow("bmp picture") << encode(image, "bmp") << true; // only PNG, JPEG and TIFF
        QTest::newRow("missing input") << QByteArray() << true;
        QTest::newRow("decompression bomb") << bomb << true;
        QTest::newRow("missing output folder") << encode(image, "png") << false;
    }
    void writesNothingOnFailure()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, folderExists);
        QTemporaryDir in, out;
        if (!bytes.isEmpty())
            write(in.filePath("x.png"), bytes);
        write(out.filePath("x.png"), "previous");

        const QString folder = folderExists ? out.path() : out.filePath("missing");
        QVERIFY(!stamp(in.filePath("x.png"), redText("W"), folder).error().isEmpty()); // so not ok()
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"x.png"});
        QCOMPARE(QFileInfo(out.filePath("x.png")).size(), 8); // still "previous"
    }
};

QTEST_MAIN(TestWatermarkImageFile)
#include "tst_WatermarkImageFile.moc"
