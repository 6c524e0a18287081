#include "home/FileFootprint.h"
#include "home/WatermarkRouting.h"
#include "render/PngChunks.h"
#include "render/WatermarkHelper.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cstdio>
#include <vector>

#include <exiv2/exiv2.hpp>
#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

using namespace TestFiles;
using namespace Qt::StringLiterals;

namespace {

// A Photoshop thumbnail resource, which stamping drops.
const QByteArray photoshopThumbnail("8BIM\x04\x0c\0\0\0\0\0\x04THMB", 16);

struct JpegKind
{
    J_COLOR_SPACE space = JCS_YCbCr;
    int lumaH = 2, lumaV = 2;
    bool progressive = false, arithmetic = false;
    int restartInterval = 0;
    int orientation = 1; // stated in EXIF
    bool inkProfile = false;
};

// A CMYK profile whose inks take turns: cyan holds back green, magenta blue and yellow red, so
// red is cyan and magenta, nothing like the plain conversion's magenta and yellow.
QByteArray makeTurnedInkProfile()
{
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr), sRgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM toLab = cmsCreateTransform(sRgb, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0);
    cmsHTRANSFORM fromLab = cmsCreateTransform(lab, TYPE_Lab_16, sRgb, TYPE_RGB_16, INTENT_PERCEPTUAL, 0);
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1); // version 4 would want curves around the tables
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsStage* inkToLab = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        inkToLab,
        [](const cmsUInt16Number* ink, cmsUInt16Number* out, void* transform) {
            const cmsUInt16Number rgb[3] = {cmsUInt16Number((65535u - ink[2]) * (65535u - ink[3]) / 65535),
                                            cmsUInt16Number((65535u - ink[0]) * (65535u - ink[3]) / 65535),
                                            cmsUInt16Number((65535u - ink[1]) * (65535u - ink[3]) / 65535)};
            cmsDoTransform(transform, rgb, out, 1);
            return cmsInt32Number(TRUE);
        },
        toLab, 0);
    cmsStage* labToInk = cmsStageAllocCLut16bit(nullptr, 17, 3, 4, nullptr);
    cmsStageSampleCLut16bit(
        labToInk,
        [](const cmsUInt16Number* colour, cmsUInt16Number* ink, void* transform) {
            cmsUInt16Number rgb[3];
            cmsDoTransform(transform, colour, rgb, 1);
            ink[0] = 65535 - rgb[1], ink[1] = 65535 - rgb[2], ink[2] = 65535 - rgb[0], ink[3] = 0;
            return cmsInt32Number(TRUE);
        },
        fromLab, 0);
    cmsPipeline* aToB = cmsPipelineAlloc(nullptr, 4, 3);
    cmsPipeline* bToA = cmsPipelineAlloc(nullptr, 3, 4);
    cmsPipelineInsertStage(aToB, cmsAT_END, inkToLab);
    cmsPipelineInsertStage(bToA, cmsAT_END, labToInk);
    cmsWriteTag(profile, cmsSigAToB0Tag, aToB);
    cmsWriteTag(profile, cmsSigBToA0Tag, bToA);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsPipelineFree(aToB);
    cmsPipelineFree(bToA);
    cmsCloseProfile(profile);
    cmsDeleteTransform(toLab);
    cmsDeleteTransform(fromLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(sRgb);
    return bytes;
}

// Made once: the profile's header holds the second it was made in, and tests compare its bytes.
const QByteArray& turnedInkProfile()
{
    static const QByteArray bytes = makeTurnedInkProfile();
    return bytes;
}

// The picture written through libjpeg as asked, with a comment, a private segment and, in colour
// or when asked, an ICC profile.
QByteArray writeJpeg(const QImage& picture, const JpegKind& kind)
{
    jpeg_compress_struct out{};
    jpeg_error_mgr error{};
    out.err = jpeg_std_error(&error);
    jpeg_create_compress(&out);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&out, &bytes, &size);
    const bool ink = kind.space == JCS_CMYK || kind.space == JCS_YCCK;
    out.image_width = JDIMENSION(picture.width());
    out.image_height = JDIMENSION(picture.height());
    out.input_components = kind.space == JCS_GRAYSCALE ? 1 : ink ? 4 : 3;
    out.in_color_space = kind.space == JCS_GRAYSCALE ? JCS_GRAYSCALE : ink ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&out);
    jpeg_set_colorspace(&out, kind.space);
    jpeg_set_quality(&out, 92, TRUE);
    out.comp_info[0].h_samp_factor = kind.lumaH;
    out.comp_info[0].v_samp_factor = kind.lumaV;
    out.arith_code = kind.arithmetic;
    out.restart_interval = unsigned(kind.restartInterval);
    if (kind.progressive)
        jpeg_simple_progression(&out);
    jpeg_start_compress(&out, TRUE);
    jpeg_write_marker(&out, JPEG_COM, reinterpret_cast<const JOCTET*>("shot on a tripod"), 16);
    jpeg_write_marker(&out, JPEG_APP0 + 11, reinterpret_cast<const JOCTET*>("private\0\1\2"), 10);
    const QByteArray photoshop = "Photoshop 3.0\0"_ba + photoshopThumbnail;
    jpeg_write_marker(&out, JPEG_APP0 + 13, reinterpret_cast<const JOCTET*>(photoshop.constData()),
                      unsigned(photoshop.size()));
    if (out.input_components == 3 || kind.inkProfile) {
        const QByteArray icc =
            kind.inkProfile ? turnedInkProfile() : QColorSpace(QColorSpace::SRgb).iccProfile();
        jpeg_write_icc_profile(&out, reinterpret_cast<const JOCTET*>(icc.constData()), unsigned(icc.size()));
    }
    std::vector<JSAMPLE> line(size_t(picture.width()) * 4);
    while (out.next_scanline < out.image_height) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, int(out.next_scanline));
            // Adobe's CMYK: 255 is no ink.
            const int k = 255 - std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)});
            const std::array<int, 4> cmyk{qRed(pixel) + k, qGreen(pixel) + k, qBlue(pixel) + k, 255 - k};
            for (int c = 0; c < out.input_components; ++c)
                line[size_t(x * out.input_components + c)] = JSAMPLE(out.input_components == 1 ? qGray(pixel)
                                                                     : ink ? std::min(cmyk[size_t(c)], 255)
                                                                           : (pixel >> (16 - 8 * c)) & 0xFF);
        }
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&out, &row, 1);
    }
    jpeg_finish_compress(&out);
    jpeg_destroy_compress(&out);
    QByteArray result(reinterpret_cast<const char*>(bytes), qsizetype(size));
    std::free(bytes);
    return result;
}

// Adds EXIF (with GPS, an orientation and a thumbnail of the unmarked picture), XMP (with the
// same thumbnail) and IPTC through Exiv2, as camera and cataloguing programs leave them.
void addMetadata(const QString& path, int orientation, const QImage& thumbnail)
{
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    exif["Exif.Image.Make"] = "Camera Maker";
    exif["Exif.Image.Artist"] = "A. Photographer";
    exif["Exif.Image.Copyright"] = "(c) A. Photographer";
    exif["Exif.Image.Orientation"] = uint16_t(orientation);
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:01 10:20:30";
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 2959/100";
    const QByteArray small = encoded(thumbnail, "jpeg");
    Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(small.constData()),
                                            long(small.size()));
    image->xmpData()["Xmp.dc.creator"] = "A. Photographer";
    Exiv2::XmpTextValue alternatives;
    alternatives.setXmpArrayType(Exiv2::XmpValue::xaAlt);
    image->xmpData().add(Exiv2::XmpKey("Xmp.xmp.Thumbnails"), &alternatives);
    image->xmpData()["Xmp.xmp.Thumbnails[1]/xmpGImg:image"] = small.toBase64().toStdString();
    image->iptcData()["Iptc.Application2.Caption"] = "A caption";
    image->writeMetadata();
}

struct Coefficients
{
    std::vector<std::vector<JCOEF>> planes; // every block's 64 coefficients, row by row
    std::vector<QSize> blocks;              // blocks across and down, per component
    std::vector<QSize> spans;               // picture pixels per sample, per component
    std::vector<std::vector<UINT16>> tables;
    std::vector<std::pair<int, QByteArray>> segments;
    bool progressive = false, arithmetic = false;
    unsigned restartInterval = 0;
    J_COLOR_SPACE space = JCS_UNKNOWN;
};

Coefficients coefficientsOf(const QByteArray& jpeg)
{
    jpeg_decompress_struct in{};
    jpeg_error_mgr error{};
    in.err = jpeg_std_error(&error);
    jpeg_create_decompress(&in);
    jpeg_mem_src(&in, reinterpret_cast<const unsigned char*>(jpeg.constData()), (unsigned long)jpeg.size());
    jpeg_save_markers(&in, JPEG_COM, 0xFFFF);
    for (int n = 0; n < 16; ++n)
        jpeg_save_markers(&in, JPEG_APP0 + n, 0xFFFF);
    jpeg_read_header(&in, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&in);
    Coefficients result;
    for (int c = 0; c < in.num_components; ++c) {
        const jpeg_component_info& info = in.comp_info[c];
        result.blocks.emplace_back(info.width_in_blocks, info.height_in_blocks);
        result.spans.emplace_back(in.max_h_samp_factor / info.h_samp_factor,
                                  in.max_v_samp_factor / info.v_samp_factor);
        result.tables.emplace_back(info.quant_table->quantval, info.quant_table->quantval + 64);
        auto& plane = result.planes.emplace_back();
        for (JDIMENSION y = 0; y < info.height_in_blocks; ++y) {
            JBLOCKROW row =
                (*in.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&in), arrays[c], y, 1, FALSE)[0];
            for (JDIMENSION x = 0; x < info.width_in_blocks; ++x)
                plane.insert(plane.end(), row[x], row[x] + 64);
        }
    }
    for (auto* marker = in.marker_list; marker; marker = marker->next)
        result.segments.emplace_back(marker->marker, QByteArray(reinterpret_cast<const char*>(marker->data),
                                                                qsizetype(marker->data_length)));
    result.progressive = in.progressive_mode;
    result.arithmetic = in.arith_code;
    result.restartInterval = in.restart_interval;
    result.space = in.jpeg_color_space;
    jpeg_destroy_decompress(&in);
    return result;
}

// Where two pictures of one size differ clearly.
QRect differenceBounds(const QImage& a, const QImage& b)
{
    QRect bounds;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) +
                    std::abs(qRed(a.pixel(x, y)) - qRed(b.pixel(x, y))) >
                60)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

QImage decoded(const QByteArray& bytes, bool displayed)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAutoTransform(displayed);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// Every EXIF item, a line each, leaving out the thumbnail's own entries, which stamping makes
// anew; the thumbnail goes to thumbnail. (The XMP, IPTC and comment segments are compared whole.)
QStringList exifItems(const Exiv2::ExifData& exif, QImage& thumbnail)
{
    const Exiv2::DataBuf small = Exiv2::ExifThumbC(exif).copy();
    thumbnail = QImage::fromData(small.pData_, int(small.size_)).convertToFormat(QImage::Format_RGB32);
    QStringList items;
    for (const auto& datum : exif)
        if (datum.groupName() != "Thumbnail")
            items << QString::fromStdString(datum.key() + "=" + datum.toString());
    return items;
}

// The same, followed by every XMP item but the thumbnails.
QStringList exifOf(const QString& path, QImage& thumbnail)
{
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    QStringList items = exifItems(image->exifData(), thumbnail);
    for (const auto& datum : image->xmpData())
        if (!datum.key().starts_with("Xmp.xmp.Thumbnails"))
            items << QString::fromStdString(datum.key() + "=" + datum.toString());
    return items;
}

// The same of an EXIF block, TIFF header first.
QStringList exifItems(const QByteArray& block, QImage& thumbnail)
{
    Exiv2::ExifData exif;
    Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(block.constData()),
                              uint32_t(block.size()));
    return exifItems(exif, thumbnail);
}

QByteArray exifWithThumbnail(const QByteArray& block, const QImage& thumbnail)
{
    Exiv2::ExifData exif;
    Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(block.constData()),
                              uint32_t(block.size()));
    const QByteArray small = encoded(thumbnail, "jpeg");
    Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(small.constData()),
                                            long(small.size()));
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    return QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
}

// exiftool's output for the arguments (its own reading of metadata, as a second opinion).
QByteArray exiftoolBytes(const QStringList& arguments)
{
    QProcess run;
    run.start(u"exiftool"_s, arguments);
    return run.waitForFinished(60000) && run.exitCode() == 0 ? run.readAllStandardOutput() : QByteArray();
}

QString exiftool(const QStringList& arguments)
{
    return QString::fromUtf8(exiftoolBytes(arguments));
}

// A PNG chunk with its length and CRC.
QByteArray chunk(const QByteArray& type, const QByteArray& data)
{
    return PngChunks::Chunk{type, {}}.withData(data).whole;
}

// Qt's PNG of the picture, with the given chunks before its image data and a text chunk after.
QByteArray pngWith(const QImage& picture, const QByteArray& before)
{
    QByteArray png = encoded(picture, "png");
    png.insert(png.indexOf("IDAT") - 4, before);
    return png.insert(png.indexOf("IEND") - 4, chunk("tEXt", "Comment\0after the pixels"_ba));
}

// Every chunk but the header and the image data, whole and in order.
QList<QByteArray> ancillaryChunks(const QByteArray& png)
{
    QList<QByteArray> chunks;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qsizetype length = qFromBigEndian<quint32>(png.constData() + at) + 12;
        const QByteArray type = png.mid(at + 4, 4);
        if (type != "IHDR" && type != "IDAT")
            chunks << png.mid(at, length);
        at += length;
    }
    return chunks;
}

// A picture's kind as TIFF states it, and the layout it is stored in.
struct TiffKind
{
    uint16_t photometric = PHOTOMETRIC_RGB, bits = 8, samples = 3, compression = COMPRESSION_LZW;
    uint16_t alpha = 0; // EXTRASAMPLE_* of a fourth sample, 0 for none
    uint16_t predictor = 1, planar = PLANARCONFIG_CONTIG;
    uint32_t tile = 0; // tiles of this side, or strips
    uint32_t rowsPerStrip = 16;
    bool inkProfile = false; // turnedInkProfile() embedded
    bool operator==(const TiffKind&) const = default;
};

TiffKind kindOf(TIFF* tiff)
{
    TiffKind kind;
    uint16_t count = 0, *extras = nullptr;
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &kind.photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &kind.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &kind.samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &kind.compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &kind.planar);
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &extras) && count)
        kind.alpha = extras[0];
    if (kind.compression == COMPRESSION_LZW || kind.compression == COMPRESSION_ADOBE_DEFLATE)
        TIFFGetFieldDefaulted(tiff, TIFFTAG_PREDICTOR, &kind.predictor);
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &kind.tile);
    TIFFGetField(tiff, TIFFTAG_ROWSPERSTRIP, &kind.rowsPerStrip);
    uint32_t length = 0;
    const char* profile = nullptr;
    kind.inkProfile = TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &profile) &&
                      QByteArray(profile, length) == turnedInkProfile();
    return kind;
}

// Busy samples of every kind: a sample's value follows its place, reaching both ends of its range.
void writeKind(const QString& path, const TiffKind& kind, QSize size)
{
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    const uint16_t extra = kind.alpha;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(size.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(size.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, kind.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, kind.samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, kind.photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, kind.planar);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, kind.compression);
    if (kind.alpha)
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    if (kind.predictor != 1)
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, kind.predictor);
    if (kind.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    const QByteArray profile = kind.inkProfile ? turnedInkProfile() : QByteArray();
    if (kind.inkProfile)
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.constData());
    if (kind.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> map(3 * 256);
        for (int i = 0; i < 768; ++i)
            map[size_t(i)] = uint16_t((i * 97 % 256) * 257);
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
    }
    if (kind.tile) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, kind.tile);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, kind.tile);
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kind.rowsPerStrip);
    }
    const int planes = kind.planar == PLANARCONFIG_SEPARATE ? kind.samples : 1;
    const int perRow = size.width() * kind.samples / planes, maximum = (1 << kind.bits) - 1;
    const auto value = [&](int x, int y, int s) {
        // Bilevel pages mostly white, whatever their photometric.
        return kind.bits == 1 ? int(((x + y) % 17 == 0) == (kind.photometric == PHOTOMETRIC_MINISWHITE))
                              : (x * 37 + y * 11 + s * 5000) % (maximum + 1);
    };
    // Whole planes first, then cut into the stored blocks.
    std::vector<std::vector<uchar>> rows(size_t(planes * size.height()),
                                         std::vector<uchar>(size_t(perRow * kind.bits + 7) / 8));
    for (int p = 0; p < planes; ++p)
        for (int y = 0; y < size.height(); ++y)
            for (int i = 0; i < perRow; ++i) {
                const int v = value(i / (kind.samples / planes), y, p + i % (kind.samples / planes));
                uchar* row = rows[size_t(p * size.height() + y)].data();
                if (kind.bits == 16)
                    reinterpret_cast<uint16_t*>(row)[i] = uint16_t(v);
                else
                    row[i * kind.bits / 8] |= uchar(v << (8 - kind.bits - i * kind.bits % 8));
            }
    for (int p = 0; p < planes; ++p) {
        if (!kind.tile) {
            for (int y = 0; y < size.height(); ++y)
                TIFFWriteScanline(tiff, rows[size_t(p * size.height() + y)].data(), uint32_t(y), uint16_t(p));
            continue;
        }
        const tmsize_t rowBytes = TIFFTileRowSize(tiff);
        for (int ty = 0; ty < size.height(); ty += int(kind.tile))
            for (int tx = 0; tx < size.width(); tx += int(kind.tile)) {
                std::vector<uchar> tile(size_t(TIFFTileSize(tiff)));
                for (int y = ty; y < std::min<int>(ty + int(kind.tile), size.height()); ++y) {
                    const auto& row = rows[size_t(p * size.height() + y)];
                    const size_t from = size_t(tx) * size_t(rowBytes) / kind.tile;
                    std::copy(row.begin() + qsizetype(from),
                              row.begin() + qsizetype(std::min(row.size(), from + size_t(rowBytes))),
                              tile.begin() + (y - ty) * rowBytes);
                }
                TIFFWriteEncodedTile(tiff, TIFFComputeTile(tiff, uint32_t(tx), uint32_t(ty), 0, uint16_t(p)),
                                     tile.data(), tmsize_t(tile.size()));
            }
    }
    TIFFClose(tiff);
}

// Each stored row's decoded bytes, every plane; RGBA when asked, and for tiles and JPEG.
std::vector<QByteArray> rowsOf(const QString& path, TiffKind& kind, bool rgba)
{
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    kind = kindOf(tiff);
    uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    std::vector<QByteArray> rows;
    if (rgba || kind.tile || kind.compression == COMPRESSION_JPEG) {
        std::vector<uint32_t> raster(width * height);
        TIFFReadRGBAImageOriented(tiff, width, height, raster.data(), ORIENTATION_TOPLEFT, 0);
        for (uint32_t y = 0; y < height; ++y)
            rows.emplace_back(reinterpret_cast<const char*>(raster.data() + y * width), width * 4);
    } else {
        const int planes = kind.planar == PLANARCONFIG_SEPARATE ? kind.samples : 1;
        rows.resize(height);
        for (int p = 0; p < planes; ++p)
            for (uint32_t y = 0; y < height; ++y) {
                QByteArray plane(TIFFScanlineSize(tiff), '\0');
                TIFFReadScanline(tiff, plane.data(), y, uint16_t(p));
                rows[y] += plane;
            }
    }
    TIFFClose(tiff);
    return rows;
}

// A grey PNG of the picture at 1 or 8 bits, interlaced when asked, through libpng (Qt's writer
// cannot interlace).
QByteArray greyPng(const QImage& picture, int depth, bool interlaced)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, png_size_t size) {
            static_cast<QByteArray*>(png_get_io_ptr(p))
                ->append(reinterpret_cast<const char*>(data), qsizetype(size));
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(grey.width()), png_uint_32(grey.height()), depth, PNG_COLOR_TYPE_GRAY,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
    png_write_info(png, info);
    if (depth == 1)
        png_set_packing(png);
    const int passes = png_set_interlace_handling(png);
    std::vector<uchar> row(size_t(grey.width()));
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < grey.height(); ++y) {
            for (int x = 0; x < grey.width(); ++x)
                row[size_t(x)] =
                    uchar(depth == 1 ? grey.constScanLine(y)[x] > 127 : grey.constScanLine(y)[x]);
            png_write_row(png, row.data());
        }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(JpegKind)
Q_DECLARE_METATYPE(TiffKind)

class TestPictureKeeps : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        WatermarkHelper::allowLargePictures();
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        writeSolidPicture(m_dir.filePath("red.png"), {40, 40}, Qt::red);
        writeSolidPicture(m_dir.filePath("grey.png"), {40, 40}, Qt::darkGray);
        writeSolidPicture(m_dir.filePath("black.png"), {40, 40}, Qt::black);
    }

    void jpeg_data()
    {
        QTest::addColumn<JpegKind>("kind");
        QTest::addColumn<bool>("greyMark");
        const JpegKind grey{.space = JCS_GRAYSCALE, .lumaH = 1, .lumaV = 1};
        QTest::newRow("4:2:0") << JpegKind{} << false;
        QTest::newRow("4:4:4") << JpegKind{.lumaH = 1, .lumaV = 1} << false;
        QTest::newRow("4:2:2 progressive") << JpegKind{.lumaV = 1, .progressive = true} << false;
        QTest::newRow("arithmetic, restarts") << JpegKind{.arithmetic = true, .restartInterval = 3} << false;
        QTest::newRow("grey, red mark") << grey << false;
        QTest::newRow("grey, grey mark") << grey << true;
        QTest::newRow("cmyk") << JpegKind{.space = JCS_CMYK, .lumaH = 1, .lumaV = 1} << false;
        QTest::newRow("ycck") << JpegKind{.space = JCS_YCCK} << false;
        QTest::newRow("cmyk with a profile")
            << JpegKind{.space = JCS_CMYK, .lumaH = 1, .lumaV = 1, .inkProfile = true} << false;
        QTest::newRow("orientation 6") << JpegKind{.orientation = 6} << false;
        QTest::newRow("orientation 8")
            << JpegKind{.lumaV = 1, .progressive = true, .orientation = 8} << false;
    }

    // Outside the blocks the mark touches, the stamped JPEG holds the input's coefficients, so
    // decoding gives the input's pixels; coding, tables and every segment stay, EXIF, XMP, IPTC
    // and the comment read back the same, and the thumbnail shows the mark. The mark lies where
    // it lies on the picture as displayed.
    void jpeg()
    {
        QFETCH(JpegKind, kind);
        QFETCH(bool, greyMark);
        const QImage picture = busyPicture({320, 240});
        const QString input = m_dir.filePath("in.jpg"), output = m_dir.filePath("out.jpg");
        writeFile(input, writeJpeg(picture, kind));
        addMetadata(input, kind.orientation, picture.scaled(80, 60));

        const auto outcome = WatermarkHelper::watermarkImageFile(
            input, pictureDesign(m_dir.filePath(greyMark ? "grey.png" : "red.png"), 100, 1, 25, 90), output);
        QVERIFY2(outcome, qPrintable(outcome.error()));

        const QByteArray before = readFile(input), after = readFile(output);
        Coefficients was = coefficientsOf(before);
        const Coefficients is = coefficientsOf(after);
        // A grey picture under a coloured mark gains chroma, neutral outside the mark.
        const bool gainsColour = kind.space == JCS_GRAYSCALE && !greyMark;
        QCOMPARE(is.space, gainsColour ? JCS_YCbCr : was.space);
        QCOMPARE(is.tables[0], was.tables[0]);
        if (gainsColour) {
            was.planes.resize(3, std::vector<JCOEF>(was.planes[0].size()));
        } else {
            QCOMPARE(is.spans, was.spans);
            QCOMPARE(is.tables, was.tables);
        }
        QCOMPARE(is.progressive, was.progressive);
        QCOMPARE(is.arithmetic, was.arithmetic);
        QCOMPARE(is.restartInterval, was.restartInterval);
        QCOMPARE(is.segments.size(), was.segments.size());
        for (size_t i = 0; i < is.segments.size(); ++i) {
            QCOMPARE(is.segments[i].first, was.segments[i].first);
            QByteArray expected = was.segments[i].second;
            if (expected.startsWith("Photoshop"))
                QVERIFY(expected.contains(photoshopThumbnail) &&
                        !expected.replace(photoshopThumbnail, "").isEmpty());
            if (!expected.startsWith("Exif") && !expected.startsWith("http://ns.adobe.com/xap/"))
                QCOMPARE(is.segments[i].second, expected);
        }
        QImage oldThumbnail, newThumbnail;
        QCOMPARE(exifOf(output, newThumbnail), exifOf(input, oldThumbnail));

        // The mark, as displayed: 40 pixels square about 25 % across and 10 % down.
        const QImage shown = decoded(after, true);
        const QRect mark = differenceBounds(shown, decoded(before, true));
        QCOMPARE_LE(qAbs(mark.width() - 40) + qAbs(mark.height() - 40), 4);
        QCOMPARE_LE(
            (QPointF(mark.center()) - QPointF(shown.width() * 0.25, shown.height() * 0.1)).manhattanLength(),
            3);
        if (kind.inkProfile) { // red through the profile, in Adobe's inverted inks
            const int block = mark.center().y() / 8 * is.blocks[0].width() + mark.center().x() / 8;
            QList<int> inks;
            for (size_t c = 0; c < 4; ++c)
                inks << is.planes[c][size_t(block) * 64] * is.tables[c][0] / 8 + 128;
            QVERIFY2(inks[0] < 30 && inks[1] < 30 && inks[2] > 225 && inks[3] > 225,
                     qPrintable(QDebug::toString(inks)));
        } else if (!greyMark) {
            QVERIFY(isRed(shown.pixel(mark.center())));
        }

        // Changed blocks all lie at the mark, in the stored frame.
        const QRect stored =
            differenceBounds(decoded(after, false), decoded(before, false)).adjusted(-1, -1, 1, 1);
        int changed = 0;
        for (size_t c = 0; c < is.planes.size(); ++c)
            for (int b = 0; b < int(is.planes[c].size() / 64); ++b) {
                if (std::equal(is.planes[c].begin() + b * 64, is.planes[c].begin() + b * 64 + 64,
                               was.planes[c].begin() + b * 64))
                    continue;
                ++changed;
                const QSize span = is.spans[c] * 8;
                const QRect block(
                    QPoint(b % is.blocks[c].width() * span.width(), b / is.blocks[c].width() * span.height()),
                    span);
                QVERIFY2(block.intersects(stored), qPrintable(u"component %1 block %2"_s.arg(c).arg(b)));
            }
        QVERIFY(changed > 0);

        QCOMPARE(newThumbnail.size(), oldThumbnail.size());
        QVERIFY(!differenceBounds(newThumbnail, oldThumbnail).isEmpty());
        // XMP's thumbnail, read by exiftool, is made as EXIF's.
        QCOMPARE(QImage::fromData(exiftoolBytes({u"-b"_s, u"-XMP-xmp:ThumbnailImage"_s, output}))
                     .convertToFormat(QImage::Format_RGB32),
                 newThumbnail);
        // Elsewhere the thumbnail shows the picture, in its colours as the file's profile has them.
        const double shrink = double(newThumbnail.width()) / picture.width();
        const QRect shrunk(stored.topLeft() * shrink, stored.size() * shrink);
        int outside = 0, differing = 0;
        for (int y = 0; y < newThumbnail.height(); ++y)
            for (int x = 0; x < newThumbnail.width(); ++x) {
                const QRgb now = newThumbnail.pixel(x, y), old = oldThumbnail.pixel(x, y);
                // The turned profile's inks, made by the plain conversion, show red as blue, and so on.
                const QRgb then = kind.inkProfile               ? qRgb(qBlue(old), qRed(old), qGreen(old))
                                  : kind.space == JCS_GRAYSCALE ? qRgb(qGray(old), qGray(old), qGray(old))
                                                                : old;
                outside += !shrunk.adjusted(-3, -3, 3, 3).contains(x, y);
                differing += !shrunk.adjusted(-3, -3, 3, 3).contains(x, y) &&
                             std::abs(qRed(now) - qRed(then)) + std::abs(qGreen(now) - qGreen(then)) +
                                     std::abs(qBlue(now) - qBlue(then)) >
                                 60;
            }
        QCOMPARE_LT(differing, outside / 10);
    }

    void kinds_data()
    {
        QTest::addColumn<TiffKind>("kind");
        QTest::addColumn<bool>("greyMark");
        QTest::addColumn<double>("opacity");
        QTest::addColumn<TiffKind>("expected"); // the input's kind when left empty
        const TiffKind bilevel{.photometric = PHOTOMETRIC_MINISWHITE,
                               .bits = 1,
                               .samples = 1,
                               .compression = COMPRESSION_CCITTFAX4};
        const TiffKind grey{.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1, .predictor = 2};
        const TiffKind palette{
            .photometric = PHOTOMETRIC_PALETTE, .samples = 1, .compression = COMPRESSION_PACKBITS};
        const TiffKind none{};
        QTest::newRow("G4 fax, half opacity") << bilevel << true << 0.5 << none;
        QTest::newRow("G3 MinIsBlack, red mark") << TiffKind{.photometric = PHOTOMETRIC_MINISBLACK,
                                                             .bits = 1,
                                                             .samples = 1,
                                                             .compression = COMPRESSION_CCITTFAX3}
                                                 << false << 1.0 << none;
        QTest::newRow("1-bit with alpha") << TiffKind{.photometric = PHOTOMETRIC_MINISWHITE,
                                                      .bits = 1,
                                                      .samples = 2,
                                                      .compression = COMPRESSION_PACKBITS,
                                                      .alpha = EXTRASAMPLE_UNASSALPHA}
                                          << true << 1.0 << none;
        QTest::newRow("1-bit PackBits tiles") << TiffKind{.photometric = PHOTOMETRIC_MINISWHITE,
                                                          .bits = 1,
                                                          .samples = 1,
                                                          .compression = COMPRESSION_PACKBITS,
                                                          .tile = 32}
                                              << true << 1.0 << none;
        QTest::newRow("grey LZW, grey mark") << grey << true << 0.7 << none;
        QTest::newRow("grey, red mark") << grey << false << 0.7 << TiffKind{.samples = 3, .predictor = 2};
        QTest::newRow("16-bit grey") << TiffKind{.photometric = PHOTOMETRIC_MINISBLACK,
                                                 .bits = 16,
                                                 .samples = 1,
                                                 .compression = COMPRESSION_NONE}
                                     << true << 0.6 << none;
        QTest::newRow("16-bit grey, red mark")
            << TiffKind{.photometric = PHOTOMETRIC_MINISBLACK, .bits = 16, .samples = 1} << false << 0.6
            << TiffKind{.bits = 16};
        QTest::newRow("4-bit grey") << TiffKind{.photometric = PHOTOMETRIC_MINISWHITE,
                                                .bits = 4,
                                                .samples = 1}
                                    << true << 0.6
                                    << TiffKind{.photometric = PHOTOMETRIC_MINISWHITE, .samples = 1};
        QTest::newRow("16-bit RGB, Deflate")
            << TiffKind{.bits = 16, .compression = COMPRESSION_ADOBE_DEFLATE, .predictor = 2} << false << 0.6
            << none;
        QTest::newRow("16-bit RGB, one strip")
            << TiffKind{.bits = 16, .rowsPerStrip = 200} << false << 0.6 << none;
        QTest::newRow("RGBA unassociated, tiles")
            << TiffKind{.samples = 4, .alpha = EXTRASAMPLE_UNASSALPHA, .tile = 48} << false << 0.6 << none;
        QTest::newRow("RGB planes, PackBits")
            << TiffKind{.compression = COMPRESSION_PACKBITS, .planar = PLANARCONFIG_SEPARATE} << false << 1.0
            << none;
        QTest::newRow("palette, red mark")
            << palette << false << 1.0 << TiffKind{.compression = COMPRESSION_PACKBITS};
        QTest::newRow("JPEG YCbCr") << TiffKind{.photometric = PHOTOMETRIC_YCBCR,
                                                .compression = COMPRESSION_JPEG}
                                    << false << 1.0 << none;
        QTest::newRow("CMYK") << TiffKind{.photometric = PHOTOMETRIC_SEPARATED, .samples = 4} << false << 1.0
                              << none;
        QTest::newRow("CMYK, profile")
            << TiffKind{.photometric = PHOTOMETRIC_SEPARATED, .samples = 4, .inkProfile = true} << false
            << 1.0 << none;
    }

    // A stamped TIFF page keeps its kind and layout (or becomes RGB where a coloured mark needs it),
    // its stored samples outside the mark, and shows the mark: dithered on a bilevel page, in inks on
    // a CMYK one.
    void kinds()
    {
        QFETCH(TiffKind, kind);
        QFETCH(bool, greyMark);
        QFETCH(double, opacity);
        QFETCH(TiffKind, expected);
        const QString input = m_dir.filePath("kind.tif"), output = m_dir.filePath("kind-out.tif");
        writeKind(input, kind, {240, 200});
        // A batch counts what a strip or tile takes unpacked, at two bytes a sample, read and written.
        const qint64 block = kind.tile ? kind.tile * kind.tile : std::min(kind.rowsPerStrip, 200u) * 240;
        QCOMPARE_GE(FileFootprint::of(input), block * kind.samples * 4);
        const auto outcome = WatermarkHelper::watermarkImageFile(
            input, pictureDesign(m_dir.filePath(greyMark ? "black.png" : "red.png"), 100, opacity, 25, 75),
            output);
        QVERIFY2(outcome, qPrintable(outcome.error()));
        const bool lossy = kind.compression == COMPRESSION_JPEG, changesKind = expected != TiffKind{};
        TiffKind was, is;
        const std::vector<QByteArray> before = rowsOf(input, was, changesKind),
                                      after = rowsOf(output, is, changesKind);
        QCOMPARE(is, changesKind ? expected : was);
        const QRect mark(40, 30, 40, 40); // 40 pixels square about (60, 50)
        const bool rgba = changesKind || is.tile || lossy;
        const int planes = rgba || is.planar == PLANARCONFIG_CONTIG ? 1 : is.samples;
        const int bitsPerPixel = rgba ? 32 : is.bits * is.samples / planes;
        int marked = 0;
        for (int y = 0; y < 200; ++y) {
            const qsizetype planeBytes = after[size_t(y)].size() / planes;
            for (qsizetype at = 0; at < after[size_t(y)].size(); ++at) {
                const QPoint place(int(at % planeBytes * 8 / bitsPerPixel), y);
                const int change = std::abs(uchar(after[size_t(y)][at]) - uchar(before[size_t(y)][at]));
                // JPEG strips under the mark are compressed again whole; libtiff rounds grey and RGB
                // samples of 16 bits to 8 differently.
                if (!(lossy ? QRect(0, 0, 240, 96) : mark.adjusted(-8, -8, 8, 8)).contains(place))
                    QVERIFY2(change <= (changesKind ? 1 : 0),
                             qPrintable(u"at %1, %2"_s.arg(place.x()).arg(y)));
                else if (mark.adjusted(4, 4, -4, -4).contains(place))
                    marked += change > (lossy ? 24 : 0);
            }
        }
        QCOMPARE_GT(marked, 100);
        for (int y = 0; kind.bits == 1 && kind.alpha && y < 200; ++y) // no ink left transparent
            for (int x = 0; x < 240; ++x)
                QVERIFY(!(after[size_t(y)][x / 4] >> (7 - x % 4 * 2) & 1) ||
                        after[size_t(y)][x / 4] >> (6 - x % 4 * 2) & 1);
        if (kind.photometric == PHOTOMETRIC_SEPARATED) { // red: magenta and yellow, or as the profile has it
            const auto ink = [&](int i) { return int(uchar(after[50][60 * 4 + i])); };
            QCOMPARE_GT(kind.inkProfile ? ink(0) + ink(1) - ink(2) : ink(1) + ink(2) - ink(0), 400);
        }
    }

    void pngKinds_data()
    {
        QTest::addColumn<QByteArray>("png");
        QTest::addColumn<bool>("greyMark");
        QTest::addColumn<QByteArray>("header"); // bit depth, colour type and interlacing; empty: the input's
        const QImage busy = busyPicture({240, 200});
        QImage twenty = busy.convertToFormat(QImage::Format_Indexed8, QList<QRgb>(20, 0));
        for (int i = 0; i < 20; ++i)
            twenty.setColor(i, qRgb(i * 12, 255 - i * 12, 128));
        QTest::newRow("grey") << encoded(busy.convertToFormat(QImage::Format_Grayscale8), "png") << true
                              << QByteArray();
        QTest::newRow("grey, red mark") << encoded(busy.convertToFormat(QImage::Format_Grayscale8), "png")
                                        << false << "\x08\x02\0\0\0"_ba;
        const QImage grey = busy.convertToFormat(QImage::Format_Grayscale8);
        const QByteArray key =
            QByteArray(1, 0) + char(grey.constScanLine(50)[60]); // a grey sample of 16 bits
        QTest::newRow("grey, a grey under the mark transparent")
            << pngWith(grey, chunk("tRNS", key)) << true << "\x08\x04\0\0\0"_ba;
        QTest::newRow("16-bit grey") << encoded(busy.convertToFormat(QImage::Format_Grayscale16), "png")
                                     << true << QByteArray();
        QTest::newRow("16-bit RGBA") << encoded(busy.convertToFormat(QImage::Format_RGBA64), "png") << false
                                     << QByteArray();
        QTest::newRow("palette with room") << encoded(twenty, "png") << true << QByteArray();
        QTest::newRow("1-bit grey") << greyPng(busy, 1, false) << false << QByteArray();
        QTest::newRow("interlaced") << greyPng(busy, 8, true) << true << QByteArray();
    }

    // A stamped PNG keeps its bit depth, colour type and interlacing (or becomes RGB under a
    // coloured mark) and its pixels outside the mark, at their full depth.
    void pngKinds()
    {
        QFETCH(QByteArray, png);
        QFETCH(bool, greyMark);
        QFETCH(QByteArray, header);
        const QString input = m_dir.filePath("kind.png"), output = m_dir.filePath("kind-out.png");
        writeFile(input, png);
        const auto outcome = WatermarkHelper::watermarkImageFile(
            input, pictureDesign(m_dir.filePath(greyMark ? "black.png" : "red.png"), 100, 0.6, 25, 75),
            output);
        QVERIFY2(outcome, qPrintable(outcome.error()));
        const QByteArray after = readFile(output);
        QCOMPARE(after.mid(24, 5), header.isEmpty() ? png.mid(24, 5) : header);
        const QImage was = QImage::fromData(png).convertToFormat(QImage::Format_RGBA64);
        const QImage is = QImage::fromData(after).convertToFormat(QImage::Format_RGBA64);
        const QRect mark(32, 22, 56, 56);
        int marked = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 240; ++x) {
                // A transparent pixel is the same whatever colour it is given.
                const bool same = was.pixelColor(x, y) == is.pixelColor(x, y) ||
                                  (was.pixelColor(x, y).alpha() == 0 && is.pixelColor(x, y).alpha() == 0);
                QVERIFY2(same || mark.contains(x, y), qPrintable(u"at %1, %2"_s.arg(x).arg(y)));
                marked += !same;
            }
        QCOMPARE_GT(marked, 300);
    }

    // Only the first frame of an animated PNG could be stamped: it is refused, nothing written.
    void animatedPng()
    {
        QByteArray png = encoded(busyPicture({40, 30}), "png");
        png.insert(png.indexOf("IDAT") - 4, chunk("acTL", QByteArray("\0\0\0\1\0\0\0\0", 8)));
        writeFile(m_dir.filePath("animated.png"), png);
        const auto outcome = WatermarkHelper::watermarkImageFile(m_dir.filePath("animated.png"), redText("X"),
                                                                 m_dir.filePath("animated-out.png"));
        QCOMPARE(outcome.error(), u"an animated PNG (only its first frame could be kept)"_s);
        QVERIFY(!QFile::exists(m_dir.filePath("animated-out.png")));
    }

    void png_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<QPoint>("storedCentre"); // the mark's centre as stored
        QTest::addColumn<bool>("thumbnail");      // in eXIf
        QTest::newRow("upright") << 1 << false << QPoint(80, 24) << true;
        QTest::newRow("orientation 6") << 6 << false << QPoint(32, 180) << false;
        QTest::newRow("orientation 8, grey") << 8 << true << QPoint(288, 60) << false;
    }

    // Every chunk but the picture's own is kept byte for byte and in its place, none is added, a
    // grey picture under a grey mark stays grey, and the mark lies where it lies on the picture
    // as displayed (Qt itself ignores eXIf, so the stored frame is what it decodes).
    void png()
    {
        QFETCH(int, orientation);
        QFETCH(bool, grey);
        QFETCH(QPoint, storedCentre);
        QFETCH(bool, thumbnail);
        const QImage picture = grey ? busyPicture({320, 240}).convertToFormat(QImage::Format_Grayscale8)
                                    : busyPicture({320, 240});
        QByteArray exif = tiffDirectory(false, {{274, quint32(orientation), 0}});
        if (thumbnail)
            exif = exifWithThumbnail(exif, picture.scaled(80, 60));
        const QByteArray extra =
            chunk("tEXt", "Author\0A. Photographer"_ba) + chunk("zTXt", "Title\0\0x\x9c\x2b\x01\0\0u\0u"_ba) +
            chunk("iTXt", "Description\0\0\0fr\0Description\0une photo"_ba) + chunk("eXIf", exif) +
            chunk("gAMA", "\0\0\xb1\x8f"_ba) + chunk("tIME", "\x07\xe8\x05\x01\x0a\x14\x1e"_ba) +
            chunk("prVt", "private"_ba);
        const QString input = m_dir.filePath("in.png"), output = m_dir.filePath("out.png");
        writeFile(input, pngWith(picture, extra));
        WatermarkSnapshot design =
            grey ? redText("X", 25, 90, 0, 40) : pictureDesign(m_dir.filePath("red.png"), 100, 1, 25, 90);
        if (grey)
            design.textColor = WatermarkColor(0.2, 0.2, 0.2);

        const auto outcome = WatermarkHelper::watermarkImageFile(input, design, output);
        QVERIFY2(outcome, qPrintable(outcome.error()));
        const QByteArray before = readFile(input), after = readFile(output);
        QList<QByteArray> kept = ancillaryChunks(after), was = ancillaryChunks(before);
        const auto exifAt = [](const QList<QByteArray>& chunks) {
            return std::find_if(chunks.begin(), chunks.end(), [](auto& c) { return c.mid(4, 4) == "eXIf"; }) -
                   chunks.begin();
        };
        if (thumbnail) { // the eXIf chunk differs by its thumbnail alone
            const qsizetype at = exifAt(kept);
            QCOMPARE(at, exifAt(was));
            QImage oldThumbnail, newThumbnail;
            QCOMPARE(exifItems(kept[at].mid(8, kept[at].size() - 12), newThumbnail),
                     exifItems(was[at].mid(8, was[at].size() - 12), oldThumbnail));
            QVERIFY(isRed(newThumbnail.pixel(storedCentre / 4)) &&
                    !isRed(oldThumbnail.pixel(storedCentre / 4)));
            kept.removeAt(at);
            was.removeAt(at);
        }
        QCOMPARE(kept, was);
        QCOMPARE(after.mid(8, 25), before.mid(8, 25)); // the header: same size, depth and colour type
        const QRect mark = differenceBounds(decoded(after, false), decoded(before, false));
        QCOMPARE_LE((mark.center() - storedCentre).manhattanLength(), 4);
    }

    // Every page of a TIFF, and a ".TIF" file is routed to picture stamping, keeps its alpha,
    // resolution, colour profile, descriptive tags, XMP, IPTC, orientation, and (on the first page)
    // EXIF, GPS and interoperability directories, and its mark, laid
    // out from the page's own resolution, lies where it lies on the page as displayed (read here
    // in the stored frame).
    void tiff()
    {
        std::vector<QImage> pages;
        for (const int dpm : {2835, 5669, 11811}) { // 72, 144 and 300 dpi
            QImage page(600, 400, QImage::Format_ARGB32);
            page.fill(Qt::transparent);
            QPainter(&page).fillRect(0, 0, 600, 200, QColor(0, 0, 255, 128));
            page.setDotsPerMeterX(dpm);
            page.setDotsPerMeterY(dpm);
            page.setColorSpace(QColorSpace::DisplayP3);
            pages.push_back(page);
        }
        const QString path = m_dir.filePath("scan.TIF"), copy = m_dir.filePath("unstamped.tif");
        writeTiff(path, pages, {6, 1, 8});
        const QString thumbnail = m_dir.filePath("thumbnail.jpg");
        writeFile(thumbnail, encoded(pages[0].scaled(60, 40), "jpeg"));
        QVERIFY(exiftool({u"-overwrite_original"_s, u"-Photoshop:PhotoshopThumbnail<="_s + thumbnail,
                          u"-ExifIFD:ExposureTime=1/250"_s, u"-ExifIFD:FNumber=2.8"_s,
                          u"-ExifIFD:UserComment=a comment"_s, u"-ExifIFD:SubjectArea=1 2 3 4"_s,
                          u"-GPS:GPSLatitude=48 51 29.59"_s, u"-GPS:GPSLatitudeRef=N"_s,
                          u"-InteropIFD:InteropIndex=R98"_s, path})
                    .contains(u"1 image files updated"_s));
        QVERIFY(QFile::copy(path, copy));
        const auto outcome = WatermarkRouting::watermarkFile(
            path, pictureDesign(m_dir.filePath("red.png"), 100, 1, 25, 75), path);
        QVERIFY(outcome && outcome->ok());
        QCOMPARE(tiffTags(path), tiffTags(copy));
        // Photoshop's thumbnail of the unmarked page is gone.
        QVERIFY(exiftool({u"-s"_s, u"-Photoshop:all"_s, copy}).contains(u"PhotoshopThumbnail"_s));
        QVERIFY(!exiftool({u"-s"_s, u"-Photoshop:all"_s, path}).contains(u"PhotoshopThumbnail"_s));
        // As numbers, so that a fraction only near the input's shows.
        const QStringList directories{
            u"-a"_s, u"-G1"_s, u"-s"_s, u"-n"_s, u"-ExifIFD:all"_s, u"-GPS:all"_s, u"-InteropIFD:all"_s};
        const QString exif = exiftool(directories + QStringList{copy});
        QVERIFY(exif.contains(u"R98"_s) && exif.contains(u": 0.004\n"_s) && exif.contains(u": 2.8\n"_s));
        QCOMPARE(exiftool(directories + QStringList{path}), exif);
        QImageReader reader(path); // Qt's own codec, as another program would read it
        reader.setAutoTransform(false);
        const QPointF storedCentres[] = {{150, 300}, {150, 100}, {450, 100}};
        for (int i = 0; i < 3; ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage page = reader.read();
            QCOMPARE(page.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
            QCOMPARE(page.dotsPerMeterX(), pages[size_t(i)].dotsPerMeterX());
            QCOMPARE(qAlpha(page.pixel(550, 350)), 0);
            QCOMPARE(qAlpha(page.pixel(300, 100)), 128);
            const QRectF red = inkBounds(page, isRed);
            const double side = 40 * pages[size_t(i)].dotsPerMeterX() * 0.0254 / 72;
            QCOMPARE_LE(qAbs(red.width() - side) + qAbs(red.height() - side), 4);
            QCOMPARE_LE((red.center() - storedCentres[i]).manhattanLength(), 4);
        }
        QCOMPARE(reader.imageCount(), 3);
    }
};

QTEST_MAIN(TestPictureKeeps)
#include "tst_PictureKeeps.moc"
