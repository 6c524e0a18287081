#include "render/TiffExifRationals.h"

#include "render/XmpToolkit.h"

#include <QIODevice>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace {

constexpr quint16 exifDirectoryTag = 34665;
constexpr quint16 rationalType = 5, signedRationalType = 10;

// The written file as classic TIFF, read and written in place.
struct Written
{
    QIODevice& file;
    Exiv2::ByteOrder order = Exiv2::littleEndian;

    std::optional<QByteArray> bytesAt(qint64 offset, qint64 length) const
    {
        if (offset + length > file.size() || !file.seek(offset))
            return std::nullopt;
        QByteArray bytes = file.read(length);
        return bytes.size() == length ? std::optional(bytes) : std::nullopt;
    }
};

const Exiv2::byte* bytesOf(const QByteArray& bytes)
{
    return reinterpret_cast<const Exiv2::byte*>(bytes.constData());
}

// Exiv2 0.27 hands values and images out in a std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
// Whether stored holds exact's values as single precision rounds them, and not other values the
// writer chose.
bool roundedFrom(const QByteArray& stored, const Exiv2::Exifdatum& exact, Exiv2::ByteOrder order)
{
    const Exiv2::Value::AutoPtr written = Exiv2::Value::create(exact.typeId());
    written->read(bytesOf(stored), long(stored.size()), order);
    for (long i = 0; i < exact.count(); ++i) {
        const double wanted = exact.toFloat(i);
        if (std::abs(double(written->toFloat(i)) - wanted) > 1e-6 * std::max(std::abs(wanted), 1e-30))
            return false;
    }
    return true;
}

// Sets each rational entry of the directory at offset to exact's value of the same tag in group,
// where exact has one of the entry's type and count. The EXIF directory's offset goes into
// exifOffset when the directory points to one.
void restoreDirectory(const Written& tiff, quint32 offset, const Exiv2::ExifData& exact,
                      const std::string& group, quint32& exifOffset)
{
    const auto entries = tiff.bytesAt(offset, 2);
    const int total = entries ? Exiv2::getUShort(bytesOf(*entries), tiff.order) : 0;
    for (int i = 0; i < total; ++i) {
        const auto entry = tiff.bytesAt(qint64(offset) + 2 + 12 * qint64(i), 12);
        if (!entry)
            return;
        const Exiv2::byte* field = bytesOf(*entry);
        const quint16 tag = Exiv2::getUShort(field, tiff.order),
                      type = Exiv2::getUShort(field + 2, tiff.order);
        const quint32 count = Exiv2::getULong(field + 4, tiff.order),
                      valueOffset = Exiv2::getULong(field + 8, tiff.order);
        if (tag == exifDirectoryTag)
            exifOffset = valueOffset;
        if (type != rationalType && type != signedRationalType)
            continue;
        const auto found = exact.findKey(Exiv2::ExifKey(tag, group));
        const auto wanted = type == rationalType ? Exiv2::unsignedRational : Exiv2::signedRational;
        if (found == exact.end() || found->typeId() != wanted || quint32(found->count()) != count)
            continue;
        QByteArray value(found->size(), '\0');
        found->copy(reinterpret_cast<Exiv2::byte*>(value.data()), tiff.order);
        const auto stored = tiff.bytesAt(valueOffset, value.size());
        // A failed write is the output's to report when it is committed.
        if (stored && *stored != value && roundedFrom(*stored, *found, tiff.order) &&
            tiff.file.seek(valueOffset))
            tiff.file.write(value);
    }
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

void restore(int inputDescriptor, QIODevice& output)
{
    Written tiff{output};
    const auto header = tiff.bytesAt(0, 8);
    if (!header ||
        (!header->startsWith(QByteArray("II*\0", 4)) && !header->startsWith(QByteArray("MM\0*", 4))))
        return; // BigTIFF, whose entries this does not read
    tiff.order = header->startsWith("II") ? Exiv2::littleEndian : Exiv2::bigEndian;
    const auto exact = XmpToolkit::ready() ? exifOf(inputDescriptor) : std::nullopt;
    if (!exact)
        return;
    const quint32 first = Exiv2::getULong(bytesOf(*header) + 4, tiff.order);
    quint32 exifOffset = 0, none = 0;
    try {
        restoreDirectory(tiff, first, *exact, "Image", exifOffset);
        if (exifOffset != 0)
            restoreDirectory(tiff, exifOffset, *exact, "Photo", none);
    } catch (const std::exception&) {
        // Exiv2 refused a tag; what was already set is exact.
    }
}

} // namespace TiffExifRationals
