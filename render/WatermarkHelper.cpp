#include "render/WatermarkHelper.h"

#include "model/TextFields.h"
#include "render/CheckedSaveFile.h"
#include "render/ExifOrientation.h"
#include "render/ExifThumbnail.h"
#include "render/IccColourTransform.h"
#include "render/ImageResolution.h"
#include "render/MarkLayer.h"
#include "render/PhotoshopResources.h"
#include "render/PngChunks.h"
#include "render/PngSamples.h"
#include "render/PngXmp.h"
#include "render/RegularFile.h"
#include "render/StoredFrameMark.h"
#include "render/TiffExifRationals.h"
#include "render/TiffFile.h"
#include "render/XmpThumbnails.h"
#include "render/stampJpegBlocks.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTransform>

#include <tiff.h>

#include <algorithm>
#include <exception>
#include <limits>
#include <new>
#include <optional>

namespace {

constexpr double pointsPerInch = 72.0;
constexpr double metresPerInch = 0.0254;
// High enough not to visibly degrade photographs, while keeping files a sensible size.
constexpr int jpegQuality = 90;

struct Picture
{
    QImage image;
    std::optional<QSizeF> dotsPerInch; // as the file states it, turned upright
};

enum class OutputFormat
{
    png,
    jpeg,
    tiff,
};

// Turns the picture upright as its orientation tag asks. Qt's own orientation step would drop
// the colour profile, so the turn happens here and the profile is put back.
QImage upright(QImage image, QImageIOHandler::Transformations transformation)
{
    if (transformation == QImageIOHandler::TransformationNone)
        return image;
    const QColorSpace colorSpace = image.colorSpace();
    if (transformation == QImageIOHandler::TransformationRotate270) {
        image = image.transformed(QTransform().rotate(270));
    } else {
        image = std::move(image).mirrored(transformation.testFlag(QImageIOHandler::TransformationMirror),
                                          transformation.testFlag(QImageIOHandler::TransformationFlip));
        if (transformation.testFlag(QImageIOHandler::TransformationRotate90))
            image = image.transformed(QTransform().rotate(90));
    }
    image.setColorSpace(colorSpace);
    return image;
}

// A reason in words for any picture whose content none of the accepted codecs reads.
QString unreadable()
{
    return QStringLiteral("not a picture this program can read");
}

// A page whose 32-bit picture would pass Qt's allocation limit: a hostile header must not get
// around the limit through a codec that is not Qt's.
bool tooLarge(QSize size)
{
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    return limit > 0 && qint64(size.width()) * size.height() * 4 > limit;
}

QString unencodable()
{
    return QStringLiteral("cannot encode the picture");
}

// A design behind the picture shows only through pixels that are not opaque; where none lie under
// it, nothing would change, and the file is not reported as watermarked.
QString hiddenMark()
{
    return QStringLiteral("the mark would lie hidden behind the picture's opaque pixels");
}

bool behind(const WatermarkSnapshot& settings)
{
    return settings.layer == WatermarkSnapshot::Layer::under;
}

// The picture's transparent parts shown on white, for a format without alpha.
QImage flattenedOnWhite(const QImage& picture)
{
    QImage canvas(picture.size(), QImage::Format_RGB32);
    if (canvas.isNull())
        return canvas;
    canvas.fill(Qt::white);
    canvas.setColorSpace(picture.colorSpace());
    QPainter painter(&canvas);
    painter.drawImage(0, 0, picture);
    return canvas;
}

Result<Picture> readPicture(QIODevice& input, QImageReader& reader)
{
    reader.setAutoTransform(false); // applied by upright(), keeping the colour profile
    // Qt's allocation limit stays in force, so a header claiming enormous dimensions fails here.
    QImage image = reader.read();
    if (image.isNull())
        return Result<Picture>::failure(unreadable());
    const QImageIOHandler::Transformations transformation = reader.transformation();
    std::optional<QSizeF> dpi = ImageResolution::dotsPerInch(input);
    if (dpi && transformation.testFlag(QImageIOHandler::TransformationRotate90))
        dpi->transpose();
    return Picture{upright(std::move(image), transformation), dpi};
}

// QPainter cannot draw on palette or one-bit pictures, and would draw in grey on grey ones.
// ARGB32 rather than its premultiplied form keeps transparent pixels' colours exactly as they were.
QImage colourCanvas(QImage image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale16:
        return std::move(image).convertToFormat(QImage::Format_RGBX64);
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Alpha8: {
        const auto format = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        return std::move(image).convertToFormat(format);
    }
    default:
        return image;
    }
}

// The design is laid out in points over the picture's printed size, then scaled onto its pixels.
bool drawDesign(QImage& canvas, const QSizeF& dpi, const WatermarkSnapshot& settings)
{
    return StoredFrameMark(canvas.size(), dpi, QImageIOHandler::TransformationNone).draw(canvas, settings);
}

// A TIFF can hold pages that PNG and JPEG cannot, so TIFF content stays TIFF whatever the name.
OutputFormat outputFormatFor(const QString& outputPath, const QByteArray& inputFormat)
{
    const QString suffix = QFileInfo(outputPath).suffix().toLower();
    if (inputFormat == "tiff" || suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return OutputFormat::tiff;
    return suffix == QLatin1String("png") ? OutputFormat::png : OutputFormat::jpeg;
}

// The mark's inks on a CMYK page: through the page's own profile where it has one, LittleCMS
// giving what that press or printer lays down for the colour; the plain conversion otherwise.
MarkCompositor::InkOf inksFor(const QByteArray& profile)
{
    const auto transform = IccColourTransform::toProfile(profile, IccColourTransform::Space::cmyk);
    if (!transform)
        return {};
    return [transform = *transform](QRgba64 colour) {
        std::array<quint16, 4> inks{};
        transform.convertRow(&colour, 1, inks.data());
        return inks;
    };
}

// A page's XMP and Photoshop thumbnails would show it unmarked. No picture of the stamped page is
// at hand while its strips stream through, so they go.
void dropThumbnails(TiffPage& page)
{
    for (TiffPage::Tag& tag : page.descriptiveTags) {
        std::optional<QByteArray> kept;
        if (tag.tag == TIFFTAG_XMLPACKET)
            kept = XmpThumbnails::remade(
                tag.value, [] { return QImage(); }, std::numeric_limits<qint32>::max());
        else if (tag.tag == TIFFTAG_PHOTOSHOP)
            kept = PhotoshopResources::blocksWithoutThumbnails(tag.value);
        if (kept)
            tag = {tag.tag, uint32_t(kept->size()), *kept, tag.privateType};
    }
    // Resources that were nothing but a thumbnail leave no tag behind.
    std::erase_if(page.descriptiveTags, [](const TiffPage::Tag& tag) {
        return tag.tag == TIFFTAG_PHOTOSHOP && tag.value.isEmpty();
    });
}

// Every page is stamped, or copied when the design does not choose it, and written in turn, so
// only one page is in memory at a time.
FileOutcome stampTiff(QFile& input, const WatermarkSnapshot& design, const QString& outputPath)
{
    TiffFile pages(input, TiffFile::Mode::read);
    if (!pages.isOpen())
        return FileOutcome::failure(unreadable());
    // Counting the pages walks the whole chain of them, needed only for a choice of pages or a
    // text that shows the count.
    const int pageTotal =
        !design.pages.isAll() || TextFields::variesPerPage(design.text) ? pages.pageCount() : 1;
    const auto chosen = design.pages.stampedPages(pageTotal);
    if (!chosen)
        return FileOutcome::failure(chosen.error());
    CheckedSaveFile output(outputPath);
    if (auto created = output.create(); !created)
        return created;
    TiffFile written(output, TiffFile::Mode::write);
    int number = 0;
    for (bool more = written.isOpen(); more;) {
        ++number;
        const WatermarkSnapshot settings = TextFields::onPage(design, number, std::max(number, pageTotal));
        TiffPage tags = pages.readTags();
        if (tooLarge(tags.storedSize))
            return FileOutcome::failure(QStringLiteral("too large to stamp"));
        // Every page, when every page is chosen, even one past a damaged count of them.
        const bool stamped =
            settings.pages.isAll() || std::binary_search(chosen->begin(), chosen->end(), number);
        const MarkLayer layer = stamped
                                    ? MarkLayer(tags.storedSize, tags.dotsPerInch,
                                                ExifOrientation::transformation(tags.orientation), settings)
                                    : MarkLayer::blank();
        if (stamped)
            dropThumbnails(tags);
        if (!layer.isValid())
            return FileOutcome::failure(QStringLiteral("cannot paint on the picture"));
        const auto kept = pages.stampPage(written, tags, layer, inksFor(tags.iccProfile));
        if (!kept)
            return FileOutcome::failure(output.failureReason(kept.error()));
        if (stamped && *kept && behind(settings) && !pages.markShown())
            return FileOutcome::failure(hiddenMark());
        if (!*kept) {
            // Samples libtiff cannot write back as they are go out as 8-bit RGB(A).
            auto read = pages.readPage();
            if (!read)
                return FileOutcome::failure(read.error());
            TiffPage page = std::move(read).value();
            if (stamped)
                dropThumbnails(page);
            const StoredFrameMark mark(page.image.size(), page.dotsPerInch,
                                       ExifOrientation::transformation(page.orientation));
            const QImage unmarked = page.image;
            if (stamped && !mark.draw(page.image, settings))
                return FileOutcome::failure(QStringLiteral("cannot paint on the picture"));
            if (stamped && behind(settings) && page.image == unmarked)
                return FileOutcome::failure(hiddenMark());
            if (!written.writePage(page))
                return FileOutcome::failure(output.failureReason(unencodable()));
        }
        const auto next = pages.nextPage();
        if (!next)
            return FileOutcome::failure(next.error());
        more = *next;
    }
    if (!written.close())
        return FileOutcome::failure(output.failureReason(unencodable()));
    TiffExifRationals::restore(input.handle(), output);
    return output.commit();
}

bool writeTiff(CheckedSaveFile& output, const QImage& canvas, const std::optional<QSizeF>& dpi)
{
    TiffPage page;
    page.image = canvas;
    page.unassociatedAlpha = true; // as PNG holds it; writePage unpremultiplies what Qt decoded
    if (dpi)
        page.resolution = TiffPage::Resolution{float(dpi->width()), float(dpi->height())};
    if (canvas.colorSpace().isValid())
        page.iccProfile = canvas.colorSpace().iccProfile();
    TiffFile written(output, TiffFile::Mode::write);
    return written.isOpen() && written.writePage(page) && written.close();
}

FileOutcome writeBytes(const QString& outputPath, const QByteArray& bytes)
{
    CheckedSaveFile output(outputPath);
    if (auto created = output.create(); !created)
        return created;
    if (output.write(bytes) != bytes.size())
        return FileOutcome::failure(output.failureReason(unencodable()));
    return output.commit();
}

// A JPEG stays JPEG block by block: only the blocks under the mark change, in the stored frame.
FileOutcome stampJpeg(QIODevice& input, QImageReader& reader, const WatermarkSnapshot& settings,
                      const QString& outputPath)
{
    // A JPEG is opaque throughout.
    if (behind(settings))
        return FileOutcome::failure(hiddenMark());
    const QImageIOHandler::Transformations transformation = reader.transformation();
    const QSizeF dpi = ImageResolution::dotsPerInch(input).value_or(QSizeF(pointsPerInch, pointsPerInch));
    if (!input.seek(0))
        return FileOutcome::failure(unreadable());
    const QByteArray bytes = input.readAll();
    CheckedSaveFile output(outputPath);
    if (auto created = output.create(); !created)
        return created;
    if (const auto stamped = stampJpegBlocks(bytes, settings, dpi, transformation, output); !stamped)
        return FileOutcome::failure(output.failureReason(stamped.error()));
    return output.commit();
}

// A PNG keeps its own chunks around the stamped picture, drawn in the frame it is stored in (Qt
// does not apply an eXIf orientation, so the one stated is applied to the design instead), and
// its samples' kind (see PngSamples::stamp). Only the first frame of an animated PNG could be
// stamped, so one is refused rather than written as a still.
FileOutcome stampPng(QIODevice& input, const WatermarkSnapshot& settings, const QString& outputPath)
{
    const QSizeF dpi = ImageResolution::dotsPerInch(input).value_or(QSizeF(pointsPerInch, pointsPerInch));
    if (!input.seek(0))
        return FileOutcome::failure(unreadable());
    const QByteArray bytes = input.readAll();
    const auto chunks = PngChunks::split(bytes);
    if (!chunks)
        return FileOutcome::failure(unreadable());
    QImageIOHandler::Transformations orientation = QImageIOHandler::TransformationNone;
    for (const auto& chunk : *chunks) {
        if (chunk.type == "eXIf")
            orientation = ExifOrientation::of(chunk.data());
        if (chunk.type == "acTL")
            return FileOutcome::failure(
                QStringLiteral("an animated PNG (only its first frame could be kept)"));
    }
    auto samples = PngSamples::read(bytes);
    if (!samples)
        return FileOutcome::failure(unreadable());
    if (tooLarge(samples->size()))
        return FileOutcome::failure(QStringLiteral("too large to stamp"));
    const MarkLayer mark(samples->size(), dpi, orientation, settings);
    if (!mark.isValid())
        return FileOutcome::failure(QStringLiteral("cannot paint on the picture"));
    if (!samples->stamp(mark) && behind(settings))
        return FileOutcome::failure(hiddenMark());
    const QByteArray stampedBytes = samples->write();
    const auto stamped = PngChunks::split(stampedBytes);
    if (!stamped)
        return FileOutcome::failure(unencodable());
    std::vector<PngChunks::Chunk> kept = *chunks;
    std::optional<QImage> picture;
    const auto stampedPicture = [&] {
        if (!picture)
            picture = QImage::fromData(stampedBytes);
        return *picture;
    };
    // Thumbnails made anew from the stamped picture, as a JPEG's.
    for (auto& chunk : kept) {
        if (chunk.type == "eXIf")
            if (const auto exif =
                    ExifThumbnail::remade(chunk.data(), stampedPicture, std::numeric_limits<qint32>::max()))
                chunk = chunk.withData(*exif);
        chunk = PngXmp::remade(chunk, stampedPicture);
    }
    return writeBytes(outputPath, PngChunks::withPicture(kept, *stamped));
}

FileOutcome stampPicture(QIODevice& input, QImageReader& reader, const WatermarkSnapshot& settings,
                         const QString& outputPath, OutputFormat format)
{
    auto read = readPicture(input, reader);
    if (!read)
        return FileOutcome::failure(read.error());
    Picture picture = std::move(read).value();
    const QSizeF dpi = picture.dotsPerInch.value_or(QSizeF(pointsPerInch, pointsPerInch));
    // JPEG has no alpha; simply dropping it would turn transparent areas black. A design behind the
    // picture is drawn while its alpha is still there, and the whole laid on white afterwards.
    const bool onWhite = format == OutputFormat::jpeg && picture.image.hasAlphaChannel();
    const bool whiteFirst = onWhite && !behind(settings);

    QImage canvas = whiteFirst ? flattenedOnWhite(picture.image) : colourCanvas(std::move(picture.image));
    picture.image = QImage();
    const auto atResolution = [&dpi](QImage& image) {
        image.setDotsPerMeterX(qRound(dpi.width() / metresPerInch));
        image.setDotsPerMeterY(qRound(dpi.height() / metresPerInch));
        return !image.isNull();
    };
    if (!atResolution(canvas))
        return FileOutcome::failure(QStringLiteral("not enough memory for the picture"));
    const QImage unmarked = behind(settings) ? canvas : QImage();
    if (!drawDesign(canvas, dpi, settings))
        return FileOutcome::failure(QStringLiteral("cannot paint on the picture"));
    if (behind(settings) && canvas == unmarked)
        return FileOutcome::failure(hiddenMark());
    if (onWhite && !whiteFirst && !atResolution(canvas = flattenedOnWhite(canvas)))
        return FileOutcome::failure(QStringLiteral("not enough memory for the picture"));

    CheckedSaveFile output(outputPath);
    if (auto created = output.create(); !created)
        return created;
    if (format == OutputFormat::tiff) {
        if (!writeTiff(output, canvas, picture.dotsPerInch))
            return FileOutcome::failure(output.failureReason(unencodable()));
    } else {
        QImageWriter writer(&output, format == OutputFormat::png ? "png" : "jpeg");
        if (format == OutputFormat::jpeg)
            writer.setQuality(jpegQuality);
        if (!writer.write(canvas))
            return FileOutcome::failure(output.failureReason(unencodable()));
    }
    return output.commit();
}

FileOutcome stamp(const QString& inputFile, const WatermarkSnapshot& design, const QString& outputPath)
{
    auto opened = RegularFile::open(inputFile);
    if (!opened)
        return FileOutcome::failure(opened.error());
    QFile input;
    if (!input.open(opened->descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return FileOutcome::failure(QStringLiteral("cannot be read"));
    QImageReader reader(&input);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format == "tiff")
        return input.seek(0) ? stampTiff(input, design, outputPath) : FileOutcome::failure(unreadable());
    // Any other picture is page 1 of 1.
    const WatermarkSnapshot settings = TextFields::onPage(design, 1, 1);
    // Other codecs recognise content loosely enough to take a stray file for a picture.
    if (format != "png" && format != "jpeg")
        return FileOutcome::failure(unreadable());
    // A picture of one page: the design's choice of pages takes it or leaves the file alone.
    if (const auto chosen = settings.pages.stampedPages(1); !chosen)
        return FileOutcome::failure(chosen.error());
    const OutputFormat outputFormat = outputFormatFor(outputPath, format);
    if (format == "jpeg" && outputFormat == OutputFormat::jpeg)
        return stampJpeg(input, reader, settings, outputPath);
    if (format == "png" && outputFormat == OutputFormat::png)
        return stampPng(input, settings, outputPath);
    return stampPicture(input, reader, settings, outputPath, outputFormat);
}

} // namespace

void WatermarkHelper::allowLargePictures()
{
    // 1 GB: a 250-megapixel picture in 32-bit colour.
    QImageReader::setAllocationLimit(1024);
}

FileOutcome WatermarkHelper::watermarkImageFile(const QString& inputFile, const WatermarkSnapshot& settings,
                                                const QString& outputPath)
{
    try {
        return stamp(inputFile, settings, outputPath);
    } catch (const std::bad_alloc&) {
        return FileOutcome::failure(QStringLiteral("not enough memory for the picture"));
    } catch (...) {
        return FileOutcome::failure(QStringLiteral("could not be stamped"));
    }
}
