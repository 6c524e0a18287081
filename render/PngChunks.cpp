#include "render/PngChunks.h"

#include <QtEndian>

#include <algorithm>

#include <zlib.h>

namespace {

const QByteArray signature("\x89PNG\r\n\x1a\n", 8);

// IHDR's colour type and bit depth.
QByteArray layoutOf(const std::vector<PngChunks::Chunk>& chunks)
{
    const auto header =
        std::find_if(chunks.begin(), chunks.end(), [](const auto& c) { return c.type == "IHDR"; });
    return header == chunks.end() ? QByteArray() : header->data().mid(8, 2);
}

bool isGrey(const QByteArray& layout)
{
    return layout.size() == 2 && (layout[1] == 0 || layout[1] == 4);
}

} // namespace

namespace PngChunks {

Chunk Chunk::withData(const QByteArray& data) const
{
    QByteArray made(4, '\0');
    qToBigEndian(quint32(data.size()), made.data());
    made += type + data;
    const auto crc = quint32(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(made.constData() + 4),
                                   uInt(made.size() - 4)));
    made.resize(made.size() + 4);
    qToBigEndian(crc, made.data() + made.size() - 4);
    return {type, made};
}

std::optional<std::vector<Chunk>> split(const QByteArray& png)
{
    if (!png.startsWith(signature))
        return std::nullopt;
    std::vector<Chunk> chunks;
    for (qsizetype at = signature.size(); at + 12 <= png.size();) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (length > quint32(png.size() - at - 12))
            return std::nullopt;
        chunks.push_back({png.mid(at + 4, 4), png.mid(at, qsizetype(length) + 12)});
        at += qsizetype(length) + 12;
        if (chunks.back().type == "IEND")
            return chunks;
    }
    return std::nullopt;
}

QByteArray withPicture(const std::vector<Chunk>& input, const std::vector<Chunk>& stamped)
{
    const QByteArray was = layoutOf(input), is = layoutOf(stamped);
    const bool sameLayout = was == is;
    const auto own = [&](const QByteArray& type) {
        return std::find_if(stamped.begin(), stamped.end(), [&](const Chunk& c) { return c.type == type; });
    };
    // A palette may have gained colours, so it and its transparency come from the stamped picture.
    const bool ownColours = !sameLayout || own("PLTE") != stamped.end();
    const auto replaced = [&](const QByteArray& type) {
        return type == "IHDR" || type == "IDAT" || (ownColours && (type == "PLTE" || type == "tRNS"));
    };
    const auto dropped = [&](const QByteArray& type) {
        return (ownColours && type == "hIST") ||
               (!sameLayout &&
                (type == "bKGD" || type == "sBIT" || (type == "iCCP" && isGrey(was) && !isGrey(is))));
    };
    QByteArray out = signature;
    std::vector<QByteArray> placed;
    const auto place = [&](const QByteArray& type) {
        if (std::find(placed.begin(), placed.end(), type) != placed.end())
            return;
        placed.push_back(type);
        for (const Chunk& chunk : stamped)
            if (chunk.type == type)
                out += chunk.whole;
    };
    for (const Chunk& chunk : input) {
        if (chunk.type == "IDAT" && ownColours) {
            place("PLTE");
            place("tRNS");
        }
        if (replaced(chunk.type))
            place(chunk.type);
        else if (!dropped(chunk.type))
            out += chunk.whole;
    }
    return out;
}

} // namespace PngChunks
