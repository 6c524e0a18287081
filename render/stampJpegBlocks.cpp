#include "render/stampJpegBlocks.h"

#include "render/BlockDct.h"
#include "render/ExifThumbnail.h"
#include "render/IccColourTransform.h"
#include "render/JpegColourModel.h"
#include "render/JpegRowStream.h"
#include "render/JpegXmp.h"
#include "render/PhotoshopResources.h"
#include "render/StoredFrameMark.h"

#include <QBuffer>
#include <QIODevice>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// The design is first drawn this many times smaller to find where it lies, so the full-size
// drawing covers only that area.
constexpr int probeScale = 8;
constexpr int segmentLimit = 65533; // a segment's payload, after its two length bytes

QString unreadable()
{
    return QStringLiteral("not a picture this program can read");
}

struct ErrorManager
{
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
    bool decoding = false; // whether the error came from the decoder
};

[[noreturn]] void leave(j_common_ptr info)
{
    reinterpret_cast<ErrorManager*>(info->err)->decoding = info->is_decompressor;
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void ignore(j_common_ptr, int) {}

// libjpeg reports errors by jumping back here. The steps run libjpeg calls on plain data only,
// so the jump skips no destructor.
template <typename Steps> bool guarded(ErrorManager& error, Steps&& steps)
{
    if (setjmp(error.jump))
        return false;
    steps();
    return true;
}

// The output goes straight to the device through a buffer of our own; a short write stops
// libjpeg as an error.
struct Destination
{
    static constexpr size_t capacity = 1 << 16;
    jpeg_destination_mgr manager{};
    QIODevice* device = nullptr;
    std::vector<JOCTET> buffer = std::vector<JOCTET>(capacity);

    static Destination& of(j_compress_ptr info) { return *reinterpret_cast<Destination*>(info->dest); }
    static void start(j_compress_ptr info) { of(info).restart(); }
    // libjpeg calls this with the whole buffer written, whatever free_in_buffer says.
    static boolean emptied(j_compress_ptr info)
    {
        of(info).flush(info, capacity);
        return TRUE;
    }
    static void finish(j_compress_ptr info)
    {
        of(info).flush(info, capacity - of(info).manager.free_in_buffer);
    }

    void restart()
    {
        manager.next_output_byte = buffer.data();
        manager.free_in_buffer = capacity;
    }
    void flush(j_compress_ptr info, size_t size)
    {
        if (device->write(reinterpret_cast<const char*>(buffer.data()), qint64(size)) != qint64(size)) {
            info->err->msg_code = JERR_FILE_WRITE;
            (*info->err->error_exit)(reinterpret_cast<j_common_ptr>(info));
        }
        restart();
    }
};

// Both codecs share one error manager; destroying an object libjpeg never created is harmless
// as long as it is zeroed.
struct Codecs
{
    ErrorManager error;
    jpeg_decompress_struct in{};
    jpeg_compress_struct out{};
    Destination written;

    explicit Codecs(QIODevice& output)
    {
        written.device = &output;
        in.err = out.err = jpeg_std_error(&error.manager);
        error.manager.error_exit = leave;
        error.manager.emit_message = ignore;
        written.manager.init_destination = Destination::start;
        written.manager.empty_output_buffer = Destination::emptied;
        written.manager.term_destination = Destination::finish;
    }
    ~Codecs()
    {
        jpeg_destroy_compress(&out);
        jpeg_destroy_decompress(&in);
    }
    Codecs(const Codecs&) = delete;
    Codecs& operator=(const Codecs&) = delete;
};

std::optional<JpegColourModel::Space> spaceOf(J_COLOR_SPACE space)
{
    switch (space) {
    case JCS_GRAYSCALE:
        return JpegColourModel::Space::grey;
    case JCS_YCbCr:
        return JpegColourModel::Space::yCbCr;
    case JCS_RGB:
        return JpegColourModel::Space::rgb;
    case JCS_CMYK:
        return JpegColourModel::Space::cmyk;
    case JCS_YCCK:
        return JpegColourModel::Space::ycck;
    default:
        return std::nullopt;
    }
}

// The colours a CMYK or YCCK file's ICC profile gives its inks, when it has a profile LittleCMS
// can use.
std::optional<IccColourTransform> inksOf(Codecs& codecs, JpegColourModel::Space space)
{
    if (space != JpegColourModel::Space::cmyk && space != JpegColourModel::Space::ycck)
        return std::nullopt;
    JOCTET* data = nullptr;
    unsigned int length = 0;
    if (!guarded(codecs.error, [&] { jpeg_read_icc_profile(&codecs.in, &data, &length); }) || !data)
        return std::nullopt;
    const QByteArray profile(reinterpret_cast<const char*>(data), qsizetype(length));
    std::free(data);
    return IccColourTransform::toProfile(profile, IccColourTransform::Space::cmyk);
}

// One component's blocks and how many picture pixels each of its samples spans.
struct Plane
{
    jpeg_component_info* info;
    jvirt_barray_ptr blocks;
    int spanX;
    int spanY;
};

// The mark drawn at full size over the stored pixels it can reach, transparent elsewhere.
struct MarkLayer
{
    QImage pixels; // premultiplied
    QRect area;    // in stored pixels

    int alphaAt(int x, int y) const { return qAlpha(pixels.pixel(x - area.x(), y - area.y())); }
};

std::optional<MarkLayer> drawMark(const StoredFrameMark& mark, const WatermarkSnapshot& settings,
                                  QSize stored)
{
    QImage probe((stored.width() + probeScale - 1) / probeScale,
                 (stored.height() + probeScale - 1) / probeScale, QImage::Format_ARGB32_Premultiplied);
    if (probe.isNull())
        return std::nullopt;
    probe.fill(Qt::transparent);
    if (!mark.draw(probe, settings, QPoint(0, 0), 1.0 / probeScale))
        return std::nullopt;
    QRect reach;
    for (int y = 0; y < probe.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(probe.constScanLine(y));
        for (int x = 0; x < probe.width(); ++x)
            if (qAlpha(line[x]))
                reach |= QRect(x, y, 1, 1);
    }
    MarkLayer layer;
    // Antialiasing at the small size may miss the outermost edge of the large drawing.
    layer.area = QRect(reach.topLeft() * probeScale, reach.size() * probeScale)
                     .adjusted(-2 * probeScale, -2 * probeScale, 2 * probeScale, 2 * probeScale)
                     .intersected(QRect(QPoint(0, 0), stored));
    if (layer.area.isEmpty())
        return layer;
    layer.pixels = QImage(layer.area.size(), QImage::Format_ARGB32_Premultiplied);
    if (layer.pixels.isNull())
        return std::nullopt;
    layer.pixels.fill(Qt::transparent);
    if (!mark.draw(layer.pixels, settings, layer.area.topLeft()))
        return std::nullopt;
    return layer;
}

// Multiplying the mark with the picture is laying over it, at the mark's alpha, the mark's colour
// times the picture's: the picture under the mark is decoded, and the layer's colours become those
// products, so the blocks take them as they take any mark. One row of the layer at a time.
void multiplyRow(QRgb* line, const QRgb* below, int width)
{
    const auto times = [](int mark, int under) { return (mark * under + 127) / 255; };
    for (int x = 0; x < width; ++x)
        line[x] = qRgba(times(qRed(line[x]), qRed(below[x])), times(qGreen(line[x]), qGreen(below[x])),
                        times(qBlue(line[x]), qBlue(below[x])), qAlpha(line[x]));
}

// The picture under the mark decoded by Qt, for a file whose blocks are not all held at once.
bool multiplyWithPicture(MarkLayer& layer, const QByteArray& input)
{
    if (layer.area.isEmpty())
        return true;
    QBuffer buffer;
    buffer.setData(input);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    reader.setClipRect(layer.area);
    const QImage picture = reader.read().convertToFormat(QImage::Format_RGB32);
    if (picture.size() != layer.area.size())
        return false;
    for (int y = 0; y < layer.pixels.height(); ++y)
        multiplyRow(reinterpret_cast<QRgb*>(layer.pixels.scanLine(y)),
                    reinterpret_cast<const QRgb*>(picture.constScanLine(y)), layer.pixels.width());
    return true;
}

// A block's samples, less 128, from its quantised coefficients.
BlockDct::Block samplesOf(const JBLOCK& block, const JQUANT_TBL& table)
{
    BlockDct::Block coefficients;
    for (int k = 0; k < 64; ++k)
        coefficients[k] = float(block[k]) * float(table.quantval[k]);
    return BlockDct::inverse(coefficients);
}

// The picture under the mark decoded from the blocks already held, a band of them at a time, so
// that the picture is never held a second time. Each sample is spread over the pixels it spans.
void multiplyFromBlocks(MarkLayer& layer, const std::vector<Plane>& planes, const JpegRowStream& stream,
                        const JpegColourModel& model)
{
    const QRect& area = layer.area;
    if (area.isEmpty())
        return;
    const size_t components = planes.size();
    const int bandHeight = 8 * planes[0].spanY * planes[0].info->v_samp_factor; // one row of MCUs
    std::vector<quint8> band(size_t(area.width()) * size_t(bandHeight) * components, 128);
    std::vector<QRgb> below(size_t(area.width()));
    for (int top = area.top() / bandHeight * bandHeight; top <= area.bottom(); top += bandHeight) {
        const QRect rows = QRect(area.left(), top, area.width(), bandHeight).intersected(area);
        for (size_t c = 0; c < components; ++c) {
            const Plane& plane = planes[c];
            const QSize spanned(8 * plane.spanX, 8 * plane.spanY);
            const int lastX = std::min(area.right() / spanned.width(), int(plane.info->width_in_blocks) - 1);
            for (int by = top / spanned.height(); by < (top + bandHeight) / spanned.height(); ++by) {
                const JBLOCK* row = stream.heldRow(plane.blocks, by);
                for (int bx = area.left() / spanned.width(); row && bx <= lastX; ++bx) {
                    const BlockDct::Block samples = samplesOf(row[bx], *plane.info->quant_table);
                    const QRect block = QRect(QPoint(bx * spanned.width(), by * spanned.height()), spanned);
                    const QRect covered = block.intersected(rows);
                    for (int y = covered.top(); y <= covered.bottom(); ++y)
                        for (int x = covered.left(); x <= covered.right(); ++x) {
                            const int k =
                                (y - block.top()) / plane.spanY * 8 + (x - block.left()) / plane.spanX;
                            band[(size_t(y - top) * size_t(area.width()) + size_t(x - area.left())) *
                                     components +
                                 c] = quint8(std::clamp(std::lround(samples[size_t(k)] + 128), 0L, 255L));
                        }
                }
            }
        }
        for (int y = rows.top(); y <= rows.bottom(); ++y) {
            model.toRgbRow(&band[size_t(y - top) * size_t(area.width()) * components], area.width(),
                           below.data());
            multiplyRow(reinterpret_cast<QRgb*>(layer.pixels.scanLine(y - area.top())), below.data(),
                        area.width());
        }
    }
}

// Draws the mark into the blocks it touches, in the component's own colour and resolution.
class BlockStamper
{
public:
    BlockStamper(const MarkLayer& layer, const JpegColourModel& model) : m_layer(layer), m_model(model) {}

    // Whether any pixel the block spans lies under the mark.
    bool touches(const Plane& plane, int blockX, int blockY) const
    {
        const QRect spanned =
            QRect(blockX * 8 * plane.spanX, blockY * 8 * plane.spanY, 8 * plane.spanX, 8 * plane.spanY)
                .intersected(m_layer.area);
        for (int y = spanned.top(); y <= spanned.bottom(); ++y)
            for (int x = spanned.left(); x <= spanned.right(); ++x)
                if (m_layer.alphaAt(x, y))
                    return true;
        return false;
    }

    // Decodes the block, lays the mark over each sample as the average over the pixels the
    // sample spans, and quantises it again. Samples the mark misses keep their exact values,
    // so their part of the block comes back as it was.
    void stamp(JBLOCK& block, const Plane& plane, int component, int blockX, int blockY, QSize picture)
    {
        const JQUANT_TBL& table = *plane.info->quant_table;
        BlockDct::Block samples = samplesOf(block, table);
        for (int row = 0; row < 8; ++row)
            for (int column = 0; column < 8; ++column) {
                const QRect spanned((blockX * 8 + column) * plane.spanX, (blockY * 8 + row) * plane.spanY,
                                    plane.spanX, plane.spanY);
                const QRect shown = spanned.intersected(QRect(QPoint(0, 0), picture));
                const QRect marked = shown.intersected(m_layer.area);
                float weight = 0, colour = 0;
                for (int y = marked.top(); y <= marked.bottom(); ++y)
                    for (int x = marked.left(); x <= marked.right(); ++x) {
                        const QRgb pixel = m_layer.pixels.pixel(x - m_layer.area.x(), y - m_layer.area.y());
                        if (qAlpha(pixel) == 0)
                            continue;
                        const float alpha = float(qAlpha(pixel)) / 255;
                        weight += alpha;
                        colour += alpha * markSamples(pixel)[component];
                    }
                if (weight == 0)
                    continue;
                const float count = float(shown.width() * shown.height());
                float& sample = samples[row * 8 + column];
                sample = std::clamp(sample + 128, 0.f, 255.f) * (1 - weight / count) + colour / count - 128;
            }
        const BlockDct::Block coefficients = BlockDct::forward(samples);
        for (int k = 0; k < 64; ++k)
            block[k] =
                JCOEF(std::clamp(std::lround(coefficients[k] / float(table.quantval[k])), -32767L, 32767L));
    }

    // Stamps the blocks of the plane's row y that the mark touches.
    void stampRow(const Plane& plane, int component, int y, JBLOCKROW row, QSize picture)
    {
        const QRect& area = m_layer.area;
        if (area.isEmpty() || y < area.top() / (8 * plane.spanY) || y > area.bottom() / (8 * plane.spanY))
            return;
        const int lastX = std::min(area.right() / (8 * plane.spanX), int(plane.info->width_in_blocks) - 1);
        for (int x = area.left() / (8 * plane.spanX); x <= lastX; ++x)
            if (touches(plane, x, y))
                stamp(row[x], plane, component, x, y, picture);
    }

private:
    // The mark's colour in the file's components; a mark is mostly of one colour, so the last
    // conversion is kept.
    const JpegColourModel::Samples& markSamples(QRgb premultiplied)
    {
        if (premultiplied != m_lastPixel || !m_lastSamples) {
            const float alpha = float(qAlpha(premultiplied));
            m_lastSamples = m_model.fromRgb(255 * float(qRed(premultiplied)) / alpha,
                                            255 * float(qGreen(premultiplied)) / alpha,
                                            255 * float(qBlue(premultiplied)) / alpha);
            m_lastPixel = premultiplied;
        }
        return *m_lastSamples;
    }

    const MarkLayer& m_layer;
    const JpegColourModel& m_model;
    QRgb m_lastPixel = 0;
    std::optional<JpegColourModel::Samples> m_lastSamples;
};

// The input decoded by libjpeg an eighth of its size (which takes each block's mean), its
// components converted by the model.
QImage decodedEighth(const QByteArray& input, const JpegColourModel& model)
{
    ErrorManager error;
    jpeg_decompress_struct in{};
    in.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = leave;
    error.manager.emit_message = ignore;
    QImage small;
    std::vector<JSAMPLE> samples;
    const bool decoded = guarded(error, [&] {
        jpeg_create_decompress(&in);
        jpeg_mem_src(&in, reinterpret_cast<const unsigned char*>(input.constData()),
                     (unsigned long)input.size());
        jpeg_read_header(&in, TRUE);
        in.out_color_space = in.jpeg_color_space;
        in.scale_num = 1;
        in.scale_denom = 8;
        jpeg_start_decompress(&in);
        small = QImage(int(in.output_width), int(in.output_height), QImage::Format_RGB32);
        samples.resize(size_t(in.output_width) * size_t(in.output_components));
        for (JSAMPROW row = samples.data(); !small.isNull() && in.output_scanline < in.output_height;) {
            const int y = int(in.output_scanline);
            jpeg_read_scanlines(&in, &row, 1);
            model.toRgbRow(samples.data(), small.width(), reinterpret_cast<QRgb*>(small.scanLine(y)));
        }
    });
    jpeg_destroy_decompress(&in);
    return decoded ? small : QImage();
}

// The same from the blocks already read: a block's mean is its DC coefficient over 8, about 128.
QImage eighthFromBlocks(const jpeg_decompress_struct& in, const std::vector<Plane>& planes,
                        const JpegRowStream& stream, const JpegColourModel& model)
{
    QImage small(int((in.image_width + 7) / 8), int((in.image_height + 7) / 8), QImage::Format_RGB32);
    std::vector<quint8> samples(size_t(small.width()) * size_t(in.num_components));
    for (int y = 0; y < small.height(); ++y) {
        for (int c = 0; c < in.num_components; ++c) {
            const Plane& plane = planes[size_t(c)];
            const JBLOCK* row = stream.heldRow(plane.blocks, y / plane.spanY);
            const float step = float(plane.info->quant_table->quantval[0]) / 8;
            for (int x = 0; x < small.width(); ++x)
                samples[size_t(x * in.num_components + c)] =
                    row ? quint8(std::clamp(std::lround(row[x / plane.spanX][0] * step) + 128, 0L, 255L))
                        : 128;
        }
        model.toRgbRow(samples.data(), small.width(), reinterpret_cast<QRgb*>(small.scanLine(y)));
    }
    return small;
}

// The stamped picture an eighth of its size, for its thumbnail.
QImage stampedEighth(QImage small, const StoredFrameMark& mark, const WatermarkSnapshot& settings)
{
    small = small.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (small.isNull() || !mark.draw(small, settings, QPoint(0, 0), 1.0 / 8))
        return QImage();
    return small;
}

// Whether any of the mark's pixels has colour rather than grey.
bool hasColour(const MarkLayer& layer)
{
    for (int y = 0; y < layer.pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(layer.pixels.constScanLine(y));
        for (int x = 0; x < layer.pixels.width(); ++x)
            if (qRed(line[x]) != qGreen(line[x]) || qGreen(line[x]) != qBlue(line[x]))
                return true;
    }
    return false;
}

// The output as a colour picture of the grey input's size, every component at full resolution
// and quantised with the grey component's own table.
void describeColour(const jpeg_decompress_struct& in, jpeg_compress_struct& out)
{
    out.image_width = in.image_width;
    out.image_height = in.image_height;
    out.input_components = 3;
    out.in_color_space = JCS_YCbCr;
    jpeg_set_defaults(&out);
    jpeg_set_colorspace(&out, JCS_YCbCr);
    out.quant_tbl_ptrs[0] = jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(&out));
    std::copy_n(in.comp_info[0].quant_table->quantval, DCTSIZE2, out.quant_tbl_ptrs[0]->quantval);
    for (int c = 0; c < 3; ++c) {
        out.comp_info[c].h_samp_factor = out.comp_info[c].v_samp_factor = 1;
        out.comp_info[c].quant_tbl_no = 0;
    }
}

bool startsWith(const jpeg_marker_struct& marker, const char* prefix, size_t length)
{
    return marker.data_length >= length && std::equal(prefix, prefix + length, marker.data);
}

// The file's APPn and COM segments as the output carries them.
std::vector<JpegSegment> segmentsToCopy(const jpeg_decompress_struct& in,
                                        const std::function<QImage()>& stampedSmall)
{
    static constexpr char exifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<JpegSegment> segments;
    for (auto* marker = in.marker_list; marker; marker = marker->next) {
        QByteArray payload(reinterpret_cast<const char*>(marker->data), qsizetype(marker->data_length));
        // The pictures MPF indexes follow the main picture's end, where no copy goes.
        if (marker->marker == JPEG_APP0 + 2 && startsWith(*marker, "MPF\0", 4))
            continue;
        if (marker->marker == JPEG_APP0 + 1 && startsWith(*marker, exifHeader, sizeof exifHeader)) {
            const auto remade = ExifThumbnail::remade(payload.mid(sizeof exifHeader), stampedSmall,
                                                      segmentLimit - qsizetype(sizeof exifHeader));
            if (remade)
                payload = QByteArray(exifHeader, sizeof exifHeader) + *remade;
        }
        if (marker->marker == JPEG_APP0 + 13)
            payload = PhotoshopResources::withoutThumbnails(payload);
        segments.push_back({marker->marker, std::move(payload)});
    }
    JpegXmp::remakeThumbnails(segments, stampedSmall);
    return segments;
}

} // namespace

Result<bool> stampJpegBlocks(const QByteArray& input, const WatermarkSnapshot& settings, QSizeF storedDpi,
                             QImageIOHandler::Transformations transformation, QIODevice& output)
{
    Codecs codecs(output);
    auto& in = codecs.in;
    auto& out = codecs.out;
    std::optional<JpegRowStream> stream;
    const bool headerRead = guarded(codecs.error, [&] {
        jpeg_create_decompress(&in);
        jpeg_create_compress(&out);
        const size_t limit = size_t(QImageReader::allocationLimit()) * 1024 * 1024;
        in.mem->max_memory_to_use = long(limit);
        stream.emplace(in, out, input, limit);
        jpeg_save_markers(&in, JPEG_COM, 0xFFFF);
        for (int n = 0; n < 16; ++n)
            jpeg_save_markers(&in, JPEG_APP0 + n, 0xFFFF);
        jpeg_read_header(&in, TRUE);
    });
    const auto space = spaceOf(in.jpeg_color_space);
    if (!headerRead || !space || in.data_precision != 8 ||
        JpegColourModel(*space, false).componentCount() != in.num_components)
        return Result<bool>::failure(unreadable());

    const QSize picture(int(in.image_width), int(in.image_height));
    const StoredFrameMark mark(picture, storedDpi, transformation);
    auto layer = drawMark(mark, settings, picture);
    if (!layer)
        return Result<bool>::failure(QStringLiteral("not enough memory for the picture"));
    jvirt_barray_ptr* arrays = nullptr;
    if (!guarded(codecs.error, [&] { arrays = stream->readCoefficients(); }) || !arrays)
        return Result<bool>::failure(unreadable());
    const auto inks = inksOf(codecs, *space);
    const JpegColourModel ownModel(*space, in.saw_Adobe_marker, inks);
    std::vector<Plane> planes;
    for (int c = 0; c < in.num_components; ++c) {
        jpeg_component_info& info = in.comp_info[c];
        if (in.max_h_samp_factor % info.h_samp_factor || in.max_v_samp_factor % info.v_samp_factor)
            return Result<bool>::failure(unreadable());
        planes.push_back({&info, arrays[c], in.max_h_samp_factor / info.h_samp_factor,
                          in.max_v_samp_factor / info.v_samp_factor});
    }
    // A file read whole has its blocks at hand; decoding it again would hold them twice.
    if (settings.layer == WatermarkSnapshot::Layer::multiply) {
        if (stream->readsWhole())
            multiplyFromBlocks(*layer, planes, *stream, ownModel);
        else if (!multiplyWithPicture(*layer, input))
            return Result<bool>::failure(unreadable());
    }
    // A grey picture takes a coloured mark as colour: its blocks become the luma of a colour
    // picture whose chroma is neutral (all zero) outside the mark.
    const bool addChroma = *space == JpegColourModel::Space::grey && hasColour(*layer);
    std::array<jvirt_barray_ptr, 3> chroma{};
    if (addChroma) {
        if (!guarded(codecs.error, [&] {
                for (size_t c = 1; c < 3; ++c)
                    chroma[c] = stream->blankArray(0);
            }))
            return Result<bool>::failure(unreadable());
        chroma[0] = arrays[0];
        for (size_t c = 1; c < 3; ++c)
            planes.push_back({planes[0].info, chroma[c], 1, 1}); // the luma's size and table
    }
    const JpegColourModel model(addChroma ? JpegColourModel::Space::yCbCr : *space, in.saw_Adobe_marker,
                                inks);
    BlockStamper stamper(*layer, model);
    stream->setRowHook([&](jvirt_barray_ptr array, int row, JBLOCKROW blocks) {
        for (size_t c = 0; c < planes.size(); ++c)
            if (planes[c].blocks == array)
                stamper.stampRow(planes[c], int(c), row, blocks, picture);
    });
    std::optional<QImage> stamped;
    const std::vector<JpegSegment> segments = segmentsToCopy(in, [&] {
        if (!stamped)
            stamped = stampedEighth(stream->readsWhole() ? eighthFromBlocks(in, planes, *stream, ownModel)
                                                         : decodedEighth(input, ownModel),
                                    mark, settings);
        return *stamped;
    });

    const bool written = guarded(codecs.error, [&] {
        out.dest = &codecs.written.manager;
        if (addChroma)
            describeColour(in, out);
        else
            jpeg_copy_critical_parameters(&in, &out);
        // The input's own JFIF and Adobe segments are among those copied.
        out.write_JFIF_header = FALSE;
        out.write_Adobe_marker = FALSE;
        // Optimised Huffman tables would cost another pass over every block.
        out.arith_code = in.arith_code;
        out.restart_interval = in.restart_interval;
        if (in.progressive_mode)
            jpeg_simple_progression(&out);
        jpeg_write_coefficients(&out, addChroma ? chroma.data() : arrays);
        for (const JpegSegment& segment : segments)
            jpeg_write_marker(&out, segment.marker,
                              reinterpret_cast<const JOCTET*>(segment.payload.constData()),
                              unsigned(segment.payload.size()));
        jpeg_finish_compress(&out);
    });
    if (!written)
        return Result<bool>::failure(codecs.error.decoding ? unreadable()
                                                           : QStringLiteral("cannot encode the picture"));
    return true;
}
