#include "render/drawWatermark.h"

#include "model/StandardOutput.h"
#include "render/FontResolver.h"
#include "render/RegularFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGlyphRun>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// PDF readers need not handle numbers beyond 32,767 (PDF's implementation limit), so no design
// is drawn larger than this many points: text at most this size, a picture at most this long.
constexpr double largestSize = 32767;

// Poppler skips text more than 20 inches (1,440 points) tall, and Qt's font engines draw an
// empty box once a font reaches 65,536 pixels. Larger text is laid out at this size and
// scaled, its glyphs filled as outlines, which every reader and engine draws.
constexpr double largestLaidOutSize = 1000;

// A picture smaller than this many points is invisible at any resolution, and QPdfWriter,
// which writes nine decimals, would round its matrix to a singular one.
constexpr double smallestPictureSize = 0.01;

// Where the design's centre goes, in the painter's y-down space; none when it lies so far off
// the target that nothing within reach of it (in points, plus one for antialiasing) shows
// there. Such a design is not drawn at all: far placements show what they always showed,
// nothing, without coordinates that wrap around in the raster engine or that QPdfWriter,
// which cannot write numbers beyond 2^32, turns into garbage.
std::optional<QPointF> anchorFor(const WatermarkSnapshot& settings, const QSizeF& target, double reach)
{
    const double x = settings.xPosition / 100.0 * target.width();
    const double up = settings.yPosition / 100.0 * target.height();
    const double margin = reach + 1;
    if (x < -margin || x > target.width() + margin || up < -margin || up > target.height() + margin)
        return std::nullopt;
    return QPointF(x, target.height() - up);
}

// The turn as Qt applies it: clockwise in its y-down space, which is counterclockwise to the
// reader. The remainder is exact, while the sine of a huge angle would be noise.
double qtTurn(double rotation)
{
    return -std::fmod(rotation, 360.0);
}

// From the design's own space, centred on the origin, to the target's: to the anchor, turned.
std::optional<QTransform> designToTarget(const WatermarkSnapshot& settings, const QRectF& target,
                                         double reach)
{
    const std::optional<QPointF> anchor = anchorFor(settings, target.size(), reach);
    if (!anchor)
        return std::nullopt;
    return QTransform::fromTranslate(anchor->x(), anchor->y()).rotate(qtTurn(settings.rotation));
}

// How far from the origin the corners of box reach.
double reachOf(const QRectF& box)
{
    double reach = 0;
    for (const QPointF& corner : {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()})
        reach = std::max(reach, std::hypot(corner.x(), corner.y()));
    return reach;
}

// One version of a picture file: a file replaced under the same name, even within the same
// second, differs in modification time (to the nanosecond), size or inode.
struct PictureVersion
{
    QString path;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    quint64 device = 0;

    bool operator==(const PictureVersion&) const = default;
};

// Decoding a camera picture takes some hundred milliseconds, far too long for a preview that
// repaints on every step of a slider, so each thread keeps the last picture it decoded. Per
// thread, nothing is shared and nothing needs a lock. Only a regular file is read: a FIFO
// would block the drawing forever, a device would feed it without end.
QImage decodedPicture(const QString& path)
{
    thread_local std::optional<PictureVersion> cachedVersion;
    thread_local QImage cachedPicture;
    auto opened = RegularFile::open(path);
    if (!opened)
        return QImage();
    const PictureVersion version{path, opened->size(), opened->modified(), opened->inode(), opened->device()};
    if (version == cachedVersion)
        return cachedPicture;
    QFile file;
    if (!file.open(opened->descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return QImage();
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    cachedVersion = picture.isNull() ? std::nullopt : std::optional(version);
    cachedPicture = picture;
    return picture;
}

// Points per pixel of the picture: its longer side at most largestSize points.
double pictureScale(const WatermarkSnapshot& settings, const QImage& picture)
{
    const double longerSide = std::max(picture.width(), picture.height());
    return std::min(settings.imageSize / 100.0, largestSize / longerSide);
}

// The pixels of a picture of the given size that can show on the target, with two more on each
// side for smoothing to sample. Only these are drawn: a reader scales a picture to its full
// drawn size before cutting it to the page, many gigabytes for one much larger than the page.
QRect visiblePixels(const QTransform& pixelsToTarget, const QSizeF& target, const QSize& picture)
{
    const QRectF whole(QPointF(0, 0), QSizeF(picture));
    const QRectF seen = pixelsToTarget.inverted().mapRect(QRectF(QPointF(0, 0), target)).intersected(whole);
    if (seen.isEmpty())
        return QRect();
    return seen.toAlignedRect().adjusted(-2, -2, 2, 2).intersected(QRect(QPoint(0, 0), picture));
}

void drawPicture(QPainter& painter, const WatermarkSnapshot& settings, const QRectF& target)
{
    const QString path = settings.imageData->toLocalFile();
    if (path.isEmpty())
        return;
    const QImage picture = decodedPicture(path);
    if (picture.isNull())
        return;
    const double scale = pictureScale(settings, picture);
    const QSizeF size = QSizeF(picture.size()) * scale;
    if (std::max(size.width(), size.height()) < smallestPictureSize)
        return;
    const QRectF box(QPointF(-size.width() * 0.5, -size.height() * 0.5), size);
    const std::optional<QTransform> toTarget = designToTarget(settings, target, reachOf(box));
    if (!toTarget)
        return;
    const QTransform pixelsToDesign = QTransform::fromTranslate(box.x(), box.y()).scale(scale, scale);
    const QRect pixels = visiblePixels(pixelsToDesign * *toTarget, target.size(), picture.size());
    if (pixels.isEmpty())
        return;
    painter.save();
    painter.setTransform(*toTarget, true);
    painter.setOpacity(settings.opacity);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(pixelsToDesign.mapRect(QRectF(pixels)), picture, QRectF(pixels));
    painter.restore();
}

double elapsedMilliseconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1000000.0;
}

void printElapsed(const QElapsedTimer& timer)
{
    StandardOutput::printLine(QString::number(elapsedMilliseconds(timer)));
}

// Text is laid out against a 72 dpi device so that one point is one unit of the layout,
// whatever the painter draws on; the painter's transform then takes units to pixels.
QPaintDevice* pointDevice()
{
    thread_local QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835); // 72.009 dpi; fonts use the rounded value, 72
        image.setDotsPerMeterY(2835);
        return image;
    }();
    return &device;
}

// The size text is drawn at, from at least 1 point (for zero and negative sizes too) to
// largestSize, and the scale from the size it is laid out at to that size.
struct TextSize
{
    double laidOut = 1;
    double scale = 1;
};

TextSize textSizeFor(double fontSize)
{
    const double size = std::clamp(fontSize, 1.0, largestSize);
    const double laidOut = std::min(size, largestLaidOutSize);
    return TextSize{laidOut, size / laidOut};
}

// Calls visit(font, glyph, position) for every glyph, at the position the layout gives it.
template <typename Visit> void forEachGlyph(const QTextLayout& layout, Visit visit)
{
    for (const QGlyphRun& run : layout.glyphRuns()) {
        const QRawFont font = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < glyphs.size(); ++i)
            visit(font, glyphs[i], positions[i]);
    }
}

// The box the lines are laid out in, united with the ink of every glyph, which may stick out of
// it (accents, swashes, stacked marks), as placed when the layout is drawn at the box's corner.
QRectF textExtent(const QTextLayout& layout, const QRectF& box)
{
    QRectF extent = box;
    forEachGlyph(layout, [&](const QRawFont& font, quint32 glyph, QPointF position) {
        extent |= font.boundingRect(glyph).translated(position + box.topLeft());
    });
    return extent;
}

// The glyphs' outlines, as placed when the layout is drawn at origin: the same shapes as the
// text, but drawn by every reader whatever their size.
QPainterPath textOutlines(const QTextLayout& layout, const QPointF& origin)
{
    QPainterPath outlines;
    outlines.setFillRule(Qt::WindingFill);
    forEachGlyph(layout, [&](const QRawFont& font, quint32 glyph, QPointF position) {
        outlines.addPath(font.pathForGlyph(glyph).translated(position + origin));
    });
    return outlines;
}

// Draws text laid out in a box of the given size, centred on the anchor and scaled as a whole,
// so the box keeps its centre at any size. Scaled text is filled as outlines.
void drawLaidOutText(QPainter& painter, const WatermarkSnapshot& settings, const QRectF& target,
                     const QTextLayout& layout, const QSizeF& size, double scale)
{
    const QRectF box(QPointF(-size.width() * 0.5, -size.height() * 0.5), size);
    const auto toTarget = designToTarget(settings, target, scale * reachOf(textExtent(layout, box)));
    if (!toTarget)
        return;
    painter.save();
    painter.setTransform(*toTarget, true);
    painter.scale(scale, scale);
    const QColor color = settings.textColor.toQColor();
    if (scale == 1) {
        painter.setPen(color);
        painter.setRenderHint(QPainter::TextAntialiasing);
        layout.draw(&painter, box.topLeft());
    } else {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(textOutlines(layout, box.topLeft()), color);
    }
    painter.restore();
}

void drawText(QPainter& painter, const WatermarkSnapshot& settings, const QRectF& target)
{
    const TextSize size = textSizeFor(settings.fontSize);
    QFont font = FontResolver::fontFor(settings.fontName);
    font.setPointSizeF(size.laidOut);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(true);

    QElapsedTimer timer;
    timer.start();
    QString text = settings.text;
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    QTextLayout layout(text, font, pointDevice());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    printElapsed(timer);

    timer.restart();
    double width = 0;
    double height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(1.0e6); // no wrapping: lines end only at line breaks
        line.setPosition(QPointF(0, height));
        height += line.height();
        width = std::max(width, line.naturalTextWidth());
    }
    layout.endLayout();
    if (settings.text.isEmpty())
        width = height = 0;
    printElapsed(timer);

    timer.restart();
    if (width > 0 && height > 0)
        drawLaidOutText(painter, settings, target, layout, QSizeF(width, height), size.scale);
    printElapsed(timer);
}

} // namespace

void drawWatermark(QPainter& painter, const WatermarkSnapshot& settings, const QRectF& targetRect)
{
    if (settings.type == WatermarkType::image && settings.imageData)
        drawPicture(painter, settings, targetRect);
    else
        drawText(painter, settings, targetRect);
}

bool designPictureDecodes(const WatermarkSnapshot& settings)
{
    if (settings.type != WatermarkType::image || !settings.imageData)
        return true;
    const QString path = settings.imageData->toLocalFile();
    return !path.isEmpty() && !decodedPicture(path).isNull();
}
