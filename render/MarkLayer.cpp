#include "render/MarkLayer.h"

#include "render/StoredFrameMark.h"

namespace {

// The design is first drawn this many times smaller to find where it lies, so the full-size
// layer covers only that part of a large page.
constexpr int sketchScale = 8;

QRect inkedArea(const QImage& image)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgba64*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x].alpha() != 0)
                area |= QRect(x, y, 1, 1);
    }
    return area;
}

} // namespace

MarkLayer::MarkLayer(QSize storedSize, QSizeF storedDpi, QImageIOHandler::Transformations transformation,
                     const WatermarkSnapshot& settings)
    : m_layer(settings.layer)
{
    const StoredFrameMark mark(storedSize, storedDpi, transformation);
    QImage sketch((storedSize.width() + sketchScale - 1) / sketchScale,
                  (storedSize.height() + sketchScale - 1) / sketchScale, QImage::Format_RGBA64_Premultiplied);
    if (sketch.isNull())
        return;
    sketch.fill(Qt::transparent);
    if (!mark.draw(sketch, settings, {}, 1.0 / sketchScale))
        return;
    // Antialiasing and hinting reach a little beyond whatever the sketch shows.
    const QRect sketched = inkedArea(sketch);
    constexpr int margin = sketchScale;
    m_bounds = QRect(sketched.topLeft() * sketchScale, sketched.size() * sketchScale)
                   .adjusted(-margin, -margin, margin, margin)
                   .intersected(QRect(QPoint(), storedSize));
    if (sketched.isEmpty())
        m_bounds = QRect();
    m_valid = true;
    if (m_bounds.isEmpty())
        return;
    m_pixels = QImage(m_bounds.size(), QImage::Format_RGBA64_Premultiplied);
    if (m_pixels.isNull()) {
        m_valid = false;
        return;
    }
    m_pixels.fill(Qt::transparent);
    m_valid = mark.draw(m_pixels, settings, m_bounds.topLeft());
}

MarkLayer MarkLayer::blank()
{
    MarkLayer layer;
    layer.m_valid = true;
    return layer;
}

bool MarkLayer::isGrey() const
{
    for (int y = 0; y < m_pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgba64*>(m_pixels.constScanLine(y));
        for (int x = 0; x < m_pixels.width(); ++x)
            if (line[x].red() != line[x].green() || line[x].green() != line[x].blue())
                return false;
    }
    return true;
}
