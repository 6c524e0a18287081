#pragma once

#include "model/Result.h"
#include "model/WatermarkSnapshot.h"

#include <QByteArray>
#include <QImageIOHandler>
#include <QSizeF>

class QIODevice;

// Stamps a design onto an 8-bit JPEG file's DCT blocks: only the blocks the mark touches are
// decoded, drawn on and quantised again with the file's own tables; every other block, the
// quantisation tables, sampling factors, colour space, progressive or baseline coding, restart
// interval and arithmetic coding stay. Every APPn and COM segment is copied in its order, but
// an EXIF thumbnail is made anew from the stamped picture (or dropped when Exiv2 cannot remake
// it), so are XMP thumbnails (see JpegXmp), Photoshop's thumbnails are dropped from APP13, and
// MPF's index of appended pictures is dropped with those pictures. The design is laid out over
// the picture as displayed (transformation is the file's orientation, storedDpi its resolution
// as stored, 72 when it states none) and drawn into the stored pixels; a multiplied design
// darkens the picture under it. A design behind the picture is the caller's to refuse, as a
// JPEG has no transparent pixels for it to show through.
// The output is written to output as it is made; the reason in words for the user when it
// could not be (output then holds a part at most). Files whose coefficients would need more
// memory than Qt's picture allocation limit are refused.
Result<bool> stampJpegBlocks(const QByteArray& input, const WatermarkSnapshot& settings, QSizeF storedDpi,
                             QImageIOHandler::Transformations transformation, QIODevice& output);
