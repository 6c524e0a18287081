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
    try {
        for (auto stream : streams) {
            if (onlyDeflated(stream.getDict()))
                content.m_pieces.push_back({text(stream.getRawStreamData()), true});
            else
                content.m_pieces.push_back({text(stream.getStreamData(qpdf_dl_generalized)), false});
        }
    } catch (const std::exception&) {
        content.m_valid = false;
        content.m_pieces.clear();
    }
    return content;
}

std::optional<std::string> ContentBytes::decoded() const
{
    if (!m_valid)
        return std::nullopt;
    std::string content;
    try {
        for (const auto& piece : m_pieces) {
            if (piece.deflated) {
                Pl_String sink("content", nullptr, content);
                Pl_Flate inflate("inflate", &sink, Pl_Flate::a_inflate);
                inflate.write(reinterpret_cast<const unsigned char*>(piece.bytes.data()), piece.bytes.size());
                inflate.finish();
            } else {
                content += piece.bytes;
            }
            content += '\n';
        }
    } catch (const std::exception&) {
        return std::nullopt;
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
