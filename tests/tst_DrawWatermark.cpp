#include "model/WatermarkCoding.h"
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

using Snapshot = WatermarkSnapshot;

// The design drawn over a white canvas of the given pixels, standing for a target of the given size.
QImage drawnScaled(const WatermarkSnapshot& design, QSize pixels, QSizeF target)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(pixels.width() / target.width(), pixels.height() / target.height());
    StdoutCapture quiet;
    drawWatermark(painter, design, QRectF(QPointF(0, 0), target));
    quiet.finish();
    return image;
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

    // A design stored before layouts, anchors, relative sizes and layers existed reads as today's
    // behaviour and draws as the same design written with every member, and a centre anchor or a
    // grid too sparse for a second copy draw it pixel for pixel.
    void oldDesignsDrawAsBefore()
    {
        const QString path = m_dir.filePath(QStringLiteral("old.png"));
        writeSolidPicture(path, QSize(90, 40), Qt::red);
        for (auto design :
             {redText(QStringLiteral("Draft Å\nline"), 50, 50, 0, 30),
              redText(QStringLiteral("W"), 50, 50, 0, 1500), pictureDesign(path, 80, 0.5, 50, 50, 0)}) {
            auto stored = *WatermarkCoding::encode(design);
            for (const char* key : {"layout", "tileGapX", "tileGapY", "tileStagger", "anchor", "margin",
                                    "sizeReference", "relativeSize", "layer"})
                stored.erase(key);
            const auto old = WatermarkCoding::decode(nlohmann::json::parse(stored.dump()));
            QCOMPARE(*old, WatermarkSnapshot{design});
            const QImage image = drawnOnWhite(*old, {400, 300});
            QVERIFY(!inkBounds(image, isInk).isEmpty());
            auto centred = design;
            centred.anchor = Snapshot::Anchor::center;
            auto sparse = design;
            sparse.layout = Snapshot::Layout::tiled;
            sparse.tileGapX = sparse.tileGapY = 1000;
            QCOMPARE(drawnOnWhite(centred, {400, 300}), image);
            QCOMPARE(drawnOnWhite(sparse, {400, 300}), image);
        }
    }

    // Tiles turn with the mark and cover the whole target, its four corners too, in portrait and
    // landscape and turned.
    void tiledMarkCoversTheCorners_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("rotation");
        QTest::addColumn<bool>("stagger");
        QTest::newRow("portrait") << QSize(300, 420) << 0.0 << false;
        QTest::newRow("landscape staggered") << QSize(420, 300) << 0.0 << true;
        QTest::newRow("turned 30") << QSize(300, 420) << 30.0 << true;
    }

    void tiledMarkCoversTheCorners()
    {
        QFETCH(QSize, size);
        QFETCH(double, rotation);
        QFETCH(bool, stagger);
        auto design = redText(QStringLiteral("\u2588\u2588\u2588"), 50, 50, rotation, 18);
        design.layout = Snapshot::Layout::tiled;
        design.tileGapX = design.tileGapY = 4;
        design.tileStagger = stagger;
        const QImage image = drawnOnWhite(design, size);
        for (const QPoint corner : {QPoint(0, 0), QPoint(size.width() - 24, 0), QPoint(0, size.height() - 24),
                                    QPoint(size.width() - 24, size.height() - 24)})
            QVERIFY2(!inkBounds(image.copy(QRect(corner, QSize(24, 24))), isRed).isEmpty(),
                     qPrintable(QStringLiteral("corner %1,%2").arg(corner.x()).arg(corner.y())));
        int columnsWithInk = 0; // many tiles, not one stretched mark
        for (int x = 0; x < size.width(); ++x)
            columnsWithInk += !inkBounds(image.copy(x, 0, 1, size.height()), isRed).isEmpty();
        QVERIFY(columnsWithInk > size.width() / 2);
        if (rotation == 0) // the rows of a grid that is not turned are level
            QVERIFY(inkBounds(image.copy(0, 0, size.width(), 2), isRed).width() > size.width() / 2 ||
                    inkBounds(image.copy(0, 0, size.width(), 2), isRed).isEmpty());
    }

    // An anchored mark keeps the margin (percent of the shorter side) from the edges of its
    // anchor, measured to its turned outline, for a long text, turned or not, on both orientations.
    void anchoredMarkKeepsItsMargin()
    {
        for (const QSize size : {QSize(400, 300), QSize(300, 400)}) {
            for (double rotation : {0.0, 45.0}) {
                for (int anchor = int(Snapshot::Anchor::topLeft);
                     anchor <= int(Snapshot::Anchor::bottomRight); ++anchor) {
                    auto design = redText(QStringLiteral("A LONGER MARK TEXT"), 50, 50, rotation, 16);
                    design.anchor = Snapshot::Anchor(anchor);
                    design.margin = 5; // 15 pixels
                    const QRect ink = inkBounds(drawnOnWhite(design, size), isRed);
                    const QString where =
                        QString::asprintf("anchor %d, %g degrees, %d wide, ink %d,%d %dx%d", anchor, rotation,
                                          size.width(), ink.x(), ink.y(), ink.width(), ink.height());
                    QVERIFY2(QRect(14, 14, size.width() - 28, size.height() - 28).contains(ink),
                             qPrintable(where));
                    const int column = (anchor - 1) % 3, row = (anchor - 1) / 3;
                    const int left = ink.left(), right = size.width() - 1 - ink.right();
                    const int top = ink.top(), bottom = size.height() - 1 - ink.bottom();
                    const int slack =
                        rotation == 0 ? 10 : 40; // glyphs' bearings; a turned box's empty corners
                    const bool placed = (column == 0   ? left < 15 + slack
                                         : column == 2 ? right < 15 + slack
                                                       : std::abs(left - right) <= 3) &&
                                        (row == 0   ? top < 15 + slack
                                         : row == 2 ? bottom < 15 + slack
                                                    : std::abs(top - bottom) <= 3);
                    QVERIFY2(placed, qPrintable(where));
                }
            }
        }
    }

    // A relative size gives the mark the same share of the page on A4 portrait, Letter landscape
    // and a 6000 by 4000 picture.
    void relativeSizeFollowsThePage()
    {
        const QString path = m_dir.filePath(QStringLiteral("relative.png"));
        writeSolidPicture(path, QSize(100, 50), Qt::red);
        auto design = pictureDesign(path, 100, 1);
        design.sizeReference = Snapshot::SizeReference::shorterSide;
        design.relativeSize = 40;
        for (const auto& [pixels, target] :
             {std::pair{QSize(595, 842), QSizeF(595, 842)}, std::pair{QSize(792, 612), QSizeF(792, 612)},
              std::pair{QSize(600, 400), QSizeF(6000, 4000)}}) {
            const QRect ink = inkBounds(drawnScaled(design, pixels, target), isRed);
            const double shorter = std::min(pixels.width(), pixels.height());
            QVERIFY2(std::abs(ink.width() - 0.4 * shorter) <= 2 &&
                         std::abs(ink.height() - 0.2 * shorter) <= 2,
                     qPrintable(QStringLiteral("%1 by %2").arg(ink.width()).arg(ink.height())));
        }
        auto text = redText(QStringLiteral("Relative"));
        text.sizeReference = Snapshot::SizeReference::width;
        text.relativeSize = 50;
        // The box's width follows the page; the ink lies within it, a glyph's bearings inside.
        const int small = inkBounds(drawnOnWhite(text, {300, 200}), isRed).width();
        const int large = inkBounds(drawnOnWhite(text, {600, 400}), isRed).width();
        QVERIFY2(small > 130 && small <= 150 && std::abs(large - 2 * small) <= 3,
                 qPrintable(QStringLiteral("%1 and %2").arg(small).arg(large)));
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
