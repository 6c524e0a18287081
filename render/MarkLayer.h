#pragma once

#include "model/WatermarkSnapshot.h"

#include <QImage>
#include <QImageIOHandler>
#include <QRect>
#include <QRgba64>
#include <QSize>
#include <QSizeF>

// A design drawn on its own, at 16 bits per channel with premultiplied alpha, over the part of a
// stored picture it covers, so it can be composited into the picture's own samples whatever their
// kind. Pixels outside bounds() are untouched by the design.
class MarkLayer
{
public:
    // Lays the design out as StoredFrameMark does for a picture stored at storedSize and storedDpi
    // under the file's orientation. isValid() is false when the layer could not be painted on.
    MarkLayer(QSize storedSize, QSizeF storedDpi, QImageIOHandler::Transformations transformation,
              const WatermarkSnapshot& settings);

    // A layer without ink, for a page the design leaves alone: every pixel stays as stored.
    static MarkLayer blank();

    bool isValid() const { return m_valid; }
    // The stored pixels the design may touch; empty when it touches none.
    QRect bounds() const { return m_bounds; }
    // The design's premultiplied colour over the stored pixel (x, y), which lies within bounds().
    QRgba64 at(int x, int y) const
    {
        return reinterpret_cast<const QRgba64*>(m_pixels.constScanLine(y - m_bounds.y()))[x - m_bounds.x()];
    }
    // Every pixel of the design is neutral, so a grey picture can hold it.
    bool isGrey() const;
    // Whether the design goes over the picture's pixels, behind them or multiplied with them.
    WatermarkSnapshot::Layer layer() const { return m_layer; }

private:
    MarkLayer() = default;

    QImage m_pixels;
    QRect m_bounds;
    WatermarkSnapshot::Layer m_layer = WatermarkSnapshot::Layer::over;
    bool m_valid = false;
};
