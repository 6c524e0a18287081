#include "render/ExifThumbnail.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>

#include <exiv2/exiv2.hpp>

namespace {

// Camera thumbnails are small; this keeps the new one close to what cameras write.
constexpr int thumbnailQuality = 90;

// Without the picture's colour profile, which EXIF thumbnails do not carry and which alone may
// outgrow the segment.
QByteArray jpegOf(QImage image)
{
    image.setColorSpace(QColorSpace());
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(thumbnailQuality);
    return writer.write(image) ? buffer.data() : QByteArray();
}

QByteArray encoded(QByteArray original, Exiv2::ByteOrder order, const Exiv2::ExifData& exif)
{
    Exiv2::Blob blob;
    const auto method = Exiv2::ExifParser::encode(blob, reinterpret_cast<Exiv2::byte*>(original.data()),
                                                  uint32_t(original.size()), order, exif);
    if (method == Exiv2::wmNonIntrusive)
        return original;
    return QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
}

} // namespace

namespace ExifThumbnail {

std::optional<QByteArray> remade(const QByteArray& block, const std::function<QImage()>& stampedPicture,
                                 qsizetype maxBytes)
{
    static const bool quiet = (Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute), true);
    Q_UNUSED(quiet);
    try {
        Exiv2::ExifData exif;
        const auto order = Exiv2::ExifParser::decode(
            exif, reinterpret_cast<const Exiv2::byte*>(block.constData()), uint32_t(block.size()));
        const Exiv2::DataBuf old = Exiv2::ExifThumbC(exif).copy();
        if (old.size_ <= 0)
            return block;
        const QImage oldThumbnail = QImage::fromData(old.pData_, int(old.size_));
        const QSize size = oldThumbnail.isNull() ? QSize(160, 160) : oldThumbnail.size();
        const QByteArray fresh = jpegWithin(stampedPicture(), size);
        Exiv2::ExifThumb thumbnail(exif);
        if (!fresh.isEmpty()) {
            thumbnail.setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(fresh.constData()),
                                       long(fresh.size()));
            if (const QByteArray result = encoded(block, order, exif); result.size() <= maxBytes)
                return result;
        }
        thumbnail.erase();
        const QByteArray result = encoded(block, order, exif);
        return result.size() <= maxBytes ? std::optional(result) : std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

QByteArray jpegWithin(const QImage& picture, QSize size)
{
    return picture.isNull() ? QByteArray()
                            : jpegOf(picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace ExifThumbnail
