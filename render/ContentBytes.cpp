#include "render/ContentBytes.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>

#include <exception>
#include <memory>

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
        if (piece.deflated) {
            try {
                Pl_String sink("content", nullptr, content);
                Pl_Flate inflate("inflate", &sink, Pl_Flate::a_inflate);
                inflate.write(reinterpret_cast<const unsigned char*>(piece.bytes.data()), piece.bytes.size());
                inflate.finish();
            } catch (const std::exception&) {
                // What was inflated before the break stays.
            }
        } else {
            content += piece.bytes;
        }
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
