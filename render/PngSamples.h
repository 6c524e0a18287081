#pragma once

#include "render/MarkLayer.h"
#include "render/PixelKind.h"

#include <QByteArray>
#include <QSize>

#include <optional>
#include <vector>

// A PNG picture's samples as stored (bit depth, colour type, palette, transparency and
// interlacing), read and written through libpng so that a stamped picture can stay its kind.
class PngSamples
{
public:
    // Nothing when libpng cannot read the bytes.
    static std::optional<PngSamples> read(const QByteArray& png);

    QSize size() const { return m_size; }
    const PixelKind& kind() const { return m_kind; }

    // Composites the mark into the samples. A grey picture under a coloured mark, or a palette one
    // whose palette cannot take the mark's colours, becomes RGB (with alpha where it had some). A
    // picture whose transparency is a key colour (tRNS) gains alpha in its place when the mark
    // covers a pixel of that colour or would leave one. False when no sample changed, as when the
    // mark lies behind opaque pixels.
    bool stamp(const MarkLayer& mark);

    // The picture as a PNG file with the same interlacing; empty when it cannot be encoded.
    QByteArray write() const;

private:
    std::vector<quint16> rowSamples(int y) const;
    void convertTo(const PixelKind& kind);
    void keyToAlpha();
    bool meetsKey(const MarkLayer& mark, int y, const std::vector<quint16>& samples) const;
    void setRowSamples(int y, const std::vector<quint16>& samples);
    qsizetype rowBytes() const
    {
        return (qsizetype(m_size.width()) * m_kind.samplesPerPixel * m_kind.bitsPerSample + 7) / 8;
    }

    QSize m_size;
    PixelKind m_kind;
    bool m_interlaced = false;
    std::optional<std::array<quint16, 3>> m_transparentKey; // tRNS of a grey (first sample) or RGB picture
    std::vector<uchar> m_rows; // rowBytes() per row, 16-bit samples in machine order
};
