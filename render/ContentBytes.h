#pragma once

#include <qpdf/QPDFObjectHandle.hh>

#include <optional>
#include <string>
#include <vector>

// A page's content streams as read from their document, to be decoded away from it. qpdf's
// document objects belong to one thread, but most content is only Flate-compressed: such a
// stream's bytes are taken as stored and inflated later on any thread; others are decoded by
// qpdf when read.
class ContentBytes
{
public:
    // Reads the streams on the document's thread; a stream qpdf cannot decode (an unknown
    // filter, broken data) makes the whole content undecodable. Never throws.
    static ContentBytes read(const std::vector<QPDFObjectHandle>& streams);

    // The streams decoded and joined as readers join them, or nothing when they cannot be.
    // Safe on any thread; never throws.
    std::optional<std::string> decoded() const;

    // The bytes held, to bound how much is read ahead.
    size_t size() const;

private:
    struct Piece
    {
        std::string bytes;
        bool deflated = false;
    };
    std::vector<Piece> m_pieces;
    bool m_valid = true;
};
