#pragma once

#include <qpdf/QPDFObjectHandle.hh>

#include <string>
#include <vector>

// A page's content streams as read from their document, to be decoded away from it. qpdf's
// document objects belong to one thread, but most content is only Flate-compressed: such a
// stream's bytes are taken as stored and inflated later on any thread; others are decoded by
// qpdf when read. A stream is decoded as far as its data allows, as readers decode it, since
// what they show of a broken stream is what they read up to the break.
class ContentBytes
{
public:
    // Reads the streams on the document's thread. Never throws.
    static ContentBytes read(const std::vector<QPDFObjectHandle>& streams);

    // The streams decoded and joined as readers join them; of a stream with broken data what
    // decodes before the break, of one with a filter nobody knows nothing. Safe on any thread;
    // never throws.
    std::string decoded() const;

    // The bytes held, to bound how much is read ahead.
    size_t size() const;

private:
    struct Piece
    {
        std::string bytes;
        bool deflated = false;
    };
    std::vector<Piece> m_pieces;
};
