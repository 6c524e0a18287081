#include "render/TiffExifRationals.h"

#include "render/XmpToolkit.h"

#include <QIODevice>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace {

constexpr quint32 exifDirectoryTag = 34665;
constexpr quint32 rationalType = 5, signedRationalType = 10;

// The written file as classic TIFF: numbers in its byte order, read and written in place.
struct Written
{
    QIODevice& file;
    bool littleEndian = true;

    std::optional<QByteArray> bytesAt(qint64 offset, qint64 length) const
    {
        if (offset + length > file.size() || !file.seek(offset))
            return std::nullopt;
        QByteArray bytes = file.read(length);
        return bytes.size() == length ? std::optional(bytes) : std::nullopt;
    }

    std::optional<quint32> numberAt(qint64 offset, int length) const
    {
        const auto bytes = bytesAt(offset, length);
        if (!bytes)
            return std::nullopt;
        quint32 number = 0;
        for (int i = 0; i < length; ++i) {
            const quint32 byte = uchar(bytes->at(littleEndian ? length - 1 - i : i));
            number = number << 8 | byte;
        }
        return number;
    }
};

// Exiv2 0.27 hands values and images out in a std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
// Whether stored holds exact's values as single precision rounds them, and not other values the
// writer chose.
bool roundedFrom(const QByteArray& stored, const Exiv2::Exifdatum& exact, bool littleEndian)
{
    const Exiv2::Value::AutoPtr written = Exiv2::Value::create(exact.typeId());
    written->read(reinterpret_cast<const Exiv2::byte*>(stored.constData()), long(stored.size()),
                  littleEndian ? Exiv2::littleEndian : Exiv2::bigEndian);
    for (long i = 0; i < exact.count(); ++i) {
        const double wanted = exact.toFloat(i);
        if (std::abs(double(written->toFloat(i)) - wanted) > 1e-6 * std::max(std::abs(wanted), 1e-30))
            return false;
    }
    return true;
}

// Sets each rational entry of the directory at offset to exact's value of the same tag in group,
// where exact has one of the entry's type and count: false when a write failed. The EXIF
// directory's offset goes into exifOffset when the directory points to one.
bool restoreDirectory(const Written& tiff, quint32 offset, const Exiv2::ExifData& exact,
                      const std::string& group, quint32& exifOffset)
{
    const auto entries = tiff.numberAt(offset, 2);
    for (quint32 i = 0; entries && i < *entries; ++i) {
        const qint64 entry = qint64(offset) + 2 + 12 * qint64(i);
        const auto tag = tiff.numberAt(entry, 2), type = tiff.numberAt(entry + 2, 2);
        const auto count = tiff.numberAt(entry + 4, 4), valueOffset = tiff.numberAt(entry + 8, 4);
        if (!tag || !type || !count || !valueOffset)
            return true;
        if (*tag == exifDirectoryTag)
            exifOffset = *valueOffset;
        if (*type != rationalType && *type != signedRationalType)
            continue;
        const auto found = exact.findKey(Exiv2::ExifKey(quint16(*tag), group));
        const auto wanted = *type == rationalType ? Exiv2::unsignedRational : Exiv2::signedRational;
        if (found == exact.end() || found->typeId() != wanted || quint32(found->count()) != *count)
            continue;
        QByteArray value(found->size(), '\0');
        found->copy(reinterpret_cast<Exiv2::byte*>(value.data()),
                    tiff.littleEndian ? Exiv2::littleEndian : Exiv2::bigEndian);
        const auto stored = tiff.bytesAt(*valueOffset, value.size());
        if (stored && *stored != value && roundedFrom(*stored, *found, tiff.littleEndian) &&
            (!tiff.file.seek(*valueOffset) || tiff.file.write(value) != value.size()))
            return false;
    }
    return true;
}

std::optional<Exiv2::ExifData> exifOf(int descriptor)
{
    try {
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open("/proc/self/fd/" + std::to_string(descriptor));
        image->readMetadata();
        return image->exifData();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
#pragma GCC diagnostic pop

} // namespace

namespace TiffExifRationals {

bool restore(int inputDescriptor, QIODevice& output)
{
    Written tiff{output};
    const auto header = tiff.bytesAt(0, 4);
    if (!header || (*header != QByteArray("II*\0", 4) && *header != QByteArray("MM\0*", 4)))
        return true; // BigTIFF, whose entries this does not read
    tiff.littleEndian = header->startsWith("II");
    const auto first = tiff.numberAt(4, 4);
    const auto exact = XmpToolkit::ready() && first ? exifOf(inputDescriptor) : std::nullopt;
    if (!exact)
        return true;
    quint32 exifOffset = 0, none = 0;
    if (!restoreDirectory(tiff, *first, *exact, "Image", exifOffset))
        return false;
    return exifOffset == 0 || restoreDirectory(tiff, exifOffset, *exact, "Photo", none);
}

} // namespace TiffExifRationals
