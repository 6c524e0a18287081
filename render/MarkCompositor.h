#pragma once

#include "render/MarkLayer.h"
#include "render/PixelKind.h"

#include <QHash>

#include <array>
#include <functional>

// Lays a MarkLayer over rows of a picture's own samples (unpacked to 16 bits each), so pixels
// the design leaves alone keep their samples exactly and no premultiplied round trip touches
// those under it. Unassociated alpha is composited as such. A bilevel picture gets the design as
// an ordered dither of its coverage times its opacity, in black or white ink as its colour is
// dark or light. A palette picture gets the nearest of nothing: each colour the design makes must
// be in the palette already or find room in it. The design's layer decides how it meets the
// picture: over it, behind its pixels (showing only where they are not opaque) or multiplied.
class MarkCompositor
{
public:
    // The ink amounts (C, M, Y, K, 0 to 65535) for an sRGB colour, for CMYK pictures.
    using InkOf = std::function<std::array<quint16, 4>(QRgba64)>;

    MarkCompositor(PixelKind kind, const MarkLayer& mark, InkOf inkOf = {});

    // Composites the design over width pixels of stored row y starting at stored column x0.
    // False when a palette picture's palette has no room for a colour the design needs.
    bool compositeRow(quint16* samples, int x0, int y, int width);

    // The palette after compositing, with any colours the design added.
    const std::vector<QRgb>& palette() const { return m_kind.palette; }
    // Whether any sample composited so far changed: a design behind opaque pixels changes none.
    bool shown() const { return m_shown; }

private:
    void blendColour(quint16* pixel, QRgba64 mark);
    bool blendPalette(quint16* pixel, QRgba64 mark);
    double blend(double mark, double picture, double markAlpha, double pictureAlpha) const;
    std::array<quint16, 4> markColour(QRgba64 mark);

    PixelKind m_kind;
    const MarkLayer& m_mark;
    InkOf m_inkOf;
    QHash<QRgb, int> m_paletteIndex;
    QHash<quint64, std::array<quint16, 4>> m_inks;
    bool m_shown = false;
};
