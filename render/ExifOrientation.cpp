#include "render/ExifOrientation.h"

#include <exiv2/exiv2.hpp>

namespace ExifOrientation {

QImageIOHandler::Transformations of(const QByteArray& block)
{
    static const bool quiet = (Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute), true);
    Q_UNUSED(quiet);
    try {
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(block.constData()),
                                  uint32_t(block.size()));
        const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (found == exif.end() || found->count() == 0)
            return QImageIOHandler::TransformationNone;
        return transformation(found->toLong());
    } catch (...) {
        return QImageIOHandler::TransformationNone;
    }
}

QImageIOHandler::Transformations transformation(long orientation)
{
    using T = QImageIOHandler;
    switch (orientation) {
    case 2:
        return T::TransformationMirror;
    case 3:
        return T::TransformationRotate180;
    case 4:
        return T::TransformationFlip;
    case 5:
        return T::TransformationFlipAndRotate90;
    case 6:
        return T::TransformationRotate90;
    case 7:
        return T::TransformationMirrorAndRotate90;
    case 8:
        return T::TransformationRotate270;
    default:
        return T::TransformationNone;
    }
}

} // namespace ExifOrientation
