#include "render/GraphicsStateDepth.h"

#include <QThread>

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

namespace {

// Decoding and reading a content takes well under a millisecond; a thread is only worth it
// for many.
constexpr size_t contentsPerThread = 32;

std::string repeated(const char* operatorText, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += operatorText;
    return text;
}

} // namespace

GraphicsStateDepth GraphicsStateDepth::of(const std::string& content)
{
    GraphicsStateDepth depth;
    // Wraps the content without copying it; the tokenizer only reads.
    Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(content.data())), content.size());
    auto input = std::make_shared<BufferInputSource>("content", &buffer, false);
    QPDFTokenizer tokenizer;
    tokenizer.allowEOF();
    try {
        for (;;) {
            const QPDFTokenizer::Token token = tokenizer.readToken(input, "content", true);
            if (token.getType() == QPDFTokenizer::tt_eof)
                break;
            if (token.getType() != QPDFTokenizer::tt_word)
                continue;
            const std::string& word = token.getValue();
            if (word == "q") {
                ++depth.ending;
            } else if (word == "Q") {
                depth.lowest = std::min(depth.lowest, --depth.ending);
            } else if (word == "BT" || word == "ET") {
                depth.inText = word == "BT";
            } else if (word == "ID") {
                // Inline image data follows one white-space character and runs to EI.
                char separator = 0;
                input->read(&separator, 1);
                tokenizer.expectInlineImage(input);
                tokenizer.readToken(input, "content", true);
            }
        }
    } catch (const std::exception&) {
        // The operators read so far still count; the rest cannot be read by a reader either.
    }
    return depth;
}

std::vector<GraphicsStateDepth> GraphicsStateDepth::ofEach(const std::vector<ContentBytes>& contents)
{
    std::vector<GraphicsStateDepth> depths(contents.size());
    std::atomic<size_t> next{0};
    const auto readContents = [&] {
        for (size_t i = next++; i < contents.size(); i = next++) {
            if (const auto content = contents[i].decoded())
                depths[i] = of(*content);
        }
    };
    const size_t threads = std::min(static_cast<size_t>(std::max(1, QThread::idealThreadCount())),
                                    contents.size() / contentsPerThread + 1);
    std::vector<std::thread> helpers;
    for (size_t i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back(readContents);
        } catch (const std::system_error&) {
            break; // no thread to be had: the threads already running read the rest
        }
    }
    readContents();
    for (auto& helper : helpers)
        helper.join();
    return depths;
}

std::string GraphicsStateDepth::opening() const
{
    return repeated("q\n", 1 - lowest);
}

std::string GraphicsStateDepth::closing() const
{
    return std::string(inText ? "\nET" : "") + "\n" + repeated("Q\n", 1 - lowest + ending);
}
