#include "render/PngXmp.h"

#include "render/XmpThumbnails.h"

#include <limits>
#include <optional>

#include <zlib.h>

namespace {

const QByteArray keyword("XML:com.adobe.xmp\0", 18);
// A packet inflating past this is no XMP anyone writes.
constexpr qsizetype inflateLimit = 64 << 20;

std::optional<QByteArray> inflated(const QByteArray& data)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return std::nullopt;
    QByteArray result;
    char buffer[1 << 14];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    int status = Z_OK;
    while (status == Z_OK && result.size() < inflateLimit) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        result.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? std::optional(result) : std::nullopt;
}

QByteArray deflated(const QByteArray& data)
{
    return qCompress(data).mid(4); // Qt's length prefix, then the zlib stream
}

} // namespace

namespace PngXmp {

PngChunks::Chunk remade(const PngChunks::Chunk& chunk, const std::function<QImage()>& stampedPicture)
{
    const QByteArray data = chunk.data();
    if (chunk.type != "iTXt" || !data.startsWith(keyword) || data.size() < keyword.size() + 2)
        return chunk;
    // The compression flag and method, then the language and the translated keyword.
    const bool compressed = data[keyword.size()] != 0;
    const qsizetype language = data.indexOf('\0', keyword.size() + 2);
    const qsizetype text = language < 0 ? -1 : data.indexOf('\0', language + 1) + 1;
    if (text <= 0)
        return chunk;
    const QByteArray stored = data.mid(text);
    const auto packet = compressed ? inflated(stored) : std::optional(stored);
    if (!packet || !XmpThumbnails::mayHold(*packet))
        return chunk;
    const auto fresh = XmpThumbnails::remade(*packet, stampedPicture, std::numeric_limits<qint32>::max() / 2);
    if (!fresh || *fresh == *packet)
        return chunk;
    return chunk.withData(data.left(text) + (compressed ? deflated(*fresh) : *fresh));
}

} // namespace PngXmp
