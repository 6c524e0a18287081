#pragma once

#include "render/ContentBytes.h"

#include <functional>
#include <string>
#include <vector>

// How a page's content leaves the graphics state: how far its Q operators reach below the
// state it started in, how many of its q operators stay open, and whether it ends inside a
// text object. The streams that bracket the content are made from it, so that whatever the
// content does, the state after the closing stream is the one before the opening stream.
struct GraphicsStateDepth
{
    int lowest = 0;      // the lowest nesting reached, 0 or less: Q operators without their q
    int ending = 0;      // the nesting at the end, relative to the start
    bool inText = false; // a BT without its ET
    // What closes the strings, arrays and dictionaries the content leaves open (broken or cut
    // short), innermost first; open, they would swallow the operators that follow.
    std::string unclosed;

    // Reads decoded content token by token as qpdf's tokenizer does (content with inline images
    // through that tokenizer itself); strings, names, comments and inline image data are skipped
    // as a reader skips them. Never throws: what cannot be read counts as nothing.
    static GraphicsStateDepth of(const std::string& content);

    // The depth of each content, decoded and read on the calling thread and the idle cores
    // (SpareThreads). Contents are independent, so the threads share nothing but the index of the
    // next content to read. The calling thread first runs meanwhile, if
    // given, then helps reading; what meanwhile throws is thrown once the threads are done.
    static std::vector<GraphicsStateDepth> ofEach(const std::vector<ContentBytes>& contents,
                                                  const std::function<void()>& meanwhile = {});

    // Operators to put before the content: one q for each Q without its q, and one more.
    std::string opening() const;
    // Operators to put after the content: closing what it leaves open, ending an open text
    // object and one Q for each q open.
    std::string closing() const;
};
