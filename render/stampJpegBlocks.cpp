#include "render/stampJpegBlocks.h"

#include "render/BlockDct.h"
#include "render/ExifThumbnail.h"
#include "render/JpegColourModel.h"
#include "render/PhotoshopResources.h"
#include "render/StoredFrameMark.h"

#include <QIODevice>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
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
};

[[noreturn]] void leave(j_common_ptr info)
{
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
        BlockDct::Block coefficients;
        for (int k = 0; k < 64; ++k)
            coefficients[k] = float(block[k]) * float(table.quantval[k]);
        BlockDct::Block samples = BlockDct::inverse(coefficients);
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
        coefficients = BlockDct::forward(samples);
        for (int k = 0; k < 64; ++k)
            block[k] =
                JCOEF(std::clamp(std::lround(coefficients[k] / float(table.quantval[k])), -32767L, 32767L));
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

// One row of a component's blocks, or null when libjpeg cannot give it.
JBLOCKROW blockRow(Codecs& codecs, const Plane& plane, int row)
{
    JBLOCKROW result = nullptr;
    guarded(codecs.error, [&] {
        result = (*codecs.in.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&codecs.in),
                                                      plane.blocks, JDIMENSION(row), 1, TRUE)[0];
    });
    return result;
}

bool stampBlocks(Codecs& codecs, const std::vector<Plane>& planes, const MarkLayer& layer,
                 const JpegColourModel& model, QSize picture)
{
    if (layer.area.isEmpty())
        return true;
    BlockStamper stamper(layer, model);
    for (size_t component = 0; component < planes.size(); ++component) {
        const Plane& plane = planes[component];
        const int firstX = layer.area.left() / (8 * plane.spanX),
                  lastX = layer.area.right() / (8 * plane.spanX);
        const int firstY = layer.area.top() / (8 * plane.spanY),
                  lastY = layer.area.bottom() / (8 * plane.spanY);
        for (int y = firstY; y <= lastY && y < int(plane.info->height_in_blocks); ++y) {
            JBLOCKROW row = blockRow(codecs, plane, y);
            if (!row)
                return false;
            for (int x = firstX; x <= lastX && x < int(plane.info->width_in_blocks); ++x)
                if (stamper.touches(plane, x, y))
                    stamper.stamp(row[x], plane, int(component), x, y, picture);
        }
    }
    return true;
}

// The stamped picture an eighth of its size, from each block's average (its DC coefficient).
QImage eighthSizePicture(Codecs& codecs, const std::vector<Plane>& planes, const JpegColourModel& model,
                         QSize picture)
{
    QImage small((picture.width() + 7) / 8, (picture.height() + 7) / 8, QImage::Format_RGB32);
    if (small.isNull())
        return small;
    std::vector<JBLOCKROW> rows(planes.size());
    for (int y = 0; y < small.height(); ++y) {
        for (size_t c = 0; c < planes.size(); ++c)
            if (!(rows[c] =
                      blockRow(codecs, planes[c],
                               std::min(y / planes[c].spanY, int(planes[c].info->height_in_blocks) - 1))))
                return QImage();
        auto* line = reinterpret_cast<QRgb*>(small.scanLine(y));
        for (int x = 0; x < small.width(); ++x) {
            JpegColourModel::Samples samples{};
            for (size_t c = 0; c < planes.size(); ++c) {
                const int blockX = std::min(x / planes[c].spanX, int(planes[c].info->width_in_blocks) - 1);
                samples[c] = float(rows[c][blockX][0] * planes[c].info->quant_table->quantval[0]) / 8 + 128;
            }
            line[x] = model.toRgb(samples);
        }
    }
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

struct Segment
{
    int marker;
    QByteArray payload;
};

bool startsWith(const jpeg_marker_struct& marker, const char* prefix, size_t length)
{
    return marker.data_length >= length && std::equal(prefix, prefix + length, marker.data);
}

// The file's APPn and COM segments as the output carries them.
std::vector<Segment> segmentsToCopy(Codecs& codecs, const std::vector<Plane>& planes,
                                    const JpegColourModel& model, QSize picture)
{
    static constexpr char exifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<Segment> segments;
    for (auto* marker = codecs.in.marker_list; marker; marker = marker->next) {
        QByteArray payload(reinterpret_cast<const char*>(marker->data), qsizetype(marker->data_length));
        // The pictures MPF indexes follow the main picture's end, where no copy goes.
        if (marker->marker == JPEG_APP0 + 2 && startsWith(*marker, "MPF\0", 4))
            continue;
        if (marker->marker == JPEG_APP0 + 1 && startsWith(*marker, exifHeader, sizeof exifHeader)) {
            const auto remade = ExifThumbnail::remade(
                payload.mid(sizeof exifHeader),
                [&] { return eighthSizePicture(codecs, planes, model, picture); },
                segmentLimit - qsizetype(sizeof exifHeader));
            if (remade)
                payload = QByteArray(exifHeader, sizeof exifHeader) + *remade;
        }
        if (marker->marker == JPEG_APP0 + 13)
            payload = PhotoshopResources::withoutThumbnails(payload);
        segments.push_back({marker->marker, std::move(payload)});
    }
    return segments;
}

} // namespace

Result<bool> stampJpegBlocks(const QByteArray& input, const WatermarkSnapshot& settings, QSizeF storedDpi,
                             QImageIOHandler::Transformations transformation, QIODevice& output)
{
    Codecs codecs(output);
    auto& in = codecs.in;
    const bool headerRead = guarded(codecs.error, [&] {
        jpeg_create_decompress(&in);
        in.mem->max_memory_to_use = long(QImageReader::allocationLimit()) * 1024 * 1024;
        jpeg_mem_src(&in, reinterpret_cast<const unsigned char*>(input.constData()),
                     (unsigned long)input.size());
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
    const auto layer = drawMark(StoredFrameMark(picture, storedDpi, transformation), settings, picture);
    if (!layer)
        return Result<bool>::failure(QStringLiteral("not enough memory for the picture"));
    // A grey picture takes a coloured mark as colour: its blocks become the luma of a colour
    // picture whose chroma is neutral (all zero) outside the mark.
    const bool addChroma = *space == JpegColourModel::Space::grey && hasColour(*layer);
    std::array<jvirt_barray_ptr, 3> chroma{};
    jvirt_barray_ptr* arrays = nullptr;
    const bool read = guarded(codecs.error, [&] {
        for (int c = 1; addChroma && c < 3; ++c)
            chroma[size_t(c)] = (*in.mem->request_virt_barray)(
                reinterpret_cast<j_common_ptr>(&in), JPOOL_IMAGE, TRUE, in.comp_info[0].width_in_blocks,
                in.comp_info[0].height_in_blocks, 1);
        arrays = jpeg_read_coefficients(&in);
    });
    if (!read || !arrays)
        return Result<bool>::failure(unreadable());
    const JpegColourModel model(addChroma ? JpegColourModel::Space::yCbCr : *space, in.saw_Adobe_marker);
    std::vector<Plane> planes;
    for (int c = 0; c < in.num_components; ++c) {
        jpeg_component_info& info = in.comp_info[c];
        if (in.max_h_samp_factor % info.h_samp_factor || in.max_v_samp_factor % info.v_samp_factor)
            return Result<bool>::failure(unreadable());
        planes.push_back({&info, arrays[c], in.max_h_samp_factor / info.h_samp_factor,
                          in.max_v_samp_factor / info.v_samp_factor});
    }
    if (addChroma) {
        chroma[0] = arrays[0];
        for (size_t c = 1; c < 3; ++c)
            planes.push_back({planes[0].info, chroma[c], 1, 1}); // the luma's size and table
    }
    if (!stampBlocks(codecs, planes, *layer, model, picture))
        return Result<bool>::failure(unreadable());
    const std::vector<Segment> segments = segmentsToCopy(codecs, planes, model, picture);

    auto& out = codecs.out;
    const bool written = guarded(codecs.error, [&] {
        jpeg_create_compress(&out);
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
        for (const Segment& segment : segments)
            jpeg_write_marker(&out, segment.marker,
                              reinterpret_cast<const JOCTET*>(segment.payload.constData()),
                              unsigned(segment.payload.size()));
        jpeg_finish_compress(&out);
    });
    if (!written)
        return Result<bool>::failure(QStringLiteral("cannot encode the picture"));
    return true;
}
