#pragma once

#include "model/WatermarkSnapshot.h"

#include <QSizeF>
#include <QTransform>

#include <vector>

// One copy of a mark on a target. The mark's own space is centred on the mark, y down, in the
// mark's own units; `scale` takes its units to points and `placed` takes points about the mark's
// centre to the target's space (y down, points, origin at the target's top-left corner).
struct MarkPlacement
{
    QTransform placed;
    double scale = 1;

    // From the mark's own space straight to the target's.
    QTransform toTarget() const { return QTransform::fromScale(scale, scale) * placed; }

    // Where the copies of a mark go on a target of the given size, as the design asks: one copy
    // at its position or anchor, or a grid of them turned with the mark and covering the target.
    // ownSize is the mark's box in its own units, naturalScale the points per unit at the
    // design's own size, ownReach how far its ink reaches from its centre in its own units.
    // Copies that cannot show on the target are left out; none for a mark of no size.
    static std::vector<MarkPlacement> of(const WatermarkSnapshot& settings, const QSizeF& ownSize,
                                         double naturalScale, double ownReach, const QSizeF& target);
};
