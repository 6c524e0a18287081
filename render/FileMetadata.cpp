#include "render/FileMetadata.h"

#include "render/RegularFile.h"
#include "render/XmpToolkit.h"

#include <exiv2/exiv2.hpp>

#include <memory>
#include <optional>

namespace {

// Exiv2 0.27 hands images out in a std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct Read
{
    Exiv2::ExifData exif;
    Exiv2::XmpData xmp;
    Exiv2::IptcData iptc;
};

// Through the descriptor the check opened, so nothing swapped in under the name (a FIFO that
// would block the read) is read instead.
std::optional<Read> readMetadata(const QString& path)
{
    auto file = RegularFile::open(path);
    if (!XmpToolkit::ready() || !file)
        return std::nullopt;
    try {
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open("/proc/self/fd/" + std::to_string(file->descriptor()));
        image->readMetadata();
        return Read{image->exifData(), image->xmpData(), image->iptcData()};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
#pragma GCC diagnostic pop

QString textOf(const Exiv2::Metadatum& datum)
{
    if (datum.value().typeId() == Exiv2::langAlt) // the default language's text, without its tag
        return QString::fromStdString(static_cast<const Exiv2::LangAltValue&>(datum.value()).toString(0));
    return QString::fromStdString(datum.toString()).trimmed();
}

template <typename Data, typename Key> QString valueAt(const Data& data, const std::string& key)
{
    const auto found = data.findKey(Key(key));
    return found == data.end() ? QString() : textOf(*found);
}

template <typename Data> QString valueNamed(const Data& data, const std::string& tagName)
{
    for (const auto& datum : data) {
        if (datum.tagName() == tagName)
            return textOf(datum);
    }
    return {};
}

QString valueOf(const Read& read, const QString& key)
{
    const std::string name = key.toStdString();
    try {
        if (key.startsWith(QLatin1String("Exif.")))
            return valueAt<Exiv2::ExifData, Exiv2::ExifKey>(read.exif, name);
        if (key.startsWith(QLatin1String("Xmp.")))
            return valueAt<Exiv2::XmpData, Exiv2::XmpKey>(read.xmp, name);
        if (key.startsWith(QLatin1String("Iptc.")))
            return valueAt<Exiv2::IptcData, Exiv2::IptcKey>(read.iptc, name);
    } catch (const std::exception&) {
        return {}; // a key Exiv2 does not know
    }
    const QString exif = valueNamed(read.exif, name);
    return exif.isEmpty() ? valueNamed(read.xmp, name) : exif;
}

} // namespace

namespace FileMetadata {

std::function<QString(const QString& key)> of(const QString& path)
{
    auto read = std::make_shared<std::optional<std::optional<Read>>>();
    return [read, path](const QString& key) {
        if (!*read)
            *read = readMetadata(path);
        return **read ? valueOf(***read, key) : QString();
    };
}

} // namespace FileMetadata
