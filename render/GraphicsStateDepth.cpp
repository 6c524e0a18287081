#include "render/GraphicsStateDepth.h"

#include "model/SpareThreads.h"
#include "render/ContentBytes.h"
#include "render/ContentScanner.h"
#include "render/OpaqueCover.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <exception>

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
    ContentScanner scanner;
    scanner.feed(content);
    return scanner.finish();
}

std::vector<GraphicsStateDepth> GraphicsStateDepth::ofEach(const std::vector<ContentBytes>& contents,
                                                           const std::function<void()>& meanwhile,
                                                           std::span<OpaqueCover> covers)
{
    std::vector<GraphicsStateDepth> depths(contents.size());
    std::atomic<size_t> next{0};
    const auto readContents = [&] {
        for (size_t i = next++; i < contents.size(); i = next++) {
            depths[i] = contents[i].depth(covers.empty() ? nullptr : &covers[i]);
        }
    };
    const size_t cores = static_cast<size_t>(std::max(1, QThread::idealThreadCount()));
    // While the calling thread is busy with meanwhile, a helper takes its place.
    const size_t helpers = std::min(cores, contents.size() / contentsPerThread + 1) - (meanwhile ? 0 : 1);
    SpareThreads spare(static_cast<int>(helpers), readContents);
    std::exception_ptr failure;
    try {
        if (meanwhile)
            meanwhile();
    } catch (...) {
        failure = std::current_exception();
    }
    readContents();
    spare.join();
    if (failure)
        std::rethrow_exception(failure);
    return depths;
}

std::string GraphicsStateDepth::opening() const
{
    return repeated("q\n", 1 - lowest);
}

std::string GraphicsStateDepth::closing() const
{
    return "\n" + unclosed + (inText ? "\nET" : "") + "\n" + repeated("EMC\n", markedContent) +
           repeated("Q\n", 1 - lowest + ending);
}
