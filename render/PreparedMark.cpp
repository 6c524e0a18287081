#include "render/PreparedMark.h"

#include "model/StandardOutput.h"
#include "render/FontResolver.h"
#include "render/RegularFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGlyphRun>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

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

// Decoding a camera picture takes some hundred milliseconds, far too long for a preview that
// repaints on every step of a slider, so each thread keeps the last picture it decoded. Per
// thread, nothing is shared and nothing needs a lock. Only a regular file is read: a FIFO
// would block the drawing forever, a device would feed it without end.
QImage decodedDesignPicture(const QString& path)
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

} // namespace

bool PreparedMark::pictureDecodes(const WatermarkSnapshot& settings)
{
    if (settings.type != WatermarkType::image || !settings.imageData)
        return true;
    const QString path = settings.imageData->toLocalFile();
    return !path.isEmpty() && !decodedDesignPicture(path).isNull();
}

PreparedMark::PreparedMark(const WatermarkSnapshot& settings, bool timed,
                           const std::vector<TextFields::Span>& placeholders)
    : m_settings(settings), m_isPicture(settings.type == WatermarkType::image && settings.imageData),
      m_timed(timed)
{
    if (m_isPicture) {
        const QString path = settings.imageData->toLocalFile();
        if (!path.isEmpty())
            m_picture = decodedDesignPicture(path);
        if (m_picture.isNull())
            return;
        // Points per pixel: its longer side at most largestSize points.
        const double longerSide = std::max(m_picture.width(), m_picture.height());
        m_naturalScale = std::min(settings.imageSize / 100.0, largestSize / longerSide);
        m_extent = ownBox();
        return;
    }
    // From at least 1 point (for zero and negative sizes too) to largestSize, laid out at most
    // at largestLaidOutSize and scaled from there.
    const double size = std::clamp(settings.fontSize, 1.0, largestSize);
    m_laidOutSize = std::min(size, largestLaidOutSize);
    m_naturalScale = size / m_laidOutSize;
    QFont font = FontResolver::fontFor(settings.fontName);
    font.setPointSizeF(m_laidOutSize);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(true);

    QElapsedTimer timer;
    timer.start();
    QString text = settings.text;
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    m_layout = std::make_unique<QTextLayout>(text, font, pointDevice());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::NoWrap);
    m_layout->setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    for (const TextFields::Span& span : placeholders) {
        // The laid-out text holds one line separator for each "\r\n" before the span.
        const qsizetype shift = settings.text.left(span.start).count(QLatin1String("\r\n"));
        QTextLayout::FormatRange range;
        range.start = int(span.start - shift);
        range.length = int(span.length);
        range.format.setForeground(QColor(128, 128, 128, settings.textColor.toQColor().alpha()));
        formats.append(range);
    }
    m_layout->setFormats(formats);
    if (m_timed)
        printElapsed(timer);

    timer.restart();
    double width = 0;
    double height = 0;
    m_layout->beginLayout();
    for (QTextLine line = m_layout->createLine(); line.isValid(); line = m_layout->createLine()) {
        line.setLineWidth(1.0e6); // no wrapping: lines end only at line breaks
        line.setPosition(QPointF(0, height));
        height += line.height();
        width = std::max(width, line.naturalTextWidth());
    }
    m_layout->endLayout();
    if (settings.text.isEmpty() || width <= 0 || height <= 0)
        width = height = 0;
    m_textSize = QSizeF(width, height);
    m_extent = m_textSize.isEmpty() ? QRectF() : textExtent(*m_layout, ownBox());
    if (m_timed)
        printElapsed(timer);
}

PreparedMark::~PreparedMark() = default;

// The mark's box in its own space, centred on the origin.
QRectF PreparedMark::ownBox() const
{
    const QSizeF size = m_isPicture ? QSizeF(m_picture.size()) : m_textSize;
    return QRectF(QPointF(-size.width() * 0.5, -size.height() * 0.5), size);
}

std::vector<MarkPlacement> PreparedMark::placementsOn(const QSizeF& target) const
{
    if (m_extent.isEmpty())
        return {};
    return MarkPlacement::of(m_settings, ownBox().size(), m_naturalScale, reachOf(m_extent), target);
}

// From the picture's pixels to points about the mark's centre, at the given points per pixel.
QTransform PreparedMark::pixelsToPoints(double scale) const
{
    const QSizeF size = QSizeF(m_picture.size()) * scale;
    return QTransform::fromTranslate(-size.width() * 0.5, -size.height() * 0.5).scale(scale, scale);
}

QRectF PreparedMark::ownExtent(const QRect& pixels) const
{
    return m_isPicture ? pixelsToPoints(1).mapRect(QRectF(pixels)) : m_extent;
}

bool PreparedMark::needsOutlines(const MarkPlacement& copy) const
{
    return !m_isPicture && m_laidOutSize * copy.scale > largestLaidOutSize;
}

// The pixels of the picture that can show on the target, with two more on each side for
// smoothing to sample. Only these are drawn: a reader scales a picture to its full drawn size
// before cutting it to the page, many gigabytes for one much larger than the page.
QRect PreparedMark::visiblePixels(const MarkPlacement& copy, const QSizeF& target) const
{
    if (!m_isPicture)
        return QRect();
    const QTransform pixelsToTarget = pixelsToPoints(copy.scale) * copy.placed;
    const QRectF whole(m_picture.rect());
    const QRectF seen = pixelsToTarget.inverted().mapRect(QRectF(QPointF(0, 0), target)).intersected(whole);
    if (seen.isEmpty())
        return QRect();
    return seen.toAlignedRect().adjusted(-2, -2, 2, 2).intersected(m_picture.rect());
}

void PreparedMark::draw(QPainter& painter, const MarkPlacement& copy, const QSizeF& target) const
{
    if (m_isPicture) {
        const QRect pixels = visiblePixels(copy, target);
        if (pixels.isEmpty())
            return;
        painter.save();
        painter.setTransform(copy.placed, true);
        painter.setOpacity(m_settings.opacity);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(pixelsToPoints(copy.scale).mapRect(QRectF(pixels)), m_picture, QRectF(pixels));
        painter.restore();
        return;
    }
    // Text is scaled as a whole about its centre, so its box keeps its centre at any size.
    painter.save();
    painter.setTransform(copy.placed, true);
    painter.scale(copy.scale, copy.scale);
    drawOwn(painter, needsOutlines(copy), QRect());
    painter.restore();
}

void PreparedMark::drawOwn(QPainter& painter, bool outlines, const QRect& pixels) const
{
    if (m_isPicture) {
        painter.save();
        painter.setOpacity(m_settings.opacity);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(pixelsToPoints(1).mapRect(QRectF(pixels)), m_picture, QRectF(pixels));
        painter.restore();
        return;
    }
    if (!m_layout)
        return;
    const QColor color = m_settings.textColor.toQColor();
    const QPointF corner = ownBox().topLeft();
    painter.save();
    if (outlines) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(textOutlines(*m_layout, corner), color);
    } else {
        painter.setPen(color);
        painter.setRenderHint(QPainter::TextAntialiasing);
        m_layout->draw(&painter, corner);
    }
    painter.restore();
}

void PreparedMark::printDrawingTime(const QElapsedTimer& timer) const
{
    if (!m_isPicture && m_timed)
        printElapsed(timer);
}
