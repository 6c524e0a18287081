#include "render/ContentBytes.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_String.hh>

#include <algorithm>
#include <exception>
#include <memory>

#include <zlib.h>

namespace {

// Flate without predictor parameters: what nearly every content stream is stored as.
bool onlyDeflated(QPDFObjectHandle dictionary)
{
    QPDFObjectHandle filter = dictionary.getKey("/Filter");
    if (filter.isArray() && filter.getArrayNItems() == 1)
        filter = filter.getArrayItem(0);
    QPDFObjectHandle parameters = dictionary.getKey("/DecodeParms");
    return filter.isNameAndEquals("/FlateDecode") &&
           (parameters.isNull() || (parameters.isArray() && parameters.getArrayNItems() == 1 &&
                                    parameters.getArrayItem(0).isNull()));
}

std::string text(const std::shared_ptr<Buffer>& data)
{
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

// Inflates as readers do: every byte that decodes before a break in the data is kept. (qpdf's
// inflater throws away what it holds for its next write, up to 64 KB, when the data breaks.)
void inflateInto(const std::string& packed, std::string& out)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return;
    auto* next = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    size_t left = packed.size();
    unsigned char buffer[16384];
    int status = Z_OK;
    do {
        if (stream.avail_in == 0 && left > 0) { // zlib takes at most 4 GB at a time
            stream.next_in = next;
            stream.avail_in = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
            next += stream.avail_in;
            left -= stream.avail_in;
        }
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(reinterpret_cast<const char*>(buffer), sizeof buffer - stream.avail_out);
    } while (status == Z_OK);
    inflateEnd(&stream);
}

} // namespace

ContentBytes ContentBytes::read(const std::vector<QPDFObjectHandle>& streams)
{
    ContentBytes content;
    for (auto stream : streams) {
        Piece piece;
        try {
            if (onlyDeflated(stream.getDict())) {
                piece = {text(stream.getRawStreamData()), true};
            } else {
                Pl_String sink("content", nullptr, piece.bytes);
                bool decoding = false;
                stream.pipeStreamData(&sink, &decoding, 0, qpdf_dl_generalized, true);
                if (!decoding) // a filter qpdf does not know: the bytes are still encoded
                    piece.bytes.clear();
            }
        } catch (const std::exception&) {
            // What was decoded before the break stays.
        }
        content.m_pieces.push_back(std::move(piece));
    }
    return content;
}

std::string ContentBytes::decoded() const
{
    std::string content;
    for (const auto& piece : m_pieces) {
        if (piece.deflated)
            inflateInto(piece.bytes, content);
        else
            content += piece.bytes;
        content += '\n';
    }
    return content;
}

size_t ContentBytes::size() const
{
    size_t bytes = 0;
    for (const auto& piece : m_pieces)
        bytes += piece.bytes.size();
    return bytes;
}
