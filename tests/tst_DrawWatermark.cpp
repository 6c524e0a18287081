#include "render/drawWatermark.h"
#include "support/StdoutCapture.h"
#include "support/TestFiles.h"

#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

using namespace TestFiles;

namespace {

// A pixel well inside the left stem of a large "H", whatever its colour.
QRgb stemOf(const QImage& image)
{
    const QRect box = inkBounds(image, isInk);
    return image.pixel(box.left() + 4, box.center().y());
}

bool isBlue(QRgb pixel)
{
    return qBlue(pixel) > 150 && qRed(pixel) < 110 && qGreen(pixel) < 110;
}

// The design drawn by QPdfWriter at 72 dpi on a 400 by 300 point page, as PDF stamps are drawn.
void writeDrawnPdf(const WatermarkSnapshot& design, const QString& path)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF());
    writer.setPageSize(QPageSize(QSizeF(400, 300), QPageSize::Point, QString(), QPageSize::ExactMatch));
    QPainter painter(&writer);
    StdoutCapture quiet;
    drawWatermark(painter, design, QRectF(0, 0, 400, 300));
    quiet.finish();
}

// The numbers in the page's content that are not plain decimals within PDF's limit of 32,767.
QStringList unsoundNumbers(const QString& path)
{
    QPDF pdf;
    pdf.processFile(QFile::encodeName(path).constData());
    std::string content;
    Pl_String pipe("content", nullptr, content);
    QPDFPageDocumentHelper(pdf).getAllPages().at(0).pipeContents(&pipe);
    static const QRegularExpression token(QStringLiteral(R"((?<![^\s\[\]])[-+.\d][^\s\[\]]*)"));
    static const QRegularExpression plain(QStringLiteral(R"(^-?\d+(\.\d+)?$)"));
    QStringList unsound;
    for (const QRegularExpressionMatch& number : token.globalMatch(QString::fromStdString(content)))
        if (!plain.match(number.captured()).hasMatch() || std::abs(number.captured().toDouble()) > 32767)
            unsound.append(number.captured());
    return unsound;
}

} // namespace

class TestDrawWatermark : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    // A picture, recognised by its content whatever its name, is one unit per pixel at size 100,
    // centred on its position counted from the lower-left corner, y up, cut by the target's edges
    // and drawn at its opacity.
    void pictureBoxAndOpacity()
    {
        const QString path = m_dir.filePath(QStringLiteral("block.jpg"));
        writeSolidPicture(path, QSize(100, 60), Qt::black, "png");
        const QImage left = drawnOnWhite(pictureDesign(path, 100, 0.25, 0, 50));
        QCOMPARE(inkBounds(left, isInk), QRect(0, 120, 50, 60));
        QVERIFY(std::abs(qGray(left.pixel(25, 150)) - 191) <= 3);
        QCOMPARE(inkBounds(drawnOnWhite(pictureDesign(path, 100, 1, 50, 100)), isInk),
                 QRect(150, 0, 100, 30));
        QCOMPARE(inkBounds(drawnOnWhite(pictureDesign(path, 50, 1, 100, 0)), isInk), QRect(375, 285, 25, 15));
    }

    // A quarter turn counterclockwise to the reader about the box's own centre: the left end
    // of a wide picture ends up at the bottom.
    void rotationTurnsCounterclockwiseAboutTheCentre()
    {
        const QString path = m_dir.filePath(QStringLiteral("halves.png"));
        QImage picture(80, 20, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QPainter(&picture).fillRect(0, 0, 40, 20, Qt::red);
        QVERIFY(picture.save(path));

        const QImage image = drawnOnWhite(pictureDesign(path, 100, 1, 50, 50, 90));
        const QRect red = inkBounds(image, isRed);
        const QRect blue = inkBounds(image, isBlue);
        VERIFY_NEAR(QRectF(red.united(blue)).center(), QPointF(200, 150), 1);
        QCOMPARE(red.united(blue).size(), QSize(20, 80));
        QVERIFY(red.top() > blue.bottom());

        const QRect turned = inkBounds(drawnOnWhite(redText(QStringLiteral("HHHHHHHH"), 50, 50, 90)), isRed);
        QVERIFY(turned.height() > 3 * turned.width());
        VERIFY_NEAR(QRectF(turned).center(), QPointF(200, 150), 2);
    }

    // One point is one unit of the painter's space, whatever the device: DejaVu Sans capitals
    // are 0.729 em tall. Text takes its colour's alpha; the design's opacity does not apply.
    void textSizeColourAndLines()
    {
        auto design = redText(QStringLiteral("H"), 50, 50, 0, 100);
        design.opacity = 0.1;
        const QImage red = drawnOnWhite(design);
        QCOMPARE(inkBounds(red, isRed).height(), 73);
        QCOMPARE(stemOf(red), qRgb(255, 0, 0));
        design.textColor = WatermarkColor(0, 0, 0, 0.5);
        QVERIFY(std::abs(qGray(stemOf(drawnOnWhite(design))) - 128) <= 3);
        design.fontName = QStringLiteral("No Such Font Anywhere");
        QVERIFY(inkBounds(drawnOnWhite(design), isInk).height() > 60);

        // Lines break only at line breaks, left-aligned, the first on top.
        const QRect one = inkBounds(drawnOnWhite(redText(QStringLiteral("A LONGER LINE"))), isRed);
        const QRect two = inkBounds(drawnOnWhite(redText(QStringLiteral("AB\nA LONGER LINE"))), isRed);
        QVERIFY(one.width() > 400 / 4);
        QVERIFY(std::abs(two.width() - one.width()) <= 2);
        QVERIFY(two.height() > 1.8 * one.height());
        QVERIFY(std::abs(two.left() - one.left()) <= 2);
    }

    // Text, empty text too, prints three timings in milliseconds; an image design without a
    // picture is text. A picture whose file is gone draws and prints nothing.
    void whatIsDrawnAndPrinted()
    {
        auto noPicture = redText(QStringLiteral("HHHH"));
        noPicture.type = WatermarkType::image;
        for (const auto& design : {noPicture, redText(QString())}) {
            QByteArray printed;
            const QImage image = drawnOnWhite(design, {400, 300}, &printed);
            QCOMPARE(inkBounds(image, isRed).isEmpty(), design.text.isEmpty());
            const QList<QByteArray> lines = printed.split('\n');
            QCOMPARE(lines.size(), 4);
            QCOMPARE(lines.last(), QByteArray());
            for (int i = 0; i < 3; ++i) {
                bool isNumber = false;
                QVERIFY2(lines[i].toDouble(&isNumber) >= 0 && isNumber, lines[i].constData());
            }
        }
        QByteArray printed;
        const QImage image =
            drawnOnWhite(pictureDesign(m_dir.filePath(QStringLiteral("gone.png"))), {400, 300}, &printed);
        QCOMPARE(printed, QByteArray());
        QCOMPARE(inkBounds(image, isInk), QRect());
    }

    // Text of any size draws solid glyphs (up to 32,767 points), and so does a picture; a design
    // far off the target draws nothing. QPdfWriter writes plain decimals within PDF's limits.
    void extremeValues_data()
    {
        QTest::addColumn<WatermarkSnapshot>("design");
        QTest::addColumn<bool>("covers");
        const QString path = m_dir.filePath(QStringLiteral("extreme.png"));
        writeSolidPicture(path, QSize(100, 60), Qt::red);
        const QString block = QStringLiteral("\u2588");
        QTest::newRow("70,000 points") << redText(block, 50, 50, 0, 7e4) << true;
        QTest::newRow("1e30 points") << redText(block, 50, 50, 0, 1e30) << true;
        QTest::newRow("picture at 1e12 %") << pictureDesign(path, 1e12) << true;
        QTest::newRow("x at 1e9 %") << redText(block, 1e9) << false;
        QTest::newRow("y at -1e12 %") << redText(block, 50, -1e12) << false;
    }

    void extremeValues()
    {
        QFETCH(WatermarkSnapshot, design);
        QFETCH(bool, covers);
        const QString pdf = m_dir.filePath(QStringLiteral("extreme.pdf"));
        writeDrawnPdf(design, pdf);
        QCOMPARE(unsoundNumbers(pdf).join(QLatin1Char(' ')), QString());
        const auto notRed = [](QRgb pixel) { return !isRed(pixel); };
        for (const QImage& image : {drawnOnWhite(design), renderPage(pdf, 0)}) {
            QCOMPARE(image.size(), QSize(400, 300));
            QCOMPARE(inkBounds(image, covers ? notRed : isInk), QRect());
        }
    }
};

QTEST_MAIN(TestDrawWatermark)
#include "tst_DrawWatermark.moc"
