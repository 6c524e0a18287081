#include "render/PageGeometry.h"

#include <cmath>

namespace {

// PDF's largest user unit; beyond it a page would be larger than any reader draws.
constexpr double largestUserUnit = 75000;

} // namespace

QSizeF PageGeometry::displayedSize() const
{
    const QSizeF size = visibleArea.size() * userUnit;
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
    const QTransform toUnits = QTransform::fromScale(1 / userUnit, 1 / userUnit);
    switch (rotation) {
    case 90:
        return toUnits * QTransform(0, 1, -1, 0, x0 + w, y0);
    case 180:
        return toUnits * QTransform(-1, 0, 0, -1, x0 + w, y0 + h);
    case 270:
        return toUnits * QTransform(0, -1, 1, 0, x0, y0 + h);
    default:
        return toUnits * QTransform(1, 0, 0, 1, x0, y0);
    }
}

int PageGeometry::normalisedRotation(double rotate)
{
    if (!std::isfinite(rotate) || std::abs(rotate) > 1e9)
        return 0;
    const long long whole = std::llround(rotate);
    if (whole % 90 != 0)
        return 0;
    return static_cast<int>(((whole % 360) + 360) % 360);
}

double PageGeometry::normalisedUserUnit(double unit)
{
    return std::isfinite(unit) && unit > 0 && unit <= largestUserUnit ? unit : 1;
}
