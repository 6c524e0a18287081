#pragma once

#include "render/GraphicsStateDepth.h"

#include <qpdf/QPDFObjectHandle.hh>

#include <optional>
#include <string>
#include <vector>

// A page's content streams as read from their document, to be read for their depth away from
// it. qpdf's document objects belong to one thread, but nearly all content is only
// Flate-compressed or not compressed at all: such streams are taken as stored and inflated later,
// on any thread, a piece at a time. Content with other filters is decoded by qpdf and read at
// once, also a piece at a time. A stream is decoded as far as its data allows, as readers decode
// it, since what they show of a broken stream is all they read up to the break. No content is
// ever held decoded whole: a stream that inflates to gigabytes takes a few kilobytes.
class OpaqueCover;

class ContentBytes
{
public:
    // Reads the streams on the document's thread. Never throws. Content only qpdf decodes is
    // read at once, and handed to the cover when one is given.
    static ContentBytes read(const std::vector<QPDFObjectHandle>& streams, OpaqueCover* cover = nullptr);

    // How the streams, joined as readers join them, nest the graphics state; of a stream with
    // broken data what decodes before the break counts, of one with a filter nobody knows
    // nothing. The content goes to the cover too, unless read() read it already. Safe on any
    // thread; never throws.
    GraphicsStateDepth depth(OpaqueCover* cover = nullptr) const;

    // The bytes held, to bound how much is read ahead.
    size_t size() const;

private:
    struct Piece
    {
        std::string bytes;
        bool deflated = false;
    };
    std::vector<Piece> m_pieces;
    std::optional<GraphicsStateDepth> m_depth; // read already, where qpdf had to decode
};
