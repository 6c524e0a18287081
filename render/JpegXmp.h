#pragma once

#include "render/JpegSegment.h"

#include <QImage>

#include <functional>
#include <vector>

// The XMP a JPEG carries in APP1: one packet, and the extended packet in pieces after it when
// the whole outgrows a segment.
namespace JpegXmp {

// Remakes the thumbnails of the packet and of each complete extended packet from stampedPicture
// (see XmpThumbnails::remade), in place among the segments. An extended packet remade is cut
// into pieces again under its new digest, which the main packet then names instead of the old
// one; segments without a thumbnail stay byte for byte.
void remakeThumbnails(std::vector<JpegSegment>& segments, const std::function<QImage()>& stampedPicture);

} // namespace JpegXmp
