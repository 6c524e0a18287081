#include "render/XmpThumbnails.h"

#include "render/ExifThumbnail.h"
#include "render/XmpToolkit.h"

#include <exiv2/exiv2.hpp>

#include <string>
#include <vector>

namespace {

const QByteArray imageNamespace("http://ns.adobe.com/xap/1.0/g/img/");
const std::string imageField = "/xmpGImg:image";
// Where no size is stated and the old thumbnail does not decode: what Adobe's programs write.
constexpr int defaultSide = 256;
// Past any thumbnail: a larger size stated is damage, and is not drawn.
constexpr int largestSide = 2048;

// The keys of the structures holding a thumbnail, "Xmp.xmp.Thumbnails[1]" and the like.
std::vector<std::string> thumbnailsIn(const Exiv2::XmpData& xmp)
{
    std::vector<std::string> found;
    for (const auto& datum : xmp) {
        const std::string key = datum.key();
        if (key.size() > imageField.size() && key.ends_with(imageField))
            found.push_back(key.substr(0, key.size() - imageField.size()));
    }
    return found;
}

int numberAt(const Exiv2::XmpData& xmp, const std::string& key)
{
    const auto found = xmp.findKey(Exiv2::XmpKey(key));
    return found == xmp.end() ? 0 : QByteArray::fromStdString(found->toString()).trimmed().toInt();
}

QSize thumbnailSize(const Exiv2::XmpData& xmp, const std::string& structure)
{
    const QSize stated(numberAt(xmp, structure + "/xmpGImg:width"),
                       numberAt(xmp, structure + "/xmpGImg:height"));
    if (!stated.isEmpty())
        return stated.boundedTo(QSize(largestSide, largestSide));
    const auto image = xmp.findKey(Exiv2::XmpKey(structure + imageField));
    const QImage old = QImage::fromData(QByteArray::fromBase64(QByteArray::fromStdString(image->toString())));
    return old.isNull() ? QSize(defaultSide, defaultSide)
                        : old.size().boundedTo(QSize(largestSide, largestSide));
}

// Every property the thumbnails lie in: a whole array of them when they are its items.
void dropThumbnails(Exiv2::XmpData& xmp, const std::vector<std::string>& structures)
{
    for (std::string structure : structures) {
        if (structure.ends_with(']'))
            structure.erase(structure.rfind('['));
        for (auto datum = xmp.begin(); datum != xmp.end();) {
            const std::string key = datum->key();
            const bool within =
                key.starts_with(structure) && (key.size() == structure.size() ||
                                               key[structure.size()] == '[' || key[structure.size()] == '/');
            datum = within ? xmp.erase(datum) : std::next(datum);
        }
    }
}

bool remakeThumbnails(Exiv2::XmpData& xmp, const std::vector<std::string>& structures, const QImage& picture)
{
    for (const std::string& structure : structures) {
        const QByteArray jpeg = ExifThumbnail::jpegWithin(picture, thumbnailSize(xmp, structure));
        const QImage made = QImage::fromData(jpeg);
        if (made.isNull())
            return false;
        xmp[structure + "/xmpGImg:format"] = "JPEG";
        xmp[structure + "/xmpGImg:width"] = std::to_string(made.width());
        xmp[structure + "/xmpGImg:height"] = std::to_string(made.height());
        xmp[structure + imageField] = jpeg.toBase64().toStdString();
    }
    return true;
}

// A packet is written back in the wrapper it came in or without one, as it came.
std::optional<QByteArray> encoded(const Exiv2::XmpData& xmp, bool wrapped)
{
    std::string packet;
    const uint16_t flags =
        Exiv2::XmpParser::useCompactFormat | (wrapped ? 0 : Exiv2::XmpParser::omitPacketWrapper);
    if (Exiv2::XmpParser::encode(packet, xmp, flags) != 0)
        return std::nullopt;
    return QByteArray::fromStdString(packet);
}

} // namespace

namespace XmpThumbnails {

bool mayHold(const QByteArray& packet)
{
    return packet.contains(imageNamespace);
}

std::optional<QByteArray> remade(const QByteArray& packet, const std::function<QImage()>& stampedPicture,
                                 qsizetype maxBytes)
{
    if (!mayHold(packet))
        return packet;
    if (!XmpToolkit::ready())
        return std::nullopt;
    try {
        Exiv2::XmpData xmp;
        if (Exiv2::XmpParser::decode(xmp, packet.toStdString()) != 0)
            return std::nullopt;
        const std::vector<std::string> structures = thumbnailsIn(xmp);
        if (structures.empty())
            return packet;
        const bool wrapped = packet.trimmed().startsWith("<?xpacket");
        if (Exiv2::XmpData fresh = xmp; remakeThumbnails(fresh, structures, stampedPicture())) {
            if (auto result = encoded(fresh, wrapped); result && result->size() <= maxBytes)
                return result;
        }
        dropThumbnails(xmp, structures);
        auto result = encoded(xmp, wrapped);
        return result && result->size() <= maxBytes ? result : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace XmpThumbnails
