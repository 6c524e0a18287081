#include "render/GraphicsStateDepth.h"

#include "model/SpareThreads.h"

#include <QThread>

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <memory>
#include <string_view>

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

enum class CharacterClass : unsigned char
{
    regular,
    space,
    delimiter
};

constexpr std::array<CharacterClass, 256> characterClasses = [] {
    std::array<CharacterClass, 256> classes{};
    for (unsigned char c : std::string_view(" \t\n\f\r\0", 6))
        classes[c] = CharacterClass::space;
    for (unsigned char c : std::string_view("()<>[]{}/%"))
        classes[c] = CharacterClass::delimiter;
    return classes;
}();

bool isRegular(char c)
{
    return characterClasses[static_cast<unsigned char>(c)] == CharacterClass::regular;
}

// Counts one operator; false for the start of inline image data.
bool countOperator(std::string_view word, GraphicsStateDepth& depth)
{
    if (word == "q")
        ++depth.ending;
    else if (word == "Q")
        depth.lowest = std::min(depth.lowest, --depth.ending);
    else if (word == "BT" || word == "ET")
        depth.inText = word == "BT";
    return word != "ID";
}

// Where the literal string starting at begin ends: parentheses nest, a backslash escapes. A
// string the content leaves open adds what closes it to unclosed.
size_t afterString(std::string_view content, size_t begin, std::string& unclosed)
{
    int nesting = 0;
    for (size_t i = begin; i < content.size(); ++i) {
        if (content[i] == '\\') {
            if (++i == content.size())
                unclosed += ')'; // taken by the escape
        } else if (content[i] == '(') {
            ++nesting;
        } else if (content[i] == ')' && --nesting == 0) {
            return i + 1;
        }
    }
    unclosed += std::string(static_cast<size_t>(nesting), ')');
    return content.size();
}

size_t afterOrEnd(std::string_view content, size_t found, size_t skip)
{
    return found == std::string_view::npos ? content.size() : found + skip;
}

// Nearly all content is text and paths: a plain scan that skips strings, names, comments and
// brackets as qpdf's tokenizer does is some twenty times faster than tokenizing. Inline image
// data is another matter (only heuristics find its end), so at an inline image this gives up.
// Arrays and dictionaries are followed only to know which the content leaves open.
std::optional<GraphicsStateDepth> quickDepth(std::string_view content)
{
    GraphicsStateDepth depth;
    std::string open; // '[' for an array, '<' for a dictionary, innermost last
    for (size_t i = 0; i < content.size();) {
        const char c = content[i];
        const char next = i + 1 < content.size() ? content[i + 1] : '\0';
        if (c == '(') {
            i = afterString(content, i, depth.unclosed);
        } else if (c == '%') {
            i = afterOrEnd(content, content.find_first_of("\r\n", i), 1);
        } else if (c == '<' && next != '<') {
            const size_t end = content.find('>', i);
            if (end == std::string_view::npos)
                depth.unclosed += '>';
            i = afterOrEnd(content, end, 1);
        } else if ((c == '<' && next == '<') || c == '[') {
            open += c;
            i += c == '[' ? 1 : 2;
        } else if ((c == '>' && next == '>') || c == ']') {
            if (!open.empty() && open.back() == (c == ']' ? '[' : '<'))
                open.pop_back();
            i += c == ']' ? 1 : 2;
        } else if (c == '/' || isRegular(c)) {
            const size_t start = i++;
            while (i < content.size() && isRegular(content[i]))
                ++i;
            if (c != '/' && !countOperator(content.substr(start, i - start), depth))
                return std::nullopt;
        } else {
            ++i;
        }
    }
    for (auto opener = open.rbegin(); opener != open.rend(); ++opener)
        depth.unclosed += *opener == '[' ? "]" : ">>";
    return depth;
}

// Reads the content with qpdf's tokenizer, which also finds where inline image data ends.
GraphicsStateDepth tokenizedDepth(const std::string& content)
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
            if (!countOperator(token.getValue(), depth)) {
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

} // namespace

GraphicsStateDepth GraphicsStateDepth::of(const std::string& content)
{
    const auto quick = quickDepth(content);
    return quick ? *quick : tokenizedDepth(content);
}

std::vector<GraphicsStateDepth> GraphicsStateDepth::ofEach(const std::vector<ContentBytes>& contents,
                                                           const std::function<void()>& meanwhile)
{
    std::vector<GraphicsStateDepth> depths(contents.size());
    std::atomic<size_t> next{0};
    const auto readContents = [&] {
        for (size_t i = next++; i < contents.size(); i = next++) {
            depths[i] = of(contents[i].decoded());
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
    return "\n" + unclosed + (inText ? "\nET" : "") + "\n" + repeated("Q\n", 1 - lowest + ending);
}
