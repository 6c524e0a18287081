#include "render/TiffFile.h"

#include "render/TiffLayout.h"

#include <QIODevice>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <optional>

#include <tiffio.h>

namespace {

constexpr double centimetresPerInch = 2.54;

QIODevice& deviceOf(thandle_t handle)
{
    return *static_cast<QIODevice*>(handle);
}

tmsize_t readFrom(thandle_t handle, void* data, tmsize_t size)
{
    return deviceOf(handle).read(static_cast<char*>(data), size);
}

tmsize_t writeTo(thandle_t handle, void* data, tmsize_t size)
{
    return deviceOf(handle).write(static_cast<const char*>(data), size);
}

toff_t seekIn(thandle_t handle, toff_t offset, int whence)
{
    QIODevice& device = deviceOf(handle);
    const qint64 base = whence == SEEK_CUR ? device.pos() : whence == SEEK_END ? device.size() : 0;
    const qint64 target = base + static_cast<qint64>(offset);
    if (target < 0 || !device.seek(target))
        return static_cast<toff_t>(-1);
    return static_cast<toff_t>(target);
}

toff_t sizeOf(thandle_t handle)
{
    return static_cast<toff_t>(deviceOf(handle).size());
}

// The device belongs to the caller, and is read rather than mapped.
int closeNothing(thandle_t)
{
    return 0;
}
int mapNothing(thandle_t, void**, toff_t*)
{
    return 0;
}
void unmapNothing(thandle_t, void*, toff_t) {}

int keepError(TIFF*, void* lastError, const char*, const char* format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    *static_cast<QString*>(lastError) = QString::fromLocal8Bit(text);
    return 1; // handled: libtiff's process-wide handlers would print it
}

int ignoreWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

// Qt's limit on a decoded picture, which a hostile header must not get around by being a TIFF.
qint64 allocationLimit()
{
    return qint64(QImageReader::allocationLimit()) * 1024 * 1024;
}

QSizeF dotsPerInchOf(const TiffPage::Resolution& resolution)
{
    const double perInch = resolution.unit == RESUNIT_INCH         ? 1.0
                           : resolution.unit == RESUNIT_CENTIMETER ? centimetresPerInch
                                                                   : 0.0;
    const double x = resolution.x * perInch;
    const double y = resolution.y * perInch;
    // As ImageResolution: zero or huge densities come from damaged files and state nothing.
    const auto usable = [](double dpi) { return std::isfinite(dpi) && dpi >= 1.0 && dpi <= 1.0e6; };
    return usable(x) && usable(y) ? QSizeF(x, y) : QSizeF(72, 72);
}

// Text tags: NUL-terminated strings, their count left to libtiff.
constexpr uint32_t textTags[] = {
    TIFFTAG_DOCUMENTNAME, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE,          TIFFTAG_MODEL,
    TIFFTAG_PAGENAME,     TIFFTAG_SOFTWARE,         TIFFTAG_DATETIME,      TIFFTAG_ARTIST,
    TIFFTAG_HOSTCOMPUTER, TIFFTAG_COPYRIGHT,        TIFFTAG_TARGETPRINTER,
};
// Blocks of bytes (or longs) passed with their count.
constexpr uint32_t blockTags[] = {TIFFTAG_XMLPACKET, TIFFTAG_RICHTIFFIPTC, TIFFTAG_PHOTOSHOP};

// Tags libtiff does not know, private ones, which it reads as a count and values. One whose
// values point elsewhere in the file (an IFD) would point nowhere in the written one.
void readPrivateTags(TIFF* tiff, TiffPage& page)
{
    for (int i = 0, tags = TIFFGetTagListCount(tiff); i < tags; ++i) {
        const uint32_t tag = TIFFGetTagListEntry(tiff, i);
        const TIFFField* field = TIFFFieldWithTag(tiff, tag);
        uint32_t count = 0;
        const void* data = nullptr;
        if (!field || !TIFFFieldIsAnonymous(field) || TIFFFieldDataType(field) == TIFF_IFD ||
            TIFFFieldDataType(field) == TIFF_IFD8 || !TIFFGetField(tiff, tag, &count, &data) || !data)
            continue;
        const auto size = qsizetype(count) * qsizetype(TIFFFieldSetGetSize(field));
        page.descriptiveTags.push_back({tag, count, QByteArray(static_cast<const char*>(data), size),
                                        uint16_t(TIFFFieldDataType(field))});
    }
}

void readDescriptiveTags(TIFF* tiff, TiffPage& page)
{
    for (const uint32_t tag : textTags) {
        const char* text = nullptr;
        if (TIFFGetField(tiff, tag, &text) && text)
            page.descriptiveTags.push_back({tag, 0, QByteArray(text)});
    }
    for (const uint32_t tag : blockTags) {
        uint32_t count = 0;
        const void* data = nullptr;
        const TIFFField* field = TIFFFieldWithTag(tiff, tag);
        if (field && TIFFGetField(tiff, tag, &count, &data) && data)
            page.descriptiveTags.push_back(
                {tag, count,
                 QByteArray(static_cast<const char*>(data),
                            qsizetype(count) * TIFFDataWidth(TIFFFieldDataType(field)))});
    }
    readPrivateTags(tiff, page);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &page.orientation);
}

bool writeDescriptiveTags(TIFF* tiff, const TiffPage& page)
{
    bool tagged = TIFFSetField(tiff, TIFFTAG_ORIENTATION, page.orientation);
    for (const TiffPage::Tag& tag : page.descriptiveTags) {
        // The writer learns a private tag as the reader did: any count, passed with it.
        static char name[] = "private";
        const TIFFFieldInfo info{
            tag.tag, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFFDataType(tag.privateType), FIELD_CUSTOM, 1, 1, name};
        tagged = tagged && (!tag.privateType || TIFFMergeFieldInfo(tiff, &info, 1) == 0) &&
                 (tag.count == 0 ? TIFFSetField(tiff, tag.tag, tag.value.constData())
                                 : TIFFSetField(tiff, tag.tag, tag.count, tag.value.constData()));
    }
    return tagged;
}

// The profile's data colour space is at bytes 16 to 19 of its header.
bool describes(const QByteArray& profile, const char* space)
{
    return profile.mid(16, 4) == space;
}

void readPageTags(TIFF* tiff, TiffPage& page)
{
    for (const auto kind : {TiffCustomDirectory::Kind::exif, TiffCustomDirectory::Kind::gps})
        if (auto directory = TiffCustomDirectory::readFrom(tiff, kind))
            page.customDirectories.push_back(std::move(*directory));
    readDescriptiveTags(tiff, page);
    uint32_t width = 0;
    uint32_t height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    page.storedSize = QSize(int(std::min<uint32_t>(width, std::numeric_limits<int>::max())),
                            int(std::min<uint32_t>(height, std::numeric_limits<int>::max())));
    float x = 0;
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x)) {
        TiffPage::Resolution resolution{x, x, RESUNIT_INCH};
        TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &resolution.y);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &resolution.unit);
        page.resolution = resolution;
        page.dotsPerInch = dotsPerInchOf(resolution);
    }
    uint32_t length = 0;
    const void* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &profile) && length >= 20)
        page.iccProfile = QByteArray(static_cast<const char*>(profile), qsizetype(length));
    uint32_t subfileType = 0;
    if (TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &subfileType))
        page.subfileType = subfileType;
    uint16_t number = 0;
    uint16_t count = 0;
    if (TIFFGetField(tiff, TIFFTAG_PAGENUMBER, &number, &count))
        page.pageNumber = std::pair(number, count);
}

// Where each of a page's private directories was written, by the tag that points to it.
using DirectoryPointers = std::vector<std::pair<uint32_t, uint64_t>>;

// Writes the page's private directories ahead of the page itself, which libtiff then starts afresh.
std::optional<DirectoryPointers> writeCustomDirectories(TIFF* tiff, const TiffPage& page)
{
    DirectoryPointers pointers;
    for (const TiffCustomDirectory& directory : page.customDirectories) {
        const auto offset = directory.writeTo(tiff);
        if (!offset)
            return std::nullopt;
        pointers.emplace_back(directory.pointerTag(), *offset);
    }
    return pointers;
}

// Resolution, colour profile, subfile type, page number, descriptive tags and the pointers to the
// private directories written before.
bool writeTags(TIFF* tiff, const TiffPage& page, const DirectoryPointers& pointers)
{
    bool tagged = true;
    for (const auto& [tag, offset] : pointers)
        tagged = tagged && TIFFSetField(tiff, tag, offset);
    if (page.resolution)
        tagged = tagged && TIFFSetField(tiff, TIFFTAG_XRESOLUTION, double(page.resolution->x)) &&
                 TIFFSetField(tiff, TIFFTAG_YRESOLUTION, double(page.resolution->y)) &&
                 TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, page.resolution->unit);
    if (!page.iccProfile.isEmpty())
        tagged = tagged && TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(page.iccProfile.size()),
                                        page.iccProfile.constData());
    if (page.subfileType)
        tagged = tagged && TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, *page.subfileType);
    if (page.pageNumber)
        tagged =
            tagged && TIFFSetField(tiff, TIFFTAG_PAGENUMBER, page.pageNumber->first, page.pageNumber->second);
    return tagged && writeDescriptiveTags(tiff, page);
}

} // namespace

TiffFile::TiffFile(QIODevice& device, Mode mode)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return;
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepError, &m_lastError);
    TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreWarning, nullptr);
    if (allocationLimit() > 0)
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, allocationLimit());
    m_tiff = TIFFClientOpenExt("picture", mode == Mode::read ? "r" : "w", &device, readFrom, writeTo, seekIn,
                               closeNothing, sizeOf, mapNothing, unmapNothing, options);
    TIFFOpenOptionsFree(options);
}

TiffFile::~TiffFile()
{
    if (m_tiff)
        TIFFClose(m_tiff);
}

int TiffFile::pageCount() const
{
    return int(std::min<uint64_t>(TIFFNumberOfDirectories(m_tiff), std::numeric_limits<int>::max()));
}

Result<TiffPage> TiffFile::readPage()
{
    uint32_t width = 0;
    uint32_t height = 0;
    TIFFGetField(m_tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(m_tiff, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0)
        return Result<TiffPage>::failure(QStringLiteral("damaged beyond repair"));
    const qint64 bytes = qint64(width) * qint64(height) * 4;
    if (width > uint32_t(std::numeric_limits<int>::max()) ||
        height > uint32_t(std::numeric_limits<int>::max()) ||
        (allocationLimit() > 0 && bytes > allocationLimit()))
        return Result<TiffPage>::failure(QStringLiteral("too large to stamp"));

    char message[1024] = {};
    TIFFRGBAImage reader = {};
    if (!TIFFRGBAImageOK(m_tiff, message) || !TIFFRGBAImageBegin(&reader, m_tiff, 1, message)) {
        m_lastError = QString::fromLocal8Bit(message);
        return Result<TiffPage>::failure(QStringLiteral("not a picture this program can read"));
    }
    // The rows as stored: the orientation tag is kept, and the mark drawn through it.
    reader.req_orientation = reader.orientation;
    TiffPage page;
    // libtiff's RGBA raster is R, G, B, A bytes in memory, alpha premultiplied.
    page.image = QImage(int(width), int(height),
                        reader.alpha ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBX8888);
    const bool read =
        !page.image.isNull() &&
        TIFFRGBAImageGet(&reader, reinterpret_cast<uint32_t*>(page.image.bits()), width, height);
    page.unassociatedAlpha = reader.alpha == EXTRASAMPLE_UNASSALPHA;
    TIFFRGBAImageEnd(&reader);
    if (page.image.isNull())
        return Result<TiffPage>::failure(QStringLiteral("not enough memory for the picture"));
    if (!read)
        return Result<TiffPage>::failure(QStringLiteral("damaged beyond repair"));
    readPageTags(m_tiff, page);
    return page;
}

Result<bool> TiffFile::nextPage()
{
    if (TIFFLastDirectory(m_tiff))
        return false;
    if (!TIFFReadDirectory(m_tiff))
        return Result<bool>::failure(QStringLiteral("damaged beyond repair"));
    return true;
}

int TiffFile::pageCount()
{
    return int(TIFFNumberOfDirectories(m_tiff));
}

bool TiffFile::writePage(const TiffPage& page)
{
    const bool alpha = page.image.hasAlphaChannel();
    QImage pixels =
        page.image.convertToFormat(!alpha                   ? QImage::Format_RGB888
                                   : page.unassociatedAlpha ? QImage::Format_RGBA8888
                                                            : QImage::Format_RGBA8888_Premultiplied);
    const auto pointers = writeCustomDirectories(m_tiff, page);
    if (pixels.isNull() || !pointers)
        return false;
    const uint16_t extraSample = page.unassociatedAlpha ? EXTRASAMPLE_UNASSALPHA : EXTRASAMPLE_ASSOCALPHA;
    bool tagged = TIFFSetField(m_tiff, TIFFTAG_IMAGEWIDTH, uint32_t(pixels.width())) &&
                  TIFFSetField(m_tiff, TIFFTAG_IMAGELENGTH, uint32_t(pixels.height())) &&
                  TIFFSetField(m_tiff, TIFFTAG_BITSPERSAMPLE, 8) &&
                  TIFFSetField(m_tiff, TIFFTAG_SAMPLESPERPIXEL, alpha ? 4 : 3) &&
                  TIFFSetField(m_tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
                  TIFFSetField(m_tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                  TIFFSetField(m_tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
                  TIFFSetField(m_tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
                  TIFFSetField(m_tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(m_tiff, 0));
    if (alpha)
        tagged = tagged && TIFFSetField(m_tiff, TIFFTAG_EXTRASAMPLES, 1, &extraSample);
    // The pixels are RGB now, so a CMYK or grey profile would misdescribe them.
    TiffPage tags = page;
    if (!describes(tags.iccProfile, "RGB "))
        tags.iccProfile.clear();
    if (!tagged || !writeTags(m_tiff, tags, *pointers))
        return false;
    for (int y = 0; y < pixels.height(); ++y) {
        if (TIFFWriteScanline(m_tiff, pixels.scanLine(y), uint32_t(y), 0) < 0)
            return false;
    }
    return TIFFWriteDirectory(m_tiff) != 0;
}

TiffPage TiffFile::readTags()
{
    TiffPage page;
    readPageTags(m_tiff, page);
    return page;
}

qint64 TiffFile::stampingFootprint()
{
    uint32_t width = 0;
    uint32_t height = 0;
    TIFFGetField(m_tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(m_tiff, TIFFTAG_IMAGELENGTH, &height);
    const qint64 pixels = qint64(width) * height * 8;
    const auto layout = TiffLayout::read(m_tiff);
    if (!layout)
        return pixels;
    const QRect block = layout->blockArea(0);
    const qint64 samples = qint64(block.width()) * block.height() * layout->kind().samplesPerPixel;
    const qint64 storedBytes = (samples * layout->kind().bitsPerSample + 7) / 8;
    return std::max(pixels, 2 * (samples * qint64(sizeof(quint16)) + storedBytes));
}

Result<bool> TiffFile::stampPage(TiffFile& output, const TiffPage& tags, const MarkLayer& mark,
                                 const MarkCompositor::InkOf& inkOf)
{
    const auto input = TiffLayout::read(m_tiff);
    if (!input || QSize(input->blockArea(0).size()).isEmpty())
        return false;
    TiffLayout written = *input;
    const PixelKind& kind = input->kind();
    const bool grey =
        kind.colour == PixelKind::Colour::grey || kind.colour == PixelKind::Colour::greyInverted;
    if (grey && !kind.isBilevel())
        if (const bool colour = !mark.isGrey(); colour || kind.bitsPerSample < 8)
            written = input->withKind(colour ? kind.inColour() : kind.atEightBits());
    std::vector<quint16> samples, converted;
    // Stamps a block read from the input into samples of the written page's kind.
    const auto stamped = [&](int block, MarkCompositor& compositor) {
        if (!input->readBlock(m_tiff, block, samples))
            return std::optional<bool>();
        const QRect area = input->blockArea(block);
        if (written.kind().colour != kind.colour || written.kind().bitsPerSample != kind.bitsPerSample) {
            converted.resize(size_t(area.width()) * size_t(area.height()) *
                             size_t(written.kind().samplesPerPixel));
            written.kind().convertRow(kind, samples.data(), converted.data(), area.width() * area.height());
            samples.swap(converted);
        }
        const size_t rowSamples = size_t(area.width()) * size_t(written.kind().samplesPerPixel);
        for (int row = 0; row < area.height(); ++row)
            if (!compositor.compositeRow(samples.data() + size_t(row) * rowSamples, area.x(), area.y() + row,
                                         area.width()))
                return std::optional<bool>(false);
        return std::optional<bool>(true);
    };
    const auto touched = [&](int block) { return input->blockArea(block).intersects(mark.bounds()); };
    // A palette page keeps its colour map only when the mark's colours are all in it.
    if (kind.colour == PixelKind::Colour::palette) {
        MarkCompositor trial(kind, mark, inkOf);
        for (int block = 0; block < input->blockCount(); ++block) {
            if (!touched(block))
                continue;
            const auto fits = stamped(block, trial);
            if (!fits)
                return Result<bool>::failure(QStringLiteral("damaged beyond repair"));
            if (!*fits) {
                written = input->withKind(kind.inColour());
                break;
            }
        }
    }
    TiffPage writtenTags = tags;
    if (written.kind().colour != kind.colour && describes(tags.iccProfile, "GRAY"))
        writtenTags.iccProfile.clear();
    TIFF* out = output.m_tiff;
    const auto pointers = writeCustomDirectories(out, writtenTags);
    if (!pointers || !written.write(out) || !writeTags(out, writtenTags, *pointers))
        return Result<bool>::failure(QStringLiteral("cannot encode the picture"));
    MarkCompositor compositor(written.kind(), mark, inkOf);
    const auto encode = [&](int block) {
        const auto result = stamped(block, compositor);
        if (!result)
            return Result<bool>::failure(QStringLiteral("damaged beyond repair"));
        return Result<bool>(written.writeBlock(out, block, samples));
    };
    // The blocks under the mark go first: under JPEG they settle the tables the others must share
    // to be copied as stored.
    for (const bool underMark : {true, false}) {
        const bool copies = !underMark && written.copiesBlocksFrom(*input, m_tiff, out);
        for (int block = 0; block < input->blockCount(); ++block) {
            if (touched(block) != underMark)
                continue;
            const auto done = copies ? Result<bool>(input->copyBlock(m_tiff, out, block)) : encode(block);
            if (!done)
                return done;
            if (!*done)
                return Result<bool>::failure(QStringLiteral("cannot encode the picture"));
        }
    }
    if (!TIFFWriteDirectory(out))
        return Result<bool>::failure(QStringLiteral("cannot encode the picture"));
    m_markShown = compositor.shown();
    return true;
}

bool TiffFile::close()
{
    if (!m_tiff)
        return false;
    const bool flushed = TIFFFlush(m_tiff) != 0;
    TIFFClose(m_tiff);
    m_tiff = nullptr;
    return flushed;
}
