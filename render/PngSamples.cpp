#include "render/PngSamples.h"

#include "render/MarkCompositor.h"
#include "render/PackedSamples.h"

#include <QImageReader>

#include <csetjmp>
#include <cstring>

#include <png.h>

namespace {

// libpng reports errors by jumping back to png_jmpbuf; every C++ object lives outside the
// stretch it can jump over.
void quietWarning(png_structp, png_const_charp) {}

struct ReadSource
{
    const QByteArray* bytes;
    qsizetype at = 0;
};

void readBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (qsizetype(length) > source->bytes->size() - source->at)
        png_error(png, "truncated");
    std::memcpy(data, source->bytes->constData() + source->at, length);
    source->at += qsizetype(length);
}

void writeBytes(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void flushNothing(png_structp) {}

bool littleEndian()
{
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian;
}

bool readHeader(png_structp png, png_infop info, ReadSource* source)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, source, readBytes);
    // The limit Qt's own codec keeps to, so a hostile header is refused here too.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_chunk_malloc_max(png, png_alloc_size_t(QImageReader::allocationLimit()) * 1024 * 1024);
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) == 16 && littleEndian())
        png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool readRows(png_structp png, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    return true;
}

int colourTypeOf(const PixelKind& kind)
{
    if (kind.colour == PixelKind::Colour::palette)
        return PNG_COLOR_TYPE_PALETTE;
    const bool alpha = kind.alpha >= 0;
    if (kind.colour == PixelKind::Colour::rgb)
        return alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    return alpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY;
}

struct Encoding
{
    QSize size;
    int depth = 8, colourType = 0, interlace = 0;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;
    std::optional<png_color_16> key;
    png_bytepp rows = nullptr;
};

bool encode(png_structp png, png_infop info, const Encoding& encoding, QByteArray* out)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, out, writeBytes, flushNothing);
    png_set_IHDR(png, info, png_uint_32(encoding.size.width()), png_uint_32(encoding.size.height()),
                 encoding.depth, encoding.colourType, encoding.interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!encoding.palette.empty())
        png_set_PLTE(png, info, encoding.palette.data(), int(encoding.palette.size()));
    if (!encoding.paletteAlpha.empty())
        png_set_tRNS(png, info, encoding.paletteAlpha.data(), int(encoding.paletteAlpha.size()), nullptr);
    if (encoding.key)
        png_set_tRNS(png, info, nullptr, 0, const_cast<png_color_16*>(&*encoding.key));
    png_write_info(png, info);
    if (encoding.depth == 16 && littleEndian())
        png_set_swap(png);
    png_set_interlace_handling(png);
    png_write_image(png, encoding.rows);
    png_write_end(png, info);
    return true;
}

} // namespace

std::optional<PngSamples> PngSamples::read(const QByteArray& bytes)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quietWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    ReadSource source{&bytes};
    std::optional<PngSamples> result;
    if (info && readHeader(png, info, &source)) {
        PngSamples samples;
        samples.m_size = QSize(int(png_get_image_width(png, info)), int(png_get_image_height(png, info)));
        samples.m_interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
        const int type = png_get_color_type(png, info);
        PixelKind& kind = samples.m_kind;
        kind.bitsPerSample = png_get_bit_depth(png, info);
        kind.colour = type & PNG_COLOR_MASK_PALETTE ? PixelKind::Colour::palette
                      : type & PNG_COLOR_MASK_COLOR ? PixelKind::Colour::rgb
                                                    : PixelKind::Colour::grey;
        kind.samplesPerPixel = png_get_channels(png, info);
        kind.alpha = type & PNG_COLOR_MASK_ALPHA ? kind.samplesPerPixel - 1 : -1;
        png_colorp colours = nullptr;
        int count = 0;
        png_bytep alphas = nullptr;
        int alphaCount = 0;
        png_color_16p key = nullptr;
        png_get_tRNS(png, info, &alphas, &alphaCount, &key);
        if (kind.colour == PixelKind::Colour::palette && png_get_PLTE(png, info, &colours, &count)) {
            for (int i = 0; i < count; ++i)
                kind.palette.push_back(qRgba(colours[i].red, colours[i].green, colours[i].blue,
                                             i < alphaCount && alphas ? alphas[i] : 255));
            kind.paletteLimit = 1 << kind.bitsPerSample;
        } else if (key && alphaCount > 0) {
            samples.m_transparentKey = kind.colour == PixelKind::Colour::rgb
                                           ? std::array<quint16, 3>{key->red, key->green, key->blue}
                                           : std::array<quint16, 3>{key->gray, key->gray, key->gray};
        }
        const qsizetype rowSize = qsizetype(png_get_rowbytes(png, info));
        const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
        if (rowSize == samples.rowBytes() &&
            (limit <= 0 || qint64(rowSize) * samples.m_size.height() <= limit) &&
            (kind.colour != PixelKind::Colour::palette || !kind.palette.empty())) {
            samples.m_rows.resize(size_t(rowSize) * size_t(samples.m_size.height()));
            std::vector<png_bytep> rows(size_t(samples.m_size.height()));
            for (size_t y = 0; y < rows.size(); ++y)
                rows[y] = samples.m_rows.data() + y * size_t(rowSize);
            if (readRows(png, rows.data()))
                result = std::move(samples);
        }
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return result;
}

std::vector<quint16> PngSamples::rowSamples(int y) const
{
    std::vector<quint16> samples(size_t(m_size.width()) * size_t(m_kind.samplesPerPixel));
    PackedSamples::unpack(m_rows.data() + size_t(y) * size_t(rowBytes()), m_kind.bitsPerSample,
                          int(samples.size()), samples.data(), 1);
    return samples;
}

void PngSamples::setRowSamples(int y, const std::vector<quint16>& samples)
{
    PackedSamples::pack(samples.data(), 1, m_kind.bitsPerSample, int(samples.size()),
                        m_rows.data() + size_t(y) * size_t(rowBytes()));
}

void PngSamples::convertTo(const PixelKind& kind)
{
    const PixelKind was = m_kind;
    std::vector<uchar> rows = std::move(m_rows);
    m_rows.clear();
    const qsizetype oldRowBytes =
        (qsizetype(m_size.width()) * was.samplesPerPixel * was.bitsPerSample + 7) / 8;
    m_kind = kind;
    m_rows.resize(size_t(rowBytes()) * size_t(m_size.height()));
    std::vector<quint16> in(size_t(m_size.width()) * size_t(was.samplesPerPixel));
    std::vector<quint16> out(size_t(m_size.width()) * size_t(kind.samplesPerPixel));
    for (int y = 0; y < m_size.height(); ++y) {
        PackedSamples::unpack(rows.data() + size_t(y) * size_t(oldRowBytes), was.bitsPerSample,
                              int(in.size()), in.data(), 1);
        kind.convertRow(was, in.data(), out.data(), m_size.width());
        setRowSamples(y, out);
    }
    if (m_transparentKey && was.bitsPerSample != kind.bitsPerSample)
        for (quint16& sample : *m_transparentKey)
            sample = quint16(sample * kind.maximum() / was.maximum());
}

bool PngSamples::stamp(const MarkLayer& mark)
{
    const QRect bounds = mark.bounds();
    if (bounds.isEmpty())
        return false;
    if (m_kind.colour == PixelKind::Colour::grey && !m_kind.isBilevel())
        if (const bool colour = !mark.isGrey(); colour || m_kind.bitsPerSample < 8)
            convertTo(colour ? m_kind.inColour() : m_kind.atEightBits());
    bool shown = false;
    for (bool done = false; !done;) {
        MarkCompositor compositor(m_kind, mark);
        std::vector<std::vector<quint16>> rows;
        done = true;
        bool keyed = false;
        for (int y = bounds.top(); y <= bounds.bottom() && done && !keyed; ++y) {
            rows.push_back(rowSamples(y));
            keyed = meetsKey(mark, y, rows.back());
            done = compositor.compositeRow(rows.back().data(), 0, y, m_size.width());
            keyed = keyed || meetsKey(mark, y, rows.back());
        }
        if (keyed) {
            keyToAlpha();
            done = false;
        } else if (!done) {
            // The palette has no room for the mark's colours.
            convertTo(m_kind.inColour());
        }
        if (!done)
            continue;
        for (int y = bounds.top(); y <= bounds.bottom(); ++y)
            setRowSamples(y, rows[size_t(y - bounds.top())]);
        m_kind.palette = compositor.palette();
        shown = compositor.shown();
    }
    return shown;
}

// Whether a pixel the mark covers has the transparent key's colour.
bool PngSamples::meetsKey(const MarkLayer& mark, int y, const std::vector<quint16>& samples) const
{
    if (!m_transparentKey)
        return false;
    const QRect bounds = mark.bounds();
    const int colours = m_kind.colourSamples();
    for (int x = std::max(bounds.left(), 0); x <= std::min(bounds.right(), m_size.width() - 1); ++x)
        if (mark.at(x, y).alpha() > 0 &&
            std::equal(samples.begin() + x * m_kind.samplesPerPixel,
                       samples.begin() + x * m_kind.samplesPerPixel + colours, m_transparentKey->begin()))
            return true;
    return false;
}

// The key's transparency as an alpha sample (at 8 bits at least, as PNG has it), the key dropped.
void PngSamples::keyToAlpha()
{
    const PixelKind was = m_kind;
    PixelKind kind = was;
    kind.bitsPerSample = std::max(was.bitsPerSample, 8);
    kind.alpha = was.samplesPerPixel;
    kind.samplesPerPixel = was.samplesPerPixel + 1;
    kind.associatedAlpha = false;
    const std::vector<uchar> rows = std::move(m_rows);
    const qsizetype oldRowBytes = rowBytes();
    m_kind = kind;
    m_rows.assign(size_t(rowBytes()) * size_t(m_size.height()), 0);
    std::vector<quint16> in(size_t(m_size.width()) * size_t(was.samplesPerPixel));
    std::vector<quint16> out(size_t(m_size.width()) * size_t(kind.samplesPerPixel));
    const int colours = was.colourSamples();
    for (int y = 0; y < m_size.height(); ++y) {
        PackedSamples::unpack(rows.data() + size_t(y) * size_t(oldRowBytes), was.bitsPerSample,
                              int(in.size()), in.data(), 1);
        for (int x = 0; x < m_size.width(); ++x) {
            const quint16* pixel = in.data() + size_t(x) * size_t(was.samplesPerPixel);
            quint16* made = out.data() + size_t(x) * size_t(kind.samplesPerPixel);
            for (int c = 0; c < was.samplesPerPixel; ++c)
                made[c] = quint16(qint64(pixel[c]) * kind.maximum() / was.maximum());
            made[kind.alpha] =
                std::equal(pixel, pixel + colours, m_transparentKey->begin()) ? 0 : quint16(kind.maximum());
        }
        setRowSamples(y, out);
    }
    m_transparentKey.reset();
}

QByteArray PngSamples::write() const
{
    Encoding encoding;
    encoding.size = m_size;
    encoding.depth = m_kind.bitsPerSample;
    encoding.colourType = colourTypeOf(m_kind);
    encoding.interlace = m_interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;
    for (const QRgb colour : m_kind.palette) {
        encoding.palette.push_back(
            {png_byte(qRed(colour)), png_byte(qGreen(colour)), png_byte(qBlue(colour))});
        encoding.paletteAlpha.push_back(png_byte(qAlpha(colour)));
    }
    // Entries after the last translucent one need no alpha.
    while (!encoding.paletteAlpha.empty() && encoding.paletteAlpha.back() == 255)
        encoding.paletteAlpha.pop_back();
    if (m_transparentKey)
        encoding.key = png_color_16{0, (*m_transparentKey)[0], (*m_transparentKey)[1], (*m_transparentKey)[2],
                                    (*m_transparentKey)[0]};
    std::vector<png_bytep> rows(size_t(m_size.height()));
    for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = const_cast<uchar*>(m_rows.data()) + y * size_t(rowBytes());
    encoding.rows = rows.data();
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quietWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool encoded = info && encode(png, info, encoding, &out);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return encoded ? out : QByteArray();
}
