#pragma once

#include "render/PixelKind.h"

#include <QRect>

#include <cstdint>
#include <optional>
#include <vector>

struct tiff;

// How a TIFF page stores its samples: their kind, compression, strips or tiles, planes and the
// codec's settings, read from one page so another can be written the same way.
class TiffLayout
{
public:
    // The current page's layout; nothing when its samples are of a kind the stamping cannot
    // write back as they are (old-style JPEG, floating point, 12-bit, a codec libtiff lacks...).
    // Sets a JPEG page to be decoded as RGB.
    static std::optional<TiffLayout> read(tiff* input);

    const PixelKind& kind() const { return m_kind; }
    // The same layout holding samples of another kind (RGB where the page was grey or a palette).
    TiffLayout withKind(const PixelKind& kind) const;
    // Whether blocks of the other layout's page (input) can be copied as stored into this one's
    // (output): the same samples and codec, and under JPEG the same tables once output has some.
    bool copiesBlocksFrom(const TiffLayout& other, tiff* input, tiff* output) const;

    // Sets the page's layout tags on output. False when libtiff refuses one.
    bool write(tiff* output) const;

    // The strips or tiles of one plane, in the stored pixels they cover (tiles may reach past the
    // page's edge).
    int blockCount() const;
    QRect blockArea(int block) const;
    // Reads a block, all its planes, as unpacked samples, kind().samplesPerPixel per pixel over
    // blockArea(). False when the page is damaged there.
    bool readBlock(tiff* input, int block, std::vector<quint16>& samples) const;
    // Writes a block of unpacked samples as readBlock gives them.
    bool writeBlock(tiff* output, int block, const std::vector<quint16>& samples) const;
    // Copies a block's stored bytes, every plane, without decoding them.
    bool copyBlock(tiff* input, tiff* output, int block) const;

private:
    int planes() const { return m_separate ? m_kind.samplesPerPixel : 1; }
    uint32_t blockIndex(int block, int plane) const;
    int64_t blockBytes(tiff* file) const;
    int64_t rowBytes(tiff* file) const;

    PixelKind m_kind;
    QSize m_size;
    uint16_t m_photometric = 0;
    uint16_t m_compression = 1;
    std::optional<uint16_t> m_predictor;
    uint16_t m_fillOrder = 1;
    bool m_separate = false;
    bool m_tiled = false;
    uint32_t m_tileWidth = 0, m_tileHeight = 0, m_rowsPerStrip = 0;
    std::vector<uint16_t> m_extraSamples;
    std::vector<uint16_t> m_colourMap; // red, green then blue entries, as stored
    std::optional<uint16_t> m_inkSet;
    std::optional<uint32_t> m_faxOptions;
    uint16_t m_subsampling[2] = {2, 2};
    int m_jpegQuality = 75;
};
