#include "render/ContentBytes.h"

#include "render/ContentScanner.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>

#include <algorithm>
#include <exception>
#include <memory>
#include <string_view>

#include <zlib.h>

namespace {

QPDFObjectHandle onlyFilter(QPDFObjectHandle dictionary)
{
    QPDFObjectHandle filter = dictionary.getKey("/Filter");
    if (filter.isArray() && filter.getArrayNItems() == 1)
        filter = filter.getArrayItem(0);
    return filter;
}

bool noParameters(QPDFObjectHandle dictionary)
{
    QPDFObjectHandle parameters = dictionary.getKey("/DecodeParms");
    return parameters.isNull() ||
           (parameters.isArray() && parameters.getArrayNItems() <= 1 && parameters.getArrayItem(0).isNull());
}

// Flate without predictor parameters: what nearly every content stream is stored as.
bool onlyDeflated(QPDFObjectHandle dictionary)
{
    return onlyFilter(dictionary).isNameAndEquals("/FlateDecode") && noParameters(dictionary);
}

bool unfiltered(QPDFObjectHandle dictionary)
{
    QPDFObjectHandle filter = dictionary.getKey("/Filter");
    return filter.isNull() || (filter.isArray() && filter.getArrayNItems() == 0);
}

// Inflates as readers do, handing the scanner a piece at a time: every byte that decodes before
// a break in the data counts. (qpdf's inflater throws away what it holds for its next write, up
// to 64 KB, when the data breaks.)
void inflateInto(const std::string& packed, ContentScanner& scanner)
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
        scanner.feed(
            std::string_view(reinterpret_cast<const char*>(buffer), sizeof buffer - stream.avail_out));
    } while (status == Z_OK);
    inflateEnd(&stream);
}

// The end of qpdf's decoding pipeline: what qpdf decodes goes to the scanner as it comes.
class ScanningPipeline : public Pipeline
{
public:
    explicit ScanningPipeline(ContentScanner& scanner) : Pipeline("content", nullptr), m_scanner(scanner) {}
    void write(unsigned char const* data, size_t length) override
    {
        m_scanner.feed(std::string_view(reinterpret_cast<const char*>(data), length));
    }
    void finish() override {}

private:
    ContentScanner& m_scanner;
};

// Decodes one stream through qpdf into the scanner; a filter qpdf does not know gives nothing.
void decodeInto(QPDFObjectHandle stream, ContentScanner& scanner)
{
    if (onlyDeflated(stream.getDict())) {
        const auto data = stream.getRawStreamData();
        inflateInto(std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()), scanner);
        return;
    }
    bool decodable = false;
    stream.pipeStreamData(nullptr, &decodable, 0, qpdf_dl_generalized, true); // only asks
    if (!decodable && !unfiltered(stream.getDict()))
        return;
    ScanningPipeline sink(scanner);
    stream.pipeStreamData(&sink, nullptr, 0, qpdf_dl_generalized, true);
}

} // namespace

ContentBytes ContentBytes::read(const std::vector<QPDFObjectHandle>& streams, OpaqueCover* cover)
{
    ContentBytes content;
    const bool asStored = std::all_of(streams.begin(), streams.end(), [](QPDFObjectHandle stream) {
        try {
            return onlyDeflated(stream.getDict()) || unfiltered(stream.getDict());
        } catch (const std::exception&) {
            return false;
        }
    });
    if (!asStored) {
        ContentScanner scanner(cover);
        for (const auto& stream : streams) {
            try {
                decodeInto(stream, scanner);
            } catch (const std::exception&) {
                // What was decoded before the break counts.
            }
            scanner.feed("\n");
        }
        content.m_depth = scanner.finish();
        return content;
    }
    for (auto stream : streams) {
        Piece piece;
        try {
            piece.deflated = onlyDeflated(stream.getDict());
            const auto data = stream.getRawStreamData();
            piece.bytes.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
        } catch (const std::exception&) {
            piece.bytes.clear(); // unreadable: nothing a reader can show
        }
        content.m_pieces.push_back(std::move(piece));
    }
    return content;
}

GraphicsStateDepth ContentBytes::depth(OpaqueCover* cover) const
{
    if (m_depth)
        return *m_depth;
    ContentScanner scanner(cover);
    for (const auto& piece : m_pieces) {
        if (piece.deflated)
            inflateInto(piece.bytes, scanner);
        else
            scanner.feed(piece.bytes);
        scanner.feed("\n");
    }
    return scanner.finish();
}

size_t ContentBytes::size() const
{
    size_t bytes = 0;
    for (const auto& piece : m_pieces)
        bytes += piece.bytes.size();
    return bytes;
}
