#include "render/TiffCustomDirectory.h"

#include <cstring>

#include <tiffio.h>

namespace {

// A value libtiff hands over one at a time, rather than through a pointer.
bool isSingle(const TIFFField* field)
{
    return !TIFFFieldPassCount(field) && TIFFFieldDataType(field) != TIFF_ASCII &&
           TIFFFieldReadCount(field) == 1;
}

// libtiff takes a single value as C's variadic promotion of its type.
bool setSingle(TIFF* out, const TIFFField* field, uint32_t tag, const QByteArray& bytes)
{
    const auto as = [&bytes]<typename T>(T value) {
        std::memcpy(&value, bytes.constData(), std::min(sizeof value, size_t(bytes.size())));
        return value;
    };
    switch (TIFFFieldDataType(field)) {
    case TIFF_BYTE:
    case TIFF_UNDEFINED:
        return TIFFSetField(out, tag, int(as(uint8_t())));
    case TIFF_SBYTE:
        return TIFFSetField(out, tag, int(as(int8_t())));
    case TIFF_SHORT:
        return TIFFSetField(out, tag, int(as(uint16_t())));
    case TIFF_SSHORT:
        return TIFFSetField(out, tag, int(as(int16_t())));
    case TIFF_LONG8:
    case TIFF_SLONG8:
    case TIFF_IFD8:
        return TIFFSetField(out, tag, as(uint64_t()));
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
    case TIFF_FLOAT:
    case TIFF_DOUBLE:
        return TIFFSetField(out, tag, bytes.size() == 8 ? as(double()) : double(as(float())));
    default:
        return TIFFSetField(out, tag, as(uint32_t()));
    }
}

uint64_t offsetIn(const QByteArray& bytes)
{
    if (bytes.size() == 8) {
        uint64_t offset = 0;
        std::memcpy(&offset, bytes.constData(), 8);
        return offset;
    }
    uint32_t offset = 0;
    std::memcpy(&offset, bytes.constData(), std::min<size_t>(4, size_t(bytes.size())));
    return offset;
}

// libtiff starts a private directory without letting go of the values of the one before.
bool createDirectory(TIFF* out, TiffCustomDirectory::Kind kind)
{
    TIFFFreeDirectory(out);
    return (kind == TiffCustomDirectory::Kind::gps ? TIFFCreateGPSDirectory(out)
                                                   : TIFFCreateEXIFDirectory(out)) == 0;
}

} // namespace

uint32_t TiffCustomDirectory::pointerTag(Kind kind)
{
    return kind == Kind::gps ? TIFFTAG_GPSIFD : TIFFTAG_EXIFIFD;
}

std::optional<TiffCustomDirectory> TiffCustomDirectory::readFrom(TIFF* tiff, Kind kind)
{
    uint64_t offset = 0;
    if (!TIFFGetField(tiff, pointerTag(kind), &offset) || offset == 0)
        return std::nullopt;
    const tdir_t page = TIFFCurrentDirectory(tiff);
    auto directory = readAt(tiff, kind, offset);
    if (!TIFFSetDirectory(tiff, page))
        return std::nullopt;
    return directory;
}

std::optional<TiffCustomDirectory> TiffCustomDirectory::readAt(TIFF* tiff, Kind kind, uint64_t offset)
{
    if (!(kind == Kind::gps ? TIFFReadGPSDirectory(tiff, offset) : TIFFReadEXIFDirectory(tiff, offset)))
        return std::nullopt;
    TiffCustomDirectory directory;
    directory.m_kind = kind;
    std::optional<uint64_t> inner;
    for (int i = 0, tags = TIFFGetTagListCount(tiff); i < tags; ++i) {
        Value value;
        value.tag = TIFFGetTagListEntry(tiff, i);
        const TIFFField* field = TIFFFieldWithTag(tiff, value.tag);
        if (!field)
            continue;
        value.type = uint16_t(TIFFFieldDataType(field));
        const void* data = nullptr;
        bool read = false;
        if (TIFFFieldPassCount(field)) {
            uint16_t shortCount = 0;
            read = TIFFFieldSetGetCountSize(field) == 4 ? TIFFGetField(tiff, value.tag, &value.count, &data)
                                                        : TIFFGetField(tiff, value.tag, &shortCount, &data);
            value.count = std::max<uint32_t>(value.count, shortCount);
        } else if (value.type == TIFF_ASCII) {
            read = TIFFGetField(tiff, value.tag, &data);
            value.count = data ? uint32_t(std::strlen(static_cast<const char*>(data))) : 0;
        } else if (isSingle(field)) {
            value.bytes = QByteArray(8, '\0');
            read = TIFFGetField(tiff, value.tag, value.bytes.data());
            value.bytes.truncate(TIFFFieldSetGetSize(field));
            value.count = 1;
        } else {
            read = TIFFGetField(tiff, value.tag, &data);
            value.count = uint32_t(std::max(TIFFFieldReadCount(field), 0));
        }
        if (!read)
            continue;
        if (data)
            value.bytes = QByteArray(static_cast<const char*>(data),
                                     qsizetype(value.count) *
                                         (value.type == TIFF_ASCII ? 1 : TIFFFieldSetGetSize(field)));
        if (kind == Kind::exif && value.tag == TIFFTAG_INTEROPERABILITYIFD)
            inner = offsetIn(value.bytes); // written anew with the directory's new place
        else
            directory.m_values.push_back(std::move(value));
    }
    // Its tags are not EXIF's, so libtiff keeps them as they are stored.
    if (inner)
        if (auto interoperability = readAt(tiff, Kind::exif, *inner))
            directory.m_inner = std::make_shared<const TiffCustomDirectory>(std::move(*interoperability));
    return directory;
}

bool TiffCustomDirectory::setValues(TIFF* out, std::optional<uint64_t> innerOffset) const
{
    std::vector<Value> values = m_values;
    if (innerOffset) {
        const auto offset = uint32_t(*innerOffset);
        values.push_back({TIFFTAG_INTEROPERABILITYIFD, TIFF_LONG, 1,
                          QByteArray(reinterpret_cast<const char*>(&offset), sizeof offset)});
    }
    for (const Value& value : values) {
        const TIFFField* field = TIFFFindField(out, value.tag, TIFF_ANY);
        if (!field || (TIFFFieldIsAnonymous(field) && TIFFFieldDataType(field) != TIFFDataType(value.type))) {
            // The writer learns a tag EXIF does not know as the reader did: any count, passed with it.
            static char name[] = "private";
            const TIFFFieldInfo info{
                value.tag, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFFDataType(value.type), FIELD_CUSTOM, 1, 1,
                name};
            if (TIFFMergeFieldInfo(out, &info, 1) != 0)
                return false;
            field = TIFFFindField(out, value.tag, TIFFDataType(value.type));
        }
        const bool set =
            TIFFFieldPassCount(field) ? TIFFSetField(out, value.tag, value.count, value.bytes.constData())
            : TIFFFieldDataType(field) == TIFF_ASCII ? TIFFSetField(out, value.tag, value.bytes.constData())
            : isSingle(field)                        ? setSingle(out, field, value.tag, value.bytes)
                                                     : TIFFSetField(out, value.tag, value.bytes.constData());
        if (!set)
            return false;
    }
    return true;
}

std::optional<uint64_t> TiffCustomDirectory::write(TIFF* out) const
{
    std::optional<uint64_t> innerOffset;
    if (m_inner && !(innerOffset = m_inner->write(out)))
        return std::nullopt;
    uint64_t offset = 0;
    if (!createDirectory(out, m_kind) || !setValues(out, innerOffset) ||
        !TIFFWriteCustomDirectory(out, &offset))
        return std::nullopt;
    return offset;
}

std::optional<uint64_t> TiffCustomDirectory::writeTo(TIFF* out) const
{
    const auto offset = write(out);
    // The page that points here starts afresh, not among this directory's values.
    TIFFFreeDirectory(out);
    TIFFCreateDirectory(out);
    return offset;
}
