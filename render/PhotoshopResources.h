#pragma once

#include <QByteArray>

// The image resources Photoshop keeps in a JPEG's APP13 segment ("Photoshop 3.0" and a run of
// "8BIM" blocks), among them IPTC and a thumbnail of the picture.
namespace PhotoshopResources {

// The segment's payload without its thumbnail resources, every other block as it was. The
// payload unchanged when it holds no thumbnail or its blocks do not parse.
QByteArray withoutThumbnails(const QByteArray& payload);

// The same of the blocks alone, as a TIFF holds them (tag 34377), without the segment's header.
QByteArray blocksWithoutThumbnails(const QByteArray& blocks);

} // namespace PhotoshopResources
