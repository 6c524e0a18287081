#pragma once

#include "model/WatermarkSnapshot.h"

#include <QImageIOHandler>
#include <QPoint>
#include <QSize>
#include <QSizeF>
#include <QTransform>

class QPainter;

// Where a design lies on a picture whose file stores its pixels turned or mirrored: the design
// is laid out over the picture as it is displayed (its orientation applied), in points from the
// displayed resolution, and drawn onto the pixels in the order the file stores them, so the
// stored pixels and the orientation tag can stay as they are.
class StoredFrameMark
{
public:
    // storedSize and storedDpi as the file stores them; transformation is the file's orientation.
    StoredFrameMark(QSize storedSize, QSizeF storedDpi, QImageIOHandler::Transformations transformation);

    // The displayed picture's size in points, over which the design is laid out.
    QSizeF points() const { return m_points; }

    // Maps the design's points onto stored pixel positions.
    QTransform pointsToStored() const { return m_pointsToStored; }

    // Draws the design onto canvas, whose top-left pixel is the stored pixel at origin and whose
    // pixels are the stored ones scaled by scale. False when the canvas cannot be painted on.
    bool draw(QImage& canvas, const WatermarkSnapshot& settings, QPoint origin = {}, double scale = 1) const;

private:
    QSizeF m_points;
    QTransform m_pointsToStored;
};
