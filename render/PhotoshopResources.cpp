#include "render/PhotoshopResources.h"

#include <QtEndian>

namespace {

const QByteArray header("Photoshop 3.0\0", 14);
// Thumbnails as Photoshop 4 and as Photoshop 5 and later store them.
constexpr quint16 oldThumbnail = 0x0409, thumbnail = 0x040C;

} // namespace

namespace PhotoshopResources {

QByteArray withoutThumbnails(const QByteArray& payload)
{
    if (!payload.startsWith(header))
        return payload;
    QByteArray kept = header;
    bool dropped = false;
    for (qsizetype at = header.size(); at < payload.size();) {
        // "8BIM", the id, a Pascal name padded to an even length, the size, data padded likewise.
        if (payload.size() - at < 8 || payload.mid(at, 4) != "8BIM")
            return payload;
        const quint16 id = qFromBigEndian<quint16>(payload.constData() + at + 4);
        const qsizetype name = (1 + quint8(payload[at + 6]) + 1) & ~qsizetype(1);
        const qsizetype sizeAt = at + 6 + name;
        if (payload.size() - sizeAt < 4)
            return payload;
        const qsizetype size = qFromBigEndian<quint32>(payload.constData() + sizeAt);
        const qsizetype end = sizeAt + 4 + ((size + 1) & ~qsizetype(1));
        if (end > payload.size() + (size & 1)) // the last block's padding may be missing
            return payload;
        if (id == oldThumbnail || id == thumbnail)
            dropped = true;
        else
            kept += payload.mid(at, end - at);
        at = end;
    }
    return dropped ? kept : payload;
}

QByteArray blocksWithoutThumbnails(const QByteArray& blocks)
{
    return withoutThumbnails(header + blocks).mid(header.size());
}

} // namespace PhotoshopResources
