#include "render/TiffLayout.h"

#include "render/PackedSamples.h"

#include <QByteArray>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <tiffio.h>

namespace {

// libjpeg's luminance table, whose sum at each quality tells which quality a file's table came from.
constexpr int standardLuminance[64] = {
    16, 11,  10,  16, 24, 40, 51, 61, 12,  12,  14,  19,  26, 58, 60, 55,  14,  13,  16,  24, 40, 57,
    69, 56,  14,  17, 22, 29, 51, 87, 80,  62,  18,  22,  37, 56, 68, 109, 103, 77,  24,  35, 55, 64,
    81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98,  112, 100, 103, 99,
};

int luminanceSumAt(int quality)
{
    const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    int sum = 0;
    for (const int entry : standardLuminance)
        sum += std::clamp((entry * scale + 50) / 100, 1, 255);
    return sum;
}

// The libjpeg quality whose tables come nearest the page's first quantisation table, so the
// page is compressed again as it was.
int jpegQualityOf(TIFF* input)
{
    uint32_t count = 0;
    const uchar* tables = nullptr;
    if (!TIFFGetField(input, TIFFTAG_JPEGTABLES, &count, &tables) || !tables)
        return 75;
    const QByteArray bytes(reinterpret_cast<const char*>(tables), qsizetype(count));
    const qsizetype at = bytes.indexOf("\xFF\xDB");
    if (at < 0 || at + 5 + 64 > bytes.size() || (uchar(bytes[at + 4]) >> 4) != 0)
        return 75;
    int sum = 0;
    for (int i = 0; i < 64; ++i)
        sum += uchar(bytes[at + 5 + i]);
    int best = 75;
    for (int quality = 1; quality <= 100; ++quality)
        if (std::abs(luminanceSumAt(quality) - sum) < std::abs(luminanceSumAt(best) - sum))
            best = quality;
    return best;
}

bool predicts(uint16_t compression)
{
    return compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
           compression == COMPRESSION_DEFLATE || compression == COMPRESSION_ZSTD ||
           compression == COMPRESSION_LZMA;
}

std::optional<PixelKind::Colour> colourOf(uint16_t photometric, uint16_t compression)
{
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
        return PixelKind::Colour::grey;
    case PHOTOMETRIC_MINISWHITE:
        return PixelKind::Colour::greyInverted;
    case PHOTOMETRIC_RGB:
        return PixelKind::Colour::rgb;
    case PHOTOMETRIC_PALETTE:
        return PixelKind::Colour::palette;
    case PHOTOMETRIC_SEPARATED:
        return PixelKind::Colour::cmyk;
    case PHOTOMETRIC_YCBCR: // decoded to RGB by libjpeg; other codecs leave it subsampled
        if (compression == COMPRESSION_JPEG)
            return PixelKind::Colour::rgb;
        break;
    default:
        break;
    }
    return std::nullopt;
}

} // namespace

std::optional<TiffLayout> TiffLayout::read(TIFF* input)
{
    TiffLayout layout;
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    TIFFGetField(input, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(input, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(input, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(input, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(input, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(input, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(input, TIFFTAG_COMPRESSION, &layout.m_compression);
    TIFFGetFieldDefaulted(input, TIFFTAG_FILLORDER, &layout.m_fillOrder);
    if (!TIFFGetField(input, TIFFTAG_PHOTOMETRIC, &layout.m_photometric))
        return std::nullopt;
    const auto colour = colourOf(layout.m_photometric, layout.m_compression);
    // libtiff reads old-style JPEG but cannot write it.
    if (!colour || format != SAMPLEFORMAT_UINT || layout.m_compression == COMPRESSION_OJPEG ||
        !TIFFIsCODECConfigured(layout.m_compression) ||
        (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) ||
        (layout.m_compression == COMPRESSION_JPEG && bits != 8))
        return std::nullopt;
    layout.m_size = QSize(int(width), int(height));
    layout.m_separate = planar == PLANARCONFIG_SEPARATE;
    layout.m_tiled = TIFFIsTiled(input);
    if (layout.m_tiled) {
        TIFFGetField(input, TIFFTAG_TILEWIDTH, &layout.m_tileWidth);
        TIFFGetField(input, TIFFTAG_TILELENGTH, &layout.m_tileHeight);
        if (layout.m_tileWidth == 0 || layout.m_tileHeight == 0)
            return std::nullopt;
    } else {
        TIFFGetFieldDefaulted(input, TIFFTAG_ROWSPERSTRIP, &layout.m_rowsPerStrip);
        layout.m_rowsPerStrip = std::clamp<uint32_t>(layout.m_rowsPerStrip, 1, height);
    }
    uint16_t extraCount = 0;
    const uint16_t* extras = nullptr;
    if (TIFFGetField(input, TIFFTAG_EXTRASAMPLES, &extraCount, &extras) && extras)
        layout.m_extraSamples.assign(extras, extras + extraCount);
    if (predicts(layout.m_compression)) {
        uint16_t predictor = PREDICTOR_NONE;
        TIFFGetFieldDefaulted(input, TIFFTAG_PREDICTOR, &predictor);
        layout.m_predictor = predictor;
    }
    uint32_t faxOptions = 0;
    if ((layout.m_compression == COMPRESSION_CCITTFAX3 &&
         TIFFGetField(input, TIFFTAG_T4OPTIONS, &faxOptions)) ||
        (layout.m_compression == COMPRESSION_CCITTFAX4 &&
         TIFFGetField(input, TIFFTAG_T6OPTIONS, &faxOptions)))
        layout.m_faxOptions = faxOptions;
    uint16_t inkSet = INKSET_CMYK;
    if (TIFFGetField(input, TIFFTAG_INKSET, &inkSet))
        layout.m_inkSet = inkSet;
    if (layout.m_compression == COMPRESSION_JPEG) {
        layout.m_jpegQuality = jpegQualityOf(input);
        if (layout.m_photometric == PHOTOMETRIC_YCBCR) {
            TIFFGetFieldDefaulted(input, TIFFTAG_YCBCRSUBSAMPLING, &layout.m_subsampling[0],
                                  &layout.m_subsampling[1]);
            TIFFSetField(input, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
    }

    PixelKind& kind = layout.m_kind;
    kind.colour = *colour;
    kind.bitsPerSample = bits;
    kind.samplesPerPixel = samples;
    if (*colour == PixelKind::Colour::cmyk && inkSet != INKSET_CMYK)
        return std::nullopt;
    if (kind.colourSamples() + int(layout.m_extraSamples.size()) != samples)
        return std::nullopt;
    for (size_t i = 0; i < layout.m_extraSamples.size() && kind.alpha < 0; ++i)
        if (layout.m_extraSamples[i] == EXTRASAMPLE_ASSOCALPHA ||
            layout.m_extraSamples[i] == EXTRASAMPLE_UNASSALPHA) {
            kind.alpha = kind.colourSamples() + int(i);
            kind.associatedAlpha = layout.m_extraSamples[i] == EXTRASAMPLE_ASSOCALPHA;
        }
    if (*colour == PixelKind::Colour::palette) {
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(input, TIFFTAG_COLORMAP, &red, &green, &blue))
            return std::nullopt;
        for (int i = 0; i < 1 << bits; ++i)
            kind.palette.push_back(qRgb(red[i] / 257, green[i] / 257, blue[i] / 257));
        // The colour map is written back as read, so no colour can be added to it.
        kind.paletteLimit = int(kind.palette.size());
        layout.m_colourMap.reserve(kind.palette.size() * 3);
        for (const uint16_t* channel : {red, green, blue})
            layout.m_colourMap.insert(layout.m_colourMap.end(), channel, channel + (1 << bits));
    }
    return layout;
}

TiffLayout TiffLayout::withKind(const PixelKind& kind) const
{
    TiffLayout layout = *this;
    layout.m_kind = kind;
    if (kind.colour != m_kind.colour) {
        layout.m_photometric = PHOTOMETRIC_RGB;
        layout.m_colourMap.clear();
        if (m_kind.colour == PixelKind::Colour::palette && kind.alpha >= 0)
            layout.m_extraSamples = {EXTRASAMPLE_UNASSALPHA};
    }
    return layout;
}

bool TiffLayout::copiesBlocksFrom(const TiffLayout& other, TIFF* input, TIFF* output) const
{
    if (m_photometric != other.m_photometric || m_kind.bitsPerSample != other.m_kind.bitsPerSample ||
        m_kind.samplesPerPixel != other.m_kind.samplesPerPixel)
        return false;
    if (m_compression != COMPRESSION_JPEG)
        return true;
    // A JPEG block leans on the page's shared tables, which libtiff makes anew from the quality.
    uint32_t inCount = 0, outCount = 0;
    const void *inTables = nullptr, *outTables = nullptr;
    return TIFFGetField(input, TIFFTAG_JPEGTABLES, &inCount, &inTables) &&
           TIFFGetField(output, TIFFTAG_JPEGTABLES, &outCount, &outTables) && inCount == outCount &&
           std::memcmp(inTables, outTables, inCount) == 0;
}

bool TiffLayout::write(TIFF* output) const
{
    bool tagged = TIFFSetField(output, TIFFTAG_IMAGEWIDTH, uint32_t(m_size.width())) &&
                  TIFFSetField(output, TIFFTAG_IMAGELENGTH, uint32_t(m_size.height())) &&
                  TIFFSetField(output, TIFFTAG_BITSPERSAMPLE, uint16_t(m_kind.bitsPerSample)) &&
                  TIFFSetField(output, TIFFTAG_SAMPLESPERPIXEL, uint16_t(m_kind.samplesPerPixel)) &&
                  TIFFSetField(output, TIFFTAG_PHOTOMETRIC, m_photometric) &&
                  TIFFSetField(output, TIFFTAG_PLANARCONFIG,
                               m_separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG) &&
                  TIFFSetField(output, TIFFTAG_COMPRESSION, m_compression) &&
                  TIFFSetField(output, TIFFTAG_FILLORDER, m_fillOrder);
    if (m_tiled)
        tagged = tagged && TIFFSetField(output, TIFFTAG_TILEWIDTH, m_tileWidth) &&
                 TIFFSetField(output, TIFFTAG_TILELENGTH, m_tileHeight);
    else
        tagged = tagged && TIFFSetField(output, TIFFTAG_ROWSPERSTRIP, m_rowsPerStrip);
    if (!m_extraSamples.empty())
        tagged = tagged && TIFFSetField(output, TIFFTAG_EXTRASAMPLES, uint16_t(m_extraSamples.size()),
                                        m_extraSamples.data());
    if (m_predictor)
        tagged = tagged && TIFFSetField(output, TIFFTAG_PREDICTOR, *m_predictor);
    if (!m_colourMap.empty()) {
        const size_t entries = m_colourMap.size() / 3;
        tagged = tagged && TIFFSetField(output, TIFFTAG_COLORMAP, m_colourMap.data(),
                                        m_colourMap.data() + entries, m_colourMap.data() + 2 * entries);
    }
    if (m_inkSet)
        tagged = tagged && TIFFSetField(output, TIFFTAG_INKSET, *m_inkSet);
    if (m_faxOptions)
        tagged = tagged &&
                 TIFFSetField(output,
                              m_compression == COMPRESSION_CCITTFAX3 ? TIFFTAG_T4OPTIONS : TIFFTAG_T6OPTIONS,
                              *m_faxOptions);
    if (m_compression == COMPRESSION_JPEG) {
        if (m_photometric == PHOTOMETRIC_YCBCR)
            tagged = tagged &&
                     TIFFSetField(output, TIFFTAG_YCBCRSUBSAMPLING, m_subsampling[0], m_subsampling[1]) &&
                     TIFFSetField(output, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        tagged = tagged && TIFFSetField(output, TIFFTAG_JPEGQUALITY, m_jpegQuality);
    }
    return tagged;
}

int TiffLayout::blockCount() const
{
    if (!m_tiled)
        return int((uint32_t(m_size.height()) + m_rowsPerStrip - 1) / m_rowsPerStrip);
    return int((uint32_t(m_size.width()) + m_tileWidth - 1) / m_tileWidth *
               ((uint32_t(m_size.height()) + m_tileHeight - 1) / m_tileHeight));
}

QRect TiffLayout::blockArea(int block) const
{
    if (!m_tiled) {
        const int top = block * int(m_rowsPerStrip);
        return QRect(0, top, m_size.width(), std::min(int(m_rowsPerStrip), m_size.height() - top));
    }
    const int across = int((uint32_t(m_size.width()) + m_tileWidth - 1) / m_tileWidth);
    return QRect(block % across * int(m_tileWidth), block / across * int(m_tileHeight), int(m_tileWidth),
                 int(m_tileHeight));
}

uint32_t TiffLayout::blockIndex(int block, int plane) const
{
    return uint32_t(block + plane * blockCount());
}

int64_t TiffLayout::blockBytes(TIFF* file) const
{
    return m_tiled ? TIFFTileSize64(file) : TIFFStripSize64(file);
}

int64_t TiffLayout::rowBytes(TIFF* file) const
{
    return m_tiled ? TIFFTileRowSize64(file) : TIFFScanlineSize64(file);
}

bool TiffLayout::readBlock(TIFF* input, int block, std::vector<quint16>& samples) const
{
    const QRect area = blockArea(block);
    const int spp = m_kind.samplesPerPixel;
    const int64_t rowSize = rowBytes(input);
    std::vector<uchar> bytes(size_t(blockBytes(input)));
    samples.assign(size_t(area.width()) * size_t(area.height()) * size_t(spp), 0);
    if (rowSize <= 0 || int64_t(bytes.size()) < rowSize * area.height())
        return false;
    for (int plane = 0; plane < planes(); ++plane) {
        const tmsize_t read =
            m_tiled
                ? TIFFReadEncodedTile(input, blockIndex(block, plane), bytes.data(), tmsize_t(bytes.size()))
                : TIFFReadEncodedStrip(input, blockIndex(block, plane), bytes.data(), tmsize_t(bytes.size()));
        if (read < 0)
            return false;
        for (int row = 0; row < area.height(); ++row)
            PackedSamples::unpack(bytes.data() + row * rowSize, m_kind.bitsPerSample,
                                  m_separate ? area.width() : area.width() * spp,
                                  samples.data() + size_t(row) * size_t(area.width()) * size_t(spp) + plane,
                                  m_separate ? spp : 1);
    }
    return true;
}

bool TiffLayout::writeBlock(TIFF* output, int block, const std::vector<quint16>& samples) const
{
    const QRect area = blockArea(block);
    const int spp = m_kind.samplesPerPixel;
    const int64_t rowSize = rowBytes(output);
    std::vector<uchar> bytes(size_t(rowSize * area.height()));
    for (int plane = 0; plane < planes(); ++plane) {
        for (int row = 0; row < area.height(); ++row)
            PackedSamples::pack(samples.data() + size_t(row) * size_t(area.width()) * size_t(spp) + plane,
                                m_separate ? spp : 1, m_kind.bitsPerSample,
                                m_separate ? area.width() : area.width() * spp, bytes.data() + row * rowSize);
        const tmsize_t written = m_tiled ? TIFFWriteEncodedTile(output, blockIndex(block, plane),
                                                                bytes.data(), tmsize_t(bytes.size()))
                                         : TIFFWriteEncodedStrip(output, blockIndex(block, plane),
                                                                 bytes.data(), tmsize_t(bytes.size()));
        if (written < 0)
            return false;
    }
    return true;
}

bool TiffLayout::copyBlock(TIFF* input, TIFF* output, int block) const
{
    for (int plane = 0; plane < planes(); ++plane) {
        const uint32_t index = blockIndex(block, plane);
        std::vector<uchar> bytes(size_t(TIFFGetStrileByteCount(input, index)));
        const tmsize_t size = tmsize_t(bytes.size());
        const bool copied = m_tiled ? TIFFReadRawTile(input, index, bytes.data(), size) == size &&
                                          TIFFWriteRawTile(output, index, bytes.data(), size) == size
                                    : TIFFReadRawStrip(input, index, bytes.data(), size) == size &&
                                          TIFFWriteRawStrip(output, index, bytes.data(), size) == size;
        if (!copied)
            return false;
    }
    return true;
}
