#pragma once

#include <QRectF>
#include <QTransform>

// Where a PDF page is visible and how it is turned and scaled for the reader.
struct PageGeometry
{
    // The visible area in default user space: the crop box within the media box.
    QRectF visibleArea;
    // The page's /Rotate, normalised to 0, 90, 180 or 270 (clockwise, as PDF counts it).
    int rotation = 0;
    // The page's /UserUnit: points per unit of default user space.
    double userUnit = 1;

    // The visible area's width and height in points as the reader sees them.
    QSizeF displayedSize() const;

    // Maps the reader's upright space of the visible area (origin at its lower-left corner
    // as displayed, y up, units of points) into the page's default user space.
    QTransform displayedToUserSpace() const;

    // Rounds to a whole number; a multiple of 90 (negative too) is normalised to 0..270, any
    // other number counts as 0.
    static int normalisedRotation(double rotate);

    // A positive finite unit up to the largest PDF allows; 1 for anything else.
    static double normalisedUserUnit(double unit);
};
