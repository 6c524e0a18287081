#pragma once

#include <QByteArray>

#include <optional>
#include <vector>

// A PNG file's chunks, so a re-encoded picture can go back among the input's own chunks.
namespace PngChunks {

struct Chunk
{
    QByteArray type;  // four letters
    QByteArray whole; // length, type, data and CRC, as stored
    QByteArray data() const { return whole.mid(8, whole.size() - 12); }
    // The chunk of this type with other data, its length and CRC made for it.
    Chunk withData(const QByteArray& data) const;
};

// The chunks after the signature, up to and including IEND; nothing when the bytes are not a
// PNG file or a chunk runs past the end.
std::optional<std::vector<Chunk>> split(const QByteArray& png);

// The input file with the stamped picture's header and image data in place of its own, every
// other chunk kept byte for byte and in its place. The palette and transparency come from the
// stamped picture when it has a palette or its colour type differs (a palette's histogram then
// goes); bKGD and sBIT, whose layout follows the colour type, are dropped when it differs, and so
// is a grey picture's ICC profile once the picture has colour.
QByteArray withPicture(const std::vector<Chunk>& input, const std::vector<Chunk>& stamped);

} // namespace PngChunks
