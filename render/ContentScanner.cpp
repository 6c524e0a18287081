#include "render/ContentScanner.h"

#include "render/OpaqueCover.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

// The longest operator that counts: "BDC", "BMC", "EMC".
constexpr size_t longestOperator = 3;
// The longest word of an inline image dictionary that counts: "/BitsPerComponent".
constexpr size_t longestImageWord = 16;
// The longest number or name a cover reads: a resource name, a number with many decimals.
constexpr size_t longestCoverWord = 32;
constexpr size_t mostImageWords = 64;
// Image data made up for an inline image cut short, at most: readers would take more than this
// for a picture beyond any inline image's size.
constexpr long long mostImagePadding = 4 << 20;

enum CharacterClass : unsigned char
{
    regular,
    space,
    delimiter,
};

constexpr std::array<CharacterClass, 256> characterClasses = [] {
    std::array<CharacterClass, 256> classes{};
    for (unsigned char c : std::string_view(" \t\n\f\r\0", 6))
        classes[c] = space;
    for (unsigned char c : std::string_view("()<>[]{}/%"))
        classes[c] = delimiter;
    return classes;
}();

CharacterClass classOf(char c)
{
    return characterClasses[static_cast<unsigned char>(c)];
}

bool isSpace(char c)
{
    return classOf(c) == space;
}

bool isDelimiter(char c)
{
    return classOf(c) == delimiter;
}

} // namespace

ContentScanner::ContentScanner(OpaqueCover* cover)
    : m_cover(cover), m_longestWord(cover ? longestCoverWord : longestOperator)
{}

// Runs of white space, of a word's characters and of a string's, comment's or hex string's
// plain characters are skipped in tight loops: content is mostly those.
void ContentScanner::feed(std::string_view piece)
{
    const size_t end = piece.size();
    for (size_t i = 0; i < end;) {
        switch (m_mode) {
        case Mode::between:
            if (m_pending == '\0') {
                while (i < end && isSpace(piece[i]))
                    ++i;
                if (i == end)
                    return;
            }
            scanBetween(piece[i++]);
            break;
        case Mode::word: {
            const size_t start = i;
            while (i < end && classOf(piece[i]) == regular)
                ++i;
            if (i - start + m_word.size() > (m_inImageDictionary ? longestImageWord : m_longestWord))
                m_longWord = true;
            else
                m_word.append(piece.substr(start, i - start));
            if (i == end)
                return;
            endWord();
            if (m_mode == Mode::imageData) // the one white-space character after ID is its own
                ++i;
            else
                scanBetween(piece[i++]);
            break;
        }
        case Mode::string:
            for (; i < end && m_mode == Mode::string; ++i) {
                const char c = piece[i];
                if (m_escaped)
                    m_escaped = false;
                else if (c == '\\')
                    m_escaped = true;
                else if (c == '(')
                    ++m_nesting;
                else if (c == ')' && --m_nesting == 0)
                    m_mode = Mode::between;
            }
            break;
        case Mode::hexString: {
            const size_t close = piece.find('>', i);
            i = close == std::string_view::npos ? end : close + 1;
            if (close != std::string_view::npos)
                m_mode = Mode::between;
            break;
        }
        case Mode::comment: {
            const size_t line = piece.find_first_of("\r\n", i);
            i = line == std::string_view::npos ? end : line + 1;
            if (line != std::string_view::npos)
                m_mode = Mode::between;
            break;
        }
        case Mode::imageData:
            scanImageData(piece[i++]);
            break;
        }
    }
}

void ContentScanner::scanBetween(char c)
{
    if (m_pending != '\0') {
        const char first = m_pending;
        m_pending = '\0';
        if (first == '<' && c == '<') {
            m_open += '<';
            operandBegins();
            return;
        }
        if (first == '>' && c == '>') {
            if (!m_open.empty() && m_open.back() == '<')
                m_open.pop_back();
            return;
        }
        if (first == '<') { // a hex string, of which c is the first character
            operandBegins();
            m_mode = Mode::hexString;
            if (c == '>')
                m_mode = Mode::between;
            return;
        }
        // A lone '>' is nothing a reader reads; c is read as it comes.
    }
    if (c == '(') {
        operandBegins();
        m_mode = Mode::string;
        m_nesting = 1;
    } else if (c == '%') {
        m_mode = Mode::comment;
    } else if (c == '<' || c == '>') {
        m_pending = c;
    } else if (c == '[') {
        m_open += '[';
        operandBegins();
    } else if (c == ']') {
        if (!m_open.empty() && m_open.back() == '[')
            m_open.pop_back();
    } else if (c == '/' || (!isSpace(c) && !isDelimiter(c))) {
        m_mode = Mode::word;
        m_name = c == '/';
        m_word = m_name ? std::string() : std::string(1, c);
        m_longWord = false;
    }
}

void ContentScanner::operandBegins()
{
    if (m_cover && !m_inImageDictionary)
        m_cover->otherOperand();
}

void ContentScanner::endWord()
{
    m_mode = Mode::between;
    if (m_inImageDictionary && !m_longWord && m_word != "ID" && m_imageWords.size() < mostImageWords)
        m_imageWords.push_back(m_name ? "/" + m_word : m_word);
    if (m_cover && !m_inImageDictionary)
        m_cover->word(m_word, m_name, m_longWord);
    if (m_name || m_longWord)
        return;
    const std::string& word = m_word;
    if (word == "q") {
        ++m_depth.ending;
    } else if (word == "Q") {
        m_depth.lowest = std::min(m_depth.lowest, --m_depth.ending);
    } else if (word == "BT" || word == "ET") {
        m_depth.inText = word == "BT";
    } else if (word == "BDC" || word == "BMC") {
        ++m_depth.markedContent;
    } else if (word == "EMC") { // readers ignore one too many
        m_depth.markedContent = std::max(0, m_depth.markedContent - 1);
    } else if (word == "BI") {
        m_inImageDictionary = true;
        m_imageWords.clear();
    } else if (word == "ID") {
        m_inImageDictionary = false;
        if (m_cover)
            m_cover->inlineImage(imageValue("/IM", "/ImageMask") == "true", imageValue("/CS", "/ColorSpace"),
                                 !imageValue("/F", "/Filter").empty());
        m_mode = Mode::imageData;
        m_imageEnd = 1; // data that starts with EI is empty
        m_imageBytes = 0;
    }
}

// Image data ends at EI between white space (or the end of the content), as readers find it.
void ContentScanner::scanImageData(char c)
{
    ++m_imageBytes;
    if (m_imageEnd == 3 && (isSpace(c) || isDelimiter(c))) {
        m_mode = Mode::between;
        m_imageEnd = 0;
        scanBetween(c);
        return;
    }
    if (m_imageEnd == 1 && c == 'E')
        m_imageEnd = 2;
    else if (m_imageEnd == 2 && c == 'I')
        m_imageEnd = 3;
    else
        m_imageEnd = isSpace(c) ? 1 : 0;
}

GraphicsStateDepth ContentScanner::finish()
{
    if (m_mode == Mode::word)
        endWord();
    if (m_mode == Mode::imageData && m_imageEnd == 3) // EI at the very end
        m_mode = Mode::between;
    GraphicsStateDepth depth = m_depth;
    switch (m_mode) {
    case Mode::string:
        depth.unclosed += std::string(static_cast<size_t>(m_nesting), ')');
        break;
    case Mode::hexString:
        depth.unclosed += '>';
        break;
    case Mode::imageData: // readers take the next EI after the image's data for its end
        depth.unclosed += imagePadding() + "\nEI";
        break;
    default:
        break;
    }
    if (m_pending == '<')
        depth.unclosed += '>';
    if (m_inImageDictionary) // an image without data, which readers skip
        depth.unclosed += "\nID\n" + imagePadding() + "\nEI";
    for (auto opener = m_open.rbegin(); opener != m_open.rend(); ++opener)
        depth.unclosed += *opener == '[' ? "]" : ">>";
    return depth;
}

// The word after the first of the inline image's keys given (the first item of an array); empty
// when it has none of them.
std::string ContentScanner::imageValue(std::string_view shortKey, std::string_view longKey) const
{
    for (size_t i = 0; i + 1 < m_imageWords.size(); ++i) {
        if (m_imageWords[i] == shortKey || m_imageWords[i] == longKey)
            return m_imageWords[i + 1];
    }
    return {};
}

// How many bytes of data readers take for the unfiltered inline image: they read its rows,
// however many bytes that takes, before they look for EI. An unknown colour space counts as four
// components, since data beyond what the image needs is skipped on the way to EI. 0 when it
// has no size.
long long ContentScanner::imageDataLength() const
{
    const auto number = [this](std::string_view shortKey, std::string_view longKey, long long otherwise) {
        const std::string value = imageValue(shortKey, longKey);
        return value.empty() ? otherwise : std::atoll(value.c_str());
    };
    const long long width = number("/W", "/Width", 0);
    const long long height = number("/H", "/Height", 0);
    long long bits = number("/BPC", "/BitsPerComponent", 8);
    long long components = 4;
    const std::string space = imageValue("/CS", "/ColorSpace");
    if (space == "/G" || space == "/DeviceGray" || space == "/CalGray" || space == "/I" ||
        space == "/Indexed")
        components = 1;
    else if (space == "/RGB" || space == "/DeviceRGB" || space == "/CalRGB" || space == "/Lab")
        components = 3;
    if (imageValue("/IM", "/ImageMask") == "true")
        bits = components = 1;
    constexpr long long largest = 1 << 20;
    if (width <= 0 || height <= 0 || bits <= 0 || width > largest || height > largest || bits > 16)
        return 0;
    return (width * components * bits + 7) / 8 * height;
}

// What ends the data of an inline image cut short where readers still read the content's
// closing operators: the end marker of an ASCII filter, or zero bytes up to the length of
// unfiltered data (none beyond a limit). Data of other filters cannot be ended.
std::string ContentScanner::imagePadding() const
{
    const std::string filter = imageValue("/F", "/Filter");
    if (filter == "/AHx" || filter == "/ASCIIHexDecode")
        return ">";
    if (filter == "/A85" || filter == "/ASCII85Decode")
        return "~>";
    if (!filter.empty())
        return {};
    const long long missing = imageDataLength() - (m_inImageDictionary ? 0 : m_imageBytes);
    return missing > 0 && missing <= mostImagePadding ? std::string(size_t(missing), '\0') : std::string();
}
