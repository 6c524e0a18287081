#pragma once

#include <QByteArray>
#include <QImage>

#include <functional>
#include <optional>

// The thumbnails an XMP packet carries (xmpGImg:image, base64 JPEG, as under xmp:Thumbnails),
// which would show the picture as it was before stamping.
namespace XmpThumbnails {

// Whether the packet names the thumbnail namespace at all; a packet that does not is left alone.
bool mayHold(const QByteArray& packet);

// The packet with each thumbnail made anew from stampedPicture at the old one's size, as JPEG
// (its width, height and format with it), or with its thumbnails dropped when stampedPicture
// gives a null picture or the packet would outgrow maxBytes. The packet as it was when it holds
// no thumbnail; nothing when Exiv2 cannot read it. stampedPicture is asked for only when there
// is a thumbnail to make.
std::optional<QByteArray> remade(const QByteArray& packet, const std::function<QImage()>& stampedPicture,
                                 qsizetype maxBytes);

} // namespace XmpThumbnails
