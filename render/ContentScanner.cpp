#include "render/ContentScanner.h"

#include <algorithm>
#include <array>

namespace {

// The longest operator that counts: "BDC", "BMC", "EMC".
constexpr size_t longestOperator = 3;

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
            if (i - start + m_word.size() > longestOperator)
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
            return;
        }
        if (first == '>' && c == '>') {
            if (!m_open.empty() && m_open.back() == '<')
                m_open.pop_back();
            return;
        }
        if (first == '<') { // a hex string, of which c is the first character
            m_mode = Mode::hexString;
            if (c == '>')
                m_mode = Mode::between;
            return;
        }
        // A lone '>' is nothing a reader reads; c is read as it comes.
    }
    if (c == '(') {
        m_mode = Mode::string;
        m_nesting = 1;
    } else if (c == '%') {
        m_mode = Mode::comment;
    } else if (c == '<' || c == '>') {
        m_pending = c;
    } else if (c == '[') {
        m_open += '[';
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

void ContentScanner::endWord()
{
    m_mode = Mode::between;
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
    } else if (word == "ID") {
        m_inImageDictionary = false;
        m_mode = Mode::imageData;
        m_imageEnd = 1; // data that starts with EI is empty
    }
}

// Image data ends at EI between white space (or the end of the content), as readers find it.
void ContentScanner::scanImageData(char c)
{
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
    case Mode::imageData: // readers take the next EI for the end of the image
        depth.unclosed += "\nEI";
        break;
    default:
        break;
    }
    if (m_pending == '<')
        depth.unclosed += '>';
    if (m_inImageDictionary) // an image without data, which readers skip
        depth.unclosed += "\nID\nEI";
    for (auto opener = m_open.rbegin(); opener != m_open.rend(); ++opener)
        depth.unclosed += *opener == '[' ? "]" : ">>";
    return depth;
}
