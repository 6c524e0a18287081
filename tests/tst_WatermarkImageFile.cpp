#include "render/ImageResolution.h"
#include "render/WatermarkHelper.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
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

// Qt's JPEG with its JFIF density unit replaced: 0 states only an aspect ratio, 2 is per cm.
QByteArray jpegWithUnit(const QImage& image, char densityUnit)
{
    QByteArray jpeg = encoded(image, "jpeg");
    jpeg[13] = densityUnit;
    return jpeg;
}

// JPEG bytes from Qt with an EXIF block of such entries inserted after their JFIF segment.
QByteArray withExif(QByteArray jpeg, bool bigEndian, const std::vector<std::array<quint32, 3>>& entries)
{
    QByteArray segment = QByteArray("\xFF\xE1\0\0Exif\0\0", 10) + tiffDirectory(bigEndian, entries);
    qToBigEndian(quint16(segment.size() - 2), segment.data() + 2);
    return jpeg.insert(20, segment);
}

// Colours as alike as a JPEG copy leaves them.
bool alike(QRgb a, QRgb b)
{
    return qAlpha(a) == qAlpha(b) && std::abs(qGray(a) - qGray(b)) < 8;
}

// Stamps on a worker thread, as the batch does.
FileOutcome stamp(const QString& input, const WatermarkSnapshot& design, const QString& output)
{
    return std::async(std::launch::async, WatermarkHelper::watermarkImageFile, input, design, output).get();
}

} // namespace

class TestWatermarkImageFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::optional<QSizeF> dpiOf(const QByteArray& bytes)
    {
        writeFile(m_dir.filePath("dpi"), bytes);
        return ImageResolution::dotsPerInch(m_dir.filePath("dpi"));
    }

private Q_SLOTS:
    // As the application runs: large camera pictures allowed, absurd headers still refused.
    void initTestCase()
    {
        WatermarkHelper::allowLargePictures();
        writeSolidPicture(m_dir.filePath("red.png"), {40, 40}, Qt::red);
        writeSolidPicture(m_dir.filePath("grey.png"), {200, 200}, QColor(128, 128, 128));
    }

    void largeCameraPicture()
    {
        // 42 megapixels, beyond Qt's default limit.
        writeFile(m_dir.filePath("camera.jpg"), encoded(solid({7000, 6000}, Qt::darkBlue, {72, 72}), "jpeg"));
        const auto outcome = stamp(m_dir.filePath("camera.jpg"), redText("X"), m_dir.filePath("camera.jpg"));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(QImageReader(*outcome).size(), QSize(7000, 6000));
    }

    void readsResolution_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("dpi"); // QSize() when the file states none
        const QImage even = solid({8, 8}, Qt::blue, {300, 300}), uneven = solid({8, 8}, Qt::blue, {300, 150});
        const QByteArray aspectOnly = jpegWithUnit(even, 0);
        QTest::newRow("png") << encoded(uneven, "png") << QSize(300, 150);
        QTest::newRow("jfif") << encoded(uneven, "jpeg") << QSize(300, 150);
        QTest::newRow("jfif per cm") << jpegWithUnit(even, 2) << QSize(762, 762);
        QTest::newRow("exif little endian")
            << withExif(aspectOnly, false, {{xRes, 600, 2}, {yRes, 72, 1}}) << QSize(300, 72);
        QTest::newRow("exif big endian, cm, no y")
            << withExif(aspectOnly, true, {{xRes, 100, 1}, {unit, 3, 0}}) << QSize(254, 254);
        QTest::newRow("tiff from Qt") << encoded(uneven, "tiff") << QSize(300, 150);
        QTest::newRow("tiff big endian, cm")
            << tiffDirectory(true, {{xRes, 100, 1}, {yRes, 50, 1}, {unit, 3, 0}}) << QSize(254, 127);
        QTest::newRow("tiff without unit") << tiffDirectory(true, {{xRes, 100, 1}, {unit, 1, 0}}) << QSize();
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

    // The output format follows the extension (TIFF content stays TIFF), and an existing file,
    // the input itself too, is replaced. Pixels away from the mark, the pixel size, resolution
    // and colour profile stay; transparent areas stay so in PNG and TIFF and lie on white in JPEG. A 40 pt
    // picture design covers 40 pt of the printed picture, 40 * dpi / 72 pixels, at 25 % across and 10 % down
    // whatever the resolution. The EXIF row is stored at 144 x 72 dpi and turned a quarter clockwise: upright
    // at 72 x 144 dpi, its stored top on the right.
    void stamps_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("inPlace"); // output folder = input folder
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("dpi");
        QTest::addColumn<QPoint>("top");    // where the stored top band lies in the output
        QTest::addColumn<QColor>("corner"); // the lower-left corner in the output
        // Grey and palette pictures must take colour.
        const auto picture = [](QSizeF dpi, QColor ground) {
            QImage image = solid({1000, 1000}, ground, dpi);
            QPainter(&image).fillRect(0, 0, 1000, 50, Qt::blue);
            image.setColorSpace(QColorSpace::DisplayP3);
            return ground.alpha() == 255 ? image.convertToFormat(QImage::Format_RGB32) : image;
        };
        const auto row = [](const char* tag, const QString& name, bool inPlace, const QByteArray& bytes,
                            QSize dpi, QColor corner = Qt::white, QPoint top = {500, 10}) {
            QTest::newRow(tag) << name << inPlace << bytes << dpi << top << corner;
        };
        const QImage clear = picture({72, 72}, Qt::transparent), grey = picture({144, 144}, Qt::white);
        const QSize dpi72(72, 72), dpi144(144, 144);
        row("png", u"p.png"_s, false, encoded(clear, "png"), dpi72, Qt::transparent);
        row("upper-case png", u"X.PNG"_s, true, encoded(clear, "png"), dpi72, Qt::transparent);
        row("upper-case jpg", u"Y.JPG"_s, false, encoded(clear, "jpeg"), dpi72, Qt::black); // as Qt wrote it
        row("tiff", u"scan.tiff"_s, true, encoded(clear, "tiff"), dpi72, Qt::transparent);
        row("png named tif", u"b.TIF"_s, false, encoded(clear, "png"), dpi72, Qt::transparent);
        row("png named jpeg", u"z.jpeg"_s, false, encoded(clear, "png"), dpi72);
        row("png 300", u"a.png"_s, true, encoded(picture({300, 300}, Qt::white), "png"), {300, 300});
        row("none stated", u"a.png"_s, true, jpegWithUnit(picture({96, 96}, Qt::white), 0), dpi72);
        row("grey jpeg", u"a.png"_s, true, encoded(grey.convertToFormat(QImage::Format_Grayscale8), "jpeg"),
            dpi144);
        row("palette png", u"a.png"_s, true, encoded(grey.convertToFormat(QImage::Format_Indexed8), "png"),
            dpi144);
        row("exif turned", u"a.png"_s, true,
            withExif(encoded(picture({144, 72}, Qt::white), "jpeg"), false, {{orientation, 6, 0}}), {72, 144},
            Qt::white, {990, 500});
    }

    void stamps()
    {
        QFETCH(QString, name);
        QFETCH(bool, inPlace);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, dpi);
        QFETCH(QPoint, top);
        QFETCH(QColor, corner);
        QTemporaryDir in, out;
        const QString folder = inPlace ? in.path() : out.path();
        writeFile(in.filePath(name), bytes);
        writeFile(out.filePath(name), "previous");

        const auto outcome =
            stamp(in.filePath(name), pictureDesign(m_dir.filePath("red.png"), 100, 1, 25, 90),
                  QDir(folder).filePath(name));
        QVERIFY2(outcome.ok(), qPrintable(outcome.error()));
        QCOMPARE(*outcome, QDir(folder).filePath(name));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{name});
        const QString suffix = QFileInfo(name).suffix().toLower();
        QCOMPARE(QImageReader::imageFormat(*outcome), suffix == u"png"_s            ? "png"_ba
                                                      : suffix.startsWith(u"tif"_s) ? "tiff"_ba
                                                                                    : "jpeg"_ba);
        const QImage output(*outcome);
        QCOMPARE(output.size(), QSize(1000, 1000));
        QCOMPARE(output.colorSpace(), QImage::fromData(bytes).colorSpace());
        QCOMPARE(ImageResolution::dotsPerInch(*outcome).value_or(QSizeF()).toSize(), dpi);
        const QRectF red = inkBounds(output, isRed);
        const QSizeF side = QSizeF(dpi) * 40 / 72;
        QCOMPARE_LE(qAbs(red.width() - side.width()) + qAbs(red.height() - side.height()), 4);
        QCOMPARE_LE((red.center() - QPointF(250, 100)).manhattanLength(), 3);
        QVERIFY(alike(output.pixel(top), QImage::fromData(bytes).pixel(500, 10)));
        QVERIFY(alike(output.pixel(5, 995), corner.rgba()));
    }

    // A mid-grey mark over a picture white on the left and, on the right, grey or transparent.
    // Multiplied, it halves the grey; behind the picture, it shows only through transparent
    // pixels, and a picture with none there is refused, nothing written.
    void layers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("right"); // grey level on the right; none when refused
        QImage opaque = solid({64, 32}, Qt::white, {72, 72}),
               clear = solid({64, 32}, Qt::transparent, {72, 72});
        QPainter(&opaque).fillRect(32, 0, 32, 32, QColor(128, 128, 128));
        QPainter(&clear).fillRect(0, 0, 32, 32, Qt::white);
        opaque = opaque.convertToFormat(QImage::Format_RGB32);
        const QByteArray jpeg = encoded(opaque, "jpeg"), png = encoded(opaque, "png"),
                         tiff = encoded(opaque, "tiff");
        QTest::newRow("multiply jpeg") << u"m.jpg"_s << jpeg << 64;
        QBuffer progressive; // read whole, its blocks decoded under the mark where they are held
        progressive.open(QIODevice::WriteOnly);
        QImageWriter writer(&progressive, "jpeg");
        writer.setProgressiveScanWrite(true);
        QVERIFY(writer.write(opaque));
        QTest::newRow("multiply progressive jpeg") << u"m.jpg"_s << progressive.data() << 64;
        QTest::newRow("multiply png") << u"m.png"_s << png << 64;
        QTest::newRow("under clear png") << u"u.png"_s << encoded(clear, "png") << 128;
        QTest::newRow("under clear png to jpeg") << u"u.jpg"_s << encoded(clear, "png") << 128;
        QTest::newRow("under jpeg") << u"u.jpg"_s << jpeg << -1;
        QTest::newRow("under opaque png") << u"u.png"_s << png << -1;
        QTest::newRow("under opaque tiff") << u"u.tif"_s << tiff << -1;
    }
    void layers()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, right);
        QTemporaryDir in, out;
        writeFile(in.filePath(name), bytes);
        WatermarkSnapshot design = pictureDesign(m_dir.filePath("grey.png"));
        const bool under = name.startsWith(u'u');
        design.layer = under ? WatermarkSnapshot::Layer::under : WatermarkSnapshot::Layer::multiply;
        const auto outcome = stamp(in.filePath(name), design, out.filePath(name));
        if (right < 0) {
            QCOMPARE(outcome.error(), u"the mark would lie hidden behind the picture's opaque pixels"_s);
            QVERIFY(QDir(out.path()).isEmpty());
            return;
        }
        QVERIFY2(outcome.ok(), qPrintable(outcome.error()));
        const QImage output(*outcome);
        for (const auto& [x, grey] : {std::pair(16, under ? 255 : 128), {48, right}})
            QVERIFY(alike(output.pixel(x, 16), qRgb(grey, grey, grey)));
    }

    // A TIFF's pages follow the design's choice, and {page} and {pages} read each page's number
    // and the page count: a page looks as it does under the same text typed out. Any other
    // picture is page 1, and a choice without it writes nothing.
    void tiffPages()
    {
        QTemporaryDir out;
        const QString input = m_dir.filePath("pages.tif"), output = out.filePath("pages.tif");
        writeTiff(input, std::vector<QImage>(3, solid({300, 200}, Qt::white, {72, 72})));
        const auto pagesOf = [&](const QString& text) {
            WatermarkSnapshot design = redText(text);
            design.pages = *PageSelection::parse("odd");
            QImageReader reader(stamp(input, design, output).ok() ? output : QString());
            std::vector<QImage> pages;
            for (int i = 0; i < 3 && reader.jumpToImage(i); ++i)
                pages.push_back(reader.read());
            return pages;
        };
        const auto fielded = pagesOf("Page {page} of {pages}");
        QCOMPARE(fielded.size(), size_t(3));
        QVERIFY(!inkBounds(fielded[0], isRed).isEmpty() && inkBounds(fielded[1], isRed).isEmpty());
        QVERIFY(fielded[0] != fielded[2]);
        QCOMPARE(fielded[0], pagesOf("Page 1 of 3")[0]);
        QCOMPARE(fielded[2], pagesOf("Page 3 of 3")[2]);
        WatermarkSnapshot design = redText("LATER");
        design.pages = *PageSelection::parse("2-");
        QCOMPARE(stamp(m_dir.filePath("red.png"), design, out.filePath("red.png")).error(),
                 u"no page of it is in the design's page list"_s);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{"pages.tif"});
    }

    // A failed stamp leaves the output folder as it was, with an existing file of that name
    // intact, and says why in words for the user.
    void writesNothingOnFailure_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no input
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<QString>("reason");
        const QImage image = solid({8, 8}, Qt::blue, {72, 72});
        QByteArray bomb = encoded(image, "jpeg"); // its frame header says 30000 x 30000 pixels
        qToBigEndian(quint32(30000 * 0x10001), bomb.data() + bomb.indexOf("\xFF\xC0") + 5);
        const QString unreadable = u"not a picture this program can read"_s;
        QTest::newRow("not a picture") << "just some text\n"_ba << true << unreadable;
        QTest::newRow("bmp picture") << encoded(image, "bmp") << true << unreadable; // only PNG, JPEG, TIFF
        QTest::newRow("missing input") << QByteArray() << true << u"does not exist"_s;
        QTest::newRow("decompression bomb") << bomb << true << unreadable;
        QTest::newRow("missing output folder")
            << encoded(image, "png") << false << u"the output folder does not exist"_s;
    }
    void writesNothingOnFailure()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, folderExists);
        QFETCH(QString, reason);
        QTemporaryDir in, out;
        const QString input = in.filePath("x.png");
        if (!bytes.isEmpty())
            writeFile(input, bytes);
        writeFile(out.filePath("x.png"), "previous");

        const QString folder = folderExists ? out.path() : out.filePath("missing");
        QCOMPARE(stamp(input, redText("W"), QDir(folder).filePath("x.png")).error(), reason);
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"x.png"});
        QCOMPARE(QFileInfo(out.filePath("x.png")).size(), 8); // still "previous"
    }
};

QTEST_MAIN(TestWatermarkImageFile)
#include "tst_WatermarkImageFile.moc"
