#include "render/drawWatermark.h"

#include "model/StandardOutput.h"
#include "render/FontResolver.h"
#include "render/RegularFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <optional>

namespace {

// Moves the painter to the design's anchor and turns it, so the box can be drawn centred on
// the origin. Qt turns clockwise in its y-down space, which is counterclockwise to the reader.
void moveToAnchor(QPainter& painter, const WatermarkSnapshot& settings, const QRectF& target)
{
    const double width = target.width();
    const double height = target.height();
    painter.translate(width * settings.xPosition / 100.0, height - height * settings.yPosition / 100.0);
    painter.rotate(-settings.rotation);
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

void drawPicture(QPainter& painter, const WatermarkSnapshot& settings, const QRectF& target)
{
    const QString path = settings.imageData->toLocalFile();
    if (path.isEmpty())
        return;
    const QImage picture = decodedPicture(path);
    if (picture.isNull())
        return;
    const double w = settings.imageSize / 100.0 * picture.width();
    const double h = settings.imageSize / 100.0 * picture.height();
    painter.save();
    moveToAnchor(painter, settings, target);
    painter.setOpacity(settings.opacity);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(-w * 0.5, -h * 0.5, w, h), picture);
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

void drawText(QPainter& painter, const WatermarkSnapshot& settings, const QRectF& target)
{
    QFont font = FontResolver::fontFor(settings.fontName);
    font.setPointSizeF(settings.fontSize > 0 ? settings.fontSize : 1.0);
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
    painter.save();
    moveToAnchor(painter, settings, target);
    painter.setPen(settings.textColor.toQColor());
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (width > 0 && height > 0)
        layout.draw(&painter, QPointF(-width * 0.5, -height * 0.5));
    painter.restore();
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
