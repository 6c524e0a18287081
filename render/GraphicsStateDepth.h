#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

class ContentBytes;
class OpaqueCover;

// How a page's content leaves the graphics state: how far its Q operators reach below the
// state it started in, how many of its q operators stay open, and whether it ends inside a
// text object or marked-content sections. The streams that bracket the content are made from it, so that
// whatever the content does, the state after the closing stream is the one before the opening stream.
struct GraphicsStateDepth
{
    int lowest = 0;      // the lowest nesting reached, 0 or less: Q operators without their q
    int ending = 0;      // the nesting at the end, relative to the start
    bool inText = false; // a BT without its ET
    // Marked-content sections (BDC, BMC) without their EMC: left open, an optional-content
    // section would take the mark into its layer, hidden with it.
    int markedContent = 0;
    // What closes the strings, arrays and dictionaries the content leaves open (broken or cut
    // short), innermost first; open, they would swallow the operators that follow.
    std::string unclosed;

    // Reads decoded content token by token as qpdf's tokenizer does (ContentScanner); strings,
    // names, comments and inline image data are skipped as a reader skips them. Never throws.
    static GraphicsStateDepth of(const std::string& content);

    // The depth of each content (ContentBytes::depth()), read on the calling thread and the idle
    // cores (SpareThreads). Contents are independent, so the threads share nothing but the index
    // of the next content to read. The calling thread first runs meanwhile, if
    // given, then helps reading; what meanwhile throws is thrown once the threads are done.
    // Covers, when given, follow the contents of the same index.
    static std::vector<GraphicsStateDepth> ofEach(const std::vector<ContentBytes>& contents,
                                                  const std::function<void()>& meanwhile = {},
                                                  std::span<OpaqueCover> covers = {});

    // Operators to put before the content: one q for each Q without its q, and one more.
    std::string opening() const;
    // Operators to put after the content: closing what it leaves open, ending an open text
    // object and marked-content sections, and one Q for each q open.
    std::string closing() const;
};
