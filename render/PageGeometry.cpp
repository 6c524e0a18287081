#include "render/PageGeometry.h"

QSizeF PageGeometry::displayedSize() const
{
    const QSizeF size = visibleArea.size();
    return rotation == 90 || rotation == 270 ? size.transposed() : size;
}

QTransform PageGeometry::displayedToUserSpace() const
{
    // PDF matrices map (u, v) to (a u + c v + e, b u + d v + f); QTransform(m11, m12, m21,
    // m22, dx, dy) uses the same convention with m11 = a, m12 = b, m21 = c, m22 = d.
    const double x0 = visibleArea.left();
    const double y0 = visibleArea.top(); // the lower edge: PDF rectangles are y-up
    const double w = visibleArea.width();
    const double h = visibleArea.height();
    switch (rotation) {
    case 90:
        return QTransform(0, 1, -1, 0, x0 + w, y0);
    case 180:
        return QTransform(-1, 0, 0, -1, x0 + w, y0 + h);
    case 270:
        return QTransform(0, -1, 1, 0, x0, y0 + h);
    default:
        return QTransform(1, 0, 0, 1, x0, y0);
    }
}

int PageGeometry::normalisedRotation(long long rotate)
{
    if (rotate % 90 != 0)
        return 0;
    const long long turned = ((rotate % 360) + 360) % 360;
    return static_cast<int>(turned);
}
