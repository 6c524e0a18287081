#include "render/StoredFrameMark.h"

#include "render/drawWatermark.h"

#include <QImage>
#include <QPainter>

namespace {

constexpr double pointsPerInch = 72.0;

// Maps stored pixel positions onto displayed ones. A reader shows the stored picture mirrored
// and flipped as asked, then turned a quarter clockwise when asked.
QTransform storedToDisplayed(QSizeF stored, QImageIOHandler::Transformations transformation)
{
    QTransform mirror =
        QTransform::fromScale(transformation.testFlag(QImageIOHandler::TransformationMirror) ? -1 : 1,
                              transformation.testFlag(QImageIOHandler::TransformationFlip) ? -1 : 1);
    mirror *= QTransform::fromTranslate(mirror.m11() < 0 ? stored.width() : 0,
                                        mirror.m22() < 0 ? stored.height() : 0);
    if (!transformation.testFlag(QImageIOHandler::TransformationRotate90))
        return mirror;
    // A quarter clockwise in y-down space: (x, y) goes to (height - y, x).
    return mirror * QTransform(0, 1, -1, 0, stored.height(), 0);
}

} // namespace

StoredFrameMark::StoredFrameMark(QSize storedSize, QSizeF storedDpi,
                                 QImageIOHandler::Transformations transformation)
{
    const bool turned = transformation.testFlag(QImageIOHandler::TransformationRotate90);
    const QSizeF pixels = turned ? QSizeF(storedSize).transposed() : QSizeF(storedSize);
    const QSizeF dpi = turned ? storedDpi.transposed() : storedDpi;
    m_points =
        QSizeF(pixels.width() * pointsPerInch / dpi.width(), pixels.height() * pointsPerInch / dpi.height());
    const QTransform pointsToDisplayed =
        QTransform::fromScale(pixels.width() / m_points.width(), pixels.height() / m_points.height());
    m_pointsToStored = pointsToDisplayed * storedToDisplayed(storedSize, transformation).inverted();
}

bool StoredFrameMark::draw(QImage& canvas, const WatermarkSnapshot& settings, QPoint origin,
                           double scale) const
{
    QPainter painter(&canvas);
    if (!painter.isActive())
        return false;
    painter.setTransform(m_pointsToStored * QTransform::fromTranslate(-origin.x(), -origin.y()) *
                         QTransform::fromScale(scale, scale));
    drawWatermark(painter, settings, QRectF(QPointF(0, 0), m_points));
    return true;
}
