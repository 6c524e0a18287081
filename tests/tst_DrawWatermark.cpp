#include "render/drawWatermark.h"
#include "support/StdoutCapture.h"
#include "support/TestFiles.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace TestFiles;

namespace {

// A white canvas of the target's size with the design drawn over it, one unit per pixel.
QImage drawn(const WatermarkSnapshot& design, QSize size = QSize(400, 300), QPointF targetOrigin = QPointF())
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    StdoutCapture quiet;
    drawWatermark(painter, design, QRectF(targetOrigin, QSizeF(size)));
    quiet.finish();
    return image;
}

// The pixel with the least green: the most saturated red or the darkest grey.
QRgb darkest(const QImage& image)
{
    QRgb result = qRgb(255, 255, 255);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGreen(image.pixel(x, y)) < qGreen(result))
                result = image.pixel(x, y);
        }
    }
    return result;
}

bool isBlue(QRgb pixel)
{
    return qBlue(pixel) > 150 && qRed(pixel) < 110 && qGreen(pixel) < 110;
}

} // namespace

class TestDrawWatermark : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Positions count from the lower-left corner of the target, y up.
    void textPlacement_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<QPointF>("centre");
        QTest::newRow("centre") << 50.0 << 50.0 << QPointF(200, 150);
        QTest::newRow("lower left quarter") << 25.0 << 25.0 << QPointF(100, 225);
        QTest::newRow("upper right") << 80.0 << 90.0 << QPointF(320, 30);
    }

    void textPlacement()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(QPointF, centre);
        VERIFY_NEAR(centreOf(inkBounds(drawn(redText(QStringLiteral("HHHH"), x, y)), isRed)), centre, 2);
    }

    void edgesCutTheBoxInHalf()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("block.png"));
        writeSolidPicture(path, QSize(100, 60), Qt::black);
        QCOMPARE(inkBounds(drawn(pictureDesign(path, 100, 1, 0, 50)), isInk), QRect(0, 120, 50, 60));
        QCOMPARE(inkBounds(drawn(pictureDesign(path, 100, 1, 50, 100)), isInk), QRect(150, 0, 100, 30));
        QCOMPARE(inkBounds(drawn(pictureDesign(path, 100, 1, 100, 0)), isInk), QRect(350, 270, 50, 30));
    }

    void targetOriginIsIgnored()
    {
        const auto design = redText(QStringLiteral("HHHH"), 30, 70);
        QCOMPARE(drawn(design, QSize(400, 300), QPointF(120, -80)), drawn(design));
    }

    // A quarter turn counterclockwise to the reader about the box's own centre: the left end
    // of a wide picture ends up at the bottom.
    void rotationTurnsCounterclockwiseAboutTheCentre()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("halves.png"));
        QImage picture(80, 20, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QPainter(&picture).fillRect(0, 0, 40, 20, Qt::red);
        QVERIFY(picture.save(path));

        const QImage image = drawn(pictureDesign(path, 100, 1, 50, 50, 90));
        const QRect red = inkBounds(image, isRed);
        const QRect blue = inkBounds(image, isBlue);
        VERIFY_NEAR(centreOf(red.united(blue)), QPointF(200, 150), 1);
        QCOMPARE(red.united(blue).size(), QSize(20, 80));
        QVERIFY(red.top() > blue.bottom());

        const QRect turned = inkBounds(drawn(redText(QStringLiteral("HHHHHHHH"), 50, 50, 90)), isRed);
        QVERIFY(turned.height() > 3 * turned.width());
        VERIFY_NEAR(centreOf(turned), QPointF(200, 150), 2);
    }

    void pictureScaleAndOpacity()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("picture.jpg")); // PNG bytes, named .jpg
        writeSolidPicture(path, QSize(400, 200), Qt::black, "png");

        const QImage half = drawn(pictureDesign(path, 50, 1), QSize(600, 400));
        const QRect box = inkBounds(half, isInk);
        QCOMPARE(box.size(), QSize(200, 100));
        VERIFY_NEAR(centreOf(box), QPointF(300, 200), 1);

        QImage canvas(600, 400, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        drawWatermark(painter, pictureDesign(path, 100, 0.25), QRectF(0, 0, 600, 400));
        QCOMPARE(painter.opacity(), 1.0);
        QVERIFY(painter.transform().isIdentity());
        painter.fillRect(0, 0, 10, 10, Qt::black);
        painter.end();
        QVERIFY(std::abs(qGray(canvas.pixel(300, 200)) - 191) <= 3);
        QCOMPARE(qGray(canvas.pixel(5, 5)), 0);
    }

    void textIgnoresOpacityButKeepsItsColoursAlpha()
    {
        auto design = redText(QStringLiteral("HHHH"), 50, 50, 0, 60);
        design.opacity = 0.1;
        QCOMPARE(darkest(drawn(design)), qRgb(255, 0, 0));
        design.textColor = WatermarkColor(0, 0, 0, 0.5);
        QVERIFY(std::abs(qGray(darkest(drawn(design))) - 128) <= 3);
    }

    // One point is one unit of the painter's space, whatever the device: DejaVu Sans capitals
    // are 0.729 em tall.
    void fontSizeIsInPoints()
    {
        QCOMPARE(inkBounds(drawn(redText(QStringLiteral("H"), 50, 50, 0, 100)), isRed).height(), 73);
        auto unknown = redText(QStringLiteral("H"), 50, 50, 0, 100);
        unknown.fontName = QStringLiteral("No Such Font Anywhere");
        QVERIFY(inkBounds(drawn(unknown), isRed).height() > 60);
    }

    void linesBreakOnlyAtLineBreaks()
    {
        const QRect one = inkBounds(drawn(redText(QStringLiteral("A LONGER LINE"))), isRed);
        const QRect two = inkBounds(drawn(redText(QStringLiteral("AB\nA LONGER LINE"))), isRed);
        QVERIFY(std::abs(two.width() - one.width()) <= 2);
        QVERIFY(two.height() > 1.8 * one.height());
        // Left-aligned, first line on top: the short line starts where the long one does.
        QVERIFY(std::abs(two.left() - one.left()) <= 2);
        const QRect longLine = inkBounds(drawn(redText(QStringLiteral("A LONGER LINE"), 50, 50)), isRed);
        QVERIFY(longLine.width() > 400 / 4);
    }

    void pathChoice()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("gone.png"));
        writeSolidPicture(path, QSize(50, 50), Qt::black);

        auto noPicture = redText(QStringLiteral("HHHH"));
        noPicture.type = WatermarkType::image;
        QVERIFY(!inkBounds(drawn(noPicture), isRed).isEmpty());

        auto missing = pictureDesign(path);
        QFile::remove(path);
        QImage blank(400, 300, QImage::Format_RGB32);
        blank.fill(Qt::white);
        QImage image = blank;
        QPainter painter(&image);
        StdoutCapture capture;
        drawWatermark(painter, missing, QRectF(0, 0, 400, 300));
        const QByteArray printed = capture.finish();
        painter.end();
        QCOMPARE(printed, QByteArray());
        QCOMPARE(image, blank);
    }

    void textPrintsThreeTimings()
    {
        QImage image(100, 100, QImage::Format_RGB32);
        QPainter painter(&image);
        for (const QString& text : {QStringLiteral("Timed"), QString()}) {
            StdoutCapture capture;
            drawWatermark(painter, redText(text), QRectF(0, 0, 100, 100));
            const QList<QByteArray> lines = capture.finish().split('\n');
            QCOMPARE(lines.size(), 4);
            QCOMPARE(lines.last(), QByteArray());
            for (int i = 0; i < 3; ++i) {
                bool isNumber = false;
                QVERIFY(lines[i].toDouble(&isNumber) >= 0);
                QVERIFY2(isNumber, lines[i].constData());
            }
        }
    }

    void drawsTheSameOnAWorkerThread()
    {
        const auto design = redText(QStringLiteral("Worker"), 40, 60, 30);
        QImage fromWorker;
        std::thread worker([&] { fromWorker = drawn(design); });
        worker.join();
        QCOMPARE(fromWorker, drawn(design));
    }
};

QTEST_MAIN(TestDrawWatermark)
#include "tst_DrawWatermark.moc"
