#pragma once

#include "render/PngChunks.h"

#include <QImage>

#include <functional>

// The XMP a PNG carries in an iTXt chunk of the keyword "XML:com.adobe.xmp".
namespace PngXmp {

// The chunk with its XMP thumbnails remade from stampedPicture (see XmpThumbnails::remade),
// compressed again when it was; any other chunk, or one whose packet does not read, as it was.
PngChunks::Chunk remade(const PngChunks::Chunk& chunk, const std::function<QImage()>& stampedPicture);

} // namespace PngXmp
