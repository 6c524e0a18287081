#include "render/JpegXmp.h"

#include "render/XmpThumbnails.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <map>

namespace {

constexpr int app1 = 0xE1;
constexpr qsizetype segmentLimit = 65533; // a segment's payload, after its two length bytes
const QByteArray mainHeader("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray extendedHeader("http://ns.adobe.com/xmp/extension/\0", 35);
// After the header: the digest of the whole extended packet in 32 hexadecimal digits, its
// length and this piece's offset in it.
constexpr qsizetype digestSize = 32, pieceHeader = 35 + digestSize + 8;
// Adobe's own writers cut extended packets into pieces of this size at most.
constexpr qsizetype pieceSize = 65400;

struct Extended
{
    std::vector<size_t> pieces; // indices of its segments
    QByteArray packet;
    qsizetype filled = 0;
};

bool isMain(const JpegSegment& segment)
{
    return segment.marker == app1 && segment.payload.startsWith(mainHeader);
}

// The extended packets whose pieces are all there and fit, by digest.
std::map<QByteArray, Extended> extendedPackets(const std::vector<JpegSegment>& segments)
{
    std::map<QByteArray, Extended> found;
    for (size_t i = 0; i < segments.size(); ++i) {
        const QByteArray& payload = segments[i].payload;
        if (segments[i].marker != app1 || !payload.startsWith(extendedHeader) || payload.size() < pieceHeader)
            continue;
        Extended& extended = found[payload.mid(extendedHeader.size(), digestSize)];
        const qsizetype length = qFromBigEndian<quint32>(payload.constData() + pieceHeader - 8);
        const qsizetype offset = qFromBigEndian<quint32>(payload.constData() + pieceHeader - 4);
        const qsizetype size = payload.size() - pieceHeader;
        if (extended.pieces.empty() && length <= qsizetype(segments.size()) * segmentLimit)
            extended.packet = QByteArray(length, '\0');
        if (offset + size > extended.packet.size() || length != extended.packet.size())
            extended.filled = -1; // damaged: never complete
        else if (extended.filled >= 0) {
            std::copy_n(payload.constData() + pieceHeader, size, extended.packet.data() + offset);
            extended.filled += size;
        }
        extended.pieces.push_back(i);
    }
    std::erase_if(found, [](const auto& entry) { return entry.second.filled != entry.second.packet.size(); });
    return found;
}

std::vector<JpegSegment> piecesOf(const QByteArray& packet, const QByteArray& digest)
{
    std::vector<JpegSegment> pieces;
    for (qsizetype offset = 0; offset < packet.size(); offset += pieceSize) {
        QByteArray numbers(8, '\0');
        qToBigEndian(quint32(packet.size()), numbers.data());
        qToBigEndian(quint32(offset), numbers.data() + 4);
        pieces.push_back({app1, extendedHeader + digest + numbers + packet.mid(offset, pieceSize)});
    }
    return pieces;
}

} // namespace

namespace JpegXmp {

void remakeThumbnails(std::vector<JpegSegment>& segments, const std::function<QImage()>& stampedPicture)
{
    const auto main = std::find_if(segments.begin(), segments.end(), isMain);
    if (main != segments.end())
        if (const auto packet = XmpThumbnails::remade(main->payload.mid(mainHeader.size()), stampedPicture,
                                                      segmentLimit - mainHeader.size()))
            main->payload = mainHeader + *packet;
    // Each extended packet remade goes where its first piece was, its other pieces dropped.
    std::vector<std::pair<size_t, std::vector<JpegSegment>>> replacements;
    std::vector<size_t> dropped;
    for (const auto& [digest, extended] : extendedPackets(segments)) {
        const auto packet = XmpThumbnails::remade(extended.packet, stampedPicture, 1 << 30);
        if (!packet || *packet == extended.packet)
            continue;
        const QByteArray fresh = QCryptographicHash::hash(*packet, QCryptographicHash::Md5).toHex().toUpper();
        if (main != segments.end())
            main->payload.replace(digest, fresh);
        replacements.emplace_back(extended.pieces.front(), piecesOf(*packet, fresh));
        dropped.insert(dropped.end(), extended.pieces.begin() + 1, extended.pieces.end());
    }
    if (replacements.empty())
        return;
    std::vector<JpegSegment> result;
    for (size_t i = 0; i < segments.size(); ++i) {
        const auto replaced = std::find_if(replacements.begin(), replacements.end(),
                                           [i](const auto& entry) { return entry.first == i; });
        if (replaced != replacements.end())
            result.insert(result.end(), replaced->second.begin(), replaced->second.end());
        else if (std::find(dropped.begin(), dropped.end(), i) == dropped.end())
            result.push_back(std::move(segments[i]));
    }
    segments = std::move(result);
}

} // namespace JpegXmp
