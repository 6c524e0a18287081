#include "render/ImageResolution.h"

#include "render/RegularFile.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <functional>

namespace ImageResolution {
namespace {

constexpr double centimetresPerInch = 2.54;
constexpr double metresPerInch = 0.0254;

// Reads exact byte ranges at given offsets: nothing when the range is not wholly there.
using ReadAt = std::function<std::optional<QByteArray>(qint64 offset, qint64 length)>;

// Every read of the file goes through here, against a fixed allowance of bytes and reads, so a
// hostile file can neither make us read much of it nor keep us walking its structure for long.
class FileHead
{
public:
    explicit FileHead(QIODevice& file) : m_file(file) {}

    std::optional<QByteArray> read(qint64 offset, qint64 length)
    {
        if (offset < 0 || length < 0 || length > m_bytesLeft || m_readsLeft <= 0)
            return std::nullopt;
        --m_readsLeft;
        m_bytesLeft -= length;
        if (!m_file.seek(offset))
            return std::nullopt;
        QByteArray bytes = m_file.read(length);
        if (bytes.size() != length)
            return std::nullopt;
        return bytes;
    }

private:
    QIODevice& m_file;
    qint64 m_bytesLeft = 1024 * 1024;
    int m_readsLeft = 1024;
};

ReadAt readerOver(const QByteArray& bytes)
{
    return [&bytes](qint64 offset, qint64 length) -> std::optional<QByteArray> {
        if (offset < 0 || length < 0 || offset > bytes.size() || length > bytes.size() - offset)
            return std::nullopt;
        return bytes.mid(offset, length);
    };
}

// Unsigned integers at a position of a buffer; zero where the buffer is too short, which every
// caller treats as an unusable value.
quint32 unsignedAt(const QByteArray& bytes, qsizetype pos, int size, bool bigEndian)
{
    if (pos < 0 || pos > bytes.size() - size)
        return 0;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData()) + pos;
    if (size == 2)
        return bigEndian ? qFromBigEndian<quint16>(data) : qFromLittleEndian<quint16>(data);
    return bigEndian ? qFromBigEndian<quint32>(data) : qFromLittleEndian<quint32>(data);
}

quint32 big16(const QByteArray& bytes, qsizetype pos)
{
    return unsignedAt(bytes, pos, 2, true);
}

quint32 big32(const QByteArray& bytes, qsizetype pos)
{
    return unsignedAt(bytes, pos, 4, true);
}

// Densities below one dot per inch would lay a design out over a plane metres wide, and zero
// or huge ones come from damaged files; both count as no statement at all.
std::optional<QSizeF> plausible(double x, double y)
{
    const auto usable = [](double dpi) { return std::isfinite(dpi) && dpi >= 1.0 && dpi <= 1.0e6; };
    if (!usable(x) || !usable(y))
        return std::nullopt;
    return QSizeF(x, y);
}

std::optional<QSizeF> fromPng(FileHead& head)
{
    // pHYs must precede the image data, so the walk stops at the first IDAT.
    qint64 pos = 8;
    for (int chunk = 0; chunk < 256; ++chunk) {
        const auto header = head.read(pos, 8);
        if (!header)
            return std::nullopt;
        const quint32 length = big32(*header, 0);
        const QByteArray type = header->mid(4, 4);
        if (type == "IDAT" || type == "IEND")
            return std::nullopt;
        if (type == "pHYs") {
            const auto data = length == 9 ? head.read(pos + 8, 9) : std::nullopt;
            if (!data || data->at(8) != 1) // unit 0 states only the aspect ratio
                return std::nullopt;
            return plausible(big32(*data, 0) * metresPerInch, big32(*data, 4) * metresPerInch);
        }
        pos += 12 + qint64(length);
    }
    return std::nullopt;
}

// The TIFF structure, in a TIFF file or inside an EXIF block: the resolution tags of the first
// directory, which describes the main picture.
std::optional<QSizeF> fromTiff(const ReadAt& read)
{
    const auto header = read(0, 8);
    if (!header)
        return std::nullopt;
    const bool bigEndian = header->startsWith(QByteArray("MM\0*", 4));
    if (!bigEndian && !header->startsWith(QByteArray("II*\0", 4)))
        return std::nullopt;
    const qint64 directory = unsignedAt(*header, 4, 4, bigEndian);
    const auto countBytes = read(directory, 2);
    if (!countBytes)
        return std::nullopt;
    // Tags are stored in ascending order and the resolution tags have low numbers, so a
    // long directory need not be read to its end.
    const qint64 count = std::min<qint64>(unsignedAt(*countBytes, 0, 2, bigEndian), 64);
    const auto entries = read(directory + 2, count * 12);
    if (!entries)
        return std::nullopt;

    const auto value = [&](qsizetype entry) -> std::optional<double> {
        const quint32 type = unsignedAt(*entries, entry + 2, 2, bigEndian);
        if (unsignedAt(*entries, entry + 4, 4, bigEndian) < 1)
            return std::nullopt;
        if (type == 3) // SHORT, held in the entry itself
            return unsignedAt(*entries, entry + 8, 2, bigEndian);
        if (type == 4) // LONG
            return unsignedAt(*entries, entry + 8, 4, bigEndian);
        if (type != 5) // RATIONAL, held elsewhere
            return std::nullopt;
        const auto rational = read(unsignedAt(*entries, entry + 8, 4, bigEndian), 8);
        if (!rational)
            return std::nullopt;
        const quint32 denominator = unsignedAt(*rational, 4, 4, bigEndian);
        if (denominator == 0)
            return std::nullopt;
        return double(unsignedAt(*rational, 0, 4, bigEndian)) / denominator;
    };

    std::optional<double> x;
    std::optional<double> y;
    double unit = 2; // inches, when the file does not say
    for (qsizetype entry = 0; entry < count * 12; entry += 12) {
        const quint32 tag = unsignedAt(*entries, entry, 2, bigEndian);
        if (tag == 282)
            x = value(entry);
        else if (tag == 283)
            y = value(entry);
        else if (tag == 296)
            unit = value(entry).value_or(0);
    }
    if (!x)
        return std::nullopt;
    const double perInch = unit == 2 ? 1.0 : unit == 3 ? centimetresPerInch : 0.0;
    return plausible(*x * perInch, y.value_or(*x) * perInch);
}

std::optional<QSizeF> fromJpeg(FileHead& head)
{
    // JFIF's density wins when it has a unit; otherwise the EXIF block, if any, decides.
    qint64 pos = 2;
    bool exifSeen = false;
    std::optional<QSizeF> exif;
    for (int segment = 0; segment < 256; ++segment) {
        const auto header = head.read(pos, 4);
        if (!header || uchar(header->at(0)) != 0xFF)
            break;
        const uchar marker = uchar(header->at(1));
        if (marker == 0xFF) { // fill byte before a marker
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // image data or end of image: no metadata follows
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // markers without a length
            pos += 2;
            continue;
        }
        const quint32 length = big16(*header, 2);
        if (length < 2)
            break;
        if (marker == 0xE0 || (marker == 0xE1 && !exifSeen)) {
            const auto payload = head.read(pos + 4, length - 2);
            if (!payload)
                break;
            if (marker == 0xE0 && payload->startsWith(QByteArray("JFIF\0", 5)) && payload->size() >= 12) {
                const uchar units = uchar(payload->at(7));
                const double perInch = units == 1 ? 1.0 : units == 2 ? centimetresPerInch : 0.0;
                if (auto dpi = plausible(big16(*payload, 8) * perInch, big16(*payload, 10) * perInch))
                    return dpi;
            } else if (marker == 0xE1 && payload->startsWith(QByteArray("Exif\0\0", 6))) {
                exifSeen = true;
                const QByteArray tiff = payload->mid(6);
                exif = fromTiff(readerOver(tiff));
            }
        }
        pos += 2 + qint64(length);
    }
    return exif;
}

} // namespace

std::optional<QSizeF> dotsPerInch(const QString& path)
{
    auto opened = RegularFile::open(path);
    QFile file;
    if (!opened || !file.open(opened->descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    return dotsPerInch(file);
}

std::optional<QSizeF> dotsPerInch(QIODevice& device)
{
    FileHead head(device);
    const auto magic = head.read(0, 8);
    if (!magic)
        return std::nullopt;
    if (magic->startsWith("\x89PNG\r\n\x1a\n"))
        return fromPng(head);
    if (magic->startsWith("\xFF\xD8\xFF"))
        return fromJpeg(head);
    return fromTiff([&head](qint64 offset, qint64 length) { return head.read(offset, length); });
}

} // namespace ImageResolution
