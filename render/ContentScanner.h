#pragma once

#include "render/GraphicsStateDepth.h"

class OpaqueCover;

#include <string>
#include <string_view>
#include <vector>

// Reads content as qpdf's tokenizer and readers split it, a piece at a time, keeping only what
// the depth needs: the operators that nest (q/Q, BT/ET, marked content), whether it is inside a
// string, comment or inline image, and the arrays and dictionaries it leaves open. A content
// stream of any size is read in a few hundred bytes of memory; pieces may split it anywhere.
// Given a cover, it also hands that every operand and operator, longer words too.
class ContentScanner
{
public:
    explicit ContentScanner(OpaqueCover* cover = nullptr);

    void feed(std::string_view piece);

    // The depth of all that was fed.
    GraphicsStateDepth finish();

private:
    enum class Mode
    {
        between,   // between tokens
        word,      // an operator, number or keyword, or a name when m_name
        string,    // a literal string, m_nesting deep
        hexString, // <...>
        comment,   // to the end of the line
        imageData, // inline image data, up to white space, EI and white space
    };

    void scanBetween(char c);
    void endWord();
    void operandBegins();
    void scanImageData(char c);
    std::string imageValue(std::string_view shortKey, std::string_view longKey) const;
    long long imageDataLength() const;
    std::string imagePadding() const;

    GraphicsStateDepth m_depth;
    OpaqueCover* m_cover = nullptr;
    size_t m_longestWord; // kept of a word: what the depth needs, or the cover
    Mode m_mode = Mode::between;
    std::string m_word; // the word so far, only as long as an operator that counts
    bool m_longWord = false;
    bool m_name = false;
    int m_nesting = 0;                // within a literal string
    bool m_escaped = false;           // after a backslash in a literal string
    char m_pending = '\0';            // a '<' or '>' that may begin '<<' or '>>'
    int m_imageEnd = 0;               // how much of white space, E, I has been seen in image data
    bool m_inImageDictionary = false; // after BI, before ID
    // The inline image dictionary's first words and names, names with their slash.
    std::vector<std::string> m_imageWords;
    long long m_imageBytes = 0; // image data so far
    std::string m_open;         // '[' for an array, '<' for a dictionary, innermost last
};
