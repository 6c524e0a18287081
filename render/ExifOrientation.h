#pragma once

#include <QByteArray>
#include <QImageIOHandler>

// The orientation an EXIF block (TIFF header first, as PNG's eXIf chunk holds it) states,
// read through Exiv2, as the transformation that shows the stored picture upright. None when
// the block states none or cannot be read.
namespace ExifOrientation {

QImageIOHandler::Transformations of(const QByteArray& block);

// The transformation for an orientation value as EXIF and TIFF number them (1 to 8).
QImageIOHandler::Transformations transformation(long orientation);

} // namespace ExifOrientation
