#pragma once

#include <QByteArray>
#include <QImage>

#include <functional>
#include <optional>

// The thumbnail an EXIF block carries (IFD1), which would show the picture as it was before
// stamping.
namespace ExifThumbnail {

// The EXIF block (TIFF header first) with its thumbnail made anew from stampedPicture, at the
// old thumbnail's size or within it, or without a thumbnail when the new one would not fit in
// maxBytes. The block as it was when it holds no thumbnail; nothing when Exiv2 cannot read it.
// stampedPicture is asked for only when there is a thumbnail to make.
std::optional<QByteArray> remade(const QByteArray& block, const std::function<QImage()>& stampedPicture,
                                 qsizetype maxBytes);

// The picture scaled within size as a thumbnail JPEG, without a colour profile (thumbnails carry
// none); empty when it could not be encoded.
QByteArray jpegWithin(const QImage& picture, QSize size);

} // namespace ExifThumbnail
