#include "render/MarkPlacement.h"

#include <QLineF>
#include <QPolygonF>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

using Snapshot = WatermarkSnapshot;

// No mark is drawn larger than PDF's implementation limit for numbers, in points.
constexpr double largestSize = 32767;

// A mark smaller than this many points is invisible at any resolution, and QPdfWriter, which
// writes nine decimals, would round its matrix to a singular one.
constexpr double smallestSize = 0.01;

// A grid of tiny marks over a large page would be millions of copies; beyond this many the
// grid's spacing grows until it fits, keeping the pattern's look.
constexpr double mostTiles = 4096;

// The turn as Qt applies it: clockwise in its y-down space, which is counterclockwise to the
// reader. The remainder is exact, while the sine of a huge angle would be noise.
double qtTurn(double rotation)
{
    return -std::fmod(rotation, 360.0);
}

// The factor a relative size applies to the mark's size in points; 1 for a size in points.
double relativeScale(const Snapshot& settings, const QSizeF& points, const QSizeF& target)
{
    const double shorter = std::min(target.width(), target.height());
    const double longer = std::max(target.width(), target.height());
    double side = 0;
    switch (settings.sizeReference) {
    case Snapshot::SizeReference::points:
        return 1;
    case Snapshot::SizeReference::shorterSide:
        side = shorter;
        break;
    case Snapshot::SizeReference::longerSide:
        side = longer;
        break;
    case Snapshot::SizeReference::width:
        side = target.width();
        break;
    case Snapshot::SizeReference::height:
        side = target.height();
        break;
    }
    const double wanted = side * std::max(0.0, settings.relativeSize) / 100.0;
    const double largest = std::max(points.width(), points.height());
    if (points.width() <= 0 || largest <= 0)
        return 0;
    return std::min(wanted / points.width(), largestSize / largest);
}

// The half width and half height of the box of the given size turned by the design's rotation.
QSizeF turnedHalfExtent(const QSizeF& size, double rotation)
{
    const double radians = std::fmod(rotation, 360.0) * 3.141592653589793 / 180.0;
    const double c = std::abs(std::cos(radians));
    const double s = std::abs(std::sin(radians));
    return QSizeF((c * size.width() + s * size.height()) / 2, (s * size.width() + c * size.height()) / 2);
}

// The centre along one side: at the low or high edge kept margin plus half the mark inside it,
// or in the middle, also when the mark does not fit between the margins.
double anchoredCentre(int slot, double length, double margin, double halfExtent)
{
    const double inset = margin + halfExtent;
    if (slot == 1 || 2 * inset > length)
        return length / 2;
    return slot == 0 ? inset : length - inset;
}

// The mark's centre in the reader's y-up space over the target; none for a custom position so
// far off the target that nothing within reach of it (plus one point for antialiasing) shows:
// far placements show what they always showed, nothing, without coordinates that wrap around in
// the raster engine or that QPdfWriter, which cannot write numbers beyond 2^32, turns to garbage.
std::optional<QPointF> centreOf(const Snapshot& settings, const QSizeF& target, const QSizeF& size,
                                double reach)
{
    if (settings.anchor == Snapshot::Anchor::custom) {
        const double x = settings.xPosition / 100.0 * target.width();
        const double up = settings.yPosition / 100.0 * target.height();
        const double margin = reach + 1;
        if (settings.layout == Snapshot::Layout::single &&
            (x < -margin || x > target.width() + margin || up < -margin || up > target.height() + margin))
            return std::nullopt;
        return QPointF(x, up);
    }
    const int index = static_cast<int>(settings.anchor) - static_cast<int>(Snapshot::Anchor::topLeft);
    const double margin = std::min(target.width(), target.height()) * std::max(0.0, settings.margin) / 100.0;
    const QSizeF half = turnedHalfExtent(size, settings.rotation);
    return QPointF(anchoredCentre(index % 3, target.width(), margin, half.width()),
                   anchoredCentre(2 - index / 3, target.height(), margin, half.height()));
}

// Copies of the mark on a grid through base's origin, turned with it, over every part of the
// target that a copy's ink can reach.
std::vector<MarkPlacement> tiles(const Snapshot& settings, const QTransform& base, double scale,
                                 const QSizeF& size, double reach, const QSizeF& target)
{
    const double shorter = std::min(target.width(), target.height());
    // A gap may overlap the copies, but never so far that the grid folds onto itself.
    double cellWidth = std::max(size.width() + shorter * settings.tileGapX / 100.0, size.width() * 0.1);
    double cellHeight = std::max(size.height() + shorter * settings.tileGapY / 100.0, size.height() * 0.1);
    const QRectF area(QPointF(0, 0), target);
    const QRectF seen =
        base.inverted().map(QPolygonF(area)).boundingRect().adjusted(-reach, -reach, reach, reach);
    const double estimate = (seen.width() / cellWidth + 2) * (seen.height() / cellHeight + 2);
    if (estimate > mostTiles) {
        const double grow = std::sqrt(estimate / mostTiles);
        cellWidth *= grow;
        cellHeight *= grow;
    }
    std::vector<MarkPlacement> copies;
    const auto firstRow = static_cast<long long>(std::floor(seen.top() / cellHeight));
    const auto lastRow = static_cast<long long>(std::ceil(seen.bottom() / cellHeight));
    for (long long row = firstRow; row <= lastRow; ++row) {
        const double shift = settings.tileStagger && (row % 2 != 0) ? cellWidth / 2 : 0;
        const auto firstColumn = static_cast<long long>(std::floor((seen.left() - shift) / cellWidth));
        const auto lastColumn = static_cast<long long>(std::ceil((seen.right() - shift) / cellWidth));
        for (long long column = firstColumn; column <= lastColumn; ++column) {
            const QPointF centre(column * cellWidth + shift, row * cellHeight);
            const QTransform placed = QTransform::fromTranslate(centre.x(), centre.y()) * base;
            const QPointF onTarget = placed.map(QPointF(0, 0));
            const QPointF nearest(std::clamp(onTarget.x(), 0.0, target.width()),
                                  std::clamp(onTarget.y(), 0.0, target.height()));
            if (QLineF(onTarget, nearest).length() <= reach + 1)
                copies.push_back({placed, scale});
        }
    }
    return copies;
}

} // namespace

std::vector<MarkPlacement> MarkPlacement::of(const WatermarkSnapshot& settings, const QSizeF& ownSize,
                                             double naturalScale, double ownReach, const QSizeF& target)
{
    const QSizeF points = ownSize * naturalScale;
    const double scale = naturalScale * relativeScale(settings, points, target);
    const QSizeF size = ownSize * scale;
    const double reach = ownReach * scale;
    if (!(scale > 0) || std::max(size.width(), size.height()) < smallestSize)
        return {};
    const std::optional<QPointF> centre = centreOf(settings, target, size, reach);
    if (!centre)
        return {};
    const QTransform base = QTransform::fromTranslate(centre->x(), target.height() - centre->y())
                                .rotate(qtTurn(settings.rotation));
    if (settings.layout == Snapshot::Layout::tiled)
        return tiles(settings, base, scale, size, reach, target);
    return {MarkPlacement{base, scale}};
}
