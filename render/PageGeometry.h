#pragma once

#include <QRectF>
#include <QTransform>

// Where a PDF page is visible and how it is turned for the reader.
struct PageGeometry
{
    // The visible area in default user space: the crop box within the media box.
    QRectF visibleArea;
    // The page's /Rotate, normalised to 0, 90, 180 or 270 (clockwise, as PDF counts it).
    int rotation = 0;

    // The visible area's width and height as the reader sees them.
    QSizeF displayedSize() const;

    // Maps the reader's upright space of the visible area (origin at its lower-left corner
    // as displayed, y up, units of points) into the page's default user space.
    QTransform displayedToUserSpace() const;

    // Normalises any multiple of 90 (negative too) to 0..270; other values count as 0,
    // as PDF readers treat them.
    static int normalisedRotation(long long rotate);
};
